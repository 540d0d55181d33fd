// DEFLATE: the compressor's exact bytes, round trips through zlib both ways, and every kind
// of malformed stream in each framing refused with nothing half-decoded returned.
#include <gtest/gtest.h>
#include <zlib.h>

#include "runtime/codecs/deflate.h"
#include "runtime/checksum.h"
#include "tests/unit/codec_helpers.h"

using namespace vyr;
using deflate::framing;
using test::bit_packer;
using test::bytes;

namespace {

bytes from_hex(const char* h) {
  bytes b;
  for (; h[0] && h[1]; h += 2) b.push_back(static_cast<u8>(std::stoi(std::string(h, 2), nullptr, 16)));
  return b;
}

std::string hex(const bytes& b) {
  static const char* d = "0123456789ABCDEF";
  std::string s;
  for (u8 x : b) s += d[x >> 4], s += d[x & 15];
  return s;
}

bytes pack(const bytes& in, framing how) {
  codecs::byte_buffer out;
  deflate::compress(in.data(), in.size(), how, out);
  return bytes(out.begin(), out.end());
}

bool unpack(const bytes& in, framing how, bytes* out = nullptr, u64 hint = 0) {
  codecs::byte_buffer buf;
  bool ok = deflate::decompress(in.data(), in.size(), how, hint, buf);
  if (!ok) EXPECT_EQ(buf.size(), 0u);
  if (out) out->assign(buf.begin(), buf.end());
  return ok;
}

// zlib's own compressor in a framing: raw (-15), zlib (15) or gzip (31) window bits.
bytes zlib_pack(const bytes& in, int level, int window_bits, int strategy = Z_DEFAULT_STRATEGY) {
  z_stream z{};
  EXPECT_EQ(deflateInit2(&z, level, Z_DEFLATED, window_bits, 8, strategy), Z_OK);
  bytes out(deflateBound(&z, in.size()) + 64);
  z.next_in = const_cast<u8*>(in.data());
  z.avail_in = static_cast<uInt>(in.size());
  z.next_out = out.data();
  z.avail_out = static_cast<uInt>(out.size());
  EXPECT_EQ(::deflate(&z, Z_FINISH), Z_STREAM_END);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

bytes zlib_unpack(const bytes& in, int window_bits, size_t expected, bool* ok) {
  z_stream z{};
  inflateInit2(&z, window_bits);
  bytes out(expected + 64);
  z.next_in = const_cast<u8*>(in.data());
  z.avail_in = static_cast<uInt>(in.size());
  z.next_out = out.data();
  z.avail_out = static_cast<uInt>(out.size());
  *ok = inflate(&z, Z_FINISH) == Z_STREAM_END && z.avail_in == 0;
  out.resize(z.total_out);
  inflateEnd(&z);
  return out;
}

constexpr framing framings[] = {deflate::RAW, deflate::ZLIB, deflate::GZIP};
constexpr int window_bits[] = {-15, 15, 31};

TEST(Deflate, CompressorWritesItsExactBytes) {
  bytes empty, run(300, 'a');
  EXPECT_EQ(hex(pack(empty, deflate::RAW)), "0300");
  EXPECT_EQ(hex(pack(empty, deflate::ZLIB)), "7801030000000001");
  EXPECT_EQ(hex(pack(empty, deflate::GZIP)), "1F8B080000000000040403000000000000000000");
  // Three literals, then (258, 1) and (39, 258).
  EXPECT_EQ(hex(pack(run, deflate::RAW)), "4B4C4C1C0544860000");
  u32 a = checksum::adler32(run.data(), 300), c = checksum::crc32(run.data(), 300);
  EXPECT_EQ(hex(pack(run, deflate::ZLIB)),
            "78014B4C4C1C0544860000" + hex({u8(a >> 24), u8(a >> 16), u8(a >> 8), u8(a)}));
  EXPECT_EQ(hex(pack(run, deflate::GZIP)), "1F8B08000000000004044B4C4C1C0544860000" +
                                               hex({u8(c), u8(c >> 8), u8(c >> 16), u8(c >> 24)}) + "2C010000");
}

TEST(Deflate, GzipOfGzipDataIsCompressedAgain) {
  // Input that merely looks like a gzip member is data like any other: it comes back.
  bytes in = from_hex("1F8B0800FFFF");
  bytes packed = pack(in, deflate::GZIP);
  EXPECT_NE(packed, in);
  bytes out;
  ASSERT_TRUE(unpack(packed, deflate::GZIP, &out));
  EXPECT_EQ(out, in);
}

TEST(Deflate, RoundTripsThroughZlibBothWays) {
  std::vector<bytes> inputs = {{}, {42}, test::random_bytes(65536, 1), test::mixed_bytes(65536, 2),
                               bytes(100000, 7), test::mixed_bytes(1 << 20, 3)};
  for (const bytes& in : inputs) {
    for (int f = 0; f < 3; f++) {
      bool ok;
      bytes ours = pack(in, framings[f]);
      EXPECT_EQ(zlib_unpack(ours, window_bits[f], in.size(), &ok), in) << in.size() << " " << f;
      EXPECT_TRUE(ok);
      for (int level : {0, 1, 9}) {
        bytes out;
        ASSERT_TRUE(unpack(zlib_pack(in, level, window_bits[f]), framings[f], &out)) << level;
        EXPECT_EQ(out, in);
      }
      bytes out;
      ASSERT_TRUE(unpack(zlib_pack(in, 6, window_bits[f], Z_FIXED), framings[f], &out));
      EXPECT_EQ(out, in);
    }
  }
}

TEST(Deflate, SizeHintOnlyPicksTheFirstCapacity) {
  bytes in = test::mixed_bytes(300000, 4);
  bytes packed = pack(in, deflate::ZLIB);
  for (u64 hint : {u64(0), u64(1), u64(299999), u64(300000), u64(0xFFFFFFFF)}) {
    bytes out;
    ASSERT_TRUE(unpack(packed, deflate::ZLIB, &out, hint)) << hint;
    EXPECT_EQ(out, in);
  }
}

TEST(Deflate, UntrustedIsizeDoesNotDecideTheAllocation) {
  bytes member = pack({'a', 'b'}, deflate::GZIP);
  for (int i = 0; i < 4; i++) member[member.size() - 4 + i] = i == 0 ? 0xF0 : 0xFF;
  codecs::byte_buffer out;
  EXPECT_FALSE(deflate::decompress(member.data(), member.size(), deflate::GZIP, 0, out));
  EXPECT_LT(out.capacity(), 1u << 20);
}

// Hand-built raw streams, each a fault every peer refuses.
bytes fixed_block(std::initializer_list<std::pair<u32, u32>> codes) {
  bit_packer p;
  p.put(1, 1);
  p.put(1, 2);
  for (auto [code, n] : codes) p.huffman(code, n);
  return p.out;
}

TEST(Deflate, MalformedRawStreamsAreRefused) {
  constexpr std::pair<u32, u32> EOB = {0, 7}, LIT_A = {0x30 + 'a', 8}, LEN3 = {1, 7};
  // Dynamic blocks: 258 code lengths (HLIT 257, HDIST 1) giving 'a' and the end code
  // one bit each, then "a" and the end; the faults change only the lengths' tokens.
  auto dynamic = [](std::initializer_list<std::pair<u32, u32>> lengths) {
    bit_packer p;
    p.put(1, 1), p.put(2, 2), p.put(0, 5), p.put(0, 5), p.put(14, 4);  // 18 code-length codes
    for (u32 sym : {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1})
      p.put(sym == 0 || sym == 1 || sym == 16 || sym == 18 ? 2 : 0, 3);
    for (auto [sym, extra] : lengths) {  // codes 00, 01, 10, 11 for 0, 1, 16, 18
      p.huffman(sym == 0 ? 0 : sym == 1 ? 1 : sym == 16 ? 2 : 3, 2);
      if (sym == 16) p.put(extra, 2);
      if (sym == 18) p.put(extra, 7);
    }
    p.huffman(0, 1), p.huffman(1, 1);  // 'a', end of block
    return p.out;
  };
  bytes good_dynamic = dynamic({{18, 86}, {1, 0}, {18, 127}, {18, 9}, {1, 0}, {0, 0}});
  bytes repeats = dynamic({{18, 86}, {1, 0}, {18, 127}, {18, 9}, {1, 0}, {18, 0}});
  bytes first16 = dynamic({{16, 0}, {18, 83}, {1, 0}, {18, 127}, {18, 9}, {1, 0}, {0, 0}});
  struct {
    const char* what;
    bytes b;
  } cases[] = {
      {"empty input", {}},
      {"non-final block at the end of the input", from_hex("000000FFFF")},
      {"stored block cut short", from_hex("010500FAFF68656C")},
      {"stored block with a wrong NLEN", from_hex("010500000068656C6C6F")},
      {"block type 3", from_hex("07")},
      {"literal/length symbol 286", fixed_block({{0xC6, 8}, EOB})},
      {"literal/length symbol 287", fixed_block({{0xC7, 8}, EOB})},
      {"distance symbol 30", fixed_block({LIT_A, LEN3, {30, 5}, EOB})},
      {"distance symbol 31", fixed_block({LIT_A, LEN3, {31, 5}, EOB})},
      {"distance before the start", fixed_block({LIT_A, LEN3, {1, 5}, EOB})},
      {"repeats past HLIT + HDIST", repeats},
      {"code 16 first", first16},
      {"bytes after the final block", from_hex("030000")},
  };
  for (auto& c : cases) EXPECT_FALSE(unpack(c.b, deflate::RAW)) << c.what;
  bytes out;
  EXPECT_TRUE(unpack(good_dynamic, deflate::RAW, &out));
  EXPECT_EQ(out, bytes{'a'});
  EXPECT_TRUE(unpack(fixed_block({LIT_A, LEN3, {0, 5}, EOB}), deflate::RAW));
  EXPECT_TRUE(unpack(from_hex("010500FAFF68656C6C6F"), deflate::RAW));
}

TEST(Deflate, EveryTruncationIsRefused) {
  // Each proper prefix of a stream either ends inside a block or needs bits past the input.
  bytes in = test::mixed_bytes(1500, 6);
  for (int f = 0; f < 3; f++) {
    for (const bytes& s : {pack(in, framings[f]), zlib_pack(in, 9, window_bits[f]), zlib_pack(in, 0, window_bits[f])}) {
      for (size_t n = 0; n < s.size(); n++) EXPECT_FALSE(unpack(bytes(s.begin(), s.begin() + n), framings[f])) << f << " " << n;
    }
  }
  EXPECT_FALSE(unpack(from_hex("4B4C4C1C05448600"), deflate::RAW));
}

TEST(Deflate, ZlibFraming) {
  bytes in = test::mixed_bytes(1000, 7);
  bytes good = pack(in, deflate::ZLIB);
  auto with = [&](size_t at, u8 v) {
    bytes b = good;
    b[at] = v;
    return b;
  };
  EXPECT_TRUE(unpack(zlib_pack(in, 6, 15), deflate::ZLIB));  // 78 9C
  EXPECT_TRUE(unpack(zlib_pack(in, 9, 15), deflate::ZLIB));  // 78 DA
  for (const bytes& b : {from_hex(""), from_hex("7801"), from_hex("7801030000"), with(1, 0x20),
                         with(0, 0x79), with(0, 0x88), with(1, 0x02), with(good.size() - 1, good.back() ^ 1),
                         bytes(good.begin(), good.end() - 1)})
    EXPECT_FALSE(unpack(b, deflate::ZLIB)) << hex(b).substr(0, 8);
  bytes dict = from_hex("782000000000");  // preset dictionary
  EXPECT_FALSE(unpack(dict, deflate::ZLIB));
}

bytes gzip_member(u8 flags, const bytes& extra, const char* name, const char* comment, const bytes& data) {
  bytes m = {0x1F, 0x8B, 8, flags, 1, 2, 3, 4, 0, 3};
  if (flags & 4) {
    m.push_back(static_cast<u8>(extra.size())), m.push_back(static_cast<u8>(extra.size() >> 8));
    m.insert(m.end(), extra.begin(), extra.end());
  }
  if (flags & 8) m.insert(m.end(), name, name + strlen(name) + 1);
  if (flags & 16) m.insert(m.end(), comment, comment + strlen(comment) + 1);
  if (flags & 2) {
    u32 crc = checksum::crc32(m.data(), static_cast<u32>(m.size()));
    m.push_back(static_cast<u8>(crc)), m.push_back(static_cast<u8>(crc >> 8));
  }
  bytes s = zlib_pack(data, 6, -15);
  m.insert(m.end(), s.begin(), s.end());
  u32 crc = checksum::crc32(data.data(), static_cast<u32>(data.size()));
  u32 n = static_cast<u32>(data.size());
  for (u32 v : {crc, n})
    for (int i = 0; i < 4; i++) m.push_back(static_cast<u8>(v >> (8 * i)));
  return m;
}

TEST(Deflate, GzipFraming) {
  bytes data = test::mixed_bytes(2000, 8);
  for (u8 flags = 0; flags < 32; flags++) {
    bytes out;
    ASSERT_TRUE(unpack(gzip_member(flags, {9, 8, 7}, "name.txt", "a comment", data), deflate::GZIP, &out)) << int(flags);
    EXPECT_EQ(out, data);
  }
  bytes all = gzip_member(30, {9, 8, 7}, "n", "c", data);
  auto with = [&](size_t at, u8 v) {
    bytes b = all;
    b[at] = v;
    return b;
  };
  size_t hcrc = 10 + 2 + 3 + 2 + 2;
  struct {
    const char* what;
    bytes b;
  } cases[] = {
      {"17 bytes", bytes(all.begin(), all.begin() + 17)},
      {"bad magic", with(1, 0x8C)},
      {"method 7", with(2, 7)},
      {"flag bit 5", with(3, 30 | 32)},
      {"flag bit 7", with(3, 30 | 128)},
      {"wrong header CRC", with(hcrc, all[hcrc] ^ 1)},
      {"wrong CRC-32", with(all.size() - 8, all[all.size() - 8] ^ 1)},
      {"wrong ISIZE", with(all.size() - 4, all[all.size() - 4] + 1)},
      {"ISIZE 2^32 - 16", [&] { bytes b = all; b[b.size() - 4] = 0xF0; b[b.size() - 3] = b[b.size() - 2] = b[b.size() - 1] = 0xFF; return b; }()},
      {"extra field past the input", [&] { bytes b = gzip_member(4, {1}, "", "", {}); b[10] = 200; return b; }()},
      {"unterminated name", [&] { bytes b = {0x1F, 0x8B, 8, 8, 0, 0, 0, 0, 0, 3}; b.insert(b.end(), 20, 'x'); return b; }()},
      {"two members", [&] { bytes b = gzip_member(0, {}, "", "", data); bytes c = b; b.insert(b.end(), c.begin(), c.end()); return b; }()},
  };
  for (auto& c : cases) EXPECT_FALSE(unpack(c.b, deflate::GZIP)) << c.what;
}

}  // namespace
