// The fake devices: their description, their frames and their schedule.
#include "gui/camera/fake.h"
#include "tests/unit/camera/camera_fixture.h"

namespace vyr::camera::test {

TEST(FakeCameras, DescriptionsListNamesAndSkipMalformedEntries) {
  EXPECT_EQ(fake_provider("").list(), std::vector<std::string>{});
  EXPECT_EQ(fake_provider("Front:640x480,Back:1280x720:15,Odd:Name:2x2:0,bad,Big:70000x1,NoRate:2x2:x,Neg:2x2:-1")
                .list(),
            (std::vector<std::string>{"Front", "Back", "Odd:Name"}));
  auto d = parse_fake_devices("Back:1280x720:15,Front:640x480");
  ASSERT_EQ(d.size(), 2u);
  EXPECT_EQ(d[0].fps, 15);
  EXPECT_EQ(d[1].fps, 30);
  EXPECT_EQ(d[1].width, 640u);
}

TEST(FakeCameras, FrameKCarriesItsNumberAndItsQuarters) {
  fake_provider p("Cam:4x2:1000");
  p.list();
  auto s = p.open(0);
  ASSERT_TRUE(s);
  EXPECT_FALSE(p.open(1));
  collector got;
  capture cap;
  ASSERT_TRUE(cap.start(*s, got.to()));
  ASSERT_GE(got.wait_for(3), 3u);
  cap.stop();
  EXPECT_EQ(got.frames[0], (std::vector<uint32_t>{0xFF010000, 0xFF010000, 0xFF0100FF, 0xFF0100FF,
                                                  0xFF01FF00, 0xFF01FF00, 0xFF01FFFF, 0xFF01FFFF}));
  EXPECT_EQ(got.frames[2][0], 0xFF030000u);
}

TEST(FakeCameras, RateZeroNeverDelivers) {
  fake_provider p("Still:2x2:0");
  p.list();
  auto s = p.open(0);
  collector got;
  capture cap;
  ASSERT_TRUE(cap.start(*s, got.to()));
  EXPECT_EQ(got.wait_for(1, std::chrono::milliseconds(100)), 0u);
  cap.stop();   // a thread waiting for nothing still ends at once
  EXPECT_FALSE(cap.running());
}

}  // namespace vyr::camera::test
