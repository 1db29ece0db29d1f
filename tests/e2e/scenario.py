"""What the scenarios share: the paths CTest hands over, the prefix, a log file per run."""

import os
import re
import shutil
import struct
import subprocess
import unittest

import winedriver as wd

SOURCE_DIR = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")
SAMPLE = os.path.join(SOURCE_DIR, "samples", "sample-product.txt")
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
    """How a normal run ends its log; the peak in k is pinned for the 32-bit build only."""
    kilobytes = kilobytes if wd.WINEARCH == "win32" else "N"
    return ("\n====[Memory Remove]" + "=" * 60 + "\n"
            f"Maximum Memory in use ({blocks} / {kilobytes}k)\n" + "=" * 79 + "\nSuccessful Exit...\n")


def certificate_table(data):
    """(where the security directory's entry is, the certificate table's offset, its size)."""
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    entry = pe + 24 + (96 if struct.unpack_from("<H", data, pe + 24)[0] == 0x10B else 112) + 32
    return (entry, *struct.unpack_from("<II", data, entry))


def any_kilobytes(log):
    """The peak in k follows the script's size; everything else is exact."""
    return re.sub(r"(Maximum Memory in use \(\d+ / )\d+(k\))", r"\1N\2", log)


HIVES = {"HKCU": "HKEY_CURRENT_USER", "HKLM": "HKEY_LOCAL_MACHINE", "HKCR": "HKEY_CLASSES_ROOT",
         "HKU": "HKEY_USERS"}


def reg_text(text):
    """A name or a string as a .reg file quotes it."""
    return '"' + text.replace("\\", "\\\\").replace('"', '\\"') + '"'


class Scenario(unittest.TestCase):
    """Each test starts from an idle prefix and must leave no program behind. Wine stays up
    between the programs of a class and ends with it: the prefix is left with no process."""

    signing = False  # place_packed signs the program, as makers do

    @classmethod
    def setUpClass(cls):
        cls.prefix, cls.logs = wd.WinePrefix(env_path("E2E_PREFIX")), env_path("E2E_LOGS")
        os.makedirs(cls.logs, exist_ok=True)
        cls.prefix.keep_warm()

    @classmethod
    def tearDownClass(cls):
        cls.prefix.stop(60)

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
        """The uninstaller packed with a readable script (or `text`), in drive C (unix path)."""
        if text is not None:
            script = os.path.join(self.logs, "-".join(parts) + ".script.txt")
            with open(script, "w") as f:
                f.write(text)
        target = self.drive_c(*parts)
        os.makedirs(os.path.dirname(target), exist_ok=True)
        r = subprocess.run([os.path.join(env_path("HOST_BUILD_DIR"), "tools", "ffspack", "ffspack"), "pack",
                            "--stub", env_path("UNINSTALL_EXE"), "--script", script, "-o", target,
                            *(["--sign-command", self.sign_command()] if self.signing else [])],
                           capture_output=True, text=True, timeout=60)
        self.assertEqual(0, r.returncode, f"ffspack: {r.stderr}")
        return target

    def signing_file(self, name):
        return os.path.join(self.logs, "signing", name)

    def sign_command(self):
        """The maker's signing command: osslsigncode, with a certificate made for these tests."""
        script = self.signing_file("sign.sh")
        if not os.path.exists(script):
            os.makedirs(os.path.dirname(script), exist_ok=True)
            key, certificate = self.signing_file("key.pem"), self.signing_file("certificate.pem")
            subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key,
                            "-out", certificate, "-subj", "/CN=Acme Widgets", "-days", "2"],
                           check=True, capture_output=True, timeout=60)
            with open(script, "w") as f:
                f.write(f'osslsigncode sign -certs "{certificate}" -key "{key}" -h sha256 -in "$1" '
                        '-out "$1.signed" >/dev/null && mv -f "$1.signed" "$1"\n')
        return f'sh "{script}" %1'

    def assert_signed(self, path):
        """osslsigncode verifies the file, and no byte follows its certificate table."""
        r = subprocess.run(["osslsigncode", "verify", "-CAfile", self.signing_file("certificate.pem"), path],
                           capture_output=True, text=True, timeout=60)
        self.assertEqual(0, r.returncode, r.stdout + r.stderr)
        data = self.read_bytes(path)
        _, table, size = certificate_table(data)
        self.assertEqual(len(data), table + size, "bytes behind the certificate table")
        return data

    def start(self, exe, args=(), name=None, channels=None):
        log = os.path.join(self.logs, (name or self.id().rsplit(".", 1)[1]) + ".log")
        return wd.start(self.prefix, exe, list(args), channels=channels, log=log)

    def run_answered(self, exe, arguments, name, boxes=(), code=0, answered=None):
        """Runs exe through `boxes` [(caption, text or re.Pattern, key)], then `answered`."""
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
        """`keys`: {key: {value ("@": the default): data, None deletes it}, or None: delete}, in
        one import (a key that is given values is made if need be)."""
        lines = ["Windows Registry Editor Version 5.00"]
        for key, values in keys.items():
            root, _, path = key.partition("\\")
            key = HIVES.get(root.upper(), root) + "\\" + path
            lines += ["", f"[-{key}]"] if values is None else ["", f"[{key}]"] * bool(values)
            lines += [("@" if name == "@" else reg_text(name)) + "=" + (
                "-" if value is None else f"dword:{value:08x}" if isinstance(value, int) else reg_text(value))
                for name, value in (values or {}).items()]
        # UTF-16 with its byte-order mark: regedit reads any other file in the ANSI code page.
        reg = os.path.join(self.logs, "registry.reg")
        with open(reg, "w", encoding="utf-16", newline="\r\n") as f:
            f.write("\n".join(lines) + "\n")
        self.prefix.reg_import(reg)

    def key_exists(self, key):
        return self.prefix._tool([wd.WINE, "reg", "query", key], 60, check=False).returncode == 0

    @staticmethod
    def read_bytes(path):
        with open(path, "rb") as f:
            return f.read()


def main():
    unittest.main(verbosity=2)
