// `unescape`: decodes the escapes of a JSON string literal in place. The grammar has
// already checked the escapes' shape, but the routine is callable on any string, so every
// read is bounds-checked and every malformed escape raises script invalid-data.
#include <string>

#include "environment/routines/routines.h"
#include "runtime/collector.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/function.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/series.h"
#include "runtime/fire.h"
#include "runtime/datatypes/cells.h"

namespace vyr::routines {

namespace {

[[noreturn]] void bad(cell* str) {
  cell v = *str;
  collector::root_guard g(&v);
  fire("script", "invalid-data", &v);
}

// The four hexadecimal digits at src[i..i+3] as a code, or -1.
i32 hex4(const std::u32string& src, size_t i) {
  if (i + 4 > src.size()) return -1;
  i32 code = 0;
  for (size_t k = i; k < i + 4; ++k) {
    u32 c = src[k];
    int d = c < 0x80 ? string::hex_digit(u8(c)) : -1;
    if (d < 0) return -1;
    code = code * 16 + d;
  }
  return code;
}

}  // namespace

// Also reached by the fuzz target.
void unescape_in_place(cell* str) {
  if (type_of(str) != TYPE_STRING) {
    cell t;
    datatype::make_at(&t, type_of(str));
    fire("script", "invalid-arg", &t);
  }
  // The text is read once into a private copy: the writes below may widen and so move the
  // buffer, and the result is never longer than the text.
  i32 n = string::rs_length_q(str);
  std::u32string src;
  src.reserve(size_t(n > 0 ? n : 0));
  {
    series_buffer* b = buffer_of(series::node(str));
    u32 unit = b->unit();
    const char* p = string::rs_head(str);
    for (i32 i = 0; i < n; ++i) src.push_back(string::get_char(p + size_t(i) * unit, unit));
  }
  std::u32string out;
  out.reserve(src.size());
  for (size_t i = 0; i < src.size();) {
    u32 c = src[i++];
    if (c != '\\') {
      out.push_back(c);
      continue;
    }
    if (i >= src.size()) bad(str);
    u32 e = src[i++];
    switch (e) {
      case '"': case '\\': case '/': out.push_back(e); break;
      case 'b': out.push_back(8); break;
      case 'f': out.push_back(12); break;
      case 'n': out.push_back(10); break;
      case 'r': out.push_back(13); break;
      case 't': out.push_back(9); break;
      case 'u': {
        i32 code = hex4(src, i);
        if (code < 0) bad(str);
        i += 4;
        // A lone low surrogate cannot become UTF-8 any more than a lone high one can.
        if (code >= 0xDC00 && code <= 0xDFFF) bad(str);
        if (code >= 0xD800 && code <= 0xDBFF) {
          if (i + 6 > src.size() || src[i] != '\\' || src[i + 1] != 'u') bad(str);
          i32 low = hex4(src, i + 2);
          if (low < 0xDC00 || low > 0xDFFF) bad(str);
          i += 6;
          code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
        }
        out.push_back(u32(code));
        break;
      }
      default: bad(str);
    }
  }
  u32 head = series::index(str);
  series_buffer* b = buffer_of(series::node(str));
  for (size_t k = 0; k < out.size(); ++k) b = string::set_char_at(b, head + u32(k), out[k]);
  string::truncate_buffer(buffer_of(series::node(str)), head + u32(out.size()));
}

namespace {
void unescape_code(cell* a, u32) { unescape_in_place(a); }
}  // namespace

void register_codec_routines() {
  routine::register_("unescape", unescape_code);
  register_json_fast();
}

}  // namespace vyr::routines
