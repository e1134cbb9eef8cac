// The base of every exception that carries a user-facing message, and the
// one family of failures of the file layer.
#pragma once

#include <cerrno>
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

// Thrown by every operation of the file layer that fails: a FileSystem
// method, a file stream, a text file. The message names the operation and
// the system's reason; Errno() is the errno value (0 when the failure did
// not come from a system call) and Path() the file or folder concerned
// (empty when unknown). Catching IoError catches the whole family.
class IoError : public Exception {
 public:
  // `what` is UTF-8 and becomes what() unchanged.
  IoError(const std::string& what, int errnum, std::string path = {});
  IoError(std::u16string message, int errnum, std::string path)
      : Exception(std::move(message)), errno_(errnum), path_(std::move(path)) {}
  int Errno() const { return errno_; }
  const std::string& Path() const { return path_; }

  // Builds "<operation> <path>: <strerror(errnum)>".
  static IoError FromErrno(const std::string& operation, const std::string& path, int errnum);

 private:
  int errno_;
  std::string path_;
};

// A stream could not be read, written, opened or created
// ("Stream read error", "Cannot open file \"x\". reason", ...).
class EStreamError : public IoError {
 public:
  explicit EStreamError(std::u16string message, int errnum = 0, std::string path = {})
      : IoError(std::move(message), errnum, std::move(path)) {}
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

// Whether `errnum` says that a place refuses the operation (no permission,
// a read-only file system) rather than that something failed.
inline bool IsRefusal(int errnum) {
  return errnum == EACCES || errnum == EPERM || errnum == EROFS;
}

}  // namespace platform
