// Stored names and disk paths: separators, parts, drive prefixes, and the
// reduction of a hostile name to a path that stays below its folder.
#include "archive/common/entry_path.h"

#include <gtest/gtest.h>

namespace parcelon::paths {
namespace {

TEST(EntryPathTest, PartsOfStoredNames) {
  struct Case {
    std::u16string_view name, file, folder;
  };
  for (const Case& c : {Case{u"a/b\\c.kml", u"c.kml", u"a/b\\"}, Case{u"c.kml", u"c.kml", u""},
                        Case{u"dir/", u"", u"dir/"}, Case{u"a:b", u"a:b", u""}}) {
    EXPECT_EQ(FileNamePart(c.name), c.file);
    EXPECT_EQ(FolderPart(c.name), c.folder);
  }
  EXPECT_EQ(WithSlashes(u"a\\b/c"), u"a/b/c");
  EXPECT_EQ(WithoutTrailingSeparator(u"dir\\"), u"dir");
  EXPECT_EQ(DiskFileName(u"/tmp/x\\y.zip"), u"x\\y.zip");
  EXPECT_EQ(DiskFileName(u"/tmp/"), u"");
}

TEST(EntryPathTest, DrivePrefixes) {
  for (auto [name, length] :
       std::initializer_list<std::pair<std::u16string_view, size_t>>{{u"C:\\x", 2},
                                                                     {u"c:", 2},
                                                                     {u"1:x", 0},
                                                                     {u"\\\\server\\share\\x", 14},
                                                                     {u"//server/share", 14},
                                                                     {u"\\\\server", 0},
                                                                     {u"\\\\\\x", 0},
                                                                     {u"/x", 0}})
    EXPECT_EQ(DrivePrefixLength(name), length) << std::string(name.begin(), name.end());
}

TEST(EntryPathTest, HostileNamesStayBelowTheirFolder) {
  struct Case {
    std::u16string_view name, safe;
  };
  const std::u16string with_nul(u"ok.kml\0../../x", 14);
  for (const Case& c :
       {Case{u"a/b.kml", u"a/b.kml"}, Case{u"/etc/passwd", u"etc/passwd"}, Case{u"../../x", u"x"},
        Case{u"a/../../b", u"a/b"}, Case{u"..\\..\\win.ini", u"win.ini"},
        Case{u"C:\\Windows\\x", u"Windows/x"}, Case{u"C:x", u"x"}, Case{u"\\\\srv\\share\\x", u"x"},
        Case{u"./a//b/./", u"a/b/"}, Case{u"..", u""}, Case{u"/", u""}, Case{with_nul, u"ok.kml"}})
    EXPECT_EQ(SafeRelativePath(c.name), c.safe) << std::string(c.name.begin(), c.name.end());
}

}  // namespace
}  // namespace parcelon::paths
