// Checksums, digests, HMAC and the table hash against published vectors; the refusals and
// range errors; the secure byte source.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "runtime/fire.h"
#include "runtime/checksum.h"
#include "runtime/hashtable.h"
#include "tests/unit/fixture.h"

using namespace vyr;

namespace {

struct Checksum : ::testing::Test {
  void SetUp() override { test::ensure_runtime(); }
};

const u8* bytes_of(const std::string& s) { return reinterpret_cast<const u8*>(s.data()); }
u32 len(const std::string& s) { return static_cast<u32>(s.size()); }

std::string hex(const checksum::digest_buffer& d) {
  static const char* digits = "0123456789abcdef";
  std::string out;
  for (u32 i = 0; i < d.size; i++) {
    out += digits[d.bytes[i] >> 4];
    out += digits[d.bytes[i] & 15];
  }
  return out;
}

// The error a call raises, as "category/id", and its first argument.
template <class F> std::string raised(F f, cell* arg = nullptr) {
  try {
    f();
  } catch (const thrown& t) {
    if (arg && t.argc > 0) *arg = t.args[0];
    return std::string(t.category) + "/" + t.id;
  }
  return "";
}

std::vector<u8> filled(size_t n, u32 salt) {
  std::vector<u8> v(n);
  u32 x = 0x12345678u ^ salt;
  for (auto& b : v) {
    x = x * 1103515245u + 12345u;
    b = static_cast<u8>(x >> 16);
  }
  return v;
}

}  // namespace

TEST_F(Checksum, Crc32Vectors) {
  struct {
    std::string in;
    u32 want;
  } cases[] = {
      {"", 0},
      {"abc", 0x352441C2u},
      {"123456789", 0xCBF43926u},
      {"The quick brown fox jumps over the lazy dog", 0x414FA339u},
  };
  for (auto& c : cases) EXPECT_EQ(checksum::crc32(bytes_of(c.in), len(c.in)), c.want) << c.in;
  // A running CRC over pieces equals the CRC of the whole.
  std::string a = "The quick brown ", b = "fox jumps over the lazy dog";
  EXPECT_EQ(checksum::crc32_update(checksum::crc32(bytes_of(a), len(a)), bytes_of(b), len(b)),
            0x414FA339u);
}

TEST_F(Checksum, InternetChecksum) {
  EXPECT_EQ(checksum::tcp(nullptr, 0), 0xFFFFu);
  const u8 one[] = {0x01};
  EXPECT_EQ(checksum::tcp(one, 1), 0xFEFFu);
  // Worked example: the ones' complement sum of these bytes is 0xDDF2.
  const u8 ex[] = {0x00, 0x01, 0xF2, 0x03, 0xF4, 0xF5, 0xF6, 0xF7};
  EXPECT_EQ(checksum::tcp(ex, 8), 0x220Du);
  EXPECT_EQ(checksum::tcp(ex, 7), checksum::tcp(std::vector<u8>{0x00, 0x01, 0xF2, 0x03, 0xF4, 0xF5, 0xF6, 0x00}.data(), 8));
}

TEST_F(Checksum, InternetChecksumOfLongDataDoesNotOverflow) {
  // Long enough for a 32-bit running sum to wrap; the result must still be the true
  // ones' complement sum, folded at every step here.
  for (size_t n : {size_t(300001), size_t(1) << 20}) {
    std::vector<u8> data(n, 0xFF);
    auto rnd = filled(n, 7);
    for (auto* v : {&data, &rnd}) {
      u32 sum = 0;
      for (size_t i = 0; i < n; i += 2) {
        sum += (u32((*v)[i]) << 8) | (i + 1 < n ? (*v)[i + 1] : 0);
        sum = (sum & 0xFFFF) + (sum >> 16);
      }
      EXPECT_EQ(checksum::tcp(v->data(), u32(n)), ~sum & 0xFFFF) << n;
    }
  }
}

TEST_F(Checksum, Adler32) {
  EXPECT_EQ(checksum::adler32(nullptr, 0), 1u);
  std::string w = "Wikipedia", abc = "abc";
  EXPECT_EQ(checksum::adler32(bytes_of(w), len(w)), 0x11E60398u);
  EXPECT_EQ(checksum::adler32(bytes_of(abc), len(abc)), 0x024D0127u);
  // Long runs of 0xFF stress the chunked reductions; lengths around the chunk size and the
  // 16-byte steps check the boundaries.
  for (size_t n : {size_t(15), size_t(16), size_t(3853), size_t(3854), size_t(3855), size_t(7709),
                   size_t(1) << 20}) {
    for (auto data : {std::vector<u8>(n, 0xFF), filled(n, u32(n))}) {
      u64 a = 1, b = 0;
      for (u8 x : data) {
        a = (a + x) % 65521;
        b = (b + a) % 65521;
      }
      EXPECT_EQ(checksum::adler32(data.data(), u32(n)), u32(b << 16 | a)) << n;
      u32 half = u32(n / 2);
      EXPECT_EQ(checksum::adler32_update(checksum::adler32(data.data(), half), data.data() + half,
                                         u32(n) - half),
                u32(b << 16 | a));
    }
  }
}

TEST_F(Checksum, DigestVectors) {
  struct {
    i32 code;
    std::string in, want;
  } cases[] = {
      {checksum::CODE_MD5, "", "d41d8cd98f00b204e9800998ecf8427e"},
      {checksum::CODE_MD5, "abc", "900150983cd24fb0d6963f7d28e17f72"},
      {checksum::CODE_MD5, "message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
      {checksum::CODE_MD5,
       "12345678901234567890123456789012345678901234567890123456789012345678901234567890",
       "57edf4a22be3c955ac49da2e2107b67a"},
      {checksum::CODE_SHA1, "abc", "a9993e364706816aba3e25717850c26c9cd0d89d"},
      {checksum::CODE_SHA1, "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
       "84983e441c3bd26ebaae4aa1f95129e5e54670f1"},
      {checksum::CODE_SHA1, std::string(1000000, 'a'), "34aa973cd4c4daa4f61eeb2bdbad27316534016f"},
      {checksum::CODE_SHA256, "", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {checksum::CODE_SHA256, "abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {checksum::CODE_SHA256, "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
       "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
      {checksum::CODE_SHA384, "abc",
       "cb00753f45a35e8bb5a03d699ac65007272c32ab0eded1631a8b605a43ff5bed8086072ba1e7cc2358baeca134c825a7"},
      {checksum::CODE_SHA512, "abc",
       "ddaf35a193617abacc417349ae20413112e6fa4e89a97ea20a9eeee64b55d39a2192992a274fc1a836ba3c23a3feebbd"
       "454d4423643ce80e2a9ac94fa54ca49f"},
      {checksum::CODE_SHA512, "",
       "cf83e1357eefb8bdf1542850d66d8007d620e4050b5715dc83f4a921d36ce9ce47d0d13c5d85f2b0ff8318d2877eec2f"
       "63b931bd47417a81a538327af927da3e"},
  };
  for (auto& c : cases) {
    auto d = checksum::digest(bytes_of(c.in), len(c.in), c.code);
    EXPECT_EQ(d.size, checksum::digest_size(c.code));
    EXPECT_EQ(hex(d), c.want) << c.code << " " << c.in.substr(0, 20);
  }
}

TEST_F(Checksum, HmacVectors) {
  const std::string k0b20(20, '\x0b'), k0b16(16, '\x0b'), jefe = "Jefe", kaa131(131, '\xaa'),
      kaa80(80, '\xaa');
  const std::string hi = "Hi There", what = "what do ya want for nothing?",
                    big = "Test Using Larger Than Block-Size Key - Hash Key First";
  struct {
    i32 code;
    const std::string &key, &data;
    std::string want;
  } cases[] = {
      {checksum::CODE_MD5, k0b16, hi, "9294727a3638bb1c13f48ef8158bfc9d"},
      {checksum::CODE_MD5, kaa80, big, "6b1ab7fe4bd7bf8f0b62e6ce61b9d0cd"},
      {checksum::CODE_SHA1, k0b20, hi, "b617318655057264e28bc0b6fb378c8ef146be00"},
      {checksum::CODE_SHA1, kaa80, big, "aa4ae5e15272d00e95705637ce8a3b55ed402112"},
      {checksum::CODE_SHA256, k0b20, hi, "b0344c61d8db38535ca8afceaf0bf12b881dc200c9833da726e9376c2e32cff7"},
      {checksum::CODE_SHA256, jefe, what, "5bdcc146bf60754e6a042426089575c75a003f089d2739839dec58b964ec3843"},
      {checksum::CODE_SHA256, kaa131, big, "60e431591ee0b67f0d8a26aacbf5b77f8e0bc6213728c5140546040f0ee37f54"},
      {checksum::CODE_SHA384, k0b20, hi,
       "afd03944d84895626b0825f4ab46907f15f9dadbe4101ec682aa034c7cebc59cfaea9ea9076ede7f4af152e8b2fa9cb6"},
      {checksum::CODE_SHA384, jefe, what,
       "af45d2e376484031617f78d2b58a6b1b9c7ef464f5a01b47e42ec3736322445e8e2240ca5e69e2c78b3239ecfab21649"},
      {checksum::CODE_SHA384, kaa131, big,
       "4ece084485813e9088d2c63a041bc5b44f9ef1012a2b588f3cd11f05033ac4c60c2ef6ab4030fe8296248df163f44952"},
      {checksum::CODE_SHA512, k0b20, hi,
       "87aa7cdea5ef619d4ff0b4241a1d6cb02379f4e2ce4ec2787ad0b30545e17cdedaa833b7d6b8a702038b274eaea3f4e4"
       "be9d914eeb61f1702e696c203a126854"},
      {checksum::CODE_SHA512, jefe, what,
       "164b7a7bfcf819e2e395fbe73b56e0a387bd64222e831fd610270cd7ea2505549758bf75c05a994a6d034f65f8f0e6fd"
       "caeab1a34d4a6b4b636e070a38bce737"},
      {checksum::CODE_SHA512, kaa131, big,
       "80b24263c7c1a3ebb71493c1dd7be8b49b46d1f41b4aeec1121b013783f8f3526b56d037e05f2598bd0fd2215d6a1e52"
       "95e64f73f63f0aec8b915a985d786598"},
  };
  for (auto& c : cases)
    EXPECT_EQ(hex(checksum::hmac(bytes_of(c.data), len(c.data), bytes_of(c.key), len(c.key), c.code)),
              c.want)
        << c.code << " key " << c.key.size();
}

TEST_F(Checksum, HmacKeyAtAndPastTheBlockSize) {
  // A key one block long is used as it is; one byte longer, it is replaced by its digest.
  const std::string data = "payload";
  for (i32 code : {checksum::CODE_MD5, checksum::CODE_SHA256, checksum::CODE_SHA384,
                   checksum::CODE_SHA512}) {
    u32 block = code >= checksum::CODE_SHA384 ? 128 : 64;
    for (u32 n : {block, block + 1}) {
      std::string key(n, 'k');
      auto kd = checksum::digest(bytes_of(key), n, code);
      auto direct = checksum::hmac(bytes_of(data), len(data), bytes_of(key), n, code);
      auto via_digest = checksum::hmac(bytes_of(data), len(data), kd.bytes, kd.size, code);
      if (n == block)
        EXPECT_NE(hex(direct), hex(via_digest)) << code;
      else
        EXPECT_EQ(hex(direct), hex(via_digest)) << code;
    }
  }
  // An empty key is a block of zeros.
  auto empty = checksum::hmac(bytes_of(data), len(data), nullptr, 0, checksum::CODE_SHA256);
  std::string zeros(64, '\0');
  EXPECT_EQ(hex(empty), hex(checksum::hmac(bytes_of(data), len(data), bytes_of(zeros), 64,
                                           checksum::CODE_SHA256)));
}

TEST_F(Checksum, RefusalsRaiseErrors) {
  const u8 b[] = {1, 2, 3};
  cell arg{};
  for (i32 code : {-1, checksum::CODE_TCP, checksum::CODE_CRC32, 7, 100}) {
    EXPECT_EQ(raised([&] { checksum::digest(b, 3, code); }, &arg), "script/invalid-arg") << code;
    EXPECT_EQ(type_of(&arg), TYPE_INTEGER);
    EXPECT_EQ(static_cast<i32>(arg.data2), code);
    // A keyed digest with a method that has none is an error, not a line and garbage.
    EXPECT_EQ(raised([&] { checksum::hmac(b, 3, b, 3, code); }), "script/invalid-arg") << code;
  }
  for (i32 size : {0, -1, INT32_MIN}) {
    EXPECT_EQ(raised([&] { checksum::hash(b, 3, size); }, &arg), "script/out-of-range");
    EXPECT_EQ(static_cast<i32>(arg.data2), size);
  }
}

TEST_F(Checksum, MethodWords) {
  for (const char* m : {"tcp", "crc32", "md5", "sha1", "sha256", "sha384", "sha512", "adler32", "hash"})
    EXPECT_TRUE(checksum::method_q(m)) << m;
  EXPECT_TRUE(checksum::method_q("SHA256"));
  EXPECT_FALSE(checksum::method_q("sha"));
  EXPECT_FALSE(checksum::method_q("sha2566"));
  EXPECT_FALSE(checksum::method_q(""));
  EXPECT_EQ(checksum::method_code("tcp"), 0);
  EXPECT_EQ(checksum::method_code("Crc32"), 1);
  EXPECT_EQ(checksum::method_code("sha512"), 6);
  EXPECT_EQ(checksum::method_code("adler32"), -1);
  EXPECT_EQ(checksum::method_code("hash"), -1);
  EXPECT_EQ(checksum::digest_size(checksum::CODE_CRC32), 0u);
}

TEST_F(Checksum, TableHash) {
  // The same hash the hash tables use, reduced to the size.
  std::string hello = "hello", fox = "The quick brown fox jumps over the lazy dog";
  for (const std::string& s : {hello, fox})
    EXPECT_EQ(checksum::hash(bytes_of(s), len(s), 1000),
              static_cast<i32>(hashtable::murmur3_32(s.data(), len(s)) % 1000u));
  // Every result lies in 0 … size - 1, including for odd tail lengths.
  for (i32 size : {1, 7, 1000, 65536}) {
    for (u32 n = 0; n < 40; n++) {
      auto data = filled(n, n);
      i32 h = checksum::hash(data.data(), n, size);
      EXPECT_GE(h, 0);
      EXPECT_LT(h, size);
    }
  }
}

TEST_F(Checksum, RandomBytes) {
  std::vector<u8> a(4096, 0), b(4096, 0);
  checksum::random_bytes(a.data(), u32(a.size()));
  checksum::random_bytes(b.data(), u32(b.size()));
  EXPECT_NE(a, b);
  checksum::random_bytes(nullptr, 0);
  // Every byte value turns up in 64 KiB of output (a stuck or partial fill would not).
  std::vector<u8> big(65536, 0);
  checksum::random_bytes(big.data(), u32(big.size()));
  bool seen[256] = {};
  for (u8 x : big) seen[x] = true;
  for (int i = 0; i < 256; i++) EXPECT_TRUE(seen[i]) << i;
}
