// Formatting of entries for the list verb.
#pragma once

#include <cstdint>
#include <string>

#include "archive/search/item_search.h"

namespace parcelon::cli {

// One entry as a tab-separated line: stored name, sizes, CRC-32, time,
// attributes, encryption.
std::string TsvLine(const std::string& stored_name, const TPLArchiveItem& item);
// One entry as a line of the human-readable table.
std::string TableLine(const std::string& stored_name, const TPLArchiveItem& item);
std::string TableHeader();
// The totals line of the table.
std::string TotalsLine(int64_t entries, int64_t uncompressed, int64_t compressed);

}  // namespace parcelon::cli
