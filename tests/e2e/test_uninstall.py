"""The uninstall run from end to end under Wine: the sample product installed as
its installer would have left it, the installed uninstaller started as a user
would, its copy in the temporary folder asking, removing and reporting through
its real message boxes; and the runs that must remove nothing."""

import glob
import os
import re
import shutil

import product
import scenario
import winedriver as wd
from scenario import any_kilobytes, closing, crlf, opening, read_log

SAMPLE = os.path.join(scenario.SOURCE_DIR, "samples", "sample-product.txt")
ASK, PROBLEM, DONE = "Uninstall...", "Uninstall problem...", "Uninstaller..."
QUESTION = "Are you sure you want to uninstall Acme Widgets Widget Studio?"
UNINSTALLED = "Acme Widgets Widget Studio has been uninstalled!"
NOT_FOUND = "Unable to find previous installation; files could not be removed."
FOLDER = "C:\\Program Files\\Acme Widgets\\Widget Studio\\"
COMPONENT = "$2widgets.ocx"
SUMMARY = ("Company Name   : Acme Widgets\nProduct Name   : Widget Studio\nFile Count     : 8\n"
           f"Install Path   : {FOLDER} [Acme Widgets\\Widget Studio\\]\n"
           "Flat/Fast File System Removed...\n" + closing(32))


class UninstallScenario(scenario.Scenario):
    def setUp(self):
        self.packed = os.path.join(self.logs, "packed-uninstall.exe")  # a rebuilt stub is tested
        scenario.ffspack("pack", "--stub", scenario.env_path("UNINSTALL_EXE"), "--script", SAMPLE,
                         "-o", self.packed)
        self.product = product.Product(self.prefix, SAMPLE)
        self.product.install(self.packed, scenario.env_path("COMPONENT_PROBE_DLL"))
        self.installed = self.product.remaining()

    def copies(self):
        return set(glob.glob(self.drive_c("users", "*", "Temp", "Del*.exe")))

    def uninstall(self, arguments, boxes, name=None, answered=lambda: None):
        """Runs the installed uninstaller, answers `boxes` [(caption, text, key)] in turn and
        checks that it showed no other; calls `answered` then; returns the log of the process
        that did the work."""
        before = self.copies()
        run = self.start(self.product.uninstaller(), arguments, name=name)
        for caption, text, key in boxes:
            box = wd.wait_box(run, caption, timeout=60)
            self.assertEqual(text, box.text)
            wd.answer(box, key)
        answered()
        self.assertEqual(0, run.wait(60))
        self.prefix.wait_idle(60)
        self.assertEqual([(c, t) for c, t, _ in boxes], [(b.caption, b.text) for b in run.boxes()])
        copies = self.copies() - before  # a new name each time: earlier copies stay
        self.assertEqual(0 if "-InstReg" in arguments else 1, len(copies), copies)
        self.copy = copies.pop() if copies else self.product.uninstaller()
        self.assertFalse(os.path.exists(self.copy[:-4] + ".tmp"))
        log = os.path.join(os.path.dirname(self.copy), "debug.log")
        return any_kilobytes(read_log(log)) if "-debug" in arguments else None

    def entry_exists(self):
        return self.prefix.reg_query(self.product.entry_key(), "DisplayName") is not None

    def assert_untouched(self, *extra):
        self.assertEqual(sorted(self.installed + list(extra)), self.product.remaining())
        self.assertEqual(["DllRegisterServer"], self.product.component_calls(COMPONENT))


class Uninstall(UninstallScenario):
    def test_yes_removes_the_product_and_logs_every_step(self):
        self.assertEqual(["DllRegisterServer"], self.product.component_calls(COMPONENT))
        log = self.uninstall(["-debug"], [(ASK, QUESTION, "y"), (DONE, UNINSTALLED, "Return")])
        # The first process wrote its log beside the installed file: it stays.
        folder = self.prefix.unix_path(FOLDER)
        self.assertEqual(["debug.log"], os.listdir(folder))
        copy = self.prefix.windows_path(self.copy)
        first = opening(FOLDER + "uninstall.exe", "-debug").replace(scenario.MEMORY_INIT, "")
        self.assertRegex(read_log(os.path.join(folder, "debug.log")), "^" + re.escape(
            crlf(first + f'Copy: {FOLDER}uninstall.exe -> {copy}\nExec: "{copy}" -Spawn -debug (0x'))
            + r"[0-9A-F]{8}\)\r\nSuccessful Exit\.\.\.\r\n$")
        self.assertEqual(self.read_bytes(self.packed), self.read_bytes(self.copy))
        group = self.prefix.windows_path(self.product.group_folder())
        f = FOLDER
        deleted = "".join(f"Delete file '{f}{name}'\n" + "".join(f"Deleting '{d}'\n" for d in after)
                          for name, after in [
                              ("readme.txt", []), ("license.txt", []), ("help\\studio.hlp", []),
                              ("help\\tutorial.txt", [f + "help\\"]), ("plugins\\shapes.dll", []),
                              ("plugins\\colors\\palette.dat", [f + "plugins\\colors\\", f + "plugins"]),
                              ("samples\\gear.wdg", []), ("samples\\spring.wdg", [f + "samples\\"]),
                              ("uninstall.exe", []), ("studio.exe", [])])
        items = "".join(
            f"Delete Item = 'Acme Widgets Widget Studio' : '{name}' ('{target}' / '{args}')\n"
            f"Delete file '{group}\\{name}.lnk'\n"
            for target, args, name in [("studio.exe", "", "Widget Studio"), ("readme.txt", "", "Read Me"),
                                       ("uninstall.exe", "-Register", "Register Widget Studio"),
                                       ("uninstall.exe", "-Update", "Check for Updates"),
                                       ("uninstall.exe", "", "Uninstall Widget Studio")])
        self.assertEqual(crlf(opening(copy, "-Spawn -debug") + "Flat/Fast File System Initialized...\n"
                              "$0 Translates to 'C:\\Program Files\\'\n" + deleted +
                              f"Delete Group = '{group}'\n" + items + f"Deleting '{group}\\'\n"
                              "OLE: REGISTER 'C:\\windows\\system32\\widgets.ocx'\n" + SUMMARY), log)
        self.assertTrue(os.path.isdir(self.product.programs_folder()))
        self.assertEqual(["DllRegisterServer", "DllUnregisterServer"],
                         self.product.component_calls(COMPONENT))
        self.assertFalse(self.entry_exists())
        self.assertEqual(FOLDER, self.prefix.reg_query(
            "HKCU\\Software\\Acme Widgets\\Widget Studio", "Install Path"), "not the uninstaller's")
        self.assertTrue(os.path.exists(self.copy), "the copy stays in the temporary folder")

    def test_without_log_emptied_folders_go_and_a_shortcut_of_the_user_keeps_its_group(self):
        mine = os.path.join(self.product.group_folder(), "My notes.lnk")
        with open(mine, "w") as f:
            f.write("added by the user\n")
        self.uninstall([], [(ASK, QUESTION, "y"), (DONE, UNINSTALLED, "Return")])
        drive = self.drive_c()
        self.assertEqual([os.path.relpath(p, drive) for p in (self.product.group_folder(), mine)]
                         + ["windows/system32/widgets.ocx"], self.product.remaining())
        self.assertTrue(os.path.isdir(self.prefix.unix_path("C:\\Program Files")))

    def test_a_file_held_open_stays_with_its_folders_and_the_rest_goes(self):
        held = self.product.file("help\\studio.hlp")
        ready, release = self.drive_c("held.ready"), self.drive_c("held.release")
        holder = self.start(scenario.env_path("CORE_PROBE_EXE"),
                            ["hold"] + [self.prefix.windows_path(p) for p in (held, ready, release)],
                            name="holder", channels="-all")
        if not wd.until(lambda: os.path.exists(ready), 30):
            wd.fail(holder, f"{ready} did not appear within 30 s")
        log = self.uninstall(["-debug"], [(ASK, QUESTION, "y"), (DONE, UNINSTALLED, "Return")],
                             answered=lambda: open(release, "w").close())
        self.assertEqual(0, holder.wait(60))
        base = "Program Files/Acme Widgets"
        self.assertEqual([base, base + "/Widget Studio", base + "/Widget Studio/debug.log",
                          base + "/Widget Studio/help", base + "/Widget Studio/help/studio.hlp",
                          "windows/system32/widgets.ocx"], self.product.remaining())
        self.assertIn(f"Delete file '{FOLDER}help\\studio.hlp'\r\n"
                      f"Unable to delete file '{FOLDER}help\\studio.hlp'\r\n"
                      f"Delete file '{FOLDER}help\\tutorial.txt'\r\n"
                      f"Delete file '{FOLDER}plugins\\shapes.dll'\r\n", log)
        self.assertFalse(self.entry_exists())


class Declined(UninstallScenario):
    def test_no_and_the_other_runs_remove_nothing(self):
        log = self.uninstall(["-debug"], [(ASK, QUESTION, "n")])
        # After a No the commands only store and log.
        self.assertEqual(crlf(opening(self.prefix.windows_path(self.copy), "-Spawn -debug") +
                              "Flat/Fast File System Initialized...\n$0 Translates to 'C:\\Program Files\\'\n"
                              f"Delete Group = '{self.prefix.windows_path(self.product.group_folder())}'\n"
                              + SUMMARY), log)
        self.assertTrue(self.entry_exists())
        # Each other run reads the same script and asks first; No ends it there, before DONE
        # removes a shortcut. The installer's registration runs in place.
        update = ("Electronic Update...",
                  "Would you like to check for an update to Acme Widgets Widget Studio electronically?")
        register = ("Acme Widgets Widget Studio Registration...",
                    "Would you like to register Widget Studio now?")
        for option, (caption, question) in (("-Update", update), ("-Register", register),
                                            ("-InstReg", register)):
            log = self.uninstall([option, "-debug"], [(caption, question, "n")], name=option)
            path = self.prefix.windows_path(self.copy)
            self.assertTrue(log.startswith(crlf(opening(path, ("" if option == "-InstReg" else "-Spawn ")
                                                        + option + " -debug"))), log)
            self.assertIn("Company Name   : Acme Widgets\r\nProduct Name   : Widget Studio\r\n", log)
            self.assertTrue(log.endswith("Successful Exit...\r\n"), log)
        self.assert_untouched("Program Files/Acme Widgets/Widget Studio/debug.log")
        self.assertTrue(self.entry_exists())

    def test_without_the_product_key_or_with_a_folder_too_long_to_read_nothing_goes(self):
        self.prefix.reg_import(os.path.join(product.FIXTURES, "widget-studio-gone.reg"))
        self.uninstall([], [(ASK, QUESTION, "y"), (PROBLEM, NOT_FOUND, "Return")])
        self.assert_untouched()
        self.prefix.reg_import(os.path.join(product.FIXTURES, "widget-studio-long-path.reg"))
        log = self.uninstall(["-debug"], [(ASK, QUESTION, "y"), (PROBLEM, NOT_FOUND, "Return")])
        self.assertIn("Unable to get 'Install Path' string\r\n", log)
        self.assert_untouched("Program Files/Acme Widgets/Widget Studio/debug.log")
        self.assertTrue(self.entry_exists())


class Scripts(scenario.Scenario):
    def test_component_failures_are_logged_and_the_run_goes_on(self):
        folder = self.fresh_folder("Parts")
        shutil.copyfile(scenario.env_path("COMPONENT_PROBE_DLL"), os.path.join(folder, "fails.dll"))
        open(os.path.join(folder, "fails.dll.fail"), "w").close()
        exe = self.place_packed_text(
            "COMPANY NAME:Acme\nPRODUCT NAME:Parts\nOLE:REGISTER\t$3fails.dll\n"
            "OLE:register\t$3missing.dll\nOLE:REGISTER\t$2version.dll\nOLE:UNREGISTER\t$3fails.dll\n",
            "Parts", "uninstall.exe")
        run = self.start(exe, ["-debug", "-Spawn"])
        self.assertEqual(0, run.wait(60))
        self.assertEqual([], run.boxes())
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
