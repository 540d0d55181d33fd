// Text-mode console and script runner (see console.h).
#include "boot/console.h"

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <iostream>
#include <new>
#include <optional>

#include "boot/environment.h"
#include "console/text/delimiters.h"
#include "console/text/natives.h"
#include "console/text/tty.h"
#include "runtime/collector.h"
#include "runtime/datatypes/file.h"
#include "runtime/datatypes/string.h"
#include "runtime/interpreter/actions.h"
#include "runtime/interpreter/cells.h"
#include "runtime/interpreter/interpreter.h"
#include "runtime/interpreter/stack.h"
#include "runtime/platform.h"

namespace vyr::console {

namespace {
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
}  // namespace

std::string error_report(const thrown& t) {
  if (type_of(&t.value) == TYPE_ERROR) {
    stack::guard g;
    return string::to_utf8(actions::form_to_string(&t.value));
  }
  // Only what is raised before the error module is up arrives without an error! value.
  return std::string("*** ") + (t.category ? t.category : "?") + ": " + (t.id ? t.id : "?");
}

namespace {
// A result as the console shows it: a float! formed, anything else molded, cut to the
// console's width. The cut leaves room for the printed prefix and its space, so the line
// fits in one column less than the console has.
std::string result_text(const cell* result) {
  i64 limit = i64(text::size().first) - 3;
  if (limit < 1) limit = 1;
  std::string s;
  if (type_of(result) == TYPE_FLOAT) {
    stack::guard g;
    s = string::to_utf8(actions::form_to_string(result));
  } else {
    s = mold_text(result, false, i32(limit + 5));
  }
  std::u32string t = text::decode_utf8(s);
  if (i64(t.size()) <= limit) return s;
  i64 keep = limit - i64(std::strlen("== ")) - 1;
  if (keep < 0) keep = 0;
  t.resize(size_t(keep));
  return text::encode_utf8(t) + "...";
}

// The exception `fire_no_memory` throws: the pre-built no-memory error.
thrown no_memory() {
  try {
    fire_no_memory();
  } catch (const thrown& t) {
    return t;
  }
}

// Prints the report of an uncaught error. A report that cannot be made (no memory, or an
// error while forming it) falls back to the category and id, so the session goes on.
void print_report(const thrown& t) {
  try {
    platform::print_text(error_report(t), true);
    return;
  } catch (const thrown&) {
  } catch (const std::bad_alloc&) {
  }
  std::string line = std::string("*** ") + (t.category ? t.category : "?") + ": " +
                     (t.id ? t.id : "?");
  std::fputs(line.c_str(), stdout);
  std::fputc('\n', stdout);
}

// Evaluates one console input; prints the result or the error report.
void eval_input(const std::string& text) {
  stack::state_guard sg;
  try {
    cell result{TYPE_UNSET, 0, 0, 0};
    collector::root_guard rg(&result);
    boot::do_source(text.data(), u32(text.size()), false, &result);
    if (type_of(&result) != TYPE_UNSET) platform::print_text("== " + result_text(&result), true);
  } catch (const thrown& t) {
    thrown copy = t;
    sg.restore();
    if (text::is_halt(copy)) {
      platform::print_text("(halted)", true);
      return;
    }
    print_report(copy);
  } catch (const std::bad_alloc&) {
    // The console's own strings (a result too big to show) ran out of heap.
    sg.restore();
    print_report(no_memory());
  }
}

// A UTF-8 byte-order mark at the start of a text: skipped, like the loaders skip it.
bool starts_with_bom(const std::string& s) {
  return s.size() >= 3 && static_cast<unsigned char>(s[0]) == 0xEF &&
         static_cast<unsigned char>(s[1]) == 0xBB && static_cast<unsigned char>(s[2]) == 0xBF;
}
}  // namespace

int run_console(bool banner) {
  bool tty = text::stdin_terminal();
  if (tty) {
    text::catch_interrupts();
    if (banner) platform::print_text("--== Vyr 0.1.0 ==--\nType HELP for starting information.\n", true);
  }
  std::string pending;
  std::string cue;
  bool first = true;
  for (;;) {
    std::optional<std::string> got = text::read_command(pending.empty() ? ">> " : cue);
    if (!got) break;
    std::string& line = *got;
    if (first && starts_with_bom(line)) line.erase(0, 3);
    first = false;
    // Ctrl+C at the prompt: the gathered lines are dropped unevaluated.
    if (!line.empty() && line.back() == '\x1b') {
      pending.clear();
      platform::print_text("(escape)", true);
      continue;
    }
    if (pending.empty() && line.empty()) continue;
    pending += line;
    pending += '\n';
    text::delimiter_check c = text::check_delimiters(pending);
    if (c.more) {
      // The innermost pending opener shows in the continuation prompt.
      cue = (c.open.empty() || c.open.back() == '\0' ? std::string("none")
                                                      : std::string(1, c.open.back())) + "    ";
      continue;
    }
    std::string text;
    text.swap(pending);
    eval_input(text);
    std::fflush(stdout);
  }
  if (!pending.empty()) eval_input(pending);
  std::fflush(stdout);
  return 0;
}

namespace {
// The first "Vyr", with an optional "/System", then any spaces, line feeds and tabs, then
// "[" (letter case significant): where the script's header starts.
bool find_header(const std::string& text, size_t* at, bool* system) {
  for (size_t p = text.find("Vyr"); p != std::string::npos; p = text.find("Vyr", p + 1)) {
    size_t i = p + 3;
    bool sys = text.compare(i, 7, "/System") == 0;
    if (sys) i += 7;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\n' || text[i] == '\t')) i++;
    if (i < text.size() && text[i] == '[') {
      *at = p;
      *system = sys;
      return true;
    }
  }
  return false;
}
}  // namespace

int run_script(const char* path, bool* readable) {
  if (readable) *readable = true;
  stack::state_guard sg;
  try {
    // The script's name as a file!, for the errors that name it (cannot open, header).
    cell file{TYPE_NONE, 0, 0, 0};
    collector::root_guard fg(&file);
    try {
      file = *file::load(path, u32(std::strlen(path)), string::ENCODING_UTF8);
    } catch (const thrown&) {
      file = cell{TYPE_NONE, 0, 0, 0};  // a name that is not UTF-8 stays unnamed
    }
    std::optional<std::string> text = boot::read_file(path);
    if (!text) {
      if (readable) *readable = false;
      fire("access", "cannot-open", &file);
    }
    size_t at = 0;
    bool system = false;
    if (!find_header(*text, &at, &system)) {
      platform::print_text("*** Error: Vyr header not found!", true);
      std::fflush(stdout);
      return 1;
    }
    if (system) {
      platform::print_text("*** Error: contains Vyr/System code which requires compilation!", true);
      std::fflush(stdout);
      return 1;
    }
    if (type_of(&file) == TYPE_FILE && interpreter::load_hook) {
      // The script runs as `do` runs one: through the library's `do-file`.
      static const char head[] = "do-file";
      static const char rest[] = "none system/script/args";
      cell call{TYPE_NONE, 0, 0, 0}, more{TYPE_NONE, 0, 0, 0}, result{TYPE_UNSET, 0, 0, 0};
      collector::root_guard cg(&call), mg(&more), rg(&result);
      interpreter::load_hook(head, u32(sizeof(head) - 1), &call);
      interpreter::load_hook(rest, u32(sizeof(rest) - 1), &more);
      cells::append(call.data2, &file);
      for (u32 i = more.data1; i < cells::length(more.data2); i++) {
        cell c = *cells::at(more.data2, i);
        cells::append(call.data2, &c);
      }
      interpreter::do_block(&call, &result);
    } else {
      boot::do_source(text->data() + at, u32(text->size() - at), true, nullptr, nullptr);
    }
  } catch (const thrown& t) {
    thrown copy = t;
    sg.restore();
    // A halt ends the script as the console's halt does: not an error.
    if (text::is_halt(copy)) {
      platform::print_text("(halted)", true);
      std::fflush(stdout);
      return 0;
    }
    print_report(copy);
    std::fflush(stdout);
    return 1;
  } catch (const std::bad_alloc&) {
    sg.restore();
    print_report(no_memory());
    std::fflush(stdout);
    return 1;
  }
  std::fflush(stdout);
  return 0;
}

}  // namespace vyr::console
