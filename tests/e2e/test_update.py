"""The electronic update ("-Update") end to end: the real uninstaller under
Wine against the maker's test server on 127.0.0.1 (tests/e2e/maker_server.py)
and, for the proxy cases, a real tinyproxy; every box and the new-version
dialog answered as a person would.

The installed product is Acme Tool 1.50 in C:\\Program Files\\Acme\\Tool\\, its
uninstaller packed there with ffspack. The installer that the server offers is
run_recorder.exe, which records its command line and ends with the exit code
that the test chooses; the shell's web browser is a recorder too.
"""

import glob
import os
import re
import shutil
import time

import maker_server as ms
import scenario
import winedriver as wd

TITLE = "Electronic Update..."
INSTALL_DIR = "C:\\Program Files\\Acme\\Tool\\"
SETTINGS_KEY = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Internet Settings"
PRODUCT_KEY = r"HKCU\Software\Acme\Tool"
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

# The new-version dialog in dialog units: both buttons 13 high, 35 down.
DIALOG_SIZE = (245.0, 55.0)
WEBPAGE_BUTTON = (62.5, 41.5)
DOWNLOAD_BUTTON = (182.5, 41.5)


def head(target, agent):
    return (f"GET {target} HTTP/1.0\r\nUser-Agent: {agent}\r\nHost: 127.0.0.1\r\n"
            "Connection: closed\r\n\r\n").encode()


def phases(log, line="Update on phase "):
    return [int(entry[len(line):]) for entry in log.splitlines() if entry.startswith(line)]


class UpdateScenario(scenario.Scenario):
    def setUp(self):
        self.install_dir = self.fresh_folder("Program Files", "Acme", "Tool")
        self.exe = os.path.join(self.install_dir, "uninstall.exe")
        # A web page opens in the recorder, never in a real browser.
        self.browser_dir = self.fresh_folder("Probe")
        shutil.copyfile(scenario.env_path("RUN_RECORDER_EXE"),
                        os.path.join(self.browser_dir, "browser.exe"))
        self.registry({PRODUCT_KEY: {"Install Path": INSTALL_DIR},
                       HTTP_OPEN_KEY: {"@": f'"{BROWSER}" "%1"'},
                       SETTINGS_KEY: {"ProxyEnable": None, "ProxyServer": None}})
        for log in self.temp_logs():
            os.remove(log)

    def tearDown(self):
        self.registry({HTTP_OPEN_KEY: {"@": '"C:\\windows\\system32\\winebrowser.exe" "%1"'},
                       SETTINGS_KEY: {"ProxyEnable": None, "ProxyServer": None}})
        super().tearDown()

    def set_proxy(self, enable, server):
        """The Internet settings; None removes the value."""
        self.registry({SETTINGS_KEY: {"ProxyEnable": enable, "ProxyServer": server}})

    def install(self, update_url=None, version="1.50"):
        lines = ["COMPANY NAME:Acme", "PRODUCT NAME:Tool", f"PRODUCT VERSION:{version}",
                 r"REGISTRY PATH:Software\Acme\Tool", r"INSTALL DIR:Acme\Tool",
                 "INSTALL PATH:Looking for Acme Tool"]
        if update_url:
            lines.append(f"UPDATE URL:{update_url}")
        lines.append("DONE:Acme Tool has been removed.")
        self.place_packed_text("\n".join(lines) + "\n", "Program Files", "Acme", "Tool",
                               "uninstall.exe")

    def offer_installer(self, server, exit_code):
        """The recorder as the new version's installer, ending with `exit_code`."""
        self.installer_bytes = self.read_bytes(scenario.env_path("RUN_RECORDER_EXE"))
        server.serve_file("/files/setup.exe", self.installer_bytes)
        with open(os.path.join(self.install_dir, "setup-exit.txt"), "w") as f:
            f.write(f"{exit_code}\n")

    def run_update(self):
        return self.start(self.exe, ["-Update", "-debug"])

    def temp_logs(self):
        return glob.glob(self.drive_c("users", "*", "Temp", "debug.log"))

    def finish(self, run, boxes):
        """Waits for both processes; checks how many boxes were shown; returns
        the log of the working copy in the temporary folder."""
        self.assertEqual(0, run.wait(60))
        self.prefix.wait_idle(60)
        self.assertEqual(boxes, len([b for b in run.boxes() if b.caption == TITLE]),
                         [b.text for b in run.boxes()])
        logs = self.temp_logs()
        self.assertEqual(1, len(logs), logs)
        return self.read_bytes(logs[0]).decode("latin-1").replace("\r\n", "\n")

    def expect_box(self, run, text, key):
        box = wd.wait_box(run, TITLE, timeout=60)
        if box.text != text:
            wd.fail(run, f"box {box.text!r}, expected {text!r}")
        wd.answer(box, key)

    def recorded(self, folder, name):
        path = os.path.join(folder, f"{name}-runs.txt")
        if not os.path.exists(path):
            return []
        with open(path) as f:
            return f.read().splitlines()

    def offer_dialog(self, run):
        return wd.wait_window(run, TITLE, timeout=60)

    def press(self, dialog, button):
        x, y, width, height = wd.geometry(dialog)
        wd.click(dialog, int(button[0] * width / DIALOG_SIZE[0]),
                 int(button[1] * height / DIALOG_SIZE[1]))

    @staticmethod
    def window_texts(run):
        """Every text that Wine traced being set on a window."""
        texts = []
        for line in run.stderr_text().splitlines():
            _, found, rest = line.partition(":trace:win:set_window_text ")
            if found:
                text, _ = wd.decode_debugstr(rest)
                if text:
                    texts.append(text)
        return texts

    def assert_lines(self, log, *lines):
        for line in lines:
            self.assertIn(line, log)


class Check(UpdateScenario):
    def test_up_to_date_among_several_products(self):
        with ms.MakerServer() as server:
            server.serve_info("/info", [
                {"key": "Other Thing", "version": "9.0", "download": server.url("/o.exe")},
                {"key": "ACME TOOL", "version": "1.5", "page": "http://127.0.0.1/tool.html",
                 "download": server.url("/files/setup.exe")}])
            self.install(server.url("/info"))
            run = self.run_update()
            self.expect_box(run, QUESTION, "Return")
            self.expect_box(run, LATEST, "Return")
            log = self.finish(run, 2)
            self.assertEqual([head("/info", CHECK_AGENT)], [r.head for r in server.requests])
        self.assertEqual([0], phases(log))
        self.assert_lines(log, "Update on phase 0\n"
                               "Contacting 'http://127.0.0.1/' '/info'\n"
                               "Unable to get 'ProxyEnable' integer\n"
                               "Unable to get 'ProxyServer' string\n"
                               "Proxy Disabled (0x00000000) : None\n"
                               "Recieved -> 0 [",
                          "Match: 1.500000 1.500000\n")

    def test_without_update_url_nothing_is_asked(self):
        self.install(None)
        run = self.run_update()
        log = self.finish(run, 0)
        self.assertNotIn("Update on phase", log)
        self.assertTrue(log.endswith("Successful Exit...\n"), log)

    def test_no_to_the_question_ends_silently(self):
        with ms.MakerServer() as server:
            self.install(server.url("/info"))
            run = self.run_update()
            self.expect_box(run, QUESTION, "n")
            log = self.finish(run, 1)
            self.assertEqual([], server.requests)
        self.assertNotIn("Update on phase", log)

    def test_an_error_page_holds_no_version_info(self):
        with ms.MakerServer() as server:
            self.install(server.url("/info"))
            run = self.run_update()
            self.expect_box(run, QUESTION, "Return")
            self.expect_box(run, NO_INFO, "Return")
            self.finish(run, 2)


    def test_closing_the_new_version_dialog_downloads_nothing(self):
        with ms.MakerServer() as server:
            server.serve_info("/info", [{"key": "Acme Tool", "version": "2.0",
                                         "download": server.url("/files/setup.exe")}])
            self.install(server.url("/info"))
            run = self.run_update()
            self.expect_box(run, QUESTION, "Return")
            wd.key(self.offer_dialog(run), "Escape")
            self.finish(run, 1)
            self.assertEqual(1, len(server.requests))
        self.assertFalse(os.path.exists(os.path.join(self.install_dir, "setup.exe")))



class Retry(UpdateScenario):
    def test_server_down_yes_repeats_only_the_direct_attempt(self):
        port = ms.free_port()
        self.install(f"http://127.0.0.1:{port}/info")
        run = self.run_update()
        self.expect_box(run, QUESTION, "Return")
        self.expect_box(run, RETRY_CHECK, "Return")
        self.expect_box(run, RETRY_CHECK, "n")
        self.expect_box(run, NO_CONTACT, "Return")
        log = self.finish(run, 4)
        self.assertEqual([0, 1, 2, 1, 2], phases(log))
        self.assertEqual(3, log.count(f"Unable to connect to machine 127.0.0.1:{port} for URL "
                                      f"'http://127.0.0.1:{port}/info'\n"))

    def test_server_back_while_the_question_is_shown(self):
        port = ms.free_port()
        self.install(f"http://127.0.0.1:{port}/info")
        run = self.run_update()
        self.expect_box(run, QUESTION, "Return")
        box = wd.wait_box(run, TITLE, timeout=60)
        self.assertEqual(RETRY_CHECK, box.text)
        with ms.MakerServer(port=port) as server:
            server.serve_info("/info", [{"key": "Acme Tool", "version": "1.50"}])
            wd.answer(box, "Return")
            self.expect_box(run, LATEST, "Return")
            log = self.finish(run, 3)
            self.assertEqual(1, len(server.requests))
        self.assertEqual([0, 1, 2, 1], phases(log))


class Proxy(UpdateScenario):
    def test_through_tinyproxy_named_alone_and_in_a_list(self):
        with ms.MakerServer() as server, ms.Tinyproxy() as proxy:
            relay = ms.Relay(proxy.port)
            server.serve_info("/info", [{"key": "Acme Tool", "version": "1.50"}])
            self.install(server.url("/info"))
            settings = [f"127.0.0.1:{relay.port}",
                        f"ftp=127.0.0.1:1;http=127.0.0.1:{relay.port};https=127.0.0.1:2"]
            for number, setting in enumerate(settings, 1):
                with self.subTest(setting):
                    for log in self.temp_logs():
                        os.remove(log)
                    self.set_proxy(1, setting)
                    run = self.start(self.exe, ["-Update", "-debug"], name=f"proxy-{number}")
                    self.expect_box(run, QUESTION, "Return")
                    self.expect_box(run, LATEST, "Return")
                    log = self.finish(run, 2)
                    self.assertEqual([0], phases(log))
                    self.assert_lines(log, f"Proxy Enabled (0x00000001) : 127.0.0.1:{relay.port}\n")
                    # The proxy is given the whole URL; the Host line still names the server.
                    self.assertEqual(number, len(relay.streams))
                    self.assertEqual(head(server.url("/info"), CHECK_AGENT),
                                     bytes(relay.streams[-1]))
                    forwarded = server.requests[-1]
                    self.assertEqual("/info", forwarded.target)
                    self.assertIn("tinyproxy", forwarded.header("Via") or "")
            relay.close()

    def test_check_and_download_through_tinyproxy(self):
        with ms.MakerServer() as server, ms.Tinyproxy() as proxy:
            relay = ms.Relay(proxy.port)
            server.serve_info("/info", [{"key": "Acme Tool", "version": "2.0",
                                         "download": server.url("/files/setup.exe")}])
            self.offer_installer(server, 1)
            self.set_proxy(1, f"http=127.0.0.1:{relay.port}")
            self.install(server.url("/info"))
            run = self.run_update()
            self.expect_box(run, QUESTION, "Return")
            self.press(self.offer_dialog(run), DOWNLOAD_BUTTON)
            self.expect_box(run, SUCCESS, "Return")
            log = self.finish(run, 2)
            self.assertEqual([head(server.url("/info"), CHECK_AGENT),
                              head(server.url("/files/setup.exe"), DOWNLOAD_AGENT)],
                             [bytes(stream) for stream in relay.streams])
            self.assertEqual(["/info", "/files/setup.exe"], [r.target for r in server.requests])
            relay.close()
        self.assertEqual([0], phases(log))
        self.assertEqual([0], phases(log, "Update download on phase "))
        self.assertEqual(self.installer_bytes,
                         self.read_bytes(os.path.join(self.install_dir, "setup.exe")))
        self.assertEqual([f'"{INSTALL_DIR}setup.exe" -Quiet'],
                         self.recorded(self.install_dir, "setup"))

    def test_unreachable_proxy_then_direct_without_a_question(self):
        with ms.MakerServer() as server:
            server.serve_info("/info", [{"key": "Acme Tool", "version": "1.0"}])
            dead = ms.free_port()
            self.set_proxy(1, f"127.0.0.1:{dead}")
            self.install(server.url("/info"))
            run = self.run_update()
            self.expect_box(run, QUESTION, "Return")
            self.expect_box(run, LATEST, "Return")
            log = self.finish(run, 2)
            self.assertEqual([head("/info", CHECK_AGENT)], [r.head for r in server.requests])
        self.assertEqual([0, 1], phases(log))
        self.assert_lines(log, f"Proxy Enabled (0x00000001) : 127.0.0.1:{dead}\n"
                               f"Unable to connect to machine 127.0.0.1:{dead} for URL "
                               f"'http://127.0.0.1:{server.port}/info'\n"
                               "Update on phase 1\n",
                          "Proxy Disabled (0x00000000) : None\n")

    def test_disabled_proxy_is_not_used(self):
        with ms.MakerServer() as server:
            server.serve_info("/info", [{"key": "Acme Tool", "version": "1.50"}])
            self.set_proxy(0, "127.0.0.1:1")
            self.install(server.url("/info"))
            run = self.run_update()
            self.expect_box(run, QUESTION, "Return")
            self.expect_box(run, LATEST, "Return")
            log = self.finish(run, 2)
        self.assertEqual([0], phases(log))
        self.assert_lines(log, "Proxy Disabled (0x00000000) : None\n")


class Download(UpdateScenario):
    def newer_version(self, exit_code, message):
        page = "http://127.0.0.1/acme/tool.html"
        with ms.MakerServer() as server:
            server.serve_info("/info", [{"key": "Acme Tool", "version": "2.0 final",
                                         "page": page,
                                         "download": server.url("/files/setup.exe")}])
            self.offer_installer(server, exit_code)
            self.install(server.url("/info"), version="1.50 beta")
            run = self.run_update()
            self.expect_box(run, QUESTION, "Return")
            dialog = self.offer_dialog(run)
            texts = self.window_texts(run)
            self.assertIn("A new version of Acme Tool is available!", texts)
            self.assertIn("Current version 1.50 - New version 2.0", texts)

            # The page opens in the browser and the dialog stays for the download.
            self.press(dialog, WEBPAGE_BUTTON)
            deadline = time.monotonic() + 30
            while not self.recorded(self.browser_dir, "browser") and time.monotonic() < deadline:
                time.sleep(0.2)
            self.assertEqual([f'"{BROWSER}" "{page}"'], self.recorded(self.browser_dir, "browser"))
            self.assertEqual(dialog.id, self.offer_dialog(run).id)

            self.press(dialog, DOWNLOAD_BUTTON)
            self.expect_box(run, message, "Return")
            log = self.finish(run, 2)
            self.assertEqual([head("/info", CHECK_AGENT), head("/files/setup.exe", DOWNLOAD_AGENT)],
                             [r.head for r in server.requests])
        self.assertEqual(self.installer_bytes,
                         self.read_bytes(os.path.join(self.install_dir, "setup.exe")))
        self.assertEqual([f'"{INSTALL_DIR}setup.exe" -Quiet'],
                         self.recorded(self.install_dir, "setup"))
        self.assertEqual([0], phases(log))
        self.assertEqual([0], phases(log, "Update download on phase "))
        size = len(self.installer_bytes)
        self.assert_lines(log, "Match: 1.500000 2.000000\n",
                          f"Save to -> [{INSTALL_DIR}setup.exe]\n",
                          f"Filesize = {size} ({size // 1024}k)\n")

    def test_download_and_install_succeeds_with_exit_code_1(self):
        self.newer_version(1, SUCCESS)

    def test_an_installer_ending_with_0_is_an_error(self):
        self.newer_version(0, UPDATE_ERROR)

    def test_a_download_cut_short_is_never_started(self):
        with ms.MakerServer() as server:
            server.serve_info("/info", [{"key": "Acme Tool", "version": "2.0",
                                         "page": "http://127.0.0.1/p.html",
                                         "download": server.url("/files/setup.exe")}])
            server.serve_file("/files/setup.exe", ms.pattern_bytes(999), length=1000)
            self.install(server.url("/info"))
            run = self.run_update()
            self.expect_box(run, QUESTION, "Return")
            self.press(self.offer_dialog(run), DOWNLOAD_BUTTON)
            self.expect_box(run, RETRY_DOWNLOAD, "Return")
            self.expect_box(run, RETRY_DOWNLOAD, "n")
            self.expect_box(run, NO_CONTACT, "Return")
            log = self.finish(run, 4)
        self.assertEqual([0, 1, 2, 1, 2], phases(log, "Update download on phase "))
        self.assertEqual(3, log.count("Sizes to not match (1000 != 999)\n"))
        self.assertEqual([], self.recorded(self.install_dir, "setup"))

    def test_a_download_that_does_not_start_is_an_error(self):
        with ms.MakerServer() as server:
            server.serve_info("/info", [{"key": "Acme Tool", "version": "2.0",
                                         "download": server.url("/files/setup.exe")}])
            server.serve_file("/files/setup.exe", b"This is no program.\r\n")
            self.install(server.url("/info"))
            run = self.run_update()
            self.expect_box(run, QUESTION, "Return")
            self.press(self.offer_dialog(run), DOWNLOAD_BUTTON)
            # The shell tells of the failure in its own box first.
            wd.answer(wd.wait_box(run, "Error", timeout=60), "Return")
            self.expect_box(run, UPDATE_ERROR, "Return")
            log = self.finish(run, 2)
        self.assertRegex(log, re.escape(f"Unable to execute '{INSTALL_DIR}setup.exe' '-Quiet' 0x")
                         + "[0-9A-F]{8}\n")


if __name__ == "__main__":
    scenario.main()
