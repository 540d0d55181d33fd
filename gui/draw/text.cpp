// Text in DRAW on pango: the current font, plain strings, rich-text faces with their style
// lists and backdrops. Ranges count code points; pango counts UTF-8 bytes.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "gui/draw/internal.h"
#include "gui/text/handles.h"
#include "gui/face/face_types.h"
#include "runtime/api/values.h"

namespace vyr::draw {

namespace {
// Symbols of the fields and words read here, interned once up front: looking them up later
// allocates nothing, so pointers into an object's values stay valid between lookups.
enum name_id { N_NAME, N_SIZE, N_STYLE, N_COLOR, N_FONT, N_TEXT, N_DATA, N_BOLD, N_ITALIC,
               N_UNDERLINE, N_STRIKE, N_PARA, N_ALIGN, N_V_ALIGN, N_TYPE, N_CENTER, N_RIGHT,
               N_MIDDLE, N_BOTTOM, N_ANGLE, N_TABS, N_LINE_SPACING, N_COUNT };
u32 names[N_COUNT];

}  // namespace

void init_names() {
  static bool done = false;
  if (done) return;
  done = true;
  const char* list[N_COUNT] = {"name", "size", "style", "color", "font", "text", "data",
                               "bold", "italic", "underline", "strike", "para", "align",
                               "v-align", "type", "center", "right", "middle", "bottom",
                               "angle", "tabs", "line-spacing"};
  for (int i = 0; i < N_COUNT; i++) names[i] = api::word::intern(list[i]).data2;
  gui::face_types::symbols();
}

// Both pass over ASCII eight bytes at a time: a long line's caret is found at each key.
u32 byte_of_char(const std::string& s, i64 index) {
  if (index <= 0) return 0;
  u32 b = 0;
  i64 i = 0;
  while (i < index && b < s.size()) {
    u64 word;
    if (index - i >= 8 && s.size() - b >= 8 && (std::memcpy(&word, s.data() + b, 8), (word & 0x8080808080808080ull) == 0)) {
      b += 8, i += 8;
      continue;
    }
    b++, i++;
    while (b < s.size() && (u8(s[b]) & 0xC0) == 0x80) b++;
  }
  return b;
}

i64 char_of_byte(const std::string& s, u32 byte) {
  size_t end = std::min<size_t>(byte, s.size()), b = 0;
  i64 continuations = 0;
  for (; b + 8 <= end; b += 8) {
    u64 w;
    std::memcpy(&w, s.data() + b, 8);
    // A continuation byte has its top bit set and the next one clear.
    if (u64 marks = w & ~(w << 1) & 0x8080808080808080ull) continuations += __builtin_popcountll(marks);
  }
  for (; b < end; b++) continuations += (u8(s[b]) & 0xC0) == 0x80;
  return i64(end) - continuations;
}

namespace {
const cell* field(const cell* obj, name_id n) { return api::host().field_of(obj, names[n]); }

bool word_is(const cell* c, name_id n) {
  if (type_of(c) != TYPE_WORD && type_of(c) != TYPE_LIT_WORD) return false;
  return api::symbol::same_q(c->data2, names[n]);
}

// The face type a `type` value names (a word! or lit-word!), none for anything else.
gui::face_type type_named(const cell* c) {
  if (type_of(c) != TYPE_WORD && type_of(c) != TYPE_LIT_WORD) return gui::face_type::none;
  return gui::face_types::of_symbol(api::word::symbol_id(c));
}

u32 style_bits(const cell* style) {
  u32 bits = 0;
  auto one = [&](const cell* w) {
    if (word_is(w, N_BOLD)) bits |= STYLE_BOLD;
    else if (word_is(w, N_ITALIC)) bits |= STYLE_ITALIC;
    else if (word_is(w, N_UNDERLINE)) bits |= STYLE_UNDERLINE;
    else if (word_is(w, N_STRIKE)) bits |= STYLE_STRIKE;
  };
  if (!style) return 0;
  if (type_of(style) == TYPE_BLOCK) {
    for (u32 i = style->data1; i < api::cells::length(style->data2); i++) one(api::cells::get(style->data2, i));
  } else {
    one(style);
  }
  return bits;
}

// Reads a font object's name, size, style and colour into the state; a float! size keeps
// the default, as the font code has always done.
void read_font(drawing_state& s, const cell* f) {
  if (const cell* n = field(f, N_NAME); n && type_of(n) == TYPE_STRING) {
    std::string name = api::string::to_utf8(n);
    // The Windows family names are aliased to the DejaVu families.
    if (name == "Consolas" || name == "Courier New") name = "DejaVu Sans Mono";
    else if (name == "Segoe UI" || name == "Arial") name = "DejaVu Sans";
    else if (name == "Times New Roman") name = "DejaVu Serif";
    s.font_family = name;
  }
  if (const cell* z = field(f, N_SIZE); z && type_of(z) == TYPE_INTEGER && i32(z->data2) > 0)
    s.font_size = std::min(i32(z->data2), 1000);
  s.text_style = style_bits(field(f, N_STYLE));
  // Degrees counter-clockwise, as the font's text runs on screen; anything else is 0.
  const cell* angle = field(f, N_ANGLE);
  s.text_angle = angle && type_of(angle) == TYPE_INTEGER ? double(api::integer::get(angle) % 360) : 0;
  const cell* col = field(f, N_COLOR);
  if (col && type_of(col) == TYPE_TUPLE) {
    s.text_colour = tuple_colour(col);
    s.text_colour_fixed = true;
  } else {
    s.text_colour_fixed = false;
    s.text_colour = s.pen.kind == BRUSH_SOLID ? s.pen.colour : s.text_colour;
  }
}

// Pango breaks a wrapped run into rows by measuring what is left of the run after each
// row again: over one long run, a long paragraph's rows cost more than its length (80,000
// characters in one font took 90 ms to lay out, 42 ms in runs). Attributes that change
// nothing (font fallback is on by default) bound the runs to RUN_BYTES, so each row costs
// no more than one run; shaping sees the text around each run all the same.
constexpr size_t RUN_BYTES = 1024;

void split_runs(PangoLayout* l, const std::string& text) {
  if (text.size() <= RUN_BYTES) return;
  PangoAttrList* given = pango_layout_get_attributes(l);
  PangoAttrList* a = given ? pango_attr_list_copy(given) : pango_attr_list_new();
  bool mark = true;
  for (size_t at = 0; at < text.size();) {
    size_t end = std::min(text.size(), at + RUN_BYTES);
    while (end < text.size() && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) end++;
    if (mark) {
      PangoAttribute* f = pango_attr_fallback_new(TRUE);
      f->start_index = guint(at);
      f->end_index = guint(end);
      pango_attr_list_insert(a, f);
    }
    mark = !mark;
    at = end;
  }
  pango_layout_set_attributes(l, a);
  pango_attr_list_unref(a);
}

PangoLayout* make_layout(context& c, const std::string& text, const drawing_state& s) {
  PangoLayout* l = pango_layout_new(c.pango);
  PangoFontDescription* d = pango_font_description_new();
  pango_font_description_set_family(d, s.font_family.c_str());
  pango_font_description_set_size(d, int(s.font_size * PANGO_SCALE));
  if (s.text_style & STYLE_BOLD) pango_font_description_set_weight(d, PANGO_WEIGHT_BOLD);
  if (s.text_style & STYLE_ITALIC) pango_font_description_set_style(d, PANGO_STYLE_ITALIC);
  pango_layout_set_font_description(l, d);
  pango_font_description_free(d);
  pango_layout_set_text(l, text.data(), int(text.size()));
  if (s.text_style & (STYLE_UNDERLINE | STYLE_STRIKE)) {
    PangoAttrList* a = pango_attr_list_new();
    if (s.text_style & STYLE_UNDERLINE) pango_attr_list_insert(a, pango_attr_underline_new(PANGO_UNDERLINE_SINGLE));
    if (s.text_style & STYLE_STRIKE) pango_attr_list_insert(a, pango_attr_strikethrough_new(TRUE));
    pango_layout_set_attributes(l, a);
    pango_attr_list_unref(a);
  }
  return l;
}

// Shaped layouts kept between runs: a terminal repaints the same lines frame after frame,
// and shaping is most of the cost of drawing text. A kept layout stands in for a new one
// only when everything that shapes or colours it is equal (context, text, font, width,
// alignment, attributes in order); the new one has not been shaped yet, so building it to compare is cheap.
struct kept_layout {
  size_t hash;
  PangoLayout* layout;
  u64 used;
  bool long_text;   // longer than KEPT_TEXT_MAX
};
constexpr size_t KEPT_LAYOUTS = 256;
// Longer texts are kept too, but only the few last used: a long input line is laid out
// again for each of the queries a key makes (its rows, its caret), and only one text
// changes per key.
constexpr size_t KEPT_TEXT_MAX = 4096;
constexpr size_t KEPT_LONG = 4;
std::vector<kept_layout>& kept() {
  static std::vector<kept_layout> k;
  return k;
}
u64 use_clock = 0;

// Attribute lists equal in order: of two attributes of one kind over one range the later
// wins, so [1x5 red 1x5 blue] and [1x5 blue 1x5 red] differ (pango's own comparison
// takes them as sets).
// With `styles_only`, the attributes that bound runs (split_runs) are passed over: they
// follow the text, which the caller compares on its own.
bool same_attributes(PangoAttrList* a, PangoAttrList* b, bool styles_only = false) {
  GSList* la = pango_attr_list_get_attributes(a);
  GSList* lb = pango_attr_list_get_attributes(b);
  bool same = true;
  GSList *p = la, *q = lb;
  auto skip = [&](GSList* l) {
    while (styles_only && l && static_cast<PangoAttribute*>(l->data)->klass->type == PANGO_ATTR_FALLBACK) l = l->next;
    return l;
  };
  for (p = skip(p), q = skip(q); p && q && same; p = skip(p->next), q = skip(q->next)) {
    auto* x = static_cast<PangoAttribute*>(p->data);
    auto* y = static_cast<PangoAttribute*>(q->data);
    same = x->start_index == y->start_index && x->end_index == y->end_index && pango_attribute_equal(x, y);
  }
  same = same && !p && !q;
  g_slist_free_full(la, reinterpret_cast<GDestroyNotify>(pango_attribute_destroy));
  g_slist_free_full(lb, reinterpret_cast<GDestroyNotify>(pango_attribute_destroy));
  return same;
}

bool same_tabs(PangoLayout* a, PangoLayout* b) {
  PangoTabArray* ta = pango_layout_get_tabs(a);
  PangoTabArray* tb = pango_layout_get_tabs(b);
  bool same = !ta == !tb;
  if (ta && tb) {
    int n = pango_tab_array_get_size(ta);
    same = n == pango_tab_array_get_size(tb);
    for (int i = 0; same && i < n; i++) {
      PangoTabAlign aa, ab;
      int xa, xb;
      pango_tab_array_get_tab(ta, i, &aa, &xa);
      pango_tab_array_get_tab(tb, i, &ab, &xb);
      same = aa == ab && xa == xb;
    }
  }
  if (ta) pango_tab_array_free(ta);
  if (tb) pango_tab_array_free(tb);
  return same;
}

// Two layouts alike but for their texts (and the runs that follow the texts).
bool same_settings(PangoLayout* a, PangoLayout* b, bool styles_only) {
  if (pango_layout_get_context(a) != pango_layout_get_context(b) ||
      pango_layout_get_width(a) != pango_layout_get_width(b) ||
      pango_layout_get_alignment(a) != pango_layout_get_alignment(b) ||
      pango_layout_get_wrap(a) != pango_layout_get_wrap(b) ||
      pango_layout_get_spacing(a) != pango_layout_get_spacing(b) || !same_tabs(a, b))
    return false;
  const PangoFontDescription* fa = pango_layout_get_font_description(a);
  const PangoFontDescription* fb = pango_layout_get_font_description(b);
  if (!fa != !fb || (fa && !pango_font_description_equal(fa, fb))) return false;
  PangoAttrList* aa = pango_layout_get_attributes(a);
  PangoAttrList* ab = pango_layout_get_attributes(b);
  if (!aa != !ab) return false;
  return !aa || same_attributes(aa, ab, styles_only);
}

bool same_layout(PangoLayout* a, PangoLayout* b) {
  return std::strcmp(pango_layout_get_text(a), pango_layout_get_text(b)) == 0 && same_settings(a, b, false);
}

// ---- long texts in pieces ---------------------------------------------------------------
// A text past PIECED_TEXT bytes that wraps is laid out in pieces of about PIECE_BYTES: a
// piece is laid out from a row's start, and all its rows but the last (which its end may
// cut short) are kept, so the rows are those of the whole text. The last few texts laid
// out so are kept; a new text takes the pieces of the kept one it shares most bytes with
// from the start, as far as the bytes that decided them are the same.
constexpr size_t PIECED_TEXT = 8192;
constexpr size_t PIECE_BYTES = 1024;
constexpr size_t KEPT_PIECED = 4;

struct kept_pieces {
  std::string text;
  PangoLayout* settings;   // the whole text's layout, never shaped: its settings and styles
  std::vector<text_piece> pieces;
  u64 used;
};
std::vector<kept_pieces>& kept_pieced() {
  static std::vector<kept_pieces> k;
  return k;
}

void release_kept(kept_pieces& e) {
  g_object_unref(e.settings);
  for (text_piece& p : e.pieces) g_object_unref(p.layout);
}

// The attributes of `a` over the bytes [from, to), counted from `from`.
// Visits the list in place and copies only those attributes: a long text has one for each
// of its runs, and a copy of them all for each piece would cost its length at each key.
PangoAttrList* attributes_between(PangoAttrList* a, u32 from, u32 to) {
  struct span { PangoAttrList* out; u32 from, to; } s{pango_attr_list_new(), from, to};
  if (!a) return s.out;
  auto take = [](PangoAttribute* given, gpointer data) -> gboolean {
    auto* s = static_cast<span*>(data);
    if (given->end_index <= s->from || given->start_index >= s->to) return false;
    PangoAttribute* x = pango_attribute_copy(given);
    x->start_index = x->start_index > s->from ? x->start_index - s->from : 0;
    if (x->end_index != PANGO_ATTR_INDEX_TO_TEXT_END) x->end_index = std::min(x->end_index, s->to) - s->from;
    pango_attr_list_insert(s->out, x);
    return false;  // left in the list
  };
  pango_attr_list_filter(a, take, &s);
  return s.out;
}

// A layout with the settings of `whole` (as face_layout makes them) and no text: a copy
// would copy the whole text too.
PangoLayout* settings_of(PangoLayout* whole) {
  PangoLayout* p = pango_layout_new(pango_layout_get_context(whole));
  pango_layout_set_font_description(p, pango_layout_get_font_description(whole));
  pango_layout_set_width(p, pango_layout_get_width(whole));
  pango_layout_set_wrap(p, pango_layout_get_wrap(whole));
  pango_layout_set_alignment(p, pango_layout_get_alignment(whole));
  pango_layout_set_spacing(p, pango_layout_get_spacing(whole));
  if (PangoTabArray* tabs = pango_layout_get_tabs(whole)) {
    pango_layout_set_tabs(p, tabs);
    pango_tab_array_free(tabs);
  }
  return p;
}

// The bytes [from, to) of the text of `whole`, laid out with its settings and styles.
PangoLayout* piece_layout(PangoLayout* whole, PangoLayout* settings, const std::string& text, u32 from,
                          u32 to) {
  PangoLayout* p = pango_layout_copy(settings);
  pango_layout_set_text(p, text.data() + from, int(to - from));
  PangoAttrList* a = attributes_between(pango_layout_get_attributes(whole), from, to);
  pango_layout_set_attributes(p, a);
  pango_attr_list_unref(a);
  return p;
}

u32 char_end(const std::string& s, size_t b) {
  while (b < s.size() && (u8(s[b]) & 0xC0) == 0x80) b++;
  return u32(std::min(b, s.size()));
}

// Lays out `whole` (the whole text's layout, not yet shaped; its reference stays the
// caller's) into out.pieces.
void lay_out_pieces(laid_text& out, PangoLayout* whole) {
  const std::string& text = out.text;
  const u32 n = u32(text.size());
  auto& kept = kept_pieced();
  kept_pieces* best = nullptr;
  size_t shared = 0;
  for (kept_pieces& e : kept) {
    if (!same_settings(e.settings, whole, true)) continue;
    size_t m = std::min(e.text.size(), text.size()), i = 0;
    while (i + 4096 <= m && std::memcmp(e.text.data() + i, text.data() + i, 4096) == 0) i += 4096;
    while (i < m && e.text[i] == text[i]) i++;
    if (!best || i > shared) best = &e, shared = i;
  }
  u32 b = 0;
  int y = 0;
  if (best) {
    bool same = shared == n && best->text.size() == n;
    size_t taken = 0;
    for (; taken < best->pieces.size(); taken++) {
      const text_piece& p = best->pieces[taken];
      if (!same && p.decided_to > shared) break;
      out.pieces.push_back(p);
      g_object_ref(p.layout);
    }
    best->used = ++use_clock;
    if (same) return;
    // The pieces laid out anew start where the first piece not taken started.
    if (taken > 0) b = best->pieces[taken].byte0, y = best->pieces[taken].y0;
  }
  int spacing = pango_layout_get_spacing(whole);
  PangoLayout* settings = b < n ? settings_of(whole) : nullptr;
  // The piece `p` of `rows` rows ends where its last row starts: laid out again up to
  // there and kept, and the next piece starts at that row. `decided_to`: the bytes read to
  // choose the cut.
  auto close_before_last_row = [&](PangoLayout* p, int rows, u32 decided_to) {
    u32 cut = b + u32(pango_layout_get_line_readonly(p, rows - 1)->start_index);
    g_object_unref(p);
    p = piece_layout(whole, settings, text, b, cut);
    PangoRectangle logical;
    pango_layout_get_extents(p, nullptr, &logical);
    out.pieces.push_back({p, b, decided_to, y});
    y += logical.height + spacing;
    b = cut;
  };
  for (size_t size = PIECE_BYTES; b < n;) {
    u32 end = char_end(text, size_t(b) + size);
    PangoLayout* p = piece_layout(whole, settings, text, b, end);
    if (end == n) {
      // The last row stands alone: typing at the end lays out that row again, not the
      // rows above it.
      int rows = pango_layout_get_line_count(p);
      if (rows >= 2) {
        close_before_last_row(p, rows, n);
        p = piece_layout(whole, settings, text, b, n);
      }
      out.pieces.push_back({p, b, n + 1, y});
      break;
    }
    int rows = pango_layout_get_line_count(p);
    if (rows < 2) {
      // One row holds the whole piece: take a longer one.
      g_object_unref(p);
      size *= 2;
      continue;
    }
    close_before_last_row(p, rows, end);
    size = PIECE_BYTES;
  }
  if (settings) g_object_unref(settings);
  // Kept: the new text in place of the one used least recently.
  kept_pieces entry{text, PANGO_LAYOUT(g_object_ref(whole)), out.pieces, ++use_clock};
  for (text_piece& p : entry.pieces) g_object_ref(p.layout);
  if (kept.size() < KEPT_PIECED) {
    kept.push_back(std::move(entry));
  } else {
    auto oldest = std::min_element(kept.begin(), kept.end(), [](const kept_pieces& x, const kept_pieces& y) {
      return x.used < y.used;
    });
    release_kept(*oldest);
    *oldest = std::move(entry);
  }
}

// Answers the kept twin of the fresh layout `l` (whose reference passes to the keeper),
// or `l` itself, kept from now on. The caller owns one reference to the answer.
PangoLayout* keep_layout(PangoLayout* l, const std::string& text) {
  size_t h = std::hash<std::string>{}(text) ^ (size_t(u32(pango_layout_get_width(l))) << 1);
  auto& k = kept();
  use_clock++;
  for (kept_layout& e : k) {
    if (e.hash != h || !same_layout(e.layout, l)) continue;
    e.used = use_clock;
    g_object_unref(l);
    return PANGO_LAYOUT(g_object_ref(e.layout));
  }
  if (text.size() > KEPT_TEXT_MAX) {
    // A long text takes the place of the long one used least recently, once there are
    // enough of them.
    auto is_long = [](const kept_layout& e) { return e.long_text; };
    size_t longs = size_t(std::count_if(k.begin(), k.end(), is_long));
    if (longs >= KEPT_LONG) {
      auto oldest = k.end();
      for (auto it = k.begin(); it != k.end(); ++it)
        if (is_long(*it) && (oldest == k.end() || it->used < oldest->used)) oldest = it;
      g_object_unref(oldest->layout);
      *oldest = {h, PANGO_LAYOUT(g_object_ref(l)), use_clock, true};
      return l;
    }
  }
  if (k.size() < KEPT_LAYOUTS) {
    k.push_back({h, PANGO_LAYOUT(g_object_ref(l)), use_clock, text.size() > KEPT_TEXT_MAX});
  } else {
    auto oldest = std::min_element(k.begin(), k.end(), [](const kept_layout& x, const kept_layout& y) {
      return x.used < y.used;
    });
    g_object_unref(oldest->layout);
    *oldest = {h, PANGO_LAYOUT(g_object_ref(l)), use_clock, text.size() > KEPT_TEXT_MAX};
  }
  return l;
}

void paint_backdrops(context& c, PangoLayout* l, double x, double y,
                     const std::vector<backdrop>& bds) {
  for (const backdrop& b : bds) {
    double rgba[4];
    colour_rgba(b.colour, rgba);
    cairo_set_source_rgba(c.cr, rgba[0], rgba[1], rgba[2], rgba[3]);
    PangoLayoutIter* it = pango_layout_get_iter(l);
    do {
      PangoLayoutLine* line = pango_layout_iter_get_line_readonly(it);
      PangoRectangle lr;
      pango_layout_iter_get_line_extents(it, nullptr, &lr);
      int* ranges = nullptr;
      int n = 0;
      // Only the part of the range on this line: outside its text, pango answers the
      // line's edge area, which holds no character of the range.
      int from = std::max(int(b.start), line->start_index);
      int to = std::min(int(b.end), line->start_index + line->length);
      if (from >= to) continue;
      pango_layout_line_get_x_ranges(line, from, to, &ranges, &n);
      for (int i = 0; i < n; i++)
        cairo_rectangle(c.cr, x + double(ranges[2 * i]) / PANGO_SCALE, y + double(lr.y) / PANGO_SCALE,
                        double(ranges[2 * i + 1] - ranges[2 * i]) / PANGO_SCALE,
                        double(lr.height) / PANGO_SCALE);
      g_free(ranges);
    } while (pango_layout_iter_next_line(it));
    pango_layout_iter_free(it);
    cairo_fill(c.cr);
  }
}
}  // namespace

PangoLayout* kept_twin(PangoLayout* l, const std::string& text) { return keep_layout(l, text); }

void drop_kept_layouts() {
  for (kept_layout& e : kept()) g_object_unref(e.layout);
  kept().clear();
  for (kept_pieces& e : kept_pieced()) release_kept(e);
  kept_pieced().clear();
}

size_t laid_text::piece_of_byte(u32 b) const {
  auto it = std::upper_bound(pieces.begin(), pieces.end(), b,
                             [](u32 v, const text_piece& p) { return v < p.byte0; });
  return it == pieces.begin() ? 0 : size_t(it - pieces.begin()) - 1;
}

size_t laid_text::piece_of_y(int y) const {
  // A row's band reaches above its top by the part of the spacing that pango gives to the
  // row below (the larger half).
  int above = 0;
  if (!pieces.empty()) {
    int spacing = pango_layout_get_spacing(pieces[0].layout);
    above = spacing - spacing / 2;
  }
  auto it = std::upper_bound(pieces.begin(), pieces.end(), y,
                             [above](int v, const text_piece& p) { return v < p.y0 - above; });
  return it == pieces.begin() ? 0 : size_t(it - pieces.begin()) - 1;
}

int laid_text::height_units() const {
  text_piece last = piece(piece_count() - 1);
  PangoRectangle logical;
  pango_layout_get_extents(last.layout, nullptr, &logical);
  return last.y0 + logical.height;
}

void font(context& c, const cell* f) { read_font(c.st, f); }

namespace {
double number_of(const cell* v, double otherwise) {
  if (v && type_of(v) == TYPE_INTEGER) return double(api::integer::get(v));
  if (v && type_of(v) == TYPE_FLOAT) {
    double d = cell_float(v);
    return std::isfinite(d) ? d : otherwise;
  }
  return otherwise;
}

// A rich-text face's `tabs` (a stop every so many pixels) and `line-spacing` (the pixel
// distance from one row to the next, at least the font's row height in whole pixels): a
// wrapped line's rows then stand exactly as far apart as a caller that counts rows of
// that height places its lines.
// Breaks inside a word add no hyphen. Put first, before the style list's attributes, which
// keep their order.
void no_hyphens(PangoLayout* l) {
  PangoAttrList* a = pango_layout_get_attributes(l);
  PangoAttrList* fresh = a ? pango_attr_list_copy(a) : pango_attr_list_new();
  pango_attr_list_insert_before(fresh, pango_attr_insert_hyphens_new(FALSE));
  pango_layout_set_attributes(l, fresh);
  pango_attr_list_unref(fresh);
}

void rich_text_spacing(PangoLayout* l, const cell* face, double width) {
  double tab = number_of(field(face, N_TABS), 0);
  if (tab >= 1) {
    double reach = std::clamp(width > 0 ? width : 4096.0, tab, 1e5);
    int n = int(std::min(reach / tab, 4096.0)) + 1;
    PangoTabArray* tabs = pango_tab_array_new(n, FALSE);
    for (int i = 0; i < n; i++)
      pango_tab_array_set_tab(tabs, i, PANGO_TAB_LEFT, int(std::lround(tab * (i + 1) * PANGO_SCALE)));
    pango_layout_set_tabs(l, tabs);
    pango_tab_array_free(tabs);
  }
  double spacing = number_of(field(face, N_LINE_SPACING), 0);
  if (spacing > 0) {
    // The font's row height, measured once per font: a terminal lays out every line it
    // paints in the same font.
    static PangoContext* known_context = nullptr;
    static PangoFontDescription* known_font = nullptr;
    static double known_height = 0;
    const PangoFontDescription* font = pango_layout_get_font_description(l);
    PangoContext* context = pango_layout_get_context(l);
    if (!known_font || !font || context != known_context || !pango_font_description_equal(font, known_font)) {
      PangoLayout* probe = pango_layout_copy(l);
      pango_layout_set_text(probe, "I", 1);
      pango_layout_set_attributes(probe, nullptr);
      pango_layout_set_width(probe, -1);
      PangoRectangle logical;
      pango_layout_get_extents(probe, nullptr, &logical);
      g_object_unref(probe);
      if (known_font) pango_font_description_free(known_font);
      known_font = font ? pango_font_description_copy(font) : nullptr;
      known_context = context;
      known_height = double(logical.height) / PANGO_SCALE;
    }
    double row = std::floor(known_height);
    spacing = std::min(std::max(spacing, row), 1e5);
    pango_layout_set_spacing(l, int(std::lround((spacing - known_height) * PANGO_SCALE)));
  }
}
}  // namespace

PangoLayout* face_layout(context& c, const cell* face_in, drawing_state& s,
                         std::vector<backdrop>* bds, std::string* text_out, double* width_out,
                         double* height_out, bool pieces_ok) {
  cell face = *face_in;
  api::root_guard g(&face);
  if (const cell* f = field(&face, N_FONT); f && type_of(f) == TYPE_OBJECT) read_font(s, f);
  std::string str;
  const cell* t = field(&face, N_TEXT);
  if (t && type_of(t) == TYPE_STRING) str = api::string::to_utf8(t);
  const cell* size = field(&face, N_SIZE);
  double sw = 0, sh = 0;
  if (size && type_of(size) == TYPE_PAIR) sw = i32(size->data2), sh = i32(size->data3);
  if (size && type_of(size) == TYPE_POINT2D) {
    float v[2];
    std::memcpy(v, &size->data1, sizeof v);
    sw = std::isfinite(v[0]) ? v[0] : 0, sh = std::isfinite(v[1]) ? v[1] : 0;
  }
  // Text to be laid out in pieces stays out of the layout, which holds only the settings
  // and styles the pieces take.
  bool pieced = pieces_ok && sw > 0 && str.size() > PIECED_TEXT;
  PangoLayout* l = make_layout(c, pieced ? std::string() : str, s);
  // The layout's limits are the size + 0.5 in each direction.
  if (sw > 0) {
    pango_layout_set_width(l, int(std::min(sw + 0.5, 1e6) * PANGO_SCALE));
    // A word wider than the box breaks between characters instead of running past the edge,
    // with no hyphen added: the text (a number, a URL, a binary) shows as it is.
    pango_layout_set_wrap(l, PANGO_WRAP_WORD_CHAR);
  }
  // The style list is a rich-text face's: other faces keep what they like in `data`. An
  // object without a type (DRAW's `text` of a plain object) is taken as rich text.
  const cell* kind = field(&face, N_TYPE);
  bool text_box = kind && gui::face_types::text_of(type_named(kind)) == gui::face_text::box;
  bool styled = !kind || (type_of(kind) != TYPE_WORD && type_of(kind) != TYPE_LIT_WORD) || text_box;
  const cell* data = styled ? field(&face, N_DATA) : nullptr;
  if (text_box) rich_text_spacing(l, &face, sw);
  if (data && type_of(data) == TYPE_BLOCK) {
    cell styles = *data;
    api::root_guard sg(&styles);
    try {
      parse_styles(&c, l, &styles, str, bds);
    } catch (...) {
      g_object_unref(l);
      throw;
    }
  }
  if (sw > 0) no_hyphens(l);
  // Para alignment: a `base` face centres by default, other faces start at the left.
  const cell* type = field(&face, N_TYPE);
  bool base = type && gui::face_types::text_of(type_named(type)) == gui::face_text::centred;
  const cell* para = field(&face, N_PARA);
  const cell* h = para ? field(para, N_ALIGN) : nullptr;
  PangoAlignment align = base ? PANGO_ALIGN_CENTER : PANGO_ALIGN_LEFT;
  if (h && word_is(h, N_CENTER)) align = PANGO_ALIGN_CENTER;
  else if (h && word_is(h, N_RIGHT)) align = PANGO_ALIGN_RIGHT;
  else if (h && (type_of(h) == TYPE_WORD || type_of(h) == TYPE_LIT_WORD)) align = PANGO_ALIGN_LEFT;
  if (sw > 0) pango_layout_set_alignment(l, align);
  const cell* v = para ? field(para, N_V_ALIGN) : nullptr;
  s.v_align = base ? 1 : 0;
  if (v && word_is(v, N_MIDDLE)) s.v_align = 1;
  else if (v && word_is(v, N_BOTTOM)) s.v_align = 2;
  else if (v && (type_of(v) == TYPE_WORD || type_of(v) == TYPE_LIT_WORD)) s.v_align = 0;
  // Pieces take the runs of the whole text, so that each row is shaped as the whole
  // text's layout would shape it.
  if (sw > 0) split_runs(l, str);
  if (text_out) *text_out = std::move(str);
  if (width_out) *width_out = sw;
  if (height_out) *height_out = sh;
  return l;
}

void lay_out_face(context& c, const cell* face, laid_text& out) {
  drawing_state s;   // the default font, whatever the run's
  out.layout = face_layout(c, face, s, &out.backdrops, &out.text, &out.width, &out.height, true);
  if (out.width > 0 && out.text.size() > PIECED_TEXT) {
    lay_out_pieces(out, out.layout);
    g_object_unref(out.layout);
    out.layout = nullptr;
  }
  const cell* f = field(face, N_FONT);
  out.font_object = f && type_of(f) == TYPE_OBJECT;
  out.colour_fixed = s.text_colour_fixed;
  out.colour = s.text_colour;
  out.angle = s.text_angle;
  out.v_align = s.v_align;
}

namespace {
// Text of a string or a face at `at`; a face's colour fills its box first unless
// `background` is false (a window's face was painted already). A shown face draws the
// layout its `handles` keep; other texts go through the run's kept layouts.
void draw_text(context& c, pt at, const cell* value, bool background) {
  cairo_matrix_t m = device_matrix(c);
  double det = m.xx * m.yy - m.xy * m.yx;
  if (!std::isfinite(det) || std::fabs(det) < 1e-12) return;
  cairo_set_matrix(c.cr, &m);
  drawing_state s = c.st;
  laid_text fresh;
  const laid_text* t = &fresh;
  const cell* col = nullptr;
  if (type_of(value) == TYPE_STRING) {
    fresh.text = api::string::to_utf8(value);
    fresh.layout = keep_layout(make_layout(c, fresh.text, s), fresh.text);
  } else {
    // A rich-text face: its font, text, size (wrapping width) and style list, in the
    // default font when it has no font object of its own. Only a shown face's changes mark
    // its kept layout stale; any other face is laid out again and compared by content.
    const laid_text* kept = text_box::shown_q(value) ? text_box::layout_of(c, value, true) : nullptr;
    if (kept) {
      t = kept;
    } else {
      lay_out_face(c, value, fresh);
      if (fresh.layout) fresh.layout = keep_layout(fresh.layout, fresh.text);
    }
    if (t->font_object) {
      s.text_colour_fixed = t->colour_fixed;
      if (t->colour_fixed) s.text_colour = t->colour;
    }
    s.text_angle = t->angle;
    s.v_align = t->v_align;
    if (background) col = field(value, N_COLOR);
  }
  if (s.text_angle != 0) {
    // The text turns about its origin: y grows downwards, so counter-clockwise is negative.
    cairo_translate(c.cr, at.x, at.y);
    cairo_rotate(c.cr, -s.text_angle * M_PI / 180);
    at = {0, 0};
  }
  if (col && type_of(col) == TYPE_TUPLE && t->width > 0 && t->height > 0) {
    double rgba[4];
    colour_rgba(tuple_colour(col), rgba);
    cairo_set_source_rgba(c.cr, rgba[0], rgba[1], rgba[2], rgba[3]);
    cairo_rectangle(c.cr, at.x, at.y, t->width, t->height);
    cairo_fill(c.cr);
  }
  if (s.v_align && t->height > 0) {
    // Middle and bottom alignment within the face's height.
    double free = t->height - double(t->height_units()) / PANGO_SCALE;
    at.y += s.v_align == 1 ? free / 2 : free;
  }
  double rgba[4];
  colour_rgba(s.text_colour_fixed ? s.text_colour : (s.pen.kind == BRUSH_SOLID ? s.pen.colour : s.text_colour), rgba);
  // Only the pieces of a long text that reach into the clip are drawn.
  double top = 0, bottom = 0, unused;
  cairo_clip_extents(c.cr, &unused, &top, &unused, &bottom);
  size_t pieces = t->piece_count();
  // From the piece above the clip's top (its glyphs may reach down into it).
  size_t first = 0;
  if (pieces > 1 && std::isfinite(top)) {
    double units = std::clamp((top - at.y) * PANGO_SCALE, -2e9, 2e9);
    first = t->piece_of_y(int(units));
    if (first > 0) first--;
  }
  for (size_t i = first; i < pieces; i++) {
    text_piece p = t->piece(i);
    double y = at.y + double(p.y0) / PANGO_SCALE;
    if (pieces > 1) {
      PangoRectangle ink, logical;
      pango_layout_get_extents(p.layout, &ink, &logical);
      double from = y + double(std::min(ink.y, logical.y)) / PANGO_SCALE;
      double to = y + double(std::max(ink.y + ink.height, logical.y + logical.height)) / PANGO_SCALE;
      if (from > bottom && y > bottom) break;
      if (to < top || from > bottom) continue;
    }
    if (!t->backdrops.empty()) {
      std::vector<backdrop> own;
      for (const backdrop& b : t->backdrops) {
        backdrop d = b;
        d.start = b.start > p.byte0 ? b.start - p.byte0 : 0;
        d.end = b.end > p.byte0 ? b.end - p.byte0 : 0;
        if (d.end > d.start) own.push_back(d);
      }
      paint_backdrops(c, p.layout, at.x, y, own);
    }
    cairo_set_source_rgba(c.cr, rgba[0], rgba[1], rgba[2], rgba[3]);
    cairo_move_to(c.cr, at.x, y);
    pango_cairo_show_layout(c.cr, p.layout);
    cairo_new_path(c.cr);
  }
}
}  // namespace

void text(context& c, pt at, const cell* value) { draw_text(c, at, value, true); }

void face_text(context& c, const cell* face) { draw_text(c, {0, 0}, face, false); }

}  // namespace vyr::draw
