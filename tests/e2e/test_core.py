"""The core library inside real Windows processes: the debug log of a plain
run, fatal stops with their box and log entry, the leak report and the
program's two message boxes."""

import os
import re

import scenario
import winedriver as wd

FATAL_CAPTION = "Internal error..."


class DebugLog(scenario.Scenario):
    def packed(self, folder):
        """The uninstaller with a one-line script, alone in a folder of its own."""
        self.fresh_folder(folder)
        return self.place_packed_text("COMPANY NAME:Core\n", folder, "uninstall.exe")

    def test_spawned_run_writes_the_exact_log(self):
        exe = self.packed("Core")
        log = self.drive_c("Core", "debug.log")
        run = self.start(exe, ["-debug", "-Spawn"])
        self.assertEqual(0, run.wait(60))
        closing = "=" * 79 + "\n"
        expected = (
            "Tessel v0.33\n"
            "Uninstall Version 1.50 (Release)\n"
            "Cmdline '\"C:\\Core\\uninstall.exe\" -debug -Spawn' '-debug -Spawn'\n"
            "\n====[Memory Init]" + "=" * 62 + "\n"
            "Quickmemory Initialized (Disabled)\n"
            "Memory Initialized (Maximum)\n" + closing +
            "Flat/Fast File System Initialized...\n"
            "Company Name   : Core\n"
            "Product Name   : \n"
            "File Count     : 0\n"
            "Install Path   :  []\n"
            "Flat/Fast File System Removed...\n"
            "\n====[Memory Remove]" + "=" * 60 + "\n"
            "Maximum Memory in use (32 / 3k)\n" + closing +
            "Successful Exit...\n")
        self.assertEqual(scenario.crlf(expected), self.read_bytes(log))

    def test_without_options_no_log_is_written(self):
        exe = self.packed("Quiet")
        run = self.start(exe, ["-Spawn"])
        self.assertEqual(0, run.wait(60))
        self.assertEqual(["uninstall.exe"], os.listdir(os.path.dirname(exe)))


class FatalStops(scenario.Scenario):
    """Each case shows the box with the entry's text, writes the entry and exits with 1."""

    CASES = [
        ("null-pointer", r"ASSERT:Pointer is NULL\.\.\.\n       \(src/core/text\.cpp/\d+\)\n"),
        ("abort", r"ABORT: Couldn't init install\n       \(tests/win32/core_probe\.cpp/\d+\)\n"),
        ("guard-before", r"ABORT: Memory corrupt before \(5\)\n       \(tests/win32/core_probe\.cpp/\d+\)\n"),
        ("guard-after", r"ABORT: Memory corrupt after \(5\)\n       \(tests/win32/core_probe\.cpp/\d+\)\n"),
        ("double-free", r"ABORT: No Memory address to free \(5 / 16\)\n       \(tests/win32/core_probe\.cpp/\d+\)\n"),
        ("bad-size", r"ABORT: Invalid Memory Size \(0\)\n       \(tests/win32/core_probe\.cpp/\d+\)\n"),
        ("limit", r"ABORT: Memory exceeds limit \(\(0 \+ 268435464\) / 268435455\)\n"
                  r"       \(tests/win32/core_probe\.cpp/\d+\)\n"),
        ("no-memory", r"ABORT: No Memory available \(2147483632 / 2147483640\)\n"
                      r"       \(tests/win32/core_probe\.cpp/\d+\)\n"),
        ("long-entry", r"ABORT: Last string too large \(4999 > 4096\)\n       \(Unknown/0\)\n"),
    ]

    def test_each_fatal_stop(self):
        exe = self.place(scenario.env_path("CORE_PROBE_EXE"), "Probe", "core_probe.exe")
        log = self.drive_c("Probe", "debug.log")
        for case, entry in self.CASES:
            with self.subTest(case):
                run = self.start(exe, [case, "-debug"], name="fatal-" + case)
                box = wd.wait_box(run, FATAL_CAPTION)
                self.assertRegex(box.text, "^" + entry + "$")
                wd.answer(box, "Return")
                self.assertEqual(1, run.wait(30))
                written = self.read_bytes(log).decode("latin-1")
                self.assertRegex(written, "\r\n\r\n" + entry.replace(r"\n", r"\r\n") + "$")
                self.assertNotIn("Maximum Memory in use", written)
                self.prefix.wait_idle(30)

    def test_fatal_stop_with_logging_off_still_shows_the_box(self):
        folder = self.fresh_folder("ProbeQuiet")
        exe = self.place(scenario.env_path("CORE_PROBE_EXE"), "ProbeQuiet", "core_probe.exe")
        run = self.start(exe, ["abort"])
        box = wd.wait_box(run, FATAL_CAPTION)
        self.assertTrue(box.text.startswith("ABORT: Couldn't init install\n"))
        wd.answer(box, "Return")
        self.assertEqual(1, run.wait(30))
        self.assertEqual(["core_probe.exe"], os.listdir(folder))


class Reports(scenario.Scenario):
    def test_a_leak_is_reported_in_bytes(self):
        exe = self.place(scenario.env_path("CORE_PROBE_EXE"), "Leak", "core_probe.exe")
        run = self.start(exe, ["leak", "-debug"])
        self.assertEqual(0, run.wait(30))
        written = self.read_bytes(self.drive_c("Leak", "debug.log"))
        self.assertIn(b"Maximum Memory in use (1 / 0k)\r\nNot all memory was free'd (1 / 12b)\r\n", written)


class MessageBoxes(scenario.Scenario):
    def test_notify_uses_the_default_caption(self):
        exe = self.place(scenario.env_path("CORE_PROBE_EXE"), "Boxes", "core_probe.exe")
        run = self.start(exe, ["notify"])
        box = wd.wait_box(run, "Uninstall problem...")
        self.assertEqual("Notice text", box.text)
        wd.answer(box, "Return")
        self.assertEqual(0, run.wait(30))

    def test_confirm_is_true_unless_the_answer_is_no(self):
        exe = self.place(scenario.env_path("CORE_PROBE_EXE"), "Boxes", "core_probe.exe")
        for key, code in (("y", 10), ("n", 11)):
            with self.subTest(key):
                run = self.start(exe, ["confirm"], name="confirm-" + key)
                box = wd.wait_box(run, "Uninstall...")
                self.assertEqual("Question text?", box.text)
                wd.answer(box, key)
                self.assertEqual(code, run.wait(30))
                self.prefix.wait_idle(30)


if __name__ == "__main__":
    scenario.main()
