// Fuzz target for the lexer: any bytes, in every mode, with a callback that moves the
// position anywhere, must end in tokens within the input or a syntax error, never a crash,
// a hang or a read outside the input. The text helpers run on each token, and the same
// bytes are then loaded into values (`load-string`, with and without a trace callback).
#include <cstdint>
#include <cstring>
#include <vector>

#include "boot/init.h"
#include "runtime/collector.h"
#include "runtime/fire.h"
#include "runtime/lexer/lexer.h"
#include "runtime/datatypes/string.h"
#include "runtime/lexer/lexer_escapes.h"
#include "runtime/lexer/lexer_load.h"
#include "runtime/lexer/lexer_numbers.h"

using namespace vyr;
using namespace vyr::lexer;

namespace {

struct fuzz_listener : listener {
  bool callback = false;
  u32 moves_left = 0;
  u64 seed = 0;
  u32 events = 0;
  u32 length = 0;
  bool has_callback() override { return callback; }
  bool event(scanner& s, u32 bit, i32, u32 start, u32 end) override {
    if (start > end || end > length) __builtin_trap();
    seed = seed * 6364136223846793005ull + 1442695040888963407ull;
    if (moves_left > 0 && (seed >> 60) == 0) {
      moves_left--;
      i64 target = static_cast<i64>(seed >> 33) % (i64(length) + 8) - 4;
      if (seed & 1) s.move_to_char(target); else s.move_to_byte(target);
      if (s.pos() > length) __builtin_trap();
    }
    return (++events % 7) != 0;
  }
  void value(scanner& s, const token& t, bool build) override {
    if (t.start > t.end || t.end > length) __builtin_trap();
    const u8* p = s.head() + t.start;
    const u8* e = s.head() + t.end;
    const char* c = reinterpret_cast<const char*>(p);
    i32 v, err = 0;
    switch (t.state) {
      case T_STRING: case T_CHAR:
        if (e - p >= 2) decoded_unit(p + 1, e - 1, true);
        break;
      case T_INTEGER:
        scan_integer_text(c, c + (e - p), &v);
        string_to_integer(c, static_cast<i32>(e - p), 1, &err);
        break;
      case T_HEX:
        scan_hex_text(c, c + (e - p), &v);
        break;
      case T_MONEY: {
        money_parts m;
        string_to_money(c, static_cast<i32>(e - p), 1, &m);
        break;
      }
      case T_TUPLE: {
        cell out;
        string_to_tuple(c, static_cast<i32>(e - p), 1, &out);
        break;
      }
      case T_FLOAT:
        float_syntax_q(c, c + (e - p));
        break;
      default:
        break;
    }
  }
  void token_done(scanner&, const token& t) override {
    if (t.start > t.end || t.end > length) __builtin_trap();
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool ready = (boot::init_runtime(), true);
  (void)ready;
  if (size < 1 || size > 4096) return 0;
  u8 mode = data[0];
  std::vector<u8> text(data + 1, data + size);  // its own buffer: reads past it are caught
  fuzz_listener l;
  l.callback = mode & 8;
  l.moves_left = (mode & 16) ? 4 : 0;
  l.seed = mode;
  l.length = static_cast<u32>(text.size());
  scan_options o;
  o.one = mode & 1;
  o.prescan = mode & 2;
  o.scan = mode & 4;
  scanner s(text.data(), static_cast<u32>(text.size()), &l, o);
  try {
    s.run();
  } catch (thrown&) {
  }
  if (s.pos() > text.size()) __builtin_trap();

  // The loading layer over the same text as a string!: a syntax error or values.
  static u32 calls = 0;
  calls = 0;
  lexer::hooks.call = (mode & 32) ? [](const cell*, cell* args) {
    // Every few events the input index is moved somewhere, inside or past the text; a
    // callback that moves back forever loops forever, so the moves are few.
    if (++calls % 5 == 0 && calls < 40 && type_of(&args[1]) == TYPE_STRING)
      args[1].data1 = calls * 7 % 50;
    return calls % 11 != 0;
  } : nullptr;
  try {
    cell str{TYPE_NONE, 0, 0, 0};
    string::load_at(reinterpret_cast<const char*>(text.data()), static_cast<u32>(text.size()),
                    &str, string::ENCODING_UTF8);
    collector::root_guard keep(&str);
    cell out{TYPE_NONE, 0, 0, 0};
    collector::root_guard keep_out(&out);
    cell cb{TYPE_INTEGER, 0, 0, 0};
    u32 consumed = 0;
    lexer::load_string(&out, &str, -1, mode & 1, !(mode & 2), !(mode & 4), !(mode & 64),
                       &consumed, (mode & 32) ? &cb : nullptr);
  } catch (thrown&) {
  }
  lexer::hooks.call = nullptr;
  return 0;
}
