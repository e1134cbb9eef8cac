// The real file system of this machine, through POSIX calls.
#pragma once

#include "platform/file_system.h"

namespace platform {

// Stateless: one instance may serve the whole program.
class PosixFileSystem : public FileSystem {
 public:
  void CopyFile(const std::string& from, const std::string& to) override;
  void Rename(const std::string& from, const std::string& to) override;
  bool Exchange(const std::string& a, const std::string& b) override;
  void Remove(const std::string& path) override;
  void SetModeAndOwner(const std::string& path, const FileInfo& like) override;
  FileInfo Stat(const std::string& path) override;
  std::string ResolveLinks(const std::string& path) override;
  bool CreateFolders(const std::string& path) override;
  std::unique_ptr<Stream> OpenStream(const std::string& path, uint16_t mode) override;
  std::unique_ptr<Stream> CreateUniqueStream(const std::string& folder, const std::string& prefix,
                                             std::string* path) override;
  void SyncFolder(const std::string& path) override;
  void RemoveFolder(const std::string& path) override;
  std::vector<FolderEntry> ListFolder(const std::string& path) override;
  std::string CurrentFolder() override;
  FileInfo StatLink(const std::string& path) override;
  void MakeFoldersBelow(const std::string& root, const std::string& relative) override;
  std::unique_ptr<Stream> CreateFileBelow(const std::string& root,
                                          const std::string& relative) override;
  void SetPermissions(const std::string& path, mode_t mode) override;
  void SetModifiedTime(const std::string& path, int64_t seconds) override;
  bool Writable(const std::string& path) override;
  uint64_t FreeSpace(const std::string& folder) override;
  FileInfo StatOpen(Stream& file) override;
  void SetModeAndOwnerOf(Stream& file, const FileInfo& like) override;
  std::unique_ptr<Stream> CreateExclusiveStream(const std::string& path,
                                                const FileInfo& like) override;
  bool RenameNoReplace(const std::string& from, const std::string& to) override;
  void SetPermissionsOpen(Stream& file, mode_t mode) override;
  void SetModifiedTimeOpen(Stream& file, int64_t seconds) override;
  void SyncFileSystem(const std::string& path) override;
  void RenameBelow(const std::string& root, const std::string& from,
                   const std::string& to) override;
  void RemoveBelow(const std::string& root, const std::string& relative) override;

 private:
  FolderEntry Describe(int folder, const std::string& prefix, const std::string& name);
};

}  // namespace platform
