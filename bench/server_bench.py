"""The maker's server on loopback; figures, not a test. wrk posts real registration bodies to
makerd, each request its own connection and body, and the stored rows are counted; then GET
/update from makerd beside nginx serving the same bytes as a static file, the same wrk run."""

import collections
import json
import os
import pathlib
import select
import shutil
import socket
import subprocess
import time
import urllib.request

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
HOST, WORK = (os.path.join(ROOT, "build", folder) for folder in ("release", "bench-server"))
MAKERD = os.path.join(HOST, "tools", "makerd", "makerd")
SECONDS, CONNECTIONS, THREADS, BODIES, DEADLINE = 10, 50, 2, 200_000, 60
STORED_TARGET, FEED_TARGET = 1000, 0.5


def wrk(url, **env):
    run = subprocess.run(["wrk", f"-t{THREADS}", f"-c{CONNECTIONS}", f"-d{SECONDS}s", "--timeout",
                          "10s", "-s", os.path.join(ROOT, "bench", "server_load.lua"), url],
                         env={**os.environ, **env}, capture_output=True, text=True, check=True)
    return json.loads(next(l[5:] for l in run.stdout.splitlines() if l.startswith("wrk: ")))


def makerd(*args):
    return subprocess.run([MAKERD, *args, "--db", f"{WORK}/maker.db"], capture_output=True,
                          text=True, check=True).stdout


def serve():
    server = subprocess.Popen([MAKERD, "serve", "--db", f"{WORK}/maker.db", "--store", WORK,
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


def main():
    shutil.rmtree(WORK, ignore_errors=True)
    os.makedirs(WORK)
    bodies = os.path.join(WORK, "bodies")
    subprocess.run([os.path.join(HOST, "bench", "make_registrations"), str(BODIES), bodies],
                   check=True)
    for n in range(10):  # a feed of ten products
        setup = pathlib.Path(WORK, f"setup{n}.exe")
        setup.write_bytes(os.urandom(4096))
        makerd("publish", "--store", WORK, "--company", "Acme", "--product", f"Tool{n}",
               "--version", f"2.{n}", "--page", f"http://127.0.0.1/{n}.html", "--file", str(setup))
    server, url = serve()
    try:
        reg = wrk(url + "/register", BODIES=bodies, THREADS=str(THREADS))
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
    rows = collections.Counter(r["207"] for r in json.loads(makerd("export", "--format", "json")))
    stored, once = sum(rows.values()), max(rows.values(), default=1) == 1
    rate, ours_rate, theirs_rate = (r["acked" if r is reg else "requests"] / r["seconds"]
                                    for r in (reg, ours, theirs))
    print(f"makerd (release preset), wrk {THREADS} threads and {CONNECTIONS} connections, "
          f"{SECONDS} s a run, one request a connection\n\n{'figure':>53}{'target':>11}")

    def row(name, figure, target="", met=2):
        print(f"{name:32} {figure:>20} {target:>10} {['NOT MET', 'met', ''][met]}")
    row("registrations stored per second", f"{rate:.1f}", f">= {STORED_TARGET}",
        rate >= STORED_TARGET)
    row("registration p99 latency", f"{reg['p99_ms']:.1f} ms")
    row("acknowledged / stored / sent", f"{reg['acked']} / {stored} / {reg['sent']}")
    row("GET /update per second, makerd", f"{ours_rate:.1f}")
    row("GET /update per second, nginx", f"{theirs_rate:.1f}")
    row("makerd / nginx", f"{ours_rate / theirs_rate:.2f}", f">= {FEED_TARGET}",
        ours_rate >= FEED_TARGET * theirs_rate)
    faults = [why for bad, why in (
        (not once, "a registration was stored twice"),
        (not reg["acked"] <= stored <= reg["sent"], "stored is not between acknowledged and sent"),
        (reg["other"] or reg["errors"], f"{reg['other']} other answers, {reg['errors']} errors"),
        (reg["short"], f"more requests than the {BODIES} bodies: raise BODIES"),
        (ours["errors"] or theirs["errors"], "errors reading the feed"),
        (stopped != 0, f"makerd exited {stopped} on SIGTERM")) if bad]
    if faults:
        raise SystemExit("server_bench: " + "; ".join(faults))


main()
