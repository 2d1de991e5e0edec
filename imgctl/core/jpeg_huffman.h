// JPEG Huffman tables: a DHT segment's code lengths and symbols, and the look-ups built from them.
#pragma once
#include <stdint.h>

namespace imgctl {
namespace jpeg {

constexpr int kFastBits = 12;  // Huffman codes up to this length decode by one table look-up
// The look-up of short codes with their magnitude bits (fastValue), 0 where the code and its
// magnitude do not fit in kFastBits. Bits 0..4 of an entry: the bits it uses. Bit 5 stays clear, so
// that the entry masked to a shift count of the bit buffer's width is that length.
// DC tables: the difference in bits 16..31.
// AC tables: one or two symbols, so that a short coefficient and a short one after it (or the end
// of the block after it) take one look-up:
//   bits 6..9   zero run before the first coefficient
//   bit 10      the first symbol ends the block (nothing else is set)
//   bit 11      a symbol ending the block follows the first coefficient
//   bits 12..16 how far past the first coefficient a second one lies (its run + 1), 0 when none
//   bits 17..21 the second coefficient (-15..15), 0 when none
//   bits 22..31 the first coefficient (-511..511; larger ones take the long way)
constexpr int kFastRunShift = 6;
constexpr int32_t kFastAcEob = 1 << 10;
constexpr int32_t kFastAcEobAfter = 1 << 11;
constexpr int kFastSecondShift = 12;
constexpr int kFastSecondValueShift = 17;  // 5 bits
constexpr int kFastFirstValueShift = 22;   // 10 bits

inline int FastFirstValue(int32_t entry) { return entry >> kFastFirstValueShift; }
inline int FastSecondValue(int32_t entry) {
  return static_cast<int32_t>(static_cast<uint32_t>(entry) << (27 - kFastSecondValueShift)) >> 27;
}

// A table as its DHT segment defines it; the look-ups are built when a scan first uses it, since
// a file may define thousands of tables that no scan uses (each build costs some 24 KB of stores).
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
