// Fuzz target for the text console's line editor: any byte stream typed at it keeps the
// caret inside the line, never puts a control character on the screen and never draws
// wider than the terminal. The first byte picks the terminal width.
#include <cstdint>
#include <string>
#include <vector>

#include "console/text/editor.h"

using namespace vyr::text;

namespace {
bool valid_utf8_without_controls(const std::string& s) {
  std::u32string d = decode_utf8(s);
  if (encode_utf8(d) != s) return false;
  for (char32_t c : d)
    if (c < 0x20 || c == 0x7F) return false;
  return true;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  size_t columns = data[0] % 100;
  std::vector<std::u32string> entries = {U"one", U"two [x/y]", U"\u65e5\u672c"};
  history_view h;
  h.count = [&] { return entries.size(); };
  h.entry = [&](size_t i) { return entries.at(i - 1); };
  key_decoder dec;
  editor ed;
  ed.reset();
  std::vector<key> keys;
  for (size_t i = 1; i < size; i++) {
    keys.clear();
    dec.feed(data[i], keys);
    for (const key& k : keys) {
      outcome o = ed.apply(k, &h);
      if (ed.caret > ed.line.size()) __builtin_trap();
      if (o == outcome::SUBMIT) ed.reset();
    }
    row r = render(U">> ", ed.line, ed.caret, columns, (data[0] & 0x80) != 0);
    size_t w = 0;
    for (char32_t c : decode_utf8(r.text)) w += width_of(c);
    size_t room = columns > 1 ? columns - 1 : 1;
    if (w > room + 1 || r.caret_col > w) __builtin_trap();
    if (!valid_utf8_without_controls(r.text)) __builtin_trap();
  }
  return 0;
}
