"""Download throughput: the uninstaller's update download under Wine against curl, the
same 100 MiB file from one loopback server, side by side; figures, not a test. Each time
is the server's, from the request to the client's close, so Wine's start-up and the
dialogs do not count. The file is the run recorder padded, started as an installer is."""

import os
import shutil
import subprocess

import benchlib
from benchlib import wd
import maker_server as ms

TITLE = "Electronic Update..."
INSTALL_DIR = "C:\\Program Files\\Bench\\Tool\\"
SIZE, ROUNDS = 100 << 20, 3


def click_download(dialog):
    # The "Download" button's centre, in dialog units of the dialog's 245 x 55.
    shell = subprocess.run(["xdotool", "getwindowgeometry", "--shell", str(dialog.id)],
                           capture_output=True, text=True).stdout
    size = dict(line.split("=", 1) for line in shell.split())
    x, y = int(182.5 * int(size["WIDTH"]) / 245), int(41.5 * int(size["HEIGHT"]) / 55)
    subprocess.run(["xdotool", "mousemove", "--window", str(dialog.id), "--sync", str(x), str(y),
                    "click", "1"], check=True)


def update_round(prefix, exe, server):
    count = len(server.timings) + 2  # the check, then the download
    run = wd.start(prefix, exe, ["-Update"])
    wd.answer(wd.wait_box(run, TITLE, timeout=60), "Return")
    click_download(wd.wait_window(run, TITLE, timeout=60))
    box = wd.wait_box(run, TITLE, timeout=300)
    if not box.text.startswith("Successfully"):
        raise SystemExit(f"the update failed: {box.text}")
    wd.answer(box, "Return")
    run.wait(60)
    prefix.wait_idle(60)
    return server.wait(server.timings, count, 120)[count - 1][1]


def main():
    prefix = benchlib.prefix()
    folder = prefix.unix_path(INSTALL_DIR)
    shutil.rmtree(folder, ignore_errors=True)  # with an earlier run's records
    os.makedirs(folder)
    big = os.path.join(benchlib.WORK, "setup.exe")
    with open(os.path.join(benchlib.WINE_BIN, "tests", "win32", "run_recorder.exe"), "rb") as f:
        image = f.read()
    with open(big, "wb") as f:
        f.write(image + ms.pattern_bytes(SIZE - len(image)))
    try:
        with ms.MakerServer() as server:
            server.route("/files/setup.exe", [("send", b"HTTP/1.0 200 OK\r\nContent-Length: %d\r\n\r\n"
                                               % SIZE), ("file", big)])
            server.serve_info("/info", [{"key": "Bench Tool", "version": "2.0",
                                         "page": "http://127.0.0.1/bench.html",
                                         "download": server.url("/files/setup.exe")}])
            exe = os.path.join(folder, "uninstall.exe")
            os.replace(benchlib.product(prefix, "Tool", INSTALL_DIR,
                                        f"UPDATE URL:{server.url('/info')}\n"), exe)
            results = {"curl": [], "uninstall.exe (Wine)": []}
            for _ in range(ROUNDS):
                count = len(server.timings) + 1
                subprocess.run(["curl", "-s", "-o", "/dev/null", server.url("/files/setup.exe")],
                               check=True, timeout=300)
                results["curl"].append(server.wait(server.timings, count, 120)[count - 1][1])
                results["uninstall.exe (Wine)"].append(update_round(prefix, exe, server))
        # Only a whole download is started, and the started file is deleted once it has
        # ended: the recorder's runs tell that every round's download was complete.
        with open(os.path.join(folder, "setup-runs.txt")) as f:
            complete = len(f.read().splitlines()) == ROUNDS
    finally:
        prefix.kill()
        os.remove(big)
    print(f"download of {SIZE >> 20} MiB from 127.0.0.1, {ROUNDS} rounds, "
          "server-side time from request to the client's close")
    benchlib.table(results, "MiB/s", lambda best: (SIZE >> 20) / best)
    ratio = min(results["curl"]) / min(results["uninstall.exe (Wine)"])
    print(f"best throughput against curl's: {ratio:.2f}x (target >= 0.8x); every download complete and started: {complete}")


if __name__ == "__main__":
    main()
