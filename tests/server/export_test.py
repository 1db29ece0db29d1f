"""Registrant details holding the bytes that break hand-made CSV and JSON (quotes, backslashes,
commas, line breaks, control bytes, bytes of the code page) come out of `regdecode --json` and
`makerd export` (CSV and JSON) as documents that parse, each value exactly as sent. Checked by
parsing the output with Python's own csv and json readers, never by comparing strings; the
plain `regdecode` lines are checked against its JSON."""

import csv
import io
import json
import os
import select
import signal
import socket
import subprocess
import sys
import tempfile

MAKERD, REGDECODE, MAKE_REGISTRATIONS = (os.environ[n] for n in ("MAKERD", "REGDECODE",
                                                                  "MAKE_REGISTRATIONS"))
DEADLINE = 30

# One registration a row: the field set and the bytes it holds. Values are the program's
# Windows-1252 bytes, which both JSON writers give as the code points of the same numbers.
ROWS = [
    ("quote", "201", b'O"Brien "the elder"'),
    ("backslash", "202", b"C:\\Users\\x\\"),
    ("quote at the end", "203", b'ends with "'),
    ("backslash at the end", "204", b"trailing\\"),
    ("comma", "205", b"Smith, Jr."),
    ("line feed", "202", b"first line\nsecond line"),
    ("carriage return and line feed", "202", b"line one\r\nline two"),
    ("lone carriage return", "209", b"cr\rinside"),
    ("tab", "208", b"555\t0100"),
    ("control bytes", "209", b"\x01\x1b[31m\x1f\x7f"),
    ("code page bytes", "200", b"Jos\xe9 \x80\x9f\xff"),
    ("formula", "203", b'=HYPERLINK("http://evil.test/","x")'),
    ("all of them", "201", b'"\\,\n\r\t\x01\xe9=+'),
]


def run(*argv, stdin=b""):
    return subprocess.run(argv, input=stdin, capture_output=True, check=True).stdout


def body(tag, value):
    # Python hands a bytes argument to the generator byte for byte.
    setting = tag.encode() + b"=" + value
    return run(MAKE_REGISTRATIONS, "1", "/dev/stdout", setting).rstrip(b"\n")


def decoded(raw):
    return raw.encode("latin-1") if raw is not None else None


def check_regdecode(bodies):
    for (name, tag, value), sent in zip(ROWS, bodies):
        listed = json.loads(run(REGDECODE, "--json", stdin=sent))["fields"]
        fields = {f["tag"]: decoded(f["value"]) for f in listed}
        assert fields[tag] == value, (name, fields[tag], value)
        # Without --json: a "tag value" line for each field, in the same order.
        lines = b"".join(f["tag"].encode() + b" " + decoded(f["value"]) + b"\n" for f in listed)
        assert run(REGDECODE, stdin=sent) == lines, name


def serve(tmp):
    server = subprocess.Popen([MAKERD, "serve", "--db", f"{tmp}/maker.db", "--store", tmp,
                               "--listen", "127.0.0.1:0", "--public-url", "http://127.0.0.1/"],
                              stdout=subprocess.PIPE, text=True)
    line = server.stdout.readline() if select.select([server.stdout], [], [], DEADLINE)[0] else ""
    assert line.startswith("makerd: listening on http://127.0.0.1:"), repr(line)
    return server, int(line.strip().rstrip("/").rsplit(":", 1)[1])


def post(port, sent):
    with socket.create_connection(("127.0.0.1", port), timeout=DEADLINE) as s:
        s.sendall(b"POST /register HTTP/1.0\r\nContent-Length: %d\r\n\r\n" % len(sent) + sent)
        assert b"RegSuccess" in b"".join(iter(lambda: s.recv(65536), b""))


def check_export(tmp, bodies):
    server, port = serve(tmp)
    try:
        for sent in bodies:
            post(port, sent)
    finally:
        server.send_signal(signal.SIGTERM)
        assert server.wait(DEADLINE) == 0
    rows = json.loads(run(MAKERD, "export", "--db", f"{tmp}/maker.db", "--format", "json"))
    text = run(MAKERD, "export", "--db", f"{tmp}/maker.db").decode("latin-1")
    cells = list(csv.DictReader(io.StringIO(text, newline="")))
    assert len(rows) == len(cells) == len(ROWS), (len(rows), len(cells))
    for (name, tag, value), row, cell in zip(ROWS, rows, cells):
        assert decoded(row[tag]) == value, (name, row[tag], value)
        # A spreadsheet would run a cell that starts like a formula: such a cell is a text.
        guarded = b"'" + value if value[:1] in b"=+-@\t\r" else value
        assert cell[tag].encode("latin-1") == guarded, (name, cell[tag], guarded)
        assert cell["id"] == str(row["id"]) and cell["207"] == row["207"], name


def main():
    bodies = [body(tag, value) for _, tag, value in ROWS]
    check_regdecode(bodies)
    with tempfile.TemporaryDirectory() as tmp:
        check_export(tmp, bodies)
    print(f"export: {len(ROWS)} registrations parse back from regdecode --json, CSV and JSON")


if __name__ == "__main__":
    sys.exit(main())
