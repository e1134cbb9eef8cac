#include "platform/exception.h"

#include "platform/unicode.h"

namespace platform {

Exception::Exception(std::u16string message)
    : message_(std::move(message)), utf8_(Utf16ToUtf8(message_)) {}

}  // namespace platform
