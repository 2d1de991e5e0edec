// A picture's colours as a matrix/TRC model (tone curves and colorants in D50 XYZ), and the colour maths it needs.
#include "imgctl/core/colour_profile.h"

#include <float.h>
#include <math.h>
#include <stdint.h>
#include <string.h>

namespace imgctl {
namespace {

// Cone responses of the Bradford transform (the one ICC profiles use for their chad tag).
const Matrix3 kBradford = {{0.8951, 0.2664, -0.1614}, {-0.7502, 1.7135, 0.0367}, {0.0389, -0.0685, 1.0296}};

// Colorants whose white is within this of D50 in X, Y and Z are taken as adapted already.
constexpr double kWhiteTolerance = 0.01;
// The weakest white that is taken as a white at all (Y, relative to the picture's white of 1).
constexpr double kLeastWhiteY = 0.1;

// sRGB's curve (IEC 61966-2-1): a straight segment near black, then a 2.4 power.
constexpr double kSrgbLinearLimit = 0.0031308;   // linear light where the power part begins
constexpr double kSrgbStoredLimit = 0.04045;     // the stored value there
constexpr double kSrgbSlope = 12.92;
constexpr double kSrgbOffset = 0.055;
constexpr double kSrgbExponent = 2.4;

double Clamp01(double v) { return v > 0 ? (v < 1 ? v : 1) : 0; }  // NaN gives 0

void Apply(const Matrix3 m, const double in[3], double out[3]) {
  for (int r = 0; r < 3; ++r) out[r] = m[r][0] * in[0] + m[r][1] * in[1] + m[r][2] * in[2];
}

// Power's working range: results below 2^-kLeastPowerExponent count as 0, so that no value
// reaches the subnormal numbers, which the x87 unit would round differently (its exponent range
// is wider than double's); results above 2^kGreatestPowerExponent are held there.
constexpr int kLeastPowerExponent = 1000;
constexpr int kGreatestPowerExponent = 1000;
constexpr double kLn2 = 0.69314718055994530942;
constexpr double kLog2E = 1.44269504088896340736;  // 1 / ln 2
constexpr double kSqrt2 = 1.41421356237309504880;
// Terms of the two series: ln m = 2 (t + t^3 / 3 + t^5 / 5 + ...) with |t| <= 0.172 (m within
// sqrt(2) of 1), and e^w = 1 + w + w^2 / 2! + ... with |w| <= ln 2 / 2; both reach below 1e-17.
constexpr int kLogTerms = 11;
constexpr int kExpTerms = 14;

// The series' coefficients, 1 / (2k + 1) and 1 / k!, worked out by the compiler.
struct SeriesCoefficients {
  double log[kLogTerms] = {};
  double exp[kExpTerms + 1] = {};
  constexpr SeriesCoefficients() {
    for (int k = 0; k < kLogTerms; ++k) log[k] = 1.0 / (2 * k + 1);
    exp[0] = 1;
    for (int k = 1; k <= kExpTerms; ++k) exp[k] = exp[k - 1] / k;
  }
};
constexpr SeriesCoefficients kSeries;

// 2^n for n within the normal exponents, built from its bits.
double TwoToThe(int n) {
  uint64_t bits = uint64_t(n + 1023) << 52;
  double v;
  memcpy(&v, &bits, sizeof v);
  return v;
}

// log2 of a positive normal number: its exponent, plus the series for the logarithm of its
// mantissa taken into [sqrt(1/2), sqrt(2)).
double Log2(double x) {
  uint64_t bits;
  memcpy(&bits, &x, sizeof bits);
  int exponent = int((bits >> 52) & 0x7FF) - 1023;
  bits = (bits & ((uint64_t(1) << 52) - 1)) | (uint64_t(1023) << 52);
  double m;
  memcpy(&m, &bits, sizeof m);
  if (m > kSqrt2) {
    m *= 0.5;
    ++exponent;
  }
  double t = (m - 1) / (m + 1), t2 = t * t, series = 0;
  for (int k = kLogTerms - 1; k >= 0; --k) series = series * t2 + kSeries.log[k];
  return exponent + 2 * t * series * kLog2E;
}

// 2^z: the nearest whole power by the exponent bits, the rest by the series for e^w.
double Exp2(double z) {
  if (!(z > -kLeastPowerExponent)) return 0;  // also NaN
  if (z > kGreatestPowerExponent) z = kGreatestPowerExponent;
  int whole = int(z < 0 ? z - 0.5 : z + 0.5);  // nearest, so that |z - whole| <= 1/2
  double w = (z - whole) * kLn2, sum = 0;
  for (int k = kExpTerms; k >= 0; --k) sum = sum * w + kSeries.exp[k];
  return sum * TwoToThe(whole);
}

double Parametric(const ToneCurve &k, double x) {
  switch (k.function) {
    case 0:
      return Power(x, k.g);
    case 1:
    case 2: {
      // (ax + b)^g (+ c) from x = -b/a on, 0 (or c) below.
      bool upper = k.a != 0 ? x >= -k.b / k.a : k.b >= 0;
      double base = k.a * x + k.b;
      double floor = k.function == 2 ? k.c : 0;
      return upper && base >= 0 ? Power(base, k.g) + floor : floor;
    }
    case 3:
    case 4: {
      // (ax + b)^g (+ e) from x = d on, cx (+ f) below.
      double base = k.a * x + k.b;
      if (x >= k.d) return (base >= 0 ? Power(base, k.g) : 0) + (k.function == 4 ? k.e : 0);
      return k.c * x + (k.function == 4 ? k.f : 0);
    }
    default:
      return x;
  }
}

}  // namespace

const double kD50[3] = {63190.0 / 65536, 1.0, 54061.0 / 65536};

double Power(double base, double exponent) {
  if (exponent == 0) return 1;
  // Below the smallest normal number (and NaN) counts as 0, past the largest as the largest.
  if (!(base >= DBL_MIN)) return 0;
  if (base > DBL_MAX) base = DBL_MAX;
  return Exp2(exponent * Log2(base));
}

double EvaluateToneCurve(const ToneCurve &curve, double x) {
  x = Clamp01(x);
  switch (curve.kind) {
    case ToneCurve::Kind::kIdentity:
      return x;
    case ToneCurve::Kind::kGamma:
      return Clamp01(Power(x, curve.g));
    case ToneCurve::Kind::kParametric:
      return Clamp01(Parametric(curve, x));
    case ToneCurve::Kind::kSampled: {
      size_t n = curve.samples.size();
      if (n == 0) return x;
      if (n == 1) return curve.samples[0] / 65535.0;
      double position = x * double(n - 1);
      size_t i = size_t(position);
      if (i >= n - 1) return curve.samples[n - 1] / 65535.0;
      double t = position - double(i);
      return (curve.samples[i] * (1 - t) + curve.samples[i + 1] * t) / 65535.0;
    }
  }
  return x;
}

double SrgbEncode(double linear) {
  linear = Clamp01(linear);
  if (linear <= kSrgbLinearLimit) return linear * kSrgbSlope;
  return (1 + kSrgbOffset) * Power(linear, 1 / kSrgbExponent) - kSrgbOffset;
}

double SrgbDecode(double stored) {
  stored = Clamp01(stored);
  if (stored <= kSrgbStoredLimit) return stored / kSrgbSlope;
  return Power((stored + kSrgbOffset) / (1 + kSrgbOffset), kSrgbExponent);
}

void Multiply(const Matrix3 a, const Matrix3 b, Matrix3 product) {
  Matrix3 result;
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c) result[r][c] = a[r][0] * b[0][c] + a[r][1] * b[1][c] + a[r][2] * b[2][c];
  memcpy(product, result, sizeof(result));
}

bool Invert(const Matrix3 m, Matrix3 inverse) {
  double cofactor[3][3];
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c) {
      int r1 = (r + 1) % 3, r2 = (r + 2) % 3, c1 = (c + 1) % 3, c2 = (c + 2) % 3;
      cofactor[r][c] = m[r1][c1] * m[r2][c2] - m[r1][c2] * m[r2][c1];
    }
  double determinant = m[0][0] * cofactor[0][0] + m[0][1] * cofactor[0][1] + m[0][2] * cofactor[0][2];
  if (!(fabs(determinant) > 1e-12)) return false;
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c) inverse[r][c] = cofactor[c][r] / determinant;
  return true;
}

bool AdaptationToD50(const double from[3], Matrix3 adaptation) {
  if (!(from[1] >= kLeastWhiteY)) return false;
  double source[3], target[3];
  Apply(kBradford, from, source);
  Apply(kBradford, kD50, target);
  Matrix3 scale = {};
  for (int i = 0; i < 3; ++i) {
    if (!(source[i] > 1e-6)) return false;
    scale[i][i] = target[i] / source[i];
  }
  Matrix3 inverse;
  if (!Invert(kBradford, inverse)) return false;
  Matrix3 scaled;
  Multiply(scale, kBradford, scaled);
  Multiply(inverse, scaled, adaptation);
  return true;
}

bool AdaptColorantsToD50(Matrix3 toXyz) {
  double white[3];
  for (int r = 0; r < 3; ++r) white[r] = toXyz[r][0] + toXyz[r][1] + toXyz[r][2];
  bool adapted = true;
  for (int r = 0; r < 3; ++r)
    if (!(fabs(white[r] - kD50[r]) <= kWhiteTolerance)) adapted = false;
  if (adapted) return true;
  Matrix3 adaptation;
  if (!AdaptationToD50(white, adaptation)) return false;
  Multiply(adaptation, toXyz, toXyz);
  return true;
}

bool ColorantsFromChromaticities(const double primaries[3][2], const double white[2], Matrix3 toXyz) {
  Matrix3 unscaled;
  for (int c = 0; c < 3; ++c) {
    double x = primaries[c][0], y = primaries[c][1];
    if (!(y > 1e-6)) return false;
    unscaled[0][c] = x / y;
    unscaled[1][c] = 1;
    unscaled[2][c] = (1 - x - y) / y;
  }
  if (!(white[1] > 1e-6)) return false;
  double whiteXyz[3] = {white[0] / white[1], 1, (1 - white[0] - white[1]) / white[1]};
  Matrix3 inverse;
  if (!Invert(unscaled, inverse)) return false;
  double share[3];
  Apply(inverse, whiteXyz, share);
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c) toXyz[r][c] = unscaled[r][c] * share[c];
  Matrix3 adaptation;
  if (!AdaptationToD50(whiteXyz, adaptation)) return false;
  Multiply(adaptation, toXyz, toXyz);
  return true;
}

const Matrix3 &SrgbToXyz() {
  struct Srgb {
    Matrix3 toXyz;
    Srgb() {
      const double primaries[3][2] = {{0.64, 0.33}, {0.30, 0.60}, {0.15, 0.06}};
      const double d65[2] = {0.3127, 0.3290};
      ColorantsFromChromaticities(primaries, d65, toXyz);
    }
  };
  static const Srgb srgb;
  return srgb.toXyz;
}

}  // namespace imgctl
