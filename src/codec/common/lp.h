// Tenth-order linear-prediction primitives shared by encoder and decoder.
#pragma once

#include <array>
#include <span>

#include "g729a/frame_geometry.h"

namespace g729a {

// in: r[0..10] (r[0] > 0); out: a[0..10] (a[0] = 1), rc[0..9].
// Returns the final prediction-error energy.
double levinson_durbin(std::span<const double, 11> r, LpVector& a, std::span<double, 10> rc);

// in: a[0..10], previous_lsp[0..9] (returned when fewer than ten roots are
// found); out: lsp[0..9], cosine domain, decreasing.
void lp_to_lsp(const LpVector& a, std::span<const double, 10> previous_lsp,
               std::span<double, 10> lsp);

// Root of the straight line through (x_lo, y_lo) and (x_hi, y_hi). When
// both ends are exactly zero there is no line: the lower end is returned.
// in: x_lo, y_lo, x_hi, y_hi.
double lsp_root_interpolate(double x_lo, double y_lo, double x_hi, double y_hi);

// in: lsp[0..9]; out: a[0..10].
void lsp_to_lp(std::span<const double, 10> lsp, LpVector& a);

// The two subframes' LP vectors of a frame: the first from the midpoint of
// the previous and new LSPs, the second from the new ones.
// in: lsp_previous, lsp_new; out: a.
void lsp_interpolate(std::span<const double, 10> lsp_previous, std::span<const double, 10> lsp_new,
                     std::array<LpVector, kSubframes>& a);

}  // namespace g729a
