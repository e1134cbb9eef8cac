#include "cli/parcelon/open_archive.h"

#include <exception>

#include "platform/unicode.h"

namespace parcelon::cli {

std::unique_ptr<TParcelon> OpenForReading(const std::string& path, std::ostream& err) {
  auto archiver = std::make_unique<TParcelon>();
  archiver->SetName(u"parcelon");
  archiver->SetFileName(platform::Utf8ToUtf16(path));
  try {
    archiver->OpenArchive(fmOpenRead | fmShareDenyWrite);
  } catch (const std::exception& failure) {
    err << "parcelon: " << failure.what() << '\n';
    return nullptr;
  }
  return archiver;
}

std::string StoredName(TParcelon& archiver, const TPLArchiveItem& item) {
  return platform::Utf16ToUtf8(archiver.DirManager()->Dir().Items(item.SearchRec.ItemIndex).Name);
}

}  // namespace parcelon::cli
