// The line editor of the text console, without a terminal: bytes in, keys out; keys applied
// to a line with a caret; the line rendered as one terminal row. The tty layer (tty.h) feeds
// it bytes and writes what it renders, so everything here can be tested from tables.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vyr::text {

// The keys follow the terminal's conventions (readline's): Ctrl+K deletes to the end of
// the line, Ctrl+U to its start, Ctrl+W the word before the caret, Alt+B and Alt+F move
// by word, Alt+D deletes the next word. Other Alt combinations are ignored.
enum class key_kind : std::uint8_t {
  CHAR, ENTER, BACKSPACE, WORD_BACK, DELETE, WORD_DELETE, LEFT, RIGHT, WORD_LEFT,
  WORD_RIGHT, UP, DOWN, HOME, END, TAB, KILL_END, KILL_START, CLEAR, END_OF_INPUT,
  INTERRUPT, SUSPEND
};

struct key {
  key_kind kind;
  char32_t ch = 0;  // the character of a CHAR key
  bool operator==(const key&) const = default;
};

// Turns terminal input bytes into keys: UTF-8 whatever the locale (a malformed sequence is
// one U+FFFD), control characters and the escape sequences of common terminals. Unknown
// sequences are swallowed whole.
class key_decoder {
 public:
  // Feeds one byte; appends the keys it completes (none, one, or two when a malformed
  // sequence is cut short by the byte that follows it).
  void feed(unsigned char b, std::vector<key>& out);
  // True while bytes of an unfinished sequence are held.
  bool pending() const { return state_ != state::GROUND || held_ != 0; }

 private:
  enum class state : std::uint8_t { GROUND, ESC, CSI, SS3 };
  void ground(unsigned char b, std::vector<key>& out);
  void alt(unsigned char b, std::vector<key>& out);
  void csi_final(unsigned char b, std::vector<key>& out);
  void character(char32_t c, std::vector<key>& out);
  state state_ = state::GROUND;
  std::string params_;
  unsigned char seq_[4] = {};  // the bytes of a character not yet whole
  unsigned held_ = 0;
  bool drop_ = false;  // the character being decoded came with Alt: it is not typed
};

// Where the history of the line being edited lives (a Vyr block in the console): entry 1
// is the newest.
struct history_view {
  std::function<std::size_t()> count;
  std::function<std::u32string(std::size_t)> entry;  // 1-based
};

// What a key asks of the caller.
enum class outcome : std::uint8_t { NONE, SUBMIT, ESCAPE, END_OF_INPUT, COMPLETE, CLEAR, SUSPEND };

class editor {
 public:
  std::u32string line;
  std::size_t caret = 0;  // 0 .. line.size()

  // Starts a new question: an empty line, history browsing reset.
  void reset();
  outcome apply(const key& k, const history_view* history = nullptr);
  // Replaces the line and caret (a completion, a history entry).
  void set(std::u32string text, std::size_t pos);

  // Word-wise distances from the caret, counted as the delete and jump keys use them.
  std::size_t word_left() const;
  std::size_t word_right() const;

 private:
  void fetch_history(bool previous, const history_view* h);
  std::size_t hist_idx_ = 0;
  std::u32string hist_line_;
  std::size_t hist_pos_ = 0;
};

// One terminal row: `prefix` (text printed before the question and the question itself),
// then the line (or one "*" per character when hidden), scrolled horizontally so that the
// caret shows within `columns` - 1 columns.
struct row {
  std::string text;       // UTF-8, what is drawn from the first column
  std::size_t caret_col;  // the caret's column within text
};
row render(const std::u32string& prefix, const std::u32string& line, std::size_t caret,
           std::size_t columns, bool hidden);

// Columns a code point takes (the project's width tables; control characters 1).
std::size_t width_of(char32_t c);

// UTF-8 <-> code points; malformed input decodes to U+FFFD per bad sequence.
std::u32string decode_utf8(std::string_view bytes);
std::string encode_utf8(std::u32string_view text);

}  // namespace vyr::text
