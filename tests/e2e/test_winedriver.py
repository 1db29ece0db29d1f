"""Self-test of the Wine test-bed driver, using the message-box probe.

    python3 tests/e2e/test_winedriver.py --exe msgbox_probe.exe --prefix DIR [--logs DIR] [unittest args]

or with WINEDRIVER_PROBE_EXE, WINEDRIVER_PREFIX and WINEDRIVER_LOGS set.
Needs an X display: run it under tests/e2e/with-display.sh or xvfb-run.
"""

import argparse
import os
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import winedriver as wd  # noqa: E402

ARGS = None


class WineDriverTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        if not os.environ.get("DISPLAY"):
            raise RuntimeError("no DISPLAY: run under tests/e2e/with-display.sh or xvfb-run")
        cls.prefix = wd.WinePrefix(ARGS.prefix)
        t = time.monotonic()
        built = cls.prefix.ensure()
        print(f"\nprefix {'built' if built else 'reused'} in {time.monotonic() - t:.1f} s", file=sys.stderr)
        cls.logs = ARGS.logs or tempfile.mkdtemp(prefix="winedriver-logs-")
        os.makedirs(cls.logs, exist_ok=True)

    def tearDown(self):
        self.prefix.wait_idle(30)
        self.assertEqual(self.prefix.processes(), [])

    def probe(self, caption, text, *extra):
        log = os.path.join(self.logs, self.id().rsplit(".", 1)[1] + ".log")
        return wd.start(self.prefix, ARGS.exe, [caption, text, *extra], log=log)

    def test_two_line_text_and_yes(self):
        t = time.monotonic()
        run = self.probe("Driver Test", "First line\\nSecond line")
        box = wd.wait_box(run, "Driver Test", timeout=30)
        self.assertEqual(box.caption, "Driver Test")
        self.assertEqual(box.text, "First line\nSecond line")
        self.assertFalse(box.truncated)
        wd.answer(box, "y")
        self.assertEqual(run.wait(10), 6)  # IDYES
        print(f"box round trip {time.monotonic() - t:.2f} s", file=sys.stderr)
        self.assertIn('MSGBOX_OnInit L"First line\\nSecond line"', run.stderr_text())
        with open(run.log) as f:
            self.assertIn("MSGBOX_OnInit", f.read())

    def test_escaped_text_and_no(self):
        # Quotes, a backslash and a non-ASCII letter come out of Wine's trace escaped.
        run = self.probe("Escapes", 'Say "yes"? C:\\Temp \u00e9t\u00e9')
        box = wd.wait_box(run, "Escapes")
        self.assertEqual(box.text, 'Say "yes"? C:\\Temp \u00e9t\u00e9')
        wd.answer(box, "n")
        self.assertEqual(run.wait(10), 7)  # IDNO

    def test_return_takes_default_button(self):
        run = self.probe("Default Button", "Press Return")
        wd.answer(wd.wait_box(run, "Default Button"), "Return")
        self.assertEqual(run.wait(10), 6)

    def test_box_of_child_process(self):
        # The parent starts a copy of itself and exits at once; the copy shows the box.
        run = self.probe("Relocated", "Shown by the copy", "spawn")
        self.assertEqual(run.wait(10), 0)
        box = wd.wait_box(run, "Relocated")
        self.assertEqual(box.text, "Shown by the copy")
        wd.answer(box, "n")

    def test_long_text_is_cut_by_wine(self):
        text = "0123456789" * 40
        run = self.probe("Long", text)
        box = wd.wait_box(run, "Long")
        self.assertTrue(box.truncated)
        self.assertTrue(text.startswith(box.text) and len(box.text) > 250, box.text)
        wd.answer(box, "y")
        self.assertEqual(run.wait(10), 6)

    def test_window_helpers(self):
        run = self.probe("Helpers", "Click No")
        win = wd.wait_window(run, "Helpers", timeout=30)
        x, y, w, h = wd.geometry(win)
        self.assertTrue(w > 100 and h > 60, (w, h))
        shot = os.path.join(self.logs, "helpers.png")
        wd.screenshot(shot, win)
        with open(shot, "rb") as f:
            self.assertEqual(f.read(8), b"\x89PNG\r\n\x1a\n")
        # Wine lays out a two-button box with "No" right of centre on the bottom row.
        wd.click(win, w // 2 + 40, h - 24)
        wd.window_gone(win, 10)
        self.assertEqual(run.wait(10), 7)

        run = self.probe("Helpers", "Type y")
        win = wd.wait_window(run, "Helpers", timeout=30)
        wd.type_text(win, "y")
        wd.window_gone(win, 10)
        self.assertEqual(run.wait(10), 6)

    def test_timeout_fails_fast_and_cleans_up(self):
        run = self.probe("Actual Caption", "Nobody answers")
        wd.wait_box(run, "Actual Caption")
        t = time.monotonic()
        with self.assertRaises(wd.WineTestFailure) as caught:
            wd.wait_box(run, "Missing Caption", timeout=2)
        self.assertLess(time.monotonic() - t, 10)
        message = str(caught.exception)
        self.assertIn("no message box 'Missing Caption' within 2 s", message)
        self.assertIn("'Actual Caption'", message)  # among the visible windows
        self.assertIn("MSGBOX_OnInit", message)  # stderr tail
        self.assertEqual(self.prefix.processes(), [])
        self.assertIsNotNone(run.proc.poll())

        run = self.probe("Hung", "Nobody answers")
        with self.assertRaises(wd.WineTestFailure) as caught:
            run.wait(2)
        self.assertIn("still running after 2 s", str(caught.exception))
        self.assertEqual(self.prefix.processes(), [])

    def test_paths_and_registry(self):
        drive_c = os.path.join(self.prefix.path, "drive_c")
        self.assertEqual(self.prefix.windows_path(os.path.join(drive_c, "Program Files", "App")),
                         "C:\\Program Files\\App")
        self.assertEqual(self.prefix.unix_path("C:\\Program Files\\App"),
                         os.path.join(drive_c, "Program Files", "App"))
        self.assertEqual(self.prefix.windows_path("/tmp"), "Z:\\tmp")
        self.assertFalse(os.path.islink(os.path.join(drive_c, "users", os.environ.get("USER", "root"), "Desktop")))
        with tempfile.TemporaryDirectory() as tmp:
            reg = os.path.join(tmp, "t.reg")
            with open(reg, "w", newline="\r\n") as f:
                f.write('REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\WineDriverTest]\n'
                        '"Name"="Some App"\n"Count"=dword:0000002a\n"Dir"="C:\\\\Program Files\\\\App"\n')
            self.prefix.reg_import(reg)
        key = "HKCU\\Software\\WineDriverTest"
        self.assertEqual(self.prefix.reg_query(key, "Name"), "Some App")
        self.assertEqual(self.prefix.reg_query(key, "Count"), "0x2a")
        self.assertEqual(self.prefix.reg_query(key, "Dir"), "C:\\Program Files\\App")
        self.assertIsNone(self.prefix.reg_query(key, "Missing"))
        self.assertIsNone(self.prefix.reg_query(key + "\\Missing", "Name"))


def main():
    global ARGS
    parser = argparse.ArgumentParser()
    parser.add_argument("--exe", default=os.environ.get("WINEDRIVER_PROBE_EXE"))
    parser.add_argument("--prefix", default=os.environ.get("WINEDRIVER_PREFIX"))
    parser.add_argument("--logs", default=os.environ.get("WINEDRIVER_LOGS"))
    ARGS, rest = parser.parse_known_args()
    if not ARGS.exe or not ARGS.prefix:
        parser.error("--exe and --prefix (or WINEDRIVER_PROBE_EXE, WINEDRIVER_PREFIX) are required")
    ARGS.exe, ARGS.prefix = os.path.abspath(ARGS.exe), os.path.abspath(ARGS.prefix)
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)


if __name__ == "__main__":
    main()
