// The modal dialogs on the headless display, driven by the keys and clicks a user gives.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "gui/win/controls/controls.h"
#include "gui/win/dialogs/dialog.h"
#include "gui/win/dialogs/folders.h"
#include "gui/win/dialogs/modal.h"
#include "tests/unit/win/win_fixture.h"

namespace vyr::win::test {

namespace {

// A folder of files for one test, removed after it.
struct temp_tree {
  std::string root;
  temp_tree() {
    char t[] = "/tmp/vyr-dialogs-XXXXXX";
    root = std::string(mkdtemp(t)) + "/";
  }
  void file(const std::string& name) {
    if (FILE* f = std::fopen((root + name).c_str(), "w")) std::fclose(f);
  }
  void folder(const std::string& name) { mkdir((root + name).c_str(), 0700); }
  ~temp_tree() { std::system(("rm -rf '" + root + "'").c_str()); }
};

HWND dialog_now() {
  auto d = dialogs::running_dialogs();
  return d.empty() ? HWND{} : d.back();
}

HWND child_of_class(HWND dlg, const char* cls, int nth = 0) {
  for (HWND c : children(dlg))
    if (GetClassName(c) == cls && nth-- == 0) return c;
  return HWND{};
}

std::vector<std::string> list_items(HWND list) {
  std::vector<std::string> out;
  LRESULT n = SendMessage(list, LB_GETCOUNT, 0, 0);
  for (LRESULT i = 0; i < n; ++i) {
    std::string s(size_t(SendMessage(list, LB_GETTEXTLEN, WPARAM(i), 0)) + 1, '\0');
    SendMessage(list, LB_GETTEXT, WPARAM(i), reinterpret_cast<LPARAM>(s.data()));
    s.resize(s.size() - 1);
    out.push_back(s);
  }
  return out;
}

POINT centre_of(HWND h) {
  RECT r;
  GetWindowRect(h, r);
  return POINT{r.left + r.width() / 2, r.top + r.height() / 2};
}

}  // namespace

class dialog_run : public layer {
 protected:
  HWND owner{}, other{};
  void SetUp() override {
    layer::SetUp();
    register_control_classes();
    owner = top(100, 100, 600, 400, WS_OVERLAPPEDWINDOW | WS_VISIBLE);
    other = top(800, 100, 200, 200, WS_OVERLAPPEDWINDOW | WS_VISIBLE);
    SetActiveWindow(owner);
    pump();
  }
  void press(uint32_t vk, std::string text = "") {
    hd->key(vk, true, std::move(text));
    hd->key(vk, false);
  }
};

TEST_F(dialog_run, AMessageBoxClosesByEnterEscOrSpaceAndDisablesEveryTopLevel) {
  bool owner_off = true, other_off = true;
  HWND capture_at_open{};
  SetCapture(owner);
  for (uint32_t vk : {VK_RETURN, VK_ESCAPE, VK_SPACE}) {
    hd->script([&] {
      owner_off = !IsWindowEnabled(owner);
      other_off = !IsWindowEnabled(other);
      capture_at_open = GetCapture();
      press(vk, vk == VK_SPACE ? " " : "");
    });
    dialogs::show_message_box({"Vyr", "Something went wrong"});
    EXPECT_EQ(hd->script_left(), 0u) << vk;
    EXPECT_TRUE(owner_off);
    EXPECT_TRUE(other_off);
    EXPECT_TRUE(is_null(capture_at_open));
  }
  EXPECT_TRUE(IsWindowEnabled(owner));
  EXPECT_TRUE(IsWindowEnabled(other));
  EXPECT_EQ(GetActiveWindow(), owner);
  EXPECT_TRUE(dialogs::running_dialogs().empty());
}

TEST_F(dialog_run, AMessageBoxIsCentredOnItsOwnerAndCopiesItsText) {
  RECT box{}, own;
  GetWindowRect(owner, own);
  hd->script([&] {
    GetWindowRect(dialog_now(), box);
    hd->chord(MK_CONTROL, 'C', "c");
  });
  hd->script([&] { press(VK_RETURN); });
  dialogs::show_message_box({"Caption", "Text"});
  EXPECT_NEAR(box.left + box.width() / 2, own.left + own.width() / 2, 1);
  EXPECT_NEAR(box.top + box.height() / 2, own.top + own.height() / 2, 1);
  EXPECT_EQ(GetClipboardText(),
            "---------------------------\nCaption\n---------------------------\nText\n"
            "---------------------------\nOK\n---------------------------\n");
}

TEST_F(dialog_run, ClicksOnADisabledWindowGoNowhereWhileADialogRuns) {
  hd->script([&] { hd->click(POINT{150, 300}); });
  hd->script([&] { press(VK_ESCAPE); });
  g_seen.clear();
  dialogs::show_message_box({"Vyr", "Wait"});
  EXPECT_TRUE(seen_of({WM_LBUTTONDOWN, WM_LBUTTONUP}).empty());
}

TEST_F(dialog_run, TheFileDialogListsFoldersThenMatchingFilesAndTakesATypedName) {
  temp_tree t;
  for (const char* f : {"b.txt", "A.txt", "c.vyr", ".hidden", "notes"}) t.file(f);
  t.folder("Sub");
  t.folder("docs");
  t.file("Sub/inner.txt");
  dialogs::file_request q;
  q.folder = t.root;
  q.filters = {{"Text", "*.TXT"}, {"All", "*.*"}};
  std::vector<std::string> shown, after_filter, in_sub;
  hd->script([&] {
    shown = list_items(child_of_class(dialog_now(), "ListBox"));
    // The filter list: two Tabs on from the name field, through OK.
    press(VK_TAB);
    press(VK_TAB);
    press(VK_DOWN);
  });
  hd->script([&] {
    after_filter = list_items(child_of_class(dialog_now(), "ListBox"));
    // Back to the name field: a folder typed opens it.
    SetFocus(child_of_class(dialog_now(), "EDIT"));
    hd->type("Sub");
    press(VK_RETURN, "\r");
  });
  hd->script([&] {
    in_sub = list_items(child_of_class(dialog_now(), "ListBox"));
    hd->type("new name.txt");
    press(VK_RETURN, "\r");
  });
  auto r = dialogs::run_file_dialog(q);
  EXPECT_EQ(shown, (std::vector<std::string>{"docs/", "Sub/", "A.txt", "b.txt"}));
  EXPECT_EQ(after_filter, (std::vector<std::string>{"docs/", "Sub/", "A.txt", "b.txt", "c.vyr", "notes"}));
  EXPECT_EQ(in_sub, (std::vector<std::string>{"inner.txt"}));
  ASSERT_TRUE(r);
  EXPECT_EQ(*r, std::vector<std::string>{t.root + "Sub/new name.txt"});   // a name that is not there yet
}

TEST_F(dialog_run, EscCancelsTheFileDialog) {
  temp_tree t;
  dialogs::file_request q;
  q.folder = t.root;
  q.name = "report.txt";
  hd->script([&] { press(VK_ESCAPE); });
  EXPECT_FALSE(dialogs::run_file_dialog(q));
}

TEST_F(dialog_run, SeveralFilesAreChosenWithShiftAndTheirNamesComeBackWhole) {
  temp_tree t;
  for (const char* f : {"one.txt", "two.txt", "three.txt"}) t.file(f);
  dialogs::file_request q;
  q.folder = t.root;
  q.multi = true;
  q.filters = dialogs::default_filters();
  std::string field;
  hd->script([&] {
    HWND list = child_of_class(dialog_now(), "ListBox");
    SetFocus(list);
    press(VK_HOME);
    hd->key(VK_SHIFT, true, "", key_side::left);
    press(VK_DOWN);
    hd->key(VK_SHIFT, false, "", key_side::left);
  });
  hd->script([&] {
    field = GetWindowText(child_of_class(dialog_now(), "EDIT"));
    SetFocus(child_of_class(dialog_now(), "EDIT"));
    press(VK_RETURN, "\r");
  });
  auto r = dialogs::run_file_dialog(q);
  EXPECT_EQ(field, "\"one.txt\" \"three.txt\"");
  ASSERT_TRUE(r);
  EXPECT_EQ(*r, (std::vector<std::string>{t.root + "one.txt", t.root + "three.txt"}));
}

TEST_F(dialog_run, TheFolderDialogGivesTheSelectedFolderOrTheOneShown) {
  temp_tree t;
  t.folder("alpha");
  t.folder("beta");
  t.file("plain.txt");
  dialogs::folder_request q;
  q.start = t.root;
  std::vector<std::string> shown;
  hd->script([&] {
    shown = list_items(child_of_class(dialog_now(), "ListBox"));
    press(VK_DOWN);   // the list has the keyboard: alpha
    press(VK_DOWN);   // beta
    press(VK_RETURN, "\r");
  });
  auto r = dialogs::run_folder_dialog(q);
  EXPECT_EQ(shown, (std::vector<std::string>{"alpha/", "beta/"}));
  EXPECT_EQ(r, t.root + "beta/");
  // Nothing selected: the folder shown. Up first: its parent.
  hd->script([&] {
    hd->click(centre_of(child_of_class(dialog_now(), "BUTTON")));   // Up, which takes the keyboard
  });
  hd->script([&] {
    SetFocus(child_of_class(dialog_now(), "ListBox"));
    press(VK_RETURN, "\r");
  });
  EXPECT_EQ(dialogs::run_folder_dialog(q), dialogs::parent_of(t.root));
}

TEST_F(dialog_run, TheFontDialogTakesATypedFamilyStyleAndSize) {
  auto families = dialogs::font_families(true);
  ASSERT_FALSE(families.empty());
  EXPECT_TRUE(std::find(families.begin(), families.end(), "DejaVu Sans Mono") != families.end());
  dialogs::font_request q;
  q.initial = {"Courier New", 11, false, false};
  q.mono = true;
  hd->script([&] {
    HWND family = GetFocus();
    SendMessage(family, EM_SETSEL, 0, -1);
    hd->type("DejaVu Sans Mono");
    press(VK_TAB);        // the families
    press(VK_TAB);        // the style field, its text selected
    hd->type("Bold");
    press(VK_TAB);        // the styles
    press(VK_TAB);        // the size field, its text selected
    hd->type("14");
    press(VK_RETURN, "\r");
  });
  auto r = dialogs::run_font_dialog(q);
  ASSERT_TRUE(r);
  EXPECT_EQ(r->family, "DejaVu Sans Mono");
  EXPECT_EQ(r->points, 14);
  EXPECT_TRUE(r->bold);
  EXPECT_FALSE(r->italic);
  hd->script([&] { press(VK_ESCAPE); });
  EXPECT_FALSE(dialogs::run_font_dialog(q));
}

TEST(dialog_files, PatternsAndFolders) {
  EXPECT_TRUE(dialogs::matches("Report.TXT", "*.txt"));
  EXPECT_TRUE(dialogs::matches("a.vyrs", "*.vyr;*.vyrs"));
  EXPECT_FALSE(dialogs::matches("a.vyr.bak", "*.vyr;*.vyrs"));
  EXPECT_TRUE(dialogs::matches("noext", "*.*"));
  EXPECT_TRUE(dialogs::matches("a1.txt", "a?.txt"));
  EXPECT_FALSE(dialogs::matches("a12.txt", "a?.txt"));
  EXPECT_TRUE(dialogs::matches("anything", ""));
  EXPECT_EQ(dialogs::parent_of("/a/b/"), "/a/");
  EXPECT_EQ(dialogs::parent_of("/a/"), "/");
  EXPECT_EQ(dialogs::parent_of("/"), "/");
  EXPECT_FALSE(dialogs::valid_utf8("a\xFF"));
  EXPECT_FALSE(dialogs::valid_utf8("\xC0\xAF"));
  EXPECT_TRUE(dialogs::valid_utf8("h\xC3\xA9"));
}

}  // namespace vyr::win::test
