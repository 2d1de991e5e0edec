// Reader of a JPEG scan's entropy-coded data: bits MSB first, stuffed zeros removed.
#pragma once
#include <stddef.h>
#include <stdint.h>

#include "imgctl/core/jpeg_huffman.h"

namespace imgctl {
namespace jpeg {

// A bit buffer over [p, end), stuffed zeros removed. At a marker or the end of the data it feeds
// zero bytes and counts them, so decoding that runs past the real data is detected (Overran)
// instead of reading outside the buffer. Header-only: the block decoders need every call inlined.
//
// The bit buffer is one machine word: 64 bits on x86-64, 32 on i686, where shifts of a 64-bit
// value take several instructions and a branch. Either holds a Huffman code and its extra bits
// (16 + 16 at most) after a refill, which stops at whole bytes.
typedef uintptr_t BitWord;
constexpr int kWordBits = int(sizeof(BitWord)) * 8;
constexpr BitWord kByteOnes = ~BitWord{0} / 0xFF;  // 0x0101...01
constexpr BitWord kByteHighs = kByteOnes << 7;      // 0x8080...80

struct BitReader {
  const uint8_t *p = nullptr;
  const uint8_t *end = nullptr;
  BitWord buf = 0;
  int bits = 0;
  int padBytes = 0;
  bool atMarker = false;

  void Start(const uint8_t *from, const uint8_t *to) {
    p = from;
    end = to;
    buf = 0;
    bits = 0;
    padBytes = 0;
    atMarker = false;
  }
  // Called with fewer than 16 bits left, so at least two whole bytes fit.
  void Fill() {
    // Fast path: the next word's bytes hold no 0xFF, so they go in without unstuffing.
    if (!atMarker && end - p >= int(sizeof(BitWord))) {
      BitWord w = 0;
      for (size_t i = 0; i < sizeof(BitWord); ++i) w = (w << 8) | p[i];
      if ((((~w) - kByteOnes) & w & kByteHighs) == 0) {
        int n = (kWordBits - bits) >> 3;  // whole bytes that fit
        if (n == int(sizeof(BitWord))) {
          buf = w;
        } else {
          buf |= (w >> (kWordBits - 8 * n)) << (kWordBits - bits - 8 * n);
        }
        bits += 8 * n;
        p += n;
        return;
      }
    }
    while (bits <= kWordBits - 8) {
      uint32_t b = 0;
      if (!atMarker && p < end) {
        b = *p;
        if (b == 0xFF) {
          if (p + 1 < end && p[1] == 0) {
            p += 2;
          } else {
            atMarker = true;
            b = 0;
            ++padBytes;
          }
        } else {
          ++p;
        }
      } else {
        if (padBytes < 1024) ++padBytes;
      }
      buf |= static_cast<BitWord>(b) << (kWordBits - 8 - bits);
      bits += 8;
    }
  }
  // With a 32-bit buffer a refill when fewer than 16 bits are left comes after every second or
  // third coefficient, and the test goes either way about as often: a mispredicted branch each
  // time. The block decoder calls this at every coefficient instead, with the buffer in its own
  // registers: while the next four bytes hold no 0xFF (nearly always), it adds as many whole
  // bytes as fit below 32 bits, leaving at least 24, with no branch on how many. False when it
  // cannot (a 0xFF or the end of the data is near), for the caller to refill the usual way.
  bool TopUp(BitWord &word, int &held) {
    if (atMarker || end - p < 4) return false;
    uint32_t w = uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
    if ((((~w) - 0x01010101u) & w & 0x80808080u) != 0) return false;
    int n = (31 - held + (held >> 5)) >> 3;  // 0 to 3 bytes; 0 for a full buffer (32 bits)
    // (w >> 8) >> (24 - 8n): the top n bytes of w, with no shift by 32 when n is 0.
    word |= static_cast<BitWord>((w >> 8) >> (24 - 8 * n)) << (kWordBits - held - 8 * n);
    held += 8 * n;
    p += n;
    return true;
  }
  bool Overran() const { return bits < padBytes * 8; }
  uint32_t Peek(int n) const { return static_cast<uint32_t>(buf >> (kWordBits - n)); }
  void Skip(int n) {
    buf <<= n;
    bits -= n;
  }
  int Bit() {
    if (bits < 1) Fill();
    int b = static_cast<int>(buf >> (kWordBits - 1));
    Skip(1);
    return b;
  }
  // n (0..16) raw bits.
  int Bits(int n) {
    if (n == 0) return 0;
    if (bits < n) Fill();
    int v = static_cast<int>(Peek(n));
    Skip(n);
    return v;
  }
  // n bits as a signed magnitude-category value.
  int Extend(int n) {
    if (n == 0) return 0;
    int v = Bits(n);
    return v < (1 << (n - 1)) ? v - ((1 << n) - 1) : v;
  }
  // The next Huffman symbol, or -1 for a code that is not in the table.
  int Decode(const HuffTable &t) {
    if (bits < 16) Fill();
    int e = t.fast[Peek(kFastBits)];
    if (e) {
      Skip(e >> 8);
      return e & 0xFF;
    }
    int32_t code16 = static_cast<int32_t>(Peek(16));
    for (int len = kFastBits + 1; len <= 16; ++len) {
      int32_t code = code16 >> (16 - len);
      if (code <= t.maxCode[len]) {
        Skip(len);
        return t.symbols[(code + t.valueOffset[len]) & 0xFF];
      }
    }
    Skip(16);
    return -1;
  }
  // Position of the next marker at or after the data not yet consumed.
  const uint8_t *NextMarker() const {
    const uint8_t *q = p;
    while (q + 1 < end && !(q[0] == 0xFF && q[1] != 0 && !(q[1] >= 0xD0 && q[1] <= 0xD7)))
      ++q;
    return q + 1 < end ? q : end;
  }
  // Skips to the restart marker expected after a restart interval. False when none follows.
  bool Restart() {
    const uint8_t *q = p;
    while (q + 1 < end && !(q[0] == 0xFF && q[1] != 0 && q[1] != 0xFF)) ++q;
    if (q + 1 < end && q[1] >= 0xD0 && q[1] <= 0xD7) {
      Start(q + 2, end);
      return true;
    }
    p = q;
    atMarker = true;
    return false;
  }
};

}  // namespace jpeg
}  // namespace imgctl
