// Sequential-mode JPEG blocks, and the streaming decode of baseline files (one scan of every component).
#include "imgctl/core/jpeg_baseline.h"

#include "imgctl/core/jpeg_idct.h"
#include "imgctl/core/jpeg_output.h"

namespace imgctl {
namespace jpeg {

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

}  // namespace jpeg
}  // namespace imgctl
