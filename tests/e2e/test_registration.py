"""Registration ("-Register", "-InstReg") end to end: the real uninstaller under
Wine, its question, form, verification and boxes answered by typing, Tab,
Space and Enter as a person would, posting to the maker's test server on
127.0.0.1 (tests/e2e/maker_server.py), which decodes every body with the
maker's decoder; for the proxy cases a real tinyproxy.

The installed product is Acme Tool 1.50 in C:\\Program Files\\Acme\\Tool\\ with
its "-Register" shortcut in the program group "Acme Tool".
"""

import glob
import os

import maker_server as ms
import scenario
import winedriver as wd

CAPTION = "Acme Tool Registration..."
QUESTION = "Would you like to register Acme Tool now?"
NO_CHOICE = "You must choose if you wish to receive updates or not."
FIELDS_EMPTY = "All fields must be filled in correctly."
EMAIL_INVALID = "The email address does not appear to be valid."
EMAIL_MISMATCH = ("The email address you entered does not match, please check your email "
                  "address again")
DECLINE = "Are you sure you don't want to register?"
RETRY = "There was a problem sending your registration, would you like to try again?"
THANKS = "Your registration has been successfully sent!  Thank you!"
AGENT = "Pelmora Register Uninstall (www.pelmora.com)"

INSTALL_DIR = "C:\\Program Files\\Acme\\Tool\\"
MAKER_KEY = r"HKCU\Software\Pelmora\Installer"
PRODUCT_KEY = r"HKCU\Software\Acme\Tool"
WINDOWS_KEY = r"HKLM\Software\Microsoft\Windows\CurrentVersion"
SETTINGS_KEY = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Internet Settings"
STORED = ["First Name", "Last Name", "Address", "City", "State", "Country", "Zip", "Email",
          "Phone"]

# The form's edit boxes in their tab order, then the answers to the update question.
FIELDS = ["first", "last", "street", "city", "state", "country", "zip", "email", "phone",
          "referral"]
YES_BOX, NO_BOX = len(FIELDS), len(FIELDS) + 1
ANN = {"first": "Ann", "last": "Example", "street": "12 High Street", "city": "Springfield",
       "state": "IL", "country": "USA", "zip": "62701", "email": "ann.example@mail.example.com",
       "phone": "555-123-4567", "referral": "A friend at work"}


def phases(log):
    line = "Submission on phase "
    return [int(entry[len(line):]) for entry in log.splitlines() if entry.startswith(line)]


class Form:
    """The registration form, driven from the keyboard. Tab and Shift+Tab move
    between the edit boxes and the answer boxes; a box that closes gives the
    focus back to the control that had it, so the form knows where it is."""

    def __init__(self, run, window, beneath=()):
        self.run, self.window, self.at = run, window, 0
        self.beneath = list(beneath)  # dialogs of the same caption under this one

    def move_to(self, index):
        step = "Tab" if index > self.at else "shift+Tab"
        keys = [step] * abs(index - self.at)
        if keys:
            wd.key(self.window, *keys)
        self.at = index

    def fill(self, values):
        """Types each given field over what its box held."""
        for name, text in values.items():
            self.move_to(FIELDS.index(name))
            self.replace(text)

    def replace(self, text):
        wd.key(self.window, "Home", "shift+End")
        wd.type_text(self.window, text)

    def tick(self, box):
        self.move_to(box)
        wd.key(self.window, "space")

    def submit(self):
        wd.key(self.window, "Return")

    def expect_box(self, text, key="Return"):
        box = wd.wait_box(self.run, CAPTION, timeout=60, over=[self.window, *self.beneath])
        if box.text != text:
            wd.fail(self.run, f"box {box.text!r}, expected {text!r}")
        wd.answer(box, key)


class RegistrationScenario(scenario.Scenario):
    def setUp(self):
        self.install_dir = self.fresh_folder("Program Files", "Acme", "Tool")
        self.exe = os.path.join(self.install_dir, "uninstall.exe")
        self.registry({MAKER_KEY: None, PRODUCT_KEY: None,
                       SETTINGS_KEY: {"ProxyEnable": None, "ProxyServer": None}})
        self.registry({PRODUCT_KEY: {"Install Path": INSTALL_DIR}})
        users = self.drive_c("users")
        user = next(u for u in sorted(os.listdir(users)) if u != "Public")
        self.group = os.path.join(users, user, "AppData", "Roaming", "Microsoft", "Windows",
                                  "Start Menu", "Programs", "Acme Tool")
        os.makedirs(self.group, exist_ok=True)
        self.shortcut = os.path.join(self.group, "Register Tool.lnk")
        with open(self.shortcut, "w") as f:
            f.write("shortcut\n")
        for log in self.temp_logs():
            os.remove(log)

    def tearDown(self):
        self.registry({SETTINGS_KEY: {"ProxyEnable": None, "ProxyServer": None}})
        super().tearDown()

    def install(self, url, company="Acme", product="Tool", extra=()):
        lines = [f"COMPANY NAME:{company}", f"PRODUCT NAME:{product}", "PRODUCT VERSION:1.50",
                 r"REGISTRY PATH:Software\Acme\Tool", r"INSTALL DIR:Acme\Tool",
                 "INSTALL PATH:Looking for Acme Tool", *extra, "CREATE GROUP:Acme Tool",
                 "ADD ITEM:1\ttool.exe\t\tTool", "ADD ITEM:2\tuninstall.exe\t-Register\tRegister Tool",
                 f"REGISTER:{url}\tTool 1.50 retail\t{QUESTION}", "DONE:Acme Tool has been removed."]
        self.place_packed_text("\n".join(lines) + "\n", "Program Files", "Acme", "Tool",
                               "uninstall.exe")

    def temp_logs(self):
        return glob.glob(self.drive_c("users", "*", "Temp", "debug.log"))

    def start_registration(self, option="-Register"):
        """Starts the run and says Yes to the question; returns the run and its form."""
        run = self.start(self.exe, [option, "-debug"])
        box = wd.wait_box(run, CAPTION, timeout=60)
        self.assertEqual(QUESTION, box.text)
        wd.answer(box, "Return")
        return run, self.form(run)

    def form(self, run, besides=()):
        return Form(run, wd.wait_window(run, CAPTION, timeout=60, besides=besides))

    def verify(self, run, form, typed, mismatch=None):
        """The verification over the form: a wrong address first when given."""
        window = wd.wait_window(run, CAPTION, timeout=60, besides=[form.window])
        verification = Form(run, window, beneath=[form.window])
        if mismatch:
            verification.replace(mismatch)
            verification.submit()
            verification.expect_box(EMAIL_MISMATCH)
        verification.replace(typed)
        verification.submit()

    def register(self, run, form, values=ANN, box=NO_BOX):
        form.fill(values)
        form.tick(box)
        form.submit()

    def finish(self, run, option="-Register"):
        """Waits for the run; returns the working copy's log (beside the program
        for "-InstReg", which runs in place)."""
        self.assertEqual(0, run.wait(120))
        self.prefix.wait_idle(60)
        if option == "-InstReg":
            self.assertEqual([], self.temp_logs())
            path = os.path.join(self.install_dir, "debug.log")
        else:
            logs = self.temp_logs()
            self.assertEqual(1, len(logs), logs)
            path = logs[0]
        return self.read_bytes(path).decode("latin-1").replace("\r\n", "\n")

    def stored(self):
        values = {name: self.prefix.reg_query(MAKER_KEY, name) for name in STORED}
        values["ListServer"] = self.prefix.reg_query(MAKER_KEY, "ListServer")
        return values

    def thanked(self, run):
        box = wd.wait_box(run, CAPTION, timeout=120)
        self.assertEqual(THANKS, box.text)
        wd.answer(box, "Return")

    def assert_boxes(self, run, texts):
        self.assertEqual(texts, [b.text for b in run.boxes() if b.caption == CAPTION])


class FormChecks(RegistrationScenario):
    def test_each_check_in_its_order_then_the_registration(self):
        with ms.MakerServer() as server:
            server.serve_registration("/register")
            self.install(server.url("/register"))
            run, form = self.start_registration()
            # Nothing entered: only the update choice is asked for.
            form.submit()
            form.expect_box(NO_CHOICE)
            form.tick(NO_BOX)
            form.submit()
            form.expect_box(FIELDS_EMPTY)
            form.fill({name: ANN[name] for name in FIELDS if name != "phone"})
            form.submit()
            form.expect_box(FIELDS_EMPTY)
            form.fill({"phone": ANN["phone"], "email": "ann@mail.example.c0m"})
            form.submit()
            form.expect_box(EMAIL_INVALID)
            form.fill({"email": ANN["email"]})
            form.submit()
            self.thanked(run)
            log = self.finish(run)
            registration, = server.wait_registrations(1)
        self.assert_boxes(run, [QUESTION, NO_CHOICE, FIELDS_EMPTY, FIELDS_EMPTY, EMAIL_INVALID,
                                THANKS])
        fields = dict(registration.fields)
        self.assertEqual(ANN["email"], fields["207"])
        self.assertEqual("No", fields["400"])
        self.assertEqual([0], phases(log))

    def test_dont_register_asks_and_no_stays_in_the_form(self):
        with ms.MakerServer() as server:
            server.serve_registration("/register")
            self.install(server.url("/register"))
            run, form = self.start_registration()
            form.fill({"first": "Ann"})
            wd.key(form.window, "Escape")
            form.expect_box(DECLINE, "n")
            wd.key(form.window, "Escape")
            form.expect_box(DECLINE, "Return")
            log = self.finish(run)
            self.assertEqual([], server.requests)
        self.assert_boxes(run, [QUESTION, DECLINE, DECLINE])
        self.assertEqual([], phases(log))
        # Loading made the key with the empty record; the form stored nothing.
        self.assertEqual({**{name: "" for name in STORED}, "ListServer": "0x0"}, self.stored())
        self.assertIsNone(self.prefix.reg_query(PRODUCT_KEY, "Registered Version"))
        self.assertTrue(os.path.exists(self.shortcut), "a declined registration keeps it")

    def test_a_cancelled_verification_returns_to_the_form_as_left(self):
        with ms.MakerServer() as server:
            server.serve_registration("/register")
            self.install(server.url("/register"), extra=["LISTSERVER:7\tAcme News\tWeekly news"])
            run, form = self.start_registration()
            self.register(run, form, box=YES_BOX)
            verification = wd.wait_window(run, CAPTION, timeout=60, besides=[form.window])
            wd.key(verification, "Escape")
            # The form again, every entry kept: Enter alone passes all its checks.
            wd.window_gone(form.window, 30)
            again = self.form(run)
            again.submit()
            self.verify(run, again, ANN["email"].upper(), mismatch="ann@mail.example.org")
            self.thanked(run)
            log = self.finish(run)
            registration, = server.wait_registrations(1)
        self.assert_boxes(run, [QUESTION, EMAIL_MISMATCH, THANKS])
        fields = dict(registration.fields)
        self.assertEqual([ANN[name] for name in FIELDS],
                         [fields[f"2{n:02d}"] for n in range(len(FIELDS))])
        self.assertEqual(("Yes", "7", "Acme News", "Weekly news"),
                         (fields["400"], fields["401"], fields["402"], fields["403"]))
        self.assertEqual([0], phases(log))
        # A subscriber with a mailing list is remembered as already subscribed.
        self.assertEqual("0x2", self.stored()["ListServer"])


class Submission(RegistrationScenario):
    def test_the_server_reads_every_field_and_the_registry_keeps_the_details(self):
        # Wine leaves both empty, which would leave both fields out.
        self.registry({WINDOWS_KEY: {"RegisteredOwner": "Jo Smith",
                                     "RegisteredOrganization": None}})
        self.addCleanup(self.registry, {WINDOWS_KEY: {"RegisteredOwner": "",
                                                      "RegisteredOrganization": ""}})
        with ms.MakerServer() as server:
            server.serve_registration("/register")
            self.install(server.url("/register"))
            run, form = self.start_registration()
            self.register(run, form, {**ANN, "state": "   "})
            self.thanked(run)
            log = self.finish(run)
            registration, = server.wait_registrations(1)
        request = registration.request
        body = request.body
        self.assertEqual(("POST /register HTTP/1.0\r\n"
                          f"User-Agent: {AGENT}\r\n"
                          "Host: 127.0.0.1\r\n"
                          f"Content-Length: {len(body)}\r\n"
                          "Connection: closed\r\n\r\n").encode(), request.head)
        self.assertIsNone(registration.error)
        decoded = registration.decoded
        self.assertEqual("1.50", decoded["version"])
        self.assertEqual(f"{len(body):08X}041.50", body[:14].decode())

        tags = [tag for tag, _ in registration.fields]
        self.assertEqual(sorted(tags), tags, "fields in the order of their tags")
        fields = dict(registration.fields)
        self.assertEqual("v1.50 (Release)", fields["000"])
        self.assertEqual("Standalone", fields["001"])
        self.assertEqual("Tool 1.50 retail", fields["002"])
        self.assertEqual("REG", fields["100"], "no TEXT in the script")
        self.assertEqual(("Acme", "Tool", "1.50"), (fields["101"], fields["102"], fields["103"]))
        self.assertEqual("", fields["204"], "blanks only: the bare tag")
        self.assertEqual(ANN["referral"], fields["209"])
        self.assertRegex(fields["300"], r"^\d+\.\d+\.\d+\.\d+$")
        self.assertTrue(fields["301"])
        self.assertTrue({"302", "305"} <= set(fields), tags)
        self.assertRegex(fields["306"], r"^\d+,\d+$")
        self.assertRegex(fields["307"], r"^\d+$")
        self.assertEqual(("Jo Smith", "Unknown"), (fields["308"], fields["309"]))
        self.assertRegex(fields["310"], r"^Microsoft Windows NT \d+\.\d+\.\d+")
        self.assertRegex(fields["311"], r"^\d+k$")
        self.assertRegex(fields["312"], r"^\d+k$")
        self.assertEqual(("No", "0"), (fields["400"], fields["401"]))
        self.assertNotIn("402", fields)
        self.assertNotIn("403", fields)
        self.assertEqual(decoded["record_length"], sum(4 + len(v) for v in fields.values()))

        self.assertIn(f"Send registration to '{server.url('/register')}' "
                      f"({decoded['record_length']})\nSubmission on phase 0\n", log)
        self.assertEqual({"First Name": "Ann", "Last Name": "Example", "Address": "12 High Street",
                          "City": "Springfield", "State": "   ", "Country": "USA",
                          "Zip": "62701", "Email": ANN["email"], "Phone": "555-123-4567",
                          "ListServer": "0x3"}, self.stored())
        self.assertEqual("1.50", self.prefix.reg_query(PRODUCT_KEY, "Registered Version"))
        self.assertFalse(os.path.exists(self.shortcut), "DONE removes the registration shortcut")

    def test_the_installer_runs_it_in_place_and_a_second_form_remembers(self):
        with ms.MakerServer() as server:
            server.serve_registration("/split", "split")
            server.serve_registration("/lower", "lower")
            self.install(server.url("/split"), extra=["TEXT:Thanks for installing"])
            run, form = self.start_registration("-InstReg")
            self.register(run, form)
            self.thanked(run)
            log = self.finish(run, "-InstReg")
            self.assertEqual([0], phases(log))
            self.assertFalse(os.path.exists(self.shortcut))

            # Another product's registration: the form opens with the stored
            # details, all but how the user heard of the product.
            os.remove(os.path.join(self.install_dir, "debug.log"))
            self.install(server.url("/lower"))
            run, form = self.start_registration()
            form.submit()
            form.expect_box(FIELDS_EMPTY)
            form.fill({"referral": "The same friend"})
            form.submit()
            self.thanked(run)
            self.finish(run)
            first, second = server.wait_registrations(2)
        self.assertEqual("Installer", dict(first.fields)["001"])
        self.assertEqual("Thanks for installing", dict(first.fields)["100"])
        fields = dict(second.fields)
        self.assertEqual("Standalone", fields["001"])
        self.assertEqual([ANN[name] for name in FIELDS[:-1]] + ["The same friend"],
                         [fields[f"2{n:02d}"] for n in range(len(FIELDS))])


class Attempts(RegistrationScenario):
    def set_proxy(self, enable, server):
        self.registry({SETTINGS_KEY: {"ProxyEnable": enable, "ProxyServer": server}})

    def test_through_tinyproxy(self):
        with ms.MakerServer() as server, ms.Tinyproxy() as proxy:
            relay = ms.Relay(proxy.port)
            server.serve_registration("/register")
            self.set_proxy(1, f"127.0.0.1:{relay.port}")
            self.install(server.url("/register"))
            run, form = self.start_registration()
            self.register(run, form)
            self.thanked(run)
            log = self.finish(run)
            registration, = server.wait_registrations(1)
            relay.close()
        self.assertEqual([0], phases(log))
        self.assertEqual(1, len(relay.streams))
        sent = bytes(relay.streams[0])
        self.assertTrue(sent.startswith(f"POST {server.url('/register')} HTTP/1.0\r\n".encode()),
                        sent[:80])
        self.assertTrue(sent.endswith(registration.request.body))
        self.assertIsNone(registration.error)

    def test_proxy_down_and_server_up_needs_no_question(self):
        with ms.MakerServer() as server:
            server.serve_registration("/register")
            dead = ms.free_port()
            self.set_proxy(1, f"127.0.0.1:{dead}")
            self.install(server.url("/register"))
            run, form = self.start_registration()
            self.register(run, form)
            self.thanked(run)
            log = self.finish(run)
            server.wait_registrations(1)
        self.assert_boxes(run, [QUESTION, THANKS])
        self.assertEqual([0, 1], phases(log))
        self.assertIn(f"Proxy Enabled (0x00000001) : 127.0.0.1:{dead}\n", log)

    def until_the_retry_question(self):
        """Registers to a port where no server listens: both attempts fail and
        the question comes. Returns the port, the run and the question's box."""
        port = ms.free_port()
        self.install(f"http://127.0.0.1:{port}/register")
        run, form = self.start_registration()
        self.register(run, form)
        box = wd.wait_box(run, CAPTION, timeout=120)
        self.assertEqual(RETRY, box.text)
        return port, run, box

    def test_server_down_yes_retries_directly(self):
        port, run, box = self.until_the_retry_question()
        with ms.MakerServer(port=port) as server:
            server.serve_registration("/register")
            wd.answer(box, "Return")
            self.thanked(run)
            log = self.finish(run)
            self.assertEqual(1, len(server.wait_registrations(1)))
        self.assertEqual([0, 1, 2, 1], phases(log))
        self.assertEqual("1.50", self.prefix.reg_query(PRODUCT_KEY, "Registered Version"))

    def test_server_down_no_ends_with_nothing_sent(self):
        port, run, box = self.until_the_retry_question()
        wd.answer(box, "n")
        log = self.finish(run)
        self.assert_boxes(run, [QUESTION, RETRY])
        self.assertEqual([0, 1, 2], phases(log))
        self.assertEqual(2, log.count(f"Unable to connect to machine 127.0.0.1:{port} for URL "
                                      f"'http://127.0.0.1:{port}/register'\n"))
        # The form stored the details; the failed run stops before DONE's removal.
        self.assertEqual("Ann", self.stored()["First Name"])
        self.assertIsNone(self.prefix.reg_query(PRODUCT_KEY, "Registered Version"))
        self.assertTrue(os.path.exists(self.shortcut))


class LongNames(RegistrationScenario):
    def test_the_caption_is_cut_to_119_characters(self):
        company, product = "C" * 100, "P" * 100
        caption = (company + " " + product + " Registration...")[:119]
        self.install("http://127.0.0.1:1/register", company=company, product=product)
        run = self.start(self.exe, ["-Register", "-debug"])
        box = wd.wait_box(run, caption, timeout=60)
        self.assertEqual(QUESTION, box.text)
        wd.answer(box, "Return")
        # The form bears the same caption; leaving it is asked under it too.
        form = wd.wait_window(run, caption, timeout=60)
        wd.key(form, "Escape")
        decline = wd.wait_box(run, caption, timeout=60, over=[form])
        self.assertEqual(DECLINE, decline.text)
        wd.answer(decline, "Return")
        self.finish(run)


if __name__ == "__main__":
    scenario.main()
