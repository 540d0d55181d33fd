// The editing rules of an EDIT control, apart from any drawing: the text as code points with
// lines ending in a line feed, the caret and the anchor of the selection, one level of undo
// (an undo undone redoes), the text limit, password text, word moves. Pure: it is fed edits
// and moves and answers what changed.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vyr::win::edit {

// What one edit did to the text: `removed` code points at `pos` gave way to `inserted`.
struct change {
  size_t pos = 0, removed = 0, inserted = 0;
};

// The outcome of an edit asked for by the user.
struct outcome {
  bool changed = false;   // the text changed (EN_UPDATE, EN_CHANGE follow)
  bool limited = false;   // the limit cut or refused what was typed or pasted (EN_MAXTEXT)
};

class engine {
 public:
  bool multiline = false;
  bool password = false;
  char32_t password_char = 0x25CF;   // what a password field shows for each character
  bool read_only = false;
  size_t limit = 32767;
  bool modified = false;
  change last;            // the last change of the text
  uint64_t revision = 1;  // counts the changes of the text

  const std::u32string& text() const { return text_; }
  size_t caret() const { return caret_; }
  size_t anchor() const { return anchor_; }
  size_t sel_start() const { return std::min(caret_, anchor_); }
  size_t sel_end() const { return std::max(caret_, anchor_); }
  bool has_selection() const { return caret_ != anchor_; }

  // Replaces the whole text, as a program does: no limit, no undo step, the caret at the
  // start. Single-line text keeps its first line.
  void set_text(std::u32string_view);
  // Win32's EM_SETSEL: a start of -1 removes the selection (the caret stays), an end of -1
  // or past the text means its end; the caret goes to the end given.
  void select(int64_t start, int64_t end);
  void select_all() { select(0, -1); }
  // Moves the caret, keeping the anchor with `extend` (Shift).
  void move_to(size_t pos, bool extend);

  // The user's edits. `type` takes one character (typing runs merge into one undo step).
  outcome type(char32_t);
  // Replaces the selection with text (already in the control's line form).
  outcome insert(std::u32string_view, bool undoable = true);
  outcome erase_back();      // Backspace: the selection, else the character before the caret
  outcome erase_forward();   // Delete: the selection, else the character after it
  // Cut and copy give the selected text; nothing leaves a password field.
  bool copy(std::u32string& out) const;
  outcome cut(std::u32string& out);
  outcome undo();
  bool can_undo() const { return has_undo_; }
  void empty_undo() { has_undo_ = false; }

  // Moves by words: whitespace, word characters (letters, digits, "_" and everything beyond
  // ASCII that is not a space) and punctuation are three kinds; a word is a run of one kind.
  size_t word_left(size_t) const;
  size_t word_right(size_t) const;
  std::pair<size_t, size_t> word_at(size_t) const;

  // Logical lines (between line feeds).
  size_t line_count() const;
  size_t line_of(size_t pos) const;
  size_t line_start(size_t line) const;
  size_t line_length(size_t line) const;

  // What the control shows of [from, from + n): the text, or the password character for each
  // character of a password field.
  std::u32string shown(size_t from, size_t n) const;

  // Pasted or set text in the control's line form: CR LF and a lone CR become LF; a
  // single-line control keeps the first line.
  static std::u32string normalise(std::u32string_view, bool multiline);

 private:
  std::u32string text_;
  size_t caret_ = 0, anchor_ = 0;
  // The one undo step: `inserted` at `pos` stands where `removed` was.
  struct step {
    size_t pos = 0;
    std::u32string removed, inserted;
    size_t caret = 0, anchor = 0;   // the selection before the edit
    int kind = 0;                   // 1 typing, 2 backspace, 3 delete: runs of one kind merge
  };
  step undo_;
  bool has_undo_ = false;
  mutable std::vector<size_t> line_starts_;
  mutable bool lines_stale_ = true;

  outcome replace(size_t pos, size_t len, std::u32string_view with, bool undoable, int kind);
  void splice_lines(size_t pos, size_t len, std::u32string_view with);
  const std::vector<size_t>& lines() const;
};

}  // namespace vyr::win::edit
