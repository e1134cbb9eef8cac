// The arguments of the verbs that run over entries of an archive:
// `parcelon extract`, `parcelon test` and `parcelon delete`.
#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "archive/common/types.h"
#include "cli/parcelon/commands.h"

namespace parcelon::cli {

// What a verb takes besides ARCHIVE and the masks.
struct EntryVerb {
  const char* usage;     // the usage text, --help prints it whole
  bool has_dest;         // extract: DEST follows ARCHIVE
  bool needs_masks;      // delete: at least one MASK
  bool extract_options;  // --overwrite and --no-dirs
  bool password_option;  // extract and test: --password
  bool update_option;    // delete: --unprotected-update
};

struct EntryRequest {
  std::string archive;
  std::string dest;                   // extract only
  std::vector<std::u16string> masks;  // as given; empty when none was
  TPLOverwriteMode overwrite = omNever;
  bool create_dirs = true;
  bool quiet = false;
  bool verbose = false;                 // the engine's message too, after each failure
  std::optional<std::string> password;  // for encrypted entries; never shown
  bool unprotected_update = false;      // go on when the folder refuses the journal
};

// Parses the arguments after the verb. Returns 0 to go on, 2 after writing
// the usage and the reason to `err`, and -1 after writing the usage to `out`
// for --help.
int ParseEntryArgs(const Args& args, const EntryVerb& verb, EntryRequest& request,
                   std::ostream& out, std::ostream& err);

}  // namespace parcelon::cli
