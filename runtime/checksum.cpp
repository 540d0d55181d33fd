// Checksums (CRC-32, Internet checksum, Adler-32), digests from libcrypto, HMAC on top of
// them, the table hash and secure random bytes. Keeps the fetched digest algorithms and one
// digest context for the life of the process.
#include "runtime/checksum.h"

#include "runtime/hashtable.h"
#include "runtime/platform.h"

#include <openssl/evp.h>

#include <array>
#include <cstring>

#include "runtime/fire.h"

namespace vyr::checksum {

namespace {

// ---- CRC-32 ----------------------------------------------------------------------------

// Built at compile time rather than on first use: no lazy state to get wrong.
constexpr std::array<u32, 256> make_crc_table() {
  std::array<u32, 256> t{};
  for (u32 n = 0; n < 256; n++) {
    u32 c = n;
    for (int k = 0; k < 8; k++) c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
    t[n] = c;
  }
  return t;
}
constexpr std::array<u32, 256> crc_table = make_crc_table();

// ---- Digests ---------------------------------------------------------------------------

struct digest_kind {
  const char* name;  // libcrypto's algorithm name
  u32 size;
  u32 block;  // HMAC block size
};
constexpr digest_kind digest_kinds[] = {
    {"MD5", 16, 64}, {"SHA1", 20, 64}, {"SHA256", 32, 64}, {"SHA384", 48, 128}, {"SHA512", 64, 128},
};

EVP_MD* fetched[5] = {};
EVP_MD_CTX* context = nullptr;

bool digest_code_q(i32 code) { return code >= CODE_MD5 && code <= CODE_SHA512; }

[[noreturn]] void crypto_failed() { fire("internal", "feature-na"); }

[[noreturn]] void bad_code(i32 code) {
  cell c{TYPE_INTEGER, 0, static_cast<u32>(code), 0};
  fire("script", "invalid-arg", &c);
}

const EVP_MD* algorithm(i32 code) {
  EVP_MD*& md = fetched[code - CODE_MD5];
  if (!md) md = EVP_MD_fetch(nullptr, digest_kinds[code - CODE_MD5].name, nullptr);
  if (!md) crypto_failed();
  return md;
}

EVP_MD_CTX* digest_context() {
  if (!context) context = EVP_MD_CTX_new();
  if (!context) crypto_failed();
  return context;
}

// A digest fed from up to two byte ranges, every libcrypto call checked; `out` receives
// exactly the algorithm's digest size or the call raises.
void run_digest(i32 code, const u8* a, size_t a_len, const u8* b, size_t b_len, u8* out) {
  const EVP_MD* md = algorithm(code);
  EVP_MD_CTX* ctx = digest_context();
  unsigned int got = 0;
  if (EVP_DigestInit_ex(ctx, md, nullptr) != 1 || EVP_DigestUpdate(ctx, a, a_len) != 1 ||
      (b_len && EVP_DigestUpdate(ctx, b, b_len) != 1) || EVP_DigestFinal_ex(ctx, out, &got) != 1 ||
      got != digest_kinds[code - CODE_MD5].size)
    crypto_failed();
}

// ---- Table hash ------------------------------------------------------------------------

// The hash the hash tables use, so that `checksum/with data size` agrees with them.
u32 table_hash(const u8* bytes, u32 length) { return hashtable::murmur3_32(bytes, length); }

bool same_name(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); i++) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x + 32);
    if (x != y) return false;
  }
  return true;
}

// Method words by code (0-6), then the two without a code.
constexpr std::string_view method_names[] = {"tcp",    "crc32",  "md5",     "sha1", "sha256",
                                             "sha384", "sha512", "adler32", "hash"};

}  // namespace

// The digest context is made once here; each algorithm is fetched on its first use, so a
// start-up that computes no digest never pays for loading them.
void open_crypto_provider() { digest_context(); }

void init() { open_crypto_provider(); }

bool method_q(std::string_view name) {
  for (auto m : method_names)
    if (same_name(name, m)) return true;
  return false;
}

i32 method_code(std::string_view name) {
  for (i32 code = CODE_TCP; code <= CODE_SHA512; code++)
    if (same_name(name, method_names[code])) return code;
  return -1;
}

u32 digest_size(i32 code) { return digest_code_q(code) ? digest_kinds[code - CODE_MD5].size : 0; }

u32 crc32_update(u32 crc, const u8* bytes, u32 length) {
  u32 c = ~crc;
  for (u32 i = 0; i < length; i++) c = crc_table[(c ^ bytes[i]) & 0xFF] ^ (c >> 8);
  return ~c;
}

u32 crc32(const u8* bytes, u32 length) { return crc32_update(0, bytes, length); }

u32 tcp(const u8* bytes, u32 length) {
  // A 64-bit sum cannot overflow for any series size, so the folded result is the true
  // ones' complement sum however long the data is.
  u64 sum = 0;
  u32 i = 0;
  for (; i + 1 < length; i += 2) sum += static_cast<u32>(bytes[i]) << 8 | bytes[i + 1];
  if (i < length) sum += static_cast<u32>(bytes[i]) << 8;
  while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
  return ~static_cast<u32>(sum) & 0xFFFF;
}

u32 adler32_update(u32 adler, const u8* bytes, u32 length) {
  // Chunks of 3854 bytes keep both sums within a signed 32-bit integer before reduction.
  constexpr u32 MOD = 65521, CHUNK = 3854;
  u32 a = adler & 0xFFFF, b = adler >> 16;
  while (length > 0) {
    u32 n = length < CHUNK ? length : CHUNK;
    length -= n;
    for (; n >= 16; n -= 16, bytes += 16)
      for (int k = 0; k < 16; k++) {
        a += bytes[k];
        b += a;
      }
    for (; n > 0; n--) {
      a += *bytes++;
      b += a;
    }
    a %= MOD;
    b %= MOD;
  }
  return b << 16 | a;
}

u32 adler32(const u8* bytes, u32 length) { return adler32_update(1, bytes, length); }

digest_buffer digest(const u8* bytes, u32 length, i32 code) {
  if (!digest_code_q(code)) bad_code(code);
  digest_buffer out{};
  run_digest(code, bytes, length, nullptr, 0, out.bytes);
  out.size = digest_kinds[code - CODE_MD5].size;
  return out;
}

digest_buffer hmac(const u8* data, u32 length, const u8* key, u32 key_length, i32 code) {
  if (!digest_code_q(code)) bad_code(code);
  const digest_kind& kind = digest_kinds[code - CODE_MD5];
  // Every intermediate lives on the C++ stack: nothing is allocated in the arena, so the
  // caller's data pointer stays good, and the inner digest streams the data in place.
  u8 block[128] = {};
  if (key_length > kind.block)
    run_digest(code, key, key_length, nullptr, 0, block);
  else if (key_length)
    std::memcpy(block, key, key_length);
  u8 pad[128];
  for (u32 i = 0; i < kind.block; i++) pad[i] = block[i] ^ 0x36;
  u8 inner[MAX_DIGEST_SIZE];
  run_digest(code, pad, kind.block, data, length, inner);
  for (u32 i = 0; i < kind.block; i++) pad[i] = block[i] ^ 0x5C;
  digest_buffer out{};
  run_digest(code, pad, kind.block, inner, kind.size, out.bytes);
  out.size = kind.size;
  return out;
}

i32 hash(const u8* bytes, u32 length, i32 size) {
  if (size < 1) {
    cell c{TYPE_INTEGER, 0, static_cast<u32>(size), 0};
    fire("script", "out-of-range", &c);
  }
  return static_cast<i32>(table_hash(bytes, length) % static_cast<u32>(size));
}

void random_bytes(u8* buffer, u32 length) { platform::secure_random_bytes(buffer, length); }

}  // namespace vyr::checksum
