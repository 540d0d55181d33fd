// The list controls' items from `data`.
#include "gui/widgets/lists.h"

#include <algorithm>

#include "gui/backend/events.h"
#include "gui/widgets/tab_pages.h"
#include "runtime/collector.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/map.h"
#include "runtime/datatypes/series.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/word.h"
#include "runtime/ownership.h"

namespace vyr::gui::widgets {

using namespace win;

namespace {
i64 code_points(const std::string& s) {
  i64 n = 0;
  for (unsigned char c : s) n += (c & 0xC0) != 0x80;
  return n;
}

// The items of one control, through its own messages.
struct items {
  HWND h;
  list_kind kind;

  i32 count() const {
    uint32_t m = kind == list_kind::list_box ? LB_GETCOUNT : kind == list_kind::combo_box ? CB_GETCOUNT : TCM_GETITEMCOUNT;
    return i32(std::max<LRESULT>(0, SendMessage(h, m, 0, 0)));
  }
  void reset() const {
    uint32_t m = kind == list_kind::list_box ? LB_RESETCONTENT : kind == list_kind::combo_box ? CB_RESETCONTENT
                                                                                            : TCM_DELETEALLITEMS;
    SendMessage(h, m, 0, 0);
    if (kind == list_kind::list_box) extra(h)->type_slot = 0;
  }
  // Inserts at `at`, clamped to the count.
  void insert(i32 at, const std::string& text) const {
    at = std::clamp(at, 0, count());
    if (kind == list_kind::tabs) {
      // gui/insert-tab
      TCITEM it;
      it.mask = TCIF_TEXT;
      it.pszText = const_cast<char*>(text.c_str());
      it.cchTextMax = i32(text.size());
      it.iImage = -1;
      SendMessage(h, TCM_INSERTITEM, WPARAM(at), reinterpret_cast<LPARAM>(&it));
      return;
    }
    SendMessage(h, kind == list_kind::list_box ? LB_INSERTSTRING : CB_INSERTSTRING, WPARAM(at),
                reinterpret_cast<LPARAM>(text.c_str()));
    if (kind == list_kind::list_box) {
      window_extra* x = extra(h);
      i64 n = code_points(text);
      if (x && n > i64(x->type_slot)) {
        x->type_slot = u32(n);
        set_list_extent(h, text);
      }
    }
  }
  void remove(i32 at) const {
    uint32_t m = kind == list_kind::list_box ? LB_DELETESTRING : kind == list_kind::combo_box ? CB_DELETESTRING
                                                                                            : TCM_DELETEITEM;
    SendMessage(h, m, WPARAM(at), 0);
  }
};

i32 length_of(const cell* block) { return type_of(block) == TYPE_NONE ? 0 : block::rs_length_q(block); }

const cell* value_at(const cell* block, i32 i) {
  return block::rs_abs_at(block, u32(series::head_index(block)) + u32(i));
}

// The string-like values of `values` in [from, to), in order.
i32 string_like_between(const cell* values, i32 from, i32 to) {
  i32 n = 0;
  to = std::min(to, length_of(values));
  for (i32 i = std::max(from, 0); i < to; ++i) n += string_like(value_at(values, i));
  return n;
}

// Every string-like value of `data` as an item, from none; answers the longest text.
std::string fill(const items& list, const cell* data) {
  cell values = data_values(data);
  collector::root_guard guard(&values);
  list.reset();
  std::string longest;
  i64 longest_n = 0;
  i32 n = length_of(&values);
  uint32_t add = list.kind == list_kind::list_box ? LB_ADDSTRING : CB_ADDSTRING;
  for (i32 i = 0; i < n; ++i) {
    const cell* v = value_at(&values, i);
    if (!string_like(v)) continue;
    std::string text = string_like_text(v);
    if (list.kind == list_kind::tabs) list.insert(list.count(), text);
    else SendMessage(list.h, add, 0, reinterpret_cast<LPARAM>(text.c_str()));
    i64 chars = code_points(text);
    if (chars > longest_n) {
      longest_n = chars;
      longest = std::move(text);
    }
  }
  if (list.kind == list_kind::list_box) {
    extra(list.h)->type_slot = u32(longest_n);
    if (longest_n > 0) set_list_extent(list.h, longest);
  }
  return longest;
}

bool word_is(const cell* c, const char* name) {
  return c && type_of(c) == TYPE_WORD && symbol::name(word::symbol_id(c)) == name;
}

bool one_of(const cell* action, std::initializer_list<const char*> names) {
  for (const char* n : names)
    if (word_is(action, n)) return true;
  return false;
}

// The selection the face's `selected` asks for, after the items were set again.
void reselect(const items& list, const cell* face) {
  const cell* sel = facet(face, facet_index::selected);
  i32 n = sel && type_of(sel) == TYPE_INTEGER ? integer::get(sel) : 0;
  uint32_t m = list.kind == list_kind::list_box ? LB_SETCURSEL : list.kind == list_kind::combo_box ? CB_SETCURSEL
                                                                                                   : TCM_SETCURSEL;
  // The tab control lays out every tab to bring the current one into view: only a
  // selection that moved is set again.
  if (list.kind == list_kind::tabs && (n <= 0 || SendMessage(list.h, TCM_GETCURSEL, 0, 0) == n - 1)) return;
  SendMessage(list.h, m, WPARAM(n > 0 ? n - 1 : -1), 0);
}
}  // namespace

cell data_values(const cell* data) {
  if (!data) return cell{TYPE_NONE, 0, 0, 0};
  switch (type_of(data)) {
    case TYPE_BLOCK: case TYPE_HASH: return *data;
    case TYPE_MAP: return map::body_of(data);
  }
  return cell{TYPE_NONE, 0, 0, 0};
}

void set_list_extent(HWND h, const std::string& text) {
  HDC dc = GetDC(h);
  SelectObject(dc, HFONT(u32(SendMessage(h, WM_GETFONT, 0, 0))));
  SIZE s;
  GetTextExtentPoint32(dc, text, s);
  ReleaseDC(h, dc);
  SendMessage(h, LB_SETHORIZONTALEXTENT, WPARAM(s.cx + 4), 0);
}

void set_list_data(HWND h, const cell* face_in) {
  cell face = *face_in;
  collector::root_guard guard(&face);
  fill(items{h, list_kind::list_box}, facet(&face, facet_index::data));
  cell* sel = facet(&face, facet_index::selected);
  if (sel && type_of(sel) == TYPE_INTEGER) {
    i32 n = integer::get(sel);
    SendMessage(h, LB_SETCURSEL, WPARAM(n > 0 ? n - 1 : -1), 0);
  } else if (sel) {
    integer::make_at(sel, -1);
  }
}

void set_combo_data(HWND h, const cell* face_in, bool drop_list) {
  cell face = *face_in;
  collector::root_guard guard(&face);
  fill(items{h, list_kind::combo_box}, facet(&face, facet_index::data));
  const cell* text = facet(&face, facet_index::text);
  if (!text || type_of(text) != TYPE_STRING || drop_list) {
    const cell* sel = facet(&face, facet_index::selected);
    if (sel && type_of(sel) == TYPE_INTEGER) SendMessage(h, CB_SETCURSEL, WPARAM(integer::get(sel) - 1), 0);
  } else {
    SetWindowText(h, text_of(text));
  }
}

void set_tab_items(HWND h, const cell* face_in) {
  cell face = *face_in;
  collector::root_guard guard(&face);
  items list{h, list_kind::tabs};
  fill(list, facet(&face, facet_index::data));
  cell* sel = facet(&face, facet_index::selected);
  if (!sel) return;
  if (type_of(sel) != TYPE_INTEGER) {
    integer::make_at(sel, 1);
    return;
  }
  i32 n = list.count(), wanted = std::clamp(integer::get(sel), 1, std::max(n, 1));
  if (n > 0) select_tab(h, wanted - 1);
  if ((sel = facet(&face, facet_index::selected))) integer::make_at(sel, wanted);
}

namespace {
// What a `move` told before it was done: from its `moved` alone an owner of one of two
// series cannot say whether its series gave the units or took them.
struct told_move {
  HWND h{};
  u32 node = 0;
  i32 length = -1;
};
told_move last_move;

// The values of a face's `data` as its items see them: positions counted from the data's
// head, as the runtime's notifications count them from the buffer's start.
struct data_view {
  cell values;   // block whose head is the first value shown
  i32 base = 0;  // the buffer index of that head
  i32 length = 0;

  const cell* at(i32 i) const { return value_at(&values, i); }
  // The item position of value i: i itself while every value before it is an item.
  i32 item_at(i32 i, bool dense) const { return dense ? i : string_like_between(&values, 0, i); }
  i32 items() const { return string_like_between(&values, 0, length); }
};

// Deletes the items of values [from, from + n) standing at item position p.
void delete_values(const items& list, const data_view& d, i32 from, i32 n, i32 p) {
  i32 going = string_like_between(&d.values, from, from + n);
  if (p == 0 && going == list.count()) {
    list.reset();
    return;
  }
  // From the last: each deletion then moves only the items after the range.
  for (i32 k = going - 1; k >= 0; --k) list.remove(p + k);
}

// Inserts values [from, from + n) as items from item position p; each string-like value
// is owned by the face under `data`.
void insert_values(const items& list, const data_view& d, i32 from, i32 n, i32 p, const cell* face,
                   bool own = true) {
  cell word = word::intern("data");
  collector::root_guard gw(&word);
  n = std::min(n, d.length - from);
  for (i32 i = std::max(from, 0); i < from + n; ++i) {
    cell v = *d.at(i);
    if (!string_like(&v)) continue;
    collector::root_guard gv(&v);
    list.insert(p++, string_like_text(&v));
    if (own) ownership::bind(&v, face, &word);
  }
}

bool same_series(const cell* a, const cell* b) {
  return a && b && series::series_q(type_of(a)) && series::series_q(type_of(b)) && series::node(a) == series::node(b);
}
}  // namespace

void sync_list_data(const cell* face_in, HWND h, const cell* changed_in, const cell* action, const cell* value_in,
                    i32 index, i32 count, list_kind kind) {
  cell face = *face_in, changed = *changed_in, act = *action;
  cell value = value_in ? *value_in : cell{TYPE_NONE, 0, 0, 0};
  collector::root_guard g1(&face), g2(&changed), g3(&act), g4(&value);
  items list{h, kind};
  cell data = *facet(&face, facet_index::data);
  collector::root_guard g5(&data);
  data_view d{data_values(&data)};
  collector::root_guard g6(&d.values);
  if (type_of(&d.values) != TYPE_NONE) {
    d.base = i32(series::head_index(&d.values));
    d.length = length_of(&d.values);
  }
  // The highlight stays where `selected` says: an item taken out takes it with it (a poke
  // takes its item out and puts it back), one put in before it moves it. A drop-down's
  // edit text is its own: it stays.
  auto done = [&] {
    if (!face_type_is(&face, face_type::drop_down)) reselect(list, &face);
  };
  auto rebuild = [&] {
    fill(list, &data);
    cell word = word::intern("data");
    collector::root_guard gw(&word);
    for (i32 i = 0; i < d.length; ++i) {
      cell v = *d.at(i);
      if (string_like(&v)) ownership::bind(&v, &face, &word);
    }
    done();
  };

  if (string_like(&changed) && !same_series(&changed, &d.values)) {
    // One item's text changed in place: its item is set again. The View tells a list the
    // item's position; a tab's title is looked for.
    auto is_it = [&](i32 i) { return same_series(d.at(i), &changed) && type_of(d.at(i)) == type_of(&changed); };
    i32 i = index - d.base;
    if (kind == list_kind::tabs || i < 0 || i >= d.length || !is_it(i)) {
      for (i = 0; i < d.length && !is_it(i); ++i) {}
      if (i == d.length) return;
    }
    i32 p = d.item_at(i, list.count() == d.length);
    list.remove(p);
    list.insert(p, string_like_text(d.at(i)));
    done();
    return;
  }
  if (type_of(&data) == TYPE_MAP && (type_of(&changed) == TYPE_MAP || same_series(&changed, &d.values))) {
    // A map's body can be rewritten anywhere by one key: its items are set again.
    if (one_of(&act, {"appended", "inserted", "changed", "poked", "put-ed", "removed", "cleared", "taken",
                      "moved", "sorted", "reversed", "randomized", "swaped", "trimmed"}))
      rebuild();
    return;
  }
  if (!same_series(&changed, &d.values)) return;
  i32 at = std::clamp(index - d.base, 0, d.length);
  i32 n = std::max(count, 0);
  i32 shown = list.count();

  // Told before the change, the values still in place: the ones that go are no longer
  // the face's and their items are deleted.
  if (one_of(&act, {"remove", "take", "clear", "poke", "put", "change", "reverse", "sort", "random", "trim"})) {
    n = std::min(n, d.length - at);
    // A reorder keeps every value in `data`, and so its owner.
    if (!one_of(&act, {"reverse", "sort", "random"})) ownership::unbind_range(&changed, d.base + at, n);
    if (word_is(&act, "clear") && at == 0) list.reset();
    else delete_values(list, d, at, n, d.item_at(at, shown == d.length));
    done();
    return;
  }
  // Told after it: the values that came are inserted. Every value before them was an item
  // when the values left around them still count as many items as values.
  if (one_of(&act, {"inserted", "appended", "poked", "put-ed", "changed", "reversed", "sorted", "randomized",
                    "trimmed"})) {
    insert_values(list, d, at, n, d.item_at(at, shown == d.length - n), &face,
                  !one_of(&act, {"reversed", "sorted", "randomized"}));
    done();
    return;
  }
  if (word_is(&act, "swap")) return;
  if (word_is(&act, "swaped")) {
    // The value now at `at` came from `value`'s place; the one it replaced is there now.
    if (!same_series(&value, &d.values)) {
      cell gone = *block::rs_abs_at(&value, u32(series::head_index(&value)));
      collector::root_guard gg(&gone);
      ownership::unbind(&gone);
    }
    if (shown != d.length || at >= d.length || !string_like(d.at(at))) {
      rebuild();
      return;
    }
    list.remove(at);
    insert_values(list, d, at, 1, at, &face);
    done();
    return;
  }
  if (word_is(&act, "move")) {
    if (same_series(&value, &d.values)) return;
    last_move = {h, series::node(&changed), d.length};
    return;
  }
  if (word_is(&act, "moved")) {
    if (same_series(&value, &d.values)) {
      // Within `data`: the run of values at `at` now stands at `dest`, those between shift.
      n = std::min(n, d.length - at);
      i32 to = std::clamp(i32(series::head_index(&value)) - d.base, 0, d.length);
      if (n <= 0 || to == at || (at < to && to != d.length && d.length - to < n)) return;
      if (shown != d.length) {
        rebuild();
        return;
      }
      i32 dest = std::min(to, d.length - n);
      for (i32 k = 0; k < n; ++k) list.remove(at);
      insert_values(list, d, dest, n, dest, &face);
      done();
      return;
    }
    bool told = last_move.h == h && last_move.node == series::node(&changed);
    i32 before = last_move.length;
    last_move = {};
    if (!told) {
      rebuild();
      return;
    }
    if (d.length > before) {
      // `data` took the run.
      insert_values(list, d, at, n, d.item_at(at, shown == d.length - n), &face);
    } else if (d.length < before) {
      // `data` gave the run, which now stands at the other series' place.
      n = before - d.length;
      if (series::block_like_q(type_of(&value)))
        ownership::unbind_range(&value, i32(series::head_index(&value)),
                                std::min(n, i32(block::rs_length_q(&value))));
      if (shown == d.length + n) {
        for (i32 k = 0; k < n; ++k) list.remove(at);
      } else {
        i32 going = shown - d.items();
        i32 p = d.item_at(at, false);
        for (i32 k = 0; k < going; ++k) list.remove(p);
      }
    }
    done();
  }
}

}  // namespace vyr::gui::widgets
