// The archiver component: settings, opening and closing, sharing, events.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "archive/errors/pl_exception.h"
#include "archive/parcelon.h"
#include "platform/file_stream.h"
#include "platform/iconv_code_pages.h"
#include "platform/memory_stream.h"
#include "platform/scripted_dialogs.h"
#include "platform/unicode.h"
#include "tests/archive/engine_error.h"
#include "tests/faulty_file_system.h"
#include "tests/test_support.h"

namespace parcelon {
namespace {

using testing_support::ReadAll;
using testing_support::ScratchDir;
using testing_support::WriteAll;

std::u16string Wide(const std::string& text) {
  return platform::Utf8ToUtf16(text);
}

using testing_support::CodeOf;

class ArchiverTest : public testing::Test {
 protected:
  platform::ScriptedDialogs dialogs;
  platform::IconvCodePages code_pages;
  TParcelon archiver{nullptr, {&dialogs, &code_pages}};
  ScratchDir dir;
};

TEST_F(ArchiverTest, StartsWithTheComponentDefaults) {
  EXPECT_EQ(archiver.CompressionLevel(), clFastest);
  EXPECT_EQ(archiver.CompressionMode(), 1);
  EXPECT_EQ(archiver.Zip64Mode(), zmDisabled);
  EXPECT_EQ(archiver.CurrentVersion(), u"5.10 ");
  EXPECT_EQ(archiver.NewEntryMethod(), 8);
  EXPECT_EQ(archiver.EncryptionMethod(), caPkzipClassic);
  EXPECT_FALSE(archiver.UnicodeFilenames());
  EXPECT_FALSE(archiver.ExtractCorruptedFiles());
  EXPECT_FALSE(archiver.IsOpen());
  EXPECT_TRUE(archiver.RepairDirectory());
  EXPECT_EQ(archiver.Options().SearchAttr(), 10431);
  EXPECT_EQ(archiver.Options().StorePath(), spRelativePath);
  EXPECT_EQ(archiver.Options().OverwriteMode(), omAlways);
  EXPECT_EQ(archiver.Options().ShareMode(), smShareDenyNone);
  EXPECT_TRUE(archiver.Options().Recurse());
  EXPECT_TRUE(archiver.Options().OEMFileNames());

  TPLBaseArchiver base(nullptr, {&dialogs, &code_pages});
  EXPECT_EQ(base.Zip64Mode(), zmAuto);
  EXPECT_EQ(base.NewEntryMethod(), 0xFFFF);
}

TEST_F(ArchiverTest, CompressionModeAndLevelFollowEachOther) {
  archiver.SetCompressionMode(0);
  EXPECT_EQ(archiver.CompressionLevel(), clNone);
  EXPECT_EQ(archiver.NewEntryMethod(), 0);
  archiver.SetCompressionMode(5);
  EXPECT_EQ(archiver.CompressionLevel(), clNormal);
  EXPECT_EQ(archiver.NewEntryMethod(), 8);
  EXPECT_EQ(CodeOf([&] { archiver.SetCompressionMode(10); }), 5);
  EXPECT_EQ(archiver.CompressionMode(), 5);
  EXPECT_EQ(archiver.CompressionLevel(), clNormal);
  archiver.SetCompressionLevel(clMax);
  EXPECT_EQ(archiver.CompressionMode(), 9);
  archiver.SetCompressionMode(3);
  EXPECT_EQ(archiver.CompressionLevel(), clFastest);
  archiver.SetCurrentVersion(u"9.99");
  EXPECT_EQ(archiver.CurrentVersion(), u"5.10 ");
}

TEST_F(ArchiverTest, OptionsCopyKeepsTheShareMode) {
  TPLOptions other;
  other.SetRecurse(false);
  other.SetShareMode(smShareExclusive);
  other.SetSearchAttr(47);
  archiver.SetOptions(other);
  EXPECT_FALSE(archiver.Options().Recurse());
  EXPECT_EQ(archiver.Options().SearchAttr(), 47);
  EXPECT_EQ(archiver.Options().ShareMode(), smShareDenyNone);
  archiver.SpanningOptions().SetCustomVolumeSize(100);
  EXPECT_EQ(archiver.SpanningOptions().CustomVolumeSize(), 65536);
}

TEST_F(ArchiverTest, MissingArchiveIsNotFoundWithItsName) {
  const std::string path = dir.File("missing.zip");
  archiver.SetName(u"Parcelon1");
  archiver.SetFileName(Wide(path));
  try {
    archiver.OpenArchive(fmOpenReadWrite);
    FAIL() << "opened a missing archive";
  } catch (const EPLException& e) {
    EXPECT_EQ(e.NativeError(), 12);
    EXPECT_EQ(e.Message(),
              u"Parcelon1: File \"" + Wide(path) + u"\" not found - Native error: 00012");
  }
  EXPECT_FALSE(archiver.IsOpen());
  struct stat info {};
  EXPECT_NE(stat(path.c_str(), &info), 0) << "a failed open must not create the file";
}

TEST_F(ArchiverTest, BlankFileNamesAreRefused) {
  EXPECT_EQ(CodeOf([&] { archiver.OpenArchive(); }), 9);
  EXPECT_EQ(CodeOf([&] { archiver.OpenArchive(fmCreate); }), 10);
  archiver.SetFileName(Wide(dir.path() + "/"));
  EXPECT_EQ(CodeOf([&] { archiver.OpenArchive(fmOpenRead); }), 10);
}

TEST_F(ArchiverTest, ANewArchiveClosesAsAnEmptyEndRecord) {
  const std::string path = dir.File("new.zip");
  archiver.SetFileName(Wide(path));
  int opened = 0;
  archiver.AfterOpen = [&](TPLBaseArchiver&) { ++opened; };
  archiver.OpenArchive(fmCreate);
  EXPECT_TRUE(archiver.IsOpen());
  EXPECT_EQ(opened, 1);
  archiver.CloseArchive();
  archiver.CloseArchive();
  const std::string bytes = ReadAll(path);
  ASSERT_EQ(bytes.size(), 22u);
  EXPECT_EQ(bytes.substr(0, 4), std::string("PK\x05\x06", 4));
  EXPECT_EQ(bytes.substr(4), std::string(18, '\0'));

  archiver.OpenArchive(fmOpenRead | fmShareDenyWrite);
  EXPECT_EQ(archiver.DirManager()->Dir().Count(), 0);
  EXPECT_EQ(archiver.DirManager()->StubSize(), 0);
  archiver.CloseArchive();
  EXPECT_EQ(ReadAll(path).size(), 22u);
}

TEST_F(ArchiverTest, OpenWithoutModeChoosesBySharingAndWriteBit) {
  const std::string path = dir.File("a.zip");
  archiver.SetFileName(Wide(path));
  archiver.OpenArchive();  // missing: created
  EXPECT_EQ(archiver.OpenMode(), fmCreate);
  archiver.CloseArchive();
  archiver.OpenArchive();
  EXPECT_EQ(archiver.OpenMode(), fmOpenReadWrite | fmShareDenyWrite);
  archiver.CloseArchive();
  ASSERT_EQ(chmod(path.c_str(), 0444), 0);
  archiver.OpenArchive();
  EXPECT_EQ(archiver.OpenMode(), fmOpenRead | fmShareDenyNone);
  archiver.SetOpen(false);
  EXPECT_FALSE(archiver.IsOpen());
  archiver.SetOpen(true);
  EXPECT_TRUE(archiver.IsOpen());
}

TEST_F(ArchiverTest, ACallersStreamHoldsTheArchiveAndOutlivesIt) {
  platform::MemoryStream stream;
  archiver.OpenArchive(stream, fmCreate);
  EXPECT_TRUE(archiver.ExternalStream());
  archiver.CloseArchive();
  EXPECT_EQ(stream.Size(), 22);
  archiver.OpenArchive(stream, fmOpenRead);
  EXPECT_EQ(archiver.DirManager()->Dir().Count(), 0);
  archiver.CloseArchive();
  EXPECT_FALSE(archiver.ExternalStream());
  EXPECT_EQ(stream.Size(), 22);  // still the caller's, and still open
}

TEST_F(ArchiverTest, FileWorkGoesThroughTheInjectedFileSystem) {
  using namespace testing_support;
  FaultyFileSystem fs;
  TParcelon traced{nullptr, {&dialogs, &code_pages, &fs}};
  const std::string path = dir.File("new.zip");
  traced.SetFileName(Wide(path));
  traced.OpenArchive(fmCreate);
  traced.CloseArchive();
  // A new archive is written beside its name and renamed to it once synced.
  const std::vector<std::string> trace = fs.Trace(kOpAll);
  ASSERT_EQ(trace.size(), 6u);
  const std::string hidden = trace[1].substr(std::string("create ").size());
  EXPECT_EQ(hidden.substr(0, dir.File(".new.zip.new.").size()), dir.File(".new.zip.new."));
  EXPECT_EQ(trace,
            (std::vector<std::string>{
                "list " + dir.path() + "/", "create " + hidden, "write " + hidden, "sync " + hidden,
                "rename " + hidden + " -> " + path, "sync " + dir.path() + "/"}));
  fs.Inject({1, kOpRead});
  EXPECT_THROW(traced.OpenArchive(fmOpenRead | fmShareDenyWrite), platform::EStreamError);
  EXPECT_FALSE(traced.IsOpen());
}

// A hidden file that could not be created is no file of ours: nothing of
// that name is removed afterwards.
TEST_F(ArchiverTest, FailedHiddenFileRemovesNothing) {
  using namespace testing_support;
  FaultyFileSystem fs;
  TParcelon traced{nullptr, {&dialogs, &code_pages, &fs}};
  traced.SetFileName(Wide(dir.File("new.zip")));
  fs.Inject({1, kOpCreate});
  EXPECT_THROW(traced.OpenArchive(fmCreate), platform::EStreamError);
  EXPECT_EQ(fs.Trace(kOpRemove), std::vector<std::string>());
}

TEST_F(ArchiverTest, SpanningModeIsFixedWhileOpen) {
  archiver.SetFileName(Wide(dir.File("s.zip")));
  archiver.OpenArchive(fmCreate);
  EXPECT_THROW(archiver.SetSpanningMode(smSplitting), platform::Exception);
  EXPECT_EQ(archiver.SpanningMode(), smNone);
  archiver.CloseArchive();
  archiver.SetSpanningMode(smSplitting);
  EXPECT_EQ(archiver.SpanningMode(), smSplitting);
}

TEST_F(ArchiverTest, ClosedArchiveRefusesSearches) {
  archiver.SetName(u"Parcelon1");
  TPLArchiveItem item;
  try {
    archiver.FindFirst(u"*", item);
    FAIL();
  } catch (const EPLException& e) {
    EXPECT_EQ(e.Message(), u"Parcelon1: Archive is not open - Native error: 00013");
    EXPECT_EQ(e.ErrorCode(), 7);
  }
  EXPECT_EQ(CodeOf([&] { archiver.CheckNoUpdate(); }, -1), -1);
}

TEST_F(ArchiverTest, InMemoryArchiveIsCreatedOnlyAndReachesItsFile) {
  const std::string path = dir.File("memory.zip");
  WriteAll(path, "");
  archiver.SetFileName(Wide(path));
  archiver.SetInMemory(true);
  EXPECT_EQ(CodeOf([&] { archiver.OpenArchive(fmOpenRead); }), 28);
  archiver.OpenArchive();
  EXPECT_TRUE(archiver.IsOpen());
  // Leaving memory writes the finished archive to the file and reopens it.
  archiver.SetInMemory(false);
  EXPECT_FALSE(archiver.InMemory());
  EXPECT_TRUE(archiver.IsOpen());
  EXPECT_EQ(archiver.DirManager()->Dir().Count(), 0);
  archiver.CloseArchive();
  EXPECT_EQ(ReadAll(path).size(), 22u);
}

TEST_F(ArchiverTest, LeavingMemoryNeedsAFileName) {
  archiver.SetInMemory(true);
  archiver.OpenArchive();
  EXPECT_EQ(CodeOf([&] { archiver.SetInMemory(false); }), 29);
  EXPECT_TRUE(archiver.InMemory());
}

TEST_F(ArchiverTest, ZeroByteArchiveIsInvalid) {
  const std::string path = dir.File("empty.zip");
  WriteAll(path, "");
  archiver.SetFileName(Wide(path));
  EXPECT_EQ(CodeOf([&] { archiver.OpenArchive(fmOpenReadWrite); }), 35);
  EXPECT_FALSE(archiver.IsOpen());
  EXPECT_EQ(ReadAll(path).size(), 0u);
}

TEST_F(ArchiverTest, WritersExcludeEachOtherButPlainReadersDoNot) {
  const std::string path = dir.File("shared.zip");
  archiver.SetFileName(Wide(path));
  archiver.OpenArchive(fmCreate);
  archiver.CloseArchive();
  archiver.OpenArchive(fmOpenReadWrite);

  TParcelon second(nullptr, {&dialogs, &code_pages});
  second.SetFileName(Wide(path));
  EXPECT_THROW(second.OpenArchive(fmOpenReadWrite), platform::EFOpenError);
  EXPECT_THROW(second.OpenArchive(fmOpenRead | fmShareDenyWrite), platform::EFOpenError);
  EXPECT_FALSE(second.IsOpen());
  second.OpenArchive(fmOpenRead | fmShareDenyNone);
  EXPECT_TRUE(second.IsOpen());
  second.CloseArchive();

  archiver.CloseArchive();
  second.OpenArchive(fmOpenRead | fmShareDenyWrite);
  TParcelon third(nullptr, {&dialogs, &code_pages});
  third.SetFileName(Wide(path));
  third.OpenArchive(fmOpenRead | fmShareDenyWrite);  // readers share
  EXPECT_THROW(archiver.OpenArchive(fmOpenReadWrite), platform::EFOpenError);
}

TEST_F(ArchiverTest, FailureDefaultsAskThroughTheDialogs) {
  TPLAction action = fxaRetry;
  archiver.DoProcessFileFailure(u"a.kml", poExtract, 45, 24, u"volume", action);
  EXPECT_EQ(action, fxaAbort);
  EXPECT_TRUE(dialogs.calls().empty());

  dialogs.failure_answers = {platform::FailureAnswer::kIgnore, platform::FailureAnswer::kRetry};
  archiver.DoProcessFileFailure(u"a.kml", poAdd, 61, 36, u"too long", action);
  EXPECT_EQ(action, fxaIgnore);
  archiver.DoProcessFileFailure(u"a.kml", poAdd, 33, 12, u"Cannot open", action);
  EXPECT_EQ(action, fxaRetry);
  ASSERT_EQ(dialogs.calls().size(), 2u);
  EXPECT_EQ(dialogs.calls()[0].kind, "abort-ignore");
  EXPECT_EQ(dialogs.calls()[0].text, "too long");
  EXPECT_EQ(dialogs.calls()[1].kind, "failure");
  EXPECT_EQ(dialogs.calls()[1].text, "Cannot open. File processing error, possibly disk is full");

  int calls = 0;
  archiver.OnProcessFileFailure = [&](TPLBaseArchiver& sender, const std::u16string& name,
                                      TPLProcessOperation op, int32_t native, int32_t code,
                                      const std::u16string&, TPLAction& answer) {
    ++calls;
    EXPECT_EQ(&sender, &archiver);
    EXPECT_EQ(name, u"b.kml");
    EXPECT_EQ(op, poMove);
    EXPECT_EQ(native, 45);
    EXPECT_EQ(code, 24);
    EXPECT_EQ(answer, fxaIgnore);
    answer = fxaRetry;
  };
  archiver.DoProcessFileFailure(u"b.kml", poMove, 45, 24, u"m", action);
  EXPECT_EQ(action, fxaRetry);
  EXPECT_EQ(calls, 1);
}

// An operation reads the options as they stood when it started, except the
// overwrite mode, which a prompt answered "to all" changes for what follows.
TEST_F(ArchiverTest, SettingsSnapshotHoldsTheOptionsAsTheyStood) {
  archiver.SetFileName(u"a.zip");
  archiver.SetPassword("pw");
  archiver.SetCompressionMode(9);
  archiver.SetZip64Mode(zmAlways);
  archiver.SetUnicodeFilenames(true);
  archiver.SetEncryptionMethod(caAES_256);
  archiver.SetRepairDirectory(false);
  archiver.SetInflater(InflaterKind::kZlib);
  archiver.NoCompressionMasks() = {u"*.png"};
  archiver.Options().SetStorePath(spNoPath);
  archiver.Options().SetOEMFileNames(false);
  archiver.Options().SetCreateDirs(false);
  archiver.Options().SetSetAttributes(false);
  const EngineSettings settings = archiver.SettingsNow();
  archiver.SetZip64Mode(zmDisabled);
  archiver.Options().SetCreateDirs(true);
  archiver.Options().SetOverwriteMode(omNever);
  EXPECT_EQ(settings.component, &archiver);
  EXPECT_EQ(settings.archive_name, u"a.zip");
  EXPECT_EQ(settings.password->Text(), "pw");
  EXPECT_EQ(settings.writing.compression_mode, 9);
  EXPECT_EQ(settings.writing.default_method, 8);
  EXPECT_EQ(settings.writing.zip64_mode, zmAlways);
  EXPECT_EQ(settings.writing.encryption_method, caAES_256);
  EXPECT_EQ(settings.writing.no_compression_masks, std::vector<std::u16string>{u"*.png"});
  EXPECT_TRUE(settings.writing.flush_buffers);
  EXPECT_TRUE(settings.names.unicode);
  EXPECT_FALSE(settings.names.oem);
  EXPECT_EQ(settings.names.store_path, spNoPath);
  EXPECT_FALSE(settings.reading.repair_directory);
  EXPECT_EQ(settings.reading.inflater, InflaterKind::kZlib);
  EXPECT_FALSE(settings.files.create_dirs);
  EXPECT_FALSE(settings.files.set_attributes);
  EXPECT_EQ(settings.files.overwrite_mode(), omNever);
  archiver.SetInMemory(true);
  EXPECT_FALSE(archiver.SettingsNow().writing.flush_buffers);  // no file of its own to sync
}

TEST_F(ArchiverTest, OverwriteQuestionCanSettleTheMode) {
  dialogs.confirm_answers = {platform::ConfirmAnswer::kNoToAll, platform::ConfirmAnswer::kYesToAll};
  std::u16string dest = u"/out/a.kml";
  bool confirm = true;
  archiver.DoConfirmOverwrite(u"a.kml", dest, confirm);
  EXPECT_FALSE(confirm);
  EXPECT_EQ(archiver.Options().OverwriteMode(), omNever);
  EXPECT_EQ(dialogs.calls()[0].text, "Overwrite file \"/out/a.kml\" with \"a.kml\"");
  archiver.DoConfirmOverwrite(u"a.kml", dest, confirm);
  EXPECT_TRUE(confirm);
  EXPECT_EQ(archiver.Options().OverwriteMode(), omAlways);
}

TEST_F(ArchiverTest, OtherDefaults) {
  bool flag = true;
  archiver.DoFileProgress(u"a", 50, poExtract, ppProcess, flag);
  EXPECT_FALSE(flag);
  archiver.DoConfirmProcessFile(u"a", poExtract, flag);
  EXPECT_TRUE(flag);
  EXPECT_EQ(CodeOf([&] { archiver.DoDiskFull(0, u"x.zip", flag); }), 65);

  dialogs.password_answers = {std::nullopt, std::string("secret")};
  std::string password;
  bool skip = false;
  archiver.DoPassword(u"dir/a.kml", password, skip);
  EXPECT_TRUE(skip);
  archiver.DoPassword(u"dir/a.kml", password, skip);
  EXPECT_FALSE(skip);
  EXPECT_EQ(password, "secret");
  EXPECT_EQ(dialogs.calls()[0].text, "Password for \"dir/a.kml\"");
}

}  // namespace
}  // namespace parcelon
