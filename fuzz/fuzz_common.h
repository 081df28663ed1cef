#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

#include "fuzz/fuzz_modes.h"
#include "pgraphic/core/pixelgraphic.h"

// Shared set-up of the fuzz targets.
//
// Every target reads its first input byte as a set of mode bits and the rest
// as the file (fuzz_modes.h: bits 0 and 1; the targets give the others).

namespace zwfuzz {

// Once per process: the message-box hook answering OK, the pixel-memory cap
// at 256 MiB, the library settings at their initial values.
void Init();

// Runs body and accepts the library's own error reports (EPixelGraphic and the
// stream errors). Anything else escaping a reader — std::bad_alloc,
// std::length_error, std::out_of_range, … — means a size or index went
// unchecked, so it aborts and libFuzzer records the input.
void Guard(const std::function<void()>& body);

} // namespace zwfuzz
