// Text-mode console and script runner (see console.h).
#include "boot/console.h"

#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>

#include "boot/environment.h"
#include "boot/load_text.h"
#include "runtime/collector.h"
#include "runtime/datatypes/context.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/word.h"
#include "runtime/interpreter/actions.h"
#include "runtime/interpreter/cells.h"
#include "runtime/interpreter/interpreter.h"
#include "runtime/interpreter/stack.h"
#include "runtime/platform.h"

namespace vyr::console {

namespace {
cell catalog{TYPE_NONE, 0, 0, 0};   // the error catalogue, loaded as data
cell last_where{TYPE_NONE, 0, 0, 0};
cell last_near{TYPE_NONE, 0, 0, 0};
bool builder_installed = false;

void record_position(const char*, const char*, const cell*, int, cell* out) {
  last_where = stack::current_call_word();
  last_near = interpreter::current_position;
  *out = cell{TYPE_NONE, 0, 0, 0};
}

std::string mold_text(const cell* v, bool only, i32 limit) {
  stack::guard g;
  cell value = *v;
  collector::root_guard rg(&value);
  cell out{TYPE_UNSET, 0, 0, 0};
  collector::root_guard og(&out);
  string::make_at(&out, 16);
  actions::mold(&value, &out, only, false, true, nullptr, limit, 0);
  std::string s = string::to_utf8(&out);
  if (limit != actions::NO_LIMIT && s.size() > size_t(limit)) s.resize(size_t(limit));
  return s;
}

std::string form_text(const cell* v) {
  stack::guard g;
  return string::to_utf8(actions::form_to_string(v));
}

// The category block and its template for the error, from the catalogue.
bool find_template(const char* category, const char* id, std::string* title, cell* tmpl) {
  if (type_of(&catalog) != TYPE_BLOCK) return false;
  u32 cat = symbol::resolve(symbol::make(category));
  u32 want = symbol::resolve(symbol::make(id));
  u32 node = catalog.data2;
  for (u32 i = 0; i + 1 < cells::length(node); i++) {
    const cell* c = cells::at(node, i);
    if (type_of(c) != TYPE_WORD || symbol::resolve(c->data2) != cat) continue;
    const cell* b = cells::at(node, i + 1);
    if (type_of(b) != TYPE_BLOCK) return false;
    u32 bn = b->data2;
    for (u32 k = 0; k + 1 < cells::length(bn); k++) {
      const cell* w = cells::at(bn, k);
      if (type_of(w) != TYPE_SET_WORD) continue;
      std::string name(symbol::name(w->data2));
      if (name == "type") *title = form_text(cells::at(bn, k + 1));
      if (symbol::resolve(w->data2) == want) *tmpl = *cells::at(bn, k + 1);
    }
    return type_of(tmpl) != TYPE_NONE;
  }
  return false;
}
}  // namespace

void install_error_support() {
  if (!error_builder) {
    error_builder = record_position;
    builder_installed = true;
  }
  if (type_of(&catalog) == TYPE_NONE) {
    collector::add_root(&catalog);
    collector::add_root(&last_where);
    collector::add_root(&last_near);
    for (unsigned i = 0; i < boot::environment_file_count; i++) {
      const boot::environment_file& f = boot::environment_files[i];
      if (std::string(f.name) == "errors.vyr") interpreter::load_hook(f.text, f.size, &catalog);
    }
  }
}

std::string error_report(const thrown& t) {
  if (type_of(&t.value) == TYPE_ERROR) {
    stack::guard g;
    return form_text(&t.value);
  }
  std::string title = t.category ? t.category : "Internal";
  cell tmpl{TYPE_NONE, 0, 0, 0};
  collector::root_guard tg(&tmpl);
  std::string message;
  if (t.category && t.id && find_template(t.category, t.id, &title, &tmpl)) {
    if (type_of(&tmpl) == TYPE_STRING) {
      message = form_text(&tmpl);
    } else if (type_of(&tmpl) == TYPE_BLOCK) {
      bool syntax = std::string(t.category) == "syntax";
      for (u32 i = tmpl.data1; i < cells::length(tmpl.data2); i++) {
        cell item = *cells::at(tmpl.data2, i);
        if (!message.empty()) message += ' ';
        if (type_of(&item) == TYPE_STRING) {
          message += form_text(&item);
        } else {
          std::string n(symbol::name(item.data2));
          int k = n == "arg1" ? 0 : n == "arg2" ? 1 : n == "arg3" ? 2 : -1;
          cell a = k >= 0 && k < t.argc ? t.args[k] : cell{TYPE_NONE, 0, 0, 0};
          message += syntax ? form_text(&a) : mold_text(&a, false, 80);
        }
      }
    }
  } else {
    message = std::string(t.category ? t.category : "?") + "/" + (t.id ? t.id : "?");
  }
  std::string r = "*** " + title + ": " + message;
  r += "\n*** Where: ";
  r += word::kind_q(type_of(&last_where)) ? form_text(&last_where) : "???";
  r += "\n*** Near : ";
  if (cells::block_like_q(type_of(&last_near))) r += mold_text(&last_near, true, 40);
  return r;
}

namespace {
// Open brackets, parens, braces or an open string: the input continues on the next line.
bool input_complete(const std::string& s) {
  int depth = 0, braces = 0;
  bool in_string = false;
  for (size_t i = 0; i < s.size(); i++) {
    char c = s[i];
    if (in_string) {
      if (c == '^') i++;
      else if (c == '"') in_string = false;
      else if (c == '\n') in_string = false;
      continue;
    }
    if (braces > 0) {
      if (c == '^') i++;
      else if (c == '{') braces++;
      else if (c == '}') braces--;
      continue;
    }
    switch (c) {
      case ';': while (i < s.size() && s[i] != '\n') i++; break;
      case '"': in_string = true; break;
      case '{': braces++; break;
      case '[': case '(': depth++; break;
      case ']': case ')': depth--; break;
      default: break;
    }
  }
  return depth <= 0 && braces == 0 && !in_string;
}

// Evaluates one console input; prints the result or the error report.
void eval_input(const std::string& text) {
  stack::state_guard sg;
  last_where = cell{TYPE_NONE, 0, 0, 0};
  last_near = cell{TYPE_NONE, 0, 0, 0};
  try {
    cell result{TYPE_UNSET, 0, 0, 0};
    collector::root_guard rg(&result);
    boot::do_source(text.data(), u32(text.size()), false, &result);
    if (type_of(&result) != TYPE_UNSET) {
      std::string s = "== " + mold_text(&result, false, actions::NO_LIMIT);
      platform::print_text(s, true);
    }
  } catch (const thrown& t) {
    thrown copy = t;
    sg.restore();
    platform::print_text(error_report(copy), true);
  }
}
}  // namespace

int run_console() {
  install_error_support();
  bool tty = isatty(0);
  std::string pending;
  std::string line;
  for (;;) {
    if (tty) {
      std::fputs(pending.empty() ? ">> " : "   ", stdout);
      std::fflush(stdout);
    }
    if (!std::getline(std::cin, line)) break;
    pending += line;
    pending += '\n';
    if (!input_complete(pending)) continue;
    std::string text;
    text.swap(pending);
    eval_input(text);
    std::fflush(stdout);
  }
  if (!pending.empty()) eval_input(pending);
  std::fflush(stdout);
  return 0;
}

int run_script(const char* path) {
  install_error_support();
  std::ifstream f(path, std::ios::binary);
  if (!f) {
    std::fprintf(stdout, "*** Access Error: cannot open: %s\n", path);
    return 1;
  }
  std::ostringstream s;
  s << f.rdbuf();
  std::string text = s.str();
  stack::state_guard sg;
  try {
    boot::do_source(text.data(), u32(text.size()), true, nullptr);
  } catch (const thrown& t) {
    thrown copy = t;
    sg.restore();
    platform::print_text(error_report(copy), true);
    std::fflush(stdout);
    return 1;
  }
  std::fflush(stdout);
  return 0;
}

}  // namespace vyr::console
