// One loaded picture: its file's bytes, what the headers say, the size it is wanted at, and its pixels once decoded.
#pragma once
#include <stdint.h>

#include <vector>

#include "imgctl/core/decoder.h"
#include "imgctl/core/format.h"
#include "imgctl/core/kept_blocks.h"

namespace imgctl {

struct Picture {
  FileBytes bytes;                 // the whole file, kept until the picture is freed
  Format format = Format::kUnknown;
  const Decoder *decoder = nullptr;
  ImageHeader header;              // stored size and EXIF orientation
  int32_t width = 0, height = 0;   // the upright size it measures now (after any resize)
  bool decoded = false;
  Pixels pixels;                   // width x height, top row first, 0xFFRRGGBB, once decoded
};

// Takes over a file's bytes and reads its headers: the type from the signature, the size, the
// orientation. False (nothing decoded, nothing large allocated) for a file of no known type,
// headers that do not parse, a stored size past the source limits (the lower one for decoders
// that do not scale), or a decoder that would need more working memory than allowed even at its
// coarsest scale. Throws std::bad_alloc when memory runs short.
bool OpenPicture(FileBytes bytes, Picture *picture);

// Makes the picture measure width x height from now on. Refused, with the picture untouched,
// for a size of 0 or less or past the limits. Pixels decoded earlier are dropped: the next
// use decodes from the file straight to the new size.
bool ResizePicture(Picture *picture, int32_t width, int32_t height);

// The upright pixels at the picture's current size, decoding on first use. A file that turns
// out corrupt or cut short gives the rows decoded before the fault and black for the rest.
// Empty while the current size is past the limits of what may be held (a large picture that
// was loaded but not resized), and when the memory for the decode could not be had even after
// the kept blocks were given back (nothing is marked decoded: the next use tries again). Never
// throws. The decode scale is the one DecodeScale picks, made coarser
// where the decoder would need more working memory than allowed (the resampler then enlarges).
const Pixels &PicturePixels(Picture *picture);

// `scale`, or the next coarser scale at which the picture's decoder needs no more working memory
// than allowed (at most kCoarsestScale, which OpenPicture has checked).
int WorkingScale(const Picture &picture, int scale);

// The coarsest scale any decoder decodes at.
constexpr int kCoarsestScale = 8;

// The DCT scale (1, 2, 4 or 8) at which a stored size still covers a target size.
int DecodeScale(int32_t storedWidth, int32_t storedHeight, int32_t targetWidth, int32_t targetHeight);

}  // namespace imgctl
