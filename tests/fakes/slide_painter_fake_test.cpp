// The painter against a recording imgctl.dll: call order, placement, path, index and random order.
#include <gtest/gtest.h>
#include <string.h>

#include <string>
#include <vector>

#include "slideshow/image_list.h"
#include "slideshow/random.h"
#include "slideshow/settings.h"
#include "slideshow/slide_painter.h"
#include "slideshow/slide_run.h"
#include "tests/fakes/fake_imgctl.h"
#include "tests/support/memory_canvas.h"
#include "tests/support/random_mirror.h"

namespace {

const int kDcWidth = 1024;
const int kDcHeight = 768;
const DWORD kTextPixel = 0x00FF007F;  // RGB(255, 0, 127) as a 32-bit DIB pixel

class PainterTest : public testing::Test {
 protected:
  void SetUp() override {
    fake = FindFakeImgControls();
    ASSERT_TRUE(fake.reset && fake.scriptLoad && fake.callCount && fake.getCall) << "the recording imgctl.dll is not loaded";
    fake.reset();
    ZeroMemory(&g_settings, sizeof(g_settings));
    lstrcpynA(g_settings.str, "Maro-Works", sizeof(g_settings.str));
    g_settings.size = 100;
    g_settings.font.lfHeight = -48;
    g_settings.font.lfWeight = FW_BOLD;
    g_settings.font.lfCharSet = SHIFTJIS_CHARSET;
    g_settings.font.lfQuality = NONANTIALIASED_QUALITY;
    lstrcpynA(g_settings.font.lfFaceName, "\x82\x6C\x82\x72\x20\x96\xBE\x92\xA9", sizeof(g_settings.font.lfFaceName));
    // Colour components beyond 8 bits: only the low 8 bits count.
    g_settings.colorR = 0x1FF;
    g_settings.colorG = 0x100;
    g_settings.colorB = 0x17F;
    ZeroMemory(&g_imageList, sizeof(g_imageList));
    lstrcpynA(g_settings.pass, "C:\\pics", sizeof(g_settings.pass));
    ZeroMemory(&g_slide, sizeof(g_slide));
    g_slide.screenWidth = kDcWidth;
    g_slide.screenHeight = kDcHeight;

    ASSERT_TRUE(OpenCanvas(&canvas, kDcWidth, kDcHeight));
    dc = canvas.dc;
    pixels = canvas.pixels;
  }

  void TearDown() override { CloseCanvas(&canvas); }

  void SetPictures(std::initializer_list<const char *> names) {
    for (const char *name : names) lstrcpynA(g_imageList.names[g_imageList.count++], name, kImageNameSize);
  }

  void Paint() { PaintSlide(NULL, dc, NULL); }

  std::vector<FakeImgCall> Calls() {
    std::vector<FakeImgCall> calls(static_cast<size_t>(fake.callCount()));
    for (size_t i = 0; i < calls.size(); ++i) fake.getCall(static_cast<int>(i), &calls[i]);
    return calls;
  }

  std::vector<int> Ordinals() {
    std::vector<int> ordinals;
    for (const FakeImgCall &call : Calls()) ordinals.push_back(call.ordinal);
    return ordinals;
  }

  std::vector<std::string> LoadedPaths() {
    std::vector<std::string> paths;
    for (const FakeImgCall &call : Calls())
      if (call.ordinal == 4) paths.push_back(call.path);
    return paths;
  }

  FakeImgCall Only(int ordinal) {
    FakeImgCall found;
    ZeroMemory(&found, sizeof(found));
    int seen = 0;
    for (const FakeImgCall &call : Calls())
      if (call.ordinal == ordinal) found = call, ++seen;
    EXPECT_EQ(1, seen) << "calls of ordinal " << ordinal;
    return found;
  }

  int CountPixels(DWORD value, int left = 0, int top = 0, int right = kDcWidth, int bottom = kDcHeight) {
    int count = 0;
    for (int y = top; y < bottom; ++y)
      for (int x = left; x < right; ++x) count += pixels[y * kDcWidth + x] == value;
    return count;
  }

  SIZE TextExtent() {
    HFONT font = CreateFontIndirectA(&g_settings.font);
    HGDIOBJ old = SelectObject(dc, font);
    SIZE extent = {0, 0};
    GetTextExtentPoint32A(dc, g_settings.str, lstrlenA(g_settings.str), &extent);
    SelectObject(dc, old);
    DeleteObject(font);
    return extent;
  }

  FakeImgControls fake;
  MemoryCanvas canvas = {};
  HDC dc = NULL;
  DWORD *pixels = NULL;
};

const std::vector<int> kAllSixCalls = {4, 16, 6, 47, 45, 5};

TEST_F(PainterTest, CallsTheSixOrdinalsInOrderWithTheirArguments) {
  SetPictures({"a.jpg"});
  g_settings.gMode = 4;
  fake.scriptLoad(77, 400, 200, RGB(0, 0, 255));
  Paint();
  ASSERT_EQ(kAllSixCalls, Ordinals());
  std::vector<FakeImgCall> calls = Calls();
  EXPECT_STREQ("C:\\pics\\a.jpg", calls[0].path);
  for (const FakeImgCall &call : calls) EXPECT_EQ(77u, call.picture) << "ordinal " << call.ordinal;
  EXPECT_EQ(1024, calls[3].args[0]);
  EXPECT_EQ(512, calls[3].args[1]);
  EXPECT_EQ(dc, calls[4].dc);
  EXPECT_EQ(static_cast<DWORD>(SRCCOPY), calls[4].rasterOp);
  EXPECT_EQ(1, calls[4].flag);
  const INT32 draw[8] = {0, 128, 1024, 512, 0, 0, 1024, 512};
  for (int i = 0; i < 8; ++i) EXPECT_EQ(draw[i], calls[4].args[i]) << "draw argument " << i;
}

struct PaintedPlacement {
  const char *name;
  INT32 W, H, mode, size, w, h;
  BOOL resize;
  INT32 scaledWidth, scaledHeight;
  INT32 draw[8];  // dest x, y, w, h, source x, y, w, h; mode 5: x and y are the random range
};

class PainterPlacementTest : public PainterTest, public testing::WithParamInterface<PaintedPlacement> {};

TEST_P(PainterPlacementTest, DrawsWhereTheModePutsThePicture) {
  const PaintedPlacement &row = GetParam();
  SetPictures({"p.png"});
  g_slide.screenWidth = row.W;
  g_slide.screenHeight = row.H;
  g_settings.gMode = row.mode;
  g_settings.size = row.size;
  fake.scriptLoad(5, row.w, row.h, RGB(0, 0, 255));
  RandomMirror mirror = SyncRandomMirror();
  Paint();
  std::vector<int> expected = {4, 16, 6, 45, 5};
  if (row.resize) expected = kAllSixCalls;
  ASSERT_EQ(expected, Ordinals());
  if (row.resize) {
    FakeImgCall resize = Only(47);
    EXPECT_EQ(row.scaledWidth, resize.args[0]);
    EXPECT_EQ(row.scaledHeight, resize.args[1]);
  }
  FakeImgCall draw = Only(45);
  INT32 want[8];
  CopyMemory(want, row.draw, sizeof(want));
  if (row.mode == 5) {
    want[0] = mirror.Next() % row.draw[0];
    want[1] = mirror.Next() % row.draw[1];
  }
  for (int i = 0; i < 8; ++i) EXPECT_EQ(want[i], draw.args[i]) << "draw argument " << i;
}

INSTANTIATE_TEST_SUITE_P(
    Examples, PainterPlacementTest,
    testing::Values(
        PaintedPlacement{"TopLeft", 1024, 768, 1, 100, 1280, 700, FALSE, 0, 0, {0, 0, 1024, 700, 0, 0, 1024, 700}},
        PaintedPlacement{"CentredOnePixelWider", 1024, 768, 2, 100, 1025, 600, FALSE, 0, 0, {0, 84, 1024, 600, 0, 0, 1024, 600}},
        PaintedPlacement{"Fill1280x720", 1280, 720, 3, 100, 800, 600, TRUE, 1280, 960, {0, 0, 1280, 720, 0, 120, 1280, 720}},
        PaintedPlacement{"Fit1280x720", 1280, 720, 4, 100, 800, 600, TRUE, 960, 720, {160, 0, 960, 720, 0, 0, 960, 720}},
        PaintedPlacement{"RandomShrunk", 1024, 768, 5, 100, 800, 600, TRUE, 133, 100, {1024 - 133, 768 - 100, 133, 100, 0, 0, 133, 100}},
        PaintedPlacement{"RandomNarrowKept", 1024, 768, 5, 100, 80, 600, TRUE, 80, 600, {1024 - 80, 768 - 600, 80, 600, 0, 0, 80, 600}},
        PaintedPlacement{"RandomSmallKept", 1024, 768, 5, 100, 80, 60, TRUE, 80, 60, {1024 - 80, 768 - 60, 80, 60, 0, 0, 80, 60}}),
    [](const testing::TestParamInfo<PaintedPlacement> &info) { return std::string(info.param.name); });

TEST_F(PainterTest, BuildsThePathFromTheFolderOrTheStartDirectory) {
  SetPictures({"a.jpg"});
  g_settings.gMode = 1;
  lstrcpynA(g_imageList.startDirectory, "C:\\start", sizeof(g_imageList.startDirectory));
  Paint();
  g_settings.pass[0] = '\0';  // empty folder: the start directory
  Paint();
  lstrcpynA(g_settings.pass, "D:\\", sizeof(g_settings.pass));  // a drive's root: two separators
  Paint();
  std::vector<std::string> expected = {"C:\\pics\\a.jpg", "C:\\start\\a.jpg", "D:\\\\a.jpg"};
  EXPECT_EQ(expected, LoadedPaths());
}

TEST_F(PainterTest, LongestFolderAndNameFillThePathBufferExactly) {
  std::string folder = "C:\\" + std::string(252, 'f');  // 255 bytes
  std::string name = std::string(251, 'n') + ".jpg";  // 255 bytes
  lstrcpynA(g_settings.pass, folder.c_str(), sizeof(g_settings.pass));
  SetPictures({name.c_str()});
  char path[kPicturePathSize];
  FillMemory(path, sizeof(path), 'x');
  BuildPicturePath(path, sizeof(path));
  EXPECT_EQ(folder + "\\" + name, std::string(path));
  EXPECT_EQ('\0', path[sizeof(path) - 1]);
}

TEST_F(PainterTest, IndexAdvancesThroughTheListAndWraps) {
  SetPictures({"0.jpg", "1.bmp", "2.png"});
  g_settings.gMode = 1;
  for (int i = 0; i < 5; ++i) Paint();
  std::vector<std::string> expected = {"C:\\pics\\0.jpg", "C:\\pics\\1.bmp", "C:\\pics\\2.png", "C:\\pics\\0.jpg",
                                       "C:\\pics\\1.bmp"};
  EXPECT_EQ(expected, LoadedPaths());
  EXPECT_EQ(2, g_slide.pictureIndex);
}

TEST_F(PainterTest, PictureThatFailsToLoadIsPassedOverWithoutRandomDraws) {
  SetPictures({"good.jpg", "bad.jpg", "next.jpg"});
  g_settings.gMode = 5;
  g_settings.sMode = 2;
  g_slide.textX = 100;
  g_slide.textY = 100;
  fake.scriptLoad(1, 50, 50, RGB(0, 0, 255));
  fake.scriptLoad(0, 0, 0, 0);  // bad.jpg does not load
  fake.scriptLoad(3, 50, 50, RGB(0, 0, 255));
  RandomMirror mirror = SyncRandomMirror();
  Paint();
  fake.reset();
  fake.scriptLoad(0, 0, 0, 0);
  fake.scriptLoad(3, 50, 50, RGB(0, 0, 255));
  INT32 textXBefore = g_slide.textX;
  Paint();
  EXPECT_EQ(std::vector<int>{4}, Ordinals()) << "nothing but the load for a picture that does not load";
  EXPECT_NE(textXBefore, g_slide.textX) << "the text line still moves";
  EXPECT_EQ(2, g_slide.pictureIndex) << "the next paint tries the next file";
  Paint();
  EXPECT_EQ(std::vector<std::string>({"C:\\pics\\bad.jpg", "C:\\pics\\next.jpg"}), LoadedPaths());
  EXPECT_EQ(0, g_slide.pictureIndex);
  // Two paints that drew a picture in mode 5 made two random draws each; the failed one none.
  for (int i = 0; i < 4; ++i) mirror.Next();
  EXPECT_EQ(mirror.Next(), NextRandom());
}

TEST_F(PainterTest, LastPictureFailingWrapsToTheFirst) {
  SetPictures({"a.jpg", "b.jpg"});
  g_settings.gMode = 1;
  g_slide.pictureIndex = 1;
  fake.scriptLoad(0, 0, 0, 0);
  Paint();
  EXPECT_EQ(0, g_slide.pictureIndex);
}

TEST_F(PainterTest, EmptyListOrPictureModeOffCallsNothing) {
  g_settings.gMode = 1;
  Paint();
  EXPECT_EQ(0, fake.callCount());
  EXPECT_EQ(0, g_slide.pictureIndex);
  SetPictures({"a.jpg", "b.jpg"});
  g_settings.gMode = 0;
  Paint();
  Paint();
  EXPECT_EQ(0, fake.callCount());
  EXPECT_EQ(0, g_slide.pictureIndex);
}

TEST_F(PainterTest, ModeWithoutPlacementLoadsQueriesFreesAndAdvances) {
  SetPictures({"a.jpg", "b.jpg"});
  for (INT32 mode : {6, -1}) {
    fake.reset();
    g_settings.gMode = mode;
    Paint();
    EXPECT_EQ(std::vector<int>({4, 16, 6, 5}), Ordinals()) << mode;
  }
  EXPECT_EQ(0, g_slide.pictureIndex);
  EXPECT_EQ(0, CountPixels(0x000000FF)) << "nothing drawn";
}

TEST_F(PainterTest, PictureWithoutAreaIsFreedUndrawnWithoutRandomDraws) {
  SetPictures({"a.jpg"});
  g_settings.gMode = 5;
  fake.scriptLoad(9, 0, 480, RGB(0, 0, 255));
  RandomMirror mirror = SyncRandomMirror();
  Paint();
  EXPECT_EQ(std::vector<int>({4, 16, 6, 5}), Ordinals());
  EXPECT_EQ(mirror.Next(), NextRandom());
}

TEST_F(PainterTest, RandomDrawsComeInTheOrderTextXTextYPictureXPictureY) {
  SetPictures({"a.jpg"});
  g_settings.sMode = 1;
  g_settings.gMode = 5;
  // Ranges above 32767 make each position the drawn value itself.
  g_slide.screenWidth = 40000;
  g_slide.screenHeight = 40000;
  RandomMirror mirror = SyncRandomMirror();
  Paint();
  FakeImgCall draw = Only(45);
  EXPECT_EQ(mirror.Next(), g_slide.textX);
  EXPECT_EQ(mirror.Next(), g_slide.textY);
  EXPECT_EQ(mirror.Next(), draw.args[0]);
  EXPECT_EQ(mirror.Next(), draw.args[1]);
  EXPECT_EQ(mirror.Next(), NextRandom()) << "four draws, no more";
}

TEST_F(PainterTest, RandomTextWiderThanTheScreenRunsOffTheRightEdge) {
  g_settings.sMode = 1;
  SIZE extent = TextExtent();
  ASSERT_GT(extent.cx, 100);
  g_slide.screenWidth = 100;
  RandomMirror mirror = SyncRandomMirror();
  for (int i = 0; i < 20; ++i) {
    Paint();
    INT32 x = mirror.Next() % (100 - extent.cx);
    mirror.Next();
    EXPECT_EQ(x, g_slide.textX);
    EXPECT_GE(g_slide.textX, 0);
    EXPECT_LE(g_slide.textX, extent.cx - 100 - 1);
  }
}

TEST_F(PainterTest, RandomTextExactlyAsWideAsTheScreenStartsAtTheLeftEdge) {
  g_settings.sMode = 1;
  SIZE extent = TextExtent();
  g_slide.screenWidth = extent.cx;
  g_slide.screenHeight = extent.cy;
  RandomMirror mirror = SyncRandomMirror();
  Paint();
  EXPECT_EQ(0, g_slide.textX);
  EXPECT_EQ(0, g_slide.textY);
  mirror.Next();
  mirror.Next();
  EXPECT_EQ(mirror.Next(), NextRandom()) << "both draws are still made";
}

TEST_F(PainterTest, PingPongStepsByTheTextHeightAndTurnsAtTheLimits) {
  g_settings.sMode = 2;
  SIZE extent = TextExtent();
  ASSERT_GT(extent.cy, 0);
  g_slide.textX = 200;
  g_slide.textY = 100;
  // Put the right limit just below the first step, so the horizontal direction turns.
  g_slide.screenWidth = 200 + extent.cy - 1 + 2 * extent.cx;
  Paint();
  EXPECT_EQ(200 + extent.cy, g_slide.textX);
  EXPECT_EQ(100 + extent.cy, g_slide.textY);
  EXPECT_EQ(1, g_slide.textMovingLeft);
  EXPECT_EQ(0, g_slide.textMovingUp);
  Paint();
  EXPECT_EQ(200, g_slide.textX);
  EXPECT_EQ(100 + 2 * extent.cy, g_slide.textY);
}

TEST_F(PainterTest, TextDrawsInTheLow8BitsOfTheColourAndLeavesTheSystemFontSelected) {
  g_settings.sMode = 3;  // neither random nor ping-pong: the start point, never moved
  g_slide.textX = 30;
  g_slide.textY = 40;
  Paint();
  Paint();
  EXPECT_EQ(30, g_slide.textX);
  EXPECT_EQ(40, g_slide.textY);
  SIZE extent = TextExtent();
  EXPECT_GT(CountPixels(kTextPixel, 30, 40, 30 + extent.cx, 40 + extent.cy), 50);
  EXPECT_EQ(0, CountPixels(kTextPixel, 30 + extent.cx, 0, kDcWidth, kDcHeight));
  EXPECT_EQ(GetStockObject(SYSTEM_FONT), GetCurrentObject(dc, OBJ_FONT));
  EXPECT_EQ(TRANSPARENT, GetBkMode(dc));
}

TEST_F(PainterTest, TextComesFirstAndThePictureCoversIt) {
  g_settings.sMode = 3;
  g_slide.textX = 30;
  g_slide.textY = 40;
  SetPictures({"a.jpg"});
  g_settings.gMode = 1;
  fake.scriptLoad(1, 1024, 768, RGB(0, 0, 255));
  Paint();
  EXPECT_EQ(0, CountPixels(kTextPixel)) << "the picture hides the text drawn before it";
  EXPECT_EQ(kDcWidth * kDcHeight, CountPixels(0x000000FF));
  // A picture beside the text leaves it visible.
  fake.scriptLoad(2, 20, 20, RGB(0, 255, 0));
  Paint();
  EXPECT_GT(CountPixels(kTextPixel), 50);
  EXPECT_EQ(400, CountPixels(0x0000FF00, 0, 0, 20, 20));
}

TEST_F(PainterTest, EmptyTextDrawsNothingAndDrawsNoRandomValues) {
  g_settings.str[0] = '\0';
  g_settings.sMode = 1;
  g_slide.textX = 12;
  g_slide.textY = 34;
  RandomMirror mirror = SyncRandomMirror();
  Paint();
  EXPECT_EQ(12, g_slide.textX);
  EXPECT_EQ(34, g_slide.textY);
  EXPECT_EQ(mirror.Next(), NextRandom());
  EXPECT_EQ(0, CountPixels(kTextPixel));
}

}  // namespace
