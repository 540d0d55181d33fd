// Input scripts: the parser, and the player that turns each command into a step of the
// headless display. Pointer positions and sizes are logical units of the window they aim at,
// turned into pixels with its DPI as the backend does.
#include "gui/win/headless/input_script.h"

#include <unistd.h>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <memory>

#include <cairo.h>

#include "gui/win/headless/display.h"
#include "gui/win/menus/menus.h"

namespace vyr::win {

namespace {

// The largest size or coordinate, in logical units, a script may name.
constexpr double MAX_COORDINATE = 100000;

std::string_view trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

// Splits at runs of blanks.
std::vector<std::string_view> words(std::string_view s) {
  std::vector<std::string_view> out;
  size_t i = 0;
  while (i < s.size()) {
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
    size_t start = i;
    while (i < s.size() && s[i] != ' ' && s[i] != '\t') ++i;
    if (i > start) out.push_back(s.substr(start, i - start));
  }
  return out;
}

bool number(std::string_view s, double& out) {
  if (!s.empty() && s.front() == '+') s.remove_prefix(1);
  auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), out);
  return ec == std::errc() && p == s.data() + s.size() && std::isfinite(out);
}

bool same_nocase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = char(x + 32);
    if (y >= 'A' && y <= 'Z') y = char(y + 32);
    if (x != y) return false;
  }
  return true;
}

// `\n`, `\r`, `\t` and `\\`; false for any other escape or a lone backslash at the end.
bool unescape(std::string_view s, std::string& out) {
  out.clear();
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] != '\\') { out += s[i]; continue; }
    if (++i == s.size()) return false;
    switch (s[i]) {
      case 'n': out += '\n'; break;
      case 'r': out += '\r'; break;
      case 't': out += '\t'; break;
      case '\\': out += '\\'; break;
      default: return false;
    }
  }
  return true;
}

}  // namespace

uint32_t script_key(std::string_view name) {
  static const struct { const char* name; uint32_t vk; } named[] = {
      {"Enter", VK_RETURN}, {"Esc", VK_ESCAPE}, {"Break", VK_CANCEL}, {"Tab", VK_TAB}, {"Backspace", VK_BACK},
      {"Delete", VK_DELETE}, {"Insert", VK_INSERT}, {"Home", VK_HOME}, {"End", VK_END},
      {"Left", VK_LEFT}, {"Right", VK_RIGHT}, {"Up", VK_UP}, {"Down", VK_DOWN},
      {"PageUp", VK_PRIOR}, {"PageDown", VK_NEXT}, {"Space", VK_SPACE}};
  for (auto& n : named)
    if (same_nocase(name, n.name)) return n.vk;
  if (name.size() == 1) {
    char c = name[0];
    if (c >= 'a' && c <= 'z') return uint32_t(c - 32);
    if ((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return uint32_t(c);
    return 0;
  }
  if (name.size() >= 2 && (name[0] == 'F' || name[0] == 'f')) {
    unsigned n = 0;
    auto [p, ec] = std::from_chars(name.data() + 1, name.data() + name.size(), n);
    if (ec == std::errc() && p == name.data() + name.size() && n >= 1 && n <= 12) return VK_F1 + n - 1;
  }
  return 0;
}

script_parse parse_input_script(std::string_view text) {
  script_parse out;
  int line_no = 0;
  auto fail = [&](std::string_view line, const char* why) {
    out.error = "VYR_HEADLESS_INPUT line " + std::to_string(line_no) + ": " + why + ": " + std::string(line);
    out.commands.clear();
    return out;
  };
  while (!text.empty()) {
    size_t nl = text.find('\n');
    std::string_view raw = text.substr(0, nl);
    text = nl == std::string_view::npos ? std::string_view() : text.substr(nl + 1);
    ++line_no;
    std::string_view line = trim(raw);
    if (line.empty() || line.front() == '#') continue;
    size_t sp = line.find_first_of(" \t");
    std::string_view verb = line.substr(0, sp);
    // The rest after the one blank that ends the verb: texts keep their own blanks.
    std::string_view rest = sp == std::string_view::npos ? std::string_view() : line.substr(sp + 1);
    std::vector<std::string_view> args = words(rest);
    script_command c;
    c.line = line_no;
    auto point = [&](script_command::verb_t v) {
      c.verb = v;
      return args.size() == 2 && number(args[0], c.x) && number(args[1], c.y);
    };
    // Coordinates beyond this many units are no place on any screen, and their pixels
    // would not fit the display's 32-bit coordinates.
    auto placeable = [&] { return std::fabs(c.x) <= MAX_COORDINATE && std::fabs(c.y) <= MAX_COORDINATE; };
    if (verb == "text" || verb == "ime") {
      c.verb = verb == "text" ? script_command::TEXT : script_command::IME;
      c.text = std::string(rest);
      if (c.text.empty()) return fail(raw, "no text");
    } else if (verb == "key") {
      if (args.size() != 1) return fail(raw, "key takes one key");
      std::string_view k = args[0];
      c.verb = script_command::KEY;
      // Modifiers in the order Ctrl, Shift, Alt, each at most once.
      const struct { const char* name; uint32_t bit; } mods[] = {
          {"Ctrl+", MK_CONTROL}, {"Shift+", MK_SHIFT}, {"Alt+", 0x100}};
      for (auto& m : mods) {
        std::string_view p = m.name;
        if (k.size() > p.size() && same_nocase(k.substr(0, p.size()), p)) {
          c.modifiers |= m.bit;
          k.remove_prefix(p.size());
        }
      }
      if (!(c.vk = script_key(k))) return fail(raw, "unknown key");
    } else if (verb == "down" || verb == "up" || verb == "move" || verb == "rdown" || verb == "rup") {
      script_command::verb_t v = verb == "down" ? script_command::DOWN : verb == "up" ? script_command::UP
                                 : verb == "move" ? script_command::MOVE : verb == "rdown" ? script_command::RDOWN
                                                                         : script_command::RUP;
      if (!point(v)) return fail(raw, "expected X Y");
      if (!placeable()) return fail(raw, "point out of range");
    } else if (verb == "wheel") {
      double n;
      c.verb = script_command::WHEEL;
      if (args.empty() || args.size() > 2 || !number(args[0], n) || std::fabs(n) > 1e6)
        return fail(raw, "expected wheel N [ctrl]");
      if (args.size() == 2) {
        if (args[1] != "ctrl") return fail(raw, "expected wheel N [ctrl]");
        c.modifiers = MK_CONTROL;
      }
      c.wheel_delta = int(std::lround(n * 120));
    } else if (verb == "wait") {
      double ms;
      c.verb = script_command::WAIT;
      if (args.size() != 1 || !number(args[0], ms) || ms < 0 || ms > 1e9) return fail(raw, "expected wait MS");
      c.wait_us = int64_t(std::llround(ms * 1000));
    } else if (verb == "clip") {
      c.verb = script_command::CLIP;
      if (!unescape(rest, c.text)) return fail(raw, "bad escape");
    } else if (verb == "clip-files") {
      c.verb = script_command::CLIP_FILES;
      if (args.empty()) return fail(raw, "no files");
      for (auto a : args) c.files.emplace_back(a);
    } else if (verb == "clip-image" || verb == "focus" || verb == "unfocus" || verb == "close") {
      if (!args.empty()) return fail(raw, "takes no argument");
      c.verb = verb == "clip-image" ? script_command::CLIP_IMAGE : verb == "focus" ? script_command::FOCUS
               : verb == "unfocus" ? script_command::UNFOCUS : script_command::CLOSE;
    } else if (verb == "resize" || verb == "move-window") {
      if (!point(verb == "resize" ? script_command::RESIZE : script_command::MOVE_WINDOW))
        return fail(raw, "expected two numbers");
      if (c.verb == script_command::RESIZE && (c.x < 1 || c.y < 1 || c.x > MAX_COORDINATE || c.y > MAX_COORDINATE))
        return fail(raw, "size out of range");
      if (c.verb == script_command::MOVE_WINDOW && !placeable()) return fail(raw, "point out of range");
    } else if (verb == "menu" || verb == "click-text") {
      // The rest of the line, its own blanks kept: captions hold spaces.
      c.verb = verb == "menu" ? script_command::MENU : script_command::CLICK_TEXT;
      c.text = std::string(rest);
      if (c.text.empty()) return fail(raw, verb == "menu" ? "expected menu CAPTION/PATH" : "expected click-text TEXT");
    } else if (verb == "frame") {
      c.verb = script_command::FRAME;
      if (args.size() != 1) return fail(raw, "expected frame FILE.png");
      c.text = std::string(args[0]);
    } else {
      return fail(raw, "unknown command");
    }
    out.commands.push_back(std::move(c));
  }
  return out;
}

namespace {

[[noreturn]] void bad_line(const script_command& c, const std::string& why) {
  std::fprintf(stderr, "VYR_HEADLESS_INPUT line %d: %s\n", c.line, why.c_str());
  std::fflush(nullptr);
  _exit(2);
}

// The window the commands aim at: the active top level, else the topmost visible one.
HWND target(const script_command& c) {
  HWND h = GetActiveWindow();
  if (!is_null(h)) return h;
  for (HWND t : top_levels())
    if (IsWindowVisible(t)) return t;
  bad_line(c, "no window");
}

double scale_of(HWND h) { return double(GetDpiForWindow(h)) / 96.0; }
int32_t to_px(double v, double scale) { return int32_t(std::trunc(v * scale + (v < 0 ? -0.5 : 0.5))); }

POINT client_point(const script_command& c) {
  HWND h = target(c);
  double s = scale_of(h);
  POINT p{to_px(c.x, s), to_px(c.y, s)};
  ClientToScreen(h, p);
  return p;
}

cairo_status_t to_bytes(void* closure, const unsigned char* data, unsigned int n) {
  static_cast<std::vector<unsigned char>*>(closure)->insert(static_cast<std::vector<unsigned char>*>(closure)->end(),
                                                            data, data + n);
  return CAIRO_STATUS_SUCCESS;
}

// A small picture for `clip-image`: 4x4, red over blue.
std::vector<unsigned char> sample_png() {
  cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 4, 4);
  cairo_t* cr = cairo_create(s);
  cairo_set_source_rgb(cr, 0, 0, 1);
  cairo_paint(cr);
  cairo_set_source_rgb(cr, 1, 0, 0);
  cairo_rectangle(cr, 0, 0, 4, 2);
  cairo_fill(cr);
  cairo_destroy(cr);
  std::vector<unsigned char> png;
  cairo_surface_write_to_png_stream(s, to_bytes, &png);
  cairo_surface_destroy(s);
  return png;
}

void write_frame(headless_display& d, const script_command& c) {
  HWND h = target(c);
  RECT r;
  GetClientRect(h, r);
  cairo_surface_t* last = d.last_frame(h);
  cairo_surface_t* frame = last ? cairo_surface_reference(last) : compose(h);
  if (!frame) bad_line(c, "no frame to write");
  // The client area only, whatever room the composed surface was given: a menu bar above
  // it is left out, and the client area's bottom rows with it are kept.
  int w = std::max(1, r.width()), hgt = std::max(1, r.height());
  POINT origin{0, 0};
  ClientToScreen(h, origin);
  RECT shown = shown_rect(h);
  int bar = std::max(0, origin.y - shown.top), side = std::max(0, origin.x - shown.left);
  cairo_surface_t* out = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, hgt);
  cairo_t* cr = cairo_create(out);
  cairo_set_source_surface(cr, frame, -side, -bar);
  cairo_paint(cr);
  cairo_destroy(cr);
  cairo_surface_destroy(frame);
  cairo_status_t st = cairo_surface_write_to_png(out, c.text.c_str());
  cairo_surface_destroy(out);
  if (st != CAIRO_STATUS_SUCCESS) bad_line(c, "the frame cannot be written");
}

void hold(headless_display& d, uint32_t modifiers, bool down) {
  if (modifiers & MK_CONTROL) d.key(VK_CONTROL, down, "", key_side::left);
}

void play(headless_display& d, const script_command& c) {
  switch (c.verb) {
    case script_command::TEXT: d.type(c.text); break;
    case script_command::KEY: d.chord(c.modifiers, c.vk); break;
    case script_command::MOVE: d.move(client_point(c)); break;
    case script_command::DOWN: case script_command::UP: case script_command::RDOWN: case script_command::RUP: {
      d.move(client_point(c));
      bool right = c.verb == script_command::RDOWN || c.verb == script_command::RUP;
      d.button(right ? 3 : 1, c.verb == script_command::DOWN || c.verb == script_command::RDOWN);
      break;
    }
    case script_command::WHEEL:
      hold(d, c.modifiers, true);
      d.wheel(c.wheel_delta);
      hold(d, c.modifiers, false);
      break;
    case script_command::IME: input_ime(c.text); break;
    case script_command::WAIT: break;
    case script_command::CLIP: case script_command::CLIP_FILES: case script_command::CLIP_IMAGE: {
      clipboard_content cc;
      if (c.verb == script_command::CLIP) { cc.kind = clipboard_content::TEXT; cc.text = c.text; }
      else if (c.verb == script_command::CLIP_FILES) { cc.kind = clipboard_content::FILES; cc.files = c.files; }
      else { cc.kind = clipboard_content::PNG; cc.png = sample_png(); }
      if (!d.set_clipboard(cc)) bad_line(c, "the clipboard cannot be set");
      break;
    }
    case script_command::RESIZE: case script_command::MOVE_WINDOW: {
      HWND h = target(c);
      double s = scale_of(h);
      RECT wr, cr;
      GetWindowRect(h, wr);
      GetClientRect(h, cr);
      POINT origin{0, 0};
      ClientToScreen(h, origin);
      RECT to = wr;
      if (c.verb == script_command::RESIZE) {
        to.right = to.left + to_px(c.x, s) + (wr.width() - cr.width());
        to.bottom = to.top + to_px(c.y, s) + (wr.height() - cr.height());
      } else {
        // The client area's corner lands on the point; the frame moves with it.
        int32_t dx = to_px(c.x, s) - origin.x, dy = to_px(c.y, s) - origin.y;
        to = {wr.left + dx, wr.top + dy, wr.right + dx, wr.bottom + dy};
      }
      d.move_size(h, {to}, c.verb == script_command::RESIZE);
      break;
    }
    case script_command::FOCUS: {
      HWND h = GetActiveWindow();
      if (is_null(h)) {
        for (HWND t : top_levels())
          if (IsWindowVisible(t)) { h = t; break; }
      }
      if (is_null(h)) bad_line(c, "no window");
      d.activate(h, true);
      break;
    }
    case script_command::UNFOCUS: d.activate(target(c), false); break;
    case script_command::CLOSE: d.close(target(c)); break;
    case script_command::FRAME: write_frame(d, c); break;
    case script_command::MENU:
      // The bar's own loop plays the path as clicks: what a person's clicks send, in order.
      if (!menus::play_bar_path(target(c), c.text)) bad_line(c, "no menu item " + c.text);
      break;
    case script_command::CLICK_TEXT: {
      HWND h = control_showing(target(c), c.text);
      if (is_null(h)) bad_line(c, "no control shows " + c.text);
      RECT r;
      GetWindowRect(h, r);
      d.move({r.left + r.width() / 2, r.top + r.height() / 2});
      d.button(1, true);
      d.button(1, false);
      break;
    }
  }
}

}  // namespace

HWND control_showing(HWND top, std::string_view text) {
  for (HWND c : children(top)) {
    if (!IsWindowVisible(c)) continue;
    std::string t = GetWindowText(c);
    if (t == text || menus::plain_caption(t) == text) return c;
    HWND inner = control_showing(c, text);
    if (!is_null(inner)) return inner;
  }
  return HWND{};
}

void play_input_script(headless_display& d, std::vector<script_command> commands) {
  d.end_with_script = true;
  for (script_command& c : commands) {
    if (c.verb == script_command::WAIT) {
      d.script(nullptr, c.wait_us);
      continue;
    }
    // A halt key or a close after a pause reaches a busy program (poll_busy).
    bool breaks_in = c.verb == script_command::CLOSE ||
                     (c.verb == script_command::KEY && (c.vk == VK_ESCAPE || c.vk == VK_CANCEL));
    auto cmd = std::make_shared<script_command>(std::move(c));
    d.script([&d, cmd] { play(d, *cmd); }, 0, breaks_in);
  }
}

}  // namespace vyr::win
