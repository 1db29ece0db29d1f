"""Registration ("-Register", "-InstReg") under Wine, answered from the keyboard, posting to
maker_server.py, which decodes every body with the maker's decoder and is also the proxy."""

import contextlib
import os

import maker_server as ms
import scenario
import winedriver as wd
from test_update import SETTINGS_KEY, Networked, phases as update_phases


def phases(log):
    return update_phases(log, "Submission on phase ")


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
MAKER_KEY = r"HKCU\Software\Pelmora\Installer"
STORED = ["First Name", "Last Name", "Address", "City", "State", "Country", "Zip", "Email",
          "Phone", "ListServer"]
# The form's edit boxes in their tab order (fields 200 to 209), then Yes and No to updates.
FIELDS = ["first", "last", "street", "city", "state", "country", "zip", "email", "phone",
          "referral"]
YES_BOX, NO_BOX = len(FIELDS), len(FIELDS) + 1
ANN = dict(zip(FIELDS, ["Ann", "Example", "12 High Street", "Springfield", "IL", "USA", "62701",
                        "ann.example@mail.example.com", "555-123-4567", "A friend at work"]))


class Form:
    """A dialog driven from the keyboard: a box that closes gives the focus back to its control."""

    def __init__(self, run, caption=CAPTION, beneath=()):
        self.run, self.caption, self.beneath, self.at = run, caption, list(beneath), 0
        self.window = wd.wait_window(run, caption, timeout=60, besides=beneath)

    def fill(self, values=(), tick=None):
        for name, text in dict(values).items():
            self.move_to(FIELDS.index(name))
            self.replace(text)
        if tick is not None:
            self.move_to(tick)
            wd.key(self.window, "space")

    def move_to(self, index):
        if index != self.at:
            wd.key(self.window, *["Tab" if index > self.at else "shift+Tab"] * abs(index - self.at))
        self.at = index

    def replace(self, text):
        wd.key(self.window, "Home", "shift+End")
        wd.type_text(self.window, text)

    def submit(self, box=None, key="Return", press="Return"):
        wd.key(self.window, press)
        if box:
            found = wd.wait_box(self.run, self.caption, timeout=120, over=[self.window, *self.beneath])
            if found.text != box:
                wd.fail(self.run, f"box {found.text!r}, expected {box!r}")
            (key if callable(key) else lambda b: wd.answer(b, key))(found)


class Registration(Networked):
    # Wine leaves both empty, which would leave both fields out.
    KEYS = {MAKER_KEY: None, r"HKLM\Software\Microsoft\Windows\CurrentVersion": {
        "RegisteredOwner": "Jo Smith", "RegisteredOrganization": None}}

    def start_form(self, url, option="-Register", extra=(), company="Acme", product="Tool"):
        self.start_run(option, [*extra, "CREATE GROUP:Acme Tool", "ADD ITEM:1\ttool.exe\t\tTool",
                                "ADD ITEM:2\tuninstall.exe\t-Register\tRegister Tool",
                                f"REGISTER:{url}\tTool 1.50 retail\t{QUESTION}"],
                       company=company, product=product)
        self.caption = f"{company} {product} Registration..."[:119]
        box = wd.wait_box(self.run, self.caption, timeout=60)
        self.assertEqual(QUESTION, box.text)
        wd.answer(box, "Return")
        return Form(self.run, self.caption)

    def register(self, url, *boxes, option="-Register", extra=(), values=ANN, key="Return", keys=()):
        """A form with nothing remembered, no box ticked (`keys`: more registry), filled and sent."""
        self.registry({MAKER_KEY: None, **dict(keys)})
        form = self.start_form(url, option, extra)
        form.fill(values, NO_BOX)
        form.submit(boxes[0], key)
        return self.finish(CAPTION, [QUESTION, *boxes])

    def stored(self):
        values = self.prefix.reg_values(MAKER_KEY)
        return [values.get(name) for name in STORED]

    def assert_left(self, registered):
        self.assertEqual("1.50" if registered else None,
                         self.prefix.reg_query(r"HKCU\Software\Acme\Tool", "Registered Version"))
        self.assertEqual(not registered, os.path.exists(self.shortcut))

    def test_decline_retry_send_remember_and_check_the_form(self):
        user = next(u for u in sorted(os.listdir(self.drive_c("users"))) if u != "Public")
        self.shortcut = self.drive_c("users", user, "AppData", "Roaming", "Microsoft", "Windows",
                                     "Start Menu", "Programs", "Acme Tool", "Register Tool.lnk")
        os.makedirs(os.path.dirname(self.shortcut), exist_ok=True)
        with open(self.shortcut, "w") as f:
            f.write("shortcut\n")
        # Long names cut the caption to 119 characters, on the form and its boxes too.
        form = self.start_form("http://127.0.0.1:1/r", company="C" * 100, product="P" * 100)
        form.fill({"first": "Ann"})
        form.submit(DECLINE, "n", press="Escape")
        form.submit(DECLINE, press="Escape")
        self.assertEqual([], phases(self.finish(self.caption, [QUESTION, DECLINE, DECLINE])))
        # Loading made the key with the empty record; the form stored nothing.
        self.assertEqual([""] * 9 + ["0x0"], self.stored())
        self.assert_left(False)
        # No server: both attempts fail and the question comes.
        port = ms.free_port()
        url = f"http://127.0.0.1:{port}/register"
        log = self.register(url, RETRY, key="n")
        self.assertEqual([0, 1, 2], phases(log))
        self.assertEqual(2, log.count(f"Unable to connect to machine 127.0.0.1:{port} for URL '{url}'\n"))
        # The form stored the details; the failed run stops before DONE's removal.
        self.assertEqual("Ann", self.stored()[0])
        self.assert_left(False)
        with contextlib.ExitStack() as stack:
            def server_back(box):
                servers.append(stack.enter_context(ms.MakerServer(port=port)))
                for path, answer in (("/register", "accept"), ("/split", "split"), ("/lower", "lower")):
                    servers[0].serve_registration(path, answer)
                wd.answer(box, "Return")
                wd.answer(wd.wait_box(self.run, CAPTION, timeout=120), "Return")
            servers = []
            log = self.register(url, RETRY, THANKS, key=server_back, values={**ANN, "state": "   "})
            self.assertEqual([0, 1, 2, 1], phases(log))
            self.assert_left(True)
            self.sent_remembered_and_checked(servers[0], log)

    def sent_remembered_and_checked(self, server, log):
        (request, decoded, error), = server.wait(server.registrations, 1)
        self.assertEqual((f"POST /register HTTP/1.0\r\nUser-Agent: {AGENT}\r\nHost: 127.0.0.1\r\n"
                          f"Content-Length: {len(request.body)}\r\nConnection: closed\r\n\r\n"
                          ).encode(), request.head)
        self.assertEqual((None, "1.50"), (error, decoded["version"]))
        self.assertEqual(f"{len(request.body):08X}041.50", request.body[:14].decode())
        tags = [tag for tag, _ in decoded["fields"]]
        self.assertEqual(sorted(tags), tags, "fields in the order of their tags")
        fields = dict(decoded["fields"])
        self.assertEqual(sum(4 + len(v) for v in fields.values()), decoded["record_length"])
        self.assertIn(f"Send registration to '{server.url('/register')}' "
                      f"({decoded['record_length']})\nSubmission on phase 0\n", log)
        self.assertEqual({"000": "v1.50 (Release)", "001": "Standalone", "002": "Tool 1.50 retail",
                          "100": "REG", "101": "Acme", "102": "Tool", "103": "1.50",
                          "308": "Jo Smith", "309": "Unknown", "400": "No", "401": "0"},
                         {tag: fields[tag] for tag in "000 001 002 100 101 102 103 308 309 400 401".split()})
        shapes = {"300": r"\d+\.\d+\.\d+\.\d+", "301": ".+", "302": ".*", "305": ".*",
                  "306": r"\d+,\d+", "307": r"\d+", "310": r"Microsoft Windows NT \d+\.\d+\.\d+.*",
                  "311": r"\d+k", "312": r"\d+k"}
        for tag, pattern in shapes.items():
            self.assertRegex(fields[tag], f"^{pattern}$", tag)
        # Blanks only: the bare tag; no mailing list: neither of its fields.
        self.assertEqual([v if k != "state" else "" for k, v in ANN.items()],
                         [fields[f"2{n:02d}"] for n in range(10)])
        self.assertFalse({"402", "403"} & set(fields))
        self.assertEqual([*ANN.values()][:4] + ["   "] + [*ANN.values()][5:9] + ["0x3"], self.stored())
        # The installer runs it in place, here through a proxy, which is given the whole URL.
        log = self.register(server.url("/split"), THANKS, option="-InstReg", extra=["TEXT:Thanks for installing"],
                            keys={SETTINGS_KEY: {"ProxyEnable": 1, "ProxyServer": f"127.0.0.1:{server.port}"}})
        self.assertEqual([0], phases(log))
        (request, first, _), = server.registrations[1:]
        self.assertEqual(f"POST {server.url('/split')} HTTP/1.0", request.head.decode().split("\r\n")[0])
        self.assertEqual(["Installer", "Thanks for installing"], [dict(first["fields"])[t] for t in ("001", "100")])
        # Another product's form then opens with the stored details, all but how the user
        # heard of it; an unreachable proxy is passed over.
        dead = ms.free_port()
        self.set_proxy(1, f"127.0.0.1:{dead}")
        form = self.start_form(server.url("/lower"))
        form.submit(FIELDS_EMPTY)
        form.fill({"referral": "The same friend"})
        form.submit(THANKS)
        log = self.finish(CAPTION, [QUESTION, FIELDS_EMPTY, THANKS])
        self.assertEqual([0, 1], phases(log))
        self.assertIn(f"Proxy Enabled (0x00000001) : 127.0.0.1:{dead}\n", log)
        (_, second, _), = server.wait(server.registrations, 3)[2:]
        fields = dict(second["fields"])
        self.assertEqual(["Standalone"] + [*ANN.values()][:9] + ["The same friend"],
                         [fields[t] for t in ["001"] + [f"2{n:02d}" for n in range(10)]])
        # A fresh form: each check in its order, then the verification of the address.
        self.registry({MAKER_KEY: None, SETTINGS_KEY: {"ProxyEnable": None, "ProxyServer": None}})
        form = self.start_form(server.url("/register"), extra=["LISTSERVER:7\tAcme News\tNews"])
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
        log = self.finish(CAPTION, [QUESTION, NO_CHOICE, FIELDS_EMPTY, FIELDS_EMPTY,
                                    EMAIL_INVALID, EMAIL_MISMATCH, THANKS])
        self.assertEqual([0], phases(log))
        fields = dict(server.wait(server.registrations, 4)[3][1]["fields"])
        self.assertEqual(list(ANN.values()) + ["Yes", "7", "Acme News", "News"],
                         [fields[t] for t in [f"2{n:02d}" for n in range(10)] + ["400", "401", "402", "403"]])
        # A subscriber with a mailing list is remembered as already subscribed.
        self.assertEqual("0x2", self.stored()[-1])


if __name__ == "__main__":
    scenario.main()
