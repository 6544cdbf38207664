#!/usr/bin/env python3
"""End-to-end scenarios: the built quillpad on a private X server with a
window manager, driven only from outside as a user would, with xdotool for
keys and windows, xclip as the other program on the clipboard and xprop for
window state. Every wait is bounded, and every process is ended afterwards.

Usage: e2e.py QUILLPAD SCENARIO"""
import os
import json
import re
import resource
import shutil
import signal
import subprocess
import sys
import tempfile
import time

WAIT = 10.0  # seconds any one thing may take
# Qt's own plain-text editor, built beside the tests (reference_editor.cpp).
REFERENCE_EDITOR = os.environ.get('QUILLPAD_REFERENCE_EDITOR', '')
YELLOW, CYAN = 'ffff00', '00ffff'  # the note's text area; the reference editor's


class Failure(Exception):
    pass


def wait_for(what, check, timeout=WAIT):
    deadline = time.monotonic() + timeout
    while True:
        value = check()
        if value:
            return value
        if time.monotonic() > deadline:
            raise Failure('timed out waiting for ' + what)
        time.sleep(0.05)


def read_line(fd, who):
    """The first line a starting server writes to fd (its display or its
    address); then fd is closed."""
    line = b''
    deadline = time.monotonic() + WAIT
    while not line.endswith(b'\n'):
        if time.monotonic() > deadline:
            raise Failure(who + ' did not start')
        chunk = os.read(fd, 256)
        if not chunk:
            raise Failure(who + ' ended at start')
        line += chunk
    os.close(fd)
    return line.decode().strip()


def descendants(pid):
    """Every process below pid, deepest first."""
    children = {}
    for entry in os.listdir('/proc'):
        if entry.isdigit():
            try:
                with open('/proc/%s/stat' % entry) as f:
                    parent = int(f.read().rsplit(')', 1)[1].split()[1])
            except (OSError, IndexError, ValueError):
                continue
            children.setdefault(parent, []).append(int(entry))
    found = []
    for child in children.get(pid, []):
        found += descendants_of(children, child)
    return found


def descendants_of(children, pid):
    found = []
    for child in children.get(pid, []):
        found += descendants_of(children, child)
    return found + [pid]


def cpu_seconds(pid):
    """Processor time a process has used so far."""
    with open('/proc/%d/stat' % pid) as f:
        fields = f.read().rsplit(')', 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf('SC_CLK_TCK')


def private_environment(folder):
    """The environment for everything a scenario starts: nothing in it leads
    to the machine's own display, session bus, printers or configuration.
    Home, configuration and runtime folders are the scenario's own; the print
    system and the session bus are ones that do not exist until a scenario
    starts its own."""
    env = {k: v for k, v in os.environ.items()
           if not k.startswith(('XDG_', 'QT_', 'DBUS_', 'CUPS_', 'WAYLAND_', 'DISPLAY', 'AT_SPI_'))}
    for name in ('config', 'cache', 'data', 'state', 'runtime'):
        os.makedirs(os.path.join(folder, name), mode=0o700, exist_ok=True)
    env.update(HOME=folder, XDG_RUNTIME_DIR=os.path.join(folder, 'runtime'),
               XDG_CONFIG_HOME=os.path.join(folder, 'config'), XDG_CACHE_HOME=os.path.join(folder, 'cache'),
               XDG_DATA_HOME=os.path.join(folder, 'data'), XDG_STATE_HOME=os.path.join(folder, 'state'),
               CUPS_SERVER=os.path.join(folder, 'no-print-server'),
               DBUS_SESSION_BUS_ADDRESS='unix:path=' + os.path.join(folder, 'no-session-bus'))
    return env


def system_tool(name):
    """A tool that lives in /usr/sbin or /sbin, outside an ordinary user's PATH."""
    for folder in ('/usr/sbin', '/sbin', '/usr/bin', '/bin'):
        path = os.path.join(folder, name)
        if os.access(path, os.X_OK):
            return path
    raise Failure('%s is not installed' % name)


def machine_print_jobs():
    """Every job the machine's own print system knows of, done or not; None
    where it runs none. Asked with the machine's own environment."""
    jobs = set()
    for which in ('completed', 'not-completed'):
        try:
            result = subprocess.run(['lpstat', '-W', which, '-o'], capture_output=True, text=True,
                                    timeout=WAIT)
        except (OSError, subprocess.TimeoutExpired):
            return None
        if result.returncode != 0:
            return None
        jobs.update(result.stdout.splitlines())
    return jobs


class Desktop:
    """Xvfb with a window manager on a display of its own: openbox, or
    another of those users bring (fluxbox, kwin_x11), or first_mapped.py,
    which manages windows only to record the caption each has as it is
    first mapped."""

    def __init__(self, window_manager='openbox'):
        self.window_manager = window_manager
        self.procs = []
        self.buses = []
        self.graceful = []  # servers asked to end before they are killed
        self.x_displays = []  # X servers a compositor started
        self.tmp = tempfile.mkdtemp(prefix='quillpad-e2e-')
        try:
            self.start()
        except BaseException:
            self.close()
            raise

    def start(self):
        read_fd, write_fd = os.pipe()
        self.xvfb = subprocess.Popen(
            ['Xvfb', '-displayfd', str(write_fd), '-screen', '0', '1280x800x24', '-nolisten', 'tcp'],
            pass_fds=(write_fd,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_fd)
        number = read_line(read_fd, 'Xvfb')
        self.env = private_environment(self.tmp)
        self.env['DISPLAY'] = ':' + number
        # A window manager that comes up before the server takes clients
        # gives up at once; start it again then.
        for attempt in range(5):
            wm = self.spawn(self.window_manager_command())
            try:
                wait_for('the window manager', lambda: self.wm_ready() or wm.poll() is not None)
            except Failure:
                pass
            if self.wm_ready():
                self.wm = wm
                return
            # One that hangs holding the server (seen once on a loaded
            # machine) is ended, which lets the server go.
            wm.kill()
            wm.wait()
            time.sleep(0.2)
        raise Failure('the window manager did not start')

    def window_manager_command(self):
        if self.window_manager == 'openbox':
            # openbox with its defaults: a configuration of its own that says
            # nothing (an empty file would be an error, which openbox shows
            # in a window of its own beside the scenario's).
            config = os.path.join(self.tmp, 'openbox-rc.xml')
            with open(config, 'w') as f:
                f.write('<?xml version="1.0"?>\n<openbox_config xmlns="http://openbox.org/3.4/rc"/>\n')
            return ['openbox', '--config-file', config]
        if self.window_manager == 'fluxbox':
            return ['fluxbox', '-no-slit', '-no-toolbar', '-rc', os.path.join(self.tmp, 'fluxbox-init')]
        if self.window_manager == 'kwin':
            self.ensure_session_bus()  # kwin_x11 asks the session bus for the desktop's services
            self.env['KWIN_COMPOSE'] = 'N'  # no compositing on Xvfb
            return ['kwin_x11', '--replace']
        recorder = os.path.join(os.path.dirname(os.path.abspath(__file__)), 'first_mapped.py')
        self.first_mapped = os.path.join(self.tmp, 'first-mapped.log')
        return [self.python_with('Xlib'), recorder, self.first_mapped]

    def wm_ready(self):
        if self.window_manager == 'recorder':
            return os.path.exists(self.first_mapped)
        try:
            out = subprocess.run(['xprop', '-root', '_NET_SUPPORTING_WM_CHECK'], env=self.env, capture_output=True,
                                 timeout=WAIT / 4).stdout.decode(errors='replace')
        except subprocess.TimeoutExpired:
            return False  # the server is held by the window manager starting
        return 'window id' in out

    def spawn(self, argv, env=None, stdout=subprocess.DEVNULL, **kw):
        proc = subprocess.Popen(argv, env=env or self.env, stdout=stdout, stderr=subprocess.DEVNULL, **kw)
        self.procs.append(proc)
        return proc

    def run(self, argv, check=True, input=None, env=None):
        result = subprocess.run(argv, env=env or self.env, capture_output=True, timeout=WAIT,
                                input=input)
        if check and result.returncode != 0:
            raise Failure('%s failed: %s' % (' '.join(argv), result.stderr.decode(errors='replace')))
        return result.stdout.decode('utf-8', errors='replace')

    def session_bus(self):
        """A D-Bus session bus of the desktop's own, on which the accessibility
        bus and its registry start when first asked for."""
        read_fd, write_fd = os.pipe()
        socket_path = os.path.join(self.tmp, 'session-bus-%d' % len(self.buses))
        bus = self.spawn(['dbus-daemon', '--session', '--nofork', '--address=unix:path=' + socket_path,
                          '--print-address=%d' % write_fd], pass_fds=(write_fd,))
        os.close(write_fd)
        self.env['DBUS_SESSION_BUS_ADDRESS'] = read_line(read_fd, 'dbus-daemon')
        self.buses.append(bus.pid)
        self.has_session_bus = True

    def ensure_session_bus(self):
        if not getattr(self, 'has_session_bus', False):
            self.session_bus()

    def compositor(self):
        """Weston with its X11 backend in a window of this desktop's X server,
        which gives it a seat: keys sent to that window reach the Wayland
        program that has the focus. Returns the environment of a program on
        Wayland alone (no DISPLAY) and the window keys go to."""
        socket_name = 'wayland-quillpad'
        weston = self.spawn(['weston', '--backend=x11-backend.so', '--use-pixman', '--socket=' + socket_name,
                             '--width=1000', '--height=700', '--idle-time=0', '--no-config'])
        self.buses.append(weston.pid)  # its shell goes with it, by process id
        self.wait_for_socket(socket_name)
        window = wait_for('the compositor\'s window',
                          lambda: (self.run(['xdotool', 'search', '--class', 'weston'], check=False).split()
                                   or [None])[0])
        return self.wayland_only(socket_name), window

    def mutter(self):
        """GNOME's compositor, nested in a window of this desktop's X server
        (which gives it a seat), Wayland only. Returns the environment of a
        program on it and the window keys go to, with the pointer over it."""
        self.ensure_session_bus()  # mutter asks the session bus for the desktop's services
        socket_name = 'wayland-mutter'
        known = set(self.client_list())
        mutter = self.spawn(['mutter', '--wayland', '--nested', '--no-x11', '--wayland-display', socket_name])
        self.buses.append(mutter.pid)
        self.wait_for_socket(socket_name)
        window = wait_for('the compositor\'s window',
                          lambda: ([w for w in self.client_list() if w not in known
                                    and self.run(['xdotool', 'getwindowname', w], check=False).strip() == 'mutter']
                                   or [None])[0], timeout=3 * WAIT)
        self.activate(window)
        self.run(['xdotool', 'mousemove', '--window', window, '200', '200'])
        return self.wayland_only(socket_name), window

    def kwin(self):
        """KDE's compositor in a window of this desktop's X server (which
        gives it a seat: keys sent to that window reach the focused program),
        with an Xwayland of its own, as a Plasma Wayland session runs.
        Returns the environment of a program on Wayland there, the window
        keys go to and the Xwayland's display."""
        # A plain copy (some containers refuse the original's file
        # capabilities), under its own name, which its platform plug-in asks for.
        binary = os.path.join(self.tmp, 'kwin_wayland')
        shutil.copy(shutil.which('kwin_wayland') or '/usr/bin/kwin_wayland', binary)
        shown = os.path.join(self.tmp, 'kwin-display')
        socket_name = 'wayland-kwin'
        known = set(self.client_list())
        # KWin starts the command line given it once Xwayland is up, with
        # DISPLAY naming it.
        kwin = subprocess.Popen([binary, '--x11-display', self.env['DISPLAY'], '--width', '1000', '--height', '700',
                                 '--xwayland', '--socket', socket_name, '--no-lockscreen', '--no-global-shortcuts',
                                 '--no-kactivities', "sh -c 'echo \"$DISPLAY\" > %s'" % shown],
                                env=self.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.procs.append(kwin)
        self.graceful.append(kwin)  # it removes its Xwayland's socket and lock as it ends
        self.buses.append(kwin.pid)
        self.wait_for_socket(socket_name)
        display = wait_for('Xwayland', lambda: os.path.exists(shown) and open(shown).read().strip(),
                           timeout=3 * WAIT)
        self.x_displays.append(display)
        window = wait_for('the compositor\'s window',
                          lambda: ([w for w in self.client_list() if w not in known
                                    and 'KDE Wayland Compositor' in self.title(w)] or [None])[0], timeout=3 * WAIT)
        self.activate(window)
        self.run(['xdotool', 'mousemove', '--window', window, '300', '300'])
        return self.wayland_only(socket_name), window, display

    def ibus(self, engine):
        """ibus on this desktop, with its own bus and its candidate window
        (ibus-ui-gtk3), the engine given in use for every program. Returns
        the environment a program types through it with. ibus-daemon ends
        when its parent does: this test is its parent, and waits."""
        self.ensure_session_bus()
        address = 'unix:path=' + os.path.join(self.tmp, 'ibus-bus')
        env = dict(self.env, IBUS_ADDRESS=address)
        missing = [p for p in ('ibus-daemon', '/usr/libexec/ibus-ui-gtk3', '/usr/libexec/ibus-engine-' + engine)
                   if not shutil.which(p)]
        if missing:
            raise Failure('ibus cannot start here: %s missing (install ibus and ibus-%s)' % (', '.join(missing), engine))
        daemon = self.spawn(['ibus-daemon', '--address=' + address, '--panel=/usr/libexec/ibus-ui-gtk3',
                             '--config=/usr/libexec/ibus-memconf'], env=env)
        self.buses.append(daemon.pid)  # the panel and the engines go with it

        def answers():
            if daemon.poll() is not None:
                raise Failure('ibus-daemon ended at start (status %s)' % daemon.returncode)
            return engine in self.run(['ibus', 'list-engine'], check=False, env=env)
        wait_for('ibus to list the %s engine' % engine, answers)

        def engine_in_use():
            self.run(['ibus', 'engine', engine], check=False, env=env)
            return self.run(['ibus', 'engine'], check=False, env=env).strip() == engine
        wait_for('ibus with the %s engine' % engine, engine_in_use)
        # What the programs tell ibus of the caret, as it passes on ibus's bus.
        self.ibus_bus = os.path.join(self.tmp, 'ibus-bus.log')
        self.spawn(['stdbuf', '-oL', 'dbus-monitor', '--address', address], env=env, stdout=open(self.ibus_bus, 'w'))

        def watched():
            self.run(['ibus', 'engine'], check=False, env=env)  # a message the watch sees, once it watches
            with open(self.ibus_bus, errors='replace') as f:
                return 'destination=org.freedesktop.IBus ' in f.read()
        wait_for('the watch on ibus\'s bus', watched)
        return dict(env, QT_IM_MODULE='ibus', QT_LOGGING_RULES='qt.qpa.input.methods.debug=true')

    def caret_told_to_ibus(self, since=0):
        """The messages on ibus's bus from offset since: each program's
        preedit changes and the caret rectangles it tells ibus, in order, as
        ('preedit', None) and ('caret', (x, y, width, height))."""
        with open(self.ibus_bus, errors='replace') as f:
            f.seek(since)
            blocks = re.split(r'\n(?=(?:method call|method return|signal|error) )', f.read())
        told = []
        # The last message may be still half written: one not whole yet is left
        # for the next look.
        for block in blocks:
            if block.startswith('signal ') and 'member=UpdatePreeditText' in block:
                # The text composed and the caret's place in it.
                texts = re.findall(r'string "([^"]*)"', block)
                cursors = re.findall(r'uint32 (\d+)\s+boolean', block)
                if len(texts) > 1 and cursors:
                    told.append(('preedit', (texts[1], int(cursors[-1]))))
            elif (block.startswith('method call ') and 'member=SetCursorLocation' in block
                  and 'path=/org/freedesktop/IBus/InputContext' in block):
                rect = tuple(int(v) for v in re.findall(r'int32 (-?\d+)', block)[:4])
                if len(rect) == 4:
                    told.append(('caret', rect))
        return told

    def wait_for_socket(self, socket_name):
        runtime = self.env['XDG_RUNTIME_DIR']
        wait_for('the compositor', lambda: os.path.exists(os.path.join(runtime, socket_name)), timeout=3 * WAIT)

    def wayland_only(self, socket_name):
        env = {k: v for k, v in self.env.items() if k != 'DISPLAY'}
        env['WAYLAND_DISPLAY'] = socket_name
        return env

    def client_list(self):
        out = self.run(['xprop', '-root', '_NET_CLIENT_LIST'], check=False)
        return [str(int(w, 16)) for w in re.findall(r'0x[0-9a-f]+', out)]

    def close(self):
        for proc in self.graceful:
            if proc.poll() is None:
                proc.terminate()
                try:
                    proc.wait(timeout=WAIT)
                except subprocess.TimeoutExpired:
                    pass
        # What the buses and the compositor started for themselves goes
        # first, by process id.
        for pid in self.buses:
            for child in descendants(pid):
                try:
                    os.kill(child, signal.SIGKILL)
                except ProcessLookupError:
                    pass
        for proc in reversed(self.procs):
            if proc.poll() is None:
                proc.kill()
                proc.wait(timeout=WAIT)
        if hasattr(self, 'xvfb'):
            self.xvfb.terminate()  # lets it remove its lock and socket
            try:
                self.xvfb.wait(timeout=WAIT)
            except subprocess.TimeoutExpired:
                self.xvfb.kill()
                self.xvfb.wait(timeout=WAIT)
        # An X server a compositor started and that was killed leaves its
        # socket and lock behind.
        for display in self.x_displays:
            number = display.lstrip(':').split('.')[0]
            for path in ('/tmp/.X11-unix/X' + number, '/tmp/.X%s-lock' % number):
                try:
                    os.unlink(path)
                except OSError:
                    pass
        shutil.rmtree(self.tmp, ignore_errors=True)

    # ---- the clipboard, as another program sees it

    def set_clipboard(self, text):
        proc = subprocess.Popen(['xclip', '-selection', 'clipboard', '-i'], env=self.env,
                                stdin=subprocess.PIPE, stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL)
        proc.communicate(text.encode('utf-8'), timeout=WAIT)

    def clipboard(self):
        result = subprocess.run(['xclip', '-selection', 'clipboard', '-o'], env=self.env,
                                capture_output=True, timeout=WAIT)
        return result.stdout.decode('utf-8') if result.returncode == 0 else None

    def print_server(self):
        """A CUPS of the desktop's own: private configuration, state and socket,
        and one queue, NotePrinter, whose jobs land as files in the folder
        returned. The program finds it through CUPS_SERVER; nothing of the
        machine's own printing is touched."""
        root = os.path.join(self.tmp, 'cups')
        for sub in ('spool', 'cache', 'state', 'log', 'tmp', 'jobs', 'bin/backend', 'bin/daemon'):
            os.makedirs(os.path.join(root, sub), exist_ok=True)
        # The backend runs as the print system's own user: it must reach its folder.
        for folder in (self.tmp, root):
            os.chmod(folder, 0o755)
        for sub in ('tmp', 'jobs'):
            os.chmod(os.path.join(root, sub), 0o777)
        backend = os.path.join(os.path.dirname(os.path.abspath(__file__)), 'capture_backend')
        shutil.copy(backend, os.path.join(root, 'bin/backend/capture'))
        os.symlink('/usr/lib/cups/daemon/cups-exec', os.path.join(root, 'bin/daemon/cups-exec'))
        socket_path = os.path.join(root, 'cups.sock')
        with open(os.path.join(root, 'cupsd.conf'), 'w') as f:
            f.write('Listen %s\nLogLevel info\nDefaultAuthType None\nWebInterface No\nBrowsing Off\n'
                    '<Location />\n  Order allow,deny\n  Allow all\n</Location>\n'
                    '<Policy default>\n  <Limit All>\n    Order allow,deny\n    Allow all\n  </Limit>\n'
                    '</Policy>\n' % socket_path)
        with open(os.path.join(root, 'cups-files.conf'), 'w') as f:
            for key, value in (('ServerRoot', root), ('RequestRoot', root + '/spool'),
                               ('CacheDir', root + '/cache'), ('StateDir', root + '/state'),
                               ('TempDir', root + '/tmp'), ('ErrorLog', root + '/log/error_log'),
                               ('AccessLog', root + '/log/access_log'), ('PageLog', root + '/log/page_log'),
                               ('Printcap', root + '/printcap'), ('ServerBin', root + '/bin'),
                               ('DataDir', '/usr/share/cups'), ('SystemGroup', 'root')):
                f.write('%s %s\n' % (key, value))
        self.spawn([system_tool('cupsd'), '-f', '-c', root + '/cupsd.conf', '-s', root + '/cups-files.conf'])
        wait_for('the print server', lambda: os.path.exists(socket_path))
        self.env['CUPS_SERVER'] = socket_path
        jobs = os.path.join(root, 'jobs')
        lpadmin = system_tool('lpadmin')
        self.run([lpadmin, '-p', 'NotePrinter', '-E', '-v', 'capture:' + jobs, '-m', 'raw'])
        self.run([lpadmin, '-d', 'NotePrinter'])
        return jobs

    def screen_reader(self, application, *args):
        """What a screen reader's client reads of the application (atspi_read.py)."""
        # The client needs python3's own AT-SPI bindings (Debian's python3-pyatspi).
        reader = os.path.join(os.path.dirname(os.path.abspath(__file__)), 'atspi_read.py')
        out = subprocess.run([self.python_with('pyatspi'), reader, application] + list(args), env=self.env,
                             capture_output=True, text=True, timeout=3 * WAIT)
        try:
            seen = json.loads(out.stdout.strip().splitlines()[-1])
        except (IndexError, ValueError):
            raise Failure('the AT-SPI client said %r %r' % (out.stdout, out.stderr[-500:]))
        if 'error' in seen:
            raise Failure(seen['error'])
        return seen

    def python_with(self, module):
        """A python3 that has the module: this one, or Debian's own."""
        if subprocess.run([sys.executable, '-c', 'import ' + module], capture_output=True).returncode == 0:
            return sys.executable
        return '/usr/bin/python3'

    def silent_clipboard_owner(self):
        """Another program that takes the clipboard and never answers for it."""
        return self.clipboard_owner('silent_owner.py')

    def clipboard_owner(self, script, *args):
        """Another program that takes the clipboard and answers as its script says."""
        script = os.path.join(os.path.dirname(os.path.abspath(__file__)), script)
        proc = subprocess.Popen([self.python_with('Xlib'), script] + list(args), env=self.env,
                                stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        self.procs.append(proc)
        if proc.stdout.readline().strip() != 'ready':
            raise Failure('the clipboard owner %s did not start' % script)
        return proc

    def colours(self, window, *colours):
        """Where the window shows each colour (find_colour.py)."""
        finder = os.path.join(os.path.dirname(os.path.abspath(__file__)), 'find_colour.py')
        out = subprocess.run([self.python_with('Xlib'), finder, window] + list(colours), env=self.env,
                             capture_output=True, text=True, timeout=WAIT)
        try:
            return json.loads(out.stdout)
        except ValueError:
            raise Failure('find_colour.py said %r %r' % (out.stdout, out.stderr[-300:]))

    def drag(self, start, end):
        """Presses the first button at start, moves to end in steps and lets go."""
        self.run(['xdotool', 'mousemove', str(start[0]), str(start[1]), 'mousedown', '1'])
        for step in range(1, 11):
            x = start[0] + (end[0] - start[0]) * step // 10
            y = start[1] + (end[1] - start[1]) * step // 10
            self.run(['xdotool', 'mousemove', str(x), str(y)])
            time.sleep(0.05)
        self.run(['xdotool', 'mouseup', '1'])

    # ---- windows and keys

    def windows(self, name, visible=True):
        argv = ['xdotool', 'search'] + (['--onlyvisible'] if visible else []) + ['--name', name]
        out = self.run(argv, check=False)
        return [w for w in out.split() if w]

    def window(self, name):
        return wait_for('a window named %r' % name, lambda: (self.windows(name) or [None])[0])

    def title(self, window):
        return self.run(['xdotool', 'getwindowname', window]).strip()

    def geometry(self, window):
        out = self.run(['xdotool', 'getwindowgeometry', window])
        return re.findall(r'(?:Position|Geometry): (\S+)', out)

    def frame(self, window):
        """x, y, width and height of the window on the screen."""
        out = self.run(['xdotool', 'getwindowgeometry', '--shell', window])
        values = dict(line.split('=') for line in out.split())
        return tuple(int(values[k]) for k in ('X', 'Y', 'WIDTH', 'HEIGHT'))

    def state(self, window):
        return self.run(['xprop', '-id', window, '_NET_WM_STATE'])

    def activate(self, window):
        self.run(['xdotool', 'windowactivate', '--sync', window])
        wait_for('focus on the window', lambda: self.run(['xdotool', 'getactivewindow'],
                                                         check=False).strip() == window)

    def keys(self, *keys):
        for key in keys:
            self.run(['xdotool', 'key', '--clearmodifiers', key])
            time.sleep(0.05)

    def type(self, text):
        self.run(['xdotool', 'type', '--delay', '15', text])


class Quillpad:
    def __init__(self, desktop, binary, *args, activate=True, data_limit=None):
        self.desktop = desktop
        limit = None
        if data_limit:
            def limit():
                resource.setrlimit(resource.RLIMIT_DATA, (data_limit, data_limit))
        self.proc = desktop.spawn([binary] + list(args), cwd=desktop.tmp, preexec_fn=limit)
        self.window = wait_for('the note window', lambda: (desktop.windows(':  CLIP') or [None])[0])
        if activate:
            desktop.activate(self.window)
        time.sleep(0.2)

    def text(self):
        """The whole text, read the way a user would take it: select all, copy."""
        self.desktop.keys('ctrl+a', 'ctrl+Insert')
        return self.desktop.clipboard()


def expect(what, actual, wanted):
    if actual != wanted:
        raise Failure('%s: got %r, wanted %r' % (what, actual, wanted))


def write(desktop, name, data):
    path = os.path.join(desktop.tmp, name)
    with open(path, 'wb') as f:
        f.write(data)
    return path


# ---- scenarios ----------------------------------------------------------------

def clipboard_start(d, binary):
    d.set_clipboard('snapshot from another program\nsecond line')
    q = Quillpad(d, binary)
    if not re.fullmatch(r'\d\d:\d\d:\d\d:  CLIP', d.title(q.window)):
        raise Failure('caption %r' % d.title(q.window))
    d.set_clipboard('changed later')  # the note is a snapshot
    expect('note text', q.text(), 'snapshot from another program\nsecond line')
    # The launcher ties the window to its menu entry by its class.
    entry = os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', '..', 'data',
                         'invalid.quillpad.quillpad.desktop')
    with open(entry) as f:
        wm_class = re.search(r'^StartupWMClass=(.*)$', f.read(), re.M).group(1)
    expect('window class', d.run(['xprop', '-id', q.window, 'WM_CLASS']).split('=')[-1].split(',')[-1].strip(),
           '"%s"' % wm_class)


def file_with_blank(d, binary):
    path = write(d, 'my notes.txt', 'caf\u00e9 list\r\nmilk\r\n'.encode('utf-8'))
    q = Quillpad(d, binary, path)
    expect('caption', d.title(q.window), path + ':  CLIP')
    expect('note text', q.text(), 'caf\u00e9 list\nmilk\n')


def copy_selection(d, binary):
    path = write(d, 'lines.txt', b'line one\r\nline two\r\nline three')
    q = Quillpad(d, binary, path)
    d.keys('ctrl+Home', 'shift+Down', 'shift+Down', 'ctrl+Insert')
    expect('copied selection', d.clipboard(), 'line one\nline two\n')


def paste(d, binary):
    path = write(d, 'brackets.txt', b'[]')
    q = Quillpad(d, binary, path)
    d.set_clipboard('gr\u00fc\u00dfe \u20ac\nzwei')
    d.keys('ctrl+Home', 'Right', 'shift+Insert')
    expect('note text', q.text(), '[gr\u00fc\u00dfe \u20ac\nzwei]')


def stacking(d):
    """Client windows from bottom to top."""
    out = d.run(['xprop', '-root', '_NET_CLIENT_LIST_STACKING'])
    return [str(int(w, 16)) for w in re.findall(r'0x[0-9a-f]+', out)]


def stay_on_top(d, binary):
    d.set_clipboard('pinned')
    q = Quillpad(d, binary)
    before = d.geometry(q.window)
    if 'ABOVE' in d.state(q.window):
        raise Failure('on top before the command')
    d.keys('alt+o', 's')
    wait_for('_NET_WM_STATE_ABOVE', lambda: '_NET_WM_STATE_ABOVE' in d.state(q.window))
    expect('geometry', d.geometry(q.window), before)
    expect('window still there', d.windows(':  CLIP'), [q.window])  # not re-created
    expect('focus', d.run(['xdotool', 'getactivewindow']).strip(), q.window)

    # The program's own windows open above the pinned note (the modal ones
    # would otherwise wait under it, out of reach).
    for keys, title in ((('alt+o', 'n'), 'Set Clip Window Name'), (('alt+h', 'a'), 'About Quillpad'),
                        (('ctrl+f',), 'Search For...')):
        d.activate(q.window)
        d.keys(*keys)
        dialog = d.window(title)
        wait_for(title + ' above the pinned note', lambda: stacking(d).index(dialog) > stacking(d).index(q.window))
        if title != 'Search For...':
            d.activate(dialog)
            d.keys('alt+F4')
            wait_for(title + ' to close', lambda: dialog not in d.windows(title))
    search = d.window('Search For...')

    # A second copy of the program, activated, stays below the pinned note.
    d.set_clipboard('second copy')
    d.spawn([binary], cwd=d.tmp)
    other = wait_for('the second note', lambda: ([w for w in d.windows(':  CLIP') if w != q.window] or [None])[0])
    d.activate(other)
    order = stacking(d)
    if order.index(q.window) < order.index(other):
        raise Failure('the pinned note went below the active window: %r' % order)

    d.activate(q.window)
    d.keys('alt+o', 's')
    wait_for('_NET_WM_STATE_ABOVE to go', lambda: 'ABOVE' not in d.state(q.window))
    wait_for('the search dialog to be let go with it', lambda: 'ABOVE' not in d.state(search))
    expect('geometry', d.geometry(q.window), before)
    d.activate(other)
    order = stacking(d)
    if order.index(q.window) > order.index(other):
        raise Failure('the released note stayed above the active window: %r' % order)


def search(d, binary):
    path = write(d, 'words.txt', b'alpha beta gamma beta')
    q = Quillpad(d, binary, path)
    d.keys('ctrl+Home', 'ctrl+f')
    dialog = d.window('Search For...')
    d.activate(dialog)
    d.type('BETA')
    d.keys('Escape')
    time.sleep(0.3)
    expect('dialog after Escape', d.windows('Search For...'), [dialog])
    d.keys('Return')
    wait_for('the search dialog to hide', lambda: not d.windows('Search For...'))
    d.activate(q.window)
    d.keys('ctrl+Insert')
    expect('selected match', d.clipboard(), 'beta')
    d.keys('shift+Right', 'ctrl+Insert')  # the selection ends at the first match + 1
    expect('selection after the first match', d.clipboard(), 'beta ')
    d.keys('ctrl+g', 'ctrl+Insert')
    expect('second match', d.clipboard(), 'beta')


def save_as(d, binary):
    d.session_bus()  # the dialog's name field is read as a screen reader reads it
    d.env['QT_LINUX_ACCESSIBILITY_ALWAYS_ON'] = '1'
    path = write(d, 'source.txt', b'first\r\nsecond')
    q = Quillpad(d, binary, path)
    target = os.path.join(d.tmp, 'saved copy.txt')
    d.keys('alt+f', 's')
    dialog = d.window('Save File From CLIP')
    d.activate(dialog)
    d.screen_reader('Quillpad', '--focused', os.path.basename(path))  # the name field has the keys
    d.keys('ctrl+a')
    d.type(target)
    d.screen_reader('Quillpad', '--focused', target)
    d.keys('Return')
    wait_for('the saved file', lambda: os.path.exists(target))
    wait_for('the dialog to close', lambda: not d.windows('Save File From CLIP'))
    with open(target, 'rb') as f:
        expect('saved bytes', f.read(), b'first\r\nsecond\r\n')
    expect('caption', d.title(q.window), path + ':  CLIP')


def close_with_search_open(d, binary):
    d.set_clipboard('closing')
    q = Quillpad(d, binary)
    d.keys('ctrl+f')
    d.window('Search For...')
    d.activate(q.window)
    d.keys('alt+F4')  # the window manager's close, as from the close box
    wait_for('the program to end', lambda: q.proc.poll() is not None)
    expect('exit status', q.proc.returncode, 0)
    expect('windows left', d.windows('Search For...', visible=False), [])


def no_display(binary):
    """Without any display the program says so in one line, also where
    QT_QPA_PLATFORM names a platform that cannot be opened (Qt would abort)."""
    env = {k: v for k, v in os.environ.items()
           if k not in ('DISPLAY', 'WAYLAND_DISPLAY', 'QT_QPA_PLATFORM')}
    fails_in_one_line(binary, env, 'no display')
    runtime = tempfile.mkdtemp(prefix='quillpad-e2e-runtime-')  # where no compositor listens
    try:
        env['XDG_RUNTIME_DIR'] = runtime
        fails_in_one_line(binary, dict(env, QT_QPA_PLATFORM='xcb'),
                          'QT_QPA_PLATFORM=xcb cannot be opened: no X server: DISPLAY is not set')
        fails_in_one_line(binary, dict(env, QT_QPA_PLATFORM='wayland'),
                          'QT_QPA_PLATFORM=wayland cannot be opened: no Wayland compositor answers')
    finally:
        shutil.rmtree(runtime, ignore_errors=True)


def fails_in_one_line(binary, env, wanted):
    """The program, started where it cannot open a display, ends at once and
    says why in one line."""
    result = subprocess.run([binary], env=env, capture_output=True, text=True, timeout=WAIT)
    expect('exit status', result.returncode, 1)
    lines = result.stderr.strip().splitlines()
    expect('lines said', len(lines), 1)
    if wanted not in lines[0]:
        raise Failure('said %r' % lines[0])


def screen_reader(d, binary):
    """A screen reader's client reads the text area's text and caret over AT-SPI."""
    d.session_bus()
    d.env['QT_LINUX_ACCESSIBILITY_ALWAYS_ON'] = '1'
    path = write(d, 'read me.txt', 'first line\nsecond l\u00ecne\n'.encode('utf-8'))
    q = Quillpad(d, binary, path)
    d.keys('ctrl+Home', 'Down', 'Right', 'Right')
    seen = d.screen_reader('Quillpad')
    expect('text read', seen['text'], 'first line\nsecond l\u00ecne\n')
    expect('caret read', seen['caret'], 13)
    expect('program still running', q.proc.poll(), None)


def typing_in_a_long_line(d, binary):
    """Typing at the end of a one-megabyte line keeps up with the keyboard,
    and the note takes no processor time once it is done."""
    path = write(d, 'long.txt', b'word ' * (1 << 20 // 5))
    q = Quillpad(d, binary, path)
    d.keys('ctrl+End')
    typed = 'keeping pace with the keys ' * 8
    d.run(['xdotool', 'type', '--delay', '10', typed], check=False)
    # Every key is in, at most the usual wait after the last one.
    d.keys('ctrl+shift+Home', 'ctrl+Insert', 'ctrl+End')
    text = wait_for('the typed text', lambda: (d.clipboard() or '').endswith(typed) and d.clipboard())
    expect('length', len(text), (1 << 20 // 5) * 5 + len(typed))
    time.sleep(1)
    before = cpu_seconds(q.proc.pid)
    time.sleep(3)
    used = (cpu_seconds(q.proc.pid) - before) / 3
    if used > 0.05:
        raise Failure('the note used %.1f%% of a core at rest' % (used * 100))


def primary_selection(d, binary):
    """Selecting sets the X11 primary selection; the middle button pastes it."""
    path = write(d, 'primary.txt', b'alpha beta gamma')
    q = Quillpad(d, binary, path)
    d.keys('ctrl+Home', 'ctrl+shift+Right')
    wait_for('the primary selection', lambda: d.run(['xclip', '-selection', 'primary', '-o'],
                                                    check=False) == 'alpha ')
    proc = subprocess.Popen(['xclip', '-selection', 'primary', '-i'], env=d.env, stdin=subprocess.PIPE,
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    proc.communicate(b'XY', timeout=WAIT)
    # The middle button at the very start of the text.
    d.run(['xdotool', 'mousemove', '--window', q.window, '5', '30', 'click', '2'])
    expect('note text', q.text(), 'XYalpha beta gamma')
    # All of it selected (as reading it just did), then a fresh snapshot: the
    # note still holds the primary selection, and it still gives what was selected.
    d.set_clipboard('snapshot')
    d.keys('alt+o', 'g')
    expect('primary selection after Get New Clip Text',
           d.run(['xclip', '-selection', 'primary', '-o'], check=False), 'XYalpha beta gamma')


def message_box(d, note):
    """The message box over the note: a second window with the note's title."""
    return wait_for('a message box', lambda: ([w for w in d.windows(':  CLIP') if w != note] or [None])[0])


def message_after_progress(d, note):
    """The message box that follows a wait with progress: the second window
    with the note's title that is not the progress window, which shows first."""
    progress = message_box(d, note)
    return wait_for('a message after the progress',
                    lambda: ([w for w in d.windows(':  CLIP') if w not in (note, progress)] or [None])[0])


def unanswered_clipboard(d, binary):
    """A clipboard whose holder never answers: the note waits about two
    seconds (with progress past half a second), says so once, and keeps its
    text."""
    path = write(d, 'kept.txt', b'kept text')
    q = Quillpad(d, binary, path)
    for command in (('alt+o', 'g'), ('shift+Insert',)):  # Get New Clip Text, Paste
        d.silent_clipboard_owner()
        d.activate(q.window)
        d.keys(*command)
        box = message_after_progress(d, q.window)  # the wait is bounded: the message comes
        d.activate(box)
        d.keys('Return')
        wait_for('the message box to close', lambda: not d.windows(':  CLIP') or d.windows(':  CLIP') == [q.window])
        expect('note text after %s' % (command,), q.text(), 'kept text')

    # At start-up: an empty note, and the same message.
    d.silent_clipboard_owner()
    d.spawn([binary], cwd=d.tmp)
    wait_for('the second note', lambda: ([w for w in d.windows(':  CLIP')
                                          if w != q.window and re.fullmatch(r'\d\d:\d\d:\d\d:  CLIP', d.title(w))]
                                         or [None])[0])
    wait_for('its message', lambda: len(d.windows(':  CLIP')) == 3)


def odd_clipboard_owners(d, binary):
    """Owners of the clipboard that answer wrongly: with something other than
    text, or with parts that never stop. The note says so within seconds,
    keeps its text, and takes no more memory than it may (here it runs with
    300 MB for its data); Cancel in the progress ends a transfer at once."""
    path = write(d, 'kept.txt', b'kept text')
    q = Quillpad(d, binary, path, data_limit=300 << 20)

    def others():
        return [w for w in d.windows(':  CLIP') if w != q.window]

    def answer(box):
        d.activate(box)
        d.keys('Return')
        wait_for('the message box to close', lambda: box not in d.windows(':  CLIP'))

    d.clipboard_owner('odd_owner.py', 'wrong-type')
    d.activate(q.window)
    d.keys('alt+o', 'g')
    answer(message_box(d, q.window))
    expect('note text after a wrong type', q.text(), 'kept text')

    # Parts for ever: the progress shows, then the transfer is stopped where
    # its text would no longer fit, with one message.
    d.clipboard_owner('odd_owner.py', 'endless')
    d.activate(q.window)
    d.keys('alt+o', 'g')
    progress = wait_for('the progress', lambda: (others() or [None])[0])
    box = wait_for('the message', lambda: ([w for w in others() if w != progress] or [None])[0], timeout=30)
    expect('program running', q.proc.poll(), None)
    answer(box)
    expect('note text after an endless transfer', q.text(), 'kept text')

    # And Cancel ends it at once, saying nothing.
    d.clipboard_owner('odd_owner.py', 'endless')
    d.activate(q.window)
    d.keys('alt+o', 'g')
    progress = wait_for('the progress', lambda: (others() or [None])[0])
    d.activate(progress)
    d.keys('Escape')
    wait_for('the progress to close', lambda: not others())
    time.sleep(1)
    expect('windows after Cancel', others(), [])
    expect('note text after Cancel', q.text(), 'kept text')


def print_then_exit(d, binary):
    """Print, then Exit: the program ends cleanly."""
    jobs = d.print_server()
    path = write(d, 'print me.txt', b'to the printer')
    q = Quillpad(d, binary, path)
    d.keys('alt+f', 'p')
    box = message_box(d, q.window)  # the report
    wait_for('the job at the printer', lambda: [f for f in os.listdir(jobs) if f.endswith('.out')])
    d.activate(box)
    d.keys('Return')
    wait_for('the message box to close', lambda: d.windows(':  CLIP') == [q.window])
    d.activate(q.window)
    d.keys('alt+f', 'x')
    wait_for('the program to end', lambda: q.proc.poll() is not None)
    expect('exit status', q.proc.returncode, 0)


def print_through_cups(d, binary):
    """Print on a real CUPS queue: the report names the queue, and the job
    that reaches the printer holds the text."""
    jobs = d.print_server()
    d.session_bus()  # the report is read as a screen reader reads it
    d.env['QT_LINUX_ACCESSIBILITY_ALWAYS_ON'] = '1'
    path = write(d, 'printed.txt', b'Printed through CUPS\nsecond line of the note')
    q = Quillpad(d, binary, path)
    d.keys('alt+f', 'p')
    message_box(d, q.window)
    d.screen_reader('Quillpad', '--labels', 'Report printed on NotePrinter.')
    job = wait_for('the job at the printer', lambda: [f for f in os.listdir(jobs) if f.endswith('.out')])
    text = d.run(['pdftotext', '-layout', os.path.join(jobs, job[0]), '-'])
    if 'Printed through CUPS' not in text or 'second line of the note' not in text:
        raise Failure('the printed job held %r' % text[:200])

    # A queue that takes no jobs: the server's reason is said, not a report.
    d.run([system_tool('cupsreject'), 'NotePrinter'])
    box = message_box(d, q.window)
    d.activate(box)
    d.keys('Return')
    wait_for('the report to close', lambda: box not in d.windows(':  CLIP'))
    d.activate(q.window)
    d.keys('alt+f', 'p')
    message_box(d, q.window)
    d.screen_reader('Quillpad', '--labels',
                    'The print job failed on NotePrinter: Destination "NotePrinter" is not accepting jobs.')
    expect('jobs at the printer', len([f for f in os.listdir(jobs) if f.endswith('.out')]), 1)


def print_cancelled(d, binary):
    """Cancel in the progress of a long print: the print server never takes
    the job, nothing reaches the printer and nothing is reported as printed;
    the note's close box in the progress ends the program."""
    jobs = d.print_server()
    path = write(d, 'long.txt', b''.join(b'line %d of a long note to print\n' % i for i in range(300000)))
    q = Quillpad(d, binary, path)
    d.keys('alt+f', 'p')
    progress = message_box(d, q.window)
    d.activate(progress)
    d.keys('Escape')
    wait_for('the progress to close', lambda: d.windows(':  CLIP') == [q.window])
    time.sleep(2)  # a report, or a job at the printer, would be there by now
    expect('windows', d.windows(':  CLIP'), [q.window])
    expect('jobs at the printer', [f for f in os.listdir(jobs) if not f.startswith('.')], [])
    for which in ('completed', 'not-completed'):
        expect('%s jobs at the print server' % which, d.run(['lpstat', '-W', which, '-o']), '')
    expect('program running', q.proc.poll(), None)

    # The note's close box while the progress shows ends the program there
    # and then, and nothing is printed.
    d.keys('alt+f', 'p')
    message_box(d, q.window)
    d.activate(q.window)
    d.keys('alt+F4')
    wait_for('the program to end', lambda: q.proc.poll() is not None)
    expect('exit status', q.proc.returncode, 0)
    expect('jobs at the printer', [f for f in os.listdir(jobs) if not f.startswith('.')], [])


def file_dialogs_keep_nothing(d, binary):
    """Open and Save As list folders without opening what is in them (a FIFO,
    and /proc, whose kmsg blocks a reader), and keep nothing for the next run:
    the scenario's own home and configuration folders gain nothing."""
    os.mkfifo(os.path.join(d.tmp, 'a pipe'))
    path = write(d, 'note.txt', b'note')
    before = sorted(os.listdir(d.tmp)) + sorted(os.listdir(d.env['XDG_CONFIG_HOME']))
    q = Quillpad(d, binary, path)
    for keys, title in ((('alt+f', 'o'), 'Read File Into CLIP'), (('alt+f', 's'), 'Save File From CLIP')):
        d.activate(q.window)
        d.keys(*keys)
        dialog = d.window(title)
        d.activate(dialog)
        for folder in (d.tmp + '/', '/proc/'):
            d.keys('ctrl+a')
            d.type(folder)
            d.keys('Return')  # into that folder
            time.sleep(0.5)
        # Escape closes what the name's completion shows, then the dialog.
        wait_for(title + ' to close', lambda: d.keys('Escape') or not d.windows(title))
    d.activate(q.window)
    d.keys('alt+f', 'x')
    wait_for('the program to end', lambda: q.proc.poll() is not None)
    expect('exit status', q.proc.returncode, 0)
    expect('files kept', sorted(os.listdir(d.tmp)) + sorted(os.listdir(d.env['XDG_CONFIG_HOME'])), before)


def wayland_copy(d, env, text):
    """Another Wayland program that takes the clipboard with text and keeps
    it; returned once the clipboard holds the text. mutter refuses (and
    wl-copy gives up) where the compositor had not yet given it the focus:
    it is started again then, for as long as the bound allows."""
    deadline = time.monotonic() + 3 * WAIT
    while time.monotonic() < deadline:
        # With SIGPIPE ignored, as the toolkits programs are built on ignore
        # it: a reader that gave up on it closed its pipe, which would
        # otherwise end wl-copy as it writes there once resumed.
        proc = subprocess.Popen(['wl-copy', '--foreground', text], env=env, stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL, restore_signals=False)
        d.procs.append(proc)
        held = wait_for('the copied text', lambda: proc.poll() is not None or wayland_paste(env) == text)
        if proc.poll() is None and held:
            return proc
    raise Failure('the clipboard did not take %r' % text)


def wayland_paste(env):
    result = subprocess.run(['wl-paste', '--no-newline'], env=env, capture_output=True, timeout=WAIT)
    return result.stdout.decode('utf-8') if result.returncode == 0 else None


NO_ANSWER = 'The program holding the clipboard did not answer, so its text could not be taken.'


class WaylandNote:
    """A note on a Wayland compositor, driven by keys sent to the
    compositor's window and read through the clipboard and as a screen
    reader reads it. What the note tells the compositor is logged, so a
    scenario waits for the focus or an offer instead of a time."""

    def __init__(self, d, binary, env, *args, focus_logged=True):
        self.d = d
        d.ensure_session_bus()  # messages are read as a screen reader reads them
        self.env = dict(env, DBUS_SESSION_BUS_ADDRESS=d.env['DBUS_SESSION_BUS_ADDRESS'],
                        QT_LINUX_ACCESSIBILITY_ALWAYS_ON='1', WAYLAND_DEBUG='1')
        self.said = os.path.join(d.tmp, 'wayland-%d.log' % len(d.procs))
        with open(self.said, 'w') as log:
            self.proc = subprocess.Popen([binary] + list(args), env=self.env, cwd=d.tmp, stdout=subprocess.DEVNULL,
                                         stderr=log)
        d.procs.append(self.proc)
        if not focus_logged:
            return  # on X, through Xwayland
        # Its own surface, as the compositor first gives it the keys.
        self.surface = wait_for('the note to have the focus', lambda: (re.findall(
            r'wl_keyboard@\d+\.enter\(\d+, (wl_surface@\d+)', self.said_since(0)) or [None])[0])

    def said_since(self, offset):
        with open(self.said, errors='replace') as f:
            f.seek(offset)
            return f.read()

    def mark(self):
        return os.path.getsize(self.said)

    def focused_again(self, offset):
        """After another window took the keyboard focus for a moment (wl-copy
        and wl-paste do, to reach the clipboard; so does a message box), wait
        until the note has it again: the compositor tells it so."""
        def back():
            lines = [l for l in self.said_since(offset).splitlines()
                     if re.search(r'wl_keyboard@\d+\.(enter|leave)\(', l)]
            return not lines or ('.enter(' in lines[-1] and self.surface in lines[-1])
        wait_for('the note to have the focus again', back)

    def paste(self):
        offset = self.mark()
        text = wayland_paste(self.env)
        self.focused_again(offset)
        return text

    def copied_text(self, mark):
        """The note's whole text, taken through the clipboard, with a mark
        typed at its end so that its copy cannot be taken for an earlier one."""
        self.d.keys('ctrl+End', mark, 'ctrl+a', 'ctrl+Insert')
        return wait_for('the note\'s copy', lambda: (self.paste() or '').endswith(mark) and self.paste())

    def screen_reader(self, *args):
        """What a screen reader's client reads of this note (of its process)."""
        reader_env = dict(self.d.env, DBUS_SESSION_BUS_ADDRESS=self.env['DBUS_SESSION_BUS_ADDRESS'])
        saved, self.d.env = self.d.env, reader_env
        try:
            return self.d.screen_reader('Quillpad', '--pid', str(self.proc.pid), *args)
        finally:
            self.d.env = saved

    def read_text(self):
        """The note's text as a screen reader reads it (the clipboard untouched)."""
        return self.screen_reader()['text']

    def labels(self, text):
        self.screen_reader('--labels', text)

    def press(self, item):
        """Chooses a menu item as a screen reader's user does, whatever has the focus."""
        self.screen_reader('--press', item)

    def menu(self, opener, item):
        """Opens a menu with its key and chooses an item, once the menu's
        popup is on the screen: the compositor placed it and the note drew
        it (as the note tells the compositor)."""
        offset = self.mark()

        def popup_shown():
            said = self.said_since(offset)
            popup = re.search(r'(xdg_surface@\d+)\.get_popup\(new id (xdg_popup@\d+)', said)
            if not popup:
                return False
            surfaces = dict(re.findall(r'get_xdg_surface\(new id (xdg_surface@\d+), (wl_surface@\d+)\)',
                                       self.said_since(0)))
            configured = said.find(popup.group(2) + '.configure(')
            surface = surfaces.get(popup.group(1))
            return configured >= 0 and surface and (surface + '.commit()') in said[configured:]
        self.d.keys(opener)
        wait_for('the menu on the screen', popup_shown)
        self.d.keys(item)

    def answer_message(self):
        offset = self.mark()
        self.d.keys('Return')
        self.focused_again(offset)

    def holder(self, text, stopped):
        """Another program that takes the clipboard, stopped at once where asked."""
        offset = self.mark()
        proc = wayland_copy(self.d, {k: v for k, v in self.env.items() if k != 'WAYLAND_DEBUG'}, text)
        self.focused_again(offset)
        if stopped:
            os.kill(proc.pid, signal.SIGSTOP)
        return proc


def wayland_holder_that_stops(note, kept):
    """A holder that stops answering, asked again and again (Get New Clip Text
    twice, Paste over the selection): the note keeps its text and says so
    every time; resumed, the holder gives its text."""
    silent = note.holder('given late', stopped=True)
    for command in (lambda: note.menu('alt+o', 'g'), lambda: note.menu('alt+o', 'g'),
                    lambda: note.d.keys('ctrl+a', 'shift+Insert')):
        command()
        note.labels(NO_ANSWER)
        note.answer_message()
    expect('note text after a holder that did not answer', note.read_text(), kept)
    os.kill(silent.pid, signal.SIGCONT)
    note.menu('alt+o', 'g')
    wait_for('the resumed holder\'s text', lambda: note.read_text() == 'given late')


NO_FOCUS = ("The clipboard's text could not be taken: on this desktop only the window with the keyboard focus may "
            "read the clipboard, and the note did not get the focus in time.")


def clipboard_rows(d, binary, env, reads_without_focus):
    """On one compositor, for a note started with a file: a live holder's
    text comes with Get New Clip Text and with Paste over a selection; a
    holder that stops answering is said every time, the note kept; Get New
    Clip Text chosen while another window has the focus (as a screen
    reader's user does) takes the text where the compositor lets a program
    read without the focus, and elsewhere keeps the note and says why."""
    q = WaylandNote(d, binary, env, write(d, 'from a file.txt', b'file text'))
    q.holder('live text', stopped=False)
    q.menu('alt+o', 'g')
    wait_for('the live holder\'s text', lambda: q.read_text() == 'live text')
    q.holder('pasted over all', stopped=False)
    d.keys('ctrl+a', 'shift+Insert')
    wait_for('the pasted text', lambda: q.read_text() == 'pasted over all')
    wayland_holder_that_stops(q, 'pasted over all')  # ends with 'given late'

    q.holder('read without the focus', stopped=False)
    other = WaylandNote(d, binary, env, write(d, 'another.txt', b'has the focus'))
    q.press('Get New Clip Text')
    if reads_without_focus:
        wait_for('the text read without the focus', lambda: q.read_text() == 'read without the focus')
    else:
        q.labels(NO_FOCUS)
        expect('note text read without the focus', q.read_text(), 'given late')
    expect('programs running', (q.proc.poll(), other.proc.poll()), (None, None))


def wayland_only(d, binary):
    """On a Wayland desktop with no X server (Weston, which serves only
    Qt's own data device): the start-up snapshot is the text another
    Wayland program copied; the clipboard rows for a note started with a
    file; Stay On Top says it cannot be had; the app id is the desktop
    file's name."""
    env, weston = d.compositor()
    wayland_copy(d, env, 'copied on Wayland')
    d.activate(weston)
    q = WaylandNote(d, binary, env)
    expect('note text at start-up', q.copied_text('X'), 'copied on WaylandX')
    expect('app id', 'set_app_id("invalid.quillpad.quillpad")' in q.said_since(0), True)
    q.menu('alt+o', 's')
    q.labels('Stay On Top is not available here: on a Wayland desktop no program may keep its window above '
             'the others.')
    q.answer_message()
    clipboard_rows(d, binary, env, reads_without_focus=False)


def mutter_wayland(d, binary):
    """On GNOME's compositor, Wayland only, which tells a data device made
    after the focus came nothing and sends no new offer when the focus
    comes back from the note's own message: the start-up snapshot; the
    clipboard rows for a note started with a file; a note started while a
    holder does not answer keeps painting (its progress shows) and says so."""
    env, window = d.mutter()
    wayland_copy(d, env, 'copied on mutter')
    q = WaylandNote(d, binary, env)
    expect('note text at start-up', q.copied_text('X'), 'copied on mutterX')

    # A drop from another program, which mutter hands the note's own data
    # device (it keeps only a program's newest) and the note takes in as Qt's would.
    wait_for('the note on the screen', lambda: d.colours(window, YELLOW)[YELLOW])
    editor = d.spawn([REFERENCE_EDITOR, 'dragged in'], env=env)
    wait_for('the editor on the screen', lambda: d.colours(window, CYAN)[CYAN])
    d.keys('ctrl+a')
    seen = d.colours(window, CYAN, YELLOW)
    source, target = seen[CYAN]['box'], seen[YELLOW]['box']
    d.drag((source[0] + 6, source[1] + 8), (target[0] + 20, target[3] - 40))  # below the note's text
    wait_for('the dropped text', lambda: q.read_text() == 'copied on mutterXdragged in')
    editor.kill()
    editor.wait()

    clipboard_rows(d, binary, env, reads_without_focus=False)

    q.holder('never given', stopped=True)
    late = WaylandNote(d, binary, env)
    late.labels("Taking the clipboard's text...")  # painted while it waits
    late.labels(NO_ANSWER)
    expect('programs running', (q.proc.poll(), late.proc.poll()), (None, None))


def cpu_hogs(d, count=2):
    """Processes that keep every processor busy, as other work on the machine does."""
    return [d.spawn([sys.executable, '-c', 'while True: pass']) for _ in range(count)]


def kwin_wayland_and_xwayland(d, binary):
    """On KDE's compositor, which offers data control: on Wayland, the
    start-up snapshot and the clipboard rows for a note started with a file,
    read even without the focus; through its Xwayland, started as a Plasma
    Wayland session starts programs (DISPLAY and WAYLAND_DISPLAY both set),
    with every processor kept busy: the start-up snapshot is the text a
    Wayland program copied, though KWin hands the clipboard to X only while
    an X window is active."""
    env, window, display = d.kwin()
    wayland_copy(d, env, 'copied on KWin')
    q = WaylandNote(d, binary, env)
    expect('note text at start-up', q.read_text(), 'copied on KWin')
    clipboard_rows(d, binary, env, reads_without_focus=True)

    wayland_copy(d, env, 'copied for Xwayland')
    hogs = cpu_hogs(d)
    x = WaylandNote(d, binary, dict(env, DISPLAY=display), focus_logged=False)
    expect('note text at start-up through Xwayland', x.read_text(), 'copied for Xwayland')
    for hog in hogs:
        hog.kill()
        hog.wait()
    expect('program running', x.proc.poll(), None)


def stale_display(d, binary):
    """DISPLAY names no X server: beside a Wayland compositor the program runs
    on Wayland; alone it says so in one line, without aborting."""
    env, weston = d.compositor()
    owner = subprocess.Popen(['wl-copy', '--foreground', 'beside a stale DISPLAY'], env=env,
                             stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    d.procs.append(owner)
    wait_for('the copied text', lambda: wayland_paste(env) == 'beside a stale DISPLAY')
    stale = dict(env, DISPLAY=':97')
    q = subprocess.Popen([binary], env=stale, cwd=d.tmp, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    d.procs.append(q)
    d.activate(weston)
    time.sleep(1)
    d.keys('ctrl+End', 'X', 'ctrl+a', 'ctrl+Insert')  # the mark tells the note's copy apart
    wait_for('the note\'s text', lambda: wayland_paste(env) == 'beside a stale DISPLAYX')
    expect('program running', q.poll(), None)

    alone = {k: v for k, v in stale.items() if k != 'WAYLAND_DISPLAY'}
    fails_in_one_line(binary, alone, 'no X server answers on DISPLAY=:97')


class TypedInto:
    """A program an input method types into, the note or Qt's own editor,
    read as a screen reader reads it (by its process)."""

    def __init__(self, d, argv, env, application, title):
        self.d, self.application = d, application
        self.env = dict(env, DBUS_SESSION_BUS_ADDRESS=d.env['DBUS_SESSION_BUS_ADDRESS'],
                        QT_LINUX_ACCESSIBILITY_ALWAYS_ON='1')
        self.said = os.path.join(d.tmp, '%s-%d.log' % (application, len(d.procs)))
        ibus_since = os.path.getsize(d.ibus_bus) if env.get('QT_IM_MODULE') == 'ibus' else None
        self.proc = subprocess.Popen(argv, env=self.env, cwd=d.tmp, stdout=subprocess.DEVNULL, stderr=open(self.said, 'w'))
        d.procs.append(self.proc)
        self.window = wait_for('the %s window' % application, lambda: (d.run(
            ['xdotool', 'search', '--onlyvisible', '--pid', str(self.proc.pid), '--name', title],
            check=False).split() or [None])[0])
        d.activate(self.window)
        wait_for('the %s to be read' % application, lambda: self.text() is not None)
        if ibus_since is not None:
            # Keys reach ibus only once the program's input context there has
            # the focus; before, they go straight to the program.
            def focused_in_ibus():
                with open(d.ibus_bus, errors='replace') as f:
                    f.seek(ibus_since)
                    return re.search(r'path=/org/freedesktop/IBus/InputContext_\d+; interface=org.freedesktop.IBus.InputContext; member=FocusIn', f.read())
            wait_for('the %s\'s input context to have the focus in ibus' % application, focused_in_ibus)

    def read(self, *args):
        saved, self.d.env = self.d.env, dict(self.d.env, DBUS_SESSION_BUS_ADDRESS=self.env['DBUS_SESSION_BUS_ADDRESS'])
        try:
            return self.d.screen_reader(self.application, '--pid', str(self.proc.pid), *args)
        finally:
            self.d.env = saved

    def text(self):
        return self.read()['text']

    def caret(self):
        """Where the caret stands at the end of the text: the last character's
        right edge and its row's bottom, on the screen."""
        x, y, width, height = self.read('--extents', str(len(self.text()) - 1))['extents']
        return x + width, y + height

    def keys_answered(self):
        """How many key events ibus has answered the program for (a press and
        a release each), as Qt's input method support logs them: later, or at
        once where the answer had come by the time it looked."""
        with open(self.said, errors='replace') as f:
            return len(re.findall(r'filterEvent(?:Finished)? return', f.read()))

    def through_ibus(self, *keys, typed='', composed=None):
        """Sends keys (and types text) and waits until ibus has answered the
        program for each; where ibus is to end up composing composed (a text
        and its caret), until it has, and the program has told ibus where the
        caret is since: that caret rectangle."""
        answered, since = self.keys_answered(), os.path.getsize(self.d.ibus_bus)
        if keys:
            self.d.keys(*keys)
        if typed:
            self.d.type(typed)
        count = 2 * (len(keys) + len(typed))
        wait_for('ibus to answer the keys', lambda: self.keys_answered() >= answered + count)
        if composed is None:
            return None

        def told_after_composing():
            told = self.d.caret_told_to_ibus(since)
            last = max([i for i, (kind, what) in enumerate(told) if kind == 'preedit'], default=-1)
            if last < 0 or told[last][1] != composed:
                return None
            carets = [rect for kind, rect in told[last + 1:] if kind == 'caret']
            return carets and carets[-1]
        return wait_for('ibus to compose %r and the caret told to it' % (composed,), told_after_composing)

    def changed_text(self, before):
        return wait_for('the %s\'s text to change' % self.application,
                        lambda: (lambda now: now != before and now)(self.text()))

    def close(self):
        self.proc.kill()
        self.proc.wait()


def input_methods(d, binary):
    """Real input methods type into the note as into Qt's own editor, each
    sequence typed into both and the texts compared: ibus with libpinyin
    (words chosen from the candidates, then one Undo, which takes back the
    last word alone), its candidate window by the caret as the editor has it
    (a long composition, the caret moved inside it, the window moved); and
    Qt's compose input context with dead keys (two accented letters, then
    one Undo, which takes back the last)."""
    path = write(d, 'typed into.txt', b'abc')
    programs = (('Quillpad', [binary, path], ':  CLIP'), ('ReferenceEditor', [REFERENCE_EDITOR, 'abc'], 'Reference Editor'))
    env = d.ibus('libpinyin')
    seen = {}
    for application, argv, title in programs:
        p = TypedInto(d, argv, env, application, title)
        d.keys('ctrl+End')
        for syllables in ('nihao', 'wo', 'ai'):
            p.through_ibus(typed=syllables)
            p.through_ibus('1')
        typed = wait_for('the third word', lambda: (lambda t: len(t) == 7 and t)(p.text()))
        d.keys('ctrl+z')
        undone = p.changed_text(typed)

        # Where the caret told to ibus stands from the caret before the
        # composition: as the composition grows, as its caret goes back in
        # it, and after the window moved.
        places = []
        caret = p.caret()
        for keys, typed_now, composed in (((), 'nihaoshijie', ('\u4f60\u597d\u4e16\u754c', 4)),
                                          (('Left', 'Left', 'Left'), '', ('\u4f60\u597d\u4e16\u754c', 3))):
            x, y, width, height = p.through_ibus(*keys, typed=typed_now, composed=composed)
            places.append((x - caret[0], y + height - caret[1]))
        p.through_ibus('Escape')
        x, y, _, _ = d.frame(p.window)
        d.run(['xdotool', 'windowmove', '--sync', p.window, str(x + 40), str(y + 30)])
        caret = wait_for('the caret to move with the window', lambda: (lambda c: c != caret and c)(p.caret()))
        x, y, width, height = p.through_ibus(typed='ni', composed=('\u4f60', 1))
        places.append((x - caret[0], y + height - caret[1]))
        p.through_ibus('Escape')
        seen[application] = (typed, undone, places)
        p.close()
    note, reference = seen['Quillpad'], seen['ReferenceEditor']
    expect('text typed with ibus', note[0], reference[0])
    expect('text after one Undo', note[1], reference[1])
    # Beside the editor's, and never above the bottom of the row composed
    # (where the candidates would cover it).
    for what, ours, theirs in zip(('a long composition', 'its caret moved back', 'the window moved'), note[2], reference[2]):
        if abs(ours[0] - theirs[0]) > 4 or abs(ours[1] - theirs[1]) > 6 or ours[1] < 0:
            raise Failure('for %s the caret told to ibus stands at %r from the caret, the editor\'s at %r'
                          % (what, ours, theirs))

    # Dead keys, through Qt's compose input context.
    d.run(['setxkbmap', '-layout', 'us', '-variant', 'intl'])
    env = dict(d.env, QT_IM_MODULE='compose', LANG='C.UTF-8', LC_ALL='C.UTF-8')
    for application, argv, title in programs:
        p = TypedInto(d, argv, env, application, title)
        d.keys('ctrl+End', 'dead_acute', 'e', 'dead_acute', 'o')
        typed = wait_for('the accented letters', lambda: (lambda t: t.endswith('\u00f3') and t)(p.text()))
        d.keys('ctrl+z')
        seen[application] = (typed, p.changed_text(typed))
        p.close()
    expect('text typed with dead keys', seen['Quillpad'], seen['ReferenceEditor'])


def dialogs_offer_only_the_close_box(d, binary):
    """Search For..., Set Clip Window Name and About: their frames ask for no
    minimise and no maximise button (Motif hints, as window managers read
    them), none can be maximised or resized, and a window manager that
    minimises one anyway (openbox offers it for every dialog) sees it back."""
    path = write(d, 'dialogs.txt', b'note')
    q = Quillpad(d, binary, path)
    for keys, title in ((('ctrl+f',), 'Search For...'), (('alt+o', 'n'), 'Set Clip Window Name'),
                        (('alt+h', 'a'), 'About Quillpad')):
        d.activate(q.window)
        d.keys(*keys)
        dialog = d.window(title)
        hints = d.run(['xprop', '-id', dialog, '_MOTIF_WM_HINTS']).split('=')[-1].split(',')
        flags, functions, decorations = (int(v, 16) for v in hints[:3])
        if not flags & 1 or functions & 0x18 or functions & 0x1:  # minimise 0x8, maximise 0x10, all 0x1
            raise Failure('%s asks for functions %#x' % (title, functions))
        if not flags & 2 or decorations & 0x60 or decorations & 0x1:  # minimise 0x20, maximise 0x40
            raise Failure('%s asks for decorations %#x' % (title, decorations))
        allowed = d.run(['xprop', '-id', dialog, '_NET_WM_ALLOWED_ACTIONS'])
        for action in ('MAXIMIZE', 'RESIZE'):
            if action in allowed:
                raise Failure('%s may be %s: %s' % (title, action, allowed))
        d.run(['xdotool', 'windowminimize', dialog], check=False)
        wait_for(title + ' back after minimising', lambda: dialog in d.windows(title))
        d.activate(dialog)
        d.keys('alt+F4')
        wait_for(title + ' to close', lambda: dialog not in d.windows(title))


DIALOGS = ((('ctrl+f',), 'Search For...'), (('alt+o', 'n'), 'Set Clip Window Name'), (('alt+h', 'a'), 'About Quillpad'))


def ask_window_manager(d, window, message, *data):
    """Sends a request about window to the window manager, as a task bar or
    a pager does (a client message to the root window)."""
    script = ('import sys\nfrom Xlib import X, display, protocol\n'
              'dpy = display.Display(); atom = dpy.intern_atom\n'
              'window = dpy.create_resource_object("window", int(sys.argv[1]))\n'
              'values = [int(v) if v.isdigit() else atom(v) for v in sys.argv[3:]]\n'
              'event = protocol.event.ClientMessage(window=window, client_type=atom(sys.argv[2]),'
              ' data=(32, (values + [0] * 5)[:5]))\n'
              'dpy.screen().root.send_event(event, event_mask=X.SubstructureRedirectMask | X.SubstructureNotifyMask)\n'
              'dpy.flush()\n')
    d.run([d.python_with('Xlib'), '-c', script, window, message] + [str(v) for v in data])


def fluxbox_dialogs(d, binary):
    """Under fluxbox, which follows a request to maximise any window: a
    maximise request on each fixed-size dialog leaves it as it was; a name
    pasted in two lines gives a caption of one."""
    q = Quillpad(d, binary, write(d, 'fluxbox.txt', b'note'))
    for keys, title in DIALOGS:
        d.activate(q.window)
        d.keys(*keys)
        dialog = d.window(title)
        before = d.frame(dialog)
        spy = d.spawn(['xprop', '-spy', '-id', dialog, '_NET_WM_STATE'], stdout=subprocess.PIPE, text=True)
        ask_window_manager(d, dialog, '_NET_WM_STATE', 1, '_NET_WM_STATE_MAXIMIZED_VERT', '_NET_WM_STATE_MAXIMIZED_HORZ', 1)
        seen = []
        wait_for(title + ' maximised by fluxbox', lambda: seen.append(spy.stdout.readline()) or 'MAXIMIZED' in seen[-1])
        wait_for(title + ' back as it was', lambda: d.frame(dialog) == before and 'MAXIMIZED' not in d.state(dialog))
        spy.kill()
        spy.wait()
        if title == 'Search For...':
            d.activate(q.window)
            continue
        d.activate(dialog)
        d.keys('alt+F4')
        wait_for(title + ' to close', lambda: dialog not in d.windows(title))

    d.set_clipboard('first line\nsecond line')
    d.activate(q.window)
    d.keys('alt+o', 'n')
    dialog = d.window('Set Clip Window Name')
    d.activate(dialog)
    d.keys('End', 'shift+Home', 'BackSpace', 'ctrl+v', 'Return')  # the field emptied, as typing may add to it
    wait_for('the caption of one line', lambda: d.title(q.window) == 'first line second line:  CLIP')


def kwin_dialogs(d, binary):
    """Under kwin_x11: a dialog minimised with the window manager's own
    command is put back by the program, active and with the keyboard, so the
    name typed next reaches it."""
    q = Quillpad(d, binary, write(d, 'kwin.txt', b'note'))
    for keys, title in DIALOGS[1:]:
        d.activate(q.window)
        d.keys(*keys)
        dialog = d.window(title)
        d.activate(dialog)
        d.run(['xdotool', 'windowminimize', dialog])
        wait_for(title + ' back and active', lambda: d.run(['xdotool', 'getactivewindow'], check=False).strip() == dialog
                 and 'HIDDEN' not in d.state(dialog))
        if title == 'Set Clip Window Name':
            d.keys('End', 'shift+Home', 'BackSpace')  # the field emptied, as typing may add to it
            d.type('typed after')
            d.keys('Return')
            wait_for('the name typed after', lambda: d.title(q.window) == 'typed after:  CLIP')
        else:
            d.keys('alt+F4')
            wait_for(title + ' to close', lambda: dialog not in d.windows(title))


def caption_when_first_mapped(d, binary):
    """As a window manager first sees the note on X11, it carries its
    caption: the file's name, or the time of the clipboard's snapshot."""
    path = write(d, 'mapped.txt', b'note')
    for args, caption in (([path], re.escape(path) + ':  CLIP'), ([], r'\d\d:\d\d:\d\d:  CLIP')):
        if not args:
            d.set_clipboard('snapshot')
        start = len(open(d.first_mapped).read().splitlines())
        q = d.spawn([binary] + args, cwd=d.tmp)
        mapped = wait_for('the note mapped', lambda: [json.loads(line) for line in open(d.first_mapped).read().splitlines()[start:]
                                                      if json.loads(line)['caption'] and 'CLIP' in json.loads(line)['caption']
                                                      or json.loads(line)['caption'] == 'Quillpad 1.0.11'])
        if not re.fullmatch(caption, mapped[0]['caption']):
            raise Failure('first mapped as %r' % mapped[0]['caption'])
        q.kill()
        q.wait()


def fifo_on_the_command_line(d, binary):
    """A FIFO named on the command line is refused at once, without blocking."""
    path = os.path.join(d.tmp, 'a pipe')
    os.mkfifo(path)
    q = Quillpad(d, binary, path, activate=False)  # its message box takes the focus
    box = message_box(d, q.window)
    expect('program running', q.proc.poll(), None)
    # Over the note, not wherever the note was before it was placed.
    note, shown = d.frame(q.window), d.frame(box)
    middle = (shown[0] + shown[2] // 2, shown[1] + shown[3] // 2)
    if not (note[0] <= middle[0] <= note[0] + note[2] and note[1] <= middle[1] <= note[1] + note[3]):
        raise Failure('the message box %r is not over the note %r' % (shown, note))


SCENARIOS = {f.__name__: f for f in (clipboard_start, file_with_blank, copy_selection, paste,
                                     stay_on_top, search, save_as, close_with_search_open,
                                     screen_reader, typing_in_a_long_line, primary_selection,
                                     unanswered_clipboard, odd_clipboard_owners, print_then_exit,
                                     fifo_on_the_command_line,
                                     print_through_cups, print_cancelled, file_dialogs_keep_nothing,
                                     dialogs_offer_only_the_close_box, wayland_only, stale_display,
                                     mutter_wayland, kwin_wayland_and_xwayland, input_methods,
                                     fluxbox_dialogs, kwin_dialogs, caption_when_first_mapped)}
# The window manager each scenario runs under, where it is not openbox.
WINDOW_MANAGERS = {'fluxbox_dialogs': 'fluxbox', 'kwin_dialogs': 'kwin', 'caption_when_first_mapped': 'recorder'}


def main():
    binary, name = sys.argv[1], sys.argv[2]
    if name == 'no_display':
        try:
            no_display(os.path.abspath(binary))
        except Failure as failure:
            print('FAIL %s: %s' % (name, failure))
            return 1
        print('PASS', name)
        return 0
    for tool in ('Xvfb', 'openbox', 'xdotool', 'xclip', 'xprop'):
        if not shutil.which(tool):
            print('missing %s: install xvfb openbox xdotool xclip x11-utils' % tool)
            return 1
    desktop = None
    # A scenario that ends by a signal (a test's time-out) still cleans up.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit('FAIL %s: stopped by a signal' % name))
    machine_jobs = machine_print_jobs()
    try:
        desktop = Desktop(WINDOW_MANAGERS.get(name, 'openbox'))
        SCENARIOS[name](desktop, os.path.abspath(binary))
        if machine_jobs is not None and machine_print_jobs() != machine_jobs:
            raise Failure("the machine's own print queue received a job")
    except Failure as failure:
        print('FAIL %s: %s' % (name, failure))
        return 1
    finally:
        if desktop:
            desktop.close()
    print('PASS', name)
    return 0


if __name__ == '__main__':
    sys.exit(main())
