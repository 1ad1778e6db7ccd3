"""What a show PC meets that the bench does not: the player runs with
Windows' "no disk" boxes off."""
import unittest

from player import WINDOW_CLASS, PlayerTest
from rig import windows_path

SEM_FAILCRITICALERRORS, SEM_NOOPENFILEERRORBOX = 0x0001, 0x8000


class Field(PlayerTest):
    def test_player_runs_with_the_no_disk_boxes_off(self):
        p = self.player
        p.rig.remove_line(2)
        p.set_settings({"Debug\\TraceFile": windows_path(p.trace_path)})
        self.start_traced()
        mode = int(p.ask(["error-mode", WINDOW_CLASS])[0][0], 16)
        self.assertEqual(mode, SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX)
        self.assertEqual(p.close(), 0)


if __name__ == "__main__":
    unittest.main()
