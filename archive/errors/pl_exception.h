// The one exception class of the archive engine. It carries the detailed code
// chosen by the place that raises (NativeError) and the number of the fixed
// message that code maps to (ErrorCode).
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "archive/common/component.h"
#include "archive/errors/error_codes.h"
#include "archive/errors/error_tables.h"
#include "platform/exception.h"

namespace parcelon {

class EPLException : public platform::Exception {
 public:
  // Builds the message of `native_error`, prefixed with the component's Name
  // and ": " when `component` is given and named, and followed by
  // " - Native error: " and the code as five zero-padded digits.
  static EPLException Create(int32_t native_error, const TComponent* component = nullptr);
  // The same, with the table message used as a format string for `args`
  // (%s and %d in order; surplus arguments are ignored).
  static EPLException CreateFmt(int32_t native_error, const std::vector<FormatArg>& args,
                                const TComponent* component = nullptr);

  // The same as Create, with `reason` in parentheses after the table's
  // message, for a failure whose code alone would not say what happened
  // ("Invalid size or check sum of file ... (overlaps another entry)").
  static EPLException CreateWithReason(int32_t native_error, const std::u16string& reason,
                                       const TComponent* component = nullptr);
  // CreateWithReason with the table message formatted with `args` first.
  static EPLException CreateFmtWithReason(int32_t native_error, const std::vector<FormatArg>& args,
                                          const std::u16string& reason,
                                          const TComponent* component = nullptr);

  int32_t ErrorCode() const { return error_code_; }
  int32_t NativeError() const { return native_error_; }

 private:
  EPLException(std::u16string message, int32_t error_code, int32_t native_error);
  int32_t error_code_;
  int32_t native_error_;
};

}  // namespace parcelon
