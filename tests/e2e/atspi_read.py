#!/usr/bin/env python3
"""Reads, as a screen reader does through AT-SPI, the text and the caret of
the first editable multi-line text of the application named on the command
line, with --labels the texts of all its labels, or with --focused the text
of the editable text that has the keyboard focus, and prints them as JSON.
Waits at most 10 s for them to appear.

Usage: atspi_read.py APPLICATION_NAME [--labels TEXT_EXPECTED | --focused TEXT_EXPECTED]"""
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


def focused_text(accessible, depth=0):
    if accessible is None or depth > 16:
        return None
    try:
        states = accessible.getState()
        if states.contains(pyatspi.STATE_FOCUSED) and states.contains(pyatspi.STATE_EDITABLE):
            return accessible.queryText().getText(0, -1)
    except NotImplementedError:
        pass
    for i in range(accessible.childCount):
        found = focused_text(accessible.getChildAtIndex(i), depth + 1)
        if found is not None:
            return found
    return None


def labels(accessible, depth=0):
    if accessible is None or depth > 12:
        return []
    found = []
    if accessible.getRole() == pyatspi.ROLE_LABEL:
        found.append(accessible.name)
    for i in range(accessible.childCount):
        found += labels(accessible.getChildAtIndex(i), depth + 1)
    return found


def main():
    name = sys.argv[1]
    wanted = sys.argv[3] if len(sys.argv) > 3 and sys.argv[2] == '--labels' else None
    focused = sys.argv[3] if len(sys.argv) > 3 and sys.argv[2] == '--focused' else None
    deadline = time.monotonic() + 10
    seen = []
    while time.monotonic() < deadline:
        desktop = pyatspi.Registry.getDesktop(0)
        for i in range(desktop.childCount):
            app = desktop.getChildAtIndex(i)
            if app is not None and app.name == name and focused is not None:
                text = focused_text(app)
                seen = [text]
                if text == focused:
                    print(json.dumps({'text': text}))
                    return 0
            elif app is not None and app.name == name and wanted is not None:
                seen = labels(app)
                if wanted in seen:
                    print(json.dumps({'labels': seen}))
                    return 0
            elif app is not None and app.name == name:
                found = find_text(app)
                if found:
                    text = found.queryText()
                    print(json.dumps({'text': text.getText(0, -1), 'caret': text.caretOffset,
                                      'role': found.getRoleName()}))
                    return 0
        time.sleep(0.2)
    if focused is not None:
        print(json.dumps({'error': 'the focused field did not read %r but %r' % (focused, seen)}))
    elif wanted is not None:
        print(json.dumps({'error': 'no label %r among %r' % (wanted, seen)}))
    else:
        print(json.dumps({'error': 'no editable text in %s' % name}))
    return 1


if __name__ == '__main__':
    sys.exit(main())
