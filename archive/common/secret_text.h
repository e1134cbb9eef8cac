// A password's bytes with a single owner: they are never modified after
// construction and are wiped from memory when the owner goes away.
#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace parcelon {

// Holds a copy of `text`. Not copyable; share it through SharedSecret so
// that every user refers to the one copy. The destructor overwrites the
// bytes (including any unused capacity) before the memory is released.
class SecretText {
 public:
  SecretText() = default;
  explicit SecretText(std::string_view text) : text_(text) {}
  ~SecretText();
  SecretText(const SecretText&) = delete;
  SecretText& operator=(const SecretText&) = delete;

  const std::string& Text() const { return text_; }
  bool Empty() const { return text_.empty(); }

 private:
  std::string text_;
};

// The form in which a password is held and passed around: changing the
// password makes a new SecretText; the old one is wiped once the last
// queued entry that refers to it is gone.
using SharedSecret = std::shared_ptr<const SecretText>;

// A new holder of `text` (never null).
inline SharedSecret MakeSecret(std::string_view text) {
  return std::make_shared<const SecretText>(text);
}

// True when `secret` holds a non-empty password.
inline bool HasSecret(const SharedSecret& secret) {
  return secret && !secret->Empty();
}

}  // namespace parcelon
