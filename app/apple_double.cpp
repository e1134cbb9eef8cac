#include "app/apple_double.h"

#include <algorithm>

namespace kmlcompat {
namespace {

constexpr char kMagic[] = {0x00, 0x05, 0x16, 0x07};

bool HasAppleDoubleName(const std::u16string& name) {
  const size_t slash = name.find_last_of(u"/\\");
  const size_t file_start = slash == std::u16string::npos ? 0 : slash + 1;
  return name.starts_with(u"__MACOSX/") || name.find(u"/__MACOSX/") != std::u16string::npos ||
         name.compare(file_start, 2, u"._") == 0;
}

}  // namespace

bool IsAppleDouble(const std::u16string& stored_name, platform::Stream& data) {
  if (!HasAppleDoubleName(stored_name)) return false;
  data.Seek(0, platform::SeekOrigin::kBegin);
  char head[sizeof kMagic] = {};
  size_t got = 0;
  for (size_t n = 1; got < sizeof head && n > 0; got += n)
    n = data.Read(head + got, sizeof head - got);
  return got == sizeof head && std::equal(head, head + sizeof head, kMagic);
}

}  // namespace kmlcompat
