// The lines a verb writes when something fails: "parcelon: NAME: WORDS",
// in words a person can act on (FailureWords), and with --verbose a second
// line with the engine's own message as it stands, code and all.
#pragma once

#include <cstdint>
#include <exception>
#include <ostream>
#include <string>
#include <string_view>

namespace parcelon::cli {

// Writes the failure line of `failure` about `subject` (a file or entry
// name) to `err`, and with `verbose` the engine's message after it.
void ReportFailure(const std::exception& failure, std::string_view subject, std::ostream& err,
                   bool verbose);

// The failure line of an entry whose processing failed with the engine's
// `native_error` and `message`, and with `verbose` the line of the message
// after it (a line end between the two, none after the last).
std::string EntryFailureLines(std::u16string_view name, int32_t native_error,
                              std::u16string_view message, bool verbose);

// "parcelon: engine: MESSAGE", the engine's message without its own
// "parcelon: " prefix.
std::string EngineLine(std::string_view message);

}  // namespace parcelon::cli
