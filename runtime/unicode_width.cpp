// Display width of a code point on a fixed-width terminal: 0 for combining marks and format
// characters, 2 for East Asian wide and full-width characters, 1 otherwise.
#include "runtime/unicode.h"
#include "runtime/unicode_tables.h"

namespace vyr::unicode {

u32 in_ranges_q(u32 cp, const u32* table, u32 n) {
  if (n < 2 || cp < table[0] || cp > table[n - 1]) return 0;
  // Ranges are disjoint and ascending: find the last range that starts at or below cp.
  u32 lo = 0, hi = n / 2;
  while (lo < hi) {
    u32 mid = (lo + hi) / 2;
    if (table[mid * 2] <= cp) lo = mid + 1; else hi = mid;
  }
  return lo > 0 && cp <= table[(lo - 1) * 2 + 1] ? 1 : 0;
}

u32 char_width(u32 cp) {
  if (cp == 0) return 0;
  // Control characters take one column here (they are shown as something), unlike the
  // usual "no width" answer.
  if (cp < 0x20 || (cp >= 0x7F && cp <= 0x9F)) return 1;
  if (in_ranges_q(cp, tables::zero_width_ranges, tables::zero_width_ranges_count)) return 0;
  if (in_ranges_q(cp, tables::wide_ranges, tables::wide_ranges_count)) return 2;
  return 1;
}

u32 char_width_east_asian(u32 cp) {
  if (in_ranges_q(cp, tables::ambiguous_ranges, tables::ambiguous_ranges_count)) return 2;
  return char_width(cp);
}

}  // namespace vyr::unicode
