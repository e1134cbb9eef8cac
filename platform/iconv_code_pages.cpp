#include "platform/iconv_code_pages.h"

#include <iconv.h>

#include <algorithm>
#include <cwctype>
#include <stdexcept>
#include <string>

#include "platform/unicode.h"

namespace platform {
namespace {

struct CloseIconv {
  void operator()(void* cd) const { iconv_close(static_cast<iconv_t>(cd)); }
};
using IconvHandle = std::unique_ptr<void, CloseIconv>;

IconvHandle OpenToUtf16(const char* code_page) {
  iconv_t cd = iconv_open("UTF-16LE", code_page);
  if (cd == reinterpret_cast<iconv_t>(-1))
    throw std::runtime_error(std::string("iconv cannot convert from ") + code_page);
  return IconvHandle(cd);
}

// The UTF-16 code unit of one byte, or the byte's own value when the code
// page has no character for it (as Windows maps the holes of Windows-1252).
char16_t ConvertByte(void* cd, uint8_t byte) {
  iconv(static_cast<iconv_t>(cd), nullptr, nullptr, nullptr, nullptr);  // reset the state
  char in = static_cast<char>(byte);
  char out[4] = {};
  char* in_ptr = &in;
  char* out_ptr = out;
  size_t in_left = 1;
  size_t out_left = sizeof out;
  const size_t done = iconv(static_cast<iconv_t>(cd), &in_ptr, &in_left, &out_ptr, &out_left);
  if (done == static_cast<size_t>(-1) || sizeof out - out_left != 2) return byte;
  return static_cast<char16_t>(static_cast<uint8_t>(out[0]) | static_cast<uint8_t>(out[1]) << 8);
}

IconvCodePages::Table BuildTable(const char* code_page) {
  IconvHandle cd = OpenToUtf16(code_page);
  IconvCodePages::Table table;
  for (int b = 0; b < 256; ++b) {
    const auto byte = static_cast<uint8_t>(b);
    table.to_wide[byte] = byte < 0x80 ? char16_t{byte} : ConvertByte(cd.get(), byte);
    if (byte >= 0x80) table.from_wide[byte - 0x80] = {table.to_wide[byte], byte};
  }
  std::sort(table.from_wide.begin(), table.from_wide.end());
  return table;
}

// The byte of `c` in `table`, or -1 when it has none.
int FindByte(const IconvCodePages::Table& table, char16_t c) {
  if (c < 0x80) return c;
  auto it = std::lower_bound(table.from_wide.begin(), table.from_wide.end(),
                             std::pair<char16_t, uint8_t>{c, 0});
  return it != table.from_wide.end() && it->first == c ? it->second : -1;
}

bool IsHighSurrogate(char16_t c) {
  return c >= 0xD800 && c <= 0xDBFF;
}
bool IsLowSurrogate(char16_t c) {
  return c >= 0xDC00 && c <= 0xDFFF;
}
bool IsSurrogate(wint_t c) {
  return c >= 0xD800 && c <= 0xDFFF;
}

// A mapping result that still fits one code unit and is no surrogate.
char16_t FitUnit(char16_t original, wint_t mapped) {
  if (mapped > 0xFFFF || IsSurrogate(mapped)) return original;
  return static_cast<char16_t>(mapped);
}

}  // namespace

IconvCodePages::IconvCodePages()
    : ansi_(BuildTable("CP1252")),
      oem_(BuildTable("IBM437")),
      locale_(newlocale(LC_CTYPE_MASK, "C.UTF-8", nullptr)) {
  for (int b = 0; b < 256; ++b) {
    const int to_ansi = FindByte(ansi_, oem_.to_wide[b]);
    const int to_oem = FindByte(oem_, ansi_.to_wide[b]);
    oem_to_ansi_[b] = static_cast<char>(to_ansi < 0 ? '?' : to_ansi);
    ansi_to_oem_[b] = static_cast<char>(to_oem < 0 ? '?' : to_oem);
  }
}

IconvCodePages::~IconvCodePages() = default;

std::u16string IconvCodePages::AnsiToWide(std::string_view ansi) const {
  std::u16string out(ansi.size(), u'\0');
  for (size_t i = 0; i < ansi.size(); ++i) out[i] = ansi_.to_wide[static_cast<uint8_t>(ansi[i])];
  return out;
}

std::string IconvCodePages::WideToAnsi(std::u16string_view wide, bool* lossless) const {
  std::string out;
  out.reserve(wide.size());
  bool exact = true;
  for (size_t i = 0; i < wide.size(); ++i) {
    const int byte = FindByte(ansi_, wide[i]);
    if (byte >= 0) {
      out += static_cast<char>(byte);
      continue;
    }
    exact = false;
    out += '?';  // one '?' per character: a surrogate pair counts once
    if (IsHighSurrogate(wide[i]) && i + 1 < wide.size() && IsLowSurrogate(wide[i + 1])) ++i;
  }
  if (lossless) *lossless = exact;
  return out;
}

std::string IconvCodePages::OemToAnsi(std::string_view oem) const {
  std::string out(oem);
  for (char& c : out) c = oem_to_ansi_[static_cast<uint8_t>(c)];
  return out;
}

std::string IconvCodePages::AnsiToOem(std::string_view ansi) const {
  std::string out(ansi);
  for (char& c : out) c = ansi_to_oem_[static_cast<uint8_t>(c)];
  return out;
}

std::u16string IconvCodePages::OemToWide(std::string_view oem) const {
  std::u16string out(oem.size(), u'\0');
  for (size_t i = 0; i < oem.size(); ++i) out[i] = oem_.to_wide[static_cast<uint8_t>(oem[i])];
  return out;
}

std::u16string IconvCodePages::Utf8ToWide(std::string_view utf8) const {
  return Utf8ToUtf16(utf8);
}

std::string IconvCodePages::WideToUtf8(std::u16string_view wide) const {
  return Utf16ToUtf8(wide);
}

char16_t IconvCodePages::Lower(char16_t c) const {
  if (c < 0x80) return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 0x20) : c;
  if (!locale_ || IsSurrogate(c)) return c;
  return FitUnit(c, towlower_l(c, locale_.get()));
}

char16_t IconvCodePages::CharUpper(char16_t c) const {
  if (c < 0x80) return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 0x20) : c;
  if (!locale_ || IsSurrogate(c)) return c;
  return FitUnit(c, towupper_l(c, locale_.get()));
}

std::u16string IconvCodePages::WideLower(std::u16string_view text) const {
  std::u16string out(text);
  for (char16_t& c : out) c = Lower(c);
  return out;
}

std::u16string IconvCodePages::WideUpper(std::u16string_view text) const {
  std::u16string out(text);
  for (char16_t& c : out) c = CharUpper(c);
  return out;
}

}  // namespace platform
