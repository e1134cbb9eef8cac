#include "cli/parcelon/text_format.h"

#include "platform/unicode.h"

namespace parcelon::cli {
namespace {

constexpr char kHexDigits[] = "0123456789abcdef";

// A byte that the listing escapes.
bool NeedsEscape(unsigned char byte) {
  return byte < 0x20 || byte == 0x7F || byte == '\\';
}

void AppendEscape(std::string& out, unsigned char byte) {
  const char short_form = byte == '\t' ? 't' : byte == '\n' ? 'n' : byte == '\r' ? 'r' : 0;
  if (byte == '\\' || short_form != 0) {
    out += '\\';
    out += byte == '\\' ? '\\' : short_form;
    return;
  }
  const char escape[] = {'\\', 'x', kHexDigits[byte >> 4], kHexDigits[byte & 0xF]};
  out.append(escape, sizeof escape);
}

// Two decimal digits of a value below 100.
void AppendTwoDigits(std::string& out, unsigned value) {
  out += static_cast<char>('0' + value / 10);
  out += static_cast<char>('0' + value % 10);
}

}  // namespace

void AppendEscaped(std::string& out, std::string_view bytes) {
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    if (NeedsEscape(byte)) {
      AppendEscape(out, byte);
    } else {
      out += c;
    }
  }
}

void AppendEscapedName(std::string& out, std::u16string_view name) {
  // Printable ASCII is copied straight; the rest of the name from the first
  // other character on goes through the UTF-8 conversion.
  for (size_t i = 0; i < name.size(); ++i) {
    const char16_t c = name[i];
    if (c >= 0x80) return AppendEscaped(out, platform::Utf16ToUtf8(name.substr(i)));
    if (NeedsEscape(static_cast<unsigned char>(c))) {
      AppendEscape(out, static_cast<unsigned char>(c));
    } else {
      out += static_cast<char>(c);
    }
  }
}

void AppendDecimal(std::string& out, uint64_t value, size_t width) {
  char digits[20];
  size_t count = 0;
  do {
    digits[sizeof digits - ++count] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0);
  if (width > count) out.append(width - count, ' ');
  out.append(digits + sizeof digits - count, count);
}

void AppendHex8(std::string& out, uint32_t value) {
  char digits[8];
  for (size_t i = sizeof digits; i-- > 0; value >>= 4) digits[i] = kHexDigits[value & 0xF];
  out.append(digits, sizeof digits);
}

void AppendDosDateTime(std::string& out, uint16_t date, uint16_t time) {
  AppendDecimal(out, (date >> 9) + 1980u);
  out += '-';
  AppendTwoDigits(out, (date >> 5) & 0x0Fu);
  out += '-';
  AppendTwoDigits(out, date & 0x1Fu);
  out += ' ';
  AppendTwoDigits(out, time >> 11);
  out += ':';
  AppendTwoDigits(out, (time >> 5) & 0x3Fu);
  out += ':';
  AppendTwoDigits(out, (time & 0x1Fu) * 2);
}

std::string WithoutPrefix(std::string message) {
  if (std::string_view(message).starts_with(kPrefix)) message.erase(0, kPrefix.size());
  return message;
}

std::string ProblemLine(std::string_view name, std::string_view problem) {
  std::string line(kPrefix);
  AppendEscaped(line, name);
  line += ": ";
  AppendEscaped(line, problem);
  return line;
}

}  // namespace parcelon::cli
