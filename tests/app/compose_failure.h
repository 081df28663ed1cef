#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>

#include "app/core/compose.h"

// The step and message of a failed composition.
inline std::pair<TComposeStep, std::string> ComposeFailure(const std::function<void()>& f) {
  try {
    f();
  } catch (const EComposeFailed& e) {
    return {e.Step(), e.what()};
  }
  ADD_FAILURE() << "no EComposeFailed";
  return {csStore, ""};
}
