"""The update ("-Update") and the registration ("-Register", "-InstReg") under Wine, answered
from the keyboard, against maker_server.py, which is also the proxy and decodes every
registration with the maker's decoder. The installer offered and the shell's web browser are
run_recorder.exe, which records how it was started."""

import contextlib
import glob
import hashlib
import os
import re
import shutil
import socket
import struct
import subprocess
import time

import maker_server as ms
import makerd
import scenario
import winedriver as wd

TITLE = "Electronic Update..."
INSTALL_DIR = "C:\\Program Files\\Acme\\Tool\\"
OLD = INSTALL_DIR + "uninstall.exe.old"
SETTINGS_KEY = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Internet Settings"
BROWSER = "C:\\Probe\\browser.exe"
QUESTION = "Would you like to check for an update to Acme Tool electronically?"
LATEST = "You are running the latest version of Acme Tool."
RETRY_CHECK = "There was a problem checking with the update server, would you like to try again?"
RETRY_DOWNLOAD = "There was a problem downloading the update, would you like to try again?"
NO_INFO = "Unable to retrieve version info from update server, please check the website."
SUCCESS = "Successfully updated program to latest version!"
UPDATE_ERROR = "Error attempting to update, please go to the site for the latest version."
NO_CONTACT = "Unable to contact the update server, please try again later."
REFUSED = ("The new version could not be verified as the maker's, so it was not installed. Please go to "
           "the site for the latest version.")
DOWNLOAD_AGENT = "Pelmora Update Download Uninstall (www.pelmora.com)"
PAGE = "http://127.0.0.1/acme/tool.html"
CAPTION = "Acme Tool Registration..."
ASK_REGISTER = "Would you like to register Acme Tool now?"
NO_CHOICE = "You must choose if you wish to receive updates or not."
FIELDS_EMPTY = "All fields must be filled in correctly."
EMAIL_INVALID = "The email address does not appear to be valid."
EMAIL_MISMATCH = "The email address you entered does not match, please check your email address again"
DECLINE = "Are you sure you don't want to register?"
RETRY = "There was a problem sending your registration, would you like to try again?"
THANKS = "Your registration has been successfully sent!  Thank you!"
AGENT = "Pelmora Register Uninstall (www.pelmora.com)"
MAKER_KEY = r"HKCU\Software\Pelmora\Installer"
STORED = ["First Name", "Last Name", "Address", "City", "State", "Country", "Zip", "Email", "Phone",
          "ListServer"]
# The form's edit boxes in their tab order (fields 200 to 209), then Yes and No to updates.
FIELDS = ["first", "last", "street", "city", "state", "country", "zip", "email", "phone", "referral"]
YES_BOX, NO_BOX = len(FIELDS), len(FIELDS) + 1
ANN = dict(zip(FIELDS, ["Ann", "Example", "12 High Street", "Springfield", "IL", "USA", "62701",
                        "ann.example@mail.example.com", "555-123-4567", "A friend at work"]))
SENT, DOWNLOAD = "Submission on phase ", "Update download on phase "


def head(target, agent="Pelmora Update Check Uninstall (www.pelmora.com)"):
    return (f"GET {target} HTTP/1.0\r\nUser-Agent: {agent}\r\nHost: 127.0.0.1\r\n"
            "Connection: closed\r\n\r\n").encode()


def openssl(folder, *args):
    subprocess.run(["openssl", *args], cwd=folder, check=True, capture_output=True)


def certificates(folder):
    """A test authority's DER, and {name: (certificate, key)} of servers made by it with openssl:
    "localhost", "other" (for another host name), "expired" (a day in 2020), and "untrusted" (made
    by another authority, which nobody trusts)."""
    for authority in ("ca", "rogue"):
        openssl(folder, "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", f"{authority}.key", "-out",
                f"{authority}.pem", "-days", "2", "-subj", f"/CN=Uninstall Test Authority {authority}")
    with open(os.path.join(folder, "ca.cnf"), "w") as f:
        f.write("[ca]\ndefault_ca=c\n[c]\ndatabase=index.txt\nnew_certs_dir=.\nserial=serial\n"
                "default_md=sha256\npolicy=p\nunique_subject=no\n[p]\ncommonName=supplied\n")
    open(os.path.join(folder, "index.txt"), "w").close()
    with open(os.path.join(folder, "serial"), "w") as f:
        f.write("01\n")
    today = time.strftime("%Y%m%d000000Z", time.gmtime())
    soon = time.strftime("%Y%m%d%H%M%SZ", time.gmtime(time.time() + 86400))
    for name, host, authority, dates in (("localhost", "localhost", "ca", (today, soon)),
                                         ("other", "other.example", "ca", (today, soon)),
                                         ("expired", "localhost", "ca", ("20200101000000Z", "20200102000000Z")),
                                         ("untrusted", "localhost", "rogue", (today, soon))):
        with open(os.path.join(folder, f"{name}.ext"), "w") as f:
            f.write(f"subjectAltName=DNS:{host}\nextendedKeyUsage=serverAuth\n")
        openssl(folder, "req", "-new", "-newkey", "rsa:2048", "-nodes", "-keyout", f"{name}.key", "-out",
                f"{name}.csr", "-subj", f"/CN={host}")
        openssl(folder, "ca", "-batch", "-notext", "-config", "ca.cnf", "-cert", f"{authority}.pem", "-keyfile",
                f"{authority}.key", "-in", f"{name}.csr", "-out", f"{name}.pem", "-startdate", dates[0],
                "-enddate", dates[1], "-extfile", f"{name}.ext")
    openssl(folder, "x509", "-in", "ca.pem", "-outform", "DER", "-out", "ca.der")
    with open(os.path.join(folder, "ca.der"), "rb") as f:
        authority = f.read()
    return authority, {n: (os.path.join(folder, f"{n}.pem"), os.path.join(folder, f"{n}.key"))
                       for n in ("localhost", "other", "expired", "untrusted")}


@contextlib.contextmanager
def tinyproxy(folder):
    """tinyproxy on a free port of 127.0.0.1, tunnelling CONNECT to any port; yields (port, log)."""
    port, log = ms.free_port(), os.path.join(folder, "tinyproxy.log")
    config = os.path.join(folder, "tinyproxy.conf")
    with open(config, "w") as f:
        f.write(f"Port {port}\nListen 127.0.0.1\nAllow 127.0.0.1\nTimeout 60\nLogLevel Connect\n"
                f'LogFile "{log}"\nMaxClients 20\n' + ("User root\nGroup root\n" if os.getuid() == 0 else ""))
    process = subprocess.Popen(["tinyproxy", "-d", "-c", config], stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL)
    try:
        deadline = time.monotonic() + 30
        while True:
            try:
                socket.create_connection(("127.0.0.1", port), timeout=1).close()
                break
            except OSError:
                if process.poll() is not None or time.monotonic() > deadline:
                    raise RuntimeError(f"tinyproxy did not listen on {port} within 30 s")
                time.sleep(0.1)
        yield port, log
    finally:
        process.terminate()
        process.wait(30)


def phases(log, line="Update on phase "):
    return [int(entry[len(line):]) for entry in log.splitlines() if entry.startswith(line)]


def recorded(folder, name):
    path = os.path.join(folder, f"{name}-runs.txt")
    return open(path).read().splitlines() if os.path.exists(path) else []


class Form:
    """A dialog driven from the keyboard: a box that closes gives the focus back to its control."""

    def __init__(self, run, caption=CAPTION, beneath=()):
        self.run, self.caption, self.beneath, self.at = run, caption, list(beneath), 0
        self.window = wd.wait_window(run, caption, timeout=60, besides=beneath)

    def fill(self, values=(), tick=None):
        """Types each value over its field's text; then ticks the box at index `tick`."""
        for index, text in [(FIELDS.index(name), text) for name, text in dict(values).items()] + (
                [(tick, None)] if tick is not None else []):
            if index != self.at:
                wd.key(self.window, *["Tab" if index > self.at else "shift+Tab"] * abs(index - self.at))
            self.at = index
            if text is None:
                wd.key(self.window, "space")
            else:
                self.replace(text)

    def replace(self, text):
        wd.key(self.window, "Home", "shift+End")
        wd.type_text(self.window, text)

    def submit(self, box=None, key="Return", press="Return"):
        wd.key(self.window, press)
        if box:
            found = wd.wait_box(self.run, self.caption, timeout=120, over=[self.window, *self.beneath])
            if found.text != box:
                wd.fail(self.run, f"box {found.text!r}, expected {box!r}")
            key(found) if callable(key) else wd.answer(found, key)


class Network(scenario.Scenario):
    """Acme Tool in INSTALL_DIR, no proxy unless the test sets one."""

    def setUp(self):
        self.install_dir, self.runs = self.fresh_folder("Program Files", "Acme", "Tool"), 0
        # Wine leaves the owner and organisation empty, which would leave both fields out.
        self.registry({r"HKCU\Software\Acme\Tool": {"Install Path": INSTALL_DIR}, MAKER_KEY: None,
                       SETTINGS_KEY: {"ProxyEnable": None, "ProxyServer": None},
                       r"HKCR\http\shell\open\command": {"@": f'"{BROWSER}" "%1"'},
                       r"HKLM\Software\Microsoft\Windows\CurrentVersion": {
                           "RegisteredOwner": "Jo Smith", "RegisteredOrganization": None}})

    def set_proxy(self, enable, server, keys=()):
        self.registry({SETTINGS_KEY: {"ProxyEnable": enable, "ProxyServer": server}, **dict(keys)})

    def temp_logs(self):
        return glob.glob(self.drive_c("users", "*", "Temp", "debug.log"))

    def start_run(self, option, lines, version="1.50", company="Acme", product="Tool", quiet=False):
        for log in self.temp_logs() + glob.glob(self.install_dir + "/debug.log"):
            os.remove(log)
        script = [f"COMPANY NAME:{company}", f"PRODUCT NAME:{product}", f"PRODUCT VERSION:{version}",
                  r"REGISTRY PATH:Software\Acme\Tool", r"INSTALL DIR:Acme\Tool",
                  "INSTALL PATH:Looking for Acme Tool", "UNINSTALL NAME:uninstall.exe", *lines,
                  "DONE:Acme Tool has been removed."]
        exe = self.place_packed(None, "Program Files", "Acme", "Tool", "uninstall.exe",
                                text="\n".join(script) + "\n")
        self.runs, self.in_place = self.runs + 1, option == "-InstReg"
        self.run = self.start(exe, [option] + ["-Quiet"] * quiet + ["-debug"],
                              f"{self.id().rsplit('.', 1)[1]}-{self.runs}")
        return self.run

    def finish(self, caption, boxes, code=0):
        """Checks the run's boxes; returns the log of its working copy (in place or in Temp)."""
        self.assertEqual(code, self.run.wait(120))
        self.prefix.wait_idle(60)
        self.assertEqual(boxes, [b.text for b in self.run.boxes() if b.caption == caption])
        # The first process logs its relocation beside the program; the copy works in Temp.
        temp = self.temp_logs()
        self.assertEqual(0 if self.in_place else 1, len(temp), temp)
        self.assertEqual([], glob.glob(self.drive_c("users", "*", "Temp", "Del*")), "no copy stays")
        log = os.path.join(self.install_dir, "debug.log") if self.in_place else temp[0]
        return self.read_bytes(log).decode("latin-1").replace("\r\n", "\n")

    def update(self, url, boxes, version="1.50", installer=1, lines=(), quiet=False, code=0, renames=None):
        """A run whose boxes are answered in turn: (text, key or function of the box), (None,
        a button of the new-version dialog) or ("Error", key) for the shell's box. The installer
        named `renames` renames the installed uninstaller to OLD first, as a real one does."""
        with open(os.path.join(self.install_dir, "setup-exit.txt"), "w") as f:
            f.write(f"{installer}\n")
        for rename in glob.glob(os.path.join(self.install_dir, "*-rename.txt")):
            os.remove(rename)
        if renames:
            with open(os.path.join(self.install_dir, f"{renames}-rename.txt"), "w") as f:
                f.write(f"{INSTALL_DIR}uninstall.exe\n{OLD}\n")
        run = self.start_run("-Update", ([f"UPDATE URL:{url}"] if url else []) + list(lines), version,
                             quiet=quiet)
        for text, answer in boxes:
            if text is None:  # a key, or a button's centre in dialog units of its 245 x 55
                dialog = wd.wait_window(run, TITLE, timeout=60)
                _, _, width, height = wd.geometry(dialog)
                if isinstance(answer, str):
                    wd.key(dialog, answer)
                else:
                    wd.click(dialog, int(answer * width / 245), int(41.5 * height / 55))
                continue
            box = wd.wait_box(run, "Error" if text == "Error" else TITLE, timeout=60)
            if text not in ("Error", box.text):
                wd.fail(run, f"box {box.text!r}, expected {text!r}")
            answer(box) if callable(answer) else wd.answer(box, answer)
        return self.finish(TITLE, [t for t, _ in boxes if t not in (None, "Error")], code)

    def test_update(self):
        page, download = (None, 62.5), (None, 182.5)
        browser_dir = self.fresh_folder("Probe")
        shutil.copyfile(scenario.env_path("RUN_RECORDER_EXE"), os.path.join(browser_dir, "browser.exe"))
        self.assertTrue(self.update(None, []).endswith("Successful Exit...\n"))
        port = ms.free_port()
        url = f"http://127.0.0.1:{port}/info"
        self.assertEqual([], phases(self.update(url, [(QUESTION, "n")])))
        # Server down: it asks again until No, or until the server answers.
        log = self.update(url, [(QUESTION, "Return"), (RETRY_CHECK, "Return"), (RETRY_CHECK, "n"),
                                (NO_CONTACT, "Return")])
        self.assertEqual([0, 1, 2, 1, 2], phases(log))
        self.assertEqual(3, log.count(f"Unable to connect to machine 127.0.0.1:{port} for URL '{url}'\n"))
        with contextlib.ExitStack() as stack:
            def server_back(box):
                servers.append(stack.enter_context(ms.MakerServer(port=port)))
                servers[0].serve_info("/info", [{"key": "Acme Tool", "version": "1.50"}])
                wd.answer(box, "Return")
            servers = []
            log = self.update(url, [(QUESTION, "Return"), (RETRY_CHECK, server_back), (LATEST, "Return")])
            self.assertEqual([0, 1, 2, 1], phases(log))
            server = servers[0]
            # A 404 page holds no version information.
            server.route("/info", None)
            self.update(url, [(QUESTION, "Return"), (NO_INFO, "Return")])
            server.serve_info("/info", [{"key": "Other", "version": "9", "download": PAGE},
                                        {"key": "ACME TOOL", "version": "1.5", "page": PAGE}])
            self.assertIn("Update on phase 0\nContacting 'http://127.0.0.1/' '/info'\n"
                          "Unable to get 'ProxyEnable' integer\nUnable to get 'ProxyServer' string\n"
                          "Proxy Disabled (0x00000000) : None\nRecieved -> 0 [",
                          self.update(url, [(QUESTION, "Return"), (LATEST, "Return")]))
            files = server.url("/files/setup.exe")
            server.serve_info("/info", [{"key": "Acme Tool", "version": "2.0 final", "page": PAGE,
                                         "download": files}])
            installer = self.read_bytes(scenario.env_path("RUN_RECORDER_EXE"))
            server.serve_file("/files/setup.exe", installer)
            self.update(url, [(QUESTION, "Return"), (None, "Escape")])
            self.assertEqual([head("/info")] * 4, [r.head for r in server.requests])
            self.assertFalse(os.path.exists(os.path.join(self.install_dir, "setup.exe")))
            # The page, then the download: the installer's exit code tells the outcome. The
            # proxy named in a list is given the whole URL; the Host line still names the server.
            for code, outcome, proxy, line, heads in (
                    (1, SUCCESS, (1, f"ftp=127.0.0.1:1;http=127.0.0.1:{port};https=127.0.0.1:2"),
                     f"Proxy Enabled (0x00000001) : 127.0.0.1:{port}\n",
                     [head(url), head(files, DOWNLOAD_AGENT)]),
                    (0, UPDATE_ERROR, (0, f"127.0.0.1:{port}"), "Proxy Disabled (0x00000000) : None\n",
                     [head("/info"), head("/files/setup.exe", DOWNLOAD_AGENT)])):
                self.set_proxy(*proxy)
                since = len(server.requests)
                log = self.update(url, [(QUESTION, "Return"), page, download, (outcome, "Return")],
                                  version="1.50 beta", installer=code, renames="setup" if code else None)
                self.assertEqual(([0], [0]), (phases(log), phases(log, DOWNLOAD)))
                self.assertIn(line, log)
                self.assertEqual(heads, [r.head for r in server.requests[since:]])
                # The installer goes once it has ended, and the uninstaller it renamed, if it did, at once.
                self.assertIn(f"Delete file '{INSTALL_DIR}setup.exe'\n" + f"Delete file '{OLD}'\n" * code +
                              "Company Name   : Acme\n", log)
                self.assertEqual(["debug.log", "setup-exit.txt", "setup-runs.txt"] + ["uninstall.exe"] * (1 - code),
                                 sorted(n for n in os.listdir(self.install_dir) if not n.endswith("-rename.txt")))
            for text in ("A new version of Acme Tool is available!",
                         "Current version 1.50 - New version 2.0"):
                self.assertIn(f':trace:win:set_window_text L"{text}"', self.run.stderr_text())
            self.assertEqual([f'"{BROWSER}" "{PAGE}"'] * 2, recorded(browser_dir, "browser"))
            self.assertEqual([f'"{INSTALL_DIR}setup.exe" -Quiet'] * 2, recorded(self.install_dir, "setup"))
            # A download cut short is never started.
            server.serve_file("/files/setup.exe", ms.pattern_bytes(999), length=1000)
            log = self.update(url, [(QUESTION, "Return"), download, (RETRY_DOWNLOAD, "Return"),
                                    (RETRY_DOWNLOAD, "n"), (NO_CONTACT, "Return")])
            self.assertEqual([0, 1, 2, 1, 2], phases(log, DOWNLOAD))
            self.assertEqual(2, len(recorded(self.install_dir, "setup")))
            # A file that is no program: the shell says so in its own box first.
            server.serve_file("/files/setup.exe", b"This is no program.\r\n")
            log = self.update(url, [(QUESTION, "Return"), download, ("Error", "Return"),
                                    (UPDATE_ERROR, "Return")])
            self.assertRegex(log, re.escape(f"Unable to execute '{INSTALL_DIR}setup.exe' '-Quiet' 0x")
                             + "[0-9A-F]{8}\n" + re.escape(f"Delete file '{INSTALL_DIR}setup.exe'\nCompany Name"))
            # An unreachable proxy: straight on to the server, with no question.
            dead = ms.free_port()
            self.set_proxy(1, f"127.0.0.1:{dead}")
            server.serve_info("/info", [{"key": "Acme Tool", "version": "1.0"}])
            log = self.update(url, [(QUESTION, "Return"), (LATEST, "Return")])
            self.assertEqual([0, 1], phases(log))
            self.assertIn(f"Unable to connect to machine 127.0.0.1:{dead} for URL '{url}'\n"
                          "Update on phase 1\n", log)

    def test_signed_update(self):
        ffspack = os.path.join(scenario.env_path("HOST_BUILD_DIR"), "tools", "ffspack", "ffspack")

        def tool(*args):
            return subprocess.run([ffspack, *args], check=True, capture_output=True, text=True).stdout.strip()
        keys = [os.path.join(self.fresh_folder("Keys"), f"maker{n}.key") for n in (1, 2)]
        pins = [tool("keygen", "--out", k) for k in keys]
        installer = self.read_bytes(scenario.env_path("RUN_RECORDER_EXE"))
        signed = os.path.join(self.drive_c("Keys"), "setup.exe")
        with open(signed, "wb") as f:
            f.write(installer)
        good, other = (tool("sign", "--key", k, signed) for k in keys)
        download, saved = (None, 182.5), os.path.join(self.install_dir, "setup.exe")
        # The maker's server publishes signed releases: the program checks, verifies and starts
        # them, asked or unattended (no box, and the installer's exit code tells the outcome).
        with makerd.Makerd(self.fresh_folder("Maker")) as maker:
            url = maker.url("/update")
            maker.publish("1.0", signed, key=keys[0])
            self.update(url, [], lines=[pins[0]], quiet=True, code=0)
            base = maker.publish("2.0", signed, key=keys[0]).rsplit(".", 1)[0]
            self.update(url, [(QUESTION, "Return"), download, (SUCCESS, "Return")], lines=[pins[0]])
            # Whatever the outcome, the installer goes; the uninstaller that it renamed while the
            # started process ran from it goes once that process has ended.
            for exit_code, code in ((0, 7), (1, 0)):
                with open(os.path.join(self.install_dir, f"{base}-exit.txt"), "w") as f:
                    f.write(f"{exit_code}\n")
                log = self.update(url, [], lines=[pins[0]], quiet=True, code=code, renames=base)
                self.assertIn(f"Delete file '{INSTALL_DIR}{base}.exe'\n", log)
                self.assertTrue(log.endswith(f"Delete file '{OLD}'\nSuccessful Exit...\n"), log)
                self.assertFalse(os.path.exists(self.prefix.unix_path(OLD)))
            self.update(url, [], quiet=True, code=6)  # no key pinned: never unattended
            self.assertEqual([f'"{INSTALL_DIR}{base}.exe" -Quiet'] * 3, recorded(self.install_dir, base))
        # What a real server never serves: signatures that are wrong, cut, not text, or missing.
        with ms.MakerServer() as server:
            url, files = server.url("/info"), server.url("/files/setup.exe")

            def offer(signature, body=installer):
                server.serve_info("/info", [{"key": "Acme Tool", "version": "2.0", "download": files,
                                             **({"signature": signature} if signature is not None else {})}])
                server.serve_file("/files/setup.exe", body)
            # Refused before the download when the field is missing or malformed, after it when
            # the file does not verify; never started.
            changed = installer[:-1] + bytes([installer[-1] ^ 1])
            for signature, body, reason in [
                    (good, changed, "the signature does not match the file"),
                    (other, installer, "the signature does not match the file"),
                    (good[:-2], installer, "the signature is malformed"),
                    ("z" * 128, installer, "the signature is malformed"),
                    (None, installer, "the update information has no signature")]:
                offer(signature, body)
                since = len(server.requests)
                log = self.update(url, [(QUESTION, "Return"), download, (REFUSED, "Return")], lines=[pins[0]])
                self.assertEqual(since + 1 + reason.endswith("file"), len(server.requests))
                self.assertIn(f"Update refused: {reason}\n", log)
                self.assertFalse(os.path.exists(saved))
            self.update(url, [], lines=[pins[0]], quiet=True, code=6)
            self.assertEqual([], recorded(self.install_dir, "setup"))
            # Without a pinned key a signature changes nothing.
            offer(other)
            self.update(url, [(QUESTION, "Return"), download, (SUCCESS, "Return")])
            self.assertEqual([f'"{INSTALL_DIR}setup.exe" -Quiet'], recorded(self.install_dir, "setup"))
        log = self.update(f"http://127.0.0.1:{ms.free_port()}/info", [], quiet=True, code=5)
        self.assertEqual([0, 1], phases(log))

    def test_a_signed_program_updates_and_registers(self):
        self.signing = True
        signed = r"\nSigned: FFS ends at the certificate table \(\d+ bytes at \d+\)\nFlat/Fast File System"
        with ms.MakerServer() as server:
            server.serve_info("/info", [{"key": "Acme Tool", "version": "1.50"}])
            server.serve_registration("/register")
            self.assertRegex(self.update(server.url("/info"), [(QUESTION, "Return"), (LATEST, "Return")]),
                             signed)
            self.assert_signed(os.path.join(self.install_dir, "uninstall.exe"))
            self.assertRegex(self.update(server.url("/info"), [], quiet=True, code=0), signed)
            log = self.register(server.url("/register"), THANKS)
            self.assertRegex(log, signed)
            self.assertEqual([0], phases(log, SENT))
            (_, decoded, error), = server.registrations
            self.assertEqual((None, "Acme"), (error, dict(decoded["fields"])["101"]))

    def trust(self, authority):
        """Puts the authority into this prefix's machine Root store (and the 32-bit view's), as the
        serialized certificate property (id 32) that the system reads."""
        blob = ",".join(f"{b:02x}" for b in struct.pack("<III", 32, 1, len(authority)) + authority)
        thumb = hashlib.sha1(authority).hexdigest().upper()
        reg = os.path.join(self.fresh_folder("Trust"), "root.reg")
        with open(reg, "w") as f:
            f.write("REGEDIT4\n" + "".join(
                f"\n[HKEY_LOCAL_MACHINE\\Software\\{view}Microsoft\\SystemCertificates\\Root\\Certificates"
                f"\\{thumb}]\n\"Blob\"=hex:{blob}\n" for view in ("", "Wow6432Node\\")))
        self.prefix.reg_import(reg)

    def test_https(self):
        """Registration, update check, download and launch over HTTPS through the system's TLS, to
        makerd's TLS listener, directly and through tinyproxy; what must not be trusted is refused."""
        folder = self.fresh_folder("TLS")
        authority, certs = certificates(folder)
        self.trust(authority)
        key = os.path.join(folder, "maker.key")
        ffspack = os.path.join(scenario.env_path("HOST_BUILD_DIR"), "tools", "ffspack", "ffspack")
        pin = subprocess.run([ffspack, "keygen", "--out", key], check=True, capture_output=True,
                             text=True).stdout.strip()
        installer = os.path.join(folder, "setup.exe")
        shutil.copyfile(scenario.env_path("RUN_RECORDER_EXE"), installer)
        with contextlib.ExitStack() as stack:
            maker = stack.enter_context(makerd.Makerd(self.fresh_folder("Maker"), tls=certs["localhost"]))
            url = maker.tls_url("/update")
            base = maker.publish("2.0", installer, key=key).rsplit(".", 1)[0]
            with open(os.path.join(self.install_dir, f"{base}-exit.txt"), "w") as f:
                f.write("1\n")
            # Asked: the check, the download, its signature and the launch, all over TLS.
            log = self.update(url, [(QUESTION, "Return"), (None, 182.5), (SUCCESS, "Return")], lines=[pin])
            self.assertIn("Update on phase 0\nContacting 'https://localhost/' '/update' over TLS\n"
                          "Unable to get 'ProxyEnable' integer\n", log)
            self.assertIn(f"Update download on phase 0\nSave to -> [{INSTALL_DIR}{base}.exe]\n"
                          f"Contacting 'https://localhost/' '/download/{base}.exe' over TLS\n", log)
            # Through the system's proxy, which tunnels with CONNECT: unattended, and the form.
            port, proxy_log = stack.enter_context(tinyproxy(folder))
            self.set_proxy(1, f"ftp=127.0.0.1:1;http=127.0.0.1:2;https=127.0.0.1:{port}")
            log = self.update(url, [], lines=[pin], quiet=True, code=0, renames=base)
            self.assertEqual(([0], [0]), (phases(log), phases(log, DOWNLOAD)))
            self.assertEqual(2, log.count(f"Proxy Enabled (0x00000001) : 127.0.0.1:{port}\n"))
            self.assertEqual([f'"{INSTALL_DIR}{base}.exe" -Quiet'] * 2, recorded(self.install_dir, base))
            self.make_shortcut()
            log = self.register(maker.tls_url("/register"), THANKS)
            self.assertEqual([0], phases(log, SENT))
            self.assertIn("Submission on phase 0\nContacting 'https://localhost/' '/register' over TLS\n", log)
            self.assertEqual("Ann", maker.registrations()[0]["200"])
            self.assert_left([*ANN.values()][:9] + ["0x3"], True)
            with open(proxy_log) as f:
                self.assertEqual(3, f.read().count(f"CONNECT localhost:{maker.tls_port} "))
            # Refused: nothing stored, nothing downloaded, the retry question or exit code 5.
            self.set_proxy(0, "")
            plain, seen = f"https://localhost:{maker.port}", []
            for name in ("untrusted", "other", "expired", None):
                bad = stack.enter_context(makerd.Makerd(self.fresh_folder("Bad", name or "plain"),
                                                        tls=certs[name])) if name else None
                site = bad.tls_url() if bad else plain + "/"
                log = self.update(site + "update", [], lines=[pin], quiet=True, code=5)
                self.assertEqual([0, 1], phases(log))
                seen.append(re.findall(f"TLS exchange failed for URL '{re.escape(site)}update': (.*)\n", log))
                # The form's post to an untrusted server, and to the plain listener, which would
                # store it if the program fell back to plain HTTP.
                if name in ("untrusted", None):
                    log = self.register(site + "register", RETRY, key="n")
                    self.assertEqual([0, 1, 2], phases(log, SENT))
                    seen.append(re.findall(f"TLS exchange failed for URL '{re.escape(site)}register': (.*)\n", log))
                    self.assertEqual(0, len(bad.registrations()) if bad else len(maker.registrations()) - 1)
            # Wine's WinHTTP refuses each of them as a failed handshake; Windows names the certificate's
            # fault (the host tests check those texts).
            self.assertEqual([["TLS handshake failed (12157)"] * 2] * 6, seen)
            self.assertEqual(2, len(recorded(self.install_dir, base)))

    def start_form(self, url, option="-Register", extra=(), company="Acme", product="Tool"):
        self.start_run(option, [*extra, "CREATE GROUP:Acme Tool", "ADD ITEM:1\ttool.exe\t\tTool",
                                "ADD ITEM:2\tuninstall.exe\t-Register\tRegister Tool",
                                f"REGISTER:{url}\tTool 1.50 retail\t{ASK_REGISTER}"],
                       company=company, product=product)
        self.caption = f"{company} {product} Registration..."[:119]
        box = wd.wait_box(self.run, self.caption, timeout=60)
        self.assertEqual(ASK_REGISTER, box.text)
        wd.answer(box, "Return")
        return Form(self.run, self.caption)

    def register(self, url, *boxes, option="-Register", extra=(), values=ANN, key="Return", keys=()):
        """A form with nothing remembered, no box ticked (`keys`: more registry), filled and sent."""
        self.registry({MAKER_KEY: None, **dict(keys)})
        form = self.start_form(url, option, extra)
        form.fill(values, NO_BOX)
        form.submit(boxes[0], key)
        return self.finish(CAPTION, [ASK_REGISTER, *boxes])

    def assert_left(self, stored, registered):
        """What the form stored (a prefix of STORED's values), and what DONE did once sent."""
        values = self.prefix.reg_values(MAKER_KEY)
        self.assertEqual(stored, [values.get(name) for name in STORED][:len(stored)])
        self.assertEqual("1.50" if registered else None,
                         self.prefix.reg_query(r"HKCU\Software\Acme\Tool", "Registered Version"))
        self.assertEqual(not registered, os.path.exists(self.shortcut))

    def make_shortcut(self):
        """The registration shortcut that a sent registration removes."""
        user = next(u for u in sorted(os.listdir(self.drive_c("users"))) if u != "Public")
        self.shortcut = self.drive_c("users", user, "AppData", "Roaming", "Microsoft", "Windows",
                                     "Start Menu", "Programs", "Acme Tool", "Register Tool.lnk")
        os.makedirs(os.path.dirname(self.shortcut), exist_ok=True)
        open(self.shortcut, "w").close()

    def test_registration(self):
        self.make_shortcut()
        # Long names cut the caption to 119 characters, on the form and its boxes too.
        form = self.start_form("http://127.0.0.1:1/r", company="C" * 100, product="P" * 100)
        form.fill({"first": "Ann"})
        form.submit(DECLINE, "n", press="Escape")
        form.submit(DECLINE, press="Escape")
        self.assertEqual([], phases(self.finish(self.caption, [ASK_REGISTER, DECLINE, DECLINE]), SENT))
        # Loading made the key with the empty record; the form stored nothing.
        self.assert_left([""] * 9 + ["0x0"], False)
        # No server: both attempts fail and the question comes.
        port = ms.free_port()
        url = f"http://127.0.0.1:{port}/register"
        log = self.register(url, RETRY, key="n")
        self.assertEqual([0, 1, 2], phases(log, SENT))
        self.assertEqual(2, log.count(f"Unable to connect to machine 127.0.0.1:{port} for URL '{url}'\n"))
        # The form stored the details; the failed run stops before DONE's removal.
        self.assert_left(["Ann"], False)
        # The maker's server comes up: what it stored is read back with its own export.
        # The test server stays for what a real one never does: answers split or in small letters.
        with contextlib.ExitStack() as stack:
            server = stack.enter_context(ms.MakerServer())
            for path, answer in (("/split", "split"), ("/lower", "lower")):
                server.serve_registration(path, answer)

            def server_back(box):
                makers.append(stack.enter_context(makerd.Makerd(self.fresh_folder("Maker"), port)))
                wd.answer(box, "Return")
                wd.answer(wd.wait_box(self.run, CAPTION, timeout=120), "Return")
            makers = []
            log = self.register(url, RETRY, THANKS, key=server_back, values={**ANN, "state": "   "})
            self.assertEqual([0, 1, 2, 1], phases(log, SENT))
            self.assert_left([*ANN.values()][:4] + ["   "] + [*ANN.values()][5:9] + ["0x3"], True)
            self.check_what_was_sent(makers[0], server, log)

    def check_what_was_sent(self, maker, server, log):
        stored, = maker.registrations()
        self.assertEqual("1.50", stored["version"])
        fields = {tag: value for tag, value in stored.items() if tag.isdigit()}
        self.assertIn(f"Send registration to '{maker.url('/register')}' ({sum(4 + len(v) for v in fields.values())})"
                      "\nSubmission on phase 0\n", log)
        self.assertEqual({"000": "v1.50 (Release)", "001": "Standalone", "002": "Tool 1.50 retail",
                          "100": "REG", "101": "Acme", "102": "Tool", "103": "1.50",
                          "308": "Jo Smith", "309": "Unknown", "400": "No", "401": "0"},
                         {tag: fields[tag] for tag in "000 001 002 100 101 102 103 308 309 400 401".split()})
        # The machine's: address, name, processor, screen, colours, system, memory, page file.
        self.assertRegex("|".join(fields[t] for t in "300 301 302 305 306 307 310 311 312".split()),
                         r"^\d+\.\d+\.\d+\.\d+\|.+\|.*\|.*\|\d+,\d+\|\d+\|"
                         r"Microsoft Windows NT \d+\.\d+\.\d+.*\|\d+k\|\d+k$")
        # Blanks only: the bare tag; no mailing list: neither of its fields.
        self.assertEqual([v if k != "state" else "" for k, v in ANN.items()],
                         [fields[f"2{n:02d}"] for n in range(10)])
        self.assertFalse({"402", "403"} & set(fields))
        # The installer runs it in place, here through a proxy, which is given the whole URL.
        proxy = {SETTINGS_KEY: {"ProxyEnable": 1, "ProxyServer": f"127.0.0.1:{server.port}"}}
        log = self.register(server.url("/split"), THANKS, option="-InstReg", keys=proxy,
                            extra=["TEXT:Thanks for installing"])
        self.assertEqual([0], phases(log, SENT))
        (request, first, error), = server.registrations
        self.assertEqual((f"POST {server.url('/split')} HTTP/1.0\r\nUser-Agent: {AGENT}\r\nHost: 127.0.0.1\r\n"
                          f"Content-Length: {len(request.body)}\r\nConnection: closed\r\n\r\n").encode(),
                         request.head)
        self.assertEqual((None, f"{len(request.body):08X}041.50"), (error, request.body[:14].decode()))
        tags = [tag for tag, _ in first["fields"]]
        self.assertEqual(sorted(tags), tags, "fields in the order of their tags")
        self.assertEqual(sum(4 + len(v) for _, v in first["fields"]), first["record_length"])
        self.assertEqual(["Installer", "Thanks for installing"],
                         [dict(first["fields"])[t] for t in ("001", "100")])
        # Another product's form then opens with the stored details, all but how the user
        # heard of it; an unreachable proxy is passed over.
        dead = ms.free_port()
        self.set_proxy(1, f"127.0.0.1:{dead}")
        form = self.start_form(server.url("/lower"))
        form.submit(FIELDS_EMPTY)
        form.fill({"referral": "The same friend"})
        form.submit(THANKS)
        log = self.finish(CAPTION, [ASK_REGISTER, FIELDS_EMPTY, THANKS])
        self.assertEqual([0, 1], phases(log, SENT))
        self.assertIn(f"Proxy Enabled (0x00000001) : 127.0.0.1:{dead}\n", log)
        fields = dict(server.wait(server.registrations, 2)[1][1]["fields"])
        self.assertEqual(["Standalone"] + [*ANN.values()][:9] + ["The same friend"],
                         [fields[t] for t in ["001"] + [f"2{n:02d}" for n in range(10)]])
        # A fresh form: each check in its order, then the verification of the address.
        self.registry({MAKER_KEY: None, SETTINGS_KEY: {"ProxyEnable": None, "ProxyServer": None}})
        form = self.start_form(maker.url("/register"), extra=["LISTSERVER:7\tAcme News\tNews"])
        form.submit(NO_CHOICE)
        form.fill(tick=YES_BOX)
        form.submit(FIELDS_EMPTY)
        form.fill({name: ANN[name] for name in FIELDS if name != "phone"})
        form.submit(FIELDS_EMPTY)
        form.fill({"phone": ANN["phone"], "email": "ann@mail.example.c0m"})
        form.submit(EMAIL_INVALID)
        form.fill({"email": ANN["email"]})
        form.submit()
        wd.key(Form(self.run, beneath=[form.window]).window, "Escape")
        # The form again, every entry kept: Enter alone passes all its checks.
        wd.window_gone(form.window, 30)
        form = Form(self.run)
        form.submit()
        verification = Form(self.run, beneath=[form.window])
        verification.replace("ann@mail.example.org")
        verification.submit(EMAIL_MISMATCH)
        verification.replace(ANN["email"].upper())
        verification.submit(THANKS)
        log = self.finish(CAPTION, [ASK_REGISTER, NO_CHOICE, FIELDS_EMPTY, FIELDS_EMPTY, EMAIL_INVALID,
                                    EMAIL_MISMATCH, THANKS])
        self.assertEqual([0], phases(log, SENT))
        fields = maker.registrations()[1]
        self.assertEqual(list(ANN.values()) + ["Yes", "7", "Acme News", "News"],
                         [fields[t] for t in [f"2{n:02d}" for n in range(10)] + ["400", "401", "402", "403"]])
        # A subscriber with a mailing list is remembered as already subscribed.
        self.assertEqual("0x2", self.prefix.reg_query(MAKER_KEY, "ListServer"))


if __name__ == "__main__":
    scenario.main()
