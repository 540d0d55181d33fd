// The editing rules of EDIT. Invariants: caret and anchor lie within the text; the text of a
// single-line engine holds no line feed; the undo step, when there is one, turns the text
// back into what it was before the last edit.
#include "gui/win/controls/edit_engine.h"

#include <algorithm>

namespace vyr::win::edit {

namespace {
enum class kind { space, word, punct };

kind kind_of(char32_t c) {
  if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == 0x3000 || c == 0xA0) return kind::space;
  if ((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c >= 0x80)
    return kind::word;
  return kind::punct;
}
}  // namespace

std::u32string engine::normalise(std::u32string_view s, bool multiline) {
  std::u32string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size(); ++i) {
    char32_t c = s[i];
    if (c == '\r') {
      if (i + 1 < s.size() && s[i + 1] == '\n') ++i;
      c = '\n';
    }
    if (c == '\n' && !multiline) break;
    out.push_back(c);
  }
  return out;
}

void engine::set_text(std::u32string_view t) {
  text_ = normalise(t, multiline);
  caret_ = anchor_ = 0;
  has_undo_ = false;
  modified = false;
  lines_stale_ = true;
  last = change{0, 0, text_.size()};
  ++revision;
}

void engine::select(int64_t start, int64_t end) {
  int64_t n = int64_t(text_.size());
  if (start < 0) {
    anchor_ = caret_;
    return;
  }
  if (end < 0 || end > n) end = n;
  anchor_ = size_t(std::min(start, n));
  caret_ = size_t(end);
}

void engine::move_to(size_t pos, bool extend) {
  caret_ = std::min(pos, text_.size());
  if (!extend) anchor_ = caret_;
}

outcome engine::replace(size_t pos, size_t len, std::u32string_view with, bool undoable, int kind) {
  outcome o;
  if (read_only) return o;
  std::u32string in = normalise(with, multiline);
  // Only what fits under the limit goes in.
  size_t kept = text_.size() - len;
  size_t room = limit > kept ? limit - kept : 0;
  if (in.size() > room) {
    in.resize(room);
    o.limited = true;
  }
  if (len == 0 && in.empty()) return o;
  std::u32string removed = text_.substr(pos, len);
  bool merge = undoable && has_undo_ && kind != 0 && undo_.kind == kind &&
               ((kind == 1 && len == 0 && pos == undo_.pos + undo_.inserted.size()) ||
                (kind == 2 && in.empty() && pos + len == undo_.pos && undo_.inserted.empty()) ||
                (kind == 3 && in.empty() && pos == undo_.pos && undo_.inserted.empty()));
  if (merge) {
    if (kind == 1) undo_.inserted += in;
    else if (kind == 2) { undo_.removed.insert(0, removed); undo_.pos = pos; }
    else undo_.removed += removed;
  } else if (undoable) {
    undo_ = step{pos, removed, in, caret_, anchor_, kind};
    has_undo_ = true;
  }
  splice_lines(pos, len, in);
  text_.replace(pos, len, in);
  caret_ = anchor_ = pos + in.size();
  last = change{pos, len, in.size()};
  ++revision;
  modified = true;
  o.changed = true;
  return o;
}

outcome engine::type(char32_t c) {
  if (c == '\r') c = '\n';
  if (c == '\n' && !multiline) return {};
  outcome o = replace(sel_start(), sel_end() - sel_start(), std::u32string_view(&c, 1), true, 1);
  // A character that did not fit is refused whole.
  if (!o.changed && !read_only) o.limited = true;
  return o;
}

outcome engine::insert(std::u32string_view s, bool undoable) {
  return replace(sel_start(), sel_end() - sel_start(), s, undoable, 0);
}

outcome engine::erase_back() {
  if (has_selection()) return replace(sel_start(), sel_end() - sel_start(), {}, true, 0);
  if (caret_ == 0) return {};
  return replace(caret_ - 1, 1, {}, true, 2);
}

outcome engine::erase_forward() {
  if (has_selection()) return replace(sel_start(), sel_end() - sel_start(), {}, true, 0);
  if (caret_ >= text_.size()) return {};
  return replace(caret_, 1, {}, true, 3);
}

bool engine::copy(std::u32string& out) const {
  if (password || !has_selection()) return false;
  out = text_.substr(sel_start(), sel_end() - sel_start());
  return true;
}

outcome engine::cut(std::u32string& out) {
  if (read_only || !copy(out)) return {};
  return replace(sel_start(), sel_end() - sel_start(), {}, true, 0);
}

outcome engine::undo() {
  outcome o;
  if (!has_undo_ || read_only) return o;
  step s = undo_;
  splice_lines(s.pos, s.inserted.size(), s.removed);
  text_.replace(s.pos, s.inserted.size(), s.removed);
  last = change{s.pos, s.inserted.size(), s.removed.size()};
  ++revision;
  // The step that undoes this undo: a second undo redoes.
  undo_ = step{s.pos, s.inserted, s.removed, caret_, anchor_, 0};
  anchor_ = s.pos;
  caret_ = s.pos + s.removed.size();
  modified = true;
  o.changed = true;
  return o;
}

size_t engine::word_left(size_t pos) const {
  pos = std::min(pos, text_.size());
  if (password) return 0;
  while (pos > 0 && kind_of(text_[pos - 1]) == kind::space) --pos;
  if (pos == 0) return 0;
  kind k = kind_of(text_[pos - 1]);
  while (pos > 0 && kind_of(text_[pos - 1]) == k) --pos;
  return pos;
}

size_t engine::word_right(size_t pos) const {
  size_t n = text_.size();
  pos = std::min(pos, n);
  if (password) return n;
  if (pos < n && kind_of(text_[pos]) != kind::space) {
    kind k = kind_of(text_[pos]);
    while (pos < n && kind_of(text_[pos]) == k) ++pos;
  }
  while (pos < n && kind_of(text_[pos]) == kind::space) ++pos;
  return pos;
}

std::pair<size_t, size_t> engine::word_at(size_t pos) const {
  size_t n = text_.size();
  if (password) return {0, n};
  pos = std::min(pos, n);
  // At the end of a run the word before is meant.
  if (pos == n || (pos > 0 && text_[pos] == '\n')) {
    if (pos == 0) return {0, 0};
    --pos;
  }
  if (text_[pos] == '\n') return {pos, pos};
  kind k = kind_of(text_[pos]);
  size_t a = pos, b = pos;
  while (a > 0 && kind_of(text_[a - 1]) == k && text_[a - 1] != '\n') --a;
  while (b < n && kind_of(text_[b]) == k && text_[b] != '\n') ++b;
  return {a, b};
}

// The line starts follow an edit of `len` characters at `pos` replaced by `with` (called
// before the text changes): the starts after removed line feeds go, the later ones shift,
// the inserted line feeds add theirs. An edit costs the lines, not the characters.
void engine::splice_lines(size_t pos, size_t len, std::u32string_view with) {
  if (lines_stale_) return;
  auto& l = line_starts_;
  auto first = std::upper_bound(l.begin(), l.end(), pos);
  auto past = std::upper_bound(first, l.end(), pos + len);
  int64_t delta = int64_t(with.size()) - int64_t(len);
  for (auto it = past; it != l.end(); ++it) *it = size_t(int64_t(*it) + delta);
  std::vector<size_t> added;
  for (size_t i = 0; i < with.size(); ++i)
    if (with[i] == '\n') added.push_back(pos + i + 1);
  auto at = l.erase(first, past);
  l.insert(at, added.begin(), added.end());
}

const std::vector<size_t>& engine::lines() const {
  if (lines_stale_) {
    line_starts_.assign(1, 0);
    for (size_t i = 0; i < text_.size(); ++i)
      if (text_[i] == '\n') line_starts_.push_back(i + 1);
    lines_stale_ = false;
  }
  return line_starts_;
}

size_t engine::line_count() const { return lines().size(); }

size_t engine::line_of(size_t pos) const {
  const auto& l = lines();
  return size_t(std::upper_bound(l.begin(), l.end(), std::min(pos, text_.size())) - l.begin()) - 1;
}

size_t engine::line_start(size_t line) const {
  const auto& l = lines();
  return line < l.size() ? l[line] : text_.size();
}

size_t engine::line_length(size_t line) const {
  const auto& l = lines();
  if (line >= l.size()) return 0;
  size_t end = line + 1 < l.size() ? l[line + 1] - 1 : text_.size();
  return end - l[line];
}

std::u32string engine::shown(size_t from, size_t n) const {
  from = std::min(from, text_.size());
  n = std::min(n, text_.size() - from);
  if (!password) return text_.substr(from, n);
  return std::u32string(n, password_char);
}

}  // namespace vyr::win::edit
