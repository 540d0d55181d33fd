// The font dialog: the families pango knows (the monospaced ones only when asked), a style
// of regular, bold, italic or both, a size from the list or typed, and a sample of the
// choice. Each list has a field above it; typing in the family's field finds the family.
#include <algorithm>
#include <cstdlib>
#include <set>

#include <pango/pangocairo.h>

#include "base/colour.h"
#include "gui/win/controls/controls.h"
#include "gui/win/dialogs/dialog.h"
#include "gui/win/dialogs/modal.h"
#include "gui/win/theme.h"

namespace vyr::win::dialogs {

namespace {

enum : int { ID_FAMILY_LABEL = 100, ID_FAMILY, ID_FAMILIES, ID_STYLE_LABEL, ID_STYLE, ID_STYLES, ID_SIZE_LABEL,
             ID_SIZE, ID_SIZES };

const char* const styles[] = {"Regular", "Italic", "Bold", "Bold Italic"};
const int sizes[] = {8, 9, 10, 11, 12, 14, 16, 18, 20, 22, 24, 26, 28, 36, 48, 72};

bool same_text(std::string_view a, std::string_view b) { return compare_without_case(a, b) == 0; }

class font_dialog : public dialog {
 public:
  explicit font_dialog(const font_request& q) : q_(q), choice_(q.initial) {}
  std::optional<font_choice> result;

  // The families of the fonts installed, sorted without case.
  static std::vector<std::string> families(bool mono) {
    PangoFontMap* map = pango_cairo_font_map_get_default();
    PangoFontFamily** list = nullptr;
    int n = 0;
    pango_font_map_list_families(map, &list, &n);
    std::set<std::string> seen;
    std::vector<std::string> out;
    for (int i = 0; i < n; ++i) {
      if (mono && !pango_font_family_is_monospace(list[i])) continue;
      std::string name = pango_font_family_get_name(list[i]);
      if (seen.insert(name).second) out.push_back(name);
    }
    g_free(list);
    std::sort(out.begin(), out.end(), [](const std::string& a, const std::string& b) {
      int c = compare_without_case(a, b);
      return c != 0 ? c < 0 : a < b;
    });
    return out;
  }

 protected:
  std::string title() override { return "Font"; }
  SIZE size() override { return SIZE{px(520), px(400)}; }

  void build() override {
    int w = px(520);
    int col[3] = {px(10), px(260), px(400)}, right[3] = {px(250), px(390), w - px(10)};
    const char* labels[] = {"Font:", "Font style:", "Size:"};
    for (int k = 0; k < 3; ++k) {
      int base = ID_FAMILY_LABEL + 3 * k;
      add("STATIC", labels[k], SS_LEFT, RECT{col[k], px(10), right[k], px(28)}, base);
      add("EDIT", "", WS_TABSTOP | ES_AUTOHSCROLL, RECT{col[k], px(30), right[k], px(54)}, base + 1, WS_EX_CLIENTEDGE);
      add("ListBox", "", WS_TABSTOP | WS_VSCROLL | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT,
          RECT{col[k], px(56), right[k], px(250)}, base + 2, WS_EX_CLIENTEDGE);
    }
    family_list_ = families(q_.mono);
    HWND fams = item(ID_FAMILIES);
    for (const std::string& f : family_list_) SendMessage(fams, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(f.c_str()));
    for (const char* s : styles) SendMessage(item(ID_STYLES), LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(s));
    for (int s : sizes) {
      std::string t = std::to_string(s);
      SendMessage(item(ID_SIZES), LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(t.c_str()));
    }
    add("BUTTON", "OK", BS_DEFPUSHBUTTON | WS_TABSTOP, RECT{w - px(180), px(360), w - px(100), px(386)}, IDOK);
    add("BUTTON", "Cancel", BS_PUSHBUTTON | WS_TABSTOP, RECT{w - px(90), px(360), w - px(10), px(386)}, IDCANCEL);
    // The initial choice shows in the fields and lists.
    quiet_ = true;
    SetWindowText(item(ID_FAMILY), choice_.family);
    select_family(choice_.family);
    int s = (choice_.bold ? 2 : 0) + (choice_.italic ? 1 : 0);
    SendMessage(item(ID_STYLES), LB_SETCURSEL, uint64_t(s), 0);
    SetWindowText(item(ID_STYLE), styles[s]);
    if (choice_.points <= 0) choice_.points = 11;
    SetWindowText(item(ID_SIZE), std::to_string(choice_.points));
    select_size(choice_.points);
    quiet_ = false;
  }

  HWND first_focus() override { return item(ID_FAMILY); }

  // The sample: the choice's family, style and size in a framed box.
  void paint(HDC dc) override {
    RECT box = sample_box();
    cairo_t* cr = cairo_of(dc);
    FillRect(dc, box, theme_color(hwnd(), theme::part::page));
    COLORREF f = theme_color(hwnd(), theme::part::frame);
    colour::set_source(cr, f);
    cairo_set_line_width(cr, 1);
    cairo_rectangle(cr, box.left + 0.5, box.top + 0.5, box.width() - 1, box.height() - 1);
    cairo_stroke(cr);
    LOGFONT lf;
    lf.lfFaceName = choice_.family;
    lf.lfHeight = -int(int64_t(std::clamp(choice_.points, 1, 200)) * dpi() / 72);
    lf.lfWeight = choice_.bold ? FW_BOLD : FW_NORMAL;
    lf.lfItalic = choice_.italic;
    HFONT sample = CreateFontIndirect(lf);
    SelectObject(dc, sample);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, theme_color(hwnd(), theme::part::text));
    RECT r = box;
    DrawText(dc, "AaBbYyZz 0123", r, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    SelectObject(dc, font());
    DeleteObject(sample);
  }

  void command(int id, int code, HWND control) override {
    if (quiet_) return;
    switch (id) {
      case ID_FAMILIES:
        if (code == LBN_SELCHANGE || code == LBN_DBLCLK) {
          LRESULT i = SendMessage(item(ID_FAMILIES), LB_GETCURSEL, 0, 0);
          if (i >= 0 && size_t(i) < family_list_.size()) {
            choice_.family = family_list_[size_t(i)];
            set_quietly(ID_FAMILY, choice_.family);
            sample_changed();
          }
        }
        return;
      case ID_FAMILY:
        if (code == EN_CHANGE) {
          // The first family the typed text begins; the family itself when it is one.
          std::string t = GetWindowText(item(ID_FAMILY));
          LRESULT i = SendMessage(item(ID_FAMILIES), LB_FINDSTRING, WPARAM(-1), reinterpret_cast<LPARAM>(t.c_str()));
          if (i >= 0) {
            quiet_ = true;
            SendMessage(item(ID_FAMILIES), LB_SETCURSEL, WPARAM(i), 0);
            quiet_ = false;
            if (same_text(family_list_[size_t(i)], t)) {
              choice_.family = family_list_[size_t(i)];
              sample_changed();
            }
          }
        }
        return;
      case ID_STYLES:
        if (code == LBN_SELCHANGE) {
          LRESULT s = SendMessage(item(ID_STYLES), LB_GETCURSEL, 0, 0);
          if (s >= 0 && s < 4) {
            choice_.bold = s >= 2;
            choice_.italic = s & 1;
            set_quietly(ID_STYLE, styles[s]);
            sample_changed();
          }
        }
        return;
      case ID_STYLE:
        if (code == EN_CHANGE) {
          std::string t = GetWindowText(item(ID_STYLE));
          for (int s = 0; s < 4; ++s)
            if (same_text(styles[s], t)) {
              choice_.bold = s >= 2;
              choice_.italic = s & 1;
              quiet_ = true;
              SendMessage(item(ID_STYLES), LB_SETCURSEL, uint64_t(s), 0);
              quiet_ = false;
              sample_changed();
            }
        }
        return;
      case ID_SIZES:
        if (code == LBN_SELCHANGE) {
          LRESULT s = SendMessage(item(ID_SIZES), LB_GETCURSEL, 0, 0);
          if (s >= 0 && size_t(s) < std::size(sizes)) {
            choice_.points = sizes[s];
            set_quietly(ID_SIZE, std::to_string(sizes[s]));
            sample_changed();
          }
        }
        return;
      case ID_SIZE:
        if (code == EN_CHANGE) {
          int p = points_in(GetWindowText(item(ID_SIZE)));
          if (p > 0) {
            choice_.points = p;
            quiet_ = true;
            select_size(p);
            quiet_ = false;
            sample_changed();
          }
        }
        return;
      case IDOK: {
        // A family typed that is none of the list's keeps the last one found.
        int p = points_in(GetWindowText(item(ID_SIZE)));
        if (p > 0) choice_.points = p;
        result = choice_;
        end(IDOK);
        return;
      }
    }
    dialog::command(id, code, control);
  }

 private:
  font_request q_;
  font_choice choice_;
  std::vector<std::string> family_list_;
  bool quiet_ = false;

  RECT sample_box() const {
    RECT rc;
    GetClientRect(hwnd(), rc);
    return RECT{px(10), px(262), rc.right - px(10), px(350)};
  }
  void sample_changed() {
    RECT b = sample_box();
    InvalidateRect(hwnd(), &b, false);
  }
  void set_quietly(int id, const std::string& text) {
    quiet_ = true;
    SetWindowText(item(id), text);
    quiet_ = false;
  }
  void select_family(const std::string& name) {
    for (size_t i = 0; i < family_list_.size(); ++i)
      if (same_text(family_list_[i], name)) {
        SendMessage(item(ID_FAMILIES), LB_SETCURSEL, i, 0);
        return;
      }
  }
  void select_size(int p) {
    for (size_t i = 0; i < std::size(sizes); ++i)
      if (sizes[i] == p) {
        SendMessage(item(ID_SIZES), LB_SETCURSEL, i, 0);
        return;
      }
    SendMessage(item(ID_SIZES), LB_SETCURSEL, WPARAM(-1), 0);
  }
  // A size typed: 1 to 1638 points, digits only; 0 for anything else.
  static int points_in(const std::string& t) {
    if (t.empty() || t.size() > 4 || t.find_first_not_of("0123456789") != std::string::npos) return 0;
    int p = std::atoi(t.c_str());
    return p >= 1 && p <= 1638 ? p : 0;
  }
};

}  // namespace

std::optional<font_choice> run_font_dialog(const font_request& q) {
  font_dialog d(q);
  return d.run(GetForegroundWindow()) == IDOK ? d.result : std::nullopt;
}

std::vector<std::string> font_families(bool mono) { return font_dialog::families(mono); }

}  // namespace vyr::win::dialogs
