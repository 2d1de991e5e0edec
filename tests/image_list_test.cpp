// The image list against real folders: types and their order, the 1024 cap, odd folders and names.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "slideshow/image_list.h"
#include "slideshow/settings.h"
#include "tests/support/scratch_folder.h"

namespace {

const char kRoot[] = "C:\\lumeta_image_list";

class ImageListTest : public testing::Test {
 protected:
  void SetUp() override {
    RemoveFolder(kRoot);
    ASSERT_TRUE(MakeFolder(Folder()));
    ZeroMemory(&g_imageList, sizeof(g_imageList));
    ZeroMemory(&g_settings, sizeof(g_settings));
    lstrcpynA(g_settings.pass, Folder().c_str(), sizeof(g_settings.pass));
  }
  void TearDown() override { RemoveFolder(kRoot); }

  static std::string Folder() { return std::string(kRoot) + "\\pics"; }

  void Make(const std::vector<std::string> &names) {
    for (const std::string &name : names) ASSERT_TRUE(MakeFile(Folder() + "\\" + name)) << name;
  }
  void MakeNumbered(const char *extension, int how_many) {
    for (int i = 0; i < how_many; ++i) ASSERT_TRUE(MakeFile(Folder() + "\\" + std::to_string(i) + extension));
  }

  void Build(INT32 fMode) {
    g_settings.fMode = fMode;
    BuildImageList();
  }

  std::vector<std::string> Names() {
    std::vector<std::string> names;
    for (INT32 i = 0; i < g_imageList.count; ++i) names.push_back(g_imageList.names[i]);
    return names;
  }

  static std::set<std::string> AsSet(const std::vector<std::string> &names, size_t from, size_t to) {
    return std::set<std::string>(names.begin() + static_cast<std::ptrdiff_t>(from), names.begin() + static_cast<std::ptrdiff_t>(to));
  }
};

TEST_F(ImageListTest, AllTypesComeTypeByTypeInTheOrderJpegBmpGifPng) {
  Make({"b.png", "one.jpg", "x.bmp", "two.jpg", "notes.txt"});
  Build(0);
  std::vector<std::string> names = Names();
  ASSERT_EQ(4u, names.size());
  EXPECT_EQ(std::set<std::string>({"one.jpg", "two.jpg"}), AsSet(names, 0, 2));
  EXPECT_EQ("x.bmp", names[2]);
  EXPECT_EQ("b.png", names[3]);
}

TEST_F(ImageListTest, OneTypeFilterStoresOnlyThatType) {
  Make({"a.jpg", "b.bmp", "c.bmp", "d.bmp", "e.gif", "f.png"});
  struct Row {
    INT32 fMode;
    std::set<std::string> expected;
  } rows[] = {{1, {"a.jpg"}}, {2, {"b.bmp", "c.bmp", "d.bmp"}}, {3, {"e.gif"}}, {4, {"f.png"}}};
  for (const Row &row : rows) {
    Build(row.fMode);
    std::vector<std::string> names = Names();
    EXPECT_EQ(row.expected, AsSet(names, 0, names.size())) << "F-MODE " << row.fMode;
    EXPECT_EQ(row.expected.size(), names.size());
  }
}

TEST_F(ImageListTest, JpegFilterOnAFolderOfBitmapsFindsNothing) {
  Make({"a.bmp", "b.bmp"});
  Build(1);
  EXPECT_EQ(0, g_imageList.count);
}

TEST_F(ImageListTest, EmptyOrMissingFolderGivesNothingForEveryFilter) {
  for (INT32 fMode : {0, 1, 2, 3, 4}) {
    Build(fMode);
    EXPECT_EQ(0, g_imageList.count) << "empty folder, F-MODE " << fMode;
  }
  lstrcpynA(g_settings.pass, (Folder() + "\\missing").c_str(), sizeof(g_settings.pass));
  for (INT32 fMode : {0, 1, 2, 3, 4, 9}) {
    Build(fMode);
    EXPECT_EQ(0, g_imageList.count) << "missing folder, F-MODE " << fMode;
  }
}

TEST_F(ImageListTest, AppendStartsAtTheGivenSlotAndReturnsTheNewCount) {
  Make({"a.bmp", "b.bmp", "c.bmp"});
  lstrcpynA(g_imageList.names[4], "kept.jpg", kImageNameSize);
  EXPECT_EQ(8, AppendImageFiles(2, 5));
  EXPECT_STREQ("kept.jpg", g_imageList.names[4]);
  std::set<std::string> stored = {g_imageList.names[5], g_imageList.names[6], g_imageList.names[7]};
  EXPECT_EQ(std::set<std::string>({"a.bmp", "b.bmp", "c.bmp"}), stored);
  EXPECT_EQ(7, AppendImageFiles(1, 7)) << "no match: the start comes back";
}

TEST_F(ImageListTest, CapOf1024StopsAtOnceAndDropsLaterTypes) {
  MakeNumbered(".jpg", 1030);
  MakeNumbered(".bmp", 5);
  Build(0);
  std::vector<std::string> names = Names();
  ASSERT_EQ(1024u, names.size());
  for (const std::string &name : names) ASSERT_EQ(".jpg", name.substr(name.size() - 4)) << name;
  EXPECT_EQ(1024u, AsSet(names, 0, names.size()).size()) << "no name twice";
}

TEST_F(ImageListTest, CapFilledAcrossTypesKeepsTheFirstNamesOfTheLaterType) {
  MakeNumbered(".jpg", 1000);
  MakeNumbered(".bmp", 100);
  MakeNumbered(".gif", 3);
  MakeNumbered(".png", 3);
  Build(0);
  std::vector<std::string> names = Names();
  ASSERT_EQ(1024u, names.size());
  for (size_t i = 0; i < 1000; ++i) ASSERT_EQ(".jpg", names[i].substr(names[i].size() - 4)) << i;
  for (size_t i = 1000; i < 1024; ++i) ASSERT_EQ(".bmp", names[i].substr(names[i].size() - 4)) << i;
}

TEST_F(ImageListTest, SubfolderNamedLikeAPictureIsStored) {
  ASSERT_TRUE(MakeFolder(Folder() + "\\holiday.jpg"));
  Make({"real.jpg"});
  Build(1);
  std::vector<std::string> names = Names();
  EXPECT_EQ(std::set<std::string>({"holiday.jpg", "real.jpg"}), AsSet(names, 0, names.size()));
}

TEST_F(ImageListTest, EmptyFolderSettingSearchesTheStartDirectory) {
  Make({"here.png"});
  g_settings.pass[0] = '\0';
  lstrcpynA(g_imageList.startDirectory, Folder().c_str(), sizeof(g_imageList.startDirectory));
  Build(4);
  EXPECT_EQ(std::vector<std::string>({"here.png"}), Names());
  EXPECT_STREQ(Folder().c_str(), PictureFolder());
}

TEST_F(ImageListTest, FilterOutsideTheTypesSearchesTheBareFolder) {
  Make({"a.jpg"});
  for (INT32 fMode : {5, -1, 100}) {
    Build(fMode);
    EXPECT_EQ(std::vector<std::string>({"pics"}), Names()) << "F-MODE " << fMode;
  }
  lstrcpynA(g_settings.pass, "C:\\", sizeof(g_settings.pass));
  Build(7);
  EXPECT_EQ(0, g_imageList.count) << "a root has no entry of its own";
}

TEST_F(ImageListTest, FolderEndingInABackslashIsSearchedWithTwoSeparators) {
  Make({"a.jpg", "b.jpg"});
  lstrcpynA(g_settings.pass, (Folder() + "\\").c_str(), sizeof(g_settings.pass));
  Build(1);
  // The platform resolves the doubled separator as the folder itself.
  EXPECT_EQ(2, g_imageList.count);
}

TEST_F(ImageListTest, NameOf255BytesFillsItsSlotToTheFinalNul) {
  std::string name = std::string(251, 'n') + ".jpg";
  Make({name});
  FillMemory(g_imageList.names[0], kImageNameSize, 'x');
  Build(1);
  ASSERT_EQ(1, g_imageList.count);
  EXPECT_EQ(name, std::string(g_imageList.names[0]));
  EXPECT_EQ('\0', g_imageList.names[0][kImageNameSize - 1]);
}

TEST_F(ImageListTest, NameOf256BytesOrMoreIsSkippedWithoutTouchingItsSlot) {
  // The search reports names of up to 259 bytes; the file system here cannot hold them,
  // so the storing step is given them directly.
  char found[MAX_PATH];
  for (size_t length : {256u, 259u}) {
    ZeroMemory(found, sizeof(found));
    FillMemory(found, length, 'n');
    FillMemory(g_imageList.names[3], kImageNameSize, 'x');
    FillMemory(g_imageList.names[4], kImageNameSize, 'y');
    EXPECT_FALSE(StoreImageName(3, found, sizeof(found))) << length;
    EXPECT_EQ('x', g_imageList.names[3][0]);
    EXPECT_EQ('y', g_imageList.names[4][0]) << "nothing written past the slot";
  }
  // A name without a terminator within the search record's buffer is skipped too.
  FillMemory(found, sizeof(found), 'n');
  EXPECT_FALSE(StoreImageName(3, found, sizeof(found)));
  EXPECT_FALSE(StoreImageName(kImageListCapacity, "a.jpg", 6));
  EXPECT_FALSE(StoreImageName(-1, "a.jpg", 6));
  EXPECT_TRUE(StoreImageName(3, "a.jpg", 6));
  EXPECT_STREQ("a.jpg", g_imageList.names[3]);
}

TEST_F(ImageListTest, FolderLongerThan249BytesIsStillSearched) {
  // 252 bytes: the pattern and its terminator run past 256 bytes.
  std::string folder = std::string(kRoot) + "\\" + std::string(200, 'd') + "\\";
  folder += std::string(252 - folder.size(), 'e');
  ASSERT_EQ(252u, folder.size());
  ASSERT_TRUE(MakeFolder(folder));
  ASSERT_TRUE(MakeFile(folder + "\\a.jpg"));
  lstrcpynA(g_settings.pass, folder.c_str(), sizeof(g_settings.pass));
  Build(0);
  EXPECT_EQ(std::vector<std::string>({"a.jpg"}), Names());
}

TEST_F(ImageListTest, FolderOf255BytesIsSearchedWithoutOverrunningThePath) {
  std::string folder = std::string(kRoot) + "\\" + std::string(200, 'd') + "\\";
  folder += std::string(255 - folder.size(), 'e');
  ASSERT_TRUE(MakeFolder(folder));
  ASSERT_TRUE(MakeFile(folder + "\\a.jpg"));
  lstrcpynA(g_settings.pass, folder.c_str(), sizeof(g_settings.pass));
  ASSERT_EQ(255u, strlen(g_settings.pass));
  Build(1);
  // The search path exceeds the platform's MAX_PATH; whatever the platform finds, the list
  // holds only names from that folder.
  ASSERT_LE(g_imageList.count, 1);
  if (g_imageList.count == 1) {
    EXPECT_STREQ("a.jpg", g_imageList.names[0]);
  }
}

}  // namespace
