// The lexer's scanner: runs the token automaton over UTF-8 text, keeps the nesting of
// blocks, parens, maps, paths, braced strings and point literals, and raises the syntax
// errors with their line. It builds no values: a `listener` receives every token and
// structural step, so the loading layer (values, output pool, callback events) plugs on top.
// Positions are byte offsets from the input's head, so the input may be rebased.
#pragma once
#include <vector>

#include "runtime/lexer/lexer_table.h"

namespace vyr::lexer {

// Event bits of the callback protocol.
enum event_bit : u32 {
  EVENT_PRESCAN = 1, EVENT_SCAN = 2, EVENT_LOAD = 4, EVENT_OPEN = 8, EVENT_CLOSE = 16,
  EVENT_ERROR = 32, EVENT_ALL = 63
};

// Negative codes of `throw_error`; positive values are datatype ids.
enum error_code : i32 { ERR_BAD_CHAR = -1, ERR_MALCONSTRUCT = -2, ERR_MISSING = -3,
                        ERR_MISSING_AT_END = -4 };

// What a handed-out token is: a value, the opening or closing of a structure, or other
// text (comments, commas).
enum token_role : u8 { ROLE_VALUE, ROLE_OPEN, ROLE_CLOSE, ROLE_OTHER };

// `kind` of a construction token "#(...)": a datatype id, or one of these.
enum construct_kind_code : u8 { CONSTRUCT_TRUE = 200, CONSTRUCT_FALSE, CONSTRUCT_NONE,
                                CONSTRUCT_UNSET };

// One recognised token. [start, end) is its text; `end` includes the closing byte that the
// token owns ('"', ']', '}', '>', '%' of a percent, ')' of a point...).
struct token {
  u8 state = T_END;     // final state: what the token is
  u8 prev_state = 0;    // last working state (names the datatype of a failure)
  u8 type = 0;          // datatype id (final_types), 0 for structural tokens
  u8 kind = 0;          // open/close: datatype of the structure (5, 6, 40, 25-28, 51)
  u32 start = 0, end = 0;
  i32 line = 1;         // line of the token's first byte
  u32 lines = 0;        // line feeds crossed before and inside it (new-line marker when >= 1)
  u32 flags = 0;        // token flag word
  u32 commas = 0;       // point literal or comma-made point: number of commas
  u8 role = ROLE_VALUE; // what the scanner did with it
};

class scanner;

// Hooks for the layer that builds values. Every method has a harmless default, so a
// listener that only collects tokens overrides `token_done` alone.
struct listener {
  virtual ~listener() = default;
  // Whether a callback is installed, and which events `event` then receives.
  virtual bool has_callback() { return false; }
  virtual u32 event_mask() { return EVENT_ALL; }
  // A callback event: returns the callback's answer. `type` is a datatype id, 0, or a
  // negative final-state row for structural tokens. The callback may move the position
  // (scanner::move_to_char / move_to_byte), which the scanner clamps to the input.
  virtual bool event(scanner& s, u32 bit, i32 type, u32 start, u32 end) { return true; }
  // A value token (string, word, number, braced string...). `build` is false in check
  // mode. May raise through scanner::throw_error; may move the end with scanner::consume_to.
  virtual void value(scanner& s, const token& t, bool build) {}
  // Structure: a block, paren, map or path opens (for a path, the head word comes next as
  // a `value` with the path kind in `kind`); it closes with `close`.
  virtual void open(scanner& s, const token& t) {}
  virtual void close(scanner& s, const token& t) {}
  // Every token, after it has been handled (for collectors and tracers).
  virtual void token_done(scanner& s, const token& t) {}
  // The scanner kept a resume point (see scanner::keep_resume_points): the listener keeps
  // its own state as it is now beside it.
  virtual void resume_point(scanner& s) {}
};

// Options of one scan.
struct scan_options {
  bool one = false;       // stop after the first complete value
  bool prescan = false;   // prescan mode: structural tokens only, no loading
  bool scan = false;      // scan mode: tokens are checked, not built
  bool string_input = false;  // positions reported to the callback count characters
};

// Thrown by the scanner to abort quietly (errors in prescan and scan modes, a callback
// that answered false to an error). Caught by `scanner::run`.
struct abort_scan {};
// Thrown when a callback answered false to an error after moving the position past where
// the refused token began: the scan goes on from there. Caught by `scanner::run`.
struct resume_scan {};

struct marker {
  u8 kind;       // datatype being built: 5 block!, 6 paren!, 40 map!, 25-28 paths, 51 point
  u32 commas;
  u32 open_at;   // offset of the opening text
};

class scanner {
 public:
  scanner(const u8* text, u32 length, listener* l = nullptr, scan_options o = {});

  // Runs the token loop to the end of the input or an early stop; returns the datatype id
  // of the last token (0 when none, 34 error! for a failure in prescan or scan mode).
  // Raises syntax errors in load mode.
  u32 run();

  // Reads one token with the automaton from `pos` in the current mode (no handling).
  token read_token();

  // Raises the syntax error for [start, end) with a datatype id or a negative code
  // (start UINT32_MAX: the innermost open block's start). Never returns.
  [[noreturn]] void throw_error(u32 start, u32 end, i32 type_or_code);

  // Position moves made by a callback, clamped to the input.
  void move_to_byte(i64 offset);
  void move_to_char(i64 index);
  u32 char_index(u32 byte_pos);   // character index of a byte position (cached)
  // A value listener that consumed more or less text than the token sets the end here.
  void consume_to(u32 offset);

  // Another copy of the same text at a new address (the buffer moved).
  void rebase(const u8* text) { head_ = text; }

  // Resume points, for text that grows at its end while it is checked (the console's
  // lines): at the head of every token the scanner copies its state into `into` (whose
  // own resume points are off) and calls the listener's `resume_point`. A scan that ended
  // early, by a callback's throw or at the end of the input, then goes on from that copy
  // with `continue_on` over a longer text that begins with the same bytes: it reads again
  // only the token it stopped in, and of that one not what the automaton had read before
  // the old end. Every decision about a token that ended before the old end's last byte
  // holds for the longer text when that byte is a line feed, but for the few that look at
  // where the input ends: no resume point is kept after one of those.
  void keep_resume_points(scanner* into) { resume_ = into; }
  void continue_on(const u8* text, u32 length, listener* l);

  const u8* head() const { return head_; }
  u32 length() const { return tail_; }
  u32 pos() const { return pos_; }
  i32 line() const { return line_count_; }
  u8 mode() const { return mode_; }
  const std::vector<marker>& markers() const { return markers_; }
  u8 token_type() const { return token_type_; }
  i32 load_type() const { return load_type_; }
  bool loading() const { return load_; }

 private:
  void scan_tokens();      // the token loop and the checks at the end of the input
  bool handle(token& t);   // false: stop the loop
  void handle_value(token& t);
  void settle_value_end(token& t);
  void set_pos(u32 offset);  // the scanner's own moves; a callback's move wins over them
  void close_structure(token& t, i32 asked);
  void close_path_after_item(token& t);
  void push_marker(token& t, u8 kind, u32 open_at);
  bool point_follows(u32 after_paren);
  bool fire(u32 bit, i32 type, u32 start, u32 end);
  // A token the scanner made itself: checked, then loaded when the scan event lets it.
  void deliver_value(const token& t, i32 type);
  void check_word(token& t, bool& drop);
  void match_raw_string(token& t);
  i32 construct_kind(u32 start, u32 end) const;

  const u8* head_;
  u32 tail_;
  listener* listener_;
  listener default_listener_;
  scan_options opt_;
  bool load_;
  bool has_callback_ = false;
  bool moved_ = false;       // a callback moved the position during this token
  u32 mask_ = 0;
  i32 missing_kind_ = TYPE_BLOCK;
  i32 point_line_ = 1;

  // `lexer-state!` fields the scanner keeps.
  u32 pos_ = 0;
  u32 token_end_ = 0;
  i32 line_count_ = 1;
  u32 token_lines_ = 0;
  i32 load_type_ = -1;
  u8 token_type_ = 0;
  u8 mode_ = MODE_NORMAL;
  u8 prev_state_ = 0;
  i32 error_type_ = 0;
  u8 last_type_ = 0;
  u32 brace_start_ = 0;
  u32 brace_depth_ = 0;
  u32 brace_flags_ = 0;
  u32 brace_lines_ = 0;
  i32 brace_line_ = 1;
  u32 point_lines_ = 0;
  u32 char_pos_ptr_ = 0, char_pos_ = 0;
  std::vector<marker> markers_;
  u32 top_level_values_ = 0;
  u32 token_from_ = UINT32_MAX;  // where the token being handled began (none: past the end)

  // The automaton's progress through a token that the end of the input cut short.
  struct cut_token {
    bool valid = false;
    u32 start = 0, pos = 0, flags = 0, skip = 0;
    u8 state = 0, previous = 0;
    i32 lines = 0;
  };
  scanner* resume_ = nullptr;
  cut_token cut_;
  // A token was handled by a look at where the input ends: no later resume point holds.
  bool tail_decided_ = false;
};

// Runs a scan collecting every token (tests, fuzzing, benchmarks). Raises like `run`.
std::vector<token> tokenize(const char* text, u32 length, scan_options o = {});

// Unicode white space that the automaton takes for letters inside words.
bool unicode_space_q(u32 cp);

// Decodes one UTF-8 character at p (p < end); returns its length, 0 when undecodable
// (overlong forms, surrogates and code points above 10FFFF included).
u32 decode_utf8(const u8* p, const u8* end, u32* cp);

}  // namespace vyr::lexer
