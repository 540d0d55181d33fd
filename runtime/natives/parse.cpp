// The parse dialect engine. Rules are matched by a recursive descent over rule levels:
// `match_block` runs a block's alternatives, `match_rule` one rule (a keyword with what it
// wraps, a sub-block, a literal...). Rule nesting is bounded by the rule stack limit, so
// the native recursion is bounded too.
//
// Memory: the engine keeps its input series on the input stack and every entered rule
// block, `collect` block and looked-up rule value on the rule stack (both rooted blocks).
// Buffers are re-read through their nodes after anything that may allocate (parens,
// callbacks, edits, copies).
#include "runtime/natives/parse.h"
#include "runtime/datatypes/logic.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "runtime/collector.h"
#include "runtime/datatypes/bitset.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/char.h"
#include "runtime/datatypes/context.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/series.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/string_actions.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/word.h"
#include "runtime/datatypes/integer.h"
#include "runtime/fire.h"
#include "runtime/datatypes/actions.h"
#include "runtime/datatypes/cells.h"
#include "runtime/interpreter/interpreter.h"
#include "runtime/natives/natives.h"
#include "runtime/stack.h"
#include "runtime/interpreter/typecheck.h"
#include "runtime/lexer/lexer_load.h"
#include "runtime/unicode.h"

namespace vyr::parse {

namespace {

// ---- Keywords --------------------------------------------------------------------------

enum keyword : u32 {
  K_NONE_ = 0, K_BAR, K_SKIP, K_ANY, K_SOME, K_OPT, K_WHILE, K_TO, K_THRU, K_END, K_FAIL,
  K_NONE, K_BREAK, K_REJECT, K_NOT, K_AHEAD, K_QUOTE, K_IF, K_CASE, K_SET, K_COPY,
  K_REMOVE, K_INSERT, K_CHANGE, K_ONLY, K_INTO, K_COLLECT, K_AFTER, K_KEEP, K_PICK,
  K_COUNT
};
const char* const keyword_names[K_COUNT] = {
    "", "|", "skip", "any", "some", "opt", "while", "to", "thru", "end", "fail",
    "none", "break", "reject", "not", "ahead", "quote", "if", "case", "set", "copy",
    "remove", "insert", "change", "only", "into", "collect", "after", "keep", "pick"};
u32 keyword_symbols[K_COUNT];  // canonical symbol ids
std::vector<u8> keyword_by_symbol;  // canonical symbol id -> keyword (0: none)

// Trace events of a parse run.
enum parse_event : u32 { E_PUSH, E_POP, E_FETCH, E_MATCH, E_ITERATE, E_PAREN, E_END, E_COUNT };
const char* const event_names[E_COUNT] = {"push", "pop", "fetch", "match", "iterate",
                                          "paren", "end"};
cell event_words[E_COUNT];

// The two stacks (nodes of rooted blocks).
u32 input_stack = 0;
u32 rule_stack = 0;

keyword keyword_of(const cell* w) {
  if (type_of(w) != TYPE_WORD) return K_NONE_;
  u32 s = symbol::resolve(word::symbol_id(w));
  return s < keyword_by_symbol.size() ? keyword(keyword_by_symbol[s]) : K_NONE_;
}

// Appends a value that may be held only by the caller (the append may collect).
void push_cell(u32 node, const cell& c) {
  if (cells::length(node) >= STACK_LIMIT) fire("script", "parse-stack");
  series_buffer* b = buffer_of(node);
  if (b->tail + sizeof(cell) <= b->end_offset()) {  // room: no allocation, nothing moves
    // The engine's own stacks are never evaluated: no stamp.
    *arena::at<cell>(b->tail) = c;
    b->tail.set_unstamped(b->tail + u32(sizeof(cell)));
    return;
  }
  cell v = c;
  collector::root_guard g(&v);
  cells::append(node, &v);
}

void cut(u32 node, u32 length) {
  series_buffer* b = buffer_of(node);
  if (length < b->used_units()) b->tail.set_unstamped(b->offset + length * 16);
}

// Ends the engine from a trace callback that answered false.
struct stopped {};
// Leaves the engine at once because an exit (break, return...) is pending.
struct pending_exit {};

enum stop_kind : u32 { STOP_NONE = 0, STOP_BREAK = 1, STOP_REJECT = 2 };

class engine {
 public:
  engine(const cell* input, bool case_sensitive, u32 end, const cell* callback)
      : case_(case_sensitive), limit_(end) {
    push_cell(input_stack, *input);
    input_at_ = cells::length(input_stack) - 1;
    result_at_ = cells::length(rule_stack);
    push_cell(rule_stack, cell{TYPE_NONE, 0, 0, 0});
    pos_ = series::index(input);
    head_ = series::index(input);
    if (callback) {
      tracing_ = true;
      push_cell(rule_stack, *callback);
      callback_at_ = cells::length(rule_stack) - 1;
    }
  }

  // The whole run: true when the rules matched up to the end of the input.
  bool match_all(const cell* rules) {
    bool ok = match_block(*rules);
    ok = ok && pos_ >= tail();
    flag_ = ok;
    if (tracing_) trace(E_END, rules, cells::length(series::node(rules)));
    return ok;
  }

  bool collected() const { return collected_; }
  cell collected_block() const { return *cells::get(rule_stack, result_at_); }

 private:
  bool case_;
  u32 limit_;       // absolute end index of the outermost input (NO_LIMIT: its tail)
  u32 input_at_;    // input stack index of the current input
  u32 pos_ = 0;     // current input position (absolute index)
  u32 head_ = 0;    // where the current input starts
  bool flag_ = true;  // match flag of the last step (reported to the callback)
  bool tracing_ = false;
  u32 callback_at_ = 0;
  u32 stop_ = STOP_NONE;       // set by break / reject until their level ends
  u32 last_stop_ = STOP_NONE;  // how the last block level ended
  // A break ended a block level: the innermost repetition around it stops after its
  // iteration, however deeply the block was nested in that iteration's rule.
  bool break_pending_ = false;
  u32 collect_depth_ = 0;
  u32 collect_at_ = 0;         // rule stack index of the innermost collect block
  u32 result_at_ = 0;          // rule stack index of the cell for the outermost collect's block
  bool collected_ = false;
  u64 effects_ = 0;            // parens evaluated so far (see `while`)

  // ---- Input access --------------------------------------------------------------------
  cell input() const { return *cells::get(input_stack, input_at_); }
  u32 in_node() const { return series::node(cells::get(input_stack, input_at_)); }
  u32 in_type() const { return type_of(cells::get(input_stack, input_at_)); }
  u32 length() const { return buffer_of(in_node())->used_units(); }
  u32 tail() const { return std::min(length(), limit_); }
  bool at_end() const { return pos_ >= tail(); }
  cell input_at(u32 p) const {
    cell c = input();
    series::index(&c) = p;
    return c;
  }
  u32 char_at(u32 i) const {
    const series_buffer* b = read_buffer(in_node());
    u32 u = b->unit();
    return string::get_char(b->head() + i * u, u);
  }
  u32 fold(u32 c) const { return case_ ? c : unicode::char_to_upper(c); }
  bool binary_input() const { return in_type() == TYPE_BINARY; }
  bool block_input() const { return cells::block_like_q(in_type()); }

  // ---- Levels --------------------------------------------------------------------------
  u32 push_level(const cell& a, const cell& b, const cell& c) {
    u32 at = cells::length(rule_stack);
    if (at + 3 > STACK_LIMIT) fire("script", "parse-stack");
    push_cell(rule_stack, a);
    push_cell(rule_stack, b);
    push_cell(rule_stack, c);
    return at;
  }
  cell marker() const {
    return cell{TYPE_TRIPLE, 0, pos_, tail() > pos_ ? tail() - pos_ : 0};
  }
  u32 keyword_level(keyword k, u32 aux = 0) {
    return push_level(cell{TYPE_NONE, 0, 0, 0}, marker(),
                      cell{TYPE_PAIR, 0, static_cast<u32>(-i32(k)), aux});
  }
  // Keeps a value alive while the level that uses it runs.
  u32 hold(const cell& v) {
    u32 at = cells::length(rule_stack);
    push_cell(rule_stack, v);
    return at;
  }

  // ---- Trace ---------------------------------------------------------------------------
  void trace(parse_event e, const cell* rules, u32 rpos) {
    cell* saved_args = stack::arguments;
    cell* saved_top = stack::top;
    stack::keep_top();  // the evaluator may keep a value at the top
    cell* a = stack::top;
    for (u32 i = 0; i < 5; i++) *stack::push_slot() = cell{TYPE_NONE, 0, 0, 0};
    a[0] = event_words[e];
    a[1] = cell{TYPE_LOGIC, flag_ ? 1u : 0u, 0, 0};
    if (rules) {
      a[2] = *rules;
      series::index(&a[2]) = rpos;
    } else {
      a[2] = cell{TYPE_BLOCK, 0, 0, 0};
      cells::make_block(&a[2], 1);
    }
    a[3] = input_at(std::min(pos_, length()));
    a[4] = cell{TYPE_BLOCK, 0, rule_stack, 0};
    cell fn = *cells::get(rule_stack, callback_at_);
    cell result;
    interpreter::call(&fn, a, 5, &result);
    stack::arguments = saved_args;
    stack::top = saved_top;
    effects_++;
    if (!logic::true_q(&result)) throw stopped{};
  }

  void matched(bool ok, const cell& rules, u32 r) {
    flag_ = ok;
    trace(E_MATCH, &rules, r);
  }

  // ---- Parens --------------------------------------------------------------------------
  // Evaluates a paren; its value into `out` (when given). The rule block may have been
  // changed by it: callers re-read rule cells by index.
  void eval_paren(const cell& p, cell* out, const cell* rules, u32 rpos) {
    effects_++;
    cell code = p;
    collector::root_guard g(&code);
    cell* mark = stack::top;
    interpreter::eval_block(&code, false);
    if (interpreter::pending) throw pending_exit{};
    if (out) *out = *(stack::top - 1);
    stack::top = mark;
    if (pos_ > length()) pos_ = length();
    if (tracing_) trace(E_PAREN, rules, rpos);
  }

  // ---- Blocks --------------------------------------------------------------------------

  // Matches a rule block (its alternatives) from the current position. On failure the
  // position is back where it was.
  bool match_block(const cell& rules_in) {
    u32 level = push_level(cell{TYPE_NONE, 0, 0, 0}, marker(), rules_in);
    cell rules = rules_in;
    u32 rn = series::node(&rules);
    u32 start = pos_;
    bool saved_case = case_;
    if (tracing_) trace(E_PUSH, &rules, series::index(&rules));
    bool ok = true;
    u32 r = series::index(&rules);
    for (;;) {
      if (r >= cells::length(rn)) break;
      cell v = *cells::get(rn, r);
      if (keyword_of(&v) == K_BAR) break;  // the alternative before it matched
      r = match_rule(rules, r, ok);
      flag_ = ok;
      if (stop_) {
        ok = stop_ == STOP_BREAK;
        break;
      }
      if (ok) continue;
      // Backtrack: the next alternative starts from where this level started.
      pos_ = start;
      u32 n = cells::length(rn);
      while (r < n && keyword_of(cells::get(rn, r)) != K_BAR) r++;
      if (r >= n) break;
      r++;
      ok = true;
    }
    if (!ok) pos_ = start;
    last_stop_ = stop_;
    if (stop_ == STOP_BREAK) break_pending_ = true;
    stop_ = STOP_NONE;
    case_ = saved_case;
    flag_ = ok;
    if (tracing_) trace(E_POP, &rules, r);
    cut(rule_stack, level);
    return ok;
  }

  // ---- Single rules --------------------------------------------------------------------

  [[noreturn]] void rule_error(const cell& v) {
    cell c = v;
    fire("script", "parse-rule", &c);
  }
  [[noreturn]] void end_error(const cell& keyword_word) {
    cell c = keyword_word;
    fire("script", "parse-end", &c);
  }

  // The value a word stands for in a rule (unset raises parse-rule naming the word).
  cell value_of(const cell& w) {
    cell c = w;
    const cell* v = _context::get(&c);
    if (type_of(v) == TYPE_UNSET) rule_error(w);
    return *v;
  }

  // The rule cell at r, or raises parse-end naming the keyword when the block ends there.
  cell needed(u32 rn, u32 r, const cell& kw) {
    if (r >= cells::length(rn)) end_error(kw);
    return *cells::get(rn, r);
  }

  // Whether `v` holds a position in the input being parsed (a word's value).
  bool input_position(const cell& v) {
    cell in = input();
    return type_of(&v) == type_of(&in) && series::node(&v) == series::node(&in);
  }
  u32 clip(u32 p) const { return std::clamp(p, head_, length()); }

  // The index after the rule at r (without matching it): for a count of 0.
  u32 skip_rule(u32 rn, u32 r) {
    u32 n = cells::length(rn);
    if (r >= n) return r;
    cell v = *cells::get(rn, r);
    switch (keyword_of(&v)) {
      case K_ANY: case K_SOME: case K_OPT: case K_WHILE: case K_NOT: case K_AHEAD:
      case K_TO: case K_THRU: case K_INTO:
        return skip_rule(rn, r + 1);
      case K_QUOTE: case K_IF: case K_CASE:
        return std::min(n, r + 2);
      case K_SET: case K_COPY:
        return skip_rule(rn, r + 2);
      case K_REMOVE:
        return skip_rule(rn, r + 1);
      case K_INSERT:
        if (r + 1 < n && keyword_of(cells::get(rn, r + 1)) == K_ONLY) r++;
        return std::min(n, r + 2);
      case K_CHANGE:
        if (r + 1 < n && keyword_of(cells::get(rn, r + 1)) == K_ONLY) r++;
        return std::min(n, skip_rule(rn, r + 1) + 1);
      case K_KEEP:
        if (r + 1 < n && keyword_of(cells::get(rn, r + 1)) == K_PICK) r++;
        return skip_rule(rn, r + 1);
      case K_COLLECT: {
        if (r + 1 < n) {
          keyword k = keyword_of(cells::get(rn, r + 1));
          if (k == K_SET || k == K_INTO || k == K_AFTER) r += 2;
        }
        return skip_rule(rn, r + 1);
      }
      default:
        break;
    }
    if (type_of(&v) == TYPE_INTEGER) {
      r++;
      if (r < n) {
        const cell* m = cells::get(rn, r);
        if (type_of(m) == TYPE_INTEGER) r++;
      }
      return skip_rule(rn, r);
    }
    return r + 1;
  }

  // Matches the rule at r of `rules`; answers the index after it and sets `ok`.
  u32 match_rule(const cell& rules, u32 r, bool& ok) {
    u32 rn = series::node(&rules);
    if (r >= cells::length(rn)) {  // a paren shortened the rule block
      ok = false;
      return r;
    }
    cell v = *cells::get(rn, r);
    if (tracing_) trace(E_FETCH, &rules, r);
    u32 t = type_of(&v);
    if (t == TYPE_WORD) {
      keyword k = keyword_of(&v);
      if (k != K_NONE_ && k != K_ONLY && k != K_AFTER && k != K_PICK)
        return match_keyword(k, v, rules, r, ok);
      cell value = value_of(v);
      u32 at = hold(value);
      u32 next = match_value(value, rules, r, ok, &v);
      cut(rule_stack, at);
      return next;
    }
    return match_value(v, rules, r, ok, nullptr);
  }

  // Matches a rule value (from the rule block, or a word's value with `word` given).
  u32 match_value(const cell& v, const cell& rules, u32 r, bool& ok, const cell* word) {
    u32 rn = series::node(&rules);
    switch (type_of(&v)) {
      case TYPE_BLOCK:
        ok = match_block(v);
        return r + 1;
      case TYPE_PAREN:
        eval_paren(v, nullptr, &rules, r);
        ok = true;
        return r + 1;
      case TYPE_SET_WORD: {
        cell w = v;
        cell at = input_at(std::min(pos_, length()));
        _context::set(&w, &at);
        ok = true;
        return r + 1;
      }
      case TYPE_GET_WORD: {
        cell w = v;
        cell value = *_context::get(&w);
        if (!input_position(value)) fire("script", "parse-invalid-ref", &w);
        pos_ = clip(series::index(&value));
        ok = true;
        return r + 1;
      }
      case TYPE_INTEGER:
        return match_count(v, rules, r, ok);
      case TYPE_PATH: case TYPE_LIT_PATH: case TYPE_SET_PATH: case TYPE_GET_PATH:
        rule_error(word ? *word : v);
      default:
        break;
    }
    (void)rn;
    u32 step = 0;
    ok = match_here(v, step, word);
    if (ok) pos_ += step;
    if (tracing_) matched(ok, rules, r);
    return r + 1;
  }

  // Whether the value matches at the current position; `step` gets the items it covers.
  bool match_here(const cell& v, u32& step, const cell* word) {
    u32 t = type_of(&v);
    if (block_input()) {
      if (at_end()) return false;
      cell item = *cells::get(in_node(), pos_);
      step = 1;
      if (t == TYPE_DATATYPE) return type_of(&item) == datatype::id(&v);
      if (t == TYPE_TYPESET) return typecheck::accepts(&v, type_of(&item));
      return same_item(item, v);
    }
    if (t == TYPE_DATATYPE || t == TYPE_TYPESET) {
      if (binary_input()) return match_token(v, step);
      fire("script", "parse-unsupported");
    }
    return match_text(v, pos_, step, word);
  }

  // A datatype or typeset rule on binary! input: the lexer scans the bytes from the
  // position (a copy, which stays put while it scans) and the first token's datatype
  // decides; the position then moves past that token.
  bool match_token(const cell& v, u32& step) {
    if (at_end()) return false;
    // A window of the bytes is scanned, doubled while the token may run past its end, so
    // that a long input costs about the token's length per rule, not the whole rest.
    u32 rest = tail() - pos_;
    u32 window = std::min<u32>(rest, 4096);
    cell dst{TYPE_NONE, 0, 0, 0};
    collector::root_guard keep(&dst);
    std::vector<u8> bytes;
    u32 found, consumed;
    for (;;) {
      const series_buffer* b = read_buffer(in_node());
      const u8* from = reinterpret_cast<const u8*>(b->head()) + pos_;
      bytes.assign(from, from + window);
      consumed = 0;
      found = lexer::scan(&dst, bytes.data(), window, true, true, false, true, &consumed);
      bool whole = found != 0 && found != TYPE_ERROR && consumed < window;
      if (whole || window == rest) break;
      window = static_cast<u32>(std::min<u64>(rest, u64{window} * 2));
    }
    if (found == 0 || found == TYPE_ERROR || consumed == 0) return false;
    bool ok = type_of(&v) == TYPE_DATATYPE ? found == datatype::id(&v)
                                           : typecheck::accepts(&v, found);
    if (ok) step = std::min<u32>(consumed, tail() - pos_);
    return ok;
  }

  // Literal equality of a block item and a rule value.
  bool same_item(const cell& item, const cell& v) {
    cell a = item, b = v;
    if (type_of(&b) == TYPE_LIT_WORD) set_type(&b, TYPE_WORD);
    if (word::any_word_q(type_of(&a)) && word::any_word_q(type_of(&b))) {
      if (type_of(&a) != type_of(&b)) return false;
      u32 x = word::symbol_id(&a), y = word::symbol_id(&b);
      return case_ ? x == y : symbol::same_q(x, y);
    }
    return actions::compare(&a, &b, case_ ? compare_op::STRICT_EQUAL : compare_op::EQUAL);
  }

  // A char! or text rule on binary! input: its UTF-8 bytes (a tag! with its angle
  // brackets) must stand at input index p, exactly.
  bool match_utf8(const cell& v, u32 p, u32& step) {
    u32 i = p, end = tail();
    auto bytes = [&](u32 cp) {
      char b[4];
      if (cp > 0x10FFFF) return false;
      u32 n = unicode::cp_to_utf8(cp, b);
      if (u64(i) + n > end) return false;
      for (u32 k = 0; k < n; k++)
        if (char_at(i + k) != static_cast<u8>(b[k])) return false;
      i += n;
      return true;
    };
    if (type_of(&v) == TYPE_CHAR) {
      if (!bytes(char_::get(&v))) return false;
      step = i - p;
      return true;
    }
    bool tag = type_of(&v) == TYPE_TAG;
    if (tag && !bytes('<')) return false;
    const series_buffer* rb = read_buffer(series::node(&v));
    u32 ru = rb->unit();
    for (u32 k = series::index(&v); k < rb->used_units(); k++)
      if (!bytes(string::get_char(rb->head() + u64{k} * ru, ru))) return false;
    if (tag && !bytes('>')) return false;
    step = i - p;
    return true;
  }

  // Matches a text-like rule value at input index p of a string-like or binary! input.
  bool match_text(const cell& v, u32 p, u32& step, const cell* word) {
    u32 t = type_of(&v);
    u32 end = tail();
    if (binary_input() && (t == TYPE_CHAR || string::text_q(t))) return match_utf8(v, p, step);
    if (t == TYPE_CHAR || (t == TYPE_INTEGER && binary_input())) {
      if (p >= end) return false;
      step = 1;
      u32 c = char_at(p), want = t == TYPE_CHAR ? char_::get(&v) : integer::get(&v);
      return binary_input() ? c == want : fold(c) == fold(want);
    }
    if (string::text_q(t) || t == TYPE_BINARY) {
      bool tag = t == TYPE_TAG;
      const series_buffer* rb = read_buffer(series::node(&v));
      u32 ru = rb->unit();
      u32 rlen = rb->used_units() > series::index(&v) ? rb->used_units() - series::index(&v) : 0;
      u32 total = rlen + (tag ? 2 : 0);
      if (u64(p) + total > end) return false;
      u32 i = p;
      if (tag && char_at(i++) != '<') return false;
      bool exact = case_ || binary_input();
      for (u32 k = 0; k < rlen; k++, i++) {
        rb = read_buffer(series::node(&v));
        u32 rc = string::get_char(rb->head() + (series::index(&v) + k) * ru, ru);
        u32 ic = char_at(i);
        if (exact ? rc != ic : fold(rc) != fold(ic)) return false;
      }
      if (tag && char_at(i) != '>') return false;
      step = total;
      return true;
    }
    if (t == TYPE_BITSET) {
      // Membership of the character (the byte of binary! input) exactly as stored: a
      // code point beyond the array is a member when the set is complemented.
      if (p >= end) return false;
      step = 1;
      return bitset::test_q(&v, char_at(p));
    }
    rule_error(word ? *word : v);
  }

  // ---- Counts and repetition ------------------------------------------------------------

  u32 match_count(const cell& first, const cell& rules, u32 r, bool& ok) {
    u32 rn = series::node(&rules);
    i32 lo = integer::get(&first);
    if (lo < 0) {
      cell c = first;
      fire("script", "out-of-range", &c);
    }
    i32 hi = lo;
    u32 next = r + 1;
    bool range = false;
    if (next < cells::length(rn)) {
      cell m = *cells::get(rn, next);
      if (type_of(&m) == TYPE_WORD && keyword_of(&m) == K_NONE_) {
        const cell* mv = _context::get(&m);
        if (type_of(mv) == TYPE_INTEGER) m = *mv;
      }
      if (type_of(&m) == TYPE_INTEGER) {
        hi = integer::get(&m);
        if (hi < 0) fire("script", "out-of-range", &m);
        if (hi < lo) rule_error(m);
        range = true;
        next++;
      }
    }
    if (next >= cells::length(rn)) rule_error(first);
    if (lo == 0 && (!range || hi == 0)) {
      ok = true;
      return skip_rule(rn, next);
    }
    return repeat(rules, next, u32(lo), hi, false, ok, K_NONE_);
  }

  // Runs the rule at r between lo and hi times (hi -1: no maximum).
  u32 repeat(const cell& rules, u32 r, u32 lo, i32 hi, bool is_while, bool& ok, keyword k) {
    u32 rn = series::node(&rules);
    u32 start = pos_;
    u32 count = 0;
    u32 next = r + 1;
    bool failed = false;
    cell single = *cells::get(rn, r);
    if (!block_input() && !tracing_ && type_of(&single) == TYPE_WORD &&
        keyword_of(&single) == K_NONE_) {
      // A word naming a character class takes the same one-loop path as the class itself.
      const cell* named = _context::get(&single);
      if (type_of(named) == TYPE_BITSET) single = *named;
    }
    if (!block_input() && !tracing_ && type_of(&single) == TYPE_BITSET) {
      // A character class over text: one loop over the units, the set read in place
      // (nothing here allocates, so neither buffer moves, and no rule runs inside, so
      // the repetition needs no level of its own).
      const series_buffer* ib = read_buffer(in_node());
      const series_buffer* sb = read_buffer(series::node(&single));
      u32 u = ib->unit(), end = tail();
      const char* text = ib->head();
      const u8* bits = reinterpret_cast<const u8*>(sb->head());
      u64 nbits = u64{sb->used_bytes()} * 8;
      bool flag = (sb->flags & SERIES_COMPLEMENT) != 0;
      while (pos_ < end && (hi < 0 || count < u32(hi))) {
        u32 c = u == 1 ? static_cast<u8>(text[pos_]) : string::get_char(text + u64{pos_} * u, u);
        bool in = c < nbits ? (bits[c >> 3] & (0x80u >> (c & 7))) != 0 : flag;
        if (!in) break;
        pos_++;
        count++;
      }
      last_stop_ = STOP_NONE;
      ok = count >= lo;
      if (!ok) pos_ = start;
      return next;
    }
    u32 level = push_level(cell{TYPE_TRIPLE, lo, static_cast<u32>(hi), 1}, marker(),
                           cell{TYPE_PAIR, 0, static_cast<u32>(is_while ? -11 : -1), k});
    // The fast path: a literal char or text over text input.
    if (!block_input() && !tracing_ &&
        (type_of(&single) == TYPE_CHAR || (string::text_q(type_of(&single)) &&
                                           type_of(&single) != TYPE_TAG))) {
      for (;;) {
        if (hi >= 0 && count >= u32(hi)) break;
        u32 step = 0;
        if (!match_text(single, pos_, step, nullptr)) break;
        count++;
        if (step == 0) break;  // an empty text matches without moving: once is enough
        pos_ += step;
      }
    } else {
      bool outer_break = break_pending_;
      for (;;) {
        if (hi >= 0 && count >= u32(hi)) break;
        u32 before = pos_;
        u32 before_rest = tail() > pos_ ? tail() - pos_ : 0;
        u64 effects = effects_;
        last_stop_ = STOP_NONE;
        break_pending_ = false;
        bool one = true;
        next = match_rule(rules, r, one);
        if (last_stop_ == STOP_REJECT) {
          failed = true;
          break;
        }
        if (!one) break;
        count++;
        cells::unstamped_at(rule_stack, level)->data3 = count + 1;
        if (break_pending_) break;
        u32 rest = tail() > pos_ ? tail() - pos_ : 0;
        if (pos_ == before && rest >= before_rest) {
          if (!is_while) break;
          // Nothing moved, nothing changed and nothing was evaluated: the next iteration
          // would be the same one again, for ever.
          if (effects == effects_) {
            cell c = *cells::get(rn, r);
            fire("script", "parse-infinite", &c);
          }
        }
        flag_ = true;
        if (tracing_) trace(E_ITERATE, &rules, r);
      }
      break_pending_ = outer_break;  // this repetition took its own iterations' break
    }
    last_stop_ = STOP_NONE;
    ok = !failed && count >= lo;
    if (!ok) pos_ = start;
    cut(rule_stack, level);
    return next;
  }

  // ---- Keywords -------------------------------------------------------------------------

  u32 match_keyword(keyword k, const cell& kw, const cell& rules, u32 r, bool& ok) {
    u32 rn = series::node(&rules);
    u32 n = cells::length(rn);
    switch (k) {
      case K_SKIP:
        ok = !at_end();
        if (ok) pos_++;
        if (tracing_) matched(ok, rules, r);
        return r + 1;
      case K_ANY: case K_SOME: case K_OPT: case K_WHILE:
        if (r + 1 >= n) end_error(kw);
        return repeat(rules, r + 1, k == K_SOME ? 1 : 0, k == K_OPT ? 1 : -1, k == K_WHILE,
                      ok, k);
      case K_END:
        ok = at_end();
        if (tracing_) matched(ok, rules, r);
        return r + 1;
      case K_NONE:
        ok = true;
        return r + 1;
      case K_FAIL:
        ok = false;
        return r + 1;
      case K_BREAK:
        ok = true;
        stop_ = STOP_BREAK;
        return r + 1;
      case K_REJECT:
        ok = false;
        stop_ = STOP_REJECT;
        return r + 1;
      case K_TO: case K_THRU:
        return match_to(k == K_THRU, kw, rules, r, ok);
      case K_NOT: case K_AHEAD: {
        if (r + 1 >= n) end_error(kw);
        u32 level = keyword_level(k);
        u32 start = pos_;
        u32 next = match_rule(rules, r + 1, ok);
        pos_ = start;
        if (k == K_NOT) ok = !ok;
        cut(rule_stack, level);
        return next;
      }
      case K_QUOTE: {
        cell v = needed(rn, r + 1, kw);
        u32 step = 0;
        if (block_input()) {
          ok = !at_end() && same_item(*cells::get(in_node(), pos_), v);
          step = 1;
        } else {
          ok = match_text(v, pos_, step, nullptr);
        }
        if (ok) pos_ += step;
        if (tracing_) matched(ok, rules, r + 1);
        return r + 2;
      }
      case K_IF: {
        cell p = needed(rn, r + 1, kw);
        if (type_of(&p) != TYPE_PAREN) end_error(kw);
        cell result;
        eval_paren(p, &result, &rules, r + 1);
        ok = logic::true_q(&result);
        return r + 2;
      }
      case K_CASE: {
        cell w = needed(rn, r + 1, kw);
        if (type_of(&w) != TYPE_WORD) end_error(kw);
        case_ = logic::true_q(_context::get(&w));
        ok = true;
        return r + 2;
      }
      case K_SET: case K_COPY: {
        cell w = needed(rn, r + 1, kw);
        if (!word::any_word_q(type_of(&w))) end_error(kw);
        if (r + 2 >= n) end_error(kw);
        u32 level = push_level(w, marker(), cell{TYPE_PAIR, 0, static_cast<u32>(k == K_SET ? -5 : -4), 0});
        u32 start = pos_;
        u32 next = match_rule(rules, r + 2, ok);
        if (ok) {
          cell value;
          if (k == K_COPY) {
            series::copy_units(cells::get(input_stack, input_at_), start,
                               pos_ > start ? pos_ - start : 0, &value);
          } else {
            value = item_at(start, pos_);
          }
          collector::root_guard g(&value);
          _context::set(&w, &value);
        }
        cut(rule_stack, level);
        return next;
      }
      case K_REMOVE:
        return match_remove(kw, rules, r, ok);
      case K_INSERT:
        return match_insert(kw, rules, r, ok);
      case K_CHANGE:
        return match_change(kw, rules, r, ok);
      case K_INTO:
        return match_into(kw, rules, r, ok);
      case K_COLLECT:
        return match_collect(kw, rules, r, ok);
      case K_KEEP:
        return match_keep(kw, rules, r, ok);
      case K_BAR:
      default:
        rule_error(kw);
    }
  }

  // The first item of [start, end): the value, a char!, or a byte as integer!; none! when
  // nothing was consumed.
  cell item_at(u32 start, u32 end) {
    if (end <= start || start >= length()) return cell{TYPE_NONE, 0, 0, 0};
    if (block_input()) return *cells::get(in_node(), start);
    if (binary_input()) return cell{TYPE_INTEGER, 0, char_at(start), 0};
    cell c;
    char_::make_at(&c, char_at(start));
    return c;
  }

  // to / thru: searches the next rule value from the position.
  u32 match_to(bool thru, const cell& kw, const cell& rules, u32 r, bool& ok) {
    u32 rn = series::node(&rules);
    cell v = needed(rn, r + 1, kw);
    const cell* word = nullptr;
    cell w = v;
    if (type_of(&v) == TYPE_WORD) {
      if (keyword_of(&v) == K_END) {
        pos_ = std::max(pos_, tail());
        ok = true;
        if (tracing_) matched(ok, rules, r + 1);
        return r + 2;
      }
      v = value_of(v);
      word = &w;
    }
    u32 level = keyword_level(thru ? K_THRU : K_TO);
    hold(v);
    u32 start = pos_;
    ok = false;
    if (type_of(&v) == TYPE_BLOCK) {
      for (u32 p = pos_; p <= tail(); p++) {
        pos_ = p;
        if (match_block(v)) {
          if (!thru) pos_ = p;
          ok = true;
          break;
        }
      }
    } else if (block_input()) {
      for (u32 p = pos_; p < tail(); p++) {
        pos_ = p;
        u32 step = 0;
        if (match_here(v, step, word)) {
          pos_ = thru ? p + step : p;
          ok = true;
          break;
        }
      }
    } else {
      u32 t = type_of(&v);
      if (!(t == TYPE_CHAR || string::text_q(t) || t == TYPE_BINARY || t == TYPE_BITSET ||
            (t == TYPE_INTEGER && binary_input())))
        rule_error(word ? *word : v);
      u32 from = pos_;
      if (t == TYPE_BITSET) {
        // A character class: the first member found by one loop over the units (nothing
        // allocates here, so neither buffer moves).
        const series_buffer* ib = read_buffer(in_node());
        const series_buffer* sb = read_buffer(series::node(&v));
        u32 u = ib->unit(), end = tail();
        const char* text = ib->head();
        const u8* bits = reinterpret_cast<const u8*>(sb->head());
        u64 nbits = u64{sb->used_bytes()} * 8;
        bool flag = (sb->flags & SERIES_COMPLEMENT) != 0;
        while (from < end) {
          u32 c = u == 1 ? static_cast<u8>(text[from]) : string::get_char(text + u64{from} * u, u);
          if (c < nbits ? (bits[c >> 3] & (0x80u >> (c & 7))) != 0 : flag) break;
          from++;
        }
      }
      for (u32 p = from; p <= tail(); p++) {
        u32 step = 0;
        if (match_text(v, p, step, word)) {
          pos_ = thru ? p + step : p;
          ok = true;
          break;
        }
      }
    }
    if (!ok) pos_ = start;
    cut(rule_stack, level);
    if (tracing_) matched(ok, rules, r + 1);
    return r + 2;
  }

  // ---- Edits ------------------------------------------------------------------------------

  // Runs an action implementation with a result slot of its own, so that the caller's
  // arguments stay as they are; answers the action's result.
  template <class F> cell scratch(F f) {
    stack::guard g;
    stack::arguments = stack::top;
    *stack::push_slot() = cell{TYPE_NONE, 0, 0, 0};
    cell out = *f();
    return out;
  }

  void remove_range(u32 from, u32 to) {
    if (to <= from) return;
    cell s = input_at(from);
    cell part{TYPE_INTEGER, 0, to - from, 0};
    scratch([&] { return actions::lookup_for<slot::remove>(&s)(&s, &part, nullptr); });
  }

  // Inserts (change false) or changes `count` items at `at` with the value; answers the
  // index after the new part.
  u32 put_value(u32 at, const cell& value, bool only, bool change, u32 count) {
    cell s = input_at(at);
    cell v = value;
    collector::root_guard gv(&v);
    cell out = scratch([&]() -> const cell* {
      if (change) return actions::lookup_for<slot::change>(&s)(&s, &v, i32(count), only, 1);
      return actions::lookup_for<slot::insert>(&s)(&s, &v, -1, only, 1, false);
    });
    return series::index(&out);
  }

  // The value of `insert` and `change`: a paren's result, a word's value, or the value.
  cell edit_value(const cell& v, const cell& rules, u32 r) {
    u32 t = type_of(&v);
    if (t == TYPE_PAREN) {
      cell out;
      eval_paren(v, &out, &rules, r);
      return out;
    }
    if (t >= TYPE_PATH && t <= TYPE_GET_PATH) rule_error(v);
    if (t == TYPE_WORD || t == TYPE_GET_WORD) {
      cell w = v;
      const cell* val = _context::get(&w);
      if (type_of(val) == TYPE_UNSET) fire("script", "no-value", &w);
      return *val;
    }
    return v;
  }

  // A word (or get-word) at r whose value is a position in the input: that position.
  bool position_word(u32 rn, u32 r, u32& at) {
    if (r >= cells::length(rn)) return false;
    cell w = *cells::get(rn, r);
    if (type_of(&w) != TYPE_WORD && type_of(&w) != TYPE_GET_WORD) return false;
    if (keyword_of(&w) != K_NONE_) return false;
    const cell* v = _context::get(&w);
    if (!input_position(*v)) return false;
    at = std::min(series::index(v), length());
    return true;
  }

  u32 match_remove(const cell& kw, const cell& rules, u32 r, bool& ok) {
    u32 rn = series::node(&rules);
    cell v = needed(rn, r + 1, kw);
    if (type_of(&v) >= TYPE_PATH && type_of(&v) <= TYPE_GET_PATH) rule_error(v);
    u32 at;
    if (position_word(rn, r + 1, at)) {
      u32 from = std::min(at, pos_), to = std::max(at, pos_);
      remove_range(from, to);
      pos_ = from;
      ok = true;
      return r + 2;
    }
    u32 level = keyword_level(K_REMOVE);
    u32 start = pos_;
    u32 next = match_rule(rules, r + 1, ok);
    if (ok) {
      remove_range(start, pos_);
      pos_ = start;
    }
    cut(rule_stack, level);
    return next;
  }

  // An `only` after insert or change: skipped over, and answered.
  bool take_only(u32 rn, u32& k) {
    if (k >= cells::length(rn) || keyword_of(cells::get(rn, k)) != K_ONLY) return false;
    k++;
    return true;
  }

  u32 match_insert(const cell& kw, const cell& rules, u32 r, bool& ok) {
    u32 rn = series::node(&rules);
    u32 k = r + 1;
    bool only = take_only(rn, k);
    cell first = needed(rn, k, kw);
    u32 at = pos_;
    if (position_word(rn, k, at)) {
      k++;
      if (k >= cells::length(rn)) rule_error(first);
    }
    cell value = edit_value(*cells::get(rn, k), rules, k);
    collector::root_guard g(&value);
    pos_ = put_value(at, value, only, false, 0);
    ok = true;
    return k + 1;
  }

  u32 match_change(const cell& kw, const cell& rules, u32 r, bool& ok) {
    u32 rn = series::node(&rules);
    u32 k = r + 1;
    bool only = take_only(rn, k);
    cell first = needed(rn, k, kw);
    if (type_of(&first) >= TYPE_PATH && type_of(&first) <= TYPE_GET_PATH) rule_error(first);
    u32 at;
    u32 from, to, next;
    if (position_word(rn, k, at)) {
      from = std::min(at, pos_);
      to = std::max(at, pos_);
      next = k + 1;
      ok = true;
    } else {
      u32 level = keyword_level(K_CHANGE, only ? 1 : 0);
      from = pos_;
      next = match_rule(rules, k, ok);
      to = pos_;
      cut(rule_stack, level);
      if (!ok) {
        pos_ = from;
        return next < cells::length(rn) ? next + 1 : next;
      }
    }
    if (next >= cells::length(rn)) end_error(kw);
    cell value = edit_value(*cells::get(rn, next), rules, next);
    collector::root_guard g(&value);
    pos_ = put_value(from, value, only, true, to - from);
    return next + 1;
  }

  // ---- into ---------------------------------------------------------------------------------

  u32 match_into(const cell& kw, const cell& rules, u32 r, bool& ok) {
    u32 rn = series::node(&rules);
    if (!block_input()) {
      cell in = input();
      fire("script", "parse-block", &in);
    }
    cell sub = needed(rn, r + 1, kw);
    if (type_of(&sub) == TYPE_WORD) sub = value_of(sub);
    if (type_of(&sub) != TYPE_BLOCK) end_error(kw);
    ok = false;
    if (at_end()) return r + 2;
    cell item = *cells::get(in_node(), pos_);
    u32 it = type_of(&item);
    if (!(cells::block_like_q(it) || string::text_q(it) || it == TYPE_BINARY)) return r + 2;
    u32 level = keyword_level(K_INTO);
    hold(sub);
    // The item becomes the input of the sub-rule.
    push_cell(input_stack, item);
    u32 saved_input = input_at_, saved_pos = pos_, saved_head = head_, saved_limit = limit_;
    input_at_ = cells::length(input_stack) - 1;
    pos_ = head_ = std::min(series::index(&item), length());
    limit_ = NO_LIMIT;
    if (tracing_) trace(E_PUSH, &sub, series::index(&sub));
    ok = match_block(sub) && at_end();
    cut(input_stack, input_at_);
    input_at_ = saved_input;
    head_ = saved_head;
    limit_ = saved_limit;
    pos_ = ok ? saved_pos + 1 : saved_pos;
    cut(rule_stack, level);
    return r + 2;
  }

  // ---- collect / keep ------------------------------------------------------------------------

  u32 match_collect(const cell& kw, const cell& rules, u32 r, bool& ok) {
    u32 rn = series::node(&rules);
    u32 k = r + 1;
    keyword mode = K_NONE_;
    cell target{TYPE_NONE, 0, 0, 0};
    if (k < cells::length(rn)) {
      keyword m = keyword_of(cells::get(rn, k));
      if (m == K_SET || m == K_INTO || m == K_AFTER) {
        mode = m;
        target = needed(rn, k + 1, *cells::get(rn, k));
        if (!word::any_word_q(type_of(&target))) end_error(kw);
        k += 2;
      }
    }
    if (k >= cells::length(rn)) end_error(kw);
    cell dest{TYPE_NONE, 0, 0, 0};
    if (mode == K_INTO || mode == K_AFTER) {
      dest = *_context::get(&target);
      u32 dt = type_of(&dest);
      u32 it = in_type();
      bool fits = cells::block_like_q(it) ? cells::block_like_q(dt)
                  : string::text_q(it)    ? string::text_q(dt)
                                          : dt == it;
      if (!fits) fire("script", "parse-into-type");
      if (series::node(&dest) == in_node()) fire("script", "parse-into-bad");
    }
    cell block;
    cells::make_block(&block, 8);
    u32 level = push_level(block, marker(), cell{TYPE_PAIR, 0, static_cast<u32>(-12), mode});
    u32 saved_collect = collect_at_;
    collect_at_ = level;
    collect_depth_++;
    u32 next;
    try {
      next = match_rule(rules, k, ok);
    } catch (...) {
      collect_depth_--;
      collect_at_ = saved_collect;
      throw;
    }
    collect_depth_--;
    collect_at_ = saved_collect;
    block = *cells::get(rule_stack, level);
    if (mode == K_SET) {
      _context::set(&target, &block);
    } else if (mode == K_INTO || mode == K_AFTER) {
      dest = *_context::get(&target);
      cell d = dest;
      collector::root_guard gd(&d);
      cell out = scratch([&] {
        return actions::lookup_for<slot::insert>(&d)(&d, &block, -1, false, 1, false);
      });
      if (mode == K_AFTER) _context::set(&target, &out);
    } else if (collect_depth_ > 0) {
      cells::append(series::node(cells::get(rule_stack, collect_at_)), &block);
    } else {
      // The outermost collect without a target: its block is the run's result.
      *cells::unstamped_at(rule_stack, result_at_) = block;
      collected_ = true;
    }
    cut(rule_stack, level);
    return next;
  }

  u32 match_keep(const cell& kw, const cell& rules, u32 r, bool& ok) {
    u32 rn = series::node(&rules);
    if (collect_depth_ == 0) fire("script", "parse-keep");
    u32 k = r + 1;
    bool pick = false;
    if (k < cells::length(rn) && keyword_of(cells::get(rn, k)) == K_PICK) {
      pick = true;
      k++;
    }
    cell v = needed(rn, k, kw);
    if (type_of(&v) == TYPE_PAREN) {
      cell value;
      eval_paren(v, &value, &rules, k);
      collector::root_guard g(&value);
      keep(value, pick);
      ok = true;
      return k + 1;
    }
    u32 level = keyword_level(K_KEEP);
    u32 start = pos_;
    u32 next = match_rule(rules, k, ok);
    if (ok && pos_ > start) {
      if (pos_ - start == 1) {
        cell one = item_at(start, pos_);
        keep(one, false);
      } else if (pick) {
        for (u32 i = start; i < pos_; i++) {
          cell one = item_at(i, i + 1);
          keep(one, false);
        }
      } else {
        cell part;
        series::copy_units(cells::get(input_stack, input_at_), start, pos_ - start, &part);
        collector::root_guard g(&part);
        keep(part, false);
      }
    }
    cut(rule_stack, level);
    return next;
  }

  // Adds a value to the innermost collect block (a block's items one by one with `pick`).
  void keep(const cell& value, bool pick) {
    u32 dest = series::node(cells::get(rule_stack, collect_at_));
    if (pick && cells::block_like_q(type_of(&value))) {
      for (u32 i = series::index(&value); i < cells::length(series::node(&value)); i++)
        cells::append(dest, cells::get(series::node(&value), i));
      return;
    }
    cells::append(dest, &value);
  }
};

// Cuts both stacks back to where a run found them, on every exit.
struct stacks_scope {
  u32 inputs = cells::length(input_stack);
  u32 rules = cells::length(rule_stack);
  ~stacks_scope() {
    cut(input_stack, inputs);
    cut(rule_stack, rules);
  }
};

}  // namespace

void run(const cell* input, const cell* rules, bool case_sensitive, u32 end,
         const cell* callback, cell* out) {
  cell in = *input, r = *rules;
  collector::root_guard gi(&in);
  collector::root_guard gr(&r);
  stacks_scope scope;
  engine e(&in, case_sensitive, end, callback);
  bool ok;
  try {
    ok = e.match_all(&r);
  } catch (stopped&) {
    // The callback asked to stop: the input was not matched.
    ok = false;
  } catch (pending_exit&) {
    return;
  }
  if (e.collected()) {
    *out = e.collected_block();
    return;
  }
  *out = cell{TYPE_LOGIC, ok ? 1u : 0u, 0, 0};
}

void parse_entry(bool, const i32* refs) {
  cell input = stack::arg(0)[0];
  cell rules = stack::arg(1)[0];
  bool case_sensitive = refs[0] != -1;
  u32 end = NO_LIMIT;
  u32 length = buffer_of(series::node(&input))->used_units();
  u32 head = std::min(series::index(&input), length);
  if (refs[1] != -1) {
    cell part = stack::arguments[refs[1]];
    i64 at;
    if (type_of(&part) == TYPE_INTEGER) {
      at = i64(head) + i64(integer::get(&part));
    } else if (type_of(&part) == TYPE_FLOAT) {
      at = i64(head) + i64(cell_float(&part));
    } else if (type_of(&part) == type_of(&input) && series::node(&part) == series::node(&input)) {
      at = series::index(&part);
    } else {
      cell w = _context::add_global(symbol::make("length"), false, false);
      fire("script", "invalid-refine-arg", &w, &part);
    }
    // The end lies between the position and the tail, whatever the length asked.
    end = static_cast<u32>(std::clamp<i64>(at, head, length));
  }
  cell callback{TYPE_NONE, 0, 0, 0};
  const cell* cb = nullptr;
  if (refs[2] != -1) {
    callback = stack::arguments[refs[2]];
    cb = &callback;
  }
  collector::root_guard gc(&callback);
  cell result;
  run(&input, &rules, case_sensitive, end, cb, &result);
  if (interpreter::pending) return;
  *stack::arguments = result;
  stack::keep_first();
}

namespace {
void mark_words() { collector::mark_values(event_words, event_words + E_COUNT); }
}  // namespace

void init() {
  static bool done = false;
  if (done) return;
  done = true;
  input_stack = memory::alloc_cells(8);
  collector::add_root_node(&input_stack);
  rule_stack = memory::alloc_cells(100);
  collector::add_root_node(&rule_stack);
  for (u32 k = 1; k < K_COUNT; k++) {
    u32 s = symbol::resolve(symbol::make(keyword_names[k]));
    keyword_symbols[k] = s;
    if (s >= keyword_by_symbol.size()) keyword_by_symbol.resize(s + 1, 0);
    keyword_by_symbol[s] = u8(k);
  }
  for (u32 e = 0; e < E_COUNT; e++) event_words[e] = word::intern(event_names[e]);
  collector::register_callback(mark_words);
  natives::install(natives::id::parse, parse_entry);
}

}  // namespace vyr::parse
