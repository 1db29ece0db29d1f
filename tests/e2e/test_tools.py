"""The maker's tools built for Windows (ffspack.exe, regdecode.exe) under Wine, on the host
tools' cases: the same bytes from the same script written with CR LF and Windows paths,
keys and signatures that either side's OpenSSL or CNG accepts, the same decoded body; and
the program packed on Windows uninstalls the sample product."""

import glob
import os
import re
import subprocess
import zipfile

import product
import scenario
import winedriver as wd

HOST_BUILD = scenario.env_path("HOST_BUILD_DIR")
HOST_TOOLS = os.path.join(HOST_BUILD, "tools")


def host(*args):
    return subprocess.run(list(args), capture_output=True, timeout=60)


class Tools(scenario.Scenario):
    def tool(self, name, *args, code=0):
        return self.wine(scenario.env_path(name), *args, code=code)

    def wine(self, exe, *args, code=0):
        """A console program's whole standard output, once it has ended with `code`."""
        r = self.prefix._tool([wd.WINE, exe, *args], 60, check=False)
        self.assertEqual(code, r.returncode, r.stdout + r.stderr)
        return r.stdout.decode("latin-1").replace("\r\n", "\n").strip("\n")

    def test_the_windows_tools_do_what_the_host_tools_do(self):
        folder = self.fresh_folder("Maker Files")
        win = "C:\\Maker Files\\"
        with open(scenario.SAMPLE, "rb") as f:
            sample = f.read()
        with open(os.path.join(folder, "sample.txt"), "wb") as f:
            f.write(sample.replace(b"\n", b"\r\n"))
        # Compiled, checked and packed on both sides: the same bytes.
        ffspack = os.path.join(HOST_TOOLS, "ffspack", "ffspack")
        stub = scenario.env_path("UNINSTALL_EXE")
        self.assertEqual(0, host(ffspack, "compile", scenario.SAMPLE, "-o", os.path.join(folder, "linux.dat"))
                         .returncode)
        self.assertEqual(0, host(ffspack, "pack", "--stub", stub, "--script", scenario.SAMPLE, "-o",
                                 os.path.join(folder, "linux.exe")).returncode)
        with open(os.path.join(folder, "stub.exe"), "wb") as f:
            f.write(self.read_bytes(stub))
        self.tool("FFSPACK_EXE", "check", win + "sample.txt", "--strict")
        self.tool("FFSPACK_EXE", "compile", win + "sample.txt", "-o", win + "install.dat")
        self.tool("FFSPACK_EXE", "pack", "--stub", win + "stub.exe", "--script", win + "sample.txt", "-o",
                  win + "uninstall.exe")
        for mine, theirs in (("install.dat", "linux.dat"), ("uninstall.exe", "linux.exe")):
            self.assertEqual(self.read_bytes(os.path.join(folder, theirs)),
                             self.read_bytes(os.path.join(folder, mine)), mine)
        dumped = host(ffspack, "dump", os.path.join(folder, "linux.exe")).stdout.decode().splitlines()
        self.assertEqual(dumped, self.tool("FFSPACK_EXE", "dump", win + "uninstall.exe").splitlines())
        # Signing: the maker's command runs once on the packed file, its path quoted for the
        # command line; here it copies the file that the Linux tools packed and signed over it.
        self.assertEqual(0, host(ffspack, "pack", "--stub", stub, "--script", scenario.SAMPLE, "-o",
                                 os.path.join(folder, "linux signed.exe"), "--sign-command",
                                 self.sign_command()).returncode)
        self.tool("FFSPACK_EXE", "pack", "--stub", win + "stub.exe", "--script", win + "sample.txt", "-o",
                  win + "signed.exe", "--sign-command", f'cmd /c copy /y "{win}linux signed.exe" %1')
        self.assertEqual(self.assert_signed(os.path.join(folder, "linux signed.exe")),
                         self.read_bytes(os.path.join(folder, "signed.exe")))
        self.assertEqual(dumped, self.tool("FFSPACK_EXE", "dump", win + "signed.exe").splitlines())
        # A failing command fails the pack with what it printed, and leaves no file.
        failed = self.prefix._tool([wd.WINE, scenario.env_path("FFSPACK_EXE"), "pack", "--stub", win + "stub.exe",
                                    "--script", win + "sample.txt", "-o", win + "failed.exe", "--sign-command",
                                    "cmd /c echo no token for %1 & exit 3"], 60, check=False)
        staged = re.escape(win) + r"failed\.exe\.\w{6}\.exe"
        self.assertEqual(1, failed.returncode)
        self.assertRegex(failed.stderr.decode("latin-1"), f"^ffspack: the signing command failed on '{staged}' "
                         f"\\(exit code 3\\):\r?\nno token for \"{staged}\" *\r?\n$")
        self.assertEqual([], glob.glob(os.path.join(folder, "failed*")))
        # A key made on Windows signs on Linux, and one made on Linux signs on Windows.
        line = self.tool("FFSPACK_EXE", "keygen", "--out", win + "windows.key")
        self.assertRegex(line, r"^UPDATE KEY:[0-9a-f]{128}$")
        self.tool("FFSPACK_EXE", "keygen", "--out", win + "windows.key", code=1)
        self.assertEqual(0, host(ffspack, "keygen", "--out", os.path.join(folder, "linux.key")).returncode)
        for key in ("windows.key", "linux.key"):
            signature = self.tool("FFSPACK_EXE", "sign", "--key", win + key, win + "uninstall.exe")
            self.assertRegex(signature, r"^[0-9a-f]{128}$")
            self.assertTrue(self.verifies(os.path.join(folder, key), signature,
                                          os.path.join(folder, "uninstall.exe")), key)
        # A body as the program sends it decodes alike.
        body = os.path.join(folder, "body.bin")
        self.assertEqual(0, host(os.path.join(HOST_BUILD, "bench", "make_registrations"), "1", body).returncode)
        with open(body, "rb+") as f:
            one = f.read().rstrip(b"\n")
            f.seek(0), f.truncate(), f.write(one)
        decoded = host(os.path.join(HOST_BUILD, "bin", "regdecode"), "--json", body)
        self.assertEqual(0, decoded.returncode, decoded.stderr)
        self.assertEqual(decoded.stdout.decode().splitlines(),
                         self.tool("REGDECODE_EXE", "--json", win + "body.bin").splitlines())
        for name in ("FFSPACK_EXE", "REGDECODE_EXE"):
            self.assertIn("sage", self.tool(name, "--help"))
            self.tool(name, "--frobnicate", code=2)
        # The zip for makers on Windows: the stub, both tools, the sample and the guide, and
        # each tool unpacked from it answers --help.
        build = scenario.env_path("WIN_BUILD_DIR")
        self.assertEqual(0, subprocess.run(["cpack", "-G", "ZIP"], cwd=build, capture_output=True).returncode)
        with zipfile.ZipFile(os.path.join(build, "uninstall-maker-1.50-windows.zip")) as bundle:
            self.assertEqual(["ffspack.exe", "maker-guide.md", "regdecode.exe", "sample-product.txt",
                              "uninstall.exe"], sorted(os.path.basename(n) for n in bundle.namelist()))
            bundle.extractall(self.fresh_folder("Unzipped"))
        tools = glob.glob(self.drive_c("Unzipped", "*", "[fr]*.exe"))
        self.assertEqual(2, len(tools))
        for exe in tools:
            self.assertIn("sage", self.wine(exe, "--help"))
        # The program packed on Windows removes the product, as a deployment script runs it.
        sample = product.Product(self.prefix, scenario.SAMPLE)
        sample.install(os.path.join(folder, "uninstall.exe"), scenario.env_path("COMPONENT_PROBE_DLL"))
        run = self.start(sample.uninstaller(), ["-Quiet"], name="uninstall")
        self.assertEqual(0, run.wait(120))
        self.prefix.wait_idle(60)
        self.assertEqual(["windows/system32/widgets.ocx"], sample.remaining())

    @staticmethod
    def verifies(key, signature, path):
        """The signature checked by OpenSSL's command line, against the key's public half."""
        r, s = (int(signature[i:i + 64], 16) for i in (0, 64))

        def integer(x):
            data = x.to_bytes(33, "big").lstrip(b"\0")
            data = b"\0" + data if data[0] & 0x80 else data
            return b"\x02" + bytes([len(data)]) + data
        body = integer(r) + integer(s)
        der = os.path.join(os.path.dirname(path), "signature.der")
        with open(der, "wb") as f:
            f.write(b"\x30" + bytes([len(body)]) + body)
        public = host("openssl", "pkey", "-in", key, "-pubout").stdout
        pem = os.path.join(os.path.dirname(path), "public.pem")
        with open(pem, "wb") as f:
            f.write(public)
        result = host("openssl", "dgst", "-sha256", "-verify", pem, "-signature", der, path)
        return result.returncode == 0 and re.search(rb"Verified OK", result.stdout) is not None


if __name__ == "__main__":
    scenario.main()
