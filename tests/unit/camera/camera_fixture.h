// What the camera tests share: a sink that collects frames and can be waited on.
#pragma once
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <vector>

#include "gui/camera/capture.h"

namespace vyr::camera::test {

struct collector {
  std::mutex m;
  std::condition_variable cv;
  std::vector<std::vector<uint32_t>> frames;

  sink to() {
    return [this](const uint32_t* p, uint32_t w, uint32_t h) {
      std::lock_guard<std::mutex> l(m);
      frames.emplace_back(p, p + size_t(w) * h);
      cv.notify_all();
    };
  }
  // Waits until `n` frames have come or `timeout` passed; answers how many came.
  size_t wait_for(size_t n, std::chrono::milliseconds timeout = std::chrono::seconds(2)) {
    std::unique_lock<std::mutex> l(m);
    cv.wait_for(l, timeout, [&] { return frames.size() >= n; });
    return frames.size();
  }
};

}  // namespace vyr::camera::test
