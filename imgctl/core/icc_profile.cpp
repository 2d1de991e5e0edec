// Reading an ICC colour profile: the header, the tag table and the tags of a matrix/TRC profile.
#include "imgctl/core/icc_profile.h"

#include "imgctl/core/byte_reader.h"

namespace imgctl {
namespace {

constexpr size_t kHeaderBytes = 128;
constexpr size_t kTagEntryBytes = 12;
// More tags than any profile holds (the format defines about fifty): bounds the table walk.
constexpr uint32_t kMaxTags = 1024;
// Sampled curves hold at most this many points (4096 is the usual most).
constexpr uint32_t kMaxCurveSamples = 65536;
// A tone curve must rise at least this much from black to white to be taken as one.
constexpr double kLeastCurveRise = 0.5;

constexpr uint32_t Signature(char a, char b, char c, char d) {
  return uint32_t(uint8_t(a)) << 24 | uint32_t(uint8_t(b)) << 16 | uint32_t(uint8_t(c)) << 8 | uint32_t(uint8_t(d));
}

// Header fields (offsets into the profile).
constexpr size_t kSizeField = 0, kVersionField = 8, kClassField = 12, kSpaceField = 16, kPcsField = 20,
                 kMagicField = 36;

double S15Fixed16(const uint8_t *p) { return double(int32_t(ReadBe32(p))) / 65536.0; }

// One tag's bytes, found through the tag table; every offset and size checked against the profile.
struct Tag {
  const uint8_t *body = nullptr;
  size_t size = 0;
  uint32_t type = 0;
};

class TagTable {
 public:
  TagTable(const uint8_t *data, size_t size, uint32_t count) : data_(data), size_(size), count_(count) {}
  bool Has(uint32_t signature) const {
    Tag tag;
    return Find(signature, &tag);
  }
  // The first tag with this signature whose bytes lie inside the profile and hold a type.
  bool Find(uint32_t signature, Tag *tag) const {
    for (uint32_t i = 0; i < count_; ++i) {
      const uint8_t *entry = data_ + kHeaderBytes + 4 + size_t(i) * kTagEntryBytes;
      if (ReadBe32(entry) != signature) continue;
      size_t offset = ReadBe32(entry + 4), length = ReadBe32(entry + 8);
      if (!InRange(size_, offset, length) || length < 8) return false;
      tag->body = data_ + offset;
      tag->size = length;
      tag->type = ReadBe32(tag->body);
      return true;
    }
    return false;
  }

 private:
  const uint8_t *data_;
  size_t size_;
  uint32_t count_;
};

// An XYZType tag: its first XYZ number.
bool ReadXyz(const TagTable &tags, uint32_t signature, double xyz[3]) {
  Tag tag;
  if (!tags.Find(signature, &tag) || tag.type != Signature('X', 'Y', 'Z', ' ') || tag.size < 20) return false;
  for (int i = 0; i < 3; ++i) xyz[i] = S15Fixed16(tag.body + 8 + 4 * i);
  return true;
}

// A curveType (identity, gamma in u8.8 or samples) or parametricCurveType (functions 0 to 4) tag.
bool ReadCurve(const TagTable &tags, uint32_t signature, ToneCurve *curve) {
  Tag tag;
  if (!tags.Find(signature, &tag) || tag.size < 12) return false;
  if (tag.type == Signature('c', 'u', 'r', 'v')) {
    uint32_t count = ReadBe32(tag.body + 8);
    if (count > kMaxCurveSamples || !InRange(tag.size, 12, size_t(count) * 2)) return false;
    if (count == 0) {
      curve->kind = ToneCurve::Kind::kIdentity;
    } else if (count == 1) {
      curve->kind = ToneCurve::Kind::kGamma;
      curve->g = ReadBe16(tag.body + 12) / 256.0;
    } else {
      curve->kind = ToneCurve::Kind::kSampled;
      curve->samples.resize(count);
      for (uint32_t i = 0; i < count; ++i) curve->samples[i] = uint16_t(ReadBe16(tag.body + 12 + 2 * size_t(i)));
    }
  } else if (tag.type == Signature('p', 'a', 'r', 'a')) {
    static const int kParameters[5] = {1, 3, 4, 5, 7};
    uint32_t function = ReadBe16(tag.body + 8);
    if (function > 4 || !InRange(tag.size, 12, size_t(kParameters[function]) * 4)) return false;
    double p[7] = {1, 1, 0, 0, 0, 0, 0};
    for (int i = 0; i < kParameters[function]; ++i) p[i] = S15Fixed16(tag.body + 12 + 4 * i);
    curve->kind = ToneCurve::Kind::kParametric;
    curve->function = int(function);
    curve->g = p[0];
    curve->a = p[1];
    curve->b = p[2];
    curve->c = p[3];
    curve->d = p[4];
    curve->e = p[5];
    curve->f = p[6];
  } else {
    return false;
  }
  return EvaluateToneCurve(*curve, 1) - EvaluateToneCurve(*curve, 0) >= kLeastCurveRise;
}

}  // namespace

bool ReadIccProfile(const uint8_t *data, size_t size, ColourProfile *profile) {
  if (data == nullptr || size < kHeaderBytes + 4 || size > kMaxIccProfileBytes) return false;
  // The profile's own size bounds every tag; padding after it (as JPEG segments may add) is not read.
  size_t declared = ReadBe32(data + kSizeField);
  if (declared < kHeaderBytes + 4 || declared > size) return false;
  size = declared;
  if (ReadBe32(data + kMagicField) != Signature('a', 'c', 's', 'p')) return false;
  int major = data[kVersionField];
  if (major != 2 && major != 4) return false;
  uint32_t deviceClass = ReadBe32(data + kClassField);
  if (deviceClass == Signature('l', 'i', 'n', 'k') || deviceClass == Signature('a', 'b', 's', 't') ||
      deviceClass == Signature('n', 'm', 'c', 'l'))
    return false;
  if (ReadBe32(data + kPcsField) != Signature('X', 'Y', 'Z', ' ')) return false;
  uint32_t count = ReadBe32(data + kHeaderBytes);
  if (count > kMaxTags || !InRange(size, kHeaderBytes + 4, size_t(count) * kTagEntryBytes)) return false;
  TagTable tags(data, size, count);
  // Lookup tables take precedence over the matrix and curves; this library does not use them.
  if (tags.Has(Signature('A', '2', 'B', '0')) || tags.Has(Signature('A', '2', 'B', '1'))) return false;

  uint32_t space = ReadBe32(data + kSpaceField);
  if (space == Signature('G', 'R', 'A', 'Y')) {
    profile->grey = true;
    return ReadCurve(tags, Signature('k', 'T', 'R', 'C'), &profile->curves[0]);
  }
  if (space != Signature('R', 'G', 'B', ' ')) return false;
  profile->grey = false;
  static const uint32_t kColorants[3] = {Signature('r', 'X', 'Y', 'Z'), Signature('g', 'X', 'Y', 'Z'),
                                         Signature('b', 'X', 'Y', 'Z')};
  static const uint32_t kCurves[3] = {Signature('r', 'T', 'R', 'C'), Signature('g', 'T', 'R', 'C'),
                                      Signature('b', 'T', 'R', 'C')};
  for (int c = 0; c < 3; ++c) {
    double xyz[3];
    if (!ReadXyz(tags, kColorants[c], xyz) || !ReadCurve(tags, kCurves[c], &profile->curves[c])) return false;
    for (int r = 0; r < 3; ++r) profile->toXyz[r][c] = xyz[r];
  }
  return AdaptColorantsToD50(profile->toXyz);
}

}  // namespace imgctl
