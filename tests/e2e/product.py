"""A product as its installer would have left it, read from its readable install script:
files, registry (a .reg fixture), shortcuts and components registered through regsvr32."""

import glob
import os
import shutil

import winedriver as wd

FIXTURES = os.path.join(os.path.dirname(os.path.abspath(__file__)), "fixtures")
UNINSTALL_ENTRY = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"


class Product:
    """What a script says about its product, with the places the installer used."""

    def __init__(self, prefix, script):
        self.prefix, self.values, self.files, self.items, self.components = prefix, {}, [], [], []
        with open(script, encoding="latin-1") as f:
            commands = [line.rstrip("\r\n").partition(":") for line in f if line.strip()
                        and not line.startswith("#")]
        for keyword, _, text in commands:
            args = text.split("\t")
            self.values.setdefault(keyword, args)
            if keyword == "FILE LIST":
                self.files += args[0].split(",")
            elif keyword in ("INSTALL NAME", "UNINSTALL NAME"):
                self.files.append(args[0])
            elif keyword == "ADD ITEM":
                self.items.append((args[1], args[2], args[3]))
            elif keyword == "OLE":
                self.components.append(args[1])
        self.group = self.value("CREATE GROUP")
        self.folder = "C:\\Program Files\\" + self.value("INSTALL DIR").rstrip("\\") + "\\"
        self.name = f"{self.value('COMPANY NAME')} {self.value('PRODUCT NAME')}"

    def value(self, keyword):
        return self.values.get(keyword, [""])[0]

    def file(self, name):
        """Where a file of the list is (unix path); "$2" is the system folder."""
        if name.startswith("$2"):
            return os.path.join(self.prefix.path, "drive_c", "windows", "system32", name[2:])
        return self.prefix.unix_path(self.folder + name)

    def programs_folder(self):
        """The current user's Start-menu Programs folder (unix path)."""
        return glob.glob(os.path.join(self.prefix.path, "drive_c", "users", "*", "AppData", "Roaming",
                                      "Microsoft", "Windows", "Start Menu", "Programs"))[0]

    def group_folder(self):
        return os.path.join(self.programs_folder(), self.group)

    def uninstaller(self):
        return self.file(self.value("UNINSTALL NAME"))

    def install(self, packed_uninstaller, component_library, reg_fixture="widget-studio.reg"):
        """Installs the product afresh: anything left by an earlier run goes first."""
        shutil.rmtree(self.prefix.unix_path(self.folder), ignore_errors=True)
        shutil.rmtree(self.group_folder(), ignore_errors=True)
        self.prefix.reg_import(*(os.path.join(FIXTURES, name) for name in ("widget-studio-gone.reg", reg_fixture)))
        for name in self.files:
            os.makedirs(os.path.dirname(self.file(name)), exist_ok=True)
            with open(self.file(name), "w") as f:
                f.write(f"{self.name}: {name}\n")
        shutil.copyfile(packed_uninstaller, self.uninstaller())
        for target, arguments, name in self.items:
            os.makedirs(self.group_folder(), exist_ok=True)
            with open(os.path.join(self.group_folder(), name + ".lnk"), "w") as f:
                f.write(f"[Shortcut]\nTarget={self.folder}{target}\nArguments={arguments}\n")
        for name in self.components:
            if os.path.exists(self.file(name) + ".calls"):  # an earlier install's
                os.remove(self.file(name) + ".calls")
            shutil.copyfile(component_library, self.file(name))
            self.prefix._tool([wd.WINE, "regsvr32", "/s", self.prefix.windows_path(self.file(name))], 60)

    def component_calls(self, name):
        """The entry points that the component's DllRegisterServer... recorded, in order."""
        calls = self.file(name) + ".calls"
        return open(calls).read().split() if os.path.exists(calls) else []

    def remaining(self):
        """Every path of the product still on the drive, relative to drive C."""
        drive = os.path.join(self.prefix.path, "drive_c")
        top = self.prefix.unix_path("C:\\Program Files\\" + self.value("INSTALL DIR").split("\\")[0])
        found = [os.path.join(folder, name) for root in (top, self.group_folder())
                 for folder, _, files in os.walk(root) for name in [""] + files]
        found += [self.file(name) for name in self.components if os.path.exists(self.file(name))]
        return sorted(os.path.relpath(path, drive) for path in found)

    def entry_key(self):
        return UNINSTALL_ENTRY + self.name


def make_files(script, folder, version):
    """The product's files as a maker keeps them for `ffspack installer --files`: each file of
    FILE LIST and INSTALL NAME, saying which version it is."""
    shutil.rmtree(folder, ignore_errors=True)
    product = Product(None, script)
    for name in product.files:
        if name != product.value("UNINSTALL NAME"):
            path = os.path.join(folder, *name.split("\\"))
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, "w") as f:
                f.write(f"{product.name} {version}: {name}\n")
    return folder


def snapshot(prefix):
    """What a product could leave behind: every path under drive C, and every key and value
    (with its data) of HKEY_CURRENT_USER and HKEY_LOCAL_MACHINE as Wine stores them."""
    prefix.wait_idle(60)
    prefix.stop(60)  # the wineserver writes its registry files as it ends
    drive, found = os.path.join(prefix.path, "drive_c"), set()
    for folder, dirs, files in os.walk(drive):
        found.update("C:/" + os.path.relpath(os.path.join(folder, name), drive) for name in dirs + files)
    for hive, root in (("user.reg", "HKCU"), ("system.reg", "HKLM")):
        key = None
        with open(os.path.join(prefix.path, hive), encoding="utf-8", errors="replace") as f:
            for line in f:
                if line.startswith("["):
                    key = root + "\\" + line[1:line.rindex("]")].replace("\\\\", "\\")
                    found.add(key)
                elif key and line[:1] in ('"', "@"):
                    found.add(f"{key} : {line.rstrip()}")
    return found
