// Finding and mending the root start tag of a KML document.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kml {

inline constexpr std::string_view kOgcKml22Uri = "http://www.opengis.net/kml/2.2";
inline constexpr std::string_view kGxUri = "http://www.google.com/kml/ext/2.2";
inline constexpr std::string_view kAtomUri = "http://www.w3.org/2005/Atom";

// The complete root start tag that replaces one without the OGC namespace.
std::string FixedRootTag();

// Scans the start of a document, line by line, for its first element start
// tag, skipping the XML declaration, processing instructions, comments and
// the document type declaration with its internal subset.
class RootTagScanner {
 public:
  enum class Result {
    kNeedMore,  // the line holds no element start tag: feed the next one
    kKml,       // the first element is `kml` (with or without a prefix)
    kOther,     // the first element is something else: this is no KML document
  };

  // Scans one line. After kKml, TagStart() is the position of its '<'.
  Result Feed(std::string_view line);
  size_t TagStart() const { return tag_start_; }

 private:
  enum class State { kText, kComment, kInstruction, kDeclaration, kDeclarationComment };
  // Each returns the position after the construct's end, or npos when the
  // construct goes on past the line.
  size_t SkipText(std::string_view line, size_t i, Result* result);
  size_t SkipDeclaration(std::string_view line, size_t i);
  Result Classify(std::string_view line, size_t lt);

  State state_ = State::kText;
  int bracket_depth_ = 0;  // '[' nesting of a document type's internal subset
  char quote_ = 0;         // open quote inside a declaration
  size_t tag_start_ = 0;
};

// Finds the '>' that ends a start tag, outside quoted attribute values. The
// tag may span lines: the quote state is kept between calls.
class StartTagEnd {
 public:
  // Position of the closing '>' in text[from...], or npos.
  size_t Find(std::string_view text, size_t from);

 private:
  char quote_ = 0;
};

// Builds the replacement for a root start tag `tag` (from its '<' to its
// '>') that lacks the OGC namespace, changing only what it must: the
// default namespace declaration (and, for a prefixed root, the declaration
// of its prefix) gets the OGC namespace as its value, or is added right
// after the element name when missing; every other attribute and
// declaration is kept as written and in its order; the declarations of the
// fixed root tag whose prefixes are still unbound follow the last one. The
// result is one line: line breaks inside the tag become blanks, and
// attributes are separated by single blanks. A self-closing tag stays so.
std::string MendRootTag(std::string_view tag);

}  // namespace kml
