// Memory that cannot be had, at every allocation of a decode: no crash, no picture that looks
// decoded but is not, and the next use of the picture decodes it whole.
#include <gtest/gtest.h>

#include <new>
#include <string>
#include <vector>

#include "imgctl/core/kept_blocks.h"
#include "imgctl/core/picture.h"
#include "imgctl/native/file_bytes.h"
#include "imgctl/tests/failing_allocations.h"

namespace imgctl {
namespace {

const std::string kPictures = std::string(IMGCTL_REPO_ROOT) + "/tests/data/imgctl/";

// Opens the file and asks for its pixels at width x height (0: as stored) while allocation `nth`
// (and with `andLater` every later one) fails. Returns whether a failure was met; `picture` is the
// opened picture, or null when the failure stopped the opening.
bool DecodeFailing(const std::string &file, int32_t width, int32_t height, uint64_t nth, bool andLater,
                   std::unique_ptr<Picture> *picture, Pixels *pixels) {
  FileBytes bytes = ReadFileBytes<FileBytes>(kPictures + file);
  auto opened = std::make_unique<Picture>();
  imgctl_test::FailAllocations(nth, andLater);
  bool open = false;
  try {
    open = OpenPicture(std::move(bytes), opened.get()) && (width == 0 || ResizePicture(opened.get(), width, height));
    if (open) *pixels = PicturePixels(opened.get());
  } catch (const std::bad_alloc &) {
    open = false;  // ordinal 4 turns this into no picture
  }
  bool failed = imgctl_test::AllocationFailed();
  imgctl_test::FailAllocations(0);
  if (open) *picture = std::move(opened);
  return failed;
}

TEST(AllocationFailure, EveryAllocationOfADecodeMayFail) {
  struct Case {
    const char *file;
    int32_t width, height;
  } cases[] = {
      {"jpeg_progressive.jpg", 0, 0},   // the coefficient store
      {"jpeg_progressive.jpg", 9, 6},   // the same at 1/4
      {"jpeg_orient6.jpg", 0, 0},       // turned upright into a second block
      {"jpeg_baseline.jpg", 80, 50},    // enlarged
      {"photo.jpg", 0, 0},              // blocks large enough to be kept: given back, then tried again
      {"png_interlaced.png", 0, 0},     // the whole picture before delivery, zlib's state
      {"png_rgba8.png", 12, 7},
      {"gif_transparent.gif", 0, 0},    // stb's buffers
      {"bmp_rle8.bmp", 0, 0},           // the whole picture before delivery
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.file + std::string(" ") + std::to_string(c.width));
    ReleaseKeptBlocks();
    Pixels reference;
    std::unique_ptr<Picture> picture;
    ASSERT_FALSE(DecodeFailing(c.file, c.width, c.height, 0, false, &picture, &reference));
    ASSERT_TRUE(picture);
    ASSERT_EQ(reference.size(), size_t(picture->width) * size_t(picture->height));
    for (bool andLater : {false, true}) {
      int failures = 0;
      for (uint64_t nth = 1;; ++nth) {
        Pixels pixels;
        picture.reset();
        if (!DecodeFailing(c.file, c.width, c.height, nth, andLater, &picture, &pixels)) break;
        ++failures;
        if (!picture) continue;  // refused at opening, as a load refuses
        if (pixels.empty()) {
          // Not drawn, not marked decoded: the next use decodes it whole.
          EXPECT_FALSE(picture->decoded) << nth;
          EXPECT_TRUE(PicturePixels(picture.get()) == reference) << nth;
        } else {
          EXPECT_TRUE(pixels == reference) << "looks decoded but is not, at allocation " << nth;
        }
      }
      EXPECT_GE(failures, 3);  // the decoder's, the resampler's and the picture's allocations at least
    }
  }
  ReleaseKeptBlocks();
}

}  // namespace
}  // namespace imgctl
