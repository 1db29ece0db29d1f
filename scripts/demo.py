"""The demo behind scripts/demo: the sample product installed into a fresh
Wine prefix as its installer would have left it, then removed by its packed
uninstaller started without options, as a user would, with screenshots."""

import glob
import os
import shutil
import subprocess
import sys
import threading
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))
import product  # noqa: E402
import winedriver as wd  # noqa: E402

BUILD = os.path.join(ROOT, "build")
DEMO = os.path.join(BUILD, "demo")
SCREENS = os.path.join(DEMO, "screens")
SAMPLE = os.path.join(ROOT, "samples", "sample-product.txt")
# So many widget samples that the progress window stays up long enough to be seen.
EXTRA_SAMPLES = 800


def say(text=""):
    print(text, flush=True)


def demo_script():
    """The sample script with its samples folder grown; every other line as it is."""
    extra = ",".join(f"samples\\widget{i:04d}.wdg" for i in range(EXTRA_SAMPLES))
    lines = []
    with open(SAMPLE, encoding="latin-1") as f:
        for line in f:
            if line.startswith("FILE LIST:"):
                line = line.rstrip("\n") + "," + extra + "\n"
            lines.append(line)
    path = os.path.join(DEMO, "widget-studio.txt")
    with open(path, "w", encoding="latin-1") as f:
        f.writelines(lines)
    return path


def catch_progress(stop, found):
    """Screenshots the progress window as soon as it shows."""
    while not stop.is_set():
        windows = wd.find_windows("Please wait...")
        if windows:
            try:
                found.append(wd.screenshot(os.path.join(SCREENS, "2-progress.png"), windows[0][0]))
            except (OSError, subprocess.SubprocessError):
                continue
            return
        time.sleep(0.01)


def listing(paths):
    samples = [p for p in paths if "samples/widget" in p]
    shown = [p for p in paths if p not in samples]
    for path in shown:
        say("    " + path)
    if samples:
        say(f"    ... and {len(samples)} files samples/widgetNNNN.wdg")


def main():
    shutil.rmtree(DEMO, ignore_errors=True)
    os.makedirs(SCREENS)
    prefix = wd.WinePrefix(os.path.join(DEMO, "prefix"))
    say("== A fresh Wine prefix (build/demo/prefix), about 15 s")
    prefix.ensure()

    script = demo_script()
    packed = os.path.join(DEMO, "uninstall.exe")
    subprocess.run([os.path.join(BUILD, "host", "tools", "ffspack", "ffspack"), "pack", "--stub",
                    os.path.join(BUILD, wd.WINE_BUILD, "bin", "uninstall.exe"), "--script", script,
                    "-o", packed], check=True)
    say(f"== Packed {os.path.relpath(script, ROOT)} (the sample script, its samples folder "
        f"grown by {EXTRA_SAMPLES} files) into build/demo/uninstall.exe "
        f"({os.path.getsize(packed)} bytes)")

    widget = product.Product(prefix, script)
    widget.install(packed, os.path.join(BUILD, wd.WINE_BUILD, "tests", "e2e", "component_probe.dll"))
    installed = widget.remaining()
    say(f"== Installed {widget.name} {widget.value('PRODUCT VERSION')} as its installer would have:")
    listing(installed)
    say(f"    registry: HKCU\\{widget.value('REGISTRY PATH')} \"Install Path\" = "
        + str(prefix.reg_query("HKCU\\" + widget.value("REGISTRY PATH"), "Install Path")))
    say(f"    registry: {widget.entry_key()} (the uninstall entry)")
    say(f"    component calls so far: {widget.component_calls('$2widgets.ocx')}")

    exe = widget.uninstaller()
    temp = os.path.join(prefix.path, "drive_c", "users")
    say(f"\n== The user starts {prefix.windows_path(exe)} -debug")
    run = wd.start(prefix, exe, ["-debug"], log=os.path.join(DEMO, "wine.log"))
    box = wd.wait_box(run, "Uninstall...", timeout=60)
    time.sleep(0.3)  # let it finish painting
    wd.screenshot(os.path.join(SCREENS, "1-confirm.png"), box.window)
    say(f"   [{box.caption}] {box.text}  -> Yes")
    stop, found = threading.Event(), []
    catcher = threading.Thread(target=catch_progress, args=(stop, found), daemon=True)
    catcher.start()
    wd.answer(box, "y")
    notice = wd.wait_box(run, "Uninstaller...", timeout=120)
    stop.set()
    catcher.join(5)
    time.sleep(0.3)
    wd.screenshot(os.path.join(SCREENS, "3-uninstalled.png"), notice.window)
    say(f"   [{notice.caption}] {notice.text}  -> OK")
    wd.answer(notice, "Return")
    code = run.wait(60)
    prefix.wait_idle(60)
    say(f"   first process exit code {code}; every Wine process has ended")

    remaining = widget.remaining()
    say("\n== Removed:")
    listing([p for p in installed if p not in remaining])
    say("== Remains:")
    listing(remaining)
    say("    (debug.log is the first process's own log, written beside the installed file "
        "because of -debug; the shared component stays in the system folder, unregistered)")
    entry = prefix.reg_query(widget.entry_key(), "DisplayName")
    say(f"    uninstall entry: {'still there' if entry else 'deleted'}; component calls: "
        f"{widget.component_calls('$2widgets.ocx')}")

    copies = [os.path.join(d, f) for d, _, fs in os.walk(temp) for f in fs if f.startswith("Del")]
    say(f"    copies left in the temporary folder: {len(copies)} (the copy goes when it ends)")
    for log in glob.glob(os.path.join(temp, "*", "Temp", "debug.log")):
        say(f"\n== The copy's debug.log ({prefix.windows_path(log)}):")
        with open(log, encoding="latin-1") as f:
            lines = f.read().splitlines()
        samples = [l for l in lines if "samples\\widget" in l]
        for line in lines:
            if line not in samples:
                say("    " + line)
            elif line == samples[0]:
                say(f"    ... {len(samples)} lines \"Delete file '...samples\\widgetNNNN.wdg'\"")

    shots = sorted(os.listdir(SCREENS))
    say(f"\n== Screenshots in {os.path.relpath(SCREENS, ROOT)}/: {', '.join(shots)}")
    if not found:
        say("   (the progress window came and went before it could be caught this time)")
    return 0 if code == 0 and not entry and not copies else 1


if __name__ == "__main__":
    sys.exit(main())
