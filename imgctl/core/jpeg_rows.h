// Row kernels of the JPEG decoder: chroma upsampling by two and YCbCr to BGRA conversion.
#pragma once
#include <stdint.h>

namespace imgctl {

// Triangle-filter ("fancy") upsampling of n >= 1 samples, as libjpeg rounds it. Each writes 2n
// (horizontal) or n (vertical only) samples to `out`. `near` is the sample row next to `cur` on
// the side the output row lies (above for the upper output row, below for the lower one).
void UpsampleH2V2(const uint8_t *cur, const uint8_t *near, int n, uint8_t *out);
void UpsampleH2V1(const uint8_t *cur, int n, uint8_t *out);
// `lower` tells which output row of the pair this is (the rounding differs).
void UpsampleH1V2(const uint8_t *cur, const uint8_t *near, int n, bool lower, uint8_t *out);

// JFIF YCbCr to 0xFFRRGGBB, 16-bit fixed point rounded as libjpeg rounds, n pixels.
void YCbCrToBgra(const uint8_t *y, const uint8_t *cb, const uint8_t *cr, int n, uint32_t *out);

}  // namespace imgctl
