// Text-mode console and script runner (see console.h).
#include "boot/console.h"

#include <unistd.h>

#include <cstdio>
#include <iostream>
#include <optional>

#include "boot/environment.h"
#include "runtime/collector.h"
#include "runtime/datatypes/string.h"
#include "runtime/interpreter/actions.h"
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
  std::optional<std::string> text = boot::read_file(path);
  if (!text) {
    std::fprintf(stdout, "*** Access Error: cannot open: %s\n", path);
    return 1;
  }
  stack::state_guard sg;
  try {
    boot::do_source(text->data(), u32(text->size()), true, nullptr);
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
