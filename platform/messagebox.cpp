#include "platform/messagebox.h"

#include <cstdio>
#include <mutex>

namespace platform {
namespace {

std::mutex& HookMutex() {
  static std::mutex m;
  return m;
}
TMessageBoxHook& Hook() {
  static TMessageBoxHook hook;
  return hook;
}

} // namespace

int DefaultMessageBox(const std::string& text, const std::string& caption, TMsgButtons, TMsgIcon) {
  std::string line = caption.empty() ? text : caption + ": " + text;
  for (char& c : line)
    if (c == '\r') c = '\n';
  std::fprintf(stderr, "%s\n", line.c_str());
  return mrOk;
}

int MessageBox(const std::string& text, const std::string& caption, TMsgButtons buttons, TMsgIcon icon) {
  TMessageBoxHook hook;
  {
    std::lock_guard<std::mutex> lock(HookMutex());
    hook = Hook();
  }
  if (hook) return hook(text, caption, buttons, icon);
  return DefaultMessageBox(text, caption, buttons, icon);
}

TMessageBoxHook SetMessageBoxHook(TMessageBoxHook hook) {
  std::lock_guard<std::mutex> lock(HookMutex());
  TMessageBoxHook old = std::move(Hook());
  Hook() = std::move(hook);
  return old;
}

} // namespace platform
