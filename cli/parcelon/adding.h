// What `parcelon add` and `parcelon move` share: their options, and the run
// that queues the named files into the archive and commits them.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "archive/common/types.h"
#include "cli/parcelon/commands.h"

namespace parcelon::cli {

// The options both verbs take, as their usage texts list them.
extern const char kAddingOptions[];

struct AddingRequest {
  std::string archive;
  std::vector<std::string> files;  // names or masks, relative to the base folder
  int level = 1;                   // 0 stores, 1-9 deflate
  int threads = 0;                 // deflating threads; 0 as many as cores
  std::string base_dir;            // empty: the current folder
  TPLStorePathMode store_path = spRelativePath;
  bool recurse = true;
  std::vector<std::u16string> exclusions;
  std::vector<std::u16string> stored;  // masks of files stored, not deflated
  bool quiet = false;
  bool verbose = false;  // the engine's message too, after each failure
  std::string password;  // non-empty: the new entries are encrypted
  TPLCryptoAlgorithm encryption = caAES_256;
  bool unprotected_update = false;  // go on when the folder refuses the journal
};

// Parses the arguments after the verb. --encrypt without --password asks
// for the password on the terminal (AskNewPassword); zipcrypto is warned
// against on `err`. Returns 0 to go on, 2 after writing `usage` and the
// reason to `err` (never a password), and -1 after writing `usage` to `out`
// for --help.
int ParseAdding(const Args& args, const char* usage, AddingRequest& request, std::ostream& out,
                std::ostream& err);

// Opens (or creates) the archive, queues what the request names and commits
// it; with `move` the files and folders taken are deleted afterwards.
// A name that matches nothing and an entry that cannot be written or
// deleted are reported on `err` and the rest goes on; the result is then 1,
// as for a failure of the whole run, which leaves the archive as it was
// (and no archive where there was none). Otherwise 0.
int RunAdding(const AddingRequest& request, bool move, std::ostream& err);

}  // namespace parcelon::cli
