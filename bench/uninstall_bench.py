"""Removal benchmark: 10 x 1,000 files removed three ways, side by side in one run; figures,
not a test. The floor (delete_tree.exe: DeleteFileA and RemoveDirectoryA alone) and the
uninstaller are timed alike, from the answer to their question to their final notice;
rm -rf removes the same tree from the unix side. Then both run with -Quiet as a deployment
script runs them, each timed from its start to its return: the uninstaller installed in the
tree, so that it relocates, waits for its copy and is deleted last."""

import os
import shutil
import subprocess
import time

import benchlib
from benchlib import wd

FOLDER = "C:\\Program Files\\Bench\\Tree"
FOLDERS, FILES, RUNS = 10, 1000, 3
NAMES = [f"d{d:02d}\\f{f:04d}.dat" for d in range(FOLDERS) for f in range(FILES)]


def make_tree(top):
    for name in NAMES:
        path = os.path.join(top, name.replace("\\", "/"))
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as out:
            out.write(b"x" * 64)


def timed_box(prefix, exe, args, question, notice):
    """Seconds from the answer to the question to the notice's box."""
    run = wd.start(prefix, exe, args)
    box = wd.wait_box(run, question, timeout=60)
    yes = time.monotonic()
    wd.answer(box, "y")
    box = wd.wait_box(run, notice, timeout=600)
    wd.answer(box, "Return")
    run.wait(60)
    prefix.wait_idle(60)
    assert_gone(prefix, exe)
    return box.time - yes


def timed_quiet(prefix, exe, args):
    """Seconds from the start to the return of a run without boxes."""
    start = time.monotonic()
    code = wd.start(prefix, exe, args).wait(600)
    seconds = time.monotonic() - start
    prefix.wait_idle(60)
    assert code == 0, f"{exe} returned {code}"
    assert_gone(prefix, exe)
    return seconds


def assert_gone(prefix, exe):
    assert not os.path.exists(os.path.dirname(prefix.unix_path(FOLDER))), f"{exe} left part of the tree"


def main():
    prefix = benchlib.prefix()
    tree = prefix.unix_path(FOLDER)
    shutil.rmtree(os.path.dirname(tree), ignore_errors=True)
    packed = benchlib.product(prefix, "Tree", FOLDER + "\\",
                              f"FILE LIST:{','.join(NAMES)}\nUNINSTALL NAME:uninstall.exe\nINSTALL:\n")
    floor = os.path.join(benchlib.WINE_BIN, "bench", "delete_tree.exe")
    print(f"{len(NAMES)} files in {FOLDERS} folders, {RUNS} runs each")
    results = {"floor": [], "uninstall": [], "rm -rf": []}
    quiet = {"floor -Quiet": [], "uninstall -Quiet": []}
    for _ in range(RUNS):
        # The uninstaller runs from a copy outside the tree, so that exactly the tree goes.
        make_tree(tree)
        exe = os.path.join(benchlib.WORK, "run-uninstall.exe")
        shutil.copyfile(packed, exe)
        results["uninstall"].append(timed_box(prefix, exe, ["-Spawn"], "Uninstall...", "Uninstaller..."))
        make_tree(tree)
        results["floor"].append(timed_box(prefix, floor, [FOLDER, FOLDERS, FILES], "Floor...",
                                          "Floor done..."))
        make_tree(tree)
        start = time.monotonic()
        subprocess.run(["rm", "-rf", os.path.dirname(tree)], check=True)
        results["rm -rf"].append(time.monotonic() - start)
        make_tree(tree)
        installed = os.path.join(tree, "uninstall.exe")
        shutil.copyfile(packed, installed)
        quiet["uninstall -Quiet"].append(timed_quiet(prefix, installed, ["-Quiet"]))
        make_tree(tree)
        quiet["floor -Quiet"].append(timed_quiet(prefix, floor, [FOLDER, FOLDERS, FILES, "-Quiet"]))
    benchlib.table(results, "us/file", lambda best: best * 1e6 / len(NAMES))
    benchlib.table(quiet, "us/file", lambda best: best * 1e6 / len(NAMES))


if __name__ == "__main__":
    main()
