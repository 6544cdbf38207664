#!/usr/bin/env python3
"""Runs quillpad_bench and baseline_bench side by side, several rounds each,
and prints one table of medians with the ratio Quillpad / baseline.

Usage: run_bench.py BUILD_DIR [--rounds N] [--quick | --wayland]
(--quick leaves out the 200 MB start-up, which takes the baseline minutes;
--wayland measures the start-up on Wayland alone.) The large-file rows time
Quillpad from its launch against yardsticks rather than the baseline: an
empty Qt window's start, `wc -l` on the same file, the file's size."""
import os
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

LINE = 'The quick brown fox jumps over the lazy dog; a plain line of text %d.\n'


def make_lines(path, size, marker_every=0):
    with open(path, 'w', encoding='utf-8', newline='') as f:
        written, i, batch = 0, 0, []
        while written < size:
            line = LINE % i
            if marker_every and i % marker_every == 0:
                line = line.replace('lazy', 'needle')
            batch.append(line)
            written += len(line)
            i += 1
            if len(batch) == 10000:
                f.write(''.join(batch))
                batch = []
        f.write(''.join(batch) + 'ZZQUILLEND\n')


def make_single_line(path, size):
    with open(path, 'w', encoding='utf-8') as f:
        f.write(('word ' * (size // 5 + 1))[:size])


def make_thai_line(path, size):
    """One line of Thai words without a blank between them, as Thai is
    written: only a dictionary finds where its words begin."""
    words = ['ภาษา', 'ไทย', 'สวัสดี', 'ครับ', 'ประเทศ', 'โรงเรียน', 'หนังสือ']
    text, i = [], 0
    while sum(map(len, text)) < size:
        text.append(words[i % len(words)])
        i += 1
    with open(path, 'w', encoding='utf-8') as f:
        f.write(''.join(text)[:size])


def wayland_ms(stamp):
    """A time as WAYLAND_DEBUG stamps it: microseconds of the wall clock in 32
    bits, shown as milliseconds."""
    return (int(stamp * 1e6) % 2 ** 32) / 1000


def wayland_startup(build, rounds):
    """Start-up on a Wayland compositor (Weston's X11 backend on a private
    Xvfb, as the end-to-end scenarios run it), while another Wayland program
    holds a 1 KB text: the time until Quillpad's caption carries the time of
    its snapshot, against the time a bare Qt window shows its first frame,
    both read off what the programs tell the compositor. None where the
    tools for it are missing."""
    here = os.path.dirname(os.path.abspath(__file__))
    sys.path.insert(0, os.path.join(here, '..', 'tests', 'e2e'))
    try:
        import e2e
    except ImportError:
        return None
    for tool in ('Xvfb', 'openbox', 'xdotool', 'weston', 'wl-copy'):
        if not shutil.which(tool):
            print('(no Wayland row: %s is missing)' % tool)
            return None
    programs = {'quillpad': ([os.path.join(build, 'src', 'quillpad')], re.compile(r'set_title\(".*:  CLIP"\)')),
                'baseline': ([os.path.join(build, 'bench', 'baseline_bench'), 'window', '-'],
                             re.compile(r'wl_surface@\d+\.attach\(wl_buffer'))}
    results = {'quillpad': [], 'baseline': []}
    d = e2e.Desktop()
    try:
        env, window = d.compositor()
        d.activate(window)
        e2e.wayland_copy(d, env, 'c' * 1024)
        env = dict(env, WAYLAND_DEBUG='1')
        for _ in range(rounds):
            for name, (argv, marker) in programs.items():
                log = os.path.join(d.tmp, 'startup.log')
                with open(log, 'w') as said:
                    started = wayland_ms(time.time())
                    proc = subprocess.Popen(argv, env=env, cwd=d.tmp, stdout=subprocess.DEVNULL, stderr=said)

                def reached():
                    with open(log, errors='replace') as f:
                        for line in f:
                            if marker.search(line):
                                return float(line[1:line.index(']')])
                    return None
                try:
                    at = e2e.wait_for(name + ' on Wayland', reached)
                finally:
                    proc.kill()
                    proc.wait()
                results[name].append((at - started) % (2 ** 32 / 1000))
                time.sleep(0.3)  # the compositor settles the focus again
    finally:
        d.close()
    return {name: statistics.median(values) for name, values in results.items()}


def launched(argv, env):
    """Runs a benchmark program and times each line it reports from its
    launch (ms), as a user waits for it; its own values beside them."""
    started = time.monotonic()
    proc = subprocess.Popen(argv, env=env, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True, bufsize=1)
    at, values = {}, {}
    for line in proc.stdout:
        name, _, value = line.partition(' ')
        at[name] = (time.monotonic() - started) * 1000
        values[name] = float(value)
    if proc.wait() != 0 or not at:
        sys.exit('%s failed' % ' '.join(argv))
    return at, values


def large_files(build, env, tmp, rounds):
    """Start-up with a 200 MB and a 1 GB file, from the launch: the first
    screen against an empty Qt window's, the whole text in (and the note
    idle) against `wc -l` on the same file, and the peak memory against the
    file's size. Rows of (label, Quillpad, yardstick) medians."""
    quillpad = os.path.join(build, 'bench', 'quillpad_bench')
    baseline = os.path.join(build, 'bench', 'baseline_bench')
    rows = []
    for label, size in (('200 MB', 200 << 20), ('1 GB', 1 << 30)):
        path = os.path.join(tmp, 'large.txt')
        make_lines(path, size)
        measured = {'first': [], 'empty': [], 'ready': [], 'wc': [], 'memory': []}
        # A warm-up launch, unmeasured: the file was just written, and where
        # the machine is a virtual one whose host takes back memory its guest
        # freed, the first launch after that pays seconds for fresh memory.
        launched([quillpad, 'startup', path], env)
        for _ in range(rounds):
            measured['empty'].append(launched([baseline, 'empty', '-'], env)[0]['first_screen_ms'])
            at, values = launched([quillpad, 'startup', path], env)
            measured['first'].append(at['first_screen_ms'])
            measured['ready'].append(at['startup_ms'])
            measured['memory'].append(values['peak_rss_mb'])
            started = time.monotonic()
            subprocess.run(['wc', '-l', path], stdout=subprocess.DEVNULL, check=True)
            measured['wc'].append((time.monotonic() - started) * 1000)
        os.remove(path)
        m = {key: statistics.median(values) for key, values in measured.items()}
        rows.append(('%s: first screen / empty window' % label, m['first'], m['empty']))
        rows.append(('%s: whole text in / wc -l' % label, m['ready'], m['wc']))
        rows.append(('%s: peak memory / file (MB)' % label, m['memory'], size / (1 << 20)))
        rows.append(('%s: limit, 5 x wc -l + empty window' % label, m['ready'], 5 * m['wc'] + m['empty']))
        rows.append(('%s: limit, 1.3 x file + 60 MB' % label, m['memory'], 1.3 * size / (1 << 20) + 60))
    return rows


def run(binary, args, env):
    out = subprocess.run([binary] + args, env=env, capture_output=True, text=True, timeout=900)
    values = {}
    for line in out.stdout.splitlines():
        name, _, value = line.partition(' ')
        try:
            values[name] = float(value)
        except ValueError:
            pass
    if out.returncode != 0 or not values:
        sys.exit('%s %s failed: %s' % (binary, ' '.join(args), out.stderr[-2000:]))
    return values


def main():
    build = os.path.abspath(sys.argv[1])
    rounds = int(sys.argv[sys.argv.index('--rounds') + 1]) if '--rounds' in sys.argv else 5
    quick = '--quick' in sys.argv
    if '--wayland' in sys.argv:
        wayland = wayland_startup(build, rounds)
        if wayland:
            print('%-40s %12s %12s %8s' % ('measure (median, ms)', 'Quillpad', 'baseline', 'ratio'))
            print('%-40s %12.1f %12.1f %8.3f' % ('start-up on Wayland: caption/frame', wayland['quillpad'],
                                                 wayland['baseline'], wayland['quillpad'] / wayland['baseline']))
        return
    programs = {'quillpad': os.path.join(build, 'bench', 'quillpad_bench'),
                'baseline': os.path.join(build, 'bench', 'baseline_bench')}
    with tempfile.TemporaryDirectory(prefix='quillpad-bench-') as tmp:
        env = dict(os.environ, QT_QPA_PLATFORM=os.environ.get('QT_QPA_PLATFORM', 'offscreen'),
                   XDG_RUNTIME_DIR=tmp)
        files = {}
        sizes = [('1 MB', 1 << 20), ('10 MB', 10 << 20), ('50 MB', 50 << 20)]
        if not quick:
            sizes.append(('200 MB', 200 << 20))
        for label, size in sizes:
            files[label] = os.path.join(tmp, label.replace(' ', '') + '.txt')
            make_lines(files[label], size, marker_every=500 if label == '50 MB' else 0)
        single = os.path.join(tmp, 'single.txt')
        make_single_line(single, 1 << 20)
        thai = os.path.join(tmp, 'thai.txt')
        make_thai_line(thai, 100000)
        out = os.path.join(tmp, 'saved.txt')
        printed = {}
        for lines in (16000, 64000):
            printed[lines] = os.path.join(tmp, 'print%d.txt' % lines)
            make_lines(printed[lines], lines * len(LINE % 10000))
        pdf = os.path.join(tmp, 'printed.pdf')

        cases = [('start-up, 1 KB clipboard', ['startup', '--clipboard', '1024'], 'startup_ms')]
        for label, _ in sizes:
            cases.append(('start-up, %s file' % label, ['startup', files[label]], 'startup_ms'))
        cases.append(('start-up, 1 MB single line', ['startup', single], 'startup_ms'))
        cases.append(('CPU at rest, 1 MB line shown (%)', ['rest', single], 'rest_cpu_percent'))
        for lines, path in printed.items():
            cases.append(('Print, %d lines, menu to report' % lines, ['print', path, pdf], 'print_ms'))
            cases.append(('memory added by Print, %d lines (MB)' % lines, ['print', path, pdf], 'print_added_mb'))
        ops = ['ops', files['50 MB'], single, out, thai]
        op_rows = [('Open 50 MB', 'open_ms'), ('Save As 50 MB', 'save_ms'),
                   ('search, string at the end', 'search_end_ms'),
                   ('find alone, 50 MB, no match', 'find_whole_text_ms'),
                   ('Find Again x 1000', 'find_again_1000_ms'),
                   ('colour command, 50 MB', 'recolour_ms'),
                   ('Ctrl+End, 200 x Page Up, 50 MB', 'page_up_200_ms'),
                   ('select all and Copy, 50 MB', 'copy_all_ms'),
                   ('typed character, 1 MB line', 'type_single_line_ms'),
                   ('word move, 100,000-char Thai line', 'thai_word_move_ms'),
                   ('typed char + word move, Thai line', 'thai_typed_word_move_ms'),
                   ('peak memory, 50 MB file (MB)', 'peak_rss_mb')]

        # Rounds alternate between the two programs, so that whatever else
        # the machine does at the time weighs on both alike.
        results = {}  # (row, program) -> list
        for _ in range(rounds):
            measured = {}  # one run gives every row of the same arguments
            for label, args, key in cases:
                for program, binary in programs.items():
                    if (program, tuple(args)) not in measured:
                        measured[(program, tuple(args))] = run(binary, args, env)
                    results.setdefault((label, program), []).append(measured[(program, tuple(args))][key])
        for _ in range(max(3, rounds // 2)):
            for program, binary in programs.items():
                values = run(binary, ops, env)
                for label, key in op_rows:
                    results.setdefault((label, program), []).append(values[key])

        large = large_files(build, env, tmp, rounds)
        for label, q, b in large:
            cases.append((label, None, None))
            results[(label, 'quillpad')] = [q]
            results[(label, 'baseline')] = [b]

        rows = [label for label, _, _ in cases] + [label for label, _ in op_rows]
        wayland = wayland_startup(build, rounds)
        if wayland:
            label = 'start-up on Wayland: caption/frame'
            rows.insert(1, label)
            results[(label, 'quillpad')] = [wayland['quillpad']]
            results[(label, 'baseline')] = [wayland['baseline']]
        print('%-40s %12s %12s %8s' % ('measure (median, ms unless noted)', 'Quillpad', 'baseline', 'ratio'))
        print('-' * 76)
        for label in rows:
            q = statistics.median(results[(label, 'quillpad')])
            b = statistics.median(results[(label, 'baseline')])
            ratio = q / b if b else float('nan')
            print('%-40s %12.1f %12.1f %8.3f' % (label, q, b, ratio))
        print('(200 MB and 1 GB rows: the second column is the yardstick the row names)')


if __name__ == '__main__':
    main()
