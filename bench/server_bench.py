"""The maker's server on loopback; figures, not a test. wrk posts real registration bodies to
makerd, each request its own connection and body, and the stored rows are counted: alone; while
a second wrk sends update checks and downloads at a steady pace, which the console counts; and,
to tell the counting from the load, while it sends as many requests that are not counted (GET
/health). Each run starts on a database of its own, and the three take turns twice, the second
time backwards, so that the machine's other work weighs on each alike. Then GET /update from
makerd beside nginx serving the same bytes as a static file, the same wrk run. Last, the first
database is grown to 100,000 registrations (copies spread over four months), left as an older
makerd would have left it, upgraded by `makerd user add`, and the console's overview and a
search are timed through a signed-in session. Then PostgreSQL (a throwaway cluster): registrations
per second with one server, and with two servers on the same database, wrk spread over both."""

import collections
import http.cookiejar
import json
import os
import pathlib
import re
import select
import shutil
import socket
import sqlite3
import statistics
import subprocess
import sys
import time
import urllib.parse
import urllib.request

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tests", "server"))
import throwaway_pg  # noqa: E402
HOST, WORK = (os.path.join(ROOT, "build", folder) for folder in ("release", "bench-server"))
MAKERD = os.path.join(HOST, "tools", "makerd", "makerd")
SECONDS, CONNECTIONS, THREADS, BODIES, DEADLINE = 10, 50, 2, 100_000, 60
STORED_TARGET, FEED_TARGET, COUNTING_TARGET, OVERVIEW_TARGET_MS = 1000, 0.5, 0.9, 200
PACE_MS, PACE_CONNECTIONS = 40, 2  # about 50 update checks and downloads a second: 4 million a day
GROWN, OVERVIEWS, PASSWORD = 100_000, 20, "bench-password"


def wrk_start(url, connections=CONNECTIONS, **env):
    script = os.path.join(ROOT, "bench", "server_load.lua")
    return subprocess.Popen(["wrk", f"-t{THREADS}", f"-c{connections}", f"-d{SECONDS}s",
                             "--timeout", "10s", "-s", script, url],
                            env={**os.environ, **env}, stdout=subprocess.PIPE, text=True)


def wrk_result(run):
    out = run.communicate()[0]
    assert run.returncode == 0, f"wrk failed: {out}"
    return json.loads(next(l[5:] for l in out.splitlines() if l.startswith("wrk: ")))


def wrk(url, **env):
    return wrk_result(wrk_start(url, **env))


def makerd(*args, db="maker.db", stdin=None):
    return subprocess.run([MAKERD, *args, "--db", f"{WORK}/{db}"], capture_output=True,
                          input=stdin, text=True, check=True).stdout


def grow(target):
    """Copies of the stored registrations up to `target`, received over the last 120 days, as
    an older makerd would have left them (no tallies, no accounts, schema version 0)."""
    with sqlite3.connect(f"{WORK}/maker.db", timeout=DEADLINE) as db:
        count, last = db.execute("SELECT count(*), max(id) FROM registrations").fetchone()
        for copy in range(1, target):
            if count >= target:
                break
            take = min(target - count, last)
            db.execute("INSERT INTO registrations SELECT id + ?1, strftime('%Y-%m-%dT%H:%M:%fZ',"
                       " 'now', '-' || ((id + ?1) % 120) || ' days'), peer, version,"
                       " body_sha256 || ?2 FROM registrations WHERE id <= ?3 ORDER BY id LIMIT ?4",
                       (copy * last, f"-{copy}", last, take))
            db.execute("INSERT INTO fields SELECT registration_id + ?1, position, tag, value"
                       " FROM fields WHERE registration_id <= ?2", (copy * last, take))
            count += take
        db.executescript("DROP TABLE tallies; DROP TABLE accounts; PRAGMA user_version = 0;")
    return count


def signed_in(url):
    """An opener that carries the console's cookies, signed in as the bench's account."""
    opener = urllib.request.build_opener(
        urllib.request.HTTPCookieProcessor(http.cookiejar.CookieJar()))
    form = opener.open(url + "/console/signin", timeout=DEADLINE).read().decode()
    csrf = re.search(r'name="csrf" value="([0-9a-f]+)"', form).group(1)
    data = urllib.parse.urlencode({"csrf": csrf, "user": "bench", "password": PASSWORD})
    landed = opener.open(url + "/console/signin", data.encode(), timeout=DEADLINE)
    assert landed.url == url + "/console/", f"not signed in: {landed.url}"
    return opener


def timed_ms(opener, url, times):
    took = []
    for _ in range(times):
        start = time.perf_counter()
        page = opener.open(url, timeout=DEADLINE).read()
        took.append((time.perf_counter() - start) * 1000)
    return statistics.median(took), max(took), page


def serve(db="maker.db"):
    target = db if db.startswith("postgresql://") else f"{WORK}/{db}"
    server = subprocess.Popen([MAKERD, "serve", "--db", target, "--store", WORK,
                               "--listen", "127.0.0.1:0", "--public-url", "http://127.0.0.1/"],
                              stdout=subprocess.PIPE, text=True)
    line = server.stdout.readline() if select.select([server.stdout], [], [], DEADLINE)[0] else ""
    if not line.startswith("makerd: listening on "):
        raise SystemExit(f"makerd did not start: {line!r}")
    return server, line.split()[-1].rstrip("/")


def nginx(feed):
    """nginx serving feed as /update, as this user, everything under WORK/nginx."""
    base = os.path.join(WORK, "nginx")
    os.makedirs(os.path.join(base, "html"))
    pathlib.Path(base, "html", "update").write_bytes(feed)
    with socket.socket() as s:  # a free port for nginx, which cannot report the one it took
        s.bind(("127.0.0.1", 0))
        port = s.getsockname()[1]
    temp = " ".join(f"{kind}_temp_path {base}/{kind};" for kind in
                    ("client_body", "proxy", "fastcgi", "uwsgi", "scgi"))
    pathlib.Path(base, "nginx.conf").write_text(
        f"daemon off;\nworker_processes auto;\npid {base}/nginx.pid;\n"
        f"events {{ worker_connections 1024; }}\nhttp {{ access_log off; {temp}\n"
        f"  server {{ listen 127.0.0.1:{port}; root {base}/html; }} }}\n")
    server = subprocess.Popen(["nginx", "-p", base, "-c", f"{base}/nginx.conf", "-e",
                               f"{base}/error.log"])
    deadline = time.monotonic() + DEADLINE
    while server.poll() is None and time.monotonic() < deadline:  # it tells nothing when it listens
        with socket.socket() as s:
            if s.connect_ex(("127.0.0.1", port)) == 0:
                return server, f"http://127.0.0.1:{port}"
        time.sleep(0.05)
    raise SystemExit(f"nginx did not start; see {base}/error.log")


def registrations(db, bodies, paths):
    """wrk's registrations on a new database `db`, beside paced GETs of `paths` ("NAME": a
    published file); the paced run's figures, and how many of them the database counted."""
    for n in range(10):  # a feed of ten products
        setup = pathlib.Path(WORK, f"setup{n}.exe")
        setup.write_bytes(os.urandom(4096))
        name = makerd("publish", "--store", WORK, "--company", "Acme", "--product", f"Tool{n}",
                      "--version", f"2.{n}", "--page", f"http://127.0.0.1/{n}.html", "--file",
                      str(setup), db=db).strip()
    server, url = serve(db)
    try:
        paced = paths and wrk_start(url, PACE_CONNECTIONS, PACE=str(PACE_MS),
                                    PATHS=",".join(paths).replace("NAME", name))
        reg = wrk(url + "/register", BODIES=bodies, THREADS=str(THREADS))
        paced = paced and wrk_result(paced)
    finally:
        server.terminate()
        reg["stopped"] = server.wait(DEADLINE)
    with sqlite3.connect(f"{WORK}/{db}") as database:
        counted = database.execute("SELECT sum(count) FROM tallies WHERE kind IN ('update',"
                                   " 'download')").fetchone()[0] or 0
    stored = collections.Counter(r["207"] for r in json.loads(makerd("export", "--format",
                                                                     "json", db=db)))
    return reg, paced, counted, stored


def postgres(bodies, servers):
    """Registrations per second on a new PostgreSQL database with `servers` servers, each sent
    its part of the bodies by its own wrk, and how often each stored email is there."""
    with throwaway_pg.Cluster() as cluster:
        url = cluster.create(f"bench{servers}")
        started = [serve(url) for _ in range(servers)]
        try:
            runs = [wrk_start(address + "/register", CONNECTIONS // servers, BODIES=bodies,
                              THREADS=str(THREADS), PARTS=str(servers), PART=str(part))
                    for part, (_, address) in enumerate(started)]
            done = [wrk_result(run) for run in runs]
        finally:
            stopped = [server.terminate() or server.wait(DEADLINE) for server, _ in started]
        stored = collections.Counter(r["207"] for r in json.loads(subprocess.run(
            [MAKERD, "export", "--db", url, "--format", "json"], capture_output=True, text=True,
            check=True).stdout))
    rate = sum(r["acked"] for r in done) / max(r["seconds"] for r in done)
    return rate, done, stored, any(stopped)


def main():
    shutil.rmtree(WORK, ignore_errors=True)
    os.makedirs(WORK)
    bodies = os.path.join(WORK, "bodies")
    subprocess.run([os.path.join(HOST, "bench", "make_registrations"), str(BODIES), bodies],
                   check=True)
    ways = {"alone": None, "counted": ["/update", "/download/NAME"], "uncounted": ["/health"]}
    runs = collections.defaultdict(list)
    for turn in range(2):
        for way, paths in list(ways.items())[::1 - 2 * turn]:
            db = "maker.db" if (turn, way) == (0, "alone") else f"{way}{turn}.db"
            runs[way].append(registrations(db, bodies, paths))
    server, url = serve()
    try:
        feed = urllib.request.urlopen(url + "/update", timeout=DEADLINE).read()
        ours = wrk(url + "/update")
        web, web_url = nginx(feed)
        try:
            assert urllib.request.urlopen(web_url + "/update").read() == feed, "other bytes"
            theirs = wrk(web_url + "/update")
        finally:
            web.terminate()
            web.wait(DEADLINE)
    finally:
        server.terminate()
        stopped = server.wait(DEADLINE)
    rate = {way: sum(r[0]["acked"] for r in done) / sum(r[0]["seconds"] for r in done)
            for way, done in runs.items()}
    everything = [run for done in runs.values() for run in done]
    regs, paced = [r[0] for r in everything], [r[1] for r in runs["counted"] + runs["uncounted"]]
    acked, sent = (sum(r[key] for r in regs) for key in ("acked", "sent"))
    stored = sum(sum(r[3].values()) for r in everything)
    once = all(max(r[3].values(), default=1) == 1 for r in everything)
    counted = sum(r[2] for r in runs["counted"])
    answered = sum(r[1]["requests"] for r in runs["counted"])
    pace = answered / sum(r[1]["seconds"] for r in runs["counted"])
    ours_rate, theirs_rate = (r["requests"] / r["seconds"] for r in (ours, theirs))
    grown = grow(GROWN)
    start = time.perf_counter()
    makerd("user", "add", "bench", stdin=PASSWORD + "\n")
    upgrade = time.perf_counter() - start
    server, url = serve()
    try:
        opener = signed_in(url)
        overview_ms, overview_worst, page = timed_ms(opener, url + "/console/", OVERVIEWS)
        shown = int(re.search(rb'<b id="total">(\d+)</b>', page).group(1))
        search_ms = timed_ms(opener, url + "/console/registrations?q=reg12345%40example.com", 3)[0]
    finally:
        server.terminate()
        stopped_again = server.wait(DEADLINE)
    pg = {servers: postgres(bodies, servers) for servers in (1, 2)}
    print(f"makerd (release preset), wrk {THREADS} threads and {CONNECTIONS} connections, "
          f"{SECONDS} s a run, one request a connection\n\n{'figure':>53}{'target':>11}")

    def row(name, figure, target="", met=2):
        print(f"{name:32} {figure:>20} {target:>10} {['NOT MET', 'met', ''][met]}")
    row("registrations stored per second", f"{rate['alone']:.1f}", f">= {STORED_TARGET}",
        rate["alone"] >= STORED_TARGET)
    row("registration p99 latency", f"{runs['alone'][0][0]['p99_ms']:.1f} ms")
    row("  while counting checks, downloads", f"{rate['counted']:.1f}",
        f">= {COUNTING_TARGET * rate['alone']:.1f}",
        rate["counted"] >= COUNTING_TARGET * rate["alone"])
    row("  beside as many uncounted GETs", f"{rate['uncounted']:.1f}")
    row("  checks and downloads per second", f"{pace:.1f}")
    row("  counted / answered", f"{counted} / {answered}")
    row("acknowledged / stored / sent", f"{acked} / {stored} / {sent}")
    row("PostgreSQL, one server", f"{pg[1][0]:.1f}")
    row("PostgreSQL, two servers", f"{pg[2][0]:.1f}", f"> {pg[1][0]:.1f}", pg[2][0] > pg[1][0])
    row("GET /update per second, makerd", f"{ours_rate:.1f}")
    row("GET /update per second, nginx", f"{theirs_rate:.1f}")
    row("makerd / nginx", f"{ours_rate / theirs_rate:.2f}", f">= {FEED_TARGET}",
        ours_rate >= FEED_TARGET * theirs_rate)
    row(f"schema upgrade of {grown:,}", f"{upgrade:.2f} s")
    row(f"console overview of {shown:,}", f"{overview_ms:.1f} ms", f"< {OVERVIEW_TARGET_MS} ms",
        overview_ms < OVERVIEW_TARGET_MS)
    row(f"  slowest of {OVERVIEWS}", f"{overview_worst:.1f} ms")
    row(f"console search of {grown:,}", f"{search_ms:.1f} ms")
    faults = [why for bad, why in (
        (not once or any(max(r[2].values(), default=1) > 1 for r in pg.values()),
         "a registration was stored twice"),
        (any(sum(r[2].values()) < sum(w["acked"] for w in r[1]) or r[3] for r in pg.values()),
         "PostgreSQL lost an acknowledged registration, or makerd did not exit 0"),
        (not acked <= stored <= sent, "stored is not between acknowledged and sent"),
        (any(r["other"] or r["errors"] for r in regs + paced + pg[1][1] + pg[2][1]),
         "registrations, update checks or downloads answered otherwise or failed"),
        (any(r["short"] for r in regs), f"more requests than the {BODIES} bodies"),
        (ours["errors"] or theirs["errors"], "errors reading the feed"),
        (counted < answered, "fewer update checks and downloads counted than answered"),
        (shown != grown, f"the overview shows {shown} registrations, not {grown}"),
        (stopped or stopped_again or any(r["stopped"] for r in regs),
         "makerd did not exit 0 on SIGTERM")) if bad]
    if faults:
        raise SystemExit("server_bench: " + "; ".join(faults))


main()
