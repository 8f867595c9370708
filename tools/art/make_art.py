#!/usr/bin/env python3
"""Draws the dialogs' artwork and writes it as Windows resource files.

    src/ui/res/zandrel.ico  32x32, 16 colours: a grey cogwheel on a transparent background
    src/ui/res/browse.bmp   32x16, 16 colours: two 16x16 glyphs side by side, a tree of three
                            folders (normal) and the same shape embossed in grey and white
                            (disabled); the lower-left pixel is olive, the transparent colour

Plain python3, no packages. Run from anywhere: python3 tools/art/make_art.py
"""
import math
import os
import struct

# The 16-colour VGA palette, in the order Windows uses it.
PALETTE = [
    (0x00, 0x00, 0x00), (0x80, 0x00, 0x00), (0x00, 0x80, 0x00), (0x80, 0x80, 0x00),
    (0x00, 0x00, 0x80), (0x80, 0x00, 0x80), (0x00, 0x80, 0x80), (0x80, 0x80, 0x80),
    (0xC0, 0xC0, 0xC0), (0xFF, 0x00, 0x00), (0x00, 0xFF, 0x00), (0xFF, 0xFF, 0x00),
    (0x00, 0x00, 0xFF), (0xFF, 0x00, 0xFF), (0x00, 0xFF, 0xFF), (0xFF, 0xFF, 0xFF),
]
BLACK, OLIVE, GREY, SILVER, YELLOW, WHITE = 0, 3, 7, 8, 11, 15
CLEAR = None  # transparent pixel of the icon

ROOT = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))


def palette_bytes():
    return b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in PALETTE)


def pack4(rows):
    """4-bit rows (top row first) to bottom-up DIB bits, each row padded to 4 bytes."""
    out = bytearray()
    for row in reversed(rows):
        line = bytearray()
        for i in range(0, len(row), 2):
            hi = row[i]
            lo = row[i + 1] if i + 1 < len(row) else 0
            line.append((hi << 4) | lo)
        while len(line) % 4:
            line.append(0)
        out += line
    return bytes(out)


def pack1(rows):
    """1-bit rows (top row first) to bottom-up DIB bits, each row padded to 4 bytes."""
    out = bytearray()
    for row in reversed(rows):
        line = bytearray()
        for i in range(0, len(row), 8):
            byte = 0
            for j, bit in enumerate(row[i:i + 8]):
                byte |= bit << (7 - j)
            line.append(byte)
        while len(line) % 4:
            line.append(0)
        out += line
    return bytes(out)


def info_header(width, height, bits, image_size):
    return struct.pack("<IiiHHIIiiII", 40, width, height, 1, bits, 0, image_size, 0, 0, 16, 0)


# ---------------------------------------------------------------------------------------------
# The cogwheel

def gear_inside(x, y):
    """True when the point (in pixel units, centre 16,16) lies on the wheel's material."""
    dx, dy = x - 15.5, y - 15.5
    r = math.hypot(dx, dy)
    if r < 4.6:  # the axle hole
        return False
    angle = math.degrees(math.atan2(dy, dx)) % 45.0  # eight teeth
    dist = min(angle, 45.0 - angle)  # degrees from the middle of a tooth
    # A tooth is a trapezoid: full height within 9 degrees, tapering to the root by 15 degrees.
    if dist <= 9.0:
        outer = 15.4
    elif dist <= 15.0:
        outer = 15.4 - (dist - 9.0) / 6.0 * 3.6
    else:
        outer = 11.8
    return r <= outer


def draw_gear():
    size = 32
    solid = [[gear_inside(x, y) for x in range(size)] for y in range(size)]

    def on(x, y):
        return 0 <= x < size and 0 <= y < size and solid[y][x]

    img = [[CLEAR] * size for _ in range(size)]
    for y in range(size):
        for x in range(size):
            if not solid[y][x]:
                continue
            edge = not (on(x - 1, y) and on(x + 1, y) and on(x, y - 1) and on(x, y + 1))
            if edge:
                img[y][x] = BLACK
                continue
            # Light falls from the top left: a bright rim there, a dark one at the bottom right.
            lit = not (on(x - 2, y) and on(x, y - 2) and on(x - 1, y - 1))
            shade = not (on(x + 2, y) and on(x, y + 2) and on(x + 1, y + 1))
            dx, dy = x - 15.5, y - 15.5
            r = math.hypot(dx, dy)
            if lit:
                img[y][x] = WHITE
            elif shade:
                img[y][x] = GREY
            elif 7.6 <= r <= 8.6:
                # A groove around the hub: dark on its upper left half, bright on the lower right.
                img[y][x] = GREY if dx + dy < 0 else WHITE
            else:
                img[y][x] = SILVER
    return img


def write_ico(path, img):
    size = len(img)
    xor = pack4([[BLACK if p is CLEAR else p for p in row] for row in img])
    mask = pack1([[1 if p is CLEAR else 0 for p in row] for row in img])
    dib = info_header(size, size * 2, 4, len(xor) + len(mask)) + palette_bytes() + xor + mask
    header = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", size, size, 16, 0, 1, 4, len(dib), 6 + 16)
    with open(path, "wb") as f:
        f.write(header + entry + dib)


# ---------------------------------------------------------------------------------------------
# The folder-tree glyph

def draw_folder(img, left, top):
    """A closed folder 8 pixels wide and 5 high: a tab row, then a black-edged yellow body."""
    for x in range(left + 1, left + 4):
        img[top][x] = BLACK
    for y in range(top + 1, top + 5):
        for x in range(left, left + 8):
            border = y in (top + 1, top + 4) or x in (left, left + 7)
            img[y][x] = BLACK if border else YELLOW
    # A bright left edge inside the body gives the folder some depth.
    for y in range(top + 2, top + 4):
        img[y][left + 1] = WHITE


def draw_tree():
    img = [[OLIVE] * 16 for _ in range(16)]
    draw_folder(img, 0, 0)     # the parent folder
    draw_folder(img, 6, 5)     # first child
    draw_folder(img, 6, 11)    # second child
    for y in range(5, 14):     # the trunk under the parent
        img[y][2] = BLACK
    for x in range(3, 6):      # the branches to the children
        img[8][x] = BLACK
        img[13][x] = BLACK
    return img


def emboss(img):
    """The disabled look: the dark lines in grey over a white copy moved one pixel down-right."""
    dark = [[p == BLACK for p in row] for row in img]
    out = [[OLIVE] * 16 for _ in range(16)]
    for y in range(16):
        for x in range(16):
            if dark[y][x] and x + 1 < 16 and y + 1 < 16:
                out[y + 1][x + 1] = WHITE
    for y in range(16):
        for x in range(16):
            if dark[y][x]:
                out[y][x] = GREY
    return out


def write_bmp(path, img):
    height, width = len(img), len(img[0])
    bits = pack4(img)
    info = info_header(width, height, 4, len(bits)) + palette_bytes()
    offset = 14 + len(info)
    header = struct.pack("<2sIHHI", b"BM", offset + len(bits), 0, 0, offset)
    with open(path, "wb") as f:
        f.write(header + info + bits)


def main():
    res = os.path.join(ROOT, "src", "ui", "res")
    os.makedirs(res, exist_ok=True)
    write_ico(os.path.join(res, "zandrel.ico"), draw_gear())
    normal = draw_tree()
    disabled = emboss(normal)
    glyph = [normal[y] + disabled[y] for y in range(16)]
    assert glyph[15][0] == OLIVE, "the lower-left pixel names the transparent colour"
    write_bmp(os.path.join(res, "browse.bmp"), glyph)


if __name__ == "__main__":
    main()
