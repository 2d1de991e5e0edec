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

const HuffTable &Built(HuffTable &table) {
  if (table.built) return table;
  HuffTable *t = &table;
  const uint8_t *counts = t->counts, *symbols = t->symbols;
  memset(t->fast, 0, sizeof(t->fast));
  memset(t->fastValue, 0, sizeof(t->fastValue));
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
  // Short code plus short magnitude: the whole coefficient (or DC difference) from one look-up.
  for (int look = 0; look < (1 << kFastBits); ++look) {
    int e = t->fast[look];
    if (!e) continue;
    int len = e >> 8, rs = e & 0xFF, run = rs >> 4, s = rs & 15;
    if (t->ac && rs == 0) {
      t->fastValue[look] = kFastAcEob | len;
      continue;
    }
    if (!t->ac && run != 0) continue;  // not a DC size: the slow path reports it
    if (len + s > kFastBits || (t->ac && s == 0)) continue;
    int v = s == 0 ? 0 : (look >> (kFastBits - len - s)) & ((1 << s) - 1);
    if (s != 0 && v < (1 << (s - 1))) v -= (1 << s) - 1;
    t->fastValue[look] = static_cast<int32_t>(static_cast<uint32_t>(v) << 16) | (run << kFastRunShift) | (len + s);
  }
  t->built = true;
  return table;
}

}  // namespace jpeg
}  // namespace imgctl
