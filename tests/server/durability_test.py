"""makerd killed with SIGKILL under concurrent registrations, then restarted on the same database,
holds each one it acknowledged exactly once; one sent again is acknowledged, not stored twice.
With `postgres`: two servers on one throwaway PostgreSQL cluster; a body sent to both at once is
acknowledged by both and stored once; a release published is in both servers' update information;
one server is killed under load, then the database is stopped under load and started again: the
other answers 503 meanwhile (and /health says 503), recovers without a restart, and every
acknowledged registration is stored exactly once."""

import atexit
import collections
import json
import os
import select
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import urllib.error
import urllib.request

import throwaway_pg

MAKERD = os.environ["MAKERD"]
BODIES, CLIENTS, KILL_AFTER, DEADLINE = 5000, 8, 1500, 120


def serve(tmp, db=None):
    server = subprocess.Popen([MAKERD, "serve", "--db", db or f"{tmp}/maker.db", "--store", tmp,
                               "--listen", "127.0.0.1:0", "--public-url", "http://127.0.0.1/"],
                              stdout=subprocess.PIPE, text=True)
    atexit.register(server.kill)  # a failed check leaves no server behind
    line = server.stdout.readline() if select.select([server.stdout], [], [], DEADLINE)[0] else ""
    assert line.startswith("makerd: listening on http://127.0.0.1:"), repr(line)
    return server, int(line.strip().rstrip("/").rsplit(":", 1)[1])


def post(port, body):
    """The whole answer to one registration, one connection, as the program sends it."""
    with socket.create_connection(("127.0.0.1", port), timeout=DEADLINE) as s:
        s.sendall(b"POST /register HTTP/1.0\r\nContent-Length: %d\r\nConnection: close\r\n\r\n"
                  % len(body) + body)
        return b"".join(iter(lambda: s.recv(65536), b""))


def stored_emails(tmp, db=None):
    rows = json.loads(subprocess.run([MAKERD, "export", "--db", db or f"{tmp}/maker.db", "--format",
                                      "json"], capture_output=True, check=True).stdout)
    return collections.Counter(row["207"] for row in rows)


def main():
    with tempfile.TemporaryDirectory() as tmp:
        bodies = subprocess.run([os.environ["MAKE_REGISTRATIONS"], str(BODIES), "/dev/stdout"],
                                check=True, capture_output=True).stdout.splitlines()
        lock, enough, seen = threading.Lock(), threading.Event(), collections.defaultdict(list)
        server, port = serve(tmp)

        def client(first):
            for i in range(first, BODIES, CLIENTS):
                try:
                    answer = post(port, bodies[i])
                except OSError:
                    return  # the server is gone
                with lock:  # a status other than 200 is a refusal; the kill cuts the rest
                    seen["acked" if b"RegSuccess" in answer else
                         "cut" if answer[9:12] in (b"", b"200") else "refused"].append(i)
                    if len(seen["acked"]) >= KILL_AFTER:
                        enough.set()

        clients = [threading.Thread(target=client, args=(k,)) for k in range(CLIENTS)]
        for c in clients:
            c.start()
        assert enough.wait(DEADLINE), f"only {len(seen['acked'])} acknowledged"
        with lock:
            answered = sum(map(len, seen.values()))
            server.kill()
        server.wait(DEADLINE)
        assert not any(c.join(DEADLINE) or c.is_alive() for c in clients), "a client hangs"
        assert answered < BODIES and not seen["refused"], (answered, seen["refused"][:5])
        server, port = serve(tmp)
        stored = stored_emails(tmp)
        lost = {f"reg{i}@example.com" for i in seen["acked"]} - stored.keys()
        assert not lost and max(stored.values()) == 1, (sorted(lost)[:3], stored.most_common(3))
        for i in seen["acked"][:20]:
            assert b"RegSuccess" in post(port, bodies[i]), f"body {i} not acknowledged again"
        assert stored_emails(tmp) == stored, "a body sent again was stored again"
        server.terminate()
        assert server.wait(DEADLINE) == 0, "makerd did not end cleanly on SIGTERM"
        print(f"{len(seen['acked'])} acknowledged, {len(stored)} stored, {len(seen['cut'])} cut")


def get(port, path):
    try:
        with urllib.request.urlopen(f"http://127.0.0.1:{port}{path}", timeout=DEADLINE) as answer:
            return answer.status, answer.read()
    except urllib.error.HTTPError as refusal:
        return refusal.code, refusal.read()


def main_postgres():
    with tempfile.TemporaryDirectory() as tmp, throwaway_pg.Cluster() as cluster:
        bodies = subprocess.run([os.environ["MAKE_REGISTRATIONS"], str(BODIES), "/dev/stdout"],
                                check=True, capture_output=True).stdout.splitlines()
        (killed, port_a), (server, port_b) = serve(tmp, cluster.url), serve(tmp, cluster.url)
        pairs = bodies[-50:]
        answers = collections.Counter()

        def both(body):
            posts = [threading.Thread(target=lambda p=p: answers.update([post(p, body)[9:12]]))
                     for p in (port_a, port_b)]
            for t in posts:
                t.start()
            for t in posts:
                t.join(DEADLINE)

        pair_threads = [threading.Thread(target=both, args=(b,)) for b in pairs]
        for t in pair_threads:
            t.start()
        for t in pair_threads:
            t.join(DEADLINE)
        assert answers == {b"200": 2 * len(pairs)}, answers
        with open(f"{tmp}/a.exe", "wb") as f:
            f.write(b"x")
        name = subprocess.run([MAKERD, "publish", "--db", cluster.url, "--store", tmp, "--company",
                               "A", "--product", "B", "--version", "1", "--page", "https://p/",
                               "--file", f"{tmp}/a.exe"], check=True, capture_output=True,
                              text=True).stdout.strip()
        assert all(name.encode() in get(p, "/update")[1] for p in (port_a, port_b)), name

        progress, stop, gone = threading.Condition(), threading.Event(), threading.Event()
        seen = collections.defaultdict(list)

        def client(first):
            for i in range(first, BODIES - len(pairs), CLIENTS):
                while not stop.is_set():  # as the program does: a refused body is sent again
                    port = port_a if i % 2 and not gone.is_set() else port_b
                    try:
                        answer = post(port, bodies[i])
                    except OSError:
                        answer = b""
                    kind = ("acked" if b"RegSuccess" in answer else "refused"
                            if answer[9:12] == b"503" else "cut" if port == port_a else "wrong")
                    with progress:
                        seen[kind].append(i)
                        progress.notify_all()
                    if kind == "acked":
                        break

        def wait_for(what, count):
            with progress:
                assert progress.wait_for(lambda: len(seen[what]) >= count, DEADLINE), \
                    f"only {len(seen[what])} {what}, {len(seen['acked'])} acknowledged"

        clients = [threading.Thread(target=client, args=(k,)) for k in range(CLIENTS)]
        for c in clients:
            c.start()
        wait_for("acked", KILL_AFTER // 2)
        gone.set()
        killed.send_signal(signal.SIGKILL)
        killed.wait(DEADLINE)
        wait_for("acked", KILL_AFTER)
        cluster.stop()
        wait_for("refused", 1)
        health = get(port_b, "/health")[0]
        cluster.start()
        wait_for("acked", len(seen["acked"]) + KILL_AFTER // 2)
        stop.set()
        assert not any(c.join(DEADLINE) or c.is_alive() for c in clients), "a client hangs"
        assert health == 503 and get(port_b, "/health")[0] == 200, health
        assert not seen["wrong"], seen["wrong"][:5]
        stored = stored_emails(tmp, cluster.url)
        acked = {f"reg{i}@example.com" for i in seen["acked"]} | {
            f"reg{i}@example.com" for i in range(BODIES - len(pairs), BODIES)}
        lost = acked - stored.keys()
        assert not lost and max(stored.values()) == 1, (sorted(lost)[:3], stored.most_common(3))
        server.terminate()
        assert server.wait(DEADLINE) == 0, "makerd did not end cleanly on SIGTERM"
        print(f"{len(seen['acked'])} acknowledged, {len(stored)} stored, "
              f"{len(seen['refused'])} refused while the database was away, {len(seen['cut'])} cut")


main_postgres() if sys.argv[1:] == ["postgres"] else main()
