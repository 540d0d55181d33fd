#!/usr/bin/env python3
"""The GUI console's settings file, ~/.vyr/Vyr-Console/console-cfg.vyr: written on quit and
on close, read and repaired at launch, private to its user, and never touched in text mode.
Usage: settings.py VYR."""
import os
import stat

from console_case import HEADER, ask, case, cfg_dir, cfg_file, check, finish, read, run, seen, write_cfg

@case
def first_file(home):
    # No file: the defaults on screen, then the first file, private, header lines exact.
    r = run(home, ask("gui-console-ctx/win/offset gui-console-ctx/win/size gui-console-ctx/font/size "
                      "gui-console-ctx/terminal/max-lines gui-console-ctx/console/color")
            + "text quit\nkey Enter\n")
    check("first: status", (r.returncode, r.stderr), (0, b""))
    check("first: shown", seen(home), ["[(200, 200) 640x480 11 10000 252.252.252]"])
    text = read(cfg_file(home))
    check("first: header", text[:len(HEADER)], HEADER)
    check("first: keys", [line.split(":")[0] for line in text[len(HEADER):].splitlines()],
          ["win-pos", "win-size", "font-name", "font-size", "font-color", "background",
           "mouse-paste?", "menu-bar?", "dark-mode?", "buffer-lines", "history"])
    check("first: modes", (stat.S_IMODE(os.stat(cfg_dir(home)).st_mode),
                           stat.S_IMODE(os.stat(cfg_file(home)).st_mode)), (0o700, 0o600))
    check("first: no temporary file", os.listdir(cfg_dir(home)), ["console-cfg.vyr"])


@case
def repair(home):
    # Wrong datatypes take their defaults; values that would break the console are mended;
    # keys the console does not know, and a set-word without its pair, are kept or dropped.
    write_cfg(home, 'win-pos: "far" win-size: 500x300 font-size: "x" font-color: 1.2.3\n'
                    'background: 10.20.30 mouse-paste?: yes menu-bar?: 1 dark-mode?: yes\n'
                    'buffer-lines: -5 history: [1 "b" c "a"] my-key: [keep me] 7\n')
    r = run(home, ask("gui-console-ctx/win/size gui-console-ctx/console/font/size "
                      "gui-console-ctx/console/color gui-console-ctx/terminal/max-lines "
                      "gui-console-ctx/console/menu = gui-console-ctx/console-menu "
                      "none? gui-console-ctx/win/menu")
            + "close\n")
    check("repair: status", r.returncode, 0)
    check("repair: shown", seen(home), ["[500x300 11 10.20.30 10000 true false]"])
    body = read(cfg_file(home))[len(HEADER):]
    for line in ['win-pos: (200, 200)', 'font-size: 11', 'font-color: 1.2.3',
                 'mouse-paste?: yes', 'menu-bar?: true', 'dark-mode?: yes',
                 'buffer-lines: 10000', 'my-key: [keep me]']:
        if line not in body.splitlines():
            failures.append(f"repair: no line {line!r} in\n{body}")
    last = [line for line in body.splitlines() if line.startswith("history:")][0]
    check("repair: history", (last.startswith("history: [{write/append"), last.endswith('} "b" "a"]')),
          (True, True))
    for bad, good in [("buffer-lines: \"x\"", "buffer-lines: 10000"),
                      ("history: 7", "history: []"),
                      ("font-size: 0", "font-size: 11"),
                      # Sizes that blank the text area, or draw a few letters a screen.
                      ("font-size: 5", "font-size: 11"),
                      ("font-size: 97", "font-size: 11"),
                      ("font-size: 100000", "font-size: 11"),
                      ("font-size: 2147483647", "font-size: 11"),
                      ("font-size: 6", "font-size: 6"),
                      ("font-size: 96", "font-size: 96"),
                      ("buffer-lines: 0", "buffer-lines: 10000")]:
        write_cfg(home, bad + "\n")
        run(home, "close\n")
        if good not in read(cfg_file(home)).splitlines():
            failures.append(f"repair: {bad} saved as\n{read(cfg_file(home))}")


@case
def four_component_colour(home):
    # A font colour with an alpha component leaves the caret without a colour of its own.
    write_cfg(home, "font-color: 10.20.30.40\n")
    run(home, ask("gui-console-ctx/caret-clr gui-console-ctx/caret/color "
                  "gui-console-ctx/console/font/color") + "close\n")
    check("four components", seen(home), ["[none none 10.20.30.40]"])


@case
def no_header(home):
    # Without the header, or not loadable at all: the defaults, and the file replaced.
    for text in ('win-size: 300x300\n', 'Vyr [] win-size: [300x300\n', 'Vyr [] quit\n'):
        write_cfg(home, text, header="")
        r = run(home, ask("gui-console-ctx/win/size") + "close\n")
        check(f"no header {text!r}", (r.returncode, seen(home)[-1:]), (0, ["[640x480]"]))
        check(f"no header {text!r}: replaced", read(cfg_file(home))[:len(HEADER)], HEADER)


@case
def history_cut(home):
    # 150 entries: the newest 100 are saved, and the live history is cut the same way.
    entries = " ".join(f'"e{i}"' for i in range(150))
    write_cfg(home, f"history: [{entries}]\n")
    r = run(home, "text quit\nkey Enter\n")
    check("history: status", r.returncode, 0)
    body = read(cfg_file(home))
    want = 'history: ["quit" ' + " ".join(f'"e{i}"' for i in range(99)) + "]"
    check("history: saved", [line for line in body.splitlines() if line.startswith("history:")], [want])


@case
def hidden_line(home):
    # A line pasted at a hidden prompt never reaches the history, nor the file.
    r = run(home, 'text pw: ask/hide "Password: "\nkey Enter\nclip secret\nkey Ctrl+V\n'
                  "key Enter\ntext quit\nkey Enter\n")
    check("hidden: status", r.returncode, 0)
    body = read(cfg_file(home))
    check("hidden: saved", ("secret" in body, "pw: ask/hide" in body), (False, True))


@case
def positions(home):
    # A saved place off every screen centres the window; a window dragged past the left
    # edge is saved at x 0; its place is kept from run to run.
    write_cfg(home, "win-pos: (-5000, -5000) win-size: 600x400\n")
    run(home, ask("gui-console-ctx/win/offset system/view/screens/1/size") + "close\n")
    offset, screen = seen(home)[0].strip("[]").rsplit(" ", 1)
    w, h = (int(v) for v in screen.split("x"))
    check("centred", offset, f"({(w - 600) // 2}, {(h - 400) // 2})")
    run(home, "move-window -50 100\nclose\n")
    check("x -50", "win-pos: (0, 100)" in read(cfg_file(home)), True)
    run(home, ask("gui-console-ctx/win/offset") + "close\n")
    check("kept", seen(home)[-1], "[(0, 100)]")


@case
def narrow_window(home):
    # A window so narrow that its menu bar wraps to more rows than one keeps its place and
    # size: five runs that change nothing leave the file as the first one saved it.
    write_cfg(home, "win-pos: (300, 200) win-size: 100x100\n")
    run(home, ask("gui-console-ctx/win/offset gui-console-ctx/win/size") + "close\n")
    check("narrow: shown", seen(home), ["[(300, 200) 100x100]"])
    first = read(cfg_file(home))
    check("narrow: saved", ("win-pos: (300, 200)" in first, "win-size: 100x100" in first), (True, True))
    for i in range(5):
        run(home, "close\n")
        check(f"narrow: run {i + 2}", read(cfg_file(home)), first)


@case
def unplaceable_point(home):
    # A script line whose point no screen holds is refused before anything plays: status 2,
    # and the saved place and size stay as they were.
    write_cfg(home, "win-pos: (10, 20) win-size: 300x200\n")
    before = read(cfg_file(home))
    for line in ("move-window 1e308 1e308", "move-window 0 -100001", "down 2147483648 0", "rup 0 -1e9"):
        r = run(home, line + "\nclose\n")
        check(f"{line}: refused", (r.returncode, b"point out of range" in r.stderr), (2, True))
        check(f"{line}: settings", read(cfg_file(home)), before)


@case
def f12(home):
    # F12 hides the menu bar, F12 again shows it; the choice is saved and comes back.
    run(home, "key F12\n" + ask("gui-console-ctx/win/menu") + "close\n")
    check("F12 once", (seen(home), "menu-bar?: false" in read(cfg_file(home))), (["[none]"], True))
    run(home, ask("none? gui-console-ctx/win/menu") + "key F12\n" + ask("block? gui-console-ctx/win/menu")
        + "text quit\nkey Enter\n")
    check("F12 twice", (seen(home)[1:], "menu-bar?: true" in read(cfg_file(home))),
          (["[true]", "[true]"], True))


@case
def quit_status(home):
    # quit/return keeps its status and saves.
    r = run(home, "text quit/return 3\nkey Enter\n")
    check("quit/return 3", (r.returncode, r.stderr, os.path.exists(cfg_file(home))), (3, b"", True))


@case
def failing_save(home):
    # The file cannot be replaced (a folder stands in its place): one warning, and quit
    # still quits with the status asked.
    os.makedirs(cfg_file(home))
    os.chmod(cfg_dir(home), 0o700)
    r = run(home, "text quit/return 4\nkey Enter\n")
    err = r.stderr.decode()
    check("failing save", (r.returncode, err.count("\n"), "vyr: console settings: cannot replace" in err),
          (4, 1, True))
    check("failing save: no temporary file", sorted(os.listdir(cfg_dir(home))), ["console-cfg.vyr"])


@case
def unsafe_folder(home):
    # A folder others may write: the file is neither read nor written, with one warning.
    write_cfg(home, "win-size: 300x300 history: [\"old\"]\n")
    os.chmod(cfg_dir(home), 0o770)
    before = read(cfg_file(home))
    r = run(home, ask("gui-console-ctx/win/size") + "text quit\nkey Enter\n")
    err = r.stderr.decode()
    check("unsafe folder", (r.returncode, seen(home), read(cfg_file(home)) == before), (0, ["[640x480]"], True))
    check("unsafe folder: warning", (err.count("\n"), "Vyr-Console is writable by others" in err), (1, True))
    # The same for a file others may write.
    os.chmod(cfg_dir(home), 0o700)
    os.chmod(cfg_file(home), 0o666)
    r = run(home, "close\n")
    check("unsafe file", (r.returncode, read(cfg_file(home)) == before,
                          "console-cfg.vyr is writable by others" in r.stderr.decode()), (0, True, True))


@case
def not_a_file(home):
    # A pipe at the settings path would hold the start on its open: it is neither read nor
    # written, with one warning, and the console starts on the defaults.
    os.makedirs(cfg_dir(home), mode=0o700)
    os.mkfifo(cfg_file(home), 0o600)
    r = run(home, ask("gui-console-ctx/win/size") + "text quit\nkey Enter\n")
    err = r.stderr.decode()
    check("pipe", (r.returncode, seen(home), stat.S_ISFIFO(os.stat(cfg_file(home)).st_mode)),
          (0, ["[640x480]"], True))
    check("pipe: warning", (err.count("\n"), "console-cfg.vyr is not a file" in err), (1, True))


@case
def text_mode(home):
    # Text mode never reads nor writes the file.
    r = run(home, "", gui=False)
    check("text mode", (r.returncode, os.path.exists(cfg_dir(home))), (0, False))


finish()
