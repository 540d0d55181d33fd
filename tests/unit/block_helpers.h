// Test support for the series and block modules, kept apart from the lexer: a small reader
// for the value forms the tests need (integers, floats, words of every kind, blocks,
// parens, paths, `#none`, line breaks as new-line markers), rooted holders for values, and
// calls of the action implementations with their arguments on the data stack.
#pragma once
#include <cctype>
#include <string>

#include "runtime/collector.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/series.h"
#include "runtime/datatypes/word.h"
#include "tests/unit/value_helpers.h"

namespace vyr::test {

// Rooted cells for the values a test holds across allocations; `release_kept` empties them.
inline cell* kept_cells() {
  static cell cells[512];
  static bool rooted = false;
  if (!rooted) {
    for (cell& c : cells) {
      c = cell{TYPE_NONE, 0, 0, 0};
      collector::add_root(&c);
    }
    rooted = true;
  }
  return cells;
}
inline u32& kept_count() {
  static u32 n = 0;
  return n;
}
inline cell* keep(const cell& v) {
  cell* c = kept_cells() + kept_count()++ % 512;
  *c = v;
  return c;
}
inline void release_kept() {
  for (u32 i = 0; i < 512; i++) kept_cells()[i] = cell{TYPE_NONE, 0, 0, 0};
  kept_count() = 0;
}

namespace reader {
inline void skip_space(const char*& p, bool& line) {
  while (*p && std::isspace(static_cast<unsigned char>(*p))) {
    if (*p == '\n') line = true;
    p++;
  }
}

inline cell read_value(const char*& p, bool& line);

// Cells up to `close` into a new block of `type`, kept rooted.
inline cell read_cells(const char*& p, char close, u32 type) {
  cell* blk = keep(cell{});
  block::make_at(blk, 4);
  set_type(blk, type);
  for (;;) {
    bool line = false;
    skip_space(p, line);
    if (!*p || *p == close) break;
    cell v = read_value(p, line);
    if (line) v.header |= HEADER_NEW_LINE;
    block::rs_append(blk, &v);
  }
  if (*p) p++;
  return *blk;
}

inline bool delimiter(char c) {
  return !c || std::isspace(static_cast<unsigned char>(c)) || c == '[' || c == ']' ||
         c == '(' || c == ')' || c == '/';
}

inline cell read_word(const char*& p) {
  u32 type = TYPE_WORD;
  if (*p == '\'') { type = TYPE_LIT_WORD; p++; }
  else if (*p == ':') { type = TYPE_GET_WORD; p++; }
  std::string name;
  while (!delimiter(*p) && *p != ':') name += *p++;
  if (*p == ':') { type = TYPE_SET_WORD; p++; }
  cell w = word::intern(name.c_str());
  set_type(&w, type);
  return w;
}

inline cell read_atom(const char*& p) {
  if (std::isdigit(static_cast<unsigned char>(*p)) ||
      (*p == '-' && std::isdigit(static_cast<unsigned char>(p[1])))) {
    const char* start = p;
    bool is_float = false;
    p++;
    while (!delimiter(*p)) is_float |= *p++ == '.';
    std::string text(start, p);
    return is_float ? float_cell(std::stod(text)) : int_cell(std::stoi(text));
  }
  if (std::string(p, std::min<size_t>(5, std::strlen(p))) == "#none") {
    p += 5;
    return cell{TYPE_NONE, 0, 0, 0};
  }
  return read_word(p);
}

inline cell read_value(const char*& p, bool& line) {
  if (*p == '[') { p++; return read_cells(p, ']', TYPE_BLOCK); }
  if (*p == '(') { p++; return read_cells(p, ')', TYPE_PAREN); }
  cell first = read_atom(p);
  if (*p != '/') return first;
  // A path: atoms (or blocks and parens) separated by "/".
  cell* path = keep(cell{});
  block::make_at(path, 4);
  set_type(path, TYPE_PATH);
  block::rs_append(path, &first);
  while (*p == '/') {
    p++;
    bool ignored = false;
    cell e = read_value(p, ignored);
    block::rs_append(path, &e);
  }
  if (*p == ':') { p++; set_type(path, TYPE_SET_PATH); }
  return *path;
}
}  // namespace reader

// The block of the values in `text` (line breaks before a value set its new-line marker).
inline cell load(const char* text) {
  const char* p = text;
  return *keep(reader::read_cells(p, '\0', TYPE_BLOCK));
}
// The first value in `text`, kept rooted.
inline cell val(const char* text) {
  cell b = load(text);
  return *keep(*block::rs_head(&b));
}

// mold with all the flags; the /part cut is the entry point's, done here the same way.
inline std::string mold_with(const cell& v, bool only = false, bool flat = false,
                             i32 limit = -1, bool all = false) {
  stack::guard g;
  cell keepv = v;
  collector::root_guard kv(&keepv);
  cell* out = stack::push_slot();
  out->header = TYPE_UNSET;
  string::make_at(out, 16);
  cell part = int_cell(limit);
  actions::mold(&keepv, out, only, all, flat, limit >= 0 ? &part : nullptr,
                limit >= 0 ? limit : actions::NO_LIMIT, 0);
  std::string s = string::to_utf8(out);
  if (limit >= 0 && s.size() > static_cast<size_t>(limit)) s.resize(limit);
  return s;
}

// Calls an action implementation the way dispatch does: arguments on the data stack,
// result in the result slot. Answers the mold of the result ("none" for none!).
template <class F> std::string on_stack(const cell& series, F&& f) {
  stack::reset();
  cell* s = stack::push_copy(&series);
  const cell* r = f(s);
  cell result = *r;
  std::string text = mold_with(result);
  stack::reset();
  return text;
}

}  // namespace vyr::test
