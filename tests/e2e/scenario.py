"""What every end-to-end scenario shares: the paths CTest hands over in the
environment, the prefix, a log file per test, and files inside drive C."""

import os
import shutil
import subprocess
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import winedriver as wd  # noqa: E402

SOURCE_DIR = os.environ.get("SOURCE_DIR", os.path.dirname(os.path.dirname(os.path.dirname(
    os.path.abspath(__file__)))))


def env_path(name):
    value = os.environ.get(name)
    if not value:
        raise RuntimeError(f"{name} is not set: run this scenario through CTest (scripts/test)")
    return value


def ffspack(*args):
    """Runs the maker's packer from the host build; returns what it printed."""
    tool = os.path.join(env_path("HOST_BUILD_DIR"), "tools", "ffspack", "ffspack")
    r = subprocess.run([tool, *args], capture_output=True, text=True, timeout=60)
    if r.returncode != 0:
        raise AssertionError(f"ffspack {' '.join(args)} exited {r.returncode}: {r.stderr}")
    return r.stdout


def crlf(text):
    """A text as the program's text-mode log file stores it."""
    return text.replace("\n", "\r\n").encode("latin-1")


def reg_text(value):
    """A REGEDIT4 string, or a DWORD for an int, or deletion for None."""
    if value is None:
        return "-"
    if isinstance(value, int):
        return f"dword:{value:08x}"
    return '"' + value.replace("\\", "\\\\").replace('"', '\\"') + '"'


REG_ROOTS = {"HKCU": "HKEY_CURRENT_USER", "HKCR": "HKEY_CLASSES_ROOT",
             "HKLM": "HKEY_LOCAL_MACHINE"}


class Scenario(unittest.TestCase):
    """Each test starts from an idle prefix and must leave no Wine process behind."""

    @classmethod
    def setUpClass(cls):
        if not os.environ.get("DISPLAY"):
            raise RuntimeError("no DISPLAY: run under tests/e2e/with-display.sh or xvfb-run")
        cls.prefix = wd.WinePrefix(env_path("E2E_PREFIX"))
        cls.prefix.ensure()
        cls.logs = env_path("E2E_LOGS")
        os.makedirs(cls.logs, exist_ok=True)

    def tearDown(self):
        self.prefix.wait_idle(60)
        self.assertEqual([], self.prefix.processes())

    def drive_c(self, *parts):
        return os.path.join(self.prefix.path, "drive_c", *parts)

    def fresh_folder(self, *parts):
        """An empty folder under drive C (unix path)."""
        path = self.drive_c(*parts)
        shutil.rmtree(path, ignore_errors=True)
        os.makedirs(path)
        return path

    def place(self, exe, *parts):
        """Copies a program into drive C; returns its unix path."""
        target = self.drive_c(*parts)
        os.makedirs(os.path.dirname(target), exist_ok=True)
        shutil.copyfile(exe, target)
        return target

    def place_packed(self, script, *parts):
        """The uninstaller carrying `script` (a readable or stored script file) in
        its archive, written into drive C; returns its unix path."""
        target = self.drive_c(*parts)
        os.makedirs(os.path.dirname(target), exist_ok=True)
        ffspack("pack", "--stub", env_path("UNINSTALL_EXE"), "--script", script, "-o", target)
        return target

    def place_packed_text(self, text, *parts):
        """The uninstaller carrying a script given as readable text."""
        script = os.path.join(self.logs, parts[-1] + ".script.txt")
        with open(script, "w") as f:
            f.write(text)
        return self.place_packed(script, *parts)

    def start(self, exe, args=(), name=None, channels=None):
        log = os.path.join(self.logs, (name or self.id().rsplit(".", 1)[1]) + ".log")
        return wd.start(self.prefix, exe, list(args), channels=channels, log=log)

    def registry(self, keys):
        """Writes values in one import, so that Wine starts once for all of them.
        `keys` maps "HKCU\\path" to a dict of values (None deletes one; "@" is the
        default value), or to None, which deletes the whole key."""
        lines = ["REGEDIT4", ""]
        for key, values in keys.items():
            root, _, path = key.partition("\\")
            if values is None:
                lines += [f"[-{REG_ROOTS[root]}\\{path}]", ""]
                continue
            lines.append(f"[{REG_ROOTS[root]}\\{path}]")
            for name, value in values.items():
                lines.append(("@" if name == "@" else reg_text(name)) + "=" + reg_text(value))
            lines.append("")
        reg_file = os.path.join(self.logs, "settings.reg")
        with open(reg_file, "w", encoding="cp1252", newline="\r\n") as f:
            f.write("\n".join(lines) + "\n")
        self.prefix.reg_import(reg_file)

    @staticmethod
    def read_bytes(path):
        with open(path, "rb") as f:
            return f.read()


def main():
    unittest.main(verbosity=2)
