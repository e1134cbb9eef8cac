// The base of every exception that carries a user-facing message, and the
// stream errors of the file layer.
#pragma once

#include <exception>
#include <string>
#include <utility>

namespace platform {

// An exception with a message in UTF-16. what() gives the same text in UTF-8.
class Exception : public std::exception {
 public:
  explicit Exception(std::u16string message);
  const std::u16string& Message() const { return message_; }
  const char* what() const noexcept override { return utf8_.c_str(); }

 private:
  std::u16string message_;
  std::string utf8_;
};

// A stream could not be read, written, opened or created
// ("Stream read error", "Cannot open file \"x\". reason", ...). Errno() is
// the system's error number when a system call failed, else 0.
class EStreamError : public Exception {
 public:
  explicit EStreamError(std::u16string message, int errnum = 0)
      : Exception(std::move(message)), errno_(errnum) {}
  int Errno() const { return errno_; }

 private:
  int errno_;
};

// A file could not be opened: "Cannot open file \"%s\". %s".
class EFOpenError : public EStreamError {
 public:
  using EStreamError::EStreamError;
};

// A file could not be created: "Cannot create file \"%s\". %s".
class EFCreateError : public EStreamError {
 public:
  using EStreamError::EStreamError;
};

}  // namespace platform
