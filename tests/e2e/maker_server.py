"""A maker's web server on 127.0.0.1 that records every request byte for byte; it
also serves as its own proxy (a request naming the whole URL goes by its path).
`python3 maker_server.py -- CMD` runs CMD with the standard routes and
MAKER_SERVER_PORT in its environment.

A route maps a path to its answer's steps, or to a function of the Request
returning them: ("send", bytes), ("pause", s), ("file", path), ("hold",)."""

import contextlib
import json
import os
import re
import socket
import subprocess
import sys
import threading
import time

HEAD_END = b"\r\n\r\n"
ACCEPTED = b"RegSuccess"


class Request:
    def __init__(self, head, body):
        self.head, self.body = head, body
        target = head.split(b" ")[1].decode("latin-1")
        # A proxied request names the whole URL; routes go by the path alone.
        self.path = "/" + target.split("/", 3 if "://" in target else 1)[-1].split("?")[0]


def http_answer(body, status="200 OK", content_length=True, length=None):
    length = f"Content-Length: {len(body) if length is None else length}\r\n" if content_length else ""
    return f"HTTP/1.0 {status}\r\nContent-Type: application/octet-stream\r\n{length}\r\n".encode() + body


def update_info(products):
    """Records of products given as dicts of key, version, page, download, signature (each
    optional)."""
    return b"".join(b"".join(b"\x16%d%s\r\n" % (i + 1, p[n].encode("latin-1")) for i, n in
                             enumerate(("key", "version", "page", "download", "signature")) if n in p)
                    + b"\x160\r\n" for p in products)


def regdecode(body):
    """(regdecode's JSON, "fields" as [(tag, value)], None), or (None, why it refused)."""
    tool = os.path.join(os.environ.get("HOST_BUILD_DIR") or os.path.join(
        os.path.dirname(os.path.abspath(__file__)), "..", "..", "build", "host"), "bin", "regdecode")
    r = subprocess.run([tool, "--json"], input=body, capture_output=True, timeout=30)
    if r.returncode != 0:
        return None, r.stderr.decode("latin-1").strip() or f"exit {r.returncode}"
    decoded = json.loads(r.stdout.decode("latin-1"))
    decoded["fields"] = [(f["tag"], f["value"]) for f in decoded["fields"]]
    return decoded, None


# A decodable registration is answered with the word, in small letters, split
# across two sends, or not at all.
REGISTRATION_ANSWERS = {
    "accept": [("send", http_answer(b"<html><body>" + ACCEPTED + b"</body></html>"))],
    "lower": [("send", http_answer(b"Thanks: " + ACCEPTED.lower()))],
    "split": [("send", b"HTTP/1.0 200 OK\r\n\r\nThanks: Reg"), ("pause", 0.5), ("send", b"Success")],
    "refuse": [("send", http_answer(b"Registrations are closed today"))],
}


def pattern_bytes(size):
    """Bytes that show where a piece went missing or was doubled."""
    unit = bytes(range(256)) * 16 + b"\x00\r\n\r\nContent-Length: 1\r\n"
    return (unit * (size // len(unit) + 1))[:size]


class MakerServer:
    def __init__(self, port=0):
        self.routes, self.requests, self.registrations, self.timings = {}, [], [], []
        self._cond = threading.Condition()
        self._listener = socket.create_server(("127.0.0.1", port))
        self.port = self._listener.getsockname()[1]

    def __enter__(self):
        threading.Thread(target=self._accept_loop, daemon=True).start()
        return self

    def __exit__(self, *exc):
        self._listener.close()

    def url(self, path="/"):
        return f"http://127.0.0.1:{self.port}{path}"

    def route(self, path, steps):
        self.routes[path] = steps

    def serve_info(self, path, products):
        self.route(path, [("send", http_answer(update_info(products)))])

    def serve_file(self, path, body, content_length=True, length=None, split_head_at=None):
        """`length`: another size; `split_head_at`: two sends, cut that far into the "\r\n\r\n"."""
        answer = http_answer(body, content_length=content_length, length=length)
        cut = answer.index(HEAD_END) + (split_head_at or 0)
        self.route(path, [("send", answer[:cut]), ("pause", 0.3 if split_head_at else 0),
                          ("send", answer[cut:])])

    def serve_registration(self, path, answer="accept"):
        """Records (request, decoded, error) in `registrations`; no decode: 400 and why."""
        def steps(request):
            decoded, error = regdecode(request.body)
            self._record(self.registrations, (request, decoded, error))
            if error:
                return [("send", http_answer(error.encode("latin-1"), "400 Bad Request"))]
            return REGISTRATION_ANSWERS[answer]
        self.route(path, steps)

    def wait(self, records, count, timeout=30):
        with self._cond:
            if not self._cond.wait_for(lambda: len(records) >= count, timeout):
                raise AssertionError(f"{len(records)} records in {timeout} s, not {count}")
            return list(records)

    def _record(self, records, item):
        with self._cond:
            records.append(item)
            self._cond.notify_all()

    def _accept_loop(self):
        with contextlib.suppress(OSError):
            while True:
                threading.Thread(target=self._serve, args=(self._listener.accept()[0],),
                                 daemon=True).start()

    def _steps(self, request):
        steps = self.routes.get(request.path)
        steps = steps(request) if callable(steps) else steps
        return steps or [("send", http_answer(b"<html>Not here</html>", "404 Not Found"))]

    def _serve(self, conn):
        with conn, contextlib.suppress(OSError):
            conn.settimeout(60)
            data = b""
            while True:
                head, end, body = data.partition(HEAD_END)
                length = re.search(rb"(?i)\r\ncontent-length:\s*(\d+)", head)
                if end and len(body) >= int(length[1] if length else 0):
                    break
                if not (chunk := conn.recv(65536)):
                    return
                data += chunk
            request, started = Request(head + end, body), time.monotonic()
            self._record(self.requests, request)
            for step in self._steps(request):
                if step[0] == "send":
                    conn.sendall(step[1])
                elif step[0] == "pause":
                    time.sleep(step[1])
                elif step[0] == "file":
                    with open(step[1], "rb") as f:
                        conn.sendfile(f)
                else:
                    conn.settimeout(None)
                    while conn.recv(65536):
                        pass
            conn.shutdown(socket.SHUT_WR)
            # The answer ends when the peer has read it all and closed its side.
            while conn.recv(65536):
                pass
            self._record(self.timings, (request.path, time.monotonic() - started))


def free_port():
    with socket.create_server(("127.0.0.1", 0)) as s:
        return s.getsockname()[1]


def standard_routes(server):
    """The routes that the Win32 test programs expect."""
    for name, size, options in (
            ("setup.exe", 1000, {}), ("big.bin", 3 << 20, {}),
            ("nolength.bin", 3000, {"content_length": False}),
            ("full.bin", 1000, {"content_length": False}),
            ("short.bin", 999, {"length": 1000}), ("long.bin", 1001, {"length": 1000}),
            ("split.bin", 1000, {"split_head_at": 2})):
        server.serve_file("/files/" + name, pattern_bytes(size), **options)
    server.route("/silent", [("hold",)])
    for answer in REGISTRATION_ANSWERS:
        server.serve_registration(f"/register/{answer}", answer)
    server.route("/echo", lambda request: [("send", http_answer(request.head + request.body))])


def main():
    command = sys.argv[2:] if sys.argv[1:2] == ["--"] else sys.argv[1:]
    if not command:
        sys.exit("usage: maker_server.py -- CMD...")
    with MakerServer() as server:
        standard_routes(server)
        try:
            return subprocess.run(command, env=dict(os.environ, MAKER_SERVER_PORT=str(server.port)),
                                  timeout=280).returncode
        except subprocess.TimeoutExpired:
            print(f"maker_server: {command[0]} still running after 280 s", file=sys.stderr)
            return 124


if __name__ == "__main__":
    sys.exit(main())
