// Hand-made text formatting for the listing: numbers, times and escaped
// names appended to one growing buffer, without a format string per value.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace parcelon::cli {

// Appends `bytes` with the bytes that would break a line or a column escaped:
// TAB as \t, LF as \n, CR as \r, a backslash as \\, and every other byte
// below 0x20 and 0x7F as \xNN (two lower-case hex digits). All other bytes,
// UTF-8 sequences included, are copied as they are.
void AppendEscaped(std::string& out, std::string_view bytes);
// Appends the UTF-8 form of `name` (as platform::Utf16ToUtf8 makes it: the
// name's own bytes, also those that are not UTF-8), escaped as AppendEscaped
// does.
void AppendEscapedName(std::string& out, std::u16string_view name);

// Appends `value` in decimal, right-aligned with spaces to `width`
// characters; a longer number takes the room it needs.
void AppendDecimal(std::string& out, uint64_t value, size_t width = 0);
// Appends `value` as 8 lower-case hex digits.
void AppendHex8(std::string& out, uint32_t value);
// Appends "YYYY-MM-DD HH:MM:SS" straight from the bit fields of the MS-DOS
// date and time words (seconds doubled), whatever they hold.
void AppendDosDateTime(std::string& out, uint16_t date, uint16_t time);

// What the program's messages start with.
inline constexpr std::string_view kPrefix = "parcelon: ";

// `message` without the program's "parcelon: " prefix, for messages the
// engine made that are shown after an entry's name.
std::string WithoutPrefix(std::string message);

// "parcelon: NAME: PROBLEM", both escaped as AppendEscaped does.
std::string ProblemLine(std::string_view name, std::string_view problem);

}  // namespace parcelon::cli
