// event!: one user-interface event. A native event is the dispatcher's one cell, refilled for
// every window message: word 1 the type code, word 2 the index of the message record in the
// GUI module's table of records being dispatched, word 3 the key or picked value OR-ed with
// the flag bits. A synthetic event (header bit 12) comes from `make event!`: word 2 is the
// node of a 4-cell block [face window offset picked] or 0, word 3 the key and flags.
// Fields of a native event that need the window system come through the GUI module's hooks.
#pragma once
#include "runtime/datatypes/action_slots.h"
#include "runtime/hooks.h"

namespace vyr::event {

constexpr u32 SYNTHETIC = 1u << 12;
constexpr u32 TYPE_COUNT = 38;

// Type codes (1-based, in the order of the type words).
enum code : u32 {
  DOWN = 1, UP, MID_DOWN, MID_UP, ALT_DOWN, ALT_UP, AUX_DOWN, AUX_UP, CLICK, DBL_CLICK,
  WHEEL, OVER, KEY, KEY_DOWN, KEY_UP, IME, FOCUS, UNFOCUS, ENTER, ZOOM, PAN, ROTATE, TWO_TAP,
  PRESS_TAP, SELECT, CHANGE, MENU, CLOSE, MOVE, RESIZE, MOVING, RESIZING, TIME, DRAWING,
  SCROLL, MINIMIZE, MAXIMIZE, RESTORE
};
const char* type_name(u32 code);   // "" outside 1..38
u32 code_of_name(const char* name);  // 0 when none

// Flag bits of word 3.
constexpr u32 FLAG_COMMAND = 0x80000000u, FLAG_ALT = 0x40000000u, FLAG_SHIFT = 0x20000000u,
  FLAG_CONTROL = 0x10000000u, FLAG_AWAY = 0x04000000u, FLAG_DOWN = 0x02000000u,
  FLAG_MID_DOWN = 0x01000000u, FLAG_ALT_DOWN = 0x00800000u, FLAG_AUX_DOWN = 0x00400000u;
constexpr u32 FLAG_MASK = 0xFFC00000u;
// A key keeps its whole code point (21 bits) below the flag bits.
constexpr u32 KEY_MASK = 0x001FFFFFu;

// Field indexes (the order of `pick` with an integer).
enum field : u32 {
  F_TYPE = 1, F_FACE, F_WINDOW, F_OFFSET, F_KEY, F_PICKED, F_FLAGS, F_AWAY, F_DOWN,
  F_MID_DOWN, F_ALT_DOWN, F_AUX_DOWN, F_CTRL, F_SHIFT, F_ORIENTATION
};
constexpr u32 FIELD_COUNT = 15;

// The field index of a word (by canonical symbol); -1 for any other word, or the error
// cannot-use (word, owner) when `owner` is an event!.
i32 field_of_word(const cell* word, const cell* owner);
u32 flag_of_word(const cell* word);          // 0 for a word that names no flag
void set_type(cell* event, const cell* word);  // not-event-type for a word naming no type
cell* type_word(const cell* event, cell* out);   // none! for code 0
// The field's value written to `out` (which must not be the event cell itself).
cell* get_field(const cell* event, u32 index, cell* out);

cell* make_native_at(cell* c, u32 type, u32 record, u32 word3);

// Actions
const cell* make(const cell* proto, const cell* spec, u32 type);
i32 form(const cell* value, cell* out, const cell* part, i32 budget);
i32 mold(const cell* value, cell* out, bool only, bool all, bool flat, const cell* part,
         i32 budget, i32 indent);
i32 compare(const cell* a, const cell* b, i32 op);
const cell* eval_path(cell* parent, cell* element, cell* value, const path_args& walk);
const cell* pick(cell* value, i32 index, const cell* index_cell);

// event?: the body of the routine.
inline bool event_q(const cell* value) { return type_of(value) == TYPE_EVENT; }

// find-flag?: true when `facet` is a word of the flag's symbol, or a block holding such a
// word or lit-word.
bool find_flag_q(const cell* facet, const cell* flag);

void init();  // registers event! (no parent)

}  // namespace vyr::event
