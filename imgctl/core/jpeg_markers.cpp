// JPEG marker segments: frame and scan headers, tables, restart interval, EXIF, Adobe and ICC.
#include "imgctl/core/jpeg_markers.h"

#include <string.h>

#include "imgctl/core/embedded_colour.h"

namespace imgctl {
namespace jpeg {
namespace {

inline int Be16(const uint8_t *p) { return (p[0] << 8) | p[1]; }

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

}  // namespace

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

}  // namespace jpeg
}  // namespace imgctl
