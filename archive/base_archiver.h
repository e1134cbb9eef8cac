// The archiver component: the archive's file name and every setting, the
// open and update state, and the events through which the engine asks its
// owner for decisions. Each event has a virtual trigger (Do...) that calls
// the assigned handler or applies the built-in default.
//
// The component delegates: the loader (TPLDirManager) reads the directory,
// the search functions walk it, the commit rewrites the archive. Its state,
// the engine's own accessors and the steps on the archive's file are in
// archive/archiver_state.h. Front ends read entries through Entry(i) and
// work on them through ExtractEntry and ProcessEntries.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "archive/archive_summary.h"
#include "archive/archiver_event_relay.h"
#include "archive/archiver_events.h"
#include "archive/archiver_state.h"
#include "archive/entry_view.h"
#include "archive/search/item_search.h"
#include "archive/update/rollback_journal.h"
#include "platform/stream.h"

namespace parcelon {

class TPLCommit;

class TPLBaseArchiver : public TPLArchiverState {
 public:
  explicit TPLBaseArchiver(TComponent* owner = nullptr, ArchiverEnvironment environment = {});
  ~TPLBaseArchiver() override;

  // --- Properties (the others are in archive/archiver_state.h) ---
  bool InMemory() const { return in_memory_; }
  // Moves an open archive between memory and its file (see the .cpp).
  void SetInMemory(bool value);

  // --- Events ---
  TPLOverallProgressEvent OnOverallProgress;
  TPLFileProgressEvent OnFileProgress;
  TPLCopyTempFileProgressEvent OnCopyTempFileProgress;
  TPLConfirmOverwriteEvent OnConfirmOverwrite;
  TPLConfirmProcessFileEvent OnConfirmProcessFile;
  TPLNotifyEvent AfterOpen;
  TPLPasswordEvent OnPassword;
  TPLProcessFileFailureEvent OnProcessFileFailure;
  TPLRequestVolumeEvent OnRequestBlankVolume;
  TPLRequestVolumeEvent OnRequestFirstVolume;
  TPLRequestVolumeEvent OnRequestLastVolume;
  TPLRequestVolumeEvent OnRequestMiddleVolume;
  TPLDiskFullEvent OnDiskFull;
  TPLStoreFileEvent OnStoreFile;
  TPLExtractFileEvent OnExtractFile;
  // Fired before an update without a rollback journal cuts the archive.
  TPLNotifyEvent OnUnprotectedUpdate;

  // --- Lifecycle ---
  // Opens FileName, choosing the mode: create when it does not exist (or
  // InMemory), read-write denying writers when the file is writable, else
  // read-only sharing everything. Raises error 9 for a blank file name.
  void OpenArchive();
  // Opens with a file mode (fmCreate, or access | sharing). Raises error 10
  // (blank name), 12 (missing file, mode not fmCreate), 28 (InMemory and not
  // fmCreate), 68 (not a regular file), 48 (no end record, repair off), the
  // loader's errors (35, 40, 57), or the file layer's. On failure the
  // archiver is closed. A new archive file takes its name only once it holds
  // a complete archive (error 70 when something else took the name); an
  // existing file is emptied in place.
  void OpenArchive(uint16_t mode);
  // Opens the archive held by `stream`, which the caller owns and keeps
  // alive until the archiver is closed. fmCreate empties it and starts a new
  // archive; any other mode loads it. Errors as OpenArchive(Mode).
  void OpenArchive(platform::Stream& stream, uint16_t mode);
  // Commits pending changes (swallowing failures), finishes a new archive
  // with its central directory and closes. Never throws.
  void CloseArchive() noexcept;
  // Closes without committing an open transaction; a new archive file that
  // has not yet taken its name is removed. Never throws.
  void AbandonArchive() noexcept;
  bool IsOpen() const { return is_open_; }
  void SetOpen(bool value);
  bool InUpdate() const { return update_depth_ > 0; }
  // Error 13 when closed.
  void CheckOpen() const;
  // Error 26 while an update transaction is in progress.
  void CheckNoUpdate() const;

  // --- Update transactions (see archive/update/commit.h) ---
  // Starts a transaction, or nests one more level. The first level opens a
  // closed archive, refuses one open for reading only (error 32) and takes
  // the snapshot a failed commit restores. Error 62 for a second
  // transaction on a multi-volume archive.
  void BeginUpdate();
  // Ends one level; the last one commits. A failed commit propagates after
  // the archive and the directory are restored; one whose rollback failed
  // too closes the archive (its journal restores it at the next open).
  void EndUpdate();
  // Ends the transaction without writing; the directory is put back.
  void CancelUpdate();
  // Removes entry `index` in the open transaction: error 22 outside one,
  // error 21 for an index outside the directory.
  void RemoveItem(int32_t index);
  // Queues the file `file_name` as the new data of entry `index` (poUpdate):
  // error 25 outside a transaction, 24 for an index outside the directory.
  // The entry takes the file's mode, or keeps its own with the flag.
  void MarkItemForUpdate(int32_t index, const std::u16string& file_name,
                         bool keep_entry_attributes = false);
  // Queues the data of `source`, from its position on, as the new data of
  // entry `index` (poUpdate): `source` stays the caller's, alive and
  // unchanged until the commit. The entry keeps its stored name, version
  // made by and external attributes and takes the time of the call; the
  // method, compression and password are those a file would get. Errors as
  // for a file.
  void MarkItemForUpdate(int32_t index, platform::Stream& source);
  // Adds (or replaces) the entry `stored_name` with the data of `source`
  // from its position on: queued inside a transaction (`source` kept alive
  // and unchanged until the commit), else committed at once. Error 13 when
  // closed.
  void AddStream(const std::u16string& stored_name, platform::Stream& source);

  // --- Adding files from disk (see archive/update/disk_scan.h) ---
  // Queues every disk file below BaseDir that `file_mask` names and the
  // attribute and exclusion filters keep, commits them as one transaction
  // (or leaves them queued in the caller's) and deletes them from disk.
  // Error 13 when closed; a failed scan or commit cancels the transaction
  // and propagates; failures of single files go to OnProcessFileFailure.
  void MoveFiles(const std::u16string& file_mask, int32_t search_attr = kAllEntries,
                 const std::u16string& exclusion_mask = u"");
  void MoveFiles(const TPLStringList& file_masks, int32_t search_attr,
                 const TPLStringList& exclusion_masks);
  // As MoveFiles, but the files stay on disk.
  void AddFiles(const std::u16string& file_mask, int32_t search_attr = kAllEntries,
                const std::u16string& exclusion_mask = u"");
  void AddFiles(const TPLStringList& file_masks, int32_t search_attr,
                const TPLStringList& exclusion_masks);

  // --- Runs over entries ---
  // Extracts the entries the search finds (with Recurse off and a plain
  // name, the first one) below BaseDir, or the first run's current folder.
  // Failures of single entries go to OnProcessFileFailure. Error 13 when
  // closed, 26 inside a transaction.
  void ExtractFiles(const std::u16string& file_mask, int32_t search_attr = kAllEntries,
                    const std::u16string& exclusion_mask = u"");
  // Decodes and checks the entries the search finds, writing nothing.
  void TestFiles(const std::u16string& file_mask, int32_t search_attr = kAllEntries,
                 const std::u16string& exclusion_mask = u"");
  // Removes the entries the search finds and commits.
  void DeleteFiles(const std::u16string& file_mask, int32_t search_attr = kAllEntries,
                   const std::u16string& exclusion_mask = u"");
  // Marks exactly the entries the search finds.
  void MarkFiles(const std::u16string& file_mask, int32_t search_attr,
                 const std::u16string& exclusion_mask);
  // Runs `operation` over entry `index` (when marked), or with -1 over every
  // marked entry, under the engine lock.
  void ProcessFiles(TPLProcessOperation operation, int32_t index);
  // Decodes entry `index` onto `destination`: error 16 for an index outside
  // the directory, 8 when the entry fails its checks (unless
  // ExtractCorruptedFiles, a cancel or a skipped password), overlaps another
  // entry or lies outside the archive.
  void ExtractItemToStream(int32_t index, platform::Stream& destination);
  // The workers of ProcessFiles.
  void ExtractOneFile(int32_t index, const std::u16string& name, const std::u16string& dest_dir);
  void TestOneFile(int32_t index, const std::u16string& name);
  void DeleteOneFile(int32_t index);
  void UpdateOneFile(int32_t index, const std::u16string& name, const std::u16string& dest_dir);

  // --- Search (error 13 when closed) ---
  bool FindFirst(const std::u16string& file_mask, TPLArchiveItem& item,
                 int32_t search_attr = kAllEntries, const std::u16string& exclusion_mask = u"");
  bool FindNext(TPLArchiveItem& item);
  bool InternalFind(TPLArchiveItem& item);
  bool ItemMatches(int32_t index, const TPLArchiveItem& item);

  // --- Entries, for the front ends (error 13 when closed) ---
  int32_t EntryCount();
  // Error 16 for an index outside the directory. The view is read-only and
  // valid until the directory next changes: within an update transaction,
  // a change to a neighbouring entry may leave it showing the entry as the
  // transaction found it.
  EntryView Entry(int32_t index);
  ArchiveSummary Summary();
  // Extracts entry `index` alone below `folder` as ExtractFiles does below
  // BaseDir, which is left as it was. Error 16 as Entry.
  void ExtractEntry(int32_t index, const std::u16string& folder);
  // Runs `operation` (poExtract, poTest, or poDelete inside an update) over
  // exactly the entries `indices`, as ProcessFiles over marked ones. Error
  // 16 as Entry, before anything is done.
  void ProcessEntries(TPLProcessOperation operation, const std::vector<int32_t>& indices);

  // The events as the engine's parts below the component see them.
  EngineCallbacks& Events() { return events_; }

  // --- Event triggers ---
  virtual void DoOverallProgress(double progress, TPLProcessOperation operation,
                                 TPLProgressPhase phase, bool& cancel);
  virtual void DoFileProgress(const std::u16string& file_name, double progress,
                              TPLProcessOperation operation, TPLProgressPhase phase, bool& cancel);
  virtual void DoCopyTempFileProgress(double progress, TPLProgressPhase phase, bool& cancel);
  virtual void DoConfirmOverwrite(const std::u16string& source_file_name,
                                  std::u16string& dest_file_name, bool& confirm);
  virtual void DoConfirmProcessFile(const std::u16string& file_name, TPLProcessOperation operation,
                                    bool& confirm);
  virtual void DoPassword(const std::u16string& file_name, std::string& new_password,
                          bool& skip_file);
  virtual void DoProcessFileFailure(const std::u16string& file_name, TPLProcessOperation operation,
                                    int32_t native_error, int32_t error_code,
                                    const std::u16string& error_message, TPLAction& action);
  virtual void DoRequestBlankVolume(int32_t volume_number, std::u16string& volume_file_name,
                                    bool& cancel);
  virtual void DoRequestFirstVolume(std::u16string& volume_file_name, bool& cancel);
  virtual void DoRequestLastVolume(std::u16string& volume_file_name, bool& cancel);
  virtual void DoRequestMiddleVolume(int32_t volume_number, std::u16string& volume_file_name,
                                     bool& cancel);
  virtual void DoDiskFull(int32_t volume_number, const std::u16string& volume_file_name,
                          bool& cancel);
  virtual void DoStoreFile(std::u16string& file_name, int32_t& file_attr, std::string& comment,
                           const std::u16string& original_file_name);
  virtual void DoExtractFile(std::u16string& file_name, uint32_t& file_attr,
                             const std::string& comment);
  virtual void DoAfterOpen();

 private:
  SearchScope Scope();
  void CheckEntryIndex(int32_t index);
  void RunWorker(TPLProcessOperation operation, int32_t index, const std::u16string& name,
                 const std::u16string& dest_dir);
  // Plans the keys of the AES entries that come after entry `index` for
  // `password` (see PlanAesKeysAfter); the read ahead holding them, or null.
  std::shared_ptr<AesKeyReadAhead> PlanAesKeys(int32_t index, const SharedSecret& password);
  bool DiskFileMayReplace(const TDirItem& entry, const std::u16string& name, std::u16string path,
                          const platform::FileInfo& disk);
  void CommitUpdates();
  struct CommitRequest CommitRequestNow(const EngineSettings& settings);
  // The add's transaction around AddFilesInternal, which scans the disk for
  // every mask under the engine lock, from the resolved BaseDir.
  void AddInTransaction(const TPLStringList& masks, int32_t search_attr, bool move_flag,
                        const TPLStringList& exclusion_masks);
  void AddFilesInternal(const TPLStringList& masks, int32_t search_attr, bool recurse,
                        bool move_flag, const TPLStringList& exclusion_masks);
  struct DiskScanTask DiskScanTaskNow(int32_t search_attr, bool move_flag,
                                      const TPLStringList& exclusion_masks);
  void AdoptNewArchive(TPLCommit& commit) noexcept;
  // Where a commit keeps the old tail without a journal, and what it does
  // when the folder refuses one.
  SavedTail::Place TailPlaceNow();
  void QueueStream(const std::u16string& stored_name, platform::Stream& source);
  void OpenWith(uint16_t mode, const std::function<void()>& internal_open);
  void FinishArchive();
  void MoveArchiveToFile();

  ArchiverEventRelay events_{*this};
};

}  // namespace parcelon
