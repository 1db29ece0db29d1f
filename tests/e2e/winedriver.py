r"""Drive Windows programs under Wine and answer their dialogs the way a person would.

Facts this module relies on (Debian 12, wine 8.0 from the `wine` + `wine32` packages):

* Only the 32-bit Wine is installed, so prefixes are WINEARCH=win32.  Booting one
  takes ~12 s and ~590 MB (Wine 8 copies every builtin DLL into system32).
  "mscoree,mshtml=" in WINEDLLOVERRIDES stops the Mono/Gecko install prompts, and
  ensure() boots with DISPLAY unset, so no window can appear at all.
* Wine writes its debug output to the unix stderr of the process.  A process made
  with CreateProcess inherits that stderr (also with DETACHED_PROCESS,
  CREATE_NEW_CONSOLE, CREATE_NO_WINDOW), so a relocated copy's output arrives on
  the same pipe as its parent's.  Wine 8 has no variable that sends debug output
  to a file.  The pipe reaches EOF only when the wineserver and its services have
  exited, ~2 s after the last program ends; wait_idle() waits for exactly that.
* trace+msgbox prints one line per message box, before the box is shown:
      0024:trace:msgbox:MSGBOX_OnInit L"line one\nline \"two\" \00e9"
  The caption is not on it, but trace+win prints every SetWindowText, and the box
  sets its caption just before that line, on the same thread (the 4-hex-digit
  prefix is the thread id):
      0024:trace:win:set_window_text L"Caption"
  Escapes are \n \r \t \" \\ and \xxxx (4 hex digits) for anything outside
  printable ASCII.  Wine cuts the string after ~290 escaped characters and puts
  "..." after the closing quote (Box.truncated).
* Under a bare Xvfb (no window manager) hiding a WM-managed window costs 2 s:
  winex11 waits for the WM to withdraw it.  ensure() sets the X11 driver's
  Managed=N, so Wine draws the frame and title bar itself and every dialog
  closes at once.  The X window name is the window caption.
* `xdotool windowfocus --sync ID` then a plain (XTEST) `xdotool key K` works;
  `windowactivate` fails without a WM (_NET_ACTIVE_WINDOW).  `key --window ID`
  (XSendEvent) is accepted by Wine too, but is not what a person does.  Focus
  starts as PointerRoot and boxes open at the screen centre under the pointer,
  so keys could reach a box unfocused by luck: we always focus first.
  `xdotool search --name` is a case-insensitive regex, so names are compared
  exactly afterwards.
"""

import fcntl
import os
import re
import subprocess
import threading
import time

# No Mono/Gecko install prompts; no menu entries or icons written to the unix desktop.
DLL_OVERRIDES = "mscoree,mshtml=;winemenubuilder.exe=d"
# What start() enables by default: enough to read message boxes, fixmes off, errors kept.
BOX_CHANNELS = "fixme-all,trace+msgbox,trace+win"
WINE_INF = "/usr/share/wine/wine.inf"
READY_MARK = ".winedriver-ready"  # written by ensure() once the prefix is fully set up
SETUP_VERSION = "2"  # bump when ensure() sets up prefixes differently

_TRACE_RE = re.compile(r"([0-9a-f]+):trace:(?:win:set_window_text|msgbox:(MSGBOX_OnInit)) (.*)$")


class WineTestFailure(AssertionError):
    pass


def decode_debugstr(s):
    """Turn Wine's debugstr_w output (L"...", optionally followed by ...) into (text, truncated)."""
    if not s.startswith('L"'):
        return None, False  # (null), #0001 resource ids, (invalid)
    out, i = [], 2
    while i < len(s) and s[i] != '"':
        c = s[i]
        if c == "\\" and i + 1 < len(s):
            nxt = s[i + 1]
            if nxt in 'nrt"\\':
                out.append({"n": "\n", "r": "\r", "t": "\t"}.get(nxt, nxt))
                i += 2
                continue
            if re.fullmatch(r"[0-9a-f]{4}", s[i + 1:i + 5]):
                out.append(chr(int(s[i + 1:i + 5], 16)))
                i += 5
                continue
        out.append(c)
        i += 1
    text = "".join(out)
    # Characters outside the BMP come out as surrogate pairs.
    text = text.encode("utf-16", "surrogatepass").decode("utf-16", "replace")
    return text, s[i + 1:].startswith("...")


class WinePrefix:
    def __init__(self, path):
        self.path = os.path.abspath(path)

    def env(self, debug_channels=None):
        env = {k: v for k, v in os.environ.items() if not k.startswith("WINE")}
        env.update(WINEPREFIX=self.path, WINEARCH="win32",
                   WINEDEBUG=debug_channels or "-all", WINEDLLOVERRIDES=DLL_OVERRIDES,
                   LC_ALL="C.UTF-8")  # same Windows locale and code page on every machine
        return env

    def _ready(self):
        try:
            with open(os.path.join(self.path, ".update-timestamp")) as f:
                stamp = f.read().strip()
            with open(os.path.join(self.path, READY_MARK)) as f:
                ready = f.read().strip() == SETUP_VERSION
        except OSError:
            return False
        # Wine updates a prefix (showing a progress window) when wine.inf is newer than the stamp.
        return ready and (stamp == "disable" or not os.path.exists(WINE_INF)
                          or stamp == str(int(os.stat(WINE_INF).st_mtime)))

    def ensure(self, timeout=300):
        """Create or update the prefix; returns True if it had to be (re)built."""
        os.makedirs(os.path.dirname(self.path), exist_ok=True)
        with open(self.path + ".lock", "w") as lock:
            fcntl.flock(lock, fcntl.LOCK_EX)
            if self._ready():
                return False
            env = self.env()
            env.pop("DISPLAY", None)  # nothing can pop up while booting
            self._tool(["wineboot", "-u"], timeout, env=env)
            # Unmanaged windows: hiding a managed window makes winex11 wait 2 s for a
            # window manager's answer that never comes under a bare Xvfb.
            self._tool(["wine", "reg", "add", r"HKCU\Software\Wine\X11 Driver", "/v", "Managed",
                        "/d", "N", "/f"], timeout, env=env)
            # Disabled by DLL_OVERRIDES; this stops the error line each session start prints.
            self._tool(["wine", "reg", "delete", r"HKLM\Software\Microsoft\Windows\CurrentVersion\RunServices",
                        "/v", "winemenubuilder", "/f"], timeout, env=env, check=False)
            self.wait_idle(timeout)
            self._cut_home_links()
            with open(os.path.join(self.path, READY_MARK), "w") as f:
                f.write(SETUP_VERSION + "\n")
            return True

    def _cut_home_links(self):
        # Wine links Desktop, Documents... to the unix $HOME; a program under test that
        # deletes its shortcuts must not reach the real home folder.
        users = os.path.join(self.path, "drive_c", "users")
        for top, dirs, _ in os.walk(users):
            for d in dirs:
                link = os.path.join(top, d)
                if os.path.islink(link) and not os.path.realpath(link).startswith(self.path + "/"):
                    os.unlink(link)
                    os.mkdir(link)

    def _tool(self, argv, timeout, env=None, check=True):
        try:
            r = subprocess.run(argv, env=env or self.env(), stdin=subprocess.DEVNULL,
                               capture_output=True, timeout=timeout)
        except subprocess.TimeoutExpired:
            self.kill()
            raise WineTestFailure(f"{' '.join(argv)} took more than {timeout} s; Wine killed")
        if check and r.returncode != 0:
            raise WineTestFailure(f"{' '.join(argv)} exited {r.returncode}: "
                                  f"{r.stderr.decode(errors='replace')[-2000:]}")
        return r

    def processes(self):
        """Live (not zombie) processes of this prefix, as [(pid, command line)]."""
        found = []
        needle = b"WINEPREFIX=" + self.path.encode()
        for pid in filter(str.isdigit, os.listdir("/proc")):
            try:
                with open(f"/proc/{pid}/environ", "rb") as f:
                    if needle not in f.read().split(b"\0"):
                        continue
                with open(f"/proc/{pid}/stat") as f:
                    if f.read().rsplit(")", 1)[1].split()[0] == "Z":
                        continue
                with open(f"/proc/{pid}/cmdline", "rb") as f:
                    cmd = f.read().replace(b"\0", b" ").decode(errors="replace").strip()
            except OSError:
                continue
            found.append((int(pid), cmd))
        return found

    def kill(self, timeout=10):
        try:
            subprocess.run(["wineserver", "-k"], env=self.env(), capture_output=True, timeout=timeout)
        except subprocess.TimeoutExpired:
            pass
        deadline = time.monotonic() + timeout
        while self.processes() and time.monotonic() < deadline:
            time.sleep(0.1)
        for pid, _ in self.processes():  # wineserver gone or wedged: end what is left, one by one
            try:
                os.kill(pid, 9)
            except OSError:
                pass

    def wait_idle(self, timeout=30):
        """Wait until every process of the prefix, the wineserver included, has ended."""
        deadline = time.monotonic() + timeout
        try:
            subprocess.run(["wineserver", "-w"], env=self.env(), capture_output=True, timeout=timeout)
            # `-w` can return while the server is still on its way out; a program
            # started then may attach to the dying server and hang without a word.
            while self.processes():
                if time.monotonic() >= deadline:
                    raise subprocess.TimeoutExpired("wineserver", timeout)
                time.sleep(0.05)
        except subprocess.TimeoutExpired:
            left = self.processes()
            self.kill()
            raise WineTestFailure(f"prefix still busy after {timeout} s; Wine killed. Processes were:\n"
                                  + "\n".join(f"  {pid} {cmd}" for pid, cmd in left))

    def _drives(self):
        d = os.path.join(self.path, "dosdevices")
        for name in sorted(os.listdir(d)):
            if len(name) == 2 and name[1] == ":":
                yield name[0].upper(), os.path.realpath(os.path.join(d, name))

    def windows_path(self, unix_path):
        p = os.path.realpath(unix_path)
        best = None
        for letter, root in self._drives():
            if p == root or p.startswith(root.rstrip("/") + "/"):
                if best is None or len(root) > len(best[1]):
                    best = (letter, root)
        if best is None:
            raise ValueError(f"{unix_path} is on no Wine drive")
        rest = p[len(best[1]):].strip("/")
        return f"{best[0]}:\\" + rest.replace("/", "\\")

    def unix_path(self, windows_path):
        m = re.match(r"^([A-Za-z]):[\\/]?(.*)$", windows_path)
        if not m:
            raise ValueError(f"not an absolute Windows path: {windows_path}")
        root = os.path.realpath(os.path.join(self.path, "dosdevices", m.group(1).lower() + ":"))
        rest = m.group(2).replace("\\", "/").strip("/")
        return os.path.join(root, rest) if rest else root

    def reg_import(self, reg_file, timeout=60):
        self._tool(["wine", "regedit", "/S", self.windows_path(reg_file)], timeout)

    def reg_query(self, key, value=None, timeout=60):
        """Data of one value as reg.exe prints it (REG_DWORD as 0x..), or None if absent.

        value=None reads the key's default value."""
        argv = ["wine", "reg", "query", key] + (["/v", value] if value is not None else ["/ve"])
        r = self._tool(argv, timeout, check=False)
        if r.returncode != 0:
            return None
        # reg.exe writes to a pipe in the OEM code page, 437 for the en-US locale env() sets.
        for line in r.stdout.decode("cp437").splitlines():
            # Only the indent goes: a value's data may end in blanks.
            parts = line.lstrip().split("    ")
            if len(parts) >= 2 and parts[1].startswith("REG_") and \
                    (parts[0] == (value if value is not None else "(Default)")):
                return parts[2] if len(parts) > 2 else ""
        return None


class Box:
    def __init__(self, tid, caption, text, truncated):
        self.tid, self.caption, self.text, self.truncated = tid, caption, text, truncated
        self.time = time.monotonic()  # when its trace line came: just before it is shown
        self.window = None
        self.taken = False  # handed out by wait_box already

    def __repr__(self):
        return f"Box(caption={self.caption!r}, text={self.text!r}, window={self.window})"


class Window:
    def __init__(self, wid, name, run):
        self.id, self.name, self.run = wid, name, run

    def __repr__(self):
        return f"Window({self.id}, {self.name!r})"


class Run:
    """One `wine exe args...`; its stdout/stderr are read continuously by two threads."""

    def __init__(self, prefix, argv, env, cwd=None, log=None):
        self.prefix, self.argv, self.log = prefix, argv, log
        self._cond = threading.Condition()
        self._err, self._out, self._boxes = [], [], []
        self._claimed = {}  # X id -> caption of boxes handed out and still shown
        self._titles = {}  # last SetWindowText per thread: the caption of the next box
        self._logf = open(log, "w", encoding="utf-8") if log else None
        self.proc = subprocess.Popen(argv, env=env, cwd=cwd, stdin=subprocess.DEVNULL,
                                     stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        self._open = 2
        for stream, sink in ((self.proc.stderr, self._err), (self.proc.stdout, self._out)):
            threading.Thread(target=self._pump, args=(stream, sink), daemon=True).start()

    def _pump(self, stream, sink):
        with stream:
            for raw in stream:
                line = raw.decode("utf-8", "replace").rstrip("\r\n")
                with self._cond:
                    sink.append(line)
                    if sink is self._err:
                        self._parse(line)
                    if self._logf:
                        self._logf.write(line + "\n")
                        self._logf.flush()
                    self._cond.notify_all()
        with self._cond:
            self._open -= 1
            if not self._open and self._logf:
                self._logf.close()
                self._logf = None

    def _parse(self, line):
        m = _TRACE_RE.search(line)
        if not m:
            return
        tid, is_box, arg = m.groups()
        text, truncated = decode_debugstr(arg)
        if is_box:
            self._boxes.append(Box(tid, self._titles.get(tid), text, truncated))
        else:
            self._titles[tid] = text

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

    def boxes(self):
        """Every message box seen so far, answered or not."""
        with self._cond:
            return list(self._boxes)

    def tail(self, n=40):
        # The trace+win lines are only there to pair captions; they would drown the rest.
        with self._cond:
            return [l for l in self._err if ":trace:win:" not in l][-n:]


def start(prefix, exe, args=(), channels=None, cwd=None, log=None):
    """Start `wine exe args...`; channels=None enables BOX_CHANNELS, "-all" silences Wine."""
    argv = ["wine", str(exe)] + [str(a) for a in args]
    return Run(prefix, argv, prefix.env(channels or BOX_CHANNELS), cwd, log)


# --- X side -----------------------------------------------------------------------------------

def _xdo(*args, timeout=10):
    return subprocess.run(["xdotool"] + [str(a) for a in args], stdin=subprocess.DEVNULL,
                          capture_output=True, text=True, timeout=timeout)


def _search(name, visible=True):
    """Ids of windows whose name is exactly `name` ("" lists every named window)."""
    pattern = "^" + re.escape(name) + "$" if name else "."
    found = []
    try:
        r = _xdo("search", *(["--onlyvisible"] if visible else []), "--name", pattern)
        for wid in r.stdout.split():
            n = _xdo("getwindowname", wid).stdout.rstrip("\n")
            if not name or n == name:
                found.append((int(wid), n))
    except subprocess.TimeoutExpired:
        pass  # the callers' own deadlines decide
    return found


def visible_windows():
    try:
        return _search("")
    except (OSError, subprocess.SubprocessError) as e:
        return [(0, f"<cannot list windows: {e}>")]


def screenshot(path, window=None, timeout=20):
    target = "root" if window is None else str(getattr(window, "id", window))
    subprocess.run(["import", "-window", target, "png:" + str(path)], stdin=subprocess.DEVNULL,
                   capture_output=True, timeout=timeout, check=True)
    return path


def fail(run, message):
    """Collect what a person would want to see, kill the prefix's Wine and raise."""
    windows = visible_windows()
    extra = ""
    if run.log:
        try:
            extra = "\nscreenshot: " + screenshot(run.log + ".png")
        except (OSError, subprocess.SubprocessError):
            pass
    tail = run.tail()
    run.prefix.kill()
    try:
        run.proc.wait(5)
    except subprocess.TimeoutExpired:
        run.proc.kill()
        run.proc.wait()
    raise WineTestFailure(
        f"{message}\nvisible windows: "
        + (", ".join(f"{wid} {name!r}" for wid, name in windows) or "none")
        + extra + f"\nlast Wine stderr lines ({len(tail)}):\n  " + "\n  ".join(tail))


def wait_window(run, name, timeout=30, besides=()):
    """A visible window named exactly `name`, other than the windows `besides`
    (a dialog opened over another of the same caption)."""
    skip = {window.id for window in besides}
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        found = [wid for wid, _ in _search(name) if wid not in skip]
        if found:
            return Window(found[-1], name, run)
        time.sleep(0.1)
    fail(run, f"no window {name!r} within {timeout} s")


def wait_box(run, caption, timeout=30, over=()):
    """The next message box with this caption, shown by the run or any process it started.
    `over` names dialogs of the same caption that stay shown beneath the box."""
    skip = {window.id for window in over}
    deadline = time.monotonic() + timeout
    with run._cond:
        while True:
            box = next((b for b in run._boxes if b.caption == caption and not b.taken), None)
            left = deadline - time.monotonic()
            if box or left <= 0:
                break
            run._cond.wait(min(left, 0.5))
        if box:
            box.taken = True
    if box is None:
        seen = [(b.caption, b.text) for b in run.boxes()]
        fail(run, f"no message box {caption!r} within {timeout} s (boxes seen: {seen})")
    # The trace line comes before the window is mapped.
    while time.monotonic() < deadline:
        shown = [wid for wid, _ in _search(caption)]
        # X ids come back once a client has gone: a relocated copy's box may reuse its parent's.
        run._claimed = {w: c for w, c in run._claimed.items() if c != caption or w in shown}
        fresh = [w for w in shown if w not in run._claimed and w not in skip]
        if fresh:
            run._claimed[fresh[0]] = caption
            box.window = Window(fresh[0], caption, run)
            return box
        time.sleep(0.1)
    fail(run, f"message box {caption!r} ({box.text!r}) traced but no window within {timeout} s")


def _focus(window, tries=5):
    for _ in range(tries):
        try:
            _xdo("windowfocus", "--sync", window.id, timeout=3)
        except subprocess.TimeoutExpired:
            continue
        if _xdo("getwindowfocus").stdout.strip() == str(window.id):
            return True
        time.sleep(0.2)
    return False


def _focus_or_fail(window):
    if not _focus(window):
        fail(window.run, f"cannot give the keyboard focus to {window}")


def _is_gone(window, timeout):
    deadline = time.monotonic() + timeout
    while True:
        if window.id not in [wid for wid, _ in _search(window.name)]:
            return True
        if time.monotonic() >= deadline:
            return False
        time.sleep(0.1)


def window_gone(window, timeout=10):
    if not _is_gone(window, timeout):
        fail(window.run, f"{window} still shown after {timeout} s")


def key(window, *keys):
    _focus_or_fail(window)
    _xdo("key", "--delay", "50", *keys)


def type_text(window, text):
    _focus_or_fail(window)
    _xdo("type", "--delay", "30", "--", text, timeout=10 + len(text))


def geometry(window):
    """(x, y, width, height) of the window on the screen."""
    out = _xdo("getwindowgeometry", "--shell", window.id).stdout
    v = dict(l.split("=", 1) for l in out.split())
    return int(v["X"]), int(v["Y"]), int(v["WIDTH"]), int(v["HEIGHT"])


def click(window, x, y, button=1):
    """Click at (x, y) relative to the window's top-left corner."""
    _xdo("mousemove", "--window", window.id, "--sync", x, y, timeout=5)
    _xdo("click", button)


def answer(box, key_name, timeout=10):
    """Press one key in the box, as a person would, and wait until the box has gone."""
    deadline = time.monotonic() + timeout
    for _ in range(3):
        if not _focus(box.window):
            if _is_gone(box.window, 0):
                return
            break
        _xdo("key", key_name)
        if _is_gone(box.window, max(0.5, min(3, deadline - time.monotonic()))):
            return
        if time.monotonic() >= deadline:
            break
    fail(box.window.run, f"box {box.caption!r} still shown after pressing {key_name!r}")


if __name__ == "__main__":
    # `winedriver.py ensure PREFIX`: the CTest fixture that prepares a prefix.
    import sys
    if len(sys.argv) != 3 or sys.argv[1] != "ensure":
        sys.exit("usage: winedriver.py ensure PREFIX")
    WinePrefix(sys.argv[2]).ensure()
