"""The demo behind scripts/demo: the sample product's real setup.exe (built by
`ffspack installer` with makensis) installs it into a fresh Wine prefix through
its wizard, then its uninstaller, started without options, removes it; both as
a user would, with screenshots."""

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
# So many widget samples that both progress bars stay up long enough to be seen.
EXTRA_SAMPLES = 400
SETUP = "Acme Widgets Widget Studio Setup"


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


def catch_part_way(window_name, folder, installing, shot, stop, found):
    """Screenshots the window once a quarter of the samples has come (or gone)."""
    samples = os.path.join(folder, "samples")
    while not stop.is_set():
        try:
            present = len(os.listdir(samples))
        except OSError:
            present = 0
        if present > EXTRA_SAMPLES // 4 if installing else 0 < present < EXTRA_SAMPLES * 3 // 4:
            windows = wd.find_windows(window_name)
            if windows:
                try:
                    found.append(wd.screenshot(os.path.join(SCREENS, shot), windows[-1][0]))
                except (OSError, subprocess.SubprocessError):
                    continue
                return
        time.sleep(0.01)


def watching(*args):
    """catch_part_way in the background, until the returned call."""
    stop, found = threading.Event(), []
    catcher = threading.Thread(target=catch_part_way, args=(*args, stop, found), daemon=True)
    catcher.start()

    def done():
        stop.set()
        catcher.join(5)
        return found
    return done


def trace_seen(run, text, timeout=60):
    """Waits until Wine has traced a window text (the wizard's buttons change theirs)."""
    if not wd.until(lambda: f'L"{text}"' in run.stderr_text(), timeout):
        wd.fail(run, f"no {text!r} within {timeout} s")


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
    widget = product.Product(prefix, script)
    files = product.make_files(script, os.path.join(DEMO, "files"), widget.value("PRODUCT VERSION"))
    setup = os.path.join(DEMO, "setup.exe")
    subprocess.run([os.path.join(BUILD, "host", "tools", "ffspack", "ffspack"), "installer", "--script", script,
                    "--files", files, "--stub", os.path.join(BUILD, wd.WINE_BUILD, "bin", "uninstall.exe"),
                    "-o", setup], check=True)
    say(f"== Built build/demo/setup.exe ({os.path.getsize(setup)} bytes) with ffspack installer from "
        f"{os.path.relpath(script, ROOT)} (the sample script, its samples folder grown by {EXTRA_SAMPLES} files)")
    # A component shared in the system folder, placed there before by another product.
    shutil.copyfile(os.path.join(BUILD, wd.WINE_BUILD, "tests", "e2e", "component_probe.dll"),
                    widget.file("$2widgets.ocx"))

    say("\n== The user starts setup.exe and goes through its wizard")
    run = wd.start(prefix, setup, [], log=os.path.join(DEMO, "setup.log"))
    wizard = wd.wait_window(run, SETUP, timeout=60)
    for number, (button, page) in enumerate([("&Next >", "welcome"), ("I &Agree", "licence"),
                                             ("&Install", "folder")], 1):
        trace_seen(run, button)
        time.sleep(0.3)  # let it finish painting
        wd.screenshot(os.path.join(SCREENS, f"{number}-setup-{page}.png"), wizard)
        say(f"   [{SETUP}] {page} page -> {button.replace('&', '')}")
        # The box that comes next shares its caption with the wizard's windows.
        beneath = [wd.SimpleNamespace(id=window) for window, _ in wd.find_windows(SETUP)]
        wd.key(wizard, "Return")
    box = wd.wait_box(run, SETUP, timeout=60, over=beneath)
    say(f"   [{box.caption}] {box.text}  -> OK")
    caught = watching(SETUP + " ", widget.prefix.unix_path(widget.folder), True, "4-setup-progress.png")
    wd.answer(box, "Return")
    trace_seen(run, "&Finish", timeout=120)
    caught()
    time.sleep(0.3)
    wd.screenshot(os.path.join(SCREENS, "5-setup-finish.png"), wd.wait_window(run, SETUP + " "))
    say(f"   [{SETUP}] finish page -> Finish")
    wd.key(wd.wait_window(run, SETUP + " "), "Return")
    box = wd.wait_box(run, f"{widget.name} Registration...", timeout=60)
    say(f"   [{box.caption}] {box.text}  -> No (setup.exe offered the registration)")
    wd.answer(box, "n")
    run.wait(60)
    prefix.wait_idle(60)
    installed = widget.remaining()
    say(f"== Installed {widget.name} {widget.value('PRODUCT VERSION')}:")
    listing(installed)
    say(f"    registry: HKCU\\{widget.value('REGISTRY PATH')} \"Install Path\" = "
        + str(prefix.reg_query("HKCU\\" + widget.value("REGISTRY PATH"), "Install Path")))
    entry = prefix.reg_values(widget.entry_key())
    say(f"    registry: {widget.entry_key()}:")
    for name, value in entry.items():
        say(f"        {name} = {value}")
    say(f"    shortcuts: {sorted(os.listdir(widget.group_folder()))}")
    say(f"    component calls so far: {widget.component_calls('$2widgets.ocx')}")

    exe = widget.uninstaller()
    temp = os.path.join(prefix.path, "drive_c", "users")
    say(f"\n== The user starts {prefix.windows_path(exe)} -debug")
    run = wd.start(prefix, exe, ["-debug"], log=os.path.join(DEMO, "wine.log"))
    box = wd.wait_box(run, "Uninstall...", timeout=60)
    time.sleep(0.3)  # let it finish painting
    wd.screenshot(os.path.join(SCREENS, "6-confirm.png"), box.window)
    say(f"   [{box.caption}] {box.text}  -> Yes")
    caught = watching("Please wait...", widget.prefix.unix_path(widget.folder), False, "7-progress.png")
    wd.answer(box, "y")
    notice = wd.wait_box(run, "Uninstaller...", timeout=120)
    found = caught()
    time.sleep(0.3)
    wd.screenshot(os.path.join(SCREENS, "8-uninstalled.png"), notice.window)
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
    key = prefix.reg_values("HKCU\\" + widget.value("REGISTRY PATH"))
    say(f"    the product's key HKCU\\{widget.value('REGISTRY PATH')}: {'still there' if key else 'deleted'}")
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
