"""The player's spine on the bench rig: start-up without a serial port, one
running copy (on this desktop or in another session), the menu commands,
the window's place, the screen saver, and the shut-down that saves the
settings."""
import os
import time
import unittest

from player import (IDM_ABOUT, IDM_EXIT, IDM_HELP_TOPICS, IDM_PROPERTIES, IDM_VIEW_LOG, WINDOW_CLASS,
                    WM_SYSCOMMAND, PlayerTest)
from rig import wait_until, windows_path

SC_SCREENSAVE, SC_MINIMIZE = 0xF140, 0xF020
WS_MINIMIZE = 0x20000000
HTML_OPEN_KEY = "HKLM\\SOFTWARE\\Classes\\htmlfile\\shell\\open\\command"

SHUTDOWN_TAIL = ["Free MPEG system", "Halcyra Remote Closed", "", ""]


class Spine(PlayerTest):
    def setUp(self):
        super().setUp()
        self.player.rig.remove_line(2)
        self.player.set_settings({"Debug\\TraceFile": self.player.trace_path})

    def wait_dialog(self, title, timeout=10):
        """The texts of the dialog's controls, once it has appeared."""
        command = ["texts", "#32770", title]
        if not wait_until(lambda: self.player.tool(command, check=False)[0] == 0, timeout):
            self.fail("no dialog %r appeared" % title)
        return self.player.tool(command)[1]

    def test_start_without_port_trims_traces_and_closes_cleanly(self):
        p = self.player
        old = "".join("old line %d\r\n" % i for i in range(1, 1201))
        with open(p.trace_path, "w", newline="") as f:
            f.write(old)
        self.start_traced(port_wait_ms=0)
        time.sleep(0.5)
        self.assertIsNone(p.proc.poll(), "the player keeps running without a port")
        lines = p.trace()
        self.assertEqual(lines[:1000], ["old line %d" % i for i in range(201, 1201)])
        self.assertEqual(lines[1000], "Halcyra.hrx Ver 1.25 Rev B started")
        self.assertEqual(lines[1001:], ["Initialising RS232 Port 2", "Unable To Open RS232 Port"],
                         "no boards without a port")

        self.assertEqual(p.close(), 0)
        lines = p.trace()
        self.assertEqual(lines[-4:], SHUTDOWN_TAIL)
        self.assertTrue(p.trace_raw().endswith(b"Halcyra Remote Closed\r\n\r\n\r\n"))
        control = p.registry_text("Control")
        self.assertEqual(control["ScreenX"], "0")
        self.assertEqual(control["ScreenY"], "0")
        self.assertEqual(len(control) + len(p.registry_text("Debug")) + len(p.registry_text(".hrx")), 15)

    def refuse_second_copy(self):
        """Starts hrx.exe; it must show "already running" and, once that is
        answered, end with -1."""
        p = self.player
        second = p.rig.start([os.path.join(p.rig.bin, "hrx.exe")], cwd=p.work, log_name="second.out")
        try:
            texts = self.wait_dialog("Halcyra.hrx")
            self.assertIn("Halcyra.hrx already running", texts)
            p.tool(["command", "#32770", "Halcyra.hrx", 1])
            self.assertEqual(second.wait(timeout=10), 255, "exit code -1")
        finally:
            if second.poll() is None:
                second.kill()

    def test_second_copy_is_refused_and_first_is_untouched(self):
        p = self.player
        self.start_traced()
        self.refuse_second_copy()
        self.assertIsNone(p.proc.poll())
        self.assertEqual(p.trace().count("Halcyra.hrx Ver 1.25 Rev B started"), 1)
        self.assertEqual(p.close(), 0)

    def test_copy_that_this_desktop_does_not_show_refuses_a_second_one(self):
        # A copy in another session: no window here, only its mutex in the
        # namespace that every session shares.
        _, output = self.start_helper(["hold-mutex", "Global\\Halcyra.hrx", "60000"], "mutex")
        self.wait_output(output, "holding", 20)
        self.refuse_second_copy()
        self.assertEqual(self.player.trace(), [], "the refused copy wrote nothing")

    def test_menu_commands_trace_first_and_about_writes_nothing(self):
        p = self.player
        args_log = os.path.join(p.work, "browser-args.txt")
        p.tool(["reg-set", HTML_OPEN_KEY, "", "sz", '"%s" -nohome "%%1"' % windows_path(os.path.join(p.rig.dir, "rigtool.exe"))])
        self.start_traced(extra_env={"HALCYRA_RIG_ARGS_LOG": windows_path(args_log)})

        p.menu(IDM_ABOUT)
        self.wait_dialog("About Halcyra.hrx")
        p.tool(["command", "#32770", "About Halcyra.hrx", 1])
        p.tool(["wait-gone", "#32770", 5000])

        p.menu(IDM_VIEW_LOG)
        p.wait_trace("User Cmd - View Log")
        p.tool(["wait-window", "Notepad", 10000])
        p.tool(["post", "Notepad", 0x10, 0, 0])

        p.menu(IDM_HELP_TOPICS)
        p.wait_trace("User Cmd - Help Topics")
        wait_until(lambda: os.path.exists(args_log), 10)
        with open(args_log) as f:
            args = f.read().rstrip("\n").split("\t")
        self.assertEqual(args[1:], [windows_path(p.work) + "\\html\\hrx\\Home_page.htm"])

        p.menu(IDM_PROPERTIES)
        p.wait_trace("User Cmd - Properties")
        code, _ = p.tool(["wait-window", "#32770", 2000], check=False)
        if code == 0:
            p.tool(["command", "#32770", "Properties", 2])
            p.tool(["wait-gone", "#32770", 5000])

        p.menu(IDM_EXIT)
        self.assertEqual(p.wait_exit(), 0)
        lines = p.trace()
        started = lines.index("Halcyra.hrx Ver 1.25 Rev B started")
        user = [line for line in lines[started:] if line.startswith("User Cmd")]
        self.assertEqual(user, ["User Cmd - View Log", "User Cmd - Help Topics", "User Cmd - Properties",
                                "User Cmd - Exit"])
        self.assertEqual(lines[-4:], SHUTDOWN_TAIL)

    def test_window_place_comes_from_settings_and_is_saved(self):
        p = self.player
        p.set_settings({"Control\\ScreenX": "-1", "Control\\ScreenY": "50"})
        self.start_traced()
        _, out = p.tool(["rect", WINDOW_CLASS])
        left, top, right, bottom = (int(v) for v in out.split()[:4])
        self.assertEqual((left, top, right - left), (0, 0, 320))
        self.assertEqual(p.close(), 0)

        p.set_settings({"Control\\ScreenX": "30", "Control\\ScreenY": "40"})
        self.start_traced(count=2)
        _, out = p.tool(["rect", WINDOW_CLASS])
        self.assertEqual([int(v) for v in out.split()[:2]], [30, 40])
        self.assertEqual(p.close(), 0)
        control = p.registry_text("Control")
        self.assertEqual((control["ScreenX"], control["ScreenY"]), ("30", "40"))

    def test_screen_saver_request_is_swallowed_and_other_system_commands_work(self):
        p = self.player
        self.start_traced()
        _, out = p.tool(["send", WINDOW_CLASS, WM_SYSCOMMAND, SC_SCREENSAVE | 0x3, 0])
        self.assertEqual(out.split()[0], "0")
        _, out = p.tool(["style", WINDOW_CLASS])
        self.assertFalse(int(out.split()[0], 16) & WS_MINIMIZE)
        p.tool(["send", WINDOW_CLASS, WM_SYSCOMMAND, SC_MINIMIZE, 0])
        _, out = p.tool(["style", WINDOW_CLASS])
        self.assertTrue(int(out.split()[0], 16) & WS_MINIMIZE)
        self.assertEqual(p.close(), 0)


if __name__ == "__main__":
    unittest.main()
