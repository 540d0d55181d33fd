// Host services below the natives: the clipboard store, the command-line splitter and
// joiner, the pieces of the OS description, environment entries, the HTTP header parser
// (bounded on odd input), and the count boxing of the memory statistics.
#include <gtest/gtest.h>

#include "runtime/datatypes/block.h"
#include "runtime/datatypes/map.h"
#include "runtime/datatypes/object.h"
#include "runtime/datatypes/word.h"
#include "runtime/host/call.h"
#include "runtime/host/clipboard.h"
#include "runtime/host/http.h"
#include "runtime/host/os.h"
#include "runtime/host/simple_io.h"
#include "runtime/datatypes/cells.h"
#include "runtime/memory_stats.h"
#include "tests/unit/text_helpers.h"

namespace vyr {
namespace {

using test::text;
using test::utf8;

class HostTest : public ::testing::Test {
 protected:
  void SetUp() override { test::fresh_stack(); }
};

TEST_F(HostTest, ClipboardKeepsTextAndFilesAndRefusesOtherValues) {
  cell out{TYPE_UNSET, 0, 0, 0};
  cell none{TYPE_NONE, 0, 0, 0};
  EXPECT_TRUE(clipboard::write(&none));
  clipboard::read(&out);
  EXPECT_EQ(type_of(&out), TYPE_LOGIC);  // empty: false
  EXPECT_EQ(out.data1, 0u);

  EXPECT_TRUE(clipboard::write(text("a\nb \xC3\xA9")));
  clipboard::read(&out);
  EXPECT_EQ(type_of(&out), TYPE_STRING);
  EXPECT_EQ(utf8(&out), "a\nb \xC3\xA9");

  cell* blk = stack::push_slot();
  cells::make_block(blk, 2);
  cells::append(blk->data2, text("/tmp/a b.txt", TYPE_FILE));
  cells::append(blk->data2, text("rel/dir/", TYPE_FILE));
  EXPECT_TRUE(clipboard::write(blk));
  clipboard::read(&out);
  ASSERT_EQ(type_of(&out), TYPE_BLOCK);
  ASSERT_EQ(cells::remaining(&out), 2u);
  EXPECT_EQ(type_of(cells::get(out.data2, 0)), TYPE_FILE);
  EXPECT_EQ(utf8(cells::get(out.data2, 0)), "/tmp/a b.txt");
  EXPECT_EQ(utf8(cells::get(out.data2, 1)), "rel/dir/");

  // A block item that is not a file, and a value of no clipboard form, are refused and
  // leave the clipboard as it was.
  cells::append(blk->data2, text("not a file"));
  EXPECT_EQ(test::error_of([&] { clipboard::write(blk); }), "script/invalid-arg");
  cell n{TYPE_INTEGER, 0, 5, 0};
  EXPECT_EQ(test::error_of([&] { clipboard::write(&n); }), "script/invalid-arg");
  clipboard::read(&out);
  EXPECT_EQ(cells::remaining(&out), 2u);
}

TEST_F(HostTest, ClipboardTakesCrLfFromAnotherStoreAsLf) {
  struct foreign : clipboard::store {
    bool locked = false;
    bool get(clipboard::content* out) override {
      if (locked) return false;
      out->kind = clipboard::content::TEXT;
      out->text = "a\r\nb\rc";
      return true;
    }
    bool set(const clipboard::content&) override { return !locked; }
  } other;
  clipboard::install(&other);
  cell out{TYPE_UNSET, 0, 0, 0};
  clipboard::read(&out);
  EXPECT_EQ(utf8(&out), "a\nb\nc");
  other.locked = true;
  clipboard::read(&out);
  EXPECT_EQ(type_of(&out), TYPE_LOGIC);
  EXPECT_FALSE(clipboard::write(text("x")));
  clipboard::install(nullptr);
}

TEST_F(HostTest, CommandLinesSplitAndJoinBack) {
  using v = std::vector<std::string>;
  struct { const char* line; v pieces; } cases[] = {
      {"prog a b", {"prog", "a", "b"}},
      {"  prog\t a  ", {"prog", "a"}},
      {"\"/opt/my prog\" a.vyr \"x y\"", {"/opt/my prog", "a.vyr", "x y"}},
      {"--opt=\"x y\"", {"--opt=\"x y"}},
      {"a \"\" b", {"a", "", "b"}},
      {"\"", {""}},
      {"", {}},
  };
  for (const auto& c : cases) EXPECT_EQ(call::split_command_line(c.line), c.pieces) << c.line;
  v args = {"/usr/bin/vyr", "a b", "", "plain", "tab\there"};
  EXPECT_EQ(call::split_command_line(os::join_command_line(args)), args);
  EXPECT_EQ(call::split_command_line(os::command_line()).size() >= 1, true);
}

TEST_F(HostTest, OsDescriptionPieces) {
  EXPECT_EQ(os::os_name_from("ID=debian\nPRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\n"),
            "Debian GNU/Linux 12 (bookworm)");
  EXPECT_EQ(os::os_name_from("PRETTY_NAME=Plain\n"), "Plain");
  EXPECT_EQ(os::os_name_from("NAME=x\n"), "Linux");
  EXPECT_EQ(os::os_name_from("PRETTY_NAME=\"\"\n"), "Linux");
  EXPECT_STREQ(os::arch_name("x86_64"), "x86-64");
  EXPECT_STREQ(os::arch_name("i686"), "x86-32");
  EXPECT_STREQ(os::arch_name("aarch64"), "ARM64");
  EXPECT_STREQ(os::arch_name("armv7l"), "ARM");
  EXPECT_STREQ(os::arch_name("riscv64"), "Unknown");
  struct { const char* release; u8 v[3]; i32 build; } cases[] = {
      {"6.1.0-28-amd64", {6, 1, 0}, 28},
      {"5.15.153.1-microsoft-standard-WSL2", {5, 15, 153}, 1},
      {"4.4.300", {4, 4, 255}, 0},
      {"6.8", {6, 8, 0}, 0},
      {"junk", {0, 0, 0}, 0},
  };
  for (const auto& c : cases) {
    u8 v[3];
    i32 build;
    os::kernel_version(c.release, v, &build);
    EXPECT_EQ(v[0], c.v[0]) << c.release;
    EXPECT_EQ(v[1], c.v[1]) << c.release;
    EXPECT_EQ(v[2], c.v[2]) << c.release;
    EXPECT_EQ(build, c.build) << c.release;
  }
  cell info{TYPE_UNSET, 0, 0, 0};
  collector::root_guard keep(&info);
  os::os_info(&info);
  ASSERT_EQ(type_of(&info), TYPE_OBJECT);
  EXPECT_EQ(object::word_count(&info), 4u);
  struct { const char* field; u32 type; } fields[] = {
      {"name", TYPE_STRING}, {"arch", TYPE_WORD}, {"version", TYPE_TUPLE},
      {"build", TYPE_INTEGER}};
  for (const auto& f : fields) {
    cell w = word::intern(f.field);
    EXPECT_EQ(type_of(object::get_field(&info, &w)), f.type) << f.field;
  }
}

TEST_F(HostTest, EnvironmentEntriesSplitAtTheFirstEqualsAfterTheName) {
  using p = std::pair<std::string, std::string>;
  EXPECT_EQ(os::split_env_entry("A=b=c"), p("A", "b=c"));
  EXPECT_EQ(os::split_env_entry("EMPTY="), p("EMPTY", ""));
  EXPECT_EQ(os::split_env_entry("=C:=C:\\x"), p("=C:", "C:\\x"));
  EXPECT_EQ(os::split_env_entry("NOVALUE"), p("NOVALUE", ""));
  std::string v = "a";
  EXPECT_FALSE(os::set_env("", &v));
  EXPECT_FALSE(os::set_env("A=B", &v));
  EXPECT_FALSE(os::set_env(std::string("A\0B", 3), &v));
  std::string nul("a\0b", 3);
  EXPECT_FALSE(os::set_env("VYR_T", &nul));
  EXPECT_TRUE(os::set_env("VYR_T", &v));
  std::string got;
  EXPECT_TRUE(os::get_env("VYR_T", &got));
  EXPECT_EQ(got, "a");
  EXPECT_TRUE(os::set_env("VYR_T", nullptr));
  EXPECT_FALSE(os::get_env("VYR_T", &got));
}

TEST_F(HostTest, ExpectTypeRaisesOnlyForAnotherType) {
  cell pair{TYPE_PAIR, 0, 0, 0};
  EXPECT_EQ(test::error_of([&] { os::expect_type(&pair, TYPE_PAIR); }), "");
  EXPECT_EQ(test::error_of([&] { os::expect_type(&pair, TYPE_IMAGE); }), "script/invalid-arg");
}

TEST_F(HostTest, HeaderParserStaysInsideOddText) {
  using h = http::header_list;
  using p = std::pair<std::string, std::string>;
  EXPECT_EQ(http::parse_headers("HTTP/1.1 200 OK\r\nA: 1\r\nEmpty:\r\nB: 2\r\n\r\n"),
            (h{p("A", "1"), p("Empty", ""), p("B", "2")}));
  // No space after the colon, bare LF, a last line without its end, blanks around values.
  EXPECT_EQ(http::parse_headers("A:1\nB: \t two words \nC: last"),
            (h{p("A", "1"), p("B", "two words"), p("C", "last")}));
  // Lines without a name or colon are skipped; a lone CR, or nothing, gives nothing.
  EXPECT_EQ(http::parse_headers("no colon\r\n: x\r\nD:"), (h{p("D", "")}));
  EXPECT_EQ(http::parse_headers("\r"), h{});
  EXPECT_EQ(http::parse_headers(""), h{});
}

TEST_F(HostTest, LineEndsMendAcrossChunks) {
  struct { std::vector<std::string> chunks; std::string out; } cases[] = {
      {{"a\r\nb\rc"}, "a\nb\nc"},
      {{"a\r", "\nb"}, "a\nb"},      // CR LF cut between chunks
      {{"a\r", "b\r"}, "a\nb\n"},    // a lone CR at a chunk's end
      {{"\r", "\r", "\n"}, "\n\n"},
      {{"", "\n"}, "\n"},
      {{"\r\r\n\n"}, "\n\n\n"},
  };
  for (const auto& c : cases) {
    std::string got;
    bool after_cr = false;
    for (std::string chunk : c.chunks) {
      size_t k = simple_io::to_lf(chunk.data(), chunk.data(), chunk.size(), &after_cr);
      got += chunk.substr(0, k);
    }
    EXPECT_EQ(got, c.out);
  }
  EXPECT_TRUE(simple_io::ascii_q("0123456789abcdef\x7F", 17));
  EXPECT_FALSE(simple_io::ascii_q("0123456789abcdef\x80", 17));
  EXPECT_FALSE(simple_io::ascii_q("\xC3\xA9", 2));
}

TEST_F(HostTest, CountsAboveThirtyOneBitsAreFloats) {
  cell small = memory::count_value(2147483647.0);
  EXPECT_EQ(type_of(&small), TYPE_INTEGER);
  cell big = memory::count_value(2147483648.0);
  EXPECT_EQ(type_of(&big), TYPE_FLOAT);
  EXPECT_EQ(cell_float(&big), 2147483648.0);
}

}  // namespace
}  // namespace vyr
