// Lexer loading: source text to values and back to text, new-line markers, the syntax
// errors with their texts and lines, the callback events, nested scans, and transcode.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "runtime/collector.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/fire.h"
#include "runtime/lexer/lexer_load.h"
#include "runtime/lexer/lexer_numbers.h"
#include "tests/unit/value_helpers.h"

using namespace vyr;

namespace {

struct LexerLoadTest : ::testing::Test {
  void SetUp() override { test::ensure_runtime(); }
};

std::string utf8_of(u32 cp) {
  std::string s;
  if (cp < 0x80) s += static_cast<char>(cp);
  else if (cp < 0x800) { s += static_cast<char>(0xC0 | (cp >> 6)); s += static_cast<char>(0x80 | (cp & 0x3F)); }
  else if (cp < 0x10000) {
    s += static_cast<char>(0xE0 | (cp >> 12)); s += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    s += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    s += static_cast<char>(0xF0 | (cp >> 18)); s += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    s += static_cast<char>(0x80 | ((cp >> 6) & 0x3F)); s += static_cast<char>(0x80 | (cp & 0x3F));
  }
  return s;
}

// A datatype's name, registered or not yet.
std::string type_name(u32 id) {
  static const char* const names[TYPE_TOTAL_COUNT] = {
      "",         "datatype!", "unset!",   "none!",     "logic!",    "block!",    "paren!",
      "string!",  "file!",     "url!",     "char!",     "integer!",  "float!",    "symbol!",
      "context!", "word!",     "set-word!", "lit-word!", "get-word!", "refinement!", "issue!",
      "native!",  "action!",   "op!",      "function!", "path!",     "lit-path!", "set-path!",
      "get-path!", "routine!", "bitset!",  "triple!",   "object!",   "typeset!",  "error!",
      "vector!",  "hash!",     "pair!",    "percent!",  "tuple!",    "map!",      "binary!",
      "series!",  "time!",     "tag!",     "email!",    "handle!",   "date!",     "port!",
      "money!",   "ref!",      "point2D!", "point3D!",  "image!",    "event!"};
  return id < TYPE_TOTAL_COUNT ? names[id] : "?";
}

// The text of a loaded value. Scalars go through mold; the kinds whose mold is not
// registered yet are written here in their source form, a new-line marker as "\n".
std::string show(const cell& v) {
  std::string out;
  u32 t = type_of(&v);
  auto name = [&] { return std::string(symbol::name(v.data2)); };
  auto items = [&](const char* sep) {
    std::string s;  // molding an item may collect: the buffer is fetched anew each time
    for (u32 i = v.data1; i < buffer_of(v.data2)->used_units(); i++) {
      cell c = read_buffer(v.data2)->cells()[i];
      if (c.header & HEADER_NEW_LINE) s += "\n";
      else if (i > v.data1) s += sep;
      s += show(c);
    }
    return s;
  };
  switch (t) {
    case TYPE_BLOCK: return "[" + items(" ") + "]";
    case TYPE_PAREN: return "(" + items(" ") + ")";
    case TYPE_PATH: return items("/");
    case TYPE_LIT_PATH: return "'" + items("/");
    case TYPE_GET_PATH: return ":" + items("/");
    case TYPE_SET_PATH: return items("/") + ":";
    case TYPE_WORD: return name();
    case TYPE_SET_WORD: return name() + ":";
    case TYPE_GET_WORD: return ":" + name();
    case TYPE_LIT_WORD: return "'" + name();
    case TYPE_REFINEMENT: return "/" + name();
    case TYPE_ISSUE: return "#" + name();
    case TYPE_STRING: return "\"" + string::to_utf8(&v) + "\"";
    case TYPE_FILE: return "%" + string::to_utf8(&v);
    case TYPE_URL: return "url:" + string::to_utf8(&v);
    case TYPE_CHAR: return "#\"" + utf8_of(v.data2) + "\"";
    case TYPE_DATATYPE: return type_name(v.data1);
    case TYPE_INTEGER: case TYPE_FLOAT: case TYPE_LOGIC: case TYPE_NONE: case TYPE_TIME:
      return test::mold_text(v);
    case TYPE_UNSET: return "#(unset)";
    default: return type_name(t) + "?";
  }
}

cell load(const std::string& src) {
  cell out{TYPE_NONE, 0, 0, 0};
  lexer::scan(&out, reinterpret_cast<const u8*>(src.data()), static_cast<u32>(src.size()));
  return out;
}

std::string loaded(const std::string& src) {
  cell b = load(src);
  collector::root_guard keep(&b);
  return show(b);
}

std::string text_of(const cell& c) {
  switch (type_of(&c)) {
    case TYPE_STRING: return string::to_utf8(&c);
    case TYPE_CHAR: return utf8_of(c.data2);
    case TYPE_DATATYPE: return type_name(c.data1);
    default: return "?";
  }
}

// "id arg|arg|arg" of the error raised by loading a source, or its loaded text.
std::string load_or_error(const std::string& src) {
  try {
    return loaded(src);
  } catch (thrown& e) {
    std::string out = std::string(e.category) + "/" + e.id;
    for (int i = 0; i < e.argc; i++) out += (i ? "|" : " ") + text_of(e.args[i]);
    return out;
  }
}

}  // namespace

TEST_F(LexerLoadTest, CorpusLoadsAndShowsBack) {
  struct { const char* src; std::string shown; } cases[] = {
      {"", "[]"},
      {"a b: :c 'd /e #f", "[a b: :c 'd /e #f]"},
      {"+ - < <= <> // / '/ :/ /: %", "[+ - < <= <> // / '/ :/ /: %]"},
      {"/a/b", "[/a /b]"},
      {"1 -2 +3 1'000 FFh 0Ah -2147483648 2147483647",
       "[1 -2 3 1000 255 10 -2147483648 2147483647]"},
      {"12345678901 2147483648", "[12345678901.0 2147483648.0]"},
      {"1.5 .5 -1.5e2 1e3 2E-3 1'000.25", "[1.5 0.5 -150.0 1000.0 0.002 1000.25]"},
      {"1.#INF -1.#inf 1.#nan", "[1.#INF -1.#INF 1.#NaN]"},
      {R"~("abc" "" "a^"b" "^(41)^(tab)^/^-^^^{^}^~^@^a^A")~",
       "[\"abc\" \"\" \"a\"b\" \"A\t\n\t^{}\x7F" + std::string("\0", 1) + "\x01\x01\"]"},
      {"{a {b} c} {x^}y} {}", "[\"a {b} c\" \"x}y\" \"\"]"},
      {"%{a}b}% %%{x}%%", "[\"a}b\" \"x\"]"},
      {"\"\xC3\xA9t\xC3\xA9\" \"^(1F600)\"", "[\"\xC3\xA9t\xC3\xA9\" \"\xF0\x9F\x98\x80\"]"},
      {R"~(#"a" #"^"" #"^(tab)" #"^(3B1)")~", "[#\"a\" #\"\"\" #\"\t\" #\"\xCE\xB1\"]"},
      {R"~(%a/b.txt %"a b^/" %a%20b%C3%A9 %50%)~",
       "[%a/b.txt %a b\n %a b\xC3\xA9 %50%]"},
      {"http://a.b/c?d=e%20f mailto:x", "[url:http://a.b/c?d=e f url:mailto:x]"},
      {"#(true) #(FALSE) #(none) #(unset) #(integer!) #(Float!)",
       "[true false none #(unset) integer! float!]"},
      {"[a (b)] [] ()", "[[a (b)] [] ()]"},
      {"[[[[deep]]]]", "[[[[[deep]]]]]"},
      {"12:30 1:30.5 -1:02:03.25 0:0", "[12:30:00 0:01:30.5 -1:02:03.25 0:00:00]"},
      {"a/b/c 'a/b :a/b a/b: 1 a/1/(x)/\"s\"/:g", "[a/b/c 'a/b :a/b a/b: 1 a/1/(x)/\"s\"/:g]"},
      {"[a/b]", "[[a/b]]"},
      {"a ; comment\nb", "[a\nb]"},
  };
  for (auto& c : cases) EXPECT_EQ(load_or_error(c.src), c.shown) << c.src;
}

TEST_F(LexerLoadTest, NewLineMarkersFollowTheLineFeedsBeforeAValue) {
  EXPECT_EQ(loaded("a\n\nb c\n[\n d e\n]\n"), "[a\nb c\n[\nd e]]");
  // A path keeps the marker on itself, not on its head word.
  EXPECT_EQ(loaded("x\n a/b"), "[x\na/b]");
  cell b = load("\n1");
  collector::root_guard keep(&b);
  EXPECT_TRUE(read_buffer(b.data2)->cells()[0].header & HEADER_NEW_LINE);
  EXPECT_FALSE(b.header & HEADER_NEW_LINE);  // the result block itself carries none
}

TEST_F(LexerLoadTest, SyntaxErrorsWithTextsAndLines) {
  struct { const char* src; const char* error; } cases[] = {
      {"[a (b]", "syntax/missing (line 1)|)|]"},
      {"]", "syntax/missing (line 1)|[|]"},
      {"x\n[a", "syntax/missing (line 2)|]|[a"},
      {"a\n\"b", "syntax/invalid string!|(line 2)|\"b"},
      {"1''000", "syntax/invalid integer!|(line 1)|1''000"},
      {"FFFFFFFFFh", "syntax/invalid integer!|(line 1)|FFFFFFFFFh"},
      {"'a:", "syntax/invalid lit-word!|(line 1)|'a:"},
      {"\"^(110000)\"", "syntax/invalid string!|(line 1)|\"^(110000)\""},
      {"\"^(D800)\"", "syntax/invalid string!|(line 1)|\"^(D800)\""},
      {"\"^(bogus)\"", "syntax/invalid string!|(line 1)|\"^(bogus)\""},
      {"#\"ab\"", "syntax/invalid char!|(line 1)|#\"ab\""},
      {"#\"\"", "syntax/invalid char!|(line 1)|#\"\""},
      {"%a%FF", "syntax/invalid file!|(line 1)|%a%FF"},
      {"#(foo)", "syntax/malconstruct (line 1)|#(foo)"},
      {"#(i)", "syntax/malconstruct (line 1)|#(i)"},
      {"#(integer)", "syntax/malconstruct (line 1)|#(integer)"},
      {"a/b\n'c/d:", "syntax/bad-char (line 2)|'c/d:"},
      {"a/", "syntax/invalid path!|(line 1)|a/"},
      {"1 2\n3 4 \"\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9",
       "syntax/invalid string!|(line 2)|\"\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9"},
      // Six fraction digits; a currency not in the list.
      {"$1.123456", "syntax/invalid money!|(line 1)|$1.123456"},
      {"XYZ$1", "syntax/invalid money!|(line 1)|XYZ$1"},
      // A date that is not in the calendar.
      {"29-Feb-2021", "syntax/invalid date!|(line 1)|29-Feb-2021"},
      {"1:2:3:4", "syntax/invalid time!|(line 1)|1:2:3:4"},
      {"1:30:", "syntax/invalid time!|(line 1)|1:30:"},
      {"99999999999:00", "syntax/invalid time!|(line 1)|99999999999:00"},
  };
  for (auto& c : cases) EXPECT_EQ(load_or_error(c.src), c.error) << c.src;
}

TEST_F(LexerLoadTest, LiteralsWaitForTheirDatatypes) {
  struct { const char* src; u32 type; const char* near; } cases[] = {
      {"1x2", TYPE_PAIR, "1x2"},       {"1.2.3", TYPE_TUPLE, "1.2.3"},
      {"(1, 2)", TYPE_POINT2D, "(1, 2)"}, {"#{0F}", TYPE_BINARY, "#{0F}"},
      {"50%", TYPE_PERCENT, "50%"},    {"<a>", TYPE_TAG, "<a>"},
      {"a@b.c", TYPE_EMAIL, "a@b.c"},  {"@r", TYPE_REF, "@r"},
      {"12:30", TYPE_TIME, "12:30"},   {"#[a 1]", TYPE_MAP, "#[a 1]"},
  };
  for (auto& c : cases) {
    if (datatype::registered_q(c.type)) continue;  // landed: its own tests cover it
    EXPECT_EQ(load_or_error(c.src), "syntax/invalid " + type_name(c.type) +
                                        "|(line 1)|" + c.near)
        << c.src;
  }
}

TEST_F(LexerLoadTest, TextReadersInstalledForMakeAndTo) {
  EXPECT_EQ(integer::text_reader, &lexer::string_to_integer);
  EXPECT_EQ(float_::text_reader, &lexer::string_to_float);
}

// ---------------------------------------------------------------------------------------
// Callback events
// ---------------------------------------------------------------------------------------

namespace {

struct event_record {
  std::string word, type, token;
  u32 index;
  i32 line;
};

// The C++ stand-in for a Vyr callback: any cell, dispatched to the current test's function.
std::function<bool(cell* args)> current;
const cell* body = nullptr;

std::string event_text(const cell& c) {
  switch (type_of(&c)) {
    case TYPE_WORD: return std::string(symbol::name(c.data2));
    case TYPE_DATATYPE: return type_name(c.data1);
    case TYPE_NONE: return "none";
    case TYPE_PAIR: return std::to_string(static_cast<i32>(c.data2)) + "x" + std::to_string(static_cast<i32>(c.data3));
    default: return show(c);
  }
}

struct TraceTest : LexerLoadTest {
  std::vector<event_record> events;
  void SetUp() override {
    LexerLoadTest::SetUp();
    lexer::hooks.call = [](const cell*, cell* args) { return current(args); };
    lexer::hooks.body_head = [](const cell*) { return body; };
    body = nullptr;
    current = [this](cell* a) { record(a); return true; };
  }
  void TearDown() override { lexer::hooks = {}; current = nullptr; body = nullptr; }
  void record(cell* a) {
    events.push_back({event_text(a[0]), event_text(a[2]), event_text(a[4]), a[1].data1,
                      static_cast<i32>(a[3].data2)});
  }
  std::string trace() {
    std::string s;
    for (auto& e : events) s += e.word + " " + e.type + " " + e.token + " @" + std::to_string(e.index) + (e.line > 1 ? " L" + std::to_string(e.line) : "") + "\n";
    return s;
  }
  cell run(const char* src, cell* result = nullptr) {
    cell text{TYPE_NONE, 0, 0, 0};
    string::load_at(src, static_cast<u32>(strlen(src)), &text, string::ENCODING_UTF8);
    collector::root_guard keep(&text);
    cell cb = test::int_cell(0), out{TYPE_NONE, 0, 0, 0};
    lexer::transcode_options o;
    o.trace = &cb;
    lexer::transcode(&text, o, &out);
    if (result) *result = out;
    return out;
  }
};

}  // namespace

TEST_F(TraceTest, EventsCarryWordInputTypeLineAndToken) {
  cell out = run("a [1]\n;c\n\"s\"");
  collector::root_guard keep(&out);
  EXPECT_EQ(show(out), "[a [1]\n\"s\"]");
  EXPECT_EQ(trace(),
            "prescan word! 1x2 @1\n"
            "scan word! 1x2 @1\n"
            "load word! a @1\n"
            "prescan block! 3x4 @2\n"
            "open block! 3x4 @2\n"
            "prescan integer! 4x5 @4\n"
            "scan integer! 4x5 @4\n"
            "load integer! 1 @4\n"
            "prescan block! 5x6 @4\n"
            "close block! 5x6 @5\n"
            "prescan comment 7x9 @6 L2\n"
            "scan comment 7x9 @8 L2\n"
            "prescan string! 10x13 @12 L3\n"
            "scan string! 10x13 @12 L3\n"
            "load string! \"s\" @12 L3\n");
}

TEST_F(TraceTest, BodyBlockOfEventWordsSetsTheMask) {
  cell mask_block = load("[error load]");
  collector::root_guard keep(&mask_block);
  cell inner = read_buffer(mask_block.data2)->cells()[0];
  body = &inner;
  EXPECT_EQ(lexer::event_mask_of(&inner), u32{lexer::EVENT_ERROR | lexer::EVENT_LOAD});
  run("a 1");
  EXPECT_EQ(trace(), "load word! a @1\nload integer! 1 @3\n");
  // An error answered false is not raised: the scan stops quietly.
  events.clear();
  current = [this](cell* a) { record(a); return false; };
  cell r = run("a \"b");
  EXPECT_EQ(trace(), "load word! a @1\nerror string! 3x5 @4\n");
  EXPECT_EQ(show(r), "[]");  // the load of a was answered false: removed
}

TEST_F(TraceTest, FalseOnScanSkipsTheValueAndAThrowLeaves) {
  current = [this](cell* a) {
    record(a);
    return !(event_text(a[0]) == "scan" && event_text(a[2]) == "integer!");
  };
  cell r = run("a 1 b");
  EXPECT_EQ(show(r), "[a b]");
  current = [](cell*) -> bool { fire("script", "no-value"); };
  EXPECT_EQ(test::error_of([&] { run("a"); }), "script/no-value");
  // The chain unwound: a plain load works afterwards.
  current = [](cell*) { return true; };
  EXPECT_EQ(show(run("x")), "[x]");
}

TEST_F(TraceTest, MovingTheInputMovesTheScan) {
  // Skip the rest of the line after every word "skip".
  current = [](cell* a) {
    if (event_text(a[0]) == "load" && event_text(a[4]) == "skip") {
      series_buffer* b = buffer_of(a[1].data2);
      u32 i = a[1].data1;
      while (i < b->used_units() && string::get_char(b->head() + i * b->unit(), b->unit()) != '\n') i++;
      a[1].data1 = i;
    }
    return true;
  };
  EXPECT_EQ(show(run("a skip \xC3\xA9 [ ( \"\nb")), "[a skip\nb]");
}

TEST_F(TraceTest, CallbacksMayCollectAndLoadAgain) {
  // A nested load inside the callback shares the output pool; a collection there must not
  // lose the outer scan's values.
  current = [](cell* a) {
    if (event_text(a[0]) == "load") {
      collector::do_cycle();
      cell inner = load("[x y] \"nested\"");
      EXPECT_EQ(show(inner), "[[x y] \"nested\"]");
      collector::do_cycle();
    }
    return true;
  };
  EXPECT_EQ(show(run("\"a\" [\"b\" c] {d}")), "[\"a\" [\"b\" c] \"d\"]");
}

// ---------------------------------------------------------------------------------------
// Entry points
// ---------------------------------------------------------------------------------------

TEST_F(LexerLoadTest, LoadStringFromAnyIndexAndWidth) {
  struct { const char* text; u32 index; i32 length; const char* shown; u32 consumed; } cases[] = {
      {"a b c", 0, -1, "[a b c]", 5},
      {"a b c", 2, -1, "[b c]", 3},
      {"a b c", 2, 1, "[b]", 1},
      {"a b c", 9, -1, "[]", 0},                            // a head past the tail is clipped
      {"\xC3\xA9 \"\xE2\x82\xAC\" x", 0, -1, "[\xC3\xA9 \"\xE2\x82\xAC\" x]", 7},  // unit 2
      {"\"\xF0\x9F\x98\x80\" z", 0, -1, "[\"\xF0\x9F\x98\x80\" z]", 5},          // unit 4
      {"caf\xC3\xA9", 0, -1, "[caf\xC3\xA9]", 4},
  };
  for (auto& c : cases) {
    cell text{TYPE_NONE, 0, 0, 0};
    string::load_at(c.text, static_cast<u32>(strlen(c.text)), &text, string::ENCODING_UTF8);
    collector::root_guard keep(&text);
    text.data1 = c.index;
    cell out{TYPE_NONE, 0, 0, 0};
    u32 consumed = 99;
    lexer::load_string(&out, &text, c.length, false, true, true, true, &consumed);
    collector::root_guard keep_out(&out);
    EXPECT_EQ(show(out), c.shown) << c.text;
    EXPECT_EQ(consumed, c.consumed) << c.text;
  }
}

TEST_F(LexerLoadTest, LargeInputsUseTheHeapAndNestDeeply) {
  std::string src;
  for (int i = 0; i < 10000; i++) src += "w" + std::to_string(i % 50) + " [" + std::to_string(i) + "] ";
  cell text{TYPE_NONE, 0, 0, 0};
  string::load_at(src.data(), static_cast<u32>(src.size()), &text, string::ENCODING_UTF8);
  collector::root_guard keep(&text);
  cell out{TYPE_NONE, 0, 0, 0};
  lexer::load_string(&out, &text);
  collector::root_guard keep_out(&out);
  EXPECT_EQ(buffer_of(out.data2)->used_units(), 20000u);
  std::string deep(5000, '[');
  deep += std::string(5000, ']');
  cell c = load(deep);
  u32 depth = 0;
  while (type_of(&c) == TYPE_BLOCK && buffer_of(c.data2)->used_units() > 0) {
    c = read_buffer(c.data2)->cells()[0];
    depth++;
  }
  EXPECT_EQ(depth, 5000u);  // the outer block holds the first of 5000 nested ones
}

TEST_F(LexerLoadTest, TranscodeRefinements) {
  auto text = [](const char* s) {
    cell t{TYPE_NONE, 0, 0, 0};
    string::load_at(s, static_cast<u32>(strlen(s)), &t, string::ENCODING_UTF8);
    return t;
  };
  auto run = [&](const char* s, lexer::transcode_options o) {
    cell t = text(s);
    collector::root_guard keep(&t);
    cell out{TYPE_NONE, 0, 0, 0};
    lexer::transcode(&t, o, &out);
    collector::root_guard keep_out(&out);
    if (type_of(&out) == TYPE_BLOCK && o.next) {
      cell rest = read_buffer(out.data2)->cells()[1];
      return show(read_buffer(out.data2)->cells()[0]) + " rest@" + std::to_string(rest.data1);
    }
    return show(out);
  };
  lexer::transcode_options plain, next, one, scan, prescan, part;
  next.next = true;
  one.one = true;
  scan.scan = true;
  prescan.prescan = true;
  EXPECT_EQ(run("1 [2]", plain), "[1 [2]]");
  EXPECT_EQ(run("1 [2]", one), "1");
  EXPECT_EQ(run("[1] 2", next), "[1] rest@3");
  EXPECT_EQ(run("12", scan), "integer!");
  EXPECT_EQ(run("", scan), "none");
  EXPECT_EQ(run("\"ab", scan), "error!");
  EXPECT_EQ(run("1 [", scan), "integer!");
  EXPECT_EQ(run("[a", prescan), "error!");
  cell len = test::int_cell(3);
  part.part = &len;
  EXPECT_EQ(run("abc def", part), "[abc]");
  cell neg = test::int_cell(-5);
  part.part = &neg;
  EXPECT_EQ(run("abc def", part), "[]");
  cell wrong = test::float_cell(1.0);
  part.part = &wrong;
  EXPECT_EQ(test::error_of([&] { run("a", part); }), "script/not-same-type");

  // /into appends to the given block and returns it.
  cell dst = load("x");
  collector::root_guard keep_dst(&dst);
  lexer::transcode_options into;
  into.into = &dst;
  EXPECT_EQ(run("y z", into), "[x y z]");

  // A binary! source: a UTF-8 byte-order mark is skipped; consumed bytes count from it.
  const char bytes[] = "\xEF\xBB\xBF" "a \xC3\xA9";
  cell bin{TYPE_BINARY, 0, memory::alloc_bytes(sizeof bytes - 1), 0};
  collector::root_guard keep_bin(&bin);
  series_buffer* b = buffer_of(bin.data2);
  std::memcpy(b->head(), bytes, sizeof bytes - 1);
  b->tail = b->offset + sizeof bytes - 1;
  cell out{TYPE_NONE, 0, 0, 0};
  lexer::transcode(&bin, plain, &out);
  EXPECT_EQ(show(out), "[a \xC3\xA9]");
  lexer::transcode(&bin, next, &out);
  EXPECT_EQ(read_buffer(out.data2)->cells()[1].data1, 4u);  // BOM (3) + "a"
}
