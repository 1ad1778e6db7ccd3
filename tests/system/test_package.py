"""The package on the bench rig, with nothing but the setup program: silent
installs into a folder with spaces, the installed player on the serial line,
silent uninstalls, the board vendor's RtdSdk.dll, the zip."""
import os
import shutil
import unittest
import zipfile

from controller import ACK, CHPENQ, COMPLETION, ENTER, SEARCH, SETCHPMODE
from player import STARTED, PlayerTest, read_file, write_chapters, write_file
from rig import wait_until, windows_path

# The package that the dist target built (CTest names it).
VERSION = os.environ["HRX_VERSION"]
SETUP = os.path.join(os.environ["HRX_DIST"], "hrx-%s-setup.exe" % VERSION)
ZIP = os.path.join(os.environ["HRX_DIST"], "hrx-%s-win32.zip" % VERSION)
FOLDER = "C:\\Program Files\\hrx bench test"
UNINSTALL_KEY = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\hrx"
PROGRAMS = "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\"
MENU = PROGRAMS + "Halcyra.hrx"
STARTUP = PROGRAMS + "StartUp\\Halcyra.hrx.lnk"
SHORTCUTS = [MENU + "\\Halcyra.hrx.lnk", MENU + "\\Halcyra.hrx Help.lnk", MENU + "\\Controller console (ldpctl).lnk",
             STARTUP]
LOG_FOLDER = "C:\\ProgramData\\hrx"
LOG = LOG_FOLDER + "\\Trace.txt"
OURS = {"hrx.exe": "Virtual laserdisc player", "ldpctl.exe": "Show controller console",
        "KSmpeg.dll": "Driver library for VideoQuest boards", "OSmpeg.dll": "Driver library for VideoPlex boards",
        "SWmpeg.dll": "Screen boards: MPEG boards shown in windows",
        "RtdSdk.dll": "Bench decoder: simulated MPEG decoder boards"}
SUPPORTED_OS = ["e2011457-1546-43c5-a5fe-008deee3d3f0", "35138b9a-5d96-4fbd-8e2d-a2440225f93a",
                "4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38", "1f676c76-80e1-4239-95bb-83d0f6d0da78",
                "8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a"]


def built_files():
    """{path in the install folder: bytes} of a full install, from the build."""
    bin_dir = os.environ["HRX_BIN"]
    ffmpeg = ("avcodec-", "avformat-", "avutil-", "swresample-", "swscale-")
    names = list(OURS) + ["SWmpeg.ini"] + [n for n in os.listdir(bin_dir) if n.startswith(ffmpeg)]
    names += ["html\\hrx\\" + n for n in os.listdir(os.path.join(bin_dir, "html", "hrx"))]
    files = {n: read_file(os.path.join(bin_dir, *n.split("\\"))) for n in names}
    for still, picture in (("Opening", "splash"), ("Closing", "closing")):
        files["Stills\\%s.bmp" % still] = read_file(os.path.join(bin_dir, "..", "ui", picture + ".bmp"))
    return files


class Package(PlayerTest):
    def setUp(self):
        super().setUp()
        for path in [FOLDER, MENU, LOG_FOLDER]:
            shutil.rmtree(self.unix(path), ignore_errors=True)
        if os.path.lexists(self.unix(STARTUP)):
            os.unlink(self.unix(STARTUP))
        self.player.tool(["reg-delete-key", UNINSTALL_KEY])

    def unix(self, path):
        """The Linux path of a path on the prefix's C: drive."""
        self.assertRegex(path, r"^C:\\.")
        return os.path.join(self.player.rig.prefix, "drive_c", *path[3:].split("\\"))

    def installed(self):
        top = self.unix(FOLDER)
        return {os.path.relpath(os.path.join(d, n), top).replace("/", "\\"): read_file(os.path.join(d, n))
                for d, _, names in os.walk(top) for n in names}

    def setup(self, *switches):
        """Runs the setup silently; its exit code.  /D= comes last and
        unquoted, as typed on Windows: split at its spaces, Wine passes it
        on so."""
        code, _ = self.player.rig.wine([windows_path(SETUP), "/S"] + list(switches) + ("/D=" + FOLDER).split(" "),
                                       extra_env={"WINEDLLOVERRIDES": "winemenubuilder.exe=d"}, timeout=120)
        return code

    def uninstall(self):
        """The uninstaller goes on in a copy of itself (given _?=) after its
        own process has ended."""
        self.assertEqual(self.player.rig.wine([FOLDER + "\\uninstall.exe", "/S"])[0], 0)
        self.assertTrue(wait_until(lambda: not self.player.rig.programs("_?="), 60), "the uninstaller never ended")

    def registration(self):
        code, out = self.player.tool(["reg-dump", UNINSTALL_KEY], check=False)
        rows = [row.split("\t") for row in out.splitlines() if row.count("\t") == 2] if code == 0 else None
        return rows and {n: int.from_bytes(bytes.fromhex(d), "little") if t == "dword" else
                         bytes.fromhex(d).rstrip(b"\0").decode() for n, t, d in rows}

    def shortcuts(self):
        """(target, arguments, working folder) of each shortcut, None where
        there is none."""
        return [tuple(self.player.ask(["shortcut", path])[0][:3]) if os.path.exists(self.unix(path)) else None
                for path in SHORTCUTS]

    def check_files(self, expected, found, extra=("uninstall.exe",)):
        """found holds exactly the expected files, byte for byte, and the
        extra ones."""
        self.assertEqual(sorted(found), sorted(list(expected) + list(extra)))
        self.assertEqual([n for n in expected if found[n] != expected[n]], [], "files that differ")

    def check_versions(self, files):
        avcodec = next(n for n in files if n.startswith("avcodec-"))
        answers = self.player.ask(*[["file-version", FOLDER + "\\" + n] for n in list(OURS) + [avcodec]])
        four = VERSION + ".0"
        for (name, description), answer in zip(OURS.items(), answers):
            self.assertEqual(dict(row.split("\t") for row in answer if row), {
                "version": four + " " + four, "CompanyName": "Calloway Software", "FileDescription": description,
                "FileVersion": VERSION, "InternalName": name[:-4], "OriginalFilename": name,
                "LegalCopyright": "Copyright (C) 2026 Calloway Software", "ProductName": "Halcyra.hrx",
                "ProductVersion": VERSION})
        self.assertIn("CompanyName\tFFmpeg Project", answers[-1])
        for program in ("hrx.exe", "ldpctl.exe"):
            manifest = self.installed()[program]
            self.assertIn(b'<requestedExecutionLevel level="asInvoker" uiAccess="false"/>', manifest)
            self.assertEqual([os_id for os_id in SUPPORTED_OS if ('<supportedOS Id="{%s}"/>' % os_id).encode()
                              in manifest], SUPPORTED_OS)

    def test_full_install_plays_on_the_line_and_uninstalls(self):
        full = built_files()
        self.assertEqual(self.setup("/COMPONENTS=drivers,screen,console,bench,startup"), 0)
        self.check_files(full, self.installed())
        with zipfile.ZipFile(ZIP) as archive:
            self.check_files(full, {n[len("hrx-%s/" % VERSION):].replace("/", "\\"): archive.read(n)
                                    for n in archive.namelist()}, extra=())
        self.check_versions(full)
        registration = self.registration()
        self.assertGreater(registration.pop("EstimatedSize"), 1000)
        self.assertEqual(registration, {
            "DisplayName": "Halcyra.hrx", "DisplayVersion": VERSION, "Publisher": "Calloway Software",
            "DisplayIcon": FOLDER + "\\hrx.exe", "InstallLocation": FOLDER, "NoModify": 1, "NoRepair": 1,
            "UninstallString": '"%s\\uninstall.exe"' % FOLDER,
            "QuietUninstallString": '"%s\\uninstall.exe" /S' % FOLDER, "BenchDecoder": FOLDER + "\\RtdSdk.dll"})
        player = FOLDER + "\\hrx.exe"
        self.assertEqual(self.shortcuts(), [
            (player, "", FOLDER), (FOLDER + "\\html\\hrx\\Home_page.htm", "", FOLDER),
            ("C:\\windows\\system32\\cmd.exe", "/k ldpctl.exe -h", FOLDER), (player, "", FOLDER)])
        p = self.player
        self.assertEqual(p.registry_text("Control"), {"StartUpImage": FOLDER + "\\Stills\\Opening.bmp",
                                                      "CloseDnImage": FOLDER + "\\Stills\\Closing.bmp"})
        self.assertEqual(p.registry_text("Debug"), {"TraceFile": LOG})

        # Started as its shortcut starts it, on COM2, with the bench decoder it came with.
        write_chapters(os.path.join(p.work, "Movie"), [5, 5])
        p.set_settings({".hrx\\ComID": "2", ".hrx\\DefaultMPEG": windows_path(p.work) + "\\Movie\\*.mpg"})
        self.start_acknowledged(program=player, cwd=self.unix(FOLDER))
        p.line.write(SETCHPMODE + SEARCH + b"1" + ENTER + CHPENQ)
        self.assertEqual(p.line.read(7, timeout=10), ACK * 4 + COMPLETION + b"01")
        p.wait_trace(STARTED, path=self.unix(LOG))
        self.assertEqual(self.setup(), 2, "a setup while the player runs ends at once")
        self.assertEqual(p.close(), 0)
        settings = {sub: p.registry_text(sub) for sub in ("Control", "Debug", ".hrx")}

        self.uninstall()
        self.assertFalse(os.path.exists(self.unix(FOLDER)))
        self.assertEqual((self.shortcuts(), os.path.exists(self.unix(MENU)), self.registration()),
                         ([None] * 4, False, None))
        self.assertEqual({sub: p.registry_text(sub) for sub in settings}, settings)
        self.assertIn(STARTED, p.trace(self.unix(LOG)))

    def test_vendor_decoder_and_own_settings_stay(self):
        p = self.player
        own = {"RtdSdk.dll": b"the board vendor's decoder", "Media\\Show.mpg": b"media"}
        for name, data in own.items():
            write_file(os.path.join(self.unix(FOLDER), *name.split("\\")), data)
        # A player that ran from a copied folder saved the default log name,
        # which the installed player could not write beside itself.
        p.set_settings({"Control\\StartUpImage": "D:\\Own.bmp", "Debug\\TraceFile": "Trace.txt"})
        usual = dict(built_files(), **own)

        self.assertEqual(self.setup(), 0)
        self.check_files(usual, self.installed())
        self.assertEqual([s is not None for s in self.shortcuts()], [True, True, True, False])
        self.assertEqual(p.registry_text("Debug"), {"TraceFile": LOG})
        p.set_settings({"Debug\\TraceFile": "E:\\Log.txt"})
        self.assertEqual(self.setup("/COMPONENTS=bench"), 0)
        self.check_files(usual, self.installed())
        self.assertNotIn("BenchDecoder", self.registration())
        self.assertEqual(self.setup("/COMPONENTS=drivers,benches"), 2)
        self.assertEqual(p.registry_text("Control"), {"StartUpImage": "D:\\Own.bmp",
                                                      "CloseDnImage": FOLDER + "\\Stills\\Closing.bmp"})
        self.assertEqual(p.registry_text("Debug"), {"TraceFile": "E:\\Log.txt"})

        self.uninstall()
        self.assertEqual(self.installed(), own)
        self.assertEqual((self.shortcuts(), self.registration()), ([None] * 4, None))


if __name__ == "__main__":
    unittest.main()
