// Coefficient-buffered JPEG decoding: progressive and multi-scan sequential files.
#include "imgctl/core/jpeg_buffered.h"

#include <string.h>

#include <algorithm>
#include <new>

#include "imgctl/core/jpeg_baseline.h"
#include "imgctl/core/jpeg_idct.h"
#include "imgctl/core/jpeg_markers.h"
#include "imgctl/core/jpeg_output.h"
#include "imgctl/core/kept_blocks.h"

namespace imgctl {
namespace jpeg {
namespace {

constexpr int kMaxScans = 1000;  // more scans than any encoder writes: bounds the work
// Block visits all scans of a coefficient-buffered file may make, per block of the frame. A scan
// visits each block of its components once (the blocks a first AC scan's end-of-band run leaves as
// they were cost one visit for the run); libjpeg's progression makes 6 scans of a grey picture and
// 10 of a colour one, 5 to 6 visits a block. A file past the bound is damaged: its later scans are
// not decoded.
constexpr uint64_t kScanVisitsPerBlock = 24;
// Coefficient storage for progressive and multi-scan files; beyond this the file is refused.
constexpr uint64_t kMaxCoefficientBytes = uint64_t{768} << 20;

// Progressive refinement depends on the history of every coefficient in its band, kept or not; a
// component that keeps only its DC skips its AC scans and needs none.
inline bool TracksNonzero(const Frame &f, const Component &c) { return f.progressive && c.stored > 1; }

}  // namespace

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

namespace {

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

}  // namespace

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

}  // namespace jpeg
}  // namespace imgctl
