// JPEG Huffman tables: the check of a DHT segment's code lengths and the building of the look-ups.
#include "imgctl/core/jpeg_huffman.h"

#include <string.h>

namespace imgctl {
namespace jpeg {

bool CodesFit(const uint8_t counts[16]) {
  int32_t code = 0;
  for (int len = 1; len <= 16; ++len) {
    code += counts[len - 1];
    if (code > (1 << len)) return false;  // more codes than this length can hold
    code <<= 1;
  }
  return true;
}

namespace {

// The symbol of the short code at the top of the kFastBits bits `look`, its length and magnitude
// bits; false when the code is longer or its magnitude bits run past `look`.
struct ShortCode {
  int length, run, size, value;
};

bool ShortAt(const HuffTable &t, int look, ShortCode &code) {
  const int e = t.fast[look];
  if (!e) return false;
  code.length = e >> 8;
  code.run = (e & 0xFF) >> 4;
  code.size = e & 15;
  if (code.length + code.size > kFastBits) return false;
  int v = (look >> (kFastBits - code.length - code.size)) & ((1 << code.size) - 1);
  if (code.size != 0 && v < (1 << (code.size - 1))) v -= (1 << code.size) - 1;
  code.value = code.size == 0 ? 0 : v;
  return true;
}

int32_t FastDc(const HuffTable &t, int look) {
  ShortCode c;
  if (!ShortAt(t, look, c) || c.run != 0) return 0;  // not a DC size: the long way reports it
  return static_cast<int32_t>(static_cast<uint32_t>(c.value) << 16) | (c.length + c.size);
}

int32_t FastAc(const HuffTable &t, int look) {
  ShortCode first;
  if (!ShortAt(t, look, first)) return 0;
  if (first.run == 0 && first.size == 0) return kFastAcEob | first.length;
  // A run of 16 zeros (or a symbol no encoder writes), or a first coefficient past its field.
  if (first.size == 0 || first.value < -511 || first.value > 511) return 0;
  int used = first.length + first.size;
  int32_t entry = static_cast<int32_t>(static_cast<uint32_t>(first.value) << kFastFirstValueShift) |
                  (first.run << kFastRunShift);
  // The bits after the first coefficient, at the top of a look-up of their own (zeros below them,
  // so only a second symbol that ends within them is taken).
  ShortCode second;
  const int rest = (look << used) & ((1 << kFastBits) - 1);
  if (ShortAt(t, rest, second) && used + second.length + second.size <= kFastBits) {
    if (second.run == 0 && second.size == 0) return entry | kFastAcEobAfter | (used + second.length);
    if (second.size != 0 && second.value >= -15 && second.value <= 15)
      return entry | ((second.run + 1) << kFastSecondShift) |
             static_cast<int32_t>((static_cast<uint32_t>(second.value) & 31) << kFastSecondValueShift) |
             (used + second.length + second.size);
  }
  return entry | used;
}

}  // namespace

const HuffTable &Built(HuffTable &table) {
  if (table.built) return table;
  HuffTable *t = &table;
  const uint8_t *counts = t->counts, *symbols = t->symbols;
  memset(t->fast, 0, sizeof(t->fast));
  int32_t code = 0;
  int k = 0;
  for (int len = 1; len <= 16; ++len) {
    t->valueOffset[len] = k - code;
    for (int i = 0; i < counts[len - 1]; ++i, ++k, ++code) {
      if (len <= kFastBits) {
        int first = code << (kFastBits - len);
        int n = 1 << (kFastBits - len);
        for (int j = 0; j < n; ++j) t->fast[first + j] = static_cast<uint16_t>((len << 8) | symbols[k]);
      }
    }
    t->maxCode[len] = counts[len - 1] ? code - 1 : -1;
    code <<= 1;
  }
  for (int look = 0; look < (1 << kFastBits); ++look)
    t->fastValue[look] = t->ac ? FastAc(*t, look) : FastDc(*t, look);
  t->built = true;
  return table;
}

}  // namespace jpeg
}  // namespace imgctl
