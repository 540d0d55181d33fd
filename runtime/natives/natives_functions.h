// Function-making, binding and reflection natives: func, function, does, has, type?, bind,
// in, construct, value?, unset, context? and apply. Installed at their fixed indexes by
// natives::init.
#pragma once

namespace vyr::natives {

void install_functions();

}  // namespace vyr::natives
