"""A maker's web server for the tests: update information, downloads and
registrations on 127.0.0.1, with every request recorded byte for byte.

Python standard library only. Import it from scenarios, or run it around a
command (the Win32 test programs) with the standard routes:

    python3 maker_server.py [--proxy] -- wine net_tests.exe

which exports MAKER_SERVER_PORT (and PROXY_PORT with --proxy) to the command
and exits with the command's exit code.

An answer is a list of steps that the connection carries out in order:
    ("send", bytes)     send the bytes
    ("pause", seconds)  wait
    ("file", path)      send a file's bytes
    ("hold",)           stay silent until the peer closes or the server stops
A route is a path with either a fixed list of steps or a function that takes
the Request and returns the steps. `on_request`, when set, sees every request
first and may return steps; None passes the request on to the routes. Unknown
paths get a 404 page.

Registrations (`serve_registration`) are decoded with the maker's decoder,
tools/regdecode from the host build, and kept in `registrations`; only a body
that decodes is answered with the accepting word, in the way the route says.
"""

import argparse
import json
import os
import shutil
import socket
import subprocess
import sys
import tempfile
import threading
import time

UPDATE_FIELD_MARK = b"\x16"
HEAD_END = b"\r\n\r\n"
ACCEPTED = b"RegSuccess"


class Request:
    def __init__(self, head, body, peer):
        self.head = head  # the raw bytes up to and including the empty line
        self.body = body
        self.peer = peer
        lines = head[:-len(HEAD_END)].split(b"\r\n") if head.endswith(HEAD_END) else head.split(b"\r\n")
        parts = lines[0].decode("latin-1").split(" ")
        self.request_line = lines[0].decode("latin-1")
        self.method = parts[0] if parts else ""
        self.target = parts[1] if len(parts) > 1 else ""
        self.version = parts[2] if len(parts) > 2 else ""
        self.headers = []
        for line in lines[1:]:
            name, _, value = line.decode("latin-1").partition(":")
            self.headers.append((name, value.strip()))
        # A proxied request names the whole URL; routes go by the path alone.
        path = self.target
        if "://" in path:
            path = "/" + path.split("://", 1)[1].partition("/")[2]
        self.path = path.partition("?")[0]

    def header(self, name):
        for key, value in self.headers:
            if key.lower() == name.lower():
                return value
        return None

    def __repr__(self):
        return f"Request({self.head!r}, body={len(self.body)} bytes)"


def http_answer(body, status="200 OK", content_length=True, length=None, headers=()):
    """A whole answer: status line, headers, empty line and body."""
    lines = [f"HTTP/1.0 {status}", "Content-Type: application/octet-stream"]
    if content_length:
        lines.append(f"Content-Length: {len(body) if length is None else length}")
    lines += list(headers)
    return ("\r\n".join(lines) + "\r\n\r\n").encode("latin-1") + body


def update_info(products):
    """Update information for products given as dicts with key, version, page, download.

    A field left out of the dict is left out of the record."""
    out = b""
    for product in products:
        out += UPDATE_FIELD_MARK + b"1" + product["key"].encode("latin-1") + b"\r\n"
        for field, name in ((b"2", "version"), (b"3", "page"), (b"4", "download")):
            if name in product:
                out += UPDATE_FIELD_MARK + field + product[name].encode("latin-1") + b"\r\n"
        out += UPDATE_FIELD_MARK + b"0\r\n"
    return out


def regdecode(body):
    """The decoder's reading of a submission body: (fields as a dict of the head's
    numbers and [tag, value] pairs, None) or (None, the decoder's reason)."""
    host_build = os.environ.get("HOST_BUILD_DIR") or os.path.join(
        os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__)))),
        "build", "host")
    tool = os.path.join(host_build, "bin", "regdecode")
    r = subprocess.run([tool, "--json"], input=body, capture_output=True, timeout=30)
    if r.returncode != 0:
        return None, r.stderr.decode("latin-1").strip() or f"exit {r.returncode}"
    decoded = json.loads(r.stdout.decode("latin-1"))
    decoded["fields"] = [(f["tag"], f["value"]) for f in decoded["fields"]]
    return decoded, None


class Registration:
    """One POST to a registration route, as the maker's server reads it."""

    def __init__(self, request, decoded, error):
        self.request = request
        self.decoded = decoded  # None when the body did not decode
        self.error = error

    @property
    def fields(self):
        return self.decoded["fields"] if self.decoded else []

    def __repr__(self):
        return f"Registration({self.request!r}, error={self.error!r}, fields={self.fields!r})"


# How a registration route answers a body that decodes: the accepting word in
# an ordinary answer, in small letters, split across two sends, not at all, or
# never (the connection is held open).
REGISTRATION_ANSWERS = {
    "accept": [("send", http_answer(b"<html><body>" + ACCEPTED + b"</body></html>"))],
    "lower": [("send", http_answer(b"Thanks: " + ACCEPTED.lower()))],
    "split": [("send", b"HTTP/1.0 200 OK\r\n\r\nThanks: Reg"), ("pause", 0.5),
              ("send", b"Success")],
    "refuse": [("send", http_answer(b"Registrations are closed today"))],
    "silent": [("hold",)],
}


def pattern_bytes(size):
    """Bytes that show where a piece went missing or was doubled."""
    unit = bytes(range(256)) * 16 + b"\x00\r\n\r\nContent-Length: 1\r\n"
    return (unit * (size // len(unit) + 1))[:size]


class MakerServer:
    def __init__(self, host="127.0.0.1", port=0):
        self.host = host
        self.routes = {}
        self.on_request = None
        self.requests = []
        self.registrations = []
        self.timings = []  # (path, seconds from the request's arrival to the answer's end)
        self._cond = threading.Condition()
        self._stopping = threading.Event()
        self._listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        self._listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        self._listener.bind((host, port))
        self._listener.listen(64)
        self.port = self._listener.getsockname()[1]
        self._thread = threading.Thread(target=self._accept_loop, daemon=True)
        self._connections = set()

    def __enter__(self):
        return self.start()

    def __exit__(self, *exc):
        self.stop()

    def start(self):
        self._thread.start()
        return self

    def stop(self):
        self._stopping.set()
        try:
            self._listener.close()
        except OSError:
            pass
        with self._cond:
            for conn in list(self._connections):
                try:
                    conn.shutdown(socket.SHUT_RDWR)
                except OSError:
                    pass
        self._thread.join(5)

    def url(self, path="/"):
        return f"http://{self.host}:{self.port}{path}"

    # --- routes ------------------------------------------------------------------------------

    def route(self, path, steps):
        self.routes[path] = steps

    def serve_info(self, path, products, prefix=b"", status="200 OK"):
        self.route(path, [("send", http_answer(prefix + update_info(products), status))])

    def serve_bytes(self, path, data):
        """Sends `data` as it is: the test writes the status line and headers itself."""
        self.route(path, [("send", data)])

    def serve_file(self, path, body, content_length=True, length=None, split_head_at=None,
                   pause=0.3):
        """A download. `length` announces another size than the body's; `split_head_at`
        sends the answer in two pieces, cut that many bytes into the head end CR LF CR LF."""
        answer = http_answer(body, content_length=content_length, length=length)
        if split_head_at is None:
            self.route(path, [("send", answer)])
            return
        cut = answer.index(HEAD_END) + split_head_at
        self.route(path, [("send", answer[:cut]), ("pause", pause), ("send", answer[cut:])])

    def serve_silent(self, path):
        self.route(path, [("hold",)])

    def serve_registration(self, path, answer="accept"):
        """Decodes each POST into `registrations`; a body that does not decode is
        answered "400 Bad Request" with the decoder's reason, never accepted."""
        def steps(request):
            decoded, error = regdecode(request.body)
            with self._cond:
                self.registrations.append(Registration(request, decoded, error))
                self._cond.notify_all()
            if error:
                return [("send", http_answer(error.encode("latin-1"), "400 Bad Request"))]
            return REGISTRATION_ANSWERS[answer]
        self.route(path, steps)

    # --- recording ---------------------------------------------------------------------------

    def wait_requests(self, count, timeout=30):
        return self._wait_for(self.requests, "requests", count, timeout)

    def wait_registrations(self, count, timeout=30):
        return self._wait_for(self.registrations, "registrations", count, timeout)

    def _wait_for(self, records, name, count, timeout):
        deadline = time.monotonic() + timeout
        with self._cond:
            while len(records) < count:
                left = deadline - time.monotonic()
                if left <= 0:
                    raise AssertionError(f"{len(records)} {name} within {timeout} s, "
                                         f"wanted {count}: {records}")
                self._cond.wait(left)
            return list(records)

    # --- serving -----------------------------------------------------------------------------

    def _accept_loop(self):
        while not self._stopping.is_set():
            try:
                conn, peer = self._listener.accept()
            except OSError:
                return
            with self._cond:
                self._connections.add(conn)
            threading.Thread(target=self._serve, args=(conn, peer), daemon=True).start()

    def _read_request(self, conn, peer):
        data = b""
        while HEAD_END not in data:
            chunk = conn.recv(65536)
            if not chunk:
                return None
            data += chunk
        end = data.index(HEAD_END) + len(HEAD_END)
        head, body = data[:end], data[end:]
        request = Request(head, b"", peer)
        wanted = request.header("Content-Length")
        wanted = int(wanted) if wanted and wanted.isdigit() else 0
        while len(body) < wanted:
            chunk = conn.recv(65536)
            if not chunk:
                break
            body += chunk
        request.body = body
        return request

    def _steps_for(self, request):
        steps = self.on_request(request) if self.on_request else None
        if steps is None:
            steps = self.routes.get(request.path)
            if callable(steps):
                steps = steps(request)
        if steps is None:
            steps = [("send", http_answer(b"<html><body>Not here</body></html>", "404 Not Found"))]
        return steps

    def _serve(self, conn, peer):
        try:
            conn.settimeout(60)
            request = self._read_request(conn, peer)
            if request is None:
                return
            started = time.monotonic()
            with self._cond:
                self.requests.append(request)
                self._cond.notify_all()
            for step in self._steps_for(request):
                if step[0] == "send":
                    conn.sendall(step[1])
                elif step[0] == "pause":
                    if self._stopping.wait(step[1]):
                        return
                elif step[0] == "file":
                    with open(step[1], "rb") as f:
                        conn.sendfile(f)
                elif step[0] == "hold":
                    conn.settimeout(None)
                    while conn.recv(65536):
                        pass
            conn.shutdown(socket.SHUT_WR)
            # The answer ends when the peer has read it all and closed its side.
            conn.settimeout(30)
            while conn.recv(65536):
                pass
            with self._cond:
                self.timings.append((request.path, time.monotonic() - started))
                self._cond.notify_all()
        except OSError:
            pass
        finally:
            with self._cond:
                self._connections.discard(conn)
            conn.close()


class Relay:
    """Passes connections on to another port and records what each client sent:
    puts a recorder in front of a proxy, so that the head a program sends to its
    proxy can be checked byte for byte."""

    def __init__(self, target_port, host="127.0.0.1"):
        self.target = (host, target_port)
        self.streams = []  # one bytearray per connection, client to target
        self._listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        self._listener.bind((host, 0))
        self._listener.listen(16)
        self.port = self._listener.getsockname()[1]
        threading.Thread(target=self._accept_loop, daemon=True).start()

    def close(self):
        self._listener.close()

    def _accept_loop(self):
        while True:
            try:
                client, _ = self._listener.accept()
            except OSError:
                return
            stream = bytearray()
            self.streams.append(stream)
            threading.Thread(target=self._serve, args=(client, stream), daemon=True).start()

    def _serve(self, client, stream):
        try:
            upstream = socket.create_connection(self.target, timeout=30)
        except OSError:
            client.close()
            return
        back = threading.Thread(target=self._pump, args=(upstream, client, None), daemon=True)
        back.start()
        self._pump(client, upstream, stream)
        back.join(60)
        client.close()
        upstream.close()

    @staticmethod
    def _pump(source, sink, record):
        try:
            source.settimeout(60)
            while True:
                data = source.recv(65536)
                if not data:
                    break
                if record is not None:
                    record += data
                sink.sendall(data)
            sink.shutdown(socket.SHUT_WR)
        except OSError:
            pass


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class Tinyproxy:
    """Debian's tinyproxy on 127.0.0.1 with a configuration of its own in a temp folder."""

    def __init__(self, timeout=30):
        self.dir = tempfile.mkdtemp(prefix="tinyproxy-")
        self.port = free_port()
        self.log = os.path.join(self.dir, "tinyproxy.log")
        conf = os.path.join(self.dir, "tinyproxy.conf")
        with open(conf, "w") as f:
            f.write(f"Port {self.port}\nListen 127.0.0.1\nTimeout 60\nMaxClients 20\n"
                    f'LogFile "{self.log}"\nLogLevel Info\n'
                    f'PidFile "{os.path.join(self.dir, "tinyproxy.pid")}"\n'
                    "Allow 127.0.0.1\nViaProxyName \"tinyproxy\"\n")
        self.proc = subprocess.Popen(["tinyproxy", "-d", "-c", conf], stdin=subprocess.DEVNULL,
                                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        deadline = time.monotonic() + timeout
        while True:
            try:
                socket.create_connection(("127.0.0.1", self.port), timeout=1).close()
                break
            except OSError:
                if self.proc.poll() is not None or time.monotonic() > deadline:
                    self.stop()
                    raise RuntimeError(f"tinyproxy did not start on port {self.port}")
                time.sleep(0.05)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.stop()

    def stop(self):
        if self.proc.poll() is None:
            self.proc.terminate()
            try:
                self.proc.wait(10)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait(10)
        shutil.rmtree(self.dir, ignore_errors=True)


def standard_routes(server):
    """The routes that the Win32 test programs expect."""
    server.serve_info("/info", [{"key": "Acme Tool", "version": "2.0",
                                 "page": "http://127.0.0.1/tool.html",
                                 "download": server.url("/files/setup.exe")}])
    server.serve_file("/files/setup.exe", pattern_bytes(1000))
    server.serve_file("/files/full.bin", pattern_bytes(1000))
    server.serve_file("/files/nolength.bin", pattern_bytes(3000), content_length=False)
    server.serve_file("/files/short.bin", pattern_bytes(999), length=1000)
    server.serve_file("/files/long.bin", pattern_bytes(1001), length=1000)
    server.serve_file("/files/split.bin", pattern_bytes(1000), split_head_at=2)
    server.serve_file("/files/split-nolength.bin", pattern_bytes(10), content_length=False,
                      split_head_at=3)
    server.serve_file("/files/headonly.bin", b"", content_length=False)
    server.serve_file("/files/lengthzero.bin", b"")
    server.serve_file("/files/blanks.bin", pattern_bytes(64), length=" \t64")
    server.serve_file("/files/signed.bin", pattern_bytes(64), length="+64")
    # The body carries text that looks like a length; only the head may announce one.
    server.serve_bytes("/files/lengthinbody.bin",
                       b"HTTP/1.0 200 OK\r\n\r\nContent-Length: 5\r\n" + pattern_bytes(100))
    server.serve_file("/files/big.bin", pattern_bytes(3 * 1024 * 1024))
    server.route("/files/slow.bin", [("send", http_answer(b"slow", content_length=False)[:20]),
                                     ("pause", 2.0),
                                     ("send", http_answer(b"slow", content_length=False)[20:])])
    server.serve_silent("/silent")
    for answer in ("accept", "lower", "split", "refuse"):
        server.serve_registration(f"/register/{answer}", answer)
    server.route("/echo", lambda request: [("send", http_answer(request.head + request.body))])


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--proxy", action="store_true", help="also start tinyproxy")
    parser.add_argument("--timeout", type=float, default=280)
    parser.add_argument("command", nargs=argparse.REMAINDER)
    args = parser.parse_args()
    command = args.command[1:] if args.command[:1] == ["--"] else args.command
    if not command:
        parser.error("no command to run")
    env = dict(os.environ)
    with MakerServer() as server:
        standard_routes(server)
        env["MAKER_SERVER_PORT"] = str(server.port)
        proxy = Tinyproxy() if args.proxy else None
        try:
            if proxy:
                env["PROXY_PORT"] = str(proxy.port)
            try:
                return subprocess.run(command, env=env, timeout=args.timeout).returncode
            except subprocess.TimeoutExpired:
                print(f"maker_server: {command[0]} still running after {args.timeout} s",
                      file=sys.stderr)
                return 124
        finally:
            if proxy:
                proxy.stop()


if __name__ == "__main__":
    sys.exit(main())
