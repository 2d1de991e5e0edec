// JPEG Huffman tables: a DHT segment's code lengths and symbols, and the look-ups built from them.
#pragma once
#include <stdint.h>

namespace imgctl {
namespace jpeg {

constexpr int kFastBits = 11;  // Huffman codes up to this length decode by one table look-up
// fastValue entries: bits used by code and magnitude together (0..4; bit 5 stays clear, so the
// entry masked to a shift count of the bit buffer's width is the length), zero run (6..9, AC
// tables), end of block (10, AC tables), coefficient value or DC difference (16..31); 0 when the
// code and its magnitude are not that short.
constexpr int kFastRunShift = 6;
constexpr int32_t kFastAcEob = 1 << 10;

// A table as its DHT segment defines it; the look-ups are built when a scan first uses it, since
// a file may define thousands of tables that no scan uses (each build costs some 12 KB of stores).
struct HuffTable {
  bool present = false;
  bool built = false;                // the look-ups below follow counts and symbols
  bool ac = false;
  uint8_t counts[16];                // codes of each length 1 to 16
  uint8_t symbols[256];
  uint16_t fast[1 << kFastBits];     // (length << 8) | symbol, 0 when the code is longer
  int32_t fastValue[1 << kFastBits]; // code and magnitude decoded in one (see kFastAcEob)
  int32_t maxCode[17];               // largest code of each length, -1 when none
  int32_t valueOffset[17];           // code + offset = index into symbols
};

// True when codes of these lengths fit in 16 bits, as canonical Huffman codes are assigned.
bool CodesFit(const uint8_t counts[16]);

// The table, its look-ups built from its counts and symbols (which CodesFit has accepted).
const HuffTable &Built(HuffTable &table);

}  // namespace jpeg
}  // namespace imgctl
