// parcelon move [OPTIONS] ARCHIVE FILE|MASK...
#include "cli/parcelon/adding.h"
#include "cli/parcelon/commands.h"

namespace parcelon::cli {

// As --help prints it, followed by the options.
constexpr char kMoveUsage[] =
    "usage: parcelon move [OPTIONS] ARCHIVE FILE|MASK...\n"
    "Adds the files and folders named to ARCHIVE, which is created when it does\n"
    "not exist, as one update, and deletes them once the archive is complete:\n"
    "files first, then the folders taken. A failure before that leaves the\n"
    "archive as it was and deletes nothing; a file or folder that cannot be\n"
    "deleted is named on standard error.\n";

int RunMove(const Args& args, std::ostream& out, std::ostream& err) {
  AddingRequest request;
  if (int status = ParseAdding(args, kMoveUsage, request, out, err); status != 0)
    return status < 0 ? 0 : status;
  return RunAdding(request, true, err);
}

}  // namespace parcelon::cli
