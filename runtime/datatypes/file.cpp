// file!: mold with its "%" prefix, the platform form of a path (the same UTF-8 text on
// Linux, refused when it holds NUL), and the file actions through simple-io.
#include "runtime/datatypes/file.h"

#include <ctime>

#include "runtime/collector.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/date.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/string_actions.h"
#include "runtime/datatypes/unset.h"
#include "runtime/datatypes/url.h"
#include "runtime/fire.h"
#include "runtime/host/simple_io.h"
#include "runtime/stack.h"
#include "runtime/platform.h"
#include "runtime/unicode.h"

namespace vyr::file {

cell* push(const cell* value) { return stack::push_copy(value); }

cell* load(const char* text, u32 size, i32 encoding) {
  cell* out = stack::push_slot();
  out->header = TYPE_UNSET;
  string::load_at(text, size, out, encoding);
  set_type(out, TYPE_FILE);
  return out;
}

cell* from_local_slashes(cell* value) {
  series_buffer* b = buffer_of(value->data2);
  u32 unit = b->unit();
  u32 used = b->used_units();
  for (u32 i = value->data1; i < used; i++) {
    char* p = b->head() + u64{i} * unit;
    if (string::get_char(p, unit) == '\\') string::put_unit(p, unit, '/');
  }
  return value;
}

void to_local_path(const cell* value, cell* dest, bool full) {
  cell v = *value;
  collector::root_guard keep(&v);
  bool absolute = string::rs_length_q(&v) > 0 && string::rs_abs_at(&v, v.data1) == '/';
  if (full && !absolute) {
    stack::guard g;
    cell* dir = get_current_dir();
    string::concatenate(dest, dir, -1, 0, false, string::CONCAT_APPEND);
  }
  string::concatenate(dest, &v, -1, 0, false, string::CONCAT_APPEND);
}

std::string to_OS_path(const cell* value) {
  // A name byte that is not part of valid UTF-8 is held as the code point ESCAPED_BYTE +
  // byte (see the folder listing): it goes back as that one byte, naming the same file.
  std::string path;
  series_buffer* b = buffer_of(value->data2);
  u32 n = b->used_units();
  char seq[4];
  for (u32 i = value->data1; i < n; i++) {
    u32 c = string::rs_abs_at(value, i);
    if (c >= ESCAPED_BYTE + 0x80 && c <= ESCAPED_BYTE + 0xFF)
      path += static_cast<char>(c - ESCAPED_BYTE);
    else
      path.append(seq, unicode::cp_to_utf8(c, seq));
  }
  // A NUL would cut the name short at the platform and name another file.
  if (path.find('\0') != std::string::npos) {
    cell v = *value;
    fire("script", "invalid-arg", &v);
  }
  return path;
}

cell* get_current_dir() {
  std::string dir = platform::query_current_dir().value_or("/");
  if (dir.empty() || dir.back() != '/') dir += '/';
  cell* out = stack::push_slot();
  out->header = TYPE_UNSET;
  string::load_at(dir.data(), static_cast<u32>(dir.size()), out, string::ENCODING_UTF8);
  return out;
}

// ---- Actions ----------------------------------------------------------------------------

i32 mold(const cell* value, cell* out, bool only, bool all, bool flat, const cell* part,
         i32 budget, i32 indent) {
  cell v = *value;
  collector::root_guard keep(&v);
  u32 n = static_cast<u32>(string::rs_length_q(&v));
  if (part) n = budget < 0 ? 0 : std::min<u64>(n, static_cast<u64>(budget));
  v.data1 = std::min(v.data1, buffer_of(v.data2)->used_units());
  if (n == 0) return datatype::append_text(out, "%\"\"", budget);
  bool quoted = false;
  for (u32 i = 0; i < n && !quoted; i++) {
    u32 c = string::rs_abs_at(&v, v.data1 + i);
    quoted = c < 0x7F && !url::safe_q(c);
  }
  // Inside the quotes the characters stay as they are, except the two that would end the
  // quoted name or start an escape when it is loaded back: they get a caret.
  cell text{TYPE_UNSET, 0, 0, 0};
  collector::root_guard keep_text(&text);
  string::make_at_unit(&text, n + 8, buffer_of(v.data2)->unit());
  series_buffer* t = buffer_of(text.data2);
  t = string::append_char(t, '%');
  if (quoted) t = string::append_char(t, '"');
  for (u32 i = 0; i < n; i++) {
    u32 c = string::rs_abs_at(&v, v.data1 + i);
    if (quoted && (c == '"' || c == '^')) t = string::append_char(t, '^');
    t = string::append_char(t, c);
  }
  if (quoted) t = string::append_char(t, '"');
  i32 written = string::rs_length_q(&text);
  string::concatenate(out, &text, -1, 0, false, string::CONCAT_APPEND);
  return budget - written;
}

const cell* delete_(cell* value) {
  return stack::set_result(logic::of(simple_io::delete_file(value)));
}

const cell* query(cell* value) {
  i64 seconds, nanoseconds;
  if (!simple_io::file_modified_time(value, &seconds, &nanoseconds))
    return stack::set_result(&none_value);
  // The modification time as UTC fields, milliseconds kept.
  time_t t = static_cast<time_t>(seconds);
  struct tm f;
  if (!gmtime_r(&t, &f)) return stack::set_result(&none_value);
  cell d;
  date::make_from_fields(&d, f.tm_year + 1900, f.tm_mon + 1, f.tm_mday, f.tm_hour, f.tm_min,
                         f.tm_sec, static_cast<i32>(nanoseconds / 1000000 * 1000000));
  return stack::set_result(&d);
}

const cell* rename(cell* value, const cell* new_name) {
  return stack::set_result(logic::of(simple_io::rename_file(value, new_name)));
}

const cell* read(cell* source, const read_args& opts) {
  if (opts.as) fire("internal", "not-done");
  cell out{TYPE_UNSET, 0, 0, 0};
  simple_io::read_file(source, opts.part, opts.seek, opts.binary, opts.lines, &out);
  return stack::set_result(&out);
}

const cell* write(cell* destination, const cell* value, const write_args& opts) {
  if (opts.allow || opts.as) fire("internal", "not-done");
  simple_io::write_stdout(destination, value, opts.part, opts.seek, opts.binary, opts.append,
                          opts.lines);
  return stack::set_result(&unset_value);
}

// ---- Registration -----------------------------------------------------------------------

void init() {
  action_row row;  // everything else from url!
  row.mold = mold;
  row.delete_ = delete_;
  row.query = query;
  row.read = read;
  row.rename = rename;
  row.write = write;
  row.random = nullptr;
  row.reflect = nullptr;
  row.put = nullptr;
  row.sort = nullptr;
  row.trim = nullptr;
  row.open = nullptr;
  row.create = nullptr;
  row.close = nullptr;
  row.open_q = nullptr;
  row.update = nullptr;
  datatype::register_(TYPE_FILE, TYPE_URL, "file!", row);
}

}  // namespace vyr::file
