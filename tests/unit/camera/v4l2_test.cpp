// The video-device provider over a scripted device: which nodes are listed and how they are
// named, the format agreed, and what the capture thread does with odd frames and errors.
#include <thread>

#include "gui/camera/v4l2.h"
#include "tests/unit/camera/camera_fixture.h"
#include "tests/unit/camera/scripted_device.h"

namespace vyr::camera::test {

namespace {

// A YUYV frame of grey rows (row r has luma `luma[r]`), rows `stride` bytes apart and the
// padding filled with 0x77.
std::vector<uint8_t> grey_rows(uint32_t w, uint32_t stride, std::vector<uint8_t> luma) {
  std::vector<uint8_t> b(size_t(stride) * luma.size(), 0x77);
  for (size_t r = 0; r < luma.size(); r++)
    for (uint32_t x = 0; x < w; x++) {
      b[r * stride + x * 2] = luma[r];
      b[r * stride + x * 2 + 1] = 128;
    }
  return b;
}

stream_event frame(std::vector<uint8_t> bytes, uint32_t bytesused, uint32_t flags = 0) {
  stream_event e;
  e.bytes = std::move(bytes);
  e.bytesused = bytesused;
  e.flags = flags;
  return e;
}

stream_event error(stream_event::kind_t k, int err) {
  stream_event e;
  e.kind = k;
  e.error = err;
  return e;
}

constexpr uint32_t BLACK = 0xFF000000, WHITE = 0xFFFFFFFF;

// Runs a 4x2 device whose rows are 12 bytes apart (padding past 2w) until `want` frames came
// or the script is used up, and answers the frames.
struct streamed {
  scripted_io io;
  scripted_node* node;
  collector got;
  std::unique_ptr<source> device;
  capture cap;

  streamed() {
    node = &io.node("video0");
    node->answer_bpl = 12;
  }
  void run(size_t want, size_t leave = 0) {
    v4l2_provider p(io);
    ASSERT_EQ(p.list().size(), 1u);
    device = p.open(0);
    ASSERT_TRUE(device);
    ASSERT_TRUE(cap.start(*device, got.to()));
    got.wait_for(want);
    // Let the thread use up the script, so what is left is what it never reached.
    for (int i = 0; i < 200 && io.left("/dev/video0") > leave; i++)
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    cap.stop();
  }
};

}  // namespace

TEST(V4l2Provider, ListsStreamingCaptureNodesInNumericOrderWithCleanNames) {
  scripted_io io;
  io.node("video10").card = std::string("Long\xFF") + std::string(27, 'x');   // 32 bytes, no NUL
  io.node("video2").card = "Second";
  io.node("video0").card = "Cam A";
  io.node("video1").device_caps = V4L2_CAP_META_CAPTURE | V4L2_CAP_STREAMING;   // metadata
  io.node("video3").open_errno = EACCES;
  io.node("video4").querycap_errno = ENOTTY;
  io.node("video5").device_caps = V4L2_CAP_VIDEO_CAPTURE;   // capture without streaming
  scripted_node& old = io.node("video6");   // a driver without device caps
  old.capabilities = V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_STREAMING;
  old.card = "";
  io.entries.insert(io.entries.end(), {"null", "video", "videoX", "vbi0"});
  v4l2_provider p(io);
  EXPECT_EQ(p.list(), (std::vector<std::string>{"Cam A", "Second", "video6", "Long\xEF\xBF\xBD" + std::string(27, 'x')}));
  EXPECT_FALSE(io.logged("open /dev/null"));
  EXPECT_EQ(io.count_of("close"), 7);   // every node that opened (all but video3) was closed
  io.log.clear();
  EXPECT_TRUE(p.open(3));
  EXPECT_EQ(io.log.at(0), "open /dev/video10");
  EXPECT_FALSE(p.open(4));
  EXPECT_EQ(p.last_error, "no device 5");
}

TEST(V4l2Provider, ChoosesYuyvThenMjpegThenRgb) {
  struct row { std::vector<uint32_t> offered; const char* chosen; };
  const row rows[] = {
      {{V4L2_PIX_FMT_MJPEG, V4L2_PIX_FMT_YUYV}, "S_FMT YUYV 640x480"},
      {{V4L2_PIX_FMT_RGB24, V4L2_PIX_FMT_MJPEG}, "S_FMT MJPG 640x480"},
      {{V4L2_PIX_FMT_H264, V4L2_PIX_FMT_BGR24}, "S_FMT BGR3 640x480"},
      {{V4L2_PIX_FMT_H264}, nullptr},
  };
  for (const row& r : rows) {
    scripted_io io;
    scripted_node& n = io.node("video0");
    n.formats = r.offered;
    n.width = 640;
    n.height = 480;
    v4l2_provider p(io);
    p.list();
    auto s = p.open(0);
    if (!r.chosen) {
      EXPECT_FALSE(s);
      EXPECT_EQ(p.last_error, "the device offers no format taken here (YUYV, MJPEG, RGB24, BGR24)");
      EXPECT_EQ(io.count_of("close"), 2);
      continue;
    }
    ASSERT_TRUE(s);
    EXPECT_TRUE(io.logged(r.chosen)) << r.chosen;
    EXPECT_EQ(s->width(), 640u);
  }
}

TEST(V4l2Provider, TheDriversSizeAndStrideRule) {
  streamed t;
  t.node->width = 640;
  t.node->height = 480;
  t.node->answer_width = 4;
  t.node->answer_height = 2;
  t.node->stream.push_back(frame(grey_rows(4, 12, {16, 235}), 24));
  t.run(1);
  EXPECT_TRUE(t.io.logged("S_FMT YUYV 640x480"));
  EXPECT_EQ(t.device->width(), 4u);
  EXPECT_EQ(t.device->height(), 2u);
  ASSERT_EQ(t.got.frames.size(), 1u);
  EXPECT_EQ(t.got.frames[0], (std::vector<uint32_t>{BLACK, BLACK, BLACK, BLACK, WHITE, WHITE, WHITE, WHITE}));
}

TEST(V4l2Provider, ShortFramesAndErrorFramesAreDroppedAndZeroBytesusedMeansTheBuffer) {
  streamed t;
  auto black_white = grey_rows(4, 12, {16, 235}), white_black = grey_rows(4, 12, {235, 16});
  t.node->stream.push_back(frame(white_black, 19));   // one byte short of the last row
  t.node->stream.push_back(frame(white_black, 24, V4L2_BUF_FLAG_ERROR));
  t.node->stream.push_back(frame(black_white, 0));    // 0: the whole buffer
  t.node->stream.push_back(frame(white_black, 20));   // the last row without its padding
  t.node->stream.push_back(frame(black_white, 9999)); // more than the buffer: held to it
  t.run(3);
  ASSERT_EQ(t.got.frames.size(), 3u);
  EXPECT_EQ(t.got.frames[0][0], BLACK);
  EXPECT_EQ(t.got.frames[1][0], WHITE);
  EXPECT_EQ(t.got.frames[2][7], WHITE);
  EXPECT_EQ(t.io.queued_count, 4 + 5);   // every buffer went back, the dropped ones too
}

TEST(V4l2Provider, EagainAndEintrAreRetriedEnodevEndsQuietly) {
  streamed t;
  auto bw = grey_rows(4, 12, {16, 235});
  t.node->stream.push_back(error(stream_event::dq_error, EAGAIN));
  t.node->stream.push_back(error(stream_event::poll_error, EINTR));
  t.node->stream.push_back(error(stream_event::dq_error, EINTR));
  t.node->stream.push_back(frame(bw, 24));
  t.node->stream.push_back(error(stream_event::dq_error, ENODEV));
  t.node->stream.push_back(frame(bw, 24));   // never reached: the stream has ended
  t.run(1, 1);
  EXPECT_EQ(t.got.frames.size(), 1u);
  EXPECT_EQ(t.io.left("/dev/video0"), 1u);
  EXPECT_EQ(t.device->last_error, "the device is gone");
  // Stopping still undoes everything, in order.
  std::vector<std::string> tail(t.io.log.end() - 7, t.io.log.end());
  EXPECT_EQ(tail, (std::vector<std::string>{"STREAMOFF", "munmap", "munmap", "munmap", "munmap", "REQBUFS 0", "close"}))
      << "log ends: " << t.io.log.back();
}

TEST(V4l2Provider, ABusyDeviceFailsWithoutStreaming) {
  for (int where = 0; where < 3; where++) {
    scripted_io io;
    scripted_node& n = io.node("video0");
    (where == 0 ? n.s_fmt_errno : where == 1 ? n.reqbufs_errno : n.streamon_errno) = EBUSY;
    v4l2_provider p(io);
    p.list();
    auto s = p.open(0);
    if (where == 0) {
      EXPECT_FALSE(s);
      EXPECT_EQ(p.last_error, "the device is busy");
      continue;
    }
    ASSERT_TRUE(s);
    collector got;
    capture cap;
    EXPECT_FALSE(cap.start(*s, got.to()));
    EXPECT_FALSE(cap.running());
    EXPECT_EQ(s->last_error, "the device is busy");
    EXPECT_EQ(io.count_of("munmap"), io.count_of("mmap"));
  }
}

}  // namespace vyr::camera::test
