// The repair of the KML documents inside a ZIP archive (a KMZ file, under
// its own name). Every entry whose name ends in ".kml", in any letter case and
// any folder, is decoded into memory (a large one into one scratch file of
// the run), analysed, rewritten there by the KML rewriter when it needs it,
// and its repaired data put back as the new data of its own entry, under its
// stored name; all of them in one update transaction, so the archive is
// rewritten once. No file is made per entry. Entries are
// addressed by their place in the archive's directory, never by a name
// mask, so entries of the same name in different folders (or twice in one)
// are each handled once. Every other entry is copied byte for byte.
#pragma once

#include <string>

#include "app/entry_buffer.h"
#include "app/process_log.h"
#include "app/progress_sink.h"
#include "platform/dialogs.h"
#include "platform/file_system.h"

namespace kmlcompat {

struct KmzOutcome {
  int kml_entries = 0;     // KML documents among the entries whose names end in .kml
  int repaired = 0;        // of them, rewritten and put back
  bool cancelled = false;  // the user cancelled; the archive is as it was
  int unchanged = 0;       // of them, fine as they were and left untouched
  bool aborted = false;    // a failure was answered with Abort; the archive is as it was
  bool Succeeded() const { return kml_entries > 0 && repaired + unchanged == kml_entries; }
};

class KmzRoundTrip {
 public:
  // None of the arguments is owned; all must outlive the object. `progress`
  // may be null: nothing is reported then and nothing can cancel. `limits`
  // bound the memory that decoded and repaired entries take.
  KmzRoundTrip(platform::FileSystem& fs, platform::Dialogs& dialogs, ProcessLog& log,
               ProgressSink* progress = nullptr, EntryMemoryLimits limits = {})
      : fs_(fs), dialogs_(dialogs), log_(log), progress_(progress), limits_(limits) {}

  // Repairs the archive at `zip_path`, which messages call `shown_name`
  // (zip_path when empty). Logs "Openning Archive " + zip_path before opening
  // it, then "Processing Zipped file " + the entry's file name (without its
  // folder) as each KML entry is taken up. Entries that are AppleDouble
  // companions (apple_double.h) are no KML and are left alone. Every KML
  // entry is first analysed; one that needs no repair keeps its data, time
  // and attributes. Once all are examined, and before anything is written,
  // one message (KmzNamespaceNotice) names the entries with an old namespace;
  // the rewrite's message for each of them goes to the log. An entry that
  // cannot be repaired is reported through ProcessLog::Problem as "NAME:
  // reason", the reason naming the entry and the archive, never a working
  // copy, and stays in the archive as it was. An entry is decoded once: its
  // rewrite runs right after its analysis, and the rewrite's messages and
  // problems are held back and reported, after the notice, as they would be
  // by a rewrite that ran then. The repaired entry keeps its stored name,
  // version made by and external attributes, and takes the time of the
  // repair. The engine's failures with single entries are put to
  // the user through `dialogs` (Abort, Retry, Ignore): Ignore leaves that
  // entry as it was, Abort ends the run with the archive unchanged.
  // Throws what the engine or the file system raises (parcelon::EPLException,
  // platform::Exception, std::system_error) when the archive cannot be
  // opened, read or committed; the archive is then unchanged (the engine
  // rolls a failed commit back). The archive is closed and the scratch
  // folder removed before Run returns or throws.
  //
  // Progress goes to `progress`: the first half while the KML entries are
  // examined and rewritten, the second half while the commit writes them
  // (the engine's overall progress). When the sink asks to cancel, no
  // further entry is taken up, a commit under way is rolled back by the
  // engine, and Run logs "Processing was cancelled; the archive is left as
  // it was" and returns with `cancelled` set and nothing repaired. A cancel
  // that comes after the commit has put the new archive in place is too
  // late and is ignored. Copying the unchanged entries reports nothing.
  KmzOutcome Run(const std::string& zip_path, const std::string& shown_name = {});

 private:
  platform::FileSystem& fs_;
  platform::Dialogs& dialogs_;
  ProcessLog& log_;
  ProgressSink* progress_;
  EntryMemoryLimits limits_;
};

}  // namespace kmlcompat
