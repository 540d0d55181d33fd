// The hot and pressed state of the pressable parts of one control (a button, a check, a
// scroll-bar arrow, a tab, a slider's thumb): one machine for all of them. Parts are small
// integers chosen by the control, -1 is "none". Pure: the control feeds it what the pointer
// and the keyboard did and repaints or acts on what it answers.
#pragma once

namespace vyr::win {

struct behavior {
  int hot = -1;        // the part under the pointer
  int pressed = -1;    // the part a press began on, until the release or a cancel
  bool by_key = false; // the press came from the keyboard (Space)

  struct answer {
    bool redraw = false;
    int activated = -1;  // the part released where it was pressed: the control acts on it
  };

  // The pointer is over `part` now (-1: over none, or outside).
  answer move(int part) {
    answer a;
    a.redraw = part != hot;
    hot = part;
    return a;
  }
  answer leave() { return move(-1); }

  // The left button went down over `part`; a control that gets a part >= 0 back in
  // `pressed` captures the pointer until `release` or `cancel`.
  answer press(int part) {
    answer a;
    a.redraw = part != pressed || part != hot;
    hot = part;
    pressed = part;
    by_key = false;
    return a;
  }

  // The left button went up over `part`: released on the part it was pressed on, that part
  // is activated.
  answer release(int part) {
    answer a;
    if (pressed < 0 || by_key) return move(part);
    a.redraw = true;
    if (part == pressed) a.activated = part;
    pressed = -1;
    hot = part;
    return a;
  }

  // Space went down on the focused `part`; a repeat of the key changes nothing.
  answer key_press(int part) {
    answer a;
    if (pressed >= 0) return a;
    pressed = part;
    by_key = true;
    a.redraw = true;
    return a;
  }

  // Space went up: a press it began is activated.
  answer key_release() {
    answer a;
    if (pressed < 0 || !by_key) return a;
    a.activated = pressed;
    a.redraw = true;
    pressed = -1;
    by_key = false;
    return a;
  }

  // The capture or the focus went elsewhere: the press ends without acting.
  answer cancel() {
    answer a;
    a.redraw = pressed >= 0;
    pressed = -1;
    by_key = false;
    return a;
  }

  // A part looks pressed while pressed by key, or pressed by the pointer that is over it.
  bool shows_pressed(int part) const { return part >= 0 && pressed == part && (by_key || hot == part); }
  // A part looks hot under the pointer when no other part is held down.
  bool shows_hot(int part) const { return part >= 0 && hot == part && (pressed < 0 || pressed == part); }
};

}  // namespace vyr::win
