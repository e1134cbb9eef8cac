#include "cli/parcelon/open_archive.h"

#include <exception>

#include "platform/unicode.h"

namespace parcelon::cli {

std::unique_ptr<TParcelon> OpenForReading(const std::string& path, std::ostream& err,
                                          bool verbose) {
  return OpenArchiveWithMode(path, fmOpenRead | fmShareDenyWrite, err, verbose);
}

std::unique_ptr<TParcelon> OpenArchiveWithMode(const std::string& path, uint16_t mode,
                                               std::ostream& err, bool verbose) {
  auto archiver = std::make_unique<TParcelon>();
  archiver->SetName(u"parcelon");
  archiver->SetFileName(platform::Utf8ToUtf16(path));
  try {
    archiver->OpenArchive(mode);
  } catch (const std::exception& failure) {
    ReportFailure(failure, path, err, verbose);
    return nullptr;
  }
  return archiver;
}

}  // namespace parcelon::cli
