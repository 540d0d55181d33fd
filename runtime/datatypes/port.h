// port!: an object! (class id 2) with the fields of `system/standard/port` that stands for a
// resource of a scheme. It does no I/O: each series and port action on a port is forwarded
// to the function of that name in the port's actor, with the action's arguments laid out
// as its spec orders them (each refinement a logic! followed by its arguments, none! when
// absent). `read` and `write` are made of the port's own open, copy, insert and close.
#pragma once
#include "runtime/datatypes/action_slots.h"

namespace vyr::port {

constexpr u32 CLASS_ID = 2;

// Calls the actor's function for the action word with the slots (the port first); the
// function's result goes to `result`. A missing or non-function field raises access
// no-port-action with the word.
void call_actor(const cell* actor, const cell* word, const cell* slots, u32 n, cell* result);
// The port's actor: an object!, or a handle! for a scheme the runtime implements;
// anything else raises access invalid-port.
cell get_actor(const cell* port);

// A handle! actor stands for a scheme the runtime implements: actions numbered 25 and up
// use its table of port actions, where an empty entry raises access no-port-action.
void native_action(const cell* port, u32 slot_number);

// read: open (with /seek), copy (with /part), close; write: open /write (with /seek),
// insert the data, copy (with /part), close; open with the action's refinements. Each
// step goes through the actor; the answer is the copy's (open's) value. A null refinement
// argument means the refinement was not given.
cell read(const cell* port, const cell* part, const cell* seek);
cell write(const cell* port, const cell* data, const cell* part, const cell* seek);
cell open(const cell* port, const open_args& opts);

// The port made from a spec (an object! is copied, anything else applied to
// system/standard/url-parts); make answers it in the result slot.
cell make_value(const cell* spec);
const cell* make(const cell* proto, const cell* spec, u32 type);
i32 form(const cell* value, cell* out, const cell* part, i32 budget);
i32 mold(const cell* value, cell* out, bool only, bool all, bool flat, const cell* part,
         i32 budget, i32 indent);

void init();          // registers port! (after object!)
void init_entries();  // puts the forwarding in front of the action entries (after them)

}  // namespace vyr::port
