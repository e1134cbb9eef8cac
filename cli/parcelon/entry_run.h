// The run of `parcelon extract`, `parcelon test` and `parcelon delete`: the
// entries that the masks match go through one engine run, failures of
// single entries are named and the run goes on.
#pragma once

#include <ostream>

#include "cli/parcelon/entry_options.h"

namespace parcelon::cli {

enum class EntryOperation { kExtract, kTest, kDelete };

// Opens the archive (read-only for extract and test, read-write for
// delete), marks the entries that match any mask (every entry without
// masks) and runs the operation over them: extract below DEST (created
// when missing), test (a summary line on `out` unless quiet), or delete in
// one update (the count on `out` unless quiet). An entry that fails and a
// mask that matches nothing are named on `err` and the rest goes on; the
// result is then 1. A failure of the whole run (the archive cannot be
// opened or updated, DEST cannot be made) is reported on `err` and gives 1;
// a delete then leaves the archive as it was. Otherwise 0.
int RunEntries(const EntryRequest& request, EntryOperation operation, std::ostream& out,
               std::ostream& err);

}  // namespace parcelon::cli
