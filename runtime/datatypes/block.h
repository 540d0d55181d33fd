// block!: a series of cells (one 16-byte cell per unit), the storage that paren!, the path
// kinds and hash! share. Buffer operations, constructors, make/to, mold and form with
// their layout rules, compare, the editing and searching actions and the set operations.
// Invariant: no cell address returned here survives an allocation; re-fetch through the
// value. Every edit reports to the owner check and re-reads the block after it.
#pragma once
#include "runtime/datatypes/action_slots.h"
#include "runtime/memory.h"
#include "runtime/hooks.h"

namespace vyr::block {

// ---- Buffer operations (no type checks; block value cells) ------------------------------

i32 rs_length_q(const cell* value);       // from the head; negative past the tail
bool rs_next(cell* value);                // one cell on unless at the tail; at tail now?
cell* rs_head(cell* value);               // clips a head past the tail first
cell* rs_tail(const cell* value);
bool rs_tail_q(const cell* value);        // head position equals the tail
cell* rs_abs_at(const cell* value, u32 index);
void rs_clear(cell* value);               // tail = head position
void rs_truncate(cell* value, u32 index); // tail at an absolute index (never grows)
void rs_remove_last(cell* value);
// Appends a copy of `cell` at the tail; returns the new cell (valid until allocation).
// `item` may lie in any buffer, this one included.
cell* rs_append(cell* value, const cell* item);
void rs_append_block(cell* value, const cell* other);
// The cell after the first cell equal (find equality) to key, or `none_value`.
const cell* rs_select(const cell* value, const cell* key);
// Removes the first cell equal to `item` (find equality) from the head, or from the
// buffer start with `from_start`. Answers 0 when nothing matched, else 1 exactly when
// the removed cell was the buffer's first cell and 0 otherwise.
i32 remove_value(cell* value, const cell* item, bool from_start);
// Pushes a new block (the source's type) holding copies of the cells from the head.
// `deep`: nested block! values are cloned in turn; with `any` also paren! and paths.
cell* clone(const cell* value, bool deep, bool any);
// Over `count` cells from `first` (stepping by `step`), replaces each series value whose
// type is `types` (a datatype!) by a deep copy.
void deep_copy_types(const cell* block, i32 first, i32 count, i32 step, const cell* types);
// Inserts a copy of `item` at the head (or the buffer start); with `advance` the head
// moves past it. Grows to twice the needed size when full.
void insert_value(cell* value, const cell* item, bool at_start, bool advance);
// Inserts the other block's cells at the head, in order, advancing past them.
void insert_block(cell* value, const cell* other);
// Compiled code: insert (advancing) or append the cell at stack::arguments into the
// block held in the cell below it.
void insert_arg();
void append_arg();
// Appends a copy of the cell at stack::arguments to `block` (reduce).
void append_result(cell* block);
// The cell after the first any-word whose symbol matches w's (through the canonical
// symbol unless `case_sensitive`), or null when absent or last.
const cell* select_word(const cell* value, const cell* w, bool case_sensitive);

// ---- Constructors ------------------------------------------------------------------------

cell* make_at(cell* c, i32 n);            // empty block!, room for n cells (1 when n < 1)
// A fixed (never moving) buffer of n cells; with `unset_cells` n unset! cells in it.
cell* make_fixed_at(cell* c, i32 n, bool unset_cells);
// In a new cell at the tail of `parent`, or in the root cell when parent is null.
cell* make_fixed(const cell* parent, i32 n);
cell* make_in(const cell* parent, i32 n);
cell* push(const cell* value);
cell* push_only_entry(i32 n);             // a new empty block, room for n (1 when n is 0)

// Deep copies: the value (a series) or every series cell of a block is replaced by a deep
// copy. A block met again while being copied raises internal no-cycle.
void deep_copy_cell(cell* c);
void deep_copy_cells(const cell* block);

// ---- Hooks for the interpreter and the lexer ---------------------------------------------

// ---- Actions ------------------------------------------------------------------------------

const cell* make(const cell* proto, const cell* spec, u32 type);
const cell* to(const cell* proto, const cell* spec, u32 type);
i32 form(const cell* value, cell* out, const cell* part, i32 budget);
i32 mold(const cell* value, cell* out, bool only, bool all, bool flat, const cell* part,
         i32 budget, i32 indent);
// The cells of a block-like value with the block layout rules, without brackets; *stopped
// is set when the /part budget ran out (the caller then writes no closing text).
i32 mold_body(const cell* value, cell* out, bool only, bool all, bool flat,
              const cell* part, i32 budget, i32 indent, bool* stopped);
i32 compare(const cell* a, const cell* b, i32 op);
const cell* eval_path(cell* parent, cell* element, cell* value, const path_args& walk);
// `append` without refinements of one value that is not a block, path or paren to a
// block! with room for it and no owner to tell: the cell goes at the tail as append puts it
// (the series' index going to its head, as append answers it) and the answer is true;
// otherwise nothing changes and the answer is false. Never allocates.
bool append_in_place(cell* series, const cell* value);
const cell* append(cell* series, const cell* value, i32 part, bool only, i32 dup,
                   bool append);
const cell* change(cell* series, const cell* value, i32 part, bool only, i32 dup);
const cell* copy(const cell* value, cell* dest, const cell* part, bool deep,
                 const cell* types);
const cell* find(cell* series, const cell* value, const find_args& opts);
const cell* select(cell* series, const cell* value, const find_args& opts);
const cell* put(cell* series, const cell* key, const cell* value, bool case_sensitive);
const cell* sort(cell* series, const sort_args& opts);
const cell* swap(cell* series1, cell* series2);
const cell* take(cell* series, const cell* part, bool deep, bool last);
const cell* trim(cell* series, const trim_args& opts);

// Set operation codes of `do_set_op`.
constexpr i32 SET_UNIQUE = 8;
constexpr i32 SET_UNION = 9;
constexpr i32 SET_INTERSECT = 10;
constexpr i32 SET_EXCLUDE = 11;
constexpr i32 SET_DIFFERENCE = 12;
// The two series at stack::arguments and the cell after it; the result replaces the
// first. `skip` is the /skip cell or null.
const cell* do_set_op(bool case_sensitive, const cell* skip, i32 op);

void init();  // registers block!

}  // namespace vyr::block
