// Kernels that run several independent sums side by side, one per vector
// lane, each added in exactly the order of the plain loop.
#pragma once

namespace g729a {

// out[l] = sum over m = 0..length-1 of a[m * stride] * b[m * stride - l],
// for l = 0..count-1, each sum in increasing m: the correlations of a with b
// at count consecutive lags; reads nothing a plain loop would not.
void lagged_sums(const double* a, const double* b, int stride, int length, int count, double* out);

// *ea = start + sum a[n]^2 and *eb = start + sum b[n]^2 over n = 0..39,
// each in increasing n, the two sums side by side.
void two_energies(const double* a, const double* b, double start, double* ea, double* eb);

// start + sum over n = 0..39 of a[n] b[n], added one by one in increasing
// n; the products are formed several at a time.
double dot_product(double start, const double* a, const double* b);

// Ordered scans for a first extreme: v[i] replaces the best so far (which
// starts at *best) only when strictly smaller (first_minimum) or larger
// (first_maximum), so a later equal value never does. Returns the index of
// the last replacement, or -1 when there was none; inout: best. Groups of
// values are first compared with the best side by side; only a group that
// holds a replacement is gone through one by one.
int first_minimum(const double* v, int count, double* best);
int first_maximum(const double* v, int count, double* best);

// out[n] = a x[n] + b y[n] for n = 0..39, element by element; out may be x
// or y itself.
void weighted_sum(double a, const double* x, double b, const double* y, double* out);

}  // namespace g729a
