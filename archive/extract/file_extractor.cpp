#include "archive/extract/file_extractor.h"

#include <sys/stat.h>

#include <memory>
#include <optional>
#include <random>

#include "archive/common/entry_path.h"
#include "archive/errors/pl_exception.h"
#include "archive/extract/entry_metadata.h"
#include "archive/extract/extracted_files.h"
#include "archive/format/overwrite_rule.h"
#include "platform/exception.h"
#include "platform/unicode.h"

namespace parcelon {
namespace {

using platform::Utf16ToUtf8;
using platform::Utf8ToUtf16;

using Target = ExtractTarget;

class Extraction {
 public:
  Extraction(const TDirItem& entry, const ExtractContext& context, const RunProgress& progress,
             const bool& skip_file)
      : entry_(entry), c_(context), progress_(progress), skip_file_(skip_file) {}

  void Run(std::u16string name, const std::u16string& dest_dir, const DecodeInto& decode) {
    uint32_t attributes = entry_.ExternalAttributes;
    const std::u16string stored = name;
    c_.events.ExtractFile(name, attributes, std::string(entry_.Comment()));
    target_ = TargetOf(name, name != stored, dest_dir);
    MakeFolders();
    if ((attributes & faDirectory) != 0 ||
        paths::IsSeparator(stored.empty() ? u'x' : stored.back()))
      return;
    if (c_.files.Waiting(target_)) c_.files.Commit();  // the rules see it
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
    if (!c_.settings.files.create_dirs) relative = paths::FileNamePart(relative);
    target.relative = Utf16ToUtf8(relative);
    return target;
  }

  // The destination and the entry's folders below it, synced by the run's
  // commit; error 20 when that fails.
  void MakeFolders() {
    platform::FileSystem& fs = c_.fs;
    const std::string folder =
        target_.Chosen()
            ? platform::FolderOf(target_.chosen)
            : std::string(Utf16ToUtf8(paths::FolderPart(Utf8ToUtf16(target_.relative))));
    c_.files.FoldersBelow(target_.Chosen() ? folder : target_.root);
    try {
      if (target_.Chosen()) {
        if (!folder.empty() && !fs.CreateFolders(folder)) throw platform::IoError("", 0);
        return;
      }
      if (!fs.CreateFolders(target_.root)) throw platform::IoError("", 0);
      if (c_.settings.files.create_dirs && !folder.empty())
        fs.MakeFoldersBelow(target_.root, folder);
    } catch (const platform::IoError&) {
      throw EPLException::CreateFmt(
          errc::kCannotCreateFolder,
          {Utf8ToUtf16(target_.Chosen() ? folder
                                        : std::string(target_.root).append("/").append(folder))},
          c_.settings.component);
    }
  }

  // The overwrite rules for an existing target.
  bool MayWrite(const std::u16string& name) {
    const platform::FileInfo existing = c_.fs.StatLink(target_.Path());
    if (!existing.exists) return true;
    const EngineSettings::Files& files = c_.settings.files;
    if (!files.replace_read_only && existing.is_regular && (existing.mode & S_IWUSR) == 0)
      return false;
    return MayOverwrite(files.overwrite_mode(), DosDateTime{entry_.FileDate, entry_.FileTime},
                        FileDosDateTime(existing), [&] { return Confirm(name); });
  }

  bool Confirm(const std::u16string& name) {
    std::u16string path = Utf8ToUtf16(target_.Path());
    const std::u16string asked = path;
    if (!c_.events.ConfirmOverwrite(name, path)) return false;
    if (path != asked) target_.chosen = Utf16ToUtf8(path);  // the handler's own choice
    return true;
  }

  // The data goes into a new hidden file beside the target, which gets the
  // entry's time and permissions on its descriptor and then waits for the
  // run's commit (ExtractedFiles) to take the target's name once it is
  // durable. So a damaged entry, a cancel or a crash leaves the target as
  // it was. A folder in the target's place is not replaced: error 19.
  void WriteFile(const DecodeInto& decode) {
    if (c_.fs.StatLink(target_.Path()).is_directory) throw CannotCreate();
    Target part;
    std::unique_ptr<platform::Stream> file = CreatePart(&part);
    try {
      decode(*file);
    } catch (...) {
      file.reset();
      c_.files.RemoveQuietly(part);
      throw;
    }
    if (Abandoned()) {
      file.reset();
      return c_.files.RemoveQuietly(part);
    }
    const auto owner = SetTimeAndPermissions(*file);
    file.reset();
    if (owner) c_.files.RemoveStaleParts(target_, *owner, part.FileName());
    c_.files.Add(part, target_);
  }

  bool Abandoned() const { return progress_.cancel || skip_file_; }

  // The file created anew; error 19 (naming the target) when that fails.
  std::unique_ptr<platform::Stream> Create(const Target& file) {
    platform::FileSystem& fs = c_.fs;
    try {
      if (!file.Chosen()) return fs.CreateFileBelow(file.root, file.relative);
      return fs.OpenStream(file.chosen, platform::fmCreate);
    } catch (const platform::EStreamError&) {
      throw CannotCreate();
    }
  }

  // A new hidden file beside the target, of a name nothing bears, created
  // as the target itself would be; error 19 when that fails.
  std::unique_ptr<platform::Stream> CreatePart(Target* part) {
    std::random_device random;
    do *part = PartOf(target_, random());
    while (c_.fs.StatLink(part->Path()).exists);
    return Create(*part);
  }

  EPLException CannotCreate() const {
    return EPLException::CreateFmt(errc::kCannotCreateOutput, {Utf8ToUtf16(target_.Path())},
                                   c_.settings.component);
  }

  // Gives the open file the entry's time and, with SetAttributes, its
  // permissions, on the descriptor (a name swapped meanwhile cannot turn
  // them onto another file). Returns the file's owner, when known.
  std::optional<uid_t> SetTimeAndPermissions(platform::Stream& file) noexcept {
    platform::FileSystem& fs = c_.fs;
    try {
      const platform::FileInfo info = fs.StatOpen(file);
      if (const auto time = ModifiedTimeOf(entry_)) fs.SetModifiedTimeOpen(file, *time);
      if (c_.settings.files.set_attributes)
        fs.SetPermissionsOpen(file, PermissionsOf(entry_, info.mode));
      return info.uid;
    } catch (const platform::IoError&) {
      // The data is written; a time or permission the system refuses is no failure of it.
      return std::nullopt;
    }
  }

  const TDirItem& entry_;
  const ExtractContext& c_;
  const RunProgress& progress_;
  const bool& skip_file_;
  Target target_;
};

}  // namespace

void ExtractEntry(const TDirItem& entry, const std::u16string& name, const std::u16string& dest_dir,
                  const DecodeInto& decode, const ExtractContext& context,
                  const RunProgress& progress, const bool& skip_file) {
  Extraction(entry, context, progress, skip_file).Run(name, dest_dir, decode);
}

}  // namespace parcelon
