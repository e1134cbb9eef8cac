// The disk scan of an add: finds the files and folders a mask names below a
// folder, filters them by attributes and exclusion masks, and hands each to
// the file queue once.
//
// A scan never enters a symbolic link to a folder, so that a link loop ends
// and nothing outside the tree is taken unless a mask names it; links to
// files are followed. Only regular files and folders are taken (a FIFO or a
// device would block or never end the commit). A name that is no valid
// UTF-8 cannot be named again exactly and is reported instead of taken.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_set>
#include <vector>

#include "archive/common/settings.h"
#include "archive/update/file_queue.h"

namespace parcelon {

// What one scan looks for; the settings are read from the snapshot given
// beside it.
struct DiskScanTask {
  QueueOrigin queue;
  int32_t search_attr = kAllEntries;  // attribute filter (Windows attribute bits)
  std::vector<std::u16string> exclusion_masks;
  // The archive's own paths (its name, and the file a link of that name
  // points to), absolute, and its file's identity and size: the archive is
  // never queued into itself, whatever path (through links) reaches it.
  std::vector<std::u16string> archive_paths;
  platform::FileIdentity archive_identity;
  int64_t archive_size = -1;
};

class TPLDiskScan {
 public:
  // `dir`, `fs`, `code_pages`, `events` and `settings` must outlive the scan.
  TPLDiskScan(TPLDirArray& dir, platform::FileSystem& fs, const platform::CodePages& code_pages,
              EngineCallbacks& events, const EngineSettings& settings, DiskScanTask task);

  // Queues what `mask` names below the absolute folder `folder`:
  // - a mask that names an absolute path without wildcards: that file, or
  //   that folder when the search attributes hold the directory bit;
  // - else the files of the mask's folder whose names match, and, when the
  //   search attributes hold the directory bit or `recurse` is set, the
  //   subfolders: a matching folder is queued with the directory bit and
  //   then scanned whole; others are scanned for the mask when `recurse`
  //   (a mask with a folder part only when it holds wildcards).
  // A folder that cannot be listed (other than a missing one) and a name
  // that cannot be taken are offered to the failure event: retry lists
  // again, ignore skips it, abort raises the engine error.
  void ScanDiskFolder(const std::u16string& folder, const std::u16string& mask, bool recurse);

 private:
  struct Found {
    std::u16string name;
    platform::FileInfo info;
    bool is_link = false;
    bool nameable = true;  // the name converts back to the same bytes
  };

  std::vector<Found> List(const std::u16string& folder);
  std::vector<platform::FolderEntry> ListRaw(const std::u16string& folder);
  void FindNamed(const std::u16string& path);
  void AddMatchingFiles(const std::vector<Found>& listed, const std::u16string& folder_part,
                        std::u16string_view pattern);
  void ScanSubfolders(const std::vector<Found>& listed, const std::u16string& sub,
                      const std::u16string& mask, const std::u16string& path, bool recurse);
  void Descend(const std::u16string& child, const std::u16string& mask, const std::u16string& path);
  bool AddFoundFile(const Found& item, const std::u16string& folder_part);
  bool IsArchive(const std::u16string& full, const platform::FileInfo& info) const;
  bool Excluded(const std::u16string& full, bool is_folder) const;
  bool Takeable(const Found& item, const std::u16string& full);
  TPLAction OfferFailure(const std::u16string& path, int32_t native_error);

  platform::FileSystem& fs_;
  const platform::CodePages& code_pages_;
  EngineCallbacks& events_;
  const EngineSettings& settings_;
  DiskScanTask task_;
  TPLFileQueue queue_;
  std::unordered_set<std::u16string> seen_;  // every file handed to the queue
};

}  // namespace parcelon
