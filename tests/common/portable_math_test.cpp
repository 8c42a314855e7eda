#include "codec/common/portable_math.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

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

}  // namespace
