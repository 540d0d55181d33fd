// The loop natives (`while`, `until`, `loop`, `repeat`, `forever`, `foreach`, `forall`,
// `remove-each`) and the iteration steps they share with compiled loops.
//
// An iterating loop keeps an iteration record of two cells on the data stack just below
// its loop frame's arguments: record[0] a copy of the series being walked (its head index
// is the loop position and moves in place), record[1] the word or block of words to set.
// The steps take the record's address (stack::arguments - 2 for compiled loops); the data
// stack never moves, so the pointer survives the allocations a body makes.
#pragma once
#include "runtime/cell.h"
#include "runtime/fire.h"
#include "runtime/stack.h"

namespace vyr::natives {

// Runs loop bodies in a block frame above the loop frame `me` (pushed at once and kept for
// every iteration), with what every pass shares set up once for the loop: the
// machine stack checked, the position outside the loop saved (and put back when the loop
// ends, errors included). `run` answers 0 for a normal end, the body's value left at
// stack::top - 1, or THROW_BREAK or THROW_CONTINUE when one of them ended it (consumed
// here, whether it came as a pending exit or an exception; `break_value` receives the
// /return value). Any other pending exit is left pending for the caller to pass on.
class loop_body {
 public:
  explicit loop_body(u32 me);
  ~loop_body();
  // Defined in loops.cpp, the loops' own file, and inlined into each loop there.
  inline u32 run(const cell* body, cell* break_value);
  loop_body(const loop_body&) = delete;
  loop_body& operator=(const loop_body&) = delete;

 private:
  void open_frame();
  [[gnu::noinline]] u32 caught(const thrown& t, cell* break_value);
  [[gnu::noinline]] u32 pending_exit(cell* break_value);
  u32 me_;
  cell* args_ = nullptr;  // the block frame's arguments (the data stack never moves)
  const cell* outside_;   // the current position outside the loop
  cell at_;               // the body under evaluation, its index at the expression
};
// Leaves a loop frame `me` and the block frame loop_body keeps above it.
void leave_loop(u32 me);

// ---- Iteration steps --------------------------------------------------------------------

// Whether an element is left at the series value's position (image!: index below width x
// height; every other series and map!: index below the tail).
bool series_left_q(const cell* series);
// One word: sets it (with change notification) to the element at the position (block-like:
// the cell itself; other series: what `pick 1` gives) and advances by 1. True when set.
bool foreach_next(cell* record);
// A block of n words: sets them from the n elements at the position (missing ones give
// none!) and advances by n whatever was left. True when the words were set. map! takes
// exactly two words (else script invalid-arg with the block).
bool foreach_next_block(cell* record, u32 n);
// Sets word i of the block to `pick series i`, i = 1..n.
void set_words_from_series(const cell* words, const cell* series, u32 n);
// Checks that the record's series is a series or map! (script expect-arg otherwise) and
// sets the word to it.
void forall_set_word(cell* record, const cell* word);
// Reads the series the word refers to (it must still be the record's series buffer, else
// script bad-loop-series with the value), moves its index on by one in place when
// `advance`, and answers whether it is then at its end.
bool forall_next(const cell* record, const cell* word, bool advance);
// Copies the index of the word's current value into the record's series.
cell* forall_sync_index(cell* record, const cell* word);
// When `value` is truthy, moves the record's position back by n and removes n elements
// there; the position becomes the index the removal answers.
void remove_each_step(cell* record, const cell* value, u32 n);
// A float! count becomes an integer! in place (truncated; script out-of-range for NaN or a
// value outside 32 bits). Answers the count.
i32 count_arg_to_integer(cell* count);
// Adds one to the integer! the word refers to (set again through the context, so an
// object's change handler sees it).
void increment_counter(const cell* word);
// Stores the length of the record's word block (1 for one word) in the cell just below
// the record and answers that cell.
cell* foreach_set_count(cell* record);

}  // namespace vyr::natives
