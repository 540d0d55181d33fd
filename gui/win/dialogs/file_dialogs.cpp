// The open and save file dialog and the folder dialog: the folder shown above a list of its
// folders (then, for files, the files the filter lets through), Up to its parent, a field
// for the name, OK and Cancel. A double click or Enter on a folder opens it; a folder typed
// in the field opens too. Open gives the names typed even when no such file exists; save
// never asks about replacing one.
#include <algorithm>

#include "gui/win/controls/controls.h"
#include "gui/win/dialogs/dialog.h"
#include "gui/win/dialogs/folders.h"
#include "gui/win/dialogs/modal.h"

namespace vyr::win::dialogs {

namespace {

enum : int { ID_LOOK = 100, ID_PATH, ID_UP, ID_LIST, ID_NAME_LABEL, ID_NAME, ID_TYPE_LABEL, ID_TYPE };

// What the file and folder dialogs share: the folder shown, its list, Up.
class browser : public dialog {
 protected:
  std::string folder_;
  std::vector<folder_entry> entries_;
  bool files_ = true;

  virtual std::string patterns() { return "*"; }
  virtual void entered() {}

  HWND list() const { return item(ID_LIST); }

  // The top rows: the folder and Up; the list below them down to `bottom`.
  void build_browser(int width, int bottom, uint32_t list_style) {
    add("STATIC", files_ ? "Look in:" : "Folder:", SS_LEFT, RECT{px(10), px(14), px(80), px(32)}, ID_LOOK);
    add("STATIC", "", SS_LEFTNOWORDWRAP | SS_NOPREFIX, RECT{px(82), px(14), width - px(90), px(32)}, ID_PATH);
    add("BUTTON", "Up", BS_PUSHBUTTON | WS_TABSTOP, RECT{width - px(80), px(10), width - px(10), px(34)}, ID_UP);
    add("ListBox", "", WS_TABSTOP | WS_VSCROLL | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | list_style,
        RECT{px(10), px(42), width - px(10), bottom}, ID_LIST, WS_EX_CLIENTEDGE);
  }

  void fill() {
    entries_ = list_folder(folder_, files_, patterns());
    SetWindowText(item(ID_PATH), folder_);
    HWND l = list();
    SendMessage(l, LB_RESETCONTENT, 0, 0);
    for (const folder_entry& e : entries_) {
      std::string shown = e.folder ? e.name + "/" : e.name;
      SendMessage(l, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(shown.c_str()));
    }
    EnableWindow(item(ID_UP), folder_ != "/");
  }

  void enter(const std::string& folder) {
    folder_ = folder;
    if (folder_.empty() || folder_.back() != '/') folder_ += '/';
    fill();
    entered();
  }

  // The selected entries (indexes), whatever the list's selection kind.
  std::vector<int> selection() {
    HWND l = list();
    LRESULT n = SendMessage(l, LB_GETSELCOUNT, 0, 0);
    if (n == LB_ERR) {
      LRESULT i = SendMessage(l, LB_GETCURSEL, 0, 0);
      return i >= 0 && size_t(i) < entries_.size() ? std::vector<int>{int(i)} : std::vector<int>{};
    }
    std::vector<int32_t> at(size_t(std::max<LRESULT>(n, 0)));
    n = SendMessage(l, LB_GETSELITEMS, at.size(), reinterpret_cast<LPARAM>(at.data()));
    return std::vector<int>(at.begin(), at.begin() + std::max<LRESULT>(n, 0));
  }

  // The one folder selected, or -1.
  int selected_folder() {
    std::vector<int> s = selection();
    return s.size() == 1 && entries_[size_t(s[0])].folder ? s[0] : -1;
  }

  // Up goes to the parent folder; OK and Cancel end the dialog unless a dialog takes them.
  void command(int id, int code, HWND control) override {
    if (id == ID_UP) {
      if (code == BN_CLICKED) enter(parent_of(folder_));
      return;
    }
    dialog::command(id, code, control);
  }

  bool key(uint32_t vk) override {
    // Backspace in the list goes up a folder.
    if (vk == VK_BACK && GetFocus() == list() && folder_ != "/") {
      enter(parent_of(folder_));
      return true;
    }
    return false;
  }
};

class file_dialog : public browser {
 public:
  explicit file_dialog(const file_request& q) : q_(q) {
    folder_ = q.folder;
    if (folder_.empty() || folder_.back() != '/') folder_ += '/';
    if (q_.filters.empty()) q_.filters = default_filters();
  }
  std::optional<std::vector<std::string>> result;

 protected:
  std::string title() override { return !q_.title.empty() ? q_.title : q_.save ? "Save As" : "Open"; }
  SIZE size() override { return SIZE{px(560), px(380)}; }

  void build() override {
    int w = px(560), h = px(380);
    build_browser(w, h - px(82), q_.multi ? LBS_EXTENDEDSEL : 0);
    int y1 = h - px(72), y2 = h - px(38);
    add("STATIC", "File name:", SS_LEFT, RECT{px(10), y1 + px(4), px(100), y1 + px(24)}, ID_NAME_LABEL);
    add("EDIT", q_.name, WS_TABSTOP | ES_AUTOHSCROLL, RECT{px(100), y1, w - px(100), y1 + px(24)}, ID_NAME,
        WS_EX_CLIENTEDGE);
    add("BUTTON", q_.save ? "Save" : "Open", BS_DEFPUSHBUTTON | WS_TABSTOP, RECT{w - px(90), y1, w - px(10), y1 + px(26)},
        IDOK);
    add("STATIC", "Files of type:", SS_LEFT, RECT{px(10), y2 + px(4), px(100), y2 + px(24)}, ID_TYPE_LABEL);
    HWND type = add("ComboBox", "", CBS_DROPDOWNLIST | WS_TABSTOP | WS_VSCROLL,
                    RECT{px(100), y2, w - px(100), y2 + px(24)}, ID_TYPE);
    for (const filter& f : q_.filters)
      SendMessage(type, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(f.description.c_str()));
    SendMessage(type, CB_SETCURSEL, 0, 0);
    add("BUTTON", "Cancel", BS_PUSHBUTTON | WS_TABSTOP, RECT{w - px(90), y2, w - px(10), y2 + px(26)}, IDCANCEL);
    fill();
  }

  HWND first_focus() override { return item(ID_NAME); }

  std::string patterns() override {
    if (!wildcard_.empty()) return wildcard_;
    LRESULT i = IsWindow(item(ID_TYPE)) ? SendMessage(item(ID_TYPE), CB_GETCURSEL, 0, 0) : 0;
    if (i < 0 || size_t(i) >= q_.filters.size()) i = 0;
    return q_.filters[size_t(i)].patterns;
  }

  void command(int id, int code, HWND control) override {
    switch (id) {
      case ID_TYPE:
        if (code == CBN_SELCHANGE) {
          wildcard_.clear();
          fill();
        }
        return;
      case ID_LIST:
        if (code == LBN_SELCHANGE) names_from_list();
        if (code == LBN_DBLCLK) {
          int f = selected_folder();
          if (f >= 0) enter(folder_ + entries_[size_t(f)].name);
          else ok();
        }
        return;
      case IDOK:
        ok();
        return;
    }
    browser::command(id, code, control);
  }

 private:
  file_request q_;
  std::string wildcard_;   // a pattern typed in the name field filters the list

  // The selected files' names go to the field: one as it is, several quoted.
  void names_from_list() {
    std::vector<std::string> names;
    for (int i : selection())
      if (!entries_[size_t(i)].folder) names.push_back(entries_[size_t(i)].name);
    if (names.empty()) return;
    std::string text = names.size() == 1 ? names[0] : "";
    if (names.size() > 1)
      for (const std::string& n : names) text += (text.empty() ? "\"" : " \"") + n + "\"";
    SetWindowText(item(ID_NAME), text);
  }

  // The names in the field: several in double quotes, else the whole text.
  static std::vector<std::string> names_in(const std::string& text) {
    std::vector<std::string> out;
    if (text.find('"') == std::string::npos) {
      out.push_back(text);
      return out;
    }
    for (size_t i = 0; i < text.size();) {
      size_t a = text.find('"', i);
      if (a == std::string::npos) break;
      size_t b = text.find('"', a + 1);
      if (b == std::string::npos) b = text.size();
      if (b > a + 1) out.push_back(text.substr(a + 1, b - a - 1));
      i = b + 1;
    }
    return out;
  }

  void ok() {
    std::string text = GetWindowText(item(ID_NAME));
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.pop_back();
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.erase(text.begin());
    // Enter on a folder of the list opens it.
    int f = selected_folder();
    if (f >= 0 && (text.empty() || GetFocus() == list())) {
      enter(folder_ + entries_[size_t(f)].name);
      return;
    }
    if (text.empty()) return;
    if (text.find_first_of("*?") != std::string::npos && text.find('"') == std::string::npos) {
      wildcard_ = text;
      fill();
      return;
    }
    std::vector<std::string> names = names_in(text);
    if (names.size() == 1) {
      std::string path = absolute_in(folder_, names[0]);
      if (is_folder(path)) {
        SetWindowText(item(ID_NAME), "");
        enter(path);
        return;
      }
    }
    if (!q_.multi && names.size() > 1) names.resize(1);
    std::vector<std::string> paths;
    for (const std::string& n : names)
      if (!n.empty()) paths.push_back(absolute_in(folder_, n));
    if (paths.empty()) return;
    result = paths;
    end(IDOK);
  }
};

class folder_dialog : public browser {
 public:
  explicit folder_dialog(const folder_request& q) : q_(q) {
    files_ = false;
    folder_ = q.start;
    if (folder_.empty() || folder_.back() != '/') folder_ += '/';
  }
  std::optional<std::string> result;

 protected:
  std::string title() override { return !q_.title.empty() ? q_.title : "Browse for Folder"; }
  SIZE size() override { return SIZE{px(440), px(380)}; }

  void build() override {
    int w = px(440), h = px(380);
    build_browser(w, h - px(82), 0);
    int y1 = h - px(72), y2 = h - px(38);
    add("STATIC", "Folder:", SS_LEFT, RECT{px(10), y1 + px(4), px(80), y1 + px(24)}, ID_NAME_LABEL);
    add("EDIT", "", WS_TABSTOP | ES_AUTOHSCROLL, RECT{px(80), y1, w - px(10), y1 + px(24)}, ID_NAME, WS_EX_CLIENTEDGE);
    add("BUTTON", "OK", BS_DEFPUSHBUTTON | WS_TABSTOP, RECT{w - px(180), y2, w - px(100), y2 + px(26)}, IDOK);
    add("BUTTON", "Cancel", BS_PUSHBUTTON | WS_TABSTOP, RECT{w - px(90), y2, w - px(10), y2 + px(26)}, IDCANCEL);
    fill();
  }

  HWND first_focus() override { return list(); }

  void entered() override { SetWindowText(item(ID_NAME), ""); }

  void command(int id, int code, HWND control) override {
    switch (id) {
      case ID_LIST:
        if (code == LBN_SELCHANGE) {
          int f = selected_folder();
          SetWindowText(item(ID_NAME), f >= 0 ? entries_[size_t(f)].name : "");
        }
        if (code == LBN_DBLCLK && selected_folder() >= 0) enter(folder_ + entries_[size_t(selected_folder())].name);
        return;
      case IDOK: {
        // A folder typed (or selected), else the one shown.
        std::string text = GetWindowText(item(ID_NAME));
        std::string path = text.empty() ? folder_ : absolute_in(folder_, text);
        if (!is_folder(path)) {
          int f = selected_folder();
          path = f >= 0 ? folder_ + entries_[size_t(f)].name : folder_;
        }
        if (path.back() != '/') path += '/';
        result = path;
        end(IDOK);
        return;
      }
    }
    browser::command(id, code, control);
  }

 private:
  folder_request q_;
};

}  // namespace

std::optional<std::vector<std::string>> run_file_dialog(const file_request& q) {
  file_dialog d(q);
  return d.run(GetForegroundWindow()) == IDOK ? d.result : std::nullopt;
}

std::optional<std::string> run_folder_dialog(const folder_request& q) {
  folder_dialog d(q);
  return d.run(GetForegroundWindow()) == IDOK ? d.result : std::nullopt;
}

}  // namespace vyr::win::dialogs
