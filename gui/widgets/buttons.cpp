// The button types' shared steps.
#include "gui/widgets/buttons.h"

#include <vector>

#include "gui/backend/fonts.h"
#include "gui/win/controls/controls.h"
#include "runtime/api/values.h"

namespace vyr::gui::widgets {

using namespace win;

namespace {
bool image_with_pixels(const cell* c) { return c && type_of(c) == TYPE_IMAGE && api::image::record_of(c) != 0; }

// The image's pixels as a bitmap of the layer.
HBITMAP bitmap_of(const cell* img) {
  cell copy = *img;
  api::image::lock pixels(&copy, false);
  return CreateBitmapARGB(int(api::image::width_of(&copy)), int(api::image::height_of(&copy)), pixels.data());
}
}  // namespace

void set_button_images(HWND h, const cell* face_in) {
  cell face = *face_in;
  api::root_guard guard(&face);
  std::vector<cell> images;
  int w = 0, hh = 0;
  const cell* image = facet(&face, facet_index::image);
  if (image_with_pixels(image)) {
    images.push_back(*image);
    w = int(api::image::width_of(image));
    hh = int(api::image::height_of(image));
  } else if (image && type_of(image) == TYPE_BLOCK) {
    cell b = *image;
    i32 n = api::host().block_length(&b);
    u32 head = u32(api::head_index(&b));
    const cell* second = n == 2 ? api::host().block_at(&b, head + 1) : nullptr;
    if (second && type_of(second) == TYPE_PAIR) {
      const cell* first = api::host().block_at(&b, head);
      if (image_with_pixels(first)) images.push_back(*first);
      w = api::pair::x_of(second);
      hh = api::pair::y_of(second);
    } else {
      for (i32 i = 0; i < n; i++) {
        const cell* v = api::host().block_at(&b, head + u32(i));
        if (image_with_pixels(v)) images.push_back(*v);
      }
      logical_xy size = xy_of(facet(&face, facet_index::size));
      w = to_pixels(size.x);
      hh = to_pixels(size.y);
    }
  }
  BUTTON_IMAGELIST bil{NO_IMAGELIST, {}, BUTTON_IMAGELIST_ALIGN_CENTER};
  BUTTON_IMAGELIST old{};
  if (SendMessage(h, BCM_GETIMAGELIST, 0, reinterpret_cast<LPARAM>(&old))) ImageList_Destroy(old.himl);
  if (!images.empty() && w > 0 && hh > 0) {
    // The images are rooted while their pixels are read: reading may allocate.
    api::root_guard keep(images.data(), u32(images.size()));
    int entries = images.size() == 1 ? 1 : 6;
    bil.himl = ImageList_Create(w, hh, ILC_COLOR32, entries, 0);
    for (int i = 0; i < entries; ++i) {
      HBITMAP bm = bitmap_of(&images[size_t(i) < images.size() ? size_t(i) : 0]);
      ImageList_Add(bil.himl, bm, HBITMAP{});
      DeleteObject(bm);
    }
  }
  SendMessage(h, BM_SETSTYLE, WPARAM(u32(GetWindowLong(h, GWL_STYLE)) | BS_BITMAP), 1);
  SendMessage(h, BCM_SETIMAGELIST, 0, 0);
  SendMessage(h, BCM_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(&bil));
}

LRESULT custom_draw_button(const cell* face, const NMCUSTOMDRAW& cd) {
  if (cd.dwDrawStage != CDDS_PREPAINT || (cd.uItemState & CDIS_DISABLED)) return 0;
  const cell* font = facet(face, facet_index::font);
  if (!font || type_of(font) != TYPE_OBJECT) return 0;
  face_type t = type_of_face(face);
  i64 colour = color_of(facet(font, 0), font_field::color);
  if (colour >= 0) SetTextColor(cd.hdc, COLORREF(colour));
  SetBkMode(cd.hdc, TRANSPARENT);
  RECT r = cd.rc;
  if (t == face_type::check || t == face_type::radio) r.left = add32(r.left, to_pixels(16));
  // The para's alignment read as a base face's: DrawText's own bits.
  cell base_word = api::word::intern(face_types::word_of(face_type::base));
  const cell* para = facet(face, facet_index::para);
  u32 align = para && type_of(para) == TYPE_OBJECT ? para_flags(&base_word, para) & 0xF : DT_CENTER | DT_VCENTER;
  DrawText(cd.hdc, text_of(facet(face, facet_index::text)), r, align | DT_SINGLELINE);
  return CDRF_SKIPDEFAULT;
}

void clear_other_radios(HWND radio) {
  for (HWND sibling : children(GetParent(radio))) {
    if (sibling == radio) continue;
    const cell* f = face_of_window(sibling);
    if (!f || !face_type_is(f, face_type::radio)) continue;
    SendMessage(sibling, BM_SETCHECK, BST_UNCHECKED, 0);
    if ((f = face_of_window(sibling)))
      if (cell* data = facet(f, facet_index::data)) api::logic::make_at(data, false);
  }
}

LRESULT button_common_notify(const cell* face, HWND, u32 msg, WPARAM, LPARAM l) {
  if (msg != WM_NOTIFY) return 0;
  const auto* hdr = reinterpret_cast<const NMHDR*>(l);
  if (hdr->code != NM_CUSTOMDRAW) return 0;
  return custom_draw_button(face, *reinterpret_cast<const NMCUSTOMDRAW*>(l));
}

void sync_button(const cell* face, HWND h, u32 mask, bool checks, bool tri, bool images) {
  cell f = *face;
  api::root_guard guard(&f);
  sync_control(&f, h, mask);
  if (checks && ((mask >> facet_index::data) & 1)) {
    set_check(h, &f, tri);
    const cell* data = facet(&f, facet_index::data);
    if (face_type_is(&f, face_type::radio) && logic_true(data)) {
      clear_other_radios(h);
      // The data update tells the parent, as a radio's click does.
      HWND parent = GetParent(h);
      if (!is_null(parent))
        SendMessage(parent, WM_COMMAND, MAKEWPARAM(u32(GetWindowLong(h, GWLP_ID)), 3), LPARAM(raw(h)));
    }
  }
  if (images && ((mask >> facet_index::image) & 1) && IsWindow(h)) set_button_images(h, &f);
}

}  // namespace vyr::gui::widgets
