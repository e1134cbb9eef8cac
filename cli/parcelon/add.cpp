// parcelon add [OPTIONS] ARCHIVE FILE|MASK...
#include "cli/parcelon/adding.h"
#include "cli/parcelon/commands.h"

namespace parcelon::cli {

// As --help prints it, followed by the options.
constexpr char kAddUsage[] =
    "usage: parcelon add [OPTIONS] ARCHIVE FILE|MASK...\n"
    "Adds the files and folders named to ARCHIVE, which is created when it does\n"
    "not exist, as one update: a failure leaves the archive as it was.\n";

int RunAdd(const Args& args, std::ostream& out, std::ostream& err) {
  AddingRequest request;
  if (int status = ParseAdding(args, kAddUsage, request, out, err); status != 0)
    return status < 0 ? 0 : status;
  return RunAdding(request, false, err);
}

}  // namespace parcelon::cli
