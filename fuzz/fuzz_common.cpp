#include "fuzz/fuzz_common.h"

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <typeinfo>

#include "pgraphic/formats/settings.h"
#include "platform/messagebox.h"
#include "platform/stream.h"

namespace zwfuzz {

void Init() {
  static const bool done = [] {
    platform::SetMessageBoxHook([](const std::string&, const std::string&, platform::TMsgButtons,
                                   platform::TMsgIcon) { return static_cast<int>(platform::mrOk); });
    PGResetFormatSettings();
    PGMaxImageBytes = int64_t{256} << 20;
    return true;
  }();
  (void)done;
}

TPGWarningAction WarningAction(uint8_t mode) { return (mode & 1) ? pgwaRaise : pgwaIgnore; }

void Guard(const std::function<void()>& body) {
  try {
    body();
  } catch (const EPixelGraphic&) {
  } catch (const EStreamError&) {
  } catch (const std::exception& e) {
    std::fprintf(stderr, "fuzz: unexpected exception %s: %s\n", typeid(e).name(), e.what());
    std::abort();
  } catch (...) {
    std::fprintf(stderr, "fuzz: unexpected non-standard exception\n");
    std::abort();
  }
}

} // namespace zwfuzz
