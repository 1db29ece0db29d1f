"""Real Windows processes under Wine: the core library inside tests/win32/core_probe.cpp
(fatal stops with their box, log entry and exit code, the leak report, the program's two
message boxes); the uninstaller behind a damaged archive or with a script command the table
lacks (the box, the exact log, no product file deleted); components that fail to register."""

import os
import re
import shutil
import struct

import scenario
from scenario import any_kilobytes, closing, crlf, opening, read_log

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
DAMAGED = "The installation file has been damaged, please download a new copy."
PRODUCT_FILES = ["studio.exe", "readme.txt", os.path.join("help", "studio.hlp")]


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
                self.run_answered(exe, arguments.split(), f"{number}-{arguments.split()[0]}",
                                  [(caption, re.compile(text), key)] if caption else [], code)
                if ending is None:
                    self.assertEqual(["core_probe.exe"], os.listdir(folder))
                else:
                    self.assertRegex(read_log(log), ending)


class Archive(scenario.Scenario):
    def test_each_damage_shows_the_box_logs_its_line_and_deletes_nothing(self):
        # The archive reader's other damages are read as files by the script tests.
        stub = self.read_bytes(scenario.env_path("UNINSTALL_EXE"))
        packed = self.read_bytes(self.place_packed(scenario.SAMPLE, "Packed", "uninstall.exe"))
        tag, trailer = len(stub), struct.unpack("<I", stub[-4:])[0]
        proper = "FFS Does not contain proper tag (Read {} from {})!!!\n"
        # The packer refuses unknown keywords, so one is made in the packed file:
        # a stored byte xor-ed with d changes the descrambled byte by d too.
        corrupted = bytearray(self.read_bytes(self.place_packed(
            None, "Packed", "corrupted.exe", text="COMPANY NAME:Acme Widgets\nPRODUCT NAME:Widget Studio\n")))
        corrupted[tag + 4 + len(b"\x16COMPANY NAME:Acme Widgets\r\n\x16PRODUC")] ^= ord("T") ^ ord("E")
        # (name, file name, bytes, box text, log lines after the opening, end of the log)
        for name, exe_name, data, text, lines, end in [
                # Whatever the program image happens to end with.
                ("no-archive", "uninstall.exe", stub, DAMAGED,
                 "File '{path}' doesn't contain FFS data!\n" if trailer == 0 or trailer >= len(stub)
                 else proper.format(trailer, len(stub) - 4), closing(29, 1)),
                ("wrong-tag", "uninstall.exe", packed[:tag] + b"FFS!" + packed[tag + 4:], DAMAGED,
                 proper.format(tag, len(packed) - 4), closing(29, 1)),
                # An own path without .exe is completed before it is opened.
                ("renamed", "uninstall.bin", packed, DAMAGED, "Couldn't open flat file '{path}.exe'!\n",
                 closing(29, 1)),
                ("corrupted", "uninstall.exe", bytes(corrupted), "Installation script corrupted!",
                 "Flat/Fast File System Initialized...\nUnknown script command 'PRODUCE NAME'\n"
                 "Script failed somewhere\n", closing(32))]:
            with self.subTest(name):
                folder = self.fresh_folder("Damaged")
                for product_file in PRODUCT_FILES + [exe_name]:
                    os.makedirs(os.path.dirname(os.path.join(folder, product_file)), exist_ok=True)
                    with open(os.path.join(folder, product_file), "wb") as f:
                        f.write(data if product_file == exe_name else b"product file\n")
                self.run_answered(os.path.join(folder, exe_name), ["-debug", "-Spawn"], name,
                                  [(PROBLEM, text, "Return")])
                path = "C:\\Damaged\\" + exe_name
                log = read_log(os.path.join(folder, "debug.log"))
                self.assertEqual(crlf(opening(path, "-debug -Spawn") + lines.format(path=path) +
                                      "Flat/Fast File System Removed...\n" + end),
                                 any_kilobytes(log) if "/ Nk)" in end else log)
                for product_file in PRODUCT_FILES:
                    self.assertTrue(os.path.exists(os.path.join(folder, product_file)), product_file)

    def test_component_failures_are_logged_and_the_run_goes_on(self):
        folder = self.fresh_folder("Parts")
        shutil.copyfile(scenario.env_path("COMPONENT_PROBE_DLL"), os.path.join(folder, "fails.dll"))
        open(os.path.join(folder, "fails.dll.fail"), "w").close()
        exe = self.place_packed(None, "Parts", "uninstall.exe", text=(
            "COMPANY NAME:Acme\nPRODUCT NAME:Parts\nOLE:REGISTER\t$3fails.dll\n"
            "OLE:register\t$3missing.dll\nOLE:REGISTER\t$2version.dll\nOLE:UNREGISTER\t$3fails.dll\n"))
        self.run_answered(exe, ["-debug", "-Spawn"], "parts")
        with open(os.path.join(folder, "fails.dll.calls")) as f:
            self.assertEqual(["DllUnregisterServer", "DllRegisterServer"], f.read().split())
        p, s, log = "C:\\Parts\\", "C:\\windows\\system32\\", read_log(os.path.join(folder, "debug.log"))
        self.assertIn(
            f"OLE: REGISTER '{p}fails.dll'\r\nFailed in executing entry point from '{p}fails.dll'\r\n"
            f"OLE: register '{p}missing.dll'\r\nError attempting to load '{p}missing.dll' (0x0000007E)\r\n"
            f"OLE: REGISTER '{s}version.dll'\r\nCouldn't get entry point from '{s}version.dll'\r\n", log)
        self.assertIn(f"OLE: UNREGISTER '{p}fails.dll'\r\nFailed in executing entry point from '{p}fails.dll'"
                      "\r\nCompany Name   : Acme\r\n", log)


if __name__ == "__main__":
    scenario.main()
