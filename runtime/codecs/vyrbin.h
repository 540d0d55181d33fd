// VYRBIN: the binary serialization of values. One decoder (boot mode for the boot image,
// load mode for every other document) and two writers (standard records of 32-bit words,
// compact records with varints). Shared series, contexts and functions are written once and
// referred to by their path afterwards, so sharing and cycles survive a round trip.
// The codec keeps its state in module globals: it is not re-entrant.
#pragma once
#include "runtime/cell.h"
#include "runtime/hooks.h"

namespace vyr::vyrbin {

// One nesting limit for both directions: a deeper document is refused with
// vb-invalid-record, and encoding a deeper value raises internal too-deep, so everything
// the writers produce decodes again.
constexpr u32 MAX_DEPTH = 10000;

// Decoder mode: boot mode reads the boot image's word records (root-indexed contexts,
// assignment pairs); load mode reads documents. Both writers and the codec's decode set
// load mode, which then stays set.
void set_boot_mode();
void set_load_mode();
bool boot_mode_q();

// Decodes a whole document of `length` bytes (the bytes are copied first: the input may lie
// in a series buffer) and appends its root values to the block whose node is given. With
// `raise` a bad magic or a failed decompression raises script invalid-data with `arg` (or
// the integer 0 when arg is null); without it, it prints the message on standard error and
// ends the process with status 99. Malformed records raise script vb-invalid-record with the
// 1-based byte position (counted as if the document were stored uncompressed); records of
// routine!, triple!, handle!, port! and event! raise access no-codec. Answers the index in
// the target block of the first root value decoded. The target must be rooted.
u32 decode(const u8* input, u64 length, u32 target, bool raise, const cell* arg = nullptr);

// Start-up: decodes the boot image into the runtime's root block in boot mode with the
// collector off (restored on every exit), then sets the root base. Any failure prints its
// message on standard error and exits with status 99. With `keep`, the previous root base
// is put back afterwards. Answers the root base (an index into the root block).
u32 boot_load(const u8* image, u64 length, bool keep);
cell* root_cell(u32 n);  // root value n of the boot image (valid until the root block moves)
u32 root_node(u32 n);    // word 1 of root value n: the context of an object or function

// The writers: a new binary! holding the document of one value, written into `out` (a
// stack cell or a rooted local). Errors are raised, never returned, and leave no state.
void encode(const cell* value, cell* out);
void encode_compact(const cell* value, cell* out);

// The boot document writer of the build tool: compact (or standard) records in boot mode,
// version 1, several roots, root-indexed word contexts and assignment pairs, optionally an
// LZ-compressed body. A word bound to a context must name one owned by an earlier root
// object! or function! (its words are bound by that root's index); any other binding, like
// the values no writer takes, raises access no-codec. Values handed in must stay reachable
// until finish.
class writer;
class boot_document {
 public:
  explicit boot_document(bool compact = true);
  ~boot_document();
  boot_document(const boot_document&) = delete;
  boot_document& operator=(const boot_document&) = delete;
  void root(const cell* value);                     // the next root value
  void assign(const cell* word, const cell* value); // word: value, making no root
  void finish(cell* out, bool compress);            // the document as a new binary!
 private:
  writer* writer_;
};

// The codec's operations, as the routine registry calls them: the arguments are the
// routine's argument cells, the first also its result slot.
//   encode* [data compact?]   the document of data, compact when compact? is true
//   decode  [payload]         a binary!, or a file!/url! read as binary: one root value
//                             gives that value, several a block
// (The codec's encode is a function of the library that calls encode* with its compact?.)
void encode_star_routine(cell* args, u32 count);
void decode_routine(cell* args, u32 count);
// Registers the two under the names "vyrbin-encode*" and "vyrbin-decode".
void register_routines();

// The decode routine's work on a value, written into `out`.
void decode_value(const cell* payload, cell* out);

}  // namespace vyr::vyrbin
