// The message queue and the input state: posted messages (thread-safe, woken through an
// eventfd), the quit flag, display input, WM_PAINT and WM_TIMER, taken in that order;
// keyboard state and translation, timers, focus, activation, capture and double clicks.
#include <algorithm>
#include <cstdio>

#include <unistd.h>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "base/utf8.h"
#include "gui/win/internal.h"

namespace vyr::win {
using namespace detail;

namespace detail {
int64_t clock_us() { return st().disp->now_us(); }
}  // namespace detail

int64_t now_us() { return installed() ? clock_us() : 0; }
void pass_time(int64_t us) {
  if (installed() && us > 0) st().disp->pass_time(us);
}

static uint32_t msg_time() { return static_cast<uint32_t>(clock_us() / 1000); }

// ---- text helpers ---------------------------------------------------------------------------

// Malformed bytes become U+FFFD each; overlong forms read as what they spell, and a
// sequence cut by the end of the text ends it.
std::u32string to_utf32(std::string_view s) {
  std::u32string out;
  out.reserve(s.size());
  const auto* p = reinterpret_cast<const uint8_t*>(s.data());
  for (size_t i = 0; i < s.size();) {
    if (p[i] < 0x80) { out.push_back(p[i++]); continue; }
    utf8::decoded d = utf8::decode(p + i, s.size() - i);
    if (d.status == utf8::outcome::cut) { out.push_back(utf8::REPLACEMENT); break; }
    if (d.status == utf8::outcome::bad) { out.push_back(utf8::REPLACEMENT); ++i; continue; }
    i += d.size;
    out.push_back(utf8::scalar(d.cp) ? char32_t(d.cp) : utf8::REPLACEMENT);
  }
  return out;
}

std::u16string to_utf16(std::string_view s) {
  std::u16string out;
  for (char32_t cp : to_utf32(s)) {
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(char16_t(0xD800 + (cp >> 10)));
      out.push_back(char16_t(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(char16_t(cp));
    }
  }
  return out;
}

std::string to_utf8(std::u16string_view s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    uint32_t cp = s[i];
    if (cp >= 0xD800 && cp < 0xDC00 && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] < 0xE000) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (s[i + 1] - 0xDC00);
      ++i;
    }
    utf8::append_scalar(out, cp);
  }
  return out;
}

// Whether the 16 code points at p are all ASCII.
static bool ascii_block(const char32_t* p) {
  char32_t any = 0;
  for (int k = 0; k < 16; ++k) any |= p[k];
  return any < 0x80;
}

// The 16 ASCII code points at from as 16 bytes at to.
static void narrow_block(const char32_t* from, char* to) {
#ifdef __SSE2__
  __m128i v[4];
  for (int k = 0; k < 4; ++k) v[k] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + 4 * k));
  __m128i lo = _mm_packs_epi32(v[0], v[1]), hi = _mm_packs_epi32(v[2], v[3]);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(to), _mm_packus_epi16(lo, hi));
#else
  for (int k = 0; k < 16; ++k) to[k] = char(from[k]);
#endif
}

std::string to_utf8(std::u32string_view s) {
  // Sized first and written in place, runs of ASCII a block at a time: long texts (an area's)
  // go through here at every edit.
  const char32_t* d = s.data();
  size_t len = s.size(), n = len;
  for (size_t i = 0; i < len;) {
    if (i + 16 <= len && ascii_block(d + i)) {
      i += 16;
      continue;
    }
    char32_t cp = d[i++];
    n += utf8::encoded_size(utf8::scalar(cp) ? cp : utf8::REPLACEMENT) - 1;
  }
  std::string out(n, '\0');
  char* p = out.data();
  for (size_t i = 0; i < len;) {
    if (i + 16 <= len && ascii_block(d + i)) {
      narrow_block(d + i, p);
      p += 16;
      i += 16;
      continue;
    }
    char32_t cp = d[i++];
    p += utf8::encode(utf8::scalar(cp) ? cp : utf8::REPLACEMENT, p);
  }
  return out;
}

// ---- the US keyboard table: scan code, plain and shifted character per virtual key ---------

struct vk_entry { uint8_t scan; char16_t plain, shifted; };

static const vk_entry* vk_table() {
  static vk_entry t[256] = {};
  static bool made = false;
  if (made) return t;
  made = true;
  const char* row1 = "QWERTYUIOP";
  const char* row2 = "ASDFGHJKL";
  const char* row3 = "ZXCVBNM";
  for (int i = 0; row1[i]; ++i) t[uint8_t(row1[i])] = {uint8_t(0x10 + i), char16_t(row1[i] + 32), char16_t(row1[i])};
  for (int i = 0; row2[i]; ++i) t[uint8_t(row2[i])] = {uint8_t(0x1E + i), char16_t(row2[i] + 32), char16_t(row2[i])};
  for (int i = 0; row3[i]; ++i) t[uint8_t(row3[i])] = {uint8_t(0x2C + i), char16_t(row3[i] + 32), char16_t(row3[i])};
  const char* shifted_digits = ")!@#$%^&*(";
  for (int d = 0; d < 10; ++d) t['0' + d] = {uint8_t(d == 0 ? 0x0B : 0x01 + d), char16_t('0' + d), char16_t(shifted_digits[d])};
  t[VK_OEM_MINUS] = {0x0C, '-', '_'};
  t[VK_OEM_PLUS] = {0x0D, '=', '+'};
  t[VK_OEM_4] = {0x1A, '[', '{'};
  t[VK_OEM_6] = {0x1B, ']', '}'};
  t[VK_OEM_1] = {0x27, ';', ':'};
  t[VK_OEM_7] = {0x28, '\'', '"'};
  t[VK_OEM_3] = {0x29, '`', '~'};
  t[VK_OEM_5] = {0x2B, '\\', '|'};
  t[VK_OEM_COMMA] = {0x33, ',', '<'};
  t[VK_OEM_PERIOD] = {0x34, '.', '>'};
  t[VK_OEM_2] = {0x35, '/', '?'};
  t[VK_SPACE] = {0x39, ' ', ' '};
  t[VK_RETURN] = {0x1C, '\r', '\r'};
  t[VK_TAB] = {0x0F, '\t', '\t'};
  t[VK_BACK] = {0x0E, 0x08, 0x08};
  t[VK_ESCAPE] = {0x01, 0x1B, 0x1B};
  const uint8_t pad_scan[10] = {0x52, 0x4F, 0x50, 0x51, 0x4B, 0x4C, 0x4D, 0x47, 0x48, 0x49};
  for (int d = 0; d < 10; ++d) t[VK_NUMPAD0 + d] = {pad_scan[d], char16_t('0' + d), char16_t('0' + d)};
  t[VK_MULTIPLY] = {0x37, '*', '*'};
  t[VK_ADD] = {0x4E, '+', '+'};
  t[VK_SUBTRACT] = {0x4A, '-', '-'};
  t[VK_DECIMAL] = {0x53, '.', '.'};
  t[VK_DIVIDE] = {0x35, '/', '/'};
  struct { uint32_t vk; uint8_t scan; } keys[] = {
    {VK_SHIFT, 0x2A}, {VK_LSHIFT, 0x2A}, {VK_RSHIFT, 0x36}, {VK_CONTROL, 0x1D}, {VK_LCONTROL, 0x1D},
    {VK_RCONTROL, 0x1D}, {VK_MENU, 0x38}, {VK_LMENU, 0x38}, {VK_RMENU, 0x38}, {VK_CAPITAL, 0x3A},
    {VK_NUMLOCK, 0x45}, {VK_SCROLL, 0x46}, {VK_HOME, 0x47}, {VK_UP, 0x48}, {VK_PRIOR, 0x49},
    {VK_LEFT, 0x4B}, {VK_RIGHT, 0x4D}, {VK_END, 0x4F}, {VK_DOWN, 0x50}, {VK_NEXT, 0x51},
    {VK_INSERT, 0x52}, {VK_DELETE, 0x53}, {VK_LWIN, 0x5B}, {VK_RWIN, 0x5C}, {VK_APPS, 0x5D},
    {VK_PAUSE, 0x45}, {VK_SNAPSHOT, 0x37}, {0x7A, 0x57}, {0x7B, 0x58}};
  for (auto& k : keys) t[k.vk].scan = k.scan;
  for (int f = 0; f < 10; ++f) t[VK_F1 + f].scan = uint8_t(0x3B + f);
  return t;
}

uint32_t MapVirtualKey(uint32_t code, uint32_t type) {
  const vk_entry* t = vk_table();
  switch (type) {
    case MAPVK_VK_TO_VSC: return code < 256 ? t[code].scan : 0;
    case MAPVK_VSC_TO_VK:
    case MAPVK_VSC_TO_VK_EX:
      for (uint32_t vk = 1; vk < 256; ++vk) {
        if (t[vk].scan != code) continue;
        if (type == MAPVK_VSC_TO_VK && (vk >= VK_LSHIFT && vk <= VK_RMENU)) continue;
        if (type == MAPVK_VSC_TO_VK_EX && (vk == VK_SHIFT || vk == VK_CONTROL || vk == VK_MENU)) continue;
        if (vk >= VK_NUMPAD0 && vk <= VK_DIVIDE) continue;
        return vk;
      }
      return 0;
    case MAPVK_VK_TO_CHAR:
      if (code >= 'A' && code <= 'Z') return code;
      return code < 256 ? t[code].plain : 0;
  }
  return 0;
}

int16_t VkKeyScan(char16_t ch) {
  const vk_entry* t = vk_table();
  for (uint32_t vk = 1; vk < 256; ++vk) {
    if (vk >= VK_NUMPAD0 && vk <= VK_DIVIDE) continue;
    if (t[vk].plain == ch && ch) return int16_t(vk);
    if (t[vk].shifted == ch && ch) return int16_t(0x100 | vk);
  }
  if (ch >= 1 && ch <= 26) return int16_t(0x200 | ('A' + ch - 1));
  return -1;
}

// ---- key state ------------------------------------------------------------------------------

static void set_key(uint8_t* keys, uint32_t vk, bool down) {
  if (vk > 255) return;
  if (down && !(keys[vk] & 0x80)) keys[vk] ^= 1;
  keys[vk] = uint8_t(down ? (keys[vk] | 0x80) : (keys[vk] & ~0x80));
}

// A key event changes the generic key and its left or right form together.
static void apply_key(uint8_t* keys, uint32_t vk, bool down, key_side side) {
  set_key(keys, vk, down);
  uint32_t l = 0, r = 0;
  if (vk == VK_SHIFT) { l = VK_LSHIFT; r = VK_RSHIFT; }
  if (vk == VK_CONTROL) { l = VK_LCONTROL; r = VK_RCONTROL; }
  if (vk == VK_MENU) { l = VK_LMENU; r = VK_RMENU; }
  if (l) {
    set_key(keys, side == key_side::right ? r : l, down);
    // The generic key stays down while the other side is held.
    uint32_t other = side == key_side::right ? l : r;
    if (!down && (keys[other] & 0x80)) keys[vk] |= 0x80;
  }
}

int16_t GetKeyState(uint32_t vk) {
  if (!installed() || vk > 255) return 0;
  uint8_t k = st().keys[vk];
  return int16_t((k & 0x80 ? 0x8000 : 0) | (k & 1));
}

static uint32_t mouse_keys(const uint8_t* keys) {
  uint32_t m = 0;
  if (keys[VK_LBUTTON] & 0x80) m |= MK_LBUTTON;
  if (keys[VK_RBUTTON] & 0x80) m |= MK_RBUTTON;
  if (keys[VK_MBUTTON] & 0x80) m |= MK_MBUTTON;
  if (keys[VK_XBUTTON1] & 0x80) m |= MK_XBUTTON1;
  if (keys[VK_XBUTTON2] & 0x80) m |= MK_XBUTTON2;
  if (keys[VK_SHIFT] & 0x80) m |= MK_SHIFT;
  if (keys[VK_CONTROL] & 0x80) m |= MK_CONTROL;
  return m;
}

// ---- posting --------------------------------------------------------------------------------

void wake() {
  if (!installed()) return;
  int fd = st().wake_fd;
  if (fd >= 0) {
    uint64_t one = 1;
    ssize_t n = ::write(fd, &one, 8);
    (void)n;
  }
}

bool PostMessage(HWND h, uint32_t m, WPARAM wp, LPARAM lp) {
  if (!installed()) return false;
  {
    std::lock_guard<std::mutex> lock(st().post_mutex);
    MSG msg;
    msg.hwnd = h;
    msg.message = m;
    msg.wParam = wp;
    msg.lParam = lp;
    st().posted.push_back(msg);
  }
  wake();
  return true;
}

// A flag, not a message: however often it is called, one WM_QUIT comes out of the queue.
void PostQuitMessage(int code) {
  if (!installed()) return;
  st().quit = true;
  st().quit_code = code;
}

// ---- retrieval ------------------------------------------------------------------------------

static bool in_range(uint32_t m, uint32_t min, uint32_t max) {
  return (min == 0 && max == 0) || (m >= min && m <= max);
}

static bool for_window(HWND target, HWND filter) {
  return is_null(filter) || target == filter || IsChild(filter, target);
}

static HWND find_paint(HWND h, HWND filter) {
  window* w = win_of(h);
  if (!w || !(w->style & WS_VISIBLE)) return HWND{};
  if ((w->invalid || w->internal_paint) && for_window(h, filter)) return h;
  for (auto it = w->children.rbegin(); it != w->children.rend(); ++it) {
    HWND c = find_paint(*it, filter);
    if (!is_null(c)) return c;
  }
  return HWND{};
}

static void take_input(const input_msg& in) {
  state& s = st();
  if (in.key_vk) apply_key(s.keys, in.key_vk, in.key_down, in.side);
  uint32_t m = in.msg.message;
  // A lone Alt (pressed and released with nothing between) opens the menu bar; any other
  // key or a press in between spoils it, as any key spoils a held F10.
  if (in.key_vk && in.key_down) {
    bool alt = in.key_vk == VK_MENU;
    if (!alt || !(in.msg.lParam & (1 << 30))) s.alt_alone = alt;
    if (in.key_vk != VK_F10) s.f10_down = false;
  }
  if (m == WM_LBUTTONDOWN || m == WM_RBUTTONDOWN || m == WM_MBUTTONDOWN || m == WM_XBUTTONDOWN ||
      m == WM_NCLBUTTONDOWN)
    s.alt_alone = false;
  if (m >= WM_LBUTTONDOWN && m <= WM_XBUTTONDBLCLK) {
    static const struct { uint32_t msg, vk; bool down; } b[] = {
      {WM_LBUTTONDOWN, VK_LBUTTON, true}, {WM_LBUTTONDBLCLK, VK_LBUTTON, true}, {WM_LBUTTONUP, VK_LBUTTON, false},
      {WM_RBUTTONDOWN, VK_RBUTTON, true}, {WM_RBUTTONDBLCLK, VK_RBUTTON, true}, {WM_RBUTTONUP, VK_RBUTTON, false},
      {WM_MBUTTONDOWN, VK_MBUTTON, true}, {WM_MBUTTONDBLCLK, VK_MBUTTON, true}, {WM_MBUTTONUP, VK_MBUTTON, false}};
    for (auto& e : b) if (e.msg == m) set_key(s.keys, e.vk, e.down);
    if (m == WM_XBUTTONDOWN || m == WM_XBUTTONUP || m == WM_XBUTTONDBLCLK)
      set_key(s.keys, HIWORD(in.msg.wParam) == XBUTTON1 ? VK_XBUTTON1 : VK_XBUTTON2, m != WM_XBUTTONUP);
  }
}

// Side effects of taking an input message off the queue: mouse-leave tracking, the cursor
// shape and click activation.
static void on_input_taken(const MSG& m) {
  state& s = st();
  bool mouse = (m.message >= WM_MOUSEFIRST && m.message <= WM_MOUSELAST && m.message != WM_MOUSEWHEEL &&
                m.message != WM_MOUSEHWHEEL) || m.message == WM_NCMOUSEMOVE;
  if (!mouse) return;
  if (!is_null(s.tracking) && s.tracking != m.hwnd) {
    HWND t = s.tracking;
    s.tracking = HWND{};
    if (s.track_flags & TME_LEAVE) PostMessage(t, WM_MOUSELEAVE, 0, 0);
  }
  if (is_null(m.hwnd) || m.message == WM_NCMOUSEMOVE) return;
  bool down = m.message == WM_LBUTTONDOWN || m.message == WM_RBUTTONDOWN || m.message == WM_MBUTTONDOWN ||
              m.message == WM_XBUTTONDOWN || m.message == WM_LBUTTONDBLCLK;
  if (down) {
    HWND top = GetAncestor(m.hwnd, GA_ROOT);
    if (top != s.active) {
      LRESULT r = SendMessage(m.hwnd, WM_MOUSEACTIVATE, raw(top), MAKELPARAM(HTCLIENT, m.message));
      if (r != 3 && r != 4 && IsWindow(top)) SetActiveWindow(top);   // 3, 4: no activation
    }
  }
  if (is_null(s.capture) && IsWindow(m.hwnd)) {
    // As the system does, the window under the pointer says which part of it is there
    // before it is asked for its cursor.
    LRESULT hit = SendMessage(m.hwnd, WM_NCHITTEST, 0, MAKELPARAM(m.pt.x, m.pt.y));
    if (IsWindow(m.hwnd)) SendMessage(m.hwnd, WM_SETCURSOR, raw(m.hwnd), MAKELPARAM(int32_t(hit), m.message));
  }
}

// Set once by whoever runs the loops, before or after the display opens.
static bool (*key_hold)(HWND) = nullptr;
void set_key_hold(bool (*held)(HWND)) { key_hold = held; }

static bool peek_one(MSG& out, HWND filter, uint32_t min, uint32_t max, bool remove) {
  state& s = st();
  {
    std::lock_guard<std::mutex> lock(s.post_mutex);
    for (auto it = s.posted.begin(); it != s.posted.end(); ++it) {
      if (!in_range(it->message, min, max) || !(is_null(filter) || for_window(it->hwnd, filter))) continue;
      out = *it;
      if (remove) s.posted.erase(it);
      out.time = s.message_time;
      out.pt = s.cursor_pos;
      return true;
    }
  }
  // The quit comes before display input: keys typed ahead of a loop's end (the next lines
  // after an Enter that ends a prompt) stay queued for the loop that runs next instead of
  // going to the one that is ending, which has no use for them.
  if (s.quit) {
    out = MSG{};
    out.message = WM_QUIT;
    out.wParam = static_cast<WPARAM>(s.quit_code);
    if (remove) s.quit = false;
    return true;
  }
  for (auto it = s.input.begin(); it != s.input.end(); ++it) {
    // A key goes to the window that has the focus when it is taken, so that keys typed
    // ahead follow a focus the keys before them moved.
    if (it->msg.message >= WM_KEYDOWN && it->msg.message <= WM_SYSKEYUP) {
      HWND to = is_null(s.focus) ? s.active : s.focus;
      if (!it->pinned && !is_null(to)) it->msg.hwnd = to;
      // A held key keeps the window it was typed into: a click elsewhere taken while it
      // waits must not hand it to another window.
      if (key_hold && !is_null(it->msg.hwnd) && IsWindow(it->msg.hwnd) && key_hold(it->msg.hwnd)) {
        it->pinned = true;
        continue;
      }
    }
    if (!is_null(it->msg.hwnd) && !IsWindow(it->msg.hwnd)) {
      if (remove) { take_input(*it); it = s.input.erase(it); if (it == s.input.end()) break; --it; }
      continue;
    }
    if (!in_range(it->msg.message, min, max) || !(is_null(filter) || for_window(it->msg.hwnd, filter))) continue;
    input_msg in = *it;
    out = in.msg;
    if (remove) {
      s.input.erase(it);
      take_input(in);
      s.message_time = out.time;
      on_input_taken(out);
      if (is_null(out.hwnd)) return peek_one(out, filter, min, max, remove);
    }
    return true;
  }
  if (in_range(WM_PAINT, min, max)) {
    for (HWND t : s.tops) {
      HWND h = find_paint(t, filter);
      if (is_null(h)) continue;
      out = MSG{};
      out.hwnd = h;
      out.message = WM_PAINT;
      out.time = msg_time();
      out.pt = s.cursor_pos;
      if (window* w = win_of(h)) w->internal_paint = false;
      return true;
    }
  }
  if (in_range(WM_TIMER, min, max)) {
    int64_t now = clock_us();
    for (auto& t : s.timers) {
      if (t.due_us > now || !(is_null(filter) || for_window(t.hwnd, filter))) continue;
      out = MSG{};
      out.hwnd = t.hwnd;
      out.message = WM_TIMER;
      out.wParam = t.id;
      out.lParam = LPARAM(reinterpret_cast<intptr_t>(t.procedure));
      out.time = msg_time();
      out.pt = s.cursor_pos;
      // However many periods went by, one WM_TIMER; the next is a period from now.
      if (remove) t.due_us = now + t.period_us;
      return true;
    }
  }
  return false;
}

static bool halt_key(const input_msg& in, HWND top) {
  if (in.msg.message != WM_KEYDOWN || (in.msg.lParam & (1u << 30))) return false;
  if (in.msg.wParam != VK_ESCAPE && in.msg.wParam != VK_CANCEL) return false;
  return !is_null(in.msg.hwnd) && IsWindow(in.msg.hwnd) && GetAncestor(in.msg.hwnd, GA_ROOT) == top;
}

bool take_halt_input(HWND top) {
  if (!installed() || is_null(top) || !IsWindow(top)) return false;
  state& s = st();
  if (s.disp->busy_halt(top)) return true;
  for (auto it = s.input.begin(); it != s.input.end(); ++it) {
    if (it->msg.message == WM_CLOSE && it->msg.hwnd == top) return true;
    if (!halt_key(*it, top)) continue;
    uint32_t vk = uint32_t(it->msg.wParam);
    it = s.input.erase(it);
    for (; it != s.input.end(); ++it)
      if (it->msg.message == WM_KEYUP && it->msg.wParam == vk) {
        s.input.erase(it);
        break;
      }
    return true;
  }
  return false;
}

static void drain_wake_fd();

bool PeekMessage(MSG& m, HWND filter, uint32_t min, uint32_t max, uint32_t remove) {
  if (!installed()) return false;
  // Drained before looking, so that a wake-up left behind cannot make a later wait spin.
  drain_wake_fd();
  if (peek_one(m, filter, min, max, remove & PM_REMOVE)) return true;
  present_all();
  // Let the display turn what it has into input without blocking.
  st().disp->wait(clock_us(), st().wake_fd);
  return peek_one(m, filter, min, max, remove & PM_REMOVE);
}

static void drain_wake_fd() {
  uint64_t v;
  if (st().wake_fd >= 0) while (::read(st().wake_fd, &v, 8) == 8) {}
}

int GetMessage(MSG& m, HWND filter, uint32_t min, uint32_t max) {
  if (!installed()) return -1;
  for (;;) {
    drain_wake_fd();
    if (peek_one(m, filter, min, max, true)) return m.message == WM_QUIT ? 0 : 1;
    present_all();
    if (!st().disp->wait(next_timer_due(), st().wake_fd)) return -1;
  }
}

bool WaitMessage() {
  if (!installed()) return false;
  drain_wake_fd();
  MSG m;
  if (peek_one(m, HWND{}, 0, 0, false)) return true;
  present_all();
  return st().disp->wait(next_timer_due(), st().wake_fd);
}

bool TranslateMessage(const MSG& m) {
  if (!installed() || (m.message != WM_KEYDOWN && m.message != WM_SYSKEYDOWN)) return false;
  uint32_t char_msg = m.message == WM_KEYDOWN ? WM_CHAR : WM_SYSCHAR;
  state& s = st();
  for (auto& [seq, text] : s.key_texts) {
    if (seq != m.lPrivate || text.empty()) continue;
    for (char16_t u : to_utf16(text)) PostMessage(m.hwnd, char_msg, u, m.lParam);
    return true;
  }
  uint32_t vk = static_cast<uint32_t>(m.wParam);
  if (vk > 255) return false;
  const vk_entry& e = vk_table()[vk];
  if (!e.plain) return false;
  bool shift = GetKeyState(VK_SHIFT) < 0, ctrl = GetKeyState(VK_CONTROL) < 0, alt = GetKeyState(VK_MENU) < 0;
  char16_t ch = shift ? e.shifted : e.plain;
  if (vk >= 'A' && vk <= 'Z' && (GetKeyState(VK_CAPITAL) & 1)) ch = shift ? e.plain : e.shifted;
  if (ctrl && alt) return false;
  if (ctrl) {
    if (vk >= 'A' && vk <= 'Z') ch = char16_t(vk - 'A' + 1);
    else if (vk == VK_OEM_4) ch = 27;
    else if (vk == VK_OEM_5) ch = 28;
    else if (vk == VK_OEM_6) ch = 29;
    else if (vk == VK_BACK) ch = 0x7F;
    else if (vk == VK_RETURN) ch = '\n';
    else if (vk == VK_SPACE) ch = ' ';
    else return false;
  }
  PostMessage(m.hwnd, char_msg, ch, m.lParam);
  return true;
}

LRESULT DispatchMessage(const MSG& m) {
  if (!installed() || is_null(m.hwnd)) return 0;
  if (m.message == WM_TIMER && m.lParam) {
    // Still the timer that queued it: a procedure killed meanwhile is not called.
    auto proc = reinterpret_cast<TIMERPROC>(intptr_t(m.lParam));
    for (auto& t : st().timers)
      if (t.hwnd == m.hwnd && t.id == m.wParam && t.procedure == proc) {
        proc(m.hwnd, WM_TIMER, m.wParam, m.time);
        return 0;
      }
    return 0;
  }
  return SendMessage(m.hwnd, m.message, m.wParam, m.lParam);
}

uint32_t GetMessageTime() { return installed() ? st().message_time : 0; }
uint32_t GetDoubleClickTime() { return 500; }

// ---- timers ---------------------------------------------------------------------------------

uintptr_t SetTimer(HWND h, uintptr_t id, uint32_t ms, TIMERPROC procedure) {
  if (!installed() || (!is_null(h) && !IsWindow(h))) return 0;
  state& s = st();
  if (ms < USER_TIMER_MINIMUM) ms = USER_TIMER_MINIMUM;
  if (ms > USER_TIMER_MAXIMUM) ms = USER_TIMER_MAXIMUM;
  if (is_null(h)) {
    static uintptr_t next_id = 0x7000;
    id = ++next_id;
  }
  int64_t due = clock_us() + int64_t(ms) * 1000;
  for (auto& t : s.timers)
    if (t.hwnd == h && t.id == id) {
      t.period_us = int64_t(ms) * 1000;
      t.due_us = due;
      t.procedure = procedure;
      return id ? id : 1;
    }
  s.timers.push_back(timer{h, id, int64_t(ms) * 1000, due, procedure});
  return id ? id : 1;
}

bool KillTimer(HWND h, uintptr_t id) {
  if (!installed()) return false;
  auto& t = st().timers;
  auto it = std::remove_if(t.begin(), t.end(), [&](const timer& x) { return x.hwnd == h && x.id == id; });
  bool found = it != t.end();
  t.erase(it, t.end());
  return found;
}

int64_t next_timer_due() {
  if (!installed()) return -1;
  int64_t d = -1;
  for (auto& t : st().timers) if (d < 0 || t.due_us < d) d = t.due_us;
  return d;
}

// ---- focus, activation, capture -------------------------------------------------------------

HWND SetFocus(HWND h) {
  if (!installed()) return HWND{};
  state& s = st();
  HWND old = s.focus;
  if (!is_null(h)) {
    if (!IsWindow(h)) return HWND{};
    HWND top = GetAncestor(h, GA_ROOT);
    if (top != s.active) {
      SetActiveWindow(top);
      if (!IsWindow(h)) return old;
      old = s.focus;
    }
  }
  if (old == h) return old;
  s.focus = h;
  if (IsWindow(old)) SendMessage(old, WM_KILLFOCUS, raw(h), 0);
  if (!is_null(h) && IsWindow(h) && s.focus == h) SendMessage(h, WM_SETFOCUS, raw(old), 0);
  return old;
}

HWND GetFocus() { return installed() ? st().focus : HWND{}; }

HWND SetActiveWindow(HWND h) {
  if (!installed()) return HWND{};
  state& s = st();
  HWND old = s.active;
  if (!is_null(h)) {
    h = GetAncestor(h, GA_ROOT);
    if (is_null(h)) return HWND{};
  }
  if (h == old) return old;
  s.active = h;
  if (!is_null(h)) {
    auto& t = s.tops;
    auto it = std::find(t.begin(), t.end(), h);
    if (it != t.end()) { t.erase(it); t.insert(t.begin(), h); }
  }
  if (IsWindow(old)) {
    SendMessage(old, WM_NCACTIVATE, 0, 0);
    SendMessage(old, WM_ACTIVATE, WA_INACTIVE, raw(h));
    if (s.focus == old || IsChild(old, s.focus)) {
      HWND f = s.focus;
      s.focus = HWND{};
      if (IsWindow(f)) SendMessage(f, WM_KILLFOCUS, raw(h), 0);
    }
  }
  if (!is_null(h) && IsWindow(h) && s.active == h) {
    s.disp->activate_top(h);
    SendMessage(h, WM_NCACTIVATE, 1, 0);
    SendMessage(h, WM_ACTIVATE, WA_ACTIVE | (IsIconic(h) ? 0x10000 : 0), raw(old));
  }
  return old;
}

HWND GetActiveWindow() { return installed() ? st().active : HWND{}; }
bool SetForegroundWindow(HWND h) { return IsWindow(h) && (SetActiveWindow(h), true); }
HWND GetForegroundWindow() { return GetActiveWindow(); }

HWND SetCapture(HWND h) {
  if (!installed() || !IsWindow(h)) return HWND{};
  state& s = st();
  HWND old = s.capture;
  s.capture = h;
  if (IsWindow(old) && old != h) SendMessage(old, WM_CAPTURECHANGED, 0, raw(h));
  return old;
}

bool ReleaseCapture() {
  if (!installed()) return false;
  state& s = st();
  HWND old = s.capture;
  s.capture = HWND{};
  if (IsWindow(old)) SendMessage(old, WM_CAPTURECHANGED, 0, 0);
  return true;
}

HWND GetCapture() { return installed() ? st().capture : HWND{}; }

bool TrackMouseEvent(TRACKMOUSEEVENT& t) {
  if (!installed()) return false;
  state& s = st();
  if (t.dwFlags & TME_CANCEL) {
    if (s.tracking == t.hwndTrack) s.tracking = HWND{};
    return true;
  }
  if (!IsWindow(t.hwndTrack)) return false;
  // Asking to track a window the pointer is not over gives the leave at once.
  if (WindowFromPoint(s.cursor_pos) != t.hwndTrack && is_null(s.capture)) {
    if (t.dwFlags & TME_LEAVE) PostMessage(t.hwndTrack, WM_MOUSELEAVE, 0, 0);
    return true;
  }
  s.tracking = t.hwndTrack;
  s.track_flags = t.dwFlags;
  return true;
}

bool GetCursorPos(POINT& p) {
  if (!installed()) return false;
  p = st().cursor_pos;
  return true;
}

bool SetCursorPos(int32_t x, int32_t y) {
  if (!installed()) return false;
  st().cursor_pos = {x, y};
  st().disp->set_cursor_pos({x, y});
  return true;
}

// ---- input from the display -----------------------------------------------------------------

static void push_input(input_msg in) {
  state& s = st();
  in.msg.time = msg_time();
  in.msg.pt = s.cursor_pos;
  s.input.push_back(std::move(in));
}

void input_key(const key_input& k) {
  if (!installed() || k.vk == 0 || k.vk > 255) return;
  state& s = st();
  // The input method's key is no key of the keyboard: it has no state to keep.
  bool processed = k.vk == VK_PROCESSKEY;
  bool was_down = s.live_keys[k.vk] & 0x80;
  if (!processed) apply_key(s.live_keys, k.vk, k.down, k.side);
  bool alt = s.live_keys[VK_MENU] & 0x80, ctrl = s.live_keys[VK_CONTROL] & 0x80;
  bool sys = (alt && !ctrl) || k.vk == VK_F10 || (k.vk == VK_MENU && !ctrl);
  input_msg in;
  in.msg.hwnd = is_null(s.focus) ? s.active : s.focus;
  if (is_null(in.msg.hwnd)) return;
  in.msg.message = k.down ? (sys ? WM_SYSKEYDOWN : WM_KEYDOWN) : (sys ? WM_SYSKEYUP : WM_KEYUP);
  uint32_t vk = k.vk;
  in.msg.wParam = vk;
  bool extended = k.extended || (k.side == key_side::right && (vk == VK_CONTROL || vk == VK_MENU));
  uint32_t l = 1 | (MapVirtualKey(vk, MAPVK_VK_TO_VSC) << 16) | (extended ? 1u << 24 : 0);
  if (k.vk == VK_SHIFT && k.side == key_side::right) l = 1 | (0x36u << 16);
  if (alt) l |= 1u << 29;
  if (!k.down || was_down || k.repeat) l |= 1u << 30;
  if (!k.down) l |= 1u << 31;
  in.msg.lParam = l;
  in.key_vk = processed ? 0 : vk;
  in.key_down = k.down;
  in.side = k.side;
  in.msg.lPrivate = ++s.input_seq;
  if (k.down && !k.text.empty()) {
    s.key_texts.emplace_back(in.msg.lPrivate, k.text);
    if (s.key_texts.size() > 64) s.key_texts.pop_front();
  }
  push_input(std::move(in));
}

// A message of the input method, for the focus (else the active window); false when none.
static bool ime_message(input_msg& in, uint32_t message, LPARAM l) {
  if (!installed()) return false;
  state& s = st();
  in.msg.hwnd = is_null(s.focus) ? s.active : s.focus;
  if (is_null(in.msg.hwnd)) return false;
  in.msg.message = message;
  in.msg.lParam = l;
  return true;
}

void input_composition(bool start) {
  input_msg in;
  if (ime_message(in, start ? WM_IME_STARTCOMPOSITION : WM_IME_ENDCOMPOSITION, 0)) push_input(std::move(in));
}

void input_ime(std::string_view composition) {
  input_msg in;
  if (!ime_message(in, WM_IME_COMPOSITION, GCS_COMPSTR)) return;
  st().composition = std::string(composition);
  push_input(std::move(in));
}

std::string ImmGetCompositionString(HWND) { return installed() ? st().composition : std::string(); }

static HWND mouse_target(POINT p) {
  state& s = st();
  return is_null(s.capture) ? WindowFromPoint(p) : s.capture;
}

// The top level whose menu bar is at screen point `p` (no capture held), or null.
static HWND bar_at(HWND h, POINT p) {
  window* w = win_of(h);
  if (!w || !is_null(w->parent) || !is_null(st().capture)) return HWND{};
  RECT b = menu_band(w);
  if (b.empty()) return HWND{};
  return b.contains(POINT{add32(p.x, -int64_t(w->rect.left)), add32(p.y, -int64_t(w->rect.top))}) ? h : HWND{};
}

void input_pointer_move(POINT p) {
  if (!installed()) return;
  state& s = st();
  s.cursor_pos = p;
  HWND h = mouse_target(p);
  // Over a menu bar the window hears of the pointer as a non-client move, and of its
  // leaving once it goes.
  HWND bar = bar_at(h, p);
  if (!is_null(s.nc_hover) && s.nc_hover != bar) {
    input_msg leave;
    leave.msg.hwnd = s.nc_hover;
    leave.msg.message = WM_NCMOUSELEAVE;
    push_input(std::move(leave));
    s.nc_hover = HWND{};
  }
  if (!is_null(bar)) {
    s.nc_hover = bar;
    if (!s.input.empty() && s.input.back().msg.message == WM_NCMOUSEMOVE && s.input.back().msg.hwnd == bar) {
      s.input.back().msg.lParam = MAKELPARAM(p.x, p.y);
      s.input.back().msg.pt = p;
      return;
    }
    input_msg nc;
    nc.msg.hwnd = bar;
    nc.msg.message = WM_NCMOUSEMOVE;
    nc.msg.wParam = HTMENU;
    nc.msg.lParam = MAKELPARAM(p.x, p.y);
    push_input(std::move(nc));
    return;
  }
  input_msg in;
  in.msg.hwnd = h;
  in.msg.message = WM_MOUSEMOVE;
  POINT c = p;
  if (!is_null(h)) ScreenToClient(h, c);
  in.msg.wParam = mouse_keys(s.live_keys);
  in.msg.lParam = MAKELPARAM(c.x, c.y);
  // Moves coalesce: only the newest position of a run of moves is kept.
  if (!s.input.empty() && s.input.back().msg.message == WM_MOUSEMOVE && s.input.back().msg.hwnd == h) {
    s.input.back().msg.wParam = in.msg.wParam;
    s.input.back().msg.lParam = in.msg.lParam;
    s.input.back().msg.pt = p;
    return;
  }
  push_input(std::move(in));
}

void input_button(int button, bool down, POINT p) {
  if (!installed() || button < 1 || button > 5) return;
  state& s = st();
  if (p.x != s.cursor_pos.x || p.y != s.cursor_pos.y) input_pointer_move(p);
  s.cursor_pos = p;
  static const uint32_t vks[] = {0, VK_LBUTTON, VK_MBUTTON, VK_RBUTTON, VK_XBUTTON1, VK_XBUTTON2};
  set_key(s.live_keys, vks[button], down);
  HWND h = mouse_target(p);
  // A disabled window takes no press nor release (a disabled check box stays as it is),
  // nor does anything in a disabled top level (the windows under a modal one).
  if (is_null(h) || (is_null(s.capture) && (!IsWindowEnabled(h) || !IsWindowEnabled(GetAncestor(h, GA_ROOT))))) return;
  static const uint32_t downs[] = {0, WM_LBUTTONDOWN, WM_MBUTTONDOWN, WM_RBUTTONDOWN, WM_XBUTTONDOWN, WM_XBUTTONDOWN};
  uint32_t m = downs[button] + (down ? 0 : 1);
  if (down) {
    window* w = win_of(h);
    int64_t now = clock_us();
    bool dbl = w && (w->cls_style & CS_DBLCLKS) && s.last_click_hwnd == h && s.last_click_button == button &&
               now - s.last_click_us <= int64_t(GetDoubleClickTime()) * 1000 &&
               std::abs(int64_t(p.x) - s.last_click_pt.x) <= GetSystemMetrics(SM_CXDOUBLECLK) / 2 &&
               std::abs(int64_t(p.y) - s.last_click_pt.y) <= GetSystemMetrics(SM_CYDOUBLECLK) / 2;
    if (dbl) {
      m = downs[button] + 2;
      s.last_click_us = -1000000000;   // a third press starts over
    } else {
      s.last_click_hwnd = h;
      s.last_click_button = button;
      s.last_click_us = now;
      s.last_click_pt = p;
    }
  }
  // Presses on a window's frame or scroll bars are non-client messages.
  if (is_null(s.capture)) {
    LRESULT hit = SendMessage(h, WM_NCHITTEST, 0, MAKELPARAM(p.x, p.y));
    if (hit != HTCLIENT && hit != HTNOWHERE) {
      if (button != 1 || m == WM_LBUTTONDBLCLK) return;
      input_msg nc;
      nc.msg.hwnd = h;
      nc.msg.message = down ? WM_NCLBUTTONDOWN : WM_NCLBUTTONUP;
      nc.msg.wParam = static_cast<WPARAM>(hit);
      nc.msg.lParam = MAKELPARAM(p.x, p.y);
      push_input(std::move(nc));
      return;
    }
  }
  POINT c = p;
  ScreenToClient(h, c);
  input_msg in;
  in.msg.hwnd = h;
  in.msg.message = m;
  in.msg.wParam = mouse_keys(s.live_keys) | (button >= 4 ? (uint64_t(button == 4 ? XBUTTON1 : XBUTTON2) << 16) : 0);
  in.msg.lParam = MAKELPARAM(c.x, c.y);
  push_input(std::move(in));
}

void input_wheel(int delta, bool horizontal, POINT p) {
  if (!installed()) return;
  state& s = st();
  s.cursor_pos = p;
  // The wheel turns what lies under the pointer, as desktops do today (a list or a text
  // scrolls without being clicked first); a window holding the capture, or the focus
  // when the pointer is over none of ours, takes it otherwise.
  HWND h = s.capture;
  if (is_null(h)) h = WindowFromPoint(p);
  if (is_null(h)) h = s.focus;
  if (is_null(h)) return;
  input_msg in;
  in.msg.hwnd = h;
  in.msg.message = horizontal ? WM_MOUSEHWHEEL : WM_MOUSEWHEEL;
  in.msg.wParam = (uint64_t(uint16_t(int16_t(delta))) << 16) | mouse_keys(s.live_keys);
  in.msg.lParam = MAKELPARAM(p.x, p.y);
  push_input(std::move(in));
}

void input_gesture(uint32_t id, POINT p, uint64_t arguments, uint32_t flags) {
  if (!installed()) return;
  state& s = st();
  HWND under = WindowFromPoint(p);
  HWND top = is_null(under) ? HWND{} : GetAncestor(under, GA_ROOT);
  if (is_null(top)) return;
  GESTUREINFO g;
  g.dwFlags = flags;
  g.dwID = id;
  g.hwndTarget = top;
  g.ptsLocation = {int16_t(std::clamp(p.x, -32768, 32767)), int16_t(std::clamp(p.y, -32768, 32767))};
  g.dwSequenceID = ++s.input_seq;
  g.ullArguments = arguments;
  s.gestures.push_back(g);
  if (s.gestures.size() > 64) s.gestures.pop_front();
  input_msg in;
  in.msg.hwnd = top;
  in.msg.message = WM_GESTURE;
  in.msg.wParam = id;
  in.msg.lParam = g.dwSequenceID;
  push_input(std::move(in));
}

bool GetGestureInfo(LPARAM handle, GESTUREINFO& out) {
  if (!installed() || handle == 0) return false;
  for (const GESTUREINFO& g : st().gestures)
    if (LPARAM(g.dwSequenceID) == handle) {
      out = g;
      return true;
    }
  return false;
}

void input_close(HWND top) {
  if (!installed() || !IsWindow(top)) return;
  input_msg in;
  in.msg.hwnd = top;
  in.msg.message = WM_CLOSE;
  push_input(std::move(in));
}

HWND input_key_window(HWND top) {
  if (!installed() || !IsWindow(top)) return HWND{};
  if (IsWindowEnabled(top)) return top;
  for (HWND t : st().tops)   // front first
    if (IsWindow(t) && IsWindowVisible(t) && IsWindowEnabled(t))
      for (HWND o = GetWindow(t, GW_OWNER); !is_null(o); o = GetWindow(o, GW_OWNER))
        if (o == top) return t;
  return HWND{};
}

void input_activate(HWND top, bool active) {
  if (!installed() || !IsWindow(top)) return;
  state& s = st();
  if (active) {
    // A top level disabled under a modal window (the one it opened) is not made active:
    // the window manager gave it the keys as the pointer entered it, and they go to the
    // modal window instead, as a click on the disabled one would bring that forward.
    if (!IsWindowEnabled(top)) {
      HWND modal = input_key_window(top);
      if (is_null(modal)) return;
      if (s.active == modal) s.disp->activate_top(modal);
      else SetActiveWindow(modal);
      return;
    }
    SetActiveWindow(top);
    return;
  }
  if (s.active != top) return;
  s.active = HWND{};
  SendMessage(top, WM_NCACTIVATE, 0, 0);
  SendMessage(top, WM_ACTIVATE, WA_INACTIVE, 0);
  if (!is_null(s.focus)) {
    HWND f = s.focus;
    s.focus = HWND{};
    if (IsWindow(f)) SendMessage(f, WM_KILLFOCUS, 0, 0);
  }
}

void input_state(HWND top, int cmd) {
  if (installed() && IsWindow(top)) ShowWindow(top, cmd);
}

void input_move_size(HWND top, RECT r, bool sizing, int phase) {
  window* w = win_of(top);
  if (!w || !is_null(w->parent)) return;
  if (phase == 0) SendMessage(top, WM_ENTERSIZEMOVE, 0, 0);
  if (phase == 2) { SendMessage(top, WM_EXITSIZEMOVE, 0, 0); return; }
  if (!IsWindow(top)) return;
  SendMessage(top, sizing ? WM_SIZING : WM_MOVING, sizing ? 8 : 0, reinterpret_cast<LPARAM>(&r));
  if (sizing && IsWindow(top)) {
    // A user resize stays within the window's limits.
    MINMAXINFO mm = min_max_of(top);
    r.right = add32(r.left, std::clamp(r.width(), mm.ptMinTrackSize.x, std::max(mm.ptMinTrackSize.x, mm.ptMaxTrackSize.x)));
    r.bottom = add32(r.top, std::clamp(r.height(), mm.ptMinTrackSize.y, std::max(mm.ptMinTrackSize.y, mm.ptMaxTrackSize.y)));
  }
  if (IsWindow(top)) SetWindowPos(top, 0, r.left, r.top, r.width(), r.height(), SWP_NOZORDER | SWP_NOACTIVATE);
}

void input_dpi_changed(HWND top, uint32_t dpi) {
  window* w = win_of(top);
  if (!w || dpi == 0) return;
  uint32_t old = w->dpi ? w->dpi : 96;
  // The window and everything in it are on the new DPI (scroll bars and frames follow it).
  std::vector<window*> tree{w};
  while (!tree.empty()) {
    window* t = tree.back();
    tree.pop_back();
    t->dpi = dpi;
    for (HWND c : t->children)
      if (window* cw = win_of(c)) tree.push_back(cw);
  }
  // The suggested rectangle keeps the top-left corner and scales the client area; the
  // frame around it stays what it is.
  RECT r = w->rect, c = client_rect_in_window(w);
  int64_t fw = int64_t(r.width()) - c.width(), fh = int64_t(r.height()) - c.height();
  RECT s{r.left, r.top, add32(r.left, fw + int64_t(c.width()) * dpi / old),
         add32(r.top, fh + int64_t(c.height()) * dpi / old)};
  SendMessage(top, WM_DPICHANGED, (uint64_t(dpi) << 16) | dpi, reinterpret_cast<LPARAM>(&s));
}

void input_display_changed() {
  if (!installed()) return;
  for (HWND t : st().tops) SendMessage(t, WM_DISPLAYCHANGE, 32, 0);
}

}  // namespace vyr::win
