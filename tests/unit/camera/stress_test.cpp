// Camera windows made, switched between devices and destroyed while their devices stream,
// 200 times: the capture threads and the GUI thread share only the frame records, so the
// sanitizers (address and thread) must find nothing.
#include <thread>

#include "gui/camera/fake.h"
#include "gui/camera/frames.h"
#include "tests/unit/camera/camera_fixture.h"

namespace vyr::camera::test {

namespace {

// What a camera window holds: its device, the capture thread and the frame record.
struct window_side {
  std::unique_ptr<source> device;
  std::unique_ptr<frame_record> frames;
  capture cap;
  std::atomic<int> posted{0};

  bool select(provider& p, size_t index) {
    release();
    device = p.open(index);
    if (!device) return false;
    frames = std::make_unique<frame_record>(device->width(), device->height(), frame_record::WANTED,
                                            [this](uint32_t) { posted++; });
    return cap.start(*device, [f = frames.get()](const uint32_t* px, uint32_t w, uint32_t h) { f->deliver(px, w, h); });
  }
  // Stopped and joined before anything the thread uses goes.
  void release() {
    cap.stop();
    frames.reset();
    device.reset();
  }
  ~window_side() { release(); }
};

}  // namespace

TEST(CameraStress, CreateSelectAndDestroyWhileStreaming200Times) {
  fake_provider p("A:32x24:1000,B:16x16:500,C:8x8:0");
  ASSERT_EQ(p.list().size(), 3u);
  int grabbed = 0;
  for (int i = 0; i < 200; i++) {
    auto w = std::make_unique<window_side>();
    ASSERT_TRUE(w->select(p, i % 3));
    // The GUI thread's side while the thread runs: the posted frame, the preview, a grab.
    if (w->frames->ready()) w->frames->clear_ready();
    {
      auto v = w->frames->preview();
      if (v.pixels) {
        EXPECT_EQ(v.pixels[0] >> 24, 0xFFu);
      }
    }
    w->frames->preview_taken();
    if (i % 20 == 0 && i % 3 != 2) {
      grabbed += w->frames->grab(std::chrono::milliseconds(500));
      w->frames->release();
    }
    ASSERT_TRUE(w->select(p, (i + 1) % 3));   // switching devices while streaming
    if (i % 2) w->release();
  }   // destroyed while streaming every other time
  EXPECT_GT(grabbed, 0);
}

}  // namespace vyr::camera::test
