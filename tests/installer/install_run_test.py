"""Whole installations as a user runs them, and every way a run ends."""
import filecmp
import os
import shutil
import stat
import struct
import subprocess
import time
import zipfile

from accessible import CHECKED, ROLE_BUTTON, ROLE_CHECK, ROLE_LINK, ROLE_PROGRESS, ROLE_STATIC
from common import InstallerTest, main
from harness import Program
from shell_link import read_link
from installer import (AGREEMENT, BUILD, CLOSE, clean_state, CUSTOM_INSTALL, FAILED, INSTALL_NOW, LAUNCH, LINK, PAYLOAD,
                       QUICK_INSTALL, RECORD, SHORTCUT, TITLE, fresh_installer, installed_exactly, page, parents_of,
                       patience, replace_edit_text, status, unix_path, varnel_processes, wait_page)


def record_text():
    with open(RECORD, "rb") as f:
        return f.read().decode("gbk")


class InstallRun(InstallerTest):
    extra_folders = ("D:\\wt_record", "D:\\my_games", "C:\\varnel", "D:\\游戏")

    def test_quick_install_with_defaults_then_launch(self):
        app, win = self.start()
        win.click_on(QUICK_INSTALL)
        wait_page(win, 3, name="run-progress")
        wait_page(win, 4, timeout=30, name="run-finish")
        folder = unix_path("D:\\varnel")
        self.assertTrue(installed_exactly(folder))
        self.assertEqual(record_text(), "D:\\varnel")
        self.assertTrue(os.path.isfile(LINK))
        link = read_link(LINK)
        self.assertEqual(link.get("base_path"), "D:\\varnel\\varnel.exe")
        self.assertEqual(link.get("working_dir"), "D:\\varnel")
        self.assertEqual(link.get("description"), "Varnel")
        self.assertEqual(link["show"], 1)
        win.click_on(LAUNCH)
        self.assertEqual(app.wait_exit(), 0)
        end = time.time() + patience(15)
        while not varnel_processes() and time.time() < end:
            time.sleep(0.2)
        self.assertTrue(varnel_processes(), "varnel.exe runs after the launch button")
        # Started by the desktop shell, so as the user at the screen, not
        # with the installer's administrator token.
        self.assertEqual(parents_of("varnel.exe"), ["explorer.exe"])

    def test_a_screen_reader_reads_every_page_and_installs_with_quick_install(self):
        app, win = self.start()
        tree = win.tree()
        self.assertEqual(tree[QUICK_INSTALL].role, ROLE_BUTTON, tree)
        self.assertEqual(tree[CLOSE].role, ROLE_BUTTON)
        self.assertEqual(tree[AGREEMENT].role, ROLE_CHECK)
        self.assertTrue(tree[AGREEMENT].state & CHECKED, hex(tree[AGREEMENT].state))
        self.assertEqual(tree[CUSTOM_INSTALL].role, ROLE_LINK)
        self.assertEqual(tree["D:\\varnel"].role, ROLE_STATIC, "the proposed folder")
        self.assertNotIn(INSTALL_NOW, tree, "hidden pages are not exposed")
        self.reader.press(QUICK_INSTALL)
        tree = win.wait(lambda t: page(t) == 3 and status(t), what="the progress page and its status line")
        bars = [c.value for _, c in tree.of_role(ROLE_PROGRESS)]
        self.assertEqual(len(bars), 1, tree)
        self.assertRegex(bars[0], r"^\d+%$")
        self.assertEqual(tree[status(tree)].role, ROLE_STATIC)
        tree = wait_page(win, 4, timeout=30)
        self.assertEqual(tree[LAUNCH].role, ROLE_BUTTON, tree)
        self.assertNotIn(QUICK_INSTALL, tree)
        self.assertTrue(installed_exactly(unix_path("D:\\varnel")))

    def test_the_recorded_folder_is_proposed_next_time(self):
        app, win = self.start("record-first")
        win.click_on(CUSTOM_INSTALL)
        wait_page(win, 2)
        replace_edit_text(win, "D:\\wt_record")
        win.click_on(INSTALL_NOW)
        wait_page(win, 4, timeout=30)
        self.assertEqual(record_text(), "D:\\wt_record\\varnel")
        win.click_on(CLOSE)
        self.assertEqual(app.wait_exit(), 0)
        shutil.rmtree(unix_path("D:\\wt_record"))
        second, win = self.start("record-second")
        self.assertIn("D:\\wt_record\\varnel", win.tree(), "the proposed folder")
        win.click_on(QUICK_INSTALL)
        wait_page(win, 4, timeout=30)
        self.assertTrue(installed_exactly(unix_path("D:\\wt_record\\varnel")))
        self.assertFalse(os.path.exists(unix_path("D:\\varnel")))

    def test_underscore_passes_and_a_root_becomes_its_varnel_folder(self):
        for location, expected in (("D:\\my_games", "D:\\my_games\\varnel"), ("C:\\", "C:\\varnel")):
            app, win = self.start("place-" + expected[3:].replace("\\", "-"))
            win.click_on(CUSTOM_INSTALL)
            wait_page(win, 2)
            replace_edit_text(win, location)
            win.click_on(INSTALL_NOW)
            wait_page(win, 4, timeout=30)
            self.assertTrue(installed_exactly(unix_path(expected)), expected)
            self.assertEqual(record_text(), expected)
            win.click_on(CLOSE)
            self.assertEqual(app.wait_exit(), 0)

    def test_a_chinese_folder_name_survives_every_step(self):
        app, win = self.start()
        win.click_on(CUSTOM_INSTALL)
        wait_page(win, 2)
        replace_edit_text(win, "D:\\游戏")
        win.click_on(INSTALL_NOW)
        wait_page(win, 4, timeout=30, name="chinese-folder-finish")
        self.assertTrue(installed_exactly(unix_path("D:\\游戏\\varnel")))
        with open(RECORD, "rb") as f:
            self.assertEqual(f.read(), "D:\\游戏\\varnel".encode("gbk"))  # GBK bytes, nothing else
        self.assertEqual(read_link(LINK).get("base_path"), "D:\\游戏\\varnel\\varnel.exe")

    def test_a_vendor_folder_with_chinese_names_installs_byte_identical(self):
        # This build's installers around tests/installer's vendor folder, its
        # entries deflated and in Zstandard.
        source = os.path.join(BUILD, "tests", "installer", "vendor_app")

        def tree(root):
            found = {}
            for here, dirs, files in os.walk(root):
                rel = os.path.relpath(here, root)
                if not dirs and not files:
                    found[rel] = None
                for name in files:
                    with open(os.path.join(here, name), "rb") as f:
                        found[os.path.normpath(os.path.join(rel, name))] = f.read()
            return found

        expected = tree(source)
        for name in ("vendor", "vendor-zstd"):
            clean_state()
            folder = os.path.join(BUILD, "wt", name)
            shutil.rmtree(folder, ignore_errors=True)
            self._quick_install_from(os.path.join(BUILD, "tests", "installer", name, "VarnelSetup.exe"), folder,
                                     name + "-payload", name + "-finish")
            installed = tree(unix_path("D:\\varnel"))
            self.assertEqual(sorted(installed), sorted(expected), name)
            self.assertIn("空 文件夹/更深", installed)
            for entry, data in expected.items():
                self.assertTrue(installed[entry] == data, (name, entry))

    def test_without_the_shortcut_box_only_the_record_is_written(self):
        app, win = self.start()
        win.click_on(CUSTOM_INSTALL)
        wait_page(win, 2)
        win.click_on(SHORTCUT)
        win.wait(lambda t: not t[SHORTCUT].state & CHECKED, what="the shortcut box unticked")
        win.click_on(INSTALL_NOW)
        wait_page(win, 4, timeout=30)
        self.assertFalse(os.path.exists(LINK))
        self.assertEqual(record_text(), "D:\\varnel")

    def _start_running_copy(self):
        folder = os.path.join(BUILD, "wt", "running")
        os.makedirs(folder, exist_ok=True)
        shutil.copy(os.path.join(BUILD, "payload", "varnel.exe"), folder)
        running = Program(os.path.join(folder, "varnel.exe"), name="running-varnel")
        self.apps.append(running)
        running.start()
        running.wait_window("Varnel", timeout=30)
        self.assertTrue(varnel_processes())
        return running

    def test_a_running_copy_answered_no_stops_on_the_progress_page(self):
        running = self._start_running_copy()
        app, win = self.start()
        win.click_on(QUICK_INSTALL)
        box = app.wait_window("冲突", timeout=20, settle=0.5)
        box.screenshot("running-question")
        self.answer(app, "冲突", "n")
        time.sleep(1.5)  # past the pause after which a yes would go on
        tree = win.tree()
        win.screenshot("running-answered-no")
        self.assertEqual(page(tree), 3)
        self.assertEqual(status(tree), "创建文件夹：D:\\varnel")
        folder = unix_path("D:\\varnel")
        self.assertTrue(os.path.isdir(folder))
        self.assertEqual(os.listdir(folder), [])
        self.assertFalse(os.path.exists(RECORD))
        self.assertIsNone(running.proc.poll(), "the running copy was left alone")

    def test_a_running_copy_answered_yes_is_ended_and_the_install_goes_on(self):
        running = self._start_running_copy()
        app, win = self.start()
        win.click_on(QUICK_INSTALL)
        self.answer(app, "冲突", "Return")
        wait_page(win, 4, timeout=30)
        self.assertTrue(installed_exactly(unix_path("D:\\varnel")))
        running.proc.wait(timeout=10)
        self.assertEqual(running.proc.returncode, 0)

    def _quick_install_from(self, installer, folder, name, finish_shot):
        """Copies an installer into a new folder, starts it there and
        clicks 快速安装 through to the finish page."""
        os.makedirs(folder)
        shutil.copy(installer, folder)
        app = Program(os.path.join(folder, "VarnelSetup.exe"), name=name)
        self.apps.append(app)
        app.start()
        win = self.read(app.wait_window(TITLE, timeout=40, settle=0))
        win.click_on(QUICK_INSTALL)
        wait_page(win, 4, timeout=30, name=finish_shot)
        return app, win

    def _start_with_damaged_payload(self, name, damage):
        """Starts a copy of the installer whose payload block `damage`
        changed in place: damage(image, payload offset, payload bytes)."""
        app = fresh_installer(name)
        self.apps.append(app)
        with open(PAYLOAD, "rb") as f:
            payload = f.read()
        with open(app.exe, "rb") as f:
            image = bytearray(f.read())
        at = image.find(payload)
        self.assertGreater(at, 0)
        damage(image, at, payload)
        with open(app.exe, "wb") as f:
            f.write(image)
        app.start()
        return app, self.read(app.wait_window(TITLE, timeout=40, settle=0))

    def test_a_payload_that_cannot_be_opened_ends_on_the_progress_page(self):
        def drop_directory_end(image, at, payload):
            end = at + len(payload)
            self.assertEqual(image[end - 22:end - 18], b"PK\5\6")
            image[end - 22:end - 18] = b"XXXX"  # no end-of-central-directory record: not a ZIP any more
        app, win = self._start_with_damaged_payload("broken-payload", drop_directory_end)
        win.click_on(QUICK_INSTALL)
        tree = self._failure_told(win, "payload-failure")
        self.assertEqual(status(tree), "安装失败：打开文件包失败,请点击下方按钮，下载绿色版。")
        self.assertEqual([c.value for _, c in tree.of_role(ROLE_PROGRESS)], ["10%"], "the layout's position")
        self.assertEqual(os.listdir(unix_path("D:\\varnel")), [])
        self.assertFalse(os.path.exists(RECORD))

    # --- runs that fail on a file: the run stops at that item, on the
    # progress page, with no link and no record, and what was there stays.

    OLD_APP = b"an older varnel.exe that must survive\n" * 100

    def _old_app_in(self, folder):
        os.makedirs(folder, exist_ok=True)
        path = os.path.join(folder, "varnel.exe")
        with open(path, "wb") as f:
            f.write(self.OLD_APP)
        return path

    def _failure_told(self, win, name):
        """The tree once the status line tells of a failure; the run has
        then returned, so nothing more will be written."""
        tree = win.wait(lambda t: (status(t) or "").startswith(FAILED), 30, "the status line to tell a failure")
        win.screenshot(name)
        self.assertEqual(page(tree), 3, "the run stays on the progress page")
        return tree

    def _assert_failed_run(self, win, name, old_app, told):
        shown = status(self._failure_told(win, name))
        self.assertTrue(shown.startswith(told), shown)
        self.assertFalse(os.path.exists(LINK))
        self.assertFalse(os.path.exists(RECORD))
        with open(old_app, "rb") as f:
            self.assertEqual(f.read(), self.OLD_APP, "the earlier file is intact")
        self.assertEqual([n for n in os.listdir(os.path.dirname(old_app)) if n.endswith(".tmp")], [])

    def test_a_full_disk_ends_the_run_on_the_progress_page(self):
        folder = unix_path("D:\\varnel")
        os.makedirs(folder, exist_ok=True)
        mounted = subprocess.run(["mount", "-t", "tmpfs", "-o", "size=%d" % (len(self.OLD_APP) + 45056), "tmpfs",
                                  folder], stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
        if mounted.returncode != 0:
            self.skipTest("this machine does not permit mounting a small file system: " + mounted.stderr.strip())
        self.addCleanup(subprocess.run, ["umount", "-l", folder], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        old_app = self._old_app_in(folder)
        app, win = self.start()
        win.click_on(QUICK_INSTALL)
        self._assert_failed_run(win, "disk-full", old_app, "安装失败：磁盘空间不足，无法写入 D:\\varnel\\")
        win.click_on(CLOSE)
        self.assertEqual(app.wait_exit(), 0)

    def test_a_damaged_entry_ends_the_run_on_the_progress_page(self):
        old_app = self._old_app_in(unix_path("D:\\varnel"))
        def flip_a_byte_of_the_program(image, at, payload):
            with zipfile.ZipFile(PAYLOAD) as archive:
                entry = archive.getinfo("varnel.exe")
            local = at + entry.header_offset
            name_length, extra_length = struct.unpack_from("<HH", image, local + 26)
            image[local + 30 + name_length + extra_length + entry.compress_size // 2] ^= 0x55  # inside its data
        app, win = self._start_with_damaged_payload("damaged-entry", flip_a_byte_of_the_program)
        win.click_on(QUICK_INSTALL)
        self._assert_failed_run(win, "damaged-entry", old_app, "安装失败：安装包已损坏，请重新下载。")

    def test_a_read_only_target_ends_the_run_on_the_progress_page(self):
        old_app = self._old_app_in(unix_path("D:\\varnel"))
        os.chmod(old_app, stat.S_IRUSR | stat.S_IRGRP | stat.S_IROTH)  # Wine's read-only attribute
        self.addCleanup(os.chmod, old_app, 0o644)
        app, win = self.start()
        win.click_on(QUICK_INSTALL)
        self._assert_failed_run(win, "read-only-target", old_app, "安装失败：无法写入文件 D:\\varnel\\varnel.exe")

    def test_an_installer_started_from_its_install_folder_finishes(self):
        # Its own copy of the library is loaded from there and cannot be
        # replaced; the payload's copy is the same bytes, so it counts as done.
        folder = unix_path("D:\\varnel")
        self._quick_install_from(os.path.join(BUILD, "bin", "VarnelSetup.exe"), folder, "from-install-folder",
                                 "from-install-folder-finish")
        self.assertTrue(installed_exactly(folder))
        self.assertEqual(record_text(), "D:\\varnel")

    def test_closing_during_a_run_stops_it_and_ends_with_zero(self):
        app, win = self.start()
        close = win.element(CLOSE)
        win.click_on(QUICK_INSTALL)
        # Sent at once rather than after seeing page 3: the click queues behind
        # the one that starts the run, so the run's first one-second pause
        # takes it however slowly this machine reads or draws.
        win.click_on(close)
        self.assertEqual(app.wait_exit(), 0)
        folder = unix_path("D:\\varnel")
        self.assertTrue(os.path.isdir(folder), "the run had begun: its folder was made")
        self.assertEqual(os.listdir(folder), [])
        self.assertFalse(os.path.exists(RECORD))
        self.assertFalse(os.path.exists(LINK))

    # --- the large installer: one 300 MB item (large.pak) before varnel.exe.

    LARGE_INSTALLER = os.path.join(BUILD, "tests", "installer", "large", "VarnelSetup.exe")
    LARGE_APP = os.path.join(BUILD, "tests", "installer", "large_app")

    def _close_while_written(self, name, written):
        """Starts the large installer, clicks 快速安装 and closes the window
        as soon as written() holds; returns seconds from the close to the
        exit, which must be 0."""
        app, win = self.start(name, self.LARGE_INSTALLER)
        close = win.element(CLOSE)
        win.click_on(QUICK_INSTALL)
        end = time.time() + patience(30)
        while not written() and time.time() < end:
            time.sleep(0.02)
        self.assertTrue(written(), "the large item was not begun")
        win.click_on(close)
        closed = time.time()
        self.assertTrue(app.wait_gone(win), "the window stayed")
        self.assertEqual(app.wait_exit(timeout=60), 0)
        return time.time() - closed

    def test_closing_while_a_large_item_is_written_gives_it_up_and_a_new_run_succeeds(self):
        folder = unix_path("D:\\varnel")
        large = os.path.join(folder, "large.pak")
        os.makedirs(folder)
        with open(large, "wb") as f:
            f.write(self.OLD_APP)
        seconds = self._close_while_written("large-replacing", lambda: any(n.endswith(".tmp") for n in os.listdir(folder)))
        with open(large, "rb") as f:
            self.assertTrue(f.read() == self.OLD_APP, "the earlier copy is kept")
        self.assertEqual([n for n in os.listdir(folder) if n.endswith(".tmp")], [])
        self.assertLess(seconds, 1.0, "the process went on after the close")

        os.remove(large)
        seconds = self._close_while_written("large-new", lambda: os.path.exists(large))
        self.assertLess(seconds, 1.0, "the process went on after the close")
        self.assertEqual(os.listdir(folder), [], "no part of the item is left")
        self.assertFalse(os.path.exists(RECORD))

        # Started again at once, it installs everything.
        app, win = self.start("large-again", self.LARGE_INSTALLER)
        win.click_on(QUICK_INSTALL)
        wait_page(win, 4, timeout=120, name="large-finish")
        for name in ("large.pak", "varnel.exe"):
            self.assertTrue(filecmp.cmp(os.path.join(folder, name), os.path.join(self.LARGE_APP, name), shallow=False),
                            name)


if __name__ == "__main__":
    main()
