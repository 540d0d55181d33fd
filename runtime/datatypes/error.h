// error!: an object of ten fixed fields (code type id arg1 arg2 arg3 near where stack files)
// made from a catalogue category and id, and the catalogue itself (an object of category
// objects read from environment/errors.vyr). Installs the builder that `fire` uses.
#pragma once
#include "runtime/datatypes/action_slots.h"
#include "runtime/hooks.h"

namespace vyr::error {

// Field positions of an error's context.
enum field : u32 {
  FIELD_CODE, FIELD_TYPE, FIELD_ID, FIELD_ARG1, FIELD_ARG2, FIELD_ARG3, FIELD_NEAR,
  FIELD_WHERE, FIELD_STACK, FIELD_FILES, FIELD_COUNT
};

extern cell catalog;    // object! `errors`: one category object per field
extern cell prototype;  // the standard error: every field none!

// ---- Settings the system object fills -------------------------------------------------
// `system/state/stack-trace`: the Stack line is written when this is above 0.
extern i32 stack_trace;

// ---- Constructors ----------------------------------------------------------------------
// A new error from words naming a category and an id, with up to three arguments (null
// for absent ones), written into `out` (a stack cell or a rooted local).
cell* create(const char* category, const char* id, const cell* a1, const cell* a2,
             const cell* a3, cell* out);
// The same from symbol ids; raises script invalid-spec-field when the catalogue lacks them.
cell* create_sym(u32 category, u32 id, const cell* const* args, int argc, cell* out);
// Builds `out` from a value (integer!, block!, string!), as the make action does.
cell* make_from(const cell* spec, cell* out);
// The pre-built fatal errors (internal no-memory, internal stack-overflow): built at
// start-up so that raising them needs no memory.
const cell* prebuilt(const char* id);  // null for other ids or before init

// Field access (no allocation).
cell* field_of(const cell* err, u32 f);
u32 get_type(const cell* err);  // the symbol of the `type` word (0 when not a word)
u32 get_id(const cell* err);
constexpr u32 stack_field() { return FIELD_STACK; }
// Stores the value into `where` when that is none!; answers the type `where` had.
u32 set_where(const cell* err, const cell* value);

// The report text ("*** Script Error: ..."): appended to the string `out`; the error value
// itself is never changed (a broken catalogue entry is reported from a temporary).
i32 report(const cell* err, cell* out, i32 budget);

// ---- Actions ---------------------------------------------------------------------------
const cell* make(const cell* proto, const cell* spec, u32 type);
i32 form(const cell* value, cell* out, const cell* part, i32 budget);
i32 mold(const cell* value, cell* out, bool only, bool all, bool flat, const cell* part,
         i32 budget, i32 indent);
const cell* eval_path(cell* parent, cell* element, cell* value, const path_args& walk);
i32 compare(const cell* a, const cell* b, i32 op);

void init();          // registers error! (parent object!)
// Reads the catalogue, builds the standard error and the pre-built fatal errors, and
// installs the builder of `fire`; runs once the symbols and the global context exist.
void init_catalog();

// The catalogue reader: the text of errors.vyr as a block of values (strings, words,
// set-words, get-words, integers, blocks). Exposed for tests.
u32 read_catalog_text(const char* text);

}  // namespace vyr::error
