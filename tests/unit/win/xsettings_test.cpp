// The XSETTINGS parser on property bytes recorded from a settings daemon (xsettingsd on
// Xvfb, little-endian), on a hand-made big-endian property, and on damaged bytes; and the
// caret blink time the settings give.
#include <gtest/gtest.h>

#include "gui/win/x11/xsettings.h"

namespace vyr::win::test {

namespace {

std::string bytes_of(std::string_view hex) {
  std::string out;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) out += char(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16));
  return out;
}

// Gtk/FontName "Sans 10", Net/CursorBlink 1, Net/CursorBlinkTime 1060,
// Net/ThemeName "Adwaita-dark".
const char* const blinking =
    "00000000010000000400000001000c0047746b2f466f6e744e616d65010000000700000053616e73203130"
    "0000000f004e65742f437572736f72426c696e6b000100000001000000000013004e65742f437572736f72"
    "426c696e6b54696d6500010000002404000001000d004e65742f5468656d654e616d65000000010000000c"
    "000000416477616974612d6461726b";
// Gtk/Color (65535, 0, 32768, 65535), Net/CursorBlink 0, Net/CursorBlinkTime 1200.
const char* const steady =
    "0000000001000000030000000200090047746b2f436f6c6f7200000001000000ffff00800000ffff00000f"
    "004e65742f437572736f72426c696e6b000100000000000000000013004e65742f437572736f72426c696e"
    "6b54696d650001000000b0040000";
// Net/CursorBlinkTime 1200 alone.
const char* const time_only =
    "000000000100000001000000000013004e65742f437572736f72426c696e6b54696d650001000000b0040000";

}  // namespace

TEST(XSettings, ReadsRecordedProperties) {
  auto s = xsettings::parse(bytes_of(blinking));
  ASSERT_TRUE(s);
  ASSERT_EQ(s->size(), 4u);
  EXPECT_EQ(s->at("Gtk/FontName").kind, xsettings::value::string);
  EXPECT_EQ(s->at("Gtk/FontName").text, "Sans 10");
  EXPECT_EQ(s->at("Net/ThemeName").text, "Adwaita-dark");
  EXPECT_EQ(s->at("Net/CursorBlink").number, 1);
  EXPECT_EQ(s->at("Net/CursorBlinkTime").number, 1060);

  auto c = xsettings::parse(bytes_of(steady));
  ASSERT_TRUE(c);
  const xsettings::value& color = c->at("Gtk/Color");
  EXPECT_EQ(color.kind, xsettings::value::color);
  EXPECT_EQ(color.rgba[0], 65535);
  EXPECT_EQ(color.rgba[1], 0);
  EXPECT_EQ(color.rgba[2], 32768);
  EXPECT_EQ(color.rgba[3], 65535);
}

TEST(XSettings, BigEndianProperty) {
  // Net/CursorBlinkTime 800, most significant byte first.
  std::string b = bytes_of("01000000" "00000007" "00000001" "0000" "0013")
                  + "Net/CursorBlinkTime" + std::string(1, '\0') + bytes_of("00000000" "00000320");
  auto s = xsettings::parse(b);
  ASSERT_TRUE(s);
  EXPECT_EQ(s->at("Net/CursorBlinkTime").number, 800);
  EXPECT_EQ(xsettings::caret_blink_ms(*s), 400);
}

TEST(XSettings, RefusesDamagedBytes) {
  std::string whole = bytes_of(blinking);
  // Cut anywhere inside the settings: never read past the end.
  for (size_t n = 0; n < whole.size(); ++n)
    EXPECT_FALSE(xsettings::parse(whole.substr(0, n))) << n;
  std::string bad_order = whole;
  bad_order[0] = 2;
  EXPECT_FALSE(xsettings::parse(bad_order));
  std::string bad_type = bytes_of(time_only);
  bad_type[12] = 3;
  EXPECT_FALSE(xsettings::parse(bad_type));
  // A count far beyond what the bytes hold.
  std::string many = bytes_of(time_only);
  many[8] = many[9] = many[10] = char(0xFF);
  EXPECT_FALSE(xsettings::parse(many));
  // A string whose length wraps the padding arithmetic.
  std::string huge = bytes_of("00000000" "00000000" "01000000" "0100" "0100") + "x" + std::string(3, '\0') +
                     bytes_of("00000000" "ffffffff");
  EXPECT_FALSE(xsettings::parse(huge));
}

TEST(XSettings, CaretBlinkTime) {
  struct row { const char* hex; int32_t ms; } rows[] = {
      {blinking, 530},   // half the cycle of 1060
      {steady, -1},      // blinking off, whatever the time
      {time_only, 600},
      {"000000000000000000000000", 500},   // no settings
  };
  for (const row& r : rows) {
    auto s = xsettings::parse(bytes_of(r.hex));
    ASSERT_TRUE(s) << r.hex;
    EXPECT_EQ(xsettings::caret_blink_ms(*s), r.ms) << r.hex;
  }
  std::map<std::string, xsettings::value> odd;
  odd["Net/CursorBlinkTime"].number = 0;          // no time: the default
  EXPECT_EQ(xsettings::caret_blink_ms(odd), 500);
  odd["Net/CursorBlink"].kind = xsettings::value::string;   // not an integer: not a switch
  EXPECT_EQ(xsettings::caret_blink_ms(odd), 500);
}

}  // namespace vyr::win::test
