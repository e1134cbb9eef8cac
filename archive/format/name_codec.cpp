#include "archive/format/name_codec.h"

#include <cstdint>

namespace parcelon {
namespace {

constexpr size_t kMaxStoredNameBytes = 0xFFFF;  // the u16 name length field

bool IsContinuation(uint8_t b) {
  return b >= 0x80 && b <= 0xBF;
}

// The multi-byte sequences that count as valid: a range of lead bytes, the
// sequence length, and the range of the byte after the lead (the bytes after
// that are plain continuation bytes 80-BF).
struct LeadRule {
  uint8_t lead_lo, lead_hi;
  size_t length;
  uint8_t second_lo, second_hi;
};
constexpr LeadRule kLeadRules[] = {
    {0xC2, 0xDF, 2, 0x80, 0xBF}, {0xE0, 0xE0, 3, 0xA0, 0xBF}, {0xE1, 0xEF, 3, 0x80, 0xBF},
    {0xF0, 0xF0, 4, 0x90, 0xBF}, {0xF1, 0xF3, 4, 0x80, 0xBF}, {0xF4, 0xF4, 4, 0x80, 0x8F},
};

const LeadRule* RuleOf(uint8_t lead) {
  for (const LeadRule& rule : kLeadRules)
    if (lead >= rule.lead_lo && lead <= rule.lead_hi) return &rule;
  return nullptr;
}

// The length of the sequence that starts at bytes[i] when it is valid, else 0.
size_t SequenceLength(std::string_view bytes, size_t i) {
  const auto lead = static_cast<uint8_t>(bytes[i]);
  if (lead < 0x80) return 1;
  const LeadRule* rule = RuleOf(lead);
  if (!rule || bytes.size() - i < rule->length) return 0;
  const auto second = static_cast<uint8_t>(bytes[i + 1]);
  if (second < rule->second_lo || second > rule->second_hi) return 0;
  for (size_t k = 2; k < rule->length; ++k)
    if (!IsContinuation(static_cast<uint8_t>(bytes[i + k]))) return 0;
  return rule->length;
}

// Cuts UTF-8 text to at most `limit` bytes without splitting a character.
void CutUtf8(std::string& text, size_t limit) {
  if (text.size() <= limit) return;
  size_t end = limit;
  while (end > 0 && (static_cast<uint8_t>(text[end]) & 0xC0) == 0x80) --end;
  text.resize(end);
}

// At most `limit` code units of `name`, not ending inside a surrogate pair.
std::u16string_view CutWide(std::u16string_view name, size_t limit) {
  if (name.size() <= limit) return name;
  const bool splits_pair = name[limit - 1] >= 0xD800 && name[limit - 1] <= 0xDBFF;
  return name.substr(0, splits_pair ? limit - 1 : limit);
}

// Whether a name stored without flag bit 11 would be read back as UTF-8.
bool ReadsAsUtf8(std::string_view bytes) {
  return HasNonAsciiByte(bytes) && IsValidUtf8(bytes);
}

bool IsAscii(std::u16string_view name) {
  for (char16_t c : name)
    if (c >= 0x80) return false;
  return true;
}

// A lone surrogate that stands for an undecodable byte of a disk name.
bool HoldsEscapedByte(std::u16string_view name) {
  for (size_t i = 0; i < name.size(); ++i) {
    const bool high = name[i] >= 0xD800 && name[i] <= 0xDBFF;
    if (high && i + 1 < name.size() && name[i + 1] >= 0xDC00 && name[i + 1] <= 0xDFFF) {
      ++i;  // a pair: one character above U+FFFF
    } else if (name[i] >= 0xDC80 && name[i] <= 0xDCFF) {
      return true;
    }
  }
  return false;
}

}  // namespace

bool IsValidUtf8(std::string_view bytes) {
  for (size_t i = 0; i < bytes.size();) {
    const size_t length = SequenceLength(bytes, i);
    if (length == 0) return false;
    i += length;
  }
  return true;
}

bool HasNonAsciiByte(std::string_view bytes) {
  for (char c : bytes)
    if (static_cast<uint8_t>(c) >= 0x80) return true;
  return false;
}

std::u16string DecodeStoredName(std::string_view bytes, bool utf8_flag, bool oem_file_names,
                                const platform::CodePages& code_pages, bool unix_host) {
  // UTF-8 is recognised on the raw bytes: converting them from OEM first
  // would garble names that other tools stored as UTF-8 without the flag.
  if (utf8_flag || ReadsAsUtf8(bytes)) return code_pages.Utf8ToWide(bytes);
  if (unix_host) return code_pages.Utf8ToWide(bytes);
  if (oem_file_names) return code_pages.OemToWide(bytes);
  return code_pages.AnsiToWide(bytes);
}

bool IsWellFormedUnicode(std::u16string_view name) {
  for (size_t i = 0; i < name.size(); ++i) {
    const bool high = name[i] >= 0xD800 && name[i] <= 0xDBFF;
    const bool low_next = i + 1 < name.size() && name[i + 1] >= 0xDC00 && name[i + 1] <= 0xDFFF;
    if (high && low_next) {
      ++i;  // a pair: one character above U+FFFF
    } else if (name[i] >= 0xD800 && name[i] <= 0xDFFF) {
      return false;
    }
  }
  return true;
}

EncodedName EncodeStoredName(std::u16string_view name, const platform::CodePages& code_pages) {
  name = CutWide(name, kMaxStoredNameBytes);
  EncodedName out{code_pages.WideToUtf8(name), !IsAscii(name) && !HoldsEscapedByte(name)};
  CutUtf8(out.bytes, kMaxStoredNameBytes);
  return out;
}

}  // namespace parcelon
