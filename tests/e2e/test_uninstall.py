"""The uninstall run from end to end under Wine: the sample product installed as
its installer would have left it, the installed uninstaller started as a user
would, its copy in the temporary folder asking, removing and reporting through
its real message boxes; first the runs that must remove nothing."""

import glob
import os
import re

import product
import scenario
import winedriver as wd
from scenario import any_kilobytes, closing, crlf, opening, read_log

ASK, PROBLEM, DONE = "Uninstall...", "Uninstall problem...", "Uninstaller..."
QUESTION = "Are you sure you want to uninstall Acme Widgets Widget Studio?"
UNINSTALLED = "Acme Widgets Widget Studio has been uninstalled!"
NOT_FOUND = "Unable to find previous installation; files could not be removed."
FOLDER = "C:\\Program Files\\Acme Widgets\\Widget Studio\\"
COMPONENT = "$2widgets.ocx"
LOG = "Program Files/Acme Widgets/Widget Studio/debug.log"
SUMMARY = ("Company Name   : Acme Widgets\nProduct Name   : Widget Studio\nFile Count     : 8\n"
           f"Install Path   : {FOLDER} [Acme Widgets\\Widget Studio\\]\n"
           "Flat/Fast File System Removed...\n" + closing(32))


class Uninstall(scenario.Scenario):
    def uninstall(self, arguments, boxes, name, answered=None):
        """Runs the installed uninstaller through its boxes; returns the log of the process
        that did the work."""
        def copies():
            return set(glob.glob(self.drive_c("users", "*", "Temp", "Del*.exe")))
        before = copies()
        self.run_answered(self.product.uninstaller(), arguments, name, boxes, answered=answered)
        new = copies() - before  # a new name each time: earlier copies stay
        self.assertEqual(0 if "-InstReg" in arguments else 1, len(new), new)
        self.copy = new.pop() if new else self.product.uninstaller()
        self.assertFalse(os.path.exists(self.copy[:-4] + ".tmp"))
        log = os.path.join(os.path.dirname(self.copy), "debug.log")
        return any_kilobytes(read_log(log)) if "-debug" in arguments else None

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
        # Each other run reads the same script and asks first; No ends it there, before DONE
        # removes a shortcut. The installer's registration runs in place.
        update = ("Electronic Update...",
                  "Would you like to check for an update to Acme Widgets Widget Studio electronically?")
        register = ("Acme Widgets Widget Studio Registration...",
                    "Would you like to register Widget Studio now?")
        for option, (caption, question) in (("-Update", update), ("-Register", register),
                                            ("-InstReg", register)):
            log = self.uninstall([option, "-debug"], [(caption, question, "n")], option)
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
        # Without a log, nothing held and no shortcut of the user, every emptied folder goes.
        self.product.install(self.packed, scenario.env_path("COMPONENT_PROBE_DLL"))
        self.uninstall([], [(ASK, QUESTION, "y"), (DONE, UNINSTALLED, "Return")], "yes")
        self.assertEqual(["windows/system32/widgets.ocx"], self.product.remaining())
        self.assertTrue(os.path.isdir(self.prefix.unix_path("C:\\Program Files")))
        self.assertTrue(os.path.isdir(self.product.programs_folder()))

    def yes_with_a_file_held_open_and_a_shortcut_of_the_user(self, group):
        mine = os.path.join(self.product.group_folder(), "My notes.lnk")
        with open(mine, "w") as f:
            f.write("added by the user\n")
        held = self.product.file("help\\studio.hlp")
        ready, release = self.drive_c("held.ready"), self.drive_c("held.release")
        holder = self.start(scenario.env_path("CORE_PROBE_EXE"),
                            ["hold"] + [self.prefix.windows_path(p) for p in (held, ready, release)],
                            name="holder", channels="-all")
        if not wd.until(lambda: os.path.exists(ready), 30):
            wd.fail(holder, f"{ready} did not appear within 30 s")
        log = self.uninstall(["-debug"], [(ASK, QUESTION, "y"), (DONE, UNINSTALLED, "Return")], "held",
                             answered=lambda: open(release, "w").close())
        self.assertEqual(0, holder.wait(60))
        # The first process wrote its log beside the installed file: it stays.
        folder = self.prefix.unix_path(FOLDER)
        copy = self.prefix.windows_path(self.copy)
        first = opening(FOLDER + "uninstall.exe", "-debug").replace(scenario.MEMORY_INIT, "")
        self.assertRegex(read_log(os.path.join(folder, "debug.log")), "^" + re.escape(
            crlf(first + f'Copy: {FOLDER}uninstall.exe -> {copy}\nExec: "{copy}" -Spawn -debug (0x'))
            + r"[0-9A-F]{8}\)\r\nSuccessful Exit\.\.\.\r\n$")
        self.assertEqual(self.read_bytes(self.packed), self.read_bytes(self.copy))
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
        items = "".join(
            f"Delete Item = 'Acme Widgets Widget Studio' : '{name}' ('{target}' / '{args}')\n"
            f"Delete file '{group}\\{name}.lnk'\n"
            for target, args, name in [("studio.exe", "", "Widget Studio"), ("readme.txt", "", "Read Me"),
                                       ("uninstall.exe", "-Register", "Register Widget Studio"),
                                       ("uninstall.exe", "-Update", "Check for Updates"),
                                       ("uninstall.exe", "", "Uninstall Widget Studio")])
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
        self.assertEqual(FOLDER, self.prefix.reg_query(
            "HKCU\\Software\\Acme Widgets\\Widget Studio", "Install Path"), "not the uninstaller's")
        self.assertTrue(os.path.exists(self.copy), "the copy stays in the temporary folder")


if __name__ == "__main__":
    scenario.main()
