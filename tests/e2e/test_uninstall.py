"""The uninstall run from end to end under Wine: the sample product installed
as its installer would have left it, the installed uninstaller started without
options as a user would, its copy in the temporary folder asking, removing and
reporting through its real message boxes."""

import glob
import os
import re
import shutil
import time

import product
import scenario
import winedriver as wd

SAMPLE = os.path.join(scenario.SOURCE_DIR, "samples", "sample-product.txt")
ASK = "Uninstall..."
PROBLEM = "Uninstall problem..."
DONE_CAPTION = "Uninstaller..."
QUESTION = "Are you sure you want to uninstall Acme Widgets Widget Studio?"
UNINSTALLED = "Acme Widgets Widget Studio has been uninstalled!"
NOT_FOUND = "Unable to find previous installation; files could not be removed."
FOLDER = "C:\\Program Files\\Acme Widgets\\Widget Studio\\"
COMPONENT = "$2widgets.ocx"
CLOSING = "=" * 79 + "\n"
MEMORY_INIT = ("\n====[Memory Init]" + "=" * 62 + "\n"
               "Quickmemory Initialized (Disabled)\nMemory Initialized (Maximum)\n" + CLOSING)


def wait_for_file(path, run, timeout=30):
    deadline = time.monotonic() + timeout
    while not os.path.exists(path):
        if time.monotonic() > deadline:
            wd.fail(run, f"{path} did not appear within {timeout} s")
        time.sleep(0.05)


def any_kilobytes(log):
    return re.sub(r"(Maximum Memory in use \(\d+ / )\d+(k\))", r"\1N\2", log)


class UninstallScenario(scenario.Scenario):
    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        # Packed afresh for every run, so that a rebuilt stub is what gets tested.
        cls.packed = os.path.join(cls.logs, "packed-uninstall.exe")
        scenario.ffspack("pack", "--stub", scenario.env_path("UNINSTALL_EXE"), "--script", SAMPLE,
                         "-o", cls.packed)

    def setUp(self):
        self.product = product.Product(self.prefix, SAMPLE)
        self.copies_before = self.copies()

    def install(self, reg_fixture="widget-studio.reg"):
        self.product.install(self.packed, scenario.env_path("COMPONENT_PROBE_DLL"), reg_fixture)
        self.installed = self.product.remaining()

    def copies(self):
        return set(glob.glob(self.drive_c("users", "*", "Temp", "Del*.exe")))

    def start_installed(self, arguments=()):
        """Starts the installed uninstaller; the first process only relocates."""
        run = self.start(self.product.uninstaller(), list(arguments))
        return run

    def the_copy(self):
        new = self.copies() - self.copies_before
        self.assertEqual(1, len(new), new)
        return new.pop()

    def copy_log(self):
        copy = self.the_copy()
        with open(os.path.join(os.path.dirname(copy), "debug.log"), "rb") as f:
            return copy, f.read().decode("latin-1")

    def entry_exists(self):
        return self.prefix.reg_query(self.product.entry_key(), "DisplayName") is not None

    def answer_question(self, run, key):
        box = wd.wait_box(run, ASK, timeout=60)
        self.assertEqual(QUESTION, box.text)
        wd.answer(box, key)
        return box

    def finish(self, run, boxes):
        self.assertEqual(0, run.wait(60))
        self.prefix.wait_idle(60)
        self.assertEqual(boxes, [(b.caption, b.text) for b in run.boxes()])


class Uninstall(UninstallScenario):
    def test_yes_removes_the_product_and_logs_every_step(self):
        self.install()
        self.assertEqual(["DllRegisterServer"], self.product.component_calls(COMPONENT))
        run = self.start_installed(["-debug"])
        self.answer_question(run, "y")
        notice = wd.wait_box(run, DONE_CAPTION, timeout=60)
        self.assertEqual(UNINSTALLED, notice.text)
        wd.answer(notice, "Return")
        self.finish(run, [(ASK, QUESTION), (DONE_CAPTION, UNINSTALLED)])

        # The first process wrote its log beside the installed file: it stays.
        folder = self.product.path(FOLDER)
        self.assertEqual(["debug.log"], os.listdir(folder))
        first = self.read_bytes(os.path.join(folder, "debug.log")).decode("latin-1")
        self.assertRegex(first, r"Copy: C:\\Program Files\\Acme Widgets\\Widget Studio\\"
                                r"uninstall\.exe -> C:\\users\\[^\\]+\\Temp\\Del[0-9A-Fa-f]+\.exe\r\n"
                                r"Exec: \"C:\\users\\[^\\]+\\Temp\\Del[0-9A-Fa-f]+\.exe\" -Spawn -debug")

        copy, log = self.copy_log()
        windows_copy = self.prefix.windows_path(copy)
        programs = self.prefix.windows_path(self.product.programs_folder())
        group = programs + "\\Acme Widgets Widget Studio"
        f = FOLDER
        deleted = "".join(f"Delete file '{f}{name}'\n" + "".join(f"Deleting '{d}'\n" for d in after)
                          for name, after in [
                              ("readme.txt", []), ("license.txt", []), ("help\\studio.hlp", []),
                              ("help\\tutorial.txt", [f + "help\\"]),
                              ("plugins\\shapes.dll", []),
                              ("plugins\\colors\\palette.dat",
                               [f + "plugins\\colors\\", f + "plugins"]),
                              ("samples\\gear.wdg", []), ("samples\\spring.wdg", [f + "samples\\"]),
                              ("uninstall.exe", []), ("studio.exe", [])])
        items = "".join(
            f"Delete Item = 'Acme Widgets Widget Studio' : '{name}' ('{target}' / '{args}')\n"
            f"Delete file '{group}\\{name}.lnk'\n"
            for target, args, name in [("studio.exe", "", "Widget Studio"),
                                       ("readme.txt", "", "Read Me"),
                                       ("uninstall.exe", "-Register", "Register Widget Studio"),
                                       ("uninstall.exe", "-Update", "Check for Updates"),
                                       ("uninstall.exe", "", "Uninstall Widget Studio")])
        expected = (
            "Tessel v0.33\nUninstall Version 1.50 (Release)\n"
            f"Cmdline '\"{windows_copy}\" -Spawn -debug' '-Spawn -debug'\n" + MEMORY_INIT +
            "Flat/Fast File System Initialized...\n"
            "$0 Translates to 'C:\\Program Files\\'\n" + deleted +
            f"Delete Group = '{group}'\n" + items + f"Deleting '{group}\\'\n"
            "OLE: REGISTER 'C:\\windows\\system32\\widgets.ocx'\n"
            "Company Name   : Acme Widgets\nProduct Name   : Widget Studio\n"
            "File Count     : 8\n"
            f"Install Path   : {FOLDER} [Acme Widgets\\Widget Studio\\]\n"
            "Flat/Fast File System Removed...\n"
            "\n====[Memory Remove]" + "=" * 60 + "\nMaximum Memory in use (32 / Nk)\n" +
            CLOSING + "Successful Exit...\n")
        self.assertEqual(scenario.crlf(expected), any_kilobytes(log).encode("latin-1"))

        self.assertFalse(os.path.exists(self.product.group_folder()))
        self.assertTrue(os.path.isdir(self.product.programs_folder()))
        self.assertEqual(["DllRegisterServer", "DllUnregisterServer"],
                         self.product.component_calls(COMPONENT))
        self.assertFalse(self.entry_exists())
        self.assertEqual(FOLDER, self.prefix.reg_query(
            "HKCU\\Software\\Acme Widgets\\Widget Studio", "Install Path"), "not the uninstaller's")
        self.assertTrue(os.path.exists(copy), "the copy stays in the temporary folder")

    def test_without_log_every_emptied_folder_goes_up_to_program_files(self):
        self.install()
        run = self.start_installed()
        self.answer_question(run, "y")
        wd.answer(wd.wait_box(run, DONE_CAPTION, timeout=60), "Return")
        self.finish(run, [(ASK, QUESTION), (DONE_CAPTION, UNINSTALLED)])
        self.assertEqual(["windows/system32/widgets.ocx"], self.product.remaining())
        self.assertTrue(os.path.isdir(self.product.path("C:\\Program Files")))

    def test_no_removes_nothing_and_shows_nothing_more(self):
        self.install()
        run = self.start_installed()
        self.answer_question(run, "n")
        self.finish(run, [(ASK, QUESTION)])
        self.assertEqual(self.installed, self.product.remaining())
        self.assertEqual(["DllRegisterServer"], self.product.component_calls(COMPONENT))
        self.assertTrue(self.entry_exists())

    def test_a_missing_product_key_removes_nothing(self):
        self.install(reg_fixture=None)
        run = self.start_installed()
        self.answer_question(run, "y")
        notice = wd.wait_box(run, PROBLEM, timeout=60)
        self.assertEqual(NOT_FOUND, notice.text)
        wd.answer(notice, "Return")
        self.finish(run, [(ASK, QUESTION), (PROBLEM, NOT_FOUND)])
        self.assertEqual(self.installed, self.product.remaining())
        self.assertEqual(["DllRegisterServer"], self.product.component_calls(COMPONENT))

    def test_a_stored_folder_too_long_to_read_removes_nothing(self):
        self.install(reg_fixture="widget-studio-long-path.reg")
        run = self.start_installed(["-debug"])
        self.answer_question(run, "y")
        self.assertEqual(NOT_FOUND, wd.wait_box(run, PROBLEM, timeout=60).text)
        wd.answer(run.boxes()[-1], "Return")
        self.finish(run, [(ASK, QUESTION), (PROBLEM, NOT_FOUND)])
        self.assertEqual(
            sorted(self.installed + ["Program Files/Acme Widgets/Widget Studio/debug.log"]),
            self.product.remaining())
        _, log = self.copy_log()
        self.assertIn("Unable to get 'Install Path' string\r\n", log)
        self.assertTrue(self.entry_exists())

    def test_a_file_held_open_stays_with_its_folders_and_the_rest_goes(self):
        self.install()
        held = self.product.file("help\\studio.hlp")
        ready = os.path.join(self.logs, "held.ready")
        release = os.path.join(self.logs, "held.release")
        for marker in (ready, release):
            if os.path.exists(marker):
                os.remove(marker)
        holder = self.start(scenario.env_path("HOLD_FILE_EXE"),
                            [self.prefix.windows_path(held), self.prefix.windows_path(ready),
                             self.prefix.windows_path(release)], name="holder", channels="-all")
        try:
            wait_for_file(ready, holder)
            run = self.start_installed(["-debug"])
            self.answer_question(run, "y")
            wd.answer(wd.wait_box(run, DONE_CAPTION, timeout=60), "Return")
            self.assertEqual(0, run.wait(60))
        finally:
            open(release, "w").close()
        self.assertEqual(0, holder.wait(60))
        self.finish(run, [(ASK, QUESTION), (DONE_CAPTION, UNINSTALLED)])
        base = "Program Files/Acme Widgets"
        self.assertEqual([base, base + "/Widget Studio", base + "/Widget Studio/debug.log",
                          base + "/Widget Studio/help", base + "/Widget Studio/help/studio.hlp",
                          "windows/system32/widgets.ocx"], self.product.remaining())
        _, log = self.copy_log()
        self.assertIn(f"Delete file '{FOLDER}help\\studio.hlp'\r\n"
                      f"Unable to delete file '{FOLDER}help\\studio.hlp'\r\n"
                      f"Delete file '{FOLDER}help\\tutorial.txt'\r\n"
                      f"Delete file '{FOLDER}plugins\\shapes.dll'\r\n", log)
        self.assertFalse(self.entry_exists())

    def test_a_shortcut_the_script_does_not_name_keeps_its_group(self):
        self.install()
        mine = os.path.join(self.product.group_folder(), "My notes.lnk")
        with open(mine, "w") as f:
            f.write("added by the user\n")
        run = self.start_installed()
        self.answer_question(run, "y")
        wd.answer(wd.wait_box(run, DONE_CAPTION, timeout=60), "Return")
        self.finish(run, [(ASK, QUESTION), (DONE_CAPTION, UNINSTALLED)])
        self.assertEqual([mine], glob.glob(os.path.join(self.product.group_folder(), "*")))


class OtherRuns(UninstallScenario):
    def test_update_and_registration_runs_remove_no_product_file(self):
        self.install()
        # Each run asks before it goes on; No ends it there.
        for option in ("-Update", "-Register"):
            caption, question = self.product.first_question(option)
            with self.subTest(option):
                run = self.start_installed([option])
                box = wd.wait_box(run, caption, timeout=60)
                self.assertEqual(question, box.text)
                wd.answer(box, "n")
                self.finish(run, [(caption, question)])
                self.assertTrue(self.entry_exists())
                self.assertEqual(["DllRegisterServer"], self.product.component_calls(COMPONENT))
                # A declined registration stops the run before DONE removes its shortcut.
                self.assertEqual(set(), set(self.installed) - set(self.product.remaining()))
                self.copies_before = self.copies()


class LongValues(UninstallScenario):
    def test_long_names_are_cut_so_the_boxes_stay_whole(self):
        company, name = "C" * 120, "P" * 120
        folder = self.fresh_folder("Program Files", "Long")
        with open(os.path.join(folder, "gone.txt"), "w") as f:
            f.write("x")
        exe = self.place_packed_text(
            f"COMPANY NAME:{company}\nPRODUCT NAME:{name}\nINSTALL DIR:Long\nINSTALL PATH:x\n"
            f"FILE LIST:gone.txt,{'n' * 150}.txt\nINSTALL:\nDONE:x\n", "Long", "uninstall.exe")
        run = self.start(exe, ["-debug"])
        question = "Are you sure you want to uninstall " + company[:107] + "?"
        box = wd.wait_box(run, ASK, timeout=60)
        self.assertEqual(question, box.text)
        wd.answer(box, "y")
        notice = wd.wait_box(run, DONE_CAPTION, timeout=60)
        self.assertEqual(company + " " + name[:16] + " has been uninstalled!", notice.text)
        wd.answer(notice, "Return")
        self.finish(run, [(ASK, question), (DONE_CAPTION, notice.text)])
        _, log = self.copy_log()
        long_path = "C:\\Program Files\\Long\\" + "n" * (143 - 22)
        self.assertIn("Delete file 'C:\\Program Files\\Long\\gone.txt'\r\n"
                      "Deleting 'C:\\Program Files\\Long\\'\r\n"
                      f"Path too long '{long_path}'\r\n", log)
        self.assertFalse(os.path.exists(folder))


class Components(UninstallScenario):
    def test_component_failures_are_logged_and_the_run_goes_on(self):
        folder = self.fresh_folder("Parts")
        shutil.copyfile(scenario.env_path("COMPONENT_PROBE_DLL"), os.path.join(folder, "fails.dll"))
        open(os.path.join(folder, "fails.dll.fail"), "w").close()
        exe = self.place_packed_text(
            "COMPANY NAME:Acme\nPRODUCT NAME:Parts\nOLE:REGISTER\t$3fails.dll\n"
            "OLE:register\t$3missing.dll\nOLE:REGISTER\t$2version.dll\nOLE:UNREGISTER\t$3fails.dll\n",
            "Parts", "uninstall.exe")
        run = self.start(exe, ["-debug", "-Spawn"])
        self.finish(run, [])
        with open(os.path.join(folder, "fails.dll.calls")) as f:
            self.assertEqual(["DllUnregisterServer", "DllRegisterServer"], f.read().split())
        log = self.read_bytes(os.path.join(folder, "debug.log")).decode("latin-1")
        p = "C:\\Parts\\"
        self.assertIn(
            f"OLE: REGISTER '{p}fails.dll'\r\nFailed in executing entry point from '{p}fails.dll'\r\n"
            f"OLE: register '{p}missing.dll'\r\n"
            f"Error attempting to load '{p}missing.dll' (0x0000007E)\r\n"
            "OLE: REGISTER 'C:\\windows\\system32\\version.dll'\r\n"
            "Couldn't get entry point from 'C:\\windows\\system32\\version.dll'\r\n", log)
        self.assertIn(f"OLE: UNREGISTER '{p}fails.dll'\r\nFailed in executing entry point from "
                      f"'{p}fails.dll'\r\nCompany Name   : Acme\r\n", log)


if __name__ == "__main__":
    scenario.main()
