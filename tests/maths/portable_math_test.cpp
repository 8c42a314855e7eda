#include "codec/maths/portable_math.h"

#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <numbers>
#include <random>
#include <span>
#include <vector>

#include "codec/maths/portable_math_reference.h"
#include "support/simd_paths.h"

namespace {

using g729a::portable_acos;
using g729a::portable_cos;
using g729a::portable_exp10;
using g729a::portable_log10;

// Distance in units in the last place of b.
double ulps(double a, double b) {
  if (a == b) return 0.0;
  return std::fabs(a - b) / (std::nextafter(std::fabs(b), INFINITY) - std::fabs(b));
}

// Arguments where the C library of the development machine is one ulp off,
// and (the second group of each) arguments so close to a rounding boundary
// that the quick pass must hand over to the precise one. The expected values
// are the exact results rounded to double, computed with 300-bit arithmetic
// outside this project. Each branch of each function has at least one case.
struct Case {
  double x;
  double expected;
};

TEST(PortableMath, RoundsCorrectlyWhereTheCLibraryDoesNot) {
  const Case cos_cases[] = {
      {0x1.5503e89f8d546p-2, 0x1.e3deb6352e4d5p-1},   // no reduction
      {0x1.e1bf579bd1b95p-1, 0x1.2d9807950f8edp-1},   // -sin after pi/2
      {0x1.00cb749c8494dp+0, 0x1.134bc2612168fp-1},   // -sin after pi/2
      {0x1.7e854edbb1e46p+1, -0x1.fa01df3bf5b7cp-1},  // -cos after pi
      {0x1.8c78093b9040ep+1, -0x1.ff801b2a7522ep-1}, {0x1.1654d61b2a27fp-6, 0x1.ffed1657fd058p-1},
      {0x1.65d18090b417dp-5, 0x1.ff82fc97af75cp-1},
  };
  for (const Case& c : cos_cases) EXPECT_EQ(portable_cos(c.x), c.expected) << std::hexfloat << c.x;

  const Case acos_cases[] = {
      {-0x1.7cdfd330c067cp-3, 0x1.c2030f0bebf65p+0},  // |x| <= 1/2
      {0x1.3a8eb36263b84p-1, 0x1.d183db2b7d9b5p-1},   // x > 1/2
      {0x1.fb5b1210d380ap-1, 0x1.140e48195d75cp-3},
      {-0x1.605816660cd3ep-1, 0x1.2a35ac2f4adddp+1},  // x < -1/2
      {-0x1.41f86743a7602p-1, 0x1.201c6c5612f97p+1},
      {-0x1.fa04af922962dp-1, 0x1.7e89ebe0e559ap+1},
      {-0x1.f4714fce746ccp-1, 0x1.76e02272c24p+1},
  };
  for (const Case& c : acos_cases) {
    EXPECT_EQ(portable_acos(c.x), c.expected) << std::hexfloat << c.x;
  }

  const Case log10_cases[] = {
      {0x1.912e85ebda794p+15, 0x1.2d79ab64fc862p+2}, {0x1.2a6afed45394dp+1, 0x1.78700f5029b29p-2},
      {0x1.7a69279b5e031p-6, -0x1.a2eecf8828eabp+0}, {0x1.3ced916872b02p-1, -0x1.aa9e17cf46d14p-3},
      {0x1.4c49ba5e353f8p-1, -0x1.8085da3724d1cp-3},
  };
  for (const Case& c : log10_cases) {
    EXPECT_EQ(portable_log10(c.x), c.expected) << std::hexfloat << c.x;
  }

  const Case exp10_cases[] = {
      {0x1.f06ef575effb2p+2, 0x1.b3c67060a9c4ep+25},
      {-0x1.d133d270ddfcp+1, 0x1.e6abe848ac295p-13},
      {0x1.e22821ec489fp+1, 0x1.6d5e0c416be32p+12},
      {-0x1.7bdc486ad2dcbp+1, 0x1.1a68ef6a94601p-10},
      {-0x1.7a9bcfd4bf099p+1, 0x1.20d77af0690f4p-10},
  };
  for (const Case& c : exp10_cases) {
    EXPECT_EQ(portable_exp10(c.x), c.expected) << std::hexfloat << c.x;
  }
}

TEST(PortableMath, ExactValuesAreExact) {
  EXPECT_EQ(portable_cos(0.0), 1.0);
  EXPECT_EQ(portable_acos(1.0), 0.0);
  EXPECT_EQ(portable_acos(0.0), std::numbers::pi / 2);
  EXPECT_EQ(portable_acos(-1.0), std::numbers::pi);
  // Powers of ten up to 10^22 are doubles; the literals are correctly rounded.
  const double powers[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                           1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
  const double inverse[] = {1e-0,  1e-1,  1e-2,  1e-3,  1e-4,  1e-5,  1e-6,  1e-7,
                            1e-8,  1e-9,  1e-10, 1e-11, 1e-12, 1e-13, 1e-14, 1e-15,
                            1e-16, 1e-17, 1e-18, 1e-19, 1e-20, 1e-21, 1e-22};
  for (int k = 0; k <= 22; ++k) {
    EXPECT_EQ(portable_log10(powers[k]), k);
    EXPECT_EQ(portable_exp10(k), powers[k]);
    EXPECT_EQ(portable_exp10(-k), inverse[k]);
  }
}

// Over the ranges the codec uses, every result is within one ulp of the C
// library's (which is itself within one ulp of exact), the functions are
// monotonic, and cos and acos invert each other.
TEST(PortableMath, AgreesWithTheCLibraryAcrossTheCodecsRanges) {
  double previous_acos = INFINITY;
  double previous_cos = INFINITY;
  for (int i = 0; i <= 20000; ++i) {
    const double lsp = -1.0 + i / 10000.0;
    const double lsf = i * (std::numbers::pi / 20000.0);
    const double a = portable_acos(lsp);
    const double c = portable_cos(lsf);
    ASSERT_LE(ulps(a, std::acos(lsp)), 1.0) << lsp;
    ASSERT_LE(ulps(c, std::cos(lsf)), 1.0) << lsf;
    ASSERT_LE(a, previous_acos) << lsp;
    ASSERT_LE(c, previous_cos) << lsf;
    previous_acos = a;
    previous_cos = c;
    // acos is rounded to an ulp of an angle up to pi, which cos carries over.
    ASSERT_LE(std::fabs(portable_cos(a) - lsp), 5e-16) << lsp;
  }
  double previous_log = -INFINITY;
  for (int i = 0; i <= 20000; ++i) {
    const double energy = std::ldexp(1.0 + (i % 1000) / 1000.0, i / 1000 - 8);
    const double l = portable_log10(energy);
    ASSERT_LE(ulps(l, std::log10(energy)), 2.0) << energy;  // glibc's log10 is up to 2 ulp off
    ASSERT_GE(l, previous_log) << energy;
    previous_log = l;
    const double db = -40.0 + i / 200.0;
    ASSERT_LE(ulps(portable_exp10(db / 20.0), std::pow(10.0, db / 20.0)), 1.0) << db;
  }
}

// The table-driven fast paths must give the reference's double for every
// input: random arguments over each function's range, and the places where
// the fast paths are weakest (results near zero, the ends of the tables, the
// boundaries between branches) or hand over.
using Function = double (*)(double);

void expect_same_everywhere(const char* name, Function fast, Function reference,
                            const std::function<double(std::mt19937_64&)>& draw, int count) {
  std::mt19937_64 random(0x5eed);
  int differences = 0;
  for (int k = 0; k < count; ++k) {
    const double x = draw(random);
    const double a = fast(x);
    const double b = reference(x);
    if (std::bit_cast<std::uint64_t>(a) != std::bit_cast<std::uint64_t>(b) && differences++ < 5) {
      ADD_FAILURE() << name << std::hexfloat << " at " << x << ": " << a << " instead of " << b;
    }
  }
  EXPECT_EQ(differences, 0) << name;
}

double uniform(std::mt19937_64& random, double low, double high) {
  return std::uniform_real_distribution<double>(low, high)(random);
}

// A random offset of random size: 2^-bits_low ... 2^-bits_high, either sign.
double offset(std::mt19937_64& random, int bits_high, int bits_low) {
  const int e = std::uniform_int_distribution<int>(bits_high, bits_low)(random);
  return std::ldexp(uniform(random, -1.0, 1.0), -e);
}

TEST(PortableMath, FastPathsMatchTheReferenceBitForBit) {
  using g729a::portable_acos_reference;
  using g729a::portable_cos_reference;
  using g729a::portable_exp10_reference;
  using g729a::portable_log10_reference;
  constexpr double pi = std::numbers::pi;
  constexpr int kCount = 60000;
  const auto cos_pair = [](const char* name, auto draw) {
    expect_same_everywhere(name, portable_cos, portable_cos_reference, draw, kCount);
  };
  cos_pair("cos over (0, pi)", [](auto& r) { return uniform(r, 0.0, pi); });
  cos_pair("cos over (-4, 4)", [](auto& r) { return uniform(r, -4.0, 4.0); });
  cos_pair("cos near 0", [](auto& r) { return offset(r, 1, 80); });
  cos_pair("cos near pi/2", [](auto& r) { return pi / 2 + offset(r, 6, 52); });
  cos_pair("cos near pi", [](auto& r) { return pi + offset(r, 6, 52); });
  cos_pair("cos near the table's end", [](auto& r) { return 3.25 + offset(r, 6, 52); });
  cos_pair("cos of large arguments", [](auto& r) { return uniform(r, -1e6, 1e6); });

  const auto acos_pair = [](const char* name, auto draw) {
    expect_same_everywhere(name, portable_acos, portable_acos_reference, draw, kCount);
  };
  acos_pair("acos over (-1, 1)", [](auto& r) { return uniform(r, -1.0, 1.0); });
  acos_pair("acos near 1", [](auto& r) { return 1.0 - std::fabs(offset(r, 1, 53)); });
  acos_pair("acos near -1", [](auto& r) { return -1.0 + std::fabs(offset(r, 1, 53)); });
  acos_pair("acos near 0", [](auto& r) { return offset(r, 1, 80); });
  acos_pair("acos near 1/2", [](auto& r) { return (r() & 1 ? 0.5 : -0.5) + offset(r, 6, 54); });

  const auto log_pair = [](const char* name, auto draw) {
    expect_same_everywhere(name, portable_log10, portable_log10_reference, draw, kCount);
  };
  log_pair("log10 of energies",
           [](auto& r) { return std::ldexp(uniform(r, 1.0, 2.0), int(r() % 80) - 20); });
  log_pair("log10 near 1", [](auto& r) { return 1.0 + offset(r, 1, 53); });
  log_pair("log10 near sqrt 2", [](auto& r) { return std::numbers::sqrt2 + offset(r, 10, 52); });
  log_pair("log10 of any positive double", [](auto& r) {
    return std::bit_cast<double>(r() >> 1);  // subnormals and infinity included
  });

  const auto exp_pair = [](const char* name, auto draw) {
    expect_same_everywhere(name, portable_exp10, portable_exp10_reference, draw, kCount);
  };
  exp_pair("exp10 of gains", [](auto& r) { return uniform(r, -5.0, 5.0); });
  exp_pair("exp10 over its range", [](auto& r) { return uniform(r, -299.99, 299.99); });
  exp_pair("exp10 near 0", [](auto& r) { return offset(r, 1, 80); });
  exp_pair("exp10 near integers",
           [](auto& r) { return double(int(r() % 40) - 20) + offset(r, 20, 60); });

  // Exact cases, both ends of each domain, and the cases above that sit on a
  // rounding boundary (where the fast paths hand over).
  const double cos_edges[] = {0.0,
                              -0.0,
                              0x1p-1074,
                              pi / 2,
                              pi,
                              0x1.921fb54442d19p+0,
                              3.25,
                              -3.25,
                              0x1.a000000000001p+1,
                              0x1.65d18090b417dp-5,
                              0x1.1654d61b2a27fp-6};
  for (double x : cos_edges) EXPECT_EQ(portable_cos(x), portable_cos_reference(x)) << x;
  const double acos_edges[] = {1.0, -1.0, 0.0, -0.0, 0.5, -0.5, 0x1.fffffffffffffp-1,
                               -0x1.fffffffffffffp-1, 0x1.0000000000001p-1, -0x1.f4714fce746ccp-1,
                               // Where an early fast path dropped the low part of the square root.
                               0x1.53e9785738402p-1, 0x1.31191221f2726p-1, 0x1.7882815a06feep-1,
                               0x1.603ea014bc9dp-1, 0x1.60a848c47fe26p-1};
  for (double x : acos_edges) EXPECT_EQ(portable_acos(x), portable_acos_reference(x)) << x;
  const double log_edges[] = {1.0,       0x1.0000000000001p+0,    0x1.fffffffffffffp-1, 0x1p-1022,
                              0x1p-1074, 0x1.fffffffffffffp+1023, 0x1.2a6afed45394dp+1};
  for (double x : log_edges) EXPECT_EQ(portable_log10(x), portable_log10_reference(x)) << x;
  const double exp_edges[] = {0.0,     -0.0, 0x1p-1074, 299.99,
                              -299.99, 22.0, -22.0,     -0x1.7a9bcfd4bf099p+1};
  for (double x : exp_edges) EXPECT_EQ(portable_exp10(x), portable_exp10_reference(x)) << x;
}

// The ten-at-a-time versions give, on every vector path and in every lane,
// the single-argument function's bits: lanes only hold independent
// arguments, and a lane out of the fast range or undecided takes the scalar
// function's result.
using Batch = void (*)(std::span<const double, 10>, std::span<double, 10>);

void expect_batches_match_single(const char* name, Batch batch, Function single,
                                 const std::vector<double>& args) {
  ASSERT_EQ(args.size() % 10, 0u) << name;
  for (g729a::SimdPath path :
       {g729a::SimdPath::Scalar, g729a::SimdPath::Sse2, g729a::SimdPath::Avx2}) {
    testsupport::ForcedPath forced(path);
    if (forced.active() != path) continue;  // not offered by this machine
    int differences = 0;
    for (std::size_t g = 0; g < args.size(); g += 10) {
      std::array<double, 10> in;
      std::array<double, 10> out;
      std::copy(args.begin() + g, args.begin() + g + 10, in.begin());
      batch(in, out);
      for (int k = 0; k < 10; ++k) {
        const double expected = single(in[k]);
        if (std::bit_cast<std::uint64_t>(out[k]) != std::bit_cast<std::uint64_t>(expected) &&
            differences++ < 5) {
          ADD_FAILURE() << name << " on " << g729a::simd_path_name(path) << ", lane " << k
                        << std::hexfloat << " at " << in[k] << ": " << out[k] << " instead of "
                        << expected;
        }
      }
    }
    EXPECT_EQ(differences, 0) << name << " on " << g729a::simd_path_name(path);
  }
}

// Each special argument in each of the ten positions (so in every lane of a
// four-lane group, of a two-lane group and of the tail), among ordinary ones.
std::vector<double> in_every_position(const std::vector<double>& special, double low, double high) {
  std::mt19937_64 random(0x1a4e);
  std::vector<double> args;
  for (double x : special) {
    for (int position = 0; position < 10; ++position) {
      for (int k = 0; k < 10; ++k) args.push_back(k == position ? x : uniform(random, low, high));
    }
  }
  return args;
}

// Ten arguments rotated through the ten positions, all of them in every group.
std::vector<double> rotations(const double* ten) {
  std::vector<double> args;
  for (int r = 0; r < 10; ++r) {
    for (int k = 0; k < 10; ++k) args.push_back(ten[(k + r) % 10]);
  }
  return args;
}

std::vector<double> drawn(int count, const std::function<double(std::mt19937_64&)>& draw) {
  std::mt19937_64 random(0xba7c4);
  std::vector<double> args(count);
  for (double& x : args) x = draw(random);
  return args;
}

// Arguments whose fast-path double is not the correctly rounded one, so the
// fast path must hand over; found by scanning with a build that skipped the
// hand-over. Each range and branch has some.
constexpr double kCosHandedOver[] = {
    0x1.f8899ecba7cbep-3, 0x1.2e5b8c536ea3fp-1, 0x1.4aa6e5af74db9p-1, 0x1.a338bf124cb6cp-1,
    0x1.157ba3c2e6f69p+0, 0x1.7b5d311fc2caap+0, 0x1.a0b22ed4c0d49p+0, 0x1.162545259167ep+1,
    0x1.2269abb636887p+1, 0x1.3552879291906p+1, 0x1.3854eaa6137c1p+1, 0x1.3c80edd85fe7fp+1};
constexpr double kAcosHandedOver[] = {
    // |x| <= 1/2
    -0x1.589b5de4f9c14p-3, -0x1.633b276c95c82p-2, 0x1.4320873cb99c8p-2, 0x1.5aeb352aed56p-5,
    0x1.b3b65c4859d2p-2, 0x1.e2b01466dfce4p-2,
    // x > 1/2
    0x1.14b0aeef9daecp-1, 0x1.1c17fdf4b72ap-1, 0x1.308c72226628ep-1, 0x1.4763950a5c1fap-1,
    0x1.6b8895f12fafp-1, 0x1.9e32fc2f529f6p-1,
    // x < -1/2
    -0x1.329c2afb8157cp-1, -0x1.76cc00be9f204p-1, -0x1.9e39d74203d26p-1, -0x1.b3df3cfaca82fp-1,
    -0x1.be3e12e36e416p-1, -0x1.f6606e9005953p-1};

constexpr int kBatchCount = 60000;

TEST(PortableMath, TenCosinesAtOnceMatchTheSingleFunctionInEveryLane) {
  constexpr double pi = std::numbers::pi;
  constexpr int kCount = kBatchCount;
  const auto cos_batch = [](const char* name, const std::vector<double>& args) {
    expect_batches_match_single(name, g729a::portable_cos_10, portable_cos, args);
  };
  cos_batch("cos over (0, pi)", drawn(kCount, [](auto& r) { return uniform(r, 0.0, pi); }));
  cos_batch("cos over (-4, 4)", drawn(kCount, [](auto& r) { return uniform(r, -4.0, 4.0); }));
  cos_batch("cos near pi/2", drawn(kCount, [](auto& r) { return pi / 2 + offset(r, 6, 52); }));
  cos_batch("cos near 0", drawn(kCount, [](auto& r) { return offset(r, 1, 80); }));
  cos_batch("cos near the table's end",
            drawn(kCount, [](auto& r) { return (r() & 1 ? 3.25 : -3.25) + offset(r, 6, 52); }));
  cos_batch("cos of large arguments",
            drawn(kCount / 10, [](auto& r) { return uniform(r, -1048575.0, 1048575.0); }));

  // Grid points of the table (i/128) and midpoints between them, where the
  // index rounds up, and their neighbours.
  std::vector<double> cos_special = {0.0,
                                     -0.0,
                                     0x1p-1074,
                                     -0x1p-1074,
                                     0x1p-600,
                                     pi / 2,
                                     -pi / 2,
                                     std::nextafter(pi / 2, 0.0),
                                     std::nextafter(pi / 2, 4.0),
                                     pi,
                                     -pi,
                                     std::nextafter(3.25, 0.0),
                                     -std::nextafter(3.25, 0.0),
                                     3.25,
                                     -3.25,
                                     std::nextafter(3.25, 4.0),
                                     4.0,
                                     1e6,
                                     -1e6,
                                     0x1.fffffffffffffp+19};
  for (int i : {0, 1, 2, 127, 128, 200, 201, 202, 414, 415}) {
    for (double x : {i / 128.0, (i + 0.5) / 128.0}) {
      cos_special.insert(cos_special.end(),
                         {x, -x, std::nextafter(x, 0.0), std::nextafter(x, 4.0)});
    }
  }
  cos_special.insert(cos_special.end(), std::begin(kCosHandedOver), std::end(kCosHandedOver));
  cos_batch("cos of special arguments", in_every_position(cos_special, 0.0, pi));
  cos_batch("cos, every lane handed over", rotations(kCosHandedOver));
}

TEST(PortableMath, TenArcCosinesAtOnceMatchTheSingleFunctionInEveryLane) {
  constexpr double inf = std::numeric_limits<double>::infinity();
  constexpr int kCount = kBatchCount;
  const auto acos_batch = [](const char* name, const std::vector<double>& args) {
    expect_batches_match_single(name, g729a::portable_acos_10, portable_acos, args);
  };
  acos_batch("acos over (-1, 1)", drawn(kCount, [](auto& r) { return uniform(r, -1.0, 1.0); }));
  acos_batch("acos near +-1", drawn(kCount, [](auto& r) {
               return (r() & 1 ? 1.0 : -1.0) * (1.0 - std::fabs(offset(r, 1, 53)));
             }));
  acos_batch("acos near +-1/2",
             drawn(kCount, [](auto& r) { return (r() & 1 ? 0.5 : -0.5) + offset(r, 6, 54); }));
  acos_batch("acos near 0", drawn(kCount, [](auto& r) { return offset(r, 1, 80); }));
  acos_batch("acos beyond +-1", drawn(kCount / 10, [](auto& r) { return uniform(r, -3.0, 3.0); }));

  std::vector<double> acos_special = {0.0,
                                      -0.0,
                                      0x1p-1074,
                                      -0x1p-1074,
                                      0.5,
                                      -0.5,
                                      std::nextafter(0.5, 0.0),
                                      std::nextafter(0.5, 1.0),
                                      std::nextafter(-0.5, 0.0),
                                      std::nextafter(-0.5, -1.0),
                                      1.0,
                                      -1.0,
                                      std::nextafter(1.0, 0.0),
                                      std::nextafter(-1.0, 0.0),
                                      std::nextafter(1.0, 2.0),
                                      std::nextafter(-1.0, -2.0),
                                      1.5,
                                      -1.5,
                                      inf,
                                      -inf,
                                      std::numeric_limits<double>::quiet_NaN(),
                                      -std::numeric_limits<double>::quiet_NaN()};
  // Grid points of the table, midpoints, and the arguments above 1/2 whose
  // square root lands on them.
  for (int i : {0, 1, 63, 64}) {
    for (double s : {i / 128.0, (i + 0.5) / 128.0}) {
      acos_special.insert(acos_special.end(), {s, -s, 1.0 - 2.0 * s * s, 2.0 * s * s - 1.0});
    }
  }
  acos_special.insert(acos_special.end(), std::begin(kAcosHandedOver), std::end(kAcosHandedOver));
  acos_batch("acos of special arguments", in_every_position(acos_special, -1.0, 1.0));
  for (int branch = 0; branch < 3; ++branch) {
    // Six of one branch and four of the next.
    double ten[10];
    for (int k = 0; k < 10; ++k) ten[k] = kAcosHandedOver[(6 * branch + k) % 18];
    acos_batch("acos, every lane handed over", rotations(ten));
  }
}

}  // namespace
