"""The maker's console in a real browser: Debian's chromium, headless, driven by python3-selenium
through chromedriver, against makerd holding registrations from the program's encoder. The
database is first one that an older makerd left (its registrations spread over the last month),
upgraded in place by `makerd user add`. Screenshots of the overview and of a registration land in
SHOTS."""

import atexit
import collections
import csv
import io
import json
import os
import select
import signal
import socket
import sqlite3
import subprocess
import tempfile
import urllib.request

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By

MAKERD, SHOTS = os.environ["MAKERD"], os.environ["SHOTS"]
DEADLINE, PASSWORD = 30, "correct horse battery"
HOSTILE = {"200": "<script>alert(1)</script>", "201": '"><img src=x onerror=alert(2)>',
           "203": '=HYPERLINK("http://evil.test/","click")', "102": "<u>Tool</u>",
           "207": "mallory@example.com"}
# Hooks set before any page script: a dialog, an error or a refused script or image is recorded.
WATCH = """window.seen = [];
for (const name of ["alert", "confirm", "prompt", "print", "open"])
  window[name] = (...a) => window.seen.push(name + ": " + a.join(", "));
addEventListener("error", e => window.seen.push("error: " + (e.message || e.target.outerHTML)), true);
document.addEventListener("securitypolicyviolation",
  e => window.seen.push("blocked: " + e.violatedDirective + " " + e.blockedURI));"""


def bodies(count, *settings):
    return subprocess.run([os.environ["MAKE_REGISTRATIONS"], str(count), "/dev/stdout", *settings],
                          check=True, capture_output=True).stdout.splitlines()


def makerd(tmp, *args, stdin=b""):
    """What the command printed, bytes as they are."""
    return subprocess.run([MAKERD, *args, "--db", f"{tmp}/maker.db"], input=stdin,
                          capture_output=True, check=True).stdout


def serve(tmp):
    server = subprocess.Popen([MAKERD, "serve", "--db", f"{tmp}/maker.db", "--store", tmp,
                               "--listen", "127.0.0.1:0", "--public-url", "http://127.0.0.1/"],
                              stdout=subprocess.PIPE, text=True)
    atexit.register(server.kill)
    line = server.stdout.readline() if select.select([server.stdout], [], [], DEADLINE)[0] else ""
    assert line.startswith("makerd: listening on "), repr(line)
    return server, line.split()[-1].rstrip("/")


def post(url, body):
    port = int(url.rsplit(":", 1)[1])
    with socket.create_connection(("127.0.0.1", port), timeout=DEADLINE) as s:
        s.sendall(b"POST /register HTTP/1.0\r\nContent-Length: %d\r\n\r\n" % len(body) + body)
        assert b"RegSuccess" in b"".join(iter(lambda: s.recv(65536), b""))


def stop(server):
    server.send_signal(signal.SIGTERM)
    assert server.wait(DEADLINE) == 0


def older_database(tmp):
    """The registrations received over the last 30 days, the schema as makerd's first version had it."""
    with sqlite3.connect(f"{tmp}/maker.db") as db:
        db.execute("UPDATE registrations SET received = strftime('%Y-%m-%dT%H:%M:%fZ', received,"
                   " '-' || (id * 7 % 30) || ' days')")
        db.executescript("DROP TABLE tallies; DROP TABLE accounts; PRAGMA user_version = 0;")


def browser(tmp):
    options = webdriver.ChromeOptions()
    options.binary_location = "/usr/bin/chromium"
    for flag in ("--headless", "--no-sandbox", "--disable-gpu", "--no-first-run",
                 "--disable-background-networking", "--disable-component-update",
                 "--disable-sync", "--window-size=1280,1500", f"--user-data-dir={tmp}/chromium"):
        options.add_argument(flag)
    options.set_capability("goog:loggingPrefs", {"browser": "ALL"})
    driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
    atexit.register(driver.quit)
    driver.set_page_load_timeout(DEADLINE)
    driver.execute_cdp_cmd("Page.addScriptToEvaluateOnNewDocument", {"source": WATCH})
    return driver


def texts(driver, selector):
    return [e.text for e in driver.find_elements(By.CSS_SELECTOR, selector)]


def table(driver, table_id):
    """Each row of a totals table: its texts, "(none)" as "", and its count."""
    rows = collections.Counter()
    for row in driver.find_elements(By.CSS_SELECTOR, f"#{table_id} tr")[1:]:
        cells = [c.get_attribute("textContent") for c in row.find_elements(By.TAG_NAME, "td")]
        rows[tuple("" if c == "(none)" else c for c in cells[:-1])] += int(cells[-1])
    return rows


def clean(driver, where):
    """Nothing ran, nothing was blocked and no stored markup became an element."""
    seen = driver.execute_script("return window.seen")
    logged = [e["message"] for e in driver.get_log("browser") if "favicon" not in e["message"]]
    elements = driver.execute_script(
        "return document.querySelectorAll('script, img, iframe, object, embed, u').length")
    assert not seen and not logged and elements == 0, (where, seen, logged, elements)


def main():
    with tempfile.TemporaryDirectory() as tmp:
        server, url = serve(tmp)
        for body in bodies(60):
            post(url, body)
        stop(server)
        older_database(tmp)
        makerd(tmp, "user", "add", "maker", stdin=PASSWORD.encode() + b"\n")
        with open(f"{tmp}/setup.exe", "wb") as f:
            f.write(b"MZ" + bytes(4000))
        stored = makerd(tmp, "publish", "--store", tmp, "--company", "Acme", "--product", "Tool",
                        "--version", "2.1", "--page", "http://127.0.0.1/", "--file",
                        f"{tmp}/setup.exe").decode().strip()
        server, url = serve(tmp)
        post(url, bodies(1, *(f"{tag}={value}" for tag, value in HOSTILE.items()))[0])
        for path in ["/update"] * 3 + [f"/download/{stored}"] * 2:
            urllib.request.urlopen(url + path, timeout=DEADLINE).read()
        exported = json.loads(makerd(tmp, "export", "--format", "json"))
        driver = browser(tmp)

        driver.get(url + "/console/")
        assert driver.current_url == url + "/console/signin", driver.current_url
        for password, landing, heading in (
                ("wrong horse battery", "/console/signin", "The name or the password is wrong."),
                (PASSWORD, "/console/", "Overview")):
            driver.find_element(By.NAME, "user").send_keys("maker")
            driver.find_element(By.NAME, "password").send_keys(password)
            driver.find_element(By.CSS_SELECTOR, "button[type=submit]").click()
            assert driver.current_url == url + landing, (password, driver.current_url)
            assert heading in texts(driver, "main h1, .message"), password
        driver.get_log("browser")  # the wrong password's 401, which is logged

        bars = dict(t.split(": ") for t in (
            e.get_attribute("textContent") for e in
            driver.find_elements(By.CSS_SELECTOR, "svg.chart")[0].find_elements(By.TAG_NAME, "title")))
        per_day = collections.Counter(r["received"][:10] for r in exported)
        assert len(bars) == 90 and len(per_day) > 1, bars
        assert {d: int(n) for d, n in bars.items() if int(n)} == dict(per_day), (bars, per_day)
        for table_id, tags in (("products", ("101", "102", "103")), ("windows", ("310",)),
                               ("processors", ("302",)), ("mailing", ("400",))):
            wanted = collections.Counter(tuple(r[t] or "" for t in tags) for r in exported)
            assert table(driver, table_id) == wanted, (table_id, table(driver, table_id), wanted)
        assert driver.find_element(By.ID, "total").text == str(len(exported))
        release = driver.find_element(By.CSS_SELECTOR, "#releases tr:nth-child(2)").text
        assert release.startswith("Acme Tool 2.1 " + stored) and release.endswith(" 2"), release
        checks = [e.get_attribute("textContent") for e in driver.find_elements(
            By.CSS_SELECTOR, "svg.chart")[1].find_elements(By.TAG_NAME, "title")]
        assert sum(int(t.split(": ")[1]) for t in checks) == 3, checks
        clean(driver, "overview")
        driver.save_screenshot(os.path.join(SHOTS, "console-overview.png"))

        search = driver.find_element(By.CSS_SELECTOR, "header a[href='/console/registrations']")
        search.click()
        for query, emails in (("reg17@example.com", ["reg17@example.com"]),
                              (HOSTILE["201"], [HOSTILE["207"]]), ("MALLORY", [HOSTILE["207"]])):
            box = driver.find_element(By.NAME, "q")
            box.clear()
            box.send_keys(query + "\n")
            assert driver.find_element(By.NAME, "q").get_attribute("value") == query
            assert texts(driver, "#registrations td:nth-child(4)") == emails, query
            clean(driver, query)
        row = driver.find_element(By.CSS_SELECTOR, "#registrations tr:nth-child(2)").text
        assert HOSTILE["200"] + " " + HOSTILE["201"] in row and HOSTILE["102"] in row, row
        driver.find_element(By.CSS_SELECTOR, "#registrations td a").click()
        fields = {c[0].text: c[2].text for c in (
            r.find_elements(By.TAG_NAME, "td")
            for r in driver.find_elements(By.CSS_SELECTOR, "#fields tr")[1:])}
        assert all(fields[tag] == value for tag, value in HOSTILE.items()), fields
        assert "e-mail" in driver.find_element(By.CSS_SELECTOR, "#fields").text
        clean(driver, "registration")
        driver.save_screenshot(os.path.join(SHOTS, "console-registration.png"))

        cookie = "; ".join(f"{c['name']}={c['value']}" for c in driver.get_cookies())
        for name, fmt in (("export.csv", "csv"), ("export.json", "json")):
            request = urllib.request.Request(f"{url}/console/{name}", headers={"Cookie": cookie})
            got = urllib.request.urlopen(request, timeout=DEADLINE).read()
            assert got == makerd(tmp, "export", "--format", fmt), name
        cells = next(r for r in csv.DictReader(io.StringIO(makerd(tmp, "export").decode("latin-1")))
                     if r["207"] == HOSTILE["207"])
        assert cells["203"] == "'" + HOSTILE["203"], cells

        driver.get(url + "/console/")
        driver.execute_script("document.querySelector('input[name=csrf]').remove()")
        driver.find_element(By.CSS_SELECTOR, "header button").click()
        assert driver.find_element(By.CSS_SELECTOR, "main h1").text == "Refused"
        driver.get(url + "/console/")
        assert driver.current_url == url + "/console/"
        driver.find_element(By.CSS_SELECTOR, "header button").click()
        assert driver.current_url == url + "/console/signin"
        for path in ("/console/", "/console/registrations?q=reg", "/console/registrations/1",
                     "/console/export.csv"):
            driver.get(url + path)
            assert driver.current_url == url + "/console/signin", path
        stop(server)
        print(f"{len(exported)} registrations over {len(per_day)} days; screenshots in {SHOTS}")


main()
