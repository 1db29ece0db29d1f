"""Removal benchmark: a product of FOLDERS x FILES files removed three ways in
one run, under the same Wine prefix and X display:

  uninstall  the packed uninstaller's copy, from the "Yes" to its final notice
             (the box times that winedriver records)
  floor      delete_tree.exe: DeleteFileA and RemoveDirectoryA and nothing else,
             between a question and a notice of its own, timed the same way
             ("floor, inside" is its own clock around the deletions alone)
  rm -rf     the same tree from the unix side

Prints the figures; it is not a test and has no pass mark."""

import argparse
import os
import shutil
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))
import winedriver as wd  # noqa: E402

FOLDER = "C:\\Program Files\\Bench\\Tree"


def make_tree(top, folders, files):
    for d in range(folders):
        sub = os.path.join(top, f"d{d:02d}")
        os.makedirs(sub)
        for f in range(files):
            with open(os.path.join(sub, f"f{f:04d}.dat"), "wb") as out:
                out.write(b"x" * 64)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--folders", type=int, default=10)
    parser.add_argument("--files", type=int, default=1000)
    parser.add_argument("--runs", type=int, default=3)
    args = parser.parse_args()
    build = os.path.join(ROOT, "build")
    work = os.path.join(build, "bench")
    os.makedirs(work, exist_ok=True)
    prefix = wd.WinePrefix(os.path.join(work, "prefix"))
    prefix.ensure()
    tree = prefix.unix_path(FOLDER)
    shutil.rmtree(os.path.dirname(tree), ignore_errors=True)

    names = ",".join(f"d{d:02d}\\f{f:04d}.dat" for d in range(args.folders)
                     for f in range(args.files))
    script = os.path.join(work, "bench.txt")
    with open(script, "w") as f:
        f.write("COMPANY NAME:Bench\nPRODUCT NAME:Tree\nREGISTRY PATH:Software\\Bench\\Tree\n"
                "INSTALL DIR:Bench\\Tree\nINSTALL PATH:x\nFILE LIST:" + names + "\nINSTALL:\nDONE:x\n")
    packed = os.path.join(work, "uninstall.exe")
    subprocess.run([os.path.join(build, "host", "tools", "ffspack", "ffspack"), "pack", "--stub",
                    os.path.join(build, wd.WINE_BUILD, "bin", "uninstall.exe"), "--script", script,
                    "-o", packed], check=True)
    reg = os.path.join(work, "bench.reg")
    with open(reg, "w") as f:
        stored = (FOLDER + "\\").replace("\\", "\\\\")
        f.write(f"REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Bench\\Tree]\n\"Install Path\"=\"{stored}\"\n")
    prefix.reg_import(reg)
    floor_exe = os.path.join(build, wd.WINE_BUILD, "bench", "delete_tree.exe")
    count = args.folders * args.files
    print(f"{count} files in {args.folders} folders, {args.runs} runs each")

    results = {"uninstall": [], "floor": [], "floor, inside": [], "rm -rf": []}
    for _ in range(args.runs):
        make_tree(tree, args.folders, args.files)
        # The uninstaller sits outside the tree, so that exactly the tree goes.
        exe = os.path.join(work, "run-uninstall.exe")
        shutil.copyfile(packed, exe)
        run = wd.start(prefix, exe, ["-Spawn"], log=os.path.join(work, "uninstall.log"))
        box = wd.wait_box(run, "Uninstall...", timeout=60)
        yes = time.monotonic()
        wd.answer(box, "y")
        notice = wd.wait_box(run, "Uninstaller...", timeout=600)
        results["uninstall"].append(notice.time - yes)
        wd.answer(notice, "Return")
        run.wait(60)
        prefix.wait_idle(60)
        assert not os.path.exists(os.path.dirname(tree)), "the uninstaller left part of the tree"

        # The floor is timed exactly as the uninstaller: from the answer to its notice.
        make_tree(tree, args.folders, args.files)
        run = wd.start(prefix, floor_exe, [FOLDER, str(args.folders), str(args.files), "boxes"],
                       log=os.path.join(work, "floor.log"))
        box = wd.wait_box(run, "Floor...", timeout=60)
        yes = time.monotonic()
        wd.answer(box, "y")
        notice = wd.wait_box(run, "Floor done...", timeout=600)
        results["floor"].append(notice.time - yes)
        wd.answer(notice, "Return")
        assert run.wait(60) == 0, run.tail()
        inside = float(run.stdout_text().split()[-2]) / 1000.0
        results["floor, inside"].append(inside)
        prefix.wait_idle(60)

        make_tree(tree, args.folders, args.files)
        start = time.monotonic()
        subprocess.run(["rm", "-rf", os.path.dirname(tree)], check=True)
        results["rm -rf"].append(time.monotonic() - start)

    floor = min(results["floor"])
    print(f"{'':13} {'best s':>8} {'median s':>9} {'us/file':>8} {'x floor':>8}")
    for name, times in results.items():
        best = min(times)
        median = sorted(times)[len(times) // 2]
        print(f"{name:13} {best:8.3f} {median:9.3f} {best * 1e6 / count:8.1f} {best / floor:8.2f}")


if __name__ == "__main__":
    main()
