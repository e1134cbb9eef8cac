#include "archive/search/wildcard.h"

#include <string>

#include "archive/common/entry_path.h"

namespace parcelon {

namespace {

constexpr uint32_t kTestedAttributes = 0x1E;  // hidden, system, volume label, directory
constexpr std::u16string_view kAllFiles = u"*.*";

// The mask in the plain form the matcher below works on: every run of stars
// becomes one star, and a run of two or more stars at the end, which needs at
// least one character, becomes "?*".
std::u16string Normalize(std::u16string_view mask) {
  std::u16string out;
  out.reserve(mask.size() + 1);
  size_t i = 0;
  while (i < mask.size()) {
    if (mask[i] != u'*') {
      out.push_back(mask[i++]);
      continue;
    }
    size_t run = 0;
    while (i < mask.size() && mask[i] == u'*') ++i, ++run;
    out.append(i == mask.size() && run > 1 ? u"?*" : u"*");
  }
  return out;
}

class Matcher {
 public:
  Matcher(bool ignore_case, const platform::CodePages& code_pages)
      : ignore_case_(ignore_case), code_pages_(code_pages) {}

  bool Same(char16_t mask_char, char16_t name_char) const {
    if (mask_char == u'?') return true;
    if (!ignore_case_) return mask_char == name_char;
    return code_pages_.CharUpper(mask_char) == code_pages_.CharUpper(name_char);
  }

  // Greedy matching that, on a mismatch, lets the last star seen take one
  // more character and resumes after it. Earlier stars never need to be
  // revisited, so this takes O(len(name) * len(mask)) steps and no recursion.
  bool Match(std::u16string_view name, std::u16string_view mask) const {
    size_t n = 0, m = 0;
    size_t star = std::u16string_view::npos, resume = 0;
    while (n < name.size()) {
      if (m < mask.size() && mask[m] == u'*') {
        star = m++;
        resume = n;
      } else if (m < mask.size() && Same(mask[m], name[n])) {
        ++n, ++m;
      } else if (star != std::u16string_view::npos) {
        m = star + 1;
        n = ++resume;
      } else {
        return false;
      }
    }
    while (m < mask.size() && mask[m] == u'*') ++m;
    return m == mask.size();
  }

 private:
  bool ignore_case_;
  const platform::CodePages& code_pages_;
};

bool EndsWithDot(std::u16string_view s) {
  return !s.empty() && s.back() == u'.';
}

// The extension is the text from the last '.' after the last folder
// separator.
std::u16string_view ExtensionOf(std::u16string_view name) {
  const size_t file_start = paths::FileNameStart(name);
  const size_t dot = name.rfind(u'.');
  if (dot == std::u16string_view::npos || dot < file_start) return {};
  return name.substr(dot);
}

// The mask as entry names are matched with it: a trailing '.' dropped (it
// is tested apart) and the first "*.*" read as "*".
std::u16string MatchingForm(std::u16string_view mask) {
  if (EndsWithDot(mask)) mask.remove_suffix(1);
  const size_t all = mask.find(kAllFiles);
  if (all == std::u16string_view::npos) return std::u16string(mask);
  std::u16string prepared(mask.substr(0, all));
  prepared.push_back(u'*');
  prepared.append(mask.substr(all + kAllFiles.size()));
  return prepared;
}

}  // namespace

bool WildcardMatch(std::u16string_view name, std::u16string_view mask, bool ignore_case,
                   const platform::CodePages& code_pages) {
  if (mask == kAllFiles) return true;
  return Matcher(ignore_case, code_pages).Match(name, Normalize(mask));
}

bool NameMatchesMask(std::u16string_view name, std::u16string_view mask,
                     const platform::CodePages& code_pages) {
  if (mask.empty()) return false;
  const std::u16string prepared = MatchingForm(mask);
  std::u16string_view matched_name = name;
  if (EndsWithDot(matched_name)) matched_name.remove_suffix(1);
  if (!WildcardMatch(matched_name, prepared, true, code_pages)) return false;
  if (!EndsWithDot(mask)) return true;
  const std::u16string_view extension = ExtensionOf(name);
  return extension.empty() || extension == u".";
}

bool AttributesMatch(uint32_t attr, uint32_t search_attr) {
  return (attr & kTestedAttributes & ~search_attr) == 0;
}

}  // namespace parcelon
