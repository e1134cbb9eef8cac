// parcelon test [--password PW] [--quiet] [--verbose] ARCHIVE [MASK...]
#include "cli/parcelon/commands.h"
#include "cli/parcelon/entry_run.h"

namespace parcelon::cli {

// As --help prints it.
constexpr char kTestUsage[] =
    "usage: parcelon test [--password PW] [--quiet] [--verbose] ARCHIVE [MASK...]\n"
    "Decodes the entries of ARCHIVE that match any MASK (default *) and checks\n"
    "their sizes and CRC-32s (and the authentication codes of AES-encrypted\n"
    "ones), writing nothing. Every entry that fails is named\n"
    "on standard error with the reason; a line on standard output sums up.\n"
    "The exit status is 0 when every entry is sound, 1 when one failed, a mask\n"
    "matched nothing or the archive cannot be read.\n"
    "  --password PW  the password of encrypted entries; without it, a terminal\n"
    "                 is asked without echo, and with no terminal an encrypted\n"
    "                 entry fails\n"
    "  --quiet        no progress bar and no summary line\n"
    "  --verbose      after each failure, the engine's own message with its code\n";

int RunTest(const Args& args, std::ostream& out, std::ostream& err) {
  static constexpr EntryVerb kVerb{kTestUsage, false, false, false, true, false};
  EntryRequest request;
  if (int status = ParseEntryArgs(args, kVerb, request, out, err); status != 0)
    return status < 0 ? 0 : status;
  return RunEntries(request, EntryOperation::kTest, out, err);
}

}  // namespace parcelon::cli
