// A picture's colours as a matrix/TRC model (tone curves and colorants in D50 XYZ), and the colour maths it needs.
#pragma once
#include <stdint.h>

#include <vector>

namespace imgctl {

// One channel's tone reproduction curve: a stored value 0..1 to its linear light 0..1.
struct ToneCurve {
  enum class Kind { kIdentity, kGamma, kParametric, kSampled };
  Kind kind = Kind::kIdentity;
  // kGamma uses g; kParametric the ICC parametric function `function` (0 to 4) with g, a..f.
  int function = 0;
  double g = 1, a = 1, b = 0, c = 0, d = 0, e = 0, f = 0;
  // kSampled: equally spaced samples over 0..1 (0..65535 for 0..1), interpolated linearly.
  std::vector<uint16_t> samples;
};

// base^exponent for base >= 0, within a few units in the last place, through series of additions,
// multiplications and divisions alone: every build computes the same bits (the i686 build on the
// x87 unit, which the library holds at double precision, the others in SSE2), where each C
// runtime's pow rounds its own way. The colour tables are built from it, so that a picture
// converts to the same bytes on every build. Bases below the smallest normal number give 0.
double Power(double base, double exponent);

// The curve's linear value for `x` (0..1), held to 0..1 (a damaged curve's NaN gives 0).
double EvaluateToneCurve(const ToneCurve &curve, double x);

// The sRGB curve: linear light to the stored value, and back.
double SrgbEncode(double linear);
double SrgbDecode(double stored);

using Matrix3 = double[3][3];

// A picture's colour space as the conversion uses it: linear R, G, B (or grey) to D50 XYZ, the
// profile connection space of ICC profiles, whose white is the picture's white (relative
// colorimetric intent).
struct ColourProfile {
  bool grey = false;      // one channel: curves[0] gives the lightness of a neutral grey
  double toXyz[3][3] = {};  // columns: the XYZ of full red, green and blue (rXYZ, gXYZ, bXYZ)
  ToneCurve curves[3];
};

// The D50 white of the profile connection space, as ICC profiles store it in s15.16 numbers.
extern const double kD50[3];

// The Bradford chromatic adaptation from white `from` (XYZ) to D50. False for a white that
// cannot be adapted (Y not positive, a degenerate cone response).
bool AdaptationToD50(const double from[3], Matrix3 adaptation);

// Colorants whose sum (the colour space's white) is not D50 are adapted to D50 with the
// Bradford transform, so that the picture's white shows as the screen's white. False when the
// colorants' white is unusable.
bool AdaptColorantsToD50(Matrix3 toXyz);

// The D50 colorants of RGB primaries given as chromaticities x, y (red, green, blue) with white
// xw, yw. False when they do not span a colour space.
bool ColorantsFromChromaticities(const double primaries[3][2], const double white[2], Matrix3 toXyz);

// sRGB's colorants in D50 (IEC 61966-2-1 primaries and D65 white, Bradford-adapted to D50).
const Matrix3 &SrgbToXyz();

void Multiply(const Matrix3 a, const Matrix3 b, Matrix3 product);
// False when the matrix is singular.
bool Invert(const Matrix3 m, Matrix3 inverse);

}  // namespace imgctl
