// The one message a KMZ archive's repair shows about old namespaces: it
// names the archive, counts its KML entries whose root lacks the OGC KML 2.2
// namespace, and names the first few of them.
#pragma once

#include <string>
#include <vector>

namespace kmlcompat {

// How many entry names the message lists before it counts the rest.
inline constexpr size_t kNamedEntries = 5;

// The message for the archive `archive` (as the user knows it) whose KML
// entries `entries` (stored names, UTF-8; not empty) have an old namespace:
// "Archive A has 3 KML entries with an old incompatible namespace
// definition: a.kml, b.kml, c.kml. They will be changed", with
// "... and N more" after the first kNamedEntries names.
std::string KmzNamespaceNotice(const std::string& archive, const std::vector<std::string>& entries);

}  // namespace kmlcompat
