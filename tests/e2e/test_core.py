"""Real Windows processes under Wine: the core library inside tests/win32/core_probe.cpp
(fatal stops with their box, log entry and exit code, the program's two message boxes); the
uninstaller behind a damaged archive or with a script command the table lacks (the box, the
exact log, no product file deleted); components that fail to register; and the uninstall of
the sample product, installed as its installer would have left it, started as a user would:
its copy in the temporary folder asks, removes and reports through its real message boxes."""

import glob
import os
import re
import shutil
import struct

import product
import scenario
import winedriver as wd
from scenario import any_kilobytes, closing, crlf, opening, read_log

FATAL, PROBLEM, ASK = "Internal error...", "Uninstall problem...", "Uninstall..."
AT = r"\n       \(tests/win32/core_probe\.cpp/\d+\)\n"
# (arguments, the entry as a pattern) of the fatal stops written to the log; the memory
# stops and the leak report differ only in their text, which core_test.cpp checks.
FATAL_STOPS = [
    ("null-pointer -debug", r"ASSERT:Pointer is NULL\.\.\.\n       \(src/core/text\.cpp/\d+\)\n"),
    ("abort -debug", r"ABORT: Couldn't init install" + AT),
    ("limit -debug", r"ABORT: Memory exceeds limit \(\(0 \+ 268435464\) / 268435455\)" + AT),
    ("long-entry -debug", r"ABORT: Last string too large \(4999 > 4096\)\n       \(Unknown/0\)\n"),
]
# (arguments, caption of the box or None, its text as a pattern, key, exit code,
#  a pattern in debug.log, or None when no log may be written)
OTHERS = [
    ("abort", FATAL, r"ABORT: Couldn't init install" + AT, "Return", 1, None),
    ("notify", PROBLEM, "Notice text", "Return", 0, None),
    ("confirm", ASK, r"Question text\?", "y", 10, None),
    ("confirm", ASK, r"Question text\?", "n", 11, None),
    # With -Quiet no box at all: its words are in the log, a question is answered Yes.
    ("abort -Quiet -debug", None, None, None, 1, r"\r\n\r\nABORT: Couldn't init install" + AT.replace(r"\n", r"\r\n") + "$"),
    ("notify -Quiet -debug", None, None, None, 0, r"\nUninstall problem\.\.\. Notice text\r\n"),
    ("confirm -Quiet -debug", None, None, None, 10, r"\nUninstall\.\.\. Question text\? Yes\r\n"),
]
DONE, REGISTER = "Uninstaller...", "Acme Widgets Widget Studio Registration..."
QUESTION = "Are you sure you want to uninstall Acme Widgets Widget Studio?"
UNINSTALLED = "Acme Widgets Widget Studio has been uninstalled!"
EXCEPT = ("Acme Widgets Widget Studio has been uninstalled, except for these files, which could not be "
          "deleted:\n")
NOT_FOUND = "Unable to find previous installation; files could not be removed."
FOLDER = "C:\\Program Files\\Acme Widgets\\Widget Studio\\"
KEY, COMPANY_KEY = "Software\\Acme Widgets\\Widget Studio", "Software\\Acme Widgets"
COMPONENT = "$2widgets.ocx"
LOG = "Program Files/Acme Widgets/Widget Studio/debug.log"
SUMMARY = ("Company Name   : Acme Widgets\nProduct Name   : Widget Studio\nFile Count     : 8\n"
           f"Install Path   : {FOLDER} [Acme Widgets\\Widget Studio\\]\n"
           "Flat/Fast File System Removed...\n" + closing(33))
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
        # The reader's other damages (tags, trailers, cuts) are files to the script tests.
        stub = self.read_bytes(scenario.env_path("UNINSTALL_EXE"))
        packed = self.read_bytes(self.place_packed(scenario.SAMPLE, "Packed", "uninstall.exe"))
        tag, trailer = len(stub), struct.unpack("<I", stub[-4:])[0]
        proper = "FFS Does not contain proper tag (Read {} from {})!!!\n"
        # The packer refuses unknown keywords, so one is made in the packed file:
        # a stored byte xor-ed with d changes the descrambled byte by d too.
        corrupted = bytearray(self.read_bytes(self.place_packed(
            None, "Packed", "corrupted.exe", text="COMPANY NAME:Acme Widgets\nPRODUCT NAME:Widget Studio\n")))
        corrupted[tag + 4 + len(b"\x16COMPANY NAME:Acme Widgets\r\n\x16PRODUC")] ^= ord("T") ^ ord("E")
        # A signed program with its security directory or its trailer damaged.
        self.signing = True
        signed = self.assert_signed(self.place_packed(scenario.SAMPLE, "Packed", "signed.exe"))
        entry, table, size = scenario.certificate_table(signed)

        def damaged(offset, length, trailer=None):
            data = bytearray(signed)
            struct.pack_into("<II", data, entry, offset, length)
            if trailer is not None:
                struct.pack_into("<I", data, table - 4, trailer)
            return bytes(data)
        broken = "File '{path}' has a damaged certificate table ("
        # (name, file name, bytes, box text, log lines after the opening, end of the log)
        for name, exe_name, data, text, lines, end in [
                # Whatever the program image happens to end with.
                ("no-archive", "uninstall.exe", stub, DAMAGED,
                 "File '{path}' doesn't contain FFS data!\n" if trailer == 0 or trailer >= len(stub)
                 else proper.format(trailer, len(stub) - 4), closing(30, 1)),
                # An own path without .exe is completed before it is opened.
                ("renamed", "uninstall.bin", packed, DAMAGED, "Couldn't open flat file '{path}.exe'!\n",
                 closing(30, 1)),
                ("corrupted", "uninstall.exe", bytes(corrupted), "Installation script corrupted!",
                 "Flat/Fast File System Initialized...\nUnknown script command 'PRODUCE NAME'\n"
                 "Script failed somewhere\n", closing(33)),
                ("signed-outside", "uninstall.exe", damaged(len(signed) + 8, 8), DAMAGED,
                 broken + f"8 bytes at {len(signed) + 8})!\n", closing(30, 1)),
                ("signed-past-its-end", "uninstall.exe", damaged(table, size + 8), DAMAGED,
                 broken + f"{size + 8} bytes at {table})!\n", closing(30, 1)),
                ("signed-over-the-archive", "uninstall.exe", damaged(table - 8, size + 8), DAMAGED,
                 broken + f"{size + 8} bytes at {table - 8})!\n", closing(30, 1)),
                ("signed-trailer-nowhere", "uninstall.exe", damaged(table, size, trailer=0), DAMAGED,
                 f"Signed: FFS ends at the certificate table ({size} bytes at {table})\n"
                 "File '{path}' doesn't contain FFS data!\n", closing(30, 1))]:
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
                if name.startswith("signed"):  # without a box: exit code 3
                    run = self.start(os.path.join(folder, exe_name), ["-Quiet", "-Spawn", "-debug"],
                                     name=name + "-quiet")
                    self.assertEqual(3, run.wait(60))
                    self.prefix.wait_idle(60)
                    self.assertIn(crlf(lines.format(path=path) + f"Uninstall problem... {DAMAGED}\n"
                                       "Flat/Fast File System Removed...\n"),
                                  read_log(os.path.join(folder, "debug.log")))

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


class Uninstall(scenario.Scenario):
    def temp(self, *parts):
        return os.path.join(glob.glob(self.drive_c("users", "*", "Temp"))[0], *parts)

    def uninstall(self, arguments, boxes, name, answered=None):
        """Runs the installed uninstaller through its boxes; returns the log of the process
        that did the work, whose copy in the temporary folder must be gone."""
        in_place = "-InstReg" in arguments
        log = os.path.join(os.path.dirname(self.product.uninstaller()), "debug.log") if in_place \
            else self.temp("debug.log")
        if os.path.exists(log):
            os.remove(log)
        self.run_answered(self.product.uninstaller(), arguments, name, boxes, answered=answered)
        self.assertEqual([], glob.glob(self.temp("Del*")), "no copy and no reserved name stays")
        if "-debug" not in arguments:
            return None
        log = read_log(log)
        copy = re.match(r"(?s).*?\nCmdline '\"([^\"]+)\"", log)
        self.copy = self.product.uninstaller() if in_place else self.prefix.unix_path(copy.group(1))
        return any_kilobytes(log)

    def quiet(self, exe, arguments, code, name):
        """Runs exe as a deployment script does: no box, and it returns only with the outcome."""
        run = self.start(exe, arguments, name=name)
        self.assertEqual(code, run.wait(120))
        return run

    def after_quiet(self, run):
        self.prefix.wait_idle(60)
        self.assertEqual([], run.boxes())
        self.assertEqual([], glob.glob(self.temp("Del*")), "no copy and no reserved name stays")

    def entry_exists(self):
        return self.prefix.reg_query(self.product.entry_key(), "DisplayName") is not None

    def assert_untouched(self):
        self.assertEqual(sorted(self.installed + [LOG]), self.product.remaining())
        self.assertEqual(["DllRegisterServer"], self.product.component_calls(COMPONENT))
        self.assertTrue(self.entry_exists())

    def test_no_or_no_product_removes_nothing_yes_removes_it_and_logs_every_step(self):
        self.packed = self.place_packed(scenario.SAMPLE, "packed-uninstall.exe")
        self.product = product.Product(self.prefix, scenario.SAMPLE)
        self.product.install(self.packed, scenario.env_path("COMPONENT_PROBE_DLL"))
        self.installed = self.product.remaining()
        group = self.prefix.windows_path(self.product.group_folder())
        log = self.uninstall(["-debug"], [(ASK, QUESTION, "n")], "no")
        # After a No the commands only store and log.
        self.assertEqual(crlf(opening(self.prefix.windows_path(self.copy), "-Spawn -debug") +
                              "Flat/Fast File System Initialized...\n$0 Translates to 'C:\\Program Files\\'\n"
                              f"Delete Group = '{group}'\n" + SUMMARY), log)
        # A registration reads the same script and asks first; No ends it there, before DONE
        # removes a shortcut. The installer's runs in place. (The update: test_network.py.)
        for option in ("-Register", "-InstReg"):
            log = self.uninstall([option, "-debug"], [(REGISTER, "Would you like to register Widget Studio now?",
                                                       "n")], option)
            path = self.prefix.windows_path(self.copy)
            self.assertTrue(log.startswith(crlf(opening(path, ("" if option == "-InstReg" else "-Spawn ")
                                                        + option + " -debug"))), log)
            self.assertIn("Company Name   : Acme Widgets\r\nProduct Name   : Widget Studio\r\n", log)
            self.assertTrue(log.endswith("Successful Exit...\r\n"), log)
        self.assert_untouched()
        # Without the product's key, or with a folder too long to read, nothing goes.
        self.prefix.reg_import(os.path.join(product.FIXTURES, "widget-studio-gone.reg"))
        self.uninstall([], [(ASK, QUESTION, "y"), (PROBLEM, NOT_FOUND, "Return")], "gone")
        self.prefix.reg_import(os.path.join(product.FIXTURES, "widget-studio-long-path.reg"))
        log = self.uninstall(["-debug"], [(ASK, QUESTION, "y"), (PROBLEM, NOT_FOUND, "Return")], "long")
        self.assertIn("Unable to get 'Install Path' string\r\n", log)
        self.assert_untouched()
        self.prefix.reg_import(os.path.join(product.FIXTURES, "widget-studio.reg"))
        self.yes_with_a_file_held_open_and_a_shortcut_of_the_user(group)

    def hold(self, held):
        """Another program holds `held` open until the returned call releases it."""
        ready, release = self.drive_c("held.ready"), self.drive_c("held.release")
        for mark in (ready, release):
            if os.path.exists(mark):
                os.remove(mark)
        holder = self.start(scenario.env_path("CORE_PROBE_EXE"),
                            ["hold"] + [self.prefix.windows_path(p) for p in (held, ready, release)],
                            name="holder", channels="-all")
        if not wd.until(lambda: os.path.exists(ready), 30):
            wd.fail(holder, f"{ready} did not appear within 30 s")

        def released():
            open(release, "w").close()
            self.assertEqual(0, holder.wait(60))
        return released

    def test_quiet_runs_show_nothing_wait_for_the_work_and_tell_its_outcome(self):
        packed = self.place_packed(scenario.SAMPLE, "packed-quiet.exe")
        self.product = product.Product(self.prefix, scenario.SAMPLE)
        probe, uninstaller = scenario.env_path("COMPONENT_PROBE_DLL"), self.product.uninstaller()
        self.product.install(packed, probe)
        installed = self.product.remaining()
        first_log = os.path.join(os.path.dirname(uninstaller), "debug.log")
        # Registration needs a person: nothing shown or sent.
        for option in ("-Register", "-InstReg"):
            self.after_quiet(self.quiet(uninstaller, [option, "-Quiet", "-debug"], 0, option))
            self.assertEqual(crlf(opening(FOLDER + "uninstall.exe", f"{option} -Quiet -debug").replace(
                scenario.MEMORY_INIT, "") + "Quiet: nothing shown, nothing sent\nSuccessful Exit...\n"),
                read_log(first_log))
        # No installation found: 2, nothing removed.
        self.prefix.reg_import(os.path.join(product.FIXTURES, "widget-studio-gone.reg"))
        self.after_quiet(self.quiet(uninstaller, ["-Quiet", "-debug"], 2, "gone"))
        self.assertIn(f"\r\nUninstall... {QUESTION} Yes\r\nUninstall problem... {NOT_FOUND}\r\n",
                      read_log(self.temp("debug.log")))
        self.assertEqual(sorted(installed + [LOG]), self.product.remaining())
        # A program without its archive: 3.
        stub = shutil.copy(scenario.env_path("UNINSTALL_EXE"), self.fresh_folder("Stub"))
        self.after_quiet(self.quiet(stub, ["-Quiet", "-debug"], 3, "stub"))
        self.assertIn(f"\r\nUninstall problem... {DAMAGED}\r\n", read_log(self.temp("debug.log")))
        # A file held by another program: 4, the rest removed, the held file named in the log.
        self.product.install(packed, probe)
        held = self.product.file("help\\studio.hlp")
        released = self.hold(held)
        run = self.quiet(uninstaller, ["-Quiet", "-debug"], 4, "held")
        released()
        self.after_quiet(run)
        log = read_log(self.temp("debug.log"))
        self.assertIn(crlf(f"Unable to delete file '{FOLDER}help\\studio.hlp'\n"), log)
        self.assertIn(crlf(f"Uninstaller... {EXCEPT}{FOLDER}help\\studio.hlp\n"), log)
        self.assertTrue(log.endswith(crlf(f"Delete file '{FOLDER}uninstall.exe'\nSuccessful Exit...\n")), log)
        kept = ["Program Files/Acme Widgets", "Program Files/Acme Widgets/Widget Studio",
                "Program Files/Acme Widgets/Widget Studio/help", os.path.relpath(held, self.drive_c()),
                "windows/system32/widgets.ocx"]
        self.assertEqual(sorted(kept + [LOG]), self.product.remaining())
        # An installer upgrading the product runs a copy of the old uninstaller in place and waits
        # for it itself (-Spawn, no -Waiting): the codes come straight back, and the installed
        # uninstaller, which is not the running file, goes in the walk like any other.
        setup = self.fresh_folder("Setup")
        copy = os.path.join(setup, "old-uninstall.exe")
        # (name, program, registry fixture, file held, exit code, what remains, the key's "Install Path")
        for name, exe, fixture, hold, code, remaining, install_path in [
                ("gone", packed, "widget-studio-gone.reg", None, 2, installed, None),
                ("stub", stub, None, None, 3, installed, FOLDER),
                ("held", packed, None, "help\\studio.hlp", 4, kept, FOLDER),
                ("clean", packed, None, None, 0, ["windows/system32/widgets.ocx"], None)]:
            with self.subTest(name):
                self.product.install(packed, probe, fixture or "widget-studio.reg")
                shutil.copyfile(exe, copy)
                released = self.hold(self.product.file(hold)) if hold else None
                run = self.quiet(copy, ["-Spawn", "-Quiet", "-debug"], code, "in-place-" + name)
                self.assertEqual(sorted(remaining), self.product.remaining())
                if released:
                    released()
                self.after_quiet(run)
                self.assertEqual(install_path, self.prefix.reg_query("HKCU\\" + KEY, "Install Path"))
                if code == 0:
                    log = read_log(os.path.join(setup, "debug.log"))
                    self.assertIn(crlf(f"Delete file '{FOLDER}uninstall.exe'\nDelete file '{FOLDER}studio.exe'\n"
                                       f"Deleting '{FOLDER}'\nDeleting 'C:\\Program Files\\Acme Widgets'\n"), log)
                    self.assertIn(crlf(f"Delete key '{KEY}'\nDelete key '{COMPANY_KEY}'\n"), log)
                    self.assertFalse(self.key_exists("HKCU\\" + COMPANY_KEY))

    def yes_with_a_file_held_open_and_a_shortcut_of_the_user(self, group):
        mine = os.path.join(self.product.group_folder(), "My notes.lnk")
        with open(mine, "w") as f:
            f.write("added by the user\n")
        held = self.product.file("help\\studio.hlp")
        released = self.hold(held)
        log = self.uninstall(["-debug"], [(ASK, QUESTION, "y"), (DONE, EXCEPT + FOLDER + "help\\studio.hlp",
                                                                  "Return")], "held", answered=released)
        # The first process wrote its log beside the installed file: it stays.
        folder = self.prefix.unix_path(FOLDER)
        copy = self.prefix.windows_path(self.copy)
        first = opening(FOLDER + "uninstall.exe", "-debug").replace(scenario.MEMORY_INIT, "")
        self.assertRegex(read_log(os.path.join(folder, "debug.log")), "^" + re.escape(
            crlf(first + f'Copy: {FOLDER}uninstall.exe -> {copy}\nDelete on close: {copy}\n'
                         f'Exec: "{copy}" -Spawn -debug (0x')) + r"[0-9A-F]{8}\)\r\nSuccessful Exit\.\.\.\r\n$")
        f = FOLDER
        deleted = "".join(f"Delete file '{f}{name}'\n" + "".join(line + "\n" for line in after)
                          for name, after in [
                              ("readme.txt", []), ("license.txt", []),
                              ("help\\studio.hlp", [f"Unable to delete file '{f}help\\studio.hlp'"]),
                              ("help\\tutorial.txt", []), ("plugins\\shapes.dll", []),  # help keeps the held
                              ("plugins\\colors\\palette.dat",
                               [f"Deleting '{f}plugins\\colors\\'", f"Deleting '{f}plugins'"]),
                              ("samples\\gear.wdg", []), ("samples\\spring.wdg", [f"Deleting '{f}samples\\'"]),
                              ("uninstall.exe", []), ("studio.exe", [])])
        items = "".join(f"Delete Item = 'Acme Widgets Widget Studio' : '{name}' ('{target}' / '{args}')\n"
                        f"Delete file '{group}\\{name}.lnk'\n" for target, args, name in self.product.items)
        self.assertEqual(crlf(opening(copy, "-Spawn -debug") + "Flat/Fast File System Initialized...\n"
                              "$0 Translates to 'C:\\Program Files\\'\n" + deleted +
                              f"Delete Group = '{group}'\n" + items +
                              "OLE: REGISTER 'C:\\windows\\system32\\widgets.ocx'\n" + SUMMARY), log)
        drive = self.drive_c()
        self.assertEqual(sorted([LOG, "Program Files/Acme Widgets", "Program Files/Acme Widgets/Widget Studio",
                                 "Program Files/Acme Widgets/Widget Studio/help", os.path.relpath(held, drive),
                                 os.path.relpath(self.product.group_folder(), drive),
                                 os.path.relpath(mine, drive), "windows/system32/widgets.ocx"]),
                         self.product.remaining())
        self.assertEqual(["DllRegisterServer", "DllUnregisterServer"], self.product.component_calls(COMPONENT))
        self.assertFalse(self.entry_exists())
        self.assertEqual(FOLDER, self.prefix.reg_query("HKCU\\" + KEY, "Install Path"),
                         "the key stays while files do")


if __name__ == "__main__":
    scenario.main()
