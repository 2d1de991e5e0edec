// Sequential-mode JPEG blocks, and the streaming decode of baseline files (one scan of every component).
#include "imgctl/core/jpeg_baseline.h"

#include <string.h>

#include <new>

#include "imgctl/core/handover.h"
#include "imgctl/core/interrupt.h"
#include "imgctl/core/jpeg_idct.h"
#include "imgctl/core/jpeg_output.h"

namespace imgctl {
namespace jpeg {

namespace {

// A coefficient as the caller wants it: multiplied by its quantisation step and held to the
// inverse DCT's range, or (kRaw) as coded, which fits 16 bits.
template <bool kRaw>
inline int16_t Coefficient(int32_t value, const uint16_t *q, int n) {
  return kRaw ? static_cast<int16_t>(value) : Saturate16(value * q[n]);
}

template <bool kRaw>
int DecodeBlockAs(BitReader &br, int &dcPred, const HuffTable &dc, const HuffTable &ac, const uint16_t *q,
                  int16_t *blk) {
  // The bit buffer lives in registers for the short codes and goes back to the reader around
  // refills and long codes (through memory, each coefficient would wait on a store and a load).
  BitWord buf = br.buf;
  int bits = br.bits;
  if (bits < kFastBits) {
    br.Fill();
    buf = br.buf;
    bits = br.bits;
  }
  int32_t fd = dc.fastValue[buf >> (kWordBits - kFastBits)];
  int diff;
  if (fd) {
    buf <<= fd & (kWordBits - 1);  // the length (see fastValue); the shift takes no other bits
    bits -= fd & 31;
    diff = fd >> 16;
  } else {
    int t = br.Decode(dc);
    if (t < 0 || t > 15) return -1;
    diff = br.Extend(t);
    buf = br.buf;
    bits = br.bits;
  }
  dcPred = static_cast<int16_t>(dcPred + diff);
  blk[0] = Coefficient<kRaw>(dcPred, q, 0);
  int any = 0;
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
      int32_t fa = ac.fastValue[buf >> (kWordBits - kFastBits)];
      const int first = k + ((fa >> kFastRunShift) & 15);
      // A coefficient at 63 ends the block: the bits after it are the next block's, so that one
      // takes the long way, which reads a single symbol.
      if (fa && first < 63) {
        buf <<= fa & (kWordBits - 1);
        bits -= fa & 31;
        // One or two coefficients, with no branch on which: the second is written first, so that
        // an entry without one (offset 0, value 0) writes a zero where the first then goes. An
        // entry ending the block writes a zero at k, which no coefficient has reached yet.
        k = first;
        const int second = k + ((fa >> kFastSecondShift) & 31);
        if (second > 63) {
          any = -1;
          goto done;
        }
        int n = kZigzag[second];
        blk[n] = Coefficient<kRaw>(FastSecondValue(fa), q, n);
        n = kZigzag[k];
        blk[n] = Coefficient<kRaw>(FastFirstValue(fa), q, n);
        k = second + 1;
        if (fa & (kFastAcEob | kFastAcEobAfter)) {
          if (!(fa & kFastAcEob)) any = 1;
          goto done;
        }
        any = 1;
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
          blk[n] = Coefficient<kRaw>(br.Extend(s), q, n);
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

}  // namespace

int DecodeBlock(BitReader &br, int &dcPred, const HuffTable &dc, const HuffTable &ac, const uint16_t *q,
                int16_t *blk) {
  return DecodeBlockAs<false>(br, dcPred, dc, ac, q, blk);
}

int DecodeBlockRaw(BitReader &br, int &dcPred, const HuffTable &dc, const HuffTable &ac, int16_t *blk) {
  return DecodeBlockAs<true>(br, dcPred, dc, ac, nullptr, blk);
}

namespace {

// Baseline files on two threads. The caller decodes the entropy-coded data of each MCU row; the
// worker upsamples, converts and resamples its rows. The inverse DCT goes to whichever side has
// less to do: at 1/2 to 1/8 the rows after it are small and the entropy decoding is the larger part,
// so the caller leaves the coefficients in a ring of MCU rows and the worker turns them into samples;
// at full size the rows' later stages are the larger part, so the caller writes samples into planes
// of a few more MCU rows than emitting needs. Without a worker the caller does both, row by row.
// The coefficient ring holds this many MCU rows; sample planes hold two more than the ring, since
// emitting a row reads the rows above and below it.
constexpr int32_t kRingRows = 4;
// Frames below this many blocks are decoded on the calling thread alone: handing rows over costs
// more than it saves.
constexpr uint64_t kWorkerMinBlocks = 16384;
// Each block of the ring: 64 coefficients and whether it has AC ones; and 15 bytes to start the ring
// on a 16-byte boundary, since blocks are cleared with 16-byte stores and the heap of the 32-bit
// build does not promise that alignment.
constexpr size_t kRingBlockBytes = 64 * 2 + 1;
constexpr size_t kRingAlignment = 15;

struct BaselineRows {
  Frame *f = nullptr;
  RowSink *sink = nullptr;
  bool samples = false;                      // the caller does the inverse DCT (full-size decodes)
  size_t blocksPerRow = 0;                   // blocks of one MCU row, every component
  size_t firstBlock[kMaxComponents] = {};    // where each scan component's blocks start in a row
  int16_t *coefficients = nullptr;           // kRingRows x blocksPerRow blocks of 64, natural order
  uint8_t *withAc = nullptr;                 // per block: AC coefficients present
  int blankFrom[kRingRows] = {};             // per ring row: the first MCU column left black
  KeptBlock store;
  Handover handover;  // rows are finished by either thread (see Handover)
  BaselineRows(int32_t mcuRows, bool samplesOnCaller)
      : samples(samplesOnCaller),
        handover(mcuRows, samplesOnCaller ? kRingRows + kPlaneRows - 1 : kRingRows, samplesOnCaller ? 2 : 0) {}
};

// Sets up the ring of coefficient rows; std::bad_alloc when its memory cannot be had.
void TakeRing(Frame &f, BaselineRows &rows) {
  for (int si = 0; si < f.scanCount; ++si) {
    const Component &c = f.comps[f.scanComps[si]];
    rows.firstBlock[si] = rows.blocksPerRow;
    rows.blocksPerRow += static_cast<size_t>(c.v) * c.blocksW;
  }
  if (rows.samples) return;
  size_t blocks = rows.blocksPerRow * kRingRows;
  uint8_t *block =
      static_cast<uint8_t *>(rows.store.Take(BlockRole::kCoefficients, blocks * kRingBlockBytes + kRingAlignment));
  if (block == nullptr) throw std::bad_alloc();
  block += (16 - reinterpret_cast<uintptr_t>(block) % 16) % 16;
  rows.coefficients = reinterpret_cast<int16_t *>(block);
  rows.withAc = block + blocks * 64 * 2;
  // Rows are decoded into cleared blocks, and finishing a row clears its blocks again. A kept block
  // may still hold an earlier decode's coefficients: one that stopped at a damaged MCU (which is
  // never finished) or was cut short by running out of memory.
  memset(rows.coefficients, 0, blocks * 64 * 2);
}

// Decodes the entropy-coded data of MCU row `my`, into its ring row or (samples) straight into the
// planes. False when decoding stops after this row (the row's MCUs from its blankFrom on are black).
bool DecodeMcuRow(Frame &f, BaselineRows &rows, int my, int &restartsLeft) {
  const int ring = my % kRingRows;
  int16_t *coefficients = nullptr;
  uint8_t *withAc = nullptr;
  if (!rows.samples) {
    coefficients = rows.coefficients + static_cast<size_t>(ring) * rows.blocksPerRow * 64;
    withAc = rows.withAc + static_cast<size_t>(ring) * rows.blocksPerRow;
  }
  alignas(16) int16_t sampleBlock[64];
  // Where each block row of this MCU row starts in its component's plane (found once per row, not
  // per block: the plane's ring slot takes a division).
  uint8_t *planeRows[kMaxComponents][4];
  if (rows.samples)
    for (int si = 0; si < f.scanCount; ++si) {
      Component &c = f.comps[f.scanComps[si]];
      for (int by = 0; by < c.v; ++by) planeRows[si][by] = PlaneBlock(c, my * c.v + by, 0);
    }
  bool ok = true;
  int mx = 0;
  for (; mx < f.mcusX && ok; ++mx) {
    if (f.restartInterval) {
      if (restartsLeft == 0) {
        if (!f.br.Restart()) break;
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
      for (int by = 0; by < c.v && ok; ++by) {
        size_t index = rows.firstBlock[si] + static_cast<size_t>(by) * c.blocksW + static_cast<size_t>(mx) * c.h;
        for (int bx = 0; bx < c.h; ++bx, ++index) {
          if (!rows.samples) {
            // Into a ring block, cleared by its last finishing (or by TakeRing), as coded: the
            // finishing thread dequantizes.
            int r = DecodeBlockRaw(f.br, c.dcPred, dc, ac, &coefficients[index * 64]);
            if (r < 0) {
              ok = false;
              break;
            }
            withAc[index] = static_cast<uint8_t>(r);
            continue;
          }
          int16_t *blk = sampleBlock;
          ClearBlock(blk);
          int r = DecodeBlock(f.br, c.dcPred, dc, ac, q, blk);
          if (r < 0) {
            ok = false;
            break;
          }
          uint8_t *out = planeRows[si][by] + static_cast<size_t>(mx * c.h + bx) * c.size;
          if (r == 0)
            InverseDctDcOnly(blk[0], c.size, out, c.stride);
          else
            InverseDct(blk, c.size, out, c.stride);
        }
      }
    }
    if (!ok) break;
  }
  if (rows.samples) {
    if (mx < f.mcusX) BlankMcuRow(f, my, mx);
  } else {
    rows.blankFrom[ring] = mx;
  }
  return mx == f.mcusX && !f.br.Overran();
}

// Turns MCU row `my` into samples (unless the caller did) and hands the rows it completes to the sink.
void FinishMcuRow(Frame &f, BaselineRows &rows, int my) {
  if (!rows.samples) {
    const int ring = my % kRingRows;
    int16_t *coefficients = rows.coefficients + static_cast<size_t>(ring) * rows.blocksPerRow * 64;
    const uint8_t *withAc = rows.withAc + static_cast<size_t>(ring) * rows.blocksPerRow;
    const int blankFrom = rows.blankFrom[ring];
    alignas(16) int16_t dequantized[64];
    for (int si = 0; si < f.scanCount; ++si) {
      Component &c = f.comps[f.scanComps[si]];
      const uint16_t *q = f.quant[c.tq];
      const int blocks = blankFrom * c.h;
      for (int by = 0; by < c.v; ++by) {
        uint8_t *out = PlaneBlock(c, my * c.v + by, 0);
        size_t index = rows.firstBlock[si] + static_cast<size_t>(by) * c.blocksW;
        for (int bx = 0; bx < blocks; ++bx, ++index, out += c.size) {
          // The block is left cleared for the row that next comes into this ring slot.
          int16_t *blk = coefficients + index * 64;
          if (withAc[index]) {
            Dequantize(blk, q, dequantized);
            ClearBlock(blk);
            InverseDct(dequantized, c.size, out, c.stride);
          } else {
            InverseDctDcOnly(Saturate16(blk[0] * q[0]), c.size, out, c.stride);
            blk[0] = 0;
          }
        }
      }
    }
    if (blankFrom < f.mcusX) BlankMcuRow(f, my, blankFrom);
  }
  if (my >= 1) EmitMcuRow(f, my - 1, my + 1, *rows.sink);
}

// A row's finishing, as the hand-over runs it on either thread: it never fails (damage leaves
// the rest of the row black).
struct RowFinish {
  BaselineRows &rows;
  bool operator()(int32_t my) const {
    FinishMcuRow(*rows.f, rows, my);
    return true;
  }
};

void FinishRowsJob(void *context) {
  BaselineRows &rows = *static_cast<BaselineRows *>(context);
  rows.handover.FinishAsFilled(RowFinish{rows});
}

}  // namespace

uint64_t StreamingRingBytes(const Frame &f) {
  uint64_t blocks = 0, planeRowBytes = 0;
  for (int si = 0; si < f.scanCount; ++si) {
    const Component &c = f.comps[f.scanComps[si]];
    blocks += uint64_t(c.v) * c.blocksW;
    planeRowBytes += uint64_t(c.stride) * c.rowsPerMcuRow;
  }
  // Full-size decodes hold more plane rows instead of the coefficient ring.
  if (f.scale == 1) return planeRowBytes * (kRingRows - 1);
  return blocks * kRingRows * kRingBlockBytes + kRingAlignment;
}

bool DecodeStreaming(Frame &f, size_t pos, RowSink &sink) {
  f.br.Start(f.data + pos, f.data + f.size);
  for (int i = 0; i < f.count; ++i) {
    Component &c = f.comps[i];
    if (!f.dcTables[c.dcTable].present || !f.acTables[c.acTable].present || !f.quantPresent[c.tq]) return false;
    Built(f.dcTables[c.dcTable]);
    Built(f.acTables[c.acTable]);
  }
  BaselineRows rows(f.mcusY, f.scale == 1);
  rows.f = &f;
  rows.sink = &sink;
  TakeRing(f, rows);
  Worker worker;
  bool beside = false;
  if (uint64_t(rows.blocksPerRow) * f.mcusY >= kWorkerMinBlocks && rows.handover.Prepare()) {
    if (rows.samples) SetPlaneRows(f, kRingRows + kPlaneRows - 1);
    beside = worker.Start(FinishRowsJob, &rows, rows.handover.UsedProgress());
  }
  int restartsLeft = f.restartInterval;
  bool ok = true;
  try {
    for (int my = 0; my < f.mcusY && ok; ++my) {
      // A full ring: the caller finishes the oldest rows itself unless the worker is at them. False
      // when the worker stopped (memory ran short).
      if (beside && !rows.handover.MakeRoom(my, RowFinish{rows})) break;
      if (DecodeInterrupted()) {
        ok = false;
        break;
      }
      ok = DecodeMcuRow(f, rows, my, restartsLeft);
      rows.handover.Filled(my);
      if (!beside) rows.handover.FinishNext(RowFinish{rows});
    }
  } catch (...) {
    rows.handover.GiveUp();
    throw;
  }
  rows.handover.StopFilling();
  // The worker not come yet, or gone on: the rows left are the caller's.
  if (!worker.EndJob()) throw std::bad_alloc();
  while (rows.handover.FinishNext(RowFinish{rows})) {
  }
  const int32_t finished = rows.handover.Finished();
  if (finished > 0) EmitMcuRow(f, finished - 1, finished, sink);
  return ok;
}

}  // namespace jpeg
}  // namespace imgctl
