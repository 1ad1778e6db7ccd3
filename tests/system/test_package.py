"""The package on the bench rig, with nothing but the setup program: silent
installs into folders with spaces in their names, the installed player on
the rig's serial line, silent uninstalls; an install beside the board
vendor's RtdSdk.dll; the zip against the full install."""
import os
import shutil
import unittest
import zipfile

from controller import ACK, CHPENQ, COMPLETION, ENTER, SEARCH, SETCHPMODE
from player import STARTED, PlayerTest, read_file, write_chapters, write_file
from rig import wait_until, windows_path

# The package that the dist target built (CTest names it).
DIST = os.environ["HRX_DIST"]
VERSION = os.environ["HRX_VERSION"]
SETUP = os.path.join(DIST, "hrx-%s-setup.exe" % VERSION)
ZIP = os.path.join(DIST, "hrx-%s-win32.zip" % VERSION)

FOLDER = "C:\\Program Files\\hrx bench test"
UNINSTALL_KEY = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\hrx"
PROGRAMS = "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs"
MENU = PROGRAMS + "\\Halcyra.hrx"
SHORTCUTS = {"player": MENU + "\\Halcyra.hrx.lnk", "help": MENU + "\\Halcyra.hrx Help.lnk",
             "console": MENU + "\\Controller console (ldpctl).lnk",
             "startup": PROGRAMS + "\\StartUp\\Halcyra.hrx.lnk"}
LOG_FOLDER = "C:\\ProgramData\\hrx"
UNINSTALLER = "uninstall.exe"
OUR_BINARIES = {"hrx.exe": "Virtual laserdisc player", "ldpctl.exe": "Show controller console",
                "KSmpeg.dll": "Driver library for VideoQuest boards",
                "OSmpeg.dll": "Driver library for VideoPlex boards",
                "SWmpeg.dll": "Screen boards: MPEG boards shown in windows",
                "RtdSdk.dll": "Bench decoder: simulated MPEG decoder boards"}
SUPPORTED_OS = ["{e2011457-1546-43c5-a5fe-008deee3d3f0}", "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",
                "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}", "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",
                "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"]
ALL_COMPONENTS = "/COMPONENTS=drivers,screen,console,bench,startup"


def built_files():
    """{path in the install folder: its bytes} of a full install, taken from
    the build's own outputs."""
    bin_dir = os.environ["HRX_BIN"]
    build = os.path.dirname(bin_dir)
    names = ["hrx.exe", "ldpctl.exe", "KSmpeg.dll", "OSmpeg.dll", "SWmpeg.dll", "RtdSdk.dll", "SWmpeg.ini"]
    names += [n for n in os.listdir(bin_dir) if n.startswith(("avcodec-", "avformat-", "avutil-", "swresample-",
                                                                 "swscale-"))]
    files = {n: read_file(os.path.join(bin_dir, n)) for n in names}
    for page in os.listdir(os.path.join(bin_dir, "html", "hrx")):
        files["html\\hrx\\" + page] = read_file(os.path.join(bin_dir, "html", "hrx", page))
    files["Stills\\Opening.bmp"] = read_file(os.path.join(build, "ui", "splash.bmp"))
    files["Stills\\Closing.bmp"] = read_file(os.path.join(build, "ui", "closing.bmp"))
    return files


class Package(PlayerTest):
    def setUp(self):
        super().setUp()
        self.rig = self.player.rig
        self.folder = FOLDER
        for path in [self.folder, MENU, SHORTCUTS["startup"], LOG_FOLDER]:
            self.remove(path)
        self.player.tool(["reg-delete-key", UNINSTALL_KEY])

    # -- the machine ----------------------------------------------------------
    def unix(self, windows):
        """The Linux path of a path on the prefix's C: drive."""
        return os.path.join(self.rig.prefix, "drive_c", *windows[3:].split("\\"))

    def remove(self, windows):
        path = self.unix(windows)
        if os.path.isdir(path):
            shutil.rmtree(path)
        elif os.path.lexists(path):
            os.unlink(path)

    def installed(self):
        """{path in the install folder: bytes} of every file there."""
        top = self.unix(self.folder)
        files = {}
        for directory, _, names in os.walk(top):
            for name in names:
                path = os.path.join(directory, name)
                files[os.path.relpath(path, top).replace("/", "\\")] = read_file(path)
        return files

    def run_setup(self, *switches):
        """Runs the setup program silently into the test's folder; returns its
        exit code.  The folder follows /D= unquoted, as on a Windows command
        line: split at its spaces, Wine passes it on as typed."""
        args = [windows_path(SETUP), "/S"] + list(switches) + ("/D=" + self.folder).split(" ")
        code, _ = self.rig.wine(args, extra_env={"WINEDLLOVERRIDES": "winemenubuilder.exe=d"}, timeout=120)
        return code

    def uninstall(self):
        """Runs the uninstaller silently; it copies itself away and works on
        (with _?= naming the folder) after its first process has ended."""
        code, _ = self.rig.wine([self.folder + "\\" + UNINSTALLER, "/S"])
        self.assertEqual(code, 0)
        self.assertTrue(wait_until(lambda: not self.rig.programs("_?="), 60), "the uninstaller never ended")

    def registry(self, key):
        """{name: text or number} of a key; None when it does not exist."""
        code, out = self.player.tool(["reg-dump", key], check=False)
        if code == 2:
            return None
        values = {}
        for row in out.splitlines():
            parts = row.split("\t")
            if len(parts) == 3:
                data = bytes.fromhex(parts[2])
                values[parts[0]] = (int.from_bytes(data, "little") if parts[1] == "dword"
                                    else data.rstrip(b"\0").decode("latin-1"))
        return values

    def shortcut(self, path):
        """(target, arguments, working folder) of a shell link; None when there
        is none."""
        if not os.path.exists(self.unix(path)):
            return None
        return tuple(self.player.ask(["shortcut", path])[0][:3])

    # -- checks ---------------------------------------------------------------
    def check_files(self, expected):
        installed = self.installed()
        self.assertEqual(sorted(installed), sorted(list(expected) + [UNINSTALLER]))
        for name, data in expected.items():
            self.assertEqual(installed[name], data, name)

    def check_versions(self):
        """Our binaries carry the project's version, the product's names and
        their own; FFmpeg's keep theirs; both programs have the manifest."""
        commands = [["file-version", self.folder + "\\" + name] for name in sorted(OUR_BINARIES)]
        commands.append(["file-version", self.folder + "\\" + next(n for n in self.installed()
                                                                   if n.startswith("avcodec-"))])
        commands += [["manifest", self.folder + "\\" + name] for name in ("hrx.exe", "ldpctl.exe")]
        answers = self.player.ask(*commands)
        for name, answer in zip(sorted(OUR_BINARIES), answers):
            four = VERSION + ".0"
            self.assertEqual(dict(row.split("\t") for row in answer if row), {
                "version": four + " " + four, "CompanyName": "Calloway Software",
                "FileDescription": OUR_BINARIES[name], "FileVersion": VERSION, "InternalName": name[:-4],
                "LegalCopyright": "Copyright (C) 2026 Calloway Software", "OriginalFilename": name,
                "ProductName": "Halcyra.hrx", "ProductVersion": VERSION}, name)
        self.assertIn("CompanyName\tFFmpeg Project", answers[len(OUR_BINARIES)])
        for manifest in answers[-2:]:
            text = "\n".join(manifest)
            self.assertIn('<requestedExecutionLevel level="asInvoker" uiAccess="false"/>', text)
            for os_id in SUPPORTED_OS:
                self.assertIn('<supportedOS Id="%s"/>' % os_id, text)
            self.assertNotIn("Common-Controls", text)

    def check_registration(self):
        self.assertEqual({k: v for k, v in self.registry(UNINSTALL_KEY).items() if k != "EstimatedSize"}, {
            "DisplayName": "Halcyra.hrx", "DisplayVersion": VERSION, "Publisher": "Calloway Software",
            "DisplayIcon": self.folder + "\\hrx.exe", "InstallLocation": self.folder,
            "UninstallString": '"%s\\uninstall.exe"' % self.folder,
            "QuietUninstallString": '"%s\\uninstall.exe" /S' % self.folder,
            "NoModify": 1, "NoRepair": 1, "BenchDecoder": 1})

    def check_gone(self, files, kept=()):
        """Every installed file, shortcut and the registration are gone;
        the install folder only stays for the files kept."""
        for name in set(files) - set(kept):
            self.assertFalse(os.path.exists(os.path.join(self.unix(self.folder), *name.split("\\"))), name)
        self.assertEqual(os.path.exists(self.unix(self.folder)), bool(kept))
        self.assertEqual(sorted(self.installed()) if kept else [], sorted(kept))
        self.assertEqual([self.shortcut(path) for path in SHORTCUTS.values()], [None] * len(SHORTCUTS))
        self.assertFalse(os.path.exists(self.unix(MENU)))
        self.assertIsNone(self.registry(UNINSTALL_KEY))

    # -- the tests --------------------------------------------------------------
    def test_full_install_plays_on_the_line_and_uninstalls(self):
        full = built_files()
        self.assertEqual(self.run_setup(ALL_COMPONENTS), 0)
        self.check_files(full)
        with zipfile.ZipFile(ZIP) as archive:
            top = "hrx-%s/" % VERSION
            self.assertEqual(sorted(archive.namelist()), sorted(top + n.replace("\\", "/") for n in full))
            for name, data in full.items():
                self.assertEqual(archive.read(top + name.replace("\\", "/")), data, name)
        self.check_versions()
        self.check_registration()
        player = self.folder + "\\hrx.exe"
        self.assertEqual({name: self.shortcut(path) for name, path in SHORTCUTS.items()}, {
            "player": (player, "", self.folder), "startup": (player, "", self.folder),
            "help": (self.folder + "\\html\\hrx\\Home_page.htm", "", self.folder),
            "console": ("C:\\windows\\system32\\cmd.exe", "/k ldpctl.exe -h", self.folder)})
        log = LOG_FOLDER + "\\Trace.txt"
        self.assertEqual(self.player.registry_text("Control"), {"StartUpImage": self.folder + "\\Stills\\Opening.bmp",
                                                                 "CloseDnImage": self.folder + "\\Stills\\Closing.bmp"})
        self.assertEqual(self.player.registry_text("Debug"), {"TraceFile": log})

        # The installed player, started as its shortcut starts it, plays the
        # show on COM2 with the bench decoder it came with.
        movie = os.path.join(self.player.work, "Movie")
        write_chapters(movie, [5, 5])
        self.player.set_settings({".hrx\\ComID": "2", ".hrx\\DefaultMPEG": windows_path(movie) + "\\*.mpg"})
        p = self.start_acknowledged(program=player, cwd=self.unix(self.folder))
        p.line.write(SETCHPMODE + SEARCH + b"1" + ENTER)
        self.assertEqual(p.line.read(5, timeout=10), ACK * 4 + COMPLETION)
        p.line.write(CHPENQ)
        self.assertEqual(p.line.read(2, timeout=5), b"01")
        p.wait_trace(STARTED, path=self.unix(log))
        # A setup started while the player runs ends at once.
        self.assertEqual(self.run_setup(ALL_COMPONENTS), 2)
        self.assertEqual(p.close(), 0)
        settings = {sub: self.player.registry_text(sub) for sub in ("Control", "Debug", ".hrx")}

        self.uninstall()
        self.check_gone(full)
        self.assertEqual({sub: self.player.registry_text(sub) for sub in settings}, settings)
        self.assertIn(STARTED, p.trace(self.unix(log)))

    def test_vendor_decoder_and_own_settings_stay(self):
        vendor = b"the board vendor's decoder"
        write_file(os.path.join(self.unix(self.folder), "RtdSdk.dll"), vendor)
        write_file(os.path.join(self.unix(self.folder), "Media", "Show.mpg"), b"media")
        self.player.set_settings({"Control\\StartUpImage": "D:\\Stills\\Own.bmp", "Debug\\TraceFile": "E:\\Log.txt"})
        usual = {name: data for name, data in built_files().items() if name != "RtdSdk.dll"}
        usual.update({"RtdSdk.dll": vendor, "Media\\Show.mpg": b"media"})

        # The usual components: no bench decoder, no start with Windows.
        self.assertEqual(self.run_setup(), 0)
        self.check_files(usual)
        self.assertIsNone(self.shortcut(SHORTCUTS["startup"]))
        self.assertIsNotNone(self.shortcut(SHORTCUTS["console"]))
        # The bench decoder asked for never replaces the vendor's.
        self.assertEqual(self.run_setup("/COMPONENTS=bench"), 0)
        self.check_files(usual)
        self.assertNotIn("BenchDecoder", self.registry(UNINSTALL_KEY))
        self.assertEqual(self.run_setup("/COMPONENTS=drivers,benches"), 2)
        self.assertEqual(self.player.registry_text("Control"), {"StartUpImage": "D:\\Stills\\Own.bmp",
                                                                 "CloseDnImage": self.folder + "\\Stills\\Closing.bmp"})
        self.assertEqual(self.player.registry_text("Debug"), {"TraceFile": "E:\\Log.txt"})

        self.uninstall()
        self.check_gone(usual, kept=["RtdSdk.dll", "Media\\Show.mpg"])
        self.assertEqual(read_file(os.path.join(self.unix(self.folder), "RtdSdk.dll")), vendor)


if __name__ == "__main__":
    unittest.main()
