// Output of a JPEG decode: geometry at the chosen scale, upsampling and colour conversion of rows.
#include "imgctl/core/jpeg_output.h"

#include <string.h>

#include "imgctl/core/jpeg_rows.h"

namespace imgctl {
namespace jpeg {

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
    c.planeRows = kPlaneRows;
    c.plane.assign(static_cast<size_t>(c.stride) * c.rowsPerMcuRow * kPlaneRows, 0);
    c.upRow.assign(static_cast<size_t>(c.realW) * c.upH + 16, 0);
  }
  f.row.assign(static_cast<size_t>(f.outW), 0);
  return true;
}

void SetPlaneRows(Frame &f, int rows) {
  for (int i = 0; i < f.count; ++i) {
    Component &c = f.comps[i];
    c.planeRows = rows;
    c.plane.assign(static_cast<size_t>(c.stride) * c.rowsPerMcuRow * rows, 0);
  }
}

namespace {

inline const uint8_t *PlaneRow(const Component &c, int r) {
  int slot = (r / c.rowsPerMcuRow) % c.planeRows;
  return c.plane.data() + (static_cast<size_t>(slot) * c.rowsPerMcuRow + r % c.rowsPerMcuRow) * c.stride;
}

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

}  // namespace

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

}  // namespace jpeg
}  // namespace imgctl
