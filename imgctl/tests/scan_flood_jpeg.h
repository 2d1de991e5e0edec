// Writes progressive JPEGs of any size whose many scans are end-of-band runs: work without data.
#pragma once
#include <stdint.h>

#include <vector>

#include "imgctl/tests/flat_jpeg.h"

namespace imgctl_test {

// What the flood of AC scans asks of the decoder.
enum class FloodScans {
  kFirst,   // first AC scans (Ah = 0): every block covered by an end-of-band run
  kRefine,  // AC refinement scans (Ah = 1, Al = 0): the same runs, each block refined
};

// A progressive JPEG of width x height, grey or 4:2:0 YCbCr, with quantisation tables of 1. When
// `dcScan`, one DC scan codes every block as mid grey (one bit a block). Then `scans` AC scans
// (spread over the components in turn) each cover every block of their component with
// end-of-band runs of 32767 blocks, 15 bits a run: a 2048 x 2048 grey picture with 1000 scans
// takes about 20 KB, though each of its scans touches 65536 blocks.
inline std::vector<uint8_t> ScanFloodJpeg(int width, int height, bool colour, int scans, FloodScans kind,
                                          bool dcScan = true) {
  std::vector<uint8_t> out = {0xFF, 0xD8};
  auto segment = [&](uint8_t marker, const std::vector<uint8_t> &body) { AppendJpegSegment(out, marker, body); };
  std::vector<uint8_t> quant(65, 1);
  quant[0] = 0;
  segment(0xDB, quant);
  const int components = colour ? 3 : 1;
  std::vector<uint8_t> frame = {8, uint8_t(height >> 8), uint8_t(height), uint8_t(width >> 8), uint8_t(width),
                                uint8_t(components)};
  for (int c = 0; c < components; ++c) frame.insert(frame.end(), {uint8_t(c + 1), uint8_t(colour && c == 0 ? 0x22 : 0x11), 0});
  segment(0xC2, frame);
  // DC table 0: category 0 only, code 0. AC table 0: an end-of-band run of 2^14 + 14 bits
  // (symbol 0xE0) as code 0, a plain end of band as code 10.
  segment(0xC4, {0x00, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x00,  //
                 0x10, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xE0, 0x00});

  const int mcusX = colour ? (width + 15) / 16 : (width + 7) / 8;
  const int mcusY = colour ? (height + 15) / 16 : (height + 7) / 8;
  if (dcScan) {
    std::vector<uint8_t> header = {uint8_t(components)};
    for (int c = 0; c < components; ++c) header.insert(header.end(), {uint8_t(c + 1), 0x00});
    header.insert(header.end(), {0, 0, 0});
    segment(0xDA, header);
    JpegBitWriter bits(out);
    const int64_t blocks = int64_t(mcusX) * mcusY * (colour ? 6 : 1);
    for (int64_t b = 0; b < blocks; ++b) bits.Put(0, 1);
    bits.Finish();
  }
  for (int s = 0; s < scans; ++s) {
    const int c = s % components;
    // A non-interleaved scan codes the component's own blocks, not the MCU grid's padding.
    const int64_t w = colour && c > 0 ? (width + 1) / 2 : width, h = colour && c > 0 ? (height + 1) / 2 : height;
    const int64_t blocks = ((w + 7) / 8) * ((h + 7) / 8);
    segment(0xDA, {1, uint8_t(c + 1), 0x00, 1, 63, uint8_t(kind == FloodScans::kRefine ? 0x10 : 0x00)});
    JpegBitWriter bits(out);
    for (int64_t covered = 0; covered < blocks; covered += 32767) {
      bits.Put(0, 1);          // symbol 0xE0
      bits.Put(0x3FFF, 14);    // run of 2^14 + 16383 = 32767 blocks
    }
    bits.Finish();
  }
  out.push_back(0xFF);
  out.push_back(0xD9);
  return out;
}

}  // namespace imgctl_test
