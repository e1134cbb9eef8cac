#include "archive/extract/extract_target.h"

#include <cstdio>
#include <string_view>

#include "platform/file_system.h"

namespace parcelon {
namespace {

constexpr std::string_view kPartMark = ".part-";
constexpr size_t kPartDigits = 8;

}  // namespace

std::string ExtractTarget::Folder() const {
  const std::string path = Path();
  return path.substr(0, path.rfind('/'));
}

std::string ExtractTarget::FileName() const {
  const std::string path = Path();
  return path.substr(path.rfind('/') + 1);
}

ExtractTarget PartOf(const ExtractTarget& target, uint32_t number) {
  ExtractTarget part = target;
  std::string& name = part.Chosen() ? part.chosen : part.relative;
  const size_t folder = platform::FolderOf(name).size();
  char suffix[16];
  std::snprintf(suffix, sizeof suffix, "%08x", number);
  std::string hidden(name, 0, folder);
  hidden.push_back('.');
  hidden.append(name, folder).append(kPartMark).append(suffix);
  name.swap(hidden);
  return part;
}

bool IsPartOf(const std::string& name, const std::string& file) {
  const size_t size = 1 + file.size() + kPartMark.size() + kPartDigits;
  if (name.size() != size || name[0] != '.' || name.compare(1, file.size(), file) != 0 ||
      name.compare(1 + file.size(), kPartMark.size(), kPartMark) != 0)
    return false;
  return name.find_first_not_of("0123456789abcdef", size - kPartDigits) == std::string::npos;
}

}  // namespace parcelon
