"""makerd killed with SIGKILL under concurrent registrations, then restarted on the same database,
holds each one it acknowledged exactly once; one sent again is acknowledged, not stored twice."""

import atexit
import collections
import json
import os
import select
import socket
import subprocess
import tempfile
import threading

MAKERD = os.environ["MAKERD"]
BODIES, CLIENTS, KILL_AFTER, DEADLINE = 5000, 8, 1500, 120


def serve(tmp):
    server = subprocess.Popen([MAKERD, "serve", "--db", f"{tmp}/maker.db", "--store", tmp,
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


def stored_emails(tmp):
    rows = json.loads(subprocess.run([MAKERD, "export", "--db", f"{tmp}/maker.db", "--format",
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


main()
