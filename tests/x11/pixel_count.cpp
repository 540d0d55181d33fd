// Counts the screen's pixels of one colour, read through an X connection of its own (what a
// person would see): pixel_count RRGGBB prints the count. For tests that show windows.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  unsigned long want = std::strtoul(argv[1], nullptr, 16);
  Display* d = XOpenDisplay(nullptr);
  if (!d) return 1;
  Window root = DefaultRootWindow(d);
  XWindowAttributes a;
  XGetWindowAttributes(d, root, &a);
  XImage* img = XGetImage(d, root, 0, 0, unsigned(a.width), unsigned(a.height), AllPlanes, ZPixmap);
  if (!img) return 1;
  long n = 0;
  for (int y = 0; y < a.height; y++)
    for (int x = 0; x < a.width; x++)
      if ((XGetPixel(img, x, y) & 0xFFFFFF) == want) n++;
  std::printf("%ld\n", n);
  XDestroyImage(img);
  XCloseDisplay(d);
  return 0;
}
