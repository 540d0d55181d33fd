// Paint and text: erasing, the compositor's pixels (z-order, clipping, alpha), the caret,
// cursors, fonts and their aliases.
#include <cairo.h>

#include "tests/unit/win/win_fixture.h"

namespace vyr::win::test {

static LRESULT filler(HWND h, uint32_t m, WPARAM wp, LPARAM lp) {
  if (m == WM_PAINT) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(h, ps);
    cairo_t* cr = cairo_of(dc);
    COLORREF c = static_cast<COLORREF>(GetWindowLong(h, GWLP_USERDATA));
    uint8_t a = static_cast<uint8_t>(GetWindowLong(h, 64));
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    cairo_set_source_rgba(cr, (c & 0xFF) / 255.0, ((c >> 8) & 0xFF) / 255.0, ((c >> 16) & 0xFF) / 255.0, a / 255.0);
    cairo_paint(cr);
    EndPaint(h, ps);
    return 0;
  }
  return DefWindowProc(h, m, wp, lp);
}

class paint : public layer {
 protected:
  void SetUp() override {
    layer::SetUp();
    WNDCLASSEX wc;
    wc.lpszClassName = "Filler";
    wc.lpfnWndProc = filler;
    RegisterClassEx(wc);
  }
  HWND filled(HWND parent, RECT r, COLORREF c, uint8_t alpha = 255) {
    uint32_t style = is_null(parent) ? WS_POPUP | WS_VISIBLE : WS_CHILD | WS_VISIBLE;
    HWND h = CreateWindowEx(0, "Filler", "", style, r.left, r.top, r.width(), r.height(), parent, HMENU{}, nullptr);
    SetWindowLong(h, GWLP_USERDATA, c);
    SetWindowLong(h, 64, alpha);
    InvalidateRect(h, nullptr, true);
    return h;
  }
};

TEST_F(paint, CompositorStacksClipsAndBlends) {
  HWND t = filled(HWND{}, {0, 0, 100, 100}, RGB(255, 0, 0));
  HWND a = filled(t, {10, 10, 60, 60}, RGB(0, 0, 255));
  HWND b = filled(a, {40, 40, 90, 90}, RGB(0, 255, 0));   // sticks out of a: clipped
  HWND glass = filled(t, {70, 0, 100, 30}, RGB(0, 0, 0), 128);
  (void)b;
  (void)glass;
  pump();
  struct { int x, y; uint32_t argb; } cases[] = {
    {5, 5, 0xFFFF0000},     // the top level
    {20, 20, 0xFF0000FF},   // child a
    {55, 55, 0xFF00FF00},   // grandchild b inside a
    {65, 65, 0xFFFF0000},   // b outside a: clipped away
    {80, 10, 0xFF7F0000},   // half-transparent black over red
  };
  for (auto& c : cases) {
    uint32_t p = hd->pixel(t, c.x, c.y);
    if (c.argb == 0xFF7F0000) EXPECT_NEAR(int((p >> 16) & 0xFF), 0x7F, 1) << c.x << "," << c.y;
    else EXPECT_EQ(p, c.argb) << c.x << "," << c.y;
  }
  // Raising b's parent sibling order changes what is on top.
  HWND over = filled(t, {15, 15, 25, 25}, RGB(255, 255, 0));
  pump();
  EXPECT_EQ(hd->pixel(t, 20, 20), 0xFF0000FFu);   // a new child starts at the bottom
  SetWindowPos(over, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  pump();
  EXPECT_EQ(hd->pixel(t, 20, 20), 0xFFFFFF00u);
}

TEST_F(paint, PrintWindowPaintsAndComposesIntoATarget) {
  HWND t = filled(HWND{}, {0, 0, 40, 40}, RGB(0, 0, 255));
  filled(t, {10, 10, 20, 20}, RGB(0, 255, 0));
  cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 40, 40);
  cairo_t* cr = cairo_create(s);
  ASSERT_TRUE(PrintWindow(t, cr));
  cairo_destroy(cr);
  cairo_surface_flush(s);
  auto px = [&](int x, int y) {
    return *reinterpret_cast<uint32_t*>(cairo_image_surface_get_data(s) + y * cairo_image_surface_get_stride(s) + x * 4);
  };
  EXPECT_EQ(px(2, 2), 0xFF0000FFu);
  EXPECT_EQ(px(15, 15), 0xFF00FF00u);
  cairo_surface_destroy(s);
}

TEST_F(paint, DrawTextPlacesTextByFlags) {
  HDC dc = GetDC(HWND{});
  SIZE m;
  GetTextExtentPoint32(dc, "MM", m);
  RECT box{0, 0, 200, 100};
  RECT calc = box;
  DrawText(dc, "MM", calc, DT_CALCRECT | DT_SINGLELINE);
  EXPECT_EQ(calc.right, m.cx);
  EXPECT_EQ(calc.bottom, m.cy);
  RECT amp = box;
  DrawText(dc, "&MM", amp, DT_CALCRECT | DT_SINGLELINE);
  EXPECT_EQ(amp.right, m.cx);   // the prefix character is not drawn
  RECT literal = box;
  DrawText(dc, "&MM", literal, DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
  EXPECT_GT(literal.right, m.cx);
  // Bytes that are no UTF-8 still take room, as the replacement character.
  RECT broken = box;
  DrawText(dc, "M\xFF\xFEM", broken, DT_CALCRECT | DT_SINGLELINE);
  EXPECT_GT(broken.right, m.cx);
  ReleaseDC(HWND{}, dc);
  // Right-aligned and vertically centred text lands at the far right, in the middle.
  HWND h = top(0, 0, 200, 100);
  pump();
  dc = GetDC(h);
  SetBkMode(dc, TRANSPARENT);
  RECT r = box;
  DrawText(dc, "\xE2\x96\x88", r, DT_SINGLELINE | DT_RIGHT | DT_VCENTER | DT_NOPREFIX);
  ReleaseDC(h, dc);
  pump();
  EXPECT_EQ(hd->pixel(h, 197, 50) & 0xFFFFFF, 0u);
  EXPECT_EQ(hd->pixel(h, 5, 50), 0xFFFFFFFFu);
  EXPECT_EQ(hd->pixel(h, 197, 5), 0xFFFFFFFFu);
}

TEST_F(paint, ScreenCaptureShowsTheFramesWhereTheyAre) {
  HWND a = filled(HWND{}, {100, 100, 200, 200}, RGB(255, 0, 0));
  HWND b = filled(HWND{}, {150, 150, 250, 250}, RGB(0, 0, 255));   // on top of a
  pump();
  cairo_surface_t* s = hd->capture({90, 90, 260, 260});
  ASSERT_TRUE(s);
  auto px = [&](int x, int y) {
    return *reinterpret_cast<uint32_t*>(cairo_image_surface_get_data(s) + (y - 90) * cairo_image_surface_get_stride(s) + (x - 90) * 4);
  };
  EXPECT_EQ(px(95, 95), 0xFF000000u);    // the bare screen
  EXPECT_EQ(px(120, 120), 0xFFFF0000u);
  EXPECT_EQ(px(170, 170), 0xFF0000FFu);
  cairo_surface_destroy(s);
  ShowWindow(b, SW_MINIMIZE);
  pump();
  s = hd->capture({90, 90, 260, 260});
  EXPECT_EQ(px(170, 170), 0xFFFF0000u);
  cairo_surface_destroy(s);
  (void)a;
}

TEST_F(paint, EraseFillsTheClassBackground) {
  HWND h = top(0, 0, 50, 50);
  pump();
  EXPECT_EQ(hd->pixel(h, 10, 10), 0xFFFFFFFFu);
  size_t before = hd->presented;
  pump();
  EXPECT_EQ(hd->presented, before);   // nothing changed, nothing presented
}

TEST_F(paint, CaretBlinksOnTheClock) {
  HWND h = top(0, 0, 50, 50);
  pump();
  ASSERT_TRUE(CreateCaret(h, 2, 10));
  SetCaretPos(5, 5);
  ShowCaret(h);
  pump();
  EXPECT_EQ(compose(h) != nullptr, true);
  cairo_surface_t* on = compose(h);
  uint32_t p_on = *reinterpret_cast<uint32_t*>(cairo_image_surface_get_data(on) + 6 * cairo_image_surface_get_stride(on) + 5 * 4);
  cairo_surface_destroy(on);
  hd->advance(GetCaretBlinkTime() * 1000);
  cairo_surface_t* off = compose(h);
  uint32_t p_off = *reinterpret_cast<uint32_t*>(cairo_image_surface_get_data(off) + 6 * cairo_image_surface_get_stride(off) + 5 * 4);
  cairo_surface_destroy(off);
  EXPECT_EQ(p_on, 0xFF000000u);
  EXPECT_EQ(p_off, 0xFFFFFFFFu);
  DestroyWindow(h);
  EXPECT_FALSE(DestroyCaret());   // went with its window
}

TEST_F(paint, CursorsSharedAndFromImages) {
  HCURSOR a = LoadCursor(IDC_IBEAM);
  EXPECT_EQ(a, LoadCursor(IDC_IBEAM));
  EXPECT_EQ(cursor_shape(a), IDC_IBEAM);
  EXPECT_FALSE(DestroyCursor(a));
  EXPECT_TRUE(is_null(LoadCursor(12345)));
  uint32_t px[4] = {0xFF000000, 0, 0, 0xFFFFFFFF};
  HCURSOR img = CreateCursorFromARGB(2, 2, 5, 0, px);
  int w, h, hx, hy;
  std::vector<uint32_t> got;
  ASSERT_TRUE(cursor_image(img, w, h, hx, hy, got));
  EXPECT_EQ(hx, 1);   // the hot spot stays inside the image
  EXPECT_EQ(got[3], 0xFFFFFFFFu);
  EXPECT_TRUE(DestroyCursor(img));
  EXPECT_FALSE(cursor_image(img, w, h, hx, hy, got));
}

TEST_F(paint, ScrollBarsTakeClientSpaceAndClampPosition) {
  HWND p = top(0, 0, 300, 300);
  HWND c = child(p, 0, 0, 100, 100);
  ShowScrollBar(c, SB_VERT, true);
  RECT r;
  GetClientRect(c, r);
  EXPECT_EQ(r.right, 100 - 17);
  SCROLLINFO si;
  si.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
  si.nMin = 1;
  si.nMax = 100;
  si.nPage = 10;
  si.nPos = 500;
  EXPECT_EQ(SetScrollInfo(c, SB_VERT, si, true), 91);
}

TEST_F(paint, FontsResolveAliasesAndMeasure) {
  struct { const char* asked; const char* got; } cases[] = {
    {"Consolas", "DejaVu Sans Mono"}, {"Courier New", "DejaVu Sans Mono"}, {"Segoe UI", "DejaVu Sans"},
    {"Arial", "DejaVu Sans"}, {"Times New Roman", "DejaVu Serif"}};
  for (auto& c : cases) {
    LOGFONT lf;
    lf.lfHeight = -12;
    lf.lfFaceName = c.asked;
    HFONT f = CreateFontIndirect(lf);
    EXPECT_EQ(font_family_of(f), c.got) << c.asked;
    DeleteObject(f);
  }
  LOGFONT mono;
  mono.lfHeight = -16;
  mono.lfFaceName = "Consolas";
  HFONT f = CreateFontIndirect(mono);
  HDC dc = GetDC(HWND{});
  SelectObject(dc, f);
  SIZE one, ten;
  GetTextExtentPoint32(dc, "M", one);
  GetTextExtentPoint32(dc, "MMMMMMMMMM", ten);
  EXPECT_GT(one.cx, 5);
  EXPECT_NEAR(ten.cx, 10 * one.cx, 2);
  RECT r{0, 0, 3 * one.cx, 0};
  int h1 = DrawText(dc, "MM MM MM", r, DT_CALCRECT | DT_WORDBREAK);
  RECT r2{0, 0, 3 * one.cx, 0};
  int h2 = DrawText(dc, "MM", r2, DT_CALCRECT | DT_WORDBREAK);
  EXPECT_NEAR(h1, 3 * h2, 2);   // three lines
  ReleaseDC(HWND{}, dc);
  DeleteObject(f);
  EXPECT_EQ(message_font(144).lfHeight, -18);
  EXPECT_EQ(message_font(96).lfHeight, -12);
}

TEST_F(paint, TextDrawsInTheTextColour) {
  HWND h = top(0, 0, 100, 40);
  pump();
  HDC dc = GetDC(h);
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, RGB(0, 0, 0));
  RECT r{0, 0, 100, 40};
  DrawText(dc, "\xE2\x96\x88\xE2\x96\x88\xE2\x96\x88", r, DT_SINGLELINE | DT_NOPREFIX);   // full blocks
  ReleaseDC(h, dc);
  pump();
  EXPECT_EQ(hd->pixel(h, 4, 8) & 0xFFFFFF, 0u);
}

}  // namespace vyr::win::test
