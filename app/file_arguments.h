// The files named on the window program's command line.
#pragma once

#include <string>
#include <vector>

namespace kmlcompat {

// The arguments after the program name that name files, in order, made
// absolute against the current folder. Before a "--" an argument that starts
// with '-' is an option (Qt's are gone by now) and is skipped; after it,
// every argument is a file. Empty arguments are skipped.
std::vector<std::string> FileArguments(int argc, const char* const argv[]);

}  // namespace kmlcompat
