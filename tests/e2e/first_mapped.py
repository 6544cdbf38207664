#!/usr/bin/env python3
"""A window manager that records, for every window mapped, the caption it
carries at that moment (_NET_WM_NAME, else WM_NAME), as one JSON line in the
log file, then maps it where it asked to be. The log is made once it
manages the screen.

Usage: first_mapped.py LOG"""
import json
import sys

from Xlib import X, display


def caption(dpy, window):
    utf8 = dpy.intern_atom('UTF8_STRING')
    for name, kind in (('_NET_WM_NAME', utf8), ('WM_NAME', X.AnyPropertyType)):
        value = window.get_full_property(dpy.intern_atom(name), kind)
        if value is not None:
            data = value.value
            return data.decode('utf-8', 'replace') if isinstance(data, bytes) else str(data)
    return None


def main():
    dpy = display.Display()
    root = dpy.screen().root
    root.change_attributes(event_mask=X.SubstructureRedirectMask | X.SubstructureNotifyMask)
    dpy.sync()
    with open(sys.argv[1], 'w') as log:
        log.flush()
        while True:
            event = dpy.next_event()
            if event.type == X.MapRequest:
                log.write(json.dumps({'window': event.window.id, 'caption': caption(dpy, event.window)}) + '\n')
                log.flush()
                event.window.map()
                event.window.set_input_focus(X.RevertToParent, X.CurrentTime)
            elif event.type == X.ConfigureRequest:
                values = {}
                for field, flag in (('x', X.CWX), ('y', X.CWY), ('width', X.CWWidth), ('height', X.CWHeight),
                                    ('border_width', X.CWBorderWidth)):
                    if event.value_mask & flag:
                        values[field] = getattr(event, field)
                event.window.configure(**values)
            dpy.flush()


if __name__ == '__main__':
    main()
