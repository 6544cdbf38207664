#!/usr/bin/env python3
"""Draws the program's own pictures: the About box picture (160 x 100, 256
colours, BMP) and the 32 x 32, 16-colour icon, as a PNG for the desktop and as
XPM source for the window (compiled in, so the note's window needs no image
reader at start-up). Run it again only when the pictures change; its output
is committed next to it."""
import struct
import zlib


def note_pixel(x, y, w, h):
    """A yellow note with ruled lines, a folded corner and a red pin, on a
    blue gradient. Returns an (r, g, b) triple."""
    # background: blue gradient from top to bottom
    t = y / max(1, h - 1)
    bg = (int(20 + 40 * t), int(40 + 60 * t), int(120 + 100 * t))
    left, top, right, bottom = w * 0.22, h * 0.12, w * 0.78, h * 0.92
    fold = min(w, h) * 0.16
    if left <= x <= right and top <= y <= bottom:
        # folded corner at the bottom right
        if x - (right - fold) + y - (bottom - fold) > fold:
            return bg
        if x - (right - fold) + y - (bottom - fold) > fold - 1.5:
            return (150, 130, 0)
        if x > right - fold and y > bottom - fold and \
                x - (right - fold) + y - (bottom - fold) > fold - fold * 0.9:
            return (220, 200, 60)
        # ruled lines
        rel = (y - top) / (bottom - top)
        for i in range(1, 6):
            if abs(rel - i / 6.5 - 0.05) * (bottom - top) < 0.6 and x > left + 3 and x < right - 3:
                return (90, 90, 90)
        return (255, 255, 0)
    # shadow under the note
    if left + 3 <= x <= right + 3 and top + 3 <= y <= bottom + 3:
        return (bg[0] // 2, bg[1] // 2, bg[2] // 2)
    return bg


def pin(x, y, cx, cy, r):
    d = ((x - cx) ** 2 + (y - cy) ** 2) ** 0.5
    if d <= r:
        shade = 1.0 - 0.4 * d / r
        return (int(230 * shade), int(30 * shade), int(30 * shade))
    return None


def picture(w, h, pin_radius):
    rows = []
    for y in range(h):
        row = []
        for x in range(w):
            p = pin(x, y, w * 0.5, h * 0.14, pin_radius)
            row.append(p if p else note_pixel(x, y, w, h))
        rows.append(row)
    return rows


def palette_of(rows, limit):
    colours = {}
    for row in rows:
        for c in row:
            colours[c] = colours.get(c, 0) + 1
    if len(colours) > limit:
        # quantise to fit: drop low bits until it fits
        shift = 1
        while True:
            q = lambda c: tuple((v >> shift) << shift for v in c)
            qs = {q(c) for c in colours}
            if len(qs) <= limit:
                rows[:] = [[q(c) for c in row] for row in rows]
                colours = {c: 1 for c in qs}
                break
            shift += 1
    pal = sorted(colours)
    return pal, {c: i for i, c in enumerate(pal)}


def write_bmp8(path, rows):
    h, w = len(rows), len(rows[0])
    pal, index = palette_of(rows, 256)
    pal += [(0, 0, 0)] * (256 - len(pal))
    stride = (w + 3) & ~3
    pixels = b''.join(bytes(index[c] for c in row) + b'\0' * (stride - w) for row in reversed(rows))
    palette = b''.join(struct.pack('<BBBB', b, g, r, 0) for (r, g, b) in pal)
    offset = 14 + 40 + len(palette)
    header = struct.pack('<2sIHHI', b'BM', offset + len(pixels), 0, 0, offset)
    info = struct.pack('<IiiHHIIiiII', 40, w, h, 1, 8, 0, len(pixels), 3780, 3780, 256, 0)
    with open(path, 'wb') as f:
        f.write(header + info + palette + pixels)


def write_png4(path, rows):
    h, w = len(rows), len(rows[0])
    pal, index = palette_of(rows, 16)
    raw = b''
    for row in rows:
        idx = [index[c] for c in row] + [0]
        raw += b'\0' + bytes((idx[i] << 4) | idx[i + 1] for i in range(0, w, 2))

    def chunk(kind, data):
        return struct.pack('>I', len(data)) + kind + data + struct.pack('>I', zlib.crc32(kind + data))
    png = b'\x89PNG\r\n\x1a\n'
    png += chunk(b'IHDR', struct.pack('>IIBBBBB', w, h, 4, 3, 0, 0, 0))
    png += chunk(b'PLTE', b''.join(bytes(c) for c in pal))
    png += chunk(b'IDAT', zlib.compress(raw, 9))
    png += chunk(b'IEND', b'')
    with open(path, 'wb') as f:
        f.write(png)


def write_xpm(path, name, rows):
    h, w = len(rows), len(rows[0])
    pal, index = palette_of(rows, 16)
    keys = 'abcdefghijklmnop'
    lines = ['/* XPM */', 'static const char *const %s[] = {' % name, '"%d %d %d 1",' % (w, h, len(pal))]
    lines += ['"%s c #%02X%02X%02X",' % (keys[i], r, g, b) for i, (r, g, b) in enumerate(pal)]
    lines += ['"%s",' % ''.join(keys[index[c]] for c in row) for row in rows]
    lines[-1] = lines[-1].rstrip(',')
    lines.append('};')
    with open(path, 'w') as f:
        f.write('\n'.join(lines) + '\n')


if __name__ == '__main__':
    write_bmp8('about.bmp', picture(160, 100, 5))
    icon = picture(32, 32, 2.5)
    write_png4('quillpad.png', icon)
    write_xpm('quillpad.xpm', 'quillpad_xpm', picture(32, 32, 2.5))
