"""What every end-to-end scenario shares: the paths CTest hands over in the
environment, the prefix, a log file per run, and files inside drive C."""

import os
import re
import shutil
import subprocess
import unittest

import winedriver as wd

SOURCE_DIR = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")
SAMPLE = os.path.join(SOURCE_DIR, "samples", "sample-product.txt")
REG_ROOTS = {"HKCU": "HKEY_CURRENT_USER", "HKCR": "HKEY_CLASSES_ROOT", "HKLM": "HKEY_LOCAL_MACHINE"}
MEMORY_INIT = ("\n====[Memory Init]" + "=" * 62 + "\n"
               "Quickmemory Initialized (Disabled)\nMemory Initialized (Maximum)\n" + "=" * 79 + "\n")


def env_path(name):
    if not os.environ.get(name):
        raise RuntimeError(f"{name} is not set: run this scenario through CTest (scripts/test)")
    return os.environ[name]


def crlf(text):
    """A text as the program's text-mode log file stores it."""
    return text.replace("\n", "\r\n")


def read_log(path):
    """A log file as it is stored, line ends included."""
    with open(path, encoding="latin-1", newline="") as f:
        return f.read()


def opening(path, arguments):
    """The lines every debug log starts with."""
    return ("Tessel v0.33\nUninstall Version 1.50 (Release)\n"
            f"Cmdline '\"{path}\" {arguments}' '{arguments}'\n" + MEMORY_INIT)


def closing(blocks, kilobytes="N"):
    """The lines every run that ends normally closes its log with. The peak in k is pinned
    for the shipping 32-bit build; the 64-bit build's wider records need more."""
    kilobytes = kilobytes if wd.WINEARCH == "win32" else "N"
    return ("\n====[Memory Remove]" + "=" * 60 + "\n"
            f"Maximum Memory in use ({blocks} / {kilobytes}k)\n" + "=" * 79 + "\nSuccessful Exit...\n")


def any_kilobytes(log):
    """The peak in k follows the script's size; everything else is exact."""
    return re.sub(r"(Maximum Memory in use \(\d+ / )\d+(k\))", r"\1N\2", log)


class Scenario(unittest.TestCase):
    """Each test starts from an idle prefix and must leave no Wine process behind."""

    @classmethod
    def setUpClass(cls):
        cls.prefix, cls.logs = wd.WinePrefix(env_path("E2E_PREFIX")), env_path("E2E_LOGS")
        os.makedirs(cls.logs, exist_ok=True)

    def tearDown(self):
        self.prefix.wait_idle(60)

    def drive_c(self, *parts):
        return os.path.join(self.prefix.path, "drive_c", *parts)

    def fresh_folder(self, *parts):
        """An empty folder under drive C (unix path)."""
        shutil.rmtree(self.drive_c(*parts), ignore_errors=True)
        os.makedirs(self.drive_c(*parts))
        return self.drive_c(*parts)

    def place_packed(self, script, *parts, text=None):
        """The uninstaller carrying a readable script (or `text`) in its archive, packed by
        the maker's packer from the host build, in drive C (unix path)."""
        if text is not None:
            script = os.path.join(self.logs, "-".join(parts) + ".script.txt")
            with open(script, "w") as f:
                f.write(text)
        target = self.drive_c(*parts)
        os.makedirs(os.path.dirname(target), exist_ok=True)
        r = subprocess.run([os.path.join(env_path("HOST_BUILD_DIR"), "tools", "ffspack", "ffspack"), "pack",
                            "--stub", env_path("UNINSTALL_EXE"), "--script", script, "-o", target],
                           capture_output=True, text=True, timeout=60)
        self.assertEqual(0, r.returncode, f"ffspack: {r.stderr}")
        return target

    def start(self, exe, args=(), name=None, channels=None):
        log = os.path.join(self.logs, (name or self.id().rsplit(".", 1)[1]) + ".log")
        return wd.start(self.prefix, exe, list(args), channels=channels, log=log)

    def run_answered(self, exe, arguments, name, boxes=(), code=0, answered=None):
        """Runs exe, answers `boxes` [(caption, text or re.Pattern, key)] in turn, calls
        `answered` then, and checks the exit code and that it showed no other box."""
        run = self.start(exe, arguments, name=name)
        for caption, text, key in boxes:
            box = wd.wait_box(run, caption, timeout=60)
            self.assertTrue(text.fullmatch(box.text) if isinstance(text, re.Pattern) else text == box.text,
                            f"{box.text!r} is not {text!r}")
            wd.answer(box, key)
        if answered:
            answered()
        self.assertEqual(code, run.wait(60))
        self.prefix.wait_idle(60)
        self.assertEqual([caption for caption, _, _ in boxes], [b.caption for b in run.boxes()])

    def registry(self, keys):
        """Writes values in one import, so that Wine starts once for all of them.
        `keys` maps "HKCU\\path" to a dict of values (None deletes one; "@" is the
        default value), or to None, which deletes the whole key."""
        lines = ["REGEDIT4", ""]
        for key, values in keys.items():
            root, _, path = key.partition("\\")
            lines.append(f"[{'-' if values is None else ''}{REG_ROOTS[root]}\\{path}]")
            for name, value in (values or {}).items():
                data = "-" if value is None else f"dword:{value:08x}" if isinstance(value, int) else \
                    '"' + value.replace("\\", "\\\\").replace('"', '\\"') + '"'
                lines.append(("@" if name == "@" else f'"{name}"') + "=" + data)
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
