// The global routines and the type predicates: C++ code in the routine registry, keyed by
// name. The boot construction turns each into a routine! value with the construction-only
// `make-routine 'name [spec]`, which exists only while the environment is built.
#pragma once
#include "runtime/cell.h"

namespace vyr::routines {

// Registers every routine's code (the global routines, the predicates, `make-routine`).
// Idempotent; runs with the datatype registrations, before anything calls a routine.
void init();

// Binds `make-routine` while the construction runs, and unsets it afterwards.
void open_construction();
void close_construction();

// The predicates' table: one row per predicate, a single type or a typeset's word.
struct predicate {
  const char* name;       // "integer?"
  u32 type;               // the type id, 0 for a typeset predicate
  const char* typeset;    // "number!" for a typeset predicate, else null
};
extern const predicate predicates[];
extern const u32 predicate_count;
void register_predicates();  // part of init()
void register_codec_routines();  // part of init(): `unescape`, `json-fast-decode`
void register_json_fast();
void register_text_fast();  // part of init(): `split-fast`, `replace-fast`

// `unescape`'s work: decodes a JSON string literal's escapes in place (script invalid-data
// for a malformed one). The fuzz target calls it directly.
void unescape_in_place(cell* str);

// The exit of `quit-return`: flushes standard output and ends the process with status & 255.
[[noreturn]] void quit_return(i32 status);
// Run by quit_return first (the front end puts the terminal back: a window's handler may
// quit while the prompt's line editor holds the terminal raw).
extern void (*before_quit)();

}  // namespace vyr::routines
