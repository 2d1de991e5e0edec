// Our JPEG decoder's entry points: probe, working memory and decode, over the stages in jpeg_*.h.
#include "imgctl/core/jpeg_decoder.h"

#include <memory>
#include <new>

#include "imgctl/core/embedded_colour.h"
#include "imgctl/core/jpeg_baseline.h"
#include "imgctl/core/jpeg_buffered.h"
#include "imgctl/core/jpeg_frame.h"
#include "imgctl/core/jpeg_markers.h"
#include "imgctl/core/jpeg_output.h"

namespace imgctl {
namespace {

using jpeg::AllocateCoefficients;
using jpeg::DecodeBuffered;
using jpeg::DecodeStreaming;
using jpeg::Frame;
using jpeg::NextSegment;
using jpeg::SetUpGeometry;
using jpeg::Walk;

int NormalizedScale(int scale) {
  if (scale >= 8) return 8;
  if (scale >= 4) return 4;
  if (scale >= 2) return 2;
  return 1;
}

}  // namespace

bool ProbeJpeg(const uint8_t *data, size_t size, ImageHeader *header) {
  if (!data || size < 4 || data[0] != 0xFF || data[1] != 0xD8 || data[2] != 0xFF) return false;
  std::unique_ptr<Frame> f(new (std::nothrow) Frame());
  if (!f) return false;
  f->data = data;
  f->size = size;
  size_t pos = 2;
  if (NextSegment(*f, pos, true) != Walk::kFrame) return false;
  if (header) {
    header->width = f->width;
    header->height = f->height;
    header->orientation = f->orientation;
  }
  return true;
}

uint64_t JpegWorkingBytes(const uint8_t *data, size_t size, int scale) {
  if (!data || size < 4 || data[0] != 0xFF || data[1] != 0xD8) return 0;
  std::unique_ptr<Frame> f(new Frame());
  f->data = data;
  f->size = size;
  size_t pos = 2;
  // Without a scan or a usable geometry the decode fails at once, holding no more than this.
  if (NextSegment(*f, pos, false) != Walk::kScan || !SetUpGeometry(*f, NormalizedScale(scale))) return sizeof(Frame);
  uint64_t bytes = sizeof(Frame) + f->row.size() * sizeof(uint32_t);
  for (int i = 0; i < f->count; ++i) bytes += f->comps[i].plane.size() + f->comps[i].upRow.size();
  bool streaming = !f->progressive && f->scanCount == f->count;
  return bytes + (streaming ? jpeg::StreamingRingBytes(*f) : jpeg::BufferedWorkingBytes(*f));
}

bool DecodeJpeg(const uint8_t *data, size_t size, int scale, RowSink &sink) {
  if (!data || size < 4 || data[0] != 0xFF || data[1] != 0xD8) return false;
  std::unique_ptr<Frame> f(new Frame());
  f->data = data;
  f->size = size;
  size_t pos = 2;
  Walk w = NextSegment(*f, pos, false);
  if (w != Walk::kScan) return false;
  if (!SetUpGeometry(*f, NormalizedScale(scale))) return false;
  f->colour.channels =
      f->count == 1 ? PictureChannels::kGrey : f->count == 3 ? PictureChannels::kRgb : PictureChannels::kOther;
  sink.Colour(f->colour);
  sink.Begin(f->outW, f->outH);
  bool streaming = !f->progressive && f->scanCount == f->count;
  if (streaming) return DecodeStreaming(*f, pos, sink);
  if (!AllocateCoefficients(*f)) return false;
  return DecodeBuffered(*f, pos, sink);
}

const Decoder kJpegDecoder = {ProbeJpeg, DecodeJpeg, JpegWorkingBytes, true};

}  // namespace imgctl
