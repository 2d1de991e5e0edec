// Our JPEG decoder: marker parsing, Huffman decoding, scaled inverse DCT, upsampling, colour.
#include "imgctl/core/jpeg_decoder.h"

#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <memory>
#include <new>
#include <vector>

#include "imgctl/core/embedded_colour.h"
#include "imgctl/core/jpeg_idct.h"
#include "imgctl/core/jpeg_rows.h"
#include "imgctl/core/kept_blocks.h"

namespace imgctl {
namespace {

constexpr int kMaxComponents = 4;
constexpr int kFastBits = 11;  // Huffman codes up to this length decode by one table look-up
// fastAc entries: bits used (0..4), zero run (5..8), end of block (9), coefficient value (16..31).
constexpr int32_t kFastAcEob = 1 << 9;
constexpr int kMaxScans = 1000;  // more scans than any encoder writes: bounds the work
// Block visits all scans of a coefficient-buffered file may make, per block of the frame. A scan
// visits each block of its components once (the blocks a first AC scan's end-of-band run leaves as
// they were cost one visit for the run); libjpeg's progression makes 6 scans of a grey picture and
// 10 of a colour one, 5 to 6 visits a block. A file past the bound is damaged: its later scans are
// not decoded.
constexpr uint64_t kScanVisitsPerBlock = 24;
// Coefficient storage for progressive and multi-scan files; beyond this the file is refused.
constexpr uint64_t kMaxCoefficientBytes = uint64_t{768} << 20;

// Zig-zag position -> natural (row-major) position; the tail absorbs run overshoot.
constexpr uint8_t kZigzag[64 + 16] = {
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

inline int Be16(const uint8_t *p) { return (p[0] << 8) | p[1]; }

inline int16_t Saturate16(int32_t v) {
  return static_cast<int16_t>(v < -kJpegMaxCoefficient ? -kJpegMaxCoefficient
                                                       : (v > kJpegMaxCoefficient ? kJpegMaxCoefficient : v));
}

// ---------------------------------------------------------------------------------------------
// Huffman tables

// A table as its DHT segment defines it; the look-ups are built when a scan first uses it, since
// a file may define thousands of tables that no scan uses (each build costs some 12 KB of stores).
struct HuffTable {
  bool present = false;
  bool built = false;                // the look-ups below follow counts and symbols
  bool ac = false;
  uint8_t counts[16];                // codes of each length 1 to 16
  uint8_t symbols[256];
  uint16_t fast[1 << kFastBits];     // (length << 8) | symbol, 0 when the code is longer
  int32_t fastAc[1 << kFastBits];    // AC run/size/value in one (see kFastAcEob), 0 when not short
  int32_t maxCode[17];               // largest code of each length, -1 when none
  int32_t valueOffset[17];           // code + offset = index into symbols
};

// True when codes of these lengths fit in 16 bits, as canonical Huffman codes are assigned.
bool CodesFit(const uint8_t counts[16]) {
  int32_t code = 0;
  for (int len = 1; len <= 16; ++len) {
    code += counts[len - 1];
    if (code > (1 << len)) return false;  // more codes than this length can hold
    code <<= 1;
  }
  return true;
}

// The table, its look-ups built from its counts and symbols (which CodesFit has accepted).
const HuffTable &Built(HuffTable &table) {
  if (table.built) return table;
  HuffTable *t = &table;
  const uint8_t *counts = t->counts, *symbols = t->symbols;
  memset(t->fast, 0, sizeof(t->fast));
  memset(t->fastAc, 0, sizeof(t->fastAc));
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
  if (t->ac) {
    // Short code plus short magnitude: the whole coefficient from one look-up.
    for (int look = 0; look < (1 << kFastBits); ++look) {
      int e = t->fast[look];
      if (!e) continue;
      int len = e >> 8, rs = e & 0xFF, run = rs >> 4, s = rs & 15;
      if (rs == 0) {
        t->fastAc[look] = kFastAcEob | len;
        continue;
      }
      if (s == 0 || len + s > kFastBits) continue;
      int v = (look >> (kFastBits - len - s)) & ((1 << s) - 1);
      if (v < (1 << (s - 1))) v -= (1 << s) - 1;
      t->fastAc[look] = static_cast<int32_t>(static_cast<uint32_t>(v) << 16) | (run << 5) | (len + s);
    }
  }
  t->built = true;
  return table;
}

// ---------------------------------------------------------------------------------------------
// Entropy-coded data reader: MSB-first bit buffer over [p, end), stuffed zeros removed.
// At a marker or the end of the data it feeds zero bytes and counts them, so decoding that
// runs past the real data is detected (Overran) instead of reading outside the buffer.

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
    if (bits < n) Fill();
    int v = static_cast<int>(Peek(n));
    Skip(n);
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

// ---------------------------------------------------------------------------------------------
// Frame state

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
  std::vector<uint8_t> plane;  // three MCU rows of decoded samples, used as a ring
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

// ---------------------------------------------------------------------------------------------
// Marker segments

bool ReadQuant(Frame &f, const uint8_t *p, int len) {
  while (len > 0) {
    int pq = p[0] >> 4, tq = p[0] & 15;
    int need = 1 + 64 * (pq ? 2 : 1);
    if (pq > 1 || tq > 3 || len < need) return false;
    for (int k = 0; k < 64; ++k)
      f.quant[tq][kZigzag[k]] = static_cast<uint16_t>(pq ? Be16(p + 1 + 2 * k) : p[1 + k]);
    f.quantPresent[tq] = true;
    p += need;
    len -= need;
  }
  return true;
}

bool ReadHuffman(Frame &f, const uint8_t *p, int len) {
  while (len > 0) {
    if (len < 17) return false;
    int tc = p[0] >> 4, th = p[0] & 15;
    if (tc > 1 || th > 3) return false;
    int total = 0;
    for (int i = 0; i < 16; ++i) total += p[1 + i];
    if (total > 256 || len < 17 + total) return false;
    if (!CodesFit(p + 1)) return false;
    HuffTable *t = tc ? &f.acTables[th] : &f.dcTables[th];
    memcpy(t->counts, p + 1, sizeof(t->counts));
    memcpy(t->symbols, p + 17, static_cast<size_t>(total));
    t->ac = tc == 1;
    t->present = true;
    t->built = false;
    p += 17 + total;
    len -= 17 + total;
  }
  return true;
}

bool ReadFrame(Frame &f, const uint8_t *p, int len, int marker) {
  if (f.haveFrame || len < 6) return false;
  if (p[0] != 8) return false;  // 8-bit samples only
  f.height = Be16(p + 1);
  f.width = Be16(p + 3);
  f.count = p[5];
  if (f.width == 0 || f.height == 0) return false;  // a DNL-defined height is not supported
  if (f.count != 1 && f.count != 3 && f.count != 4) return false;
  if (len < 6 + 3 * f.count) return false;
  f.progressive = marker == 0xC2;
  f.hmax = f.vmax = 1;
  for (int i = 0; i < f.count; ++i) {
    Component &c = f.comps[i];
    c.id = p[6 + 3 * i];
    c.h = p[7 + 3 * i] >> 4;
    c.v = p[7 + 3 * i] & 15;
    c.tq = p[8 + 3 * i];
    if (c.h < 1 || c.h > 4 || c.v < 1 || c.v > 4 || c.tq > 3) return false;
    for (int j = 0; j < i; ++j)
      if (f.comps[j].id == c.id) return false;
    if (c.h > f.hmax) f.hmax = c.h;
    if (c.v > f.vmax) f.vmax = c.v;
  }
  if (f.count == 1) {
    // A single component is coded one block per MCU whatever factors it declares.
    f.comps[0].h = f.comps[0].v = 1;
    f.hmax = f.vmax = 1;
  }
  for (int i = 0; i < f.count; ++i)
    if (f.hmax % f.comps[i].h || f.vmax % f.comps[i].v) return false;  // fractional sampling
  f.mcusX = (f.width + 8 * f.hmax - 1) / (8 * f.hmax);
  f.mcusY = (f.height + 8 * f.vmax - 1) / (8 * f.vmax);
  f.haveFrame = true;
  return true;
}

void ReadAdobe(Frame &f, const uint8_t *p, int len) {
  if (len >= 12 && memcmp(p, "Adobe", 5) == 0) {
    f.adobe = true;
    f.adobeTransform = p[11];
  }
}

// EXIF orientation (tag 0x0112 of IFD0) from an APP1 segment; every offset checked.
void ReadExif(Frame &f, const uint8_t *p, int len) {
  if (len < 14 || memcmp(p, "Exif\0\0", 6) != 0) return;
  const uint8_t *t = p + 6;
  size_t n = static_cast<size_t>(len - 6);
  bool le = t[0] == 'I' && t[1] == 'I';
  if (!le && !(t[0] == 'M' && t[1] == 'M')) return;
  auto u16 = [&](size_t o) -> uint32_t { return le ? t[o] | (t[o + 1] << 8) : (t[o] << 8) | t[o + 1]; };
  auto u32 = [&](size_t o) -> uint32_t {
    return le ? (t[o] | (t[o + 1] << 8) | (t[o + 2] << 16) | (static_cast<uint32_t>(t[o + 3]) << 24))
              : ((static_cast<uint32_t>(t[o]) << 24) | (t[o + 1] << 16) | (t[o + 2] << 8) | t[o + 3]);
  };
  if (u16(2) != 42) return;
  uint32_t ifd = u32(4);
  if (ifd > n || n - ifd < 2) return;
  uint32_t entries = u16(ifd);
  for (uint32_t i = 0; i < entries; ++i) {
    size_t e = ifd + 2 + static_cast<size_t>(i) * 12;
    if (e + 12 > n) return;
    if (u16(e) == 0x0112 && u16(e + 2) == 3) {
      uint32_t o = u16(e + 8);
      if (o >= 1 && o <= 8) f.orientation = static_cast<int>(o);
      return;
    }
  }
}

// Walks the marker segments from `pos` up to the next SOS (kScan, with pos after its header
// and the scan set up), to EOI or to the end of the data. `headerOnly` stops right after
// the frame header (kFrame).
enum class Walk { kScan, kFrame, kEndOfImage, kEnd, kError };  // kEnd: the data ran out

Walk NextSegment(Frame &f, size_t &pos, bool headerOnly) {
  const uint8_t *d = f.data;
  size_t n = f.size;
  for (;;) {
    while (pos < n && d[pos] != 0xFF) ++pos;  // garbage between segments is skipped
    while (pos < n && d[pos] == 0xFF) ++pos;
    if (pos >= n) return Walk::kEnd;
    int marker = d[pos++];
    if (marker == 0xD9) return Walk::kEndOfImage;
    if ((marker >= 0xD0 && marker <= 0xD7) || marker == 0x01 || marker == 0xD8) continue;
    if (pos + 2 > n) return Walk::kEnd;
    int len = Be16(d + pos) - 2;
    if (len < 0 || pos + 2 + static_cast<size_t>(len) > n) return Walk::kError;
    const uint8_t *p = d + pos + 2;
    pos += 2 + static_cast<size_t>(len);
    switch (marker) {
      case 0xC0: case 0xC1: case 0xC2:
        if (!ReadFrame(f, p, len, marker)) return Walk::kError;
        if (headerOnly) return Walk::kFrame;
        break;
      case 0xC3: case 0xC5: case 0xC6: case 0xC7: case 0xC9: case 0xCA: case 0xCB:
      case 0xCD: case 0xCE: case 0xCF:
        return Walk::kError;  // lossless, hierarchical and arithmetic-coded JPEG
      case 0xC4:
        if (!ReadHuffman(f, p, len)) return Walk::kError;
        break;
      case 0xDB:
        if (!ReadQuant(f, p, len)) return Walk::kError;
        break;
      case 0xDD:
        if (len < 2) return Walk::kError;
        f.restartInterval = Be16(p);
        break;
      case 0xE1:
        ReadExif(f, p, len);
        break;
      case 0xE2:
        NoteJpegSegment(&f.colour, p, static_cast<size_t>(len));
        break;
      case 0xEE:
        ReadAdobe(f, p, len);
        break;
      case 0xDA: {
        if (!f.haveFrame || len < 1) return Walk::kError;
        int ns = p[0];
        if (ns < 1 || ns > f.count || len < 4 + 2 * ns) return Walk::kError;
        f.scanCount = ns;
        for (int i = 0; i < ns; ++i) {
          int id = p[1 + 2 * i], tables = p[2 + 2 * i];
          int ci = -1;
          for (int j = 0; j < f.count; ++j)
            if (f.comps[j].id == id) ci = j;
          if (ci < 0) return Walk::kError;
          for (int j = 0; j < i; ++j)
            if (f.scanComps[j] == ci) return Walk::kError;
          f.scanComps[i] = ci;
          f.comps[ci].dcTable = tables >> 4;
          f.comps[ci].acTable = tables & 15;
          if (f.comps[ci].dcTable > 3 || f.comps[ci].acTable > 3) return Walk::kError;
        }
        const uint8_t *q = p + 1 + 2 * ns;
        f.ss = q[0];
        f.se = q[1];
        f.ah = q[2] >> 4;
        f.al = q[2] & 15;
        if (f.progressive) {
          if (f.ss > 63 || f.se > 63 || f.ss > f.se || f.al > 13 || f.ah > 13) return Walk::kError;
          if ((f.ss == 0) != (f.se == 0)) return Walk::kError;
          if (f.ss > 0 && ns != 1) return Walk::kError;
        } else {
          f.ss = 0;
          f.se = 63;
          f.ah = f.al = 0;
        }
        return Walk::kScan;
      }
      default:
        break;  // APPn, COM and anything else: skipped
    }
  }
}

// ---------------------------------------------------------------------------------------------
// Geometry for the chosen scale

bool SetUpGeometry(Frame &f, int scale) {
  f.scale = scale;
  f.blockOut = 8 / scale;
  f.outW = (f.width + scale - 1) / scale;
  f.outH = (f.height + scale - 1) / scale;
  for (int i = 0; i < f.count; ++i) {
    Component &c = f.comps[i];
    // Subsampled components are decoded larger in the DCT domain rather than upsampled,
    // as far as the block size allows.
    int s = f.blockOut;
    while (s < 8 && (f.hmax * f.blockOut) % (c.h * s * 2) == 0 && (f.vmax * f.blockOut) % (c.v * s * 2) == 0)
      s *= 2;
    c.size = s;
    c.upH = f.hmax * f.blockOut / (c.h * s);
    c.upV = f.vmax * f.blockOut / (c.v * s);
    if (c.upH < 1 || c.upV < 1 || c.upH * c.h * s != f.hmax * f.blockOut || c.upV * c.v * s != f.vmax * f.blockOut)
      return false;
    c.blocksW = f.mcusX * c.h;
    c.blocksH = f.mcusY * c.v;
    int64_t fullW = (static_cast<int64_t>(f.width) * c.h + f.hmax - 1) / f.hmax;
    int64_t fullH = (static_cast<int64_t>(f.height) * c.v + f.vmax - 1) / f.vmax;
    c.codedBlocksW = static_cast<int>((fullW + 7) / 8);
    c.codedBlocksH = static_cast<int>((fullH + 7) / 8);
    c.realW = static_cast<int>((static_cast<int64_t>(f.width) * c.h * s + 8 * f.hmax - 1) / (8 * f.hmax));
    c.realH = static_cast<int>((static_cast<int64_t>(f.height) * c.v * s + 8 * f.vmax - 1) / (8 * f.vmax));
    c.stride = c.blocksW * s;
    c.rowsPerMcuRow = c.v * s;
    c.plane.assign(static_cast<size_t>(c.stride) * c.rowsPerMcuRow * 3, 0);
    c.upRow.assign(static_cast<size_t>(c.realW) * c.upH + 16, 0);
  }
  f.row.assign(static_cast<size_t>(f.outW), 0);
  return true;
}

inline uint8_t *PlaneBlock(Component &c, int blockRow, int blockCol) {
  int r = blockRow * c.size;
  int slot = (r / c.rowsPerMcuRow) % 3;
  return c.plane.data() + (static_cast<size_t>(slot) * c.rowsPerMcuRow + r % c.rowsPerMcuRow) * c.stride +
         static_cast<size_t>(blockCol) * c.size;
}

inline const uint8_t *PlaneRow(const Component &c, int r) {
  int slot = (r / c.rowsPerMcuRow) % 3;
  return c.plane.data() + (static_cast<size_t>(slot) * c.rowsPerMcuRow + r % c.rowsPerMcuRow) * c.stride;
}

// ---------------------------------------------------------------------------------------------
// Upsampling and colour conversion of one output row

// The output row y of component c, `lastRow` being the last decoded sample row usable as
// context below. Factor-2 cases use the triangle filter libjpeg calls fancy upsampling.
const uint8_t *ComponentRow(Component &c, int y, int lastRow) {
  int r = y / c.upV;
  const uint8_t *cur = PlaneRow(c, r);
  if (c.upH == 1 && c.upV == 1) return cur;
  uint8_t *out = c.upRow.data();
  int n = c.realW;
  if (c.upV == 2 && c.upH <= 2) {
    int nr = (y % 2 == 0) ? r - 1 : r + 1;
    if (nr < 0) nr = 0;
    if (nr > lastRow) nr = lastRow;
    if (nr < 0) nr = r;
    const uint8_t *nb = PlaneRow(c, nr);
    if (c.upH == 1)
      UpsampleH1V2(cur, nb, n, y % 2 != 0, out);
    else
      UpsampleH2V2(cur, nb, n, out);
    return out;
  }
  if (c.upH == 2 && c.upV == 1) {
    UpsampleH2V1(cur, n, out);
    return out;
  }
  // Other factors: plain replication.
  if (c.upH == 1) return cur;
  for (int x = 0; x < n; ++x)
    for (int k = 0; k < c.upH; ++k) out[x * c.upH + k] = cur[x];
  return out;
}

struct ColourTables {
  int32_t crR[256], cbB[256], crG[256], cbG[256];
  ColourTables() {
    // JFIF YCbCr -> RGB, 16-bit fixed point, rounded as libjpeg rounds.
    for (int i = 0; i < 256; ++i) {
      int x = i - 128;
      crR[i] = (91881 * x + 32768) >> 16;
      cbB[i] = (116130 * x + 32768) >> 16;
      crG[i] = -46802 * x;
      cbG[i] = -22554 * x + 32768;
    }
  }
};
const ColourTables &Colour() {
  static const ColourTables tables;
  return tables;
}

inline uint8_t Clamp8(int v) { return static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v)); }
inline int Mul255(int a, int b) {
  int t = a * b + 128;
  return (t + (t >> 8)) >> 8;
}

enum class ColourModel { kGrey, kYCbCr, kRgb, kCmyk, kYcck };

ColourModel ModelOf(const Frame &f) {
  if (f.count == 1) return ColourModel::kGrey;
  if (f.count == 3) {
    if (f.adobe) return f.adobeTransform == 0 ? ColourModel::kRgb : ColourModel::kYCbCr;
    if (f.comps[0].id == 'R' && f.comps[1].id == 'G' && f.comps[2].id == 'B') return ColourModel::kRgb;
    return ColourModel::kYCbCr;
  }
  return f.adobe && f.adobeTransform == 2 ? ColourModel::kYcck : ColourModel::kCmyk;
}

void ConvertRow(const Frame &f, ColourModel model, const uint8_t *const in[kMaxComponents], uint32_t *out) {
  const ColourTables &t = Colour();
  int n = f.outW;
  switch (model) {
    case ColourModel::kGrey:
      for (int x = 0; x < n; ++x) out[x] = 0xFF000000u | in[0][x] * 0x010101u;
      break;
    case ColourModel::kRgb:
      for (int x = 0; x < n; ++x)
        out[x] = 0xFF000000u | (static_cast<uint32_t>(in[0][x]) << 16) | (in[1][x] << 8) | in[2][x];
      break;
    case ColourModel::kYCbCr:
      YCbCrToBgra(in[0], in[1], in[2], n, out);
      break;
    case ColourModel::kCmyk:
    case ColourModel::kYcck:
      // Adobe writes CMYK inverted (255 = no ink): each channel is C * K / 255.
      for (int x = 0; x < n; ++x) {
        int c = in[0][x], m = in[1][x], ye = in[2][x], k = in[3][x];
        if (model == ColourModel::kYcck) {
          int yy = c, cb = m, cr = ye;
          c = 255 - Clamp8(yy + t.crR[cr]);
          m = 255 - Clamp8(yy + ((t.cbG[cb] + t.crG[cr]) >> 16));
          ye = 255 - Clamp8(yy + t.cbB[cb]);
        }
        uint32_t r = static_cast<uint32_t>(Mul255(c, k)), g = static_cast<uint32_t>(Mul255(m, k)),
                 b = static_cast<uint32_t>(Mul255(ye, k));
        out[x] = 0xFF000000u | (r << 16) | (g << 8) | b;
      }
      break;
  }
}

// Hands the output rows of MCU row `my` to the sink; `decodedMcuRows` MCU rows have samples.
void EmitMcuRow(Frame &f, int my, int decodedMcuRows, RowSink &sink) {
  ColourModel model = ModelOf(f);
  int rowsPerMcu = f.vmax * f.blockOut;
  int y0 = my * rowsPerMcu;
  int y1 = y0 + rowsPerMcu < f.outH ? y0 + rowsPerMcu : f.outH;
  const uint8_t *in[kMaxComponents] = {nullptr, nullptr, nullptr, nullptr};
  for (int y = y0; y < y1; ++y) {
    for (int i = 0; i < f.count; ++i) {
      Component &c = f.comps[i];
      int lastRow = decodedMcuRows * c.rowsPerMcuRow - 1;
      if (lastRow > c.realH - 1) lastRow = c.realH - 1;
      in[i] = ComponentRow(c, y, lastRow);
    }
    ConvertRow(f, model, in, f.row.data());
    sink.PutRow(y, f.row.data());
  }
}

// Paints the blocks of MCU row `my` from block column `fromCol` on as black (after an error).
void BlankMcuRow(Frame &f, int my, int fromMcu) {
  ColourModel model = ModelOf(f);
  for (int i = 0; i < f.count; ++i) {
    Component &c = f.comps[i];
    uint8_t fill = (model == ColourModel::kYCbCr || model == ColourModel::kYcck) && (i == 1 || i == 2) ? 128 : 0;
    if ((model == ColourModel::kCmyk || model == ColourModel::kYcck) && i == 3) fill = 0;
    for (int by = 0; by < c.v; ++by) {
      int from = fromMcu * c.h;
      if (from >= c.blocksW) continue;
      uint8_t *p = PlaneBlock(c, my * c.v + by, from);
      for (int r = 0; r < c.size; ++r) memset(p + r * c.stride, fill, static_cast<size_t>(c.blocksW - from) * c.size);
    }
  }
}

// ---------------------------------------------------------------------------------------------
// Baseline block decoding

// Decodes one sequential-mode block into `blk` (natural order, zeroed by the caller),
// multiplied by `q`. Returns -1 on a bad code, else 1 when AC coefficients are present.
int DecodeBlock(BitReader &br, Component &c, const HuffTable &dc, const HuffTable &ac, const uint16_t *q,
                int16_t *blk) {
  int t = br.Decode(dc);
  if (t < 0 || t > 15) return -1;
  int diff = br.Extend(t);
  c.dcPred = static_cast<int16_t>(c.dcPred + diff);
  blk[0] = Saturate16(c.dcPred * q[0]);
  int any = 0;
  // The bit buffer lives in registers for the short codes and goes back to the reader around
  // refills and long codes (through memory, each coefficient would wait on a store and a load).
  BitWord buf = br.buf;
  int bits = br.bits;
  int k = 1;
  while (k < 64) {
    if (kWordBits == 32 && br.TopUp(buf, bits)) {
      // Topped up to 24 bits or more.
    } else if (bits < 16) {
      br.buf = buf;
      br.bits = bits;
      br.Fill();
      buf = br.buf;
      bits = br.bits;
    }
    // Up to two codes per refill: a short code with its extra bits takes at most kFastBits, and a
    // refill leaves at least 16 (24 after a top-up, so the second test nearly always passes).
    for (int code = 0; code < 2 && k < 64; ++code) {
      if (code == 1 && bits < kFastBits) break;
      int32_t fa = ac.fastAc[buf >> (kWordBits - kFastBits)];
      if (fa) {
        buf <<= fa & 31;
        bits -= fa & 31;
        if (fa & kFastAcEob) goto done;
        k += (fa >> 5) & 15;
        if (k > 63) {
          any = -1;
          goto done;
        }
        int n = kZigzag[k];
        blk[n] = Saturate16((fa >> 16) * q[n]);
        any = 1;
        ++k;
        continue;
      }
      br.buf = buf;
      br.bits = bits;
      int rs = br.Decode(ac);
      int s = rs & 15, r = rs >> 4;
      if (rs >= 0 && s != 0) {
        k += r;
        if (k <= 63) {
          int n = kZigzag[k];
          blk[n] = Saturate16(br.Extend(s) * q[n]);
        }
      }
      buf = br.buf;
      bits = br.bits;
      if (rs < 0 || (s != 0 && k > 63)) {
        any = -1;
        goto done;
      }
      if (s == 0) {
        if (r != 15) goto done;
        k += 16;
        break;
      }
      any = 1;
      ++k;
      break;  // a long code may have left few bits: refill first
    }
  }
done:
  br.buf = buf;
  br.bits = bits;
  return any;
}

// Streams a baseline file whose first scan holds every component.
bool DecodeStreaming(Frame &f, size_t pos, RowSink &sink) {
  f.br.Start(f.data + pos, f.data + f.size);
  for (int i = 0; i < f.count; ++i) {
    Component &c = f.comps[i];
    if (!f.dcTables[c.dcTable].present || !f.acTables[c.acTable].present || !f.quantPresent[c.tq]) return false;
    Built(f.dcTables[c.dcTable]);
    Built(f.acTables[c.acTable]);
  }
  alignas(16) int16_t blk[64];
  int restartsLeft = f.restartInterval;
  bool ok = true;
  int my = 0;
  for (; my < f.mcusY && ok; ++my) {
    // Where each block row of this MCU row starts in its component's plane (found once per row,
    // not per block: the plane's ring slot takes a division).
    uint8_t *blockRows[kMaxComponents][4];
    for (int si = 0; si < f.scanCount; ++si) {
      Component &c = f.comps[f.scanComps[si]];
      for (int by = 0; by < c.v; ++by) blockRows[si][by] = PlaneBlock(c, my * c.v + by, 0);
    }
    int mx = 0;
    for (; mx < f.mcusX; ++mx) {
      if (f.restartInterval) {
        if (restartsLeft == 0) {
          if (!f.br.Restart()) {
            ok = false;
            break;
          }
          for (int i = 0; i < f.count; ++i) f.comps[i].dcPred = 0;
          restartsLeft = f.restartInterval;
        }
        --restartsLeft;
      }
      for (int si = 0; si < f.scanCount && ok; ++si) {
        Component &c = f.comps[f.scanComps[si]];
        const HuffTable &dc = f.dcTables[c.dcTable];
        const HuffTable &ac = f.acTables[c.acTable];
        const uint16_t *q = f.quant[c.tq];
        for (int by = 0; by < c.v && ok; ++by)
          for (int bx = 0; bx < c.h; ++bx) {
            ClearBlock(blk);
            int r = DecodeBlock(f.br, c, dc, ac, q, blk);
            if (r < 0) {
              ok = false;
              break;
            }
            uint8_t *out = blockRows[si][by] + static_cast<size_t>(mx * c.h + bx) * c.size;
            if (r == 0)
              InverseDctDcOnly(blk[0], c.size, out, c.stride);
            else
              InverseDct(blk, c.size, out, c.stride);
          }
      }
      if (!ok) break;
    }
    if (f.br.Overran()) ok = false;
    if (!ok) BlankMcuRow(f, my, mx);
    if (my >= 1) EmitMcuRow(f, my - 1, my + 1, sink);
  }
  EmitMcuRow(f, my - 1, my, sink);
  return ok;
}

// ---------------------------------------------------------------------------------------------
// Coefficient-buffered decoding (progressive and multi-scan sequential files)

// Progressive refinement depends on the history of every coefficient in its band, kept or not; a
// component that keeps only its DC skips its AC scans and needs none.
inline bool TracksNonzero(const Frame &f, const Component &c) { return f.progressive && c.stored > 1; }

// Chooses which coefficients each component keeps at the frame's scale; returns the bytes the
// store takes.
uint64_t PlanCoefficients(Frame &f) {
  uint64_t total = 0;
  for (int i = 0; i < f.count; ++i) {
    Component &c = f.comps[i];
    uint64_t used = JpegCoefficientsUsed(c.size);
    c.stored = 0;
    c.keptAc[0] = c.keptAc[1] = 0;
    for (int k = 0; k < 64; ++k) {
      int n = kZigzag[k];
      if ((used >> n) & 1) {
        c.naturalOfSlot[c.stored] = static_cast<uint8_t>(n);
        c.slotOfZz[k] = static_cast<int8_t>(c.stored++);
        if (k > 0) c.keptAc[k >> 5] |= 1u << (k & 31);
      } else {
        c.slotOfZz[k] = -1;
      }
    }
    uint64_t blocks = static_cast<uint64_t>(c.blocksW) * c.blocksH;
    total += blocks * (c.stored * 2 + (TracksNonzero(f, c) ? 8 : 0));
  }
  return total;
}

// False when the store would pass its bound; std::bad_alloc when its memory cannot be had.
bool AllocateCoefficients(Frame &f) {
  uint64_t total = PlanCoefficients(f);
  if (total > kMaxCoefficientBytes || total > SIZE_MAX / 2) return false;
  // One block for the whole frame, kept for the next picture: the nonzero sets (two 32-bit words a
  // block) first, so that they stay aligned, then the 16-bit coefficients. Every scan adds to zeros.
  void *block = f.coefficientStore.Take(BlockRole::kCoefficients, static_cast<size_t>(total));
  uint8_t *store = static_cast<uint8_t *>(block);
  if (store == nullptr) throw std::bad_alloc();
  memset(store, 0, static_cast<size_t>(total));
  uint64_t blocks = 0;
  for (int i = 0; i < f.count; ++i) {
    Component &c = f.comps[i];
    blocks += static_cast<uint64_t>(c.blocksW) * c.blocksH;
    if (TracksNonzero(f, c)) {
      c.nonzero = reinterpret_cast<uint32_t *>(store);
      store += static_cast<size_t>(c.blocksW) * c.blocksH * 8;
    }
  }
  for (int i = 0; i < f.count; ++i) {
    Component &c = f.comps[i];
    c.coefs = reinterpret_cast<int16_t *>(store);
    store += static_cast<size_t>(c.blocksW) * c.blocksH * c.stored * 2;
  }
  f.visitsLeft = blocks * kScanVisitsPerBlock;
  return true;
}

// Takes `count` block visits from what the scans may still make; false once they are spent.
bool SpendVisits(Frame &f, uint64_t count) {
  if (f.visitsLeft < count) return false;
  f.visitsLeft -= count;
  return true;
}

// Zig-zag positions k..63 and 0..k as two 32-bit words each, for k from 0 to 64.
struct BandTables {
  uint32_t from[65][2];
  uint32_t to[65][2];
  constexpr BandTables() : from(), to() {
    for (int k = 0; k <= 64; ++k)
      for (int b = 0; b < 64; ++b) {
        if (b >= k) from[k][b >> 5] |= 1u << (b & 31);
        if (b <= k) to[k][b >> 5] |= 1u << (b & 31);
      }
  }
};
constexpr BandTables kBand;

// Zig-zag positions from..to (from 1 to 64, to 0 to 63; none when from > to) as two 32-bit words.
inline void BandBits(int from, int to, uint32_t bits[2]) {
  bits[0] = kBand.from[from][0] & kBand.to[to][0];
  bits[1] = kBand.from[from][1] & kBand.to[to][1];
}

// The stored coefficient of a slot, or `scratch` for a coefficient not kept (slot -1), chosen
// without a branch: which positions are kept follows no pattern a predictor learns.
inline int16_t *KeptOrScratch(int16_t *co, int slot, int16_t *scratch) {
  uintptr_t unkept = uintptr_t(0) - uintptr_t(slot < 0);  // all ones when not kept
  uintptr_t kept = reinterpret_cast<uintptr_t>(co) + uintptr_t(intptr_t(slot)) * sizeof(int16_t);
  return reinterpret_cast<int16_t *>((kept & ~unkept) | (reinterpret_cast<uintptr_t>(scratch) & unkept));
}

// AC refinement: each coefficient at positions from..to that is already nonzero takes the next
// bit as its correction: when the bit is set and that bit of its magnitude is still clear, p1 is
// added with the coefficient's sign. They are visited by scanning the block's nonzero set, and
// the bit is applied without branching on it or on the sign: such branches go either way about
// as often, and mispredicted they made most of a progressive decode's time.
inline void CorrectNonzero(BitReader &br, const Component &c, int16_t *co, const uint32_t *nz, int from, int to,
                           int p1) {
  uint32_t band[2];
  BandBits(from, to, band);
  for (int w = 0; w < 2; ++w) {
    for (uint32_t left = band[w] & nz[w]; left != 0; left &= left - 1) {
      int k = 32 * w + __builtin_ctz(left);
      if (br.bits < 1) br.Fill();
      int bit = static_cast<int>(br.buf >> (kWordBits - 1));
      br.Skip(1);
      // A coefficient not kept at this scale only has its bit read; it is corrected in a scratch
      // value instead, so that kept and unkept take the same path.
      int16_t scratch = 1;
      int16_t *coefficient = KeptOrScratch(co, c.slotOfZz[k], &scratch);
      int v = *coefficient;
      int sign = v >> 31;             // 0 or -1
      int step = (p1 ^ sign) - sign;  // p1 with the coefficient's sign
      int apply = bit & ((v & p1) == 0 ? 1 : 0);
      *coefficient = Saturate16(v + (step & -apply));
    }
  }
}

// One block of a scan. Returns false on a bad code.
bool DecodeScanBlock(Frame &f, Component &c, int bx, int by) {
  size_t index = static_cast<size_t>(by) * c.blocksW + bx;
  int16_t *co = c.coefs + index * c.stored;
  uint32_t *nz = c.nonzero ? c.nonzero + 2 * index : nullptr;
  BitReader &br = f.br;
  if (!f.progressive) {
    alignas(16) int16_t blk[64];
    ClearBlock(blk);
    static const uint16_t kUnit[64] = {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,
                                       1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,
                                       1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1};
    if (DecodeBlock(br, c, f.dcTables[c.dcTable], f.acTables[c.acTable], kUnit, blk) < 0) return false;
    for (int s = 0; s < c.stored; ++s) co[s] = blk[c.naturalOfSlot[s]];
    return true;
  }
  if (f.ss == 0) {
    if (f.ah == 0) {
      int t = br.Decode(f.dcTables[c.dcTable]);
      if (t < 0 || t > 15) return false;
      c.dcPred = static_cast<int16_t>(c.dcPred + br.Extend(t));
      co[0] = Saturate16(c.dcPred * (1 << f.al));
    } else if (br.Bit()) {
      co[0] = static_cast<int16_t>(co[0] | (1 << f.al));
    }
    return true;
  }
  // AC scans run only for components that track nonzero coefficients (see DecodeBuffered).
  const HuffTable &ac = f.acTables[c.acTable];
  if (f.ah == 0) {
    if (f.eobrun > 0) {
      --f.eobrun;
      return true;
    }
    for (int k = f.ss; k <= f.se;) {
      int rs = br.Decode(ac);
      if (rs < 0) return false;
      int r = rs >> 4, s = rs & 15;
      if (s == 0) {
        if (r < 15) {
          f.eobrun = (1 << r) - 1;
          if (r) f.eobrun += br.Bits(r);
          break;
        }
        k += 16;
        continue;
      }
      k += r;
      if (k > f.se) return false;
      int slot = c.slotOfZz[k];
      int v = br.Extend(s) * (1 << f.al);
      if (slot >= 0) co[slot] = Saturate16(v);
      nz[k >> 5] |= 1u << (k & 31);  // v is not 0: s >= 1
      ++k;
    }
    return true;
  }
  // AC refinement: one correction bit for each coefficient already nonzero, new ones +-1. The
  // nonzero ones are found by scanning the block's nonzero set, not position by position.
  const int p1 = 1 << f.al, m1 = -p1;
  int k = f.ss;
  if (f.eobrun == 0) {
    while (k <= f.se) {
      int rs = br.Decode(ac);
      if (rs < 0) return false;
      int r = rs >> 4, s = rs & 15, value = 0;
      if (s) {
        value = br.Bit() ? p1 : m1;
      } else if (r != 15) {
        f.eobrun = 1 << r;
        if (r) f.eobrun += br.Bits(r);
        break;
      }
      // The new coefficient (or, for a run of 16 zeros, none) goes to the (r + 1)-th zero one from
      // k; the nonzero ones before it take their correction bits.
      uint32_t zeros[2];
      BandBits(k, f.se, zeros);
      zeros[0] &= ~nz[0];
      zeros[1] &= ~nz[1];
      for (; r > 0; --r) {
        if (zeros[0]) zeros[0] &= zeros[0] - 1;
        else zeros[1] &= zeros[1] - 1;
      }
      int target = zeros[0] ? __builtin_ctz(zeros[0]) : zeros[1] ? 32 + __builtin_ctz(zeros[1]) : f.se + 1;
      CorrectNonzero(br, c, co, nz, k, target - 1, p1);
      k = target;
      if (k > f.se) break;
      if (value) {
        int16_t scratch;
        *KeptOrScratch(co, c.slotOfZz[k], &scratch) = static_cast<int16_t>(value);
        nz[k >> 5] |= 1u << (k & 31);
      }
      ++k;
    }
  }
  if (f.eobrun > 0) {
    CorrectNonzero(br, c, co, nz, k, f.se, p1);
    --f.eobrun;
  }
  return true;
}

// Decodes the entropy-coded data of the current scan into the coefficient store.
bool DecodeScan(Frame &f, size_t pos) {
  f.br.Start(f.data + pos, f.data + f.size);
  f.eobrun = 0;
  for (int i = 0; i < f.scanCount; ++i) {
    Component &c = f.comps[f.scanComps[i]];
    c.dcPred = 0;
    bool needDc = !f.progressive || (f.ss == 0 && f.ah == 0);
    bool needAc = !f.progressive || f.ss > 0;
    if (needDc && !f.dcTables[c.dcTable].present) return false;
    if (needAc && !f.acTables[c.acTable].present) return false;
    if (needDc) Built(f.dcTables[c.dcTable]);
    if (needAc) Built(f.acTables[c.acTable]);
  }
  int restartsLeft = f.restartInterval;
  auto restart = [&]() -> bool {
    if (!f.restartInterval) return true;
    if (restartsLeft == 0) {
      if (!f.br.Restart()) return false;
      for (int i = 0; i < f.count; ++i) f.comps[i].dcPred = 0;
      f.eobrun = 0;
      restartsLeft = f.restartInterval;
    }
    --restartsLeft;
    return true;
  };
  if (f.scanCount == 1) {
    Component &c = f.comps[f.scanComps[0]];
    const bool acScan = f.progressive && f.ss > 0;
    for (int by = 0; by < c.codedBlocksH; ++by) {
      if (by / c.v + 1 > f.mcuRowsReached) f.mcuRowsReached = by / c.v + 1;
      for (int bx = 0; bx < c.codedBlocksW;) {
        if (!restart()) return false;
        if (!acScan || f.eobrun == 0) {
          if (!SpendVisits(f, 1) || !DecodeScanBlock(f, c, bx, by)) return false;
          ++bx;
          continue;
        }
        // Inside an end-of-band run: this block and the run's next ones in the row and the restart
        // interval at once. A first scan leaves them as they are, one visit for the lot; a
        // refinement reads a correction bit for each coefficient of theirs that is nonzero.
        int run = std::min(f.eobrun, c.codedBlocksW - bx);
        if (f.restartInterval) {
          run = std::min(run, restartsLeft + 1);
          restartsLeft -= run - 1;
        }
        f.eobrun -= run;
        if (!SpendVisits(f, f.ah == 0 ? 1 : static_cast<uint64_t>(run))) return false;
        if (f.ah != 0) {
          size_t index = static_cast<size_t>(by) * c.blocksW + bx;
          for (int i = 0; i < run; ++i, ++index)
            CorrectNonzero(f.br, c, c.coefs + index * c.stored, c.nonzero + 2 * index, f.ss, f.se, 1 << f.al);
        }
        bx += run;
      }
      if (f.br.Overran()) return false;
    }
    return true;
  }
  uint64_t mcuBlocks = 0;
  for (int i = 0; i < f.scanCount; ++i) mcuBlocks += f.comps[f.scanComps[i]].h * f.comps[f.scanComps[i]].v;
  for (int my = 0; my < f.mcusY; ++my) {
    if (my + 1 > f.mcuRowsReached) f.mcuRowsReached = my + 1;
    for (int mx = 0; mx < f.mcusX; ++mx) {
      if (!restart() || !SpendVisits(f, mcuBlocks)) return false;
      for (int i = 0; i < f.scanCount; ++i) {
        Component &c = f.comps[f.scanComps[i]];
        for (int by = 0; by < c.v; ++by)
          for (int bx = 0; bx < c.h; ++bx)
            if (!DecodeScanBlock(f, c, mx * c.h + bx, my * c.v + by)) return false;
      }
    }
    if (f.br.Overran()) return false;
  }
  return true;
}

// Turns the stored coefficients of MCU row `my` into samples.
void ReconstructMcuRow(Frame &f, int my) {
  alignas(16) int16_t blk[64];
  for (int i = 0; i < f.count; ++i) {
    Component &c = f.comps[i];
    const uint16_t *q = f.quant[c.tq];
    for (int by = my * c.v; by < (my + 1) * c.v; ++by) {
      uint8_t *row = PlaneBlock(c, by, 0);
      for (int bx = 0; bx < c.blocksW; ++bx) {
        size_t index = static_cast<size_t>(by) * c.blocksW + bx;
        const int16_t *co = c.coefs + index * c.stored;
        uint8_t *out = row + static_cast<size_t>(bx) * c.size;
        if (c.nonzero != nullptr) {
          // Progressive: the nonzero set tells which kept coefficients to take.
          const uint32_t *nz = c.nonzero + 2 * index;
          uint32_t kept[2] = {nz[0] & c.keptAc[0], nz[1] & c.keptAc[1]};
          if ((kept[0] | kept[1]) == 0) {
            InverseDctDcOnly(Saturate16(co[0] * q[0]), c.size, out, c.stride);
            continue;
          }
          ClearBlock(blk);
          blk[0] = Saturate16(co[0] * q[0]);
          for (int w = 0; w < 2; ++w)
            for (uint32_t left = kept[w]; left != 0; left &= left - 1) {
              int k = 32 * w + __builtin_ctz(left), n = kZigzag[k];
              blk[n] = Saturate16(co[c.slotOfZz[k]] * q[n]);
            }
          InverseDct(blk, c.size, out, c.stride);
          continue;
        }
        int ac = 0;
        for (int s = 1; s < c.stored; ++s) ac |= co[s];
        if (!ac) {
          InverseDctDcOnly(Saturate16(co[0] * q[0]), c.size, out, c.stride);
          continue;
        }
        ClearBlock(blk);
        for (int s = 0; s < c.stored; ++s) {
          int n = c.naturalOfSlot[s];
          blk[n] = Saturate16(co[s] * q[n]);
        }
        InverseDct(blk, c.size, out, c.stride);
      }
    }
  }
}

bool DecodeBuffered(Frame &f, size_t pos, RowSink &sink) {
  bool ok = false;
  int scans = 0;
  for (;;) {
    // The AC scans of a component that keeps only its DC (decoded at 1/8) change nothing it shows.
    bool skip = f.progressive && f.ss > 0 && f.comps[f.scanComps[0]].stored == 1;
    if (skip) {
      f.br.Start(f.data + pos, f.data + f.size);
    } else if (!DecodeScan(f, pos)) {
      break;
    }
    const uint8_t *m = f.br.NextMarker();
    pos = static_cast<size_t>(m - f.data);
    if (++scans > kMaxScans) break;
    Walk w = NextSegment(f, pos, false);
    if (w == Walk::kEndOfImage) ok = true;
    if (w != Walk::kScan) break;
  }
  for (int i = 0; i < f.count; ++i)
    if (!f.quantPresent[f.comps[i].tq]) return false;
  // After an error only the rows some scan reached are delivered; the caller blacks the rest.
  int rows = ok ? f.mcusY : (f.mcuRowsReached < f.mcusY ? f.mcuRowsReached : f.mcusY);
  for (int my = 0; my < rows; ++my) {
    ReconstructMcuRow(f, my);
    if (my >= 1) EmitMcuRow(f, my - 1, my + 1, sink);
  }
  if (rows > 0) EmitMcuRow(f, rows - 1, rows, sink);
  return ok;
}

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
  return streaming ? bytes : bytes + PlanCoefficients(*f);
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
