// The frame hand-over and the preview slot. The state word is sequentially consistent, so
// the stores that publish a frame also order the pixel copies around them.
#include "gui/camera/frames.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <thread>

namespace vyr::camera {

frame_record::frame_record(uint32_t width, uint32_t height, int state, post_fn post)
    : width_(width), height_(height), state_(state), frame_(size_t(width) * height),
      post_(std::move(post)), preview_(size_t(width) * height) {}

void frame_record::deliver(const uint32_t* pixels, uint32_t width, uint32_t height) {
  size_t n = std::min(size_t(width) * height, frame_.size());
  if (begin_copy()) {
    std::memcpy(frame_.data(), pixels, n * 4);
    end_copy();
  }
  bool post_preview = false;
  {
    std::lock_guard<std::mutex> lock(preview_mutex_);
    std::memcpy(preview_.data(), pixels, n * 4);
    have_preview_ = true;
    if (!preview_pending_) post_preview = preview_pending_ = true;
  }
  if (post_preview) post_(PREVIEW_POSTED);
}

bool frame_record::grab(std::chrono::milliseconds timeout) {
  using clock = std::chrono::steady_clock;
  auto until = clock::now() + timeout;
  // Ask afresh, but never over a copy in progress: that frame began before this request.
  for (int s = state_.load();;) {
    if (s == COPYING) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
      s = state_.load();
    } else if (state_.compare_exchange_weak(s, WANTED)) {
      break;
    }
  }
  while (state_.load() != READY && clock::now() < until)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  // Take the request back; when the thread is copying, the frame is nearly there.
  int wanted = WANTED;
  if (!state_.compare_exchange_strong(wanted, IDLE))
    while (state_.load() == COPYING) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  return state_.load() == READY;
}

frame_record::preview_view frame_record::preview() {
  std::unique_lock<std::mutex> lock(preview_mutex_);
  const uint32_t* p = have_preview_ ? preview_.data() : nullptr;
  return {std::move(lock), p, width_, height_};
}

void frame_record::preview_taken() {
  std::lock_guard<std::mutex> lock(preview_mutex_);
  preview_pending_ = false;
}

bool fit_video(double a, int32_t w, int32_t h, video_rect& out) {
  out = {};
  if (!(a > 0) || !std::isfinite(a) || w <= 0 || h <= 0) return false;
  if (double(h) * a >= double(w)) {
    double vh = double(w) / a;
    out = {0, int32_t(std::lround((double(h) - vh) / 2)), w, int32_t(std::lround(vh))};
  } else {
    double vw = double(h) * a;
    out = {int32_t(std::lround((double(w) - vw) / 2)), 0, int32_t(std::lround(vw)), h};
  }
  return true;
}

}  // namespace vyr::camera
