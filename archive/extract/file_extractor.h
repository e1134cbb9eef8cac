// Writing one entry as a file below a destination folder: the target path,
// its folders, the overwrite rules, the file itself, its time and its
// permissions.
//
// Nothing is written outside the destination, whatever the stored name
// says: the name is reduced to a relative path (see SafeRelativePath), the
// folders are created one at a time without following a link, and the file
// is created anew, never through a link. Only a name that an OnExtractFile
// handler chose is taken as given.
#pragma once

#include <functional>
#include <string>

#include "archive/codec/progress.h"
#include "archive/common/engine_callbacks.h"
#include "archive/common/settings.h"
#include "archive/directory/dir_item.h"
#include "archive/extract/extracted_files.h"
#include "platform/file_system.h"
#include "platform/stream.h"

namespace parcelon {

// What an extraction writes through, and the settings it follows (the
// component, and of the files: create_dirs, the overwrite mode,
// replace_read_only, set_attributes); all must outlive the call.
struct ExtractContext {
  platform::FileSystem& fs;
  EngineCallbacks& events;
  ExtractedFiles& files;  // where the written file waits for the run's commit
  const EngineSettings& settings;
};

// Decodes the entry onto `destination` (raising the decoder's engine errors,
// error 8 for a damaged entry among them).
using DecodeInto = std::function<void(platform::Stream& destination)>;

// Extracts `entry` (stored name `name`) below the folder `dest_dir` (created
// when missing). A folder entry only creates its folder. An existing target
// is kept when replace_read_only is off and it is read-only, or when the
// overwrite rule says so. The data goes into a hidden file beside the
// target, which gets the entry's time and, with set_attributes, its
// permissions (on its descriptor), and then waits in `context.files` until
// the run's commit puts it in the target's place durably; it is removed
// instead when decoding failed, was cancelled (the progress's cancel flag)
// or skipped (`skip_file`). So a target is replaced only by an entry that
// decoded soundly, and a failure, a cancel or a crash leaves it as it was.
// Raises error 20 when a folder cannot be made, 19 when the file cannot be
// created (or a folder has its name), and what `decode` raises.
void ExtractEntry(const TDirItem& entry, const std::u16string& name, const std::u16string& dest_dir,
                  const DecodeInto& decode, const ExtractContext& context,
                  const RunProgress& progress, const bool& skip_file);

}  // namespace parcelon
