// DEFLATE with zlib and gzip framing: our own compressor (one final block with the fixed
// Huffman codes, greedy matches through a 1,024 x 4 hash) and zlib's raw inflater under our
// own framing checks. Output goes to a C++ heap buffer, so no arena allocation happens
// while a pointer into the input is held.
#pragma once
#include "runtime/cell.h"
#include "runtime/codecs/byte_buffer.h"

namespace vyr::deflate {

enum framing : u8 { RAW, ZLIB, GZIP };

// The largest output a DEFLATE stream gives per input byte (a 258-byte match in under two
// bits, rounded up): a size hint is never trusted beyond it.
constexpr u64 MAX_EXPANSION = 1032;

// Compresses `length` bytes into `out`: a raw stream, a zlib stream (78 01, the stream,
// Adler-32 big-endian) or a gzip member (1F 8B 08 00, mtime 0, XFL 4, OS 4, the stream,
// CRC-32 and ISIZE little-endian). Raises internal no-memory past the series limit.
void compress(const u8* input, u64 length, framing how, codecs::byte_buffer& out);

// Inflates `length` bytes into `out`. False, with `out` empty, when the input is not one
// complete stream in the framing: bad header, a stream that ends before its final block's
// end code or is followed by other bytes than its trailer, a failed Adler-32, CRC-32 or
// ISIZE check, any fault zlib reports. `size_hint` (0: none) and a gzip ISIZE only pick
// the first capacity, capped at MAX_EXPANSION per input byte; the output grows as needed.
// An output beyond the series limit raises internal no-memory.
bool decompress(const u8* input, u64 length, framing how, u64 size_hint, codecs::byte_buffer& out);

}  // namespace vyr::deflate
