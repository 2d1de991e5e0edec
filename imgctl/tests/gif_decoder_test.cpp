// The GIF decoder's bound on stb's work: LZW data past the first frame's pixels is not handed over.
#include "imgctl/core/gif_decoder.h"

#include <gtest/gtest.h>

#include "imgctl/tests/lzw_flood_gif.h"
#include "test_pictures.h"

namespace {

TEST(GifDecoder, LzwDataPastTheFramesPixelsIsNotHandedToStb) {
  // A 64 x 48 frame on a 100 x 80 screen, then 200 KB of codes that could show nothing.
  const std::vector<uint8_t> flood = imgctl_test::LzwFloodGif(100, 80, 64, 48, 200000);
  ASSERT_GT(flood.size(), 200000u);
  // Its 3072 pixels come with the first 79 codes, about 70 bytes.
  EXPECT_LT(imgctl::GifFirstFrame(flood.data(), flood.size()).size(), 150u);
  imgctl_test::PictureSink sink;
  ASSERT_TRUE(imgctl_test::DecodeToPicture(imgctl::kGifDecoder, flood, 1, &sink));
  ASSERT_EQ(sink.picture.width, 100);
  ASSERT_EQ(sink.picture.height, 80);
  for (int y = 0; y < 80; y += 7)
    for (int x = 0; x < 100; x += 3) {
      uint32_t pixel = sink.picture.pixels[size_t(y) * 100 + size_t(x)];
      // White in the frame; transparent where it does not reach.
      EXPECT_EQ(pixel, x < 64 && y < 48 ? 0xFFFFFFFFu : 0u) << x << "," << y;
    }
}

}  // namespace
