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
  // Whether item `at` reads `text`.
  bool reads(i32 at, const std::string& text) const {
    std::string got(text.size() + 2, '\0');
    if (kind == list_kind::tabs) {
      TCITEM it;
      it.mask = TCIF_TEXT;
      it.pszText = got.data();
      it.cchTextMax = i32(got.size());
      if (!SendMessage(h, TCM_GETITEM, WPARAM(at), reinterpret_cast<LPARAM>(&it))) return false;
    } else {
      bool box = kind == list_kind::list_box;
      LRESULT n = SendMessage(h, box ? LB_GETTEXTLEN : CB_GETLBTEXTLEN, WPARAM(at), 0);
      if (n != LRESULT(text.size())) return false;
      SendMessage(h, box ? LB_GETTEXT : CB_GETLBTEXT, WPARAM(at), reinterpret_cast<LPARAM>(got.data()));
    }
    return got.compare(0, got.find('\0'), text) == 0;
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

// Whether the items read, in order, as the string-like values of `values`.
bool shows(const items& list, const cell* values) {
  i32 n = length_of(values), at = 0;
  for (i32 i = 0; i < n; ++i) {
    const cell* v = value_at(values, i);
    if (!string_like(v)) continue;
    if (!list.reads(at++, string_like_text(v))) return false;
  }
  return at == list.count();
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
// Where the last `take` told before it was done removed items: when its `taken` names the
// same place the items were right (a `take/last` is told at the head, then at its place).
struct told_take {
  HWND h{};
  i32 index = -1, count = -1;
};
told_take last_take;
}  // namespace

void sync_list_data(const cell* face_in, HWND h, const cell* changed_in, const cell* action, const cell*,
                    i32 index, i32 count, list_kind kind) {
  cell face = *face_in, changed = *changed_in, act = *action;
  collector::root_guard g1(&face), g2(&changed), g3(&act);
  items list{h, kind};
  cell data = *facet(&face, facet_index::data);
  collector::root_guard g4(&data);
  cell values = data_values(&data);
  collector::root_guard g5(&values);
  auto rebuild = [&] {
    fill(list, &data);
    reselect(list, &face);
  };
  bool is_data = type_of(&changed) == type_of(&data) && series::node(&changed) == series::node(&data) && type_of(&values) != TYPE_NONE;
  i32 total = string_like_between(&values, 0, length_of(&values));
  i32 expected = total;   // the items `data` holds once the change is done
  if (is_data) {
    index = std::clamp(index, 0, length_of(&values));
    count = std::clamp(count, 0, length_of(&values) - index);
    i32 p = string_like_between(&values, 0, index);
    cell word = word::intern("data");
    collector::root_guard gw(&word);
    if (one_of(&act, {"remove", "take", "clear", "reverse", "put", "poke", "move"})) {
      // Told before the change: the values still stand in `data`.
      i32 going = string_like_between(&values, index, index + count);
      expected = total - going;
      ownership::unbind_range(&changed, index, count);
      if (word_is(&act, "take")) last_take = {h, index, count};
      if (word_is(&act, "clear") && index == 0) {
        list.reset();
        expected = 0;
      } else {
        for (i32 k = going; k > 0; --k) list.remove(p);
      }
    } else if (one_of(&act, {"inserted", "appended", "poked", "put-ed", "reversed", "moved"})) {
      ownership::unbind_range(&changed, index, count);
      i32 at = p;
      for (i32 i = index; i < index + count; ++i) {
        cell v = *value_at(&values, i);
        if (!string_like(&v)) continue;
        list.insert(at++, string_like_text(&v));
        ownership::bind(&v, &face, &word);
      }
    } else if (one_of(&act, {"changed", "sorted", "swaped", "randomized", "trimmed"})) {
      // Forms that rearrange or rewrite what they touch: the items are set again.
      rebuild();
      return;
    } else if (!one_of(&act, {"removed", "taken", "cleared"})) {
      // The past forms of removals only check the items against `data` below.
      return;
    }
  } else if (string_like(&changed)) {
    // One item's text changed in place: its item is set again.
    i32 n = length_of(&values);
    for (i32 i = 0; i < n; ++i) {
      const cell* v = value_at(&values, i);
      if (type_of(v) != type_of(&changed) || series::node(v) != series::node(&changed)) continue;
      i32 p = string_like_between(&values, 0, i);
      list.remove(p);
      list.insert(p, string_like_text(v));
      // The item taken out took the selection with it when it had it.
      // (A drop-down's edit text is its own: it stays.)
      if (list.kind != list_kind::tabs && !face_type_is(&face, face_type::drop_down)) reselect(list, &face);
      break;
    }
  } else {
    return;
  }
  // Items that do not count what `data` holds came from a change that cannot be followed
  // item by item (a move inside `data`, a change told twice): they are set again. A
  // removal is told before it is done, so its items are set from what will remain.
  if (list.count() != expected && expected == total) {
    rebuild();
    return;
  }
  // Where a change's index cannot say what went or where it went (`take/last` is told at
  // the head, a `move` as its source's removal, a `put` as the old value's place), the
  // items are read against `data` once it is done and set again when they differ.
  bool told_right = false;
  if (word_is(&act, "taken")) {
    told_right = last_take.h == h && last_take.index == index && last_take.count == count;
    last_take = {};
  }
  if (is_data && !told_right && one_of(&act, {"taken", "moved", "put-ed"}) && !shows(list, &values)) {
    rebuild();
    return;
  }
  // An item taken out takes the highlight with it (a poke takes its item out and puts it
  // back), and one put in before it moves it: the highlight stays where `selected` says.
  // (A drop-down's edit text is its own: it stays.)
  if (is_data && list.kind != list_kind::tabs && !face_type_is(&face, face_type::drop_down)) reselect(list, &face);
}

}  // namespace vyr::gui::widgets
