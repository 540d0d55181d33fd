// The fixture of the backend's event tests: the runtime with the environment, a GUI on
// the headless display with the face types' classes, a recording `awake`, faces made by
// hand with every facet, shown as top levels or `base` children, and realised as the
// View engine would.
#pragma once
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <map>
#include <string>
#include <vector>
#include <cairo.h>

#include "boot/environment.h"
#include "gui/backend/base_face.h"
#include "gui/backend/draw_face.h"
#include "gui_entry/module.h"
#include "gui/backend/events.h"
#include "gui/backend/lifecycle.h"
#include "gui/module.h"
#include "gui/face/face_values.h"
#include "runtime/datatypes/image.h"
#include "runtime/imaging/imaging.h"
#include "gui/win/headless/answers.h"
#include "gui/win/headless/display.h"
#include "runtime/collector.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/event.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/word.h"
#include "runtime/interpreter/trace.h"
#include "tests/unit/fixture.h"
#include "tests/unit/gui/gui_fixture.h"
#include "tests/unit/value_helpers.h"

namespace vyr::test {
using namespace vyr::gui;
namespace ev = vyr::event;

// What the recorder saw, one line per event: "type key offset picked flags". Shared by every
// file that includes this fixture (one definition for the program).
inline std::vector<std::string> seen;
inline std::map<std::string, std::string> answers;             // type -> word to answer
inline std::function<void(const std::string&)> on_event;       // runs inside the handler

inline std::string field_text(const cell* e, u32 index) {
  cell out;
  ev::get_field(e, index, &out);
  collector::root_guard g(&out);
  return mold_text(out);
}

inline cell recorder(const cell* e) {
  std::string type = field_text(e, ev::F_TYPE);
  seen.push_back(type + " " + field_text(e, ev::F_KEY) + " " + field_text(e, ev::F_OFFSET) + " " +
                 field_text(e, ev::F_PICKED) + " " + field_text(e, ev::F_FLAGS));
  if (on_event) on_event(type);
  auto a = answers.find(type);
  if (a == answers.end()) return cell{TYPE_NONE, 0, 0, 0};
  return word::intern(a->second.c_str());
}

inline std::string prefix(const std::string& s, const std::string& p) { return s.substr(0, p.size()); }

inline std::vector<std::string> types() {
  std::vector<std::string> t;
  for (auto& s : seen) t.push_back(s.substr(0, s.find(' ')));
  return t;
}

class events : public ::testing::Test {
 protected:
  win::headless_display* hd = nullptr;
  const char* screens = "1920x1080+0+0@96";   // of the headless display
  void SetUp() override {
    hd = start_gui_module(screens);
    seen.clear();
    answers.clear();
    on_event = nullptr;
    awake = recorder;
    quiet_errors = true;
    caught_errors.clear();
    loop() = loop_state{};
    base() = base_state{};
  }
  void TearDown() override {
    awake = nullptr;
    on_event = nullptr;
    stop_gui_module();
  }
  cell run(const std::string& text) { return run_reporting(text); }
  // A face object with the facets in their positions, kept by the word `name`.
  cell face(const std::string& name, const char* type, const char* flags = "none") {
    return run(name + ": make object! [type: '" + type +
               " offset: 0x0 size: 300x200 text: image: color: menu: data: none enabled?: true "
               "visible?: true selected: none flags: " + flags +
               " options: parent: pane: none state: [] rate: edge: para: font: actors: extra: "
               "draw: none] " + name);
  }
  win::HWND show(const cell& f, int x = 100, int y = 100, u32 style = win::WS_OVERLAPPEDWINDOW) {
    win::HWND h = win::CreateWindowEx(0, "VyrWindow", "", style | win::WS_VISIBLE, x, y, 300, 200,
                                      win::HWND{}, win::HMENU{}, const_cast<cell*>(&f));
    win::extra(h)->face_flags = get_flags(facet(&f, facet_index::flags));
    win::SetActiveWindow(h);
    win::SetFocus(h);
    return h;
  }
  void pump() { while (do_events(true)) {} }
};

class base_faces : public events {
 protected:
  win::HWND top{};
  win::HWND child(const cell& f, int x = 10) {
    win::HWND h = win::CreateWindowEx(0, "VyrBase", "", win::WS_CHILD | win::WS_VISIBLE, x, 10, 50, 40,
                                      top, win::HMENU{}, const_cast<cell*>(&f));
    init_base_window(h, top, &f);
    return h;
  }
  void open_top() {
    cell w = face("w", "window");
    top = show(w);
    pump();
  }
};

// A pixel of a window's surface as 0xAARRGGBB (premultiplied).
inline u32 surface_pixel(win::HWND h, int x, int y) {
  cairo_surface_t* s = win::window_surface(h);
  if (!s) return 0xDEADBEEFu;
  cairo_surface_flush(s);
  return *reinterpret_cast<const u32*>(cairo_image_surface_get_data(s) +
                                       y * cairo_image_surface_get_stride(s) + x * 4);
}

class lifecycle : public base_faces {
 protected:
  // The face's state as make-view leaves it for the View engine: [handle mask none false].
  void realise(const cell& f, u32 h) {
    run(std::string("v-face: none"));
    cell* state = facet(&f, facet_index::state);
    cell st;
    block::make_at(&st, 4);
    collector::root_guard g(&st);
    cell hc{TYPE_HANDLE, 3, h, 0xFFFFFFFFu}, mask{TYPE_INTEGER, 0, 0, 0}, no{TYPE_NONE, 0, 0, 0},
      lf{TYPE_LOGIC, 0, 0, 0};
    block::rs_append(&st, &hc);
    block::rs_append(&st, &mask);
    block::rs_append(&st, &no);
    block::rs_append(&st, &lf);
    state = facet(&f, facet_index::state);
    *state = st;
  }
  void push_change(const cell& f, u32 facet_bit) {
    cell* state = facet(&f, facet_index::state);
    cell st = *state;
    block::rs_abs_at(&st, 1)->data2 |= 1u << facet_bit;
    OS_update_view(&f);
  }
};

class window_faces : public lifecycle {
 public:
  // A face of `type` kept by the word `name`, made from `spec` over every facet's default.
  cell make(const std::string& name, const char* type, const std::string& spec) {
    return run(name + ": make object! [type: '" + type +
               " offset: 0x0 size: 100x100 text: image: color: menu: data: none enabled?: true "
               "visible?: true selected: flags: options: parent: pane: state: rate: edge: para: "
               "font: actors: extra: draw: none " + spec + "] " + name);
  }
  // Made and realised as `show` does, under `parent` (0: a top level), and painted.
  win::HWND shown(const cell& f, u32 parent = 0) {
    u32 h = OS_make_view(&f, parent);
    EXPECT_NE(h, 0u);
    realise(f, h);
    if (!parent) OS_show_window(win::HWND(h));
    pump();
    return win::HWND(h);
  }
  // The composed pixel of a top level at client (x, y), as the display was last shown it.
  u32 shown_pixel(win::HWND top_level, int x, int y) {
    cairo_surface_t* s = win::compose(top_level);
    cairo_surface_flush(s);
    u32 p = *reinterpret_cast<const u32*>(cairo_image_surface_get_data(s) +
                                          y * cairo_image_surface_get_stride(s) + x * 4);
    cairo_surface_destroy(s);
    return p;
  }
};

}  // namespace vyr::test
