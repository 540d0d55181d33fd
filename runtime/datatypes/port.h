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

const cell* make(const cell* proto, const cell* spec, u32 type);
i32 form(const cell* value, cell* out, const cell* part, i32 budget);
i32 mold(const cell* value, cell* out, bool only, bool all, bool flat, const cell* part,
         i32 budget, i32 indent);

void init();          // registers port! (after object!)
void init_entries();  // puts the forwarding in front of the action entries (after them)

}  // namespace vyr::port
