"""Removal benchmark: 10 x 1,000 files removed four ways, side by side in one run; figures,
not a test. The floor (delete_tree.exe: DeleteFileA and RemoveDirectoryA alone) and the
uninstaller are timed alike, from the answer to their question to their final notice;
rm -rf removes the same tree from the unix side. Then both run with -Quiet as a deployment
script runs them, each timed from its start to its return: the uninstaller installed in the
tree, so that it relocates, waits for its copy and is deleted last; also until the tree has
gone. Beside them NSIS's own uninstaller of the same tree (built by makensis, one Delete per
file and one RMDir per folder): in place (/S _?=FOLDER) from its start to its return, and
installed in the tree with /S, which copies itself to the temporary folder and returns at
once, until the tree has gone. Each NSIS Delete costs under Wine thirteen wineserver requests
(two FindFirstFile, an attribute change, the deletion) where DeleteFileA costs two. Last, the
tree's own setup.exe (ffspack installer): its size beyond the compressed payload, and its
silent install from start to return beside the removal of what it installed."""

import functools
import glob
import lzma
import os
import shutil
import subprocess
import time

import benchlib
from benchlib import wd

FOLDER = "C:\\Program Files\\Bench\\Tree"
FOLDERS, FILES, RUNS = 10, 1000, 3
NAMES = [f"d{d:02d}\\f{f:04d}.dat" for d in range(FOLDERS) for f in range(FILES)]
NSIS_TARGET = {"win32": "x86-unicode", "win64": "amd64-unicode"}[wd.WINE_BUILD]
# Wine joins its arguments with one space and quotes those that hold one, while NSIS reads
# "_?=" to the end of its command line unquoted: a quoted one is not seen, and the uninstaller
# then copies itself to the temporary folder, returns at once and removes nothing of the tree.
NSIS_IN_PLACE = ["/S", *f"_?={FOLDER}".split(" ")]


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
    """Seconds from the start to the return of a run without boxes, and to the moment the tree
    has gone (a copy left behind in the temporary folder may still be at work)."""
    top = os.path.dirname(prefix.unix_path(FOLDER))
    start = time.monotonic()
    code = wd.start(prefix, exe, args).wait(600)
    returned = time.monotonic() - start
    assert wd.until(lambda: not os.path.exists(top), 600, step=0.01), f"{exe} left part of the tree"
    gone = time.monotonic() - start
    prefix.wait_idle(60)
    assert code == 0, f"{exe} returned {code}"
    return returned, gone


def assert_gone(prefix, exe):
    assert not os.path.exists(os.path.dirname(prefix.unix_path(FOLDER))), f"{exe} left part of the tree"


def nsis_uninstaller():
    """NSIS's uninstaller of the tree, in the floor's order; it deletes itself, the tree and
    its parent last. makensis makes an uninstaller only for an installer that writes one; the
    uninstaller is copied out as it is made, so that installer is never run."""
    script, exe, writer = (os.path.join(benchlib.WORK, name) for name in
                           ("tree.nsi", "nsis-uninst.exe", "nsis-writer.exe"))
    lines = [f"Target {NSIS_TARGET}", 'Name "Tree"', f'OutFile "{writer}"', "RequestExecutionLevel user",
             f"!uninstfinalize 'cp \"%1\" \"{exe}\"'",
             'Section', 'WriteUninstaller "$INSTDIR\\uninst.exe"', 'SectionEnd', 'Section "Uninstall"']
    for d in range(FOLDERS):
        lines += [f'Delete "$INSTDIR\\{name}"' for name in NAMES[d * FILES:(d + 1) * FILES]]
        lines.append(f'RMDir "$INSTDIR\\d{d:02d}"')
    lines += ['Delete "$INSTDIR\\uninst.exe"', 'RMDir "$INSTDIR"', f'RMDir "{FOLDER.rsplit(chr(92), 1)[0]}"',
              "SectionEnd"]
    with open(script, "w") as f:
        f.write("\n".join(lines) + "\n")
    subprocess.run(["makensis", "-V1", script], check=True)
    return exe


def setup_exe(packed):
    """The tree's setup.exe from ffspack installer, and its bytes beyond the LZMA-compressed
    payload (the files and the packed uninstaller, compressed solid as NSIS does)."""
    files, out = os.path.join(benchlib.WORK, "installer-files"), os.path.join(benchlib.WORK, "setup.exe")
    shutil.rmtree(files, ignore_errors=True)
    make_tree(files)
    subprocess.run([os.path.join(benchlib.BUILD, "host", "tools", "ffspack", "ffspack"), "installer", "--script",
                    os.path.join(benchlib.WORK, "Tree.txt"), "--files", files, "--stub",
                    os.path.join(benchlib.WINE_BIN, "bin", "uninstall.exe"), "-o", out], check=True)
    payload = b"".join(open(os.path.join(files, name.replace("\\", "/")), "rb").read() for name in NAMES)
    with open(packed, "rb") as f:
        payload += f.read()
    compressed = len(lzma.compress(payload, format=lzma.FORMAT_ALONE))
    size = os.path.getsize(out)
    print(f"setup.exe {size} bytes: payload {len(payload)} bytes, {compressed} compressed (LZMA), "
          f"installer overhead {size - compressed} bytes")
    return out


def main():
    prefix = benchlib.prefix()
    tree = prefix.unix_path(FOLDER)
    shutil.rmtree(os.path.dirname(tree), ignore_errors=True)
    packed = benchlib.product(prefix, "Tree", FOLDER + "\\",
                              f"FILE LIST:{','.join(NAMES)}\nUNINSTALL NAME:uninstall.exe\nINSTALL:\n")
    floor = os.path.join(benchlib.WINE_BIN, "bench", "delete_tree.exe")
    nsis = nsis_uninstaller()
    setup = setup_exe(packed)
    print(f"{len(NAMES)} files in {FOLDERS} folders, {RUNS} runs each")
    results = {"floor": [], "uninstall": [], "rm -rf": []}
    quiet = {"floor -Quiet": [], "uninstall -Quiet": [], "uninstall -Quiet, gone": [],
             "NSIS /S _?= in place": [], "NSIS /S, gone": []}
    lifecycle = {"setup.exe /S": [], "uninstall -Quiet": []}
    # A complete removal deletes the product's key: each run that finds it is given it anew.
    found = functools.partial(prefix.reg_import, os.path.join(benchlib.WORK, "Tree.reg"))
    for _ in range(RUNS):
        # The uninstaller runs from a copy outside the tree, so that exactly the tree goes.
        make_tree(tree)
        found()
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
        found()
        installed = os.path.join(tree, "uninstall.exe")
        shutil.copyfile(packed, installed)
        returned, gone = timed_quiet(prefix, installed, ["-Quiet"])
        quiet["uninstall -Quiet"].append(returned)
        quiet["uninstall -Quiet, gone"].append(gone)
        make_tree(tree)
        quiet["floor -Quiet"].append(timed_quiet(prefix, floor, [FOLDER, FOLDERS, FILES, "-Quiet"])[0])
        make_tree(tree)
        quiet["NSIS /S _?= in place"].append(timed_quiet(prefix, nsis, NSIS_IN_PLACE)[0])
        make_tree(tree)
        installed = os.path.join(tree, "uninst.exe")
        shutil.copyfile(nsis, installed)
        quiet["NSIS /S, gone"].append(timed_quiet(prefix, installed, ["/S"])[1])
        # The same tree installed by its setup.exe, then removed by the uninstaller it installed.
        start = time.monotonic()
        code = wd.start(prefix, setup, ["/S"]).wait(600)
        lifecycle["setup.exe /S"].append(time.monotonic() - start)
        prefix.wait_idle(60)
        assert code == 0 and os.path.exists(os.path.join(tree, "uninstall.exe")), f"setup.exe returned {code}"
        lifecycle["uninstall -Quiet"].append(timed_quiet(prefix, os.path.join(tree, "uninstall.exe"),
                                                         ["-Quiet"])[0])
        # Its copy's folder stays (the copy is deleted at the next start of Wine).
        for left in glob.glob(os.path.join(prefix.path, "drive_c", "users", "*", "Temp", "~nsu*.tmp")):
            shutil.rmtree(left)
    benchlib.table(results, "us/file", lambda best: best * 1e6 / len(NAMES))
    benchlib.table(quiet, "us/file", lambda best: best * 1e6 / len(NAMES))
    benchlib.table(lifecycle, "us/file", lambda best: best * 1e6 / len(NAMES))


if __name__ == "__main__":
    main()
