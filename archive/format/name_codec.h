// How entry names are stored: ANSI, OEM or UTF-8 bytes in the archive,
// UTF-16 in the engine.
#pragma once

#include <string>
#include <string_view>

#include "platform/code_pages.h"

namespace parcelon {

// Valid UTF-8 by the rule of stored names: no overlong forms and nothing
// above U+10FFFF. Lead bytes E1-EF take any two continuation bytes, so
// encoded surrogates (ED A0-BF ..) pass; decoding keeps their bytes (as lone surrogates).
bool IsValidUtf8(std::string_view bytes);
bool HasNonAsciiByte(std::string_view bytes);

// Decodes a stored name. With `utf8_flag` (flag bit 11) the bytes are UTF-8.
// Without it, bytes that are valid UTF-8 and hold a non-ASCII byte are UTF-8
// too (tested on the bytes as stored, before any OEM conversion). Other
// bytes of an entry made on Unix (`unix_host`) are the file name's own bytes
// from a disk that gives them no code page; otherwise, with
// `oem_file_names`, they are OEM text, else ANSI text. Never fails and loses
// nothing: a byte that is no part of valid UTF-8 decodes to its lone
// surrogate (platform/unicode.h), so the name's bytes come back whole.
std::u16string DecodeStoredName(std::string_view bytes, bool utf8_flag, bool oem_file_names,
                                const platform::CodePages& code_pages, bool unix_host = false);

// A name in its stored form.
struct EncodedName {
  std::string bytes;
  bool utf8 = false;  // set flag bit 11
};
// Encodes a name the way every reader expects it: an ASCII name as it is; a
// name that holds bytes which are not UTF-8 (lone surrogates U+DC80-U+DCFF,
// from a disk name of such bytes) as those raw bytes without the flag, to be
// read back as an entry made on Unix; any other name as UTF-8 with `utf8`
// set. The whole name is stored, up to the 65,535 bytes the u16 length field
// can count: a longer name is cut at a character boundary to at most 65,535
// bytes.
EncodedName EncodeStoredName(std::u16string_view name, const platform::CodePages& code_pages);

// Whether `name` is Unicode text: every surrogate stands in a pair. A name
// holding an escaped byte (a lone U+DC80-U+DCFF) or any other lone surrogate
// is not; its stored bytes are the only form of it, and no field that must
// carry Unicode text may be written for it.
bool IsWellFormedUnicode(std::u16string_view name);

}  // namespace parcelon
