// Words a person can act on for a failure of the engine or of the file
// layer: what went wrong and, where the system can say, why ("not a ZIP
// archive (no end of central directory record found)", "cannot create
// out/a.kml: Permission denied"), without the component's name or the
// engine's code. The engine's messages themselves stay as they are, for the
// programs that read them; these words are for people.
#pragma once

#include <cstdint>
#include <exception>
#include <string>
#include <string_view>

namespace parcelon {

// The words for the engine's failure `native_error`, whose message is
// `message` (an EPLException's Message, as the engine made it). A path the
// message names is taken from it. For a file or folder that could not be
// created, opened or deleted, the reason is what the system answers now
// about the nearest existing folder above it (missing, no permission, ...),
// or "reason unknown" when it raises no objection. The path is left out of
// the words when it is `subject`, the name the caller shows them after.
std::string FailureWords(int32_t native_error, std::u16string_view message,
                         std::string_view subject);

// The same for any exception: an EPLException as above (without a subject),
// a stream or I/O
// error of the file layer by its operation and the system's error number,
// anything else by its what().
std::string FailureWords(const std::exception& failure);

// The system's text for the error number `errnum` ("Permission denied").
std::string SystemReason(int errnum);

}  // namespace parcelon
