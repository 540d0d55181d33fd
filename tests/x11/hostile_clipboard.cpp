// Hostile clients of the X11 clipboard test, written against Xlib alone.
//
// `hostile_clipboard owner PART_KIB DELAY_MS`: owns the CLIPBOARD, offers text, and answers
// a request for it with an INCR transfer that never ends: a part of PART_KIB KiB each time
// the requestor takes the last one, DELAY_MS after it. Prints "ready" once it owns the
// CLIPBOARD, then "parts N" each time it is asked for the text again (N: the parts sent so
// far). Runs until killed, 300 seconds at most.
//
// `hostile_clipboard multiple PAIRS`: asks the CLIPBOARD's owner for one MULTIPLE
// conversion listing PAIRS pairs of UTF8_STRING and a property of its own, then takes the
// first pair that was served whole (INCR parts joined). Prints "served S of PAIRS, first N
// bytes" (S: the pairs not refused) or "no answer".
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <poll.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "xlib_client.h"

namespace {
using namespace xlib_client;

Display* d;
Window w;
Atom CLIPBOARD, TARGETS, UTF8, INCR, MULTIPLE, ATOM_PAIR;

int owner(int part_kib, int delay_ms) {
  XSetSelectionOwner(d, CLIPBOARD, w, CurrentTime);
  if (XGetSelectionOwner(d, CLIPBOARD) != w) return 3;
  std::printf("ready\n");
  std::fflush(stdout);
  std::string part(size_t(part_kib) * 1024, 'x');
  Window requestor = 0;
  Atom property = 0;
  long parts = 0;
  deadline until = std::chrono::steady_clock::now() + std::chrono::seconds(300);
  XEvent e;
  while (next_event(d, &e, until)) {
    if (e.type == SelectionRequest) {
      XSelectionRequestEvent q = e.xselectionrequest;
      Atom prop = q.property ? q.property : q.target;
      if (q.target == TARGETS) {
        Atom t[] = {TARGETS, UTF8};
        XChangeProperty(d, q.requestor, prop, XA_ATOM, 32, PropModeReplace, reinterpret_cast<unsigned char*>(t), 2);
        reply(d, q, prop);
      } else if (q.target == UTF8) {
        // The size announced is small: the parts never stop coming all the same.
        if (requestor && requestor != q.requestor) XSelectInput(d, requestor, NoEventMask);
        requestor = q.requestor;
        property = prop;
        XSelectInput(d, requestor, PropertyChangeMask);
        long size = 1024;
        XChangeProperty(d, requestor, property, INCR, 32, PropModeReplace, reinterpret_cast<unsigned char*>(&size), 1);
        reply(d, q, prop);
        std::printf("parts %ld\n", parts);
        std::fflush(stdout);
      } else {
        reply(d, q, None);
      }
    } else if (e.type == PropertyNotify && e.xproperty.window == requestor && e.xproperty.atom == property &&
               e.xproperty.state == PropertyDelete) {
      if (delay_ms > 0) poll(nullptr, 0, delay_ms);
      XChangeProperty(d, requestor, property, UTF8, 8, PropModeReplace,
                      reinterpret_cast<const unsigned char*>(part.data()), int(part.size()));
      XFlush(d);
      ++parts;
    }
  }
  return 0;
}

// The whole value of `prop` on our window after the owner answered, INCR parts joined.
bool take(Atom prop, std::string* out, deadline until) {
  Atom type;
  int format;
  unsigned long n = 0, after = 0;
  unsigned char* data = nullptr;
  if (XGetWindowProperty(d, w, prop, 0, 1 << 24, True, AnyPropertyType, &type, &format, &n, &after, &data) != Success)
    return false;
  if (data) XFree(data);
  if (type != INCR) return false;   // a 1 MB text comes in parts
  XEvent e;
  for (;;) {
    if (!next_event(d, &e, until)) return false;
    if (e.type != PropertyNotify || e.xproperty.atom != prop || e.xproperty.state != PropertyNewValue) continue;
    data = nullptr;
    if (XGetWindowProperty(d, w, prop, 0, 1 << 24, True, AnyPropertyType, &type, &format, &n, &after, &data) !=
        Success)
      return false;
    if (!data) continue;
    if (n == 0) {
      XFree(data);
      return true;
    }
    out->append(reinterpret_cast<char*>(data), n);
    XFree(data);
  }
}

int multiple(int pairs) {
  XSelectInput(d, w, PropertyChangeMask);
  std::vector<Atom> list;
  for (int i = 0; i < pairs; i++) {
    list.push_back(UTF8);
    list.push_back(XInternAtom(d, ("HOSTILE_" + std::to_string(i)).c_str(), False));
  }
  Atom request = XInternAtom(d, "HOSTILE_PAIRS", False);
  XChangeProperty(d, w, request, ATOM_PAIR, 32, PropModeReplace, reinterpret_cast<unsigned char*>(list.data()),
                  int(list.size()));
  XConvertSelection(d, CLIPBOARD, MULTIPLE, request, w, CurrentTime);
  XFlush(d);
  deadline until = std::chrono::steady_clock::now() + std::chrono::seconds(120);
  XEvent e;
  for (;;) {
    if (!next_event(d, &e, until)) {
      std::printf("no answer\n");
      return 1;
    }
    if (e.type == SelectionNotify) break;
  }
  if (e.xselection.property != request) {
    std::printf("refused\n");
    return 1;
  }
  Atom type;
  int format;
  unsigned long n = 0, after = 0;
  unsigned char* data = nullptr;
  if (XGetWindowProperty(d, w, request, 0, 1 << 16, False, AnyPropertyType, &type, &format, &n, &after, &data) !=
          Success || !data || format != 32)
    return 1;
  std::vector<Atom> back(reinterpret_cast<Atom*>(data), reinterpret_cast<Atom*>(data) + n);
  XFree(data);
  int served = 0;
  Atom first = None;
  for (size_t i = 0; i + 1 < back.size(); i += 2) {
    if (back[i] == None) continue;
    ++served;
    if (first == None) first = back[i + 1];
  }
  std::string value;
  if (first != None && !take(first, &value, until)) value.clear();
  std::printf("served %d of %d, first %zu bytes\n", served, pairs, value.size());
  return 0;
}
}  // namespace

int main(int argc, char** argv) {
  if (argc != 3 && argc != 4) return 2;
  d = XOpenDisplay(nullptr);
  if (!d) return 2;
  w = XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, 1, 1, 0, 0, 0);
  CLIPBOARD = XInternAtom(d, "CLIPBOARD", False);
  TARGETS = XInternAtom(d, "TARGETS", False);
  UTF8 = XInternAtom(d, "UTF8_STRING", False);
  INCR = XInternAtom(d, "INCR", False);
  MULTIPLE = XInternAtom(d, "MULTIPLE", False);
  ATOM_PAIR = XInternAtom(d, "ATOM_PAIR", False);
  int rc = 2;
  if (!std::strcmp(argv[1], "owner") && argc == 4) rc = owner(std::atoi(argv[2]), std::atoi(argv[3]));
  else if (!std::strcmp(argv[1], "multiple") && argc == 3) rc = multiple(std::atoi(argv[2]));
  std::fflush(stdout);
  XCloseDisplay(d);
  return rc;
}
