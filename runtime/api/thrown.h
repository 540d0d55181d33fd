// The exception the runtime raises and the GUI module catches: part of the host API, so
// that both sides name one type (its typeinfo is what the executable exports for the
// module's catch clauses). The module raises through the table's `fire`.
#pragma once
#include "runtime/cell.h"

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

}  // namespace vyr
