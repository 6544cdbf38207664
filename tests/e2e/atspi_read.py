#!/usr/bin/env python3
"""Reads, as a screen reader does through AT-SPI, the text and the caret of
the first editable multi-line text of the application named on the command
line, with --labels the texts of all its labels, or with --focused the text
of the editable text that has the keyboard focus, and prints them as JSON;
with --press, it chooses the menu item of that name, as a screen reader's
user does whatever window has the keyboard focus; with --extents, the box
of the character at that offset on the screen. --pid picks the one
application of that name that runs as that process. Waits at most 10 s for
them to appear.

Usage: atspi_read.py APPLICATION_NAME [--pid PID]
                     [--labels TEXT_EXPECTED | --focused TEXT_EXPECTED | --press MENU_ITEM |
                      --extents OFFSET]"""
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


def menu_item(accessible, name, depth=0):
    if accessible is None or depth > 12:
        return None
    if accessible.getRole() == pyatspi.ROLE_MENU_ITEM and accessible.name == name:
        return accessible
    for i in range(accessible.childCount):
        found = menu_item(accessible.getChildAtIndex(i), name, depth + 1)
        if found:
            return found
    return None


def read_once(name, pid, wanted, focused, press, extents, seen):
    """What is asked, where the application shows it now; None where not yet.
    What was seen goes into seen, for the message where nothing comes."""
    desktop = pyatspi.Registry.getDesktop(0)
    for i in range(desktop.childCount):
        app = desktop.getChildAtIndex(i)
        if app is None or app.name != name or (pid is not None and app.get_process_id() != pid):
            continue
        if press is not None:
            item = menu_item(app, press)
            if item:
                # The application answers once the command is done, which
                # may show a message and wait for it: not waited for.
                pyatspi.setTimeout(1000, 1000)
                try:
                    item.queryAction().doAction(0)
                except Exception as error:
                    if 'Did not receive a reply' not in str(error):
                        raise
                return {'pressed': press}
        elif focused is not None:
            text = focused_text(app)
            seen[:] = [text]
            if text == focused:
                return {'text': text}
        elif wanted is not None:
            seen[:] = labels(app)
            if wanted in seen:
                return {'labels': list(seen)}
        else:
            found = find_text(app)
            if found:
                text = found.queryText()
                answer = {'text': text.getText(0, -1), 'caret': text.caretOffset, 'role': found.getRoleName()}
                if extents is not None:
                    answer['extents'] = list(text.getCharacterExtents(extents, pyatspi.DESKTOP_COORDS))
                return answer
    return None


def main():
    args = sys.argv[1:]
    name = args.pop(0)
    pid = None
    if args[:1] == ['--pid']:
        pid = int(args[1])
        args = args[2:]
    option = args[0] if args else None
    wanted = args[1] if option == '--labels' else None
    focused = args[1] if option == '--focused' else None
    press = args[1] if option == '--press' else None
    extents = int(args[1]) if option == '--extents' else None
    deadline = time.monotonic() + 10
    seen = []
    while time.monotonic() < deadline:
        try:
            found = read_once(name, pid, wanted, focused, press, extents, seen)
        except Exception as error:
            # A window went while it was read (a message closing): read again.
            if 'No such object' not in str(error) and 'Unknown object' not in str(error):
                raise
            found = None
        if found is not None:
            print(json.dumps(found))
            return 0
        time.sleep(0.2)
    if press is not None:
        print(json.dumps({'error': 'no menu item %r in %s' % (press, name)}))
    elif focused is not None:
        print(json.dumps({'error': 'the focused field did not read %r but %r' % (focused, seen)}))
    elif wanted is not None:
        print(json.dumps({'error': 'no label %r among %r' % (wanted, seen)}))
    else:
        print(json.dumps({'error': 'no editable text in %s' % name}))
    return 1


if __name__ == '__main__':
    sys.exit(main())
