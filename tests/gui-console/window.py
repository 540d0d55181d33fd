#!/usr/bin/env python3
"""The console window's menus and dialogs on the headless display: the bar (the input
script's `menu`), the file and font dialogs answering from VYR_HEADLESS_ANSWERS, the
shortcuts text, the About and Settings dialogs (`click-text`, and the colour swatches,
which show no text, at their places), the context menu and the right button's copy and
paste. Usage: window.py VYR."""
import os
import re
import struct
import time
import zlib

from console_case import ask, case, cfg_file, check, finish, read, run, seen

RUN_FILE = "menu File/Run...\n"
CHOOSE_FONT = "menu Options/Choose Font...\n"
SETTINGS = "menu Options/Settings...\n"
SHORTCUTS = "menu Help/Keyboard Shortcuts\n"
ABOUT = "menu Help/About\n"


def click(x, y):
    # Clicks far apart in time: two at one place within the double-click time are one.
    return f"down {x} {y}\nup {x} {y}\nwait 600\n"


def rclick(x, y):
    return f"rdown {x} {y}\nrup {x} {y}\nwait 600\n"


# The settings dialog's controls (client coordinates).
BLACK_BACKGROUND = click(33, 41)
RED_FONT = click(91, 106)          # #dc322f
MOUSE_PASTE = "click-text Mouse Copy&Paste\n"
BUFFER_LINES = click(140, 218)
DARK_MODE = "click-text Dark Mode\n"
OK = "click-text OK\n"
CANCEL = "click-text Cancel\n"


def cfg_file_path(home):
    os.makedirs(os.path.dirname(cfg_file(home)), exist_ok=True)
    return cfg_file(home)


def answers(home, lines):
    path = os.path.join(home, "answers.txt")
    with open(path, "w") as f:
        f.write("".join(line + "\n" for line in lines))
    return {"VYR_HEADLESS_ANSWERS": path, "VYR_HEADLESS_REQUESTS": os.path.join(home, "asked.txt")}


def png_pixels(path):
    """The RGB rows of an 8-bit RGB or RGBA PNG without interlacing, as the frames are."""
    with open(path, "rb") as f:
        data = f.read()
    pos, idat = 8, b""
    while pos < len(data):
        n, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + n]
        if kind == b"IHDR":
            w, h, depth, colour = struct.unpack(">IIBB", body[:10])
        elif kind == b"IDAT":
            idat += body
        pos += 12 + n
    bpp = {2: 3, 6: 4}[colour]
    raw, rows, prev, stride = zlib.decompress(idat), [], bytearray(w * bpp), w * bpp
    for y in range(h):
        kind, line = raw[y * (stride + 1)], bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            a = line[i - bpp] if i >= bpp else 0
            b, c = prev[i], prev[i - bpp] if i >= bpp else 0
            pred = [0, a, b, (a + b) // 2][kind] if kind < 4 else (
                a if abs(b - c) <= abs(a - c) and abs(b - c) <= abs(a + b - 2 * c)
                else b if abs(a - c) <= abs(a + b - 2 * c) else c)
            if kind == 4 and not (abs(b - c) <= abs(a - c) and abs(b - c) <= abs(a + b - 2 * c)):
                pred = b if abs(a - c) <= abs(a + b - 2 * c) else c
            line[i] = (line[i] + pred) & 255
        rows.append([tuple(line[x * bpp:x * bpp + 3]) for x in range(w)])
        prev = line
    return rows


def contrast(c1, c2):
    def lum(c):
        v = [x / 255 for x in c]
        v = [x / 12.92 if x <= 0.03928 else ((x + 0.055) / 1.055) ** 2.4 for x in v]
        return 0.2126 * v[0] + 0.7152 * v[1] + 0.0722 * v[2]
    a, b = sorted((lum(c1), lum(c2)), reverse=True)
    return (a + 0.05) / (b + 0.05)


def text_contrast(rows, x0, y0, x1, y1):
    """The contrast of a text's strongest pixel against its ground, the commonest colour
    of its box."""
    box = [rows[y][x] for y in range(max(0, y0), min(len(rows), y1)) for x in range(max(0, x0), min(len(rows[0]), x1))]
    ground = max(set(box), key=box.count)
    return round(max(contrast(ground, c) for c in box), 2), ground


@case
def run_file(home):
    # File/Run... runs the chosen file with `do`; a cancelled dialog runs nothing.
    with open(os.path.join(home, "s.vyr"), "w") as f:
        f.write('Vyr [] write/append %o.txt "ran^/"\n')
    env = answers(home, [f"file\t{home}/s.vyr", "cancel"])
    r = run(home, RUN_FILE + RUN_FILE + ask("second gui-console-ctx/terminal/history") + "close\n",
            env_extra=env)
    check("run file", (r.returncode, seen(home)), (0, ["ran", f'["do %{home}/s.vyr"]']))
    check("run file: asked", read(os.path.join(home, "asked.txt")).count("open-file"), 2)


@case
def fields_and_font_colours(home):
    # With a white font colour the settings' colour fields draw in their own text colour,
    # wide enough for the widest colour in the console's font. A background chosen there
    # stays through a later font change, as does the font colour.
    with open(cfg_file_path(home), "w") as f:
        f.write('Vyr [Purpose: "Vyr Console Configuration File"]\nfont-color: 255.255.255\n')
    env = answers(home, ["font\tDejaVu Sans Mono\t14"])
    hook = ("text ov: :view view: func [face /flags f] [ly: face either flags [ov/flags face f] [ov face]]\n"
            "key Enter\n")
    gather = ("text fs: copy [] foreach g ly/pane [if block? g/pane [foreach f g/pane "
              "[if f/type = 'field [append fs f]]]]\nkey Enter\n")
    fields = ("length? fs "
              "collect [foreach f fs [keep none? f/font/color keep f/size/x >= first size-text "
              "make face! [type: 'text font: f/font text: {255.255.255.255}]]] "
              "gui-console-ctx/console/color gui-console-ctx/terminal/foreground")
    r = run(home, hook + SETTINGS + BLACK_BACKGROUND + OK + CHOOSE_FONT + gather + ask(fields) + "close\n",
            env_extra=env)
    check("fields and colours", (r.returncode, seen(home)),
          (0, ["[2 [true true true true] 0.0.0 255.255.255]"]))


@case
def choose_font(home):
    # Options/Choose Font... asks for a monospaced font from the console's; the choice
    # becomes the console's font (its colour kept), its metrics, and the saved font.
    env = answers(home, ["font\tDejaVu Sans Mono\t16"])
    r = run(home, ask("gui-console-ctx/terminal/line-h") + CHOOSE_FONT
            + ask("gui-console-ctx/console/font/name gui-console-ctx/console/font/size "
                  "gui-console-ctx/console/font/color gui-console-ctx/terminal/line-h")
            + "text quit\nkey Enter\n", env_extra=env)
    before, after = seen(home)
    asked = read(os.path.join(home, "asked.txt")).split("\t")
    check("font: asked", (asked[0], asked[-1].strip()), ("font", "mono"))
    name, size, color, line_h = after.strip("[]").rsplit(" ", 3)
    check("font: applied", (r.returncode, name, size, color, int(line_h) > int(before.strip("[]"))),
          (0, '"DejaVu Sans Mono"', "16", "0.0.0", True))
    saved = read(cfg_file(home)).splitlines()
    check("font: saved", ('font-name: "DejaVu Sans Mono"' in saved, "font-size: 16" in saved), (True, True))


@case
def shortcuts(home):
    # Help/Keyboard Shortcuts prints the 13 lines; what was typed is not run but waits at
    # the next prompt, the caret at its end.
    run(home, "text 1 + 1\n" + SHORTCUTS + "key Left\ntext 0\nkey Home\ntext x:\nkey Space\nkey Enter\n"
        + ask("copy/part skip tail gui-console-ctx/terminal/lines -19 18") + "close\n")
    got = seen(home)[0]
    labels = [("Ctrl + C", "Copy selected text"), ("Ctrl + V", "Paste"),
              ("Ctrl + X", "Cut selected text"), ("Ctrl + A", "Go to beginning of line"),
              ("Ctrl + E", "Go to end of line"), ("Ctrl + H", "Backspace"), ("Ctrl + Z", "Undo"),
              ("Ctrl + Y", "Redo"), ("Ctrl + L", "Clear screen"), ("Ctrl + K", "Delete line"),
              ("Alt + A", "Select all the text"), ("Alt + O", "Open settings dialog"),
              ("F12", "Toggle menu bar")]
    lines = (['">> "', '""'] + ['"^-^-' + k.ljust(15) + t + '"' for k, t in labels]
             + ['"^-^-"', '">> x: 1 + 01"', '"== 2"'])
    check("shortcuts", got, "[[" + " ".join(lines) + "]]")


@case
def about(home):
    # Help/About: a modal box without a title; its links reach the browser; Close gives the
    # console the focus again. Its logo is decoded when it first opens, not at start-up.
    bindir = os.path.join(home, "bin")
    os.mkdir(bindir)
    log = os.path.join(home, "xdg.log")
    with open(os.path.join(bindir, "xdg-open"), "w") as f:
        f.write(f'#!/bin/sh\nprintf "%s\\n" "$1" >> {log}\n')
    os.chmod(os.path.join(bindir, "xdg-open"), 0o755)
    env = {"PATH": bindir + ":" + os.environ.get("PATH", "/usr/bin:/bin")}
    probe = ("text write/append %o.txt mold reduce [gui-console-ctx/win/selected = gui-console-ctx/console "
             "gui-console-ctx/focused? type? gui-console-ctx/logo]\nkey Enter\n")
    r = run(home, probe + ABOUT + "click-text https://vyr-lang.org/\nwait 600\nclick-text https://vyr-lang.org/docs/\n"
            + "click-text Close\n" + probe + "close\n",
            env_extra=env)
    for _ in range(50):
        if os.path.exists(log) and len(read(log).splitlines()) == 2:
            break
        time.sleep(0.1)
    check("about", (r.returncode, seen(home)), (0, ["[true true binary!][true true image!]"]))
    # Each link starts its own browser process; under load the second may log first.
    check("about: links", sorted(read(log).splitlines()) if os.path.exists(log) else [],
          ["https://vyr-lang.org/", "https://vyr-lang.org/docs/"])


SHOW = ask("gui-console-ctx/console/color gui-console-ctx/console/font/color "
           "select gui-console-ctx/cfg 'background select gui-console-ctx/cfg 'font-color "
           "select gui-console-ctx/cfg 'buffer-lines gui-console-ctx/terminal/max-lines")


@case
def settings_colours(home):
    # Swatches apply at once; Cancel keeps them on screen but not in the settings; OK stores.
    run(home, SETTINGS + BLACK_BACKGROUND + RED_FONT + CANCEL + SHOW
        + "key Alt+O\n" + BLACK_BACKGROUND + RED_FONT + OK + SHOW + "text quit\nkey Enter\n")
    check("colours", seen(home), ["[0.0.0 220.50.47 252.252.252 0.0.0 10000 10000]",
                                  "[0.0.0 220.50.47 0.0.0 220.50.47 10000 10000]"])
    saved = read(cfg_file(home)).splitlines()
    check("colours: saved", ("background: 0.0.0" in saved, "font-color: 220.50.47" in saved), (True, True))


@case
def settings_buffer_lines(home):
    # Buffer lines: 0 and text are not stored (the rest of OK goes on); 50 is, and the
    # buffer keeps only its newest 50 lines.
    def lines(text):
        return SETTINGS + BUFFER_LINES + "key End\n" + "key Backspace\n" * 6 + f"text {text}\n" + OK
    run(home, "text loop 80 [print 1]\nkey Enter\n" + lines("0") + SHOW + lines("x") + SHOW + lines("50") + SHOW + ask("length? gui-console-ctx/terminal/lines") + "close\n")
    check("buffer lines", seen(home),
          ["[252.252.252 0.0.0 252.252.252 0.0.0 10000 10000]",
           "[252.252.252 0.0.0 252.252.252 0.0.0 10000 10000]",
           "[252.252.252 0.0.0 252.252.252 0.0.0 50 50]", "[50]"])
    check("buffer lines: saved", "buffer-lines: 50" in read(cfg_file(home)).splitlines(), True)


@case
def mouse_paste(home):
    # The context menu answers from the queue; Mouse Copy&Paste swaps it for the right
    # button: copy with a selection, paste without.
    env = answers(home, ["menu\tSelect All", "menu\tCopy"])
    r = run(home, 'text print "hello"\nkey Enter\n' + rclick(50, 10) + rclick(60, 10)
            + ask("to logic! find read-clipboard {print ^\"hello^\"}") + "key Alt+O\n" + MOUSE_PASTE + OK
            + "key Alt+A\n" + rclick(50, 10)
            + ask("gui-console-ctx/terminal/text-selected? to logic! find read-clipboard {Alt+O}")
            + "clip 3 + 4\n" + rclick(50, 10) + "key Enter\n"
            + ask("second gui-console-ctx/terminal/history none? gui-console-ctx/console/menu "
                  "select gui-console-ctx/cfg 'mouse-paste?")
            + "close\n", env_extra=env)
    asked = read(os.path.join(home, "asked.txt")).splitlines()
    check("mouse paste: menus", asked, ["menu\tCopy\\tCtrl+C|Paste\\tShift+Ins|---|Select All"] * 2)
    check("mouse paste", (r.returncode, seen(home)),
          (0, ["[true]", "[false false]", '["3 + 4" true true]']))


@case
def dark_mode(home):
    # Dark Mode is stored when it is ticked, even when the dialog is cancelled; a platform
    # without a dark mode leaves the box disabled.
    run(home, SETTINGS + DARK_MODE + CANCEL + ask("select gui-console-ctx/cfg 'dark-mode?")
        + "text system/view/platform/support-dark-mode?: does [false]\nkey Enter\n"
        + SETTINGS + DARK_MODE + OK + ask("select gui-console-ctx/cfg 'dark-mode?") + "close\n")
    check("dark mode", seen(home), ["[true]", "[true]"])


# The places of the captions and labels of each dialog, written as it opens.
PLACES = ("text ov: :view view: func [face /flags f] [write/append %o.txt append mold collect ["
          "foreach g face/pane [if find [group-box text check button] g/type [keep g/type "
          "keep g/offset keep g/size keep size-text g]]] newline either flags [ov/flags face f] [ov face]]\n"
          "key Enter\n")


def dialog_contrast(rows, places):
    """(kind, contrast, ground) of each caption and label of a dialog's frame."""
    words = re.sub(r"(?<=\d)x(?=-?\d)", " ", places).translate(str.maketrans("[](),", "     ")).split()
    measured = []
    for i in range(0, len(words), 7):
        kind, ox, oy, sx, sy, tx, ty = words[i], *[round(float(v)) for v in words[i + 1:i + 7]]
        box = {"group-box": (ox + 8, oy, ox + 8 + tx, oy + ty),
               "text": (ox, oy + 2, ox + min(sx, tx), oy + sy - 2),
               "check": (ox + 16, oy + 2, ox + 16 + tx, oy + sy - 2),
               "button": (ox + 3, oy + 3, ox + sx - 3, oy + sy - 3)}[kind]
        measured.append((kind, *text_contrast(rows, *box)))
    return measured


@case
def dark_mode_contrast(home):
    # With Dark Mode ticked every caption and label of the dialog reads clearly against what
    # lies behind it: a contrast of at least 4.5:1, measured in the frame.
    shot = os.path.join(home, "dark.png")
    run(home, PLACES + SETTINGS + DARK_MODE + f"wait 300\nframe {shot}\n" + CANCEL + "close\n")
    measured = dialog_contrast(png_pixels(shot), seen(home)[0])
    check("dark contrast: kinds", sorted({m[0] for m in measured}), ["button", "check", "group-box", "text"])
    check("dark contrast: dark ground", [m for m in measured if max(m[2]) > 128], [])
    check("dark contrast: at least 4.5", [m for m in measured if m[1] < 4.5], [])


@case
def dark_mode_at_start(home):
    # Dark Mode saved on: the Settings and About dialogs open dark, their captions and
    # labels as readable as in a dialog where it was ticked.
    with open(cfg_file_path(home), "w") as f:
        f.write('Vyr [Purpose: "Vyr Console Configuration File"]\ndark-mode?: true\n')
    shots = [os.path.join(home, name) for name in ("settings.png", "about.png")]
    run(home, PLACES + SETTINGS + f"wait 300\nframe {shots[0]}\n" + CANCEL
        + ABOUT + f"wait 300\nframe {shots[1]}\n" + "click-text Close\nclose\n")
    places = seen(home)
    check("dark at start: dialogs", len(places), 2)
    for name, shot, line in zip(("settings", "about"), shots, places):
        measured = dialog_contrast(png_pixels(shot), line)
        check(f"dark at start, {name}: dark ground", [m for m in measured if max(m[2]) > 128], [])
        check(f"dark at start, {name}: at least 4.5", [m for m in measured if m[1] < 4.5], [])


finish()
