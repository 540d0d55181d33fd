// `ask`, `input` and the console history for the text front end (see natives.h).
#include "console/text/natives.h"

#include <cstdio>
#include <string>

#include "boot/construction.h"
#include "console/front_end.h"
#include "console/text/delimiters.h"
#include "console/text/tty.h"
#include "runtime/collector.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/char.h"
#include "runtime/datatypes/context.h"
#include "runtime/datatypes/function.h"
#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/pair.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/actions.h"
#include "runtime/datatypes/cells.h"
#include "runtime/datatypes/object.h"
#include "runtime/datatypes/series.h"
#include "runtime/datatypes/word.h"
#include "runtime/halt.h"
#include "runtime/interpreter/interpreter.h"
#include "runtime/stack.h"
#include "runtime/natives/natives.h"
#include "runtime/natives/output.h"
#include "runtime/print_hooks.h"

namespace vyr::text {

namespace {

cell history_block{TYPE_NONE, 0, 0, 0};

bool any_string(u32 t) {
  return t == TYPE_STRING || t == TYPE_FILE || t == TYPE_URL || t == TYPE_TAG ||
         t == TYPE_EMAIL;
}

// The strings of a history block, seen from its position.
struct block_history {
  cell block;  // rooted by its owner (an argument on the stack, or history_block)
  history_view view;
  explicit block_history(const cell* b) : block(*b) {
    view.count = [this] { return size_t(cells::remaining(&block)); };
    view.entry = [this](size_t i) -> std::u32string {
      if (i == 0 || i > cells::remaining(&block)) return {};
      const cell* v = cells::get(series::node(&block), series::index(&block) + u32(i) - 1);
      if (!any_string(type_of(v))) return {};
      cell copy = *v;
      return decode_utf8(string::to_utf8(&copy));
    };
  }
};

// Adds a submitted line at the head of the history: not an empty line, not a repeat of
// the newest entry, never hidden input.
void remember(const cell* block, const std::string& line) {
  if (line.empty() || (!line.empty() && line.back() == '\x1b')) return;
  cell b = *block;
  collector::root_guard bg(&b);
  if (cells::remaining(&b) > 0) {
    cell first = *cells::get(series::node(&b), series::index(&b));
    if (type_of(&first) == TYPE_STRING && string::to_utf8(&first) == line) return;
  }
  cell s{TYPE_NONE, 0, 0, 0};
  collector::root_guard sg(&s);
  string::load_at(line.data(), u32(line.size()), &s, string::ENCODING_UTF8);
  block::insert_value(&b, &s, false, false);
}

// Tab: `vyr-complete-input` in console mode on the line at the caret. A completer that is
// missing or fails keeps the line as it is.
std::optional<completion> complete(const std::u32string& line, size_t caret) {
  cell w = _context::global_word(symbol::make("vyr-complete-input"));
  const cell* fn = _context::get(&w);
  u32 t = type_of(fn);
  if (t != TYPE_FUNCTION && t != TYPE_NATIVE && t != TYPE_ROUTINE) return std::nullopt;
  stack::state_guard sg;
  try {
    cell args[2];
    std::string text = encode_utf8(line);
    cell f = *fn;
    collector::root_guard fg(&f);
    args[1] = cell{TYPE_LOGIC, 1, 0, 0};  // console mode
    args[0] = cell{TYPE_NONE, 0, 0, 0};
    collector::root_guard ag(&args[0]);
    string::load_at(text.data(), u32(text.size()), &args[0], string::ENCODING_UTF8);
    series::index(&args[0]) = u32(caret);
    cell result{TYPE_NONE, 0, 0, 0};
    collector::root_guard rg(&result);
    interpreter::call(&f, args, 2, &result);
    if (type_of(&result) != TYPE_BLOCK || cells::remaining(&result) == 0) return std::nullopt;
    completion c;
    u32 n = cells::remaining(&result);
    for (u32 i = 0; i < n; i++) {
      cell v = *cells::get(series::node(&result), series::index(&result) + i);
      if (!any_string(type_of(&v))) return std::nullopt;
      u32 index = series::index(&v);
      series::index(&v) = 0;
      std::u32string s = decode_utf8(string::to_utf8(&v));
      if (i == 0) {
        c.line = s;
        c.caret = index > s.size() ? s.size() : index;
      } else {
        c.choices.push_back(s);
      }
    }
    return c;
  } catch (const thrown&) {
    sg.restore();
    return std::nullopt;
  }
}

// The value of a field of an object value, or nothing.
const cell* field(const cell* obj, const char* name) {
  if (type_of(obj) != TYPE_OBJECT) return nullptr;
  u32 ctx = object::context(obj);
  i32 i = _context::find_word(ctx, symbol::make(name), true);
  if (i < 0 || u32(i) >= _context::value_count(ctx)) return nullptr;
  return read_buffer(_context::values_node(ctx))->cells() + i;
}

// A field of `system/console`, when the console object exists.
cell* console_field(const char* name) {
  u32 g = _context::global;
  i32 i = _context::find_word(g, symbol::make("system"), true);
  if (i < 0 || u32(i) >= _context::value_count(g)) return nullptr;
  const cell* sys = read_buffer(_context::values_node(g))->cells() + i;
  const cell* con = field(sys, "console");
  if (!con || type_of(con) != TYPE_OBJECT) return nullptr;
  u32 ctx = object::context(con);
  i32 k = _context::find_word(ctx, symbol::make(name), true);
  if (k < 0 || u32(k) >= _context::value_count(ctx)) return nullptr;
  return buffer_of(_context::values_node(ctx))->cells() + k;
}

// `system/console/size` follows the terminal: read again before every question, so a
// resize between commands is seen by the next result.
void update_size() {
  std::pair<int, int> wh = size();
  if (cell* f = console_field("size")) pair::make_at(f, wh.first, wh.second);
}

// The history `ask` uses without /history: `system/console/history` once the console
// object exists, else the front end's own block.
cell default_history() {
  u32 g = _context::global;
  i32 i = _context::find_word(g, symbol::make("system"), true);
  if (i >= 0 && u32(i) < _context::value_count(g)) {
    const cell* sys = read_buffer(_context::values_node(g))->cells() + i;
    if (const cell* con = field(sys, "console")) {
      cell c = *con;
      if (const cell* h = field(&c, "history"); h && type_of(h) == TYPE_BLOCK) return *h;
    }
  }
  if (type_of(&history_block) != TYPE_BLOCK) cells::make_block(&history_block, 200);
  return history_block;
}

// Reads the answer: the tracing switch is off meanwhile, so a trace does not show the
// console's own work.
std::optional<std::string> ask_line(const std::string& prompt, bool hide, const cell* hist) {
  console::untraced quiet;
  update_size();
  block_history h(hist);
  question q;
  q.prompt = prompt;
  q.hidden = hide;
  q.history = &h.view;
  q.complete = complete;
  std::optional<std::string> line = read_line(q);
  update_size();  // the terminal may have been resized while the question waited
  halt::clear();
  if (line && !hide) remember(hist, *line);
  return line;
}

void answer(const std::optional<std::string>& line) {
  // The end of input answers "quit", as a closed console window does.
  std::string s = line ? *line : std::string("quit");
  cell out{TYPE_NONE, 0, 0, 0};
  collector::root_guard og(&out);
  string::load_at(s.data(), u32(s.size()), &out, string::ENCODING_UTF8);
  stack::set_last(&out);
}

void ask_entry(bool, const i32* refs) {
  cell question = stack::arguments[0];
  collector::root_guard qg(&question);
  cell hist = refs[1] != -1 ? stack::arguments[refs[1]] : default_history();
  collector::root_guard hg(&hist);
  answer(ask_line(string::to_utf8(&question), refs[0] != -1, &hist));
}

void input_entry(bool, const i32*) {
  cell hist = default_history();
  collector::root_guard hg(&hist);
  answer(ask_line(std::string(), false, &hist));
}

// `console-on-terminal?`: the text console shows its prompts (and the banner) only on a
// terminal.
void on_terminal_code(cell* a, u32) { logic::make_at(a, stdin_terminal()); }

// `system/console/init`: the window title of a text-mode console.
void console_init_code(cell* a, u32) {
  if (any_string(type_of(a))) set_title(string::to_utf8(a));
  a[0] = cell{TYPE_NONE, 0, 0, 0};
}

void watch_output(std::string_view utf8, u32) { note_output(utf8); }

// `check-delimiters`' scan, kept between calls: the string last checked (its series and
// position) and how many of its characters.
struct console_check {
  u32 node = 0;
  u32 index = 0;
  u32 chars = 0;
  delimiter_scan scan;
} checked;

// `console-check-delimiters text pending grown`: false when the text must be evaluated at
// once (something more lines cannot mend); the pending openers are appended to `pending`
// (innermost last; none for a type without an opening character). With `grown` the caller
// vouches that the text is the one checked last with characters appended at its tail, as
// the console's own buffer is while it gathers a command: the scan then goes on from where
// the last check stopped. Any other text is scanned whole.
void check_delimiters_code(cell* a, u32) {
  u32 node = series::node(&a[0]);
  u32 index = series::index(&a[0]);
  i32 len = string::rs_length_q(&a[0]);
  u32 n = len > 0 ? u32(len) : 0;
  bool grown = !logic::falsy(&a[2]) && node == checked.node &&
               index == checked.index && n >= checked.chars;
  if (!grown) {
    checked.scan.reset();
    checked.chars = 0;
  }
  u32 unit = buffer_of(node)->unit();
  const char* p = string::rs_head(&a[0]);
  std::u32string more;
  more.reserve(n - checked.chars);
  for (u32 i = checked.chars; i < n; i++) more += char32_t(string::get_char(p + u64(i) * unit, unit));
  checked.node = node;
  checked.index = index;
  checked.chars = n;
  delimiter_check c = checked.scan.append(encode_utf8(more));
  cell pending = a[1];
  for (char o : c.open) {
    cell v{TYPE_NONE, 0, 0, 0};
    if (o) char_::make_at(&v, u8(o));
    block::rs_append(&pending, &v);
  }
  logic::make_at(&a[0], !c.refused);
}

// The text console as a front end: printed values to standard output, `system/console`
// told it is not the GUI console, and Ctrl+C halting the command when a prompt follows (at
// the console on a terminal, or for a script run with --catch; switches count only before
// the script's name).
void install_front() {
  platform::register_print_hooks(natives::console_value_hook, watch_output);
  if (cell* gui = console_field("gui?")) logic::make_at(gui, false);
  update_size();
  const std::vector<std::string>& args = boot::arguments();
  bool script = false, catch_ = false;
  for (size_t i = 1; i < args.size(); i++) {
    if (args[i] == "--") {
      script = i + 1 < args.size();
      break;
    }
    if (args[i].starts_with("--")) {
      if (args[i] == "--catch") catch_ = true;
      continue;
    }
    script = true;
    break;
  }
  if (script ? catch_ : stdin_terminal()) catch_interrupts();
}

void run_front() { console::call_global({"system", "console", "launch"}); }

}  // namespace

const console::front_end& front() {
  static const console::front_end f{install_front, run_front, restore_terminal};
  return f;
}

// `console-input-ended?`: true when the last question met the end of standard input.
void input_ended_code(cell* a, u32) { logic::make_at(a, input_ended()); }

void register_routines() {
  collector::add_root(&history_block);
  natives::install(natives::id::ask, ask_entry);
  natives::install(natives::id::input, input_entry);
  routine::register_("console-on-terminal?", on_terminal_code);
  routine::register_("console-init", console_init_code);
  routine::register_("console-input-ended?", input_ended_code);
  routine::register_("console-check-delimiters", check_delimiters_code);
}

std::optional<std::string> read_command(const std::string& prompt) {
  cell hist = default_history();
  collector::root_guard hg(&hist);
  return ask_line(prompt, false, &hist);
}

bool is_halt(const thrown& t) {
  if (t.level != THROW_THROW) return false;
  if (type_of(&t.value) != TYPE_WORD || type_of(&t.name) != TYPE_WORD) return false;
  return symbol::same_q(word::symbol_id(&t.value), symbol::make("halt-request")) &&
         symbol::same_q(word::symbol_id(&t.name), symbol::make("console"));
}

}  // namespace vyr::text
