#!/usr/bin/env python3
"""The program's rooms (folders under src/) in layers: a room includes only
itself and the rooms below it, always as "room/File.h", never by a path that
climbs out of its folder. Bottom to top: the text engine, the system layer,
the shared UI pieces, files and printing, then the windows (window/,
dialogs/, search/, and app/, which knows the other three), then main.cpp.

Usage: check_layers.py SRC_DIR"""
import os
import re
import sys

ORDER = ['text', 'system', 'ui', 'files', 'window', 'dialogs', 'search', 'app', 'main']
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)


def main():
    src = sys.argv[1]
    problems = []
    graph = {}
    for folder, _, names in os.walk(src):
        for name in names:
            if not name.endswith(('.cpp', '.h')):
                continue
            path = os.path.join(folder, name)
            relative = os.path.relpath(path, src)
            room = relative.split(os.sep)[0] if os.sep in relative else 'main'
            if room not in ORDER:
                problems.append('%s: the room %s has no place among the layers' % (relative, room))
                continue
            with open(path, encoding='utf-8') as f:
                for included in INCLUDE.findall(f.read()):
                    if included.startswith('../'):
                        problems.append('%s includes "%s" by a path that climbs out of its folder'
                                        % (relative, included))
                        continue
                    target = included.split('/')[0] if '/' in included else room
                    if target not in ORDER:
                        continue  # not a room of the program (the icon's picture, say)
                    graph.setdefault(room, set()).add(target)
                    if ORDER.index(target) > ORDER.index(room):
                        problems.append('%s (room %s) includes "%s" from %s, a room above it'
                                        % (relative, room, included, target))
    # The folder graph has no cycle (the order above already forbids one;
    # this says so of the graph itself).
    state = {}

    def visit(room, trail):
        if state.get(room) == 'done':
            return
        if state.get(room) == 'open':
            problems.append('rooms include each other: ' + ' -> '.join(trail + [room]))
            return
        state[room] = 'open'
        for target in sorted(graph.get(room, ())):
            if target != room:
                visit(target, trail + [room])
        state[room] = 'done'

    for room in sorted(graph):
        visit(room, [])
    for problem in problems:
        print('FAIL:', problem)
    if problems:
        return 1
    print('PASS layers: ' + ' < '.join(r for r in ORDER if r in graph or r == 'main'))
    return 0


if __name__ == '__main__':
    sys.exit(main())
