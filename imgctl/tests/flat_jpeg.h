// Writes a baseline JPEG of one flat colour at any size in a few bytes per MCU, for tests of very large pictures.
#pragma once
#include <stdint.h>

#include <vector>

namespace imgctl_test {

// Collects entropy-coded bits MSB first, stuffing a zero byte after every 0xFF.
class JpegBitWriter {
 public:
  explicit JpegBitWriter(std::vector<uint8_t> &out) : out_(out) {}
  void Put(uint32_t code, int length) {
    for (int i = length - 1; i >= 0; --i) {
      byte_ = uint8_t(byte_ << 1 | ((code >> i) & 1));
      if (++bits_ == 8) Flush();
    }
  }
  void Finish() {  // pad the last byte with ones, as the standard asks
    while (bits_ != 0) Put(1, 1);
  }

 private:
  void Flush() {
    out_.push_back(byte_);
    if (byte_ == 0xFF) out_.push_back(0);
    byte_ = 0;
    bits_ = 0;
  }
  std::vector<uint8_t> &out_;
  uint8_t byte_ = 0;
  int bits_ = 0;
};

// Appends one marker segment (0xFF, marker, its length, the body) to a JPEG being written.
inline void AppendJpegSegment(std::vector<uint8_t> &out, uint8_t marker, const std::vector<uint8_t> &body) {
  out.push_back(0xFF);
  out.push_back(marker);
  out.push_back(uint8_t((body.size() + 2) >> 8));
  out.push_back(uint8_t(body.size() + 2));
  out.insert(out.end(), body.begin(), body.end());
}

// A 4:2:0 YCbCr baseline JPEG of width x height (each up to 65535) filled with one colour. The
// quantisation tables are all 1, so a block's DC coefficient is 8 x (sample - 128); every block
// after the first of its component codes a DC difference of 0 and an end of block, three zero
// bits, so that a 10000 x 10000 picture takes about 0.9 MB.
inline std::vector<uint8_t> FlatJpeg(int width, int height, uint8_t red, uint8_t green, uint8_t blue) {
  std::vector<uint8_t> out = {0xFF, 0xD8};
  auto segment = [&](uint8_t marker, const std::vector<uint8_t> &body) { AppendJpegSegment(out, marker, body); };
  std::vector<uint8_t> quant(65, 1);
  quant[0] = 0;  // 8-bit table 0
  segment(0xDB, quant);
  segment(0xC0, {8, uint8_t(height >> 8), uint8_t(height), uint8_t(width >> 8), uint8_t(width), 3,  //
                 1, 0x22, 0, 2, 0x11, 0, 3, 0x11, 0});
  // DC table 0: categories 0 to 11 with the usual luminance code lengths; AC table 0: only the
  // end of block, as the one-bit code 0.
  std::vector<uint8_t> tables = {0x00, 0, 1, 5, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0};
  for (uint8_t s = 0; s <= 11; ++s) tables.push_back(s);
  tables.insert(tables.end(), {0x10, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x00});
  segment(0xC4, tables);
  segment(0xDA, {3, 1, 0x00, 2, 0x00, 3, 0x00, 0, 63, 0});

  // JFIF's YCbCr of the colour, and the DC code of each component's first block.
  double y = 0.299 * red + 0.587 * green + 0.114 * blue;
  double cb = 128 - 0.168736 * red - 0.331264 * green + 0.5 * blue;
  double cr = 128 + 0.5 * red - 0.418688 * green - 0.081312 * blue;
  // Canonical codes of the DC table above: category 0 is 00, 1 to 5 are 010 to 110, then 1110, 11110 ...
  static const uint32_t kDcCode[12] = {0x0, 0x2, 0x3, 0x4, 0x5, 0x6, 0xE, 0x1E, 0x3E, 0x7E, 0xFE, 0x1FE};
  static const int kDcLength[12] = {2, 3, 3, 3, 3, 3, 4, 5, 6, 7, 8, 9};
  JpegBitWriter bits(out);
  auto block = [&](int difference) {
    int magnitude = difference < 0 ? -difference : difference, category = 0;
    while ((1 << category) <= magnitude) ++category;
    bits.Put(kDcCode[category], kDcLength[category]);
    if (category > 0) bits.Put(uint32_t(difference < 0 ? difference + (1 << category) - 1 : difference), category);
    bits.Put(0, 1);  // end of block
  };
  const int first[3] = {8 * (int(y + 0.5) - 128), 8 * (int(cb + 0.5) - 128), 8 * (int(cr + 0.5) - 128)};
  const int mcus = ((width + 15) / 16) * ((height + 15) / 16);
  for (int m = 0; m < mcus; ++m) {
    for (int k = 0; k < 4; ++k) block(m == 0 && k == 0 ? first[0] : 0);
    block(m == 0 ? first[1] : 0);
    block(m == 0 ? first[2] : 0);
  }
  bits.Finish();
  out.push_back(0xFF);
  out.push_back(0xD9);
  return out;
}

}  // namespace imgctl_test
