#!/usr/bin/env python3
"""Where a window of the X server shows a colour: prints, as JSON, the
bounding box on the screen of the window's pixels of each colour asked for
(x0, y0, x1, y1), or null where none shows, and one such pixel nearest the
box's bottom-left corner.

Usage: find_colour.py WINDOW RRGGBB [RRGGBB ...]"""
import json
import sys

from Xlib import X, display


def main():
    dpy = display.Display()
    window = dpy.create_resource_object('window', int(sys.argv[1]))
    geometry = window.get_geometry()
    image = window.get_image(0, 0, geometry.width, geometry.height, X.ZPixmap, 0xffffffff).data
    origin = window.translate_coords(dpy.screen().root, 0, 0)
    found = {}
    for colour in sys.argv[2:]:
        r, g, b = (int(colour[i:i + 2], 16) for i in (0, 2, 4))
        xs, ys, points = [], [], []
        for y in range(0, geometry.height, 2):
            row = y * geometry.width * 4
            for x in range(0, geometry.width, 2):
                at = row + 4 * x
                if abs(image[at + 2] - r) < 16 and abs(image[at + 1] - g) < 16 and abs(image[at] - b) < 16:
                    xs.append(x)
                    ys.append(y)
                    points.append((x, y))
        if not xs:
            found[colour] = None
            continue
        box = (min(xs), min(ys), max(xs), max(ys))
        corner = min(points, key=lambda p: (p[0] - box[0]) + (box[3] - p[1]))
        found[colour] = {'box': [box[0] - origin.x, box[1] - origin.y, box[2] - origin.x, box[3] - origin.y],
                         'bottom_left': [corner[0] - origin.x, corner[1] - origin.y]}
    print(json.dumps(found))


if __name__ == '__main__':
    main()
