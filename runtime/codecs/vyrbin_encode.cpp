// The VYRBIN writers (standard and compact) and the codec's routines. The document is built
// in C++ buffers, so nothing is allocated in the arena until the finished binary is made:
// the value being written cannot move or lose a node while it is walked.
// Sharing: a series, context or function met again is written as a reference to the path
// of its first occurrence (the indexes of each enclosing value within its container).
#include <cmath>
#include <cstring>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "runtime/codecs/lz.h"
#include "runtime/codecs/vyrbin.h"
#include "runtime/collector.h"
#include "runtime/datatypes/binary.h"
#include "runtime/datatypes/bitset.h"
#include "runtime/datatypes/image.h"
#include "runtime/imaging/imaging.h"
#include "runtime/datatypes/context.h"
#include "runtime/datatypes/date.h"
#include "runtime/datatypes/error.h"
#include "runtime/datatypes/function.h"
#include "runtime/datatypes/money.h"
#include "runtime/datatypes/native.h"
#include "runtime/datatypes/object.h"
#include "runtime/datatypes/series.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/tuple.h"
#include "runtime/datatypes/word.h"
#include "runtime/datatypes/char.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/pair.h"
#include "runtime/datatypes/vector.h"
#include "runtime/fire.h"
#include "runtime/host/simple_io.h"
#include "runtime/datatypes/cells.h"
#include "runtime/stack.h"

namespace vyr::vyrbin {

read_binary_fn read_binary_hook = nullptr;

namespace {

constexpr u32 BIT_REFERENCE = 1u << 19;
constexpr u32 BIT_MONEY_SIGN = 1u << 22;
constexpr u32 BIT_COMPLEMENT = 1u << 23;
constexpr u32 BIT_EVENTS = 1u << 24;
constexpr u32 BIT_GLOBAL = 1u << 25;

// The reference table of the running encode (node -> offset of its path in the store). The
// collector marks its nodes while an encode runs.
std::unordered_map<u32, u32>* live_refs = nullptr;
bool callback_registered = false;

void mark_refs() {
  if (!live_refs) return;
  for (const auto& [node, offset] : *live_refs) {
    if (!node || !node_word(node)) continue;
    if (buffer_of(node)->unit() == sizeof(cell)) collector::mark_block(node);
    else collector::mark_node(node);
  }
}

// A word written by name alone: unbound, global, or bound to a context that only an object
// or a function can be rebuilt from (an error's fields, a native's arguments are not).
bool global_word_q(const cell* w) {
  u32 ctx = word::context(w);
  if (!ctx || ctx == _context::global) return true;
  u32 owner = type_of(_context::owner_cell(ctx));
  return owner != TYPE_OBJECT && owner != TYPE_FUNCTION;
}

// Whether a record of type t may refer to a buffer first written as a value of type first.
bool shareable_q(u32 t, u32 first) {
  if (series::block_like_q(t)) return series::block_like_q(first);
  if (series::string_like_q(t)) return series::string_like_q(first);
  if (t == TYPE_BINARY || t == TYPE_VECTOR || t == TYPE_MAP || t == TYPE_BITSET) return t == first;
  return true;  // contexts: words, objects and functions name their owner's context
}

inline u32 log2_unit(u32 unit) { return unit == 4 ? 2 : unit == 2 ? 1 : 0; }

}  // namespace

class writer {
 public:
  explicit writer(bool compact) : compact_(compact) {
    if (!callback_registered) {
      collector::register_callback(mark_refs);
      callback_registered = true;
    }
    live_refs = &refs_;
  }
  ~writer() { live_refs = nullptr; }
  writer(const writer&) = delete;
  writer& operator=(const writer&) = delete;

  void value(const cell* v);
  void finish(cell* out, bool compress = false);

  // Boot documents: root-indexed word contexts, assignment pairs, several roots.
  void set_boot() { boot_ = true; }
  void boot_root(const cell* v);
  void boot_assign(const cell* word, const cell* v);

 private:
  bool compact_;
  bool boot_ = false;
  bool assigning_ = false;               // inside an assignment pair: nothing is recorded
  u32 roots_ = 0;
  std::unordered_map<u32, u32> root_contexts_;  // context node -> root index (boot)
  std::vector<u8> rec_;
  std::unordered_map<u32, u32> symbol_numbers_;
  std::vector<u8> names_;
  std::vector<u32> offsets_;
  std::vector<u32> path_;
  u32 counter_ = 0;
  std::unordered_map<u32, u32> refs_;
  std::unordered_map<u32, u32> ref_types_;  // node -> type of the value first written
  std::vector<u32> store_;
  u32 depth_ = 0;
  u32 new_line_ = 0;  // standard: bit 31 of the next header word

  void put8(u8 b) { rec_.push_back(b); }
  void put32(u32 v) {
    u8 b[4];
    std::memcpy(b, &v, 4);
    rec_.insert(rec_.end(), b, b + 4);
  }
  void putv(u32 v) {
    while (v >= 0x80) {
      put8(u8(v | 0x80));
      v >>= 7;
    }
    put8(u8(v));
  }
  void putz(i32 v) { putv((u32(v) << 1) ^ u32(v >> 31)); }
  void number(u32 v) { if (compact_) putv(v); else put32(v); }
  void put_bytes(const void* p, u64 n) {
    const u8* b = static_cast<const u8*>(p);
    rec_.insert(rec_.end(), b, b + n);
  }
  void pad4(u64 n) { for (u64 i = n; i % 4; i++) put8(0); }
  // A record header: compact, the type and its flag; standard, a word with the flag bits.
  void header(u32 type, bool flag, u32 bits = 0) {
    if (compact_) {
      put8(u8(type | (flag ? 0x40 : 0)));
    } else {
      put32(type | bits | new_line_);
      new_line_ = 0;
    }
  }
  u32 symbol(u32 id);

  [[noreturn]] void refuse(const cell* v) {
    cell c = *v;
    refs_.clear();
    path_.clear();
    live_refs = nullptr;
    fire("access", "no-codec", &c);
  }

  void enter(u32 node, u32 type) {
    path_.push_back(counter_);
    counter_ = 0;
    if (node && !assigning_ && !refs_.count(node)) {
      refs_.emplace(node, u32(store_.size()));
      ref_types_.emplace(node, type);
      store_.push_back(u32(path_.size()));
      store_.insert(store_.end(), path_.begin(), path_.end());
    }
  }
  void leave() {
    counter_ = path_.back();
    path_.pop_back();
  }
  void path_of(u32 offset) {
    u32 n = store_[offset];
    if (compact_) {
      putv(n);
      for (u32 i = 0; i < n; i++) putv(store_[offset + 1 + i]);
    } else {
      put32(0xFF);
      put32(n);
      for (u32 i = 0; i < n; i++) put32(store_[offset + 1 + i]);
    }
  }

  void scalar(const cell* v, u32 t);
  void full(const cell* v, u32 t);
  void reference(const cell* v, u32 t, u32 offset);
  void word_record(const cell* v, u32 t);
  void boot_word(const cell* v, u32 t, bool global);
  void block_record(const cell* v, u32 t);
  void image_record(const cell* v);
  void context_body(u32 ctx);
  void object_body(const cell* v);
  void function_body(const cell* v);
  void spec_or_body(const cell* block);
};

u32 writer::symbol(u32 id) {
  auto it = symbol_numbers_.find(id);
  if (it != symbol_numbers_.end()) return it->second;
  u32 n = u32(offsets_.size());
  symbol_numbers_.emplace(id, n);
  offsets_.push_back(u32(names_.size()));
  std::string_view name = symbol::name(id);
  names_.insert(names_.end(), name.begin(), name.end());
  names_.push_back(0);
  if (!compact_)
    while (names_.size() % 8) names_.push_back(0);
  return n;
}

void writer::value(const cell* vp) {
  cell v = *vp;
  u32 t = type_of(&v);
  if (++depth_ > MAX_DEPTH) {
    refs_.clear();
    path_.clear();
    fire("internal", "too-deep");
  }
  bool nl = (v.header & HEADER_NEW_LINE) != 0;
  if (compact_) {
    if (nl) put8(0xC0);
  } else {
    new_line_ = nl ? 0x80000000u : 0;
  }
  switch (t) {
    case TYPE_ROUTINE: case TYPE_TRIPLE: case TYPE_HANDLE: case TYPE_PORT: case TYPE_EVENT:
      refuse(&v);
    default: break;
  }
  u32 node = 0;
  bool identity = true;
  if (word::any_word_q(t)) {
    node = word::context(&v);
    if (boot_ || global_word_q(&v)) identity = false;
  } else if (t == TYPE_OBJECT || t == TYPE_FUNCTION) {
    node = object::context(&v);
    if (!node || node == _context::global) identity = false;
  } else if (series::series_q(t) || t == TYPE_MAP || t == TYPE_BITSET) {
    node = series::node(&v);
    // An image without pixels has no record to share.
    if (!node) identity = false;
  } else {
    identity = false;
  }
  if (!identity) {
    if (word::any_word_q(t)) word_record(&v, t);
    else scalar(&v, t);
  } else {
    auto it = refs_.find(node);
    if (it != refs_.end() && shareable_q(t, ref_types_[node])) {
      reference(&v, t, it->second);
    } else {
      // A buffer first met as another kind of series (a decoder takes a reference only
      // to its own kind) is written again in full: a copy, but one that decodes.
      enter(node, t);
      full(&v, t);
      leave();
    }
  }
  counter_++;
  depth_--;
}

void writer::scalar(const cell* v, u32 t) {
  switch (t) {
    case TYPE_IMAGE: return image_record(v);  // one without pixels
    case TYPE_DATATYPE: header(t, false); number(datatype::id(v)); return;
    case TYPE_UNSET: case TYPE_NONE: header(t, false); return;
    case TYPE_LOGIC:
      if (compact_) put8(logic::get(v) ? 0xC2 : 0xC3);
      else { header(t, false); put32(logic::get(v) ? 1 : 0); }
      return;
    case TYPE_CHAR: header(t, false); number(char_::get(v)); return;
    case TYPE_INTEGER: {
      i32 n = integer::get(v);
      if (compact_ && n >= 0 && n <= 63) put8(u8(0x80 + n));
      else if (compact_) { header(t, false); putz(n); }
      else { header(t, false); put32(u32(n)); }
      return;
    }
    case TYPE_FLOAT: case TYPE_PERCENT: case TYPE_TIME: {
      double d = cell_float(v);
      if (compact_) {
        if (t == TYPE_PERCENT) {
          if (d >= -21474836.0 && d <= 21474836.0) {
            double x = d * 100.0;
            double r = x < 0 ? -std::floor(-x + 0.5) : std::floor(x + 0.5);
            if (r / 100.0 == d && !(d == 0 && std::signbit(d))) {
              header(t, true);
              putz(i32(r));
              return;
            }
          }
        } else if (d >= -2147483000.0 && d <= 2147483000.0 && d == std::trunc(d) &&
                   !(d == 0 && std::signbit(d))) {
          header(t, true);
          putz(i32(d));
          return;
        }
        header(t, false);
        put32(v->data2);
        put32(v->data3);
      } else {
        u32 nl = new_line_;
        while (rec_.size() % 8) put8(0);
        new_line_ = nl;
        header(t, false);
        put32(v->data3);
        put32(v->data2);
      }
      return;
    }
    case TYPE_PAIR:
      header(t, false);
      if (compact_) { putz(i32(pair::x_of(v))); putz(i32(pair::y_of(v))); }
      else { put32(pair::x_of(v)); put32(pair::y_of(v)); }
      return;
    case TYPE_POINT2D: header(t, false); put32(v->data1); put32(v->data2); return;
    case TYPE_POINT3D: header(t, false); put32(v->data1); put32(v->data2); put32(v->data3); return;
    case TYPE_DATE: {
      bool has_time = date::has_time_q(v->data1);
      header(t, compact_ && has_time);
      put32(v->data1);
      if (compact_) {
        if (has_time) { put32(v->data2); put32(v->data3); }
      } else {
        put32(has_time ? v->data3 : 0);
        put32(has_time ? v->data2 : 0);
      }
      return;
    }
    case TYPE_TYPESET: {
      header(t, false);
      u8 map[12];
      std::memcpy(map, &v->data1, 12);
      if (compact_) {
        u32 n = 12;
        while (n && map[n - 1] == 0) n--;
        put8(u8(n));
        put_bytes(map, n);
      } else {
        put_bytes(map, 12);
      }
      return;
    }
    case TYPE_TUPLE: {
      u32 n = tuple::count_of(v);
      u8 b[12];
      std::memcpy(b, &v->data1, 12);
      if (compact_) {
        header(t, n != 3);
        if (n != 3) put8(u8(n));
        put_bytes(b, n);
      } else {
        header(t, false, n << 8);
        put_bytes(b, 12);
      }
      return;
    }
    case TYPE_MONEY: {
      bool negative = money::get_sign(v);
      header(t, negative, negative ? BIT_MONEY_SIGN : 0);
      put_bytes(reinterpret_cast<const u8*>(v) + 4, 12);
      return;
    }
    case TYPE_ISSUE: header(t, false); number(symbol(word::symbol_id(v))); return;
    case TYPE_NATIVE: case TYPE_ACTION: {
      header(t, false);
      number(native::table_index(v));
      u32 saved = counter_;
      cell spec{TYPE_BLOCK, 0, function::spec(v), 0};
      value(&spec);
      counter_ = saved;
      return;
    }
    case TYPE_OP: {
      u32 wrapped = op::wrapped_type(v);
      if (wrapped == TYPE_ROUTINE) refuse(v);
      header(t, false, wrapped << 16);
      cell inner = *v;
      inner.header = wrapped;
      u32 saved = counter_;
      value(&inner);
      counter_ = saved;
      return;
    }
    case TYPE_ERROR: {
      cell code = *error::field_of(v, error::FIELD_CODE);
      if (type_of(&code) != TYPE_INTEGER) refuse(v);
      enter(object::context(v), TYPE_ERROR);
      header(t, false);
      number(integer::get(&code));
      for (u32 f = error::FIELD_ARG1; f <= error::FIELD_STACK; f++) {
        cell field = *error::field_of(v, f);
        value(&field);
      }
      leave();
      return;
    }
    default:
      refuse(v);
  }
}

void writer::block_record(const cell* v, u32 t) {
  u32 head = series::index(v);
  header(t, head != 0);
  if (!compact_ || head) number(head);
  u32 node = series::node(v);
  u32 n = buffer_of(node)->used_units();
  number(n);
  for (u32 i = 0; i < n; i++) {
    cell item = read_buffer(node)->cells()[i];
    value(&item);
  }
}

void writer::image_record(const cell* v) {
  u32 head = series::index(v);
  header(TYPE_IMAGE, head != 0);
  if (!compact_ || head) number(head);
  u32 w = series::node(v) ? image::width_of(v) : 0, h = series::node(v) ? image::height_of(v) : 0;
  if (compact_) {
    putv(w);
    putv(h);
  } else {
    put32(w | h << 16);
  }
  if (w && h) {
    image::lock px(v, false);
    put_bytes(px.data(), u64(w) * h * 4);
  }
}

void writer::full(const cell* v, u32 t) {
  if (t == TYPE_IMAGE) return image_record(v);
  if (series::block_like_q(t)) return block_record(v, t);
  if (word::any_word_q(t)) return word_record(v, t);
  switch (t) {
    case TYPE_STRING: case TYPE_FILE: case TYPE_URL: case TYPE_TAG: case TYPE_EMAIL:
    case TYPE_REF: case TYPE_BINARY: {
      series_buffer* b = buffer_of(series::node(v));
      u32 unit = t == TYPE_BINARY ? 1 : b->unit();
      u32 length = b->used_bytes() / unit;
      u32 head = series::index(v);
      header(t, head != 0, unit << 8);
      if (!compact_ || head) number(head);
      if (compact_ && t != TYPE_BINARY) putv((length << 2) | log2_unit(unit));
      else number(length);
      put_bytes(buffer_of(series::node(v))->head(), u64(length) * unit);
      if (!compact_) pad4(u64(length) * unit);
      return;
    }
    case TYPE_VECTOR: {
      series_buffer* b = buffer_of(series::node(v));
      u32 unit = b->unit();
      u32 length = b->used_bytes() / unit;
      u32 head = series::index(v);
      header(t, head != 0, unit << 8);
      if (!compact_ || head) number(head);
      if (compact_) {
        put8(u8((vector::element_type(v) << 2) | (unit == 8 ? 3 : log2_unit(unit))));
        putv(length);
      } else {
        put32(length);
        put32(vector::element_type(v));
      }
      put_bytes(buffer_of(series::node(v))->head(), u64(length) * unit);
      if (!compact_) pad4(u64(length) * unit);
      return;
    }
    case TYPE_MAP: {
      header(t, false);
      u32 node = series::node(v);
      u32 n = buffer_of(node)->used_units();
      u32 live = 0;
      for (u32 i = 0; i + 1 < n; i += 2)
        if (read_buffer(node)->cells()[i + 1].header != 0) live++;
      number(live * 2);
      for (u32 i = 0; i + 1 < n; i += 2) {
        cell k = read_buffer(node)->cells()[i];
        cell x = read_buffer(node)->cells()[i + 1];
        if (x.header == 0) continue;
        value(&k);
        value(&x);
      }
      return;
    }
    case TYPE_BITSET: {
      bool complemented = bitset::complement_q(v);
      std::vector<u8> bytes = bitset::bytes_of(v);
      header(t, complemented, complemented ? BIT_COMPLEMENT : 0);
      number(u32(bytes.size()));
      put_bytes(bytes.data(), bytes.size());
      if (!compact_) pad4(bytes.size());
      return;
    }
    case TYPE_OBJECT: return object_body(v);
    case TYPE_FUNCTION: return function_body(v);
    default: refuse(v);
  }
}

void writer::reference(const cell* v, u32 t, u32 offset) {
  if (compact_) put8(0xC1);
  if (word::any_word_q(t)) {
    header(t, true, BIT_REFERENCE);
    number(symbol(word::symbol_id(v)));
    if (compact_) putz(i32(word::index(v))); else put32(word::index(v));
  } else if (series::block_like_q(t) || series::string_like_q(t) || t == TYPE_BINARY ||
             t == TYPE_VECTOR) {
    u32 unit = series::block_like_q(t)  ? 0
               : t == TYPE_BINARY         ? 1
                                          : buffer_of(series::node(v))->unit();
    header(t, series::index(v) != 0, BIT_REFERENCE | (unit << 8));
    if (!compact_ || series::index(v)) number(series::index(v));
  } else if (t == TYPE_IMAGE) {
    header(t, series::index(v) != 0, BIT_REFERENCE);
    if (!compact_ || series::index(v)) number(series::index(v));
  } else if (t == TYPE_BITSET) {
    bool c = bitset::complement_q(v);
    header(t, c, BIT_REFERENCE | (c ? BIT_COMPLEMENT : 0));
  } else {
    header(t, false, BIT_REFERENCE);
  }
  path_of(offset);
}

// A word: global words name their symbol only; others carry their index and either a
// reference to their context's owner or the owner's whole record.
void writer::word_record(const cell* v, u32 t) {
  u32 ctx = word::context(v);
  bool global = global_word_q(v);
  if (boot_) return boot_word(v, t, global);
  u32 owner_type = global ? 0 : type_of(_context::owner_cell(ctx));
  u32 sym = symbol(word::symbol_id(v));
  if (global) {
    header(t, false, BIT_GLOBAL);
    number(sym);
    if (!compact_) put32(word::index(v));
    return;
  }
  header(t, true);
  number(sym);
  if (compact_) putz(i32(word::index(v))); else put32(word::index(v));
  cell owner = *_context::owner_cell(ctx);
  if (++depth_ > MAX_DEPTH) {
    refs_.clear();
    path_.clear();
    fire("internal", "too-deep");
  }
  new_line_ = 0;
  if (owner_type == TYPE_OBJECT) object_body(&owner); else function_body(&owner);
  depth_--;
}

void writer::context_body(u32 ctx) {
  const cell* cc = _context::context_cell(ctx);
  u32 kind = (cc->header >> _context::KIND_SHIFT) & 3;
  bool stack = (cc->header & _context::ON_STACK) != 0;
  bool object = (cc->header & _context::RUNTIME_OBJECT) != 0;
  u32 n = _context::word_count(ctx);
  bool values = false;
  u32 vcount = 0;
  if (!stack && _context::values_node(ctx)) {
    vcount = std::min(n, _context::value_count(ctx));
    for (u32 i = 0; i < vcount; i++)
      if (type_of(_context::value_at(ctx, i)) != TYPE_UNSET) values = true;
  }
  if (compact_) {
    put8(TYPE_CONTEXT);
    put8(u8(kind | (stack ? 4 : 0) | (object ? 8 : 0) | (values ? 16 : 0)));
    putv(n);
  } else {
    put32(TYPE_CONTEXT | (kind << 26) | (object ? 1u << 28 : 0) | (stack ? 1u << 29 : 0) |
          (values ? 1u << 30 : 0));
    put32(n);
  }
  for (u32 i = 0; i < n; i++) number(symbol(word::symbol_id(_context::word_at(ctx, i))));
  if (values) {
    for (u32 i = 0; i < n; i++) {
      cell x = i < vcount ? *_context::value_at(ctx, i) : cell{TYPE_UNSET, 0, 0, 0};
      value(&x);
    }
  }
}

void writer::object_body(const cell* v) {
  cell o = *v;
  bool events = object::events(&o) != 0 && node_word(object::events(&o)) != 0;
  header(TYPE_OBJECT, events, events ? BIT_EVENTS : 0);
  if (compact_) putz(i32(object::class_id(&o))); else put32(object::class_id(&o));
  if (events) {
    for (u32 i = 0; i < 2; i++) {
      u32 w = read_buffer(object::events(&o))->cells()[i].data2;
      if (compact_) putz(i32(w)); else put32(w);
    }
  }
  context_body(object::context(&o));
}

void writer::function_body(const cell* v) {
  cell f = *v;
  cell spec{TYPE_BLOCK, 0, function::spec(&f), 0};
  cell body = *cells::get(function::more(&f), function::MORE_BODY);
  header(TYPE_FUNCTION, false);
  number(buffer_of(function::spec(&f))->used_units());
  bool body_block = type_of(&body) == TYPE_BLOCK;
  number(body_block ? buffer_of(series::node(&body))->used_units() : 0);
  context_body(function::context(&f));
  spec_or_body(&spec);
  if (body_block) {
    series::index(&body) = 0;
    clear_new_line(&body);
    spec_or_body(&body);
  } else {
    // No body block (never made by the language): an empty one keeps the record readable.
    header(TYPE_BLOCK, false);
    if (!compact_) number(0);
    number(0);
    counter_++;
  }
}

void writer::spec_or_body(const cell* block) {
  cell b = *block;
  b.header = TYPE_BLOCK;
  series::index(&b) = 0;
  value(&b);
}

// A boot-mode word: global (by name), or bound to the context of an earlier root value
// by that root's index. Any other binding cannot be written in a boot document.
void writer::boot_word(const cell* v, u32 t, bool global) {
  u32 sym = symbol(word::symbol_id(v));
  u32 assign_bit = assigning_ && depth_ == 1 ? BIT_GLOBAL : 0;
  if (!global && !root_contexts_.count(word::context(v))) refuse(v);
  u32 root = global ? 0xFFFFFFFFu : root_contexts_[word::context(v)];
  u32 index = global ? 0xFFFFFFFFu : word::index(v);
  if (compact_) {
    header(t, !global);
    putv(sym);
    if (!global) {
      putv(root);
      putz(i32(index));
    }
  } else {
    header(t, false, assign_bit);
    put32(sym);
    put32(root);
    put32(index);
  }
}

void writer::boot_root(const cell* vp) {
  cell v = *vp;
  u32 t = type_of(&v);
  if (t == TYPE_OBJECT || t == TYPE_FUNCTION) root_contexts_.emplace(object::context(&v), roots_);
  counter_ = roots_;
  value(&v);
  roots_++;
}

// An assignment pair: the word record (0xC4 before it, or header bit 25 in standard
// records), then the value; it makes no root, so nothing in it can be referred to.
void writer::boot_assign(const cell* wp, const cell* vp) {
  cell w = *wp;
  cell v = *vp;
  u32 t = type_of(&w);
  if (t < TYPE_WORD || t > TYPE_ISSUE) refuse(&w);
  assigning_ = true;
  counter_ = roots_;
  if (compact_) put8(0xC4);
  value(&w);
  value(&v);
  assigning_ = false;
  counter_ = roots_;
}

void writer::finish(cell* out, bool compress) {
  std::vector<u8> doc;
  auto d32 = [&](u32 v) {
    u8 b[4];
    std::memcpy(b, &v, 4);
    doc.insert(doc.end(), b, b + 4);
  };
  auto dv = [&](u32 v) {
    while (v >= 0x80) {
      doc.push_back(u8(v | 0x80));
      v >>= 7;
    }
    doc.push_back(u8(v));
  };
  bool symbols = !offsets_.empty();
  doc.reserve(24 + offsets_.size() * 4 + names_.size() + rec_.size());
  for (char c : std::string_view("VYRBIN")) doc.push_back(u8(c));
  doc.push_back(boot_ ? 1 : 2);
  u32 roots = boot_ ? roots_ : 1;
  if (compact_) {
    doc.push_back(symbols ? 5 : 1);
    dv(roots);
    dv(u32(rec_.size()));
    if (symbols) {
      dv(u32(offsets_.size()));
      dv(u32(names_.size()));
      for (u32 o : offsets_) d32(o);
      doc.insert(doc.end(), names_.begin(), names_.end());
    }
  } else {
    doc.push_back(symbols ? 4 : 0);
    d32(roots);
    d32(u32(rec_.size()));
    if (symbols) {
      d32(u32(offsets_.size()));
      d32(u32(names_.size()));
      for (u32 o : offsets_) d32(o);
      doc.insert(doc.end(), names_.begin(), names_.end());
    }
  }
  doc.insert(doc.end(), rec_.begin(), rec_.end());
  refs_.clear();
  live_refs = nullptr;
  if (compress) {
    codecs::byte_buffer packed;
    if (lz::compress(doc.data() + 8, doc.size() - 8, packed) > 0) {
      doc.resize(8);
      doc[7] |= 2;
      doc.insert(doc.end(), packed.begin(), packed.end());
    }
  }
  if (doc.size() > 0x7FFFFFF0u) fire("internal", "no-memory");
  cell b{TYPE_NONE, 0, 0, 0};
  binary::make_at(&b, u32(doc.size()));
  series_buffer* buf = buffer_of(series::node(&b));
  std::memcpy(buf->head(), doc.data(), doc.size());
  buf->tail = buf->offset + u32(doc.size());
  *out = b;
}

namespace {

void encode_with(const cell* value, cell* out, bool compact) {
  set_load_mode();
  cell v = *value;
  collector::root_guard g(&v);
  writer w(compact);
  w.value(&v);
  w.finish(out);
}

}  // namespace

boot_document::boot_document(bool compact) : writer_(new writer(compact)) {
  set_load_mode();
  writer_->set_boot();
}
boot_document::~boot_document() { delete writer_; }
void boot_document::root(const cell* value) { writer_->boot_root(value); }
void boot_document::assign(const cell* word, const cell* value) { writer_->boot_assign(word, value); }
void boot_document::finish(cell* out, bool compress) { writer_->finish(out, compress); }

void encode(const cell* value, cell* out) { encode_with(value, out, false); }
void encode_compact(const cell* value, cell* out) { encode_with(value, out, true); }

// ---- The codec's routines ------------------------------------------------------------------

void encode_star_routine(cell* args, u32 count) {
  cell v = args[0];
  bool compact = count >= 2 && type_of(&args[1]) == TYPE_LOGIC && logic::get(&args[1]) != 0;
  cell out{TYPE_NONE, 0, 0, 0};
  collector::root_guard g(&out);
  encode_with(&v, &out, compact);
  args[0] = out;
}

void decode_value(const cell* payload_in, cell* out) {
  cell payload = *payload_in;
  collector::root_guard gp(&payload);
  cell data = payload;
  collector::root_guard gd(&data);
  u32 t = type_of(&payload);
  if (t == TYPE_FILE && !read_binary_hook) {
    simple_io::read_file(&payload, nullptr, nullptr, true, false, &data);
    t = type_of(&data);
  } else if (t == TYPE_FILE || t == TYPE_URL) {
    if (!read_binary_hook) fire("internal", "not-done");
    read_binary_hook(&payload, &data);
    t = type_of(&data);
  }
  if (t != TYPE_BINARY) fire("script", "invalid-data", &payload);
  std::vector<u8> bytes = binary::bytes_of(&data);
  if (bytes.size() <= 10) fire("script", "invalid-data", &payload);
  set_load_mode();
  cell result;
  cells::make_block(&result, 1);
  collector::root_guard gr(&result);
  decode(bytes.data(), bytes.size(), series::node(&result), true, &payload);
  if (buffer_of(series::node(&result))->used_units() == 1) {
    *out = read_buffer(series::node(&result))->cells()[0];
  } else {
    *out = result;
  }
}

void decode_routine(cell* args, u32 count) {
  cell out{TYPE_NONE, 0, 0, 0};
  collector::root_guard g(&out);
  decode_value(&args[0], &out);
  args[0] = out;
}

void register_routines() {
  if (routine::find("vyrbin-encode*")) return;
  routine::register_("vyrbin-encode*", encode_star_routine);
  routine::register_("vyrbin-decode", decode_routine);
}

}  // namespace vyr::vyrbin
