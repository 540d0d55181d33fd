// The loading layer: the output pool with its open markers, the chain of running scans,
// the callback events, and the entry points. Invariant: pool cells [0, innermost out_tail)
// belong to running scans and are marked by the collector; each scan's cells lie above its
// parent's, so the chain unwinds in stack order whatever is thrown.
#include "runtime/lexer/lexer_load.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "base/utf8.h"
#include "runtime/collector.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/float.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/money.h"
#include "runtime/datatypes/map.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/scalar_text.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/word.h"
#include "runtime/fire.h"
#include "runtime/lexer/lexer_loaders.h"
#include "runtime/lexer/lexer_numbers.h"
#include "runtime/datatypes/series.h"

namespace vyr::lexer {

callback_hooks hooks;
cell exit_states{TYPE_NONE, 0, 0, 0};

namespace {

constexpr u32 POOL_START = 1000;
constexpr u32 SCRATCH_SIZE = 100000;

// Output cells of every running scan, reached by index: a grown pool moves, indexes stay.
std::vector<cell> pool;
// UTF-8 copies of string! inputs, used as a stack by nested load_string calls. It never
// moves, because a running scanner reads from it.
std::unique_ptr<u8[]> scratch;
u32 scratch_top = 0;

const char* const event_names[6] = {"prescan", "scan", "load", "open", "close", "error"};
cell event_words[6];

struct load_state;
std::vector<load_state*> chain;

void reserve_pool(u32 index) {
  if (index < pool.size()) return;
  u64 size = std::max<u64>(POOL_START, u64{pool.size()} * 2);
  while (size <= index) size *= 2;
  memory::checked_size(size, sizeof(cell));
  try {
    pool.resize(size, cell{TYPE_UNSET, 0, 0, 0});
  } catch (const std::bad_alloc&) {
    fire("internal", "no-memory");
  }
}

u32 bit_index(u32 bit) {
  u32 i = 0;
  while (i < 6 && (1u << i) != bit) i++;
  return i;
}

// One running scan: where its output lies in the pool, and its callback.
struct load_state : listener {
  u32 out_head = 0, block_start = 0, out_tail = 0;
  cell callback{TYPE_NONE, 0, 0, 0};
  cell input{TYPE_NONE, 0, 0, 0};
  bool traced = false;
  u32 mask = 0;
  bool string_input = false;

  bool has_callback() override { return traced; }
  u32 event_mask() override { return mask; }

  void emit(const cell& v, bool new_line) {
    reserve_pool(out_tail);
    cell& c = pool[out_tail++];
    c = v;
    if (new_line) c.header |= HEADER_NEW_LINE;
    else c.header &= ~HEADER_NEW_LINE;
  }

  void value(scanner& s, const token& t, bool build) override {
    cell v{TYPE_UNSET, 0, 0, 0};
    if (t.state == T_CONSTRUCT) {
      if (!build) return;
      load_construct(t, &v);
    } else if (!build) {
      // A full load without events checks while it builds: one pass is enough.
      if (s.loading() && !traced) return;
      load_value(s, t, false, &v);
      return;
    } else {
      load_value(s, t, true, &v);
    }
    emit(v, t.lines >= 1 && !t.kind);  // a path head follows its path's marker
  }

  // Open marker: word 1 the distance back to the enclosing block's start, word 2 the kind
  // being built, word 3 the offset of the opening text.
  void open(scanner&, const token& t) override {
    u32 at = out_tail;
    emit(cell{TYPE_TRIPLE, at - block_start, t.kind, t.start}, t.lines >= 1);
    block_start = out_tail;
  }

  void close(scanner& s, const token& t) override {
    u32 m = block_start - 1;
    cell marker = pool[m];
    u32 kind = t.kind;
    // Comma-made points need their datatype's constructor: refused while loading.
    if (s.loading() && kind == TYPE_POINT2D)
      s.throw_error(marker.data3, t.end, static_cast<i32>(kind));
    // A map literal needs pairs whose keys a map can hold.
    bool make_map = s.loading() && kind == TYPE_MAP;
    if (make_map) {
      if ((out_tail - block_start) % 2) s.throw_error(marker.data3, t.end, TYPE_MAP);
      for (u32 i = block_start; i < out_tail; i += 2)
        if (!map::valid_key_type_q(type_of(&pool[i])))
          s.throw_error(marker.data3, t.end, TYPE_MAP);
    }
    if (kind == TYPE_MAP || kind == TYPE_POINT2D) kind = TYPE_BLOCK;
    u32 count = out_tail - block_start;
    u32 node = memory::alloc_cells(std::max(count, 1u));  // may collect: the pool is a root
    series_buffer* b = buffer_of(node);
    if (count) std::memcpy(b->head(), &pool[block_start], u64{count} * sizeof(cell));
    b->tail = b->offset + count * sizeof(cell);
    pool[m] = cell{kind | (marker.header & HEADER_NEW_LINE), 0, node, 0};
    out_tail = m + 1;
    block_start = m - marker.data1;
    if (make_map) {
      cell blk = pool[m];
      collector::root_guard bg(&blk);
      cell made;
      map::make_at(&made, &blk, 0);
      made.header |= marker.header & HEADER_NEW_LINE;
      pool[m] = made;
    }
  }

  // Where the input stands for an event, in the units of the input value.
  u32 units_at(scanner& s, u32 byte) { return string_input ? s.char_index(byte) : byte; }

  bool event(scanner& s, u32 bit, i32 type, u32 start, u32 end) override {
    if (!hooks.call) return true;
    cell args[5];
    for (cell& a : args) a = none_value;
    collector::root_guard keep(args, 5);
    args[0] = event_words[bit_index(bit)];
    bool at_start = bit == EVENT_OPEN || (bit == EVENT_PRESCAN && type < 0);
    u32 base = type_of(&input) == TYPE_NONE ? 0 : series::index(&input);
    u32 index = base + units_at(s, at_start ? start : end);
    if (type_of(&input) != TYPE_NONE) {
      args[1] = input;
      series::index(&args[1]) = index;
      clear_new_line(&args[1]);
    }
    if (type > 0) {
      args[2] = cell{TYPE_DATATYPE, static_cast<u32>(type), 0, 0};
    } else if (type < 0 && type_of(&exit_states) == TYPE_BLOCK) {
      series_buffer* b = buffer_of(series::node(&exit_states));
      u32 n = static_cast<u32>(-type);
      u32 at = series::index(&exit_states);
      if (at + n <= b->used_units()) args[2] = b->cells()[at + n - 1];
      clear_new_line(&args[2]);
    }
    args[3] = cell{TYPE_INTEGER, 0, static_cast<u32>(s.line()), 0};
    if (bit == EVENT_LOAD && out_tail > block_start) {
      args[4] = pool[out_tail - 1];
      clear_new_line(&args[4]);
    } else {
      args[4] = cell{TYPE_PAIR, 0, units_at(s, start) + 1, units_at(s, end) + 1};
    }
    bool answer = hooks.call(&callback, args);
    // The callback moved its input: the scan goes on from there.
    if (type_of(&args[1]) == type_of(&input) && type_of(&input) != TYPE_NONE &&
        series::index(&args[1]) != index) {
      i64 to = i64{series::index(&args[1])} - base;
      if (string_input) s.move_to_char(to); else s.move_to_byte(to);
    }
    if (bit == EVENT_LOAD && !answer && out_tail > block_start) out_tail--;
    return answer;
  }
};

// Links a state at the end of the chain for the scope of one scan.
struct link_guard {
  explicit link_guard(load_state* st) { chain.push_back(st); }
  ~link_guard() { chain.pop_back(); }
};

// Appends pool cells [from, to) at the tail of a block.
void append_cells(u32 block_node, u32 from, u32 to) {
  collector::node_guard keep(&block_node);
  for (u32 i = from; i < to; i++) {
    series_buffer* b = buffer_of(block_node);
    cell* c = memory::alloc_tail_cell(b);
    *c = pool[i];
  }
}

u32 make_block(u32 from, u32 to) {
  u32 count = to - from;
  u32 node = memory::alloc_cells(std::max(count, 1u));
  series_buffer* b = buffer_of(node);
  if (count) std::memcpy(b->head(), &pool[from], u64{count} * sizeof(cell));
  b->tail = b->offset + count * sizeof(cell);
  return node;
}

// Scratch space for a UTF-8 copy: the stack's top when it fits, else a heap block.
struct scratch_space {
  u8* data;
  std::vector<u8> heap;
  u32 saved_top;
  explicit scratch_space(u64 bytes) : saved_top(scratch_top) {
    if (bytes + 1 <= SCRATCH_SIZE - scratch_top) {
      data = scratch.get() + scratch_top;
    } else {
      memory::checked_size(bytes + 1, 1);
      try {
        heap.resize(bytes + 1);
      } catch (const std::bad_alloc&) {
        fire("internal", "no-memory");
      }
      data = heap.data();
    }
  }
  void hold(u32 used) {
    if (data != heap.data()) scratch_top += used + 1;
  }
  ~scratch_space() { scratch_top = saved_top; }
};


}  // namespace

// ---------------------------------------------------------------------------------------
// Set-up and the collector
// ---------------------------------------------------------------------------------------

void mark_buffers() {
  if (chain.empty()) return;
  u32 top = chain.back()->out_tail;
  if (top) collector::mark_values(pool.data(), pool.data() + top);
  for (load_state* st : chain) {
    collector::mark_values(&st->callback, &st->callback + 1);
    collector::mark_values(&st->input, &st->input + 1);
  }
}

cell event_word(u32 bit) { return event_words[bit_index(bit) % 6]; }

u32 event_mask_of(const cell* block) {
  if (!block || type_of(block) != TYPE_BLOCK) return EVENT_ALL;
  u32 mask = 0;
  series_buffer* b = buffer_of(series::node(block));
  for (u32 i = series::index(block); i < b->used_units(); i++) {
    const cell* c = &b->cells()[i];
    if (type_of(c) != TYPE_WORD) continue;
    u32 sym = symbol::resolve(word::symbol_id(c));
    for (u32 k = 0; k < 6; k++)
      if (symbol::resolve(word::symbol_id(&event_words[k])) == sym) mask |= 1u << k;
  }
  return mask;
}

namespace {
// A scan-mode pass first, so that text which is no value of the type (or no value at all)
// answers false instead of raising a syntax error.
bool load_first_of_type(const cell* text, u32 type, cell* out) {
  cell probe = none_value;
  u32 found = load_string(&probe, text, -1, true, true, false);
  if (found == 0 || found == TYPE_ERROR) return false;
  cell v = none_value;
  load_string(&v, text, -1, true, true, true, false);
  if (type_of(&v) != type) return false;
  *out = v;
  return true;
}

// float!'s value loader: the first value of the text; a syntax error is raised as such.
bool load_first_value(const cell* text, cell* out) {
  cell block;
  load_string(&block, text, -1, true);
  series_buffer* b = buffer_of(series::node(&block));
  if (series::index(&block) >= b->used_units()) return false;
  *out = b->cells()[series::index(&block)];
  return true;
}
}  // namespace

void init() {
  static bool done = false;
  if (done) return;
  done = true;
  reserve_pool(POOL_START - 1);
  scratch.reset(new u8[SCRATCH_SIZE]);
  for (u32 i = 0; i < 6; i++) event_words[i] = word::intern(event_names[i]);
  integer::text_reader = string_to_integer;
  float_::text_reader = string_to_float;
  scalar_text::loader = load_first_of_type;
  float_::value_loader = load_first_value;
  money::text_scanner = scan_money_text;

  // The values that name structural tokens in events, by final state from the end of input.
  static const char* const states[] = {
      "eof",      "error!",   "block!",   "block!", "paren!",  "paren!",     "string!",
      "string!",  "map!",     "path!",    "datatype!", "comment", "string!", "word!",
      "issue!",   "integer!", "refinement!", "char!", "file!",  "binary!",    "percent!",
      "float!",   "float!",   "tuple!",   "date!",  "pair!",   "time!",      "money!",
      "tag!",     "url!",     "email!",   "hex",    "rawstring", "ref!"};
  constexpr u32 n = sizeof states / sizeof *states;
  collector::add_root(&exit_states);
  exit_states = cell{TYPE_BLOCK, 0, memory::alloc_cells(n), 0};
  for (u32 i = 0; i < n; i++) {
    cell v;
    std::size_t len = std::strlen(states[i]);
    u32 type = 0;
    if (states[i][len - 1] == '!')
      for (u32 id = 1; id < TYPE_TOTAL_COUNT && !type; id++)
        if (std::strcmp(datatype::name_of(id), states[i]) == 0) type = id;
    if (states[i][len - 1] == '!' && !type) {
      // A type not registered: its id from the fixed numbering all the same.
      static const struct { const char* name; u32 id; } ids[] = {
          {"error!", TYPE_ERROR}, {"block!", TYPE_BLOCK}, {"paren!", TYPE_PAREN},
          {"string!", TYPE_STRING}, {"map!", TYPE_MAP}, {"path!", TYPE_PATH},
          {"word!", TYPE_WORD}, {"issue!", TYPE_ISSUE}, {"refinement!", TYPE_REFINEMENT},
          {"char!", TYPE_CHAR}, {"file!", TYPE_FILE}, {"binary!", TYPE_BINARY},
          {"percent!", TYPE_PERCENT}, {"tuple!", TYPE_TUPLE}, {"date!", TYPE_DATE},
          {"pair!", TYPE_PAIR}, {"time!", TYPE_TIME}, {"money!", TYPE_MONEY},
          {"tag!", TYPE_TAG}, {"url!", TYPE_URL}, {"email!", TYPE_EMAIL}, {"ref!", TYPE_REF}};
      for (auto& e : ids)
        if (std::strcmp(e.name, states[i]) == 0) type = e.id;
    }
    if (type) v = cell{TYPE_DATATYPE, type, 0, 0};
    else v = word::intern(states[i]);
    series_buffer* b = buffer_of(series::node(&exit_states));
    *memory::alloc_tail_cell(b) = v;
  }
  collector::register_callback(mark_buffers);
}

// ---------------------------------------------------------------------------------------
// Entry points
// ---------------------------------------------------------------------------------------

u32 scan(cell* dst, const u8* bytes, u32 count, bool one, bool not_prescan, bool not_scan,
         bool keep_block, u32* consumed, const cell* callback, const cell* input, cell* into) {
  load_state st;
  st.out_head = st.block_start = st.out_tail = chain.empty() ? 0 : chain.back()->out_tail;
  if (input) st.input = *input;
  st.string_input = input && series::string_like_q(type_of(input));
  if (callback && hooks.call) {
    st.callback = *callback;
    st.traced = true;
    const cell* head = hooks.body_head ? hooks.body_head(callback) : nullptr;
    st.mask = head && type_of(head) == TYPE_BLOCK ? event_mask_of(head) : EVENT_ALL;
  }
  u32 into_node = into ? series::node(into) : 0;
  collector::node_guard keep_into(&into_node);
  link_guard linked(&st);

  scan_options o;
  o.one = one;
  o.prescan = !not_prescan;
  o.scan = !not_scan;
  o.string_input = st.string_input;
  scanner s(bytes, count, &st, o);
  u32 type = s.run();
  if (consumed) *consumed = st.string_input ? s.char_index(s.pos()) : s.pos();

  // A structure left open where errors are not raised: nothing was loaded.
  if (st.block_start > st.out_head || !not_scan) {
    if (dst) *dst = none_value;
    return type;
  }
  if (one && !keep_block && st.out_tail > st.out_head) {
    cell v = pool[st.out_head];
    clear_new_line(&v);
    if (into_node) {
      append_cells(into_node, st.out_head, st.out_head + 1);
      v = *into;
    }
    if (dst) *dst = v;
  } else if (into_node) {
    append_cells(into_node, st.out_head, st.out_tail);
    if (dst) *dst = *into;
  } else {
    u32 node = make_block(st.out_head, st.out_tail);
    if (dst) *dst = cell{TYPE_BLOCK, 0, node, 0};
  }
  return type;
}

u32 load_string(cell* dst, const cell* text, i32 length, bool one, bool not_prescan,
                bool not_scan, bool keep_block, u32* consumed, const cell* callback,
                cell* into) {
  cell value = *text;
  collector::root_guard keep(&value);
  series_buffer* b = buffer_of(series::node(&value));
  u32 unit = b->unit();
  u32 total = b->used_units();
  u32 from = std::min(series::index(&value), total);
  u32 n = total - from;
  if (length >= 0 && static_cast<u32>(length) < n) n = static_cast<u32>(length);
  u64 room = memory::checked_size(n, unit == 1 ? 2 : unit == 2 ? 3 : 4);
  scratch_space space(room);  // no allocation from here to the end of the copy
  b = buffer_of(series::node(&value));
  const char* p = b->head() + u64{from} * unit;
  u32 used = 0;
  for (u32 i = 0; i < n; i++) used += utf8::encode(string::get_char(p + u64{i} * unit, unit), space.data + used);
  space.data[used] = 0;
  space.hold(used);
  series::index(&value) = from;
  return scan(dst, space.data, used, one, not_prescan, not_scan, keep_block, consumed, callback,
              &value, into);
}

cell* transcode(const cell* src_cell, const transcode_options& o, cell* out) {
  cell src = *src_cell;
  collector::root_guard keep_src(&src);
  u32 type = type_of(&src);
  series_buffer* b = buffer_of(series::node(&src));
  u32 total = b->used_units();
  if (series::index(&src) > total) series::index(&src) = total;
  i64 length = total - series::index(&src);
  if (o.part) {
    i64 want;
    if (type_of(o.part) == TYPE_INTEGER) {
      want = integer::get(o.part);
    } else if ((type == TYPE_BINARY && type_of(o.part) == TYPE_BINARY) ||
               (type != TYPE_BINARY && type_of(o.part) == TYPE_STRING)) {
      want = i64{series::index(o.part)} - series::index(&src);
    } else {
      cell a = src, p = *o.part;
      fire("script", "not-same-type", &a, &p);
    }
    length = std::clamp<i64>(want, 0, length);
  }

  bool one = o.one || o.next || o.scan;
  bool keep_block = !(o.one || o.next);
  u32 consumed = 0, skipped = 0, found;
  cell result{TYPE_NONE, 0, 0, 0};
  collector::root_guard keep_result(&result);
  if (type == TYPE_BINARY) {
    const u8* head = reinterpret_cast<const u8*>(b->head()) + series::index(&src);
    if (length > 2 && head[0] == 0xEF && head[1] == 0xBB && head[2] == 0xBF) {
      skipped = 3;
      length -= 3;
    }
    // The bytes are copied: the binary's buffer may move while values are made.
    scratch_space space(static_cast<u64>(length));
    b = buffer_of(series::node(&src));
    std::memcpy(space.data, b->head() + series::index(&src) + skipped, static_cast<size_t>(length));
    space.hold(static_cast<u32>(length));
    series::index(&src) += skipped;
    found = scan(&result, space.data, static_cast<u32>(length), one, !o.prescan, !o.scan,
                 keep_block, &consumed, o.trace, &src, o.into);
  } else {
    found = load_string(&result, &src, static_cast<i32>(length), one, !o.prescan, !o.scan,
                        keep_block, &consumed, o.trace, o.into);
  }

  if (o.prescan || o.scan) {
    if (length == 0 || found == 0) result = none_value;
    else result = cell{TYPE_DATATYPE, found, 0, 0};
  }
  if (o.next && !(o.one && !o.scan)) {
    u32 pair = memory::alloc_cells(2);
    series_buffer* pb = buffer_of(pair);
    cell rest = src;
    series::index(&rest) += consumed;
    pb->cells()[0] = result;
    pb->cells()[1] = rest;
    pb->tail = pb->offset + 2 * sizeof(cell);
    result = cell{TYPE_BLOCK, 0, pair, 0};
  }
  *out = result;
  return out;
}

}  // namespace vyr::lexer
