// A file system for tests: the real one, except that it records every call
// the code under test makes and lets one chosen call fail, find the disk
// full, end the process on the spot (a crash at that instant), or cut the
// power there: the disk goes back to what was made durable (the model is
// PowerLossDisk's), and that call and every later one fail, as nothing more
// reaches the disk, until the next Inject.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/posix_file_system.h"
#include "tests/power_loss_disk.h"

namespace testing_support {

// The kinds of calls, as bits so that a fault can pick several.
enum FsOp : uint32_t {
  kOpOpen = 1u << 0,      // OpenStream of an existing file
  kOpCreate = 1u << 1,    // CreateUniqueStream, OpenStream with fmCreate
  kOpRead = 1u << 2,      // Stream::Read
  kOpWrite = 1u << 3,     // Stream::Write
  kOpTruncate = 1u << 4,  // Stream::SetSize
  kOpSync = 1u << 5,      // Stream::Flush, SyncFolder
  kOpRename = 1u << 6,
  kOpRemove = 1u << 7,   // Remove, RemoveFolder
  kOpClose = 1u << 8,    // Stream::Close
  kOpSetMode = 1u << 9,  // SetModeAndOwner, SetPermissions
  kOpSetTime = 1u << 10,
  kOpList = 1u << 11,         // ListFolder
  kOpSetModeOpen = 1u << 12,  // SetPermissionsOpen (on the descriptor)
  kOpSetTimeOpen = 1u << 13,  // SetModifiedTimeOpen (on the descriptor)
  kOpAll = (1u << 14) - 1,
};

enum class FaultEffect {
  kFail,      // the call fails with an I/O error and does nothing
  kDiskFull,  // a write stores nothing (the stream reports a short write);
              // other calls fail as kFail
  kDie,       // the process ends at once with kDeathStatus, before the call
  kPowerCut,  // the power is cut before the call (see CutPower); arming this
              // effect starts tracking what is durable, even with `at` 0
};

struct FsCall {
  FsOp op;
  std::string path;
};

class FaultyFileSystem : public platform::PosixFileSystem {
 public:
  // The `at`-th call (counting from 1) whose kind is in `ops` gets `effect`;
  // `at` 0 injects nothing. Streams and files opened through this object
  // report to it, so it must outlive them.
  struct Fault {
    int64_t at = 0;
    uint32_t ops = kOpAll;
    FaultEffect effect = FaultEffect::kFail;
  };
  static constexpr int kDeathStatus = 86;

  // Arms `fault`, counting its calls from now on; the power is on again.
  void Inject(const Fault& fault);
  // Cuts the power now: whatever was not made durable since the kPowerCut
  // fault was armed is dropped from the disk, and every call fails from now
  // on until the next Inject.
  void CutPower();
  bool PoweredOff() const { return off_; }
  PowerLossDisk& Disk() { return disk_; }

  // Every call so far, in order, the faulted one included.
  const std::vector<FsCall>& Calls() const { return calls_; }
  // How many calls so far had a kind in `ops`.
  int64_t Count(uint32_t ops) const;
  // The calls whose kind is in `ops`, as "op path" lines (for readable
  // expectations).
  std::vector<std::string> Trace(uint32_t ops) const;
  void ClearCalls();

  // Records a call; true when it must fail (kDie ends the process here).
  bool Due(FsOp op, const std::string& path);
  bool DiskFull() const { return fault_.effect == FaultEffect::kDiskFull; }

  void Rename(const std::string& from, const std::string& to) override;
  bool Exchange(const std::string& a, const std::string& b) override;
  void Remove(const std::string& path) override;
  void SetModeAndOwner(const std::string& path, const platform::FileInfo& like) override;
  std::unique_ptr<platform::Stream> OpenStream(const std::string& path, uint16_t mode) override;
  std::unique_ptr<platform::Stream> CreateUniqueStream(const std::string& folder,
                                                       const std::string& prefix,
                                                       std::string* path) override;
  void SyncFolder(const std::string& path) override;
  void RemoveFolder(const std::string& path) override;
  std::vector<platform::FolderEntry> ListFolder(const std::string& path) override;
  void MakeFoldersBelow(const std::string& root, const std::string& relative) override;
  std::unique_ptr<platform::Stream> CreateFileBelow(const std::string& root,
                                                    const std::string& relative) override;
  void SetPermissions(const std::string& path, mode_t mode) override;
  void SetModifiedTime(const std::string& path, int64_t seconds) override;
  platform::FileInfo StatOpen(platform::Stream& file) override;
  void SetModeAndOwnerOf(platform::Stream& file, const platform::FileInfo& like) override;
  std::unique_ptr<platform::Stream> CreateExclusiveStream(const std::string& path,
                                                          const platform::FileInfo& like) override;
  bool RenameNoReplace(const std::string& from, const std::string& to) override;
  bool CreateFolders(const std::string& path) override;
  void SetPermissionsOpen(platform::Stream& file, mode_t mode) override;
  void SetModifiedTimeOpen(platform::Stream& file, int64_t seconds) override;
  void SyncFileSystem(const std::string& path) override;
  void RenameBelow(const std::string& root, const std::string& from,
                   const std::string& to) override;
  void RemoveBelow(const std::string& root, const std::string& relative) override;

 private:
  // Announces to the disk model the folders below `root` that creating
  // `relative` makes; gives those that do not exist yet.
  std::vector<std::string> FoldersToMake(const std::string& root, const std::string& relative);
  void FoldersMade(const std::vector<std::string>& made);

  Fault fault_;
  PowerLossDisk disk_;
  bool off_ = false;
  std::vector<FsCall> calls_;
  int64_t matching_ = 0;  // calls of the armed fault's kinds since it was armed
};

// The name of a kind of call ("write", "sync", ...).
const char* OpName(FsOp op);

}  // namespace testing_support
