#include "codec/encoder/taming.h"

namespace g729a {

namespace {

// Integer division by 40 as the truncated product with 0.025; the two agree
// for every delay that occurs.
int zone_of(int v) {
  return static_cast<int>(v * 0.025);
}

}  // namespace

int taming_test(const TamingError& taming_error, int t0, int fraction) {
  const int t1 = fraction == 1 ? t0 + 1 : t0;
  const int low = t1 - 50 > 0 ? t1 - 50 : 0;
  const int zone1 = zone_of(low);
  const int zone2 = zone_of(t1 + 8);
  double worst = -1.0;
  for (int i = zone2; i >= zone1; --i) {
    if (taming_error[i] > worst) worst = taming_error[i];
  }
  return worst > kTamingThreshold ? 1 : 0;
}

void taming_update(TamingError& taming_error, double gp, int t0) {
  double worst = -1.0;
  if (t0 < 40) {
    // The delay lies inside the subframe: the error is fed back twice.
    const double e1 = 1 + gp * taming_error[0];
    const double e2 = 1 + gp * e1;
    if (e1 > worst) worst = e1;
    if (e2 > worst) worst = e2;
  } else {
    const int zone1 = zone_of(t0 - 40);
    const int zone2 = zone_of(t0 - 1);
    for (int i = zone1; i <= zone2; ++i) {
      const double e = 1 + gp * taming_error[i];
      if (e > worst) worst = e;
    }
  }
  taming_error[3] = taming_error[2];
  taming_error[2] = taming_error[1];
  taming_error[1] = taming_error[0];
  taming_error[0] = worst;
}

}  // namespace g729a
