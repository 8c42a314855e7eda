// cos, acos, log10 and 10^x that give the same double on every machine.
//
// The C library's versions differ between processors and library builds in
// the last bit (the 32-bit x86 library evaluates some of them on the x87
// unit, AArch64 fuses multiplies and adds), and the codec feeds their results
// back into its state, so one differing bit could change a later search
// decision. These use only +, -, *, / and sqrt on doubles, which IEEE 754
// defines exactly, so every target rounds identically. Each returns the
// correctly rounded value: a short table-driven pass with a proven error
// bound decides the rounding almost always; otherwise a double-double
// evaluation (about 104 bits, portable_math_reference.h) does, which is
// correct except where the exact value lies within about 2^-100 of a
// rounding midpoint.
#pragma once

#include <span>

namespace g729a {

double portable_cos(double x);    // any |x| below 2^20
double portable_acos(double x);   // x in [-1, 1]
double portable_log10(double x);  // x > 0 and finite
double portable_exp10(double x);  // |x| below 300

// Ten at a time, in vector lanes where the processor has them; each result is
// the single-argument function's double.
void portable_cos_10(std::span<const double, 10> x, std::span<double, 10> out);
void portable_acos_10(std::span<const double, 10> x, std::span<double, 10> out);

}  // namespace g729a
