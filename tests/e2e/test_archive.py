"""The archive behind the executable and the install script inside it, in real
runs of the uninstaller under Wine: the sample product's script packed by
ffspack, damaged archives, and a script with a command the table lacks."""

import os
import re
import struct

import product
import scenario
import winedriver as wd

PROBLEM = "Uninstall problem..."
DAMAGED = "The installation file has been damaged, please download a new copy."
CORRUPTED = "Installation script corrupted!"
SAMPLE = os.path.join(scenario.SOURCE_DIR, "samples", "sample-product.txt")
CLOSING = "=" * 79 + "\n"
MEMORY_INIT = ("\n====[Memory Init]" + "=" * 62 + "\n"
               "Quickmemory Initialized (Disabled)\nMemory Initialized (Maximum)\n" + CLOSING)
# The product's files beside the uninstaller: none may go when the archive is bad.
PRODUCT_FILES = ["studio.exe", "readme.txt", os.path.join("help", "studio.hlp")]


def opening(path, arguments):
    return ("Tessel v0.33\nUninstall Version 1.50 (Release)\n"
            f"Cmdline '\"{path}\" {arguments}' '{arguments}'\n" + MEMORY_INIT)


def closing(blocks, kilobytes="N"):
    return ("\n====[Memory Remove]" + "=" * 60 + "\n"
            f"Maximum Memory in use ({blocks} / {kilobytes}k)\n" + CLOSING + "Successful Exit...\n")


def any_kilobytes(log):
    """The peak in k follows the script's size; everything else is exact."""
    return re.sub(r"(Maximum Memory in use \(\d+ / )\d+(k\))", r"\1N\2", log)


class Archive(scenario.Scenario):
    def run_to_end(self, exe, arguments, name=None):
        run = self.start(exe, arguments, name=name)
        code = run.wait(60)
        self.assertEqual(0, code)
        return run

    def debug_log(self, exe):
        return self.read_bytes(os.path.join(os.path.dirname(exe), "debug.log")).decode("latin-1")


class SampleProduct(Archive):
    def test_the_sample_script_runs_to_its_summary(self):
        # Nothing of the product is installed here; the answer No stops the
        # removal, and the commands after it only store and log.
        self.fresh_folder("Acme")
        exe = self.place_packed(SAMPLE, "Acme", "uninstall.exe")
        run = self.start(exe, ["-debug", "-Spawn"])
        box = wd.wait_box(run, "Uninstall...")
        self.assertEqual("Are you sure you want to uninstall Acme Widgets Widget Studio?", box.text)
        wd.answer(box, "n")
        self.assertEqual(0, run.wait(60))
        self.assertEqual(1, len(run.boxes()))
        log = self.debug_log(exe)
        group = re.search(r"Delete Group = '(C:\\users\\[^\\]+\\AppData\\Roaming\\"
                          r"Microsoft\\Windows\\Start Menu\\Programs\\"
                          r"Acme Widgets Widget Studio)'\r\n", log)
        self.assertIsNotNone(group, log)
        expected = (opening("C:\\Acme\\uninstall.exe", "-debug -Spawn") +
                    "Flat/Fast File System Initialized...\n"
                    "$0 Translates to 'C:\\Program Files\\'\n"
                    f"Delete Group = '{group.group(1)}'\n"
                    "Company Name   : Acme Widgets\n"
                    "Product Name   : Widget Studio\n"
                    "File Count     : 8\n"
                    "Install Path   : C:\\Program Files\\Acme Widgets\\Widget Studio\\ "
                    "[Acme Widgets\\Widget Studio\\]\n"
                    "Flat/Fast File System Removed...\n" + closing(32))
        self.assertEqual(scenario.crlf(expected), any_kilobytes(log).encode("latin-1"))
        self.assertNotIn("\r\r\n", log)

    def test_every_run_mode_reads_the_same_script(self):
        self.fresh_folder("AcmeModes")
        exe = self.place_packed(SAMPLE, "AcmeModes", "uninstall.exe")
        # Each mode asks first (DONE offers the update check, REGISTER the
        # registration); No ends it at once.
        sample = product.Product(self.prefix, SAMPLE)
        for arguments in (["-Update", "-debug", "-Spawn"], ["-Register", "-debug", "-Spawn"],
                          ["-InstReg", "-debug"]):
            with self.subTest(arguments[0]):
                caption, question = sample.first_question(arguments[0])
                run = self.start(exe, arguments, name="mode" + arguments[0])
                box = wd.wait_box(run, caption)
                self.assertEqual(question, box.text)
                wd.answer(box, "n")
                self.assertEqual(0, run.wait(60))
                self.assertEqual(1, len(run.boxes()))
                log = self.debug_log(exe)
                self.assertIn("Company Name   : Acme Widgets\r\nProduct Name   : Widget Studio\r\n",
                              log)
                self.assertTrue(log.endswith("Successful Exit...\r\n"))
                self.prefix.wait_idle(30)


class DamagedArchives(Archive):
    def cases(self, stub, packed):
        tag = len(stub)
        doesnt = "File '{path}' doesn't contain FFS data!\n"
        proper = "FFS Does not contain proper tag (Read {} from {})!!!\n"
        trailer = struct.unpack("<I", stub[-4:])[0]
        return [
            # Whatever the program image happens to end with.
            ("no-archive", stub, doesnt if trailer == 0 or trailer >= len(stub)
             else proper.format(trailer, len(stub) - 4)),
            ("trailer-zero", stub + b"\0\0\0\0", doesnt),
            ("trailer-at-the-end", stub + struct.pack("<I", len(stub) + 4), doesnt),
            ("trailer-past-the-end", stub + struct.pack("<I", 0xFFFFFFF0), doesnt),
            ("trailer-at-itself", stub + struct.pack("<I", len(stub)), proper.format(tag, tag)),
            ("wrong-tag", packed[:tag] + b"FFS!" + packed[tag + 4:],
             proper.format(tag, len(packed) - 4)),
            ("cut-short", packed[:-2], doesnt),
        ]

    def check_damaged_run(self, folder, exe_name, bytes_, line, name):
        folder_path = self.fresh_folder(folder)
        for product_file in PRODUCT_FILES:
            os.makedirs(os.path.dirname(os.path.join(folder_path, product_file)), exist_ok=True)
            with open(os.path.join(folder_path, product_file), "w") as f:
                f.write("product file\n")
        exe = os.path.join(folder_path, exe_name)
        with open(exe, "wb") as f:
            f.write(bytes_)
        windows_exe = f"C:\\{folder}\\{exe_name}"
        run = self.start(exe, ["-debug", "-Spawn"], name=name)
        box = wd.wait_box(run, PROBLEM)
        self.assertEqual(DAMAGED, box.text)
        wd.answer(box, "Return")
        self.assertEqual(0, run.wait(30))
        self.assertEqual(1, len(run.boxes()))
        expected = (opening(windows_exe, "-debug -Spawn") + line.format(path=windows_exe) +
                    "Flat/Fast File System Removed...\n" + closing(29, 1))
        self.assertEqual(scenario.crlf(expected), self.read_bytes(os.path.join(folder_path, "debug.log")))
        for product_file in PRODUCT_FILES:
            self.assertTrue(os.path.exists(os.path.join(folder_path, product_file)), product_file)
        self.prefix.wait_idle(30)

    def test_each_damage_shows_the_box_logs_its_line_and_deletes_nothing(self):
        stub = self.read_bytes(scenario.env_path("UNINSTALL_EXE"))
        packed = self.read_bytes(self.place_packed(SAMPLE, "Packed", "uninstall.exe"))
        for case, bytes_, line in self.cases(stub, packed):
            with self.subTest(case):
                self.check_damaged_run("Damaged", "uninstall.exe", bytes_, line, case)

    def test_an_own_path_without_exe_is_completed_before_opening(self):
        packed = self.read_bytes(self.place_packed(SAMPLE, "Packed", "uninstall.exe"))
        self.check_damaged_run("Renamed", "uninstall.bin", packed,
                               "Couldn't open flat file 'C:\\Renamed\\uninstall.bin.exe'!\n",
                               "renamed")


class CorruptedScript(Archive):
    def test_an_unknown_command_stops_the_script_and_the_run_ends_normally(self):
        folder = self.fresh_folder("Corrupted")
        script = os.path.join(folder, "script.txt")
        with open(script, "w") as f:
            f.write("COMPANY NAME:Acme Widgets\nPRODUCT NAME:Widget Studio\n")
        exe = self.place_packed(script, "Corrupted", "uninstall.exe")
        # The packer refuses unknown keywords, so one is made in the packed file:
        # a stored byte xor-ed with d changes the descrambled byte by d too.
        packed = bytearray(self.read_bytes(exe))
        stub_size = os.path.getsize(scenario.env_path("UNINSTALL_EXE"))
        compiled = b"\x16COMPANY NAME:Acme Widgets\r\n\x16PRODUCT NAME:Widget Studio\r\n"
        at = stub_size + 4 + compiled.index(b"PRODUCT") + 6
        packed[at] ^= ord("T") ^ ord("E")
        with open(exe, "wb") as f:
            f.write(packed)

        run = self.start(exe, ["-debug", "-Spawn"])
        box = wd.wait_box(run, PROBLEM)
        self.assertEqual(CORRUPTED, box.text)
        wd.answer(box, "Return")
        self.assertEqual(0, run.wait(30))
        expected = (opening("C:\\Corrupted\\uninstall.exe", "-debug -Spawn") +
                    "Flat/Fast File System Initialized...\n"
                    "Unknown script command 'PRODUCE NAME'\n"
                    "Script failed somewhere\n"
                    "Flat/Fast File System Removed...\n" + closing(32))
        self.assertEqual(scenario.crlf(expected),
                         any_kilobytes(self.debug_log(exe)).encode("latin-1"))


if __name__ == "__main__":
    scenario.main()
