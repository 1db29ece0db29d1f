"""Damaged archives behind the executable, and a script with a command the table
lacks, in real runs of the uninstaller under Wine: the box, the exact log, and
no product file deleted; then components that fail to register."""

import os
import shutil
import struct

import scenario
import winedriver as wd
from scenario import any_kilobytes, closing, crlf, opening, read_log

DAMAGED = "The installation file has been damaged, please download a new copy."
PRODUCT_FILES = ["studio.exe", "readme.txt", os.path.join("help", "studio.hlp")]


class Archive(scenario.Scenario):
    def cases(self):
        """(name, file name, bytes, box text, log lines after the opening, end of the log)"""
        stub = self.read_bytes(scenario.env_path("UNINSTALL_EXE"))
        packed = self.read_bytes(self.place_packed(scenario.SAMPLE, "Packed", "uninstall.exe"))
        tag, trailer = len(stub), struct.unpack("<I", stub[-4:])[0]
        doesnt = "File '{path}' doesn't contain FFS data!\n"
        proper = "FFS Does not contain proper tag (Read {} from {})!!!\n"
        damaged = [
            # Whatever the program image happens to end with.
            ("no-archive", stub, doesnt if trailer == 0 or trailer >= len(stub)
             else proper.format(trailer, len(stub) - 4)),
            ("trailer-zero", stub + b"\0\0\0\0", doesnt),
            ("trailer-at-the-end", stub + struct.pack("<I", len(stub) + 4), doesnt),
            ("trailer-past-the-end", stub + struct.pack("<I", 0xFFFFFFF0), doesnt),
            ("trailer-at-itself", stub + struct.pack("<I", len(stub)), proper.format(tag, tag)),
            ("wrong-tag", packed[:tag] + b"FFS!" + packed[tag + 4:], proper.format(tag, len(packed) - 4)),
            ("cut-short", packed[:-2], doesnt),
        ]
        cases = [(name, "uninstall.exe", data, DAMAGED, line, closing(29, 1)) for name, data, line in damaged]
        # An own path without .exe is completed before it is opened.
        cases.append(("renamed", "uninstall.bin", packed, DAMAGED,
                      "Couldn't open flat file '{path}.exe'!\n", closing(29, 1)))
        # The packer refuses unknown keywords, so one is made in the packed file:
        # a stored byte xor-ed with d changes the descrambled byte by d too.
        corrupted = bytearray(self.read_bytes(self.place_packed(
            None, "Packed", "corrupted.exe", text="COMPANY NAME:Acme Widgets\nPRODUCT NAME:Widget Studio\n")))
        corrupted[tag + 4 + len(b"\x16COMPANY NAME:Acme Widgets\r\n\x16PRODUC")] ^= ord("T") ^ ord("E")
        cases.append(("corrupted", "uninstall.exe", bytes(corrupted), "Installation script corrupted!",
                      "Flat/Fast File System Initialized...\nUnknown script command 'PRODUCE NAME'\n"
                      "Script failed somewhere\n", closing(32)))
        return cases

    def test_each_damage_shows_the_box_logs_its_line_and_deletes_nothing(self):
        for name, exe_name, data, text, lines, end in self.cases():
            with self.subTest(name):
                folder = self.fresh_folder("Damaged")
                for product_file in PRODUCT_FILES:
                    os.makedirs(os.path.dirname(os.path.join(folder, product_file)), exist_ok=True)
                    with open(os.path.join(folder, product_file), "w") as f:
                        f.write("product file\n")
                with open(os.path.join(folder, exe_name), "wb") as f:
                    f.write(data)
                run = self.start(os.path.join(folder, exe_name), ["-debug", "-Spawn"], name=name)
                box = wd.wait_box(run, "Uninstall problem...")
                self.assertEqual(text, box.text)
                wd.answer(box, "Return")
                self.assertEqual(0, run.wait(30))
                self.assertEqual(1, len(run.boxes()))
                path = "C:\\Damaged\\" + exe_name
                log = read_log(os.path.join(folder, "debug.log"))
                self.assertEqual(crlf(opening(path, "-debug -Spawn") + lines.format(path=path) +
                                      "Flat/Fast File System Removed...\n" + end),
                                 any_kilobytes(log) if "/ Nk)" in end else log)
                for product_file in PRODUCT_FILES:
                    self.assertTrue(os.path.exists(os.path.join(folder, product_file)), product_file)
                self.prefix.wait_idle(30)

    def test_component_failures_are_logged_and_the_run_goes_on(self):
        folder = self.fresh_folder("Parts")
        shutil.copyfile(scenario.env_path("COMPONENT_PROBE_DLL"), os.path.join(folder, "fails.dll"))
        open(os.path.join(folder, "fails.dll.fail"), "w").close()
        exe = self.place_packed(None, "Parts", "uninstall.exe", text=(
            "COMPANY NAME:Acme\nPRODUCT NAME:Parts\nOLE:REGISTER\t$3fails.dll\n"
            "OLE:register\t$3missing.dll\nOLE:REGISTER\t$2version.dll\nOLE:UNREGISTER\t$3fails.dll\n"))
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
