#include "kml/root_element.h"

#include <algorithm>
#include <utility>

namespace kml {

namespace {

inline bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

inline bool IsNameStart(char c) {
  unsigned char u = static_cast<unsigned char>(c);
  return (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') || u == '_' || u == ':' || u >= 0x80;
}

inline bool EndsName(char c) {
  return IsSpace(c) || c == '>' || c == '/';
}

size_t NameEnd(std::string_view text, size_t i) {
  while (i < text.size() && !EndsName(text[i]) && text[i] != '=') ++i;
  return i;
}

struct Attribute {
  std::string_view name;
  std::string_view raw;  // name="value" as written
  size_t value_begin;    // the value's place in raw, quotes excluded
  size_t value_end;
};

// Reads the attributes after the element name; stops at the tag's end or at
// anything malformed. *stop is where reading stopped.
std::vector<Attribute> ParseAttributes(std::string_view tag, size_t i, size_t* stop) {
  std::vector<Attribute> attrs;
  for (*stop = i;; *stop = i) {
    while (i < tag.size() && IsSpace(tag[i])) ++i;
    if (i >= tag.size() || tag[i] == '>' || tag[i] == '/') break;
    size_t name_begin = i;
    size_t name_end = NameEnd(tag, i);
    i = name_end;
    while (i < tag.size() && IsSpace(tag[i])) ++i;
    if (i >= tag.size() || tag[i] != '=') break;
    ++i;
    while (i < tag.size() && IsSpace(tag[i])) ++i;
    if (i >= tag.size() || (tag[i] != '"' && tag[i] != '\'')) break;
    size_t close = tag.find(tag[i], i + 1);
    if (close == std::string_view::npos) break;
    attrs.push_back({tag.substr(name_begin, name_end - name_begin),
                     tag.substr(name_begin, close + 1 - name_begin), i + 1 - name_begin,
                     close - name_begin});
    i = close + 1;
  }
  return attrs;
}

std::string Declaration(std::string_view prefix, std::string_view uri) {
  std::string out = " xmlns";
  if (!prefix.empty()) out.append(":").append(prefix);
  return out.append("=\"").append(uri).append("\"");
}

}  // namespace

std::string FixedRootTag() {
  std::string out = "<kml";
  out.append(Declaration("", kOgcKml22Uri)).append(Declaration("gx", kGxUri));
  out.append(Declaration("kml", kOgcKml22Uri)).append(Declaration("atom", kAtomUri));
  return out.append(">");
}

RootTagScanner::Result RootTagScanner::Feed(std::string_view line) {
  size_t i = 0;
  Result result = Result::kNeedMore;
  while (i != std::string_view::npos && i < line.size() && result == Result::kNeedMore) {
    switch (state_) {
      case State::kText:
        i = SkipText(line, i, &result);
        break;
      case State::kComment:
      case State::kDeclarationComment: {
        size_t end = line.find("-->", i);
        if (end == std::string_view::npos) return result;
        state_ = state_ == State::kComment ? State::kText : State::kDeclaration;
        i = end + 3;
        break;
      }
      case State::kInstruction: {
        size_t end = line.find("?>", i);
        if (end == std::string_view::npos) return result;
        state_ = State::kText;
        i = end + 2;
        break;
      }
      case State::kDeclaration:
        i = SkipDeclaration(line, i);
        break;
    }
  }
  return result;
}

size_t RootTagScanner::SkipText(std::string_view line, size_t i, Result* result) {
  size_t lt = line.find('<', i);
  if (lt == std::string_view::npos) return lt;
  std::string_view rest = line.substr(lt);
  if (rest.starts_with("<?")) {
    state_ = State::kInstruction;
    return lt + 2;
  }
  if (rest.starts_with("<!--")) {
    state_ = State::kComment;
    return lt + 4;
  }
  if (rest.starts_with("<!")) {
    state_ = State::kDeclaration;
    return lt + 2;
  }
  *result = Classify(line, lt);
  return lt + 1;
}

RootTagScanner::Result RootTagScanner::Classify(std::string_view line, size_t lt) {
  if (lt + 1 >= line.size() || !IsNameStart(line[lt + 1])) return Result::kNeedMore;
  std::string_view name = line.substr(lt + 1, NameEnd(line, lt + 1) - (lt + 1));
  size_t colon = name.rfind(':');
  std::string_view local = colon == std::string_view::npos ? name : name.substr(colon + 1);
  tag_start_ = lt;
  return local == "kml" ? Result::kKml : Result::kOther;
}

size_t RootTagScanner::SkipDeclaration(std::string_view line, size_t i) {
  for (; i < line.size(); ++i) {
    char c = line[i];
    if (quote_) {
      if (c == quote_) quote_ = 0;
    } else if (c == '"' || c == '\'') {
      quote_ = c;
    } else if (line.substr(i).starts_with("<!--")) {
      state_ = State::kDeclarationComment;
      return i + 4;
    } else if (c == '[') {
      ++bracket_depth_;
    } else if (c == ']') {
      bracket_depth_ = std::max(0, bracket_depth_ - 1);
    } else if (c == '>' && bracket_depth_ == 0) {
      state_ = State::kText;
      return i + 1;
    }
  }
  return std::string_view::npos;
}

size_t StartTagEnd::Find(std::string_view text, size_t from) {
  for (size_t i = from; i < text.size(); ++i) {
    char c = text[i];
    if (quote_) {
      if (c == quote_) quote_ = 0;
    } else if (c == '"' || c == '\'') {
      quote_ = c;
    } else if (c == '>') {
      return i;
    }
  }
  return std::string_view::npos;
}

namespace {

// The attribute as it is written into the mended tag: a declaration of a
// prefix the root must bind gets the OGC namespace as its value, and a
// value that spanned lines keeps its meaning with a blank for each break
// (XML reads a line break in a value as a blank), so the tag fits one line.
std::string KeptAttribute(const Attribute& attr, const std::vector<std::string>& bound) {
  std::string raw(attr.raw);
  if (std::find(bound.begin(), bound.end(), attr.name) != bound.end())
    raw.replace(attr.value_begin, attr.value_end - attr.value_begin, kOgcKml22Uri);
  std::replace(raw.begin(), raw.end(), '\n', ' ');
  return raw;
}

bool Declares(const std::vector<Attribute>& attrs, std::string_view name) {
  return std::any_of(attrs.begin(), attrs.end(),
                     [name](const Attribute& attr) { return attr.name == name; });
}

// Declarations of the names in `bound` (the default namespace first) that
// the old tag lacks, each binding the OGC namespace.
std::string MissingBindings(const std::vector<std::string>& bound,
                            const std::vector<Attribute>& attrs) {
  std::string out;
  for (const std::string& name : bound)
    if (!Declares(attrs, name))
      out += Declaration(name.size() > 5 ? std::string_view(name).substr(6) : "", kOgcKml22Uri);
  return out;
}

// The declarations of the fixed root tag whose prefixes neither the old tag
// nor `bound` declare.
std::string MissingFixedPrefixes(const std::vector<std::string>& bound,
                                 const std::vector<Attribute>& attrs) {
  const std::pair<std::string_view, std::string_view> fixed[] = {
      {"gx", kGxUri}, {"kml", kOgcKml22Uri}, {"atom", kAtomUri}};
  std::string out;
  for (const auto& [prefix, uri] : fixed) {
    const std::string name = "xmlns:" + std::string(prefix);
    if (!Declares(attrs, name) && std::find(bound.begin(), bound.end(), name) == bound.end())
      out += Declaration(prefix, uri);
  }
  return out;
}

// What follows the last attribute read: the tag's end, and anything that
// could not be read as an attribute, kept as it was on one line.
std::string TagRest(std::string_view rest) {
  size_t i = 0;
  while (i < rest.size() && IsSpace(rest[i])) ++i;
  std::string out(rest.substr(i));
  std::replace(out.begin(), out.end(), '\n', ' ');
  return out.starts_with('/') || out.starts_with('>') ? out : " " + out;
}

}  // namespace

std::string MendRootTag(std::string_view tag) {
  const size_t name_end = NameEnd(tag, 1);
  const std::string_view name = tag.substr(1, name_end - 1);
  const size_t colon = name.rfind(':');
  // The default namespace, and the root's own prefix, are bound to OGC.
  std::vector<std::string> bound = {"xmlns"};
  if (colon != std::string_view::npos)
    bound.push_back("xmlns:" + std::string(name.substr(0, colon)));
  size_t stop = 0;
  const std::vector<Attribute> attrs = ParseAttributes(tag, name_end, &stop);
  std::string out = "<";
  out.append(name).append(MissingBindings(bound, attrs));
  for (const Attribute& attr : attrs) out.append(" ").append(KeptAttribute(attr, bound));
  out.append(MissingFixedPrefixes(bound, attrs));
  return out.append(TagRest(tag.substr(stop)));
}

}  // namespace kml
