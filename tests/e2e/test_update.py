"""The update ("-Update") under Wine against maker_server.py, which is also the proxy. The
installer offered and the shell's web browser are run_recorder.exe, which records how it was
started."""

import contextlib
import glob
import os
import re
import shutil

import maker_server as ms
import scenario
import winedriver as wd

TITLE = "Electronic Update..."
INSTALL_DIR = "C:\\Program Files\\Acme\\Tool\\"
SETTINGS_KEY = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Internet Settings"
HTTP_OPEN_KEY = r"HKCR\http\shell\open\command"
BROWSER = "C:\\Probe\\browser.exe"
QUESTION = "Would you like to check for an update to Acme Tool electronically?"
LATEST = "You are running the latest version of Acme Tool."
RETRY_CHECK = "There was a problem checking with the update server, would you like to try again?"
RETRY_DOWNLOAD = "There was a problem downloading the update, would you like to try again?"
NO_INFO = "Unable to retrieve version info from update server, please check the website."
SUCCESS = "Successfully updated program to latest version!"
UPDATE_ERROR = "Error attempting to update, please go to the site for the latest version."
NO_CONTACT = "Unable to contact the update server, please try again later."
CHECK_AGENT = "Pelmora Update Check Uninstall (www.pelmora.com)"
DOWNLOAD_AGENT = "Pelmora Update Download Uninstall (www.pelmora.com)"
PAGE = "http://127.0.0.1/acme/tool.html"


def head(target, agent=CHECK_AGENT):
    return (f"GET {target} HTTP/1.0\r\nUser-Agent: {agent}\r\nHost: 127.0.0.1\r\n"
            "Connection: closed\r\n\r\n").encode()


def phases(log, line="Update on phase "):
    return [int(entry[len(line):]) for entry in log.splitlines() if entry.startswith(line)]


class Networked(scenario.Scenario):
    """Acme Tool in INSTALL_DIR, no proxy unless the test sets one; KEYS: more registry."""
    KEYS = {}

    def setUp(self):
        self.install_dir, self.runs = self.fresh_folder("Program Files", "Acme", "Tool"), 0
        self.registry({r"HKCU\Software\Acme\Tool": {"Install Path": INSTALL_DIR},
                       SETTINGS_KEY: {"ProxyEnable": None, "ProxyServer": None}, **self.KEYS})

    def set_proxy(self, enable, server, keys=()):
        self.registry({SETTINGS_KEY: {"ProxyEnable": enable, "ProxyServer": server}, **dict(keys)})

    def temp_logs(self):
        return glob.glob(self.drive_c("users", "*", "Temp", "debug.log"))

    def start_run(self, option, lines, version="1.50", company="Acme", product="Tool"):
        for log in self.temp_logs() + glob.glob(os.path.join(self.install_dir, "debug.log")):
            os.remove(log)
        script = [f"COMPANY NAME:{company}", f"PRODUCT NAME:{product}", f"PRODUCT VERSION:{version}",
                  r"REGISTRY PATH:Software\Acme\Tool", r"INSTALL DIR:Acme\Tool",
                  "INSTALL PATH:Looking for Acme Tool", *lines, "DONE:Acme Tool has been removed."]
        exe = self.place_packed(None, "Program Files", "Acme", "Tool", "uninstall.exe",
                                text="\n".join(script) + "\n")
        self.runs, self.in_place = self.runs + 1, option == "-InstReg"
        self.run = self.start(exe, [option, "-debug"], f"{self.id().rsplit('.', 1)[1]}-{self.runs}")
        return self.run

    def finish(self, caption, boxes):
        """Checks the run's boxes; returns the log of its working copy (in place or in Temp)."""
        self.assertEqual(0, self.run.wait(120))
        self.prefix.wait_idle(60)
        self.assertEqual(boxes, [b.text for b in self.run.boxes() if b.caption == caption])
        # The first process logs its relocation beside the program; the copy works in Temp.
        temp = self.temp_logs()
        self.assertEqual(0 if self.in_place else 1, len(temp), temp)
        log = os.path.join(self.install_dir, "debug.log") if self.in_place else temp[0]
        return self.read_bytes(log).decode("latin-1").replace("\r\n", "\n")


class Update(Networked):
    KEYS = {HTTP_OPEN_KEY: {"@": f'"{BROWSER}" "%1"'}}

    def update(self, url, boxes, version="1.50", installer=1):
        """A run whose boxes are answered in turn: (text, key or function of the box), (None,
        a button of the new-version dialog) or ("Error", key) for the shell's box."""
        with open(os.path.join(self.install_dir, "setup-exit.txt"), "w") as f:
            f.write(f"{installer}\n")
        run = self.start_run("-Update", [f"UPDATE URL:{url}"] if url else [], version)
        for text, answer in boxes:
            if text is None:
                self.press(wd.wait_window(run, TITLE, timeout=60), answer)
                continue
            box = wd.wait_box(run, "Error" if text == "Error" else TITLE, timeout=60)
            if text not in ("Error", box.text):
                wd.fail(run, f"box {box.text!r}, expected {text!r}")
            answer(box) if callable(answer) else wd.answer(box, answer)
        return self.finish(TITLE, [t for t, _ in boxes if t not in (None, "Error")])

    @staticmethod
    def press(dialog, button):
        """Its buttons' centres in dialog units of its 245 x 55."""
        if button == "Escape":
            return wd.key(dialog, "Escape")
        _, _, width, height = wd.geometry(dialog)
        wd.click(dialog, int({"page": 62.5, "download": 182.5}[button] * width / 245),
                 int(41.5 * height / 55))

    def recorded(self, folder, name):
        path = os.path.join(folder, f"{name}-runs.txt")
        return open(path).read().splitlines() if os.path.exists(path) else []

    def heads(self, server, since):
        return [r.head for r in server.requests[since:]]

    def test_ask_retry_check_offer_download_and_install_directly_or_by_proxy(self):
        browser_dir = self.fresh_folder("Probe")
        shutil.copyfile(scenario.env_path("RUN_RECORDER_EXE"), os.path.join(browser_dir, "browser.exe"))
        self.assertTrue(self.update(None, []).endswith("Successful Exit...\n"))
        port = ms.free_port()
        url = f"http://127.0.0.1:{port}/info"
        self.assertEqual([], phases(self.update(url, [(QUESTION, "n")])))
        # Server down: it asks again until No, or until the server answers.
        log = self.update(url, [(QUESTION, "Return"), (RETRY_CHECK, "Return"),
                                (RETRY_CHECK, "n"), (NO_CONTACT, "Return")])
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
            self.offer_and_install(servers[0], url, browser_dir)

    def offer_and_install(self, server, url, browser_dir):
        # A 404 page holds no version information.
        server.route("/info", None)
        self.update(url, [(QUESTION, "Return"), (NO_INFO, "Return")])
        server.serve_info("/info", [{"key": "Other", "version": "9", "download": PAGE},
                                    {"key": "ACME TOOL", "version": "1.5", "page": PAGE}])
        log = self.update(url, [(QUESTION, "Return"), (LATEST, "Return")])
        self.assertIn("Update on phase 0\nContacting 'http://127.0.0.1/' '/info'\n"
                      "Unable to get 'ProxyEnable' integer\nUnable to get 'ProxyServer' string\n"
                      "Proxy Disabled (0x00000000) : None\nRecieved -> 0 [", log)
        server.serve_info("/info", [{"key": "Acme Tool", "version": "2.0 final", "page": PAGE,
                                     "download": server.url("/files/setup.exe")}])
        installer = self.read_bytes(scenario.env_path("RUN_RECORDER_EXE"))
        server.serve_file("/files/setup.exe", installer)
        self.update(url, [(QUESTION, "Return"), (None, "Escape")])
        self.assertEqual([head("/info")] * 4, self.heads(server, 0))
        self.assertFalse(os.path.exists(os.path.join(self.install_dir, "setup.exe")))
        # The page, then the download: the installer's exit code tells the outcome. The proxy
        # named in a list is given the whole URL; the Host line still names the server.
        files = server.url("/files/setup.exe")
        for code, outcome, proxy, heads in (
                (1, SUCCESS, (1, f"ftp=127.0.0.1:1;http=127.0.0.1:{server.port};https=127.0.0.1:2"),
                 [head(url), head(files, DOWNLOAD_AGENT)]),
                (0, UPDATE_ERROR, (0, f"127.0.0.1:{server.port}"),
                 [head("/info"), head("/files/setup.exe", DOWNLOAD_AGENT)])):
            self.set_proxy(*proxy)
            since = len(server.requests)
            log = self.update(url, [(QUESTION, "Return"), (None, "page"), (None, "download"),
                                    (outcome, "Return")], version="1.50 beta", installer=code)
            self.assertEqual([0], phases(log, "Update download on phase "))
            self.assertEqual([0], phases(log))
            self.assertIn(f"Proxy Enabled (0x00000001) : 127.0.0.1:{server.port}\n" if proxy[0]
                          else "Proxy Disabled (0x00000000) : None\n", log)
            self.assertEqual(heads, self.heads(server, since))
            self.assertEqual(installer, self.read_bytes(self.install_dir + "/setup.exe"))
        texts = self.run.stderr_text()
        for text in ("A new version of Acme Tool is available!", "Current version 1.50 - New version 2.0"):
            self.assertIn(f':trace:win:set_window_text L"{text}"', texts)
        self.assertEqual([f'"{BROWSER}" "{PAGE}"'] * 2, self.recorded(browser_dir, "browser"))
        self.assertEqual([f'"{INSTALL_DIR}setup.exe" -Quiet'] * 2, self.recorded(self.install_dir, "setup"))
        # A download cut short is never started.
        server.serve_file("/files/setup.exe", ms.pattern_bytes(999), length=1000)
        log = self.update(url, [(QUESTION, "Return"), (None, "download"), (RETRY_DOWNLOAD, "Return"),
                                (RETRY_DOWNLOAD, "n"), (NO_CONTACT, "Return")])
        self.assertEqual([0, 1, 2, 1, 2], phases(log, "Update download on phase "))
        self.assertEqual(2, len(self.recorded(self.install_dir, "setup")))
        # A file that is no program: the shell says so in its own box first.
        server.serve_file("/files/setup.exe", b"This is no program.\r\n")
        log = self.update(url, [(QUESTION, "Return"), (None, "download"), ("Error", "Return"),
                                (UPDATE_ERROR, "Return")])
        self.assertRegex(log, re.escape(f"Unable to execute '{INSTALL_DIR}setup.exe' '-Quiet' 0x")
                         + "[0-9A-F]{8}\n")
        # An unreachable proxy: straight on to the server, with no question.
        dead = ms.free_port()
        self.set_proxy(1, f"127.0.0.1:{dead}")
        server.serve_info("/info", [{"key": "Acme Tool", "version": "1.0"}])
        log = self.update(url, [(QUESTION, "Return"), (LATEST, "Return")])
        self.assertEqual([0, 1], phases(log))
        self.assertIn(f"Unable to connect to machine 127.0.0.1:{dead} for URL '{url}'\n"
                      "Update on phase 1\n", log)


if __name__ == "__main__":
    scenario.main()
