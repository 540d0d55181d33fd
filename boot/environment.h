// The bootstrap environment: the words of the datatypes, the typesets, the natives, the
// actions and the operators, built at start-up from the Vyr sources listed in
// environment/manifest.txt (embedded at build time; `VYR_BOOT_DIR=dir` loads them from
// that directory instead).
#pragma once
#include <optional>
#include <string>

#include "runtime/cell.h"
#include "runtime/fire.h"

namespace vyr::boot {

struct environment_file {
  const char* name;
  unsigned size;
  const char* text;
  bool evaluate;  // false: data read by a module (the error catalogue)
};
extern const environment_file environment_files[];
extern const unsigned environment_file_count;

// Builds the environment once (after init_runtime). Also installs the lexer's loader as
// the interpreter's text loader (`do` of a string!, the console).
void build_environment();

// Evaluates Vyr source text (with an optional `Vyr [...]` header, skipped) in the global
// context; the last value goes to `result` when given. Errors propagate.
// `source` (a file! or null) names the script in the missing-header error.
void do_source(const char* utf8, u32 length, bool header_required, cell* result,
               const cell* source = nullptr);

// Marks a block and every block and paren in it as the library's: tracing sees the calls of
// the functions made from them but not their insides.
void mark_library(u32 node);

// The whole content of a file, or nothing when it cannot be opened.
std::optional<std::string> read_file(const std::string& path);

// The report text of an uncaught error (the form of its error! value).
std::string error_report(const thrown& t);

}  // namespace vyr::boot
