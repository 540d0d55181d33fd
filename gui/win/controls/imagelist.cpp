// Image lists: images of one size kept as premultiplied surfaces, added from bitmaps and
// drawn by index. Handles are never reused in a process, so a destroyed list's handle stays
// invalid.
#include <memory>
#include <unordered_map>
#include <vector>

#include <cairo.h>

#include "gui/win/controls/controls.h"

namespace vyr::win {

namespace {
struct image_list {
  int cx = 0, cy = 0;
  std::vector<cairo_surface_t*> images;
  ~image_list() {
    for (auto* s : images) cairo_surface_destroy(s);
  }
};

std::unordered_map<uint32_t, std::unique_ptr<image_list>>& lists() {
  static std::unordered_map<uint32_t, std::unique_ptr<image_list>> m;
  return m;
}

image_list* list_of(HIMAGELIST h) {
  auto it = lists().find(uint32_t(h));
  return it == lists().end() ? nullptr : it->second.get();
}
}  // namespace

HIMAGELIST ImageList_Create(int cx, int cy, uint32_t, int, int) {
  static uint32_t next = 0;
  if (cx <= 0 || cy <= 0 || cx > 16384 || cy > 16384 || next >= 0xFFFFFFFEu) return HIMAGELIST{};
  auto l = std::make_unique<image_list>();
  l->cx = cx;
  l->cy = cy;
  uint32_t id = ++next;
  lists()[id] = std::move(l);
  return HIMAGELIST{id};
}

bool ImageList_Destroy(HIMAGELIST h) { return lists().erase(uint32_t(h)) > 0; }

int ImageList_Add(HIMAGELIST h, HBITMAP image, HBITMAP) {
  image_list* l = list_of(h);
  cairo_surface_t* src = bitmap_surface(image);
  if (!l || !src) return -1;
  cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, l->cx, l->cy);
  cairo_t* cr = cairo_create(s);
  int w = cairo_image_surface_get_width(src), hh = cairo_image_surface_get_height(src);
  cairo_scale(cr, double(l->cx) / w, double(l->cy) / hh);
  cairo_set_source_surface(cr, src, 0, 0);
  cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_GOOD);
  cairo_paint(cr);
  cairo_destroy(cr);
  cairo_surface_flush(s);
  l->images.push_back(s);
  return int(l->images.size()) - 1;
}

int ImageList_GetImageCount(HIMAGELIST h) {
  image_list* l = list_of(h);
  return l ? int(l->images.size()) : 0;
}

bool ImageList_GetIconSize(HIMAGELIST h, int& cx, int& cy) {
  image_list* l = list_of(h);
  if (!l) return false;
  cx = l->cx;
  cy = l->cy;
  return true;
}

bool ImageList_Draw(HIMAGELIST h, int index, HDC dc, int x, int y, uint32_t) {
  image_list* l = list_of(h);
  cairo_t* cr = cairo_of(dc);
  if (!l || !cr || index < 0 || size_t(index) >= l->images.size()) return false;
  cairo_save(cr);
  cairo_set_source_surface(cr, l->images[size_t(index)], x, y);
  cairo_paint(cr);
  cairo_restore(cr);
  return true;
}

}  // namespace vyr::win
