// Output of a JPEG decode: geometry at the chosen scale, and the rows handed to the sink.
#pragma once
#include <stddef.h>
#include <stdint.h>

#include "imgctl/core/decoder.h"
#include "imgctl/core/jpeg_frame.h"

namespace imgctl {
namespace jpeg {

// Sizes the output and each component's sample planes for 1/scale (1, 2, 4 or 8). False when a
// component's sampling cannot be met at this scale.
bool SetUpGeometry(Frame &f, int scale);

// MCU rows of samples a plane holds: the row being emitted and the rows above and below it, which
// upsampling reads.
constexpr int kPlaneRows = 3;

// Makes each plane a ring of `rows` MCU rows (at least kPlaneRows), so that rows can be decoded
// ahead of the one being emitted; std::bad_alloc when memory runs short.
void SetPlaneRows(Frame &f, int rows);

// Where block (blockRow, blockCol) of component c goes in its plane, a ring of planeRows MCU rows.
inline uint8_t *PlaneBlock(Component &c, int blockRow, int blockCol) {
  int r = blockRow * c.size;
  int slot = (r / c.rowsPerMcuRow) % c.planeRows;
  return c.plane.data() + (static_cast<size_t>(slot) * c.rowsPerMcuRow + r % c.rowsPerMcuRow) * c.stride +
         static_cast<size_t>(blockCol) * c.size;
}

// Upsamples and converts the output rows of MCU row `my` and hands them to the sink;
// `decodedMcuRows` MCU rows have samples.
void EmitMcuRow(Frame &f, int my, int decodedMcuRows, RowSink &sink);

// Paints the blocks of MCU row `my` from MCU column `fromMcu` on as black (after an error).
void BlankMcuRow(Frame &f, int my, int fromMcu);

}  // namespace jpeg
}  // namespace imgctl
