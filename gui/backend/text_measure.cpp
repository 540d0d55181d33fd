// Text measuring for size-text and the scroll bars of `area` faces.
#include "gui/backend/text_measure.h"

#include "gui/win/controls/ctlnum.h"

#include <algorithm>
#include <string>

#include "gui/backend/fonts.h"
#include "gui/text/text_box.h"
#include "runtime/api/values.h"

namespace vyr::gui {

namespace {
i64 code_points(std::string_view s) {
  i64 n = 0;
  for (char ch : s)
    if ((u8(ch) & 0xC0) != 0x80) n++;
  return n;
}
}  // namespace

cell* get_text_size(const cell* face_in, const cell* text_in, cell* out) {
  cell face = *face_in, text = *text_in;
  api::root_guard g1(&face), g2(&text);
  // Faces the backend composes are measured as they are drawn.
  const face_type_record* record = record_of_face(&face);
  if (record && record->composed) {
    text_box::text_size(&face, &text, out);
    api::point::set(out, 0, float(api::point_axis(out, 0) * 0.98));
    return out;
  }
  std::string s;
  if (type_of(&text) == TYPE_STRING) s = api::string::to_utf8(&text);
  else if (const cell* t = facet(&face, facet_index::text); t && type_of(t) == TYPE_STRING) s = api::string::to_utf8(t);
  win::HDC dc = win::GetDC(win::HWND{});
  const cell* font = facet(&face, facet_index::font);
  win::HFONT f = font && type_of(font) == TYPE_OBJECT ? face_font(&face, font) : g().default_font;
  if (f != win::HFONT{}) win::SelectObject(dc, f);
  win::RECT r{0, 0, INT32_MAX, 0};
  win::DrawText(dc, s, r, win::DT_CALCRECT | win::DT_EXPANDTABS | win::DT_WORDBREAK);
  win::ReleaseDC(win::HWND{}, dc);
  *out = cell{TYPE_POINT2D, 0, 0, 0};
  api::point::set(out, 0, float(r.width() / g().scale));
  api::point::set(out, 1, float(r.height() / g().scale));
  return out;
}

void update_area_scrollbars(win::HWND h, const cell* text_in) {
  const cell* fp = face_of_window(h);
  if (!fp) return;
  cell face = *fp;
  api::root_guard fg(&face);
  std::string s;
  const cell* t = text_in && type_of(text_in) == TYPE_STRING ? text_in : facet(&face, facet_index::text);
  if (!t || type_of(t) != TYPE_STRING) {
    win::ShowScrollBar(h, win::SB_BOTH, false);
    return;
  }
  // An edit control holding the face's text (read back at each change) gives it without a
  // conversion.
  bool control_has_it = !text_in && win::SendMessage(h, win::EM_GETTEXTLENGTHEX, 0, 0) == api::string::rs_length_q(t) &&
                        api::string::rs_length_q(t) > 0;
  s = control_has_it ? win::GetWindowText(h) : api::string::to_utf8(t);
  win::RECT client;
  win::GetClientRect(h, client);
  i32 W = client.width(), H = client.height();
  bool wrap = false;
  if (const cell* para = facet(&face, facet_index::para); para && type_of(para) == TYPE_OBJECT) {
    const cell* w = facet(para, para_field::wrap);
    wrap = w && type_of(w) == TYPE_LOGIC && api::logic::get(w);
  }
  win::HDC dc = win::GetDC(h);
  const cell* font = facet(&face, facet_index::font);
  win::HFONT f = font && type_of(font) == TYPE_OBJECT ? face_font(&face, font) : g().default_font;
  if (f != win::HFONT{}) win::SelectObject(dc, f);
  u32 ext = win::GetTabbedTextExtent(dc, "M");
  i64 cw = ext & 0xFFFF, lh = ext >> 16;
  i64 total = 0;
  bool vert = false, horz = false;
  std::string_view longest;
  i64 longest_width = -1;
  size_t at = 0;
  while (at <= s.size()) {
    size_t end = s.find('\n', at);
    if (end == std::string::npos) end = s.size();
    std::string_view line(s.data() + at, end - at);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    // Every character of the line counts.
    i64 width = code_points(line) * cw;
    total += lh;
    if (width > W) {
      if (wrap) {
        win::RECT r{0, 0, W, 0};
        win::DrawText(dc, line, r, win::DT_CALCRECT | win::DT_EXPANDTABS | win::DT_WORDBREAK);
        total += r.height() - lh;
      } else if (width > longest_width) {
        longest_width = width;
        longest = line;
        horz = true;
      }
    }
    if (total >= H) {
      vert = true;
      if (wrap) break;
    }
    if (end == s.size()) break;
    at = end + 1;
  }
  if (!wrap && horz) horz = W < i64(win::GetTabbedTextExtent(dc, longest) & 0xFFFF);
  win::ReleaseDC(h, dc);
  win::ShowScrollBar(h, win::SB_VERT, vert);
  win::ShowScrollBar(h, win::SB_HORZ, horz);
}

}  // namespace vyr::gui
