"""The maker's server as a maker runs it: `makerd serve` on 127.0.0.1, releases published and
registrations read back through its own command line."""

import json
import os
import select
import subprocess

import maker_server as ms

TOOL = os.path.join(os.environ.get("HOST_BUILD_DIR", ""), "tools", "makerd", "makerd")


class Makerd:
    def __init__(self, folder, port=None, tls=None):
        """`tls`: (certificate, key) of an HTTPS listener beside the plain one, named localhost,
        which then is the public URL."""
        self.db, self.store = os.path.join(folder, "maker.db"), os.path.join(folder, "store")
        self.port, self.tls = port or ms.free_port(), tls
        self.tls_port = ms.free_port() if tls else None

    def url(self, path="/"):
        return f"http://127.0.0.1:{self.port}{path}"

    def tls_url(self, path="/"):
        return f"https://localhost:{self.tls_port}{path}"

    def __enter__(self):
        self.process = subprocess.Popen(
            [TOOL, "serve", "--db", self.db, "--listen", f"127.0.0.1:{self.port}", "--store", self.store,
             "--public-url", self.tls_url() if self.tls else self.url(),
             *(["--listen-tls", f"127.0.0.1:{self.tls_port}", "--tls-cert", self.tls[0], "--tls-key", self.tls[1]]
               if self.tls else [])], stdout=subprocess.PIPE, text=True)
        ready, _, _ = select.select([self.process.stdout], [], [], 30)
        line = self.process.stdout.readline() if ready else ""
        if not line.startswith("makerd: listening on "):
            self.process.kill()
            raise RuntimeError(f"makerd did not start within 30 s: {line!r}")
        return self

    def __exit__(self, *exc):
        self.process.terminate()
        code = self.process.wait(30)
        if code != 0 and exc[0] is None:
            raise RuntimeError(f"makerd ended with {code} on SIGTERM")

    def command(self, *args):
        r = subprocess.run([TOOL, *args, "--db", self.db], capture_output=True, text=True, timeout=60)
        if r.returncode != 0:
            raise RuntimeError(f"makerd {args[0]}: {r.stderr}")
        return r.stdout

    def publish(self, version, path, key=None, company="Acme", product="Tool"):
        """The stored name of the installer, published as the product's release `version`."""
        return self.command("publish", "--store", self.store, "--company", company, "--product", product,
                            "--version", version, "--page", "http://127.0.0.1/acme/tool.html", "--file", path,
                            *(["--key", key] if key else [])).strip()

    def registrations(self):
        """Every stored registration: {"id", "received", "peer", "version", tag: value...}."""
        return json.loads(self.command("export", "--format", "json"))
