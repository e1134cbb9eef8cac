// The scratch folder of a KMZ repair: private to its owner, and gone with
// everything in it when the object goes.
#include "app/scratch_folder.h"

#include <sys/stat.h>

#include <filesystem>

#include <gtest/gtest.h>

#include "tests/test_support.h"

namespace kmlcompat {
namespace {

TEST(ScratchFolder, IsPrivateAndRemovedWithItsContents) {
  std::string path;
  {
    const ScratchFolder scratch;
    path = scratch.Path();
    struct stat st {};
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0700u);
    std::filesystem::create_directories(path + "/0/docs");
    testing_support::WriteAll(path + "/0/docs/a.kml", "plain text");
  }
  EXPECT_FALSE(std::filesystem::exists(path));
}

}  // namespace
}  // namespace kmlcompat
