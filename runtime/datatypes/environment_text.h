// A canonical text of the whole built environment, for comparing two ways of starting: every
// global word in order with its value followed deep (blocks, strings, contexts, functions'
// specs and bodies, objects' fields, each word's binding as the context it names), the error
// catalogue, the datatype tables. Series are numbered in the order first met, so that two
// environments that hold the same values shared the same way give the same text whatever
// their arena offsets.
#pragma once
#include <string>

namespace vyr {

std::string environment_text();

}  // namespace vyr
