// Failures of the platform layer.
#pragma once

#include <cerrno>
#include <stdexcept>
#include <string>

namespace platform {

// Thrown by every file operation of this layer that fails. what() names the
// operation, the path and the system's reason; Errno() is the errno value
// (0 when the failure did not come from a system call).
class IoError : public std::runtime_error {
 public:
  IoError(const std::string& what, int errnum) : std::runtime_error(what), errno_(errnum) {}
  int Errno() const { return errno_; }

  // Builds "<operation> <path>: <strerror(errnum)>".
  static IoError FromErrno(const std::string& operation, const std::string& path, int errnum);

 private:
  int errno_;
};

// Whether `errnum` says that a place refuses the operation (no permission,
// a read-only file system) rather than that something failed.
inline bool IsRefusal(int errnum) {
  return errnum == EACCES || errnum == EPERM || errnum == EROFS;
}

}  // namespace platform
