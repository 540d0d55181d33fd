// The XSETTINGS property's format: a byte-order byte (0 least significant first, 1 most),
// three unused, a serial and a count (32 bits each); then each setting: its type (8 bits),
// one unused byte, the name's length (16 bits), the name padded to 4 bytes, the serial of
// its last change (32 bits) and its value: a 32-bit integer; a 32-bit length and the text
// padded to 4 bytes; or four 16-bit colour channels in the order red, blue, green, alpha.
#include "gui/win/x11/xsettings.h"

namespace vyr::win::xsettings {

namespace {

class reader {
 public:
  reader(std::string_view b, bool msb) : b_(b), msb_(msb) {}
  bool skip(size_t n) {
    if (n > b_.size() - at_) return false;
    at_ += n;
    return true;
  }
  bool u8(uint32_t& v) { return take(1, v); }
  bool u16(uint32_t& v) { return take(2, v); }
  bool u32(uint32_t& v) { return take(4, v); }
  // `n` bytes, then the padding to the next multiple of 4.
  bool text(size_t n, std::string& out) {
    size_t padded = (n + 3) & ~size_t(3);
    if (padded < n || padded > b_.size() - at_) return false;
    out.assign(b_.substr(at_, n));
    at_ += padded;
    return true;
  }

 private:
  bool take(size_t n, uint32_t& v) {
    if (n > b_.size() - at_) return false;
    v = 0;
    for (size_t i = 0; i < n; ++i) {
      uint32_t byte = uint8_t(b_[at_ + (msb_ ? i : n - 1 - i)]);
      v = (v << 8) | byte;
    }
    at_ += n;
    return true;
  }
  std::string_view b_;
  size_t at_ = 0;
  bool msb_;
};

}  // namespace

std::optional<std::map<std::string, value>> parse(std::string_view bytes) {
  if (bytes.empty() || uint8_t(bytes[0]) > 1) return std::nullopt;
  reader r(bytes, bytes[0] == 1);
  uint32_t serial, count;
  if (!r.skip(4) || !r.u32(serial) || !r.u32(count)) return std::nullopt;
  std::map<std::string, value> out;
  // The count comes from another program: every setting takes at least 12 bytes, so a
  // count beyond what the bytes can hold fails at the end of the bytes, never allocates.
  for (uint32_t i = 0; i < count; ++i) {
    uint32_t type, name_len, last_change;
    std::string name;
    if (!r.u8(type) || !r.skip(1) || !r.u16(name_len) || !r.text(name_len, name) || !r.u32(last_change))
      return std::nullopt;
    value v;
    switch (type) {
      case value::integer: {
        uint32_t n;
        if (!r.u32(n)) return std::nullopt;
        v.number = int32_t(n);
        break;
      }
      case value::string: {
        uint32_t len;
        if (!r.u32(len) || !r.text(len, v.text)) return std::nullopt;
        break;
      }
      case value::color:
        for (int channel : {0, 2, 1, 3}) {
          uint32_t n;
          if (!r.u16(n)) return std::nullopt;
          v.rgba[channel] = uint16_t(n);
        }
        break;
      default:
        return std::nullopt;
    }
    v.kind = value::kind_t(type);
    out[std::move(name)] = std::move(v);
  }
  return out;
}

int32_t caret_blink_ms(const std::map<std::string, value>& s) {
  auto blink = s.find("Net/CursorBlink");
  if (blink != s.end() && blink->second.kind == value::integer && blink->second.number == 0) return -1;
  auto time = s.find("Net/CursorBlinkTime");
  if (time != s.end() && time->second.kind == value::integer && time->second.number > 0)
    return time->second.number / 2;
  return 500;
}

}  // namespace vyr::win::xsettings
