// Each user of the strict UTF-8 decoder keeps its own answer to malformed text: a window's
// text shows U+FFFD (overlong forms read as what they spell), a folder name must be
// well-formed to be listed, and a menu's mnemonic is one whole character.
#include <string>

#include "gui/win/dialogs/folders.h"
#include "gui/win/menus/menu_impl.h"
#include "gui/win/win.h"
#include "tests/unit/win/win_fixture.h"

namespace vyr::win::test {
namespace {

TEST(utf8_policies, MalformedText) {
  struct row {
    std::string bytes;
    std::u32string window_text;
    bool folder_name;
  };
  const row rows[] = {
      {"h\xC3\xA9", U"h\u00E9", true},
      {"\xC0\xAF", U"/", false},                        // overlong
      {"\xED\xA0\x80", U"\uFFFD", false},              // surrogate
      {"\xF4\x90\x80\x80" "a", U"\uFFFD" "a", false},  // above U+10FFFF
      {"\xC3(", U"\uFFFD(", false},                     // bad continuation
      {"\xFF" "a", U"\uFFFD" "a", false},               // no lead byte
      {"a\xE2\x82", U"a\uFFFD", false},                 // cut by the end
  };
  for (const row& r : rows) {
    EXPECT_EQ(to_utf32(r.bytes), r.window_text) << r.bytes;
    EXPECT_EQ(dialogs::valid_utf8(r.bytes), r.folder_name) << r.bytes;
  }
}

TEST(utf8_policies, MnemonicIsOneWholeCharacter) {
  // A mnemonic takes a whole character, never the byte after a broken one.
  menus::detail::caption c = menus::detail::parse_caption("&\xC3(x");
  EXPECT_EQ(c.mnemonic, 0xFFFDu);
  EXPECT_EQ(c.mnemonic_len, 1u);
  EXPECT_EQ(c.label, "\xC3(x");
  c = menus::detail::parse_caption("S&\xC3\xA9lect");
  EXPECT_EQ(c.mnemonic, 0xE9u);
  EXPECT_EQ(c.mnemonic_at, 1u);
  EXPECT_EQ(c.mnemonic_len, 2u);
}

}  // namespace
}  // namespace vyr::win::test
