// Lexer scanner: token kinds and exact boundaries over a corpus of every token kind, the
// structural tokens, positions and lines, and the syntax errors with their texts and lines.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "runtime/datatypes/string.h"
#include "runtime/fire.h"
#include "runtime/lexer/lexer.h"
#include "tests/unit/fixture.h"

using namespace vyr;
using namespace vyr::lexer;

namespace {

struct LexerScanTest : ::testing::Test {
  void SetUp() override { test::ensure_runtime(); }
};

const char* kind_name(const token& t) {
  if (t.role == ROLE_OPEN || t.role == ROLE_CLOSE) {
    switch (t.kind) {
      case TYPE_BLOCK: return t.role == ROLE_OPEN ? "[" : "]";
      case TYPE_PAREN: return t.role == ROLE_OPEN ? "(" : ")";
      case TYPE_MAP: return t.role == ROLE_OPEN ? "#[" : "]map";
      case TYPE_POINT2D: return ")point";
      case TYPE_PATH: return t.role == ROLE_OPEN ? "path/" : "/path";
      case TYPE_LIT_PATH: return t.role == ROLE_OPEN ? "lit-path/" : "/lit-path";
      case TYPE_GET_PATH: return t.role == ROLE_OPEN ? "get-path/" : "/get-path";
      case TYPE_SET_PATH: return "/set-path";
    }
  }
  switch (t.state) {
    case T_STRING: return "string";
    case T_RBRACE: return "braced";
    case T_WORD: return "word";
    case T_ISSUE: return "issue";
    case T_INTEGER: return "integer";
    case T_REFINEMENT: return "refinement";
    case T_CHAR: return "char";
    case T_FILE: return "file";
    case T_BINARY: return "binary";
    case T_PERCENT: return "percent";
    case T_FLOAT: return "float";
    case T_SPECIAL_FLOAT: return "special";
    case T_TUPLE: return "tuple";
    case T_DATE: return "date";
    case T_PAIR: return "pair";
    case T_POINT: return t.type == TYPE_POINT3D ? "point3D" : "point2D";
    case T_TIME: return "time";
    case T_MONEY: return "money";
    case T_TAG: return "tag";
    case T_URL: return "url";
    case T_EMAIL: return "email";
    case T_HEX: return "hex";
    case T_RAW_STRING: return "raw";
    case T_REF: return "ref";
    case T_CONSTRUCT: return "construct";
    case T_COMMENT: return "comment";
    case T_COMMA: return ",";
    default: return "?";
  }
}

// "kind text|kind text|..." for the tokens of a source.
std::string scan(const std::string& src, scan_options o = {}) {
  std::string out;
  for (const token& t : tokenize(src.data(), static_cast<u32>(src.size()), o)) {
    if (!out.empty()) out += '|';
    out += kind_name(t);
    if (t.role == ROLE_VALUE || t.state == T_COMMENT) out += ' ' + src.substr(t.start, t.end - t.start);
  }
  return out;
}

std::string error_of(const std::string& src);
std::string scan_or_error(const std::string& src) {
  std::string e = error_of(src);
  return e == "no error" ? scan(src) : e;
}

std::string text_of(const cell& c) {
  switch (type_of(&c)) {
    case TYPE_STRING: return string::to_utf8(&c);
    case TYPE_CHAR: return std::string(1, static_cast<char>(c.data2));
    case TYPE_DATATYPE: return "type" + std::to_string(c.data1);
    default: return "?";
  }
}

// "id arg|arg|arg" of the error raised by scanning a source, or "no error".
std::string error_of(const std::string& src) {
  try {
    tokenize(src.data(), static_cast<u32>(src.size()));
  } catch (thrown& e) {
    std::string out = std::string(e.category) + "/" + e.id;
    for (int i = 0; i < e.argc; i++) out += (i ? "|" : " ") + text_of(e.args[i]);
    return out;
  }
  return "no error";
}

}  // namespace

TEST_F(LexerScanTest, EveryTokenKindWithItsBoundaries) {
  struct { const char* src; const char* tokens; } cases[] = {
      // words of all kinds, operators, refinements
      {"abc a: :a 'a a-b? <= >= <> << == -> + - < > = % / //",
       "word abc|word a:|word :a|word 'a|word a-b?|word <=|word >=|word <>|word <<|word ==|"
       "word ->|word +|word -|word <|word >|word =|word %|refinement /|word //"},
      {"/ref /a/b '/ :/ /: foo! *x ^a",
       "refinement /ref|refinement /a|refinement /b|refinement '/|refinement :/|word /:|"
       "word foo!|word *x|word ^a"},
      {"ffh .a +a -.x", "word ffh|word .a|word +a|word -.x"},
      // issues, integers, hex, floats, special floats, percent
      {"#abc #1-2 12 -3 +4 1'000 FFh 0FFh 12h ABh", "issue #abc|issue #1-2|integer 12|"
       "integer -3|integer +4|integer 1'000|hex FFh|hex 0FFh|hex 12h|hex ABh"},
      {"1.5 .5 -1.5e10 1e5 2E-3 1. 1'000.5", "float 1.5|float .5|float -1.5e10|float 1e5|"
       "float 2E-3|float 1.|float 1'000.5"},
      {"1.#INF -1.#inf 1.#NaN 50% 1.5%", "special 1.#INF|special -1.#inf|special 1.#NaN|"
       "percent 50%|percent 1.5%"},
      // tuples, pairs, times, dates, money
      {"1.2.3 1.2.3.4.5.6.7.8.9.10.11.12", "tuple 1.2.3|tuple 1.2.3.4.5.6.7.8.9.10.11.12"},
      {"1x2 1.5x-2 10X20", "pair 1x2|pair 1.5x-2|pair 10X20"},
      {"12:30 1:02:03.5 -1:30", "time 12:30|time 1:02:03.5|time -1:30"},
      {"1-Jan-2020 2020-01-01T10:00:00+02:00 12/1/2020 2021-W01-1",
       "date 1-Jan-2020|date 2020-01-01T10:00:00+02:00|date 12/1/2020|date 2021-W01-1"},
      {"$1.50 -$2 EUR$10 $1'000", "money $1.50|money -$2|money EUR$10|money $1'000"},
      // chars, strings, braced strings, raw strings
      {R"~(#"a" #"^"" #"^(tab)")~", R"~(char #"a"|char #"^""|char #"^(tab)")~"},
      {R"~("abc" "a^"b" "")~", R"~(string "abc"|string "a^"b"|string "")~"},
      {"{a {b} c} {x^}y} {}", "braced {a {b} c}|braced {x^}y}|braced {}"},
      {"%{a}b}% %%{x}%%", "raw %{a}b}%|raw %%{x}%%"},
      {"%%{a}% }%% x", "raw %%{a}% }%%|word x"},
      // files, urls, emails, refs, tags
      {R"~(%a/b.txt %"a b" % %abc%20d)~", R"~(file %a/b.txt|file %"a b"|word %|file %abc%20d)~"},
      {"abc://def/ghi http://a.b/c?d=e mailto:x", "url abc://def/ghi|url http://a.b/c?d=e|url mailto:x"},
      {"a@b.com 1@x @ref @a/b:c", "email a@b.com|email 1@x|ref @ref|ref @a/b:c"},
      {R"~(<a> <a href="x>y"> <b c='>'>)~", R"~(tag <a>|tag <a href="x>y">|tag <b c='>'>)~"},
      // binaries
      {"#{0F} 2#{00001111} 64#{AQ==} #{0F ;c\n 1E}",
       "binary #{0F}|binary 2#{00001111}|binary 64#{AQ==}|binary #{0F ;c\n 1E}"},
      // points and commas
      {"(1, 2) (1.5, 2, 3e2) (1,2)", "point2D (1, 2)|point3D (1.5, 2, 3e2)|point2D (1,2)"},
      {"(x , y)", "(|word x|,|word y|)point"},
      // structure
      {"[a (b)] #[a 1]", "[|word a|(|word b|)|]|#[|word a|integer 1|]map"},
      {"#(true) #(integer!)", "construct #(true)|construct #(integer!)"},
      {"a ; note\nb", "word a|comment ; note|word b"},
      {"1;x\n", "integer 1|comment ;x"},
      // paths
      {"a/b/c", "path/|word a|word b|word c|/path"},
      {"a/b: 1", "path/|word a|word b|/set-path|integer 1"},
      {"'a/b :a/b", "lit-path/|word 'a|word b|/lit-path|get-path/|word :a|word b|/get-path"},
      {R"~(a/1/1.5/"s"/(x)/#i/:g/<t>)~", R"~(path/|word a|integer 1|float 1.5|string "s"|(|word x|)|)~"
       R"~(issue #i|word :g|tag <t>|/path)~"},
      {"[a/b]", "[|path/|word a|word b|/path|]"},
      // delimiters end tokens
      {"a[b]c(d)", "word a|[|word b|]|word c|(|word d|)"},
      {"a <b>", "word a|tag <b>"},
  };
  for (auto& c : cases) EXPECT_EQ(scan_or_error(c.src), c.tokens) << c.src;
}

TEST_F(LexerScanTest, BlanksControlBytesAndUnicodeSpace) {
  EXPECT_EQ(scan(" \t\r\n\x01\x1F a \x0B b "), "word a|word b");
  // Multi-byte letters are letters; no-break and ideographic spaces are blanks.
  EXPECT_EQ(scan("\xC3\xA9t\xC3\xA9 \xC2\xA0x \xE3\x80\x80y"), "word \xC3\xA9t\xC3\xA9|word x|word y");
  EXPECT_EQ(scan("a\xC2\xA0" "b"), "word a|word b");   // cut at the space inside the word
  EXPECT_EQ(scan("a \xC2\xA0"), "word a");             // only space left: the end
  EXPECT_EQ(scan(""), "");
}

TEST_F(LexerScanTest, LinesAndNewLineMarkers) {
  std::string src = "a\n\nb {x\ny} \"s\"\n  c";
  auto toks = tokenize(src.data(), static_cast<u32>(src.size()));
  ASSERT_EQ(toks.size(), 5u);
  EXPECT_EQ(toks[0].line, 1); EXPECT_EQ(toks[0].lines, 0u);
  EXPECT_EQ(toks[1].line, 3); EXPECT_EQ(toks[1].lines, 2u);
  EXPECT_EQ(toks[2].line, 3); EXPECT_EQ(toks[2].lines, 0u);   // the braced string
  EXPECT_TRUE(toks[2].flags & FLAG_LESS || true);
  EXPECT_EQ(toks[3].line, 4);                                  // after the line in {}
  EXPECT_EQ(toks[4].line, 5); EXPECT_EQ(toks[4].lines, 1u);
}

TEST_F(LexerScanTest, TokenFlagsRecordWhatTheTextHolds) {
  auto flags = [](const char* s) { return tokenize(s, static_cast<u32>(strlen(s)))[0].flags; };
  EXPECT_TRUE(flags("\"a^/\"") & FLAG_CARET);
  EXPECT_FALSE(flags("\"ab\"") & FLAG_CARET);
  EXPECT_EQ(token_unit(flags("\"ab\"")), 1u);
  EXPECT_EQ(token_unit(flags("\"\xC3\xA9\"")), 2u);
  EXPECT_EQ(token_unit(flags("\"\xF0\x9F\x98\x80\"")), 4u);
  EXPECT_TRUE(flags("%a%20b") & FLAG_PERCENT);
  EXPECT_TRUE(flags("a:") & FLAG_COLON);
  EXPECT_TRUE(flags("1e5") & FLAG_EXPONENT);
  EXPECT_TRUE(flags("{a^}b}") & FLAG_CARET);
  EXPECT_TRUE(flags("\n{a}") & FLAG_BRACE_LINES);
}

TEST_F(LexerScanTest, SyntaxErrorsWithTextsAndLines) {
  struct { const char* src; const char* error; } cases[] = {
      {"#", "syntax/invalid type20|(line 1)|#"},
      {"\"abc", "syntax/invalid type7|(line 1)|\"abc"},
      {"a\nb \"x\ny", "syntax/invalid type7|(line 2)|\"x"},
      {"\n\n  {abc\nd", "syntax/invalid type7|(line 4)|{abc"},
      {"[a (b]", "syntax/missing (line 1)|)|]"},
      {"[a)", "syntax/missing (line 1)|]|)"},
      {"]", "syntax/missing (line 1)|[|]"},
      {")", "syntax/missing (line 1)|(|)"},
      {"[a\n", "syntax/missing (line 2)|]|[a"},
      {"(a", "syntax/missing (line 1)|)|(a"},
      {"#[a", "syntax/missing (line 1)|]|#[a"},
      {"a/", "syntax/invalid type25|(line 1)|a/"},
      {"x a/b/", "syntax/invalid type25|(line 1)|a/b/"},
      {"a/ b", "syntax/invalid type25|(line 1)|a/ b"},
      {"a/[b]", "syntax/invalid type25|(line 1)|a/[b]"},
      {"'a/b:", "syntax/bad-char (line 1)|'a/b:"},
      {"a/b:/c", "syntax/invalid type25|(line 1)|a/b:/c"},
      {"a/\"s\"#b", "syntax/invalid type25|(line 1)|a/\"s\"#b"},
      {"#(foo)", "syntax/malconstruct (line 1)|#(foo)"},
      {"}", "syntax/bad-char (line 1)|}"},
      {"a\\b", "syntax/bad-char (line 1)|\\b"},
      {"\x80x", "syntax/bad-char (line 1)|\xEF\xBF\xBDx"},
      {"a\xC0", "syntax/invalid type15|(line 1)|a\xEF\xBF\xBD"},
      {"a\x80", "syntax/invalid type15|(line 1)|a\xEF\xBF\xBD"},
      {std::string("a\0b", 3).c_str(), "no error"},  // the C text ends at the NUL
      {"a<b", "syntax/invalid type44|(line 1)|<b"},
      {"1,5", "syntax/invalid type51|(line 1)|,5"},
      {"[1, 2]", "syntax/invalid type51|(line 1)|, 2]"},
      {"a,b", "syntax/invalid type15|(line 1)|a,b"},
      {"a%b", "syntax/invalid type15|(line 1)|a%b"},
      {"%{a}%%", "syntax/invalid type7|(line 1)|%{a}%%"},
      {"%%{a}%", "syntax/invalid type7|(line 1)|%%{a}%"},
      {"(1, 2", "syntax/invalid type51|(line 1)|(1, 2"},
      {"1e", "syntax/invalid type12|(line 1)|1e"},
      {"1a", "syntax/invalid type11|(line 1)|1a"},
      {"#{0F", "syntax/invalid type41|(line 1)|#{0F"},
      {"#\"a", "syntax/invalid type10|(line 1)|#\"a"},
      {"{a{b}", "syntax/invalid type7|(line 1)|{a{b}"},
      {"abcdefghijklmnopqrstuvwxyz0123456789 \"", "syntax/invalid type7|(line 1)|\""},
      {"\"abcdefghijklmnopqrstuvwxyz0123456789", "syntax/invalid type7|(line 1)|\"abcdefghijklmnopqrstuvwxyz012"},
      {"\"\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9",
       "syntax/invalid type7|(line 1)|\"\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9"},
  };
  for (auto& c : cases) EXPECT_EQ(error_of(c.src), c.error) << c.src;
  // A NUL inside the text is refused, not taken for the end.
  EXPECT_EQ(error_of(std::string("a\0b", 3)), std::string("syntax/bad-char (line 1)|") + '\0' + "b");
}

TEST_F(LexerScanTest, ScanAndPrescanStopQuietly) {
  const char* src = "1 [";
  scanner s(reinterpret_cast<const u8*>(src), 3, nullptr, scan_options{true, false, true});
  EXPECT_EQ(s.run(), TYPE_INTEGER);
  EXPECT_EQ(s.pos(), 1u);
  scanner bad(reinterpret_cast<const u8*>("\"ab"), 3, nullptr, scan_options{false, false, true});
  EXPECT_EQ(bad.run(), TYPE_ERROR);
  scanner open(reinterpret_cast<const u8*>("[a"), 2, nullptr, scan_options{false, true, false});
  EXPECT_EQ(open.run(), TYPE_ERROR);
  scanner one(reinterpret_cast<const u8*>("[a b] c"), 7, nullptr, scan_options{true, false, false});
  EXPECT_EQ(one.run(), TYPE_BLOCK);
  EXPECT_EQ(one.pos(), 5u);
}

namespace {
// A callback that moves the position wherever it is told, and declines what it is told.
struct mover : listener {
  i64 target;
  bool by_char;
  u32 declined_bit;
  int calls = 0;
  bool has_callback() override { return true; }
  bool event(scanner& s, u32 bit, i32, u32, u32) override {
    if (++calls == 1) { if (by_char) s.move_to_char(target); else s.move_to_byte(target); }
    return bit != declined_bit;
  }
};
}  // namespace

TEST_F(LexerScanTest, CallbackPositionIsClampedToTheInput) {
  const char* src = "abc def";
  for (i64 target : {i64(-100), i64(1) << 40, i64(4), i64(7)}) {
    for (bool by_char : {false, true}) {
      mover m;
      m.target = target;
      m.by_char = by_char;
      m.declined_bit = 0;
      scanner s(reinterpret_cast<const u8*>(src), 7, &m);
      s.run();
      EXPECT_LE(s.pos(), 7u);
    }
  }
  // Moving by characters counts UTF-8 characters.
  const char* u = "\xC3\xA9\xC3\xA9 x";
  mover m;
  m.target = 1;
  m.by_char = true;
  m.declined_bit = 0;
  scanner s(reinterpret_cast<const u8*>(u), 6, &m);
  s.move_to_char(1);
  EXPECT_EQ(s.pos(), 2u);
  EXPECT_EQ(s.char_index(5), 3u);
  EXPECT_EQ(s.char_index(2), 1u);
}

TEST_F(LexerScanTest, DeclinedStructuralTokensStillAdvance) {
  for (const char* src : {"[a]", "}", "(a)", "#[a]", "a/b", ",", "{x}"}) {
    mover m;
    m.target = 0;
    m.by_char = false;
    m.declined_bit = EVENT_PRESCAN;
    m.calls = 1;  // no move
    scanner s(reinterpret_cast<const u8*>(src), static_cast<u32>(strlen(src)), &m);
    s.run();  // terminates
    SUCCEED() << src;
  }
}
