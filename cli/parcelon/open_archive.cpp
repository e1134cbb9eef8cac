#include "cli/parcelon/open_archive.h"

#include <exception>

#include "archive/errors/failure_words.h"
#include "cli/parcelon/text_format.h"
#include "platform/exception.h"
#include "platform/unicode.h"

namespace parcelon::cli {
namespace {

// An archive that exists but could not be opened to be written says that
// writing is what the system refused; other failures are reported as such.
void ReportOpenFailure(const std::exception& failure, const std::string& path, uint16_t mode,
                       std::ostream& err, bool verbose) {
  const auto* opening = dynamic_cast<const platform::EFOpenError*>(&failure);
  if (opening == nullptr || (mode & 3) == fmOpenRead || opening->Errno() == 0)
    return ReportFailure(failure, path, err, verbose);
  err << ProblemLine(path, "cannot open for writing: " + SystemReason(opening->Errno())) << '\n';
  if (verbose) err << EngineLine(failure.what()) << '\n';
}

}  // namespace

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
    ReportOpenFailure(failure, path, mode, err, verbose);
    return nullptr;
  }
  return archiver;
}

}  // namespace parcelon::cli
