#include "fuzz/fuzz_common.h"

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <typeinfo>

#include "pgraphic/formats/settings.h"
#include "platform/messagebox.h"
#include "platform/stream.h"
#if __has_include("platform/inifile.h")
#include "platform/inifile.h"
#define ZWFUZZ_HAVE_INIFILE 1
#endif

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

void Guard(const std::function<void()>& body) {
  try {
    body();
  } catch (const EPixelGraphic&) {
  } catch (const EStreamError&) {
#ifdef ZWFUZZ_HAVE_INIFILE
  } catch (const platform::EIniFileException&) {
#endif
  } catch (const std::exception& e) {
    std::fprintf(stderr, "fuzz: unexpected exception %s: %s\n", typeid(e).name(), e.what());
    std::abort();
  } catch (...) {
    std::fprintf(stderr, "fuzz: unexpected non-standard exception\n");
    std::abort();
  }
}

} // namespace zwfuzz
