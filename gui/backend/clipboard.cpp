// The host's clipboard store as a display's clipboard: both keep the one record
// (base/clipboard.h), handed across as it is.
#include "gui/backend/clipboard.h"

#include <memory>

#include "runtime/api/values.h"

namespace vyr::gui {

namespace {
// The X11 display's clipboard behind the host's store interface.
class display_store : public clipboard::store {
 public:
  explicit display_store(win::x11_display* d) : d_(d) {}
  bool get(clipboard::content* out) override { return d_->get_clipboard(out); }
  bool set(const clipboard::content& in) override { return d_->set_clipboard(in); }
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
  api::clipboard::current().get(&held);
  shared_store() = std::make_unique<display_store>(d);
  api::clipboard::install(shared_store().get());
  if (held.kind != clipboard::content::EMPTY) shared_store()->set(held);
}

void unshare_display_clipboard() {
  if (!shared_store()) return;
  api::clipboard::install(nullptr);
  shared_store().reset();
}

win::headless_display::shared_clipboard host_clipboard() {
  win::headless_display::shared_clipboard s;
  s.get = [](win::clipboard_content* out) { return api::clipboard::current().get(out); };
  s.set = [](const win::clipboard_content& in) { return api::clipboard::current().set(in); };
  return s;
}

}  // namespace vyr::gui
