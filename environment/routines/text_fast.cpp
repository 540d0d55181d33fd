// `split-fast` and `replace-fast`: the fast paths of split and replace/all for their
// common arguments, text split on a char, a string or a bitset, and text replaced
// everywhere by a char or a string. Each answers exactly what the library function's own
// code (parse for split, find and change for replace) gives, matching as they match:
// characters compared through the upper-case map unless the case counts, a bitset by
// membership. For any other argument they answer none and the function's code runs.
// The texts are read first and written only through the string writers.
#include <algorithm>
#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "environment/routines/routines.h"
#include "runtime/collector.h"
#include "runtime/datatypes/bitset.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/char.h"
#include "runtime/datatypes/function.h"
#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/series.h"
#include "runtime/datatypes/string.h"
#include "runtime/unicode.h"

namespace vyr::routines {

namespace {

// The characters of a string-like value from its position.
std::vector<u32> chars_from(const cell* v) {
  series_buffer* b = buffer_of(series::node(v));
  u32 used = b->used_units(), at = std::min(series::index(v), used), unit = b->unit();
  std::vector<u32> out(used - at);
  const char* p = b->head() + u64{at} * unit;
  for (u32 i = 0; i < out.size(); i++) out[i] = string::get_char(p + u64{i} * unit, unit);
  return out;
}

// Where the text's matches of the delimiter begin, from `from` to `end` (indexes from the
// buffer's head), each search going on behind the last match (`size` characters long).
// The delimiter is a list of characters (folded unless `exact`) or a bitset.
struct matcher {
  std::vector<u32> pattern;
  const cell* bits = nullptr;
  bool exact = false;

  u32 size() const { return bits ? 1 : u32(pattern.size()); }

  // The character as the comparison sees it: the upper-case map's answer, kept in a
  // table for the one-byte range.
  u32 fold(u32 c) const {
    if (exact) return c;
    static const std::array<u32, 256> low = [] {
      std::array<u32, 256> t{};
      for (u32 i = 0; i < 256; i++) t[i] = unicode::char_to_upper(i);
      return t;
    }();
    return c < 256 ? low[c] : unicode::char_to_upper(c);
  }

  // The byte, when the pattern is one character of one-byte text that only that byte
  // matches (most punctuation): memchr finds it. Else -1.
  int only_byte(const series_buffer* b) const {
    if (b->unit() != 1 || bits || pattern.size() != 1) return -1;
    int only = -1, count = 0;
    for (u32 c = 0; c < 256; c++)
      if (fold(c) == pattern[0]) only = int(c), count++;
    return count == 1 ? only : -1;
  }

  void find_all(const cell* text, u32 from, std::vector<u32>& at) const {
    series_buffer* b = buffer_of(series::node(text));
    u32 unit = b->unit(), end = b->used_units();
    if (int only = only_byte(b); only >= 0 && end - from > 1024) {
      const char* p = b->head();
      for (const char* q = p + from; (q = static_cast<const char*>(std::memchr(q, only, size_t(p + end - q))));)
        at.push_back(u32(q++ - p));
      return;
    }
    switch (unit) {
      case 1: scan(reinterpret_cast<const u8*>(b->head()), from, end, at); break;
      case 2: scan(reinterpret_cast<const u16*>(b->head()), from, end, at); break;
      default: scan(reinterpret_cast<const u32*>(b->head()), from, end, at); break;
    }
  }

  template <class Unit>
  void scan(const Unit* p, u32 from, u32 end, std::vector<u32>& at) const {
    u32 m = size();
    // Whether a character may begin a match; for a long text from a table over the
    // one-byte range, made first.
    bool first[256];
    bool table = end - from > 1024;
    if (table)
      for (u32 c = 0; c < 256; c++) first[c] = bits ? bitset::test_q(bits, c) : fold(c) == pattern[0];
    auto starts = [&](u32 c) {
      if (table && c < 256) return first[c];
      return bits ? bitset::test_q(bits, c) : fold(c) == pattern[0];
    };
    for (u32 i = from; i + m <= end;) {
      if (!starts(p[i])) {
        i++;
        continue;
      }
      bool hit = true;
      for (u32 k = 1; hit && k < m; k++) hit = fold(p[i + k]) == pattern[k];
      if (hit) {
        at.push_back(i);
        i += m;
      } else {
        i++;
      }
    }
  }
};

// The delimiter or pattern: a char! or a non-empty string! from its position.
bool make_matcher(const cell* v, bool exact, matcher& m) {
  m.exact = exact;
  if (type_of(v) == TYPE_CHAR) {
    m.pattern = {char_::get(v)};
  } else if (type_of(v) == TYPE_STRING) {
    m.pattern = chars_from(v);
    if (m.pattern.empty()) return false;
  } else {
    return false;
  }
  for (u32& c : m.pattern) c = m.fold(c);
  return true;
}

// `split-fast series dlm`: the block of pieces, or none. The pieces are copies of the
// series' own type; the empty piece after a delimiter at the end is a string!.
void split_fast_code(cell* a, u32) {
  cell series = a[0], dlm = a[1];
  matcher m;
  bool ok = series::string_like_q(type_of(&series));
  if (ok && type_of(&dlm) == TYPE_BITSET) m.bits = &dlm;
  else if (ok) ok = make_matcher(&dlm, false, m);
  if (!ok) {
    a[0] = cell{TYPE_NONE, 0, 0, 0};
    return;
  }
  u32 from = std::min(series::index(&series), buffer_of(series::node(&series))->used_units());
  u32 end = buffer_of(series::node(&series))->used_units();
  std::vector<u32> at;
  m.find_all(&series, from, at);
  // Nothing below reads the delimiter again, nor the texts' buffers except through cells.
  // Every piece made stays reachable from the result: a collection meanwhile would only
  // mark the growing block over and over.
  collector::no_collect nc;
  cell out{TYPE_NONE, 0, 0, 0};
  collector::root_guard keep_out(&out);
  block::make_at(&out, i32(at.size() + 2));
  cell piece{TYPE_NONE, 0, 0, 0};
  collector::root_guard keep_piece(&piece);
  u32 pos = from;
  for (u32 hit : at) {
    series::copy_units(&series, pos, hit - pos, &piece);
    block::rs_append(&out, &piece);
    pos = hit + m.size();
  }
  if (pos < end) {
    series::copy_units(&series, pos, end - pos, &piece);
  } else {
    string::make_at(&piece, 1);  // at the end, whatever the series' type
  }
  block::rs_append(&out, &piece);
  a[0] = out;
}

// `replace-fast series pattern value case?`: replace/all of a char or string pattern by a
// char or string value in text that no object owns; true when done, else none.
void replace_fast_code(cell* a, u32) {
  cell series = a[0], pattern = a[1], value = a[2];
  bool exact = !logic::falsy(&a[3]);
  collector::root_guard keep_series(&series), keep_value(&value);
  matcher m;
  u32 tv = type_of(&value);
  if (!series::string_like_q(type_of(&series)) || (tv != TYPE_STRING && tv != TYPE_CHAR) ||
      (buffer_of(series::node(&series))->flags & SERIES_OWNED) ||
      !make_matcher(&pattern, exact, m)) {
    a[0] = cell{TYPE_NONE, 0, 0, 0};
    return;
  }
  series_buffer* sb = buffer_of(series::node(&series));
  u32 end = sb->used_units();
  u32 from = std::min(series::index(&series), end);
  u32 size = m.size();
  std::vector<u32> vtext = tv == TYPE_CHAR ? std::vector<u32>{char_::get(&value)} : chars_from(&value);
  bool ascii = sb->unit() == 1;
  for (u32 c : vtext) ascii = ascii && c < 0x80;
  // A one-byte pattern in one-byte text replaced by ASCII is found by memchr as the edit
  // goes: no list of places, which for a long text is as long as its matches.
  int only = ascii ? m.only_byte(sb) : -1;
  std::vector<u32> at;
  u64 n;
  if (only >= 0) {
    const char* h = sb->head();
    n = u64(std::count(h + from, h + end, char(only)));
  } else {
    m.find_all(&series, from, at);
    n = at.size();
  }
  logic::make_at(&a[0], true);
  if (n == 0) return;
  u64 total = u64{end} - u64{size} * n + u64{vtext.size()} * n;
  memory::checked_size(total, 4);
  if (ascii) {
    // Each piece is moved once. A value no longer than the pattern moves the pieces down
    // in place, front to back; a longer one writes them into a new buffer of the exact
    // size, read from the old one (nothing collects meanwhile, so it stays where it is).
    std::string v(vtext.begin(), vtext.end());
    u32 vn = u32(v.size());
    size_t k = 0;
    auto next = [&](const char* text, u32 pos) -> u32 {  // the match at or after pos
      if (only < 0) return k < at.size() ? at[k++] : end;
      const void* q = std::memchr(text + pos, only, end - pos);
      return q ? u32(static_cast<const char*>(q) - text) : end;
    };
    if (vn <= size) {
      char* p = sb->head();
      u32 hit = next(p, from);
      u64 w = hit;
      while (hit < end) {
        std::memcpy(p + w, v.data(), vn);
        w += vn;
        u32 after = hit + size, following = next(p, after);
        std::memmove(p + w, p + after, following - after);
        w += following - after;
        hit = following;
      }
      sb->tail = sb->offset + u32(total);
      return;
    }
    if (u64{sb->offset} + total <= sb->end_offset()) {
      // Room enough: the pieces move up from the end, each before anything overwrites it.
      char* p = sb->head();
      size_t j = at.size();
      auto last = [&](u32 before) -> u32 {  // the last match ending at or before `before`
        if (only < 0) return at[--j];
        return u32(static_cast<const char*>(memrchr(p + from, only, before - from)) - p);
      };
      u64 w = total;
      u32 stop = end;
      for (u64 i = 0; i < n; i++) {
        u32 hit = last(stop), after = hit + size;
        w -= stop - after;
        std::memmove(p + w, p + after, stop - after);
        w -= vn;
        std::memcpy(p + w, v.data(), vn);
        stop = hit;
      }
      sb->tail = sb->offset + u32(total);
      return;
    }
    collector::no_collect nc;
    series_buffer* old = sb;
    const char* s = old->head();
    sb = memory::grow_buffer(sb, total);
    char* p = sb->head();
    u32 hit = next(s, from);
    std::memcpy(p, s, hit);
    u64 w = hit;
    while (hit < end) {
      std::memcpy(p + w, v.data(), vn);
      w += vn;
      u32 after = hit + size, following = next(s, after);
      std::memcpy(p + w, s + after, following - after);
      w += following - after;
      hit = following;
    }
    sb->tail = sb->offset + u32(total);
    if (old->flags & SERIES_BIG) memory::free_big(old);
    return;
  }
  // What follows the first match is kept apart, and a value that is the series' own text
  // too: both are read as they were before the edit.
  cell rest{TYPE_NONE, 0, 0, 0};
  collector::root_guard keep_rest(&rest);
  series::copy_units(&series, at[0], end - at[0], &rest);
  if (tv == TYPE_STRING && series::node(&value) == series::node(&series)) {
    u32 vi = std::min(series::index(&value), end);
    series::copy_units(&value, vi, end - vi, &value);
  }
  series_buffer* b = string::truncate_buffer(buffer_of(series::node(&series)), at[0]);
  b = string::reserve(b, memory::checked_size(total, b->unit()));
  cell piece = rest;
  for (size_t i = 0; i < at.size(); i++) {
    if (tv == TYPE_CHAR) {
      string::append_char(buffer_of(series::node(&series)), char_::get(&value));
    } else {
      string::concatenate(&series, &value, -1, 0, false, string::CONCAT_APPEND);
    }
    u32 after = at[i] + size - at[0];
    u32 next = (i + 1 < at.size() ? at[i + 1] : end) - at[0];
    if (next > after) {
      series::index(&piece) = after;
      string::concatenate(&series, &piece, i32(next - after), 0, false, string::CONCAT_APPEND);
    }
  }
}

}  // namespace

void register_text_fast() {
  routine::register_("split-fast", split_fast_code);
  routine::register_("replace-fast", replace_fast_code);
}

}  // namespace vyr::routines
