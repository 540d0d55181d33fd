// The datatype registry (per type id: name record and resolved action row) and the
// datatype! values that name a type. Rows are filled once at start-up, parent first, with
// inheritance resolved at registration; they are read-only afterwards.
#pragma once
#include "runtime/datatypes/action_slots.h"
#include "runtime/hooks.h"

namespace vyr::datatype {

// Word 1 of a datatype!: the type id it names.
constexpr u32 id(const cell* d) { return d->data1; }
constexpr u32& id(cell* d) { return d->data1; }

constexpr u32 MAX_TYPES = 57;  // ids 0 to 56; 0 is never registered

using generic_fn = void (*)();

struct name_record {
  const char* name = nullptr;  // with its final "!", e.g. "integer!"
  u32 form_length = 0;         // the name's length without the "!"
  cell word{};                 // the word that names the type, once made (else unset)
};

extern i32 highest_id;  // highest type id registered so far

// Registry
void init();  // clears the tables; runs before the first registration
// Records one datatype. `parent` is 0 or an id registered before; INHERIT entries copy
// the parent's resolved entry now (later changes to the parent are not seen).
void register_(u32 id, u32 parent, const char* name, const action_row& row);
// Makes the type-name words through `word_maker`, once the symbol table exists; types
// registered afterwards get their word at registration.
void make_words();

void word_of_name(const char* name, cell* out);  // through word_maker, else none!

// Name look-ups
const name_record& record(u32 type);
const char* name_of(u32 type);   // "" for an id never registered
u32 form_length(u32 type);
const cell* word_of(u32 type);   // unset! until the words are made
bool registered_q(u32 type);
u32 parent_of(u32 type);

// The resolved action rows by type id (see entry); filled at registration only.
extern generic_fn rows[MAX_TYPES][ACTION_COUNT];
// Action look-up: the resolved entry, or nullptr when the type does not support the slot.
// Inline: every action call looks its entry up.
inline generic_fn entry(u32 type, u32 slot_number) {  // slot 1 to 62
  if (type >= MAX_TYPES || slot_number < 1 || slot_number > ACTION_COUNT) return nullptr;
  return rows[type][slot_number - 1];
}
template <u32 N> inline typename slot_signature<N>::type entry_of(u32 type) {
  return reinterpret_cast<typename slot_signature<N>::type>(entry(type, N));
}

// Appends Latin-1 text to the string! `out` and returns the budget less its length: the
// one way form and mold implementations write literal text.
i32 append_text(cell* out, const char* text, i32 budget);

// Raises script expect-arg: "<action> does not allow <type> for its <argument> argument".
[[noreturn]] void fire_expect_arg(const char* action, u32 type, const char* argument);
// Raises script `id` with the datatype! of `type`, then a copy of `value` when one is given:
// bad-to-arg and bad-make-arg ("cannot MAKE/TO <type> from: <value>"), invalid-type,
// type-limit.
[[noreturn]] void fire_with_type(const char* id, u32 type, const cell* value = nullptr);
// Raises script `id` with the word of `word`, then the datatype! of `type`: not-related
// ("incompatible argument for <word> of <type>"), cannot-use.
[[noreturn]] void fire_word_type(const char* id, const char* word, u32 type);

// datatype! values: word 1 holds the id of the type named.
cell* make_at(cell* c, u32 type);
cell* make_in(const cell* block, u32 type);
cell* push(u32 type);
void init_type();  // registers datatype!

// Actions
i32 form(const cell* value, cell* out, const cell* part, i32 budget);
i32 mold(const cell* value, cell* out, bool only, bool all, bool flat, const cell* part,
         i32 budget, i32 indent);
i32 compare(const cell* a, const cell* b, i32 op);

}  // namespace vyr::datatype
