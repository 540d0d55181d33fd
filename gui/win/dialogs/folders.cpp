// Folders read for the dialogs.
#include "gui/win/dialogs/folders.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>

#include "base/utf8.h"
#include "gui/win/dialogs/provider.h"

namespace vyr::win::dialogs {

namespace {
// Without regard to case (ASCII letters), then by bytes, so the order is total.
bool before(const folder_entry& a, const folder_entry& b) {
  int c = compare_without_case(a.name, b.name);
  return c != 0 ? c < 0 : a.name < b.name;
}
}  // namespace

bool valid_utf8(std::string_view s) {
  const auto* p = reinterpret_cast<const uint8_t*>(s.data());
  for (size_t i = 0; i < s.size();) {
    utf8::decoded d = utf8::decode(p + i, s.size() - i);
    if (!utf8::well_formed(d)) return false;
    i += d.size;
  }
  return true;
}

bool is_folder(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string parent_of(const std::string& folder) {
  std::string f = folder;
  while (f.size() > 1 && f.back() == '/') f.pop_back();
  size_t slash = f.rfind('/');
  if (slash == std::string::npos || slash == 0) return "/";
  return f.substr(0, slash + 1);
}

std::string absolute_in(const std::string& folder, const std::string& name) {
  if (!name.empty() && name[0] == '/') return name;
  if (name == "~" || name.rfind("~/", 0) == 0) {
    const char* home = std::getenv("HOME");
    std::string h = home && *home ? home : "/";
    if (h.back() != '/') h += '/';
    return h + (name.size() > 2 ? name.substr(2) : "");
  }
  return folder + name;
}

std::vector<folder_entry> list_folder(const std::string& folder, bool files, std::string_view patterns) {
  std::vector<folder_entry> dirs, plain;
  DIR* d = opendir(folder.c_str());
  if (!d) return {};
  while (dirent* e = readdir(d)) {
    std::string_view name = e->d_name;
    if (name.empty() || name[0] == '.' || !valid_utf8(name)) continue;
    bool dir = e->d_type == DT_DIR;
    // A link, or a file system that does not say, is looked at.
    if (e->d_type == DT_LNK || e->d_type == DT_UNKNOWN) dir = is_folder(folder + std::string(name));
    if (dir) dirs.push_back({std::string(name), true});
    else if (files && matches(name, patterns)) plain.push_back({std::string(name), false});
  }
  closedir(d);
  std::sort(dirs.begin(), dirs.end(), before);
  std::sort(plain.begin(), plain.end(), before);
  dirs.insert(dirs.end(), std::make_move_iterator(plain.begin()), std::make_move_iterator(plain.end()));
  return dirs;
}

}  // namespace vyr::win::dialogs
