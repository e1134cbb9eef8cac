// Opens the archive a verb names, and reports failures.
#pragma once

#include <cstdint>
#include <memory>
#include <ostream>
#include <string>

#include "archive/parcelon.h"
#include "cli/parcelon/failure_report.h"

namespace parcelon::cli {

// Opens `path` for reading, letting others read but not write meanwhile.
// Never creates a file: a missing archive is the engine's error 12. On
// failure reports it on `err` through ReportFailure (with the engine's
// message too when `verbose`) and returns null.
std::unique_ptr<TParcelon> OpenForReading(const std::string& path, std::ostream& err, bool verbose);

// Opens `path` with the file mode `mode` (an access and a sharing value,
// never fmCreate), as OpenForReading does.
std::unique_ptr<TParcelon> OpenArchiveWithMode(const std::string& path, uint16_t mode,
                                               std::ostream& err, bool verbose);

}  // namespace parcelon::cli
