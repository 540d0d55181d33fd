// simple-io through the file! actions: write and read back text (LF line ends, CR LF
// read as LF), binary, lines, part and seek, append, directory listings, delete, rename,
// and the errors for names that cannot be opened.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "runtime/datatypes/file.h"
#include "runtime/host/simple_io.h"
#include "tests/unit/text_helpers.h"

namespace vyr {
namespace {

using test::text;
using test::utf8;

class SimpleIoTest : public ::testing::Test {
 protected:
  std::string dir;
  void SetUp() override {
    test::fresh_stack();
    char tmpl[] = "/tmp/vyr-io-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir = tmpl;
  }
  void TearDown() override {
    std::string cmd = "rm -rf '" + dir + "'";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
  }
  cell* name(const std::string& leaf) { return text(dir + "/" + leaf, TYPE_FILE); }
  std::string raw(const std::string& leaf) {
    std::ifstream in(dir + "/" + leaf, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
  }
  void put_raw(const std::string& leaf, const std::string& bytes) {
    std::ofstream(dir + "/" + leaf, std::ios::binary) << bytes;
  }
  cell read(cell* f, read_args o = {}) { return *file::read(f, o); }
};

TEST_F(SimpleIoTest, WritesAndReadsText) {
  cell* f = name("a.txt");
  cell* content = text("line \xC3\xA9\nzwei\n");
  file::write(f, content, write_args{});
  EXPECT_EQ(raw("a.txt"), "line \xC3\xA9\nzwei\n");  // UTF-8, LF kept
  cell r = read(f);
  EXPECT_EQ(type_of(&r), TYPE_STRING);
  EXPECT_EQ(utf8(&r), "line \xC3\xA9\nzwei\n");
  put_raw("crlf.txt", "a\r\nb\rc\n");
  EXPECT_EQ(utf8(&(r = read(name("crlf.txt")))), "a\nb\nc\n");
  write_args app;
  app.append = true;
  file::write(f, text("drei"), app);
  EXPECT_EQ(raw("a.txt"), "line \xC3\xA9\nzwei\ndrei");
}

TEST_F(SimpleIoTest, BinaryLinesPartAndSeek) {
  cell* f = name("b.bin");
  put_raw("b.bin", std::string("\x00\x01\xFFxyz", 6));
  read_args bin;
  bin.binary = true;
  cell r = read(f, bin);
  ASSERT_EQ(type_of(&r), TYPE_BINARY);
  EXPECT_EQ(buffer_of(r.data2)->used_units(), 6u);
  EXPECT_EQ(static_cast<u8>(buffer_of(r.data2)->head()[2]), 0xFF);
  cell two = test::int_cell(2), three = test::int_cell(3);
  bin.part = &two;
  bin.seek = &three;
  r = read(f, bin);
  EXPECT_EQ(std::string(buffer_of(r.data2)->head(), 2), "xy");
  cell neg = test::int_cell(-1);
  bin.part = &neg;
  EXPECT_EQ(test::error_of([&] { read(f, bin); }), "script/out-of-range");
  bin.part = &none_value;
  EXPECT_EQ(test::error_of([&] { read(f, bin); }), "script/invalid-refine-arg");

  put_raw("l.txt", "one\ntwo\r\n\nthree");
  read_args lines;
  lines.lines = true;
  r = read(name("l.txt"), lines);
  ASSERT_EQ(type_of(&r), TYPE_BLOCK);
  series_buffer* b = buffer_of(r.data2);
  ASSERT_EQ(b->used_units(), 4u);
  EXPECT_EQ(utf8(&b->cells()[1]), "two");
  EXPECT_EQ(utf8(&b->cells()[2]), "");
  EXPECT_EQ(utf8(&b->cells()[3]), "three");

  // Writing at an offset keeps the rest of the file.
  put_raw("s.txt", "abcdef");
  write_args at;
  cell two_w = test::int_cell(2);
  at.seek = &two_w;
  file::write(name("s.txt"), text("XY"), at);
  EXPECT_EQ(raw("s.txt"), "abXYef");
}

TEST_F(SimpleIoTest, DirectoriesDeleteRenameAndQuery) {
  put_raw("b.txt", "b");
  put_raw("a.txt", "a");
  ASSERT_EQ(mkdir((dir + "/sub").c_str(), 0700), 0);
  cell list = read(text(dir + "/", TYPE_FILE));
  ASSERT_EQ(type_of(&list), TYPE_BLOCK);
  series_buffer* b = buffer_of(list.data2);
  ASSERT_EQ(b->used_units(), 3u);
  EXPECT_EQ(type_of(&b->cells()[0]), TYPE_FILE);
  EXPECT_EQ(utf8(&b->cells()[0]), "a.txt");
  EXPECT_EQ(utf8(&b->cells()[2]), "sub/");

  EXPECT_EQ(type_of(file::rename(name("a.txt"), text("c.txt", TYPE_FILE))), TYPE_LOGIC);
  EXPECT_EQ(raw("c.txt"), "a");
  EXPECT_EQ(file::rename(name("missing"), text("d.txt", TYPE_FILE))->data1, 0u);
  EXPECT_EQ(file::delete_(name("c.txt"))->data1, 1u);
  EXPECT_EQ(file::delete_(name("c.txt"))->data1, 0u);
  EXPECT_EQ(file::delete_(name("sub/"))->data1, 1u);
  EXPECT_EQ(type_of(file::query(name("gone"))), TYPE_NONE);
  EXPECT_TRUE(simple_io::dir_q(text("a/..", TYPE_FILE)));
  EXPECT_TRUE(simple_io::dir_q(text(".", TYPE_FILE)));
  EXPECT_FALSE(simple_io::dir_q(text("a.b", TYPE_FILE)));
}

TEST_F(SimpleIoTest, ErrorsAreLanguageErrors) {
  EXPECT_EQ(test::error_of([&] { read(name("nope.txt")); }), "access/cannot-open");
  EXPECT_EQ(test::error_of([&] { file::write(name("no/such/dir.txt"), text("x"), write_args{}); }),
            "access/cannot-open");
  // A name holding NUL never reaches the platform (it would name another file).
  cell* nul = text("", TYPE_FILE);
  string::concatenate_literal(nul, (dir + "/x").c_str());
  string::append_char(buffer_of(nul->data2), 0);
  string::concatenate_literal(nul, "y");
  EXPECT_EQ(test::error_of([&] { read(nul); }), "script/invalid-arg");
  EXPECT_EQ(test::error_of([&] { file::delete_(nul); }), "script/invalid-arg");
  read_args as;
  as.as = &none_value;
  EXPECT_EQ(test::error_of([&] { read(name("x"), as); }), "internal/not-done");
  write_args allow;
  allow.allow = &none_value;
  EXPECT_EQ(test::error_of([&] { file::write(name("x"), text("x"), allow); }),
            "internal/not-done");
  cell proto = *text("x", TYPE_FILE);
  EXPECT_EQ(test::error_of([&] { actions::lookup_for<slot::open>(&proto); }),
            "script/expect-arg");
}

TEST_F(SimpleIoTest, DirectoriesAreMadeOnceAndSeen) {
  EXPECT_FALSE(simple_io::exists_q(name("d/")));
  EXPECT_TRUE(simple_io::make_dir(name("d/")));
  EXPECT_TRUE(simple_io::exists_q(name("d/")));
  EXPECT_TRUE(simple_io::exists_q(name("d")));
  EXPECT_FALSE(simple_io::make_dir(name("d/")));     // already there
  EXPECT_FALSE(simple_io::make_dir(name("x/y/z/")));  // one level only
  EXPECT_EQ(simple_io::size_of(name("d")), -1);
}

}  // namespace
}  // namespace vyr
