// The items of the list controls (ListBox for `text-list`, ComboBox for `drop-down` and
// `drop-list`, the tab control for `tab-panel`) from the string-like values of a face's
// `data`, set whole or kept in step with its changes.
#pragma once
#include <string>

#include "gui/widgets/controls.h"

namespace vyr::gui::widgets {

// Which control's messages the items go through.
enum class list_kind { list_box, combo_box, tabs };

// The values a `data` block!, hash! or map! holds, in order (a map's keys and values), as
// a block whose head is the first; none for any other value.
cell data_values(const cell* data);

// The text-list's items from `data`: each string-like value, the longest setting the
// horizontal extent (its length kept in the type slot); `selected` n selects item n
// (none for n <= 0), a `selected` that is no integer! becomes -1.
void set_list_data(win::HWND, const cell* face);
// The combo box's items from `data`; without text (or for a drop-list) `selected` picks
// the item, else the text is the edit field's.
void set_combo_data(win::HWND, const cell* face, bool drop_list);
// The tabs from `data`, then `selected` clamped to the tabs (none: 1, no message).
void set_tab_items(win::HWND, const cell* face);

// A change inside `data` (see face_type_record::data_changed) reaches the control's items
// item by item: told before, the values that go lose their owner and their items; told
// after, the values that came become items owned by the face under `data`; a move inside
// `data` moves its run's items; a change of one string item sets its item again. The items
// are set again from `data` only where the change cannot say what moved: a map's body, a
// swap or a move inside `data` holding values that are no items, a move between two
// series whose first half went untold.
void sync_list_data(const cell* face, win::HWND, const cell* changed, const cell* action, const cell* value,
                    i32 index, i32 count, list_kind);

// A `text-list`'s horizontal extent for its longest item: the item's width in the list's
// font, plus 4.
void set_list_extent(win::HWND, const std::string& text);

}  // namespace vyr::gui::widgets

namespace vyr::gui::widgets {

// What `drop-down` and `drop-list` share (gui/widgets/combos.cpp): the class procedure over
// ComboBox, making one, its facets and its notifications.
win::LRESULT combo_wndproc(win::HWND, u32 msg, win::WPARAM, win::LPARAM);
win::HWND make_combo(const cell* face, win::HWND parent, u32 flags, bool drop_list);
void sync_combo(const cell* face, win::HWND, u32 mask);
win::LRESULT combo_notify(const cell* face, win::HWND, u32 msg, win::WPARAM, win::LPARAM);
void combo_data_changed(const cell* face, win::HWND, const cell* changed, const cell* action,
                        const cell* value, i32 index, i32 count);

}  // namespace vyr::gui::widgets
