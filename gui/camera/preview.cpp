// The preview painter. The frame is painted straight from the preview slot under its lock,
// so the capture thread waits at most one paint and no copy is made.
#include "gui/camera/preview.h"

#include <cairo.h>

namespace vyr::camera {

void paint_preview(cairo_t* cr, int32_t width, int32_t height, frame_record* frames, double ratio) {
  cairo_save(cr);
  cairo_set_source_rgb(cr, 0, 0, 0);
  cairo_rectangle(cr, 0, 0, width, height);
  cairo_fill(cr);
  video_rect r;
  if (frames && fit_video(ratio, width, height, r) && r.width > 0 && r.height > 0) {
    frame_record::preview_view v = frames->preview();
    if (v.pixels) {
      // Opaque BGRA words are cairo's ARGB32 as they stand.
      cairo_surface_t* s = cairo_image_surface_create_for_data(
          reinterpret_cast<unsigned char*>(const_cast<uint32_t*>(v.pixels)), CAIRO_FORMAT_ARGB32,
          int(v.width), int(v.height), int(v.width) * 4);
      cairo_rectangle(cr, r.left, r.top, r.width, r.height);
      cairo_clip(cr);
      cairo_translate(cr, r.left, r.top);
      cairo_scale(cr, double(r.width) / v.width, double(r.height) / v.height);
      cairo_set_source_surface(cr, s, 0, 0);
      cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_GOOD);
      cairo_paint(cr);
      // Nothing may keep the slot's pixels once its lock is let go.
      cairo_set_source_rgb(cr, 0, 0, 0);
      cairo_surface_destroy(s);
    }
  }
  cairo_restore(cr);
}

}  // namespace vyr::camera
