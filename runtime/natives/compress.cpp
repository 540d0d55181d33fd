// The compression natives: compress and decompress. They take the bytes (a binary! from its
// index, text as UTF-8), run the DEFLATE codecs into a C++ heap buffer and box the result in
// a new binary!; a stream the codec refuses leaves nothing behind but the error.
#include <cstring>
#include <string>

#include "runtime/codecs/deflate.h"
#include "runtime/collector.h"
#include "runtime/datatypes/binary.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/word.h"
#include "runtime/fire.h"
#include "runtime/stack.h"
#include "runtime/memory.h"
#include "runtime/natives/natives.h"
#include "runtime/natives/domains.h"

namespace vyr::natives {

namespace {
using stack::arguments;

// The framing the method word names, letter case ignored; any other word is refused.
deflate::framing framing_of(const cell* method) {
  cell name;
  word::name_string(method, &name);
  std::string m = string::to_utf8(&name);
  for (char& c : m) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
  if (m == "zlib") return deflate::ZLIB;
  if (m == "deflate") return deflate::RAW;
  if (m == "gzip") return deflate::GZIP;
  cell v = *method;
  fire("script", "invalid-arg", &v);
}

// The codecs allocate nothing in the arena, so a pointer into the argument's buffer stays
// valid while they run; the result is copied into a new binary! only afterwards, straight
// from the C++ heap (nothing there moves when the binary is made).
void box(const codecs::byte_buffer& bytes) {
  if (bytes.size() > SERIES_MAX_BYTES) fire_no_memory();
  u32 n = static_cast<u32>(bytes.size());
  cell out{TYPE_UNSET, 0, 0, 0};
  collector::root_guard keep(&out);
  binary::make_at(&out, n);
  series_buffer* b = buffer_of(out.data2);
  if (n) std::memcpy(b->head(), bytes.data(), n);
  b->tail = b->offset + n;
  stack::set_last(out);
}

void compress_entry(bool, const i32*) {
  cell data = arguments[0], method = arguments[1];
  collector::root_guard keep_d(&data), keep_m(&method);
  deflate::framing how = framing_of(&method);
  codecs::byte_buffer out;
  if (type_of(&data) == TYPE_BINARY) {
    u32 n = static_cast<u32>(binary::rs_length_q(&data));
    deflate::compress(binary::rs_head(&data), n, how, out);
  } else {
    std::string s = binary::utf8_of(&data);
    deflate::compress(reinterpret_cast<const u8*>(s.data()), s.size(), how, out);
  }
  box(out);
}

void decompress_entry(bool, const i32* refs) {
  cell data = arguments[0], method = arguments[1];
  collector::root_guard keep_d(&data), keep_m(&method);
  deflate::framing how = framing_of(&method);
  // /size only picks the first capacity: the codec caps it and grows past it as needed.
  i64 hint = refs[0] != -1 ? static_cast<i32>(arguments[refs[0]].data2) : 0;
  codecs::byte_buffer out;
  u32 n = static_cast<u32>(binary::rs_length_q(&data));
  if (!deflate::decompress(binary::rs_head(&data), n, how, hint > 0 ? static_cast<u64>(hint) : 0, out))
    fire("script", "invalid-data", &method);
  box(out);
}

}  // namespace

void install_compress() {
  install(id::compress, compress_entry);
  install(id::decompress, decompress_entry);
}

}  // namespace vyr::natives
