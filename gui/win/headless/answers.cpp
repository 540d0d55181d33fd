// The answer queue, its file of answers and its log of requests.
#include "gui/win/headless/answers.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>

namespace vyr::win {

namespace {

std::vector<std::string> split(const std::string& line, char sep) {
  std::vector<std::string> out;
  size_t i = 0;
  for (;;) {
    size_t j = line.find(sep, i);
    out.push_back(line.substr(i, j == std::string::npos ? std::string::npos : j - i));
    if (j == std::string::npos) return out;
    i = j + 1;
  }
}

std::string folder_of(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// The style words of a font answer, in any number of fields, separated by spaces.
bool read_style(const std::vector<std::string>& fields, size_t from, bool& bold, bool& italic) {
  bold = italic = false;
  for (size_t i = from; i < fields.size(); ++i)
    for (const std::string& w : split(fields[i], ' ')) {
      if (w.empty() || w == "regular") continue;
      if (w == "bold") bold = true;
      else if (w == "italic") italic = true;
      else return false;
    }
  return true;
}

int read_points(const std::string& s) {
  if (s.empty() || s.size() > 4 || s.find_first_not_of("0123456789") != std::string::npos) return 0;
  return std::atoi(s.c_str());
}

std::string escaped(const std::string& s) {
  std::string out;
  for (char c : s) {
    if (c == '\\') out += "\\\\";
    else if (c == '\t') out += "\\t";
    else if (c == '\n') out += "\\n";
    else out += c;
  }
  return out;
}

}  // namespace

std::optional<std::string> answer_queue::bad_line(const std::vector<std::string>& f) {
  const std::string& kind = f[0];
  if (kind == "cancel") return std::nullopt;
  if (kind == "file") {
    if (f.size() < 2) return "a file answer names at least one file";
    for (size_t i = 1; i < f.size(); ++i) {
      if (f[i].empty() || f[i][0] != '/' || f[i].back() == '/') return "not an absolute file path: " + f[i];
      if (folder_of(f[i]) != folder_of(f[1])) return "the files of one answer lie in one folder";
    }
    return std::nullopt;
  }
  if (kind == "dir") {
    if (f.size() != 2 || f[1].empty() || f[1][0] != '/') return "a dir answer is one absolute path";
    return std::nullopt;
  }
  if (kind == "font") {
    bool b, i;
    if (f.size() < 3 || f[1].empty()) return "a font answer is a family, a size in points and style words";
    if (read_points(f[2]) <= 0) return "not a size in points: " + f[2];
    if (!read_style(f, 3, b, i)) return "style words are bold, italic or regular";
    return std::nullopt;
  }
  if (kind == "menu") {
    if (f.size() != 2 || f[1].empty()) return "a menu answer is one caption path";
    return std::nullopt;
  }
  return "no answer of this kind: " + kind;
}

bool answer_queue::load(const std::string& path, std::vector<std::string>* errors) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    if (errors) errors->push_back(path + ": cannot be read");
    return false;
  }
  std::string line;
  int n = 0;
  bool ok = true;
  while (std::getline(in, line)) {
    ++n;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.find_first_not_of(" \t") == std::string::npos) continue;
    std::vector<std::string> f = split(line, '\t');
    if (auto why = bad_line(f)) {
      ok = false;
      if (errors) errors->push_back(path + ":" + std::to_string(n) + ": " + *why);
      continue;
    }
    queue_dialog({f[0], std::vector<std::string>(f.begin() + 1, f.end())});
  }
  return ok;
}

std::optional<answer_queue::answer> answer_queue::take(const char* request_kind, const char* answer_kind) {
  if (!answers_.empty() && answers_.front().kind == "cancel") {
    answers_.pop_front();
    return std::nullopt;
  }
  if (answers_.empty() || answers_.front().kind != answer_kind) {
    ++unexpected;
    std::fprintf(stderr, "headless display: no answer queued for a %s dialog\n", request_kind);
    return std::nullopt;
  }
  answer a = std::move(answers_.front());
  answers_.pop_front();
  return a;
}

void answer_queue::log(std::vector<std::string> fields) {
  if (request_log.empty()) return;
  std::string line;
  for (size_t i = 0; i < fields.size(); ++i) line += (i ? "\t" : "") + escaped(fields[i]);
  line += '\n';
  if (FILE* f = std::fopen(request_log.c_str(), "ab")) {
    std::fwrite(line.data(), 1, line.size(), f);
    std::fclose(f);
  }
}

std::optional<std::vector<std::string>> answer_queue::request_file(const dialogs::file_request& q) {
  std::string filters;
  for (const auto& f : q.filters) filters += (filters.empty() ? "" : "|") + f.description + "|" + f.patterns;
  const char* kind = q.save ? "save-file" : "open-file";
  log({kind, q.title, q.asked_folder, q.name, filters, q.multi ? "multi" : "single"});
  auto a = take(kind, "file");
  if (!a) return std::nullopt;
  if (!q.multi) a->values.resize(1);
  return a->values;
}

std::optional<std::string> answer_queue::request_folder(const dialogs::folder_request& q) {
  log({"folder", q.title, q.asked_start});
  auto a = take("folder", "dir");
  if (!a) return std::nullopt;
  std::string d = a->values[0];
  if (d.back() != '/') d += '/';
  return d;
}

std::optional<dialogs::font_choice> answer_queue::request_font(const dialogs::font_request& q) {
  log({"font", q.initial.family, std::to_string(q.initial.points), q.mono ? "mono" : "any"});
  auto a = take("font", "font");
  if (!a) return std::nullopt;
  dialogs::font_choice c;
  c.family = a->values[0];
  c.points = read_points(a->values[1]);
  read_style(a->values, 2, c.bold, c.italic);
  return c;
}

void answer_queue::message_box(const dialogs::box_request& q) {
  log({"message-box", q.caption, q.text});
  boxes.push_back(q.caption + ": " + q.text);
}

menus::popup_answer answer_queue::popup_menu(const std::vector<std::string>& captions) {
  std::string all;
  for (size_t i = 0; i < captions.size(); ++i) all += (i ? "|" : "") + captions[i];
  log({"menu", all});
  menus::popup_answer r;
  r.kind = menus::popup_answer::cancel;
  if (auto a = take("menu", "menu")) {
    r.kind = menus::popup_answer::path;
    r.item_path = a->values[0];
  }
  return r;
}

}  // namespace vyr::win
