"""File > Properties, driven from outside as an operator does it: lists chosen
with their change notification, edits typed into, Browse dialogs answered, OK
and Cancel pressed.  What the sheet shows, what it stores in the registry, the
restart on OK as the trace log, the serial line and the loaded libraries show
it, and a screenshot of each page."""
import os
import re
import time
import unittest

from controller import ACK, COMPLETION
from player import IDCANCEL, IDOK, PlayerTest, mkmpeg
from rig import PixelRig, artifacts_dir

CONTROL_PAGE, TRACE_PAGE, HRX_PAGE = 0, 1, 2
IDC_BOARD_TYPE, IDC_VIDEO_STANDARD, IDC_OUTPUT, IDC_SYNC = 1015, 1016, 1017, 1018
IDC_CLOSE_IMAGE, IDC_STARTUP_IMAGE, IDC_STARTUP_BROWSE, IDC_CLOSE_BROWSE = 1020, 1021, 1022, 1023
IDC_STREAM_TYPE = 1043
IDC_TRACE_FILE, IDC_TRACE_BROWSE, IDC_TRACE_SIZE = 1027, 1028, 1030
IDC_CHAPTER_FILTER, IDC_COM_PORT, IDC_PROTOCOL, IDC_CHAPTER_BROWSE = 1033, 1035, 1036, 1037
# Controls of the common file-open dialog.
FILE_NAME, FILE_TYPES, READ_ONLY_BOX = 1148, 1136, 1040
WS_VISIBLE = 0x10000000

PORT_WAIT_MS = 1500
RESTART_S = 10   # longest a restart on OK may take here, besides the port's wait
START_UP_IMAGE = "C:\\Program File\\Calloway Software\\Halcyra\\Stills\\Halcyra.ybr"
CLOSE_DOWN_IMAGE = "C:\\Program File\\Calloway Software\\Halcyra\\Stills\\Calloway.ybr"
BOARDS = 2


def assert_in_order(test, lines, expected):
    """Every expected line appears in lines, in this order (others between)."""
    at = 0
    for want in expected:
        try:
            at = lines.index(want, at) + 1
        except ValueError:
            test.fail("trace lacks %r after line %d; it holds:\n%s" % (want, at, "\n".join(lines)))


def take_down_lines(boards, close_image):
    lines = []
    for board in range(boards):
        lines += ["%02d - Displaying closing image <%s>" % (board, close_image), "Free MPEG Board %d" % board]
    return lines + ["Free MPEG system"]


def bring_up_lines(type_name, boards, open_image, chapter):
    lines = ["Initialising %s Board(s)" % type_name, "Found %d MPEG Board(s)" % boards]
    for board in range(boards):
        lines += ["Initialising MPEG Board %d" % board, "%02d - Displaying opening image <%s>" % (board, open_image)]
    lines += ["CHP 0 - %s" % chapter]
    return lines + ["%02d - Opening MPEG file %s" % (board, chapter) for board in range(boards)]


class SheetTest(PlayerTest):
    """Each test starts the player with the settings it needs."""

    close_timeout = 15

    def start(self, settings=None, port_wait_ms=0):
        """Starts the player on COM2 and waits for start-up to end with its
        acknowledgement to the controller."""
        self.player.set_settings(settings or {})
        self.player.start(com=2, port_wait_ms=port_wait_ms, extra_env={"RTDSIM_BOARDS": str(BOARDS)})
        self.player.wait_window()
        self.expect_ack(self.player.line, port_wait_ms, "at start-up")
        return self.player

    def expect_ack(self, line, port_wait_ms=0, when="after OK"):
        """The acknowledgement that ends start-up and the restart on OK."""
        self.assertEqual(line.read(1, timeout=port_wait_ms / 1000 + RESTART_S), ACK,
                         "no acknowledgement to the controller %s" % when)

    def press_ok(self, sheet):
        sheet.ok()
        self.expect_ack(self.player.line)

    def movie_file(self, name):
        path = os.path.join(self.player.rig.drive_dir("d"), "Movie", name)
        with open(path, "wb") as f:
            f.write(b"\0" * 2048)
        self.addCleanup(os.unlink, path)
        return path

    def trace_since(self, count):
        return self.player.trace()[count:]


class WhatTheSheetShows(SheetTest):
    def test_lists_are_sorted_and_show_the_stored_values(self):
        p = self.start({"Control\\BoardType": "3", "Control\\OutputStd": "RGB", "Control\\VideoMode": "NTSC_443",
                        "Control\\StreamType": "Audio", "Control\\SyncMode": "EXT"})
        sheet = p.open_properties()
        self.assertEqual(sheet.items(IDC_BOARD_TYPE), ["Screen", "VideoPlex", "VideoQuest"])
        self.assertEqual(sheet.items(IDC_VIDEO_STANDARD), ["NTSC_443", "NTSC_M", "PAL_443", "PAL_M"])
        self.assertEqual(sheet.items(IDC_STREAM_TYPE), ["Audio", "System", "Transport", "Video"])
        self.assertEqual(sheet.items(IDC_OUTPUT), ["RGB", "YUV"])
        self.assertEqual(sheet.items(IDC_SYNC), ["Ext.", "Int."])
        self.assertEqual(sheet.selection(IDC_BOARD_TYPE), (2, "VideoQuest"))
        self.assertEqual(sheet.selection(IDC_VIDEO_STANDARD), (0, "NTSC_443"))
        self.assertEqual(sheet.selection(IDC_STREAM_TYPE), (0, "Audio"))
        self.assertEqual(sheet.selection(IDC_OUTPUT), (0, "RGB"))
        self.assertTrue(sheet.enabled(IDC_OUTPUT))
        self.assertEqual(sheet.selection(IDC_SYNC), (0, "Ext."))
        self.assertEqual(sheet.text(IDC_STARTUP_IMAGE), START_UP_IMAGE)
        self.assertEqual(sheet.text(IDC_CLOSE_IMAGE), CLOSE_DOWN_IMAGE)
        sheet.show_page(TRACE_PAGE)
        self.assertEqual(sheet.text(IDC_TRACE_FILE), "Trace.txt")
        self.assertEqual(sheet.text(IDC_TRACE_SIZE), "1000")
        sheet.show_page(HRX_PAGE)
        self.assertEqual(sheet.items(IDC_COM_PORT), [str(n) for n in range(1, 257)])
        self.assertEqual(sheet.selection(IDC_COM_PORT), (1, "2"))
        self.assertEqual(sheet.text(IDC_CHAPTER_FILTER), "D:\\Movie\\*.mpg")
        self.assertEqual(sheet.items(IDC_PROTOCOL), ["Sony LDP"])
        self.assertEqual(sheet.selection(IDC_PROTOCOL), (0, "Sony LDP"))
        sheet.cancel()
        self.assertTrue(sheet.gone())

    def test_board_type_1_shows_no_type_and_browses_images_without_a_filter(self):
        p = self.start({"Control\\BoardType": "1"})
        sheet = p.open_properties()
        self.assertEqual(sheet.selection(IDC_BOARD_TYPE), (-1, ""))
        self.assertFalse(sheet.enabled(IDC_OUTPUT))
        cases = [
            (CONTROL_PAGE, IDC_STARTUP_BROWSE, "Start Up Image", []),
            (CONTROL_PAGE, IDC_CLOSE_BROWSE, "Close Down Image", []),
            (TRACE_PAGE, IDC_TRACE_BROWSE, "Trace File", ["TXT Files (*.txt)", "All Files (*.*)"]),
            (HRX_PAGE, IDC_CHAPTER_BROWSE, "Default MPEG Location",
             ["MPEG files (*.mpg,*.mpa,*.mpv)", "System files (*.mpg)", "Audio/Video files (*.mpa,*.mpv)",
              "All Files (*.*)"]),
        ]
        for page, button, title, filters in cases:
            with self.subTest(title=title):
                sheet.show_page(page)
                sheet.press(button)
                browse = p.dialog(title).wait()
                self.assertEqual(browse.items(FILE_TYPES), filters)
                self.assertEqual(int(p.ask(["ctl-style", title, READ_ONLY_BOX])[0][0], 16) & WS_VISIBLE, 0,
                                 "the read-only box shows")
                browse.press(IDCANCEL)
                self.assertTrue(browse.gone())
        # With a board type the image dialogs offer the still images.
        sheet.show_page(CONTROL_PAGE)
        sheet.select(IDC_BOARD_TYPE, "VideoQuest")
        self.assertTrue(sheet.enabled(IDC_OUTPUT))
        self.assertEqual(sheet.selection(IDC_OUTPUT), (1, "YUV"))
        sheet.press(IDC_STARTUP_BROWSE)
        browse = p.dialog("Start Up Image").wait()
        self.assertEqual(browse.items(FILE_TYPES), ["YBR Image (*.ybr)", "All Files (*.*)"])
        browse.press(IDCANCEL)
        self.assertTrue(browse.gone())
        self.assertEqual(sheet.text(IDC_STARTUP_IMAGE), START_UP_IMAGE)
        sheet.cancel()
        self.assertTrue(sheet.gone())


class WhatTheSheetStores(SheetTest):
    def test_type_switch_keeps_the_output_setting(self):
        p = self.start({"Control\\BoardType": "3", "Control\\OutputStd": "RGB"})
        count = len(p.trace())
        sheet = p.open_properties()
        sheet.select(IDC_BOARD_TYPE, "VideoPlex")
        self.assertFalse(sheet.enabled(IDC_OUTPUT))
        sheet.select(IDC_BOARD_TYPE, "VideoQuest")
        self.assertTrue(sheet.enabled(IDC_OUTPUT))
        self.assertEqual(sheet.selection(IDC_OUTPUT), (0, "RGB"))
        sheet.select(IDC_BOARD_TYPE, "VideoPlex")
        self.press_ok(sheet)
        self.assertTrue(sheet.gone())
        control = p.registry_text("Control")
        self.assertEqual(control["BoardType"], "2")
        self.assertEqual(control["OutputStd"], "RGB")
        assert_in_order(self, self.trace_since(count), ["User Cmd - Properties", "Free MPEG system",
                                                         "Initialising VideoPlex Board(s)"])

    def test_chapter_browse_stores_a_pattern_and_keeps_the_current_directory(self):
        p = self.start({".hrx\\DefaultMPEG": "C:\\*.mpv"})
        self.movie_file("intro.mpg")
        stray_trace = os.path.join(p.rig.drive_dir("d"), "Movie", "Trace.txt")
        count = len(p.trace())
        sheet = p.open_properties()
        sheet.show_page(HRX_PAGE)
        sheet.press(IDC_CHAPTER_BROWSE)
        browse = p.dialog("Default MPEG Location").wait()
        browse.set_text(FILE_NAME, "D:\\Movie\\intro.mpg")
        browse.press(IDOK)
        self.assertTrue(browse.gone())
        self.assertEqual(sheet.text(IDC_CHAPTER_FILTER), "D:\\Movie\\*.mpg")
        sheet.ok()
        # The relative trace file stays where it was: the dialog's folder
        # did not become the player's current directory.
        p.wait_trace("Free MPEG system", timeout=RESTART_S)
        self.assertFalse(os.path.exists(stray_trace))
        self.expect_ack(p.line)
        self.assertEqual(p.registry_text(".hrx")["DefaultMPEG"], "D:\\Movie\\*.mpg")
        assert_in_order(self, self.trace_since(count), ["User Cmd - Properties", "Free MPEG system",
                                                         "Initialising VideoQuest Board(s)", "CHP 0 - D:\\Movie\\intro.mpg"])

    def test_trace_lines_move_to_the_new_file_and_an_empty_size_stores_0(self):
        p = self.start()
        count = len(p.trace())
        sheet = p.open_properties()
        sheet.show_page(TRACE_PAGE)
        sheet.set_text(IDC_TRACE_SIZE, "42")
        sheet.set_text(IDC_TRACE_SIZE, "")
        sheet.set_text(IDC_TRACE_FILE, "Next.txt")
        self.press_ok(sheet)
        self.assertTrue(sheet.gone())
        next_trace = os.path.join(p.work, "Next.txt")
        debug = p.registry_text("Debug")
        self.assertEqual(debug["TraceSize"], "0")
        self.assertEqual(debug["TraceFile"], "Next.txt")
        old = self.trace_since(count)
        assert_in_order(self, old, ["User Cmd - Properties", "Free MPEG system"])
        self.assertNotIn("Initialising VideoQuest Board(s)", old)
        new = p.trace(next_trace)
        self.assertNotIn("Free MPEG system", new)
        self.assertNotIn("User Cmd - Properties", new)
        found = [line for line in new if re.fullmatch(r"Found \d+ MPEG Board\(s\)", line)]
        self.assertEqual(len(found), 1, new)

    def test_protocol_0_shows_no_selection_and_is_kept_until_sony_is_chosen(self):
        p = self.start({".hrx\\Protocol": "Halcyra"})
        sheet = p.open_properties()
        sheet.show_page(HRX_PAGE)
        self.assertEqual(sheet.selection(IDC_PROTOCOL), (-1, ""))
        self.press_ok(sheet)
        self.assertEqual(p.registry_text(".hrx")["Protocol"], "Halcyra")
        sheet = p.open_properties()
        sheet.show_page(HRX_PAGE)
        self.assertEqual(sheet.selection(IDC_PROTOCOL), (-1, ""))
        sheet.select(IDC_PROTOCOL, "Sony LDP")
        self.press_ok(sheet)
        self.assertEqual(p.registry_text(".hrx")["Protocol"], "Sony LDP")

    def test_closing_the_main_window_while_the_sheet_is_open_shuts_down_cleanly(self):
        p = self.start()
        p.open_properties()
        self.assertEqual(p.close(), 0)
        self.assertEqual(p.trace()[-3:], ["Halcyra Remote Closed", "", ""])


class RestartOnOk(SheetTest):
    """What OK restarts, as the controller, the trace and the process see it."""

    def test_ok_without_a_change_restarts_everything_saves_and_acknowledges(self):
        p = self.start(port_wait_ms=PORT_WAIT_MS)
        chapter = "D:\\Movie\\a.mpg"
        self.movie_file("a.mpg")
        self.assertIn("ksmpeg.dll", p.modules())
        count = len(p.trace())
        sheet = p.open_properties()
        started = time.monotonic()
        sheet.ok()
        self.expect_ack(p.line, PORT_WAIT_MS)
        self.assertGreaterEqual(time.monotonic() - started, PORT_WAIT_MS / 1000 - 0.05,
                                "the serial link did not wait before opening")
        self.assertEqual(p.line.read_quiet(0.5), b"")
        assert_in_order(self, self.trace_since(count),
                        ["User Cmd - Properties", "Closing RS232 Port"]
                        + take_down_lines(BOARDS, CLOSE_DOWN_IMAGE)
                        + ["Initialising RS232 Port 2"]
                        + bring_up_lines("VideoQuest", BOARDS, START_UP_IMAGE, chapter))
        self.assertIn("ksmpeg.dll", p.modules())
        saved = {sub: p.registry_text(sub) for sub in ("Control", "Debug", ".hrx")}
        self.assertEqual(sum(len(values) for values in saved.values()), 15)
        self.assertNotIn("IdleProcessing", saved["Control"])
        self.assertEqual(saved[".hrx"], {"ComID": "2", "DefaultMPEG": "D:\\Movie\\*.mpg", "Protocol": "Sony LDP"})

    def test_cancel_changes_nothing_sends_nothing_and_the_autoscript_poll_goes_on(self):
        p = self.start()
        count = len(p.trace())
        sheet = p.open_properties()
        sheet.select(IDC_BOARD_TYPE, "VideoPlex")
        sheet.show_page(TRACE_PAGE)
        sheet.set_text(IDC_TRACE_SIZE, "5")
        sheet.set_text(IDC_TRACE_FILE, "Other.txt")
        sheet.show_page(HRX_PAGE)
        sheet.select(IDC_COM_PORT, "7")
        sheet.cancel()
        self.assertTrue(sheet.gone())
        self.assertEqual(p.line.read_quiet(1.0), b"")
        self.assertEqual(self.trace_since(count), ["User Cmd - Properties"])
        self.assertEqual(p.registry("Control"), {})
        sheet = p.open_properties()
        self.assertEqual(sheet.selection(IDC_BOARD_TYPE), (2, "VideoQuest"))
        sheet.show_page(TRACE_PAGE)
        self.assertEqual(sheet.text(IDC_TRACE_SIZE), "1000")
        sheet.cancel()
        self.assertTrue(sheet.gone())
        # A CD with a script is still noticed by the poll.
        cd = p.rig.drive_dir("e")
        script = os.path.join(cd, "Halcyra.inf")
        with open(script, "wb") as f:
            f.write(b"; nothing to do\r\n")
        self.addCleanup(os.unlink, script)
        p.rig.map_drive("e")
        self.addCleanup(p.rig.unmap_drive, "e")
        p.wait_autoscript_log("AutoScript started", timeout=25)
        p.wait_autoscript_log("AutoScript completed", timeout=10)

    def test_com_port_shows_the_one_in_use_takes_a_new_one_at_once_and_keeps_it_at_the_next_start(self):
        p = self.start()
        sheet = p.open_properties()
        sheet.show_page(HRX_PAGE)
        self.assertEqual(sheet.selection(IDC_COM_PORT), (1, "2"))
        sheet.select(IDC_COM_PORT, "7")
        sheet.ok()
        p.wait_trace("Initialising RS232 Port 7", timeout=RESTART_S)
        sheet = p.open_properties()
        sheet.show_page(HRX_PAGE)
        self.assertEqual(sheet.selection(IDC_COM_PORT), (6, "7"))
        com12 = p.rig.open_line(12)
        self.addCleanup(com12.close)
        sheet.select(IDC_COM_PORT, "12")
        sheet.ok()
        self.expect_ack(com12)
        self.assertEqual(p.registry_text(".hrx")["ComID"], "12")
        self.assertEqual(p.close(), 0)
        self.assertEqual(p.registry_text(".hrx")["ComID"], "12")

        # Mend: a port above 4 is no longer cut to COM4 when the PC restarts.
        p.start(com=12, port_wait_ms=0)
        p.wait_window()
        self.expect_ack(p.line, when="at the next start")
        sheet = p.open_properties()
        sheet.show_page(HRX_PAGE)
        self.assertEqual(sheet.selection(IDC_COM_PORT), (11, "12"))
        sheet.cancel()
        self.assertTrue(sheet.gone())

    def test_board_type_3_to_2_goes_down_through_ksmpeg_and_up_through_osmpeg(self):
        p = self.start({"Control\\BoardType": "3"})
        chapter = "D:\\Movie\\a.mpg"
        self.movie_file("a.mpg")
        modules = p.modules()
        self.assertIn("ksmpeg.dll", modules)
        self.assertNotIn("osmpeg.dll", modules)
        count = len(p.trace())
        sheet = p.open_properties()
        sheet.select(IDC_BOARD_TYPE, "VideoPlex")
        self.press_ok(sheet)
        assert_in_order(self, self.trace_since(count),
                        take_down_lines(BOARDS, CLOSE_DOWN_IMAGE)
                        + bring_up_lines("VideoPlex", BOARDS, START_UP_IMAGE, chapter))
        self.assertIn("osmpeg.dll", p.modules())


    def test_ok_that_opens_a_port_missing_at_start_up_starts_the_playback_watch(self):
        p = self.player
        p.set_settings({".hrx\\ComID": "3"})
        p.rig.remove_line(3)
        p.start(extra_env={"RTDSIM_BOARDS": "1"})
        p.wait_window()
        p.wait_trace("Unable To Open RS232 Port")
        path = os.path.join(p.rig.drive_dir("d"), "Movie", "a.mpg")
        mkmpeg.write_stream(path, 25)
        self.addCleanup(os.unlink, path)
        p.line = p.rig.open_line(3)
        sheet = p.open_properties()
        self.press_ok(sheet)
        p.line.write(b"iC0@:")
        self.assertEqual(p.line.read(6, timeout=5), ACK * 4 + COMPLETION + ACK)
        # The file ends after a second; the watch opens the chapter again.
        p.wait_trace("00 - Opening MPEG file D:\\Movie\\a.mpg", count=3, timeout=10)


class PageScreenshots(SheetTest):
    """Each page on the run's X server, kept under build/artifacts."""

    def setUp(self):
        self.rig = PixelRig()
        self.assertTrue(self.rig.display, "the pixel rig is not set up (rig.py pixels-setup)")
        super().setUp()

    def test_screenshot_of_each_page(self):
        p = self.start()
        sheet = p.open_properties()
        edits = {CONTROL_PAGE: [IDC_STARTUP_IMAGE, IDC_CLOSE_IMAGE], TRACE_PAGE: [IDC_TRACE_FILE, IDC_TRACE_SIZE],
                 HRX_PAGE: [IDC_CHAPTER_FILTER]}
        for page, name in ((CONTROL_PAGE, "control"), (TRACE_PAGE, "trace"), (HRX_PAGE, "hrx")):
            with self.subTest(page=name):
                sheet.show_page(page)
                time.sleep(0.5)
                screen = self.rig.screenshot()
                (left, top, right, bottom), _ = sheet.rect()
                shot = screen.crop(left, top, right, bottom)
                shot.save_png(os.path.join(artifacts_dir(), "properties-%s.png" % name))
                self.assertEqual((shot.width, shot.height), (right - left, bottom - top))
                # The page is drawn: its edit fields show their white ground.
                for edit in edits[page]:
                    l, t, r, b = sheet.control_rect(edit)
                    inside = [screen.pixel(x, y) for x in range(l + 3, r - 3, 3) for y in range(t + 3, b - 3, 3)]
                    white = sum(1 for colour in inside if colour == (255, 255, 255))
                    self.assertGreater(white, len(inside) // 2, "edit %d is not drawn" % edit)
        sheet.cancel()
        self.assertTrue(sheet.gone())


if __name__ == "__main__":
    unittest.main()
