// Fonts and para alignment over the windowing layer.
#include "gui/backend/fonts.h"
#include "gui/face/face_values.h"

#include <algorithm>
#include <cstring>

#include "runtime/collector.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/context.h"
#include "runtime/datatypes/handle.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/word.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/object.h"
#include "runtime/datatypes/series.h"
#include "runtime/externals.h"
#include "runtime/value_slots.h"
#include "gui/backend/lifecycle.h"
#include "runtime/datatypes/cells.h"
#include "gui/win/dialogs/provider.h"

namespace vyr::gui {

namespace {
constexpr u32 HANDLE_FONT = 4;

// Every word this file compares with is interned once up front, so comparing allocates
// nothing and pointers into objects stay valid between comparisons.
const char* const known_words[] = {"bold", "italic", "underline", "strike", "ClearType", "left",
                                   "center", "right", "top", "middle", "bottom", "size"};
void intern_words() {
  static bool done = false;
  if (done) return;
  done = true;
  for (const char* w : known_words) word::intern(w);
  face_types::symbols();
}

// The face type a `type` value names (a word! or lit-word!), none for anything else.
face_type type_named(const cell* c) {
  if (!c || (type_of(c) != TYPE_WORD && type_of(c) != TYPE_LIT_WORD)) return face_type::none;
  return face_types::of_symbol(word::symbol_id(c));
}

bool word_is(const cell* c, const char* name) {
  if (!c || (type_of(c) != TYPE_WORD && type_of(c) != TYPE_LIT_WORD)) return false;
  u32 sym = symbol::make_any_case(name);
  return symbol::same_q(word::symbol_id(c), sym);
}

template <typename F>
void each_word(const cell* v, F f) {
  if (!v) return;
  if (type_of(v) == TYPE_BLOCK) {
    u32 node = series::node(v);
    for (u32 i = series::index(v); i < cells::length(node); i++) f(cells::get(node, i));
  } else {
    f(v);
  }
}

i32 default_size() {
  const cell& fonts = g().view_fonts;
  if (type_of(&fonts) == TYPE_OBJECT) {
    cell w = word::intern("size");
    i32 i = _context::find_word(object::context(&fonts), word::symbol_id(&w), true);
    if (i >= 0 && u32(i) < _context::value_count(object::context(&fonts))) {
      const cell* v = _context::value_at(object::context(&fonts), u32(i));
      if (type_of(v) == TYPE_INTEGER && integer::get(v) > 0) return integer::get(v);
    }
  }
  return g().default_size > 0 ? g().default_size : 9;
}

// Stores a font as a handle! in the external table, into `slot`.
void store(cell* slot, win::HFONT f) {
  if (f == win::HFONT{}) return;
  handle::make_at(slot, u32(f), HANDLE_FONT);
  slot->data3 = u32(externals::add(u64(u32(f)), g().font_kind));
}

// The face joins the font's list of users once: the list is searched from its head, not
// from the position it shows (its tail).
void add_parent(const cell* face, const cell* font) { link_font_parent(face, font); }
}  // namespace

win::LOGFONT font_request(const cell* font, bool current_dpi) {
  intern_words();
  win::LOGFONT lf;
  const cell* size = facet(font, font_field::size);
  i32 points = size && type_of(size) == TYPE_INTEGER && integer::get(size) > 0 ? integer::get(size)
                                                                                : default_size();
  i32 dpi = current_dpi ? g().dpi_y : 96;
  lf.lfHeight = -i32(i64(points) * dpi / 72);
  const cell* angle = facet(font, font_field::angle);
  (void)angle;  // the layer draws no escapement; orientation is kept by the caller
  const cell* aa = facet(font, font_field::anti_alias);
  lf.lfQuality = aa && type_of(aa) == TYPE_LOGIC ? (logic::get(aa) ? 4 : 0) : word_is(aa, "ClearType") ? 5 : 0;
  const cell* name = facet(font, font_field::name);
  if (name && type_of(name) == TYPE_STRING) {
    std::string n = string::to_utf8(name);
    // At most 31 characters.
    size_t b = 0;
    for (int k = 0; k < 31 && b < n.size(); k++) {
      b++;
      while (b < n.size() && (u8(n[b]) & 0xC0) == 0x80) b++;
    }
    lf.lfFaceName = n.substr(0, b);
  } else {
    lf.lfFaceName = default_font_face();
  }
  lf.lfWeight = 0;
  each_word(facet(font, font_field::style), [&](const cell* w) {
    if (word_is(w, "bold")) lf.lfWeight = 700;
    else if (word_is(w, "italic")) lf.lfItalic = true;
    else if (word_is(w, "underline")) lf.lfUnderline = true;
    else if (word_is(w, "strike")) lf.lfStrikeOut = true;
  });
  return lf;
}

win::HFONT make_font(const cell* face_in, const cell* font_in, bool current_dpi) {
  cell face = face_in ? *face_in : cell{TYPE_NONE, 0, 0, 0}, font = *font_in;
  collector::root_guard g1(&face), g2(&font);
  if (type_of(&font) != TYPE_OBJECT) return win::HFONT{};
  win::HFONT f = win::CreateFontIndirect(font_request(&font, current_dpi));
  cell* state = facet(&font, font_field::state);
  if (!state) return f;
  if (type_of(state) == TYPE_BLOCK && cells::remaining(state) >= 3) {
    if (current_dpi) {
      win::HFONT f96 = win::CreateFontIndirect(font_request(&font, false));
      state = facet(&font, font_field::state);
      store(cells::at(series::node(state), series::index(state) + 2), f96);
      store(cells::at(series::node(state), series::index(state)), f);
    } else {
      store(cells::at(series::node(state), series::index(state) + 2), f);
    }
  } else {
    cell b;
    cells::make_block(&b, 3);
    collector::root_guard gb(&b);
    cell none{TYPE_NONE, 0, 0, 0};
    for (int i = 0; i < 3; i++) cells::append(series::node(&b), &none);
    store(cells::at(series::node(&b), current_dpi ? 0 : 2), f);
    state = facet(&font, font_field::state);
    *state = b;
  }
  add_parent(&face, &font);
  return f;
}

win::HFONT font_handle(const cell* font, u32 index) {
  const cell* state = facet(font, font_field::state);
  if (!state || type_of(state) != TYPE_BLOCK || cells::remaining(state) < index) return win::HFONT{};
  const cell* h = cells::get(series::node(state), series::index(state) + index - 1);
  return type_of(h) == TYPE_HANDLE ? win::HFONT(handle::get(h)) : win::HFONT{};
}

win::HFONT face_font(const cell* face, const cell* font) {
  if (!font || type_of(font) != TYPE_OBJECT) return win::HFONT{};
  win::HFONT f = font_handle(font, 1);
  return f != win::HFONT{} ? f : font_for_face(face, font);
}

bool free_font(const cell*, const cell* font) {
  cell* state = facet(font, font_field::state);
  if (!state || type_of(state) != TYPE_BLOCK) return false;
  bool any = false;
  for (u32 k : {1u, 0u, 2u}) {
    if (cells::remaining(state) <= k) continue;
    cell* h = cells::at(series::node(state), series::index(state) + k);
    if (type_of(h) != TYPE_HANDLE) continue;
    // A font made from another (`make font! f` after `f` was shown or measured) holds the
    // same native handles in a state block of its own: only the first release is real.
    i32 slot = i32(h->data3);
    if (externals::live_q(slot) && externals::handle_of(slot) == handle::get(h)) {
      if (k != 1) win::DeleteObject(win::HFONT(handle::get(h)));
      externals::remove(slot, false);
    }
    *h = cell{TYPE_NONE, 0, 0, 0};
    any = true;
  }
  if (any) *facet(font, font_field::state) = cell{TYPE_NONE, 0, 0, 0};
  return any;
}

void update_font(const cell* face, const cell* font, i32 field) {
  if (field > 3 && field != 5) return;  // colour and shadow need no new font
  free_font(face, font);
  font_for_face(face, font);
}

// Without a font object the control is given no font of its own: the controls then draw
// in the message font at their own DPI, which follows the window across DPI changes.
void set_control_font(win::HWND h, const cell* face) {
  const cell* font = facet(face, facet_index::font);
  win::HFONT f = font && type_of(font) == TYPE_OBJECT ? face_font(face, font) : win::HFONT{};
  win::SendMessage(h, win::WM_SETFONT, win::WPARAM(u32(f)), 0);
}

u32 para_flags(const cell* type, const cell* para) {
  intern_words();
  if (!para || type_of(para) != TYPE_OBJECT) return 0;
  const cell* h = facet(para, para_field::align);
  const cell* v = facet(para, para_field::v_align);
  const cell* w = facet(para, para_field::wrap);
  bool wrap = !w || type_of(w) == TYPE_NONE || (type_of(w) == TYPE_LOGIC && logic::get(w));
  int hi = word_is(h, "left") ? 0 : word_is(h, "center") ? 1 : word_is(h, "right") ? 2 : 3;
  int vi = word_is(v, "top") ? 0 : word_is(v, "middle") ? 1 : word_is(v, "bottom") ? 2 : 3;
  const face_type_record* record = face_types::record_of(type_named(type));
  const para_style* r = record ? record->para : nullptr;
  return r ? r->h[hi] | r->v[vi] | (wrap ? r->wrap : r->nowrap) : 0;
}

namespace {
// A face whose type is remade on a para change (an area: EDIT takes its wrapping only when
// it is made) is made anew under the same parent: its text (kept in the face), selection
// and font go to the new one, which takes the old one's place among its siblings.
void remake_window(const cell* face_in, win::HWND h) {
  cell f = *face_in;
  collector::root_guard guard(&f);
  get_area_selection(h, &f);
  win::HWND parent = win::GetParent(h);
  win::HWND above = win::GetWindow(h, win::GW_HWNDPREV);
  u32 slot = has_face_q(h);
  if (win::window_extra* x = win::extra(h)) x->face_slot = 0;
  if (slot) value_slots::free(slot);
  win::DestroyWindow(h);
  u32 made = OS_make_view(&f, win::raw(parent));
  if (!made) return;
  win::SetWindowPos(win::HWND(made), is_null(above) ? win::HWND_TOP : win::raw(above), 0, 0, 0, 0,
                    win::SWP_NOMOVE | win::SWP_NOSIZE | win::SWP_NOACTIVATE);
  cell* state = facet(&f, facet_index::state);
  if (state && cells::remaining(state))
    handle::make_at(cells::at(series::node(state), series::index(state)), made, HANDLE_WINDOW);
}
}  // namespace

void update_para(const cell* face) {
  intern_words();
  const cell* state = facet(face, facet_index::state);
  const cell* type = facet(face, facet_index::type);
  if (!state || type_of(state) != TYPE_BLOCK || !type || type_of(type) != TYPE_WORD) return;
  const cell* hc =
      cells::remaining(state) ? cells::get(series::node(state), series::index(state)) : nullptr;
  if (!hc || type_of(hc) != TYPE_HANDLE) return;
  win::HWND h = win::HWND(handle::get(hc));
  const face_type_record* record = face_types::record_of(type_named(type));
  if (record && record->remade_on_para) {
    if (win::IsWindow(h)) remake_window(face, h);
  } else {
    // Every bit a para can set for the type is cleared first, so a para change can also
    // take a bit away (centred images, the wrap flag).
    if (!record || !record->para) return;
    u32 style = u32(win::GetWindowLong(h, win::GWL_STYLE));
    style = (style & ~record->para->mask) | para_flags(type, facet(face, facet_index::para));
    win::SetWindowLong(h, win::GWL_STYLE, style);
    win::InvalidateRect(h, nullptr, true);
  }
  state = facet(face, facet_index::state);
  if (cells::remaining(state) >= 2) {
    cell* flags = cells::at(series::node(state), series::index(state) + 1);
    if (type_of(flags) == TYPE_INTEGER) flags->data2 |= 0x40000;
  }
}

void OS_request_font(cell* result, const cell* font, bool mono) {
  // The dialog opens on the given font (its face and size), else on Courier New at 11.
  win::dialogs::font_request q;
  q.mono = mono;
  q.initial = {"Courier New", 11, false, false};
  if (font && type_of(font) == TYPE_OBJECT) {
    win::LOGFONT lf = font_request(font, false);
    q.initial.family = lf.lfFaceName;
    q.initial.points = int(-lf.lfHeight * 72 / 96);
    const cell* size = facet(font, font_field::size);
    if (size && type_of(size) == TYPE_INTEGER && integer::get(size) > 0) q.initial.points = integer::get(size);
    q.initial.bold = lf.lfWeight == 700;
    q.initial.italic = lf.lfItalic;
  }
  std::optional<win::dialogs::font_choice> a;
  if (win::dialogs::provider* d = win::dialogs::current()) a = d->request_font(q);
  if (!a || a->family.empty()) {
    *result = cell{TYPE_NONE, 0, 0, 0};
    return;
  }
  cell keep = *result;
  collector::root_guard g1(&keep);
  cell name;
  string::load_utf8_strict(a->family.data(), u32(a->family.size()), &name);
  collector::root_guard g2(&name);
  if (cell* f = facet(&keep, font_field::name)) *f = name;
  if (a->points > 0)
    if (cell* f = facet(&keep, font_field::size)) integer::make_at(f, a->points);
  cell style{TYPE_NONE, 0, 0, 0};
  collector::root_guard g3(&style);
  if (a->bold && a->italic) {
    cells::make_block(&style, 2);
    cell b = word::intern("bold"), i = word::intern("italic");
    cells::append(series::node(&style), &b);
    cells::append(series::node(&style), &i);
  } else if (a->bold) {
    style = word::intern("bold");
  } else if (a->italic) {
    style = word::intern("italic");
  }
  if (a->bold || a->italic)
    if (cell* f = facet(&keep, font_field::style)) *f = style;
  *result = keep;
}

}  // namespace vyr::gui
