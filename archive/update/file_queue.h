// Queueing files found on disk as pending entries of the open update
// transaction: the stored name, the decision on an entry of the same name,
// and the marks the commit reads (operation, source, method, provisional
// size). Nothing is read or written here; the commit does that.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "archive/common/engine_callbacks.h"
#include "archive/directory/dir_array.h"
#include "archive/update/new_item.h"
#include "platform/code_pages.h"
#include "platform/file_system.h"

namespace parcelon {

// The archiver's settings that decide how found files are queued.
struct FileQueueSettings {
  NewItemSettings item;  // its working folder is the resolved base folder
  std::u16string base;   // the folder stored names are relative to, absolute
  bool move = false;     // queue as poMove: the commit deletes the sources
  TZip64Mode zip64_mode = zmDisabled;
  std::vector<std::u16string> no_compression_masks;  // files stored, not deflated
  // The overwrite mode as it stands when asked: a prompt answered "to all"
  // changes it for the files that follow.
  std::function<TPLOverwriteMode()> overwrite_mode;
};

class TPLFileQueue {
 public:
  // `dir`, `events` and `code_pages` must outlive the queue.
  TPLFileQueue(TPLDirArray& dir, EngineCallbacks& events, const platform::CodePages& code_pages,
               FileQueueSettings settings);

  // Queues the disk file or folder `full` (absolute; a folder's ends in '/')
  // described by `info`, unless the confirmation event declines it: as a new
  // entry, or as the new version of the entry of the same stored name when
  // the overwrite mode allows. Files matching a no-compression mask are
  // stored. A file of 4 GiB or more (or any under zmAlways) is marked Zip64
  // with its size. Returns the entry's index, or -1 when it was skipped.
  int32_t QueueFile(const std::u16string& full, const platform::FileInfo& info);

 private:
  int32_t AddDirItem(const std::u16string& full, const platform::FileInfo& info);
  bool MayReplace(const TDirItem& existing, const std::u16string& full, std::u16string name,
                  const platform::FileInfo& info);
  int32_t AppendEntry();
  void FinishEntry(int32_t index, std::u16string name, int32_t attributes, std::string comment);
  bool StoredUncompressed(const std::u16string& full, bool is_folder) const;
  void MarkSize(TDirItem& item, const platform::FileInfo& info) const;

  TPLDirArray& dir_;
  EngineCallbacks& events_;
  const platform::CodePages& code_pages_;
  FileQueueSettings settings_;
};

}  // namespace parcelon
