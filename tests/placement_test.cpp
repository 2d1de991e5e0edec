// Placement arithmetic: random ranges, the ping-pong step and the picture-mode table.
#include <gtest/gtest.h>

#include <climits>

#include "slideshow/placement.h"

namespace {

// A scripted random source: returns the values of g_script in turn and counts the calls.
int g_script[4];
int g_calls;
int ScriptedRandom() { return g_script[g_calls++ % 4]; }

PicturePlacement Place(INT32 mode, INT32 W, INT32 H, INT32 w, INT32 h, INT32 size = 100, int randomX = 0,
                       int randomY = 0) {
  g_script[0] = randomX;
  g_script[1] = randomY;
  g_calls = 0;
  return PlacePicture(mode, W, H, w, h, size, ScriptedRandom);
}

}  // namespace

TEST(RemainderOrZeroTest, TruncatesTowardZeroAndMapsAnEmptyRangeToZero) {
  struct Row {
    INT32 value;
    INT64 divisor;
    INT32 expected;
  } rows[] = {
      {41, 512, 41}, {18467, 512, 35}, {6334, 384, 190}, {32767, 1, 0},
      {100, -30, 10},    // a negative range: 0 .. |divisor| - 1
      {5, -300, 5},      {100, 0, 0},  // empty range
      {32767, 5000000000LL, 32767},
  };
  for (const Row &row : rows) EXPECT_EQ(row.expected, RemainderOrZero(row.value, row.divisor)) << row.value << " mod " << row.divisor;
}

TEST(StepPingPongTest, BouncesAsInTheWorkedExample) {
  // W 1024, cx 300, cy 40, from x 400 moving right.
  INT32 x = 400, left = 0;
  const INT32 expected[] = {440, 400, 360, 320, 280, 320, 360};
  const INT32 flagsAfter[] = {1, 1, 1, 1, 0, 0, 0};
  for (int i = 0; i < 7; ++i) {
    StepPingPong(&x, &left, 40, 300, 1024);
    EXPECT_EQ(expected[i], x) << "paint " << i;
    EXPECT_EQ(flagsAfter[i], left) << "paint " << i;
  }
}

TEST(StepPingPongTest, LimitsAreStrictOnBothSides) {
  // Landing exactly on a limit does not turn.
  INT32 y = 608, up = 0;  // H 768, cy 40: limit 768 - 80 = 688
  StepPingPong(&y, &up, 40, 40, 768);
  StepPingPong(&y, &up, 40, 40, 768);
  EXPECT_EQ(688, y);
  EXPECT_EQ(0, up);
  StepPingPong(&y, &up, 40, 40, 768);
  EXPECT_EQ(728, y);
  EXPECT_EQ(1, up);
  y = 80;
  StepPingPong(&y, &up, 40, 40, 768);
  EXPECT_EQ(40, y);  // equal to the back limit: keeps moving up
  EXPECT_EQ(1, up);
  StepPingPong(&y, &up, 40, 40, 768);
  EXPECT_EQ(0, y);
  EXPECT_EQ(0, up);
}

TEST(StepPingPongTest, TextWiderThanAThirdAlternatesBetweenTwoColumns) {
  // W 1024, cx 400: the forward limit 224 lies below the back limit 400.
  INT32 x = 300, left = 0;
  INT32 seen[6];
  for (INT32 &value : seen) {
    StepPingPong(&x, &left, 50, 400, 1024);
    value = x;
  }
  EXPECT_EQ(350, seen[0]);
  EXPECT_EQ(300, seen[1]);
  EXPECT_EQ(350, seen[2]);
  EXPECT_EQ(300, seen[3]);
}

struct PlacementRow {
  const char *name;
  INT32 mode, W, H, w, h, size;
  BOOL resize;
  INT32 scaledWidth, scaledHeight, destX, destY, sourceX, sourceY, width, height;
};

class PlacementTableTest : public testing::TestWithParam<PlacementRow> {};

TEST_P(PlacementTableTest, GivesTheRectanglesOfTheModeTable) {
  const PlacementRow &row = GetParam();
  PicturePlacement p = Place(row.mode, row.W, row.H, row.w, row.h, row.size, 1000, 2000);
  EXPECT_TRUE(p.draw);
  EXPECT_EQ(row.resize, p.resize);
  if (row.resize) {
    EXPECT_EQ(row.scaledWidth, p.scaledWidth);
    EXPECT_EQ(row.scaledHeight, p.scaledHeight);
  }
  EXPECT_EQ(row.destX, p.destX);
  EXPECT_EQ(row.destY, p.destY);
  EXPECT_EQ(row.sourceX, p.sourceX);
  EXPECT_EQ(row.sourceY, p.sourceY);
  EXPECT_EQ(row.width, p.width);
  EXPECT_EQ(row.height, p.height);
  EXPECT_EQ(row.mode == 5 ? 2 : 0, g_calls) << "only mode 5 draws random values";
}

// Mode 5 rows take x = 1000 mod (W - w'), y = 2000 mod (H - h').
INSTANTIATE_TEST_SUITE_P(
    Modes, PlacementTableTest,
    testing::Values(
        PlacementRow{"TopLeftSmaller", 1, 1024, 768, 800, 600, 100, FALSE, 0, 0, 0, 0, 0, 0, 800, 600},
        PlacementRow{"TopLeftLarger", 1, 1024, 768, 1280, 1000, 100, FALSE, 0, 0, 0, 0, 0, 0, 1024, 768},
        PlacementRow{"CentredSmaller", 2, 1024, 768, 800, 600, 100, FALSE, 0, 0, 112, 84, 0, 0, 800, 600},
        PlacementRow{"CentredOddMargin", 2, 1024, 768, 801, 599, 100, FALSE, 0, 0, 111, 84, 0, 0, 801, 599},
        PlacementRow{"CentredOnePixelWider", 2, 1024, 768, 1025, 600, 100, FALSE, 0, 0, 0, 84, 0, 0, 1024, 600},
        PlacementRow{"CentredLarger", 2, 1024, 768, 1030, 1000, 100, FALSE, 0, 0, 0, 0, 3, 116, 1024, 768},
        PlacementRow{"CentredSameSize", 2, 1024, 768, 1024, 768, 100, FALSE, 0, 0, 0, 0, 0, 0, 1024, 768},
        PlacementRow{"FillExample", 3, 1280, 720, 800, 600, 100, TRUE, 1280, 960, 0, 0, 0, 120, 1280, 720},
        PlacementRow{"FillTallScreen", 3, 1024, 768, 400, 200, 100, TRUE, 1536, 768, 0, 0, 256, 0, 1024, 768},
        PlacementRow{"FitExample", 4, 1280, 720, 800, 600, 100, TRUE, 960, 720, 160, 0, 0, 0, 960, 720},
        PlacementRow{"FitWide", 4, 1024, 768, 400, 200, 100, TRUE, 1024, 512, 0, 128, 0, 0, 1024, 512},
        PlacementRow{"FitEqualRatios", 4, 1024, 768, 512, 384, 100, TRUE, 1024, 768, 0, 0, 0, 0, 1024, 768},
        // A camera photo on the common screens: the scaled edges meet the screen exactly.
        PlacementRow{"FitPhotoEqualRatios", 4, 1024, 768, 4000, 3000, 100, TRUE, 1024, 768, 0, 0, 0, 0, 1024, 768},
        PlacementRow{"FillPhotoEqualRatios", 3, 1024, 768, 4000, 3000, 100, TRUE, 1024, 768, 0, 0, 0, 0, 1024, 768},
        PlacementRow{"FillReachesRightEdge", 3, 1366, 768, 2592, 1944, 100, TRUE, 1366, 1024, 0, 0, 0, 128, 1366, 768},
        PlacementRow{"FitReachesBottomEdge", 4, 1366, 768, 1944, 2592, 100, TRUE, 576, 768, 395, 0, 0, 0, 576, 768},
        PlacementRow{"RandomShrunk", 5, 1024, 768, 800, 600, 100, TRUE, 133, 100, 1000 % 891, 2000 % 668, 0, 0, 133, 100},
        PlacementRow{"RandomShorterEdgeExact", 5, 1024, 768, 116, 109, 100, TRUE, 106, 100, 1000 % 918, 2000 % 668, 0, 0, 106, 100},
        PlacementRow{"RandomNarrow", 5, 1024, 768, 80, 600, 100, TRUE, 80, 600, 1000 % 944, 2000 % 168, 0, 0, 80, 600},
        PlacementRow{"RandomSmall", 5, 1024, 768, 80, 60, 100, TRUE, 80, 60, 1000 % 944, 2000 % 708, 0, 0, 80, 60},
        // Wider than the screen after scaling: a negative range, the picture runs off the right.
        PlacementRow{"RandomWiderThanScreen", 5, 1024, 768, 1100, 50, 100, TRUE, 1100, 50, 1000 % 76, 2000 % 718, 0, 0,
                     1100, 50},
        // Exactly the screen's size: an empty range puts that axis at 0.
        PlacementRow{"RandomScreenSized", 5, 1024, 768, 1024, 768, 2000, TRUE, 1024, 768, 0, 0, 0, 0, 1024, 768},
        // SIZE 0 or less shrinks nothing.
        PlacementRow{"RandomSizeZero", 5, 1024, 768, 800, 600, 0, TRUE, 800, 600, 1000 % 224, 2000 % 168, 0, 0, 800, 600},
        PlacementRow{"RandomSizeNegative", 5, 1024, 768, 300, 200, -5, TRUE, 300, 200, 1000 % 724, 2000 % 568, 0, 0, 300,
                     200}),
    [](const testing::TestParamInfo<PlacementRow> &info) { return std::string(info.param.name); });

TEST(PlacementTest, ModesWithoutPlacementDrawNothing) {
  for (INT32 mode : {0, 6, 7, -1, INT_MIN}) {
    PicturePlacement p = Place(mode, 1024, 768, 800, 600);
    EXPECT_FALSE(p.draw) << mode;
    EXPECT_FALSE(p.resize) << mode;
    EXPECT_EQ(0, g_calls) << mode;
  }
}

TEST(PlacementTest, PictureWithoutAreaIsNeitherResizedNorDrawnInAnyMode) {
  const INT32 sizes[][2] = {{0, 600}, {800, 0}, {-800, 600}, {800, -1}, {0, 0}};
  for (INT32 mode = 1; mode <= 5; ++mode) {
    for (const auto &size : sizes) {
      PicturePlacement p = Place(mode, 1024, 768, size[0], size[1]);
      EXPECT_FALSE(p.draw) << mode << ": " << size[0] << " x " << size[1];
      EXPECT_FALSE(p.resize) << mode;
      EXPECT_EQ(0, g_calls) << mode;
    }
  }
}

TEST(PlacementTest, FitThatRoundsAnEdgeToNothingDrawsNothing) {
  // 10000 x 1 fitted to 1024 x 768 scales by 0.1024: the height truncates to 0.
  PicturePlacement p = Place(4, 1024, 768, 10000, 1);
  EXPECT_FALSE(p.draw);
  EXPECT_FALSE(p.resize);
}

TEST(PlacementTest, ExtremeFillScaleIsHeldWithinThe32BitRange) {
  // 1 x 2000000000 filling 1024 x 768 scales by 1024: the height would be 2 x 10^12.
  PicturePlacement p = Place(3, 1024, 768, 1, 2000000000);
  EXPECT_TRUE(p.resize);
  EXPECT_EQ(1024, p.scaledWidth);
  EXPECT_EQ(INT_MAX, p.scaledHeight);
  EXPECT_EQ((INT_MAX - 768) / 2, p.sourceY);
}

TEST(PlacementTest, EmptyScreenDrawsNothingInScaledModes) {
  EXPECT_FALSE(Place(3, 0, 0, 800, 600).draw);
  EXPECT_FALSE(Place(4, 0, 768, 800, 600).draw);
  EXPECT_FALSE(Place(1, 0, 0, 800, 600).draw);
}

// Placement is computed in IEEE double precision on both builds: the 32-bit build's x87 unit
// must not carry extended precision into the truncated products. The reference computes the
// products of the mode table with SSE2 doubles, which have no wider format.
#if defined(__i386__)
#define IEEE_DOUBLE_MATH __attribute__((target("sse2,fpmath=sse"), noinline))
#else
#define IEEE_DOUBLE_MATH __attribute__((noinline))
#endif

namespace {

IEEE_DOUBLE_MATH INT32 ScaledEdge(INT32 edge, INT32 screenEdge, INT32 pictureEdge) {
  return static_cast<INT32>(edge * (static_cast<double>(screenEdge) / pictureEdge));
}

IEEE_DOUBLE_MATH INT32 ShrunkEdge(INT32 edge, INT32 shorter, INT32 bound) {
  return static_cast<INT32>(edge / (static_cast<double>(shorter) / bound));
}

}  // namespace

TEST(PlacementTest, ScaledSizesAreTheDoublePrecisionProductsForManySizes) {
  const INT32 screens[][2] = {{640, 480},   {800, 600},   {1024, 768},  {1280, 720},  {1280, 1024}, {1366, 768},
                              {1440, 900},  {1600, 900},  {1680, 1050}, {1920, 1080}, {1920, 1200}, {2560, 1440},
                              {2560, 1600}, {3440, 1440}, {3840, 2160}, {1080, 1920}};
  int mismatches = 0;
  for (const auto &screen : screens) {
    const INT32 W = screen[0], H = screen[1];
    for (INT32 w = 97; w < 7000; w += 89) {
      for (INT32 h = 61; h < 7000; h += 113) {
        // Fit: the axis with the smaller ratio is exact, the other the truncated product.
        BOOL fitByWidth = static_cast<INT64>(W) * h <= static_cast<INT64>(H) * w;
        PicturePlacement fit = Place(4, W, H, w, h);
        INT32 fitW = fitByWidth ? W : ScaledEdge(w, H, h), fitH = fitByWidth ? ScaledEdge(h, W, w) : H;
        if (static_cast<INT64>(W) * h == static_cast<INT64>(H) * w) fitW = W, fitH = H;
        PicturePlacement fill = Place(3, W, H, w, h);
        INT32 fillW = fitByWidth ? ScaledEdge(w, H, h) : W, fillH = fitByWidth ? H : ScaledEdge(h, W, w);
        if (static_cast<INT64>(W) * h == static_cast<INT64>(H) * w) fillW = W, fillH = H;
        INT32 shorter = w < h ? w : h;
        PicturePlacement random = Place(5, W, H, w, h, 100);
        INT32 randomW = w, randomH = h;
        if (w > 100 && h > 100) {
          randomW = w <= h ? 100 : ShrunkEdge(w, shorter, 100);
          randomH = h <= w ? 100 : ShrunkEdge(h, shorter, 100);
        }
        if (fit.scaledWidth != fitW || fit.scaledHeight != fitH || fill.scaledWidth != fillW ||
            fill.scaledHeight != fillH || random.scaledWidth != randomW || random.scaledHeight != randomH) {
          if (++mismatches <= 5)
            ADD_FAILURE() << W << " x " << H << " screen, " << w << " x " << h << " picture: fit " << fit.scaledWidth
                          << " x " << fit.scaledHeight << " (" << fitW << " x " << fitH << "), fill " << fill.scaledWidth
                          << " x " << fill.scaledHeight << " (" << fillW << " x " << fillH << "), random "
                          << random.scaledWidth << " x " << random.scaledHeight << " (" << randomW << " x " << randomH
                          << ")";
        }
      }
    }
  }
  EXPECT_EQ(0, mismatches);
}
