// The text console's line editor without a terminal: key decoding (escape sequences,
// UTF-8 whatever the locale), editing tables, history browsing, and the rendered row.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "console/prompt.h"
#include "console/text/editor.h"
#include "console/text/tty.h"

using namespace vyr::text;
using vyr::console::word_delimiter;

namespace {

std::vector<key> decode(const std::string& bytes) {
  key_decoder d;
  std::vector<key> out;
  for (unsigned char b : bytes) d.feed(b, out);
  return out;
}

// Types the bytes into a fresh editor; answers the line (UTF-8) with "|" at the caret.
std::string typed(const std::string& bytes, const history_view* h = nullptr,
                  outcome* last = nullptr) {
  editor ed;
  ed.reset();
  for (const key& k : decode(bytes)) {
    outcome o = ed.apply(k, h);
    if (last) *last = o;
  }
  std::u32string s = ed.line;
  s.insert(ed.caret, 1, U'|');
  return encode_utf8(s);
}

TEST(LineEditor, DecodesKeysAndSequences) {
  struct row { std::string bytes; std::vector<key> keys; };
  const row rows[] = {
      {"a\r", {{key_kind::CHAR, U'a'}, {key_kind::ENTER}}},
      {"\x7f\x08\x17", {{key_kind::BACKSPACE}, {key_kind::BACKSPACE}, {key_kind::WORD_BACK}}},
      {"\x1b[A\x1b[B\x1b[C\x1b[D", {{key_kind::UP}, {key_kind::DOWN}, {key_kind::RIGHT}, {key_kind::LEFT}}},
      {"\x1bOA\x1bOH\x1bOF", {{key_kind::UP}, {key_kind::HOME}, {key_kind::END}}},
      {"\x1b[1;5C\x1b[1;5D\x1b[5D", {{key_kind::WORD_RIGHT}, {key_kind::WORD_LEFT}, {key_kind::LEFT}}},
      {"\x1b[1~\x1b[7~\x1b[4~\x1b[8~\x1b[H\x1b[F",
       {{key_kind::HOME}, {key_kind::HOME}, {key_kind::END}, {key_kind::END}, {key_kind::HOME}, {key_kind::END}}},
      {"\x1b[3~\x1b[3;5~", {{key_kind::DELETE}, {key_kind::WORD_DELETE}}},
      {"\x01\x05\x0b\x15\x0c\x04\x03\x1a\t",
       {{key_kind::HOME}, {key_kind::END}, {key_kind::KILL_END}, {key_kind::KILL_START}, {key_kind::CLEAR},
        {key_kind::END_OF_INPUT}, {key_kind::INTERRUPT}, {key_kind::SUSPEND}, {key_kind::TAB}}},
      // Unknown sequences and other control characters do nothing.
      {"\x1b[200~\x1b[99;99;99;99;99;99;99;99;99Zq\x07", {{key_kind::CHAR, U'q'}}},
      // Alt+B, Alt+F, Alt+D; any other Alt combination is ignored, never typed, a whole
      // character with it; a control key after a lone Esc acts.
      {"\x1b" "b\x1b" "f\x1b" "d\x1b" "B\x1b" "F\x1b" "D",
       {{key_kind::WORD_LEFT}, {key_kind::WORD_RIGHT}, {key_kind::WORD_DELETE}, {key_kind::WORD_LEFT},
        {key_kind::WORD_RIGHT}, {key_kind::WORD_DELETE}}},
      {"\x1bx\x1b.\x1b\xc3\xa9\x1b\xe6\x97\xa5y", {{key_kind::CHAR, U'y'}}},
      {"\x1b\r\x1b\x1b[A", {{key_kind::ENTER}, {key_kind::UP}}},
      // UTF-8 whatever the locale; malformed sequences are one U+FFFD each.
      {"\xc3\xa9\xe6\x97\xa5\xf0\x9f\x98\x80",
       {{key_kind::CHAR, U'\u00e9'}, {key_kind::CHAR, U'\u65e5'}, {key_kind::CHAR, U'\U0001F600'}}},
      {"\xff\xc3(\xe6\x97\xc0\x80\xed\xa0\x80",
       {{key_kind::CHAR, 0xFFFD}, {key_kind::CHAR, 0xFFFD}, {key_kind::CHAR, U'('}, {key_kind::CHAR, 0xFFFD},
        {key_kind::CHAR, 0xFFFD}, {key_kind::CHAR, 0xFFFD}, {key_kind::CHAR, 0xFFFD}}},
  };
  for (const row& r : rows) EXPECT_EQ(decode(r.bytes), r.keys) << r.bytes;
}

TEST(LineEditor, EditingTable) {
  const std::string L = "\x1b[D", R = "\x1b[C", CL = "\x1b[1;5D", CR = "\x1b[1;5C";
  const std::string DEL = "\x1b[3~", CDEL = "\x1b[3;5~";
  struct row { std::string keys, want; };
  const row rows[] = {
      {"abc", "abc|"},
      {"abc" + L + L + "X", "aX|bc"},
      {"abc\x7f", "ab|"},
      {"\x7f" "a", "a|"},                       // backspace at the start does nothing
      {"ab" + L + L + L + L, "|ab"},             // left stops at 0
      {"ab" + R + R, "ab|"},                     // right stops at the end
      {"ab\x01" "X\x05" "Y", "XabY|"},
      {"one two\x17", "one |"},                  // Ctrl+W: word back
      {"a [b/c]\x17", "a [b/|"},                 // delimiters end words
      {"a [b/c]\x17\x17", "a [|"},
      {"one  \x17", "|"},                        // delimiters, then the word
      {"ab\x01\x17", "|ab"},                     // nothing before the caret
      {"one two" + CL, "one |two"},
      {"one two" + CL + CL + CL, "|one two"},     // never past the start
      {"one two\x01" + CR, "one| two"},
      {"one two\x01" + CR + CR + CR, "one two|"},
      {"abc\x01" + DEL, "|bc"},
      {"abc" + DEL, "abc|"},
      {"one two\x01" + CDEL, "| two"},
      {"abc\x0b", "abc|"},                       // Ctrl+K: to the end of the line
      {"abc" + L + L + "\x0b", "a|"},
      {"abc" + L + "\x15", "|c"},                 // Ctrl+U: to its start
      {"abc\x15", "|"},
      {"one two\x1b" "b", "one |two"},           // Alt+B, Alt+F: by word
      {"one two\x01\x1b" "f", "one| two"},
      {"one two\x01\x1b" "d", "| two"},         // Alt+D: the next word
      {"one two\x1b" "b\x1b" "d", "one |"},
      {"a\x1bqb", "ab|"},                        // other Alt keys type nothing
      {"ab" + L + "\x04", "a|"},                 // Ctrl+D inside a line deletes forward
      {"\xe6\x97\xa5\xe6\x9c\xac" + L + "x", "\xe6\x97\xa5x|\xe6\x9c\xac"},
  };
  for (const row& r : rows) EXPECT_EQ(typed(r.keys), r.want) << r.keys;
}

TEST(LineEditor, Outcomes) {
  struct row { std::string keys; outcome want; };
  const row rows[] = {
      {"a\r", outcome::SUBMIT},          {"\x04", outcome::END_OF_INPUT},
      {"a\x04", outcome::NONE},          {"a\x03", outcome::ESCAPE},
      {"\t", outcome::NONE},             {"a\t", outcome::COMPLETE},
      {"\x0c", outcome::CLEAR},          {"\x1a", outcome::SUSPEND},
  };
  for (const row& r : rows) {
    outcome o = outcome::NONE;
    typed(r.keys, nullptr, &o);
    EXPECT_EQ(int(o), int(r.want)) << r.keys;
  }
}

TEST(LineEditor, HistoryBrowsing) {
  std::vector<std::u32string> entries = {U"newest", U"older", U"oldest"};
  history_view h;
  h.count = [&] { return entries.size(); };
  h.entry = [&](size_t i) { return entries[i - 1]; };
  const std::string U = "\x1b[A", D = "\x1b[B", L = "\x1b[D";
  EXPECT_EQ(typed(U, &h), "newest|");
  EXPECT_EQ(typed(U + U + U + U + U, &h), "oldest|");   // stays on the oldest
  EXPECT_EQ(typed("typ" + L + U + U + D + D, &h), "ty|p");  // back to the typed text and caret
  EXPECT_EQ(typed("x" + D + D, &h), "x|");               // down at the typed line: nothing
  EXPECT_EQ(typed(U + "!" + D + U, &h), "newest|");     // an edited entry is not kept
  entries.clear();
  EXPECT_EQ(typed("a" + U, &h), "a|");
  EXPECT_EQ(typed("a" + U), "a|");                     // no history at all
}

// The prompt's model that both consoles step by: a word step passes delimiters, then word
// characters; a history step stays within the entries, even one that shrank meanwhile.
TEST(PromptModel, WordAndHistoryStepTables) {
  struct { std::u32string text; std::size_t span; } words[] = {
      {U"", 0}, {U"ab cd", 2}, {U"  ab cd", 4}, {U"a/b", 1}, {U"@:x;y", 3}, {U"\t\t", 2},
  };
  for (const auto& w : words) {
    std::size_t n =
        vyr::console::word_span(w.text.size(), [&](std::size_t i) { return w.text[i]; });
    EXPECT_EQ(n, w.span) << "case " << (&w - words);
  }
  struct { std::size_t index, count; bool older; std::optional<std::size_t> next; } steps[] = {
      {0, 3, true, 1}, {3, 3, true, 3}, {2, 3, false, 1}, {1, 3, false, 0},
      {0, 3, false, std::nullopt}, {0, 0, true, 0}, {5, 3, false, 3}, {5, 3, true, 3},
  };
  for (const auto& s : steps)
    EXPECT_EQ(vyr::console::history_step(s.index, s.count, s.older), s.next)
        << s.index << " of " << s.count << (s.older ? " older" : " newer");
}

TEST(LineEditor, RenderScrollsToTheCaret) {
  // Fits: the whole row, caret after the prompt and text.
  row r = render(U">> ", U"abc", 3, 80, false);
  EXPECT_EQ(r.text, ">> abc");
  EXPECT_EQ(r.caret_col, 6u);
  // Hidden input shows one star per character.
  r = render(U"pw: ", U"secret", 6, 80, true);
  EXPECT_EQ(r.text, "pw: ******");
  // Too long: the window ends at the caret, within columns - 1.
  std::u32string line(30, U'x');
  line += U"END";
  r = render(U">> ", line, line.size(), 10, false);
  EXPECT_EQ(r.text, "xxxxxEND");  // the caret's own cell is the ninth
  EXPECT_EQ(r.caret_col, 8u);
  // Caret at the start of a long line: the prompt and the line's start show.
  r = render(U">> ", line, 0, 10, false);
  EXPECT_EQ(r.text, ">> xxxxxx");
  EXPECT_EQ(r.caret_col, 3u);
  // Wide characters take two columns and are never cut in half.
  r = render(U">> ", U"\u65e5\u672c\u8a9e", 3, 8, false);
  EXPECT_EQ(r.caret_col, 6u);
  EXPECT_EQ(r.text, "\xe6\x97\xa5\xe6\x9c\xac\xe8\xaa\x9e");
  // Control characters never reach the terminal raw.
  r = render(U"", std::u32string(U"a\x1b" "b"), 0, 80, false);
  EXPECT_EQ(r.text, "a\xef\xbf\xbd" "b");
  // A zero-wide terminal still shows the caret's character.
  r = render(U">> ", U"ab", 2, 0, false);
  EXPECT_EQ(r.caret_col, 0u);
}

TEST(LineEditor, Utf8RoundTrip) {
  EXPECT_EQ(decode_utf8("a\xc3\xa9\xf0\x9f\x98\x80"), std::u32string(U"a\u00e9\U0001F600"));
  EXPECT_EQ(decode_utf8("\xc0\xaf"), std::u32string(U"\uFFFD\uFFFD"));  // overlong
  EXPECT_EQ(decode_utf8("\xe6\x97"), std::u32string(U"\uFFFD"));       // cut short
  EXPECT_EQ(decode_utf8("\xf4\x90\x80\x80"), std::u32string(U"\uFFFD"));  // past U+10FFFF
  EXPECT_EQ(encode_utf8(U"a\u00e9\U0001F600"), "a\xc3\xa9\xf0\x9f\x98\x80");
  EXPECT_EQ(encode_utf8(std::u32string(1, char32_t(0xD800))), "\xef\xbf\xbd");
  EXPECT_TRUE(word_delimiter(U'@'));
  EXPECT_FALSE(word_delimiter(U'-'));
}

TEST(LineEditor, TitleSequenceCannotBeEndedEarly) {
  EXPECT_EQ(title_sequence("Vyr \xe6\x97\xa5"), "\x1b]0;Vyr \xe6\x97\xa5\x07");
  EXPECT_EQ(title_sequence("a\x07" "b\x1b\\c\n"), "\x1b]0;ab\\c\x07");
}

}  // namespace
