// What the file and folder dialogs show of a folder: its subfolders, then its files that
// match a filter, each part sorted without regard to case. Names starting with a dot and
// names that are not UTF-8 are left out. Folders are absolute and end in "/".
#pragma once
#include <string>
#include <string_view>
#include <vector>

namespace vyr::win::dialogs {

struct folder_entry {
  std::string name;
  bool folder = false;
};

std::vector<folder_entry> list_folder(const std::string& folder, bool files, std::string_view patterns);
bool is_folder(const std::string& path);
// "/a/b/" -> "/a/"; the root is its own parent.
std::string parent_of(const std::string& folder);
// `name` taken from `folder` when it is relative; "~" and "~/..." from the home folder.
std::string absolute_in(const std::string& folder, const std::string& name);
bool valid_utf8(std::string_view);

}  // namespace vyr::win::dialogs
