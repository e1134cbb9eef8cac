// UTF-16 <-> UTF-8 without any locale. Invalid input becomes U+FFFD.
#pragma once

#include <string>
#include <string_view>

namespace platform {

std::string Utf16ToUtf8(std::u16string_view text);
std::u16string Utf8ToUtf16(std::string_view text);

}  // namespace platform
