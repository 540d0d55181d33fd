// string! storage: a string-like cell holds the head index (word 1), the node of a buffer
// of 1-, 2- or 4-byte units (word 2) and the node of its conversion buffer (word 3).
// Writers take and return the series buffer, because growth or widening may move it.
#pragma once
#include <string>

#include "runtime/memory.h"

namespace vyr::string {

// Makers
cell* make_at(cell* c, u32 size);                     // empty string!, unit 1
cell* make_at_unit(cell* c, u32 size, u32 unit);

// Accessors
u32 get_char(const char* p, u32 unit);
i32 rs_length_q(const cell* value);

// Writers
series_buffer* append_char(series_buffer* b, u32 cp);
series_buffer* concatenate_literal(cell* value, const char* text);
series_buffer* concatenate_literal_part(cell* value, const char* text, u32 n);

// Debugging and tests: the text from the head as UTF-8.
std::string to_utf8(const cell* value);

}  // namespace vyr::string
