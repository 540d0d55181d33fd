// The byte-encoding natives: enbase, debase, checksum and complement?. They turn their
// arguments into bytes (UTF-8 for text), call the base-N codecs or the checksum routines,
// and box the answer; bitset! and binary! own the values they make.
#include <string>
#include <vector>

#include "runtime/checksum.h"
#include "runtime/codecs/base_n.h"
#include "runtime/collector.h"
#include "runtime/datatypes/binary.h"
#include "runtime/datatypes/bitset.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/string_actions.h"
#include "runtime/datatypes/word.h"
#include "runtime/fire.h"
#include "runtime/host/simple_io.h"
#include "runtime/stack.h"
#include "runtime/natives/natives.h"
#include "runtime/natives/domains.h"

namespace vyr::natives {

namespace {
using stack::arguments;

inline bool present(const i32* refs, u32 i) { return refs[i] != -1; }

// The base of /base (64 when absent); any other than 2, 16, 58, 64 raises invalid-arg.
i32 base_of(const i32* refs) {
  if (!present(refs, 0)) return 64;
  cell b = arguments[refs[0]];
  i32 base = static_cast<i32>(b.data2);
  if (!base_n::known_base_q(base)) fire("script", "invalid-arg", &b);
  return base;
}

void enbase_entry(bool, const i32* refs) {
  i32 base = base_of(refs);
  cell v = arguments[0];
  collector::root_guard keep_v(&v);
  std::vector<u8> bytes;
  if (type_of(&v) == TYPE_BINARY) {
    bytes = binary::bytes_of(&v);
  } else {
    std::string s = binary::utf8_of(&v);
    bytes.assign(s.begin(), s.end());
  }
  u64 room = base_n::encoded_room(base, bytes.size());
  if (room > 0x7FFFFFFF) fire("script", "too-long");
  cell out{TYPE_UNSET, 0, 0, 0};
  collector::root_guard keep_out(&out);
  string::make_at(&out, static_cast<u32>(room));
  series_buffer* b = buffer_of(out.data2);
  char* end = base_n::encode(base, b->head(), bytes.data(), static_cast<u32>(bytes.size()));
  b->tail = b->offset + static_cast<u32>(end - b->head());
  stack::set_last(out);
}

void debase_entry(bool, const i32* refs) {
  i32 base = base_of(refs);
  cell v = arguments[0];
  series_buffer* b = buffer_of(v.data2);
  u32 unit = b->unit();
  u32 used = b->used_units();
  u32 head = v.data1 < used ? v.data1 : used;
  std::vector<u8> bytes;
  // The decoder allocates nothing in the arena, so the characters stay where they are.
  if (!base_n::decode(base, b->head() + u64{head} * unit, used - head, unit, bytes)) {
    stack::set_last(cell{TYPE_NONE, 0, 0, 0});
    return;
  }
  cell out{TYPE_UNSET, 0, 0, 0};
  collector::root_guard keep_out(&out);
  binary::make_at(&out, static_cast<u32>(bytes.size()));
  binary::rs_append(&out, bytes.data(), static_cast<u32>(bytes.size()));
  stack::set_last(out);
}

[[noreturn]] void refuse_with(const cell* value) {
  cell w, v = *value;
  datatype::word_of_name("with", &w);
  set_type(&w, TYPE_REFINEMENT);
  fire("script", "invalid-refine-arg", &w, &v);
}

// The bytes a checksum is taken of: a file's whole content, a string's UTF-8, a binary
// from its head.
std::vector<u8> data_bytes(const cell* data) {
  u32 t = type_of(data);
  if (t == TYPE_BINARY) return binary::bytes_of(data);
  if (t == TYPE_FILE) {
    cell read{TYPE_UNSET, 0, 0, 0};
    collector::root_guard keep(&read);
    simple_io::read_file(data, nullptr, nullptr, true, false, &read);
    return binary::bytes_of(&read);
  }
  if (string::text_q(t)) {
    std::string s = binary::utf8_of(data);
    return std::vector<u8>(s.begin(), s.end());
  }
  cell v = *data;
  fire("script", "invalid-arg", &v);
}

void checksum_entry(bool, const i32* refs) {
  cell data = arguments[0], method = arguments[1];
  collector::root_guard keep_d(&data), keep_m(&method);
  bool with = present(refs, 0);
  cell spec = with ? arguments[refs[0]] : cell{TYPE_NONE, 0, 0, 0};
  collector::root_guard keep_s(&spec);
  cell name;
  word::name_string(&method, &name);
  std::string m = string::to_utf8(&name);
  if (!checksum::method_q(m)) fire("script", "invalid-arg", &method);
  i32 code = checksum::method_code(m);
  std::string lower = m;
  for (char& c : lower) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
  bool is_hash = lower == "hash";
  bool plain = code == checksum::CODE_CRC32 || code == checksum::CODE_TCP || lower == "adler32";
  std::vector<u8> bytes = data_bytes(&data);
  u32 n = static_cast<u32>(bytes.size());
  if (plain) {
    if (with) refuse_with(&spec);
    u32 r = code == checksum::CODE_CRC32 ? checksum::crc32(bytes.data(), n)
            : code == checksum::CODE_TCP  ? checksum::tcp(bytes.data(), n)
                                          : checksum::adler32(bytes.data(), n);
    stack::set_last(cell{TYPE_INTEGER, 0, r, 0});
    return;
  }
  if (!with) {
    if (is_hash) refuse_with(&method);
    checksum::digest_buffer d = checksum::digest(bytes.data(), n, code);
    binary::load(d.bytes, d.size);
    stack::set_last(*stack::last_pushed());
    return;
  }
  u32 ts = type_of(&spec);
  if (ts == TYPE_INTEGER) {
    i32 h = checksum::hash(bytes.data(), n, static_cast<i32>(spec.data2));
    stack::set_last(cell{TYPE_INTEGER, 0, static_cast<u32>(h), 0});
    return;
  }
  if (is_hash || !(string::text_q(ts) || ts == TYPE_BINARY)) refuse_with(&spec);
  std::vector<u8> key;
  if (ts == TYPE_BINARY) {
    key = binary::bytes_of(&spec);
  } else {
    std::string k = binary::utf8_of(&spec);
    key.assign(k.begin(), k.end());
  }
  checksum::digest_buffer d = checksum::hmac(bytes.data(), n, key.data(),
                                             static_cast<u32>(key.size()), code);
  binary::load(d.bytes, d.size);
  stack::set_last(*stack::last_pushed());
}

void complement_q_entry(bool, const i32*) {
  if (type_of(arguments) != TYPE_BITSET) {
    cell fn = stack::current_call_word(), t, arg;
    datatype::make_at(&t, type_of(arguments));
    datatype::word_of_name("bits", &arg);
    fire("script", "expect-arg", &fn, &t, &arg);
  }
  bool flag = bitset::complement_q(arguments);
  stack::set_last(flag ? true_value : false_value);
}

}  // namespace

void install_codecs() {
  install(id::enbase, enbase_entry);
  install(id::debase, debase_entry);
  install(id::checksum, checksum_entry);
  install(id::complement_q, complement_q_entry);
}

}  // namespace vyr::natives
