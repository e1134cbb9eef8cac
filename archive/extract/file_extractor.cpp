#include "archive/extract/file_extractor.h"

#include <sys/stat.h>

#include <cstdio>
#include <memory>
#include <optional>
#include <random>

#include "archive/common/entry_path.h"
#include "archive/errors/pl_exception.h"
#include "archive/extract/entry_metadata.h"
#include "archive/format/dos_time.h"
#include "platform/exception.h"
#include "platform/io_error.h"
#include "platform/unicode.h"

namespace parcelon {
namespace {

using platform::Utf16ToUtf8;
using platform::Utf8ToUtf16;

// Where the file goes: a path relative to `root` that stays below it, or a
// path an event handler chose, taken as given.
struct Target {
  std::string root;
  std::string relative;  // '/'-separated, no "." or ".." components
  std::string chosen;    // the handler's path, when it chose one
  bool Chosen() const { return !chosen.empty(); }
  std::string Path() const {
    return Chosen() ? chosen : std::string(root).append("/").append(relative);
  }
};

class Extraction {
 public:
  Extraction(const TDirItem& entry, const ExtractSettings& settings, const RunProgress& progress,
             const bool& skip_file)
      : entry_(entry), settings_(settings), progress_(progress), skip_file_(skip_file) {}

  void Run(std::u16string name, const std::u16string& dest_dir, const DecodeInto& decode) {
    uint32_t attributes = entry_.ExternalAttributes;
    const std::u16string stored = name;
    settings_.events.ExtractFile(name, attributes, entry_.Comment);
    target_ = TargetOf(name, name != stored, dest_dir);
    MakeFolders();
    if ((attributes & faDirectory) != 0 ||
        paths::IsSeparator(stored.empty() ? u'x' : stored.back()))
      return;
    if (!MayWrite(name)) return;
    WriteFile(decode);
  }

 private:
  Target TargetOf(const std::u16string& name, bool chosen, const std::u16string& dest_dir) {
    Target target;
    target.root = Utf16ToUtf8(paths::WithoutTrailingSeparator(dest_dir));
    if (target.root.empty()) target.root.push_back('/');
    if (chosen) {
      target.chosen = Utf16ToUtf8(name.starts_with(u'/') ? name : dest_dir + name);
      return target;
    }
    std::u16string relative = paths::SafeRelativePath(name);
    if (!settings_.options.CreateDirs()) relative = paths::FileNamePart(relative);
    target.relative = Utf16ToUtf8(relative);
    return target;
  }

  // The destination and the entry's folders below it; error 20 when that fails.
  void MakeFolders() {
    platform::FileSystem& fs = settings_.fs;
    const std::string folder =
        target_.Chosen()
            ? platform::FolderOf(target_.chosen)
            : std::string(Utf16ToUtf8(paths::FolderPart(Utf8ToUtf16(target_.relative))));
    try {
      if (target_.Chosen()) {
        if (!folder.empty() && !fs.CreateFolders(folder)) throw platform::IoError("", 0);
        return;
      }
      if (!fs.CreateFolders(target_.root)) throw platform::IoError("", 0);
      if (settings_.options.CreateDirs() && !folder.empty())
        fs.MakeFoldersBelow(target_.root, folder);
    } catch (const platform::IoError&) {
      throw EPLException::CreateFmt(
          errc::kCannotCreateFolder,
          {Utf8ToUtf16(target_.Chosen() ? folder
                                        : std::string(target_.root).append("/").append(folder))},
          settings_.component);
    }
  }

  // The overwrite rules for an existing target.
  bool MayWrite(const std::u16string& name) {
    const platform::FileInfo existing = settings_.fs.StatLink(target_.Path());
    if (!existing.exists) return true;
    const TPLOptions& options = settings_.options;
    if (!options.ReplaceReadOnly() && existing.is_regular && (existing.mode & S_IWUSR) == 0)
      return false;
    switch (options.OverwriteMode()) {
      case omPrompt:
        return Confirm(name);
      case omAlways:
        return true;
      case omNever:
        return false;
      case omIfNewer:
        return PackedDosTime(entry_) > FileDosTime(existing);
      case omIfOlder:
        return PackedDosTime(entry_) < FileDosTime(existing);
    }
    return false;
  }

  bool Confirm(const std::u16string& name) {
    std::u16string path = Utf8ToUtf16(target_.Path());
    const std::u16string asked = path;
    if (!settings_.events.ConfirmOverwrite(name, path)) return false;
    if (path != asked) target_.chosen = Utf16ToUtf8(path);  // the handler's own choice
    return true;
  }

  static int32_t FileDosTime(const platform::FileInfo& info) {
    return static_cast<int32_t>(ToDosDateTime(static_cast<std::time_t>(info.modified)).Packed());
  }

  // A file that exists is replaced only once the entry has decoded soundly:
  // the data goes into a new file beside it, which is synced and renamed
  // over it, so a damaged entry, a cancel or a crash leaves the old file.
  // A new name is written in place and removed again on failure.
  void WriteFile(const DecodeInto& decode) {
    const platform::FileInfo existing = settings_.fs.StatLink(target_.Path());
    const bool replace = existing.exists && (existing.is_regular || existing.is_link);
    std::string written = target_.Path();
    std::unique_ptr<platform::Stream> file = replace ? CreateBeside(&written) : Create(target_);
    try {
      decode(*file);
      if (replace && !Abandoned()) file->Flush();  // durable before it takes the old one's place
    } catch (...) {
      Finish(std::move(file), written, true);
      throw;
    }
    if (Finish(std::move(file), written, false) && replace) Replace(written);
  }

  bool Abandoned() const { return progress_.cancel || skip_file_; }

  // The file created anew; error 19 (naming the target) when that fails.
  std::unique_ptr<platform::Stream> Create(const Target& file) {
    platform::FileSystem& fs = settings_.fs;
    try {
      if (!file.Chosen()) return fs.CreateFileBelow(file.root, file.relative);
      return fs.OpenStream(file.chosen, platform::fmCreate);
    } catch (const platform::EStreamError&) {
      throw CannotCreate();
    }
  }

  // A new hidden file beside the target, of a name nothing bears, created
  // as the target itself would be; error 19 when that fails.
  std::unique_ptr<platform::Stream> CreateBeside(std::string* path) {
    std::random_device random;
    Target part;
    do part = PartOf(target_, random());
    while (settings_.fs.StatLink(part.Path()).exists);
    *path = part.Path();
    return Create(part);
  }

  // `target` with its file name hidden and marked as a partial copy.
  static Target PartOf(const Target& target, uint32_t number) {
    Target part = target;
    std::string& name = part.Chosen() ? part.chosen : part.relative;
    const size_t folder = platform::FolderOf(name).size();
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, ".part-%08x", number);
    std::string hidden(name, 0, folder);
    hidden.push_back('.');
    hidden.append(name, folder).append(suffix);
    name.swap(hidden);
    return part;
  }

  // Puts the synced file at `written` in the target's place; error 19 when
  // the system refuses, and the old file stays.
  void Replace(const std::string& written) {
    platform::FileSystem& fs = settings_.fs;
    try {
      fs.Rename(written, target_.Path());
      fs.SyncFolder(platform::ContainingFolder(target_.Path()));
    } catch (const std::exception&) {
      if (fs.StatLink(written).exists) RemoveQuietly(written);
      throw CannotCreate();
    }
  }

  EPLException CannotCreate() const {
    return EPLException::CreateFmt(errc::kCannotCreateOutput, {Utf8ToUtf16(target_.Path())},
                                   settings_.component);
  }

  // Closes the file at `path`; removes it after a failure, a cancel or a
  // skip and returns false, or gives it the entry's time and permissions
  // and returns true.
  bool Finish(std::unique_ptr<platform::Stream> file, const std::string& path,
              bool failed) noexcept {
    file.reset();
    if (failed || Abandoned()) {
      RemoveQuietly(path);
      return false;
    }
    SetTimeAndPermissions(path);
    return true;
  }

  void SetTimeAndPermissions(const std::string& path) noexcept {
    platform::FileSystem& fs = settings_.fs;
    try {
      if (const auto time = ModifiedTimeOf(entry_)) fs.SetModifiedTime(path, *time);
      if (settings_.options.SetAttributes())
        fs.SetPermissions(path, PermissionsOf(entry_, fs.StatLink(path).mode));
    } catch (const std::exception&) {
      // The data is written; a time or permission the system refuses is no failure of it.
    }
  }

  void RemoveQuietly(const std::string& path) noexcept {
    try {
      settings_.fs.Remove(path);
    } catch (const std::exception&) {
      // Nothing more can be done about a file that cannot be removed.
    }
  }

  const TDirItem& entry_;
  const ExtractSettings& settings_;
  const RunProgress& progress_;
  const bool& skip_file_;
  Target target_;
};

}  // namespace

void ExtractEntry(const TDirItem& entry, const std::u16string& name, const std::u16string& dest_dir,
                  const DecodeInto& decode, const ExtractSettings& settings,
                  const RunProgress& progress, const bool& skip_file) {
  Extraction(entry, settings, progress, skip_file).Run(name, dest_dir, decode);
}

}  // namespace parcelon
