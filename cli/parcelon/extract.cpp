// parcelon extract [OPTIONS] ARCHIVE DEST [MASK...]
#include "cli/parcelon/commands.h"
#include "cli/parcelon/entry_run.h"

namespace parcelon::cli {

// As --help prints it.
constexpr char kExtractUsage[] =
    "usage: parcelon extract [OPTIONS] ARCHIVE DEST [MASK...]\n"
    "Extracts the entries of ARCHIVE that match any MASK (default *) below the\n"
    "folder DEST, which is created when missing. Every file lands below DEST,\n"
    "whatever its stored name says; a symbolic link comes back as a file that\n"
    "holds the link's target. Files get the entry's time and permissions.\n"
    "Options:\n"
    "  --overwrite RULE  what becomes of a file that exists already: never\n"
    "                    (default: it is kept, and counted on standard error),\n"
    "                    always, newer (when the entry is newer), older\n"
    "  --no-dirs         no folders: every file goes straight into DEST\n"
    "  --password PW     the password of encrypted entries (traditional or AES);\n"
    "                    without it, a terminal is asked without echo, and with\n"
    "                    no terminal an encrypted entry fails\n"
    "  --quiet           no progress bar\n"
    "  --verbose         after each failure, the engine's own message with its code\n"
    "Masks: '*' is any run of characters, '/' included, '?' one character.\n"
    "An entry that cannot be extracted (damaged data, a wrong or missing\n"
    "password, a file that cannot be written) is named on standard error with\n"
    "the reason and the rest goes on; the exit status is then 1, as when a mask\n"
    "matches nothing. An entry whose name is empty once '.', '..' and '/' parts\n"
    "are dropped has no place below DEST: it is named as skipped, and the exit\n"
    "status is 1.\n";

int RunExtract(const Args& args, std::ostream& out, std::ostream& err) {
  static constexpr EntryVerb kVerb{kExtractUsage, true, false, true, true, false};
  EntryRequest request;
  if (int status = ParseEntryArgs(args, kVerb, request, out, err); status != 0)
    return status < 0 ? 0 : status;
  return RunEntries(request, EntryOperation::kExtract, out, err);
}

}  // namespace parcelon::cli
