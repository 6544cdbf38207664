#!/usr/bin/env python3
"""Takes the X11 clipboard and answers a request for its text wrongly:
  endless     as a transfer in parts (INCR) whose parts never stop coming
  wrong-type  with a 32-bit INTEGER instead of text
Prints "ready" once it holds the clipboard, then serves until it is killed.

Usage: odd_owner.py endless|wrong-type"""
import sys

from Xlib import X, Xatom, display
from Xlib.protocol import event

PART = b'x' * (200 * 1024)


def main():
    mode = sys.argv[1]
    d = display.Display()
    window = d.screen().root.create_window(0, 0, 1, 1, 0, X.CopyFromParent)
    clipboard = d.intern_atom('CLIPBOARD')
    incr = d.intern_atom('INCR')
    window.set_selection_owner(clipboard, X.CurrentTime)
    d.sync()
    print('ready', flush=True)
    transfers = {}  # requestor window id -> (window, property, target)
    while True:
        e = d.next_event()
        if e.type == X.SelectionRequest:
            requestor = d.create_resource_object('window', e.requestor)
            if mode == 'wrong-type':
                requestor.change_property(e.property, Xatom.INTEGER, 32, [0x41424344, 7, 0, 0])
            else:
                requestor.change_attributes(event_mask=X.PropertyChangeMask)
                requestor.change_property(e.property, incr, 32, [1 << 30])
                transfers[e.requestor] = (requestor, e.property, e.target)
            requestor.send_event(event.SelectionNotify(time=e.time, requestor=e.requestor, selection=e.selection,
                                                       target=e.target, property=e.property))
            d.flush()
        elif e.type == X.PropertyNotify and e.state == X.PropertyDelete and e.window.id in transfers:
            requestor, prop, target = transfers[e.window.id]
            if e.atom == prop:
                requestor.change_property(prop, target, 8, PART)  # and the next, and the next...
                d.flush()


if __name__ == '__main__':
    main()
