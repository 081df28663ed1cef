#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

#include "pgraphic/core/pixelgraphic.h"

// Shared set-up of the fuzz targets.
//
// Every target reads its first input byte as a set of mode bits and the rest
// as the file. Bit 0 chooses the warning action for recoverable defects:
// clear → pgwaIgnore (the reader goes on with a partial image), set → pgwaRaise.

namespace zwfuzz {

// Once per process: the message-box hook answering OK, the pixel-memory cap
// at 256 MiB, the library settings at their initial values.
void Init();

// The warning action chosen by the mode byte.
TPGWarningAction WarningAction(uint8_t mode);

// Runs body and accepts the library's own error reports (EPixelGraphic and the
// stream errors). Anything else escaping a reader — std::bad_alloc,
// std::length_error, std::out_of_range, … — means a size or index went
// unchecked, so it aborts and libFuzzer records the input.
void Guard(const std::function<void()>& body);

} // namespace zwfuzz
