// The pure engines of the controls: the pressable-part machine, the scroll-bar geometry and
// the editing rules of EDIT, each from tables.
#include <gtest/gtest.h>

#include "gui/win/behavior.h"
#include "gui/win/controls/edit_engine.h"
#include "gui/win/scrollbar.h"

namespace vyr::win::test {

TEST(behavior, PressReleaseKeyAndCancelFromATable) {
  enum op { MOVE, LEAVE, PRESS, RELEASE, KEY_DOWN, KEY_UP, CANCEL };
  struct step { op o; int part; int activated; bool pressed_look; };
  struct { const char* name; std::vector<step> steps; } cases[] = {
    {"released inside", {{MOVE, 0, -1, false}, {PRESS, 0, -1, true}, {RELEASE, 0, 0, false}}},
    {"released outside", {{PRESS, 0, -1, true}, {MOVE, -1, -1, false}, {RELEASE, -1, -1, false}}},
    {"dragged out and back", {{PRESS, 0, -1, true}, {MOVE, -1, -1, false}, {MOVE, 0, -1, true}, {RELEASE, 0, 0, false}}},
    {"pressed on one part, released on another", {{PRESS, 1, -1, true}, {RELEASE, 2, -1, false}}},
    {"space", {{KEY_DOWN, 0, -1, true}, {KEY_DOWN, 0, -1, true}, {KEY_UP, 0, 0, false}}},
    {"space looks pressed wherever the pointer is", {{KEY_DOWN, 0, -1, true}, {LEAVE, -1, -1, true}, {KEY_UP, 0, 0, false}}},
    {"a key release without a key press", {{PRESS, 0, -1, true}, {KEY_UP, 0, -1, true}, {RELEASE, 0, 0, false}}},
    {"capture lost", {{PRESS, 0, -1, true}, {CANCEL, 0, -1, false}, {RELEASE, 0, -1, false}}},
  };
  for (auto& c : cases) {
    behavior b;
    for (auto& s : c.steps) {
      behavior::answer a;
      switch (s.o) {
        case MOVE: a = b.move(s.part); break;
        case LEAVE: a = b.leave(); break;
        case PRESS: a = b.press(s.part); break;
        case RELEASE: a = b.release(s.part); break;
        case KEY_DOWN: a = b.key_press(s.part); break;
        case KEY_UP: a = b.key_release(); break;
        case CANCEL: a = b.cancel(); break;
      }
      EXPECT_EQ(a.activated, s.activated) << c.name;
      if (s.part >= 0 && s.o != RELEASE) {
        EXPECT_EQ(b.shows_pressed(s.part), s.pressed_look) << c.name;
      }
    }
  }
  behavior b;
  b.move(3);
  EXPECT_TRUE(b.shows_hot(3));
  b.press(4);
  EXPECT_FALSE(b.shows_hot(3));   // another part is held down
}

TEST(scroll_engine, GeometryHitAndPositionAgree) {
  SCROLLINFO si;
  si.nMin = 0;
  si.nMax = 99;
  si.nPage = 10;
  si.nPos = 50;
  scrollbar::geometry g = scrollbar::layout(RECT{0, 0, 17, 200}, true, si, 96);
  ASSERT_TRUE(g.active);
  EXPECT_EQ(g.track_start, 17);
  EXPECT_EQ(g.track_len, 166);
  EXPECT_EQ(g.thumb_len, 16);   // 166 x 10 / 100
  // The thumb stands at (track - thumb) x 50 / 90 into the track.
  EXPECT_EQ(g.parts[scrollbar::THUMB].top, 17 + (166 - 16) * 50 / 90);
  struct { int y; int part; } hits[] = {{5, scrollbar::LINE_UP}, {195, scrollbar::LINE_DOWN}, {30, scrollbar::PAGE_UP},
                                        {180, scrollbar::PAGE_DOWN}, {g.parts[scrollbar::THUMB].top + 3, scrollbar::THUMB},
                                        {250, scrollbar::NONE}};
  for (auto& h : hits) EXPECT_EQ(scrollbar::hit(g, POINT{8, h.y}), h.part) << h.y;
  // Every position's thumb leads back to the position.
  for (int pos = 0; pos <= 90; ++pos) {
    si.nPos = pos;
    scrollbar::geometry at = scrollbar::layout(RECT{0, 0, 17, 200}, true, si, 96);
    EXPECT_EQ(scrollbar::position_at(at, si, at.parts[scrollbar::THUMB].top - at.track_start), pos);
  }
  // A page as large as the range leaves nothing to scroll; a bar too short for its arrows
  // halves them and has no thumb.
  si.nPage = 100;
  EXPECT_FALSE(scrollbar::layout(RECT{0, 0, 17, 200}, true, si, 96).active);
  si.nPage = 10;
  scrollbar::geometry tiny = scrollbar::layout(RECT{0, 0, 20, 17}, false, si, 96);
  EXPECT_FALSE(tiny.active);
  EXPECT_EQ(tiny.parts[scrollbar::LINE_UP].width(), 10);
  // At 144 DPI the arrows grow with the system's scroll-bar size.
  EXPECT_EQ(scrollbar::layout(RECT{0, 0, 26, 300}, true, si, 144).track_start, 26);
}

using edit::engine;

std::u32string U(std::string_view s) { return to_utf32(s); }

// Long texts are converted a block of ASCII at a time: runs of every length around a block,
// with a wide character before, inside and after them, convert as one character at a time
// would; what is no code point becomes U+FFFD.
TEST(utf8, CodePointsConvertAcrossAsciiBlocks) {
  auto one_by_one = [](std::u32string_view s) {
    std::string out;
    for (char32_t c : s) {
      if (c > 0x10FFFF || (c >= 0xD800 && c < 0xE000)) c = 0xFFFD;
      char b[4];
      int n = c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
      static const unsigned char lead[] = {0, 0, 0xC0, 0xE0, 0xF0};
      for (int i = n - 1; i > 0; --i, c >>= 6) b[i] = char(0x80 | (c & 0x3F));
      b[0] = char(n == 1 ? c : lead[n] | c);
      out.append(b, n);
    }
    return out;
  };
  for (char32_t wide : {U'\u00e9', U'\u20ac', U'\U0001F600', char32_t(0xD800), char32_t(0x110000)}) {
    for (size_t run = 0; run < 40; ++run) {
      std::u32string s(run, U'a');
      for (size_t at : {size_t(0), run / 2, run}) {
        std::u32string t = s;
        t.insert(at, 1, wide);
        ASSERT_EQ(to_utf8(t), one_by_one(t)) << "run " << run << " at " << at;
      }
    }
  }
  EXPECT_EQ(to_utf32(to_utf8(U"x\U0001F600y")), U"x\U0001F600y");
}

TEST(edit_engine, WordMovesAndWordsFromATable) {
  engine e;
  e.multiline = true;
  e.set_text(U("foo_bar, baz  qux\nnext"));
  struct { size_t from; size_t left; size_t right; } moves[] = {
    {0, 0, 7}, {3, 0, 7}, {7, 0, 9}, {9, 7, 14}, {12, 9, 14}, {17, 14, 18}, {18, 14, 22}, {22, 18, 22},
  };
  for (auto& m : moves) {
    EXPECT_EQ(e.word_left(m.from), m.left) << m.from;
    EXPECT_EQ(e.word_right(m.from), m.right) << m.from;
  }
  EXPECT_EQ(e.word_at(2), (std::pair<size_t, size_t>{0, 7}));
  EXPECT_EQ(e.word_at(7), (std::pair<size_t, size_t>{7, 8}));    // punctuation is a word of its own
  EXPECT_EQ(e.word_at(17), (std::pair<size_t, size_t>{14, 17}));  // at a line's end: the word before
  e.password = true;
  EXPECT_EQ(e.word_left(12), 0u);   // nothing of a password's shape shows through word moves
  EXPECT_EQ(e.word_at(3), (std::pair<size_t, size_t>{0, 22}));
}

TEST(edit_engine, PasteTakesLineFeedsAndSingleLinesKeepTheFirst) {
  struct { const char* in; bool multi; const char* out; } cases[] = {
    {"a\r\nb\rc\nd", true, "a\nb\nc\nd"},
    {"a\r\nb", false, "a"},
    {"\r\nb", false, ""},
    {"x\r", true, "x\n"},
  };
  for (auto& c : cases) EXPECT_EQ(to_utf8(engine::normalise(U(c.in), c.multi)), c.out) << c.in;
}

TEST(edit_engine, TheLimitCutsTypingAndPasteButNotSetText) {
  engine e;
  e.limit = 5;
  e.set_text(U("abcdefgh"));   // a program's text is not limited
  EXPECT_EQ(e.text().size(), 8u);
  e.set_text(U("abc"));
  e.move_to(3, false);
  EXPECT_TRUE(e.type('d').changed);
  edit::outcome o = e.insert(U("xyz"));
  EXPECT_TRUE(o.changed);
  EXPECT_TRUE(o.limited);
  EXPECT_EQ(to_utf8(e.text()), "abcdx");
  o = e.type('q');
  EXPECT_FALSE(o.changed);
  EXPECT_TRUE(o.limited);
  // Typing over a selection needs no room beyond it.
  e.select(0, 2);
  EXPECT_TRUE(e.type('Z').changed);
  EXPECT_EQ(to_utf8(e.text()), "Zcdx");
  // The limit counts code points, not bytes or UTF-16 units.
  e.limit = 2;
  e.set_text({});
  EXPECT_TRUE(e.insert(U("\U0001F600\U0001F600")).changed);
  EXPECT_EQ(e.text().size(), 2u);
}

TEST(edit_engine, OneUndoStepAndUndoingItRedoes) {
  engine e;
  e.set_text(U("hello"));
  e.move_to(5, false);
  for (char32_t c : U(" world")) e.type(c);
  EXPECT_EQ(to_utf8(e.text()), "hello world");
  ASSERT_TRUE(e.undo().changed);   // the run of typing is one step
  EXPECT_EQ(to_utf8(e.text()), "hello");
  ASSERT_TRUE(e.undo().changed);   // and undoing the undo brings it back
  EXPECT_EQ(to_utf8(e.text()), "hello world");
  e.move_to(11, false);
  e.erase_back();
  e.erase_back();
  e.undo();
  EXPECT_EQ(to_utf8(e.text()), "hello world");   // two backspaces, one step
  e.select(0, 5);
  std::u32string cut;
  e.cut(cut);
  EXPECT_EQ(to_utf8(cut), "hello");
  e.undo();
  EXPECT_EQ(to_utf8(e.text()), "hello world");
  EXPECT_EQ(e.sel_start(), 0u);
  EXPECT_EQ(e.sel_end(), 5u);   // the text brought back is selected
  e.set_text(U("new"));
  EXPECT_FALSE(e.can_undo());
}

TEST(edit_engine, SelectionPasswordAndLines) {
  engine e;
  e.multiline = true;
  e.set_text(U("ab\n\U0001F600d"));
  struct { int64_t a, b; size_t start, end, caret; } sels[] = {
    {0, -1, 0, 5, 5}, {4, 1, 1, 4, 1}, {2, 99, 2, 5, 5}, {-1, 3, 5, 5, 5},
  };
  for (auto& s : sels) {
    e.select(s.a, s.b);
    EXPECT_EQ(e.sel_start(), s.start) << s.a << "," << s.b;
    EXPECT_EQ(e.sel_end(), s.end) << s.a << "," << s.b;
    EXPECT_EQ(e.caret(), s.caret) << s.a << "," << s.b;
  }
  EXPECT_EQ(e.line_count(), 2u);
  EXPECT_EQ(e.line_of(2), 0u);
  EXPECT_EQ(e.line_of(3), 1u);
  EXPECT_EQ(e.line_start(1), 3u);
  EXPECT_EQ(e.line_length(1), 2u);
  e.password = true;
  e.select(0, -1);
  std::u32string out;
  EXPECT_FALSE(e.copy(out));
  EXPECT_FALSE(e.cut(out).changed);
  EXPECT_EQ(e.shown(0, 2), std::u32string(2, 0x25CF));
  e.read_only = true;
  e.password = false;
  EXPECT_FALSE(e.type('x').changed);
  EXPECT_TRUE(e.copy(out));
}

TEST(edit_engine, LinesFollowEditsAsAFreshCountWould) {
  engine e;
  e.multiline = true;
  e.set_text(U("one\ntwo\nthree\n"));
  e.line_count();   // counted once; every edit below keeps the count in step
  struct { int64_t a, b; const char* typed; bool undo; } edits[] = {
    {4, 4, "x\ny", false}, {0, 3, "", false}, {2, 9, "\n\n", false}, {0, 0, "", true}, {5, -1, "end", false},
    {0, -1, "\n", false}, {0, 0, "", true},
  };
  for (auto& ed : edits) {
    if (ed.undo) e.undo();
    else {
      e.select(ed.a, ed.b);
      e.insert(U(ed.typed));
    }
    engine fresh;
    fresh.multiline = true;
    fresh.set_text(e.text());
    ASSERT_EQ(e.line_count(), fresh.line_count()) << to_utf8(e.text());
    for (size_t l = 0; l < fresh.line_count(); ++l) EXPECT_EQ(e.line_start(l), fresh.line_start(l));
    for (size_t p = 0; p <= e.text().size(); ++p) EXPECT_EQ(e.line_of(p), fresh.line_of(p));
  }
}

}  // namespace vyr::win::test
