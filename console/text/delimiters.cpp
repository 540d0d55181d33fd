// The console's delimiter check (see delimiters.h).
#include "console/text/delimiters.h"

#include "runtime/fire.h"
#include "runtime/lexer/lexer.h"

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

struct delimiter_listener : lexer::listener {
  std::string_view text;
  std::string open;
  bool has_callback() override { return true; }
  u32 event_mask() override {
    return lexer::EVENT_OPEN | lexer::EVENT_CLOSE | lexer::EVENT_ERROR;
  }
  bool event(lexer::scanner&, u32 bit, i32 type, u32 start, u32 end) override {
    if (bit == lexer::EVENT_OPEN) {
      open += opener_of(type);
      return true;
    }
    if (bit == lexer::EVENT_CLOSE) {
      if (open.empty() || open.back() != opener_of(type)) throw stop_scan{};
      open.pop_back();
      return true;
    }
    if (bit != lexer::EVENT_ERROR) return true;
    if (type == TYPE_ERROR) throw stop_scan{};
    if ((type == TYPE_BLOCK || type == TYPE_PAREN || type == TYPE_MAP || type == TYPE_POINT2D) &&
        !open.empty() && open.back() == opener_of(type)) {
      std::string_view rest = end < text.size() ? text.substr(end) : std::string_view();
      if (rest.find(')') == std::string_view::npos && rest.find(']') == std::string_view::npos)
        throw wait_scan{};
    }
    if (type == TYPE_PAREN && !open.empty()) {
      size_t at = open.size() >= 2 ? open.size() - 2 : 0;
      if (open[at] == '/') {
        open.erase(at, 1);
        throw wait_scan{};
      }
    }
    if (type == TYPE_TAG) {
      open += '<';
      throw wait_scan{};
    }
    // The character before the final line feed.
    char before_end = text.size() >= 2 ? text[text.size() - 2] : '\0';
    if (type == TYPE_BINARY && before_end != '}') {
      open += '{';
      throw wait_scan{};
    }
    if (type == TYPE_STRING) {
      if (start < text.size() && text[start] == '%') {
        // A raw string: its opening run of "%" against the run that ends the text.
        size_t begin = run_of(text, start, '%', 1);
        size_t finish = text.size() >= 2 ? run_of(text, text.size() - 2, '%', -1) : 0;
        if (begin > finish) {
          open += '{';
          throw wait_scan{};
        }
      } else if (!open.empty() && open.back() == '{') {
        throw wait_scan{};
      }
    }
    throw stop_scan{};
  }
};

}  // namespace

delimiter_check check_delimiters(std::string_view buffer) {
  delimiter_listener l;
  l.text = buffer;
  lexer::scanner s(reinterpret_cast<const u8*>(buffer.data()), u32(buffer.size()), &l);
  try {
    s.run();
  } catch (const stop_scan&) {
    return {false, l.open};
  } catch (const wait_scan&) {
    return {true, l.open};
  } catch (const thrown&) {
    // A syntax error no event answered for: evaluate, the loader reports it.
    return {false, l.open};
  }
  return {!l.open.empty(), l.open};
}

}  // namespace vyr::text
