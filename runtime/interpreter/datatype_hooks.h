// Installs the hooks through which the datatype modules reach the interpreter and the
// lexer (`to block!` of text, `sort/compare`, object specs, change handlers, methods).
#pragma once

namespace vyr::datatype_hooks {
void init();
}
