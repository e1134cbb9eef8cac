#include "archive/common/entry_path.h"

namespace parcelon::paths {
namespace {

bool IsAsciiLetter(char16_t c) {
  return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z');
}

// The end of the component that starts at `from`.
size_t ComponentEnd(std::u16string_view name, size_t from) {
  while (from < name.size() && !IsSeparator(name[from])) ++from;
  return from;
}

void AppendComponent(std::u16string& out, std::u16string_view component) {
  if (component.empty() || component == u"." || component == u"..") return;
  if (!out.empty()) out.push_back(u'/');
  out.append(component);
}

}  // namespace

bool IsSeparator(char16_t c) {
  return c == u'/' || c == u'\\';
}

std::u16string WithSlashes(std::u16string_view name) {
  std::u16string out(name);
  for (char16_t& c : out)
    if (c == u'\\') c = u'/';
  return out;
}

std::u16string_view WithoutTrailingSeparator(std::u16string_view name) {
  if (!name.empty() && IsSeparator(name.back())) name.remove_suffix(1);
  return name;
}

size_t FileNameStart(std::u16string_view name) {
  for (size_t i = name.size(); i > 0; --i)
    if (IsSeparator(name[i - 1])) return i;
  return 0;
}

std::u16string_view FileNamePart(std::u16string_view name) {
  return name.substr(FileNameStart(name));
}

std::u16string_view FolderPart(std::u16string_view name) {
  return name.substr(0, FileNameStart(name));
}

size_t DrivePrefixLength(std::u16string_view name) {
  if (name.size() >= 2 && name[1] == u':' && IsAsciiLetter(name[0])) return 2;
  if (name.size() < 3 || !IsSeparator(name[0]) || !IsSeparator(name[1])) return 0;
  const size_t server_end = ComponentEnd(name, 2);
  if (server_end == 2 || server_end >= name.size()) return 0;
  const size_t share_end = ComponentEnd(name, server_end + 1);
  return share_end == server_end + 1 ? 0 : share_end;
}

std::u16string_view DiskFileName(std::u16string_view path) {
  const size_t slash = path.find_last_of(u'/');
  return slash == std::u16string_view::npos ? path : path.substr(slash + 1);
}

std::u16string SafeRelativePath(std::u16string_view name) {
  name = name.substr(0, name.find(u'\0'));
  name.remove_prefix(DrivePrefixLength(name));
  std::u16string out;
  for (size_t start = 0; start < name.size();) {
    const size_t end = ComponentEnd(name, start);
    AppendComponent(out, name.substr(start, end - start));
    start = end + 1;
  }
  if (!out.empty() && IsSeparator(name.back())) out.push_back(u'/');
  return out;
}

}  // namespace parcelon::paths
