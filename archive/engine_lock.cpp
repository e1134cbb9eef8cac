#include "archive/engine_lock.h"

namespace parcelon {

std::recursive_mutex& EngineLock() {
  // The engine's only global state; constructed on first use, thread-safely.
  static std::recursive_mutex lock;
  return lock;
}

}  // namespace parcelon
