// `calendar` faces: month calendars (VyrCalendar) showing the date of `data`. A `data` that
// is no date! takes the control's date. A day chosen writes `data` (a date without time)
// and gives `change`; the face's `color` is the calendar's background.
#include <algorithm>

#include "gui/backend/events.h"
#include "gui/widgets/controls.h"
#include "gui/win/controls/controls.h"
#include "runtime/api/values.h"

namespace vyr::gui::widgets {

using namespace win;

namespace {
u16 clamp_year(i32 y) { return u16(y <= 1600 ? 1601 : y >= 10000 ? 9999 : y); }

// gui/set-calendar-date
void set_calendar_date(HWND h, const cell* d) {
  SYSTEMTIME st;
  st.wYear = clamp_year(api::date::year_of(api::date::packed_of(d)));
  st.wMonth = u16(api::date::month_of(api::date::packed_of(d)));
  st.wDayOfWeek = 0;
  st.wDay = u16(api::date::day_of(api::date::packed_of(d)));
  SendMessage(h, MCM_SETCURSEL, 0, reinterpret_cast<LPARAM>(&st));
}

// gui/get-calendar-date: the control's date into the face's `data`.
void get_calendar_date(HWND h) {
  SYSTEMTIME st;
  if (!SendMessage(h, MCM_GETCURSEL, 0, reinterpret_cast<LPARAM>(&st))) return;
  const cell* face = face_of_window(h);
  if (cell* data = face ? facet(face, facet_index::data) : nullptr)
    api::date::make_at(data, clamp_year(st.wYear), st.wMonth, st.wDay, 0, 0, 0, false);
}

// gui/sync-calendar: a date! goes to the control, anything else takes the control's date.
void sync_calendar(HWND h, const cell* face) {
  const cell* data = facet(face, facet_index::data);
  if (data && type_of(data) == TYPE_DATE) set_calendar_date(h, data);
  else get_calendar_date(h);
}

// gui/set-calendar-color: a tuple! colour, or the button face for none.
void set_calendar_color(HWND h, const cell* face) {
  const cell* c = facet(face, facet_index::color);
  if (!c) return;
  if (type_of(c) == TYPE_NONE) SendMessage(h, MCM_SETCOLOR, MCSC_BACKGROUND, LPARAM(GetSysColor(COLOR_BTNFACE)));
  else if (type_of(c) == TYPE_TUPLE)
    SendMessage(h, MCM_SETCOLOR, MCSC_BACKGROUND, LPARAM(color_of(facet(face, 0), facet_index::color)));
}

LRESULT calendar_wndproc(HWND h, u32 msg, WPARAM w, LPARAM l) {
  if (msg == WM_LBUTTONDOWN) SetFocus(h);
  if (!IsWindow(h)) return 0;
  return CallWindowProc(calendar_proc, h, msg, w, l);
}

HWND make(const cell* face, HWND parent, u32 flags) {
  HWND h = make_control(face, parent, flags, "VyrCalendar", MCS_NOTODAY | MCS_SHORTDAYSOFWEEK | MCS_NOSELCHANGEONNAV, 0);
  if (is_null(h)) return h;
  sync_calendar(h, face);
  const cell* c = facet(face, facet_index::color);
  if (c && type_of(c) == TYPE_TUPLE) set_calendar_color(h, face);
  return h;
}

void sync(const cell* face_in, HWND h, u32 mask) {
  sync_then(face_in, h, mask, [&](const cell* face) {
    if ((mask >> facet_index::data) & 1) sync_calendar(h, face);
    if ((mask >> facet_index::color) & 1) set_calendar_color(h, face);
  });
}

LRESULT notify(const cell*, HWND h, u32 msg, WPARAM w, LPARAM l) {
  if (msg != WM_NOTIFY || reinterpret_cast<const NMHDR*>(l)->code != MCN_SELECT) return 0;
  // gui/calendar-changed
  get_calendar_date(h);
  control_event(h, msg, w, l, api::event::CHANGE);
  return 0;
}
}  // namespace

extern const face_type_record calendar_record = {
    .window_class = "VyrCalendar",
    .procedure = calendar_wndproc,
    .make = make,
    .sync = sync,
    .notify = notify,
    .colour = control_colour,
    .base_class = "SysMonthCal32",
};

}  // namespace vyr::gui::widgets
