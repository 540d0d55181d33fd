// VYRBIN: exact bytes of both writers, round trips of every datatype with sharing kept, the
// refusals of malformed documents, boot mode, compressed bodies and the codec's routines.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "boot/environment.h"
#include "boot/init.h"
#include "runtime/codecs/lz.h"
#include "runtime/codecs/vyrbin.h"
#include "runtime/collector.h"
#include "runtime/datatypes/binary.h"
#include "runtime/datatypes/context.h"
#include "runtime/datatypes/error.h"
#include "runtime/datatypes/function.h"
#include "runtime/datatypes/handle.h"
#include "runtime/datatypes/native.h"
#include "runtime/datatypes/word.h"
#include "runtime/datatypes/cells.h"
#include "runtime/stack.h"
#include "tests/unit/value_helpers.h"

namespace vyr::test {
namespace {

using bytes = std::vector<u8>;

class Vyrbin : public ::testing::Test {
 protected:
  void SetUp() override {
    ensure_runtime();
    boot::build_environment();
    stack::reset();
  }
  void TearDown() override { stack::reset(); }

  cell run(const std::string& text) {
    cell r{TYPE_UNSET, 0, 0, 0};
    collector::root_guard g(&r);
    std::string e = error_of([&] { boot::do_source(text.data(), u32(text.size()), false, &r); });
    if (!e.empty()) ADD_FAILURE() << text << ": " << e;
    return r;
  }
  bool truth(const std::string& text) {
    cell r = run(text);
    return type_of(&r) == TYPE_LOGIC && r.data1 == 1;
  }
  void set_global(const char* name, const cell& v) {
    cell x = v;
    collector::root_guard g(&x);
    cell w = word::intern(name);
    _context::set(&w, &x);
  }
  static bytes encoded(const cell& v, bool compact) {
    cell out{TYPE_NONE, 0, 0, 0};
    collector::root_guard g(&out);
    if (compact) vyrbin::encode_compact(&v, &out); else vyrbin::encode(&v, &out);
    return binary::bytes_of(&out);
  }
  // Decodes a document through the codec's decode (one root: the value, else a block).
  static cell decoded(const bytes& doc) {
    cell bin{TYPE_NONE, 0, 0, 0};
    collector::root_guard g(&bin);
    bin = *binary::load(doc.data(), u32(doc.size()));
    stack::pop_cells(1);
    cell out{TYPE_NONE, 0, 0, 0};
    vyrbin::decode_value(&bin, &out);
    return out;
  }
  // The mold of a decoded document, the value rooted while it is molded.
  static std::string molded(const bytes& doc) {
    cell d = decoded(doc);
    collector::root_guard g(&d);
    return mold_text(d);
  }
  // The records of the body after the header of a compact document.
  static bytes records(const bytes& doc) {
    size_t i = 8;
    auto varint = [&] {
      u32 v = 0;
      for (int s = 0;; s += 7) {
        u8 b = doc[i++];
        v |= u32(b & 0x7F) << s;
        if (!(b & 0x80)) return v;
      }
    };
    varint();
    u32 length = varint();
    if (doc[7] & 4) {
      u32 n = varint();
      u32 s = varint();
      i += 4 * n + s;
    }
    return bytes(doc.begin() + i, doc.begin() + i + length);
  }
};

// A compact document (flags 1, or 5 with a symbol table) holding the given records.
bytes compact_doc(const bytes& recs, const std::vector<std::string>& names = {}) {
  bytes d = {'V', 'Y', 'R', 'B', 'I', 'N', 2, u8(names.empty() ? 1 : 5)};
  auto varint = [&](u32 v) {
    while (v >= 0x80) { d.push_back(u8(v | 0x80)); v >>= 7; }
    d.push_back(u8(v));
  };
  varint(1);
  varint(u32(recs.size()));
  if (!names.empty()) {
    bytes area;
    std::vector<u32> offsets;
    for (const auto& n : names) {
      offsets.push_back(u32(area.size()));
      area.insert(area.end(), n.begin(), n.end());
      area.push_back(0);
    }
    varint(u32(names.size()));
    varint(u32(area.size()));
    for (u32 o : offsets) for (int k = 0; k < 4; k++) d.push_back(u8(o >> (8 * k)));
    d.insert(d.end(), area.begin(), area.end());
  }
  d.insert(d.end(), recs.begin(), recs.end());
  return d;
}

// A standard document (no symbols) of 32-bit record words.
bytes standard_doc(const std::vector<u32>& words) {
  bytes d = {'V', 'Y', 'R', 'B', 'I', 'N', 2, 0};
  auto w32 = [&](u32 v) { for (int k = 0; k < 4; k++) d.push_back(u8(v >> (8 * k))); };
  w32(1);
  w32(u32(words.size() * 4));
  for (u32 w : words) w32(w);
  return d;
}

std::string hex(const bytes& b) {
  std::string s;
  char t[4];
  for (u8 x : b) {
    std::snprintf(t, sizeof t, "%02X ", x);
    s += t;
  }
  if (!s.empty()) s.pop_back();
  return s;
}

// ---- Exact bytes --------------------------------------------------------------------------

TEST_F(Vyrbin, CompactWriterBytes) {
  struct row { const char* source; const char* records; };
  const row rows[] = {
      {"1", "81"},
      {"-1", "0B 01"},
      {"64", "0B 80 01"},
      {"true", "C2"},
      {"1.0", "4C 02"},
      {"0.5", "0C 00 00 00 00 00 00 E0 3F"},
      {"-0.0", "0C 00 00 00 00 00 00 00 80"},
      {"25%", "66 32"},
      {"1.2.3", "27 01 02 03"},
      {"1.2.3.4", "67 04 01 02 03 04"},
      {"make map! []", "28 00"},
      {"none", "03"},
      {"10x-2", "25 14 03"},
      {"#\"a\"", "0A 61"},
      {"\"ab\"", "07 08 61 62"},
      {"next [1 2 3]", "45 01 03 81 82 83"},
      {"#{0102}", "29 02 01 02"},
  };
  for (const row& r : rows) {
    cell v = run(r.source);
    EXPECT_EQ(hex(records(encoded(v, true))), r.records) << r.source;
  }
}

TEST_F(Vyrbin, SharedBlockIsWrittenAsAPathToItsFirstOccurrence) {
  cell v = run("x: [] reduce [x 1 x]");
  bytes doc = encoded(v, true);
  bytes tail(doc.end() - 5, doc.end());
  EXPECT_EQ(hex(tail), "C1 05 02 00 00");
  EXPECT_EQ(hex(bytes(doc.begin(), doc.begin() + 8)), "56 59 52 42 49 4E 02 01");
}

TEST_F(Vyrbin, StandardWriterPadsFloatsAndStoresTheHighHalfFirst) {
  cell v = run("[1 1.5]");
  bytes doc = encoded(v, false);
  // Header 16 bytes, then: block header, head, count, integer 1, padding, float.
  bytes recs(doc.begin() + 16, doc.end());
  EXPECT_EQ(hex(recs), "05 00 00 00 00 00 00 00 02 00 00 00 0B 00 00 00 01 00 00 00 "
                       "00 00 00 00 0C 00 00 00 00 00 F8 3F 00 00 00 00");
  EXPECT_EQ(doc[7], 0);
}

TEST_F(Vyrbin, InlineAndShortForms) {
  struct row { bytes recs; const char* molded; };
  const row rows[] = {
      {{0x80}, "0"},
      {{0xBF}, "63"},
      {{0xC2}, "true"},
      {{0xC3}, "false"},
      {{0x4C, 0x05}, "-3.0"},
      {{0x66, 0x02}, "1%"},
      {{0x0B, 0xFF, 0xFF, 0xFF, 0xFF, 0x0F}, "-2147483648"},
      {{0x00 + 5, 0x01, 0xC0, 0x85}, "[\n    5\n]"},
  };
  for (const row& r : rows) EXPECT_EQ(molded((compact_doc(r.recs))), r.molded) << hex(r.recs);
  // A fifth varint byte of 0x0F reads 0xF0000000 plus the lower groups (zigzag: 0x78000000).
  EXPECT_EQ(molded((compact_doc({0x0B, 0x82, 0x80, 0x80, 0x80, 0x0F}))), "2013265921");
}

TEST_F(Vyrbin, StandardPaddingAndRootCounts) {
  // A padding word, then an integer: only the integer.
  EXPECT_EQ(molded((standard_doc({0, 11, 7}))), "7");
  // Two top-level records although the count says one: a block of both.
  EXPECT_EQ(molded((standard_doc({11, 7, 3}))), "[7 none]");
}

TEST_F(Vyrbin, SeriesMadeBeforeTheirBlockGrowsStayAlive) {
  // Five root strings: the result block grows after each string is made (under the
  // collector stress switch, every growth collects).
  bytes recs;
  for (int i = 0; i < 5; i++) recs.insert(recs.end(), {0x07, 0x04, u8('a' + i)});
  EXPECT_EQ(molded(compact_doc(recs)), "[\"a\" \"b\" \"c\" \"d\" \"e\"]");
}

// ---- Round trips ---------------------------------------------------------------------------

TEST_F(Vyrbin, EveryDatatypeRoundTripsThroughBothWriters) {
  const char* sources[] = {
      "integer!", "()", "none", "true", "false", "[a b/c 'd :e f: /g #h]",
      "to paren! [1 + 2]", "\"text^(3B1)^(1F600)\"", "%file.txt", "http://example.org/x",
      "#\"^(3B1)\"", "-2147483648", "1.5e300", "-0.0", "3.25%", "0.3333%", "12:30:15.5",
      "1x-2", "(1.5, 2.5)", "(1, 2, 3.5)", "1-Jan-2000", "29-Feb-2024/10:20:30+05:30",
      "make typeset! [integer! block!]", "1.2.3.4.5.6.7.8.9.10.11.12", "$1.25", "-EUR$3.50",
      "#issue", "<tag a>", "me@example.org", "@ref", "#{DEADBEEF}",
      "make bitset! \"az\"", "complement make bitset! \"abc\"",
      "make vector! [integer! 16 [1 2 3]]", "make vector! [float! 64 [1.5 2.5]]",
      "make vector! [char! 8 [#\"a\"]]", "make vector! [percent! 64 [50%]]",
      "make hash! [a 1 b 2]", "make map! [a 1 \"k\" 2]", "at [1 2 3] 3",
      "make object! [a: 1 b: [2]]", "make object! [x: 10 on-change*: func [w o n] []]", "func [a [integer!] /r b] [a + 1]",
      ":append", ":if", ":+", "make error! [type: 'math id: 'zero-divide]",
      "[a/b: c/d :e/f 'g/h]", "next next \"hello\"", "make op! func [a b] [a - b]",
  };
  for (const char* s : sources) {
    for (bool compact : {true, false}) try {
      cell v = run(s);
      collector::root_guard g(&v);
      cell d{TYPE_NONE, 0, 0, 0};
      collector::root_guard gd(&d);
      std::string e = error_of([&] { d = decoded(encoded(v, compact)); });
      EXPECT_EQ(e, "") << s << (compact ? " compact" : " standard");
      EXPECT_EQ(mold_text(d, true), mold_text(v, true)) << s << (compact ? " compact" : " standard");
      set_global("vb-original", v);
      set_global("vb-copy", d);
      EXPECT_TRUE(truth("equal? type? :vb-original type? :vb-copy")) << s;
    } catch (const thrown& t) {
      ADD_FAILURE() << s << ": " << (t.id ? t.id : "?");
    }
  }
}

TEST_F(Vyrbin, SharingSurvivesTheRoundTrip) {
  const char* setup =
      "s: \"shared\" b: [1 2] o: make object! [v: 1 f: func [x] [x + v]] "
      "self-b: copy [] append/only self-b self-b "
      "bits: complement make bitset! \"x\" "
      "w1: in o 'v w2: in o 'v "
      "value: reduce [s next s b b self-b o o bits w1 w2 :o/f at b 2 as paren! b]";
  for (bool compact : {true, false}) {
    cell v = run(std::string(setup) + " value");
    collector::root_guard g(&v);
    set_global("d", decoded(encoded(v, compact)));
    const char* checks[] = {
        "same? head d/1 head d/2", "2 = index? d/2", "same? d/3 d/4",
        "same? d/5 pick d/5 1", "same? d/6 d/7", "not same? d/6 o",
        "find d/8 #\"y\"", "not find d/8 #\"x\"",
        "set d/9 5 d/6/v = 5", "set d/10 6 d/6/v = 6", "o/v = 1",
        "2 = index? d/12", "same? head d/12 d/3", "f: :d/11 d/6/v: 1 11 = f 10",
        "paren! = type? d/13", "append d/3 'z 'z = pick d/13 3",
    };
    for (const char* c : checks) {
      cell r{};
      std::string e = error_of([&] { r = run(c); });
      EXPECT_TRUE(e.empty() && type_of(&r) != TYPE_NONE && !(type_of(&r) == TYPE_LOGIC && r.data1 == 0))
          << c << (compact ? " compact" : " standard") << " " << e;
    }
  }
}

TEST_F(Vyrbin, WordsOfOneObjectReachedTwiceShareIt) {
  cell v = run("o: make object! [a: 1] reduce [in o 'a in o 'a]");
  bytes doc = encoded(v, true);
  // The second word carries a 0xC1 path to the first.
  bytes r = records(doc);
  bytes tail(r.end() - 7, r.end());
  EXPECT_EQ(hex(tail), "C1 4F 00 00 02 00 00");
}

TEST_F(Vyrbin, RefusedValuesLeaveNoStateBehind) {
  cell v = run("[[1] none]");
  collector::root_guard g(&v);
  handle::make_at(cells::at(v.data2, 1), 3, 1);
  EXPECT_EQ(error_of([&] { encoded(v, true); }), "access/no-codec");
  // The next encode starts clean: its first block is not written as a reference.
  cell w = run("[[1]]");
  EXPECT_EQ(hex(records(encoded(w, true))), "05 01 05 01 81");
}

TEST_F(Vyrbin, WhatTheWritersCannotShareIsStillWrittenDecodably) {
  // A word bound to an error's fields, and a block over a map's buffer: neither has a
  // record that could refer back to its first occurrence.
  cell v = run("reduce [make error! [type: 'math id: 'zero-divide] make map! [a 1] none none]");
  collector::root_guard g(&v);
  cell err = *cells::get(v.data2, 0);
  cell m = *cells::get(v.data2, 1);
  cell sym_word = word::intern("arg1");
  *cells::at(v.data2, 2) = cell{TYPE_WORD, err.data1, sym_word.data2, error::FIELD_ARG1};
  *cells::at(v.data2, 3) = cell{TYPE_BLOCK, 0, m.data2, 0};
  for (bool compact : {true, false}) {
    cell d{TYPE_NONE, 0, 0, 0};
    collector::root_guard gd(&d);
    ASSERT_EQ(error_of([&] { d = decoded(encoded(v, compact)); }), "") << compact;
    EXPECT_EQ(cells::get(d.data2, 2)->data1, _context::global);
    EXPECT_EQ(mold_text(*cells::get(d.data2, 3)), "[a: 1]");
  }
}

TEST_F(Vyrbin, NestingLimitIsTheSameBothWays) {
  auto nested = [](u32 n) {
    bytes r;
    for (u32 i = 0; i < n; i++) { r.push_back(0x05); r.push_back(i + 1 < n ? 1 : 0); }
    return compact_doc(r);
  };
  EXPECT_EQ(error_of([&] { decoded(nested(vyrbin::MAX_DEPTH)); }), "");
  EXPECT_EQ(error_of([&] { decoded(nested(vyrbin::MAX_DEPTH + 1)); }), "script/vb-invalid-record");
  cell deep = decoded(nested(vyrbin::MAX_DEPTH));
  collector::root_guard g(&deep);
  EXPECT_EQ(error_of([&] { encoded(deep, true); }), "");
  cell deeper;
  cells::make_block(&deeper, 1);
  collector::root_guard g2(&deeper);
  cells::append(deeper.data2, &deep);
  EXPECT_EQ(error_of([&] { encoded(deeper, false); }), "internal/too-deep");
}

// ---- Refusals -------------------------------------------------------------------------------

// The position carried by vb-invalid-record, or -1 when something else happened.
i32 refusal_position(const bytes& doc) {
  try {
    cell bin = *binary::load(doc.data(), u32(doc.size()));
    stack::pop_cells(1);
    collector::root_guard g(&bin);
    cell out{};
    vyrbin::decode_value(&bin, &out);
  } catch (const thrown& t) {
    if (std::string(t.id) != "vb-invalid-record") return -2;
    cell a = *error::field_of(&t.value, error::FIELD_ARG1);
    return i32(a.data2);
  }
  return -1;
}

TEST_F(Vyrbin, MalformedDocumentsAreRefusedAtTheRecord) {
  struct row { const char* fault; bytes doc; };
  // Compact records start at byte 11 (1-based) of a document without symbols.
  const std::vector<row> rows = {
      {"type 0", compact_doc({0x00})},
      {"compact header type 4", compact_doc({0x04})},
      {"type 42", compact_doc({42})},
      {"0xC4 in load mode", compact_doc({0xC4, 0x0F, 0x00}, {"a"})},
      {"0xC1 before an inline integer", compact_doc({0xC1, 0x81})},
      {"fifth varint byte with high bits", compact_doc({0x0B, 0x80, 0x80, 0x80, 0x80, 0x10})},
      {"block of 1000 items, 10 bytes left", compact_doc({0x05, 0xE8, 0x07, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0})},
      {"string log2 unit 3", compact_doc({0x07, 0x07, 0x61})},
      {"string of 5 units of 2 with 9 bytes", compact_doc({0x07, 0x15, 1, 2, 3, 4, 5, 6, 7, 8, 9})},
      {"path of length 0", compact_doc({0x05, 0x01, 0xFF, 0x00})},
      {"path index equal to the cell count", compact_doc({0x05, 0x01, 0xFF, 0x02, 0x00, 0x01})},
      {"block record on a string", compact_doc({0x05, 0x02, 0x07, 0x04, 0x61, 0xC1, 0x05, 0x02, 0x00, 0x00})},
      {"string record on a block", compact_doc({0x05, 0x02, 0x05, 0x00, 0xC1, 0x07, 0x02, 0x00, 0x00})},
      {"binary record on a string", compact_doc({0x05, 0x02, 0x07, 0x04, 0x61, 0xC1, 0x29, 0x02, 0x00, 0x00})},
      {"hash record on a map", compact_doc({0x05, 0x02, 0x28, 0x00, 0xC1, 0x24, 0x02, 0x00, 0x00})},
      {"object record on a block", compact_doc({0x05, 0x02, 0x05, 0x00, 0xC1, 0x20, 0x02, 0x00, 0x00})},
      {"word index past the context", compact_doc({0x4F, 0x00, 0x02, 0x20, 0x00, 0x0E, 0x10, 0x01, 0x00, 0x81}, {"a"})},
      {"word index naming another word", compact_doc({0x4F, 0x00, 0x02, 0x20, 0x00, 0x0E, 0x10, 0x02, 0x00, 0x01, 0x81, 0x82}, {"a", "b"})},
      {"object on the data stack", compact_doc({0x20, 0x00, 0x0E, 0x04, 0x01, 0x00}, {"a"})},
      {"symbol number past the table", compact_doc({0x0F, 0x01}, {"a"})},
      {"datatype id 0", compact_doc({0x01, 0x00})},
      {"datatype id 60", compact_doc({0x01, 60})},
      {"char past 10FFFF", compact_doc({0x0A, 0x80, 0x80, 0xC4, 0x00})},
      {"tuple of 2", compact_doc({0x67, 0x02, 1, 2})},
      {"tuple of 13", compact_doc({0x67, 0x0D, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13})},
      {"money digit 10", compact_doc({0x31, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xA0})},
      {"money currency 250", compact_doc({0x31, 250, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0})},
      {"date month 13", compact_doc({0x2F, 0x80, 0x06, 0xA0, 0x0F})},
      {"date day 31 of April", compact_doc({0x2F, 0x80, 0x4F, 0xA0, 0x0F})},
      {"vector of strings", compact_doc({0x23, u8(TYPE_STRING << 2), 0x00})},
      {"vector of 2-byte floats", compact_doc({0x23, u8(TYPE_FLOAT << 2 | 1), 0x00})},
      {"op of an integer", compact_doc({0x17, 0x81})},
      {"native index 0", compact_doc({0x15, 0x00, 0x05, 0x00})},
      {"native index past the table", compact_doc({0x15, 0xE7, 0x07, 0x05, 0x00})},
      {"action index 63", compact_doc({0x16, 63, 0x05, 0x00})},
      {"native with another spec", compact_doc({0x15, 0x01, 0x05, 0x00})},
      {"error code outside the catalogue", compact_doc({0x22, 0xE7, 0x07, 3, 3, 3, 3, 3, 3})},
      {"event word past the context", compact_doc({0x60, 0x00, 0x80, 0x80, 0x08, 0x00, 0x0E, 0x10, 0x01, 0x00, 0x81}, {"a"})},
      {"map of an odd count", compact_doc({0x28, 0x01, 0x81})},
      {"map key that cannot be a key", compact_doc({0x28, 0x02, 0x05, 0x00, 0x81})},
      {"repeated word in a context", compact_doc({0x20, 0x00, 0x0E, 0x10, 0x02, 0x00, 0x00, 0x81, 0x82}, {"a"})},
      {"bitset longer than the input", compact_doc({0x1E, 0x05, 0x01})},
      {"function whose spec misses its words", compact_doc({0x18, 0x00, 0x00, 0x0E, 0x05, 0x01, 0x00, 0x05, 0x00, 0x05, 0x00}, {"a"})},
  };
  for (const row& r : rows) EXPECT_GE(refusal_position(r.doc), 11) << r.fault;
  // The position is the 1-based byte of the fault.
  EXPECT_EQ(refusal_position(compact_doc({0x00})), 11);
  EXPECT_EQ(refusal_position(compact_doc({0x05, 0x01, 42})), 13);
}

TEST_F(Vyrbin, StandardRecordsAreCheckedAsStrictly) {
  struct row { const char* fault; bytes doc; };
  bytes past_names = {'V', 'Y', 'R', 'B', 'I', 'N', 2, 4, 1, 0, 0, 0, 8, 0, 0, 0,
                      1, 0, 0, 0, 8, 0, 0, 0, 9, 0, 0, 0, 'a', 0, 0, 0, 0, 0, 0, 0,
                      15, 0, 0, 0, 0, 0, 0, 0};
  bytes names_unterminated = {'V', 'Y', 'R', 'B', 'I', 'N', 2, 4, 1, 0, 0, 0, 4, 0, 0, 0,
                              1, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 'a', 11, 0, 0, 0};
  const std::vector<row> rows = {
      {"4-byte units past 32 bits", standard_doc({7 | 4 << 8, 0, 0x40000000, 0})},
      {"name offset past the name area", past_names},
      {"name area without its last NUL", names_unterminated},
      {"reference of length 70000", standard_doc({0xFF, 70000})},
      {"string unit 3", standard_doc({7 | 3 << 8, 0, 1, 0x61})},
  };
  for (const row& r : rows) EXPECT_GE(refusal_position(r.doc), 9) << r.fault;
}

TEST_F(Vyrbin, HeaderFaultsAreInvalidData) {
  bytes ten = {'V', 'Y', 'R', 'B', 'I', 'N', 2, 1, 1, 0};
  EXPECT_EQ(error_of([&] { decoded(ten); }), "script/invalid-data");
  bytes bad_magic = {'V', 'Y', 'R', 'B', 'I', 'X', 2, 1, 1, 1, 0x81};
  EXPECT_EQ(error_of([&] { decoded(bad_magic); }), "script/invalid-data");
  bytes short_standard = {'V', 'Y', 'R', 'B', 'I', 'N', 2, 0, 1, 0, 0};
  EXPECT_EQ(error_of([&] { decoded(short_standard); }), "script/invalid-data");
  bytes bad_lz = {'V', 'Y', 'R', 'B', 'I', 'N', 2, 3, 1, 2, 3, 4, 5, 6, 7, 8};
  EXPECT_EQ(error_of([&] { decoded(bad_lz); }), "script/invalid-data");
  EXPECT_EQ(error_of([&] { decoded(compact_doc({0x1D})); }), "access/no-codec");
  EXPECT_EQ(error_of([&] { decoded(compact_doc({0x2E})); }), "access/no-codec");
}

TEST_F(Vyrbin, CompressedBodiesDecodeAndCountPositionsUncompressed) {
  cell v = run("append/dup copy [] \"repeated text\" 100");
  collector::root_guard g(&v);
  bytes doc = encoded(v, true);
  codecs::byte_buffer packed;
  ASSERT_GT(lz::compress(doc.data() + 8, doc.size() - 8, packed), 0);
  bytes z(doc.begin(), doc.begin() + 8);
  z[7] |= 2;
  z.insert(z.end(), packed.begin(), packed.end());
  EXPECT_LT(z.size(), doc.size());
  EXPECT_EQ(molded((z)), mold_text(v));
  // A fault inside a compressed body reports its uncompressed position.
  bytes plain = compact_doc(bytes(200, 0x81));
  plain.back() = 0x00;
  codecs::byte_buffer p2;
  ASSERT_GT(lz::compress(plain.data() + 8, plain.size() - 8, p2), 0);
  bytes z2(plain.begin(), plain.begin() + 8);
  z2[7] |= 2;
  z2.insert(z2.end(), p2.begin(), p2.end());
  EXPECT_EQ(refusal_position(z2), i32(plain.size()));
}

// ---- Boot mode ---------------------------------------------------------------------------------

TEST_F(Vyrbin, BootModeAssignsWordsAndBindsThroughRootIndexes) {
  // Root 0: an object with field `f`; then an assignment pair `vb-boot-x: 42` (0xC4);
  // root 1: the word `f` bound through root 0 by name (index -1); root 2: a global word.
  bytes recs = {0x20, 0x00, 0x0E, 0x12, 0x01, 0x00, 0x87,  // object [f: 7]
                0xC4, 0x10, 0x01, 0x0B, 0x54,              // vb-boot-x: 42
                0x4F, 0x00, 0x00, 0x01,                    // f in root 0, index -1
                0x0F, 0x02};                               // global `g`
  bytes doc = compact_doc(recs, {"f", "vb-boot-x", "g"});
  cell target;
  cells::make_block(&target, 1);
  collector::root_guard g(&target);
  cells::append(target.data2, &target);  // an earlier value: roots count from the decode's first
  vyrbin::set_boot_mode();
  u32 base = 0;
  std::string e = error_of([&] { base = vyrbin::decode(doc.data(), doc.size(), target.data2, true); });
  vyrbin::set_load_mode();
  ASSERT_EQ(e, "");
  EXPECT_EQ(base, 1u);
  EXPECT_EQ(cells::length(target.data2), 4u);  // the pair left nothing behind
  EXPECT_TRUE(truth("42 = vb-boot-x"));
  set_global("vb-f", *cells::get(target.data2, 2));
  EXPECT_TRUE(truth("7 = get vb-f"));
  // The same pair is refused in load mode.
  EXPECT_EQ(refusal_position(doc), 47);  // the word's header after 0xC4
}

TEST_F(Vyrbin, BootDocumentsRoundTripThroughBootMode) {
  for (bool compact : {true, false}) {
    cell o = run("vb-o: make object! [v: 7]");
    collector::root_guard g1(&o);
    cell fn = run("func [x] [x * 2]");
    collector::root_guard g2(&fn);
    cell blk = run("reduce [in vb-o 'v 'plain]");
    collector::root_guard g3(&blk);
    cell big = run("append/dup copy [] \"some text\" 50");
    collector::root_guard g4(&big);
    cell sw = word::intern("vb-boot-y");
    set_type(&sw, TYPE_SET_WORD);
    cell n{TYPE_INTEGER, 0, compact ? 99u : 98u, 0};
    cell doc{TYPE_NONE, 0, 0, 0};
    collector::root_guard gd(&doc);
    std::string we = error_of([&] {
      vyrbin::boot_document w(compact);
      w.root(&o);
      w.assign(&sw, &n);
      w.root(&fn);
      w.root(&blk);
      w.root(&big);
      w.finish(&doc, true);
    });
    ASSERT_EQ(we, "") << compact;
    bytes d = binary::bytes_of(&doc);
    EXPECT_EQ(d[6], 1);                       // the boot image's version
    EXPECT_EQ(d[7] & 3, compact ? 3 : 2);     // compressed
    cell target;
    cells::make_block(&target, 1);
    collector::root_guard gt(&target);
    vyrbin::set_boot_mode();
    std::string e = error_of([&] { vyrbin::decode(d.data(), d.size(), target.data2, true); });
    vyrbin::set_load_mode();
    ASSERT_EQ(e, "") << compact;
    ASSERT_EQ(cells::length(target.data2), 4u);
    set_global("vb-t", target);
    EXPECT_TRUE(truth(compact ? "99 = vb-boot-y" : "98 = vb-boot-y"));
    EXPECT_TRUE(truth("7 = get pick vb-t/3 1"));
    EXPECT_TRUE(truth("vb-t/1/v: 8 8 = get pick vb-t/3 1"));
    EXPECT_TRUE(truth("f: :vb-t/2 20 = f 10"));
    EXPECT_TRUE(truth("50 = length? vb-t/4"));
  }
  // A word bound to a context that no root owns cannot be written.
  cell lone = run("reduce [in make object! [z: 1] 'z]");
  collector::root_guard gl(&lone);
  vyrbin::boot_document w(true);
  EXPECT_EQ(error_of([&] { w.root(&lone); }), "access/no-codec");
}

TEST_F(Vyrbin, BootLoadExitsWithStatus99OnABadImage) {
  bytes bad = {'N', 'O', 'T', 'V', 'Y', 'R', 2, 1, 1, 1, 0x81};
  EXPECT_EXIT(vyrbin::boot_load(bad.data(), bad.size(), true), ::testing::ExitedWithCode(99),
              "Not a Vyrbin file");
  bytes broken = compact_doc({0x00});
  EXPECT_EXIT(vyrbin::boot_load(broken.data(), broken.size(), true), ::testing::ExitedWithCode(99),
              "invalid record at index 11");
}

TEST_F(Vyrbin, BootLoadKeepsTheCollectorOffAndRestoresIt) {
  bytes doc = compact_doc({0x05, 0x02, 0x81, 0x82});
  u32 before = collector::state.enabled;
  u32 base = vyrbin::boot_load(doc.data(), doc.size(), false);
  EXPECT_EQ(collector::state.enabled, before);
  EXPECT_EQ(type_of(vyrbin::root_cell(0)), u32(TYPE_BLOCK));
  EXPECT_EQ(vyrbin::root_cell(0), cells::get(boot::root.data2, base));
  EXPECT_FALSE(vyrbin::boot_mode_q());
}

// ---- The codec's routines --------------------------------------------------------------------------

// The decoder runs inside natives (load, do of a binary) whose result cell is
// stack::arguments: the natives and ops it makes go to cells of its own, never there.
TEST_F(Vyrbin, NativesAndOpsAreMadeIntoTheirOwnCells) {
  cell v = run("reduce [:append :+ make op! func [a b] [a - b] make op! :subtract]");
  collector::root_guard g(&v);
  bytes doc = encoded(v, true);
  cell* slot = stack::push_slot();
  *slot = cell{TYPE_INTEGER, 0, 7, 0};
  stack::arguments = slot;
  cell d = decoded(doc);
  collector::root_guard gd(&d);
  EXPECT_EQ(mold_text(d, true), mold_text(v, true));
  cell fn = run(":subtract");
  cell op{TYPE_NONE, 0, 0, 0};
  op::make_at(&op, &fn);
  EXPECT_EQ(type_of(&op), u32(TYPE_OP));
  EXPECT_EQ(type_of(slot), u32(TYPE_INTEGER));
  EXPECT_EQ(slot->data2, 7u);
}

TEST_F(Vyrbin, RoutinesEncodeAndDecode) {
  cell args[2] = {run("[a 1]"), cell{TYPE_LOGIC, 0, 0, 0}};
  collector::root_guard g(args, 2);
  vyrbin::encode_star_routine(args, 2);
  ASSERT_EQ(type_of(&args[0]), u32(TYPE_BINARY));
  EXPECT_EQ(binary::get_byte(&args[0], 7), 4);  // standard, with symbols
  vyrbin::decode_routine(args, 1);
  EXPECT_EQ(mold_text(args[0]), "[a 1]");
  args[0] = run("[a 1]");
  args[1] = cell{TYPE_LOGIC, 1, 0, 0};
  vyrbin::encode_star_routine(args, 2);
  EXPECT_EQ(binary::get_byte(&args[0], 7), 5);  // compact, with symbols
  args[0] = run("42");
  EXPECT_EQ(error_of([&] { vyrbin::decode_routine(args, 1); }), "script/invalid-data");
  // A file! is read as binary first.
  std::string path = ::testing::TempDir() + "vyrbin-test.vyrbin";
  bytes doc = compact_doc({0x05, 0x02, 0x81, 0xC2});
  FILE* f = std::fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  std::fwrite(doc.data(), 1, doc.size(), f);
  std::fclose(f);
  args[0] = run("to file! \"" + path + "\"");
  vyrbin::decode_routine(args, 1);
  EXPECT_EQ(mold_text(args[0]), "[1 true]");
  std::remove(path.c_str());
  // Registered once under their names, for the start-up to make routine! values of.
  vyrbin::register_routines();
  u32 first = routine::find("vyrbin-encode*");
  vyrbin::register_routines();
  EXPECT_NE(first, 0u);
  EXPECT_EQ(routine::find("vyrbin-encode*"), first);
  EXPECT_EQ(routine::code(routine::find("vyrbin-decode")), &vyrbin::decode_routine);
}

}  // namespace
}  // namespace vyr::test

namespace vyr::test {
namespace {

// Writes the fuzz target's seed documents (both writers, and a compressed one) into the
// directory named by VYRBIN_CORPUS_DIR: run by hand with --gtest_also_run_disabled_tests.
TEST_F(Vyrbin, DISABLED_WriteFuzzCorpus) {
  const char* dir = std::getenv("VYRBIN_CORPUS_DIR");
  ASSERT_NE(dir, nullptr);
  const char* sources[] = {
      "[1 -70 1.5 25% 12:00 1x2 (1.5, 2.5) 1-Jan-2000/10:00+02:00 1.2.3.4 $1.25 #\"x\" #i "
      "integer! none true \"s^(3B1)\" %f http://x <t> a@b @r #{01} a 'b :c d: /e p/q]",
      "s: \"x\" reduce [s s next s make hash! [a 1] make map! [k 2] "
      "make bitset! \"ab\" complement make bitset! \"c\" make vector! [integer! 16 [1 2]]]",
      "o: make object! [v: 1 f: func [x] [x + v] on-change*: func [w o n] []] "
      "b: copy [] append/only b b reduce [o in o 'v :o/f b :append :if :+ "
      "make error! [type: 'math id: 'zero-divide] make op! func [a b] [a - b]]",
  };
  int n = 0;
  for (const char* s : sources) {
    cell v = run(s);
    collector::root_guard g(&v);
    for (bool compact : {true, false}) {
      bytes doc = encoded(v, compact);
      std::string name = std::string(dir) + "/seed" + std::to_string(n++);
      FILE* f = std::fopen(name.c_str(), "wb");
      ASSERT_NE(f, nullptr);
      std::fwrite(doc.data(), 1, doc.size(), f);
      std::fclose(f);
      if (compact) {
        codecs::byte_buffer packed;
        if (lz::compress(doc.data() + 8, doc.size() - 8, packed) > 0) {
          bytes z(doc.begin(), doc.begin() + 8);
          z[7] |= 2;
          z.insert(z.end(), packed.begin(), packed.end());
          name = std::string(dir) + "/seed" + std::to_string(n++);
          f = std::fopen(name.c_str(), "wb");
          std::fwrite(z.data(), 1, z.size(), f);
          std::fclose(f);
        }
      }
    }
  }
}

}  // namespace
}  // namespace vyr::test
