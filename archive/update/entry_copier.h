// Copying an unchanged or renamed entry of a commit from the old tail of the
// archive to the archive's position.
#pragma once

#include "archive/directory/dir_array.h"
#include "archive/update/entry_writer.h"
#include "archive/update/old_entries.h"

namespace parcelon {

// Copies the old version of entry `index` of `dir` (its own place in the
// snapshot, or for an entry without one the first snapshot entry of its
// name) from `tail` to the archive's position, byte for byte, with its data
// descriptor if it has one; a renamed entry (poRename) gets a new local
// header and name. An entry whose new data was given up (poUpdate, poMove)
// becomes its old version again; nothing else in `dir` is written to, so
// that the record of an entry only copied stays shared with the snapshot.
// Returns the new
// local header offset, which the entry does not hold yet. Raises error 7
// when there is no old version, and EPLFormatDamage (a stream error) when
// the old entry does not lie whole in the tail; the archive's stream errors
// pass.
uint64_t CopyEntry(TPLDirArray& dir, int32_t index, const TPLDirArray& snapshot, OldEntries& tail,
                   const EntryWriteContext& context);

}  // namespace parcelon
