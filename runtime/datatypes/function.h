// function! and routine!: a function-like context (values on the data stack while a call
// runs), the argument block, and a 5-cell more-block: body, argument cache, code index,
// op! copy, second code index. A routine's code is a C++ function found by index in the
// routine registry; its header holds the argument count in bits 25-29.
#pragma once
#include "runtime/datatypes/action_slots.h"

namespace vyr::function {

constexpr u32 FLAG_NO_TRACE = 0x200;
constexpr u32 FLAG_TRACE = 0x400;
constexpr u32 MORE_BODY = 0, MORE_CACHE = 1, MORE_CODE = 2, MORE_OP = 3, MORE_CODE2 = 4;

// The cell words of function! and routine!: word 1 the context node. Words 2 and 3 are
// shared by every function kind (native!, action!, op! too): the argument block's node
// and the more-block's node.
constexpr u32 context(const cell* f) { return f->data1; }
constexpr u32& context(cell* f) { return f->data1; }
constexpr u32 spec(const cell* f) { return f->data2; }
constexpr u32& spec(cell* f) { return f->data2; }
constexpr u32 more(const cell* f) { return f->data3; }
constexpr u32& more(cell* f) { return f->data3; }

// The words of an argument cache (the block the interpreter builds from an argument block
// and keeps in the more-block; its layout is described in runtime/interpreter/calls.cpp):
// the header's slot, refinement and local counts; an argument entry's symbol (word 3 of
// its typeset!); a refinement entry's number (word 3; its symbol is word::symbol_id).
constexpr u32 cache_slots(const cell* h) { return h->data1; }
constexpr u32& cache_slots(cell* h) { return h->data1; }
constexpr u32 cache_refs(const cell* h) { return h->data2; }
constexpr u32& cache_refs(cell* h) { return h->data2; }
constexpr u32 cache_locals(const cell* h) { return h->data3; }
constexpr u32& cache_locals(cell* h) { return h->data3; }
constexpr u32 arg_symbol(const cell* e) { return e->data3; }
constexpr u32 ref_number(const cell* e) { return e->data3; }

// Checks an argument block; answers the attribute flags. Faults raise script bad-func-def
// (with the block), invalid-type-spec (with the item) or dup-vars (with the later entry).
u32 validate_spec(const cell* spec);
// The `function` native's argument block: set-words and loop words of the body become
// locals (after an added /local); /extern names are left out and /extern itself is dropped.
// Writes the new argument block into `out`.
void collect_locals(const cell* spec, const cell* body, cell* out);
// Local slots from `start`: 1 for /local plus one per word! after it; -1 when /local is
// absent and must_exist is set, else 0.
i32 count_locals(u32 spec_node, u32 start, bool must_exist);
// Pushes a call's local slots: logic! false for /local, then n - 1 none! cells.
void init_locals(u32 n);
// Builds a function! on the data stack (its cell is the new top) and answers its context.
// `body` may be null or none!; `ctx` 0 makes a context from the argument block and binds the body.
u32 push(const cell* spec, const cell* body, u32 ctx, u32 code, u32 code2, u32 flags);

// Actions
const cell* make(const cell* proto, const cell* spec, u32 type);
const cell* reflect(const cell* value, u32 field);
i32 form(const cell* value, cell* out, const cell* part, i32 budget);
i32 mold(const cell* value, cell* out, bool only, bool all, bool flat, const cell* part,
         i32 budget, i32 indent);
i32 compare(const cell* a, const cell* b, i32 op);

void init();  // registers function!

}  // namespace vyr::function

namespace vyr::routine {

constexpr u32 FLAG_DIRECT = 0x8000;
constexpr u32 ARITY_SHIFT = 25;
constexpr u32 MAX_ARITY = 31;

// A routine's code: its argument cells (the first is also the result slot) and their count.
using code_fn = void (*)(cell* args, u32 count);

// The registry keyed by name; indexes are 1-based and never reused.
u32 register_(const char* name, code_fn f);
u32 find(const char* name);            // 0 when absent
code_fn code(u32 index);
const char* name_of(u32 index);

// Builds a routine! on the data stack; `result_type` is the id of its result type (0 none).
// An argument block with more than 31 arguments raises script bad-func-def.
cell* push(const cell* spec, const cell* body, u32 code, u32 result_type, bool direct);
// The routine registered under `name`, with the given argument block; its body is a block naming it.
cell* push_named(const char* name, const cell* spec, bool direct);
inline u32 get_arity(const cell* r) { return (r->header >> ARITY_SHIFT) & 0x1F; }

i32 form(const cell* value, cell* out, const cell* part, i32 budget);
i32 mold(const cell* value, cell* out, bool only, bool all, bool flat, const cell* part,
         i32 budget, i32 indent);
void init();  // registers routine!

}  // namespace vyr::routine
