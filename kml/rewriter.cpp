#include "kml/rewriter.h"

#include <sys/stat.h>

#include <algorithm>
#include <stdexcept>

#include "kml/coordinates.h"
#include "kml/root_element.h"
#include "platform/exception.h"
#include "platform/sequential_file.h"
#include "platform/stream_ref.h"
#include "platform/text_file.h"

namespace kml {

namespace {

// A failure of the rewrite itself (as opposed to one of the file system).
class RewriteError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A root start tag that spans lines is gathered in memory; a document whose
// tag never closes must not make that unbounded.
constexpr size_t kMaxRootTagBytes = size_t{16} << 20;

// Removes the temporary file unless the rewrite committed it.
class TempFileGuard {
 public:
  TempFileGuard(platform::FileSystem& fs, std::string path) : fs_(fs), path_(std::move(path)) {}
  TempFileGuard(const TempFileGuard&) = delete;
  TempFileGuard& operator=(const TempFileGuard&) = delete;
  ~TempFileGuard() {
    if (path_.empty()) return;
    try {
      fs_.Remove(path_);
    } catch (...) {
      // Nothing more can be done; the input itself is intact.
    }
  }
  void Commit() { path_.clear(); }

 private:
  platform::FileSystem& fs_;
  std::string path_;
};

class Rewrite {
 public:
  Rewrite(const std::string& path, const std::string& shown, platform::FileSystem& fs,
          platform::Dialogs& dialogs, Durability durability)
      : path_(path),
        file_name_(shown.empty() ? path : shown),
        fs_(&fs),
        dialogs_(&dialogs),
        durable_(durability == Durability::kDurable) {}
  // A dry run: nothing is written and no message is shown; *dry_run collects
  // what the rewrite would change.
  Rewrite(const std::string& path, const std::string& shown, platform::FileSystem& fs,
          KmlChanges* dry_run)
      : path_(path), file_name_(shown.empty() ? path : shown), fs_(&fs), dry_run_(dry_run) {}
  // A rewrite (dialogs given) or a dry run (dry_run given) of a stream,
  // which messages call `shown`.
  Rewrite(const std::string& shown, platform::Dialogs* dialogs, KmlChanges* dry_run)
      : path_(shown), file_name_(shown), dialogs_(dialogs), dry_run_(dry_run) {}
  void Run();
  // The dry run's reading and cleaning.
  void Analyse();
  // Run and Analyse over streams that the caller owns.
  void RunStreams(platform::Stream& in, platform::Stream& out);
  void AnalyseStream(platform::Stream& in);

 private:
  platform::FileInfo CheckInput(const std::string& path);
  // The rewrite from in_ to out_, and its dry run from in_.
  void Transform();
  void Inspect();
  // Throws RewriteError when a Ctrl-Z stands before more data, which the
  // line rules would drop; Ctrl-Z bytes that end the file are an old
  // end-of-file mark and are dropped.
  void CheckNothingAfterCtrlZ();
  // Copies the lines before the root start tag; leaves the tag's line in
  // line_. Throws RewriteError when the document has no kml root.
  size_t CopyPrologue();

  // The lines that hold the root start tag, from the line where it begins.
  struct RootLines {
    std::string text;   // the lines as read, joined by line feeds
    std::string shown;  // the same lines joined by blanks, for the message
    size_t close;       // position of the tag's '>' in text
  };
  // Reads on until the root start tag that begins at line_[tag_start] ends.
  // Throws RewriteError when the input or the size limit ends first.
  RootLines GatherRootLines(size_t tag_start);
  // Writes the root start tag's lines, mending the tag when it lacks the OGC
  // namespace, and cleans the coordinates that follow the tag on its line.
  void WriteRootLines(size_t tag_start);
  void WriteBody();
  // WriteBody's dry run: notes whether the cleaning changes any line.
  void AnalyseBody();
  // Syncs the folder after the rename; the rewrite has then taken place, and
  // a failure says so.
  void SyncFolderAfterRename(const std::string& folder);
  void WriteProcessed(std::string_view text_before, std::string_view rest);
  // Writes a line unchanged (in a dry run, nothing).
  void WriteUnchanged(std::string_view line);

  const std::string& path_;
  const std::string& file_name_;          // the name that messages give the file
  platform::FileSystem* fs_ = nullptr;    // none for streams
  platform::Dialogs* dialogs_ = nullptr;  // none in a dry run
  KmlChanges* dry_run_ = nullptr;
  bool durable_ = true;  // sync the new file and its folder
  std::unique_ptr<platform::TextReader> in_;
  std::unique_ptr<platform::TextWriter> out_;
  CoordinateLines coordinates_;
  std::string line_;
  std::string processed_;
};

platform::FileInfo Rewrite::CheckInput(const std::string& path) {
  platform::FileInfo info = fs_->Stat(path);
  if (info.exists && info.is_directory) throw RewriteError(file_name_ + " is a folder, not a file");
  if (info.exists && !info.is_regular) throw RewriteError(file_name_ + " is not a regular file");
  if (info.exists && (info.mode & S_IWUSR) == 0 && dry_run_ == nullptr)
    throw RewriteError(file_name_ + " is read-only; file left unchanged");
  return info;
}

void Rewrite::Run() {
  const std::string target = fs_->ResolveLinks(path_);
  platform::FileInfo info = CheckInput(target);
  in_ = std::make_unique<platform::TextReader>(platform::OpenToRead(*fs_, target), target);
  std::string folder = platform::FolderOf(target);
  std::string temp_path;
  auto temp = platform::CreateUniqueToWrite(*fs_, folder.empty() ? "./" : folder, "TempFile.KML",
                                            &temp_path);
  TempFileGuard guard(*fs_, temp_path);
  out_ = std::make_unique<platform::TextWriter>(std::move(temp), temp_path);
  Transform();
  in_.reset();
  // The new file, its permissions included, reaches the disk before it takes
  // the input's name, and the name change before the rewrite reports success.
  out_->SetModeAndOwner(*fs_, info);
  if (durable_) out_->Sync();
  out_->Close();
  fs_->Rename(temp_path, target);
  guard.Commit();
  if (durable_) SyncFolderAfterRename(platform::ContainingFolder(target));
}

void Rewrite::Analyse() {
  const std::string target = fs_->ResolveLinks(path_);
  CheckInput(target);
  in_ = std::make_unique<platform::TextReader>(platform::OpenToRead(*fs_, target), target);
  Inspect();
}

void Rewrite::Transform() {
  WriteRootLines(CopyPrologue());
  WriteBody();
  CheckNothingAfterCtrlZ();
}

void Rewrite::Inspect() {
  WriteRootLines(CopyPrologue());
  AnalyseBody();
  CheckNothingAfterCtrlZ();
}

// A document held in memory needs no buffer larger than itself: small
// documents by the thousand then cost no large buffers each.
size_t BufferSizeFor(platform::Stream& in) {
  const int64_t left = in.Size() - in.Position();
  return static_cast<size_t>(std::clamp<int64_t>(left + 1, 4096, int64_t{1} << 18));
}

void Rewrite::RunStreams(platform::Stream& in, platform::Stream& out) {
  const size_t buffer = BufferSizeFor(in);
  in_ = std::make_unique<platform::TextReader>(std::make_unique<platform::StreamRef>(in),
                                               file_name_, buffer);
  out_ = std::make_unique<platform::TextWriter>(std::make_unique<platform::StreamRef>(out),
                                                file_name_, buffer);
  Transform();
  out_->Close();  // writes out the buffer; `out` stays open
}

void Rewrite::AnalyseStream(platform::Stream& in) {
  in_ = std::make_unique<platform::TextReader>(std::make_unique<platform::StreamRef>(in),
                                               file_name_, BufferSizeFor(in));
  Inspect();
}

void Rewrite::CheckNothingAfterCtrlZ() {
  if (in_->DataAfterCtrlZ())
    throw RewriteError(file_name_ +
                       " holds a Ctrl-Z byte with more data after it, which would be lost; file "
                       "left unchanged");
}

void Rewrite::AnalyseBody() {
  // Once the tuples are known to change, the rest of the file cannot tell more.
  while (!dry_run_->tuples) {
    std::string_view line = in_->NextLine();
    processed_.clear();
    coordinates_.Process(line, &processed_);
    dry_run_->tuples = processed_ != line;
    if (in_->AtEnd()) break;
  }
}

void Rewrite::SyncFolderAfterRename(const std::string& folder) {
  try {
    fs_->SyncFolder(folder);
  } catch (const platform::IoError& failure) {
    throw RewriteError(file_name_ + " was rewritten, but the change may not survive a power cut: " +
                       failure.what());
  }
}

size_t Rewrite::CopyPrologue() {
  RootTagScanner scanner;
  while (!in_->AtEnd()) {
    in_->ReadLine(&line_);
    switch (scanner.Feed(line_)) {
      case RootTagScanner::Result::kKml:
        return scanner.TagStart();
      case RootTagScanner::Result::kOther:
        throw RewriteError("the root element of " + file_name_ +
                           " is not kml; file left unchanged");
      case RootTagScanner::Result::kNeedMore:
        WriteUnchanged(line_);
    }
  }
  throw RewriteError("no kml root element in " + file_name_ + "; file left unchanged");
}

Rewrite::RootLines Rewrite::GatherRootLines(size_t tag_start) {
  RootLines root{line_, line_, 0};
  StartTagEnd tag_end;
  root.close = tag_end.Find(root.text, tag_start + 1);
  while (root.close == std::string::npos) {
    if (in_->AtEnd() || root.text.size() > kMaxRootTagBytes)
      throw RewriteError("the root start tag of " + file_name_ + " does not end");
    in_->ReadLine(&line_);
    size_t from = root.text.size() + 1;
    root.text.append("\n").append(line_);
    root.shown.append(" ").append(line_);
    root.close = tag_end.Find(root.text, from);
  }
  return root;
}

void Rewrite::WriteRootLines(size_t tag_start) {
  RootLines root = GatherRootLines(tag_start);
  std::string_view text = root.text;
  std::string_view tag = text.substr(tag_start, root.close + 1 - tag_start);
  std::string_view after_tag = text.substr(root.close + 1);
  if (tag.find(kOgcKml22Uri) != std::string_view::npos) {
    // Already right: the gathered lines are written as they were read.
    size_t last_break = text.rfind('\n', root.close);
    size_t last_line = last_break == std::string_view::npos ? 0 : last_break + 1;
    for (size_t pos = 0, nl; pos < last_line; pos = nl + 1) {
      nl = text.find('\n', pos);
      WriteUnchanged(text.substr(pos, nl - pos));
    }
    WriteProcessed(text.substr(last_line, root.close + 1 - last_line), after_tag);
    return;
  }
  if (dry_run_ != nullptr)
    dry_run_->namespace_declaration = true;
  else
    dialogs_->ShowMessage("File " + file_name_ + " has an old incompatible namespace definition :" +
                          root.shown + " This has been changed");
  WriteProcessed(std::string(text.substr(0, tag_start)) + MendRootTag(tag), after_tag);
}

void Rewrite::WriteProcessed(std::string_view text_before, std::string_view rest) {
  processed_.assign(text_before);
  coordinates_.Process(rest, &processed_);
  if (dry_run_ == nullptr) return out_->WriteLine(processed_);
  if (std::string_view(processed_).substr(text_before.size()) != rest) dry_run_->tuples = true;
}

void Rewrite::WriteUnchanged(std::string_view line) {
  if (dry_run_ == nullptr) out_->WriteLine(line);
}

void Rewrite::WriteBody() {
  // At least one line follows the root line, even at the end of the input.
  do {
    std::string_view line = in_->NextLine();
    out_->WriteLineInPlace(CoordinateLines::MaxOutput(line.size()),
                           [&](char* dst) { return coordinates_.Process(line, dst); });
  } while (!in_->AtEnd());
}

}  // namespace

RewriteOutcome RewriteKmlFile(const std::string& file_name, platform::FileSystem& fs,
                              platform::Dialogs& dialogs, const std::string& shown_name,
                              Durability durability) {
  try {
    Rewrite(file_name, shown_name, fs, dialogs, durability).Run();
    return {true, {}};
  } catch (const std::exception& e) {
    return {false, e.what()};
  } catch (...) {
    return {false,
            "unexpected failure while rewriting " + (shown_name.empty() ? file_name : shown_name)};
  }
}

RewriteOutcome RewriteKml(platform::Stream& in, platform::Stream& out, platform::Dialogs& dialogs,
                          const std::string& shown) {
  try {
    Rewrite(shown, &dialogs, nullptr).RunStreams(in, out);
    return {true, {}};
  } catch (const std::exception& e) {
    return {false, e.what()};
  } catch (...) {
    return {false, "unexpected failure while rewriting " + shown};
  }
}

KmlAnalysis AnalyseKml(platform::Stream& in, const std::string& shown) {
  KmlAnalysis analysis;
  try {
    Rewrite(shown, nullptr, &analysis.changes).AnalyseStream(in);
    analysis.succeeded = true;
  } catch (const std::exception& e) {
    analysis.problem = e.what();
  } catch (...) {
    analysis.problem = "unexpected failure while reading " + shown;
  }
  return analysis;
}

KmlAnalysis AnalyseKmlFile(const std::string& file_name, platform::FileSystem& fs,
                           const std::string& shown_name) {
  KmlAnalysis analysis;
  try {
    Rewrite(file_name, shown_name, fs, &analysis.changes).Analyse();
    analysis.succeeded = true;
  } catch (const std::exception& e) {
    analysis.problem = e.what();
  } catch (...) {
    analysis.problem =
        "unexpected failure while reading " + (shown_name.empty() ? file_name : shown_name);
  }
  return analysis;
}

}  // namespace kml
