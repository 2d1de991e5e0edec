// One loaded picture: its file's bytes, what the headers say, the size it is wanted at, and its pixels once decoded.
#include "imgctl/core/picture.h"

#include <new>
#include <utility>

#include "imgctl/core/colour_sink.h"
#include "imgctl/core/exif_orientation.h"
#include "imgctl/core/interrupt.h"
#include "imgctl/core/limits.h"
#include "imgctl/core/orientation.h"
#include "imgctl/core/resampler.h"

namespace imgctl {

bool OpenPicture(FileBytes bytes, Picture *picture) {
  if (bytes.size() > kMaxFileBytes) return false;
  Format format = SniffFormat(bytes.data(), bytes.size());
  const Decoder *decoder = DecoderFor(format);
  ImageHeader header;
  if (decoder == nullptr || !decoder->probe(bytes.data(), bytes.size(), &header)) return false;
  // Only a picture that some decode can hold (the coarsest scale is the cheapest one) and whose
  // decoder's work stays within a paint's time.
  if (!SourceWithinLimits(header.width, header.height) ||
      (!decoder->scales && int64_t(header.width) * header.height > kMaxFullScaleSourcePixels) ||
      decoder->workingBytes(bytes.data(), bytes.size(), kCoarsestScale) > kMaxWorkingBytes)
    return false;
  header.orientation = format == Format::kJpeg ? ReadJpegOrientation(bytes.data(), bytes.size()) : 1;
  picture->bytes = std::move(bytes);
  picture->format = format;
  picture->decoder = decoder;
  picture->header = header;
  bool swap = OrientationSwapsAxes(header.orientation);
  picture->width = swap ? header.height : header.width;
  picture->height = swap ? header.width : header.height;
  picture->decoded = false;
  picture->pixels.clear();
  return true;
}

bool ResizePicture(Picture *picture, int32_t width, int32_t height) {
  if (!SizeWithinLimits(width, height)) return false;
  if (width == picture->width && height == picture->height) return true;
  picture->width = width;
  picture->height = height;
  picture->decoded = false;
  Pixels().swap(picture->pixels);
  return true;
}

int WorkingScale(const Picture &picture, int scale) {
  while (scale < kCoarsestScale &&
         picture.decoder->workingBytes(picture.bytes.data(), picture.bytes.size(), scale) > kMaxWorkingBytes)
    scale *= 2;
  return scale;
}

int DecodeScale(int32_t storedWidth, int32_t storedHeight, int32_t targetWidth, int32_t targetHeight) {
  int scale = 8;
  while (scale > 1 && ((storedWidth + scale - 1) / scale < targetWidth ||
                       (storedHeight + scale - 1) / scale < targetHeight))
    scale /= 2;
  return scale;
}

namespace {

// The upright pixels at the picture's current size, from its file; std::bad_alloc when the memory
// for them cannot be had.
Pixels DecodeAtCurrentSize(const Picture &picture) {
  const int orientation = picture.header.orientation;
  const bool swap = OrientationSwapsAxes(orientation);
  // Decode in the stored orientation straight to the wanted size, then turn the small result.
  const int32_t storedTargetWidth = swap ? picture.height : picture.width;
  const int32_t storedTargetHeight = swap ? picture.width : picture.height;
  Resampler resampler(storedTargetWidth, storedTargetHeight, picture.header.width, picture.header.height);
  int scale = WorkingScale(picture, DecodeScale(picture.header.width, picture.header.height, storedTargetWidth,
                                                storedTargetHeight));
  // Colours are converted to sRGB on the side with fewer pixels, the decoded rows or the resampled picture.
  ColourSink colour(resampler, int64_t(storedTargetWidth) * storedTargetHeight);
  picture.decoder->decode(picture.bytes.data(), picture.bytes.size(), scale, colour);
  colour.EndRows();
  Pixels resampled = resampler.Finish();
  colour.Finish(resampled.data(), resampled.size());
  return TurnUpright(std::move(resampled), storedTargetWidth, storedTargetHeight, orientation);
}

}  // namespace

const Pixels &PicturePixels(Picture *picture) {
  if (picture->decoded) return picture->pixels;
  // A picture loaded larger than it may be held and never resized has no pixels.
  if (!SizeWithinLimits(picture->width, picture->height)) return picture->pixels;
  // Memory that cannot be had fails this use only: the kept blocks go back to the system and the
  // decode runs once more; short again, the picture has no pixels now and the next use tries again.
  for (int attempt = 0; attempt < 2; ++attempt) {
    try {
      Pixels pixels = DecodeAtCurrentSize(*picture);
      if (DecodeInterrupted()) break;  // stopped for the caller: not decoded, the next draw decodes again
      if (pixels.size() != size_t(picture->width) * size_t(picture->height)) break;
      picture->pixels = std::move(pixels);
      picture->decoded = true;
      return picture->pixels;
    } catch (const std::bad_alloc &) {
      if (KeptBytes() == 0) break;
      ReleaseKeptBlocks();
    }
  }
  Pixels().swap(picture->pixels);
  return picture->pixels;
}

}  // namespace imgctl
