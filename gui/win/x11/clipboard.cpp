// The X11 display's clipboard: the CLIPBOARD selection. Ours is owned by the helper window
// and served from the wait loop and, while the process waits elsewhere, from
// serve_clipboard: text as UTF8_STRING (and STRING, TEXT, text/plain;charset=utf-8), a file
// list as text/uri-list, an image as image/png. Another program's is read through a
// conversion. Transfers larger than one request go in INCR steps both ways. When the
// display closes (or the process ends) while we own the clipboard, a running clipboard
// manager is asked to keep it (SAVE_TARGETS). Neither side of a transfer trusts the other:
// a reply is read up to a size and a time, and a request is served from one conversion of
// each target, for a bounded number of targets.
#include <unistd.h>

#include <cctype>
#include <memory>
#include <vector>

#include "gui/win/x11/internal.h"

namespace vyr::win {

namespace {

// One reply sent in INCR steps: the requestor deletes the property, we write the next part.
struct transfer {
  Window requestor = 0;
  Atom property = 0, target = 0, type = 0;
  std::shared_ptr<const std::string> data;
  size_t offset = 0;
  bool done = false;       // the closing empty part is written
  int64_t last_us = 0;
};

// A conversion waits this long for the owner's answer, and for each INCR part after it.
constexpr int64_t ANSWER_US = 3000000;
// An INCR transfer nobody takes further for this long is dropped.
constexpr int64_t STALE_US = 10000000;
// At exit the clipboard manager may take this long without asking anything of us.
constexpr int64_t SAVE_QUIET_US = 3000000;
// Another program's clipboard is read up to this size and for this long at most, however
// its owner spreads it over INCR parts: past either, the read gives up and finds no value.
constexpr size_t READ_LIMIT_BYTES = size_t(128) << 20;
constexpr int64_t READ_DEADLINE_US = 20000000;
// One MULTIPLE request is served for this many targets; the pairs after them are refused.
constexpr size_t MULTIPLE_MAX_PAIRS = 64;

// A target converted once for the request being served: its bytes, or none when the
// content cannot be had so.
struct conversion {
  Atom target = 0, type = 0;
  std::shared_ptr<const std::string> data;
};

std::string percent_encoded(const std::string& path) {
  static const char* hex = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : path) {
    if (std::isalnum(c) || c == '/' || c == '-' || c == '_' || c == '.' || c == '~') {
      out += char(c);
    } else {
      out += '%';
      out += hex[c >> 4];
      out += hex[c & 15];
    }
  }
  return out;
}

// The path of a file: URI ("file:///p", "file://localhost/p", "file:/p"), or nullopt for
// any other URI or another host.
std::optional<std::string> file_path(std::string_view uri) {
  if (uri.substr(0, 5) != "file:") return std::nullopt;
  uri.remove_prefix(5);
  if (uri.substr(0, 2) == "//") {
    uri.remove_prefix(2);
    size_t slash = uri.find('/');
    if (slash == std::string_view::npos) return std::nullopt;
    std::string_view host = uri.substr(0, slash);
    if (!host.empty() && host != "localhost") return std::nullopt;
    uri.remove_prefix(slash);
  }
  if (uri.empty() || uri[0] != '/') return std::nullopt;
  std::string out;
  for (size_t i = 0; i < uri.size(); ++i) {
    if (uri[i] == '%' && i + 2 < uri.size() && std::isxdigit(static_cast<unsigned char>(uri[i + 1])) &&
        std::isxdigit(static_cast<unsigned char>(uri[i + 2]))) {
      out += char(std::stoi(std::string(uri.substr(i + 1, 2)), nullptr, 16));
      i += 2;
    } else {
      out += uri[i];
    }
  }
  if (out.find('\0') != std::string::npos) return std::nullopt;
  return out;
}

// The files of a text/uri-list, or nullopt when it names anything but local files.
std::optional<std::vector<std::string>> uri_list_files(const std::string& list) {
  std::vector<std::string> files;
  size_t i = 0;
  while (i < list.size()) {
    size_t end = list.find('\n', i);
    if (end == std::string::npos) end = list.size();
    std::string_view line(list.data() + i, end - i);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    i = end + 1;
    if (line.empty() || line[0] == '#') continue;
    std::optional<std::string> p = file_path(line);
    if (!p) return std::nullopt;
    files.push_back(std::move(*p));
  }
  if (files.empty()) return std::nullopt;
  return files;
}

// UTF-8 as Latin-1, for the STRING target: characters beyond it become '?'.
std::string latin1_of(const std::string& utf8) {
  std::string out;
  for (char16_t c : to_utf16(utf8)) {
    if (c >= 0xDC00 && c <= 0xDFFF) continue;   // the second half of a pair: one '?' is enough
    out += c < 0x100 ? char(c) : '?';
  }
  return out;
}

std::string utf8_of_latin1(const std::string& latin1) {
  std::u16string u;
  for (unsigned char c : latin1) u += char16_t(c);
  return to_utf8(u);
}

}  // namespace

struct x11_display::impl::selection {
  Atom INCR, TIMESTAMP, MULTIPLE, ATOM_PAIR, SAVE_TARGETS, CLIPBOARD_MANAGER, URI_LIST, PNG, TEXT_UTF8,
      VYR_SAVE;
  std::optional<clipboard_content> owned;   // what we serve while we own the CLIPBOARD
  Time owned_since = CurrentTime;
  std::vector<transfer> transfers;
  std::vector<conversion> request_conversions;   // those of the request being served
  int64_t read_until = 0;                        // when the read under way gives up
};

void x11_display::impl::open_selection() {
  sel = new selection;
  const char* names[] = {"INCR", "TIMESTAMP", "MULTIPLE", "ATOM_PAIR", "SAVE_TARGETS", "CLIPBOARD_MANAGER",
                         "text/uri-list", "image/png", "text/plain;charset=utf-8", "VYR_SAVE_TARGETS"};
  Atom a[10];
  XInternAtoms(dpy, const_cast<char**>(names), 10, False, a);
  sel->INCR = a[0]; sel->TIMESTAMP = a[1]; sel->MULTIPLE = a[2]; sel->ATOM_PAIR = a[3];
  sel->SAVE_TARGETS = a[4]; sel->CLIPBOARD_MANAGER = a[5]; sel->URI_LIST = a[6]; sel->PNG = a[7];
  sel->TEXT_UTF8 = a[8]; sel->VYR_SAVE = a[9];
}

void x11_display::impl::close_selection() {
  delete sel;
  sel = nullptr;
}

// ---- Serving ours --------------------------------------------------------------------------

// The targets the content can be had as, those that carry data first.
std::vector<Atom> x11_display::impl::data_targets() {
  std::vector<Atom> t;
  if (!sel->owned) return t;
  switch (sel->owned->kind) {
    case clipboard_content::TEXT: t = {UTF8_STRING, sel->TEXT_UTF8, XA_STRING, TEXT}; break;
    case clipboard_content::FILES: t = {sel->URI_LIST}; break;
    case clipboard_content::PNG: t = {sel->PNG}; break;
    case clipboard_content::EMPTY: case clipboard_content::NO_VALUE: break;
  }
  return t;
}

// The content as `target`: its bytes and the property type; false when it cannot be had so.
bool x11_display::impl::convert(Atom target, std::string* data, Atom* type) {
  if (!sel->owned) return false;
  const clipboard_content& c = *sel->owned;
  if (c.kind == clipboard_content::TEXT) {
    if (target == UTF8_STRING || target == TEXT || target == sel->TEXT_UTF8) {
      *data = c.text;
      *type = target == TEXT ? UTF8_STRING : target;
      return true;
    }
    if (target == XA_STRING) {
      *data = latin1_of(c.text);
      *type = XA_STRING;
      return true;
    }
  } else if (c.kind == clipboard_content::FILES && target == sel->URI_LIST) {
    // File URIs are absolute: a relative path is taken from the current directory.
    std::string cwd;
    if (char* d = getcwd(nullptr, 0)) {
      cwd = d;
      free(d);
    }
    data->clear();
    for (const std::string& f : c.files) {
      std::string path = !f.empty() && f[0] == '/' ? f : cwd + "/" + f;
      *data += "file://" + percent_encoded(path) + "\r\n";
    }
    *type = sel->URI_LIST;
    return true;
  } else if (c.kind == clipboard_content::PNG && target == sel->PNG) {
    data->assign(c.png.begin(), c.png.end());
    *type = sel->PNG;
    return true;
  }
  return false;
}

// The content as `target`, converted once per request: a MULTIPLE request naming a target
// many times, and transfers of it still under way, share one copy of its bytes.
bool x11_display::impl::converted(Atom target, std::shared_ptr<const std::string>* data, Atom* type) {
  for (const conversion& c : sel->request_conversions)
    if (c.target == target) {
      *data = c.data;
      *type = c.type;
      return c.data != nullptr;
    }
  conversion c;
  c.target = target;
  for (const transfer& t : sel->transfers)
    if (t.target == target) {
      c.data = t.data;
      c.type = t.type;
      break;
    }
  if (!c.data) {
    auto bytes = std::make_shared<std::string>();
    if (convert(target, bytes.get(), &c.type)) c.data = std::move(bytes);
  }
  sel->request_conversions.push_back(c);
  *data = c.data;
  *type = c.type;
  return c.data != nullptr;
}

size_t x11_display::impl::request_room() const {
  long words = XExtendedMaxRequestSize(dpy);
  if (words <= 0) words = XMaxRequestSize(dpy);
  // A quarter of a request, and no more than 256 KiB, goes in one piece.
  return size_t(std::clamp<long>(words, 4096, 1 << 18));
}

// Writes `target` on the requestor's property, in INCR parts when it is long; false when
// the content cannot be had as that target.
bool x11_display::impl::write_target(Window requestor, Atom property, Atom target) {
  if (target == TARGETS) {
    std::vector<Atom> t = {TARGETS, sel->TIMESTAMP, sel->MULTIPLE};
    for (Atom a : data_targets()) t.push_back(a);
    XChangeProperty(dpy, requestor, property, XA_ATOM, 32, PropModeReplace, reinterpret_cast<unsigned char*>(t.data()),
                    int(t.size()));
    return true;
  }
  if (target == sel->TIMESTAMP) {
    long t = long(sel->owned_since);
    XChangeProperty(dpy, requestor, property, XA_INTEGER, 32, PropModeReplace, reinterpret_cast<unsigned char*>(&t), 1);
    return true;
  }
  std::shared_ptr<const std::string> data;
  Atom type = None;
  if (!converted(target, &data, &type)) return false;
  if (data->size() <= request_room()) {
    XChangeProperty(dpy, requestor, property, type, 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(data->data()), int(data->size()));
    return true;
  }
  // INCR: the size as a lower bound, then a part each time the requestor deletes the property.
  XSelectInput(dpy, requestor, PropertyChangeMask);
  long size = long(data->size());
  XChangeProperty(dpy, requestor, property, sel->INCR, 32, PropModeReplace, reinterpret_cast<unsigned char*>(&size), 1);
  transfer t;
  t.requestor = requestor;
  t.property = property;
  t.target = target;
  t.type = type;
  t.data = std::move(data);
  t.last_us = steady_us();
  sel->transfers.push_back(std::move(t));
  return true;
}

void x11_display::impl::serve_request(XSelectionRequestEvent& q) {
  XSelectionEvent n{};
  n.type = SelectionNotify;
  n.requestor = q.requestor;
  n.selection = q.selection;
  n.target = q.target;
  n.time = q.time;
  n.property = None;
  // An obsolete client names no property: the target's name is used.
  Atom prop = q.property ? q.property : q.target;
  bool ours = q.selection == CLIPBOARD && sel->owned &&
              (q.time == CurrentTime || sel->owned_since == CurrentTime || q.time >= sel->owned_since);
  sel->request_conversions.clear();
  if (ours && q.target == sel->MULTIPLE) {
    // Pairs of target and property on the requestor; a pair that cannot be had gets None.
    Atom type;
    int format;
    unsigned long count = 0, after = 0;
    unsigned char* raw = nullptr;
    if (q.property && XGetWindowProperty(dpy, q.requestor, q.property, 0, 1 << 16, False, AnyPropertyType, &type,
                                         &format, &count, &after, &raw) == Success && raw && format == 32) {
      std::vector<Atom> pairs(reinterpret_cast<Atom*>(raw), reinterpret_cast<Atom*>(raw) + count);
      for (size_t i = 0; i + 1 < pairs.size(); i += 2)
        if (i / 2 >= MULTIPLE_MAX_PAIRS || pairs[i] == sel->MULTIPLE ||
            !write_target(q.requestor, pairs[i + 1], pairs[i]))
          pairs[i] = None;
      XChangeProperty(dpy, q.requestor, q.property, type, 32, PropModeReplace,
                      reinterpret_cast<unsigned char*>(pairs.data()), int(pairs.size()));
      n.property = q.property;
    }
    if (raw) XFree(raw);
  } else if (ours && write_target(q.requestor, prop, q.target)) {
    n.property = prop;
  }
  sel->request_conversions.clear();
  XSendEvent(dpy, q.requestor, False, 0, reinterpret_cast<XEvent*>(&n));
  XFlush(dpy);
}

// The next part of an INCR transfer, after the requestor deleted the last one.
void x11_display::impl::next_part(size_t i) {
  transfer& t = sel->transfers[i];
  t.last_us = steady_us();
  if (t.done) {
    sel->transfers.erase(sel->transfers.begin() + long(i));
    return;
  }
  size_t n = std::min(request_room(), t.data->size() - t.offset);
  XChangeProperty(dpy, t.requestor, t.property, t.type, 8, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(t.data->data() + t.offset), int(n));
  t.offset += n;
  if (n == 0) t.done = true;   // the empty part closes the transfer
  XFlush(dpy);
}

bool x11_display::impl::selection_event(XEvent& e) {
  if (!sel) return false;
  switch (e.type) {
    case SelectionRequest:
      serve_request(e.xselectionrequest);
      return true;
    case SelectionClear:
      if (e.xselectionclear.selection == CLIPBOARD) sel->owned.reset();
      return true;
    case PropertyNotify: {
      if (e.xproperty.state != PropertyDelete) return false;
      for (size_t i = 0; i < sel->transfers.size(); ++i) {
        transfer& t = sel->transfers[i];
        if (t.requestor == e.xproperty.window && t.property == e.xproperty.atom) {
          next_part(i);
          return true;
        }
      }
      return false;
    }
  }
  return false;
}

bool x11_display::impl::selection_work(const XEvent& e) {
  if (e.type == SelectionRequest || e.type == SelectionClear) return true;
  if (e.type != PropertyNotify || e.xproperty.state != PropertyDelete) return false;
  for (const transfer& t : sel->transfers)
    if (t.requestor == e.xproperty.window && t.property == e.xproperty.atom) return true;
  return false;
}

void x11_display::impl::serve_pending() {
  if (dead || !sel) return;
  XEventsQueued(dpy, QueuedAfterReading);
  XEvent e;
  auto pick = [](Display*, XEvent* ev, XPointer self) -> Bool {
    return reinterpret_cast<impl*>(self)->selection_work(*ev) ? True : False;
  };
  while (!dead && XCheckIfEvent(dpy, &e, pick, reinterpret_cast<XPointer>(this))) selection_event(e);
  // Transfers whose requestor went away.
  int64_t now = steady_us();
  auto& ts = sel->transfers;
  ts.erase(std::remove_if(ts.begin(), ts.end(), [&](const transfer& t) { return now - t.last_us > STALE_US; }),
           ts.end());
}

// Waits up to `timeout_us` for an event `want` picks, answering requests for our clipboard
// meanwhile; other events stay queued. False when it did not come.
bool x11_display::impl::wait_for(const std::function<bool(const XEvent&)>& want, XEvent* out, int64_t timeout_us,
                                 int64_t give_up_at_us) {
  struct ctx {
    impl* self;
    const std::function<bool(const XEvent&)>* want;
  } c{this, &want};
  auto pick = [](Display*, XEvent* ev, XPointer p) -> Bool {
    auto* k = reinterpret_cast<ctx*>(p);
    return (*k->want)(*ev) || k->self->selection_work(*ev) ? True : False;
  };
  int64_t until = steady_us() + timeout_us;
  for (;;) {
    if (dead) return false;
    XEvent e;
    bool progress = false;
    while (!dead && XCheckIfEvent(dpy, &e, pick, reinterpret_cast<XPointer>(&c))) {
      if (want(e)) {
        *out = e;
        return true;
      }
      selection_event(e);
      progress = true;
    }
    int64_t now = steady_us();
    // Answering others counts as the other side being alive: the wait starts again, but
    // never past the time the caller gives up at.
    if (progress) until = std::max(until, now + timeout_us / 2);
    until = std::min(until, give_up_at_us);
    if (now >= until) return false;
    pollfd f{ConnectionNumber(dpy), POLLIN, 0};
    poll(&f, 1, int(std::min<int64_t>((until - now) / 1000 + 1, 100)));
  }
}

// Picks the owner's answer to a conversion of `selection` we asked for.
std::function<bool(const XEvent&)> x11_display::impl::answer_to(Atom selection) {
  return [this, selection](const XEvent& ev) {
    return ev.type == SelectionNotify && ev.xselection.requestor == helper && ev.xselection.selection == selection;
  };
}

// A server timestamp for taking the selection: the time of a property change of our own.
Time x11_display::impl::server_time() {
  unsigned char none = 0;
  XChangeProperty(dpy, helper, VYR_SEL, XA_STRING, 8, PropModeAppend, &none, 0);
  XFlush(dpy);
  XEvent e;
  auto mine = [this](const XEvent& ev) {
    return ev.type == PropertyNotify && ev.xproperty.window == helper && ev.xproperty.atom == VYR_SEL;
  };
  return wait_for(mine, &e, 1000000) ? e.xproperty.time : CurrentTime;
}

bool x11_display::set_clipboard(const clipboard_content& in) {
  impl& p = *p_;
  if (p.dead || !p.sel) return false;
  p.sel->transfers.clear();
  if (in.kind == clipboard_content::EMPTY) {
    // Emptied: the selection has no owner any more, whoever held it.
    p.sel->owned.reset();
    XSetSelectionOwner(p.dpy, p.CLIPBOARD, None, p.server_time());
    XFlush(p.dpy);
    return true;
  }
  Time t = p.server_time();
  p.sel->owned = in;
  p.sel->owned_since = t;
  XSetSelectionOwner(p.dpy, p.CLIPBOARD, p.helper, t);
  if (XGetSelectionOwner(p.dpy, p.CLIPBOARD) != p.helper) {
    p.sel->owned.reset();
    return false;
  }
  return true;
}

// ---- Reading another program's ------------------------------------------------------------

// The CLIPBOARD as `target` from its owner, whole (INCR parts joined); nullopt when the
// owner refused or did not answer in time. A reply past READ_LIMIT_BYTES, or one still
// arriving when the read's time is up, is given up: nullopt with `gave_up` set, and
// nothing of it is kept.
std::optional<std::string> x11_display::impl::fetch(Atom target, Atom* type_out, bool* gave_up) {
  if (gave_up) *gave_up = false;
  const int64_t give_up_at = sel->read_until ? sel->read_until : steady_us() + READ_DEADLINE_US;
  auto too_much = [&]() -> std::optional<std::string> {
    if (gave_up) *gave_up = true;
    // Whatever the owner still writes there is left to it: the next read starts afresh.
    XDeleteProperty(dpy, helper, VYR_SEL);
    XFlush(dpy);
    return std::nullopt;
  };
  XDeleteProperty(dpy, helper, VYR_SEL);
  XConvertSelection(dpy, CLIPBOARD, target, VYR_SEL, helper, CurrentTime);
  XFlush(dpy);
  const Window h = helper;
  const Atom prop = VYR_SEL;
  XEvent e;
  if (!wait_for(answer_to(CLIPBOARD), &e, ANSWER_US, give_up_at) || e.xselection.property == None) return std::nullopt;
  // The whole property, read a few MiB at a time; the server deletes it with the read of
  // the last piece (which asks an INCR owner for the next part). A separate delete could
  // take a part the owner wrote after a read that found nothing, and lose it. `held` is
  // what the reply already holds: the property may add no more than the limit allows.
  bool over = false;
  auto read_all = [&](Atom* type, size_t held) -> std::optional<std::string> {
    std::string out;
    long offset = 0;
    for (;;) {
      int format;
      unsigned long n = 0, after = 0;
      unsigned char* data = nullptr;
      if (XGetWindowProperty(dpy, h, prop, offset, 1 << 20, True, AnyPropertyType, type, &format, &n, &after,
                             &data) != Success)
        return std::nullopt;
      if (data) {
        size_t bytes = format == 32 ? n * sizeof(long) : format == 16 ? n * 2 : n;
        if (held + out.size() + bytes + after > READ_LIMIT_BYTES) {
          XFree(data);
          over = true;
          return std::nullopt;
        }
        out.append(reinterpret_cast<char*>(data), bytes);
        XFree(data);
        offset += long(format == 32 ? n : bytes / 4);
      }
      if (after == 0) break;
    }
    return out;
  };
  Atom type = None;
  std::optional<std::string> first = read_all(&type, 0);
  if (over) return too_much();
  if (!first) return std::nullopt;
  if (type != sel->INCR) {
    if (type_out) *type_out = type;
    return first;
  }
  // INCR: each new value of the property is the next part; an empty one ends.
  std::string whole;
  auto part = [&](const XEvent& ev) {
    return ev.type == PropertyNotify && ev.xproperty.window == h && ev.xproperty.atom == prop &&
           ev.xproperty.state == PropertyNewValue;
  };
  for (;;) {
    if (!wait_for(part, &e, ANSWER_US, give_up_at)) return steady_us() >= give_up_at ? too_much() : std::nullopt;
    std::optional<std::string> piece = read_all(&type, whole.size());
    if (over) return too_much();
    if (!piece) return std::nullopt;
    if (type == None) continue;   // the notice of a value already taken (the INCR itself)
    if (piece->empty()) break;
    whole += *piece;
  }
  if (type_out) *type_out = type;
  return whole;
}

bool x11_display::get_clipboard(clipboard_content* out) {
  impl& p = *p_;
  *out = clipboard_content{};
  if (p.dead || !p.sel) return false;
  Window owner = XGetSelectionOwner(p.dpy, p.CLIPBOARD);
  if (owner == p.helper && p.sel->owned) {
    *out = *p.sel->owned;
    return true;
  }
  p.sel->owned.reset();
  if (owner == None) return true;   // nothing on the clipboard
  // One deadline for the whole read, whatever the owner makes of each conversion. An
  // owner that overran it, or the size limit, has a format but gives no value.
  p.sel->read_until = steady_us() + READ_DEADLINE_US;
  struct done_reading {
    impl* p;
    ~done_reading() { p->sel->read_until = 0; }
  } reading{&p};
  bool gave_up = false;
  auto no_value = [&] {
    *out = clipboard_content{};
    out->kind = clipboard_content::NO_VALUE;
    return true;
  };
  // What the owner offers; an owner that does not list its targets is asked for text.
  std::vector<Atom> offered;
  Atom type = None;
  std::optional<std::string> targets = p.fetch(p.TARGETS, &type, &gave_up);
  if (gave_up) return no_value();
  if (targets && (type == XA_ATOM || type == p.TARGETS)) {
    const Atom* a = reinterpret_cast<const Atom*>(targets->data());
    offered.assign(a, a + targets->size() / sizeof(Atom));
  }
  auto has = [&](Atom a) { return offered.empty() || std::find(offered.begin(), offered.end(), a) != offered.end(); };
  // A list of local files first: file managers offer the paths as text as well.
  if (!offered.empty() && has(p.sel->URI_LIST)) {
    std::optional<std::string> list = p.fetch(p.sel->URI_LIST, nullptr, &gave_up);
    if (gave_up) return no_value();
    if (list)
      if (auto files = uri_list_files(*list)) {
        out->kind = clipboard_content::FILES;
        out->files = std::move(*files);
        return true;
      }
  }
  for (Atom t : {p.UTF8_STRING, p.sel->TEXT_UTF8, Atom(XA_STRING)}) {
    if (!has(t)) continue;
    std::optional<std::string> text = p.fetch(t, &type, &gave_up);
    if (gave_up) return no_value();
    if (text) {
      out->kind = clipboard_content::TEXT;
      out->text = type == XA_STRING ? utf8_of_latin1(*text) : std::move(*text);
      return true;
    }
    if (offered.empty()) break;   // an owner that cannot say what it has: text was all we asked
  }
  if (!offered.empty() && has(p.sel->PNG)) {
    std::optional<std::string> png = p.fetch(p.sel->PNG, nullptr, &gave_up);
    if (gave_up) return no_value();
    if (png) {
      out->kind = clipboard_content::PNG;
      out->png.assign(png->begin(), png->end());
      return true;
    }
  }
  return true;   // nothing we can take: as empty
}

// ---- Outside the message loop, and at the end -----------------------------------------------

int x11_display::connection_fd() const { return p_->dead ? -1 : ConnectionNumber(p_->dpy); }

void x11_display::serve_clipboard() { p_->serve_pending(); }

void x11_display::hand_over_clipboard() {
  impl& p = *p_;
  if (p.dead || !p.sel || !p.sel->owned) return;
  if (XGetSelectionOwner(p.dpy, p.CLIPBOARD) != p.helper) return;
  if (XGetSelectionOwner(p.dpy, p.sel->CLIPBOARD_MANAGER) == None) return;
  // The targets to keep, then the request; the manager asks us for them before it answers.
  std::vector<Atom> keep = p.data_targets();
  XChangeProperty(p.dpy, p.helper, p.sel->VYR_SAVE, XA_ATOM, 32, PropModeReplace,
                  reinterpret_cast<unsigned char*>(keep.data()), int(keep.size()));
  XConvertSelection(p.dpy, p.sel->CLIPBOARD_MANAGER, p.sel->SAVE_TARGETS, p.sel->VYR_SAVE, p.helper,
                    p.sel->owned_since);
  XFlush(p.dpy);
  XEvent e;
  p.wait_for(p.answer_to(p.sel->CLIPBOARD_MANAGER), &e, SAVE_QUIET_US);
  // Parts of a long target still on their way go out before the connection closes.
  int64_t until = steady_us() + SAVE_QUIET_US;
  while (!p.dead && !p.sel->transfers.empty() && steady_us() < until) {
    auto idle = [](const XEvent&) { return false; };
    p.wait_for(idle, &e, 100000);
  }
}

}  // namespace vyr::win
