// Passwords in memory: a string that held one is overwritten before it is
// let go, so that no copy lingers in freed memory.
#pragma once

#include <string.h>

#include <string>

namespace platform {

// Overwrites the characters of `secret` (explicit_bzero, which the
// compiler may not drop) and empties it.
inline void WipeSecret(std::string& secret) {
  explicit_bzero(secret.data(), secret.size());
  secret.clear();
}

// Owns one password and wipes it when it goes.
class WipedOnExit {
 public:
  explicit WipedOnExit(std::string& secret) : secret_(secret) {}
  ~WipedOnExit() { WipeSecret(secret_); }
  WipedOnExit(const WipedOnExit&) = delete;
  WipedOnExit& operator=(const WipedOnExit&) = delete;

 private:
  std::string& secret_;
};

}  // namespace platform
