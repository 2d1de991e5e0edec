// Coefficient-buffered JPEG decoding: progressive and multi-scan sequential files.
#include "imgctl/core/jpeg_buffered.h"

#include <string.h>

#include <algorithm>
#include <memory>
#include <new>
#include <vector>

#include "imgctl/core/interrupt.h"
#include "imgctl/core/jpeg_baseline.h"
#include "imgctl/core/jpeg_idct.h"
#include "imgctl/core/jpeg_markers.h"
#include "imgctl/core/jpeg_output.h"
#include "imgctl/core/kept_blocks.h"
#include "imgctl/core/task_board.h"
#include "imgctl/core/worker.h"

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
// Frames below this many blocks are decoded on the calling thread alone.
constexpr uint64_t kWorkerMinBlocks = 16384;
// A task that has to sleep until another has passed a row asks for this many rows more.
constexpr int32_t kWaitAhead = 4;

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

// A Huffman table as a DHT segment defines it, kept with each scan that uses it: a later DHT may
// define the same slot again while the scan is still being decoded on another thread.
struct TableDefinition {
  bool present;
  uint8_t counts[16];
  uint8_t symbols[256];
};

// One scan: its header, the restart interval and tables in force at it, where its data starts and
// the tasks it waits on (see DecodeOnBoard).
struct ScanHeader {
  int count;
  int comps[kMaxComponents];
  int dcSlot[kMaxComponents], acSlot[kMaxComponents];  // the table slots each scan component uses
  int ss, se, ah, al;
  int restartInterval;
  size_t data;
  bool skip;  // AC coefficients of a component that keeps only its DC (decoded at 1/8): nothing to do
  TableDefinition dc[4], ac[4];
  int after[2 * kMaxComponents];  // tasks decoded before it that touch what it touches
  int afterCount;
};

// Built tables for the scan one thread decodes.
struct ScanTables {
  HuffTable dc[4], ac[4];
};

// A scan being decoded: its reader, the state its blocks carry from one to the next, its tables.
struct ScanState {
  const ScanHeader *h = nullptr;
  BitReader br;
  int eobrun = 0;
  int dcPred[kMaxComponents] = {0, 0, 0, 0};
  const HuffTable *dc[kMaxComponents] = {nullptr, nullptr, nullptr, nullptr};
  const HuffTable *ac[kMaxComponents] = {nullptr, nullptr, nullptr, nullptr};
  uint64_t visitsLeft = 0;  // block visits this scan may still make
  int rowsReached = 0;      // MCU rows this scan has begun to decode into
};

// Takes `count` block visits from what the scans may still make; false once they are spent.
inline bool SpendVisits(ScanState &s, uint64_t count) {
  if (s.visitsLeft < count) return false;
  s.visitsLeft -= count;
  return true;
}

// How a scan meets the decode's other tasks: before each MCU row it waits until the scans it
// depends on have passed that row, and after it publishes its own progress. Without a board the
// scans run one after another and nothing waits.
struct ScanGate {
  TaskBoard *board = nullptr;
  int thread = 0;
  int task = 0;
  int32_t *rowsReached = nullptr;  // the most MCU rows any scan has begun (shared)

  bool Enter(ScanState &s, int mcuRow) const {
    if (mcuRow + 1 > s.rowsReached) s.rowsReached = mcuRow + 1;
    if (thread == 0 && DecodeInterrupted()) {
      if (board != nullptr) board->Abandon();
      return false;
    }
    if (board == nullptr) return true;
    int32_t seen = __atomic_load_n(rowsReached, __ATOMIC_RELAXED);
    while (seen < s.rowsReached &&
           !__atomic_compare_exchange_n(rowsReached, &seen, s.rowsReached, true, __ATOMIC_RELAXED, __ATOMIC_RELAXED)) {
    }
    for (int i = 0; i < s.h->afterCount; ++i)
      if (!board->WaitFor(thread, s.h->after[i], mcuRow + 1, kWaitAhead)) return false;
    return true;
  }
  void Leave(int mcuRowsDone) const {
    if (board != nullptr) board->Reach(task, mcuRowsDone);
  }
};

// One block of a scan. Returns false on a bad code.
bool DecodeScanBlock(const Frame &f, ScanState &scan, int si, const Component &c, int bx, int by) {
  size_t index = static_cast<size_t>(by) * c.blocksW + bx;
  int16_t *co = c.coefs + index * c.stored;
  uint32_t *nz = c.nonzero ? c.nonzero + 2 * index : nullptr;
  BitReader &br = scan.br;
  const ScanHeader &h = *scan.h;
  if (!f.progressive) {
    alignas(16) int16_t blk[64];
    ClearBlock(blk);
    // As coded: reconstruction multiplies by the quantisation steps.
    if (DecodeBlockRaw(br, scan.dcPred[si], *scan.dc[si], *scan.ac[si], blk) < 0) return false;
    for (int s = 0; s < c.stored; ++s) co[s] = blk[c.naturalOfSlot[s]];
    return true;
  }
  if (h.ss == 0) {
    if (h.ah == 0) {
      int t = br.Decode(*scan.dc[si]);
      if (t < 0 || t > 15) return false;
      scan.dcPred[si] = static_cast<int16_t>(scan.dcPred[si] + br.Extend(t));
      co[0] = Saturate16(scan.dcPred[si] * (1 << h.al));
    } else if (br.Bit()) {
      co[0] = static_cast<int16_t>(co[0] | (1 << h.al));
    }
    return true;
  }
  // AC scans run only for components that track nonzero coefficients (see DecodeBuffered).
  const HuffTable &ac = *scan.ac[si];
  if (h.ah == 0) {
    if (scan.eobrun > 0) {
      --scan.eobrun;
      return true;
    }
    for (int k = h.ss; k <= h.se;) {
      int rs = br.Decode(ac);
      if (rs < 0) return false;
      int r = rs >> 4, s = rs & 15;
      if (s == 0) {
        if (r < 15) {
          scan.eobrun = (1 << r) - 1;
          if (r) scan.eobrun += br.Bits(r);
          break;
        }
        k += 16;
        continue;
      }
      k += r;
      if (k > h.se) return false;
      int slot = c.slotOfZz[k];
      int v = br.Extend(s) * (1 << h.al);
      if (slot >= 0) co[slot] = Saturate16(v);
      nz[k >> 5] |= 1u << (k & 31);  // v is not 0: s >= 1
      ++k;
    }
    return true;
  }
  // AC refinement: one correction bit for each coefficient already nonzero, new ones +-1. The
  // nonzero ones are found by scanning the block's nonzero set, not position by position.
  const int p1 = 1 << h.al, m1 = -p1;
  int k = h.ss;
  if (scan.eobrun == 0) {
    while (k <= h.se) {
      int rs = br.Decode(ac);
      if (rs < 0) return false;
      int r = rs >> 4, s = rs & 15, value = 0;
      if (s) {
        value = br.Bit() ? p1 : m1;
      } else if (r != 15) {
        scan.eobrun = 1 << r;
        if (r) scan.eobrun += br.Bits(r);
        break;
      }
      // The new coefficient (or, for a run of 16 zeros, none) goes to the (r + 1)-th zero one from
      // k; the nonzero ones before it take their correction bits.
      uint32_t zeros[2];
      BandBits(k, h.se, zeros);
      zeros[0] &= ~nz[0];
      zeros[1] &= ~nz[1];
      for (; r > 0; --r) {
        if (zeros[0]) zeros[0] &= zeros[0] - 1;
        else zeros[1] &= zeros[1] - 1;
      }
      int target = zeros[0] ? __builtin_ctz(zeros[0]) : zeros[1] ? 32 + __builtin_ctz(zeros[1]) : h.se + 1;
      CorrectNonzero(br, c, co, nz, k, target - 1, p1);
      k = target;
      if (k > h.se) break;
      if (value) {
        int16_t scratch;
        *KeptOrScratch(co, c.slotOfZz[k], &scratch) = static_cast<int16_t>(value);
        nz[k >> 5] |= 1u << (k & 31);
      }
      ++k;
    }
  }
  if (scan.eobrun > 0) {
    CorrectNonzero(br, c, co, nz, k, h.se, p1);
    --scan.eobrun;
  }
  return true;
}

// Decodes the entropy-coded data of a scan into the coefficient store, MCU row by MCU row through
// the gate. False on a bad code, data that ends early or visits past the bound: the blocks from
// there on keep what earlier scans gave them.
bool DecodeScan(const Frame &f, ScanState &s, const ScanGate &gate) {
  const ScanHeader &h = *s.h;
  s.br.Start(f.data + h.data, f.data + f.size);
  const bool needDc = !f.progressive || (h.ss == 0 && h.ah == 0);
  const bool needAc = !f.progressive || h.ss > 0;
  for (int i = 0; i < h.count; ++i) {
    if ((needDc && s.dc[i] == nullptr) || (needAc && s.ac[i] == nullptr)) return false;
  }
  int restartsLeft = h.restartInterval;
  auto restart = [&]() -> bool {
    if (!h.restartInterval) return true;
    if (restartsLeft == 0) {
      if (!s.br.Restart()) return false;
      for (int i = 0; i < kMaxComponents; ++i) s.dcPred[i] = 0;
      s.eobrun = 0;
      restartsLeft = h.restartInterval;
    }
    --restartsLeft;
    return true;
  };
  if (h.count == 1) {
    const Component &c = f.comps[h.comps[0]];
    const bool acScan = f.progressive && h.ss > 0;
    for (int by = 0; by < c.codedBlocksH; ++by) {
      if (by % c.v == 0 && !gate.Enter(s, by / c.v)) return false;
      for (int bx = 0; bx < c.codedBlocksW;) {
        if (!restart()) return false;
        if (!acScan || s.eobrun == 0) {
          if (!SpendVisits(s, 1) || !DecodeScanBlock(f, s, 0, c, bx, by)) return false;
          ++bx;
          continue;
        }
        // Inside an end-of-band run: this block and the run's next ones in the row and the restart
        // interval at once. A first scan leaves them as they are, one visit for the lot; a
        // refinement reads a correction bit for each coefficient of theirs that is nonzero.
        int run = std::min(s.eobrun, c.codedBlocksW - bx);
        if (h.restartInterval) {
          run = std::min(run, restartsLeft + 1);
          restartsLeft -= run - 1;
        }
        s.eobrun -= run;
        if (!SpendVisits(s, h.ah == 0 ? 1 : static_cast<uint64_t>(run))) return false;
        if (h.ah != 0) {
          size_t index = static_cast<size_t>(by) * c.blocksW + bx;
          for (int i = 0; i < run; ++i, ++index)
            CorrectNonzero(s.br, c, c.coefs + index * c.stored, c.nonzero + 2 * index, h.ss, h.se, 1 << h.al);
        }
        bx += run;
      }
      if (s.br.Overran()) return false;
      if ((by + 1) % c.v == 0) gate.Leave((by + 1) / c.v);
    }
    return true;
  }
  uint64_t mcuBlocks = 0;
  for (int i = 0; i < h.count; ++i) mcuBlocks += f.comps[h.comps[i]].h * f.comps[h.comps[i]].v;
  for (int my = 0; my < f.mcusY; ++my) {
    if (!gate.Enter(s, my)) return false;
    for (int mx = 0; mx < f.mcusX; ++mx) {
      if (!restart() || !SpendVisits(s, mcuBlocks)) return false;
      for (int i = 0; i < h.count; ++i) {
        const Component &c = f.comps[h.comps[i]];
        for (int by = 0; by < c.v; ++by)
          for (int bx = 0; bx < c.h; ++bx)
            if (!DecodeScanBlock(f, s, i, c, mx * c.h + bx, my * c.v + by)) return false;
      }
    }
    if (s.br.Overran()) return false;
    gate.Leave(my + 1);
  }
  return true;
}

// Points the scan's state at its tables, built from the definitions it keeps.
void SetUpScan(const ScanHeader &h, ScanTables &tables, ScanState &s) {
  s.h = &h;
  for (int i = 0; i < h.count; ++i) {
    s.dc[i] = s.ac[i] = nullptr;
    const TableDefinition *defs[2] = {&h.dc[h.dcSlot[i]], &h.ac[h.acSlot[i]]};
    HuffTable *built[2] = {&tables.dc[h.dcSlot[i]], &tables.ac[h.acSlot[i]]};
    for (int k = 0; k < 2; ++k) {
      if (!defs[k]->present) continue;
      HuffTable &t = *built[k];
      if (!t.present || t.ac != (k == 1) || memcmp(t.counts, defs[k]->counts, sizeof(t.counts)) != 0 ||
          memcmp(t.symbols, defs[k]->symbols, sizeof(t.symbols)) != 0) {
        t.present = true;
        t.ac = k == 1;
        memcpy(t.counts, defs[k]->counts, sizeof(t.counts));
        memcpy(t.symbols, defs[k]->symbols, sizeof(t.symbols));
        t.built = false;
      }
      (k == 0 ? s.dc[i] : s.ac[i]) = &Built(t);
    }
  }
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

// ---------------------------------------------------------------------------------------------
// The scans as a list of tasks

namespace {

// Reads every scan header from the first one's (already read, at `pos`) to the end of the image,
// with the tables in force at each; the next segment after a scan is found by its marker. Returns
// how the walk ended: kEndOfImage for a whole file.
Walk ReadScans(Frame &f, size_t pos, std::vector<ScanHeader> &scans) {
  for (;;) {
    scans.emplace_back();
    ScanHeader &h = scans.back();
    memset(&h, 0, sizeof(h));
    h.count = f.scanCount;
    h.ss = f.ss;
    h.se = f.se;
    h.ah = f.ah;
    h.al = f.al;
    h.restartInterval = f.restartInterval;
    h.data = pos;
    h.skip = f.progressive && f.ss > 0 && f.comps[f.scanComps[0]].stored == 1;
    const bool needDc = !f.progressive || (f.ss == 0 && f.ah == 0);
    const bool needAc = !f.progressive || f.ss > 0;
    for (int i = 0; i < h.count; ++i) {
      const Component &c = f.comps[f.scanComps[i]];
      h.comps[i] = f.scanComps[i];
      h.dcSlot[i] = c.dcTable;
      h.acSlot[i] = c.acTable;
      const HuffTable *from[2] = {needDc ? &f.dcTables[c.dcTable] : nullptr, needAc ? &f.acTables[c.acTable] : nullptr};
      TableDefinition *to[2] = {&h.dc[c.dcTable], &h.ac[c.acTable]};
      for (int k = 0; k < 2; ++k) {
        if (from[k] == nullptr || !from[k]->present) continue;
        to[k]->present = true;
        memcpy(to[k]->counts, from[k]->counts, sizeof(to[k]->counts));
        memcpy(to[k]->symbols, from[k]->symbols, sizeof(to[k]->symbols));
      }
    }
    BitReader br;
    br.Start(f.data + pos, f.data + f.size);
    pos = static_cast<size_t>(br.NextMarker() - f.data);
    if (scans.size() > size_t(kMaxScans)) return Walk::kError;
    Walk w = NextSegment(f, pos, false);
    if (w != Walk::kScan) return w;
  }
}

// Whether scan `a` touches what scan `b` touches: a component of both, and both its DC or both its
// AC coefficients (a sequential scan, all of them). The DC of a block and its AC coefficients are
// kept apart, as are the nonzero sets, which only AC scans use.
bool Overlap(const Frame &f, const ScanHeader &a, const ScanHeader &b) {
  const bool aDc = !f.progressive || a.ss == 0, aAc = !f.progressive || a.ss > 0;
  const bool bDc = !f.progressive || b.ss == 0, bAc = !f.progressive || b.ss > 0;
  if (!((aDc && bDc) || (aAc && bAc))) return false;
  for (int i = 0; i < a.count; ++i)
    for (int j = 0; j < b.count; ++j)
      if (a.comps[i] == b.comps[j]) return true;
  return false;
}

// Each scan waits on the latest earlier scan of each component and kind (DC, AC) it touches; that
// one has itself waited on the ones before it. The reconstruction, task scans.size(), waits on the
// last scan of each.
void LinkScans(const Frame &f, std::vector<ScanHeader> &scans, int last[2 * kMaxComponents], int *lastCount) {
  int latest[kMaxComponents][2];
  for (auto &l : latest) l[0] = l[1] = -1;
  for (size_t j = 0; j < scans.size(); ++j) {
    ScanHeader &h = scans[j];
    h.afterCount = 0;
    if (h.skip) continue;
    for (int i = 0; i < h.count; ++i)
      for (int kind = 0; kind < 2; ++kind) {
        const bool touches = !f.progressive || (kind == 0 ? h.ss == 0 : h.ss > 0);
        int before = latest[h.comps[i]][kind];
        if (!touches) continue;
        bool listed = false;
        for (int k = 0; k < h.afterCount; ++k) listed = listed || h.after[k] == before;
        if (before >= 0 && !listed && Overlap(f, scans[size_t(before)], h)) h.after[h.afterCount++] = before;
        latest[h.comps[i]][kind] = int(j);
      }
  }
  *lastCount = 0;
  for (auto &l : latest)
    for (int kind = 0; kind < 2; ++kind) {
      bool listed = false;
      for (int k = 0; k < *lastCount; ++k) listed = listed || last[k] == l[kind];
      if (l[kind] >= 0 && !listed) last[(*lastCount)++] = l[kind];
    }
}

// A decode of the scan list by one or two threads.
struct Board {
  Frame *f;
  RowSink *sink;
  const std::vector<ScanHeader> *scans;
  std::vector<int32_t> progress;  // per task
  TaskBoard board;
  ScanTables tables[2];           // per thread
  uint64_t visitsPerScan;
  int32_t rowsReached = 0;        // the most MCU rows any scan has begun
  int32_t failedScans = 0;
  int last[2 * kMaxComponents];   // what the reconstruction waits on
  int lastCount = 0;
  Board(Frame &frame, RowSink &s, const std::vector<ScanHeader> &list)
      : f(&frame), sink(&s), scans(&list), progress(list.size() + 1, 0),
        board(progress.data(), int32_t(list.size() + 1)) {}
};

// Turns the MCU rows into samples and hands them to the sink, each once every scan has passed it;
// it stops before the first row that no scan reached (the caller blacks the rest).
void Reconstruct(Board &b, int thread) {
  Frame &f = *b.f;
  int my = 0;
  for (; my < f.mcusY; ++my) {
    if (thread == 0 && DecodeInterrupted()) {
      b.board.Abandon();
      return;
    }
    for (int i = 0; i < b.lastCount; ++i)
      if (!b.board.WaitFor(thread, b.last[i], my + 1, kWaitAhead)) return;
    if (__atomic_load_n(&b.rowsReached, __ATOMIC_RELAXED) <= my) break;
    ReconstructMcuRow(f, my);
    if (my >= 1) EmitMcuRow(f, my - 1, my + 1, *b.sink);
  }
  if (my > 0) EmitMcuRow(f, my - 1, my, *b.sink);
}

void RunTasks(Board &b, int thread) {
  for (int32_t task = b.board.Take(); task >= 0; task = b.board.Take()) {
    if (size_t(task) == b.scans->size()) {
      Reconstruct(b, thread);
      continue;
    }
    const ScanHeader &h = (*b.scans)[size_t(task)];
    if (!h.skip) {
      ScanState s;
      SetUpScan(h, b.tables[thread], s);
      s.visitsLeft = b.visitsPerScan;
      ScanGate gate;
      gate.board = &b.board;
      gate.thread = thread;
      gate.task = task;
      gate.rowsReached = &b.rowsReached;
      if (!DecodeScan(*b.f, s, gate)) {
        __atomic_fetch_add(&b.failedScans, 1, __ATOMIC_RELAXED);
        // Whoever waits on this scan takes its rows as passed by the scans before it too: it
        // reports itself done only once they are.
        for (int i = 0; i < h.afterCount; ++i) b.board.WaitFor(thread, h.after[i], TaskBoard::kDone, 0);
      }
    }
    b.board.Reach(task, TaskBoard::kDone);
  }
}

void WorkerTasks(void *context) {
  Board &b = *static_cast<Board *>(context);
  try {
    RunTasks(b, 1);
  } catch (...) {
    b.board.Abandon();  // the sink ran short of memory: the caller stops too, and throws it
    throw;
  }
}

// The scans as tasks on the board, on two threads when there is a worker. A scan that fails leaves
// its blocks from there on as they were and takes nothing from the others, so the result does not
// depend on which thread decoded what, or on how far the other had come.
void DecodeOnBoard(Frame &f, std::vector<ScanHeader> &scans, uint64_t blocks, RowSink &sink, bool *ok) {
  std::unique_ptr<Board> b(new Board(f, sink, scans));
  LinkScans(f, scans, b->last, &b->lastCount);
  b->visitsPerScan = blocks;
  Worker worker;
  if (blocks >= kWorkerMinBlocks && b->board.Prepare()) worker.Start(WorkerTasks, b.get(), nullptr);
  try {
    RunTasks(*b, 0);
  } catch (...) {
    b->board.Abandon();
    throw;
  }
  // A worker that never came to the job leaves it to the caller, who has run every task by now.
  if (!worker.EndJob()) throw std::bad_alloc();
  *ok = *ok && b->failedScans == 0;
}

// The scans one after another, each only once the ones before it decoded whole, within one bound
// on the visits of all of them: the way for files whose scans together may visit their blocks
// more often than the bound allows. The first scan that fails ends the decode.
void DecodeInOrder(Frame &f, const std::vector<ScanHeader> &scans, uint64_t visits, RowSink &sink, bool *ok) {
  std::unique_ptr<ScanTables> tables(new ScanTables());
  ScanState s;
  s.visitsLeft = visits;
  ScanGate gate;
  for (const ScanHeader &h : scans) {
    if (h.skip) continue;
    SetUpScan(h, *tables, s);
    s.br = BitReader();
    s.eobrun = 0;
    for (int &p : s.dcPred) p = 0;
    if (!DecodeScan(f, s, gate)) {
      *ok = false;
      break;
    }
  }
  int rows = *ok ? f.mcusY : (s.rowsReached < f.mcusY ? s.rowsReached : f.mcusY);
  for (int my = 0; my < rows; ++my) {
    ReconstructMcuRow(f, my);
    if (my >= 1) EmitMcuRow(f, my - 1, my + 1, sink);
  }
  if (rows > 0) EmitMcuRow(f, rows - 1, rows, sink);
}

// The most visits a scan can make: one for each block it codes.
uint64_t MostVisits(const Frame &f, const ScanHeader &h) {
  if (h.skip) return 0;
  if (h.count == 1) {
    const Component &c = f.comps[h.comps[0]];
    return uint64_t(c.codedBlocksW) * uint64_t(c.codedBlocksH);
  }
  uint64_t mcuBlocks = 0;
  for (int i = 0; i < h.count; ++i) mcuBlocks += uint64_t(f.comps[h.comps[i]].h) * f.comps[h.comps[i]].v;
  return mcuBlocks * uint64_t(f.mcusX) * uint64_t(f.mcusY);
}

}  // namespace

uint64_t BufferedWorkingBytes(Frame &f) { return PlanCoefficients(f) + sizeof(Board); }

bool DecodeBuffered(Frame &f, size_t pos, RowSink &sink) {
  std::vector<ScanHeader> scans;
  Walk end = ReadScans(f, pos, scans);
  for (int i = 0; i < f.count; ++i)
    if (!f.quantPresent[f.comps[i].tq]) return false;
  bool ok = end == Walk::kEndOfImage;
  uint64_t blocks = 0, most = 0;
  for (int i = 0; i < f.count; ++i) blocks += uint64_t(f.comps[i].blocksW) * f.comps[i].blocksH;
  for (const ScanHeader &h : scans) most += MostVisits(f, h);
  const uint64_t visits = blocks * kScanVisitsPerBlock;
  if (most <= visits)
    DecodeOnBoard(f, scans, blocks, sink, &ok);
  else
    DecodeInOrder(f, scans, visits, sink, &ok);
  return ok;
}

}  // namespace jpeg
}  // namespace imgctl
