// The registry of upward calls: what a module asks of the layers above its own. A lower
// module never includes an upper one's header (tools/check_layers.py holds the table), so
// each such call is a function pointer declared here, grouped by the module that calls it
// (named in each rule) and kept in that module's namespace. Each is filled at start-up by
// the module named in its comment (boot/hooks.cpp for the evaluator's); a null pointer
// means that layer is not there, as in a unit test of the lower layers alone. The tables
// of several callbacks stay beside their owners: collector::hooks, lexer::hooks, the
// print hooks (print_hooks.h) and the GUI module's table (gui_entry/module.h).
#pragma once
#include "runtime/cell.h"

// ---- native!, action! and op! (runtime/datatypes/native.cpp), filled by boot/hooks.cpp -
namespace vyr::hooks {

// The interpreter's argument cache of a function-like value (interpreter::cache_spec).
using cache_spec_fn = u32 (*)(const cell* fn);
extern cache_spec_fn cache_spec;
// True when two argument caches gather the same arguments (interpreter::same_call_shape).
using same_call_shape_fn = bool (*)(u32 cache_a, u32 cache_b);
extern same_call_shape_fn same_call_shape;
// True when the natives table holds an entry at a 1-based index (natives::entry).
using native_exists_fn = bool (*)(u32 index);
extern native_exists_fn native_exists;

// ---- port! (runtime/datatypes/port.cpp), filled by boot/hooks.cpp ----------------------
// Calls an actor function with every slot of its argument list (interpreter::call_slots).
using call_slots_fn = void (*)(const cell* fn, const cell* slots, u32 n, const cell* name,
                               cell* result);
extern call_slots_fn call_slots;

}  // namespace vyr::hooks

// ---- core: errors (runtime/fire.cpp) ---------------------------------------------------
namespace vyr {

// The error module installs a builder that turns category/id/args into an error! value;
// without one, `fire` throws the words and arguments as they are.
using error_builder_fn = void (*)(const char* category, const char* id, const cell* args,
                                  int argc, cell* out);
extern error_builder_fn error_builder;
// The error module hands out its pre-built fatal errors (internal `no-memory` and
// `stack-overflow`) through this: raising them then needs no memory. Null for other ids.
using prebuilt_error_fn = const cell* (*)(const char* id);
extern prebuilt_error_fn prebuilt_error;

}  // namespace vyr

// ---- core: hash tables (runtime/hashtable.cpp) -----------------------------------------
namespace vyr::hashtable {

// Value comparison for kinds 0 and 1: answers 0 when equal under `op`. The datatype registry
// installs the compare action here; until then a same-type comparison of the payload (word
// kinds by symbol, string kinds by text with an ASCII case fold) stands in.
using compare_fn = i32 (*)(const cell* a, const cell* b, i32 op);
extern compare_fn compare_hook;
// Upper-case fold of one code point for string hashing and the stand-in comparison: the
// Unicode upper-case map (replaceable, e.g. by tests).
using fold_fn = u32 (*)(u32 cp);
extern fold_fn fold_upper_hook;

}  // namespace vyr::hashtable

// ---- core: ownership (runtime/ownership.cpp) -------------------------------------------
namespace vyr::ownership {

// Called with (owner, field word, changed value, action word, new value or null, index,
// part) when an owned value changes; the object module installs it.
using notify_fn = void (*)(const cell* owner, const cell* word, const cell* target,
                           const cell* action, const cell* new_value, i32 index, i32 part);
extern notify_fn notify;

}  // namespace vyr::ownership

// ---- datatype! (runtime/datatypes/datatype.cpp) ----------------------------------------
namespace vyr::datatype {

// Makes the word of a name into `out`. Installed by the word module; until then no words
// are made and word arguments of errors are none!.
using word_maker_fn = void (*)(const char* name, cell* out);
extern word_maker_fn word_maker;

}  // namespace vyr::datatype

// ---- contexts (runtime/datatypes/context.cpp) ------------------------------------------
namespace vyr::_context {

// A stack-valued context's word 2 is a reference the data stack hands out for a running
// call; the stack module installs the routine that turns it into the call's first cell and
// its cell count. Without one, such a context has no running call.
using frame_fn = cell* (*)(u32 ref, u32* count);
extern frame_fn frame_cells;
// Change notification of objects (user code: may allocate, move buffers and throw).
using on_set_fn = void (*)(const cell* owner, const cell* word, const cell* old_value,
                           const cell* new_value);
extern on_set_fn on_set_hook;

}  // namespace vyr::_context

// ---- series (runtime/datatypes/series.cpp) ---------------------------------------------
namespace vyr::series {

// The owner check that every edit calls; tests may stand in a handler here. Answers
// whether the owner was told (and so whether user code may have run).
using check_fn = bool (*)(const cell* changed, const cell* action_word,
                          const cell* new_value, i32 index, i32 part);
extern check_fn owner_check;

}  // namespace vyr::series

// ---- block! (runtime/datatypes/block.cpp) ----------------------------------------------
namespace vyr::block {

// Loads text (a string-like value, from its head) into a block at `out`: `to block!` of
// a string. Until the lexer installs it, that conversion raises internal not-done.
using load_fn = void (*)(const cell* text, cell* out);
extern load_fn load_hook;
// Calls a function! comparator of `sort/compare` with two values and answers the order:
// negative when a goes first. Until the interpreter installs it, such a sort raises
// internal not-done.
using call_compare_fn = i32 (*)(const cell* function, const cell* a, const cell* b);
extern call_compare_fn sort_call_hook;

}  // namespace vyr::block

// ---- string! (runtime/datatypes/string_actions.cpp) ------------------------------------
namespace vyr::string {

// Calling a function! comparator needs the evaluator, which installs this hook: it calls
// `fn` with (first, second) and leaves the answer in `out`. Until then `sort/compare` with
// a function raises internal not-done.
using call_comparator_fn = void (*)(const cell* fn, const cell* first, const cell* second,
                                    cell* out);
extern call_comparator_fn call_comparator;

}  // namespace vyr::string

// ---- integer! (runtime/datatypes/integer.cpp) ------------------------------------------
namespace vyr::integer {

// Text to integer, installed by the lexer (its integer reader): `error` receives -1 for a
// character that is not a digit or ''', -2 on overflow. Until installed, text conversions
// raise internal not-done.
using text_reader_fn = i32 (*)(const char* first, i32 count, u32 unit, i32* error);
extern text_reader_fn text_reader;

}  // namespace vyr::integer

// ---- float! (runtime/datatypes/float.cpp) ----------------------------------------------
namespace vyr::float_ {

// Text to float, installed by the lexer (its decimal reader); `error` becomes -1 on
// failure. Until installed, text conversions raise internal not-done.
using text_reader_fn = double (*)(const char* first, i32 count, u32 unit, i32* error);
extern text_reader_fn text_reader;
// Loads the first value of a string-like value from its index (to percent! of text),
// installed by the lexer: false when the text holds no value or does not load.
using value_loader_fn = bool (*)(const cell* text, cell* out);
extern value_loader_fn value_loader;

}  // namespace vyr::float_

// ---- money! (runtime/datatypes/money.cpp) ----------------------------------------------
namespace vyr::money {

// Text to money!, installed by the lexer (its money scanner): false when the text is not
// money or does not make one. Until installed, to money! of text raises internal not-done.
using text_scanner_fn = bool (*)(const char* first, i32 count, u32 unit, cell* out);
extern text_scanner_fn text_scanner;

}  // namespace vyr::money

// ---- scalars from text (runtime/datatypes/scalar_text.cpp) -----------------------------
namespace vyr::scalar_text {

// Loads the first value of a string-like value's text (from its index). True, with the
// value in `out`, when the text holds a value of `type` first; false for any other text,
// a syntax error included.
using loader_fn = bool (*)(const cell* text, u32 type, cell* out);
extern loader_fn loader;

}  // namespace vyr::scalar_text

// ---- object! (runtime/datatypes/object.cpp) --------------------------------------------
namespace vyr::object {

// Evaluates a bound block (the result is dropped): the block of `make object! [...]` or
// `make error! [...]`.
using evaluate_fn = void (*)(const cell* block);
extern evaluate_fn evaluate;
// Calls a change handler (function! or routine!) under a frame named `name` with `argc`
// argument cells; `locals` is the recorded local count. Without it, nothing is called.
using call_handler_fn = void (*)(const cell* handler, const cell* name, const cell* args,
                                 u32 argc, u32 locals);
extern call_handler_fn call_handler;
// The number of local slots of a function value (0 when not installed).
using count_locals_fn = u32 (*)(const cell* fn);
extern count_locals_fn count_locals;
// Replaces the function! at `slot` by a copy bound to the object's context (a method of a
// copied object). Without it, methods are shared with the prototype.
using rebind_method_fn = void (*)(cell* slot, u32 ctx);
extern rebind_method_fn rebind_method;

}  // namespace vyr::object

// ---- error! (runtime/datatypes/error.cpp) ----------------------------------------------
namespace vyr::error {

// The evaluator's current position (the `near` of a new error), or null.
using near_fn = const cell* (*)();
extern near_fn near_hook;
// Appends the call words from the frame base up to `position` (at most `max`, separated
// by " ") to the string `out`; returns the budget left.
using call_words_fn = i32 (*)(i32 position, i32 max, cell* out, i32 budget);
extern call_words_fn call_words_hook;

}  // namespace vyr::error

// ---- event! (runtime/datatypes/event.cpp) ----------------------------------------------
namespace vyr::event {

// The hook the GUI module installs for the fields of a native event that need the window
// system (face, window, offset, key, picked, orientation); without it they read none!.
using native_field_fn = cell* (*)(const cell* event, u32 index, cell* out);
extern native_field_fn native_field;

}  // namespace vyr::event

// ---- image! (runtime/datatypes/image.cpp) ----------------------------------------------
namespace vyr::image {

// `to image!` of an object!: the view engine installs the face test and face-to-image
// here; it answers false for an object that is not a face. Unset, every object raises
// bad-to-arg.
using face_to_image_fn = bool (*)(const cell* object, cell* out);
extern face_to_image_fn face_to_image;

}  // namespace vyr::image

// ---- the evaluator (runtime/interpreter/) ----------------------------------------------
namespace vyr::interpreter {

// Text to a block, installed by the lexer's loading layer (`do` of a string! and the
// console). Writes a block! value into `out`.
using load_fn = void (*)(const char* utf8, u32 length, cell* out);
extern load_fn load_hook;
// Runs a script file (`do %file`): its text must begin with a `Vyr [...]` header. Set by
// the start-up; until then `do` of a file! raises not-done.
using do_file_fn = void (*)(const cell* file, cell* result);
extern do_file_fn do_file_hook;

}  // namespace vyr::interpreter

// ---- the value codec (runtime/codecs/vyrbin_*.cpp) -------------------------------------
namespace vyr::vyrbin {

// Reading a file! or url! as binary for decode (`read/binary`), installed by the start-up.
// Until then a file! is read through the simple file service and a url! raises internal
// not-done.
using read_binary_fn = void (*)(const cell* source, cell* out);
extern read_binary_fn read_binary_hook;

}  // namespace vyr::vyrbin

namespace vyr::boot {

// The root block: values that live for the whole run. Made and rooted by
// boot::init_runtime before any datatype is set up; the datatypes and the codecs place
// values in it.
extern cell root;

}  // namespace vyr::boot
