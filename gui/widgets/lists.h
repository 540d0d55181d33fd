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

// A change inside `data` (see face_type_record::data_changed) reaches the control's items.
// Removing actions delete the string-like values of the range, inserting ones insert
// them; a change of one string item replaces its item. Where the change's form cannot be
// followed item by item (a sort, a swap, a move inside `data` ...), and whenever the items
// no longer count what `data` holds, the items are set again from `data`.
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
