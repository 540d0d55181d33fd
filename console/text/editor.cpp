// The terminal-free line editor (see editor.h).
#include "console/text/editor.h"

#include "console/prompt.h"
#include "runtime/unicode.h"

namespace vyr::text {

namespace {
constexpr char32_t REPLACEMENT = 0xFFFD;

bool valid_scalar(char32_t cp, int len) {
  if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
  // Overlong forms: the shortest encoding only.
  return !((len == 2 && cp < 0x80) || (len == 3 && cp < 0x800) || (len == 4 && cp < 0x10000));
}
}  // namespace

// ---- Keys ---------------------------------------------------------------------------------

void key_decoder::character(char32_t c, std::vector<key>& out) {
  if (drop_) drop_ = false;
  else out.push_back({key_kind::CHAR, c});
}

void key_decoder::feed(unsigned char b, std::vector<key>& out) {
  if (need_ > 0) {
    if ((b & 0xC0) == 0x80) {
      cp_ = (cp_ << 6) | (b & 0x3F);
      len_++;
      if (--need_ == 0) character(valid_scalar(cp_, len_) ? cp_ : REPLACEMENT, out);
      return;
    }
    // The sequence was cut short: it counts as one bad character, the byte starts anew.
    need_ = 0;
    character(REPLACEMENT, out);
  }
  switch (state_) {
    case state::GROUND: ground(b, out); return;
    case state::ESC:
      state_ = state::GROUND;
      alt(b, out);
      return;
    case state::SS3:
      state_ = state::GROUND;
      csi_final(b, out);
      return;
    case state::CSI:
      if ((b >= '0' && b <= '9') || b == ';') {
        // A runaway parameter list is dropped: nothing real is that long.
        if (params_.size() < 16) params_ += char(b);
        return;
      }
      if (b >= 0x20 && b < 0x40) return;  // other parameter or intermediate bytes
      state_ = state::GROUND;
      csi_final(b, out);
      return;
  }
}

// The byte after an Esc: a sequence's introducer, or a key pressed with Alt. A control
// key after it (Enter, Backspace...) was a lone Esc, which does nothing, and the key acts.
void key_decoder::alt(unsigned char b, std::vector<key>& out) {
  switch (b) {
    case '[': state_ = state::CSI; params_.clear(); return;
    case 'O': state_ = state::SS3; return;
    case 'b': case 'B': out.push_back({key_kind::WORD_LEFT}); return;
    case 'f': case 'F': out.push_back({key_kind::WORD_RIGHT}); return;
    case 'd': case 'D': out.push_back({key_kind::WORD_DELETE}); return;
    default: break;
  }
  if (b < 0x20 || b == 0x7F) {
    ground(b, out);
    return;
  }
  // Any other Alt combination is ignored, a whole character with it.
  drop_ = true;
  ground(b, out);
  drop_ = drop_ && need_ > 0;
}

void key_decoder::ground(unsigned char b, std::vector<key>& out) {
  if (b < 0x80) {
    switch (b) {
      case '\r': case '\n': out.push_back({key_kind::ENTER}); return;
      case 0x7F: case 0x08: out.push_back({key_kind::BACKSPACE}); return;
      case 0x17: out.push_back({key_kind::WORD_BACK}); return;
      case 0x01: out.push_back({key_kind::HOME}); return;
      case 0x05: out.push_back({key_kind::END}); return;
      case 0x02: out.push_back({key_kind::LEFT}); return;
      case 0x06: out.push_back({key_kind::RIGHT}); return;
      case 0x10: out.push_back({key_kind::UP}); return;
      case 0x0E: out.push_back({key_kind::DOWN}); return;
      case 0x09: out.push_back({key_kind::TAB}); return;
      case 0x0B: out.push_back({key_kind::KILL_END}); return;
      case 0x15: out.push_back({key_kind::KILL_START}); return;
      case 0x0C: out.push_back({key_kind::CLEAR}); return;
      case 0x04: out.push_back({key_kind::END_OF_INPUT}); return;
      case 0x03: out.push_back({key_kind::INTERRUPT}); return;
      case 0x1A: out.push_back({key_kind::SUSPEND}); return;
      case 0x1B: state_ = state::ESC; return;
      default:
        if (b >= 0x20) character(char32_t(b), out);
        return;  // other control characters do nothing
    }
  }
  if (b >= 0xC2 && b <= 0xDF) { cp_ = b & 0x1F; need_ = 1; len_ = 1; return; }
  if (b >= 0xE0 && b <= 0xEF) { cp_ = b & 0x0F; need_ = 2; len_ = 1; return; }
  if (b >= 0xF0 && b <= 0xF4) { cp_ = b & 0x07; need_ = 3; len_ = 1; return; }
  character(REPLACEMENT, out);  // a stray continuation or invalid lead byte
}

void key_decoder::csi_final(unsigned char b, std::vector<key>& out) {
  // The modifier parameter of "1;5C" and "3;5~": 5 (Ctrl) and the other Ctrl forms.
  int mod = 0, first = 0;
  {
    size_t semi = params_.find(';');
    std::string a = params_.substr(0, semi);
    if (!a.empty() && a.size() < 6) first = std::stoi(a);
    if (semi != std::string::npos) {
      std::string m = params_.substr(semi + 1);
      if (!m.empty() && m.size() < 6 && m.find(';') == std::string::npos) mod = std::stoi(m);
    }
  }
  bool ctrl = mod >= 5 && mod <= 8;
  switch (b) {
    case 'A': out.push_back({key_kind::UP}); return;
    case 'B': out.push_back({key_kind::DOWN}); return;
    case 'C': out.push_back({ctrl ? key_kind::WORD_RIGHT : key_kind::RIGHT}); return;
    case 'D': out.push_back({ctrl ? key_kind::WORD_LEFT : key_kind::LEFT}); return;
    case 'H': out.push_back({key_kind::HOME}); return;
    case 'F': out.push_back({key_kind::END}); return;
    case '~':
      switch (first) {
        case 1: case 7: out.push_back({key_kind::HOME}); return;
        case 4: case 8: out.push_back({key_kind::END}); return;
        case 3: out.push_back({ctrl ? key_kind::WORD_DELETE : key_kind::DELETE}); return;
        default: return;
      }
    default: return;
  }
}

// ---- Editing ------------------------------------------------------------------------------

std::size_t editor::word_left() const {
  return console::word_span(caret, [this](std::size_t i) { return line[caret - 1 - i]; });
}

std::size_t editor::word_right() const {
  return console::word_span(line.size() - caret, [this](std::size_t i) { return line[caret + i]; });
}

void editor::reset() {
  line.clear();
  caret = 0;
  hist_idx_ = 0;
  hist_line_.clear();
  hist_pos_ = 0;
}

void editor::set(std::u32string text, std::size_t pos) {
  line = std::move(text);
  caret = pos > line.size() ? line.size() : pos;
}

void editor::fetch_history(bool previous, const history_view* h) {
  if (!h || !h->count) return;
  if (hist_idx_ == 0) {
    hist_line_ = line;
    hist_pos_ = caret;
  }
  std::optional<std::size_t> next = console::history_step(hist_idx_, h->count(), previous);
  if (!next) return;
  hist_idx_ = *next;
  if (hist_idx_ == 0) {
    set(hist_line_, hist_pos_);
  } else {
    std::u32string e = h->entry(hist_idx_);
    std::size_t end = e.size();
    set(std::move(e), end);
  }
}

outcome editor::apply(const key& k, const history_view* history) {
  switch (k.kind) {
    case key_kind::CHAR:
      line.insert(line.begin() + std::ptrdiff_t(caret), k.ch);
      caret++;
      return outcome::NONE;
    case key_kind::ENTER: return outcome::SUBMIT;
    case key_kind::BACKSPACE:
      if (caret > 0) line.erase(--caret, 1);
      return outcome::NONE;
    case key_kind::WORD_BACK: {
      std::size_t n = word_left();
      caret -= n;
      line.erase(caret, n);
      return outcome::NONE;
    }
    case key_kind::DELETE:
      if (caret < line.size()) line.erase(caret, 1);
      return outcome::NONE;
    case key_kind::WORD_DELETE:
      line.erase(caret, word_right());
      return outcome::NONE;
    case key_kind::LEFT:
      if (caret > 0) caret--;
      return outcome::NONE;
    case key_kind::RIGHT:
      if (caret < line.size()) caret++;
      return outcome::NONE;
    case key_kind::WORD_LEFT: caret -= word_left(); return outcome::NONE;
    case key_kind::WORD_RIGHT: caret += word_right(); return outcome::NONE;
    case key_kind::UP: fetch_history(true, history); return outcome::NONE;
    case key_kind::DOWN: fetch_history(false, history); return outcome::NONE;
    case key_kind::HOME: caret = 0; return outcome::NONE;
    case key_kind::END: caret = line.size(); return outcome::NONE;
    case key_kind::TAB: return line.empty() ? outcome::NONE : outcome::COMPLETE;
    case key_kind::KILL_END: line.erase(caret); return outcome::NONE;
    case key_kind::KILL_START:
      line.erase(0, caret);
      caret = 0;
      return outcome::NONE;
    case key_kind::CLEAR: return outcome::CLEAR;
    case key_kind::END_OF_INPUT:
      if (line.empty()) return outcome::END_OF_INPUT;
      if (caret < line.size()) line.erase(caret, 1);
      return outcome::NONE;
    case key_kind::INTERRUPT: return outcome::ESCAPE;
    case key_kind::SUSPEND: return outcome::SUSPEND;
  }
  return outcome::NONE;
}

// ---- Rendering ----------------------------------------------------------------------------

std::size_t width_of(char32_t c) {
  if (c == 0) return 1;  // shown as a replacement, never zero-wide
  return unicode::char_width(u32(c));
}

row render(const std::u32string& prefix, const std::u32string& line, std::size_t caret,
           std::size_t columns, bool hidden) {
  // Only the characters around the caret are looked at: a long line (a paste of a few
  // hundred thousand characters) costs no more to draw than a short one.
  std::size_t total = prefix.size() + line.size();
  auto at = [&](std::size_t i) -> char32_t {
    char32_t c = i < prefix.size() ? prefix[i] : hidden ? U'*' : line[i - prefix.size()];
    // Control characters never reach the terminal raw: they would move its cursor.
    return c < 0x20 || c == 0x7F || (c >= 0x80 && c < 0xA0) ? REPLACEMENT : c;
  };
  std::size_t caret_at = prefix.size() + (caret > line.size() ? line.size() : caret);
  std::size_t room = columns > 1 ? columns - 1 : 1;
  // The window starts at the first character such that the caret (and the character
  // under it) fits; as much of the text before it as fits is shown.
  std::size_t start = 0;
  {
    std::size_t w = caret_at < total ? width_of(at(caret_at)) : 1;
    std::size_t i = caret_at;
    while (i > 0 && w + width_of(at(i - 1)) <= room) w += width_of(at(--i));
    start = i;
  }
  row r{std::string(), 0};
  std::size_t used = 0;
  for (std::size_t i = start; i < total; i++) {
    char32_t c = at(i);
    std::size_t w = width_of(c);
    if (used + w > room) break;
    if (i == caret_at) r.caret_col = used;
    r.text += encode_utf8(std::u32string_view(&c, 1));
    used += w;
  }
  if (caret_at >= total) r.caret_col = used;
  return r;
}

// ---- UTF-8 --------------------------------------------------------------------------------

std::u32string decode_utf8(std::string_view bytes) {
  std::u32string out;
  out.reserve(bytes.size());
  std::size_t i = 0;
  while (i < bytes.size()) {
    unsigned char b = static_cast<unsigned char>(bytes[i]);
    if (b < 0x80) { out += char32_t(b); i++; continue; }
    int need = b >= 0xC2 && b <= 0xDF ? 1 : b >= 0xE0 && b <= 0xEF ? 2 : b >= 0xF0 && b <= 0xF4 ? 3 : -1;
    if (need < 0) { out += REPLACEMENT; i++; continue; }
    char32_t cp = b & (need == 1 ? 0x1F : need == 2 ? 0x0F : 0x07);
    std::size_t j = i + 1;
    int got = 0;
    while (got < need && j < bytes.size() && (static_cast<unsigned char>(bytes[j]) & 0xC0) == 0x80) {
      cp = (cp << 6) | (static_cast<unsigned char>(bytes[j]) & 0x3F);
      j++;
      got++;
    }
    out += got == need && valid_scalar(cp, need + 1) ? cp : REPLACEMENT;
    i = j;
  }
  return out;
}

std::string encode_utf8(std::u32string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char32_t c : text) {
    if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) c = REPLACEMENT;
    if (c < 0x80) {
      out += char(c);
    } else if (c < 0x800) {
      out += char(0xC0 | (c >> 6));
      out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += char(0xE0 | (c >> 12));
      out += char(0x80 | ((c >> 6) & 0x3F));
      out += char(0x80 | (c & 0x3F));
    } else {
      out += char(0xF0 | (c >> 18));
      out += char(0x80 | ((c >> 12) & 0x3F));
      out += char(0x80 | ((c >> 6) & 0x3F));
      out += char(0x80 | (c & 0x3F));
    }
  }
  return out;
}

}  // namespace vyr::text
