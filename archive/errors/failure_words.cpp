#include "archive/errors/failure_words.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <new>
#include <system_error>

#include "archive/errors/error_codes.h"
#include "archive/errors/error_tables.h"
#include "archive/errors/pl_exception.h"
#include "platform/exception.h"
#include "platform/unicode.h"

namespace parcelon {
namespace {

// How the words of a code are made.
enum class Kind {
  kFixed,   // the text alone
  kDetail,  // the text, then the engine's reason in parentheses, if any
  kOpen,    // the text, then why the path named cannot be opened
  kCreate,  // the text, the path named, then why it cannot be made there
  kRemove,  // the text, the path named, then why the folder cannot go
  kRead,    // the text, the path named, then why it cannot be read
  kNamed,   // the text, then the path named
};

struct Words {
  int32_t native_error;
  Kind kind;
  const char* text;
};

constexpr Words kWords[] = {
    {errc::kArchiveNotFound, Kind::kOpen, "cannot open"},
    {errc::kBlankNameOpen, Kind::kFixed, "no archive name given"},
    {errc::kBlankNameOpenMode, Kind::kFixed, "no archive name given"},
    {errc::kNoEndRecord, Kind::kFixed,
     "not a ZIP archive (no end of central directory record found)"},
    {errc::kInvalidArchive, Kind::kFixed,
     "not a ZIP archive (no end of central directory record found)"},
    {errc::kOpenAborted, Kind::kFixed, "not a ZIP archive, or its opening was cancelled"},
    {errc::kDamagedArchive, Kind::kFixed,
     "damaged archive (its entries reach beyond the end of the file)"},
    {errc::kNoZip64EndRecord, Kind::kFixed, "damaged archive (its Zip64 end record is missing)"},
    {errc::kNameListMisaligned, Kind::kFixed, "damaged archive (its entry names disagree)"},
    {errc::kNameListInvalid, Kind::kFixed, "damaged archive (its entry names disagree)"},
    {errc::kCorruptedData, Kind::kDetail,
     "damaged data: the sizes or the CRC-32 do not match, or the compression method is not "
     "supported"},
    {errc::kDeflate64, Kind::kFixed, "compressed with Deflate64, which is not supported"},
    {errc::kReadOnlyArchive, Kind::kFixed, "cannot write: the archive file is read-only"},
    {errc::kCannotCreateOutput, Kind::kCreate, "cannot create"},
    {errc::kCannotCreateFolder, Kind::kCreate, "cannot create folder"},
    {errc::kCannotOpenSource, Kind::kRead, "cannot read"},
    {errc::kCannotDeleteSource, Kind::kCreate, "cannot delete"},
    {errc::kCannotDeleteFolder, Kind::kRemove, "cannot remove folder"},
    {errc::kNameTooLong, Kind::kNamed, "name too long:"},
    {errc::kZip64NeededCompressing, Kind::kFixed, "too large without Zip64 records"},
    {errc::kZip64NeededCommitting, Kind::kFixed, "too large without Zip64 records"},
    {errc::kCompressedSizeMismatch, Kind::kFixed,
     "the file gave fewer bytes than its size (did it change while it was read?)"},
    {errc::kShortWrite, Kind::kFixed, "cannot write: fewer bytes were stored than written"},
    {errc::kDiskFull, Kind::kFixed, "cannot write: No space left on device"},
};

constexpr std::u16string_view kCodeSuffix = u" - Native error: ";

// The message without the native-error suffix.
std::u16string_view Body(std::u16string_view message) {
  const size_t at = message.rfind(kCodeSuffix);
  return at == std::u16string_view::npos ? message : message.substr(0, at);
}

// What stands where the table's message of `native_error` has its %s.
std::string NamedPath(int32_t native_error, std::u16string_view body) {
  const std::u16string_view format =
      ErrorMessageTable[static_cast<size_t>(ErrorCodeOf(native_error))];
  const size_t hole = format.find(u"%s");
  if (hole == std::u16string_view::npos) return {};
  const std::u16string_view before = format.substr(0, hole), after = format.substr(hole + 2);
  const size_t start = body.find(before);
  if (start == std::u16string_view::npos) return {};
  const size_t from = start + before.size();
  const size_t end = after.empty() ? body.size() : body.rfind(after);
  if (end == std::u16string_view::npos || end < from) return {};
  return platform::Utf16ToUtf8(body.substr(from, end - from));
}

// The table's message of `native_error` as it stands in `body`, without
// the component's name before it.
std::u16string_view TableText(int32_t native_error, std::u16string_view body) {
  std::u16string_view text = ErrorMessageTable[static_cast<size_t>(ErrorCodeOf(native_error))];
  text = text.substr(0, text.find(u'%'));
  const size_t at = body.find(text);
  return at == std::u16string_view::npos ? body : body.substr(at);
}

std::string Folder(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// Why `path` cannot be made, changed or removed: what the system says of the
// nearest folder above it that exists.
std::string CreateReason(const std::string& path) {
  std::string folder = Folder(path);
  struct stat info {};
  while (::stat(folder.c_str(), &info) != 0 && errno == ENOENT && folder != "." && folder != "/")
    folder = Folder(folder);
  if (::stat(folder.c_str(), &info) != 0) return SystemReason(errno);
  if (!S_ISDIR(info.st_mode)) return SystemReason(ENOTDIR);
  if (::access(folder.c_str(), W_OK | X_OK) != 0) return SystemReason(errno);
  if (::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) return SystemReason(EISDIR);
  return "reason unknown";
}

// Why `path` cannot be opened or read.
std::string ReadReason(const std::string& path, bool archive) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return SystemReason(errno);
  if (S_ISDIR(info.st_mode)) return archive ? "it is a folder" : SystemReason(EISDIR);
  if (::access(path.c_str(), R_OK) != 0) return SystemReason(errno);
  return "reason unknown";
}

// Why the folder at `path` cannot be removed: what it still holds, else as
// for creating.
std::string RemoveReason(const std::string& path) {
  std::error_code error;
  if (!std::filesystem::is_empty(path, error) && !error) return SystemReason(ENOTEMPTY);
  return CreateReason(path);
}

// The engine's reason in parentheses after the table's message, with the
// blank before it; empty when there is none.
std::string Detail(int32_t native_error, std::u16string_view body) {
  const std::u16string_view text = TableText(native_error, body);
  const size_t open = text.find(u" (");
  return open == std::u16string_view::npos ? "" : platform::Utf16ToUtf8(text.substr(open));
}

std::string Compose(const Words& words, std::u16string_view body, std::string_view subject) {
  const std::string out = words.text;
  const std::string path = NamedPath(words.native_error, body);
  // " PATH", or nothing when the caller names it already.
  const std::string shown = path.empty() || path == subject ? "" : " " + path;
  switch (words.kind) {
    case Kind::kFixed:
      return out;
    case Kind::kDetail:
      return out + Detail(words.native_error, body);
    case Kind::kOpen:
      return out + ": " + ReadReason(path, true);
    case Kind::kCreate:
      return out + shown + ": " + CreateReason(path);
    case Kind::kRemove:
      return out + shown + ": " + RemoveReason(path);
    case Kind::kRead:
      return out + shown + ": " + ReadReason(path, false);
    case Kind::kNamed:
      return out + shown;
  }
  return out;
}

// The words of a stream error of the file layer: what was being done, and
// the system's reason when it gave one.
std::string StreamWords(const platform::EStreamError& failure) {
  const bool opening = dynamic_cast<const platform::EFOpenError*>(&failure) != nullptr;
  const bool creating = dynamic_cast<const platform::EFCreateError*>(&failure) != nullptr;
  if (failure.Errno() == 0) return failure.what();
  const char* doing = opening    ? "cannot open: "
                      : creating ? "cannot write: "
                                 : "cannot read or write: ";
  return doing + SystemReason(failure.Errno());
}

}  // namespace

std::string SystemReason(int errnum) {
  return std::generic_category().message(errnum);
}

std::string FailureWords(int32_t native_error, std::u16string_view message,
                         std::string_view subject) {
  const std::u16string_view body = Body(message);
  for (const Words& words : kWords)
    if (words.native_error == native_error) return Compose(words, body, subject);
  return platform::Utf16ToUtf8(TableText(native_error, body));
}

std::string FailureWords(const std::exception& failure) {
  if (const auto* engine = dynamic_cast<const EPLException*>(&failure))
    return FailureWords(engine->NativeError(), engine->Message(), {});
  if (const auto* stream = dynamic_cast<const platform::EStreamError*>(&failure))
    return StreamWords(*stream);
  if (dynamic_cast<const std::bad_alloc*>(&failure) != nullptr) return "out of memory";
  return failure.what();
}

}  // namespace parcelon
