// bitset!: a set of non-negative integers as a bit array (bit n in byte n / 8 under mask
// 0x80 >> n % 8) with a complement flag (SERIES_COMPLEMENT in the buffer's flags): a value
// beyond the array is a member exactly when the flag is set. Bytes of the buffer beyond the
// used length always hold the fill byte of the flag (0x00 clear, 0xFF set).
#pragma once
#include <vector>

#include "runtime/datatypes/action_slots.h"
#include "runtime/memory.h"

namespace vyr::bitset {

// Largest bit count a bitset may hold (its length must fit integer!).
constexpr u64 MAX_BITS = 0x7FFFFFFF;

bool complement_q(const cell* bits);
// Membership of n: the stored bit inside the array, the flag beyond it.
bool test_q(const cell* bits, u64 n);
// The used bytes of the array, as stored.
std::vector<u8> bytes_of(const cell* bits);
// The first byte of the array.
u8* rs_head(const cell* bits);
// A new bitset! at `c` with `bytes` used bytes of the fill byte of `complemented`.
cell* make_at(cell* c, u32 bytes, bool complemented);

// Operation codes of do_bitwise: the math codes of and~, or~, xor~ and the set codes.
constexpr i32 OP_OR = 5, OP_AND = 6, OP_XOR = 7;
constexpr i32 SET_UNIQUE = 8, SET_UNION = 9, SET_INTERSECT = 10, SET_EXCLUDE = 11,
              SET_DIFFERENCE = 12;

// The bitwise actions and set operations: op 8 unique, 9 union, 10 intersect, 11 exclude,
// 12 difference, over the bitsets at stack::arguments and the cell after it; the result
// replaces the first.
void do_bitwise(i32 op);

void init();  // registers bitset!

}  // namespace vyr::bitset
