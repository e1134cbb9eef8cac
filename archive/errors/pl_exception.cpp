#include "archive/errors/pl_exception.h"

#include <cstdio>

namespace parcelon {
namespace {

// The code right-aligned in five characters with every blank made '0': 13
// gives "00013", -13 gives "00-13", longer numbers stand unchanged.
std::u16string PaddedCode(int32_t native_error) {
  char buffer[16] = {};
  std::snprintf(buffer, sizeof buffer, "%5d", static_cast<int>(native_error));
  std::u16string out;
  for (const char* p = buffer; *p != '\0'; ++p) out += *p == ' ' ? u'0' : static_cast<char16_t>(*p);
  return out;
}

// Adds the component's name prefix (after any formatting, so the name is
// never read as a format string) and the native-error suffix.
std::u16string Compose(std::u16string text, int32_t native_error, const TComponent* component) {
  if (component && !component->Name().empty()) text = component->Name() + u": " + text;
  return text + u" - Native error: " + PaddedCode(native_error);
}

}  // namespace

EPLException::EPLException(std::u16string message, int32_t error_code, int32_t native_error)
    : platform::Exception(std::move(message)),
      error_code_(error_code),
      native_error_(native_error) {}

EPLException EPLException::Create(int32_t native_error, const TComponent* component) {
  return CreateFmt(native_error, {}, component);
}

EPLException EPLException::CreateFmt(int32_t native_error, const std::vector<FormatArg>& args,
                                     const TComponent* component) {
  const int32_t code = ErrorCodeOf(native_error);
  std::u16string text(ErrorMessageTable[static_cast<size_t>(code)]);
  if (!args.empty()) text = FormatMessage(text, args);
  return EPLException(Compose(std::move(text), native_error, component), code, native_error);
}

EPLException EPLException::CreateWithReason(int32_t native_error, const std::u16string& reason,
                                            const TComponent* component) {
  const int32_t code = ErrorCodeOf(native_error);
  std::u16string text(ErrorMessageTable[static_cast<size_t>(code)]);
  text.append(u" (").append(reason).append(u")");
  return EPLException(Compose(std::move(text), native_error, component), code, native_error);
}

EPLException EPLException::CreateFmtWithReason(int32_t native_error,
                                               const std::vector<FormatArg>& args,
                                               const std::u16string& reason,
                                               const TComponent* component) {
  const int32_t code = ErrorCodeOf(native_error);
  std::u16string text = FormatMessage(ErrorMessageTable[static_cast<size_t>(code)], args);
  text.append(u" (").append(reason).append(u")");
  return EPLException(Compose(std::move(text), native_error, component), code, native_error);
}

}  // namespace parcelon
