// The frame hand-over between the capture thread and the GUI thread, the preview slot, and
// where a video goes in its window.
#include <atomic>
#include <thread>

#include "gui/camera/fake.h"
#include "gui/camera/frames.h"
#include "tests/unit/camera/camera_fixture.h"

namespace vyr::camera::test {

namespace {

using std::chrono::milliseconds;
using clock = std::chrono::steady_clock;

struct posts {
  std::mutex m;
  std::vector<uint32_t> seen;
  frame_record::post_fn fn() {
    return [this](uint32_t msg) {
      std::lock_guard<std::mutex> l(m);
      seen.push_back(msg);
    };
  }
  std::vector<uint32_t> take() {
    std::lock_guard<std::mutex> l(m);
    return std::exchange(seen, {});
  }
};

// A fake device streaming into a frame record, as a camera window runs one.
struct live {
  fake_provider provider;
  std::unique_ptr<source> device;
  posts posted;
  std::unique_ptr<frame_record> frames;
  capture cap;

  explicit live(const char* description, int state = frame_record::IDLE) : provider(description) {
    provider.list();
    device = provider.open(0);
    frames = std::make_unique<frame_record>(device->width(), device->height(), state, posted.fn());
    cap.start(*device, [this](const uint32_t* p, uint32_t w, uint32_t h) { frames->deliver(p, w, h); });
  }
  // The frame number the grabbed frame carries in its red channel.
  int grabbed_number() { return int((frames->pixels()[0] >> 16) & 0xFF); }
};

}  // namespace

TEST(FrameRecord, AWantedFrameIsCopiedOnceAndPreviewPostsCoalesce) {
  posts posted;
  frame_record r(2, 1, frame_record::WANTED, posted.fn());
  const uint32_t a[2] = {1, 2}, b[2] = {3, 4}, c[2] = {5, 6};
  r.deliver(a, 2, 1);
  EXPECT_EQ(posted.take(), (std::vector<uint32_t>{FRAME_POSTED, PREVIEW_POSTED}));
  EXPECT_TRUE(r.ready());
  r.deliver(b, 2, 1);   // nobody asked: the frame stays, the preview moves on, no new post
  EXPECT_EQ(posted.take(), std::vector<uint32_t>{});
  EXPECT_EQ(r.pixels()[0], 1u);
  EXPECT_EQ(r.preview().pixels[0], 3u);
  r.preview_taken();
  r.deliver(c, 2, 1);
  EXPECT_EQ(posted.take(), std::vector<uint32_t>{PREVIEW_POSTED});
  r.clear_ready();
  EXPECT_EQ(r.state(), frame_record::IDLE);
  r.clear_ready();   // only READY goes back to IDLE
  EXPECT_EQ(r.state(), frame_record::IDLE);
}

TEST(FrameRecord, ClearingAPostedFrameNeverOverwritesACopy) {
  posts posted;
  frame_record r(1, 1, frame_record::WANTED, posted.fn());
  ASSERT_TRUE(r.begin_copy());
  r.clear_ready();   // a late FRAME_POSTED arrives while the thread copies
  EXPECT_EQ(r.state(), frame_record::COPYING);
  r.end_copy();
  EXPECT_TRUE(r.ready());
}

TEST(FrameRecord, TwoGrabsGiveTwoNewerFrames) {
  live cam("Fast:8x4:200");
  ASSERT_TRUE(cam.frames->grab());
  int first = cam.grabbed_number();
  cam.frames->release();
  ASSERT_TRUE(cam.frames->grab());
  int second = cam.grabbed_number();
  cam.frames->release();
  EXPECT_GT(second, first);
  EXPECT_EQ(cam.frames->pixels()[8 * 4 - 1], 0xFF0000FFu | uint32_t(second) << 16 | 0xFF00u);
}

TEST(FrameRecord, AStalledDeviceGivesNoneAfterThreeSeconds) {
  live cam("Still:4x4:0");
  auto t0 = clock::now();
  EXPECT_FALSE(cam.frames->grab());
  double waited = std::chrono::duration<double>(clock::now() - t0).count();
  EXPECT_GE(waited, 3.0);
  EXPECT_LT(waited, 3.5);
  EXPECT_EQ(cam.frames->state(), frame_record::IDLE);
  cam.cap.stop();
  EXPECT_EQ(cam.frames->preview().pixels, nullptr);
}

TEST(FrameRecord, AGrabTimingOutWhileTheThreadCopiesWaitsForThatFrame) {
  // The thread takes the request and holds the copy well past the grab's 30 ms. On a loaded
  // machine the thread may come only after the grab gave up (the request is gone, the grab
  // says false): then the grab asks again, and the thread waits for the new request.
  posts posted;
  frame_record r(1, 1, frame_record::IDLE, posted.fn());
  std::atomic<bool> stop{false};
  std::thread slow([&] {
    while (!stop.load()) {
      if (r.state() == frame_record::WANTED && r.begin_copy()) {
        std::this_thread::sleep_for(milliseconds(200));
        r.end_copy();
        return;
      }
      std::this_thread::sleep_for(milliseconds(1));
    }
  });
  bool got = false;
  for (int attempt = 0; attempt < 100 && !got; attempt++) {
    auto t0 = clock::now();
    got = r.grab(milliseconds(30));
    if (got) EXPECT_GE(clock::now() - t0, milliseconds(200));
    else EXPECT_EQ(r.state(), frame_record::IDLE);   // a timed-out grab leaves no request
  }
  stop = true;
  slow.join();
  ASSERT_TRUE(got);
  r.release();
  EXPECT_EQ(r.state(), frame_record::IDLE);
}

TEST(FrameRecord, TheFirstFrameOfAWantedStartIsPosted) {
  live cam("Cam:4x2:1000", frame_record::WANTED);
  for (int i = 0; i < 200 && !cam.frames->ready(); i++) std::this_thread::sleep_for(milliseconds(5));
  cam.cap.stop();
  ASSERT_TRUE(cam.frames->ready());
  EXPECT_EQ(cam.frames->pixels()[0], 0xFF010000u);   // frame 1
  EXPECT_EQ(cam.posted.take().at(0), FRAME_POSTED);
}

TEST(FitVideo, FillsOneAxisAndCentresOnTheOther) {
  struct row { double ratio; int32_t w, h; bool placed; video_rect r; };
  const row rows[] = {
      {640.0 / 480, 400, 400, true, {0, 50, 400, 300}},
      {480.0 / 640, 400, 400, true, {50, 0, 300, 400}},
      {640.0 / 480, 640, 480, true, {0, 0, 640, 480}},
      {16.0 / 9, 101, 100, true, {0, 22, 101, 57}},
      {0, 400, 400, false, {}},
      {640.0 / 480, 0, 0, false, {}},
      {640.0 / 480, 400, 0, false, {}},
  };
  for (const row& c : rows) {
    video_rect r{9, 9, 9, 9};
    EXPECT_EQ(fit_video(c.ratio, c.w, c.h, r), c.placed) << c.w << "x" << c.h;
    EXPECT_EQ(r, c.r) << c.w << "x" << c.h << ": " << r.left << "," << r.top << " " << r.width << "x" << r.height;
  }
}

}  // namespace vyr::camera::test
