// Test helpers for the decoders: pictures made by external tools, reference decodes, sinks.
#pragma once
#include <stdint.h>

#include <string>
#include <vector>

#include "imgctl/core/decoder.h"

#include "imgctl/native/file_bytes.h"

namespace imgctl_test {

// A decoded picture as 0xAARRGGBB pixels.
struct Picture {
  int width = 0;
  int height = 0;
  std::vector<uint32_t> pixels;
};

// A sink that keeps every row and checks the order of calls: Begin once, rows in order.
class PictureSink : public imgctl::RowSink {
 public:
  void Begin(int32_t width, int32_t height) override;
  void PutRow(int32_t y, const uint32_t *pixels) override;
  Picture picture;
  int begins = 0;
  int rows = 0;
  bool orderBroken = false;
};

// A scratch folder for one test program run, removed at exit.
const std::string &ScratchDir();
// Runs a shell command; true when it exits 0.
bool RunCommand(const std::string &command);
// Whole files: ReadFileBytes of imgctl/native/file_bytes.h.
bool WriteFile(const std::string &path, const std::vector<uint8_t> &bytes);
// Reads a binary PPM (P6) or PGM (P5) file as opaque pixels.
bool ReadPnm(const std::string &path, Picture *out);
// Reads raw 8-bit RGBA of the given size.
bool ReadRgba(const std::string &path, int width, int height, Picture *out);

struct Difference {
  double meanAbs = 0;  // over the R, G, B (and A) channels
  int maxAbs = 0;
};
// Compares two pictures of the same size; `alpha` includes the alpha channel.
Difference Compare(const Picture &a, const Picture &b, bool alpha = false);
// The box average of `full` over s x s squares (edge squares cover what is left).
Picture BoxAverage(const Picture &full, int s);

// Decodes with a decoder into a picture; returns the decoder's result.
bool DecodeToPicture(const imgctl::Decoder &decoder, const std::vector<uint8_t> &data, int scale,
                     PictureSink *sink);

}  // namespace imgctl_test
