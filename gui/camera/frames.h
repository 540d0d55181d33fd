// The frames of one camera window, shared by its capture thread and the GUI thread: the
// hand-over record that gives one frame to whoever asked for it, and the preview slot that
// keeps the newest frame for painting. Also where a video sits in a window.
#pragma once
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

namespace vyr::camera {

// What the capture thread posts to its window (WM_USER + 1 and WM_USER + 3).
constexpr uint32_t FRAME_POSTED = 0x0400 + 1, PREVIEW_POSTED = 0x0400 + 3;

class frame_record {
 public:
  // Hand-over states. The capture thread moves WANTED to COPYING to READY; the GUI thread
  // sets WANTED, takes a WANTED request back to IDLE and moves READY to IDLE. The pixels are
  // written only in COPYING and read only in READY, so they need no lock.
  enum : int { IDLE = 0, WANTED = 1, READY = 2, COPYING = 3 };
  using post_fn = std::function<void(uint32_t message)>;

  // Buffers for width x height frames, allocated here on the owner's thread (may throw
  // bad_alloc); `post` is called on the capture thread.
  frame_record(uint32_t width, uint32_t height, int state, post_fn post);

  // The sink of the capture thread: a wanted frame is copied and FRAME_POSTED posted; every
  // frame goes to the preview slot, with PREVIEW_POSTED unless one is still pending.
  void deliver(const uint32_t* pixels, uint32_t width, uint32_t height);
  // The two steps around a wanted frame's copy, as deliver takes them (public so that tests
  // can hold the record in COPYING): taking the request (WANTED to COPYING), and publishing
  // the copied frame (READY, then FRAME_POSTED).
  bool begin_copy() {
    int wanted = WANTED;
    return state_.compare_exchange_strong(wanted, COPYING);
  }
  void end_copy() {
    state_.store(READY);
    post_(FRAME_POSTED);
  }

  // Asks for the next frame and waits, sleeping in 10 ms steps, up to `timeout` of real
  // time. True when one came: pixels() holds it until release(). False leaves no request.
  bool grab(std::chrono::milliseconds timeout = std::chrono::milliseconds(3000));
  void release() { state_.store(IDLE); }
  // On FRAME_POSTED: whether the posted frame is still there (pixels() holds it), and
  // taking it back to IDLE, never overwriting a copy in progress.
  bool ready() const { return state_.load() == READY; }
  void clear_ready() {
    int ready = READY;
    state_.compare_exchange_strong(ready, IDLE);
  }
  int state() const { return state_.load(); }
  const uint32_t* pixels() const { return frame_.data(); }
  uint32_t width() const { return width_; }
  uint32_t height() const { return height_; }

  // The newest frame under the preview lock; `pixels` is null before the first frame.
  struct preview_view {
    std::unique_lock<std::mutex> lock;
    const uint32_t* pixels;
    uint32_t width, height;
  };
  preview_view preview();
  // PREVIEW_POSTED was handled: the next frame posts again.
  void preview_taken();

 private:
  uint32_t width_, height_;
  std::atomic<int> state_;
  std::vector<uint32_t> frame_;
  post_fn post_;
  std::mutex preview_mutex_;
  std::vector<uint32_t> preview_;   // guarded by preview_mutex_, as are the two flags
  bool have_preview_ = false, preview_pending_ = false;
};

// Where a video of aspect `ratio` (width / height) goes in a width x height area: as large
// as fits, centred on the axis it does not fill. False, placing nothing, when the ratio or
// the area is 0 (no frame yet, or a window of no size).
struct video_rect {
  int32_t left = 0, top = 0, width = 0, height = 0;
  bool operator==(const video_rect&) const = default;
};
bool fit_video(double ratio, int32_t width, int32_t height, video_rect& out);

}  // namespace vyr::camera
