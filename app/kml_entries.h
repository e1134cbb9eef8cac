// Which entries of a KMZ archive the repair takes up: names ending in .KML in
// any letter case, in any folder; folder entries (by attribute or trailing
// slash) excluded.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "archive/parcelon.h"

namespace kmlcompat {

struct KmlEntryRef {
  int32_t index = 0;         // place in the archive's directory
  std::u16string file_name;  // the name without its folders
};

// The KML entries of the open `archive`, in the order its search finds them.
// Raises what the search raises.
std::vector<KmlEntryRef> FindKmlEntries(parcelon::TParcelon& archive);

}  // namespace kmlcompat
