"""What a show PC meets that the bench does not: the player runs with
Windows' "no disk" and crash boxes off; Help Topics from a folder with
spaces; a log that another program holds for writing; shut-down while a
script's worker waits on a slow read; Windows ending the session; the calls
that only Windows acts on (sleep, the timer, the DLL search), as Wine's
relay trace shows them."""
import os
import re
import shutil
import time
import unittest

from controller import ACK, STILL
from player import IDM_HELP_TOPICS, WINDOW_CLASS, WM_CLOSE, PlayerTest, write_file
from rig import wait_until, windows_path

SEM_FAILCRITICALERRORS, SEM_NOGPFAULTERRORBOX, SEM_NOOPENFILEERRORBOX = 0x0001, 0x0002, 0x8000
WM_ENDSESSION = 0x0016
WINE_DEBUG_KEY = "HKCU\\Software\\Wine\\Debug"
RELAYED = ["SetDllDirectoryA", "CreateMutexA", "SetThreadExecutionState", "timeBeginPeriod", "timeEndPeriod",
           "LoadLibraryA"]
# "0208:Call KERNEL32.SetDllDirectoryA(00414062 \"\") ret=004015fc"
RELAY_CALL = re.compile(r'^[0-9a-f]+:Call (?:KERNEL32|winmm)\.(\w+)\((.*)\) ret=[0-9a-f]+$')
TEXT_ARGUMENT = re.compile(r'\b[0-9a-f]{8} (?=")')
HTML_OPEN_KEY = "HKLM\\SOFTWARE\\Classes\\htmlfile\\shell\\open\\command"
TRACE_LINE = re.compile(rb"^\d\d/\d\d/\d\d \d\d:\d\d:\d\d(\.\d\d\d)? - [^\r\n]*$")
STILL_LINE = "00 - LDP - STILL"
ANSWER_LIMIT_S = 0.050
POLL_S = 10


class Field(PlayerTest):
    def test_player_runs_with_the_no_disk_boxes_off(self):
        p = self.player
        p.rig.remove_line(2)
        p.set_settings({"Debug\\TraceFile": windows_path(p.trace_path)})
        self.start_traced()
        mode = int(p.ask(["error-mode", WINDOW_CLASS])[0][0], 16)
        self.assertEqual(mode, SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX)
        self.assertEqual(p.close(), 0)

    def test_help_topics_from_a_folder_with_spaces_gives_the_browser_the_whole_page_path(self):
        p = self.player
        p.rig.remove_line(2)
        browser = os.path.join(p.work, "Program Files", "Web Browser", "browser.exe")
        os.makedirs(os.path.dirname(browser))
        shutil.copy(self.rigtool(), browser)
        # 255 characters: the association fills the whole 256-byte buffer.
        association = '"%s" -nohome "%%1" ' % windows_path(browser)
        association += "x" * (255 - len(association))
        p.tool(["reg-set", HTML_OPEN_KEY, "", "sz", association])
        show = os.path.join(p.work, "Show PC", "Halcyra Player")
        os.makedirs(show)
        args_log = os.path.join(p.work, "browser-args.txt")
        p.set_settings({"Debug\\TraceFile": windows_path(p.trace_path)})
        self.start_traced(cwd=show, extra_env={"HALCYRA_RIG_ARGS_LOG": windows_path(args_log)})
        p.menu(IDM_HELP_TOPICS)
        self.assertTrue(wait_until(lambda: os.path.exists(args_log), 10), "the browser was started")
        with open(args_log) as f:
            args = f.read().rstrip("\n").split("\t")
        self.assertEqual(args[1:], [windows_path(show) + "\\html\\hrx\\Home_page.htm"])
        self.assertEqual(p.close(), 0)

    def test_a_log_held_by_another_writer_holds_no_answer_up(self):
        p = self.player
        p.set_settings({"Debug\\TraceFile": windows_path(p.trace_path), ".hrx\\ComID": "2"})
        self.start_acknowledged()
        p.wait_trace("Starting garbage collection interval at 12:00:00.00")
        holder, output = self.start_helper(["hold-file", windows_path(p.trace_path), "60000"], "hold")
        self.wait_output(output, "holding", 20)

        slowest = 0.0
        for _ in range(100):
            sent = time.monotonic()
            p.line.write(STILL)
            self.assertEqual(p.line.read(1, timeout=5), ACK)
            slowest = max(slowest, time.monotonic() - sent)
        print("slowest STILL while the log was held: %.1f ms" % (slowest * 1000), flush=True)
        self.assertLess(slowest, ANSWER_LIMIT_S)
        # The last STILL's line follows its answer and gives up 20 ms later.
        time.sleep(0.2)
        self.assertEqual(p.trace().count(STILL_LINE), 0, "the holder kept every line out")

        holder.kill()
        holder.wait()
        for _ in range(10):
            p.line.write(STILL)
            self.assertEqual(p.line.read(1, timeout=5), ACK)
        self.assertEqual(p.close(), 0)
        raw = p.trace_raw()
        self.assertTrue(raw.endswith(b"\r\n\r\n\r\n"))
        for line in raw[:-6].split(b"\r\n"):
            self.assertRegex(line, TRACE_LINE, "a whole trace line")
        self.assertEqual(p.trace().count(STILL_LINE), 10, "the lines after the holder let go")

    def test_shut_down_cancels_a_running_script_and_waits_for_its_worker(self):
        p = self.player
        p.rig.remove_line(2)
        destination = os.path.join(p.work, "Movie")
        os.makedirs(destination)
        cd = p.rig.drive_dir("e")
        shutil.rmtree(cd, ignore_errors=True)
        # The source answers its first read only three seconds after the
        # copy has begun, as a CD that retries a sector.
        write_file(os.path.join(cd, "Halcyra.inf"),
                   b"COPY \\\\.\\pipe\\hrx-slow-cd " + windows_path(destination).encode() + b"\\\r\nEJECT\r\n")
        _, output = self.start_helper(["pipe-serve", "hrx-slow-cd", "3000"], "pipe")
        open(p.rig.mci_log, "w").close()
        p.set_settings({"Debug\\TraceFile": windows_path(p.trace_path)})
        self.start_traced()
        p.rig.map_drive("e")
        self.addCleanup(p.rig.unmap_drive, "e")
        self.wait_output(output, "connected", POLL_S + 15)
        self.assertTrue(wait_until(lambda: os.listdir(destination), 10), "the copy's temporary file")

        p.post(WM_CLOSE)
        self.assertEqual(p.wait_exit(timeout=30), 0)
        self.assertEqual(os.listdir(destination), [], "no temporary copy is left behind")
        lines = p.trace_raw().decode("latin-1").split("\r\n")
        completed = [i for i, line in enumerate(lines) if line.endswith(" - AutoScript completed")]
        freed = [i for i, line in enumerate(lines) if line.endswith(" - Free MPEG system")]
        self.assertEqual(len(completed), 1, lines)
        self.assertLess(completed[0], freed[0], "the worker ended before the boards were freed")
        self.assertEqual(p.trace()[-3:], ["Halcyra Remote Closed", "", ""])
        self.assertEqual(p.rig.mci_requests(), [], "the cancelled script ran no further")

    def test_windows_ending_the_session_runs_the_whole_shut_down(self):
        p = self.player
        p.set_settings({"Debug\\TraceFile": windows_path(p.trace_path), ".hrx\\ComID": "2"})
        self.start_acknowledged()
        # A shut-down that another program refused goes on with the show.
        p.tool(["send", WINDOW_CLASS, WM_ENDSESSION, 0, 0])
        p.line.write(STILL)
        self.assertEqual(p.line.read(1, timeout=5), ACK)

        p.tool(["send", WINDOW_CLASS, WM_ENDSESSION, 1, 0])
        self.assertEqual(p.proc.wait(timeout=30), 0)
        self.assertEqual(p.line.dtr(), 0, "the port closed with DTR lowered")
        p.wait_exit()
        lines = p.trace()
        closing = "C:\\Program File\\Calloway Software\\Halcyra\\Stills\\Calloway.ybr"
        self.assertEqual(lines[lines.index("Closing RS232 Port"):], [
            "Closing RS232 Port",
            "00 - Displaying closing image <%s>" % closing, "Free MPEG Board 0",
            "01 - Displaying closing image <%s>" % closing, "Free MPEG Board 1",
            "Free MPEG system", "Halcyra Remote Closed", "", ""])
        control = p.registry_text("Control")
        self.assertEqual((control["BoardType"], control["ScreenX"], control["ScreenY"]), ("3", "0", "0"),
                         "the settings saved")

    def test_calls_only_windows_acts_on_are_made_with_their_flags(self):
        p = self.player
        p.tool(["reg-set", WINE_DEBUG_KEY, "RelayInclude", "sz", ";".join(RELAYED)])
        self.addCleanup(p.tool, ["reg-delete-key", WINE_DEBUG_KEY])
        p.set_settings({"Debug\\TraceFile": windows_path(p.trace_path), ".hrx\\ComID": "2"})
        self.start_acknowledged(extra_env={"WINEDEBUG": "+relay"})
        self.assertEqual(p.close(), 0)
        with open(p.output_path, "rb") as f:
            f.seek(p.output_offset)
            relay = f.read().decode("latin-1").splitlines()
        calls = [m.group(1) + "(" + TEXT_ARGUMENT.sub("", m.group(2)) + ")"
                 for m in map(RELAY_CALL.match, relay) if m]
        self.assertEqual(calls, [
            'SetDllDirectoryA("")',                                 # before any library is loaded
            'CreateMutexA(00000000,00000000,"Global\\\\Halcyra.hrx")',
            'SetThreadExecutionState(80000003)',                    # continuous, system and display
            'timeBeginPeriod(00000001)',
            'LoadLibraryA("KSmpeg")',
            'timeEndPeriod(00000001)',
            'SetThreadExecutionState(80000000)',                    # continuous alone: released
        ])


if __name__ == "__main__":
    unittest.main()
