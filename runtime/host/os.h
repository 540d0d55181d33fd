// The services that face the operating system: the environment (as UTF-8), the raw command
// line, the description of the running system, and a type guard for the imaging code.
#pragma once
#include <string>
#include <vector>

#include "runtime/cell.h"

namespace vyr::os {

// False when the name is empty or holds "=" or NUL, or the value holds NUL; a null value
// removes the variable.
bool set_env(const std::string& name, const std::string* value);
// False when the variable is not set (or the name cannot be one).
bool get_env(const std::string& name, std::string* value);

// Every variable as a map! of name strings to value strings into `out` (which must not lie
// in a series buffer). An entry is split at its first "=" that is not its first character;
// an empty value stays an empty string.
cell* list_env(cell* out);
// The same split for one entry (for tests and callers that hold an environment block).
std::pair<std::string, std::string> split_env_entry(const std::string& entry);

// The process's arguments joined into one line: a piece holding a blank or a double quote,
// or an empty one, is written inside double quotes, so the command-line splitter gives the
// pieces back (a piece holding a quote itself cannot round-trip).
std::string command_line();
std::string join_command_line(const std::vector<std::string>& args);

// The OS description object into `out`: name (PRETTY_NAME of /etc/os-release, else
// "Linux"), arch (a word: x86-64, x86-32, ARM, ARM64, IA-64 or Unknown), version (a tuple
// of the kernel's major.minor.patch, each at most 255) and build (the number after them in
// the release text, else 0).
cell* os_info(cell* out);
// The pieces of os_info from their sources, for tests.
std::string os_name_from(const std::string& os_release);
const char* arch_name(const std::string& machine);
void kernel_version(const std::string& release, u8 version[3], i32* build);

// Returns when the value has the type; otherwise raises script invalid-arg with the value.
void expect_type(const cell* value, u32 type);

}  // namespace vyr::os
