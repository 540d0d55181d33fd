// file!: file and directory names in the language's form ("/" separators). On Linux the
// platform form is the same text as UTF-8; a name is checked (no NUL) whenever it crosses
// into the platform. The file actions go to the simple-io host layer.
#pragma once
#include <string>

#include "runtime/datatypes/action_slots.h"

namespace vyr::file {

cell* push(const cell* value);
// A file! from UTF-8 (or UTF-16LE) bytes, pushed on the data stack.
cell* load(const char* text, u32 size, i32 encoding);

// Turns every "\" of the text from its head into "/" in place.
cell* from_local_slashes(cell* value);

// Appends the platform form of the path (from its head) to the string `dest`; with
// `full`, a relative path gets the current directory (ending in "/") in front.
void to_local_path(const cell* value, cell* dest, bool full);

// Names read from the platform may hold bytes that are not UTF-8: each such byte b is
// held as the code point ESCAPED_BYTE + b (a lone low surrogate, which no valid UTF-8
// name holds), and to_OS_path turns it back into the byte.
constexpr u32 ESCAPED_BYTE = 0xDC00;

// The UTF-8 platform path of a file! (or any text value) from its head. A name holding
// NUL cannot reach the platform: script invalid-arg with the value. Line ends are kept
// as they are.
std::string to_OS_path(const cell* value);

// The current directory as a string! pushed on the data stack, ending in "/".
cell* get_current_dir();

// Actions (arguments as the action slots define them)
i32 mold(const cell* value, cell* out, bool only, bool all, bool flat, const cell* part,
         i32 budget, i32 indent);
const cell* delete_(cell* value);
const cell* query(cell* value);
const cell* rename(cell* value, const cell* new_name);
const cell* read(cell* source, const read_args& opts);
const cell* write(cell* destination, const cell* value, const write_args& opts);

void init();  // registers file! (after url!)

}  // namespace vyr::file
