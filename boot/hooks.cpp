// Wiring of the module hooks to the interpreter and the lexer. The modules below the
// interpreter cannot call it directly (they are built and tested without it), so each
// leaves a function pointer that is filled here.
#include "boot/hooks.h"

#include <optional>
#include <string>

#include "boot/environment.h"
#include "runtime/datatypes/file.h"

#include "runtime/collector.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/context.h"
#include "runtime/datatypes/float.h"
#include "runtime/datatypes/function.h"
#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/object.h"
#include "runtime/datatypes/string_actions.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/series.h"
#include "runtime/fire.h"
#include "runtime/datatypes/cells.h"
#include "runtime/interpreter/interpreter.h"
#include "runtime/hooks.h"
#include "runtime/lexer/lexer_load.h"
#include "runtime/natives/natives.h"
#include "runtime/stack.h"

namespace vyr::boot {

namespace {

// `to block!` of a string: the lexer loads its text from the index.
// The text may lie in a series buffer that loading moves: it is copied and rooted first.
void load_text(const cell* text, cell* out) {
  cell t = *text;
  collector::root_guard g(&t);
  cell r{TYPE_NONE, 0, 0, 0};
  collector::root_guard rg(&r);
  lexer::load_string(&r, &t);
  *out = r;
}

// A function! comparator of block sort: true puts a first, false b first, a number orders
// by its sign; other values count by their truth as logic! does.
i32 block_compare(const cell* fn_in, const cell* a_in, const cell* b_in) {
  // a and b may point into the buffer being sorted: copied before anything allocates.
  cell fn = *fn_in;
  cell args[2] = {*a_in, *b_in};
  collector::root_guard g1(&fn), g2(args, 2);
  cell r;
  interpreter::call(&fn, args, 2, &r);
  switch (type_of(&r)) {
    case TYPE_INTEGER: {
      i32 n = integer::get(&r);
      return n < 0 ? -1 : n > 0 ? 1 : 0;
    }
    case TYPE_FLOAT: {
      double d = float_::get(&r);
      return d < 0 ? -1 : d > 0 ? 1 : 0;
    }
    default:
      return logic::true_q(&r) ? -1 : 1;
  }
}

// The string module reads the comparator's answer itself.
void string_compare(const cell* fn_in, const cell* first, const cell* second, cell* out) {
  cell fn = *fn_in;
  cell args[2] = {*first, *second};
  collector::root_guard g1(&fn), g2(args, 2);
  cell r;
  interpreter::call(&fn, args, 2, &r);
  *out = r;
}

// The block of `make object! [...]` or `make error! [...]`: bound, run, its value dropped.
void evaluate_spec(const cell* block) {
  cell b = *block;
  collector::root_guard g(&b);
  cell r;
  interpreter::do_block(&b, &r);
}

void call_handler(const cell* handler, const cell*, const cell* args_in, u32 argc, u32) {
  cell fn = *handler;
  cell args[8];
  if (argc > 8) fire("internal", "not-done");
  for (u32 i = 0; i < argc; i++) args[i] = args_in[i];
  collector::root_guard g1(&fn), g2(args, argc);
  cell r;
  interpreter::call(&fn, args, argc, &r);
}

u32 count_locals(const cell* fn) {
  if (type_of(fn) != TYPE_FUNCTION) return 0;
  i32 n = function::count_locals(function::spec(fn), 0, false);
  return n < 0 ? 0 : static_cast<u32>(n);
}

// A method of a copied object: a new function! with a deep copy of the body, bound to the
// object (with `self`) and then to its own copy of the function's context.
void rebind_method(cell* slot, u32 obj_ctx) {
  cell fn = *slot;
  collector::root_guard g(&fn);
  cell body = *cells::get(function::more(&fn), function::MORE_BODY);
  if (!cells::block_like_q(type_of(&body))) fire("script", "bad-func-def", &fn);
  collector::root_guard gb(&body);
  u32 ctx = _context::clone(function::context(&fn), _context::KIND_FUNCTION);
  collector::node_guard cg(&ctx);
  cell spec{TYPE_BLOCK, 0, function::spec(&fn), 0};
  collector::root_guard gs(&spec);
  stack::guard sg;
  function::push(&spec, &body, ctx, 0, 0, fn.header & ~HEADER_TYPE_MASK);
  cell copy = *(stack::top - 1);
  collector::root_guard gc(&copy);
  cell copied_body = *cells::get(function::more(&copy), function::MORE_BODY);
  _context::bind(&copied_body, obj_ctx, true);
  _context::bind(&copied_body, ctx, false);
  *slot = copy;
}

// The lexer's trace callback. The callback may move its `input` argument to move the scan:
// the argument cells of the call stay where interpreter::call put them (right after the
// function cell it pushes at the old top) once it returns, so the final `input` is read
// from there, after checking that the function cell is still in place.
bool lexer_call(const cell* callback, cell* args) {
  cell fn = *callback;
  collector::root_guard g(&fn);
  cell* start = stack::top;
  cell r;
  interpreter::call(&fn, args, 5, &r);
  if (type_of(&fn) == TYPE_FUNCTION && function::context(&start[0]) == function::context(&fn) &&
      function::more(&start[0]) == function::more(&fn) && type_of(&start[2]) == type_of(&args[1]) &&
      series::node(&start[2]) == series::node(&args[1]))
    args[1] = start[2];
  return logic::true_q(&r);
}

const cell* lexer_body_head(const cell* callback) {
  if (type_of(callback) != TYPE_FUNCTION) return nullptr;
  const cell* body = cells::get(function::more(callback), function::MORE_BODY);
  if (!cells::block_like_q(type_of(body))) return nullptr;
  if (series::index(body) >= cells::length(series::node(body))) return nullptr;
  return cells::get(series::node(body), series::index(body));
}

}  // namespace

// `do %script`: the file's text, header required, evaluated like a script given to vyr.
void do_file(const cell* file, cell* result) {
  cell f = *file;
  collector::root_guard g(&f);
  std::optional<std::string> text = read_file(file::to_OS_path(&f));
  if (!text) fire("access", "cannot-open", &f);
  do_source(text->data(), static_cast<u32>(text->size()), true, result, &f);
}

void install_hooks() {
  block::load_hook = load_text;
  block::sort_call_hook = block_compare;
  string::call_comparator = string_compare;
  object::evaluate = evaluate_spec;
  object::call_handler = call_handler;
  object::count_locals = count_locals;
  object::rebind_method = rebind_method;
  interpreter::do_file_hook = do_file;
  lexer::hooks.call = lexer_call;
  lexer::hooks.body_head = lexer_body_head;
}

void install_runtime_hooks() {
  hooks::cache_spec = interpreter::cache_spec;
  hooks::same_call_shape = interpreter::same_call_shape;
  hooks::native_exists = [](u32 i) { return natives::entry(i) != nullptr; };
  hooks::call_slots = interpreter::call_slots;
}

}  // namespace vyr::boot
