// How entry names are stored: ANSI, OEM or UTF-8 bytes in the archive,
// UTF-16 in the engine.
#pragma once

#include <string>
#include <string_view>

#include "platform/code_pages.h"

namespace parcelon {

// Valid UTF-8 in the strict sense of the format (no overlong forms, no
// surrogates, nothing above U+10FFFF).
bool IsValidUtf8(std::string_view bytes);
bool HasNonAsciiByte(std::string_view bytes);

// Decodes a stored name. With `utf8_flag` (flag bit 11) the bytes are UTF-8.
// Without it, bytes that are valid UTF-8 and hold a non-ASCII byte are UTF-8
// too; otherwise, with `oem_file_names`, they are OEM text, else ANSI text.
std::u16string DecodeStoredName(std::string_view bytes, bool utf8_flag, bool oem_file_names,
                                const platform::CodePages& code_pages);

// A name in its stored form.
struct EncodedName {
  std::string bytes;
  bool utf8 = false;  // set flag bit 11
};
// Encodes a name: ANSI when the name survives the round trip through ANSI,
// then OEM when `oem_file_names`; otherwise UTF-8 (whole, up to 65,535 bytes).
EncodedName EncodeStoredName(std::u16string_view name, bool oem_file_names,
                             const platform::CodePages& code_pages);

}  // namespace parcelon
