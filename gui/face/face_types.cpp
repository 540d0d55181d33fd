// The table of face-type records, generated from the list: a row marked `widget` names the
// record its file defines (`<member>_record`), a row marked `none` has none yet.
#include "gui/face/face_types.h"

namespace vyr::gui {

namespace widgets {
#define VYR_RECORD_DECLARE_widget(member) extern const face_type_record member##_record;
#define VYR_RECORD_DECLARE_none(member)
#define VYR_RECORD_DECLARE(member, word, record, text) VYR_RECORD_DECLARE_##record(member)
VYR_FACE_TYPES(VYR_RECORD_DECLARE)
#undef VYR_RECORD_DECLARE
#undef VYR_RECORD_DECLARE_none
#undef VYR_RECORD_DECLARE_widget
}  // namespace widgets

namespace {
const face_type_record* const records[] = {
#define VYR_RECORD_ENTRY_widget(member) &widgets::member##_record,
#define VYR_RECORD_ENTRY_none(member) nullptr,
#define VYR_RECORD_ENTRY(member, word, record, text) VYR_RECORD_ENTRY_##record(member)
    VYR_FACE_TYPES(VYR_RECORD_ENTRY)
#undef VYR_RECORD_ENTRY
#undef VYR_RECORD_ENTRY_none
#undef VYR_RECORD_ENTRY_widget
};
static_assert(sizeof records / sizeof records[0] == face_types::count,
              "one record slot per face type");
}  // namespace

const face_type_record* face_types::record_of(face_type t) {
  return t == face_type::none ? nullptr : records[static_cast<u32>(t) - 1];
}

const face_type_record& face_types::slots(face_type t) {
  static const face_type_record empty{};
  const face_type_record* r = record_of(t);
  return r ? *r : empty;
}

const face_type_record& face_types::plain_record() { return widgets::base_record; }

}  // namespace vyr::gui
