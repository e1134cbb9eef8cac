// What the engine does about a per-file failure when no OnProcessFileFailure
// handler is assigned.
#pragma once

#include <cstdint>
#include <string>

#include "archive/common/types.h"
#include "platform/dialogs.h"

namespace parcelon {

// The built-in answer to a per-file failure. Error 45 (a volume cannot be
// opened) aborts without asking; error 61 (name too long) shows `message` in
// a box with Abort and Ignore; every other code shows
// "<message>. File processing error, possibly disk is full" with Abort,
// Retry and Ignore. Retry gives fxaRetry, Ignore fxaIgnore, anything else
// fxaAbort. Runs modally on the calling thread.
TPLAction DefaultProcessFileFailure(platform::Dialogs& dialogs, int32_t native_error,
                                    const std::u16string& message);

}  // namespace parcelon
