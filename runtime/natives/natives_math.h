// The math natives: sign tests, zero?, max/min, shift, to-hex, trigonometry, logarithms,
// exp, square-root, NaN? and the constructors as-pair, as-point2D and as-point3D. Installed
// at their fixed indexes by `install_math`. as-money waits for money! and keeps the not-done
// entry until then.
#pragma once

namespace vyr::natives {

void install_math();

}  // namespace vyr::natives
