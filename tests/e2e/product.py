"""A product installed as its installer would have left it, read from the
readable install script that ffspack packs: the files under Program Files, the
registry entries from a .reg fixture, the program group's shortcuts, and the
components registered by their own DllRegisterServer (through regsvr32).

Used by the end-to-end scenarios and by scripts/demo."""

import os
import shutil
import subprocess

FIXTURES = os.path.join(os.path.dirname(os.path.abspath(__file__)), "fixtures")
PROGRAM_FILES = "C:\\Program Files\\"
UNINSTALL_ENTRY = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"


def read_script(path):
    """The commands of a readable script, as (KEYWORD, [arguments])."""
    commands = []
    with open(path, encoding="latin-1") as f:
        for line in f:
            line = line.rstrip("\r\n")
            if not line or line.startswith("#"):
                continue
            keyword, _, arguments = line.partition(":")
            commands.append((keyword.upper(), arguments.split("\t")))
    return commands


class Product:
    """What a script says about its product, with the places the installer used."""

    def __init__(self, prefix, script):
        self.prefix = prefix
        self.script = script
        self.values, self.files, self.items, self.components = {}, [], [], []
        self.group = ""
        self.register_question = ""
        for keyword, args in read_script(script):
            if keyword == "FILE LIST":
                self.files += args[0].split(",")
            elif keyword in ("INSTALL NAME", "UNINSTALL NAME"):
                self.values[keyword] = args[0]
                self.files.append(args[0])
            elif keyword == "CREATE GROUP":
                self.group = args[0]
            elif keyword == "ADD ITEM":
                self.items.append((self.group, args[1], args[2], args[3]))
            elif keyword == "OLE":
                self.components.append(args[1])
            elif keyword == "REGISTER":
                self.values[keyword] = args[0]
                self.register_question = args[2]
            else:
                self.values[keyword] = args[0] if args else ""
        folder = self.values.get("INSTALL DIR", "")
        self.folder = PROGRAM_FILES + folder + ("\\" if folder and not folder.endswith("\\") else "")
        self.name = f"{self.values.get('COMPANY NAME', '')} {self.values.get('PRODUCT NAME', '')}"

    def first_question(self, option):
        """The box, (caption, text), that a run with `option` asks before it acts:
        the update check ("-Update") or the registration ("-Register", "-InstReg")."""
        if option == "-Update":
            return ("Electronic Update...",
                    f"Would you like to check for an update to {self.name} electronically?")
        return f"{self.name} Registration...", self.register_question

    # --- where things are, in the prefix (unix paths) ---

    def path(self, windows_path):
        return self.prefix.unix_path(windows_path)

    def file(self, name):
        if name.startswith("$2"):
            return os.path.join(self.system_folder(), name[2:])
        return self.path(self.folder + name)

    def system_folder(self):
        return os.path.join(self.prefix.path, "drive_c", "windows", "system32")

    def programs_folder(self):
        """The current user's Start-menu Programs folder (unix path)."""
        users = os.path.join(self.prefix.path, "drive_c", "users")
        for user in sorted(os.listdir(users)):
            programs = os.path.join(users, user, "AppData", "Roaming", "Microsoft", "Windows",
                                    "Start Menu", "Programs")
            if user != "Public" and os.path.isdir(programs):
                return programs
        raise AssertionError(f"no Programs folder under {users}")

    def shortcut(self, group, name):
        return os.path.join(self.programs_folder(), *([group] if group else []), name + ".lnk")

    def shortcuts(self):
        return [self.shortcut(group, name) for group, _, _, name in self.items]

    def group_folder(self):
        return os.path.join(self.programs_folder(), self.group)

    def component(self, name):
        return self.file(name)

    def uninstaller(self):
        return self.file(self.values["UNINSTALL NAME"])

    # --- installing ---

    def install(self, packed_uninstaller, component_library, reg_fixture="widget-studio.reg",
                register=True):
        """Installs the product afresh: anything left by an earlier run goes first."""
        self.remove_leftovers()
        self.prefix.reg_import(os.path.join(FIXTURES, "widget-studio-gone.reg"))
        if reg_fixture:
            self.prefix.reg_import(os.path.join(FIXTURES, reg_fixture))
        for name in self.files:
            target = self.file(name)
            os.makedirs(os.path.dirname(target), exist_ok=True)
            if name == self.values.get("UNINSTALL NAME"):
                shutil.copyfile(packed_uninstaller, target)
            else:
                with open(target, "w") as f:
                    f.write(f"{self.name}: {name}\n")
        for group, target, arguments, name in self.items:
            path = self.shortcut(group, name)
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, "w") as f:  # what the uninstaller needs of a shortcut: its file
                f.write(f"[Shortcut]\nTarget={self.folder}{target}\nArguments={arguments}\n")
        for name in self.components:
            target = self.component(name)
            shutil.copyfile(component_library, target)
            if register:
                self.register(target)

    def register(self, library):
        """regsvr32 calls the library's DllRegisterServer. Only its exit is awaited:
        Wine's output pipes stay open as long as the wineserver runs."""
        try:
            code = subprocess.run(["wine", "regsvr32", "/s", self.prefix.windows_path(library)],
                                  env=self.prefix.env(), stdin=subprocess.DEVNULL,
                                  stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                  timeout=60).returncode
        except subprocess.TimeoutExpired:
            self.prefix.kill()
            raise AssertionError(f"regsvr32 {library} took more than 60 s; Wine killed")
        if code != 0:
            raise AssertionError(f"regsvr32 {library} exited {code}")

    def remove_leftovers(self):
        top = self.path(PROGRAM_FILES + self.values.get("INSTALL DIR", "").split("\\")[0])
        if self.values.get("INSTALL DIR"):
            shutil.rmtree(top, ignore_errors=True)
        if self.group:
            shutil.rmtree(self.group_folder(), ignore_errors=True)
        for name in self.components:
            for suffix in ("", ".calls", ".fail"):
                try:
                    os.remove(self.component(name) + suffix)
                except FileNotFoundError:
                    pass

    # --- what is there ---

    def component_calls(self, name):
        try:
            with open(self.component(name) + ".calls") as f:
                return f.read().split()
        except FileNotFoundError:
            return []

    def remaining(self):
        """Every path of the product still on the drive, relative to drive C."""
        drive = os.path.join(self.prefix.path, "drive_c")
        found = []
        top = self.path(PROGRAM_FILES + self.values.get("INSTALL DIR", "").split("\\")[0])
        roots = [top] + ([self.group_folder()] if self.group else [])
        for root in roots:
            for folder, dirs, files in os.walk(root):
                found.append(os.path.relpath(folder, drive))
                found += [os.path.relpath(os.path.join(folder, f), drive) for f in files]
        for name in self.components:
            if os.path.exists(self.component(name)):
                found.append(os.path.relpath(self.component(name), drive))
        return sorted(found)

    def entry_key(self):
        return UNINSTALL_ENTRY + self.name
