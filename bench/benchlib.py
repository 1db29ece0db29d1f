"""What both benchmarks share: the builds' paths, the prefix, an installed product
and the table of figures."""

import os
import statistics
import subprocess
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))
import winedriver as wd  # noqa: E402

BUILD = os.path.join(ROOT, "build")
WINE_BIN = os.path.join(BUILD, wd.WINE_BUILD)
WORK = os.path.join(BUILD, "bench")


def prefix():
    os.makedirs(WORK, exist_ok=True)
    p = wd.WinePrefix(os.path.join(WORK, "prefix"))
    p.ensure()
    return p


def product(prefix, name, folder, lines):
    """The uninstaller of Bench NAME packed with these script lines, its "Install Path" FOLDER."""
    script, exe, reg = (os.path.join(WORK, name + ext) for ext in (".txt", ".exe", ".reg"))
    with open(script, "w") as f:
        f.write(f"COMPANY NAME:Bench\nPRODUCT NAME:{name}\nPRODUCT VERSION:1.0\n"
                f"REGISTRY PATH:Software\\Bench\\{name}\nINSTALL DIR:Bench\\{name}\n"
                f"INSTALL PATH:x\n{lines}DONE:x\n")
    subprocess.run([os.path.join(BUILD, "host", "tools", "ffspack", "ffspack"), "pack", "--stub",
                    os.path.join(WINE_BIN, "bin", "uninstall.exe"), "--script", script, "-o", exe],
                   check=True)
    stored = folder.replace("\\", "\\\\")
    with open(reg, "w") as f:
        f.write(f'REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Bench\\{name}]\n"Install Path"="{stored}"\n')
    prefix.reg_import(reg)
    return exe


def table(results, unit, per_unit):
    """Best and median seconds of each way, a figure of its best, and its best against the first's."""
    first = next(iter(results))
    print(f"{'':22} {'best s':>8} {'median s':>9} {unit:>10} {'x ' + first:>8}")
    for name, times in results.items():
        best = min(times)
        print(f"{name:22} {best:8.3f} {statistics.median(times):9.3f} {per_unit(best):10.1f} "
              f"{best / min(results[first]):8.2f}")
