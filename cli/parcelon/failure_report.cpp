#include "cli/parcelon/failure_report.h"

#include "archive/errors/failure_words.h"
#include "cli/parcelon/text_format.h"
#include "platform/unicode.h"

namespace parcelon::cli {

void ReportFailure(const std::exception& failure, std::string_view subject, std::ostream& err,
                   bool verbose) {
  err << ProblemLine(subject, FailureWords(failure)) << '\n';
  if (verbose) err << EngineLine(failure.what()) << '\n';
}

std::string EntryFailureLines(std::u16string_view name, int32_t native_error,
                              std::u16string_view message, bool verbose) {
  const std::string subject = platform::Utf16ToUtf8(name);
  std::string lines = ProblemLine(subject, FailureWords(native_error, message, subject));
  if (verbose) lines.append("\n").append(EngineLine(platform::Utf16ToUtf8(message)));
  return lines;
}

std::string EngineLine(std::string_view message) {
  std::string line(kPrefix);
  line += "engine: ";
  AppendEscaped(line, WithoutPrefix(std::string(message)));
  return line;
}

}  // namespace parcelon::cli
