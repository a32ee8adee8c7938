#!/usr/bin/python3
# The demonstration, run in the suite's X display and Wine prefix, must draw the six syllabics it
# types as six different shapes: a face without them draws each as the same box.
import itertools
import os
import subprocess
import sys
import tempfile

here = os.path.dirname(os.path.abspath(__file__))
with tempfile.TemporaryDirectory() as work:
    shot = os.path.join(work, "screen.png")
    shown = subprocess.run([os.path.join(here, "../../tools/show-on-virtual-screen.sh"), "--here",
                            shot], capture_output=True, text=True, check=True).stdout
    assert "Notepad received: ᐃᓄᒃᑎᑐᑦ 123\n" in shown, shown
    # The script puts Notepad at (200, 560): its menu and its first line of text lie here.
    width, height = 450, 120
    pgm = subprocess.run(["convert", shot, "-crop", f"{width}x{height}+205+570", "-colorspace",
                          "gray", "pgm:-"], capture_output=True, check=True).stdout
pixels = pgm[-width * height:]
ink = [[pixels[y * width + x] < 128 for x in range(width)] for y in range(height)]
# Caption bars and borders are long lines of ink: take them out, then the text is the tallest
# band of rows that still hold ink (the menu's is lower).
lines = [x for x in range(width) if sum(row[x] for row in ink) > height * 0.6]
ink = [[False] * width if sum(row) > width * 0.8 else
       [inked and x not in lines for x, inked in enumerate(row)] for row in ink]
bands = [list(rows) for inked, rows in itertools.groupby(range(height), lambda y: any(ink[y]))
         if inked]
line = max(bands, key=len)
columns = [tuple(ink[y][x] for y in line) for x in range(width)]
# Runs of columns with ink are the glyphs: six syllabics, then 1, 2, 3 (and maybe the caret).
glyphs = [tuple(run) for inked, run in itertools.groupby(columns, any) if inked]
print("glyph widths:", [len(glyph) for glyph in glyphs])
if len(glyphs) < 9 or len(set(glyphs[:6])) < 6:
    sys.exit("the syllabics are not six different shapes: boxes, or the line is not in the strip")
