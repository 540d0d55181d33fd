// The file and folder dialogs' arguments and answers. The initial name is taken whole,
// whatever its length; the folder kept by `request-dir/keep` lives here for the run.
#include "gui/backend/file_dialogs.h"

#include <sys/stat.h>
#include <unistd.h>

#include "gui/backend/events.h"
#include "runtime/api/values.h"

namespace vyr::gui {

using namespace win;

namespace {

std::string kept_folder;   // the folder last chosen with keep?

// The text of a string! or file!, or nullopt for any other value (which counts as none).
std::optional<std::string> text_arg(const cell* c) {
  if (!c) return std::nullopt;
  u32 t = type_of(c);
  if (t != TYPE_STRING && t != TYPE_FILE) return std::nullopt;
  return api::string::to_utf8(c);
}

std::string current_dir() {
  std::string d;
  std::vector<char> buf(4096);
  while (!getcwd(buf.data(), buf.size())) {
    if (buf.size() > (1u << 20)) return "/";
    buf.resize(buf.size() * 2);
  }
  d = buf.data();
  if (d.empty() || d.back() != '/') d += '/';
  return d;
}

// A folder as the dialog opens it: absolute, ending in "/"; a relative one is taken from
// the current directory, and one that does not exist (or is no folder) falls back to it.
std::string resolve_folder(const std::string& asked) {
  std::string cwd = current_dir();
  if (asked.empty()) return cwd;
  std::string f = asked[0] == '/' ? asked : cwd + asked;
  struct stat st;
  if (stat(f.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return cwd;
  if (f.back() != '/') f += '/';
  return f;
}

void file_at(cell* out, const std::string& path) {
  api::string::load_utf8_strict(path.data(), u32(path.size()), out);
  set_type(out, TYPE_FILE);
}

}  // namespace

std::vector<dialogs::filter> filter_list(const cell* block) {
  std::vector<dialogs::filter> out;
  if (!block || type_of(block) != TYPE_BLOCK) return out;
  cell b = *block;
  api::root_guard guard(&b);
  i32 n = api::block::rs_length_q(&b);
  u32 head = u32(api::head_index(&b));
  std::vector<std::string> texts;
  for (i32 i = 0; i < n; i++) {
    cell v = *api::block::rs_abs_at(&b, head + u32(i));
    if (type_of(&v) != TYPE_STRING && type_of(&v) != TYPE_FILE) api::fire("script", "invalid-arg", &v);
    texts.push_back(api::string::to_utf8(&v));
  }
  for (size_t i = 0; i + 1 < texts.size(); i += 2) out.push_back({texts[i], texts[i + 1]});
  return out;
}

void append_selected_files(cell* block, const std::vector<std::string>& paths) {
  for (const std::string& p : paths) {
    cell f{TYPE_NONE, 0, 0, 0};
    api::root_guard guard(&f);
    file_at(&f, p);
    api::cells::append(api::series::node(block), &f);
  }
}

void release_mouse_down() {
  loop_state& L = loop();
  if (!L.down_window) return;
  HWND h{L.down_window};
  window_extra* x = extra(h);
  if (x && slots_of(face_of_window(h)).counts_presses) x->font_or_count--;
  else L.down_dropped = true;
  L.down_window = 0;
}

void OS_request_file(const cell* title, const cell* file, const cell* filter, bool save, bool multi, cell* out) {
  dialogs::file_request q;
  // The filters are read first: a bad one is an error before any dialog opens.
  q.filters = filter_list(filter);
  if (q.filters.empty()) q.filters = dialogs::default_filters();
  q.title = text_arg(title).value_or("");
  if (auto name = text_arg(file)) {
    size_t slash = name->rfind('/');
    if (slash == std::string::npos) {
      q.name = *name;
    } else {
      q.asked_folder = slash == 0 ? "/" : name->substr(0, slash);
      q.name = name->substr(slash + 1);
    }
  }
  q.folder = resolve_folder(q.asked_folder);
  q.save = save;
  q.multi = multi;
  release_mouse_down();
  std::optional<std::vector<std::string>> a;
  if (dialogs::provider* p = dialogs::current()) a = p->request_file(q);
  if (!a || a->empty()) {
    *out = api::none();
    return;
  }
  if (!multi) {
    file_at(out, a->front());
    return;
  }
  cell b{TYPE_NONE, 0, 0, 0};
  api::root_guard guard(&b);
  api::cells::make_block(&b, u32(a->size()));
  append_selected_files(&b, *a);
  *out = b;
}

void OS_request_dir(const cell* title, const cell* dir, bool keep, cell* out) {
  dialogs::folder_request q;
  q.title = text_arg(title).value_or("");
  q.asked_start = keep ? kept_folder : text_arg(dir).value_or("");
  q.start = resolve_folder(q.asked_start);
  release_mouse_down();
  std::optional<std::string> a;
  if (dialogs::provider* p = dialogs::current()) a = p->request_folder(q);
  if (!a || a->empty()) {
    *out = api::none();
    return;
  }
  std::string d = *a;
  if (d.back() != '/') d += '/';
  if (keep) kept_folder = d;
  file_at(out, d);
}

}  // namespace vyr::gui
