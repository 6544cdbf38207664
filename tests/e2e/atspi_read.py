#!/usr/bin/env python3
"""Reads, as a screen reader does through AT-SPI, the text and the caret of
the first editable multi-line text of the application named on the command
line, and prints them as JSON. Waits at most 10 s for it to appear.

Usage: atspi_read.py APPLICATION_NAME"""
import json
import sys
import time

import pyatspi


def find_text(accessible, depth=0):
    if accessible is None or depth > 12:
        return None
    try:
        states = accessible.getState()
        if states.contains(pyatspi.STATE_MULTI_LINE) and states.contains(pyatspi.STATE_EDITABLE):
            accessible.queryText()
            return accessible
    except NotImplementedError:
        pass
    for i in range(accessible.childCount):
        found = find_text(accessible.getChildAtIndex(i), depth + 1)
        if found:
            return found
    return None


def main():
    name = sys.argv[1]
    deadline = time.monotonic() + 10
    while time.monotonic() < deadline:
        desktop = pyatspi.Registry.getDesktop(0)
        for i in range(desktop.childCount):
            app = desktop.getChildAtIndex(i)
            if app is not None and app.name == name:
                found = find_text(app)
                if found:
                    text = found.queryText()
                    print(json.dumps({'text': text.getText(0, -1), 'caret': text.caretOffset,
                                      'role': found.getRoleName()}))
                    return 0
        time.sleep(0.2)
    print(json.dumps({'error': 'no editable text in %s' % name}))
    return 1


if __name__ == '__main__':
    sys.exit(main())
