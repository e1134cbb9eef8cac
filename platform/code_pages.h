// Conversions between the 8-bit code pages of archive names and UTF-16, and
// the letter-case mappings of wide text, as an interface so that tests can
// substitute them.
#pragma once

#include <string>
#include <string_view>

namespace platform {

class CodePages {
 public:
  virtual ~CodePages() = default;

  // ANSI (Windows-1252) bytes to UTF-16. Never fails: bytes without a
  // character map to the code point of the same value, as Windows does.
  virtual std::u16string AnsiToWide(std::string_view ansi) const = 0;
  // UTF-16 to ANSI. Characters without an ANSI form become '?', and *lossless
  // (when given) tells whether converting back gives the same text.
  virtual std::string WideToAnsi(std::u16string_view wide, bool* lossless = nullptr) const = 0;
  // OEM (IBM437) bytes to ANSI bytes and back; characters missing on the
  // other side become '?'.
  virtual std::string OemToAnsi(std::string_view oem) const = 0;
  virtual std::string AnsiToOem(std::string_view ansi) const = 0;
  // OEM bytes straight to UTF-16, keeping characters that ANSI lacks. The
  // default goes through ANSI.
  virtual std::u16string OemToWide(std::string_view oem) const {
    return AnsiToWide(OemToAnsi(oem));
  }
  // UTF-8 to UTF-16; each byte outside a valid sequence becomes the lone
  // surrogate U+DC80-U+DCFF of that byte (see platform/unicode.h).
  virtual std::u16string Utf8ToWide(std::string_view utf8) const = 0;
  // UTF-16 to UTF-8; U+DC80-U+DCFF alone go back to their byte, other
  // unpaired surrogates become U+FFFD.
  virtual std::string WideToUtf8(std::u16string_view wide) const = 0;
  // Locale-aware (C.UTF-8) case mappings, code unit by code unit.
  virtual std::u16string WideLower(std::u16string_view text) const = 0;
  virtual std::u16string WideUpper(std::u16string_view text) const = 0;
  virtual char16_t CharUpper(char16_t c) const = 0;
};

}  // namespace platform
