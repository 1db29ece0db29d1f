"""A product's whole life under Wine, from nothing back to nothing: the sample product's real
setup.exe (built by `ffspack installer` with makensis, and signed as makers sign it, with the
uninstaller inside it) installs it, silently or through its wizard answered from the keyboard,
upgrades it, or the installed uninstaller updates it from the
maker's server; the uninstaller then removes it, and the prefix (every path under drive C, every
key and value of HKEY_CURRENT_USER and HKEY_LOCAL_MACHINE) is as it was before."""

import glob
import os
import re
import shutil
import subprocess

import makerd
import product
import test_network as network
import scenario
import winedriver as wd

FOLDER = "C:\\Program Files\\Acme Widgets\\Widget Studio\\"
KEY = "HKCU\\Software\\Acme Widgets\\Widget Studio"
SETUP = "Acme Widgets Widget Studio Setup"
MESSAGE = "Widget Studio will now be installed."
REGISTER = "Acme Widgets Widget Studio Registration..."
ASK_REGISTER = "Would you like to register Widget Studio now?"
ASK, DONE = "Uninstall...", "Uninstaller..."
QUESTION = "Are you sure you want to uninstall Acme Widgets Widget Studio?"
UNINSTALLED = "Acme Widgets Widget Studio has been uninstalled!"
UPDATE = "Electronic Update..."
CHECK = "Would you like to check for an update to Acme Widgets Widget Studio electronically?"
UPDATED = "Successfully updated program to latest version!"
# What changes while programs run that is never the product's: each with its reason.
CHURN = [
    # Wine's display driver registers the display adapter and the monitor anew on each start.
    r"HKLM\\System\\CurrentControlSet\\(Control\\Class|Enum\\DISPLAY)\\.*",
    # The test's component records its registration calls in a file beside itself.
    r"C:/windows/system32/widgets\.ocx\.calls",
]


def tick(name):
    """The NSIS wizard's buttons, as Wine traces their texts (set_window_text)."""
    return f'L"{name}"'


class Lifecycle(scenario.Scenario):
    def setUp(self):
        self.sample = product.Product(self.prefix, scenario.SAMPLE)
        self.work = os.path.join(self.logs, "work")
        shutil.rmtree(self.work, ignore_errors=True)
        os.makedirs(os.path.join(self.work, "maker"))
        # The shared component lives in the system folder before the product comes (another
        # installer put it there); setup.exe registers it and the uninstaller unregisters it.
        shutil.copyfile(scenario.env_path("COMPONENT_PROBE_DLL"), self.sample.file("$2widgets.ocx"))
        # A text file "opened" by the shell starts a recorder outside drive C.
        self.viewer = shutil.copy(scenario.env_path("RUN_RECORDER_EXE"), os.path.join(self.work, "viewer.exe"))
        self.registry({r"HKCR\.txt": {"@": "txtfile"},
                       r"HKCR\txtfile\shell\open\command": {"@": f'"{self.prefix.windows_path(self.viewer)}" "%1"'}})

    def script(self, version, replace=()):
        """The sample script of `version`, with (old, new) replacements of whole lines."""
        with open(scenario.SAMPLE, encoding="latin-1") as f:
            text = f.read().replace("PRODUCT VERSION:2.4", f"PRODUCT VERSION:{version}")
        for old, new in replace:
            self.assertIn(old + "\n", text)
            text = text.replace(old + "\n", new + "\n")
        path = os.path.join(self.work, f"widget-studio-{version}.txt")
        with open(path, "w", encoding="latin-1") as f:
            f.write(text)
        return path

    def setup_exe(self, version, replace=()):
        """setup.exe of `version`, built as a maker builds it (outside drive C)."""
        script = self.script(version, replace)
        files = product.make_files(script, os.path.join(self.work, f"files-{version}"), version)
        out = os.path.join(self.work, f"setup-{version}", "setup.exe")
        os.makedirs(os.path.dirname(out), exist_ok=True)
        r = subprocess.run([self.ffspack(), "installer", "--script", script, "--files", files, "--stub",
                            scenario.env_path("UNINSTALL_EXE"), "-o", out,
                            *(["--sign-command", self.sign_command()] if self.signing else [])],
                           capture_output=True, text=True, timeout=120)
        self.assertEqual(0, r.returncode, r.stderr)
        if self.signing:  # signed as a maker signs: setup.exe and the uninstaller inside it
            self.assert_signed(out)
        return out

    @staticmethod
    def ffspack():
        return os.path.join(scenario.env_path("HOST_BUILD_DIR"), "tools", "ffspack", "ffspack")

    def silent(self, exe, args, code, name):
        run = self.start(exe, args, name=name)
        self.assertEqual(code, run.wait(120), run.tail())
        self.prefix.wait_idle(60)
        self.assertEqual([], run.boxes(), "a silent run shows no box")

    def assert_installed(self, version, script=scenario.SAMPLE):
        """Everything the uninstaller relies on is where it looks for it, of `version`."""
        installed = product.Product(self.prefix, script)
        for name in installed.files:
            if name != "uninstall.exe":
                with open(installed.file(name)) as f:
                    self.assertEqual(f"{installed.name} {version}: {name}\n", f.read())
        r = subprocess.run([self.ffspack(), "dump", installed.uninstaller()], capture_output=True, text=True)
        self.assertIn(f"PRODUCT VERSION:{version}\n", r.stdout)
        if self.signing:
            self.assert_signed(installed.uninstaller())
        self.assertEqual(FOLDER, self.prefix.reg_query(KEY, "Install Path"))
        uninstaller = FOLDER + "uninstall.exe"
        self.assertEqual({"DisplayName": installed.name, "DisplayVersion": version, "Publisher": "Acme Widgets",
                          "InstallLocation": FOLDER.rstrip("\\"), "DisplayIcon": FOLDER + "studio.exe",
                          "UninstallString": f'"{uninstaller}"', "QuietUninstallString": f'"{uninstaller}" -Quiet',
                          "EstimatedSize": "0x600", "NoModify": "0x1", "NoRepair": "0x1"},
                         self.prefix.reg_values(installed.entry_key()))
        shortcuts = sorted(os.listdir(installed.group_folder()))
        self.assertEqual(sorted(name + ".lnk" for _, _, name in installed.items), shortcuts)
        for target, arguments, name in installed.items:
            link = self.read_bytes(os.path.join(installed.group_folder(), name + ".lnk"))
            for text in [FOLDER + target] + [arguments] * bool(arguments):
                self.assertTrue(text.encode("utf-16-le") in link or text.encode() in link, (name, text))

    def assert_as_before(self, before):
        """No file, folder, key or value that was not there before, and none gone."""
        after = product.snapshot(self.prefix)
        churn = re.compile("|".join(CHURN))
        changed = sorted(e for e in before ^ after if not churn.fullmatch(e.split(" : ")[0]))
        self.assertEqual([], changed, "\n".join(("+ " if e in after else "- ") + e for e in changed))

    def test_silent_install_and_quiet_removal(self):
        self.signing = True
        before = product.snapshot(self.prefix)
        self.silent(self.setup_exe("2.4"), ["/S"], 0, "setup")
        self.assert_installed("2.4")
        self.assertEqual(["DllRegisterServer"], self.sample.component_calls("$2widgets.ocx")[-1:])
        self.assertFalse(os.path.exists(self.viewer.replace(".exe", "-runs.txt")), "never in a silent install")
        # When it returns, only its own file is still there; a moment later nothing.
        run = self.start(self.sample.uninstaller(), ["-Quiet"], name="uninstall")
        self.assertEqual(0, run.wait(120))
        self.assertLessEqual(set(self.sample.remaining()) - {"windows/system32/widgets.ocx"}, {
            "Program Files/Acme Widgets", "Program Files/Acme Widgets/Widget Studio",
            "Program Files/Acme Widgets/Widget Studio/uninstall.exe"})
        self.assertEqual("DllUnregisterServer", self.sample.component_calls("$2widgets.ocx")[-1])
        self.assert_as_before(before)
        self.assertEqual([], run.boxes())

    def test_wizard_and_interactive_removal(self):
        self.signing = True
        before = product.snapshot(self.prefix)
        run = self.start(self.setup_exe("2.4"), [], name="wizard")
        wizard = wd.wait_window(run, SETUP, timeout=60)
        # Welcome, the licence (license.txt), the folder: Next, I Agree, Install.
        for button in ("&Next >", "I &Agree", "&Install"):
            wd.until(lambda: tick(button) in run.stderr_text(), 30) or wd.fail(run, f"no button {button}")
            if button == "&Next >":
                wd.screenshot(os.path.join(self.logs, "wizard-welcome.png"), wizard)
            # The box that comes next shares its caption with the wizard's windows.
            beneath = [wd.SimpleNamespace(id=window) for window, _ in wd.find_windows(SETUP)]
            wd.key(wizard, "Return")
        wd.answer(self.box(run, SETUP, MESSAGE, over=beneath), "Return")
        wd.until(lambda: tick("&Finish") in run.stderr_text(), 60) or wd.fail(run, "the install did not finish")
        wizard = wd.wait_window(run, SETUP + " ", timeout=30)
        wd.screenshot(os.path.join(self.logs, "wizard-finish.png"), wizard)
        wd.key(wizard, "Return")  # Finish, with EXECUTE's box ticked
        # At its end an interactive install offers the registration: declined here.
        wd.answer(self.box(run, REGISTER, ASK_REGISTER), "n")
        self.assertEqual(0, run.wait(60))
        self.prefix.wait_idle(60)
        self.assert_installed("2.4")
        with open(self.viewer.replace(".exe", "-runs.txt")) as f:
            self.assertIn(f"{FOLDER}readme.txt", f.read())
        run = self.start(self.sample.uninstaller(), [], name="uninstall")
        wd.answer(self.box(run, ASK, QUESTION), "y")
        wd.answer(self.box(run, DONE, UNINSTALLED), "Return")
        self.assertEqual(0, run.wait(60))
        self.assert_as_before(before)

    def box(self, run, caption, text, over=()):
        box = wd.wait_box(run, caption, timeout=60, over=over)
        self.assertEqual(text, box.text)
        return box

    def test_upgrade_keeps_one_installation(self):
        before = product.snapshot(self.prefix)
        old = self.setup_exe("2.4")
        self.silent(old, ["/S"], 0, "setup-2.4")
        self.registry({KEY: {"Registered Version": "2.4"}})  # as a registration leaves it
        # 2.5 drops one sample and brings another; installed unattended as the update does.
        with open(scenario.SAMPLE) as f:
            files = next(line.rstrip("\n") for line in f if line.startswith("FILE LIST:"))
        moved = [(files, files.replace("samples\\spring.wdg", "samples\\wheel.wdg"))]
        self.silent(self.setup_exe("2.5", moved), ["-Quiet"], 1, "setup-2.5")
        self.assert_installed("2.5", self.script("2.5", moved))
        self.assertFalse(os.path.exists(self.sample.file("samples\\spring.wdg")), "the older version's file goes")
        self.assertEqual("2.4", self.prefix.reg_query(KEY, "Registered Version"))
        # An older setup never replaces a newer installation unattended.
        self.silent(old, ["/S"], 7, "setup-older")
        failures = glob.glob(self.drive_c("users", "*", "Temp", SETUP + ".log"))
        self.assertEqual(1, len(failures))
        with open(failures[0]) as f:
            self.assertEqual("Newer version 2.5 is installed; 2.4 was not installed\n", f.read())
        os.remove(failures[0])
        self.assert_installed("2.5", self.script("2.5", moved))
        self.silent(self.sample.uninstaller(), ["-Quiet"], 0, "uninstall")
        self.assert_as_before(before)

    def test_update_from_the_makers_server(self):
        key = os.path.join(self.work, "maker.key")
        pin = subprocess.run([self.ffspack(), "keygen", "--out", key], check=True, capture_output=True,
                             text=True).stdout.strip()
        with makerd.Makerd(os.path.join(self.work, "maker")) as maker:
            update = [("UPDATE URL:http://127.0.0.1:8080/updates/widget-studio.txt",
                       f"UPDATE URL:{maker.url('/update')}\n{pin}")]
            before = product.snapshot(self.prefix)
            self.silent(self.setup_exe("2.4", update), ["/S"], 0, "setup-2.4")

            def publish(version):
                maker.publish(version, self.setup_exe(version, update), key=key, company="Acme Widgets",
                              product="Widget Studio")
            # Asked: Yes, "Download and install new version", then the outcome.
            publish("2.5")
            run = self.start(self.sample.uninstaller(), ["-Update"], name="update")
            wd.answer(self.box(run, UPDATE, CHECK), "y")
            dialog = wd.wait_window(run, UPDATE, timeout=60)
            _, _, width, height = wd.geometry(dialog)
            wd.click(dialog, int(182.5 * width / 245), int(41.5 * height / 55))
            wd.answer(self.box(run, UPDATE, UPDATED), "Return")
            self.assertEqual(0, run.wait(120))
            self.prefix.wait_idle(60)
            self.assert_installed("2.5", self.script("2.5", update))
            # Unattended, from the installed 2.5 that runs while its successor replaces it.
            publish("2.6")
            self.silent(self.sample.uninstaller(), ["-Update", "-Quiet"], 0, "update-quiet")
            self.assert_installed("2.6", self.script("2.6", update))
            self.assertEqual([], [name for name in os.listdir(self.prefix.unix_path(FOLDER))
                                  if name.endswith((".old", ".exe")) and name not in ("studio.exe", "uninstall.exe")],
                             "neither a download nor an old uninstaller stays")
        self.silent(self.sample.uninstaller(), ["-Quiet"], 0, "uninstall")
        self.assert_as_before(before)

    def test_folders_outside_the_code_page(self):
        """A Cyrillic user's temporary folder and a product folder in Greek letters on an English
        system: the system's 8-bit calls name neither, so the uninstaller goes by their short forms.
        Installed, then removed when asked; installed, updated from the maker's server and removed
        unattended."""
        users = glob.glob(self.drive_c("users", "*", "Temp"))
        self.assertEqual(1, len(users))
        os.makedirs(os.path.join(users[0], "Жора"), exist_ok=True)
        temp = self.prefix.windows_path(os.path.join(users[0], "Жора"))
        # GetTempPath reads TMP before TEMP.
        self.registry({r"HKCU\Environment": {"TMP": temp, "TEMP": temp}})
        folder = "C:\\Program Files\\Ωmega Tools\\App"
        installed = self.prefix.unix_path(folder)
        key = os.path.join(self.work, "maker.key")
        pin = subprocess.run([self.ffspack(), "keygen", "--out", key], check=True, capture_output=True,
                             text=True).stdout.strip()
        with makerd.Makerd(os.path.join(self.work, "maker")) as maker:
            update = [("UPDATE URL:http://127.0.0.1:8080/updates/widget-studio.txt",
                       f"UPDATE URL:{maker.url('/update')}\n{pin}"),
                      ("REGISTER:https://localhost:8443/register\tWidget Studio 2.4\t" + ASK_REGISTER,
                       f"REGISTER:{maker.url('/register')}\tWidget Studio 2.4\t" + ASK_REGISTER)]
            before = product.snapshot(self.prefix)
            setup = self.setup_exe("2.4", update)
            for removal in ("asked", "quiet"):
                # Where an earlier installation was (wine quotes "/D=" with its spaces, which NSIS
                # does not read); the installer writes it again.
                self.registry({KEY: {"Install Path": folder + "\\"}})
                self.silent(setup, ["/S"], 0, f"setup-{removal}")
                with open(os.path.join(installed, "studio.exe")) as f:
                    self.assertEqual(f"{self.sample.name} 2.4: studio.exe\n", f.read())
                uninstaller = os.path.join(installed, "uninstall.exe")
                if removal == "quiet":
                    # Registered from these folders: the form's record reaches the maker's server.
                    run = self.start(uninstaller, ["-Register"], name="register")
                    wd.answer(self.box(run, REGISTER, ASK_REGISTER), "y")
                    form = network.Form(run, REGISTER)
                    form.fill(network.ANN, network.NO_BOX)
                    form.submit(network.THANKS)
                    self.assertEqual(0, run.wait(120))
                    self.prefix.wait_idle(60)
                    self.assertEqual([network.ANN["email"]], [r["207"] for r in maker.registrations()])
                    # The registrant's details stay for the maker's other products, by design.
                    self.registry({network.MAKER_KEY.rsplit("\\", 1)[0]: None})
                    maker.publish("2.5", self.setup_exe("2.5", update), key=key, company="Acme Widgets",
                                  product="Widget Studio")
                    self.silent(uninstaller, ["-Update", "-Quiet"], 0, "update-quiet")
                    with open(os.path.join(installed, "studio.exe")) as f:
                        self.assertEqual(f"{self.sample.name} 2.5: studio.exe\n", f.read())
                    self.silent(uninstaller, ["-Quiet"], 0, "uninstall-quiet")
                else:
                    run = self.start(uninstaller, [], name="uninstall-asked")
                    wd.answer(self.box(run, ASK, QUESTION), "y")
                    wd.answer(self.box(run, DONE, UNINSTALLED), "Return")
                    self.assertEqual(0, run.wait(60))
                self.assertEqual("DllUnregisterServer", self.sample.component_calls("$2widgets.ocx")[-1])
                self.assert_as_before(before)
        # A temporary folder that has no short name (here: it does not exist) is refused, never guessed.
        self.registry({r"HKCU\Environment": {"TMP": temp + "\\Нет", "TEMP": temp + "\\Нет"}})
        stub = self.place_packed(scenario.SAMPLE, "Stub", "uninstall.exe")
        self.silent(stub, ["-Quiet", "-debug"], 1, "no-short-name")
        self.assertRegex(scenario.read_log(os.path.join(os.path.dirname(stub), "debug.log")),
                         r"\r\nPath '[^']*' is outside the code page and has no short name\r\n"
                         r"Unable to relocate: no usable temp path\r\nSuccessful Exit\.\.\.\r\n$")


if __name__ == "__main__":
    scenario.main()
