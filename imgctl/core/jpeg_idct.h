// Inverse DCTs of one JPEG block to 8x8 pixels or straight to its 4x4, 2x2 or 1x1 box average.
#pragma once
#include <stddef.h>
#include <stdint.h>

namespace imgctl {

// Every transform takes 64 dequantized coefficients in natural (row-major) order, each
// within +-kJpegMaxCoefficient, and writes size x size pixels (0..255) with the given
// row stride. The reduced sizes give the box average of the full 8x8 result over 2x2,
// 4x4 or 8x8 pixels, computed directly in the DCT domain.
constexpr int kJpegMaxCoefficient = 16383;

void InverseDct8(const int16_t *coefficients, uint8_t *out, ptrdiff_t stride);
void InverseDct4(const int16_t *coefficients, uint8_t *out, ptrdiff_t stride);
void InverseDct2(const int16_t *coefficients, uint8_t *out, ptrdiff_t stride);
// Fills size x size pixels with the block's mean (the result of any size when only DC is set).
void InverseDctDcOnly(int16_t dc, int size, uint8_t *out, ptrdiff_t stride);
// Runs the transform of the given size (8, 4, 2 or 1).
void InverseDct(const int16_t *coefficients, int size, uint8_t *out, ptrdiff_t stride);

// 64 coefficients as coded times their quantisation steps, each product held to
// +-kJpegMaxCoefficient: what the transforms take.
void Dequantize(const int16_t *coded, const uint16_t *steps, int16_t *out);

// Bit (row * 8 + column) is set for each coefficient the transform of this size reads;
// the others have no effect on its output.
uint64_t JpegCoefficientsUsed(int size);

}  // namespace imgctl
