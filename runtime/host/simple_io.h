// simple-io: the least file service the file! actions need, on POSIX calls (open, read,
// write, unlink, rmdir, rename, stat, opendir). Text files are UTF-8 with LF line ends;
// reading turns CR LF and a lone CR into LF. A size read from the platform is bounded
// before anything is allocated. Failures are language errors (access cannot-open), except
// where a flag answers (delete, rename).
#pragma once
#include <string>

#include "runtime/cell.h"

namespace vyr::simple_io {

// The file's content into `out` (which must not lie in a series buffer): a binary! with
// `binary`, else a string! (a block! of line strings with `lines`). A directory gives a
// block! of its entries as file! names, directories ending in "/", sorted by name.
// `part` (a byte count) and `seek` (a byte offset) are integer! cells or null.
cell* read_file(const cell* file, const cell* part, const cell* seek, bool binary, bool lines,
                cell* out);

// Whether the bytes are all ASCII.
bool ascii_q(const char* p, size_t n);
// Copies n bytes with CR LF and a lone CR turned into LF (dst may be src: it never runs
// ahead). `after_cr` carries a CR that ended the previous chunk, so that the LF opening
// this one is dropped; it is set when this chunk ends with a CR. Answers the bytes written.
size_t to_lf(char* dst, const char* src, size_t n, bool* after_cr);

// A fresh binary! of raw bytes (from its head), which this consumes, as the value read:
// itself with `binary`, else its UTF-8 text with CR LF and a lone CR as LF (a leading
// byte-order mark skipped), split at the line feeds into a block! of strings with `lines`
// (no empty last line; no bytes at all give an empty string). Text that is not valid UTF-8 raises access invalid-utf8 naming `source` (when given)
// and the bytes where decoding stopped.
cell* bytes_to_value(const cell* bytes, bool binary, bool lines, cell* out,
                     const cell* source = nullptr);

// Writes a string! (as UTF-8), a binary! (as bytes), with `lines` a block! (each value
// followed by LF: text as it is, other values molded), or any other value molded. `file`
// null writes to standard output. `part` (integer! only, else invalid-refine-arg) limits
// the characters or bytes written, and a negative one writes nothing; `seek` writes at that
// byte offset without truncating; `append` adds at the end. Every write is checked and a
// short one continued; a failure raises access cannot-open.
void write_stdout(const cell* file, const cell* value, const cell* part, const cell* seek,
                  bool binary, bool append, bool lines);

// Deletes a file, or removes the (empty) directory when the name ends with "/".
bool delete_file(const cell* file);
// False when the target exists (it is never replaced) or the rename fails.
bool rename_file(const cell* file, const cell* new_name);
// Directory creation (one level) and existence, for create-dir and exists?.
bool make_dir(const cell* file);
bool exists_q(const cell* file);
// The last write time in seconds since 1970 (UTC), or false when the file does not exist
// or a name ending with "/" names a file.
bool file_modified_time(const cell* file, i64* seconds, i64* nanoseconds = nullptr);

// The size in bytes of what the name opens (-1 when it cannot be opened or is a
// directory). A FIFO is opened without waiting for a writer.
i64 size_of(const cell* file);

// Low-level handles for size?: a descriptor (negative when the file cannot be opened),
// the size in bytes (negative when unknown), close.
i32 open_file(const std::string& path, i32 flags);
i64 file_size_q(i32 handle);
void close_file(i32 handle);

// Whether the name denotes a directory by its text: it ends with "/" or "\", or is "." or
// ".." (also after a separator).
bool dir_q(const cell* file);

}  // namespace vyr::simple_io
