// The environment's canonical text (environment_text.h). Hash tables (of contexts, maps,
// hash! values and the symbol index) are left out: they are derived from the cells they
// index, and their layout depends on the order of insertion only.
#include "runtime/datatypes/environment_text.h"

#include <cstdio>
#include <unordered_map>
#include <vector>

#include "runtime/datatypes/actions.h"
#include "runtime/datatypes/context.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/error.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/word.h"
#include "runtime/memory.h"

namespace vyr {

namespace {

struct dumper {
  std::string out;
  std::unordered_map<u32, u32> ids;  // node -> number in the order met
  std::vector<u32> queue;            // series met, not yet written

  void num(u32 v) {
    char b[16];
    std::snprintf(b, sizeof b, " %u", v);
    out += b;
  }

  // A series' number; a new one is queued for writing.
  void node(u32 n) {
    if (!n || !node_word(n)) {
      out += " -";
      return;
    }
    auto [it, fresh] = ids.emplace(n, u32(ids.size() + 1));
    if (fresh) queue.push_back(n);
    out += " #";
    out += std::to_string(it->second);
  }

  void symbol_name(u32 id) {
    out += " '";
    if (id) out += symbol::name(id);
  }

  void value(const cell* c) {
    u32 t = type_of(c);
    // The header without the buffer-independent bits that only mark layout in a source.
    num(c->header & ~HEADER_NEW_LINE);
    switch (t) {
      case TYPE_BLOCK: case TYPE_PAREN: case TYPE_PATH: case TYPE_LIT_PATH:
      case TYPE_SET_PATH: case TYPE_GET_PATH: case TYPE_STRING: case TYPE_FILE:
      case TYPE_URL: case TYPE_TAG: case TYPE_EMAIL: case TYPE_REF: case TYPE_BITSET:
      case TYPE_VECTOR: case TYPE_BINARY:
        num(c->data1);
        node(c->data2);
        if (t == TYPE_STRING || t == TYPE_FILE || t == TYPE_URL || t == TYPE_TAG ||
            t == TYPE_EMAIL || t == TYPE_REF)
          node(c->data3);
        else if (t != TYPE_BITSET && t != TYPE_VECTOR && t != TYPE_BINARY)
          num(c->data3);
        else
          num(c->data3);
        break;
      case TYPE_SYMBOL:
        node(c->data2);
        node(c->data3);
        break;
      case TYPE_CONTEXT:
        node(c->data2);
        num(c->data3);
        break;
      case TYPE_WORD: case TYPE_SET_WORD: case TYPE_LIT_WORD: case TYPE_GET_WORD:
      case TYPE_REFINEMENT:
        if (c->data1 == _context::global) out += " global";
        else node(c->data1);
        symbol_name(c->data2);
        num(c->data3);
        break;
      case TYPE_NATIVE: case TYPE_ACTION:
        num(c->data1);
        node(c->data2);
        node(c->data3);
        break;
      case TYPE_OP: {
        u32 wrapped = (c->header >> 16) & 0xFF;
        if (wrapped == TYPE_FUNCTION || wrapped == TYPE_ROUTINE) node(c->data1);
        else num(c->data1);
        node(c->data2);
        node(c->data3);
        break;
      }
      case TYPE_FUNCTION: case TYPE_ROUTINE:
        node(c->data1);
        node(c->data2);
        node(c->data3);
        break;
      case TYPE_OBJECT: case TYPE_ERROR: case TYPE_PORT:
        node(c->data1);
        num(c->data2);
        node(c->data3);
        break;
      case TYPE_HASH: case TYPE_MAP:
        num(c->data1);
        node(c->data2);
        break;
      case TYPE_IMAGE:
        num(c->data1);
        node(c->data2);
        num(c->data3);
        break;
      case TYPE_EVENT:
        num(c->data1);
        if ((c->header & (1u << 12)) && c->data2) node(c->data2);
        else num(c->data2);
        num(c->data3);
        break;
      default:
        num(c->data1);
        num(c->data2);
        num(c->data3);
    }
    out += '\n';
  }

  void series(u32 n) {
    const series_buffer* b = read_buffer(n);
    out += "#" + std::to_string(ids[n]) + " unit";
    num(b->unit());
    out += " flags";
    num(b->flags & (SERIES_OWNED | SERIES_LIBRARY | SERIES_COMPLEMENT | SERIES_CENTRED));
    // The head's distance from the data area: a series' index 0 may sit past it.
    num(b->offset - b->data_offset());
    out += '\n';
    if (b->unit() == 16) {
      for (const cell* c = b->cells(); c < b->tail_cell(); c++) value(c);
    } else {
      out += std::string(b->head(), b->used_bytes());
      out += '\n';
    }
  }

  void drain() {
    while (!queue.empty()) {
      u32 n = queue.back();
      queue.pop_back();
      series(n);
    }
  }
};

}  // namespace

std::string environment_text() {
  dumper d;
  // The global context word by word: each name with its value and all it reaches.
  u32 words = _context::word_count(_context::global);
  for (u32 i = 0; i < words; i++) {
    const cell* w = _context::word_at(_context::global, i);
    d.out += "word";
    d.symbol_name(word::symbol_id(w));
    d.out += '\n';
    d.value(w);
    if (i < _context::value_count(_context::global)) d.value(_context::value_at(_context::global, i));
    d.drain();
  }
  d.out += "catalog\n";
  d.value(&error::catalog);
  d.value(&error::prototype);
  d.drain();
  d.out += "datatypes\n";
  for (u32 t = 1; t < TYPE_TOTAL_COUNT; t++) {
    if (!datatype::registered_q(t)) continue;
    d.out += datatype::name_of(t);
    for (u32 s = 1; s <= ACTION_COUNT; s++) d.out += datatype::entry(t, s) ? " +" : " -";
    d.out += '\n';
  }
  return d.out;
}

}  // namespace vyr
