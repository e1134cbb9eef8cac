// The archiver component: the archive's file name and every setting, the
// open archive stream and its directory manager, the open and update state,
// and the events through which the engine asks its owner for decisions.
// Each event has a virtual trigger (Do...) that calls the assigned handler
// or applies the built-in default.
//
// The component delegates: the loader (TPLDirManager) reads the directory,
// the search functions walk it, the writer writes the central directory.
// Dialogs, code pages and the file system are injected; without them the
// archiver uses the console, the system's code pages and the real disk.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "archive/archiver_events.h"
#include "archive/codec/inflate_stage.h"
#include "archive/codec/progress.h"
#include "archive/common/component.h"
#include "archive/common/secret_text.h"
#include "archive/common/types.h"
#include "archive/directory/dir_manager.h"
#include "archive/event_bridge.h"
#include "archive/options.h"
#include "archive/search/item_search.h"
#include "archive/update/rollback_journal.h"
#include "platform/code_pages.h"
#include "platform/dialogs.h"
#include "platform/file_system.h"
#include "platform/stream.h"

namespace parcelon {

using TPLStringList = std::vector<std::u16string>;

// What the archiver talks to; each may be null for the default.
class ExtractedFiles;

struct ArchiverEnvironment {
  platform::Dialogs* dialogs = nullptr;             // not owned
  const platform::CodePages* code_pages = nullptr;  // not owned
  platform::FileSystem* file_system = nullptr;      // not owned
};

class TPLCommit;

class TPLBaseArchiver : public TComponent {
 public:
  explicit TPLBaseArchiver(TComponent* owner = nullptr, ArchiverEnvironment environment = {});
  ~TPLBaseArchiver() override;
  TPLBaseArchiver(const TPLBaseArchiver&) = delete;
  TPLBaseArchiver& operator=(const TPLBaseArchiver&) = delete;

  // --- Properties ---
  bool ExtractCorruptedFiles() const { return extract_corrupted_files_; }
  void SetExtractCorruptedFiles(bool value) { extract_corrupted_files_ = value; }
  TPLCompressionLevel CompressionLevel() const { return compression_level_; }
  // Also sets CompressionMode (0, 1, 6 or 9).
  void SetCompressionLevel(TPLCompressionLevel value);
  uint8_t CompressionMode() const { return compression_mode_; }
  // Above 9 raises error 5 and changes nothing; also sets CompressionLevel.
  void SetCompressionMode(uint8_t value);
  // "5.10 "; writing it changes nothing.
  std::u16string CurrentVersion() const;
  void SetCurrentVersion(const std::u16string&) {}
  const std::string& Password() const { return password_->Text(); }
  // Replaces the password holder; entries already queued keep the one they
  // refer to, which is wiped once they are gone.
  virtual void SetPassword(const std::string& value) { password_ = MakeSecret(value); }
  const std::u16string& FileName() const { return file_name_; }
  void SetFileName(std::u16string value) { file_name_ = std::move(value); }
  const std::u16string& BaseDir() const { return base_dir_; }
  void SetBaseDir(std::u16string value) { base_dir_ = std::move(value); }
  const std::u16string& TempDir() const { return temp_dir_; }
  void SetTempDir(std::u16string value) { temp_dir_ = std::move(value); }
  TPLSpanningMode SpanningMode() const { return spanning_mode_; }
  // Refused while open with a plain exception.
  void SetSpanningMode(TPLSpanningMode value);
  TPLSpanningOptions& SpanningOptions() { return spanning_options_; }
  const std::u16string& SFXStub() const { return sfx_stub_; }
  void SetSFXStub(std::u16string value) { sfx_stub_ = std::move(value); }
  TPLOptions& Options() { return options_; }
  const TPLOptions& Options() const { return options_; }
  void SetOptions(const TPLOptions& value) { options_.Assign(value); }
  TPLStringList& FileMasks() { return file_masks_; }
  void SetFileMasks(const TPLStringList& value) { file_masks_ = value; }
  TPLStringList& ExclusionMasks() { return exclusion_masks_; }
  void SetExclusionMasks(const TPLStringList& value) { exclusion_masks_ = value; }
  TPLStringList& NoCompressionMasks() { return no_compression_masks_; }
  void SetNoCompressionMasks(const TPLStringList& value) { no_compression_masks_ = value; }
  bool InMemory() const { return in_memory_; }
  // Moves an open archive between memory and its file (see the .cpp).
  void SetInMemory(bool value);
  TZip64Mode Zip64Mode() const { return zip64_mode_; }
  void SetZip64Mode(TZip64Mode value) { zip64_mode_ = value; }
  bool UnicodeFilenames() const { return unicode_filenames_; }
  void SetUnicodeFilenames(bool value) { unicode_filenames_ = value; }
  TPLCryptoAlgorithm EncryptionMethod() const { return encryption_method_; }
  void SetEncryptionMethod(TPLCryptoAlgorithm value) { encryption_method_ = value; }
  // Whether an update goes on when the archive's folder refuses its
  // rollback journal, so that a crash during it may lose entries. Off by
  // default: such an update raises error 69 before anything is written.
  // When on, OnUnprotectedUpdate fires before the archive is cut.
  bool AllowUnprotectedUpdate() const { return allow_unprotected_; }
  void SetAllowUnprotectedUpdate(bool value) { allow_unprotected_ = value; }

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
  // Fired before an update that has no rollback journal cuts the archive
  // (see AllowUnprotectedUpdate).
  TPLNotifyEvent OnUnprotectedUpdate;

  // --- Lifecycle ---
  // Opens FileName, choosing the mode: create when it does not exist (or
  // InMemory), read-write denying writers when the file is writable, else
  // read-only sharing everything. Raises error 9 for a blank file name.
  void OpenArchive();
  // Opens with a file mode (fmCreate, or access | sharing). Raises error 10
  // (blank name), 12 (missing file, mode not fmCreate), 28 (InMemory and not
  // fmCreate), 68 (the name is a FIFO, a device or a folder), 48 (no end
  // record, repair off), the loader's errors (35, 40, 57), or the file
  // layer's EFOpenError / EFCreateError. On failure the archiver is closed.
  // A new archive file (fmCreate where nothing has the name) is written
  // into a hidden file beside its name, which takes the name only once it
  // holds a complete archive: at the commit point of the first update, or
  // when it is closed; error 70 when something else took the name
  // meanwhile. An existing file is emptied in place.
  void OpenArchive(uint16_t mode);
  // Opens the archive held by `stream`, which the caller owns: it must stay
  // alive until the archiver is closed, and closing leaves it to the caller.
  // With fmCreate the stream is emptied and a new archive starts on it; any
  // other mode loads the archive it holds (the mode's access decides whether
  // it may be updated). Raises the loader's errors like OpenArchive(Mode).
  void OpenArchive(platform::Stream& stream, uint16_t mode);
  // Commits pending changes (swallowing failures), finishes a new archive
  // with its central directory and closes. Never throws.
  void CloseArchive() noexcept;
  // Closes without committing an open transaction; a new archive file that
  // has not yet taken its name is removed. Never throws.
  void AbandonArchive() noexcept;
  bool IsOpen() const { return is_open_; }
  // The archive stream belongs to the caller (OpenArchive(Stream&, Mode)).
  bool ExternalStream() const { return external_stream_; }
  void SetOpen(bool value);
  bool InUpdate() const { return update_depth_ > 0; }
  // Error 13 when closed.
  void CheckOpen() const;
  // Error 26 while an update transaction is in progress.
  void CheckNoUpdate() const;

  // --- Update transactions ---
  // Starts an update transaction, or nests one more level. The first level
  // opens a closed archive (choosing the mode), refuses one open for reading
  // only (error 32; a caller's stream is allowed) and takes the snapshot
  // that a failed commit restores. Error 62 for a second transaction on a
  // multi-volume archive.
  void BeginUpdate();
  // Ends one level; the last one commits (see archive/update/commit.h).
  // Failures of the commit propagate after the archive and the directory are
  // restored; a commit whose rollback failed too closes the archive (its
  // journal restores it at the next open).
  void EndUpdate();
  // Ends the transaction without writing anything; the directory is put
  // back as it was when the transaction began.
  void CancelUpdate();
  // Removes entry `index` in the open transaction: error 22 outside one,
  // error 21 for an index outside the directory.
  void RemoveItem(int32_t index);
  // Queues the file `file_name` as the new data of entry `index` in the open
  // transaction (operation poUpdate): error 25 outside one, error 24 for an
  // index outside the directory. The entry takes the file's Unix mode and
  // made-by host, or with `keep_entry_attributes` keeps its own.
  void MarkItemForUpdate(int32_t index, const std::u16string& file_name,
                         bool keep_entry_attributes = false);
  // Adds an entry named `stored_name` whose data is `source` from its
  // current position to its end; it replaces an entry of that name. Inside
  // a transaction the entry is queued (the caller keeps `source` alive and
  // unchanged until the commit, after which its position is restored);
  // outside one, a transaction of its own commits it at once. Error 13 when
  // the archive is closed.
  void AddStream(const std::u16string& stored_name, platform::Stream& source);
  // Whether the last commit kept its rollback journal beside the archive
  // (false when the folder could not hold it, or the archive is no file).
  bool LastCommitRecoverable() const { return last_commit_recoverable_; }
  // A commit whose tail (what it copies from the first change on) is at
  // least this long and more than half the archive writes the archive anew
  // into a file renamed over the old one, rather than copying the tail
  // aside and back; smaller tails keep the file itself.
  void SetRewriteThreshold(int64_t bytes) { rewrite_threshold_ = bytes; }

  // --- Adding files from disk ---
  // Queues every disk file that `file_mask` names below BaseDir (see
  // archive/update/disk_scan.h; recursively when Options.Recurse is set),
  // filtered by `search_attr` and, unless empty, `exclusion_mask`, commits
  // them as one update transaction and then deletes the files (and queued
  // folders) from disk. An entry of the same stored name is replaced as
  // Options.OverwriteMode says. Error 13 when the archive is closed; any
  // failure of the scan or the commit cancels the transaction (nothing
  // queued survives) and propagates. Failures of single files go to
  // OnProcessFileFailure. Inside a transaction the caller opened, the files
  // are only queued for its commit, and a failure cancels that transaction.
  void MoveFiles(const std::u16string& file_mask, int32_t search_attr = kAllEntries,
                 const std::u16string& exclusion_mask = u"");
  // The same for several masks and exclusion masks.
  void MoveFiles(const TPLStringList& file_masks, int32_t search_attr,
                 const TPLStringList& exclusion_masks);
  // As MoveFiles, but the files stay on disk.
  void AddFiles(const std::u16string& file_mask, int32_t search_attr = kAllEntries,
                const std::u16string& exclusion_mask = u"");
  void AddFiles(const TPLStringList& file_masks, int32_t search_attr,
                const TPLStringList& exclusion_masks);

  // --- Extraction and other runs over entries ---
  // Extracts every entry that the search for `file_mask` finds (or, with
  // Recurse off, a mask without wildcards, no exclusion and all attributes,
  // the first one) below BaseDir, or below the current folder of the first
  // run when BaseDir is empty. Failures of single entries go to
  // OnProcessFileFailure. Error 13 when closed, 26 inside a transaction.
  void ExtractFiles(const std::u16string& file_mask, int32_t search_attr = kAllEntries,
                    const std::u16string& exclusion_mask = u"");
  // Decodes every entry the search finds and checks it, writing nothing.
  void TestFiles(const std::u16string& file_mask, int32_t search_attr = kAllEntries,
                 const std::u16string& exclusion_mask = u"");
  // Removes every entry the search finds, in an update transaction of its
  // own (or in the one that is open), and commits.
  void DeleteFiles(const std::u16string& file_mask, int32_t search_attr = kAllEntries,
                   const std::u16string& exclusion_mask = u"");
  // Marks exactly the entries the search finds.
  void MarkFiles(const std::u16string& file_mask, int32_t search_attr,
                 const std::u16string& exclusion_mask);
  // Runs `operation` over entry `index` (when marked), or with -1 over every
  // marked entry, under the engine lock.
  void ProcessFiles(TPLProcessOperation operation, int32_t index);
  // Decodes entry `index` onto `destination`, an encrypted one with
  // Password (the password event is asked for another while it does not
  // fit): error 16 for an index outside the directory, error 8 when the
  // entry fails its checks (unless ExtractCorruptedFiles, a cancel, or a
  // skipped password), overlaps another entry or lies outside the archive.
  void ExtractItemToStream(int32_t index, platform::Stream& destination);
  // The workers of ProcessFiles.
  void ExtractOneFile(int32_t index, const std::u16string& name, const std::u16string& dest_dir);
  void TestOneFile(int32_t index, const std::u16string& name);
  void DeleteOneFile(int32_t index);
  void UpdateOneFile(int32_t index, const std::u16string& name, const std::u16string& dest_dir);
  // Which inflater decodes entries (the fastest by default).
  void SetInflater(InflaterKind kind) { inflater_ = kind; }

  // --- Search ---
  // Starts a search for entries matching `file_mask` (error 13 when closed).
  bool FindFirst(const std::u16string& file_mask, TPLArchiveItem& item,
                 int32_t search_attr = kAllEntries, const std::u16string& exclusion_mask = u"");
  bool FindNext(TPLArchiveItem& item);
  bool InternalFind(TPLArchiveItem& item);
  bool ItemMatches(int32_t index, const TPLArchiveItem& item);

  // --- Engine internals, for the engine's own parts and tools ---
  // The directory manager while open, else null.
  TPLDirManager* DirManager() { return dir_manager_.get(); }
  uint16_t NewEntryMethod() const { return new_entry_method_; }
  uint16_t OpenMode() const { return open_mode_; }
  const TPLVolumeNumberInfo& VolumeInfo() const { return volume_info_; }
  const std::u16string& CurrentVolumeName() const { return current_volume_name_; }
  bool RepairDirectory() const { return repair_directory_; }
  void SetRepairDirectory(bool value) { repair_directory_ = value; }
  TComponent* Owner() const { return owner_; }
  platform::Dialogs& Dialogs() { return *dialogs_; }
  const platform::CodePages& CodePages() const { return *code_pages_; }
  platform::FileSystem& FileSystem() { return *file_system_; }
  // The events as the engine's parts below the component see them.
  EngineEvents& Events() { return events_; }

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

 protected:
  // Sets the method code of new entries; the base class sets 0xFFFF.
  virtual void UpdateDefaultMethod();
  void SetNewEntryMethod(uint16_t method) { new_entry_method_ = method; }

 private:
  SearchScope Scope();
  void RunWorker(TPLProcessOperation operation, int32_t index, const std::u16string& name,
                 const std::u16string& dest_dir);
  std::u16string DestinationFolder();
  void FindOverlappingEntries();
  bool DiskFileMayReplace(const TDirItem& entry, const std::u16string& name, std::u16string path,
                          const platform::FileInfo& disk);
  void CommitUpdates();
  struct CommitSettings CommitSettingsNow();
  struct NewItemSettings NewItemSettingsNow();
  // The add's transaction around AddFilesInternal.
  void AddInTransaction(const TPLStringList& masks, int32_t search_attr, bool move_flag,
                        const TPLStringList& exclusion_masks);
  // Scans the disk for every mask in the open transaction, under the engine
  // lock, with the working folder set to the resolved BaseDir.
  void AddFilesInternal(const TPLStringList& masks, int32_t search_attr, bool recurse,
                        bool move_flag, const TPLStringList& exclusion_masks);
  std::u16string ResolvedBaseDir();
  struct DiskScanSettings DiskScanSettingsNow(int32_t search_attr, bool move_flag,
                                              const TPLStringList& exclusion_masks);
  void TakeSnapshot();
  void AdoptCommitted(TPLCommit& commit) noexcept;
  void AdoptReplacement(std::unique_ptr<platform::Stream> stream) noexcept;
  // Where a commit keeps the old tail when there is no journal, and what
  // it does when the folder refuses one.
  TailCopy::Place TailPlaceNow();
  // FileName with its links resolved.
  std::string ArchivePath();
  void QueueStream(const std::u16string& stored_name, platform::Stream& source);
  void OpenWith(uint16_t mode, const std::function<void()>& internal_open);
  void InternalOpen();
  void CreateNewArchive();
  // The stream of a new archive file (see OpenArchive(Mode)).
  std::unique_ptr<platform::Stream> CreateArchiveFile();
  // Gives a new archive file its name; false when something else has it.
  bool PublishNewArchive();
  // PublishNewArchive, raising error 70 when the name is taken.
  void PublishOrRefuse();
  // Syncs the folder of a new archive that just took its name.
  void SettleNewArchive();
  // Removes a new archive file that never took its name.
  void DropUnpublished() noexcept;
  // Error 68 unless FileName is a regular file or nothing.
  void CheckRegularArchive();
  void OpenExistingArchive();
  // Locates the end records and loads the directory of the archive stream.
  void LoadDirectory();
  void DiscardJournal();
  void FinishArchive();
  void ReleaseArchive() noexcept;
  void MoveArchiveToFile();
  uint16_t ChooseOpenMode();
  // Opens FileName (or another file) on the file system with a file mode.
  std::unique_ptr<platform::Stream> OpenFile(const std::u16string& name, uint16_t mode);
  void StartDirectory(bool creating);
  // The archive's file exists as a file (not a folder).
  bool ArchiveFileExists() const;
  platform::FileInfo ArchiveFileInfo() const;

  TComponent* owner_;
  ArchiverEvents events_{*this};
  std::unique_ptr<platform::Dialogs> own_dialogs_;
  std::unique_ptr<platform::CodePages> own_code_pages_;
  std::unique_ptr<platform::FileSystem> own_file_system_;
  platform::Dialogs* dialogs_;
  const platform::CodePages* code_pages_;
  platform::FileSystem* file_system_;

  bool extract_corrupted_files_ = false;
  TPLCompressionLevel compression_level_ = clFastest;
  uint8_t compression_mode_ = 1;
  SharedSecret password_ = MakeSecret({});
  std::u16string file_name_;
  std::u16string base_dir_;
  std::u16string temp_dir_;
  TPLSpanningMode spanning_mode_ = smNone;
  TPLSpanningOptions spanning_options_;
  std::u16string sfx_stub_;
  TPLOptions options_;
  TPLStringList file_masks_;
  TPLStringList exclusion_masks_;
  TPLStringList no_compression_masks_;
  bool in_memory_ = false;
  TZip64Mode zip64_mode_ = zmAuto;
  bool unicode_filenames_ = false;
  TPLCryptoAlgorithm encryption_method_ = caPkzipClassic;

  int32_t update_depth_ = 0;
  bool is_open_ = false;
  std::u16string current_volume_name_;
  TPLVolumeNumberInfo volume_info_;
  uint16_t open_mode_ = 0;
  bool repair_directory_ = true;
  bool committed_ = false;
  bool last_commit_recoverable_ = false;
  int64_t rewrite_threshold_ = int64_t{16} << 20;
  bool allow_unprotected_ = false;
  // A new archive file not yet under its name: where it is, and its name.
  std::string unpublished_path_;
  std::string publish_path_;
  // The state of runs over entries.
  RunProgress run_progress_;
  std::vector<bool> overlaps_;  // per entry of the open archive; forgotten when an update ends
  std::u16string working_dir_;  // the current folder as the first run found it
  // The files an extraction run has written and not yet put in place; set
  // for the run only.
  ExtractedFiles* extracted_files_ = nullptr;
  InflaterKind inflater_ = InflaterKind::kFastest;
  // Resolves relative paths while files are added; empty for the process's
  // current folder.
  std::u16string working_folder_;
  uint16_t new_entry_method_ = 0xFFFF;
  bool external_stream_ = false;
  std::unique_ptr<platform::Stream> own_stream_;  // unless external
  platform::Stream* archive_stream_ = nullptr;    // the open archive, owned or not
  std::unique_ptr<TPLDirManager> dir_manager_;
};

}  // namespace parcelon
