// The records of the face types as one contract: what each slot promises holds for every
// type, so that a new widget that forgets part of it fails here rather than on a screen.
#include <gtest/gtest.h>

#include "gui/face/face_types.h"

namespace vyr::test {
using namespace vyr::gui;

TEST(FaceTypes, EveryRecordKeepsItsSlotsPromises) {
  for (u32 i = 1; i <= face_types::count; i++) {
    auto t = static_cast<face_type>(i);
    const face_type_record* r = face_types::record_of(t);
    SCOPED_TRACE(face_types::word_of(t));
    if (!r) continue;
    EXPECT_TRUE(r->window_class && r->make && r->sync);
    // A type's window needs a procedure: its own or the control's it superclasses.
    EXPECT_TRUE(r->procedure || r->base_class);
    if (const para_style* p = r->para) {
      // A para change clears `mask` before setting the new bits: a bit outside it could
      // never be taken away again.
      u32 all = p->wrap | p->nowrap;
      for (int k = 0; k < 4; k++) all |= p->h[k] | p->v[k];
      EXPECT_EQ(all & ~p->mask, 0u);
    }
    // A type remade on a para change takes the para's bits when it is made.
    if (r->remade_on_para) EXPECT_NE(r->para, nullptr);
  }
  // A face whose type has no record is synced as a plain window.
  EXPECT_NE(face_types::plain_record().sync, nullptr);
  EXPECT_EQ(&face_types::slots(face_type::none), &face_types::slots(face_type::caret));
}

}  // namespace vyr::test
