// `camera` faces: a window showing the live picture of a capture device. Its `data` lists
// the devices found, its `selected` picks one, its `image` takes a frame. The devices, the
// capture thread and the frame hand-over live in gui/camera; this file ties them to the face
// and the window. A capture thread is always stopped and joined before anything it uses goes.
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "gui/camera/capture.h"
#include "gui/camera/frames.h"
#include "gui/camera/preview.h"
#include "gui/backend/events.h"
#include "gui/widgets/widgets.h"
#include "runtime/api/values.h"

namespace vyr::gui {

using namespace win;

// Takes the next frame of the camera window into `out` as an image!, waiting up to 3.0 s of
// real time; none without a device, or when no frame came.
void grab_frame(HWND, cell* out);
// Stops the window's capture (returning once its thread has ended) and lets its device go.
void release_camera(HWND);

namespace {

// The camera record of a window: how many devices its face lists, the opened device with its
// frame record and capture thread, and the aspect ratio of the preview set up last (its own,
// so that two camera faces never share one).
struct camera_state {
  size_t devices = 0;
  std::unique_ptr<camera::source> device;
  std::unique_ptr<camera::frame_record> frames;
  camera::capture capture;
  double ratio = 0;
};

// The records, by the 1-based id their window's type slot holds (0: none).
std::vector<std::unique_ptr<camera_state>>& records() {
  static std::vector<std::unique_ptr<camera_state>> all;
  return all;
}

camera_state* record_of(HWND h) {
  window_extra* x = extra(h);
  if (!x || !x->type_slot || x->type_slot > records().size()) return nullptr;
  return records()[x->type_slot - 1].get();
}

u32 keep(std::unique_ptr<camera_state> r) {
  auto& all = records();
  for (size_t i = 0; i < all.size(); i++)
    if (!all[i]) {
      all[i] = std::move(r);
      return u32(i + 1);
    }
  all.push_back(std::move(r));
  return u32(all.size());
}

// The frame as an image! in `out` (rows as they came: device frames are top-down).
void make_image(const camera::frame_record& f, cell* out) {
  u32 node = api::image::make_from_memory(f.width(), f.height(), 0, reinterpret_cast<const u8*>(f.pixels()));
  api::image::make_at(out, node);
}

// A frame record for the window's device, its first frame wanted: that frame becomes the
// face's image when the face has none. False when there is no memory for its frames.
bool new_frames(HWND h, camera_state& r) {
  try {
    r.frames = std::make_unique<camera::frame_record>(r.device->width(), r.device->height(),
                                                      camera::frame_record::WANTED,
                                                      [h](u32 m) { PostMessage(h, m, 0, 0); });
  } catch (const std::bad_alloc&) {
    return false;
  }
  r.ratio = double(r.device->width()) / r.device->height();
  return true;
}

// The face's `ratio` field, when it has one holding a float!, takes the preview's ratio.
void set_ratio_field(const cell* face, double ratio) {
  cell* field = api::object::field_named(face, "ratio");
  if (field && type_of(field) == TYPE_FLOAT) api::float_::make_at(field, ratio);
}

// True when the block holds, from its head, a string equal to `name`.
bool lists_name(const cell* list, const std::string& name) {
  u32 used = u32(api::head_index(list) + api::host().block_length(list));
  for (u32 i = 0; i < used; i++) {
    const cell* c = api::host().block_at(list, i);
    if (type_of(c) == TYPE_STRING && api::string::to_utf8(c) == name) return true;
  }
  return false;
}

// Appends the devices' names to the face's `data` block, made first when `data` holds
// none; a name already listed (the face shown again) is not added twice. Answers how many
// devices there are.
size_t enumerate_cameras(const cell* face) {
  std::vector<std::string> names = camera::system_provider().list();
  cell* data = facet(face, facet_index::data);
  if (!data) return names.size();
  if (type_of(data) != TYPE_BLOCK) {
    cell b;
    api::host().make_block(&b, i32(names.size()));
    *facet(face, facet_index::data) = b;
  }
  cell list = *facet(face, facet_index::data);
  api::root_guard lg(&list);
  for (const std::string& n : names)
    if (!lists_name(&list, n)) api::string::load_in_default(n.data(), u32(n.size()), api::series::node(&list));
  return names.size();
}

// Starts (or stops) the capture of the window's device. A device that comes back at
// another size gets a frame record of that size.
void run_camera(HWND h, bool run) {
  camera_state* r = record_of(h);
  if (!r || !r->device || !r->frames) return;
  if (!run) {
    r->capture.stop();
    return;
  }
  if (r->capture.running()) return;
  auto start = [&] {
    camera::frame_record* f = r->frames.get();
    return r->capture.start(*r->device, [f](const u32* px, u32 w, u32 h) { f->deliver(px, w, h); });
  };
  if (start() && (r->device->width() != r->frames->width() || r->device->height() != r->frames->height())) {
    r->capture.stop();
    if (new_frames(h, *r)) start();
  }
  InvalidateRect(h, nullptr, false);
}

// Opens device `index` for the window, letting the current one go first. An index outside
// the device list raises cannot-open with index + 1; a device that cannot be opened leaves
// nothing shown and answers false.
bool select_camera(HWND h, i64 index) {
  camera_state* r = record_of(h);
  if (!r || index < 0 || u64(index) >= r->devices) {
    cell n;
    api::integer::make_at(&n, i32(index + 1));
    api::fire("access", "cannot-open", &n);
  }
  release_camera(h);
  r->device = camera::system_provider().open(size_t(index));
  bool ready = r->device && new_frames(h, *r);
  if (!ready) r->device.reset();
  InvalidateRect(h, nullptr, false);
  return ready;
}

// Selects device `selected` - 1 of the face and starts it, the face's `ratio` following.
void select_and_run(HWND h, const cell* face) {
  const cell* selected = facet(face, facet_index::selected);
  if (!selected || type_of(selected) != TYPE_INTEGER) return;
  if (!select_camera(h, i64(api::integer::get(selected)) - 1)) return;
  set_ratio_field(face, record_of(h)->ratio);
  run_camera(h, true);
}

void make_camera(HWND h, const cell* face) {
  size_t n = enumerate_cameras(face);
  if (window_extra* x = extra(h)) x->type_slot = 0;
  if (!n) return;
  auto r = std::make_unique<camera_state>();
  r->devices = n;
  u32 id = keep(std::move(r));
  if (window_extra* x = extra(h)) x->type_slot = id;
  select_and_run(h, face);
}

// The posted frame becomes the face's image when the face has none; the hand-over goes
// back to idle either way.
void camera_frame_posted(HWND h) {
  camera_state* r = record_of(h);
  if (!r || !r->frames || !r->frames->ready()) return;
  const cell* face = face_of_window(h);
  const cell* image = face ? facet(face, facet_index::image) : nullptr;
  if (image && type_of(image) == TYPE_NONE) {
    cell v;
    make_image(*r->frames, &v);
    if (cell* slot = facet(face_of_window(h), facet_index::image)) *slot = v;
  }
  r->frames->clear_ready();
}

void free_camera(HWND h) {
  window_extra* x = extra(h);
  if (!x || !x->type_slot || x->type_slot > records().size()) return;
  release_camera(h);
  records()[x->type_slot - 1].reset();
  x->type_slot = 0;
}

LRESULT camera_wndproc(HWND h, u32 msg, WPARAM w, LPARAM l) {
  switch (msg) {
    case WM_DESTROY:
      free_camera(h);
      break;
    case camera::FRAME_POSTED:
      camera_frame_posted(h);
      return 0;
    case camera::PREVIEW_POSTED:
      if (camera_state* r = record_of(h); r && r->frames) {
        r->frames->preview_taken();
        InvalidateRect(h, nullptr, false);
      }
      return 0;
    case WM_ERASEBKGND:
      return 1;   // the paint covers every pixel
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(h, ps);
      RECT c;
      GetClientRect(h, c);
      camera_state* r = record_of(h);
      camera::paint_preview(cairo_of(dc), c.width(), c.height(), r ? r->frames.get() : nullptr, r ? r->ratio : 0);
      EndPaint(h, ps);
      return 0;
    }
  }
  return DefWindowProc(h, msg, w, l);
}

HWND make_camera_view(const cell* face_in, HWND parent, u32 flags) {
  cell f = *face_in;
  api::root_guard guard(&f);
  const cell* face = &f;
  HWND h = widgets::create_child(face, parent, flags, "VyrCamera", 0);
  if (is_null(h)) return h;
  // The capture starts before the face is attached, so that a `selected` outside the list
  // (an error) leaves no window behind.
  try {
    make_camera(h, face);
  } catch (...) {
    DestroyWindow(h);
    throw;
  }
  widgets::attach(h, face, flags);
  return h;
}

void sync_camera(const cell* face_in, HWND h, u32 mask) {
  cell f = *face_in;
  api::root_guard guard(&f);
  const cell* face = &f;
  widgets::sync_window(face, h, mask);
  auto bit = [&](u32 n) { return (mask >> n) & 1; };
  // A new size places the video anew: the paint fits it into the client area.
  if (bit(facet_index::size)) InvalidateRect(h, nullptr, false);
  if (bit(facet_index::selected)) {
    const cell* selected = facet(face, facet_index::selected);
    if (selected && type_of(selected) == TYPE_NONE) run_camera(h, false);
    else select_and_run(h, face);
  }
  if (bit(facet_index::image)) {
    cell v;
    grab_frame(h, &v);
    if (cell* slot = facet(face, facet_index::image)) *slot = v;
  }
}

}  // namespace

void grab_frame(HWND h, cell* out) {
  *out = cell{TYPE_NONE, 0, 0, 0};
  camera_state* r = record_of(h);
  if (!r || !r->frames) return;
  cell v{TYPE_NONE, 0, 0, 0};
  if (r->frames->grab()) make_image(*r->frames, &v);
  r->frames->release();
  *out = v;
}

void release_camera(HWND h) {
  camera_state* r = record_of(h);
  if (!r) return;
  r->capture.stop();
  r->frames.reset();
  r->device.reset();
}

namespace widgets {
namespace {
void release(const cell*, HWND h) { release_camera(h); }

// A camera's picture is its next frame, kept as its `image` too.
void picture(cell* face, HWND h, cell* out) {
  cell frame{TYPE_NONE, 0, 0, 0};
  if (!is_null(h)) {
    api::root_guard guard(face);
    grab_frame(h, &frame);
    if (cell* image = facet(face, facet_index::image)) *image = frame;
  }
  *out = frame;
}
}  // namespace

extern const face_type_record camera_record = {
    .window_class = "VyrCamera",
    .procedure = camera_wndproc,
    .make = make_camera_view,
    .sync = sync_camera,
    .release = release,
    .picture = picture,
    .geometry = geometry_batch::alone,
};
}  // namespace widgets

}  // namespace vyr::gui
