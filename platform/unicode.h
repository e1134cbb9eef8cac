// UTF-16 <-> UTF-8 without any locale, lossless for any byte string: a byte
// that does not belong to a valid UTF-8 sequence becomes the lone surrogate
// U+DC80-U+DCFF (0xDC00 plus the byte) and goes back to that very byte, so a
// file name of any bytes survives the trip through the engine's UTF-16
// names. Any other lone surrogate becomes U+FFFD.
#pragma once

#include <string>
#include <string_view>

namespace platform {

std::string Utf16ToUtf8(std::u16string_view text);
std::u16string Utf8ToUtf16(std::string_view text);

}  // namespace platform
