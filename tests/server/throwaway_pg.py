"""A throwaway PostgreSQL cluster for makerd's tests and bench: Debian's postgresql, initdb in a
temporary folder, a free port of 127.0.0.1, run as `nobody` when called as root, since the
server refuses to run as root. As a module: Cluster(); as a command, for the C++ tests:
  throwaway_pg.py start DIR     makes and starts a cluster in DIR (empty or missing), prints its URL
  throwaway_pg.py stop DIR      stops it (immediately) and removes DIR
  throwaway_pg.py pause DIR / resume DIR    stops it (fast) / starts it again on the same port"""

import os
import shutil
import socket
import subprocess
import sys
import tempfile

BIN = "/usr/lib/postgresql/15/bin"
DEADLINE = 60


def _as_owner(args):
    return (["runuser", "-u", "nobody", "--"] if os.geteuid() == 0 else []) + args


def _free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class Cluster:
    def __init__(self, folder=None):
        self.folder = folder or tempfile.mkdtemp(prefix="makerd-pg-")
        self.data = os.path.join(self.folder, "data")
        port_file = os.path.join(self.folder, "port")
        if os.path.exists(port_file):
            with open(port_file) as f:
                self.port = int(f.read())
            return
        os.makedirs(self.folder, exist_ok=True)
        if os.geteuid() == 0:
            shutil.chown(self.folder, "nobody")
        subprocess.run(_as_owner([f"{BIN}/initdb", "-D", self.data, "-U", "makerd", "-A", "trust",
                                  "-E", "UTF8", "--no-sync"]),
                       check=True, capture_output=True, timeout=DEADLINE)
        self.port = _free_port()
        with open(port_file, "w") as f:
            f.write(str(self.port))
        self.start()

    @property
    def url(self):
        return f"postgresql://makerd@127.0.0.1:{self.port}/postgres"

    def create(self, name):
        """A new database `name` in the cluster; its URL."""
        subprocess.run(["psql", "-q", "-d", self.url, "-c", f'CREATE DATABASE "{name}"'],
                       check=True, capture_output=True)
        return self.url.rsplit("/", 1)[0] + "/" + name

    def start(self):
        options = f"-c listen_addresses=127.0.0.1 -p {self.port} -k {self.folder} -c max_connections=300"
        subprocess.run(_as_owner([f"{BIN}/pg_ctl", "-D", self.data, "-w", "-t", str(DEADLINE),
                                  "-l", os.path.join(self.folder, "log"), "-o", options, "start"]),
                       check=True, capture_output=True)

    def stop(self, mode="fast"):
        subprocess.run(_as_owner([f"{BIN}/pg_ctl", "-D", self.data, "-w", "-t", str(DEADLINE),
                                  "-m", mode, "stop"]), check=True, capture_output=True)

    def remove(self):
        subprocess.run(_as_owner([f"{BIN}/pg_ctl", "-D", self.data, "-w", "-m", "immediate",
                                  "stop"]), capture_output=True)
        shutil.rmtree(self.folder, ignore_errors=True)

    def __enter__(self):
        return self

    def __exit__(self, *_):
        self.remove()


if __name__ == "__main__":
    action, folder = sys.argv[1:3]
    cluster = Cluster(folder)
    if action == "start":
        print(cluster.url)
    elif action == "pause":
        cluster.stop()
    elif action == "resume":
        cluster.start()
    else:
        cluster.remove()
