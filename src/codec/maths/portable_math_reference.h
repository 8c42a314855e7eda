// The slow, self-contained evaluation of portable_math.h: every operation in
// double-double, a quick pass and a precise one. The fast paths of
// portable_math.cpp hand over to it when they cannot decide the rounding,
// and the tests hold them to it on every input.
#pragma once

namespace g729a {

double portable_cos_reference(double x);    // any |x| below 2^20
double portable_acos_reference(double x);   // x in [-1, 1]
double portable_log10_reference(double x);  // x > 0 and finite
double portable_exp10_reference(double x);  // |x| below 300

}  // namespace g729a
