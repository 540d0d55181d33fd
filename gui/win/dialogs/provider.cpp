// The dialog provider in use, the default filters and the matching of file names.
#include "gui/win/dialogs/provider.h"

#include <algorithm>

#include "base/glob.h"

namespace vyr::win::dialogs {

namespace {
std::unique_ptr<provider>& installed() {
  static std::unique_ptr<provider> p;
  return p;
}
}  // namespace

void install(std::unique_ptr<provider> p) {
  installed() = std::move(p);
  if (provider* now = installed().get())
    menus::set_popup_answerer([now](const std::vector<std::string>& c) { return now->popup_menu(c); });
  else
    menus::set_popup_answerer(nullptr);
}

provider* current() { return installed().get(); }

std::vector<filter> default_filters() {
  return {{"All files", "*.*"}, {"Vyr scripts", "*.vyr;*.vyrs"}, {"SORVA scripts", "*.r"}, {"Text files", "*.txt"}};
}

int compare_without_case(std::string_view a, std::string_view b) {
  size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    unsigned char x = uint8_t(glob::fold(a[i])), y = uint8_t(glob::fold(b[i]));
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : a.size() < b.size() ? -1 : 1;
}

bool matches(std::string_view name, std::string_view patterns) {
  bool any = false;
  size_t i = 0;
  while (i <= patterns.size()) {
    size_t j = patterns.find(';', i);
    if (j == std::string_view::npos) j = patterns.size();
    std::string_view p = patterns.substr(i, j - i);
    while (!p.empty() && p.front() == ' ') p.remove_prefix(1);
    while (!p.empty() && p.back() == ' ') p.remove_suffix(1);
    if (!p.empty()) {
      any = true;
      // "*.*" is every name, dotted or not.
      if (p == "*.*" || glob::match(p, name)) return true;
    }
    i = j + 1;
  }
  return !any;
}

}  // namespace vyr::win::dialogs
