// The XSETTINGS a settings daemon publishes (the _XSETTINGS_SETTINGS property of the owner
// of _XSETTINGS_S<screen>), read from the property's bytes; and the caret blink time they
// give. Plain bytes in, plain values out: nothing here talks to the server.
#pragma once
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace vyr::win::xsettings {

struct value {
  enum kind_t : uint8_t { integer = 0, string = 1, color = 2 } kind = integer;
  int32_t number = 0;      // integer
  std::string text;        // string
  uint16_t rgba[4] = {};   // color: red, green, blue, alpha
};

// The settings of a property, by name. Nullopt when the bytes are no settings: a byte order
// other than 0 or 1, or a setting that runs past the end or has an unknown type. A name
// given twice keeps its last value.
std::optional<std::map<std::string, value>> parse(std::string_view bytes);

// The caret blink time in milliseconds: -1 when Net/CursorBlink is 0 (the caret does not
// blink); else half of Net/CursorBlinkTime when it is above 0 (that setting is a whole
// on-and-off cycle, the caret blink time one phase); else 500.
int32_t caret_blink_ms(const std::map<std::string, value>&);

}  // namespace vyr::win::xsettings
