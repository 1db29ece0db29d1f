"""Drive Windows programs under Wine and answer their dialogs the way a person would.
README.md beside this file tells what Wine does that this module relies on."""

import contextlib
import os
import re
import subprocess
import tempfile
import threading
import time
from types import SimpleNamespace

DLL_OVERRIDES = "mscoree,mshtml=;winemenubuilder.exe=d"  # no Mono/Gecko prompts, no menu entries
BOX_CHANNELS = "fixme-all,trace+msgbox,trace+win"  # what start() enables: enough to read boxes
READY_MARK = ".winedriver-ready"
SETUP_VERSION = "3"  # bump when ensure() sets up prefixes differently
_TRACE_RE = re.compile(r"([0-9a-f]+):trace:(?:win:set_window_text|msgbox:(MSGBOX_OnInit)) (.*)$")
# The 32-bit Wine, or the 64-bit one (WINE, WINEARCH and WINELOADER from the build's test
# environment) where the machine cannot run 32-bit programs.
WINE = os.environ.get("WINE", "wine")
WINEARCH = os.environ.get("WINEARCH", "win32")
WINE_BUILD = os.environ.get("WINE_BUILD", "win32")  # the build that scripts/wine-build picked
_LOADER = {"WINELOADER": os.environ["WINELOADER"]} if "WINELOADER" in os.environ else {}
# The processes that a prefix's Wine starts for itself and keeps while any program runs.
_SYSTEM_RE = re.compile(r"(?i)c:\\windows\\system32\\"
                        r"(services|winedevice|plugplay|svchost|explorer|rpcss)\.exe( |$)")
_SERVER_RE = re.compile(r"\S*/wineserver\w*( |$)")
_DESKTOP_RE = re.compile(r"(?i)c:\\windows\\system32\\explorer\.exe /desktop")


class WineTestFailure(AssertionError):
    pass


def decode_debugstr(s):
    """The text of Wine's debugstr_w output (L"..."); None for (null) or a resource id."""
    m = re.match(r'L"((?:[^"\\]|\\.)*)"', s)
    return m and re.sub(r"\\([0-9a-f]{4}|.)", lambda e: chr(int(e[1], 16)) if len(e[1]) == 4
                        else {"n": "\n", "r": "\r", "t": "\t"}.get(e[1], e[1]), m[1])


class WinePrefix:
    def __init__(self, path):
        self.path = os.path.abspath(path)
        self._warm, self._keeper = False, None

    def env(self, debug_channels=None):
        env = {k: v for k, v in os.environ.items() if not k.startswith("WINE")}
        env.update(_LOADER, WINEPREFIX=self.path, WINEARCH=WINEARCH, WINEDEBUG=debug_channels or "-all",
                   WINEDLLOVERRIDES=DLL_OVERRIDES, LC_ALL="C.UTF-8")  # same code page everywhere
        return env

    def ensure(self, timeout=300):
        with contextlib.suppress(OSError), open(os.path.join(self.path, READY_MARK)) as mark, \
                open(os.path.join(self.path, ".update-timestamp")) as stamp:
            # Wine updates a prefix, showing a window, once wine.inf is newer than its stamp.
            if mark.read() == SETUP_VERSION and stamp.read().strip() in (
                    "disable", str(int(os.stat("/usr/share/wine/wine.inf").st_mtime))):
                return
        os.makedirs(os.path.dirname(self.path), exist_ok=True)
        env = self.env()
        env.pop("DISPLAY", None)  # nothing can pop up while booting
        self._tool([WINE, "wineboot", "-u"], timeout, env=env)
        # Unmanaged windows: hiding a managed one waits 2 s for a window manager.
        self._tool([WINE, "reg", "add", r"HKCU\Software\Wine\X11 Driver", "/v", "Managed",
                    "/d", "N", "/f"], timeout, env=env)
        # Game controllers through SDL: its thread wakes some 900 times a second, 3% of a CPU for
        # as long as Wine is up, and no program here has a use for them.
        self._tool([WINE, "reg", "add", r"HKLM\System\CurrentControlSet\Services\winebus", "/v",
                    "Enable SDL", "/t", "REG_DWORD", "/d", "0", "/f"], timeout, env=env)
        self.wait_idle(timeout)
        # Desktop, Documents... link to $HOME: no program under test may reach it.
        for top, dirs, _ in os.walk(os.path.join(self.path, "drive_c", "users")):
            for link in (os.path.join(top, d) for d in dirs if os.path.islink(os.path.join(top, d))):
                os.unlink(link)
                os.mkdir(link)
        with open(os.path.join(self.path, READY_MARK), "w") as f:
            f.write(SETUP_VERSION)

    def _tool(self, argv, timeout, env=None, check=True):
        self._wake()
        # Output through files: a pipe would stay open until the wineserver has gone.
        with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
            try:
                code = subprocess.run(argv, env=env or self.env(), stdin=subprocess.DEVNULL,
                                      stdout=out, stderr=err, timeout=timeout).returncode
            except subprocess.TimeoutExpired:
                self.kill()
                raise WineTestFailure(f"{' '.join(argv)} took more than {timeout} s; Wine killed")
            out.seek(0), err.seek(0)
            r = SimpleNamespace(returncode=code, stdout=out.read(), stderr=err.read())
        if check and r.returncode:
            raise WineTestFailure(f"{' '.join(argv)} exited {r.returncode}: "
                                  f"{r.stderr.decode(errors='replace')[-2000:]}")
        return r

    def processes(self):
        """Live (not zombie) processes of this prefix, as [(pid, command line)]."""
        found, needle = [], b"WINEPREFIX=" + self.path.encode()
        for pid in filter(str.isdigit, os.listdir("/proc")):
            with contextlib.suppress(OSError), open(f"/proc/{pid}/environ", "rb") as env, \
                    open(f"/proc/{pid}/stat") as stat, open(f"/proc/{pid}/cmdline", "rb") as cmd:
                if needle in env.read().split(b"\0") and stat.read().rsplit(")", 1)[1].split()[0] != "Z":
                    found.append((int(pid), cmd.read().replace(b"\0", b" ").decode(errors="replace")))
        return found

    def kill(self):
        with contextlib.suppress(subprocess.TimeoutExpired):
            subprocess.run(["wineserver", "-k"], env=self.env(), capture_output=True, timeout=10)
        for pid, _ in self.processes():  # a wedged server: end what is left, one by one
            with contextlib.suppress(OSError):
                os.kill(pid, 9)

    def keep_warm(self):
        """From the next program on, Wine stays up between programs: a cold start (the server,
        wineboot, the services, the desktop) costs about three times the CPU of a warm one. The
        program that keeps it up is cmd.exe reading a pipe that only this process holds: when this
        process ends, however it ends, cmd.exe ends, and the server and the rest follow it."""
        self._warm = True

    def warm(self):
        """Wine is up and its keeper runs."""
        return self._keeper is not None and self._keeper.poll() is None

    def _wake(self, desktop=False):
        """Brings Wine up when it should be warm and is not, and the desktop before a program with
        windows: what a program starts inherits its output and its debug channels, which must not
        happen to a program under test (start()), whose output is read until its end."""
        if not self._warm:
            return
        if not self.warm():
            self._wait(self.processes, 60)  # a program started on a dying server would hang
            self._drop_keeper()
            keeper = os.path.join(self.path, "drive_c", "windows", "system32", "cmd.exe")
            self._keeper = subprocess.Popen([WINE, keeper], env=self.env(), stdin=subprocess.PIPE,
                                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        if desktop and not any(_DESKTOP_RE.match(cmd) for _, cmd in self.processes()):
            self._tool([WINE, "rundll32.exe", "user32.dll,GetDesktopWindow"], 60)

    def user_processes(self):
        """processes() less Wine's own (the server, the services, the desktop) and the keeper."""
        keeper = self._keeper.pid if self.warm() else None
        return [(pid, cmd) for pid, cmd in self.processes()
                if pid != keeper and not _SYSTEM_RE.match(cmd) and not _SERVER_RE.match(cmd)]

    def _server_busy(self):
        """[(pid, command line)] of the server while it has events to handle. A program's process
        is gone before the server has seen it end and closed its handles (and so deleted a file
        opened for deletion on close); a server asleep in epoll_wait has nothing left to handle."""
        for pid, cmd in self.processes():
            if _SERVER_RE.match(cmd):
                with contextlib.suppress(OSError), open(f"/proc/{pid}/wchan") as wchan:
                    if wchan.read() in ("do_epoll_wait", "ep_poll"):
                        return []
                return [(pid, cmd)]
        return []

    def wait_idle(self, timeout=30):
        """Waits until no program of the prefix is left. Warm (keep_warm), Wine's own processes
        stay; cold, nothing may stay: `wineserver -w` can return while the server is on its way
        out, and a program started then hangs on the dying server."""
        if self.warm():
            self._wait(lambda: self.user_processes() or self._server_busy(), timeout)
            return
        with contextlib.suppress(subprocess.TimeoutExpired):
            subprocess.run(["wineserver", "-w"], env=self.env(), capture_output=True, timeout=timeout)
        self._wait(self.processes, timeout)

    def stop(self, timeout=60):
        """Ends every process of the prefix and waits until none is left. The server writes its
        registry files only as it ends; the next program starts Wine again."""
        if self.processes():
            with contextlib.suppress(subprocess.TimeoutExpired):
                subprocess.run(["wineserver", "-k"], env=self.env(), capture_output=True, timeout=timeout)
        self._wait(self.processes, timeout)
        self._drop_keeper()

    def _drop_keeper(self):  # once it has ended
        if self._keeper is not None:
            self._keeper.stdin.close()
            self._keeper.wait()
            self._keeper = None

    def _wait(self, busy, timeout):
        if until(lambda: not busy(), timeout) or not (left := busy()):
            return
        self.kill()
        raise WineTestFailure(f"prefix still busy after {timeout} s; Wine killed: {left}")

    def windows_path(self, unix_path):
        """Drive C is the prefix's drive_c, Z: the unix root."""
        p, c = os.path.realpath(unix_path), os.path.realpath(os.path.join(self.path, "drive_c"))
        inside = p == c or p.startswith(c + "/")
        return ("C:\\" if inside else "Z:\\") + p[len(c) if inside else 0:].strip("/").replace("/", "\\")

    def unix_path(self, windows_path):
        rest = windows_path[3:].replace("\\", "/").strip("/")
        return os.path.join(os.path.join(self.path, "drive_c") if windows_path[0] in "cC" else "/", rest)

    def reg_import(self, *reg_files, timeout=60):
        """Imports the files in order, in one start of Wine."""
        self._tool([WINE, "regedit", "/S", *map(self.windows_path, reg_files)], timeout)

    def reg_query(self, key, value=None, timeout=60):
        """Data of one value (None: the default value) as reg.exe prints it, None if absent."""
        return self.reg_values(key, timeout).get("(Default)" if value is None else value)

    def reg_values(self, key, timeout=60):
        """{name: data as reg.exe prints it} of a key's values, in one start of Wine."""
        r = self._tool([WINE, "reg", "query", key], timeout, check=False)
        # reg.exe writes to a pipe in the OEM code page: 437 for the locale env() sets.
        parts = [line.lstrip().split("    ", 2) for line in r.stdout.decode("cp437").splitlines()]
        return {p[0]: p[2] if len(p) > 2 else "" for p in parts
                if r.returncode == 0 and len(p) > 1 and p[1].startswith("REG_")}


class Run:
    """`wine exe args...`, its output read all along; started programs inherit the stderr."""

    def __init__(self, prefix, argv, env, cwd=None, log=None):
        self.prefix, self.argv, self.log = prefix, argv, log
        self._cond, self._err, self._out, self._boxes, self._claimed = threading.Condition(), [], [], [], {}
        self._titles = {}  # the last SetWindowText per thread: the caption of its next box
        self._logf = open(log, "w", encoding="utf-8", buffering=1) if log else None
        self.proc = subprocess.Popen(argv, env=env, cwd=cwd, stdin=subprocess.DEVNULL,
                                     stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        for stream, sink in ((self.proc.stderr, self._err), (self.proc.stdout, self._out)):
            threading.Thread(target=self._pump, args=(stream, sink), daemon=True).start()

    def _pump(self, stream, sink):
        for raw in stream:
            line = raw.decode("utf-8", "replace").rstrip("\r\n")
            with self._cond:
                sink.append(line)
                m = _TRACE_RE.search(line) if sink is self._err else None
                if m and m[2]:  # time: the trace line, just before the box shows
                    self._boxes.append(SimpleNamespace(caption=self._titles.get(m[1]), window=None,
                                                       text=decode_debugstr(m[3]), time=time.monotonic()))
                elif m:
                    self._titles[m[1]] = decode_debugstr(m[3])
                if self._logf:
                    self._logf.write(line + "\n")
                self._cond.notify_all()

    def wait(self, timeout=60):
        try:
            return self.proc.wait(timeout)
        except subprocess.TimeoutExpired:
            fail(self, f"{os.path.basename(self.argv[1])} still running after {timeout} s")

    def stderr_text(self):
        with self._cond:
            return "\n".join(self._err)

    def stdout_text(self):
        with self._cond:
            return "\n".join(self._out)

    def boxes(self):  # every message box seen so far, answered or not
        with self._cond:
            return list(self._boxes)

    def tail(self, n=40):
        with self._cond:  # the trace+win lines only pair captions; they would drown the rest
            return [line for line in self._err if ":trace:win:" not in line][-n:]


def start(prefix, exe, args=(), channels=None, cwd=None, log=None):
    """Starts `wine exe args...`; channels=None enables BOX_CHANNELS, "-all" silences Wine."""
    prefix._wake(desktop=True)
    return Run(prefix, [WINE, str(exe), *map(str, args)], prefix.env(channels or BOX_CHANNELS), cwd, log)


def _xdo(*args, timeout=10):
    return subprocess.run(["xdotool"] + [str(a) for a in args], stdin=subprocess.DEVNULL,
                          capture_output=True, text=True, timeout=timeout)


def find_windows(name):
    """[(id, name)] of the visible windows named exactly `name` ("": every named window)."""
    found = []
    pattern = "^" + re.escape(name) + "$" if name else "."  # --name is a case-insensitive regex
    with contextlib.suppress(subprocess.TimeoutExpired):  # the callers' own deadlines decide
        for wid in _xdo("search", "--onlyvisible", "--name", pattern).stdout.split():
            n = _xdo("getwindowname", wid).stdout.rstrip("\n")
            if not name or n == name:
                found.append((int(wid), n))
    return found


def screenshot(path, window=None, timeout=20):
    subprocess.run(["import", "-window", "root" if window is None else str(getattr(window, "id", window)),
                    "png:" + str(path)], stdin=subprocess.DEVNULL,
                   capture_output=True, timeout=timeout, check=True)
    return path


def fail(run, message):
    """Collects what a person would want to see, kills the prefix's Wine and raises."""
    windows = ", ".join(f"{wid} {name!r}" for wid, name in find_windows("")) or "none"
    with contextlib.suppress(OSError, subprocess.SubprocessError, TypeError):
        message += "\nscreenshot: " + screenshot(run.log + ".png")  # a run without log: none
    tail = run.tail()
    run.prefix.kill()
    run.proc.kill()
    raise WineTestFailure(f"{message}\nvisible windows: {windows}\n"
                          f"last Wine stderr lines ({len(tail)}):\n  " + "\n  ".join(tail))


def until(predicate, timeout, step=0.1):
    deadline = time.monotonic() + timeout
    while not (found := predicate()) and time.monotonic() < deadline:
        time.sleep(step)
    return found


def wait_window(run, name, timeout=30, besides=()):
    """A visible window named exactly `name`, other than `besides` (dialogs of that name)."""
    skip = {window.id for window in besides}
    found = until(lambda: [wid for wid, _ in find_windows(name) if wid not in skip], timeout)
    if not found:
        fail(run, f"no window {name!r} within {timeout} s")
    return SimpleNamespace(id=found[-1], name=name, run=run)


def wait_box(run, caption, timeout=30, over=()):
    """The next box with this caption from the run or a process it started, over `over`."""
    deadline = time.monotonic() + timeout
    with run._cond:
        box = run._cond.wait_for(lambda: next(
            (b for b in run._boxes if b.caption == caption and not b.window), None), timeout)
        if box:
            box.window = True  # taken: its window is looked for below
    if box is None:
        fail(run, f"no message box {caption!r} within {timeout} s (boxes seen: {run.boxes()})")
    skip = {window.id for window in over}

    def fresh():  # the trace line comes before the window is mapped
        shown = [wid for wid, _ in find_windows(caption)]
        # X ids come back once a client has gone: a relocated copy's box may reuse its parent's.
        run._claimed = {w: c for w, c in run._claimed.items() if c != caption or w in shown}
        return [w for w in shown if w not in run._claimed and w not in skip]

    found = until(fresh, deadline - time.monotonic())
    if not found:
        fail(run, f"message box {caption!r} ({box.text!r}) traced but no window within {timeout} s")
    run._claimed[found[0]] = caption
    box.window = SimpleNamespace(id=found[0], name=caption, run=run)
    return box


def _focus(window):  # and wait until it has it: a key sent before would go elsewhere
    for _ in range(5):
        with contextlib.suppress(subprocess.TimeoutExpired):
            _xdo("windowfocus", "--sync", window.id, timeout=3)
            if until(lambda: _xdo("getwindowfocus").stdout.strip() == str(window.id), 1):
                return True
    return False


def window_gone(window, timeout=10, check=True):
    gone = until(lambda: window.id not in [w for w, _ in find_windows(window.name)], timeout)
    if check and not gone:
        fail(window.run, f"{window} still shown after {timeout} s")
    return gone


def key(window, *keys, xdo="key", delay="50"):
    _focus(window) or fail(window.run, f"cannot give the keyboard focus to {window}")
    _xdo(xdo, "--delay", delay, *keys, timeout=10 + len(keys[-1]))


def type_text(window, text):
    key(window, "--", text, xdo="type", delay="30")


def geometry(window):
    v = dict(line.split("=", 1) for line in _xdo("getwindowgeometry", "--shell", window.id).stdout.split())
    return int(v["X"]), int(v["Y"]), int(v["WIDTH"]), int(v["HEIGHT"])


def click(window, x, y, button=1):  # (x, y) from the window's top-left corner, frame included
    # `mousemove --window W --sync` waits for ever when the pointer is on the spot already (a
    # dialog that opens where the last one was): from the screen's corner it always moves.
    _xdo("mousemove", "--sync", 0, 0, timeout=5)
    _xdo("mousemove", "--window", window.id, "--sync", x, y, timeout=5)
    _xdo("click", button)


def answer(box, key_name, timeout=10):
    """Presses a key in the box until it has gone: it may be mapped before it takes keys."""
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline and _focus(box.window):
        _xdo("key", key_name)
        if window_gone(box.window, max(0.5, min(3, deadline - time.monotonic())), check=False):
            return
    if not window_gone(box.window, 0, check=False):
        fail(box.window.run, f"box {box.caption!r} still shown after pressing {key_name!r}")


if __name__ == "__main__":
    import sys  # `winedriver.py ensure PREFIX`: the CTest fixture that boots the template

    if len(sys.argv) != 3 or sys.argv[1] != "ensure":
        sys.exit("usage: winedriver.py ensure PREFIX")
    WinePrefix(sys.argv[2]).ensure()
