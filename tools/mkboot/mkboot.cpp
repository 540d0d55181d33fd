// vyr-mkboot: builds the boot image from the environment's Vyr sources.
//
// Usage: vyr-mkboot [--depfile DEPFILE] ENVIRONMENT_DIR OUTPUT.cpp
//
// Reads ENVIRONMENT_DIR/manifest.txt, scans every file it names with the lexer (a syntax
// error fails the build, naming the file and the line), and writes OUTPUT.cpp: the table
// `vyr::boot::environment_files` (the manifest and the data files, as text; the evaluated
// files by name only) and `vyr::boot::boot_image`: a VYRBIN boot document in the compact
// form that start-up decodes instead of scanning text. The image first sets the words of
// the datatypes, actions and natives (assignment pairs, values taken from a construction
// run here from the sources), then holds one root block per evaluated file, in manifest
// order. The tool is linked without an image of its own (the runtime's empty default).
//
// With --depfile it also writes DEPFILE, a make-style rule naming the manifest and every
// file the manifest names, wherever it lies (environment/, console/, view/...): the build
// rebuilds the image when any of them changes, without a list of folders of its own.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "boot/construction.h"
#include "boot/environment.h"
#include "boot/init.h"
#include "runtime/codecs/vyrbin.h"
#include "runtime/collector.h"
#include "runtime/datatypes/context.h"
#include "runtime/datatypes/series.h"
#include "runtime/datatypes/cells.h"
#include "runtime/fire.h"
#include "runtime/lexer/lexer_load.h"

namespace {

bool read(const std::string& path, std::string* out) {
  std::ifstream f(path, std::ios::binary);
  if (!f) return false;
  std::ostringstream s;
  s << f.rdbuf();
  *out = s.str();
  return true;
}

// The bytes as a C++ array initialiser.
void emit_bytes(std::string& out, const std::string& data) {
  char buf[8];
  for (size_t i = 0; i < data.size(); i++) {
    std::snprintf(buf, sizeof buf, "%d,", static_cast<signed char>(data[i]));
    out += buf;
    if (i % 24 == 23) out += '\n';
  }
  out += "0";
}

// A path as a make rule names it: absolute, `..` resolved, spaces escaped.
std::string rule_path(const std::string& path) {
  std::string p = std::filesystem::absolute(path).lexically_normal().string();
  std::string out;
  for (char c : p) {
    if (c == ' ' || c == '#') out += '\\';
    if (c == '$') out += '$';
    out += c;
  }
  return out;
}

// OUTPUT: its inputs, one per continued line. Written afresh on every run, so that a file
// added to the manifest is watched from the next build on.
bool write_depfile(const std::string& depfile, const std::string& output,
                   const std::vector<std::string>& inputs) {
  std::string text = rule_path(output) + ":";
  for (const std::string& in : inputs) text += " \\\n  " + rule_path(in);
  text += "\n";
  std::ofstream f(depfile, std::ios::binary);
  f << text;
  return bool(f);
}

}  // namespace

int main(int argc, char** argv) {
  std::string depfile;
  if (argc == 5 && std::string(argv[1]) == "--depfile") {
    depfile = argv[2];
    argv += 2;
    argc -= 2;
  }
  if (argc != 3) {
    std::fprintf(stderr, "usage: vyr-mkboot [--depfile DEPFILE] ENVIRONMENT_DIR OUTPUT.cpp\n");
    return 2;
  }
  std::string dir = argv[1], output = argv[2];
  // The runtime reads its data files (the currency list) from the sources being built.
  setenv("VYR_BOOT_DIR", dir.c_str(), 1);
  std::string manifest;
  if (!read(dir + "/manifest.txt", &manifest)) {
    std::fprintf(stderr, "vyr-mkboot: cannot read %s/manifest.txt\n", dir.c_str());
    return 1;
  }
  struct file {
    std::string name, text;
    bool evaluate;
  };
  std::vector<file> files;
  std::vector<std::string> inputs{dir + "/manifest.txt"};
  try {
    vyr::boot::init_runtime();
    for (const vyr::boot::manifest_entry& e : vyr::boot::parse_manifest(manifest)) {
      if (e.kind == vyr::boot::entry_kind::stage) continue;
      std::string path = dir + "/" + e.name;
      file f{e.name, "", e.kind != vyr::boot::entry_kind::data};
      inputs.push_back(path);
      if (!read(path, &f.text)) {
        std::fprintf(stderr, "%s: cannot read the file\n", path.c_str());
        return 1;
      }
      try {
        vyr::cell block{vyr::TYPE_NONE, 0, 0, 0};
        vyr::collector::root_guard g(&block);
        vyr::lexer::scan(&block, reinterpret_cast<const vyr::u8*>(f.text.data()),
                         vyr::u32(f.text.size()));
      } catch (const vyr::thrown& t) {
        // The report's first line holds the message and the line (its Where and Near
        // lines name nothing of the file).
        std::string report = vyr::boot::error_report(t);
        report = report.substr(0, report.find('\n'));
        std::fprintf(stderr, "%s: %s\n", path.c_str(), report.c_str());
        return 1;
      }
      files.push_back(std::move(f));
    }
  } catch (const vyr::thrown& t) {
    std::fprintf(stderr, "vyr-mkboot: %s\n", vyr::boot::error_report(t).c_str());
    return 1;
  }
  files.push_back({"manifest.txt", manifest, false});

  // The image. Its body is stored uncompressed: decoding it raw starts faster than
  // unpacking it first (measured with bench/startup), and `vyr` pays the space only once.
  std::string image;
  try {
    using namespace vyr;
    boot::build_environment();
    cell held{TYPE_NONE, 0, 0, 0};
    collector::root_guard gh(&held);
    cells::make_block(&held, 64);
    vyrbin::boot_document doc(true);
    for (const file& f : files) {
      if (!f.evaluate) continue;
      cell block{TYPE_NONE, 0, 0, 0};
      collector::root_guard gb(&block);
      lexer::scan(&block, reinterpret_cast<const u8*>(f.text.data()), u32(f.text.size()));
      cells::append(series::node(&held), &block);
      doc.root(&block);
    }
    // After the roots, so that decoding meets the words in the order the sources have them.
    // The typesets go first: making an action or a native reads its argument types.
    u32 g = _context::global;
    for (u32 pass = 0; pass < 2; pass++) {
      for (u32 i = 0; i < _context::word_count(g) && i < _context::value_count(g); i++) {
        u32 t = type_of(_context::value_at(g, i));
        if (pass == 0 ? t != TYPE_TYPESET
                      : t != TYPE_DATATYPE && t != TYPE_ACTION && t != TYPE_NATIVE)
          continue;
        cell w = *_context::word_at(g, i);
        cell v = *_context::value_at(g, i);
        cells::append(series::node(&held), &w);
        cells::append(series::node(&held), &v);
        doc.assign(&w, &v);
      }
    }
    cell out{TYPE_NONE, 0, 0, 0};
    collector::root_guard go(&out);
    doc.finish(&out, std::getenv("VYR_MKBOOT_LZ") != nullptr);
    series_buffer* b = buffer_of(series::node(&out));
    image.assign(reinterpret_cast<const char*>(b->head()), b->tail - b->offset);
  } catch (const vyr::thrown& t) {
    std::fprintf(stderr, "vyr-mkboot: %s\n", vyr::boot::error_report(t).c_str());
    return 1;
  }

  std::string out =
      "// Generated by vyr-mkboot from environment/manifest.txt: the boot image.\n"
      "#include \"boot/environment.h\"\n\nnamespace vyr::boot {\n\nnamespace {\n";
  for (size_t i = 0; i < files.size(); i++) {
    if (files[i].evaluate) continue;
    out += "const char file" + std::to_string(i) + "[] = {";
    emit_bytes(out, files[i].text);
    out += "};\n";
  }
  out += "}  // namespace\n\nconst environment_file environment_files[] = {\n";
  for (size_t i = 0; i < files.size(); i++) {
    if (files[i].evaluate)
      out += "  {\"" + files[i].name + "\", 0, \"\", true},\n";
    else
      out += "  {\"" + files[i].name + "\", " + std::to_string(files[i].text.size()) +
             ", file" + std::to_string(i) + ", false},\n";
  }
  out += "};\nconst unsigned environment_file_count = " + std::to_string(files.size()) +
         ";\n\nalignas(16) const char boot_image[] = {";
  emit_bytes(out, image);
  out += "};\nconst unsigned boot_image_size = " + std::to_string(image.size()) +
         ";\n\n}  // namespace vyr::boot\n";
  if (!depfile.empty() && !write_depfile(depfile, output, inputs)) {
    std::fprintf(stderr, "vyr-mkboot: cannot write %s\n", depfile.c_str());
    return 1;
  }
  // An unchanged image is not rewritten, so nothing rebuilds for nothing.
  std::string old;
  if (read(output, &old) && old == out) return 0;
  std::ofstream f(output, std::ios::binary);
  f << out;
  if (!f) {
    std::fprintf(stderr, "vyr-mkboot: cannot write %s\n", output.c_str());
    return 1;
  }
  return 0;
}
