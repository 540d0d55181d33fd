// The console's delimiter check (see delimiters.h).
#include "console/text/delimiters.h"

#include <vector>

#include "runtime/datatypes/map.h"
#include "runtime/fire.h"
#include "runtime/lexer/lexer.h"
#include "runtime/lexer/lexer_loaders.h"

namespace vyr::text {

namespace {

char opener_of(i32 type) {
  switch (type) {
    case TYPE_BLOCK: return '[';
    case TYPE_PAREN: case TYPE_MAP: case TYPE_POINT2D: return '(';
    case TYPE_STRING: return '{';
    case TYPE_PATH: case TYPE_LIT_PATH: case TYPE_GET_PATH: case TYPE_SET_PATH: return '/';
    default: return '\0';
  }
}

// How the scan ends early: evaluate now (the loader reports the error) or wait.
struct stop_scan {};
struct wait_scan {};

// The length of the run of `c` from `i` forward, or backward with `step` -1; a backward
// run stops at the text's head.
size_t run_of(std::string_view s, size_t i, char c, int step) {
  size_t n = 0;
  while (i < s.size() && s[i] == c) {
    n++;
    if (step < 0 && i == 0) break;
    i = size_t(i64(i) + step);
  }
  return n;
}

// What the loader checks when a structure closes: a map's items must be key and value
// pairs with keys a map can hold.
struct level {
  u32 items = 0;
  bool bad_key = false;
};

// The pending openers and the items of every open structure.
struct pending {
  std::string open;
  std::vector<level> levels{level{}};
};

struct delimiter_listener : lexer::listener {
  std::string_view text;
  pending p;
  pending* kept = nullptr;  // the state as of the scanner's resume point
  bool has_callback() override { return true; }
  u32 event_mask() override {
    return lexer::EVENT_OPEN | lexer::EVENT_CLOSE | lexer::EVENT_ERROR;
  }
  void resume_point(lexer::scanner&) override {
    if (kept) *kept = p;
  }
  void item(u32 type) {
    level& l = p.levels.back();
    if (l.items++ % 2 == 0 && !map::valid_key_type_q(type)) l.bad_key = true;
  }
  // The loader's checks, without making any value: a literal no later line can mend
  // ("1.2.", an odd map) is refused through an error event as a load would refuse it.
  void value(lexer::scanner& s, const lexer::token& t, bool build) override {
    if (!build) {
      cell unused{TYPE_NONE, 0, 0, 0};
      lexer::load_value(s, t, false, &unused);
      return;
    }
    u32 type = t.type;
    if (t.state == lexer::T_CONSTRUCT)
      type = t.kind == lexer::CONSTRUCT_TRUE || t.kind == lexer::CONSTRUCT_FALSE ? TYPE_LOGIC
             : t.kind >= lexer::CONSTRUCT_TRUE ? TYPE_NONE
                                               : TYPE_DATATYPE;
    item(type);
  }
  void open_structure() { p.levels.push_back(level{}); }
  void open(lexer::scanner&, const lexer::token&) override { open_structure(); }
  void close(lexer::scanner& s, const lexer::token& t) override {
    level l = p.levels.back();
    if (p.levels.size() > 1) p.levels.pop_back();
    // Points made of commas need their datatype's constructor.
    if (t.kind == TYPE_POINT2D) s.throw_error(t.start, t.end, TYPE_POINT2D);
    if (t.kind == TYPE_MAP && (l.items % 2 || l.bad_key)) s.throw_error(t.start, t.end, TYPE_MAP);
    item(t.kind);
  }
  bool event(lexer::scanner&, u32 bit, i32 type, u32 start, u32 end) override {
    if (bit == lexer::EVENT_OPEN) {
      p.open += opener_of(type);
      return true;
    }
    if (bit == lexer::EVENT_CLOSE) {
      if (p.open.empty() || p.open.back() != opener_of(type)) throw stop_scan{};
      p.open.pop_back();
      return true;
    }
    if (bit != lexer::EVENT_ERROR) return true;
    if (type == TYPE_ERROR) throw stop_scan{};
    // A character refused before the end of the text (a NUL among them: it is text like
    // any other, not the end of it) stays refused whatever lines follow.
    if (end < text.size()) throw stop_scan{};
    if ((type == TYPE_BLOCK || type == TYPE_PAREN || type == TYPE_MAP || type == TYPE_POINT2D) &&
        !p.open.empty() && p.open.back() == opener_of(type)) {
      std::string_view rest = end < text.size() ? text.substr(end) : std::string_view();
      if (rest.find(')') == std::string_view::npos && rest.find(']') == std::string_view::npos)
        throw wait_scan{};
    }
    if (type == TYPE_PAREN && !p.open.empty()) {
      size_t at = p.open.size() >= 2 ? p.open.size() - 2 : 0;
      if (p.open[at] == '/') {
        p.open.erase(at, 1);
        throw wait_scan{};
      }
    }
    if (type == TYPE_TAG) {
      p.open += '<';
      throw wait_scan{};
    }
    // The character before the final line feed.
    char before_end = text.size() >= 2 ? text[text.size() - 2] : '\0';
    if (type == TYPE_BINARY && before_end != '}') {
      p.open += '{';
      throw wait_scan{};
    }
    if (type == TYPE_STRING) {
      if (start < text.size() && text[start] == '%') {
        // A raw string: its opening run of "%" against the run that ends the text.
        size_t begin = run_of(text, start, '%', 1);
        size_t finish = text.size() >= 2 ? run_of(text, text.size() - 2, '%', -1) : 0;
        if (begin > finish) {
          p.open += '{';
          throw wait_scan{};
        }
      } else if (!p.open.empty() && p.open.back() == '{') {
        throw wait_scan{};
      }
    }
    throw stop_scan{};
  }
};

}  // namespace

struct delimiter_scan::state {
  // The scanner at the last resume point, and what was pending there. A fresh scanner
  // over no text is the resume point of an empty text.
  lexer::scanner resume{nullptr, 0, nullptr};
  pending p;
};

delimiter_scan::delimiter_scan() : state_(std::make_unique<state>()) {}
delimiter_scan::~delimiter_scan() = default;

void delimiter_scan::reset() {
  text_.clear();
  state_ = std::make_unique<state>();
}

delimiter_check delimiter_scan::append(std::string_view more) {
  text_.append(more);
  delimiter_listener l;
  l.text = text_;
  l.p = state_->p;
  l.kept = &state_->p;
  lexer::scanner s = state_->resume;
  s.continue_on(reinterpret_cast<const u8*>(text_.data()), u32(text_.size()), &l);
  s.keep_resume_points(&state_->resume);
  try {
    s.run();
  } catch (const stop_scan&) {
    return {false, true, l.p.open};
  } catch (const wait_scan&) {
    return {true, false, l.p.open};
  } catch (const thrown&) {
    // A syntax error no event answered for: evaluate, the loader reports it.
    return {false, true, l.p.open};
  }
  return {!l.p.open.empty(), false, l.p.open};
}

delimiter_check check_delimiters(std::string_view buffer) {
  delimiter_scan s;
  return s.append(buffer);
}

}  // namespace vyr::text
