// The verbs of the parcelon program with bodies of their own; the others
// run through the verb table's shared shape (verbs.h). Each takes the
// arguments after the verb, writes its output to `out` and its errors to
// `err`, and returns the exit status: 0 on success, 1 when the engine or
// the file system failed, 2 for arguments it does not understand.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace parcelon::cli {

using Args = std::vector<std::string>;

int RunList(const Args& args, std::ostream& out, std::ostream& err);
int RunInfo(const Args& args, std::ostream& out, std::ostream& err);

}  // namespace parcelon::cli
