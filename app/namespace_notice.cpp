#include "app/namespace_notice.h"

namespace kmlcompat {

std::string KmzNamespaceNotice(const std::string& archive,
                               const std::vector<std::string>& entries) {
  const bool one = entries.size() == 1;
  std::string text = "Archive " + archive + " has " + std::to_string(entries.size()) +
                     (one ? " KML entry" : " KML entries") +
                     " with an old incompatible namespace definition: ";
  for (size_t i = 0; i < entries.size() && i < kNamedEntries; ++i)
    text.append(i == 0 ? "" : ", ").append(entries[i]);
  if (entries.size() > kNamedEntries)
    text.append(" ... and ").append(std::to_string(entries.size() - kNamedEntries)).append(" more");
  return text.append(one ? ". It will be changed" : ". They will be changed");
}

}  // namespace kmlcompat
