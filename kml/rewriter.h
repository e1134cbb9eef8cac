// Rewrites one KML file in place: the root element is made to declare the
// OGC KML 2.2 namespace, and blanks inside the tuples of <coordinates>
// elements are removed. The file is streamed line by line, never parsed whole.
#pragma once

#include <string>

#include "platform/dialogs.h"
#include "platform/file_system.h"
#include "platform/stream.h"

namespace kml {

struct RewriteOutcome {
  bool succeeded = false;
  std::string problem;  // why the rewrite failed; empty on success
};

// Whether a rewrite makes its result survive a crash or a power cut.
enum class Durability { kDurable, kScratch };

// Rewrites `file_name` in place. The result is written to a new file beside
// the input (its name begins with "TempFile.KML"), which then replaces the
// input by one atomic rename, keeping the input's permission bits. When the
// root start tag lacks the OGC KML 2.2 namespace, `dialogs` shows the
// namespace message before the tag is replaced.
// The new file is synced before the rename and its folder after it, so a
// crash or power cut leaves either the old or the new file (kDurable).
// On failure the input is left byte for byte as it was and no temporary file
// remains; the one exception is a folder that cannot be synced after the
// rename, which fails with a problem that says the file was rewritten. A file
// without a kml start tag, or with a Ctrl-Z byte that more data follows, is
// left untouched and fails; Ctrl-Z bytes that end the file are dropped.
// Messages and problems call the file `shown_name` (when not empty) instead
// of its path, for a working copy whose path means nothing to the user.
// With `durability` kScratch nothing is synced: for a working copy in a
// private folder that a crash may lose, the rename still replaces it whole.
// Never throws.
RewriteOutcome RewriteKmlFile(const std::string& file_name, platform::FileSystem& fs,
                              platform::Dialogs& dialogs, const std::string& shown_name = {},
                              Durability durability = Durability::kDurable);

// What a rewrite would change in a file.
struct KmlChanges {
  bool namespace_declaration = false;  // the root start tag lacks the OGC namespace
  bool tuples = false;                 // the text of some <coordinates> element changes
  bool Any() const { return namespace_declaration || tuples; }
};

struct KmlAnalysis {
  bool succeeded = false;
  std::string problem;  // why the file cannot be rewritten; empty on success
  KmlChanges changes;
  // `problem` with the message of the component that failed as it made it
  // (an engine's message and code), for programs that read the reason;
  // empty when `problem` is all there is.
  std::string detail;
};

// A dry run of RewriteKmlFile: reads `file_name` by the same rules and says
// what the rewrite would change (line ends aside), writing nothing and
// showing no message. Fails, with the rewrite's reason, for a file that the
// rewrite would refuse because of its content or kind (no kml root, a folder,
// unreadable, a Ctrl-Z before more data); a read-only file is analysed all
// the same. Problems call the file `shown_name` when it is not empty.
// Never throws.
KmlAnalysis AnalyseKmlFile(const std::string& file_name, platform::FileSystem& fs,
                           const std::string& shown_name = {});

// The rewrite of a document held in a stream: reads `in` from its position
// to its end by the rules of RewriteKmlFile and writes the result onto `out`
// from its position on, giving the same bytes as the file rewrite and the
// same namespace message through `dialogs`. Neither stream is owned or
// closed. Messages and problems call the document `shown`. On failure what
// was written to `out` is no result and the caller drops it; the problems
// are those of RewriteKmlFile (no kml root, a root tag that never ends, a
// Ctrl-Z before more data, a failure to read or write). Never throws.
RewriteOutcome RewriteKml(platform::Stream& in, platform::Stream& out, platform::Dialogs& dialogs,
                          const std::string& shown);

// The dry run of RewriteKml: reads `in` from its position on and says what
// the rewrite would change, by the rules and with the problems of
// AnalyseKmlFile. `in` is not owned; its position is left where reading
// stopped. Never throws.
KmlAnalysis AnalyseKml(platform::Stream& in, const std::string& shown);

}  // namespace kml
