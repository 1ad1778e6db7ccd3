"""Bench rig: a directory mapped as a drive letter stands for a CD that
appears and disappears."""
import os
import unittest

from rig import Rig


class DriveLetters(unittest.TestCase):
    def exists(self, rig, path):
        """What rigtool's exists prints for the path: 1 or 0."""
        code, out = rig.wine([os.path.join(rig.dir, "rigtool.exe"), "exists", path])
        self.assertEqual(code, 0, out)
        return out.split()[0]

    def test_file_in_mapped_directory_is_seen_until_unmapped(self):
        rig = Rig()
        cd = rig.drive_dir("e")
        with open(os.path.join(cd, "Halcyra.inf"), "w") as f:
            f.write("EJECT\r\n")
        rig.map_drive("e")
        self.assertEqual(self.exists(rig, "E:\\Halcyra.inf"), "1")
        rig.unmap_drive("e")
        self.assertEqual(self.exists(rig, "E:\\Halcyra.inf"), "0")


if __name__ == "__main__":
    unittest.main()
