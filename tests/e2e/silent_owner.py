#!/usr/bin/env python3
"""Takes the X11 clipboard (or the selections named) and never answers a
request for it, as a program that hangs would. Prints "ready" once it holds
them, then waits until it is killed.

Usage: silent_owner.py [SELECTION ...]"""
import sys

from Xlib import X, display


def main():
    d = display.Display()
    window = d.screen().root.create_window(0, 0, 1, 1, 0, X.CopyFromParent)
    for name in sys.argv[1:] or ['CLIPBOARD']:
        window.set_selection_owner(d.intern_atom(name), X.CurrentTime)
    d.sync()
    print('ready', flush=True)
    while True:
        d.next_event()  # requests come in and get no answer


if __name__ == '__main__':
    main()
