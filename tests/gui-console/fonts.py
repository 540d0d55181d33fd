"""A font set of its own for the console cases: pango measures an empty line by the fonts
that could stand in for the text's language, so row heights (and every position below the
first row) follow whatever other fonts the machine has. The cases see the DejaVu faces
that tools/setup installs and nothing else."""
import os

DEJAVU = "/usr/share/fonts/truetype/dejavu"
FACES = ["DejaVuSans.ttf", "DejaVuSans-Bold.ttf", "DejaVuSansMono.ttf",
         "DejaVuSansMono-Bold.ttf", "DejaVuSerif.ttf", "DejaVuSerif-Bold.ttf"]


def font_env(folder):
    """Writes the font configuration into `folder`; answers the environment that uses it."""
    accept = "".join(f"<glob>{DEJAVU}/{face}</glob>" for face in FACES)
    path = os.path.join(folder, "fonts.conf")
    with open(path, "w", encoding="utf-8") as f:
        f.write('<?xml version="1.0"?><!DOCTYPE fontconfig SYSTEM "fonts.dtd"><fontconfig>'
                '<include ignore_missing="yes">/etc/fonts/conf.d</include>'
                f"<dir>{DEJAVU}</dir><cachedir>{folder}/fontcache</cachedir>"
                f"<selectfont><rejectfont><glob>/*</glob></rejectfont>"
                f"<acceptfont>{accept}</acceptfont></selectfont></fontconfig>")
    return {"FONTCONFIG_FILE": path}
