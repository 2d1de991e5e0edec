// Writes GIFs whose one frame is followed, inside its own LZW data, by long codes that show nothing.
#pragma once
#include <stdint.h>

#include <vector>

namespace imgctl_test {

// A GIF89a of a screen and a frame of the given sizes (4 colours: black, white, red, green) whose
// LZW data holds about `dataBytes` bytes of codes. From a clear code, each code names the string
// the dictionary is about to add, one pixel longer than the last, up to the 4095th entry, which
// then comes again until the dictionary is full; then another clear code, and so on. Every code of
// 12 bits delivers up to 4096 pixels of white, so a 1000 x 1000 frame is complete after a few
// kilobytes and the rest of a megabyte of such codes can show nothing.
inline std::vector<uint8_t> LzwFloodGif(uint16_t screenWidth, uint16_t screenHeight, uint16_t frameWidth,
                                        uint16_t frameHeight, size_t dataBytes) {
  std::vector<uint8_t> out = {'G', 'I', 'F', '8', '9', 'a', uint8_t(screenWidth), uint8_t(screenWidth >> 8),
                              uint8_t(screenHeight), uint8_t(screenHeight >> 8), 0x81, 0, 0,
                              0, 0, 0, 255, 255, 255, 255, 0, 0, 0, 255, 0,  // global colour table
                              0x2C, 0, 0, 0, 0, uint8_t(frameWidth), uint8_t(frameWidth >> 8),
                              uint8_t(frameHeight), uint8_t(frameHeight >> 8), 0};
  const int minimumCodeSize = 2, clear = 1 << minimumCodeSize, lastEntry = 4095, fullDictionary = 8191;
  out.push_back(uint8_t(minimumCodeSize));
  std::vector<uint8_t> data;
  uint32_t bits = 0;
  int bitCount = 0;
  auto put = [&](int code, int size) {
    bits |= uint32_t(code) << bitCount;
    for (bitCount += size; bitCount >= 8; bitCount -= 8, bits >>= 8) data.push_back(uint8_t(bits));
  };
  int size = minimumCodeSize + 1;
  while (data.size() < dataBytes) {
    put(clear, size);
    size = minimumCodeSize + 1;
    put(1, size);  // white
    for (int available = clear + 2; data.size() < dataBytes;) {
      put(available < lastEntry ? available : lastEntry, size);
      if (available >= fullDictionary) break;
      ++available;
      if ((available & ((1 << size) - 1)) == 0 && available < (1 << 12)) ++size;
    }
  }
  if (bitCount > 0) data.push_back(uint8_t(bits));
  for (size_t from = 0; from < data.size(); from += 255) {
    size_t length = data.size() - from < 255 ? data.size() - from : 255;
    out.push_back(uint8_t(length));
    out.insert(out.end(), data.begin() + long(from), data.begin() + long(from + length));
  }
  out.push_back(0);
  out.push_back(0x3B);
  return out;
}

}  // namespace imgctl_test
