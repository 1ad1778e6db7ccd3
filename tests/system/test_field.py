"""What a show PC meets that the bench does not: the player runs with
Windows' "no disk" boxes off; Help Topics from a folder with spaces."""
import os
import shutil
import unittest

from player import IDM_HELP_TOPICS, WINDOW_CLASS, PlayerTest
from rig import wait_until, windows_path

SEM_FAILCRITICALERRORS, SEM_NOOPENFILEERRORBOX = 0x0001, 0x8000
HTML_OPEN_KEY = "HKLM\\SOFTWARE\\Classes\\htmlfile\\shell\\open\\command"


class Field(PlayerTest):
    def rigtool(self):
        return os.path.join(self.player.rig.dir, "rigtool.exe")

    def test_player_runs_with_the_no_disk_boxes_off(self):
        p = self.player
        p.rig.remove_line(2)
        p.set_settings({"Debug\\TraceFile": windows_path(p.trace_path)})
        self.start_traced()
        mode = int(p.ask(["error-mode", WINDOW_CLASS])[0][0], 16)
        self.assertEqual(mode, SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX)
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


if __name__ == "__main__":
    unittest.main()
