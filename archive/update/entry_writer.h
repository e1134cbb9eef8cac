// Writing a new or replaced entry of a commit at the archive's position:
// local header, data encoded from its source, header patched in place.
#pragma once

#include <cstdint>
#include <string>

#include "archive/codec/progress.h"
#include "archive/common/engine_callbacks.h"
#include "archive/common/settings.h"
#include "archive/directory/dir_item.h"
#include "platform/code_pages.h"
#include "platform/file_system.h"
#include "platform/stream.h"

namespace parcelon {

class EntryReadAhead;

// What the writers need of the commit, and the settings they write by
// (names, writing, the component); all must outlive the writing.
struct EntryWriteContext {
  platform::Stream& archive;
  platform::FileSystem& fs;
  const platform::CodePages& code_pages;
  EngineCallbacks& events;
  const EngineSettings& settings;
  // Where the commit reads entries ahead and deflates them on other
  // threads (entry_read_ahead.h); null to read and deflate each in turn.
  EntryReadAhead* read_ahead = nullptr;
};

// How the commit goes on after an entry.
enum class EntryState { kCarryOn, kRetry, kAbort };

// Writes `item` anew at the archive's position from its source: the
// caller's stream (DataStream, from DataStreamPosition on), nothing for a
// folder, else the file SourceFileName. Fills the entry's local header
// offset, versions, flags, CRC-32, sizes, method and Zip64 mark; the local
// header holds the final values (no data descriptor). An entry with a
// password and data is encrypted by the settings' encryption method
// (encryption_setup.h); a folder never is. Returns true when the
// entry was written; false when a progress or disk-full handler cancelled
// (the progress's cancel flag is set) or when the entry failed: an engine
// error (33 source cannot be opened, 61 name too long, 43 Zip64 needed under
// zmDisabled, 41, 34, 65) is offered to the failure event, whose answer
// becomes `state`, and the bytes of the failed attempt are cut off. Other
// exceptions (stream errors of the archive) pass. An entry the context's
// read ahead prepared is written from what it prepared, with the same
// bytes, events and failures. `progress` is the
// commit's, shared by its entries.
bool WriteNewEntry(TDirItem& item, const EntryWriteContext& context, CommitProgress& progress,
                   EntryState& state);

}  // namespace parcelon
