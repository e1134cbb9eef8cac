// The archiver's published properties and the state below them: the
// services it was given (or made), the open archive (its stream, its
// directory manager, a new archive file not yet under its name) and the
// state of runs over entries. It also gives the accessors that the engine's
// own parts and tools use, the settings beyond the published properties,
// and the steps that find, create, open and name the archive's file.
// TPLBaseArchiver builds the component on it: its operations, events and
// triggers (see archive/base_archiver.h). Nothing else derives from it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "archive/codec/inflate_stage.h"
#include "archive/codec/progress.h"
#include "archive/common/component.h"
#include "archive/common/secret_text.h"
#include "archive/common/settings.h"
#include "archive/common/types.h"
#include "archive/crypto/aes_key_read_ahead.h"
#include "archive/directory/dir_manager.h"
#include "archive/options.h"
#include "platform/code_pages.h"
#include "platform/dialogs.h"
#include "platform/file_system.h"
#include "platform/stream.h"

namespace parcelon {

using TPLStringList = std::vector<std::u16string>;

// What the archiver talks to; each may be null for the default.
struct ArchiverEnvironment {
  platform::Dialogs* dialogs = nullptr;             // not owned
  const platform::CodePages* code_pages = nullptr;  // not owned
  platform::FileSystem* file_system = nullptr;      // not owned
};

class ExtractedFiles;

class TPLArchiverState : public TComponent {
 public:
  ~TPLArchiverState() override;
  TPLArchiverState(const TPLArchiverState&) = delete;
  TPLArchiverState& operator=(const TPLArchiverState&) = delete;

  // --- Published properties (InMemory is TPLBaseArchiver's) ---
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
  TZip64Mode Zip64Mode() const { return zip64_mode_; }
  void SetZip64Mode(TZip64Mode value) { zip64_mode_ = value; }
  bool UnicodeFilenames() const { return unicode_filenames_; }
  void SetUnicodeFilenames(bool value) { unicode_filenames_ = value; }
  TPLCryptoAlgorithm EncryptionMethod() const { return encryption_method_; }
  void SetEncryptionMethod(TPLCryptoAlgorithm value) { encryption_method_ = value; }
  // How many threads deflate the files a commit adds: 0 (the default) as
  // many as the machine has cores, 1 one after the other on the calling
  // thread. The archive is byte for byte the same; events still fire on the
  // calling thread, in the same order. Negative values count as 0; more
  // than 64 as 64.
  int Threads() const { return threads_; }
  void SetThreads(int value) { threads_ = value < 0 ? 0 : value; }

  // --- Engine internals, for the engine's own parts and tools ---
  // The directory manager while open, else null.
  TPLDirManager* DirManager() { return dir_manager_.get(); }
  // The options and properties as they stand now, for an operation that
  // starts; it points to this archiver, which must outlive it.
  EngineSettings SettingsNow() const;
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
  // The archive stream belongs to the caller (OpenArchive(Stream&, Mode)).
  bool ExternalStream() const { return external_stream_; }

  // --- Settings beyond the published properties ---
  // Whether an update goes on when the archive's folder refuses its
  // rollback journal, so that a crash during it may lose entries. Off by
  // default: such an update raises error 69 before anything is written.
  // When on, OnUnprotectedUpdate fires before the archive is cut.
  bool AllowUnprotectedUpdate() const { return allow_unprotected_; }
  void SetAllowUnprotectedUpdate(bool value) { allow_unprotected_ = value; }
  // Whether the last commit kept its rollback journal beside the archive
  // (false when the folder could not hold it, or the archive is no file).
  bool LastCommitRecoverable() const { return last_commit_recoverable_; }
  // A commit whose tail (what it copies from the first change on) is at
  // least this long and more than half the archive writes the archive anew
  // into a file renamed over the old one, rather than copying the tail
  // aside and back; smaller tails keep the file itself.
  void SetRewriteThreshold(int64_t bytes) { rewrite_threshold_ = bytes; }
  // Which inflater decodes entries (the fastest by default).
  void SetInflater(InflaterKind kind) { inflater_ = kind; }

 protected:
  // Takes the services of `environment`, making the default of each one
  // that is null: the console, the system's code pages, the real disk.
  TPLArchiverState(TComponent* owner, ArchiverEnvironment environment);

  // Sets the method code of new entries; this one sets 0xFFFF (none).
  virtual void UpdateDefaultMethod();
  void SetNewEntryMethod(uint16_t method) { new_entry_method_ = method; }

  // --- The archive's file ---
  platform::FileInfo ArchiveFileInfo() const;
  // The archive's file exists as a file (not a folder).
  bool ArchiveFileExists() const;
  // Error 68 unless FileName is a regular file or nothing.
  void CheckRegularArchive();
  // The mode OpenArchive() opens FileName with.
  uint16_t ChooseOpenMode();
  // Opens FileName (or another file) on the file system with a file mode.
  std::unique_ptr<platform::Stream> OpenFile(const std::u16string& name, uint16_t mode);
  // FileName with its links resolved.
  std::string ArchivePath();
  // The stream of a new archive file (see OpenArchive(Mode)).
  std::unique_ptr<platform::Stream> CreateArchiveFile();
  // Gives a new archive file its name; false when something else has it.
  bool PublishNewArchive();
  // PublishNewArchive, raising error 70 when the name is taken.
  void PublishOrRefuse();
  // Syncs the folder of a new archive that just took its name.
  void SyncNewArchiveFolder();
  // Removes a new archive file that never took its name.
  void DropUnpublished() noexcept;
  // Opens FileName, or creates the new archive, with the open mode.
  void InternalOpen();
  void CreateNewArchive();
  void OpenExistingArchive();
  // Locates the end records and loads the directory of the archive stream.
  void LoadDirectory();
  // Makes the directory manager of the archive stream.
  void StartDirectory(bool creating);
  // A commit that wrote the archive anew hands over the new file's stream.
  void AdoptReplacement(std::unique_ptr<platform::Stream> stream) noexcept;
  // Lets go of the archive stream and the directory manager.
  void ReleaseArchive() noexcept;

  // --- Updates and runs over entries ---
  // Numbers the entries and copies the directory for a rollback.
  void TakeSnapshot();
  // Threads, with 0 resolved to the number of cores.
  int ThreadsNow() const;
  // BaseDir made absolute against the working folder.
  std::u16string ResolvedBaseDir();
  // The working folder of files added now.
  std::u16string WorkingFolderNow();
  // BaseDir, or the process's current folder as the first run found it,
  // ending in '/'.
  std::u16string DestinationFolder();
  void FindOverlappingEntries();
  // Marks exactly the entries `indices`.
  void MarkOnly(const std::vector<int32_t>& indices);

  TComponent* owner_;
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
  bool update_ended_since_open_ = false;
  bool last_commit_recoverable_ = false;
  int64_t rewrite_threshold_ = int64_t{16} << 20;
  bool allow_unprotected_ = false;
  int threads_ = 0;
  // The cores the system has, asked once (asking reads a file each time).
  mutable unsigned cores_ = 0;
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
  // Derives the keys of the coming AES entries of a run (or of entries
  // decoded one by one) on a worker; started when first needed, ended with
  // the run or the archive.
  std::shared_ptr<AesKeyReadAhead> aes_keys_ahead_;
  bool plan_aes_keys_ = true;  // off in a run over one entry
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
