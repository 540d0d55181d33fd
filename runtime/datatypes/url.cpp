// url!: percent-decoding and -encoding, building a url! from parts, joining a path element,
// mold with escapes, and the read/write/open entries (HTTP for http and https, a port of
// the url's scheme otherwise). Decoding is bounded by its input; an escape is taken only whole.
#include "runtime/datatypes/url.h"

#include <string>

#include "runtime/collector.h"
#include "runtime/datatypes/context.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/object.h"
#include "runtime/datatypes/port.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/word.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/string_actions.h"
#include "runtime/fire.h"
#include "runtime/hooks.h"
#include "runtime/host/http.h"
#include "runtime/datatypes/actions.h"
#include "runtime/stack.h"
#include "runtime/unicode.h"

namespace vyr::url {

namespace {
// Bit 0: safe set; bit 1: unreserved set (code points below 0x80).
u8 sets[128];
bool sets_ready = false;

void build_sets() {
  if (sets_ready) return;
  for (u32 c = 0; c < 128; c++) {
    bool alnum = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
    bool unreserved = alnum || c == '-' || c == '.' || c == '_' || c == '~';
    bool safe = unreserved || (c != 0 && std::strchr("!#$&'()*+,/:=?@", static_cast<int>(c)));
    sets[c] = static_cast<u8>((safe ? 1 : 0) | (unreserved ? 2 : 0));
  }
  sets_ready = true;
}

// The UTF-8 bytes of `length` characters (-1: all) of a text value from its head.
std::string utf8_of(const cell* text, i32 length) {
  series_buffer* b = buffer_of(text->data2);
  u32 unit = b->unit();
  u32 used = b->used_units();
  u32 head = text->data1 < used ? text->data1 : used;
  u32 n = used - head;
  if (length >= 0 && static_cast<u32>(length) < n) n = static_cast<u32>(length);
  std::string out;
  out.reserve(n);
  char seq[4];
  const char* p = b->head() + u64{head} * unit;
  for (u32 i = 0; i < n; i++)
    out.append(seq, unicode::cp_to_utf8(string::get_char(p + u64{i} * unit, unit), seq));
  return out;
}

}  // namespace

bool safe_q(u32 c) {
  build_sets();
  return c < 128 && (sets[c] & 1);
}
bool unreserved_q(u32 c) {
  build_sets();
  return c < 128 && (sets[c] & 2);
}

bool decode_hex_pair_q(const char* p, u64 n, u8* out) {
  if (n < 3 || p[0] != '%') return false;
  int hi = string::hex_digit(static_cast<u8>(p[1]));
  int lo = string::hex_digit(static_cast<u8>(p[2]));
  if (hi < 0 || lo < 0) return false;
  *out = static_cast<u8>(hi << 4 | lo);
  return true;
}

void decode(const cell* text, i32 length, cell* dest) {
  std::string src = utf8_of(text, length);
  const char* p = src.data();
  u64 n = src.size(), i = 0;
  series_buffer* d = buffer_of(dest->data2);
  u32 node = dest->data2;
  collector::node_guard keep(&node);
  while (i < n) {
    u8 b;
    if (decode_hex_pair_q(p + i, n - i, &b)) {
      if (b < 0xC0) {
        d = string::append_char(d, b);
        i += 3;
        continue;
      }
      u32 len = unicode::utf8_char_size(b);
      u8 seq[4] = {b, 0, 0, 0};
      bool whole = true;
      for (u32 k = 1; k < len && whole; k++)
        whole = decode_hex_pair_q(p + i + 3 * k, n - i - 3 * k, &seq[k]) && i + 3 * k < n;
      if (whole) {
        i32 count = static_cast<i32>(len);
        i32 cp = unicode::decode_utf8_char(seq, &count);
        if (cp >= 0) {
          d = string::append_char(d, static_cast<u32>(cp));
          i += 3 * len;
          continue;
        }
      }
    }
    // One raw sequence: a lone "%", or an escaped lead byte without its continuations.
    i32 cp;
    const u8* next = unicode::fast_decode_utf8_char(reinterpret_cast<const u8*>(p + i),
                                                    reinterpret_cast<const u8*>(p + n), &cp);
    d = string::append_char(d, cp < 0 ? 0xFFFD : static_cast<u32>(cp));
    i = static_cast<u64>(reinterpret_cast<const char*>(next) - p);
  }
}

const char* escape_byte(u32 mode, u8 byte, u32* count) {
  static char out[4] = "%00";
  bool keep = byte < 0x80 && ((mode == KEEP_SAFE && safe_q(byte)) ||
                              (mode == KEEP_UNRESERVED && unreserved_q(byte)));
  if (keep) {
    out[3] = static_cast<char>(byte);
    *count = 1;
    return out + 3;
  }
  const char* hex = string::byte_to_hex(byte);
  out[1] = hex[0];
  out[2] = hex[1];
  *count = 3;
  return out;
}

void encode(const cell* text, i32 length, u32 mode, cell* dest) {
  std::string src = utf8_of(text, length), out;
  out.reserve(src.size());
  for (char c : src) {
    u32 n;
    const char* e = escape_byte(mode, static_cast<u8>(c), &n);
    out.append(e, n);
  }
  if (!out.empty()) string::concatenate_literal_part(dest, out.data(), static_cast<u32>(out.size()));
}

cell* load(const char* text, u32 size) {
  cell raw{TYPE_UNSET, 0, 0, 0};
  collector::root_guard keep(&raw);
  string::load_at(text, size, &raw, string::ENCODING_UTF8);
  cell* out = stack::push_slot();
  out->header = TYPE_UNSET;
  string::make_at(out, size);
  decode(&raw, -1, out);
  set_type(out, TYPE_URL);
  return out;
}

cell* push(const cell* value) { return stack::push_copy(value); }

// ---- Actions ----------------------------------------------------------------------------

const cell* to(const cell* proto, const cell* spec_in, u32 type) {
  u32 ts = type_of(spec_in);
  if (type != TYPE_URL || (ts != TYPE_BLOCK && ts != TYPE_PAREN && ts != TYPE_HASH))
    return string::to(proto, spec_in, type);
  cell spec = *spec_in;
  collector::root_guard keep_spec(&spec);
  u32 node = spec.data2;
  u32 first = spec.data1;
  auto count = [&] {
    u32 used = buffer_of(node)->used_units();
    return first < used ? used - first : 0;
  };
  auto at = [&](u32 i) { return read_buffer(node)->cells()[first + i]; };
  if (count() == 0) datatype::fire_with_type("bad-to-arg", TYPE_URL, &spec);
  cell out{TYPE_UNSET, 0, 0, 0};
  collector::root_guard keep_out(&out);
  string::make_at(&out, 16);
  cell e = at(0);
  collector::root_guard keep_e(&e);
  actions::form(&e, &out);
  string::concatenate_literal(&out, "://");
  u32 i = 1;
  if (i < count()) {
    e = at(i++);
    actions::form(&e, &out);
  }
  if (i < count() && type_of(&(e = at(i))) == TYPE_INTEGER) {
    string::concatenate_literal(&out, ":");
    actions::form(&e, &out);
    i++;
  }
  if (i < count()) {
    string::concatenate_literal(&out, "/");
    for (; i < count(); i++) {
      e = at(i);
      actions::form(&e, &out);
      if (i + 1 < count())
        string::concatenate_literal(&out, type_of(&(e = at(i + 1))) == TYPE_ISSUE ? "#" : "/");
    }
  }
  set_type(&out, TYPE_URL);
  return stack::set_result(&out);
}

const cell* make(const cell* proto, const cell* spec, u32 type) {
  u32 ts = type_of(spec);
  if (type == TYPE_URL && (ts == TYPE_BLOCK || ts == TYPE_PAREN || ts == TYPE_HASH))
    return to(proto, spec, type);
  return string::make(proto, spec, type);
}

i32 mold(const cell* value, cell* out, bool only, bool all, bool flat, const cell* part,
         i32 budget, i32 indent) {
  std::string src = utf8_of(value, -1), text;
  text.reserve(src.size());
  for (char c : src) {
    if (part && static_cast<i64>(text.size()) >= budget) break;
    u32 n;
    const char* e = escape_byte(KEEP_SAFE, static_cast<u8>(c), &n);
    text.append(e, n);
  }
  if (!text.empty()) string::concatenate_literal_part(out, text.data(), static_cast<u32>(text.size()));
  return budget - static_cast<i32>(text.size());
}

const cell* eval_path(cell* parent, cell* element, cell* value, const path_args& walk) {
  if (value) {
    cell e = *element, v = *value;
    fire("script", "bad-path-set", &e, &v);
  }
  cell u = *parent, e = *element;
  collector::root_guard keep_u(&u);
  collector::root_guard keep_e(&e);
  if (type_of(&e) == TYPE_GET_WORD) {
    fire("internal", "not-done");  // reading a word's value needs the evaluator's lookup
  }
  cell formed{TYPE_UNSET, 0, 0, 0};
  collector::root_guard keep_f(&formed);
  string::make_at(&formed, 16);
  actions::form(&e, &formed);
  i32 ul = string::rs_length_q(&u);
  bool u_slash = ul > 0 && string::rs_abs_at(&u, u.data1 + ul - 1) == '/';
  bool e_slash = string::rs_length_q(&formed) > 0 && string::rs_abs_at(&formed, 0) == '/';
  cell out{TYPE_UNSET, 0, 0, 0};
  collector::root_guard keep_out(&out);
  string::make_at_unit(&out, static_cast<u32>(ul) + 16, buffer_of(u.data2)->unit());
  string::concatenate(&out, &u, u_slash && e_slash ? ul - 1 : ul, 0, false,
                      string::CONCAT_APPEND);
  if (!u_slash && !e_slash) string::concatenate_literal(&out, "/");
  string::concatenate(&out, &formed, -1, 0, false, string::CONCAT_APPEND);
  set_type(&out, type_of(&u));
  return stack::set_result(&out);
}

// url/make-port: the library's URL parser (url-parser/parse-url, without /throw-error)
// splits the url; the object it answers is the spec of a new port of the url's scheme.
cell make_port(const cell* url_in) {
  cell u = *url_in;
  collector::root_guard ug(&u);
  cell parser = none_value, fn = none_value, parts = none_value;
  collector::root_guard g1(&parser), g2(&fn), g3(&parts);
  cell pw = _context::global_word(symbol::make("url-parser"));
  parser = *_context::get(&pw);
  cell fw = word::intern("parse-url");
  if (type_of(&parser) == TYPE_OBJECT) fn = *object::get_field(&parser, &fw);
  if (type_of(&fn) != TYPE_FUNCTION || !hooks::call_slots) fire("internal", "not-done");
  cell slots[2] = {u, cell{TYPE_LOGIC, 0, 0, 0}};
  collector::root_guard sg(slots, 2);
  hooks::call_slots(&fn, slots, 2, &fw, &parts);
  if (type_of(&parts) != TYPE_OBJECT) fire("script", "invalid-arg", &u);
  return port::make_value(&parts);
}

const cell* open(cell* value, const open_args& opts) {
  cell p = make_port(value);
  collector::root_guard pg(&p);
  port::open(&p, opts);
  return stack::set_result(&p);
}

// "http" at the head (letter case counting, so https too) goes to the HTTP client; every
// other scheme to a port of that scheme.
bool http_q(const cell* value) { return string::starts_with_q(value, "http"); }

const cell* read(cell* source, const read_args& opts) {
  if (!http_q(source)) {
    cell p = make_port(source);
    collector::root_guard pg(&p);
    cell r = port::read(&p, opts.part, opts.seek);
    return stack::set_result(&r);
  }
  if (opts.part || opts.seek || opts.as) fire("internal", "not-done");
  return http::read(source, opts.binary, opts.lines, opts.info);
}

const cell* write(cell* destination, const cell* value, const write_args& opts) {
  if (!http_q(destination)) {
    cell v = *value;
    collector::root_guard vg(&v);
    cell p = make_port(destination);
    collector::root_guard pg(&p);
    cell r = port::write(&p, &v, opts.part, opts.seek);
    return stack::set_result(&r);
  }
  if (opts.append || opts.part || opts.seek || opts.allow || opts.as)
    fire("internal", "not-done");
  return http::write(destination, value, opts.binary, opts.lines, opts.info);
}

// ---- Registration -----------------------------------------------------------------------

void init() {
  build_sets();
  action_row row;  // everything else from string!
  row.make = make;
  row.to = to;
  row.mold = mold;
  row.eval_path = eval_path;
  row.open = open;
  row.read = read;
  row.write = write;
  row.random = nullptr;
  row.reflect = nullptr;
  row.put = nullptr;
  row.sort = nullptr;
  row.trim = nullptr;
  datatype::register_(TYPE_URL, TYPE_STRING, "url!", row);
}

}  // namespace vyr::url
