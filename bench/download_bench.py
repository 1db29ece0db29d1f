"""Download throughput: the uninstaller's update download under Wine against
curl, both fetching the same 100 MB file from one loopback server, side by
side in one run. Prints figures; it is not a test and asserts nothing.

The time of each download is taken on the server: from the request's arrival
to the client's close after the last byte, so Wine's start-up and the dialogs
do not count. The file is the run recorder padded to the size, so the update
ends by starting it, as a real one does.

    scripts/bench-download [--size-mb 100] [--rounds 3]
"""

import argparse
import glob
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))
import maker_server as ms  # noqa: E402
import winedriver as wd  # noqa: E402

TITLE = "Electronic Update..."
INSTALL_DIR = "C:\\Program Files\\Bench\\Tool\\"


def big_file(folder, recorder, size):
    path = os.path.join(folder, "setup.exe")
    with open(recorder, "rb") as f:
        image = f.read()
    with open(path, "wb") as f:
        f.write(image)
        block = ms.pattern_bytes(1 << 20)
        left = size - len(image)
        while left > 0:
            f.write(block[:min(left, len(block))])
            left -= len(block)
    return path


def serve_big(server, path):
    size = os.path.getsize(path)
    head = (f"HTTP/1.0 200 OK\r\nContent-Type: application/octet-stream\r\n"
            f"Content-Length: {size}\r\n\r\n").encode()
    server.route("/files/setup.exe", [("send", head), ("file", path)])


def last_timing(server, count):
    deadline = time.monotonic() + 120
    while len(server.timings) < count and time.monotonic() < deadline:
        time.sleep(0.05)
    return server.timings[-1][1]


def curl_round(server, folder):
    target = os.path.join(folder, "curl-setup.exe")
    count = len(server.timings) + 1
    subprocess.run(["curl", "-s", "-o", target, server.url("/files/setup.exe")], check=True,
                   timeout=300)
    seconds = last_timing(server, count)
    os.remove(target)
    return seconds


class Uninstaller:
    def __init__(self, prefix, args, server, work):
        self.prefix = prefix
        self.work = work
        self.install_dir = prefix.unix_path(INSTALL_DIR)
        shutil.rmtree(self.install_dir, ignore_errors=True)
        os.makedirs(self.install_dir)
        prefix._tool([wd.WINE, "reg", "add", r"HKCU\Software\Bench\Tool", "/v", "Install Path",
                      "/d", INSTALL_DIR, "/f"], 60)
        script = os.path.join(work, "install.txt")
        with open(script, "w") as f:
            f.write("COMPANY NAME:Bench\nPRODUCT NAME:Tool\nPRODUCT VERSION:1.0\n"
                    "REGISTRY PATH:Software\\Bench\\Tool\nINSTALL DIR:Bench\\Tool\n"
                    "INSTALL PATH:x\n"
                    f"UPDATE URL:{server.url('/info')}\nDONE:x\n")
        self.exe = os.path.join(self.install_dir, "uninstall.exe")
        subprocess.run([args.ffspack, "pack", "--stub", args.exe, "--script", script, "-o",
                        self.exe], check=True, timeout=60)
        server.serve_info("/info", [{"key": "Bench Tool", "version": "2.0",
                                     "page": "http://127.0.0.1/bench.html",
                                     "download": server.url("/files/setup.exe")}])

    def round(self, server):
        count = len(server.timings) + 2  # the check, then the download
        run = wd.start(self.prefix, self.exe, ["-Update"], cwd=self.work)
        box = wd.wait_box(run, TITLE, timeout=60)
        wd.answer(box, "Return")
        dialog = wd.wait_window(run, TITLE, timeout=60)
        x, y, width, height = wd.geometry(dialog)
        wd.click(dialog, int(182.5 * width / 245), int(41.5 * height / 55))
        box = wd.wait_box(run, TITLE, timeout=300)
        outcome = box.text
        if outcome.startswith("There was a problem downloading"):
            wd.answer(box, "n")
            wd.answer(wd.wait_box(run, TITLE, timeout=60), "Return")
            run.wait(60)
            self.prefix.wait_idle(60)
            raise SystemExit("the download failed; the stub must know its installation folder "
                             "(INSTALL PATH) to save it")
        wd.answer(box, "Return")
        run.wait(60)
        self.prefix.wait_idle(60)
        seconds = last_timing(server, count)
        return seconds, outcome


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    build = os.path.join(ROOT, "build")
    parser.add_argument("--exe", default=os.path.join(build, wd.WINE_BUILD, "bin", "uninstall.exe"))
    parser.add_argument("--ffspack", default=os.path.join(build, "host", "tools", "ffspack",
                                                          "ffspack"))
    parser.add_argument("--recorder", default=os.path.join(build, wd.WINE_BUILD, "tests", "win32",
                                                           "run_recorder.exe"))
    parser.add_argument("--prefix", default=os.path.join(build, "bench", "prefix"))
    parser.add_argument("--size-mb", type=int, default=100)
    parser.add_argument("--rounds", type=int, default=3)
    args = parser.parse_args()

    size = args.size_mb * 1024 * 1024
    prefix = wd.WinePrefix(args.prefix)
    prefix.ensure()
    work = tempfile.mkdtemp(prefix="bench-download-")
    try:
        path = big_file(work, args.recorder, size)
        with ms.MakerServer() as server:
            serve_big(server, path)
            ours = Uninstaller(prefix, args, server, work)
            curl, wine, outcomes = [], [], []
            for _ in range(args.rounds):
                curl.append(curl_round(server, work))
                seconds, outcome = ours.round(server)
                wine.append(seconds)
                outcomes.append(outcome)
        saved = os.path.join(ours.install_dir, "setup.exe")
        complete = os.path.getsize(saved) == size
    finally:
        prefix.kill()
        shutil.rmtree(work, ignore_errors=True)

    mib = size / (1024 * 1024)
    print(f"download of {mib:.0f} MiB from 127.0.0.1, {args.rounds} rounds, "
          "server-side time from request to the client's close")
    print(f"{'client':<24}{'best s':>9}{'median s':>10}{'best MiB/s':>12}{'median MiB/s':>14}")
    for name, times in (("curl", curl), ("uninstall.exe (Wine)", wine)):
        best, median = min(times), statistics.median(times)
        print(f"{name:<24}{best:>9.3f}{median:>10.3f}{mib / best:>12.1f}{mib / median:>14.1f}")
    ratio_best = min(curl) / min(wine)
    ratio_median = statistics.median(curl) / statistics.median(wine)
    print(f"throughput ratio uninstall.exe / curl: best {ratio_best:.2f}x, "
          f"median {ratio_median:.2f}x (target >= 0.8x)")
    print(f"saved file complete: {complete}; outcome boxes: {sorted(set(outcomes))}")


if __name__ == "__main__":
    main()
