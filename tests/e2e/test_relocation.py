"""Relocation under Wine: the process that the user starts copies itself to
the temporary folder, starts the copy with "-Spawn" and its own arguments,
and exits; the copy does the run and leaves its own log beside itself."""

import glob
import os
import re

import scenario

# What a run of the uninstaller with a one-line script writes between its
# command line and its closing line.
SCRIPT = "COMPANY NAME:Reloc\n"
RUN_LINES = (
    "\n====[Memory Init]" + "=" * 62 + "\n"
    "Quickmemory Initialized (Disabled)\n"
    "Memory Initialized (Maximum)\n" + "=" * 79 + "\n"
    "Flat/Fast File System Initialized...\n"
    "Company Name   : Reloc\n"
    "Product Name   : \n"
    "File Count     : 0\n"
    "Install Path   :  []\n"
    "Flat/Fast File System Removed...\n"
    "\n====[Memory Remove]" + "=" * 60 + "\n"
    "Maximum Memory in use (32 / 3k)\n" + "=" * 79 + "\n")


class Relocation(scenario.Scenario):
    def copies_in_temp(self):
        return set(glob.glob(self.drive_c("users", "*", "Temp", "Del*.exe")))

    def relocate(self, name):
        """Runs the installed program with -debug; returns the copy's Windows path."""
        exe = self.place_packed_text(SCRIPT, "Reloc", "uninstall.exe")
        log = self.drive_c("Reloc", "debug.log")
        run = self.start(exe, ["-debug"], name=name)
        self.assertEqual(0, run.wait(60))
        self.prefix.wait_idle(60)

        written = self.read_bytes(log).decode("latin-1")
        match = re.fullmatch(
            r"Tessel v0\.33\r\n"
            r"Uninstall Version 1\.50 \(Release\)\r\n"
            r"Cmdline '\"C:\\Reloc\\uninstall\.exe\" -debug' '-debug'\r\n"
            r"Copy: C:\\Reloc\\uninstall\.exe -> "
            r"(C:\\users\\[^\\]+\\Temp\\Del[0-9A-Fa-f]{1,4}\.exe)\r\n"
            r"Exec: \"(.*)\" -Spawn -debug \(0x[0-9A-F]{8}\)\r\n"
            r"Successful Exit\.\.\.\r\n", written)
        self.assertIsNotNone(match, written)
        copy = match.group(1)
        self.assertEqual(copy, match.group(2))

        copy_file = self.prefix.unix_path(copy)
        self.assertEqual(self.read_bytes(exe), self.read_bytes(copy_file))
        expected = (
            "Tessel v0.33\n"
            "Uninstall Version 1.50 (Release)\n"
            f"Cmdline '\"{copy}\" -Spawn -debug' '-Spawn -debug'\n"
            + RUN_LINES +
            "Successful Exit...\n")
        copy_log = os.path.join(os.path.dirname(copy_file), "debug.log")
        self.assertEqual(scenario.crlf(expected), self.read_bytes(copy_log))
        return copy_file

    def test_the_copy_runs_from_the_temporary_folder(self):
        before = self.copies_in_temp()
        copy = self.relocate("first")
        self.assertEqual({copy}, self.copies_in_temp() - before)
        self.assertFalse(os.path.exists(copy[:-4] + ".tmp"))

    def test_two_runs_leave_two_copies(self):
        first = self.relocate("run-1")
        second = self.relocate("run-2")
        self.assertNotEqual(first, second)
        self.assertTrue(os.path.exists(first))
        self.assertTrue(os.path.exists(second))

    def test_the_installer_registration_runs_in_place(self):
        before = self.copies_in_temp()
        exe = self.place_packed_text(SCRIPT, "InPlace", "uninstall.exe")
        run = self.start(exe, ["-instreg", "-debug"])
        self.assertEqual(0, run.wait(60))
        self.prefix.wait_idle(60)
        expected = (
            "Tessel v0.33\n"
            "Uninstall Version 1.50 (Release)\n"
            "Cmdline '\"C:\\InPlace\\uninstall.exe\" -instreg -debug' '-instreg -debug'\n"
            + RUN_LINES +
            "Successful Exit...\n")
        written = self.read_bytes(self.drive_c("InPlace", "debug.log"))
        self.assertEqual(scenario.crlf(expected), written)
        self.assertEqual(before, self.copies_in_temp())


if __name__ == "__main__":
    scenario.main()
