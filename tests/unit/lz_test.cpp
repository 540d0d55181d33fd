// The LZ codec: hand-built blocks for each token shape, the corruption table (every read
// bounded by the block's length, the byte count checked against the header), and round
// trips across chunks, windows and longest matches.
#include <gtest/gtest.h>

#include <functional>

#include "runtime/codecs/lz.h"
#include "tests/unit/codec_helpers.h"

using namespace vyr;
using test::bit_packer;
using test::bytes;

namespace {

void put32(bytes& b, u32 v) {
  for (int i = 0; i < 4; i++) b.push_back(static_cast<u8>(v >> (8 * i)));
}

struct chunk {
  u32 length;
  bytes stream;
};

// A block of the chunks; the payload size is theirs unless given.
bytes block(const std::vector<chunk>& chunks, u32 size, i64 payload = -1) {
  bytes body;
  for (const chunk& c : chunks) {
    put32(body, c.length);
    body.insert(body.end(), c.stream.begin(), c.stream.end());
  }
  bytes b;
  put32(b, payload >= 0 ? static_cast<u32>(payload) : static_cast<u32>(body.size()));
  put32(b, size);
  b.insert(b.end(), body.begin(), body.end());
  return b;
}

void literal(bit_packer& p, u8 byte) {
  p.put(0, 1);
  p.put(byte, 8);
}

// Length 3-566 and distance 1-262,144 in the codec's classes.
void match(bit_packer& p, u32 length, u32 distance) {
  p.put(1, 1);
  u32 n = length - 3;
  if (n < 4) p.put(1, 1), p.put(n, 2);
  else if (n < 8) p.put(2, 2), p.put(n - 4, 2);
  else if (n < 12) p.put(4, 3), p.put(n - 8, 2);
  else if (n < 20) p.put(8, 4), p.put(n - 12, 3);
  else if (n < 52) p.put(16, 5), p.put(n - 20, 5);
  else p.put(0, 5), p.put(n - 52, 9);
  u32 b = distance - 1;
  if (b < 8) {
    p.put(0, 4);
    p.put(b, 3);
  } else {
    u32 j = 31 - __builtin_clz(b);
    p.put(j - 2, 4);
    p.put(b - (1u << j), j);
  }
}

bool expand(const bytes& b, bytes* out = nullptr) {
  codecs::byte_buffer buf;
  bool ok = lz::decompress(b.data(), b.size(), buf);
  if (out) out->assign(buf.begin(), buf.end());
  return ok;
}

bytes round_trip(const bytes& in) {
  codecs::byte_buffer packed;
  i64 n = lz::compress(in.data(), in.size(), packed);
  EXPECT_GT(n, 0);
  EXPECT_EQ(static_cast<u64>(n), packed.size());
  bytes out;
  EXPECT_TRUE(expand(bytes(packed.begin(), packed.end()), &out));
  return out;
}

TEST(Lz, EmptyPayloadGivesNoBytes) {
  bytes out{1};
  EXPECT_TRUE(expand(block({}, 0), &out));
  EXPECT_TRUE(out.empty());
}

TEST(Lz, FiveLiteralsTakeFortyFiveBits) {
  bit_packer p;
  for (u8 c : {'h', 'e', 'l', 'l', 'o'}) literal(p, c);
  EXPECT_EQ(p.count, 45u);
  bytes out;
  ASSERT_TRUE(expand(block({{5, p.out}}, 5), &out));
  EXPECT_EQ(std::string(out.begin(), out.end()), "hello");
}

TEST(Lz, OverlappingMatchRepeatsItsSource) {
  bit_packer p;
  literal(p, 'a');
  match(p, 10, 1);
  bytes out;
  ASSERT_TRUE(expand(block({{11, p.out}}, 11), &out));
  EXPECT_EQ(std::string(out.begin(), out.end()), std::string(11, 'a'));
}

TEST(Lz, EveryLengthClassAndDistanceDecodes) {
  // One literal run of 300 distinct-ish bytes, then matches of each class at various
  // distances, checked against a plain reconstruction.
  bit_packer p;
  bytes want;
  for (u32 i = 0; i < 300; i++) {
    literal(p, static_cast<u8>(i * 7));
    want.push_back(static_cast<u8>(i * 7));
  }
  for (u32 length : {3u, 6u, 7u, 10u, 11u, 14u, 15u, 22u, 23u, 54u, 55u, 566u}) {
    for (u32 distance : {1u, 2u, 8u, 9u, 16u, 17u, 300u}) {
      match(p, length, distance);
      for (u32 i = 0; i < length; i++) want.push_back(want[want.size() - distance]);
    }
  }
  bytes out;
  ASSERT_TRUE(expand(block({{static_cast<u32>(want.size()), p.out}}, static_cast<u32>(want.size())), &out));
  EXPECT_EQ(out, want);
}

TEST(Lz, CorruptBlocksAreRefused) {
  bit_packer five;
  for (u8 c : {'a', 'b', 'c', 'd', 'e'}) literal(five, c);
  auto with_match = [](u32 lits, u32 length, u32 distance) {
    bit_packer p;
    for (u32 i = 0; i < lits; i++) literal(p, 'x');
    match(p, length, distance);
    return p.out;
  };
  bytes good = block({{5, five.out}}, 5);
  ASSERT_TRUE(expand(good));
  struct {
    const char* what;
    bytes b;
  } cases[] = {
      {"shorter than its header", bytes(good.begin(), good.begin() + 7)},
      {"payload past the block", bytes(good.begin(), good.end() - 1)},
      {"payload size past the block", block({{5, five.out}}, 5, 100)},
      {"chunk length 0", block({{0, five.out}}, 5)},
      {"chunk length 0x100001", block({{0x100001, five.out}}, 5)},
      {"chunk longer than the uncompressed size", block({{6, five.out}}, 5)},
      {"fewer bytes than the uncompressed size", block({{5, five.out}}, 6)},
      {"chunk header cut short", block({{5, five.out}, {1, {}}}, 5, 5 + 4 + 2)},
      {"bit stream runs past the payload", block({{6, five.out}}, 6)},
      {"distance before the chunk start", block({{4, with_match(1, 3, 2)}}, 4)},
      {"match past the chunk end", block({{5, with_match(1, 10, 1)}}, 5)},
      {"match reaching into the previous chunk", block({{5, five.out}, {3, with_match(0, 3, 1)}}, 8)},
      {"size above what the payload can give", block({{5, five.out}}, 100000)},
      {"size above the series limit", block({{5, five.out}}, 0xFFFFFFFF)},
      {"size without payload", block({}, 1)},
  };
  for (auto& c : cases) {
    bytes out{1, 2, 3};
    EXPECT_FALSE(expand(c.b, &out)) << c.what;
    EXPECT_TRUE(out.empty()) << c.what;
  }
}

TEST(Lz, EveryTruncationIsRefused) {
  bytes in = test::mixed_bytes(5000, 3);
  codecs::byte_buffer packed;
  ASSERT_GT(lz::compress(in.data(), in.size(), packed), 0);
  bytes b(packed.begin(), packed.end());
  // Cut the block short while keeping the header's payload size: every read must stop at
  // the block's end.
  for (size_t n = 0; n < b.size(); n++) EXPECT_FALSE(expand(bytes(b.begin(), b.begin() + n))) << n;
  // Bytes after the payload are not part of the block.
  b.push_back(0xAA);
  EXPECT_TRUE(expand(b));
}

TEST(Lz, ShortOrIncompressibleInputIsNotCompressed) {
  codecs::byte_buffer out;
  bytes zeros(127, 0);
  EXPECT_EQ(lz::compress(zeros.data(), zeros.size(), out), -1);
  zeros.push_back(0);
  EXPECT_GT(lz::compress(zeros.data(), zeros.size(), out), 0);
  bytes noise = test::random_bytes(4096, 1);
  EXPECT_EQ(lz::compress(noise.data(), noise.size(), out), -1);
  EXPECT_TRUE(out.empty());
}

TEST(Lz, RoundTripsAcrossChunksAndWindow) {
  // 3 MiB: three full chunks and a short one, text with a random stretch repeated farther
  // back than the window reaches.
  bytes in = test::mixed_bytes(3 * 1024 * 1024 + 1000, 5);
  bytes noise = test::random_bytes(100000, 9);
  for (size_t at : {size_t(0), size_t(300000), size_t(600000), size_t(2100000)})
    std::copy(noise.begin(), noise.end(), in.begin() + at);
  EXPECT_EQ(round_trip(in), in);
}

TEST(Lz, LongestMatchesRoundTrip) {
  // Runs of one byte become 566-byte matches: about 22 bits each.
  bytes in(200000, 'z');
  codecs::byte_buffer packed;
  ASSERT_GT(lz::compress(in.data(), in.size(), packed), 0);
  EXPECT_LT(packed.size(), 200000u / 566 * 3 + 64);
  EXPECT_EQ(round_trip(in), in);
  bytes pattern = test::random_bytes(1000, 4);
  bytes repeated;
  for (int i = 0; i < 300; i++) repeated.insert(repeated.end(), pattern.begin(), pattern.end());
  EXPECT_EQ(round_trip(repeated), repeated);
}

}  // namespace
