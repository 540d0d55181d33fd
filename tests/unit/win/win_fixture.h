// A headless layer for each test, and a window class that records what it receives.
#pragma once
#include <gtest/gtest.h>

#include <vector>

#include "gui/win/headless/display.h"

namespace vyr::win::test {

struct seen { HWND hwnd; uint32_t msg; WPARAM wp; LPARAM lp; };
inline std::vector<seen> g_seen;
inline bool g_validate_paint = true;

inline LRESULT recording_proc(HWND h, uint32_t m, WPARAM wp, LPARAM lp) {
  g_seen.push_back({h, m, wp, lp});
  if (m == WM_PAINT && !g_validate_paint) return 0;
  return DefWindowProc(h, m, wp, lp);
}

// The messages seen so far with ids in `keep`, in order.
inline std::vector<uint32_t> seen_of(std::initializer_list<uint32_t> keep) {
  std::vector<uint32_t> out;
  for (auto& s : g_seen)
    for (uint32_t k : keep) if (s.msg == k) out.push_back(s.msg);
  return out;
}

class layer : public ::testing::Test {
 protected:
  headless_display* hd = nullptr;
  void SetUp() override { start(""); }
  void start(std::string_view screens) {
    auto d = std::make_unique<headless_display>(screens);
    hd = d.get();
    install(std::move(d));
    g_seen.clear();
    g_validate_paint = true;
    WNDCLASSEX wc;
    wc.lpszClassName = "Recorder";
    wc.lpfnWndProc = recording_proc;
    wc.style = CS_DBLCLKS;
    wc.hbrBackground = RGB(255, 255, 255);
    RegisterClassEx(wc);
  }
  void TearDown() override { shutdown(); }

  HWND top(int x = 100, int y = 100, int w = 400, int h = 300, uint32_t style = WS_POPUP | WS_VISIBLE) {
    return CreateWindowEx(0, "Recorder", "top", style, x, y, w, h, HWND{}, HMENU{}, nullptr);
  }
  HWND child(HWND parent, int x, int y, int w, int h, uint32_t style = WS_CHILD | WS_VISIBLE) {
    return CreateWindowEx(0, "Recorder", "", style, x, y, w, h, parent, HMENU{}, nullptr);
  }
  // Dispatches every message the queue holds now; returns how many.
  int pump(int limit = 1000) {
    MSG m;
    int n = 0;
    while (n < limit && PeekMessage(m, HWND{}, 0, 0, PM_REMOVE)) {
      if (m.message == WM_QUIT) { ++n; continue; }
      TranslateMessage(m);
      DispatchMessage(m);
      ++n;
    }
    return n;
  }
};

}  // namespace vyr::win::test
