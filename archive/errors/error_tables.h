// The engine's fixed message table and the mapping from detailed codes to it.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

namespace parcelon {

// One argument of a formatted message: a wide string for %s, an integer for %d.
using FormatArg = std::variant<std::u16string, int64_t>;

inline constexpr int kErrorMessageCount = 41;
inline constexpr int kNativeErrorCount = 71;

// The message of each public error code 0..40, in UTF-16.
extern const std::array<std::u16string_view, kErrorMessageCount> ErrorMessageTable;
// (detailed code, public code) for the detailed codes 0..70, in that order.
extern const std::array<std::pair<int32_t, int32_t>, kNativeErrorCount> NativeErrorTable;

// The public code of a detailed code: the first matching pair of
// NativeErrorTable, or 0 when there is none.
int32_t ErrorCodeOf(int32_t native_error);

// Formats `format` with `args`: each %s takes the next string, each %d the
// next integer (a mismatched or missing argument formats as empty / 0);
// "%%" gives one '%'. Surplus arguments are ignored.
std::u16string FormatMessage(std::u16string_view format, const std::vector<FormatArg>& args);

}  // namespace parcelon
