#include "cli/json_text.h"

#include <cstdint>

namespace kmlcompat {

namespace {

// The length of the valid UTF-8 sequence at text[i] (lead byte 0xC2 or
// above), or 0 when there is none.
size_t Utf8SequenceAt(std::string_view text, size_t i) {
  const auto byte = [&](size_t k) { return static_cast<uint8_t>(text[k]); };
  const uint8_t lead = byte(i);
  const size_t length = lead < 0xC2 ? 0 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : lead < 0xF5 ? 4 : 0;
  if (length == 0 || text.size() - i < length) return 0;
  for (size_t k = 1; k < length; ++k)
    if ((byte(i + k) & 0xC0) != 0x80) return 0;
  const uint8_t second = byte(i + 1);
  if (lead == 0xE0 && second < 0xA0) return 0;   // overlong
  if (lead == 0xED && second >= 0xA0) return 0;  // a surrogate
  if (lead == 0xF0 && second < 0x90) return 0;   // overlong
  if (lead == 0xF4 && second >= 0x90) return 0;  // above U+10FFFF
  return length;
}

void AppendEscaped(char c, std::string* out) {
  static constexpr char kHex[] = "0123456789abcdef";
  switch (c) {
    case '"':
      out->append("\\\"");
      return;
    case '\\':
      out->append("\\\\");
      return;
    case '\b':
      out->append("\\b");
      return;
    case '\f':
      out->append("\\f");
      return;
    case '\n':
      out->append("\\n");
      return;
    case '\r':
      out->append("\\r");
      return;
    case '\t':
      out->append("\\t");
      return;
    default:
      if (static_cast<uint8_t>(c) >= 0x20) {
        out->push_back(c);
        return;
      }
      out->append("\\u00").push_back(kHex[(c >> 4) & 0xF]);
      out->push_back(kHex[c & 0xF]);
  }
}

}  // namespace

std::string JsonString(std::string_view bytes) {
  std::string out = "\"";
  for (size_t i = 0; i < bytes.size();) {
    if (static_cast<uint8_t>(bytes[i]) < 0x80) {
      AppendEscaped(bytes[i++], &out);
    } else if (size_t length = Utf8SequenceAt(bytes, i); length != 0) {
      out.append(bytes.substr(i, length));
      i += length;
    } else {
      out.append("\\ufffd");
      ++i;
    }
  }
  out.push_back('"');
  return out;
}

}  // namespace kmlcompat
