// Fonts and text over pango: HFONT records a LOGFONT and, on first use, a pango font
// description; fontconfig (with the GUI's aliases) and pango load only when text is first
// measured or drawn, so windows without text cost nothing of them.
#include <algorithm>
#include <cmath>

#include <cairo.h>
#include <fontconfig/fontconfig.h>
#include <pango/pangocairo.h>
#include <pango/pangofc-fontmap.h>

#include "base/colour.h"
#include "gui/win/internal.h"

namespace vyr::embedded { extern const char fonts_conf[]; }

namespace vyr::win {
using namespace detail;

static FcConfig* g_config = nullptr;
static PangoFontMap* g_map = nullptr;
static PangoContext* g_ctx = nullptr;

static FcConfig* config() {
  if (g_config) return g_config;
  g_config = FcInitLoadConfigAndFonts();
  FcConfigParseAndLoadFromMemory(g_config, reinterpret_cast<const FcChar8*>(embedded::fonts_conf), FcTrue);
  return g_config;
}

static PangoContext* context() {
  if (g_ctx) return g_ctx;
  FcConfig* cfg = config();
  g_map = pango_cairo_font_map_new_for_font_type(CAIRO_FONT_TYPE_FT);
  pango_fc_font_map_set_config(PANGO_FC_FONT_MAP(g_map), cfg);
  g_ctx = pango_font_map_create_context(g_map);
  // Grayscale antialiasing and unhinted metrics keep text pixels the same everywhere.
  cairo_font_options_t* o = cairo_font_options_create();
  cairo_font_options_set_antialias(o, CAIRO_ANTIALIAS_GRAY);
  cairo_font_options_set_subpixel_order(o, CAIRO_SUBPIXEL_ORDER_DEFAULT);
  cairo_font_options_set_hint_metrics(o, CAIRO_HINT_METRICS_OFF);
  cairo_font_options_set_hint_style(o, CAIRO_HINT_STYLE_NONE);
  pango_cairo_context_set_font_options(g_ctx, o);
  cairo_font_options_destroy(o);
  pango_cairo_context_set_resolution(g_ctx, 96);
  return g_ctx;
}

namespace detail {
font::~font() {
  if (desc) pango_font_description_free(static_cast<PangoFontDescription*>(desc));
}

void text_shutdown() {
  if (g_ctx) g_object_unref(g_ctx);
  if (g_map) g_object_unref(g_map);
  g_ctx = nullptr;
  g_map = nullptr;
  // The fontconfig configuration is kept: pango's font map may still hold it.
}
}  // namespace detail

HFONT CreateFontIndirect(const LOGFONT& lf) {
  if (!installed()) return HFONT{};
  auto f = std::make_unique<font>();
  f->lf = lf;
  return HFONT{st().fonts.add(std::move(f))};
}

bool DeleteObject(HFONT h) {
  if (!installed()) return false;
  font* f = st().fonts.get(uint32_t(h));
  if (!f || f->stock) return false;
  st().fonts.remove(uint32_t(h));
  return true;
}

bool GetObject(HFONT h, LOGFONT& out) {
  font* f = installed() ? st().fonts.get(uint32_t(h)) : nullptr;
  if (!f) return false;
  out = f->lf;
  return true;
}

LOGFONT message_font(uint32_t dpi, bool resolve) {
  LOGFONT lf;
  if (dpi == 0) dpi = 96;
  lf.lfHeight = -int32_t((9 * int64_t(dpi) + 36) / 72);
  lf.lfWeight = FW_NORMAL;
  lf.lfFaceName = "sans-serif";
  if (!resolve) return lf;
  FcPattern* p = FcNameParse(reinterpret_cast<const FcChar8*>("sans-serif"));
  FcConfigSubstitute(config(), p, FcMatchPattern);
  FcDefaultSubstitute(p);
  FcResult r;
  FcPattern* m = FcFontMatch(config(), p, &r);
  FcChar8* family = nullptr;
  if (m && FcPatternGetString(m, FC_FAMILY, 0, &family) == FcResultMatch && family)
    lf.lfFaceName = reinterpret_cast<const char*>(family);
  else
    lf.lfFaceName = "sans-serif";
  if (m) FcPatternDestroy(m);
  FcPatternDestroy(p);
  return lf;
}

HFONT GetStockFont(int id) {
  if (!installed() || id != DEFAULT_GUI_FONT) return HFONT{};
  state& s = st();
  if (font* f = s.fonts.get(uint32_t(s.stock_font))) { (void)f; return s.stock_font; }
  // The stock font names the generic family; fontconfig is asked only when it draws.
  auto f = std::make_unique<font>();
  f->lf.lfHeight = -12;
  f->lf.lfFaceName = "sans-serif";
  f->stock = true;
  s.stock_font = HFONT{s.fonts.add(std::move(f))};
  return s.stock_font;
}

static PangoFontDescription* desc_of(HFONT h) {
  font* f = st().fonts.get(uint32_t(h));
  if (!f) f = st().fonts.get(uint32_t(GetStockFont(DEFAULT_GUI_FONT)));
  if (f->desc) return static_cast<PangoFontDescription*>(f->desc);
  PangoFontDescription* d = pango_font_description_new();
  pango_font_description_set_family(d, f->lf.lfFaceName.empty() ? "sans-serif" : f->lf.lfFaceName.c_str());
  int32_t px = f->lf.lfHeight < 0 ? -f->lf.lfHeight : f->lf.lfHeight > 0 ? std::max(1, f->lf.lfHeight * 5 / 6) : 12;
  pango_font_description_set_absolute_size(d, double(px) * PANGO_SCALE);
  pango_font_description_set_weight(d, PangoWeight(std::clamp(f->lf.lfWeight ? f->lf.lfWeight : 400, 100, 1000)));
  pango_font_description_set_style(d, f->lf.lfItalic ? PANGO_STYLE_ITALIC : PANGO_STYLE_NORMAL);
  f->desc = d;
  return d;
}

static HFONT font_of(HDC hdc) {
  dc* d = st().dcs.get(uint32_t(hdc));
  return d ? d->font : GetStockFont(DEFAULT_GUI_FONT);
}

std::string font_family_of(HFONT h) {
  if (!installed()) return {};
  PangoContext* ctx = context();
  PangoFont* pf = pango_font_map_load_font(g_map, ctx, desc_of(h));
  if (!pf) return {};
  PangoFontDescription* d = pango_font_describe(pf);
  std::string fam = pango_font_description_get_family(d) ? pango_font_description_get_family(d) : "";
  pango_font_description_free(d);
  g_object_unref(pf);
  return fam;
}

// A layout of `text` in the DC's font with the font's underline and strike-out.
static PangoLayout* make_layout(HDC hdc, std::string_view text) {
  PangoLayout* l = pango_layout_new(context());
  HFONT hf = font_of(hdc);
  pango_layout_set_font_description(l, desc_of(hf));
  if (g_utf8_validate(text.data(), gssize(text.size()), nullptr)) {
    pango_layout_set_text(l, text.data(), int(text.size()));
  } else {
    // Text is UTF-8 across the layer; bytes that are not show as U+FFFD rather than blank.
    gchar* valid = g_utf8_make_valid(text.data(), gssize(text.size()));
    pango_layout_set_text(l, valid, -1);
    g_free(valid);
  }
  font* f = st().fonts.get(uint32_t(hf));
  if (f && (f->lf.lfUnderline || f->lf.lfStrikeOut)) {
    PangoAttrList* a = pango_attr_list_new();
    if (f->lf.lfUnderline) pango_attr_list_insert(a, pango_attr_underline_new(PANGO_UNDERLINE_SINGLE));
    if (f->lf.lfStrikeOut) pango_attr_list_insert(a, pango_attr_strikethrough_new(true));
    pango_layout_set_attributes(l, a);
    pango_attr_list_unref(a);
  }
  return l;
}

PangoLayout* CreateTextLayout(HDC hdc, std::string_view text) {
  return installed() ? make_layout(hdc, text) : nullptr;
}

static SIZE extent(PangoLayout* l) {
  PangoRectangle ink, logical;
  pango_layout_get_pixel_extents(l, &ink, &logical);
  return {logical.width, logical.height};
}

bool GetTextExtentPoint32(HDC hdc, std::string_view text, SIZE& out) {
  if (!installed()) return false;
  PangoLayout* l = make_layout(hdc, text);
  out = extent(l);
  g_object_unref(l);
  return true;
}

uint32_t GetTabbedTextExtent(HDC hdc, std::string_view text) {
  SIZE s;
  if (!GetTextExtentPoint32(hdc, text, s)) return 0;
  return (uint32_t(std::min(s.cy, 0xFFFF)) << 16) | uint32_t(std::min(s.cx, 0xFFFF));
}

bool GetTextMetrics(HDC hdc, TEXTMETRIC& tm) {
  if (!installed()) return false;
  PangoFontMetrics* m = pango_context_get_metrics(context(), desc_of(font_of(hdc)), nullptr);
  tm.tmAscent = PANGO_PIXELS_CEIL(pango_font_metrics_get_ascent(m));
  tm.tmDescent = PANGO_PIXELS_CEIL(pango_font_metrics_get_descent(m));
  tm.tmHeight = tm.tmAscent + tm.tmDescent;
  tm.tmAveCharWidth = PANGO_PIXELS(pango_font_metrics_get_approximate_char_width(m));
  tm.tmExternalLeading = 0;
  pango_font_metrics_unref(m);
  return true;
}

// Removes the '&' prefixes of menu-style text: "&&" is one '&', "&x" is x.
static std::string strip_prefix(std::string_view s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '&' && i + 1 < s.size()) { ++i; out += s[i]; }
    else if (s[i] != '&') out += s[i];
  }
  return out;
}

int DrawText(HDC hdc, std::string_view text, RECT& r, uint32_t flags) {
  if (!installed()) return 0;
  dc* d = st().dcs.get(uint32_t(hdc));
  if (!d) return 0;
  std::string t = (flags & DT_NOPREFIX) ? std::string(text) : strip_prefix(text);
  if (flags & DT_SINGLELINE)
    for (auto& c : t) if (c == '\n' || c == '\r') c = ' ';
  PangoLayout* l = make_layout(hdc, t);
  // pango counts in 1/1024 pixels: a width up to INT_MAX (no limit) must not overflow.
  int width = std::min(r.width(), INT_MAX / PANGO_SCALE);
  bool wrap = (flags & DT_WORDBREAK) && !(flags & DT_SINGLELINE);
  if (wrap && width > 0) {
    pango_layout_set_width(l, width * PANGO_SCALE);
    pango_layout_set_wrap(l, PANGO_WRAP_WORD_CHAR);
    PangoAttrList* a = pango_layout_get_attributes(l);
    PangoAttrList* fresh = a ? pango_attr_list_copy(a) : pango_attr_list_new();
    pango_attr_list_insert_before(fresh, pango_attr_insert_hyphens_new(FALSE));
    pango_layout_set_attributes(l, fresh);
    pango_attr_list_unref(fresh);
  }
  if ((flags & DT_END_ELLIPSIS) && width > 0) {
    pango_layout_set_width(l, width * PANGO_SCALE);
    pango_layout_set_ellipsize(l, PANGO_ELLIPSIZE_END);
  }
  PangoRectangle ink, logical;
  pango_layout_get_pixel_extents(l, &ink, &logical);
  int tw = logical.x + logical.width, th = logical.height;
  if (flags & DT_CALCRECT) {
    r.right = add32(r.left, tw);
    r.bottom = add32(r.top, th);
    g_object_unref(l);
    return th;
  }
  int x = r.left, y = r.top;
  if (flags & DT_CENTER) x = add32(r.left, (int64_t(width) - tw) / 2);
  else if (flags & DT_RIGHT) x = add32(r.right, -int64_t(tw));
  if (wrap && (flags & (DT_CENTER | DT_RIGHT))) {
    pango_layout_set_alignment(l, (flags & DT_CENTER) ? PANGO_ALIGN_CENTER : PANGO_ALIGN_RIGHT);
    x = r.left;
  }
  if (flags & DT_SINGLELINE) {
    if (flags & DT_VCENTER) y = add32(r.top, (int64_t(r.height()) - th) / 2);
    else if (flags & DT_BOTTOM) y = add32(r.bottom, -int64_t(th));
  }
  cairo_t* cr = d->cr;
  cairo_save(cr);
  if (!(flags & DT_NOCLIP)) {
    cairo_rectangle(cr, r.left, r.top, r.width(), r.height());
    cairo_clip(cr);
  }
  if (d->bk_mode == OPAQUE && d->bk_color != NO_COLOR) {
    COLORREF b = d->bk_color;
    colour::set_source(cr, b);
    cairo_rectangle(cr, x, y, tw, th);
    cairo_fill(cr);
  }
  COLORREF c = d->text_color;
  colour::set_source(cr, c);
  cairo_move_to(cr, x, y);
  pango_cairo_show_layout(cr, l);
  cairo_restore(cr);
  g_object_unref(l);
  return th;
}

bool TextOut(HDC hdc, int x, int y, std::string_view text) {
  RECT r{x, y, x + 100000, y + 100000};
  return DrawText(hdc, text, r, DT_NOCLIP | DT_NOPREFIX | DT_SINGLELINE) >= 0;
}

}  // namespace vyr::win
