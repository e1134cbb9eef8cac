#include "platform/exception.h"

#include <cstring>

#include "platform/unicode.h"

namespace platform {

Exception::Exception(std::u16string message)
    : message_(std::move(message)), utf8_(Utf16ToUtf8(message_)) {}

// The conversion to UTF-16 and back gives every byte string unchanged, so
// what() is `what` itself.
IoError::IoError(const std::string& what, int errnum, std::string path)
    : Exception(Utf8ToUtf16(what)), errno_(errnum), path_(std::move(path)) {}

IoError IoError::FromErrno(const std::string& operation, const std::string& path, int errnum) {
  return IoError(operation + " " + path + ": " + std::strerror(errnum), errnum, path);
}

}  // namespace platform
