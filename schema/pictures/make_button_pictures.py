#!/usr/bin/env python3
"""Draws the toolbar's button pictures: one 32 x 32 picture per button and
state (normal, disabled, mouse over, pressed), written as 24-bit BMP files
under the names the module looks for.

    python3 make_button_pictures.py [OUTPUT_DIR] [--montage FILE.png]

Needs nothing beyond the standard library: every glyph is a few shapes,
rasterised with 4 x 4 supersampling.
"""

import math
import os
import struct
import sys
import zlib

SIZE = 32
SAMPLES = 4

# Button name, then its four files: normal, disabled, over, pressed.
BUTTONS = [
    ("find", ["cmd_Find_norm.bmp", "cmd_Find_dis.bmp", "cmd_Find_Over.bmp", "cmd_Find_Down.bmp"]),
    ("preview", ["cmd_Preview_norm.bmp", "cmd_Preview_dis.bmp", "cmd_Preview_Over.bmp", "cmd_Preview_Down.bmp"]),
    ("print", ["cmd_Print_norm.bmp", "cmd_Print_dis.bmp", "cmd_Print_Over.bmp", "cmd_Print_Down.bmp"]),
    ("add", ["cmd_add_norm.bmp", "cmd_add_dis.bmp", "cmd_add_Over.bmp", "cmd_add_Down.bmp"]),
    ("edit", ["cmd_edit_norm.bmp", "cmd_edit_dis.bmp", "cmd_edit_Over.bmp", "cmd_edit_Down.bmp"]),
    ("delete", ["cmd_delete_norm.bmp", "cmd_delete_dis.bmp", "cmd_delete_Over.bmp", "cmd_delete_Down.bmp"]),
    ("copy", ["Cmd_Copy_norm.bmp", "Cmd_Copy_dis.bmp", "Cmd_Copy_Over.bmp", "Cmd_Copy_Down.bmp"]),
    ("import", ["cmd_import_norm.bmp", "cmd_import_dis.bmp", "cmd_import_Over.bmp", "cmd_import_Down.bmp"]),
    ("check", ["cmd_Check_norm.bmp", "cmd_Check_dis.bmp", "cmd_Check_Over.bmp", "cmd_Check_Down.bmp"]),
    ("reset", ["Cmd_Reset_norm.bmp", "Cmd_Reset_dis.bmp", "Cmd_Reset_Over.bmp", "Cmd_Reset_Down.bmp"]),
    ("close", ["cmd_Close_norm.bmp", "cmd_Close_dis.bmp", "cmd_Close_Over.bmp", "cmd_Close_Down.bmp"]),
    ("ok", ["cmd_Ok_norm.bmp", "cmd_Ok_dis.bmp", "cmd_Ok_Over.bmp", "cmd_Ok_Down.bmp"]),
    ("cancel", ["cmd_cancel_norm.bmp", "cmd_cancel_dis.bmp", "cmd_cancel_Over.bmp", "cmd_cancel_Down.bmp"]),
    ("quit", ["cmd_Quit_norm.bmp", "cmd_Quit_dis.bmp", "cmd_Quit_Over.bmp", "cmd_Quit_DOwn.bmp"]),
    ("help", ["cmd_help_norm.bmp", "cmd_help_dis.bmp", "cmd_help_Over.bmp", "cmd_help_Down.bmp"]),
    ("addbody", ["Cmd_AddBody_Norm.bmp", "Cmd_AddBody_Dis.bmp", "Cmd_AddBody_Over.bmp", "Cmd_AddBody_Down.bmp"]),
    ("editbody", ["Cmd_EditBody_Norm.bmp", "Cmd_EditBody_Dis.bmp", "Cmd_EditBody_Over.bmp", "Cmd_EditBody_Down.bmp"]),
    ("delbody", ["Cmd_DelBody_Norm.bmp", "Cmd_DelBody_Dis.bmp", "Cmd_DelBody_Over.bmp", "Cmd_DelBody_Down.bmp"]),
]

STATES = ["normal", "disabled", "over", "down"]

# Colours of the states: background, border.
FACE = {
    "normal": ((236, 241, 247), (154, 167, 184)),
    "disabled": ((238, 238, 238), (190, 190, 190)),
    "over": ((255, 244, 204), (224, 160, 48)),
    "down": ((205, 214, 228), (96, 112, 136)),
}

INK = (40, 48, 64)
PAPER = (255, 255, 255)
GREEN = (40, 150, 60)
RED = (200, 40, 40)
BLUE = (40, 90, 190)
ORANGE = (230, 140, 30)
GREY = (120, 120, 120)


# ---------------------------------------------------------------- shapes
# A shape is a function (x, y) -> bool on the 32 x 32 plane.

def rect(x0, y0, x1, y1):
    return lambda x, y: x0 <= x <= x1 and y0 <= y <= y1


def frame(x0, y0, x1, y1, w=1.5):
    outer, inner = rect(x0, y0, x1, y1), rect(x0 + w, y0 + w, x1 - w, y1 - w)
    return lambda x, y: outer(x, y) and not inner(x, y)


def segment(x0, y0, x1, y1, w):
    dx, dy = x1 - x0, y1 - y0
    length2 = dx * dx + dy * dy

    def inside(x, y):
        t = 0.0 if length2 == 0 else max(0.0, min(1.0, ((x - x0) * dx + (y - y0) * dy) / length2))
        px, py = x0 + t * dx, y0 + t * dy
        return (x - px) ** 2 + (y - py) ** 2 <= (w / 2) ** 2
    return inside


def polyline(points, w):
    parts = [segment(*points[i], *points[i + 1], w) for i in range(len(points) - 1)]
    return lambda x, y: any(p(x, y) for p in parts)


def disc(cx, cy, r):
    return lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def ring(cx, cy, r, w, start=0.0, end=360.0):
    """A ring, or an arc of one from start to end degrees (counter-clockwise, y up)."""
    def inside(x, y):
        d = math.hypot(x - cx, y - cy)
        if abs(d - r) > w / 2:
            return False
        a = math.degrees(math.atan2(cy - y, x - cx)) % 360
        return (start <= a <= end) if start <= end else (a >= start or a <= end)
    return inside


def polygon(points):
    def inside(x, y):
        hit = False
        j = len(points) - 1
        for i in range(len(points)):
            xi, yi = points[i]
            xj, yj = points[j]
            if (yi > y) != (yj > y) and x < (xj - xi) * (y - yi) / (yj - yi) + xi:
                hit = not hit
            j = i
        return hit
    return inside


def page(x0, y0, x1, y1):
    return [(rect(x0, y0, x1, y1), PAPER), (frame(x0, y0, x1, y1, 1.2), INK)]


def text_lines(x0, x1, ys):
    return [(rect(x0, y, x1, y + 1), GREY) for y in ys]


def plus(cx, cy, r, colour):
    return [(rect(cx - r, cy - 1.6, cx + r, cy + 1.6), colour), (rect(cx - 1.6, cy - r, cx + 1.6, cy + r), colour)]


def pencil(colour=ORANGE):
    return [(polygon([(12, 24), (25, 11), (28, 14), (15, 27)]), colour),
            (polygon([(12, 24), (15, 27), (10, 29)]), INK)]


def grid():
    parts = [(rect(4, 6, 28, 24), PAPER), (frame(4, 6, 28, 24, 1.2), INK), (rect(4, 6, 28, 10), (170, 190, 220))]
    parts += [(rect(4, y, 28, y + 0.8), INK) for y in (10, 14.5, 19)]
    parts += [(rect(x, 6, x + 0.8, 24), INK) for x in (12, 20)]
    return parts


def magnifier(cx, cy, r):
    return [(disc(cx, cy, r), (220, 235, 250)), (ring(cx, cy, r, 2.2), INK),
            (segment(cx + r * 0.7, cy + r * 0.7, cx + r * 1.8, cy + r * 1.8, 3.2), INK)]


def check_mark(colour, w=3.6, scale=1.0, dx=0.0, dy=0.0):
    pts = [(7, 16), (13, 23), (25, 8)]
    pts = [(dx + 16 + (x - 16) * scale, dy + 16 + (y - 16) * scale) for x, y in pts]
    return [(polyline(pts, w), colour)]


def arrow_head(tip, direction, size, colour):
    tx, ty = tip
    ux, uy = direction
    n = math.hypot(ux, uy)
    ux, uy = ux / n, uy / n
    bx, by = tx - ux * size, ty - uy * size
    return [(polygon([(tx, ty), (bx - uy * size * 0.7, by + ux * size * 0.7),
                      (bx + uy * size * 0.7, by - ux * size * 0.7)]), colour)]


def glyph(name):
    if name == "find":
        return magnifier(13, 13, 7)
    if name == "preview":
        return page(5, 3, 21, 28) + text_lines(8, 18, (8, 12, 16)) + magnifier(19, 19, 5)
    if name == "print":
        return (page(9, 3, 23, 13) + [(rect(4, 12, 28, 23), (150, 160, 176)), (frame(4, 12, 28, 23, 1.2), INK)]
                + page(9, 19, 23, 29) + text_lines(11, 21, (22, 25)) + [(disc(24.5, 15.5, 1.3), GREEN)])
    if name == "add":
        return page(5, 3, 21, 27) + text_lines(8, 18, (8, 12)) + [(disc(22, 22, 7.5), PAPER)] + plus(22, 22, 6, GREEN)
    if name == "edit":
        return page(5, 3, 21, 27) + text_lines(8, 18, (8, 12, 16)) + pencil()
    if name == "delete":
        return page(5, 3, 21, 27) + text_lines(8, 18, (8, 12)) + [
            (segment(15, 16, 27, 28, 3.6), RED), (segment(27, 16, 15, 28, 3.6), RED)]
    if name == "copy":
        return page(4, 3, 18, 22) + text_lines(7, 15, (8, 12)) + page(13, 10, 27, 29) + text_lines(16, 24, (15, 19, 23))
    if name == "import":
        return ([(polyline([(5, 18), (5, 28), (27, 28), (27, 18)], 2.4), INK), (rect(14, 3, 18, 16), BLUE)]
                + arrow_head((16, 24), (0, 1), 8, BLUE))
    if name == "check":
        return [(disc(16, 16, 13), PAPER), (ring(16, 16, 12, 2.4), RED)] + check_mark(RED, 3.2, 0.75)
    if name == "reset":
        return [(ring(16, 17, 9.5, 3.2, 110, 360), BLUE), (ring(16, 17, 9.5, 3.2, 0, 20), BLUE)] + \
            arrow_head((10.5, 5.5), (-1, -0.15), 7, BLUE)
    if name == "close":
        return [(ring(16, 13, 6.5, 2.8, 0, 180), INK), (rect(9.5, 13, 12, 16), INK), (rect(20, 13, 22.5, 16), INK),
                (rect(6, 15, 26, 29), ORANGE), (frame(6, 15, 26, 29, 1.2), INK), (disc(16, 21, 2), INK),
                (rect(15.2, 21, 16.8, 26), INK)]
    if name == "ok":
        return check_mark(GREEN, 4.4)
    if name == "cancel":
        return [(ring(16, 16, 11, 3.4), RED), (segment(8.5, 23.5, 23.5, 8.5, 3.4), RED)]
    if name == "quit":
        return ([(rect(5, 3, 19, 29), (150, 110, 70)), (frame(5, 3, 19, 29, 1.2), INK), (disc(16, 16.5, 1.3), (240, 200, 60)),
                 (rect(17, 14, 24, 19), GREEN)] + arrow_head((30, 16.5), (1, 0), 8, GREEN))
    if name == "help":
        return [(disc(16, 16, 13), BLUE), (ring(16, 12, 4.5, 3, 320, 180), PAPER),
                (polyline([(19.4, 15.0), (16, 17.5), (16, 20)], 3), PAPER), (disc(16, 24.5, 1.9), PAPER)]
    if name == "addbody":
        return grid() + [(disc(23, 23, 7.5), PAPER)] + plus(23, 23, 6, GREEN)
    if name == "editbody":
        return grid() + pencil()
    if name == "delbody":
        return grid() + [(disc(23, 23, 7.5), PAPER), (rect(17, 21.4, 29, 24.6), RED)]
    raise ValueError(name)


# ---------------------------------------------------------------- drawing

def grey(colour):
    level = int(0.3 * colour[0] + 0.59 * colour[1] + 0.11 * colour[2])
    level = 150 + (level * 90) // 255   # washed out, so it reads as unavailable
    return (level, level, level)


def draw(name, state):
    back, border = FACE[state]
    pixels = [[back for _ in range(SIZE)] for _ in range(SIZE)]
    for i in range(SIZE):
        for (x, y) in ((i, 0), (i, SIZE - 1), (0, i), (SIZE - 1, i)):
            pixels[y][x] = border
    shift = 1.0 if state == "down" else 0.0
    step = 1.0 / SAMPLES
    for shape, colour in glyph(name):
        if state == "disabled":
            colour = grey(colour)
        for py in range(1, SIZE - 1):
            for px in range(1, SIZE - 1):
                hits = 0
                for sy in range(SAMPLES):
                    for sx in range(SAMPLES):
                        if shape(px + (sx + 0.5) * step - shift, py + (sy + 0.5) * step - shift):
                            hits += 1
                if hits:
                    a = hits / (SAMPLES * SAMPLES)
                    old = pixels[py][px]
                    pixels[py][px] = tuple(int(round(o + (c - o) * a)) for o, c in zip(old, colour))
    return pixels


def write_bmp(path, pixels):
    height, width = len(pixels), len(pixels[0])
    row_size = (width * 3 + 3) & ~3
    data = bytearray()
    for row in reversed(pixels):
        line = bytearray()
        for r, g, b in row:
            line += bytes((b, g, r))
        line += b"\0" * (row_size - len(line))
        data += line
    header = struct.pack("<2sIHHI", b"BM", 54 + len(data), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    with open(path, "wb") as f:
        f.write(header + info + data)


def write_png(path, pixels):
    raw = b"".join(b"\0" + bytes(c for p in row for c in p) for row in pixels)
    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body) & 0xffffffff)
    png = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", len(pixels[0]), len(pixels), 8, 2, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b"")
    with open(path, "wb") as f:
        f.write(png)


def main(argv):
    out = os.path.join(os.path.dirname(os.path.abspath(__file__)), "Button_Pic")
    montage = None
    args = list(argv)
    if "--montage" in args:
        i = args.index("--montage")
        montage = args[i + 1]
        del args[i:i + 2]
    if args:
        out = args[0]
    os.makedirs(out, exist_ok=True)
    sheet = []
    for name, files in BUTTONS:
        row = [draw(name, state) for state in STATES]
        for pixels, file in zip(row, files):
            write_bmp(os.path.join(out, file), pixels)
        sheet.append(row)
    if montage:
        # All pictures in one image, a button per row, for a quick look.
        scale = 2
        rows = []
        for row in sheet:
            for y in range(SIZE):
                line = []
                for pixels in row:
                    for x in range(SIZE):
                        line += [pixels[y][x]] * scale
                    line += [(255, 255, 255)] * 4
                rows += [line] * scale
        write_png(montage, rows)


if __name__ == "__main__":
    main(sys.argv[1:])
