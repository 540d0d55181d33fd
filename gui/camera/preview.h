// Painting a camera window: the newest frame, scaled into where the video goes, on black.
#pragma once
#include "gui/camera/frames.h"

typedef struct _cairo cairo_t;

namespace vyr::camera {

// Fills a width x height area with black and, when `frames` holds a frame and the area and
// `ratio` place a video, paints that frame scaled into fit_video's rectangle.
void paint_preview(cairo_t* cr, int32_t width, int32_t height, frame_record* frames, double ratio);

}  // namespace vyr::camera
