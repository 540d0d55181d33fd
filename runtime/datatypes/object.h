// object!: a context of named fields (kind 2) with a class id and an optional event record
// for `on-change*` and `on-deep-change*`. Invariant: the context's owner cell holds a copy
// of the object value (every constructor writes it), so `self` and notifications see it.
// Cells passed as destinations must not lie in a series buffer (use a stack cell or a
// rooted local): building an object allocates.
#pragma once
#include <initializer_list>

#include "runtime/datatypes/action_slots.h"
#include "runtime/hooks.h"

namespace vyr::object {

constexpr u32 FIRST_CLASS_ID = 1000000;  // the first id handed out is 1,000,001
constexpr u32 ERROR_CLASS_ID = 1;
constexpr u32 NO_HANDLER = 0xFFFF;       // field index of an absent handler
constexpr u32 MAX_HANDLER_INDEX = 0xFFFE;  // handler indexes and local counts are 16 bits

// The cell words of object!, error! and port!: the context node, the class id, the node of
// the event record (0 when the object has no change handlers).
constexpr u32 context(const cell* o) { return o->data1; }
constexpr u32& context(cell* o) { return o->data1; }
constexpr u32 class_id(const cell* o) { return o->data2; }
constexpr u32& class_id(cell* o) { return o->data2; }
constexpr u32 events(const cell* o) { return o->data3; }
constexpr u32& events(cell* o) { return o->data3; }

// ---- Constructors and support ----------------------------------------------------------
extern u32 class_counter;
u32 get_new_id();

cell* make_at(cell* c, u32 slots);                    // empty object, class 0, no events
cell* push(u32 ctx, u32 class_id);
cell* push_with_events(u32 ctx, u32 class_id, u32 events);
// Builds the event record from handler indexes (-1 absent) and local counts; with an
// on-deep-change* handler the object becomes the owner of its series. Indexes or counts
// past 16 bits raise internal limit-hit with the handler's word.
void set_events(cell* obj, i32 change_index, i32 change_locals, i32 deep_index,
                i32 deep_locals);
// Looks the handler fields up and records them (0 when neither is present); a handler
// field holding something other than a function! or routine! raises script bad-field-set.
void build_events(cell* obj);

// The value cell of a field (case-insensitive), or the shared read-only none! cell. The
// answer is valid until the next allocation and is never to be written through.
const cell* get_field(const cell* obj, const cell* word);
cell* get_word(u32 ctx, u32 n);
cell* get_values(const cell* obj);
i32 field_index(const cell* obj, u32 symbol_id);      // -1 when absent
// The value cell of the field named `name`, to read or write; null when `obj` is no object
// or has no such field. The name is looked up first (interning it may allocate), so the
// answer is valid until the next allocation.
cell* field_named(const cell* obj, const char* name);
// The value reached from the global `system` through the named fields, each step an
// object! (or port!); false when a step is missing, as before start-up has built them.
bool system_field(std::initializer_list<const char*> names, cell* out);
// The same from the global word named first (never added when it is missing), then through
// the other names.
bool global_field(std::initializer_list<const char*> names, cell* out);
u32 word_count(const cell* obj);
void clear_new_lines(const cell* block);
void clear_changed(u32 ctx);

// `construct`: fields from a block of set-words and values, nothing evaluated.
bool construct_fields(u32 ctx, const cell* spec, bool only);
cell* construct(const cell* spec, const cell* proto, bool only, cell* out);

// `set` on an object.
void set_many(cell* obj, const cell* value, bool any, bool only, bool some);

// Writes the fields as mold and form do; returns the remaining budget. `mold_form` writes
// the leading line feed and indents `indent` levels (four spaces each).
i32 serialize(const cell* obj, cell* out, bool only, bool all, bool flat, const cell* part,
              i32 budget, bool mold_form, i32 indent);

void copy_values(const cell* proto, const cell* obj, bool plain);
bool extend(cell* obj, const cell* source);
void clone(const cell* proto, cell* dest, bool deep, const cell* types, bool rebuild_events);

// Change notification.
void fire_on_set(const cell* obj, const cell* word, const cell* old_value,
                 const cell* new_value);
void fire_on_deep_change(const cell* owner, const cell* word, const cell* target,
                         const cell* action, const cell* new_value, i32 index, i32 part);

// ---- Actions ---------------------------------------------------------------------------
const cell* make(const cell* proto, const cell* spec, u32 type);
const cell* reflect(const cell* value, u32 field);
i32 form(const cell* value, cell* out, const cell* part, i32 budget);
i32 mold(const cell* value, cell* out, bool only, bool all, bool flat, const cell* part,
         i32 budget, i32 indent);
const cell* eval_path(cell* parent, cell* element, cell* value, const path_args& walk);
i32 compare(const cell* a, const cell* b, i32 op);
const cell* copy(const cell* value, cell* dest, const cell* part, bool deep,
                 const cell* types);
const cell* select(cell* obj, const cell* key, const find_args& opts);
const cell* put(cell* obj, const cell* key, const cell* value, bool case_sensitive);
const cell* modify(cell* obj, const cell* field, const cell* new_value, bool case_sensitive);

void init();  // registers object! (no parent); installs the context and ownership hooks

}  // namespace vyr::object
