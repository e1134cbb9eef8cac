// The usage texts of the verbs that parcelon's verb table runs through
// their shared shape; --help prints each whole (add and move follow it
// with the options they share).
#pragma once

namespace parcelon::cli {

extern const char kAddUsage[];
extern const char kMoveUsage[];
extern const char kExtractUsage[];
extern const char kTestUsage[];
extern const char kDeleteUsage[];

}  // namespace parcelon::cli
