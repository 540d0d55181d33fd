// `fire`: builds the error (through the installed builder when there is one) and throws it.
#include "runtime/fire.h"

namespace vyr {

error_builder_fn error_builder = nullptr;
prebuilt_error_fn prebuilt_error = nullptr;

namespace {
[[noreturn]] void raise(const char* category, const char* id, const cell* const* args, int argc) {
  thrown t{};
  t.level = THROW_ERROR;
  t.category = category;
  t.id = id;
  t.argc = argc;
  t.name.header = TYPE_NONE;
  for (int i = 0; i < argc; i++) copy_cell(args[i], &t.args[i]);
  t.value.header = TYPE_NONE;
  if (error_builder) error_builder(category, id, t.args, argc, &t.value);
  throw t;
}
}  // namespace

void fire(const char* c, const char* i) { raise(c, i, nullptr, 0); }
void fire(const char* c, const char* i, const cell* a1) {
  const cell* a[] = {a1};
  raise(c, i, a, 1);
}
void fire(const char* c, const char* i, const cell* a1, const cell* a2) {
  const cell* a[] = {a1, a2};
  raise(c, i, a, 2);
}
void fire(const char* c, const char* i, const cell* a1, const cell* a2, const cell* a3) {
  const cell* a[] = {a1, a2, a3};
  raise(c, i, a, 3);
}

void fire_no_memory() {
  // No builder call: building an error value would need the memory that just ran out.
  // The pre-built value is copied instead (a bare category/id before the error module).
  thrown t{};
  t.level = THROW_ERROR;
  t.category = "internal";
  t.id = "no-memory";
  t.value.header = TYPE_NONE;
  t.name.header = TYPE_NONE;
  if (prebuilt_error) {
    if (const cell* e = prebuilt_error("no-memory")) t.value = *e;
  }
  throw t;
}

}  // namespace vyr
