#include "cli/parcelon/verb_usage.h"

namespace parcelon::cli {

const char kAddUsage[] =
    "usage: parcelon add [OPTIONS] ARCHIVE FILE|MASK...\n"
    "Adds the files and folders named to ARCHIVE, which is created when it does\n"
    "not exist, as one update: a failure leaves the archive as it was.\n";

const char kMoveUsage[] =
    "usage: parcelon move [OPTIONS] ARCHIVE FILE|MASK...\n"
    "Adds the files and folders named to ARCHIVE, which is created when it does\n"
    "not exist, as one update, and deletes them once the archive is complete:\n"
    "files first, then the folders taken. A failure before that leaves the\n"
    "archive as it was and deletes nothing; a file or folder that cannot be\n"
    "deleted is named on standard error.\n";

const char kExtractUsage[] =
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

const char kTestUsage[] =
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

const char kDeleteUsage[] =
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

}  // namespace parcelon::cli
