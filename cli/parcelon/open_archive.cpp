#include "cli/parcelon/open_archive.h"

#include <exception>
#include <string_view>

#include "platform/unicode.h"

namespace parcelon::cli {

std::unique_ptr<TParcelon> OpenForReading(const std::string& path, std::ostream& err) {
  return OpenArchiveWithMode(path, fmOpenRead | fmShareDenyWrite, err);
}

std::unique_ptr<TParcelon> OpenArchiveWithMode(const std::string& path, uint16_t mode,
                                               std::ostream& err) {
  auto archiver = std::make_unique<TParcelon>();
  archiver->SetName(u"parcelon");
  archiver->SetFileName(platform::Utf8ToUtf16(path));
  try {
    archiver->OpenArchive(mode);
  } catch (const std::exception& failure) {
    ReportFailure(failure, err);
    return nullptr;
  }
  return archiver;
}

void ReportFailure(const std::exception& failure, std::ostream& err) {
  constexpr std::string_view kPrefix = "parcelon: ";
  const std::string_view message = failure.what();
  if (!message.starts_with(kPrefix)) err << kPrefix;
  err << message << '\n';
}

}  // namespace parcelon::cli
