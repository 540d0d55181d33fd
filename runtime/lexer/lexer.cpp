// The lexer's scanner: the automaton step, the token loop with its structural bookkeeping,
// and the syntax errors. Every position stays within [0, length]; every token advances.
#include "runtime/lexer/lexer.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "base/utf8.h"
#include "runtime/collector.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/series.h"
#include "runtime/fire.h"

namespace vyr::lexer {

namespace {

constexpr u8 KIND_BLOCK = TYPE_BLOCK, KIND_PAREN = TYPE_PAREN, KIND_MAP = TYPE_MAP;
constexpr u8 KIND_PATH = TYPE_PATH, KIND_LIT_PATH = TYPE_LIT_PATH,
             KIND_SET_PATH = TYPE_SET_PATH, KIND_GET_PATH = TYPE_GET_PATH;
constexpr u8 KIND_POINT = TYPE_POINT2D;

// The end of a token's text with the closing byte it owns but has not consumed yet.
u32 owned_end(const token& t) {
  switch (t.state) {
    case T_LBRACKET: case T_RBRACKET: case T_LPAREN: case T_RPAREN: case T_LBRACE:
    case T_RBRACE: case T_MAP: case T_PATH: case T_CONSTRUCT: case T_COMMA: case T_STRING:
    case T_CHAR: case T_BINARY: case T_PERCENT: case T_TAG: case T_POINT:
      return t.end + 1;  // clamped to the input by `fire`
    case T_FILE:
      return t.prev_state == 8 ? t.end + 1 : t.end;
    default:
      return t.end;
  }
}

bool path_kind_q(i32 k) { return k >= KIND_PATH && k <= KIND_GET_PATH; }

u8 class_of(u8 byte) { return static_cast<u8>(char_classes[byte] & 0xFF); }

// Bytes after which a path item ends the path (rather than continuing with '/').
bool path_closer_q(u8 byte) {
  switch (class_of(byte)) {
    case C_BLANK: case C_LINE: case C_CONTROL: case C_END: case C_LBRACKET: case C_RBRACKET:
    case C_LPAREN: case C_RPAREN: case C_LBRACE: case C_DQUOTE: case C_LESS: case C_SEMICOLON:
    case C_COMMA: case C_LETTER: case C_INVALID: case C_X: case C_T: case C_H: case C_LOWER_E:
    case C_UPPER_E: case C_HEX_LOWER: case C_HEX_UPPER:
      return true;
    default:
      return false;
  }
}

bool same_text_ci(const u8* p, u32 n, const char* word) {
  if (std::strlen(word) != n) return false;
  for (u32 i = 0; i < n; i++) {
    u8 a = p[i], b = static_cast<u8>(word[i]);
    if (a >= 'A' && a <= 'Z') a += 32;
    if (b >= 'A' && b <= 'Z') b += 32;
    if (a != b) return false;
  }
  return true;
}

// A string! cell holding the given code points (the error arguments).
void make_text(cell* out, const u32* cps, u32 n) {
  string::make_at(out, n ? n : 1);
  for (u32 i = 0; i < n; i++) {
    series_buffer* b = buffer_of(series::node(out));
    string::append_char(b, cps[i]);
  }
}

}  // namespace

u32 decode_utf8(const u8* p, const u8* end, u32* cp) {
  utf8::decoded d = utf8::decode(p, static_cast<size_t>(end - p));
  if (!utf8::well_formed(d)) return 0;
  *cp = d.cp;
  return d.size;
}

bool unicode_space_q(u32 cp) {
  switch (cp) {
    case 133: case 160: case 5760: case 6158: case 8232: case 8233: case 8239: case 8287:
    case 12288:
      return true;
    default:
      return cp >= 8192 && cp <= 8203;  // 8192-8202 and the zero-width space 8203
  }
}

scanner::scanner(const u8* text, u32 length, listener* l, scan_options o)
    : head_(text), tail_(length), listener_(l ? l : &default_listener_), opt_(o) {
  load_ = !o.prescan && !o.scan;
  has_callback_ = listener_->has_callback();
  mask_ = has_callback_ ? listener_->event_mask() : 0;
}

// ---------------------------------------------------------------------------------------
// The automaton step
// ---------------------------------------------------------------------------------------

token scanner::read_token() {
  const u8* p = head_;
  u32 pos = pos_;
  const u32 start = pos;
  u8 state = mode_, previous = state;
  u32 flags = 0, skip = 0;
  i32 lines = line_count_;
  const i32 start_line = lines;
  if (cut_.valid && cut_.start == start) {
    // Resumed over a longer text: the automaton goes on where the old end stopped it.
    pos = cut_.pos;
    state = cut_.state;
    previous = cut_.previous;
    flags = cut_.flags;
    skip = cut_.skip;
    lines = cut_.lines;
  }
  cut_.valid = false;
  while (pos < tail_) {
    u32 c = char_classes[p[pos]];
    flags |= c;
    u8 cls = static_cast<u8>(c);
    previous = state;
    state = transitions[state][cls];
    skip += skip_table[state];
    if (state >= FIRST_FINAL) break;
    lines += line_table[cls];
    pos++;
  }
  if (state < FIRST_FINAL) {
    if (resume_ && !tail_decided_)
      resume_->cut_ = cut_token{true, start, pos, flags, skip, state, previous, lines};
    previous = state;
    state = transitions[state][C_END];
  }
  // A NUL byte inside the text is not the end of it: nothing after it may be lost.
  if (state == T_END && pos < tail_) state = T_ERROR;

  token t;
  t.state = state;
  t.prev_state = previous;
  t.type = final_types[state];
  t.start = start + skip;
  t.end = pos;
  t.flags = flags & ~0xFFu;
  t.lines = static_cast<u32>(lines - start_line);
  i32 line = start_line;
  for (u32 i = start; i < t.start; i++) line += p[i] == '\n';
  t.line = line;

  pos_ = pos;
  token_end_ = pos;
  line_count_ = lines;
  token_lines_ = t.lines;
  prev_state_ = previous;
  load_type_ = -1;
  token_type_ = t.type;
  return t;
}

// ---------------------------------------------------------------------------------------
// Positions
// ---------------------------------------------------------------------------------------

void scanner::set_pos(u32 offset) {
  if (!moved_) pos_ = std::min(offset, tail_);
}

void scanner::move_to_byte(i64 offset) {
  moved_ = true;
  if (offset < 0) offset = 0;
  if (offset > tail_) offset = tail_;
  pos_ = static_cast<u32>(offset);
}

u32 scanner::char_index(u32 byte_pos) {
  byte_pos = std::min(byte_pos, tail_);
  u32 p = std::min(char_pos_ptr_, tail_), index = char_pos_;
  if (p > tail_ || (p == 0 && index != 0)) p = 0, index = 0;
  auto lead = [&](u32 i) { return (head_[i] & 0xC0) != 0x80; };
  while (p < byte_pos) { p++; if (p >= tail_ || lead(p)) index++; }
  while (p > byte_pos) { if (lead(p - 1) || p - 1 == 0) index--; p--; }
  // Counting back over stray continuation bytes can undercount; restart from the head.
  if (static_cast<i32>(index) < 0) {
    index = 0;
    for (u32 i = 0; i < byte_pos; i++) index += lead(i);
  }
  char_pos_ptr_ = byte_pos;
  char_pos_ = index;
  return index;
}

void scanner::move_to_char(i64 index) {
  moved_ = true;
  if (index <= 0) { pos_ = 0; return; }
  u32 p = 0;
  i64 n = 0;
  while (p < tail_ && n < index) {
    p++;
    while (p < tail_ && (head_[p] & 0xC0) == 0x80) p++;
    n++;
  }
  pos_ = p;
  char_pos_ptr_ = p;
  char_pos_ = static_cast<u32>(n);
}

void scanner::consume_to(u32 offset) { pos_ = std::min(offset, tail_); }

bool scanner::fire(u32 bit, i32 type, u32 start, u32 end) {
  if (!(mask_ & bit)) return true;
  moved_ = false;
  start = std::min(start, tail_);
  end = std::min(std::max(end, start), tail_);
  return listener_->event(*this, bit, type, start, end);
}

void scanner::deliver_value(const token& t, i32 type) {
  listener_->value(*this, t, false);
  if (fire(EVENT_SCAN, type, t.start, t.end) && load_) {
    listener_->value(*this, t, true);
    fire(EVENT_LOAD, type, t.start, t.end);
  }
}

// ---------------------------------------------------------------------------------------
// Errors
// ---------------------------------------------------------------------------------------

void scanner::throw_error(u32 start, u32 end, i32 code) {
  if (!load_) {
    token_type_ = TYPE_ERROR;
    throw abort_scan{};
  }
  if (start == UINT32_MAX) start = markers_.empty() ? 0 : markers_.back().open_at;
  start = std::min(start, tail_);
  end = std::min(std::max(end, start), tail_);
  if (has_callback_) {
    i32 type = code > 0 ? code
               : error_type_ > 0 ? error_type_
               : token_type_ > 0 ? token_type_
               : load_type_ > 0 ? load_type_ : static_cast<i32>(TYPE_ERROR);
    if (mode_ == MODE_PATH && !markers_.empty() && path_kind_q(markers_.back().kind)) {
      markers_.pop_back();
      mode_ = MODE_NORMAL;
    }
    if (!fire(EVENT_ERROR, type, start, end)) {
      // A callback that put the position past where the refused token began asks for the
      // scan to go on there (the highlighter skips a refused character); otherwise the
      // scan ends quietly. Every resumption moves on, so the scan always ends.
      if (moved_ && token_from_ != UINT32_MAX && pos_ > token_from_) throw resume_scan{};
      throw abort_scan{};
    }
  }
  if (path_kind_q(error_type_)) code = ERR_BAD_CHAR;
  u8 closer = 0;
  if (code == ERR_MISSING || code == ERR_MISSING_AT_END) {
    i32 kind = !markers_.empty() ? markers_.back().kind : missing_kind_;
    u8 looked = code == ERR_MISSING_AT_END || pos_ >= tail_ ? '_' : head_[pos_];
    if (kind == KIND_PAREN || kind == KIND_POINT) closer = looked == ')' ? '(' : ')';
    else closer = looked == ']' ? '[' : ']';
  }
  markers_.clear();

  // "(line N)"
  char digits[32];
  int dn = std::snprintf(digits, sizeof digits, "(line %d)", line_count_);
  u32 line_cps[32];
  for (int i = 0; i < dn; i++) line_cps[i] = static_cast<u8>(digits[i]);
  cell line_text{TYPE_NONE, 0, 0, 0};
  collector::root_guard keep_line(&line_text);
  make_text(&line_text, line_cps, static_cast<u32>(dn));

  // The near text: whole characters while fewer than 30 bytes were taken, up to a line feed.
  u32 near_cps[32];
  u32 nn = 0, taken = 0, p = start;
  while (p < tail_ && taken < 30 && head_[p] != '\n') {
    u32 cp;
    u32 n = decode_utf8(head_ + p, head_ + tail_, &cp);
    if (n == 0) { cp = 0xFFFD; n = 1; }
    near_cps[nn++] = cp;
    p += n;
    taken += n;
  }
  cell near_text{TYPE_NONE, 0, 0, 0};
  collector::root_guard keep_near(&near_text);
  make_text(&near_text, near_cps, nn);

  if (closer) {
    cell ch{TYPE_CHAR, 0, closer, 0};
    vyr::fire("syntax", "missing", &line_text, &ch, &near_text);
  }
  if (code > 0) {
    cell type{TYPE_DATATYPE, static_cast<u32>(code), 0, 0};
    vyr::fire("syntax", "invalid", &type, &line_text, &near_text);
  }
  if (code == ERR_MALCONSTRUCT) vyr::fire("syntax", "malconstruct", &line_text, &near_text);
  vyr::fire("syntax", "bad-char", &line_text, &near_text);
}

// ---------------------------------------------------------------------------------------
// Structure
// ---------------------------------------------------------------------------------------

void scanner::push_marker(token& t, u8 kind, u32 open_at) {
  if (!markers_.empty() && markers_.back().kind == KIND_POINT && markers_.back().commas > 0)
    throw_error(t.start, t.end, TYPE_POINT2D);
  t.kind = kind;
  t.role = ROLE_OPEN;
  if (!fire(EVENT_OPEN, kind, t.start, t.end)) return;
  markers_.push_back(marker{kind, 0, open_at});
  listener_->open(*this, t);
  listener_->token_done(*this, t);
}

void scanner::close_structure(token& t, i32 asked) {
  if (markers_.empty()) {
    missing_kind_ = asked;
    throw_error(t.start, t.end, ERR_MISSING);
  }
  marker m = markers_.back();
  i32 reported = m.kind == KIND_MAP && asked == KIND_BLOCK ? KIND_MAP : m.kind;
  if (!fire(EVENT_CLOSE, reported, t.start, t.end)) {
    mode_ = MODE_NORMAL;
    return;
  }
  bool ok = asked == m.kind || (asked == KIND_BLOCK && m.kind == KIND_MAP) ||
            (asked == KIND_SET_PATH && m.kind == KIND_PATH) ||
            (asked == KIND_PAREN && m.kind == KIND_POINT);
  if (!ok) {
    error_type_ = m.kind;
    throw_error(path_kind_q(m.kind) ? m.open_at : t.start, t.end, ERR_MISSING);
  }
  u8 kind = asked == KIND_SET_PATH ? KIND_SET_PATH : m.kind;
  markers_.pop_back();
  t.kind = kind;
  t.commas = m.commas;
  t.type = kind;
  t.role = ROLE_CLOSE;
  token_type_ = kind;
  listener_->close(*this, t);
  listener_->token_done(*this, t);
  mode_ = !markers_.empty() && path_kind_q(markers_.back().kind) ? MODE_PATH : MODE_NORMAL;
  if (markers_.empty()) top_level_values_++;
}

// After a path item: '/' goes on to the next item, ':' makes a set-path, a delimiter ends it.
void scanner::close_path_after_item(token& t) {
  token c = t;
  c.start = c.end = pos_;
  c.state = T_PATH;
  if (pos_ >= tail_) {
    close_structure(c, markers_.back().kind);
    return;
  }
  u8 b = head_[pos_];
  if (b == ':') {
    if (pos_ + 1 < tail_ && head_[pos_ + 1] == '/') {
      throw_error(UINT32_MAX, pos_ + 1, TYPE_PATH);
    }
    pos_++;
    c.end = pos_;
    close_structure(c, KIND_SET_PATH);
  } else if (b == '/') {
    pos_++;
    if (pos_ == tail_) throw_error(UINT32_MAX, pos_, TYPE_PATH);
  } else if (path_closer_q(b)) {
    close_structure(c, markers_.back().kind);
  } else {
    // Any other byte between items is not a separator: refuse it rather than read it as '/'.
    throw_error(UINT32_MAX, pos_ + 1, TYPE_PATH);
  }
}

bool scanner::point_follows(u32 after) {
  if (tail_ - after < 3) {
    // Decided by where the input ends: a longer copy of the text may decide otherwise.
    tail_decided_ = true;
    return false;
  }
  for (u32 p = after; p < tail_; p++) {
    u8 b = head_[p];
    if (b == ',') return true;
    if (b == ' ' || b == '\t' || (b >= '0' && b <= '9') || b == '#' || b == '+' || b == '-' ||
        b == '.' || std::strchr("AEFINaefin", b) != nullptr) {
      if (b == 0) return false;
      continue;
    }
    return false;
  }
  return false;
}

i32 scanner::construct_kind(u32 start, u32 end) const {
  // start at '#', end after ')'
  const u8* p = head_ + start + 2;
  u32 n = end - start - 3;
  static const char* const specials[] = {"true", "false", "none", "unset"};
  for (int i = 0; i < 4; i++)
    if (same_text_ci(p, n, specials[i])) return CONSTRUCT_TRUE + i;
  // Only a whole name of a registered datatype: "#(i)" is no abbreviation of integer!.
  for (u32 id = 1; id < TYPE_TOTAL_COUNT; id++) {
    const char* name = datatype::name_of(id);
    if (*name && same_text_ci(p, n, name)) return static_cast<i32>(id);
  }
  return -1;
}

// A word-like token: leading Unicode white space is skipped (the automaton took it for
// letters), the word is cut at white space inside it, and undecodable text is refused.
void scanner::check_word(token& t, bool& drop) {
  drop = false;
  bool high = false;
  for (u32 i = t.start; i < t.end; i++) high |= head_[i] >= 0x80;
  if (!high) return;
  u32 p = t.start;
  bool leading = true;
  while (p < t.end) {
    u32 cp;
    u32 n = decode_utf8(head_ + p, head_ + t.end, &cp);
    if (n == 0) throw_error(t.start, t.end, TYPE_WORD);
    if (unicode_space_q(cp)) {
      if (leading) { t.start = p + n; p += n; continue; }
      t.end = p;
      pos_ = p;
      break;
    }
    leading = false;
    p += n;
  }
  if (t.start >= t.end) drop = true;
}

// %{...}% with as many '%' after the closing brace as before the opening one.
void scanner::match_raw_string(token& t) {
  u32 open = 0;
  while (head_[t.start + open] == '%') open++;
  u32 close = 0;
  while (close < t.end - t.start && head_[t.end - 1 - close] == '%') close++;
  if (close > open) throw_error(t.start, t.end, TYPE_STRING);
  if (close == open) return;
  // The first '}' closed too few: look for a '}' followed by `open` percents.
  for (u32 p = t.end - close; p < tail_; p++) {
    if (head_[p] != '}') continue;
    u32 k = 0;
    while (k < open && p + 1 + k < tail_ && head_[p + 1 + k] == '%') k++;
    if (k == open) {
      t.end = p + 1 + open;
      pos_ = t.end;
      return;
    }
  }
  throw_error(t.start, tail_, TYPE_STRING);
}

// ---------------------------------------------------------------------------------------
// The token loop
// ---------------------------------------------------------------------------------------

bool scanner::handle(token& t) {
  const bool prescan = opt_.prescan;
  const u8 s = t.state;
  moved_ = false;

  if (s == T_WORD) {
    bool drop;
    check_word(t, drop);
    if (drop) {
      if (pos_ < tail_) return true;
      t.state = T_END;
      t.type = 0;
      token_type_ = 0;
      return true;
    }
  }

  // Whether to go on with this token.
  bool go_on;
  if (has_callback_ && mode_ != MODE_BRACED) {
    i32 type = t.type ? t.type : -(s - 65);
    // The range reported covers the closing byte the token owns, not yet consumed here,
    // and a point's parentheses.
    u32 from = s == T_POINT && t.start > 0 ? t.start - 1 : t.start;
    go_on = (s == T_LPAREN && point_follows(t.end + 1)) ? true
            : fire(EVENT_PRESCAN, type, from, owned_end(t));
    // The callback put the scan elsewhere: this token is left behind.
    if (moved_) return true;
  } else {
    go_on = !prescan || s <= T_STRING;
  }
  bool opened_path = false;

  if (go_on) {
    switch (s) {
      case T_END:
        token_end_ = tail_;
        break;
      case T_ERROR: {
        i32 type = final_types[t.prev_state];
        u32 start = mode_ == MODE_BRACED ? brace_start_ : t.start;
        if (type == 0) type = ERR_BAD_CHAR;
        if (path_kind_q(type) || type == TYPE_BLOCK || type == TYPE_PAREN) start = UINT32_MAX;
        if (t.prev_state == MODE_POINT && start > 0) start--;  // from the '('
        throw_error(start, t.end + (t.end < tail_), type);
      }
      case T_LBRACKET:
        t.end = pos_ + 1;
        push_marker(t, KIND_BLOCK, t.start);
        set_pos(t.end);
        mode_ = MODE_NORMAL;
        break;
      case T_LPAREN:
        t.end = pos_ + 1;
        if (point_follows(t.end)) {
          if (!markers_.empty() && markers_.back().kind == KIND_POINT && markers_.back().commas > 0)
            throw_error(t.start, t.end, TYPE_POINT2D);
          point_lines_ = t.lines;
          point_line_ = t.line;
          set_pos(t.end);
          mode_ = MODE_POINT;
          break;
        }
        push_marker(t, KIND_PAREN, t.start);
        set_pos(t.end);
        mode_ = MODE_NORMAL;
        break;
      case T_RBRACKET:
        t.end = pos_ + 1;
        close_structure(t, KIND_BLOCK);
        set_pos(t.end);
        break;
      case T_RPAREN:
        t.end = pos_ + 1;
        close_structure(t, KIND_PAREN);
        set_pos(t.end);
        break;
      case T_LBRACE:
        set_pos(pos_ + 1);
        if (brace_depth_ == 0) {
          t.end = pos_;
          t.type = TYPE_STRING;
          fire(EVENT_OPEN, TYPE_STRING, t.start, t.end);
          brace_start_ = t.start;
          brace_flags_ = 0;
          brace_lines_ = t.lines;
          brace_line_ = t.line;
          if (t.lines > 0) brace_flags_ |= FLAG_BRACE_LINES;
        }
        brace_depth_++;
        brace_flags_ |= t.flags;
        mode_ = MODE_BRACED;
        break;
      case T_RBRACE:
        set_pos(pos_ + 1);
        brace_flags_ |= t.flags;
        if (--brace_depth_ > 0) {
          if (pos_ == tail_) throw_error(brace_start_, tail_, TYPE_STRING);
          break;
        }
        {
          token b = t;
          b.start = std::min(brace_start_, pos_);
          b.end = pos_;
          b.flags = brace_flags_;
          b.lines = brace_lines_;
          b.line = brace_line_;
          b.type = TYPE_STRING;
          fire(EVENT_CLOSE, TYPE_STRING, b.start, b.end);
          mode_ = MODE_NORMAL;
          brace_start_ = 0;
          brace_flags_ = 0;
          if (!prescan) deliver_value(b, TYPE_STRING);
          listener_->token_done(*this, b);
          if (markers_.empty()) top_level_values_++;
          t = b;
        }
        break;
      case T_MAP:
        t.end = pos_ + 1;
        if (head_[t.start] != '#') throw_error(t.start, t.end, TYPE_MAP);
        push_marker(t, KIND_MAP, t.start);
        set_pos(t.end);
        mode_ = MODE_NORMAL;
        break;
      case T_PATH: {
        u8 first = head_[t.start];
        u8 kind = first == '\'' ? KIND_LIT_PATH : first == ':' ? KIND_GET_PATH : KIND_PATH;
        token head = t;
        t.end = pos_ + 1;
        set_pos(t.end);
        push_marker(t, kind, t.start);
        load_type_ = TYPE_WORD;
        head.state = T_WORD;
        head.type = TYPE_WORD;
        head.kind = kind;
        if (!prescan) deliver_value(head, TYPE_WORD);
        listener_->token_done(*this, head);
        mode_ = MODE_PATH;
        opened_path = true;
        break;
      }
      case T_CONSTRUCT: {
        t.end = pos_ + 1;
        set_pos(t.end);
        i32 k = construct_kind(t.start, t.end);
        if (k < 0) throw_error(t.start, t.end, ERR_MALCONSTRUCT);
        t.kind = static_cast<u8>(k);
        if (!prescan && load_) listener_->value(*this, t, true);
        listener_->token_done(*this, t);
        if (markers_.empty()) top_level_values_++;
        break;
      }
      case T_COMMENT:
        t.role = ROLE_OTHER;
        fire(EVENT_SCAN, -(T_COMMENT - 65), t.start, t.end);
        listener_->token_done(*this, t);
        break;
      case T_COMMA: {
        t.end = pos_ + 1;
        if (markers_.empty() || (markers_.back().kind != KIND_POINT &&
                                 markers_.back().kind != KIND_PAREN))
          throw_error(t.start, t.end, TYPE_POINT2D);
        marker& m = markers_.back();
        m.kind = KIND_POINT;
        m.commas++;
        set_pos(t.end);
        t.role = ROLE_OTHER;
        listener_->token_done(*this, t);
        break;
      }
      default:
        handle_value(t);
        break;
    }
  } else if (s >= T_STRING) {
    settle_value_end(t);
  } else if (s != T_END && pos_ < tail_ && pos_ == t.end &&
             (s != T_ERROR || t.start == t.end)) {
    // A structural token the callback declined: step over the byte it owns, so that the
    // scan goes on instead of reading the same byte again.
    set_pos(pos_ + 1);
  }

  // Path items: what follows decides whether the path goes on.
  if (mode_ == MODE_PATH && !opened_path && s != T_ERROR && s != T_END && !markers_.empty() &&
      path_kind_q(markers_.back().kind))
    close_path_after_item(t);

  // One value (or prescan): stop once a complete value stands alone at the top level.
  bool stop = false;
  if ((opt_.one || prescan) && token_type_ > 0 && mode_ != MODE_PATH && mode_ != MODE_BRACED &&
      !opened_path && markers_.empty() && top_level_values_ <= 1)
    stop = true;
  last_type_ = token_type_;
  return !stop;
}

// The end of a value token: the closing byte it owns, raw string percents, points.
void scanner::settle_value_end(token& t) {
  switch (t.state) {
    case T_STRING: case T_CHAR: case T_BINARY: case T_PERCENT: case T_TAG:
      set_pos(pos_ + 1);
      break;
    case T_FILE:
      if (t.prev_state == 8) set_pos(pos_ + 1);
      break;
    case T_POINT:
      set_pos(pos_ + 1);
      t.start = t.start > 0 ? t.start - 1 : 0;  // the '('
      t.lines = point_lines_ + t.lines;
      t.line = point_line_;
      t.commas = 0;
      for (u32 i = t.start; i < pos_; i++) t.commas += head_[i] == ',';
      if (t.commas == 2) t.type = TYPE_POINT3D;
      mode_ = !markers_.empty() && path_kind_q(markers_.back().kind) ? MODE_PATH : MODE_NORMAL;
      break;
    case T_RAW_STRING:
      match_raw_string(t);
      break;
    default:
      break;
  }
  t.end = pos_;
}

void scanner::handle_value(token& t) {
  settle_value_end(t);
  if (markers_.empty()) top_level_values_++;
  bool cont = !opt_.one || load_;
  bool has_check = t.state == T_STRING || t.state == T_WORD || t.state == T_ISSUE;
  if (opt_.prescan) {
    listener_->token_done(*this, t);
    return;
  }
  if (load_ || has_check || (mask_ & EVENT_SCAN)) {
    listener_->value(*this, t, false);
    if (has_callback_) cont = fire(EVENT_SCAN, t.type, t.start, t.end);
  }
  if (cont) {
    listener_->value(*this, t, true);
    fire(EVENT_LOAD, t.type, t.start, t.end);
  }
  listener_->token_done(*this, t);
}

void scanner::continue_on(const u8* text, u32 length, listener* l) {
  head_ = text;
  tail_ = length;
  listener_ = l ? l : &default_listener_;
  has_callback_ = listener_->has_callback();
  mask_ = has_callback_ ? listener_->event_mask() : 0;
  resume_ = nullptr;
  tail_decided_ = false;
}

u32 scanner::run() {
  for (;;) {
    try {
      scan_tokens();
    } catch (resume_scan&) {
      continue;
    } catch (abort_scan&) {
      markers_.clear();
    }
    break;
  }
  token_from_ = UINT32_MAX;
  return token_type_;
}

void scanner::scan_tokens() {
  while (pos_ < tail_) {
    if (resume_ && !tail_decided_) {
      scanner* keep = resume_;
      *keep = *this;
      keep->resume_ = nullptr;
      keep->cut_.valid = false;
      listener_->resume_point(*this);
    }
    token_from_ = pos_;
    token t = read_token();
    if (!handle(t)) break;
    if (t.state == T_END) break;
  }
  // What is wrong at the end cannot be skipped.
  token_from_ = UINT32_MAX;
  if (pos_ >= tail_) {
    if (mode_ == MODE_BRACED) throw_error(brace_start_, tail_, TYPE_STRING);
    if (mode_ == MODE_POINT) throw_error(tail_, tail_, TYPE_POINT2D);
    if (!markers_.empty()) {
      const marker& m = markers_.back();
      if (opt_.prescan && mode_ == MODE_PATH && token_type_ != TYPE_ERROR) {
        token_type_ = m.kind;
      } else if (mode_ == MODE_PATH) {
        throw_error(m.open_at, tail_, TYPE_PATH);  // "a/": an item must follow the '/'
      } else {
        error_type_ = m.kind;
        throw_error(m.open_at, tail_, ERR_MISSING_AT_END);
      }
    }
  }
}

// ---------------------------------------------------------------------------------------
// Collecting tokens
// ---------------------------------------------------------------------------------------

namespace {
struct collector_listener : listener {
  std::vector<token>* out;
  void token_done(scanner&, const token& t) override { out->push_back(t); }
};
}  // namespace

std::vector<token> tokenize(const char* text, u32 length, scan_options o) {
  std::vector<token> out;
  collector_listener l;
  l.out = &out;
  scanner s(reinterpret_cast<const u8*>(text), length, &l, o);
  s.run();
  return out;
}

}  // namespace vyr::lexer
