// Case maps: two direct 65,536-entry maps for the Basic Multilingual Plane (0 = no mapping)
// built once at start-up, and sorted pair lists for the planes above it.
#include <algorithm>
#include <mutex>

#include "runtime/datatypes/string.h"
#include "runtime/fire.h"
#include "runtime/unicode.h"
#include "runtime/unicode_tables.h"
#include "runtime/datatypes/series.h"

namespace vyr::unicode {

namespace {

i32 upper_map[0x10000];
i32 lower_map[0x10000];

void fill(i32* map, const u32* pairs, u32 n) {
  for (u32 i = 0; i + 1 < n; i += 2) map[pairs[i]] = static_cast<i32>(pairs[i + 1]);
}

// Binary search over (key, partner) pairs with ascending keys.
u32 look_up(const u32* pairs, u32 n, u32 cp) {
  if (n < 2 || cp < pairs[0] || cp > pairs[n - 2]) return cp;
  u32 lo = 0, hi = n / 2;
  while (lo < hi) {
    u32 mid = (lo + hi) / 2;
    u32 key = pairs[mid * 2];
    if (key == cp) return pairs[mid * 2 + 1];
    if (key < cp) lo = mid + 1; else hi = mid;
  }
  return cp;
}


}  // namespace

void init_case_folding() {
  // The maps start zero (static storage): only the entries written here cost pages. They
  // are filled on the first change of case outside ASCII, which start-up never makes:
  // about 20 pages fewer to fault in at every start.
  static std::once_flag once;
  std::call_once(once, [] {
    fill(upper_map, tables::upper_pairs_bmp, tables::upper_pairs_bmp_count);
    fill(lower_map, tables::lower_pairs_bmp, tables::lower_pairs_bmp_count);
  });
}

u32 change_char_case(u32 cp, bool upper) {
  // ASCII without the maps: among its characters only the 26 letters have another case.
  if (cp < 0x80) {
    if (upper) return cp >= 'a' && cp <= 'z' ? cp - 32 : cp;
    return cp >= 'A' && cp <= 'Z' ? cp + 32 : cp;
  }
  if (cp <= 0xFFFF) {
    init_case_folding();
    i32 m = upper ? upper_map[cp] : lower_map[cp];
    return m ? static_cast<u32>(m) : cp;
  }
  return upper ? look_up(tables::upper_pairs_supp, tables::upper_pairs_supp_count, cp)
               : look_up(tables::lower_pairs_supp, tables::lower_pairs_supp_count, cp);
}

u32 char_to_upper(u32 cp) { return change_char_case(cp, true); }

u32 toggle_char_case(u32 cp) {
  u32 up = change_char_case(cp, true);
  return up == cp ? change_char_case(cp, false) : up;
}

cell* change_case(cell* value, const cell* part, bool upper, const cell* part_word) {
  if (type_of(value) == TYPE_CHAR) {
    value->data2 = change_char_case(value->data2, upper);
    return value;
  }
  if (!series::string_like_q(type_of(value))) return value;
  u32 node = value->data2;
  series_buffer* b = buffer_of(node);
  u32 used = b->used_units();
  if (value->data1 > used) value->data1 = used;
  u32 head = value->data1;
  i64 count = used - head;
  if (part) {
    i64 n;
    if (type_of(part) == TYPE_INTEGER) {
      n = static_cast<i32>(part->data2);
    } else if (type_of(part) == type_of(value) && part->data2 == node) {
      n = i64(part->data1) - i64(head);
    } else {
      cell none_cell{TYPE_NONE, 0, 0, 0};
      fire("script", "invalid-refine-arg", part_word ? part_word : &none_cell, part);
    }
    count = std::clamp<i64>(n, 0, count);
  }
  for (u32 i = head; i < head + count; i++) {
    u32 cp = string::get_char(b->head() + u64{i} * b->unit(), b->unit());
    u32 m = change_char_case(cp, upper);
    if (m != cp) b = string::set_char_at(b, i, m);
  }
  return value;
}

}  // namespace vyr::unicode
