// The terminal-free line editor (see editor.h).
#include "console/text/editor.h"

#include "base/utf8.h"
#include "console/prompt.h"
#include "runtime/unicode.h"

namespace vyr::text {

namespace {
constexpr char32_t REPLACEMENT = utf8::REPLACEMENT;
}  // namespace

// ---- Keys ---------------------------------------------------------------------------------

void key_decoder::character(char32_t c, std::vector<key>& out) {
  if (drop_) drop_ = false;
  else out.push_back({key_kind::CHAR, c});
}

void key_decoder::feed(unsigned char b, std::vector<key>& out) {
  if (held_ > 0) {
    seq_[held_++] = b;
    utf8::decoded d = utf8::decode(seq_, held_);
    if (d.status == utf8::outcome::cut && d.size == held_) return;  // more to come
    held_ = 0;
    if (d.status == utf8::outcome::ok || d.status == utf8::outcome::refused) {
      character(utf8::well_formed(d) ? char32_t(d.cp) : REPLACEMENT, out);
      return;
    }
    // The sequence was cut short: it counts as one bad character, the byte starts anew.
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
  drop_ = drop_ && held_ > 0;
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
  if (utf8::well_formed_lead(b)) {
    seq_[0] = b;
    held_ = 1;
    return;
  }
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
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  for (std::size_t i = 0; i < bytes.size();) {
    utf8::decoded d = utf8::next_well_formed(p + i, bytes.size() - i);
    out += char32_t(d.cp);
    i += d.size;
  }
  return out;
}

std::string encode_utf8(std::u32string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char32_t c : text) utf8::append_scalar(out, c);
  return out;
}

}  // namespace vyr::text
