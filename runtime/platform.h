// The operating system services the runtime core calls directly: console output through the
// text print hooks, clock and time zone, environment, current directory, sleeping, pages
// and secure random bytes. Text crosses this boundary as UTF-8.
#pragma once
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "runtime/cell.h"
#include "runtime/print_hooks.h"

namespace vyr::platform {

// Once, after init_print_hooks: notes whether stdout is a terminal and registers
// stdout_text_hook as the first text print hook. Calling it again changes nothing.
void init();

// ---- console output ----
// Every printer below hands its text, as UTF-8 with a "\n" appended when new_line is set,
// to the text print hooks with mode 0. The default hook writes the bytes to stdout as they
// are: a terminal interprets ANSI escapes itself, and a file or pipe takes them unchanged.
// A host that wants printing elsewhere unregisters stdout_text_hook.
void stdout_text_hook(std::string_view utf8, u32 mode);
bool stdout_is_terminal();

void print_text(std::string_view utf8, bool new_line);
void print_latin1(const u8* text, size_t length, bool new_line);
void print_ucs2(const u16* text, size_t length, bool new_line);  // each unit one code point
void print_ucs4(const u32* text, size_t length, bool new_line);
void print_ascii(const char* text);  // NUL-terminated, no line end
void print_integer(i32 value);       // "%i"
void print_hex_byte(u8 value);       // "%02X"
void print_hex(u32 value);           // "%08X"
void print_float(double value);      // "%.16g"
void print_float32(float value);     // "%.7g"

// ---- clock ----
// Time of day in seconds, UTC; with `precise` the fraction of the second is added in
// steps of 100 ns.
double get_time(bool precise);
double time_of_day(i64 unix_seconds, i64 nanoseconds, bool precise);

// Today packed as a date! word: year << 17 | month << 12 | day << 7 | zone. With `utc` the
// zone is 0, else the local zone now (pack_zone).
u32 get_date(bool utc);
int zone_offset_minutes();  // the local zone now, minutes east of UTC
// Zone bits: hours toward zero in bits 2-5 with 0x40 (bit 4 of the hours) for a negative
// offset, quarter hours of the remainder in bits 0-1.
u32 pack_zone(int offset_minutes);
u32 pack_date(int year, int month, int day, int offset_minutes);

// ---- environment ----
// Names are refused (false) when empty or holding "=" or NUL; values holding NUL likewise.
// Text read from the environment that is not valid UTF-8 has those bytes replaced by U+FFFD.
std::optional<std::string> get_env(std::string_view name);
bool set_env(std::string_view name, std::optional<std::string_view> value);  // nullopt deletes
std::vector<std::pair<std::string, std::string>> list_env();

// ---- current directory ----
std::optional<std::string> query_current_dir();  // nullopt when it no longer exists
bool set_current_dir(std::string_view path);

// ---- sleeping ----
// Seconds x 1000 truncated to milliseconds, at least 1 and at most 0x7FFFFFFF (about 24.8
// days; infinity too); NaN raises script invalid-arg.
u32 sleep_milliseconds(double seconds);
void sleep(double seconds);

// ---- pages and random bytes ----
// Zeroed read-write pages from the arena (offset of the usable area); internal no-memory
// when none are left. Executable pages are never given: internal not-done.
u32 allocate_pages(u64 size, bool executable);
void free_pages(u32 area);

// Fills out[0..n) from the kernel's generator; internal feature-na when it fails (the
// buffer is then zeroed, never left half random).
void secure_random_bytes(void* out, size_t n);

}  // namespace vyr::platform
