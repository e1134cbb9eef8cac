// What a repair would change in a KMZ file, found without changing it: the
// archive is opened for reading only, and each KML entry is decoded into
// memory (a large one into one scratch file of the run, in a private scratch
// folder) and analysed there by the KML rewriter's dry run.
// The entries looked at are those the repair takes up: every entry whose
// name ends in ".kml", in any letter case and any folder, folders and macOS
// resource forks (apple_double.h) excepted. A damaged archive is refused as
// the repair refuses it: its directory is not rebuilt.
#pragma once

#include <string>
#include <vector>

#include "app/entry_buffer.h"
#include "kml/rewriter.h"
#include "platform/dialogs.h"
#include "platform/file_system.h"

namespace kmlcompat {

struct KmzEntryAnalysis {
  std::string name;  // the stored name, folders included, in UTF-8
  kml::KmlAnalysis analysis;
};

// Analyses the KML entries of the archive `kmz_path`, in directory order.
// The file, its name and its folder are left as they are. An entry that
// cannot be decoded or analysed has a failed analysis with the reason, which
// calls it "NAME in KMZ_PATH".
// `dialogs` answers the engine's questions (a password); it must outlive
// the call. `limits.entry` bounds the memory an entry is decoded into.
// Throws what the engine or the file system raises when the archive cannot
// be opened or read.
std::vector<KmzEntryAnalysis> AnalyseKmz(const std::string& kmz_path, platform::FileSystem& fs,
                                         platform::Dialogs& dialogs,
                                         const EntryMemoryLimits& limits = {});

}  // namespace kmlcompat
