// Opens the archive a verb names, and reports failures.
#pragma once

#include <cstdint>
#include <exception>
#include <memory>
#include <ostream>
#include <string>

#include "archive/parcelon.h"

namespace parcelon::cli {

// Opens `path` for reading, letting others read but not write meanwhile.
// Never creates a file: a missing archive is the engine's error 12. On
// failure reports it through ReportFailure and returns null.
std::unique_ptr<TParcelon> OpenForReading(const std::string& path, std::ostream& err);

// Opens `path` with the file mode `mode` (an access and a sharing value,
// never fmCreate), as OpenForReading does.
std::unique_ptr<TParcelon> OpenArchiveWithMode(const std::string& path, uint16_t mode,
                                               std::ostream& err);

// Writes "parcelon: <message>" and a line end to `err`. Engine messages
// already start with the component's name, which is "parcelon", and are
// written as they stand.
void ReportFailure(const std::exception& failure, std::ostream& err);

}  // namespace parcelon::cli
