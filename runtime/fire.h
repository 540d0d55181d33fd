// Raising language errors. Every raise names its catalogue category and id by word;
// non-local exits travel as C++ exceptions of type `thrown`, tagged with their throw level.
#pragma once
#include "runtime/cell.h"
#include "runtime/hooks.h"

namespace vyr {

// Throw levels, from the strongest down; a catching point takes the levels at or above
// its threshold and rethrows the others.
enum throw_level : u32 {
  THROW_ERROR = 0x7FFFFFFF,
  THROW_BREAK = 0x7FFFFFFE,
  THROW_CONTINUE = 0x7FFFFFFD,
  THROW_RETURN = 0x7FFFFFFC,
  THROW_EXIT = 0x7FFFFFFB,
  THROW_THROW = 0x7FFFFFFA,
};

// The exception every non-local exit travels as. For an error, `value` is the error! value
// once the error module is up; before that (and for the pre-built fatal errors) the
// category and id names and the arguments are carried as they were given.
struct thrown {
  u32 level;
  cell value;           // error!, thrown value, or return value
  cell name;            // throw/name, or none
  const char* category; // for errors: the catalogue category word
  const char* id;       // for errors: the catalogue id word
  cell args[3];
  int argc;
};

[[noreturn]] void fire(const char* category, const char* id);
[[noreturn]] void fire(const char* category, const char* id, const cell* a1);
[[noreturn]] void fire(const char* category, const char* id, const cell* a1, const cell* a2);
[[noreturn]] void fire(const char* category, const char* id, const cell* a1, const cell* a2,
                       const cell* a3);

// Raised without building anything: safe when memory or stack is exhausted.
[[noreturn]] void fire_no_memory();

}  // namespace vyr
