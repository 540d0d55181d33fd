// Links the datatype modules to the interpreter and the lexer: the datatypes were built
// before either existed and reach them only through these hooks.
#include "runtime/interpreter/datatype_hooks.h"

#include "runtime/collector.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/context.h"
#include "runtime/datatypes/function.h"
#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/object.h"
#include "runtime/fire.h"
#include "runtime/interpreter/cells.h"
#include "runtime/interpreter/interpreter.h"
#include "runtime/interpreter/lexer_load.h"
#include "runtime/interpreter/stack.h"
#include "runtime/memory.h"

namespace vyr::datatype_hooks {

namespace {

// `to block!` of a string-like value: the lexer loads it from its index.
void load_text(const cell* text, cell* out) {
  cell t = *text;
  collector::root_guard g(&t);
  cell r{TYPE_NONE, 0, 0, 0};
  collector::root_guard rg(&r);
  lexer::load_string(&r, &t);
  *out = r;
}

// `sort/compare` with a function: true puts a first, a number gives the order by its sign.
i32 call_compare(const cell* fn, const cell* a, const cell* b) {
  cell args[2] = {*a, *b};
  collector::root_guard g0(&args[0]), g1(&args[1]);
  cell r{TYPE_NONE, 0, 0, 0};
  collector::root_guard rg(&r);
  interpreter::call(fn, args, 2, &r);
  switch (type_of(&r)) {
    case TYPE_LOGIC: return r.data1 == 1 ? -1 : 1;
    case TYPE_INTEGER: {
      i32 v = static_cast<i32>(r.data2);
      return v < 0 ? -1 : v > 0 ? 1 : 0;
    }
    case TYPE_FLOAT: {
      double d = cell_float(&r);
      return d < 0 ? -1 : d > 0 ? 1 : 0;
    }
    default: return logic::true_q(&r, false) ? -1 : 1;
  }
}

void evaluate(const cell* block) {
  cell b = *block, r{TYPE_NONE, 0, 0, 0};
  collector::root_guard g(&b), rg(&r);
  interpreter::do_block(&b, &r);
}

void call_handler(const cell* handler, const cell*, const cell* args, u32 argc, u32) {
  cell fn = *handler, r{TYPE_NONE, 0, 0, 0};
  collector::root_guard g(&fn), rg(&r);
  interpreter::call(&fn, args, argc, &r);
}

u32 count_locals(const cell* fn) {
  if (type_of(fn) != TYPE_FUNCTION) return 0;
  i32 n = function::count_locals(fn->data2, 0, false);
  return n < 0 ? 0 : u32(n);
}

// A method of a copied object: a new function whose body, deep-copied, sees the new
// object's fields, its own arguments and locals taking precedence over them.
void rebind_method(cell* slot, u32 ctx) {
  cell fn = *slot;
  collector::root_guard g(&fn);
  collector::node_guard cg(&ctx);
  cell spec{TYPE_BLOCK, 0, fn.data2, 0};
  collector::root_guard sg(&spec);
  cell body = cells::at(fn.data3, function::MORE_BODY)[0];
  collector::root_guard bg(&body);
  if (cells::block_like_q(type_of(&body))) {
    body = *block::clone(&body, true, true);
    stack::top--;
    _context::bind(&body, ctx, true);
  }
  stack::guard keep;
  function::push(&spec, &body, 0, 0, 0,
                 fn.header & (function::FLAG_NO_TRACE | function::FLAG_TRACE));
  *slot = stack::top[-1];
}

}  // namespace

void init() {
  block::load_hook = load_text;
  block::sort_call_hook = call_compare;
  object::evaluate = evaluate;
  object::call_handler = call_handler;
  object::count_locals = count_locals;
  object::rebind_method = rebind_method;
}

}  // namespace vyr::datatype_hooks
