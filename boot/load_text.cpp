// The start-up loader (see load_text.h): a listener on the lexer's scanner that builds
// values. Containers are appended to their parent as soon as they open, so everything
// built so far stays reachable from the rooted result block.
#include "boot/load_text.h"

#include <vector>

#include "runtime/collector.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/word.h"
#include "runtime/fire.h"
#include "runtime/interpreter/cells.h"
#include "runtime/interpreter/lexer.h"
#include "runtime/interpreter/lexer_escapes.h"
#include "runtime/interpreter/lexer_numbers.h"

namespace vyr::boot {

namespace {
struct builder : lexer::listener {
  cell* root;
  std::vector<u32> opened;      // nodes of the open containers, innermost last
  std::vector<u32> open_index;  // each container's position in its parent
  const u8* text;

  u32 current() const { return opened.empty() ? root->data2 : opened.back(); }

  void add(const cell& v) { cells::append(current(), &v); }

  void open_structure(u32 type) {
    u32 parent = current();
    cell c;
    cells::make_block(&c, 4, type);
    collector::root_guard g(&c);  // appending may collect before the block is in its parent
    cells::append(parent, &c);
    open_index.push_back(cells::length(parent) - 1);
    opened.push_back(c.data2);
  }

  void open(lexer::scanner& s, const lexer::token& t) override {
    open_structure(t.kind == TYPE_PAREN ? TYPE_PAREN : t.kind == TYPE_BLOCK ? TYPE_BLOCK : TYPE_PATH);
  }

  void close(lexer::scanner& s, const lexer::token& t) override {
    if (opened.empty()) return;
    opened.pop_back();
    u32 idx = open_index.back();
    open_index.pop_back();
    cell* c = cells::at(current(), idx);
    if (t.type >= TYPE_PATH && t.type <= TYPE_GET_PATH) {
      set_type(c, t.type);
      // The path's own punctuation came with its head word: the head is a plain word.
      if (cells::length(c->data2) > 0) {
        cell* head = cells::at(c->data2, 0);
        if (type_of(head) == TYPE_GET_WORD || type_of(head) == TYPE_LIT_WORD) set_type(head, TYPE_WORD);
      }
    }
  }

  void value(lexer::scanner& s, const lexer::token& t, bool build) override {
    if (!build) return;
    const char* p = reinterpret_cast<const char*>(s.head()) + t.start;
    u32 n = t.end - t.start;
    switch (t.type) {
      case TYPE_WORD: {
        u32 type = TYPE_WORD;
        const char* q = p;
        u32 len = n;
        if (len > 1 && q[len - 1] == ':') { type = TYPE_SET_WORD; len--; }
        else if (len > 1 && q[0] == ':') { type = TYPE_GET_WORD; q++; len--; }
        else if (len > 1 && q[0] == '\'') { type = TYPE_LIT_WORD; q++; len--; }
        return add_word(q, len, type);
      }
      case TYPE_REFINEMENT: {
        if (n == 1) return add_word(p, 1, TYPE_WORD);  // a lone slash is the word `/`
        cell r{TYPE_REFINEMENT, 0, symbol::make_from_bytes(p + 1, n - 1), word::NO_INDEX};
        return add(r);
      }
      case TYPE_ISSUE: {
        cell i{TYPE_ISSUE, 0, symbol::make_from_bytes(p + 1, n - 1), word::NO_INDEX};
        return add(i);
      }
      case TYPE_INTEGER: {
        i32 v = 0;
        auto r = lexer::scan_integer_text(p, p + n, &v);
        if (r == lexer::INTEGER_OK) return add(cell{TYPE_INTEGER, 0, u32(v), 0});
        [[fallthrough]];
      }
      case TYPE_FLOAT: {
        i32 err = 0;
        double d = lexer::string_to_float(p, i32(n), 1, &err);
        cell f{TYPE_FLOAT, 0, 0, 0};
        set_cell_float(&f, d);
        return add(f);
      }
      case TYPE_STRING: {
        const u8* a = reinterpret_cast<const u8*>(p) + 1;
        const u8* e = reinterpret_cast<const u8*>(p) + n - 1;
        cell str{TYPE_UNSET, 0, 0, 0};
        collector::root_guard g(&str);
        string::make_at(&str, n);
        lexer::decode_text(a, e, true, [&](u32 cp) { string::append_char(buffer_of(str.data2), cp); });
        return add(str);
      }
      case TYPE_CHAR: {
        u32 cp = 0;
        const u8* a = reinterpret_cast<const u8*>(p);
        lexer::decode_char(a + 2, a + n - 1, &cp);
        return add(cell{TYPE_CHAR, 0, cp, 0});
      }
      default:
        fire("internal", "not-done");
    }
  }

  void add_word(const char* q, u32 len, u32 type) {
    u32 sym = symbol::make_from_bytes(q, len);
    cell w;
    word::make_at(sym, &w);
    set_type(&w, type);
    add(w);
  }
};
}  // namespace

void load_text(const char* utf8, u32 length, cell* out) {
  cells::make_block(out, 16);
  collector::root_guard g(out);
  builder b;
  b.root = out;
  b.text = reinterpret_cast<const u8*>(utf8);
  lexer::scanner s(reinterpret_cast<const u8*>(utf8), length, &b);
  s.run();
}

}  // namespace vyr::boot
