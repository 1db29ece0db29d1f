"""The core library inside a real Windows process (tests/win32/core_probe.cpp):
fatal stops with their box, log entry and exit code, the leak report, and the
program's two message boxes."""

import os
import shutil

import scenario
import winedriver as wd

FATAL, PROBLEM, ASK = "Internal error...", "Uninstall problem...", "Uninstall..."
AT = r"\n       \(tests/win32/core_probe\.cpp/\d+\)\n"
# (arguments, the entry as a pattern) of the fatal stops written to the log; the other
# memory stops differ only in their text, which core_test.cpp checks on the host.
FATAL_STOPS = [
    ("null-pointer -debug", r"ASSERT:Pointer is NULL\.\.\.\n       \(src/core/text\.cpp/\d+\)\n"),
    ("abort -debug", r"ABORT: Couldn't init install" + AT),
    ("guard-before -debug", r"ABORT: Memory corrupt before \(5\)" + AT),
    ("limit -debug", r"ABORT: Memory exceeds limit \(\(0 \+ 268435464\) / 268435455\)" + AT),
    ("long-entry -debug", r"ABORT: Last string too large \(4999 > 4096\)\n       \(Unknown/0\)\n"),
]
# (arguments, caption of the box or None, its text as a pattern, key, exit code,
#  a pattern in debug.log, or None when no log may be written)
OTHERS = [
    ("abort", FATAL, r"ABORT: Couldn't init install" + AT, "Return", 1, None),
    ("leak -debug", None, None, None, 0,
     r"Maximum Memory in use \(1 / 0k\)\r\nNot all memory was free'd \(1 / 12b\)\r\n"),
    ("notify", PROBLEM, "Notice text", "Return", 0, None),
    ("confirm", ASK, r"Question text\?", "y", 10, None),
    ("confirm", ASK, r"Question text\?", "n", 11, None),
]


class Core(scenario.Scenario):
    def test_fatal_stops_reports_and_boxes(self):
        folder = self.fresh_folder("Probe")
        exe = shutil.copy(scenario.env_path("CORE_PROBE_EXE"), folder)
        log = os.path.join(folder, "debug.log")
        # A fatal stop shows its entry in the box, closes the log with it (no memory
        # report after it) and exits with 1.
        cases = [(a, FATAL, t, "Return", 1, "\r\n\r\n" + t.replace(r"\n", r"\r\n") + "$")
                 for a, t in FATAL_STOPS]
        for number, (arguments, caption, text, key, code, ending) in enumerate(cases + OTHERS):
            with self.subTest(arguments):
                if os.path.exists(log):
                    os.remove(log)
                run = self.start(exe, arguments.split(), name=f"{number}-{arguments.split()[0]}")
                if caption:
                    box = wd.wait_box(run, caption)
                    self.assertRegex(box.text, "^" + text + "$")
                    wd.answer(box, key)
                self.assertEqual(code, run.wait(30))
                self.assertEqual([caption] if caption else [], [b.caption for b in run.boxes()])
                if ending is None:
                    self.assertEqual(["core_probe.exe"], os.listdir(folder))
                else:
                    self.assertRegex(scenario.read_log(log), ending)
                self.prefix.wait_idle(30)


if __name__ == "__main__":
    scenario.main()
