#include "kml/root_element.h"

#include <algorithm>

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
};

// Reads the attributes after the element name; stops at the tag's end or at
// anything malformed.
std::vector<Attribute> ParseAttributes(std::string_view tag, size_t i) {
  std::vector<Attribute> attrs;
  for (;;) {
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
    i = close + 1;
    attrs.push_back(
        {tag.substr(name_begin, name_end - name_begin), tag.substr(name_begin, i - name_begin)});
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

std::string MendRootTag(std::string_view tag) {
  size_t name_end = NameEnd(tag, 1);
  std::string_view name = tag.substr(1, name_end - 1);
  size_t colon = name.rfind(':');
  std::string_view own_prefix = colon == std::string_view::npos ? "" : name.substr(0, colon);
  std::vector<std::string_view> taken = {"gx", "kml", "atom"};

  // Appended piece by piece: prepending to a temporary string makes g++ 12
  // at -O3 warn of an overlapping copy that cannot happen.
  std::string out = "<";
  out.append(name).append(FixedRootTag(), 4);
  out.pop_back();  // the '>' comes last
  if (!own_prefix.empty() && std::find(taken.begin(), taken.end(), own_prefix) == taken.end()) {
    out += Declaration(own_prefix, kOgcKml22Uri);
    taken.push_back(own_prefix);
  }
  for (const Attribute& attr : ParseAttributes(tag, name_end)) {
    if (!attr.name.starts_with("xmlns:")) continue;
    std::string_view prefix = attr.name.substr(6);
    if (std::find(taken.begin(), taken.end(), prefix) != taken.end()) continue;
    taken.push_back(prefix);
    // A value that spanned lines keeps its meaning with a blank for each
    // break (XML reads a line break in a value as a blank), and the tag
    // stays on one line.
    std::string raw(attr.raw);
    std::replace(raw.begin(), raw.end(), '\n', ' ');
    out.append(" ").append(raw);
  }
  bool self_closing = tag.size() >= 2 && tag[tag.size() - 2] == '/';
  return out.append(self_closing ? "/>" : ">");
}

}  // namespace kml
