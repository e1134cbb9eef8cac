// The lines of the list verb, appended to an output buffer. Sizes are shown
// as the directory entry states them (the 64-bit values where the 32-bit
// fields are saturated), unsigned and in full; names are escaped as
// AppendEscapedName does, so that every entry takes exactly one line.
#pragma once

#include <cstdint>
#include <string>

#include "archive/entry_view.h"

namespace parcelon::cli {

// One entry as a tab-separated line: name, size, packed size, CRC-32, time,
// attributes, encrypted (1 or 0), and the encryption: none, zipcrypto
// (traditional), aes128, aes192 or aes256.
void AppendTsvLine(std::string& out, const EntryView& entry);
// The column heads of the table, two lines.
void AppendTableHeader(std::string& out);
// One entry as a line of the table: size, packed size, space saved, time,
// CRC-32, attributes, the encryption (blank, Z for traditional, A128, A192
// or A256 for AES), name.
void AppendTableLine(std::string& out, const EntryView& entry);
// The totals line of the table.
void AppendTotalsLine(std::string& out, uint64_t entries, uint64_t size, uint64_t packed);

// The space saved as a whole percentage, rounded half to even as printf's
// "%.0f" rounds: 100 for an empty entry, 0 when packing made it larger.
unsigned SavedPercent(uint64_t size, uint64_t packed);
// `total + size`, staying at UINT64_MAX instead of wrapping.
uint64_t AddSaturated(uint64_t total, uint64_t size);

}  // namespace parcelon::cli
