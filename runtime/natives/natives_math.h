// The math natives: sign tests, zero?, max/min, shift, to-hex, trigonometry, logarithms,
// exp, square-root, NaN?, as-money and the constructors as-pair, as-point2D and
// as-point3D. Installed at their fixed indexes by `install_math`.
#pragma once

namespace vyr::natives {

void install_math();

}  // namespace vyr::natives
