// The detailed code of the engine error an action raises.
#pragma once

#include <cstdint>
#include <functional>

#include "archive/errors/pl_exception.h"

namespace testing_support {

// Runs `action`; gives the NativeError of the EPLException it raises, or
// `none` when it raises none.
inline int32_t CodeOf(const std::function<void()>& action, int32_t none = 0) {
  try {
    action();
  } catch (const parcelon::EPLException& e) {
    return e.NativeError();
  }
  return none;
}

}  // namespace testing_support
