#include "archive/errors/failure_default.h"

#include "archive/errors/error_codes.h"
#include "archive/errors/error_tables.h"
#include "platform/unicode.h"

namespace parcelon {
namespace {

constexpr std::u16string_view kFailureText = u"%s. File processing error, possibly disk is full";

TPLAction ActionOf(platform::FailureAnswer answer) {
  switch (answer) {
    case platform::FailureAnswer::kRetry:
      return fxaRetry;
    case platform::FailureAnswer::kIgnore:
      return fxaIgnore;
    default:
      return fxaAbort;
  }
}

}  // namespace

TPLAction DefaultProcessFileFailure(platform::Dialogs& dialogs, int32_t native_error,
                                    const std::u16string& message) {
  if (native_error == errc::kVolumeNotOpened) return fxaAbort;
  if (native_error == errc::kNameTooLong)
    return ActionOf(dialogs.AskAbortOrIgnore(platform::Utf16ToUtf8(message)));
  const std::u16string text = FormatMessage(kFailureText, {message});
  return ActionOf(dialogs.AskOnFailure(platform::Utf16ToUtf8(text)));
}

}  // namespace parcelon
