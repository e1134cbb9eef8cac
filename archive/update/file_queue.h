// Queueing files found on disk as pending entries of the open update
// transaction: the stored name, the decision on an entry of the same name,
// and the marks the commit reads (operation, source, method, provisional
// size). Nothing is read or written here; the commit does that.
#pragma once

#include <cstdint>
#include <string>

#include "archive/common/engine_callbacks.h"
#include "archive/common/settings.h"
#include "archive/directory/dir_array.h"
#include "archive/update/new_item.h"
#include "platform/code_pages.h"
#include "platform/file_system.h"

namespace parcelon {

// What one add queues from; the settings decide the rest (the entries'
// names, method and mode, the Zip64 mode, the no-compression masks and the
// overwrite mode).
struct QueueOrigin {
  NewItemOrigin item;   // its working folder is the resolved base folder
  std::u16string base;  // the folder stored names are relative to, absolute
  bool move = false;    // queue as poMove: the commit deletes the sources
};

class TPLFileQueue {
 public:
  // `dir`, `events`, `code_pages` and `settings` must outlive the queue.
  TPLFileQueue(TPLDirArray& dir, EngineCallbacks& events, const platform::CodePages& code_pages,
               const EngineSettings& settings, QueueOrigin origin);

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
  const EngineSettings& settings_;
  QueueOrigin origin_;
};

}  // namespace parcelon
