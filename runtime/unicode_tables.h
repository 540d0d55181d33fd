// Generated Unicode data (runtime/case_tables.cpp, runtime/width_tables.cpp): flat lists of
// 32-bit integers, keys ascending. Regenerate with tools/gen_unicode_tables.py.
#pragma once
#include "runtime/cell.h"

namespace vyr::unicode::tables {

// Case pairs (from, to, from, to, ...); *_count is the number of integers.
extern const u32 upper_pairs_bmp[];
extern const u32 upper_pairs_bmp_count;
extern const u32 upper_pairs_supp[];
extern const u32 upper_pairs_supp_count;
extern const u32 lower_pairs_bmp[];
extern const u32 lower_pairs_bmp_count;
extern const u32 lower_pairs_supp[];
extern const u32 lower_pairs_supp_count;

// Closed ranges (first, last, first, last, ...); *_count is the number of integers.
extern const u32 zero_width_ranges[];
extern const u32 zero_width_ranges_count;
extern const u32 wide_ranges[];
extern const u32 wide_ranges_count;
extern const u32 ambiguous_ranges[];
extern const u32 ambiguous_ranges_count;

}  // namespace vyr::unicode::tables
