// The lexer's loading layer: runs the scanner over UTF-8 text and turns its tokens into
// values in one output pool shared by nested scans, with new-line markers, syntax errors
// and the events of the trace callback. The pool is a collector root while a scan runs.
//
// Entry points for running source text:
//   - UTF-8 bytes (a script file, a binary!): `lexer::scan(&out, bytes, n)` with the
//     defaults loads every value into a new block! at `out`.
//   - A string! (console input, `do "..."`): `lexer::load_string(&out, &text)`.
// Both raise the syntax errors (`syntax invalid/missing/malconstruct/bad-char`) with the
// line; `out` must be a cell outside any series buffer (a local, a stack slot), written only
// when the scan succeeds.
#pragma once
#include "runtime/lexer/lexer.h"

namespace vyr::lexer {

// Allocates the output pool and the scratch buffer, builds the table of the words that name
// structural tokens (`exit_states`), installs the text to number readers of integer! and
// float!, and registers `mark_buffers` with the collector. Runs once, after the symbols.
void init();

// Collector hook: the output cells of every running scan, their input values and callbacks.
void mark_buffers();

// Scans `count` bytes of UTF-8 text. Flags: `one` stops after the first complete value;
// `not_prescan` false is prescan mode, `not_scan` false is scan mode (both true: a full
// load, where values are built and errors raised). Unless in scan mode the values become a
// block! at `dst` (appended to `into` when given, `dst` then set to `into`); with `one` and
// not `keep_block` the first value alone goes to `dst`. `consumed` receives the units read
// (characters when `input` is a string!, else bytes). `callback` is the trace callback (any
// value the `callback_hooks` know how to call) or null; `input` is the string! or binary!
// the bytes came from (events hand out copies of it) or null. Returns the datatype id of the
// last token, 0 when none, TYPE_ERROR when prescan or scan mode met an error.
// `bytes` must stay where they are for the whole scan (no series buffer: copy it first).
u32 scan(cell* dst, const u8* bytes, u32 count, bool one = false, bool not_prescan = true,
         bool not_scan = true, bool keep_block = true, u32* consumed = nullptr,
         const cell* callback = nullptr, const cell* input = nullptr, cell* into = nullptr);

// The same over the characters of any string-like value from its index (`length`
// characters, or -1 for all to its tail), converted to UTF-8 in the scratch buffer first.
u32 load_string(cell* dst, const cell* text, i32 length = -1, bool one = false,
                bool not_prescan = true, bool not_scan = true, bool keep_block = true,
                u32* consumed = nullptr, const cell* callback = nullptr, cell* into = nullptr);

// The refinements of `transcode` that the lexer answers by itself.
struct transcode_options {
  bool next = false, one = false, prescan = false, scan = false;
  const cell* part = nullptr;      // /part: integer! length, or a series of the source's type
  cell* into = nullptr;            // /into: the block appended to
  const cell* trace = nullptr;     // /trace: the callback
};
// transcode over a string! or binary! source; the result goes to `out` (a cell outside any
// series buffer): a block!, a value (/one), a datatype! or none! (/scan, /prescan), the
// block [value rest] (/next) or the /into block.
cell* transcode(const cell* src, const transcode_options& o, cell* out);

// How the callback is run. The interpreter installs a caller that evaluates a function!
// (pushing its frame under `<lexer-callback>`) or calls a routine!; tests install their own.
struct callback_hooks {
  // Calls `callback` with five arguments: event word, input, type, line, token. args[1]
  // must hold the callback's `input` argument as it is when the call returns (a moved
  // index moves the scan). Returns the truth of the result.
  bool (*call)(const cell* callback, cell* args) = nullptr;
  // The first value of the callback's body, or null (its event words set the mask).
  const cell* (*body_head)(const cell* callback) = nullptr;
};
extern callback_hooks hooks;

// The event bits named by the event words of a block (prescan scan load open close error);
// other values count 0.
u32 event_mask_of(const cell* block);

// The event word of an event bit (`prescan` ... `error`).
cell event_word(u32 bit);

// The block whose n-th value names the structural token of final state 65 + n in events
// (`system/lexer/exit-states`). The environment may replace it with its own block.
extern cell exit_states;

}  // namespace vyr::lexer
