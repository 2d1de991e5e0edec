// The EXIF orientation tag of a JPEG file, read from its APP1 "Exif" segment.
#include "imgctl/core/exif_orientation.h"

#include <string.h>

#include "imgctl/core/byte_reader.h"

namespace imgctl {
namespace {

constexpr uint32_t kOrientationTag = 0x0112;
constexpr uint32_t kTypeShort = 3;

// Reads the orientation from a TIFF structure of `size` bytes (the body of the Exif segment).
int OrientationFromTiff(const uint8_t *tiff, size_t size) {
  if (size < 8) return 1;
  bool bigEndian;
  if (tiff[0] == 'I' && tiff[1] == 'I') bigEndian = false;
  else if (tiff[0] == 'M' && tiff[1] == 'M') bigEndian = true;
  else return 1;
  auto read16 = [&](size_t at) { return bigEndian ? ReadBe16(tiff + at) : ReadLe16(tiff + at); };
  auto read32 = [&](size_t at) { return bigEndian ? ReadBe32(tiff + at) : ReadLe32(tiff + at); };
  if (read16(2) != 42) return 1;
  size_t ifd = read32(4);
  if (!InRange(size, ifd, 2)) return 1;
  size_t count = read16(ifd);
  for (size_t i = 0; i < count; ++i) {
    size_t entry = ifd + 2 + i * 12;
    if (!InRange(size, entry, 12)) return 1;
    if (read16(entry) != kOrientationTag) continue;
    if (read16(entry + 2) != kTypeShort || read32(entry + 4) < 1) return 1;
    uint32_t value = read16(entry + 8);
    return value >= 1 && value <= 8 ? int(value) : 1;
  }
  return 1;
}

}  // namespace

int ReadJpegOrientation(const uint8_t *data, size_t size) {
  if (size < 4 || data[0] != 0xFF || data[1] != 0xD8) return 1;
  size_t at = 2;
  while (InRange(size, at, 4)) {
    if (data[at] != 0xFF) return 1;
    uint8_t marker = data[at + 1];
    if (marker == 0xFF) { ++at; continue; }                          // fill byte
    if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) { at += 2; continue; }
    if (marker == 0xDA || marker == 0xD9) return 1;                  // image data: no EXIF before it
    size_t length = ReadBe16(data + at + 2);
    if (length < 2) return 1;
    size_t body = at + 4, bodySize = length - 2;
    if (bodySize > size - body) bodySize = size - body;              // a segment cut short by the file's end
    if (marker == 0xE1 && bodySize >= 6 && memcmp(data + body, "Exif\0\0", 6) == 0)
      return OrientationFromTiff(data + body + 6, bodySize - 6);
    at += 2 + length;
  }
  return 1;
}

}  // namespace imgctl
