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

// Writes a string! (as UTF-8), a binary! (as bytes), with `lines` a block! (each value
// formed and followed by LF), or any other value formed. `file` null writes to standard
// output. `part` limits the characters or bytes written; `seek` writes at that byte offset
// without truncating; `append` adds at the end.
void write_stdout(const cell* file, const cell* value, const cell* part, const cell* seek,
                  bool binary, bool append, bool lines);

// Deletes a file, or removes the (empty) directory when the name ends with "/".
bool delete_file(const cell* file);
bool rename_file(const cell* file, const cell* new_name);
// The last write time in seconds since 1970 (UTC), or false when the file does not exist
// or a name ending with "/" names a file.
bool file_modified_time(const cell* file, i64* seconds, i64* nanoseconds = nullptr);

// Low-level handles for size?: a descriptor (negative when the file cannot be opened),
// the size in bytes (negative when unknown), close.
i32 open_file(const std::string& path, i32 flags);
i64 file_size_q(i32 handle);
void close_file(i32 handle);

// Whether the name denotes a directory by its text: it ends with "/" or "\", or is "." or
// ".." (also after a separator).
bool dir_q(const cell* file);

}  // namespace vyr::simple_io
