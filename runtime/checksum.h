// Checksums, digests and keyed digests over byte ranges, and the secure random byte source.
// Nothing here allocates in the arena, so a byte pointer into a series buffer stays valid
// for the whole call; every failure of libcrypto or getrandom is raised, never ignored.
#pragma once
#include <string_view>

#include "runtime/cell.h"

namespace vyr::checksum {

// Method codes. The digest codes 2-6 are the ones `digest` and `hmac` take; `adler32` and
// `hash` are methods without a code.
constexpr i32 CODE_TCP = 0;
constexpr i32 CODE_CRC32 = 1;
constexpr i32 CODE_MD5 = 2;
constexpr i32 CODE_SHA1 = 3;
constexpr i32 CODE_SHA256 = 4;
constexpr i32 CODE_SHA384 = 5;
constexpr i32 CODE_SHA512 = 6;

constexpr u32 MAX_DIGEST_SIZE = 64;

// A digest: the first `size` bytes of `bytes` hold it.
struct digest_buffer {
  u8 bytes[MAX_DIGEST_SIZE];
  u32 size;
};

// Makes the digest context once, at start-up; each algorithm is fetched on its first use.
// A digest asked for before this call makes the context itself.
void open_crypto_provider();
void init();

// Method names, letter case ignored: `method_q` knows the nine method words, `method_code`
// gives the code of the seven coded ones and -1 for any other name.
bool method_q(std::string_view name);
i32 method_code(std::string_view name);
u32 digest_size(i32 code);  // 0 for a code that is not a digest code

// CRC-32 (reflected polynomial 0xEDB88320, initial value and final complement 0xFFFFFFFF).
// `crc32_update` continues a running CRC: crc32(a ‖ b) = crc32_update(crc32(a), b).
u32 crc32(const u8* bytes, u32 length);
u32 crc32_update(u32 crc, const u8* bytes, u32 length);

// The 16-bit Internet checksum: big-endian pairs, a trailing odd byte as a high byte,
// ones' complement sum complemented. No bytes give 0xFFFF.
u32 tcp(const u8* bytes, u32 length);

// Adler-32; `adler32_update` continues a running value (the value of no bytes is 1).
u32 adler32(const u8* bytes, u32 length);
u32 adler32_update(u32 adler, const u8* bytes, u32 length);

// MD5, SHA-1, SHA-256, SHA-384 or SHA-512 of the bytes, by digest code. Another code raises
// script/invalid-arg with the code; a failing libcrypto call raises internal/feature-na.
digest_buffer digest(const u8* bytes, u32 length, i32 code);

// HMAC of the data under the key with the digest of the code (block size 128 bytes for
// SHA-384 and SHA-512, 64 for the others). A code that is not a digest code is refused
// with script/invalid-arg and the code; libcrypto failures as for `digest`.
digest_buffer hmac(const u8* data, u32 length, const u8* key, u32 key_length, i32 code);

// The hash of the data for a hash table of `size` entries: the runtime's table hash
// (MurmurHash3 x86-32) reduced to 0 … size − 1. A size below 1 raises script/out-of-range.
i32 hash(const u8* bytes, u32 length, i32 size);

// Fills the buffer from the kernel's secure random source; failure raises
// internal/feature-na.
void random_bytes(u8* buffer, u32 length);

}  // namespace vyr::checksum
