// Camera frames: converting a 1280x720 YUYV frame (target < 2 ms) and an MJPEG one (target
// < 8 ms), and the capture path from device to frame record, with the heap allocations each
// frame costs counted (target: none after the first frame).
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <thread>
#include <vector>

#include "gui/camera/capture.h"
#include "gui/camera/convert.h"
#include "gui/camera/fake.h"
#include "gui/camera/frames.h"
#include "gui_entry/module.h"
#include "runtime/codecs/images.h"

// Every heap allocation of the process, counted (operator new comes through here too).
extern "C" void* __libc_malloc(size_t);
static std::atomic<uint64_t> allocations{0};
extern "C" void* malloc(size_t n) {
  allocations.fetch_add(1, std::memory_order_relaxed);
  return __libc_malloc(n);
}

namespace {
using namespace vyr::camera;

// MJPEG frames decode through the host API, bound as the module's entry point binds it.
const bool bound = vyr::api::bind(&vyr::gui_module::host_api());
constexpr uint32_t W = 1280, H = 720;

// A picture with detail in it, so the JPEG is of a camera's size rather than a flat one's.
std::vector<uint32_t> test_picture() {
  std::vector<uint32_t> p(size_t(W) * H);
  for (uint32_t y = 0; y < H; y++)
    for (uint32_t x = 0; x < W; x++)
      p[size_t(y) * W + x] = 0xFF000000u | ((x * 255 / W) << 16) | ((y * 255 / H) << 8) | ((x ^ y) & 0xFF);
  return p;
}

void convert_frames(benchmark::State& state, const raw_frame& f) {
  std::vector<uint32_t> out(size_t(W) * H);
  if (!convert(f, W, H, out.data())) state.SkipWithError("frame refused");
  uint64_t before = allocations.load();
  for (auto _ : state) benchmark::DoNotOptimize(convert(f, W, H, out.data()));
  state.counters["allocs/frame"] = double(allocations.load() - before) / double(state.iterations());
}

void BM_ConvertYuyv720p(benchmark::State& state) {
  std::vector<uint8_t> yuyv(size_t(W) * H * 2);
  for (size_t i = 0; i < yuyv.size(); i++) yuyv[i] = uint8_t(i * 7 + (i >> 11));
  convert_frames(state, raw_frame{pixel_format::yuyv, yuyv.data(), yuyv.size(), W * 2, 0});
}
BENCHMARK(BM_ConvertYuyv720p)->Unit(benchmark::kMillisecond);

void BM_ConvertMjpeg720p(benchmark::State& state) {
  std::vector<uint32_t> picture = test_picture();
  std::vector<uint8_t> jpeg;
  vyr::image_codecs::encode_jpeg(picture.data(), W, H, jpeg);
  state.counters["jpeg KiB"] = double(jpeg.size()) / 1024;
  convert_frames(state, raw_frame{pixel_format::mjpeg, jpeg.data(), jpeg.size(), 0, 0});
}
BENCHMARK(BM_ConvertMjpeg720p)->Unit(benchmark::kMillisecond);

// The capture thread's whole path for 720p frames of the fake device: drawing the frame,
// converting it, and delivering it into a frame record's preview slot (and the hand-over
// when wanted). The allocations are counted from the tenth frame on.
void BM_CapturePath720p(benchmark::State& state) {
  fake_provider p("Bench:1280x720:1000");
  p.list();
  auto device = p.open(0);
  std::atomic<uint64_t> frames{0};
  frame_record record(W, H, frame_record::WANTED, [](uint32_t) {});
  capture cap;
  cap.start(*device, [&](const uint32_t* px, uint32_t w, uint32_t h) {
    record.deliver(px, w, h);
    frames.fetch_add(1);
  });
  while (frames.load() < 10) std::this_thread::yield();
  uint64_t before = allocations.load(), first = frames.load();
  for (auto _ : state) {
    uint64_t want = frames.load() + 1;
    while (frames.load() < want) std::this_thread::yield();
  }
  uint64_t n = frames.load() - first;
  uint64_t allocs = allocations.load() - before;
  cap.stop();
  state.counters["allocs/frame"] = n ? double(allocs) / double(n) : 0;
}
BENCHMARK(BM_CapturePath720p)->Unit(benchmark::kMillisecond)->Iterations(100);

}  // namespace
