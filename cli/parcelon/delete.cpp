// parcelon delete [--quiet] [--verbose] [--unprotected-update] ARCHIVE MASK...
#include "cli/parcelon/commands.h"
#include "cli/parcelon/entry_run.h"

namespace parcelon::cli {

// As --help prints it.
constexpr char kDeleteUsage[] =
    "usage: parcelon delete [--quiet] [--verbose] [--unprotected-update] ARCHIVE MASK...\n"
    "Removes the entries of ARCHIVE that match any MASK in one update, which\n"
    "either completes or leaves the archive as it was, and says how many.\n"
    "A mask that matches nothing is named on standard error and the exit\n"
    "status is 1; the entries the other masks match are removed.\n"
    "Masks: '*' is any run of characters, '/' included, '?' one character.\n"
    "  --quiet    no progress bar and no count\n"
    "  --verbose  after each failure, the engine's own message with its code\n"
    "  --unprotected-update  where the archive's folder refuses the update's\n"
    "           rollback journal, update anyway (warned first); a crash during\n"
    "           it can lose entries. Without it such an update is refused.\n";

int RunDelete(const Args& args, std::ostream& out, std::ostream& err) {
  static constexpr EntryVerb kVerb{kDeleteUsage, false, true, false, false, true};
  EntryRequest request;
  if (int status = ParseEntryArgs(args, kVerb, request, out, err); status != 0)
    return status < 0 ? 0 : status;
  return RunEntries(request, EntryOperation::kDelete, out, err);
}

}  // namespace parcelon::cli
