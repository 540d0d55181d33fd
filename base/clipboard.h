// What a clipboard holds: text, a list of files or an image. One record for the host's
// clipboard store (what read-clipboard and write-clipboard use) and for a display's
// clipboard, so that one passes to the other as it is.
#pragma once
#include <string>
#include <vector>

namespace vyr {

struct clipboard_content {
  // NO_VALUE: the clipboard holds a format, but it gave no value (its owner's reply was
  // given up): read as none!.
  enum kind_t { EMPTY, TEXT, FILES, PNG, NO_VALUE };
  kind_t kind = EMPTY;
  std::string text;                 // TEXT: UTF-8 with LF line ends
  std::vector<std::string> files;   // FILES: paths as UTF-8
  std::vector<unsigned char> png;   // PNG: the encoded image
};

}  // namespace vyr
