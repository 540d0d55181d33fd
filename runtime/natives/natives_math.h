// The math natives: sign tests, zero?, max/min, shift, to-hex, trigonometry, logarithms,
// exp, square-root, NaN? and as-money. Installed at their fixed indexes by `install_math`.
// The constructors as-pair, as-point2D and as-point3D wait for their datatypes and keep the
// not-done entry until then.
#pragma once

namespace vyr::natives {

void install_math();

}  // namespace vyr::natives
