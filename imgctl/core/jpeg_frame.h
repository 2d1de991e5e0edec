// State of one JPEG decode: the frame and its components, tables, output and current scan.
#pragma once
#include <stddef.h>
#include <stdint.h>

#include <vector>

#include "imgctl/core/embedded_colour.h"
#include "imgctl/core/jpeg_bit_reader.h"
#include "imgctl/core/jpeg_huffman.h"
#include "imgctl/core/jpeg_idct.h"
#include "imgctl/core/kept_blocks.h"

namespace imgctl {
namespace jpeg {

constexpr int kMaxComponents = 4;

// Zig-zag position -> natural (row-major) position; the tail absorbs run overshoot.
inline constexpr uint8_t kZigzag[64 + 16] = {
    0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,  12, 19, 26, 33,
    40, 48, 41, 34, 27, 20, 13, 6,  7,  14, 21, 28, 35, 42, 49, 56, 57, 50, 43, 36,
    29, 22, 15, 23, 30, 37, 44, 51, 58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54,
    47, 55, 62, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63};

// Clears a 64-coefficient block with eight 16-byte stores (a libc memset call costs more).
typedef int16_t Block8 __attribute__((vector_size(16)));
inline void ClearBlock(int16_t *blk) {
  Block8 *v = reinterpret_cast<Block8 *>(blk);
  for (int i = 0; i < 8; ++i) v[i] = Block8{};
}

inline int16_t Saturate16(int32_t v) {
  return static_cast<int16_t>(v < -kJpegMaxCoefficient ? -kJpegMaxCoefficient
                                                       : (v > kJpegMaxCoefficient ? kJpegMaxCoefficient : v));
}

struct Component {
  int id = 0, h = 1, v = 1, tq = 0;
  int dcTable = 0, acTable = 0;
  int size = 8;              // inverse DCT output per block side (8, 4, 2 or 1)
  int upH = 1, upV = 1;      // replication from decoded samples to output pixels
  int blocksW = 0, blocksH = 0;      // block grid padded to whole MCUs
  int codedBlocksW = 0, codedBlocksH = 0;  // blocks a non-interleaved scan codes
  int realW = 0, realH = 0;  // decoded samples that carry picture
  int stride = 0;            // plane row length in samples
  int rowsPerMcuRow = 0;
  std::vector<uint8_t> plane;  // planeRows MCU rows of decoded samples, used as a ring
  int planeRows = 3;
  std::vector<uint8_t> upRow;  // one upsampled row
  int dcPred = 0;
  // Coefficient storage (progressive and multi-scan files only).
  int stored = 64;            // coefficients kept per block
  int8_t slotOfZz[64];        // zig-zag index -> stored slot, -1 when not kept
  uint32_t keptAc[2];         // zig-zag bits of the AC coefficients kept (slotOfZz >= 0)
  uint8_t naturalOfSlot[64];
  int16_t *coefs = nullptr;    // in the frame's coefficient store
  // Per block, the zig-zag bits of the AC coefficients that are nonzero so far, kept or not: progressive
  // files, for components that keep more than their DC (refinement depends on every coefficient's
  // history). Two 32-bit words (bit k in word k / 32), which i686 tests and sets without 64-bit shifts.
  uint32_t *nonzero = nullptr;
};

struct Frame {
  const uint8_t *data = nullptr;
  size_t size = 0;
  int width = 0, height = 0;
  bool progressive = false;
  bool haveFrame = false;
  int count = 0;
  Component comps[kMaxComponents];
  int hmax = 1, vmax = 1;
  int mcusX = 0, mcusY = 0;
  int restartInterval = 0;
  uint16_t quant[4][64];  // natural order
  bool quantPresent[4] = {false, false, false, false};
  HuffTable dcTables[4], acTables[4];
  bool adobe = false;
  int adobeTransform = -1;
  int orientation = 1;
  EmbeddedColour colour;  // APP2 profile parts
  // Output
  int scale = 1, blockOut = 8;
  int outW = 0, outH = 0;
  std::vector<uint32_t> row;
  KeptBlock coefficientStore;  // every component's coefficients and nonzero bits
  uint64_t visitsLeft = 0;     // block visits the scans may still make (kScanVisitsPerBlock)
  // Current scan
  int scanCount = 0;
  int scanComps[kMaxComponents];
  int ss = 0, se = 63, ah = 0, al = 0;
  int eobrun = 0;
  int mcuRowsReached = 0;  // MCU rows any scan has decoded into (bounds the output after an error)
  BitReader br;
};

}  // namespace jpeg
}  // namespace imgctl
