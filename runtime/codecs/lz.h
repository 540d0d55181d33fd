// The runtime's own LZ bit-stream codec: an 8-byte header (payload size, uncompressed size,
// little-endian) and independent chunks of at most 1 MiB, each a 4-byte length and an
// LSB-first bit stream of literals and matches. It packs data built into the program.
#pragma once
#include "runtime/cell.h"
#include "runtime/codecs/byte_buffer.h"

namespace vyr::lz {

constexpr u32 HEADER_SIZE = 8;
constexpr u32 CHUNK_SIZE = 0x100000;      // bytes a chunk expands to, at most
constexpr u32 WINDOW = 0x40000;           // farthest match distance the compressor uses
constexpr u32 MIN_INPUT = 128;            // shorter input is not compressed
constexpr u32 MAX_MATCH = 566;

// Expands the compressed block held in `length` bytes at `block` into `out`. Answers false
// when the block is corrupt: a header that does not fit the length, a payload that cannot
// give the uncompressed size (or one above the series limit), a bad chunk length, a bit
// stream that runs past its payload, a match reaching before its chunk or past its end, or
// a byte count other than the uncompressed size. Bytes after the payload are ignored.
bool decompress(const u8* block, u64 length, codecs::byte_buffer& out);

// Compresses `length` bytes into a block in `out` and answers its size, or -1 (and `out`
// empty) when the input is shorter than 128 bytes or the block would take more than
// `length` bytes.
i64 compress(const u8* source, u64 length, codecs::byte_buffer& out);

}  // namespace vyr::lz
