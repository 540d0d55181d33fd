// The clipboard over a store of C++ data. Text is kept with LF line ends: the CR LF a
// platform clipboard may use is the store's concern.
#include "runtime/host/clipboard.h"

#include <poll.h>

#include <chrono>

#include "runtime/codecs/images.h"
#include "runtime/collector.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/image.h"
#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/series.h"
#include "runtime/fire.h"
#include "runtime/platform.h"
#include "runtime/datatypes/cells.h"

namespace vyr::clipboard {

namespace {

class process_store : public store {
 public:
  bool get(content* out) override {
    *out = held_;
    return true;
  }
  bool set(const content& in) override {
    held_ = in;
    return true;
  }

 private:
  content held_;
};

process_store in_process;
store* installed = nullptr;

void load_text(const std::string& text, cell* out, u32 type) {
  string::load_at(text.data(), static_cast<u32>(text.size()), out, string::ENCODING_UTF8);
  set_type(out, type);
}

}  // namespace

store& current() { return installed ? *installed : in_process; }
void install(store* s) { installed = s; }

namespace {
void (*connector)() = nullptr;

// The store a read or write goes to: a display whose clipboard is not connected yet is
// connected now, once.
store& for_transfer() {
  if (!installed && connector) {
    void (*connect)() = connector;
    connector = nullptr;
    connect();
  }
  return current();
}
}  // namespace

void connect_on_first_use(void (*connect)()) { connector = connect; }

void sleep_serving(double seconds) {
  if (current().serve_fd() < 0) return platform::sleep(seconds);
  auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  for (;;) {
    current().serve();
    auto left = std::chrono::ceil<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
    if (left.count() <= 0) return;
    int fd = current().serve_fd();   // -1 once the connection is gone
    if (fd < 0) return platform::sleep(static_cast<double>(left.count()) / 1000.0);
    pollfd p{fd, POLLIN, 0};
    poll(&p, 1, static_cast<int>(left.count()));
  }
}

void at_exit() { current().hand_over(); }

cell* read(cell* out) {
  collector::root_guard keep(out);
  content c;
  if (!for_transfer().get(&c) || c.kind == content::EMPTY) {
    *out = false_value;
    return out;
  }
  switch (c.kind) {
    case content::TEXT: {
      // A text that arrived with CR LF (or lone CR) gets LF only.
      std::string t;
      t.reserve(c.text.size());
      for (size_t i = 0; i < c.text.size(); i++) {
        if (c.text[i] == '\r') {
          t += '\n';
          if (i + 1 < c.text.size() && c.text[i + 1] == '\n') i++;
        } else {
          t += c.text[i];
        }
      }
      load_text(t, out, TYPE_STRING);
      return out;
    }
    case content::FILES: {
      cell blk{TYPE_UNSET, 0, 0, 0}, f{TYPE_UNSET, 0, 0, 0};
      collector::root_guard keep_blk(&blk), keep_f(&f);
      cells::make_block(&blk, static_cast<u32>(c.files.size()));
      for (const std::string& name : c.files) {
        load_text(name, &f, TYPE_FILE);  // the local path is the file's own text here
        cells::append(series::node(&blk), &f);
      }
      *out = blk;
      return out;
    }
    case content::PNG: {
      cell img{TYPE_UNSET, 0, 0, 0};
      collector::root_guard keep_img(&img);
      image::raster r = image_codecs::decode(c.png.data(), c.png.size(), image_codecs::PNG);
      image::make_at(&img, image::make_record(std::move(r)));
      *out = img;
      return out;
    }
    case content::EMPTY: case content::NO_VALUE:
      break;
  }
  *out = cell{TYPE_NONE, 0, 0, 0};
  return out;
}

bool write(const cell* value_in) {
  cell value = *value_in;
  collector::root_guard keep(&value);
  content c;
  switch (type_of(&value)) {
    case TYPE_NONE:
      break;
    case TYPE_STRING:
      c.kind = content::TEXT;
      c.text = string::to_utf8(&value);
      break;
    case TYPE_BLOCK: {
      c.kind = content::FILES;
      u32 n = cells::remaining(&value);
      for (u32 i = 0; i < n; i++) {
        cell item = *cells::get(series::node(&value), series::index(&value) + i);
        if (type_of(&item) != TYPE_FILE) fire("script", "invalid-arg", &item);
        std::string path = string::to_utf8(&item);
        if (path.find('\0') != std::string::npos) fire("script", "invalid-arg", &item);
        c.files.push_back(std::move(path));
      }
      break;
    }
    case TYPE_IMAGE: {  // as PNG; an image without pixels empties the clipboard
      if (image::pixel_count(&value) == 0 || !series::node(&value)) break;
      image::lock pixels(&value, false);
      c.kind = content::PNG;
      c.png = image_codecs::encode(pixels.data(), image::width_of(&value), image::height_of(&value),
                                   image_codecs::PNG);
      break;
    }
    default:
      fire("script", "invalid-arg", &value);
  }
  return for_transfer().set(c);
}

}  // namespace vyr::clipboard
