// Base 2, 16, 58 and 64 text codecs: pure functions over counted input, no arena use, so
// they can be called on bytes inside a series buffer and run under a fuzzer on their own.
// Decoders read characters of 1, 2 or 4 bytes (a string buffer's unit); a ";" starts a
// comment that runs to the next line feed; any character above 127 is invalid.
#pragma once
#include <vector>

#include "runtime/cell.h"

namespace vyr::base_n {

// Whether the base is one of 2, 16, 58, 64.
bool known_base_q(i32 base);

// The room an encoder needs for n bytes (at least what it writes, 64-bit), by base;
// 0 for an unknown base.
u64 encoded_room(i32 base, u64 n);

// Encoders: write the text of n bytes at dst and answer the address after the last
// character written. dst must have encoded_room(base, n) bytes.
char* encode_2(char* dst, const u8* src, u32 n);
char* encode_16(char* dst, const u8* src, u32 n);
char* encode_58(char* dst, const u8* src, u32 n);
char* encode_64(char* dst, const u8* src, u32 n);
char* encode(i32 base, char* dst, const u8* src, u32 n);

// Decoders: `count` characters of `unit` bytes each at `chars`. On success the bytes
// replace the contents of `out` and the answer is true; invalid text answers false.
bool decode_2(const void* chars, u32 count, u32 unit, std::vector<u8>& out);
bool decode_16(const void* chars, u32 count, u32 unit, std::vector<u8>& out);
bool decode_58(const void* chars, u32 count, u32 unit, std::vector<u8>& out);
bool decode_64(const void* chars, u32 count, u32 unit, std::vector<u8>& out);
bool decode(i32 base, const void* chars, u32 count, u32 unit, std::vector<u8>& out);

}  // namespace vyr::base_n
