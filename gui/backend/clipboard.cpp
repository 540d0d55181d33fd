// The host's clipboard store as a display's clipboard: the two records carry the same
// fields, copied across.
#include "gui/backend/clipboard.h"

#include <memory>

#include "runtime/host/clipboard.h"

namespace vyr::gui {

namespace {
// The kinds are listed in the same order on both sides.
static_assert(int(clipboard::content::EMPTY) == int(win::clipboard_content::EMPTY) &&
              int(clipboard::content::TEXT) == int(win::clipboard_content::TEXT) &&
              int(clipboard::content::FILES) == int(win::clipboard_content::FILES) &&
              int(clipboard::content::PNG) == int(win::clipboard_content::PNG) &&
              int(clipboard::content::NO_VALUE) == int(win::clipboard_content::NO_VALUE));

template <class To, class From>
To copied(const From& from) {
  To to;
  to.kind = static_cast<typename To::kind_t>(from.kind);
  to.text = from.text;
  to.files = from.files;
  to.png = from.png;
  return to;
}
// The X11 display's clipboard behind the host's store interface.
class display_store : public clipboard::store {
 public:
  explicit display_store(win::x11_display* d) : d_(d) {}
  bool get(clipboard::content* out) override {
    win::clipboard_content c;
    if (!d_->get_clipboard(&c)) return false;
    *out = copied<clipboard::content>(c);
    return true;
  }
  bool set(const clipboard::content& in) override {
    return d_->set_clipboard(copied<win::clipboard_content>(in));
  }
  int serve_fd() override { return d_->connection_fd(); }
  void serve() override { d_->serve_clipboard(); }
  void hand_over() override { d_->hand_over_clipboard(); }

 private:
  win::x11_display* d_;
};

std::unique_ptr<display_store>& shared_store() {
  static std::unique_ptr<display_store> s;
  return s;
}
}  // namespace

void share_display_clipboard(win::x11_display* d) {
  clipboard::content held;
  clipboard::current().get(&held);
  shared_store() = std::make_unique<display_store>(d);
  clipboard::install(shared_store().get());
  if (held.kind != clipboard::content::EMPTY) shared_store()->set(held);
}

void unshare_display_clipboard() {
  if (!shared_store()) return;
  clipboard::install(nullptr);
  shared_store().reset();
}

win::headless_display::shared_clipboard host_clipboard() {
  win::headless_display::shared_clipboard s;
  s.get = [](win::clipboard_content* out) {
    clipboard::content c;
    if (!clipboard::current().get(&c)) return false;
    *out = copied<win::clipboard_content>(c);
    return true;
  };
  s.set = [](const win::clipboard_content& in) {
    return clipboard::current().set(copied<clipboard::content>(in));
  };
  return s;
}

}  // namespace vyr::gui
