// Sequential-mode JPEG blocks, and the streaming decode of baseline files (one scan of every component).
#pragma once
#include <stddef.h>
#include <stdint.h>

#include "imgctl/core/decoder.h"
#include "imgctl/core/jpeg_bit_reader.h"
#include "imgctl/core/jpeg_frame.h"
#include "imgctl/core/jpeg_huffman.h"

namespace imgctl {
namespace jpeg {

// Decodes one sequential-mode block into `blk` (natural order, zeroed by the caller),
// multiplied by `q`; `dcPred` is its component's DC prediction. Returns -1 on a bad code, else 1 when AC coefficients are present.
int DecodeBlock(BitReader &br, int &dcPred, const HuffTable &dc, const HuffTable &ac, const uint16_t *q,
                int16_t *blk);
// The same with the coefficients left as coded (each fits 16 bits), for a multiplication by the
// quantisation steps later (Saturate16(coded * q) gives DecodeBlock's).
int DecodeBlockRaw(BitReader &br, int &dcPred, const HuffTable &dc, const HuffTable &ac, int16_t *blk);

// Bytes a streaming decode of the frame holds besides its three MCU rows of samples: the ring of
// coefficient rows, or at full size more rows of samples.
uint64_t StreamingRingBytes(const Frame &f);

// Streams a baseline file whose first scan holds every component, starting at `pos` after its
// header; the rows go to the sink MCU row by MCU row. False on corrupt or short data.
bool DecodeStreaming(Frame &f, size_t pos, RowSink &sink);

}  // namespace jpeg
}  // namespace imgctl
