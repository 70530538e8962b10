"""Start-up as a user sees it: the window, the deployed UI library, the
ways the process ends."""
import filecmp
import os
import shutil
import time

from common import InstallerTest, main
from harness import count_near, near, patience, pixel
from installer import BLUE, BUILD, CLOSE, TEAL, TITLE, page

GREEN = (0x30, 0xA0, 0x40)


class StartupWindow(InstallerTest):
    def test_first_page_shows_and_close_ends_with_zero(self):
        app, win = self.start()
        self.assertEqual(page(win.tree()), 1)
        img = win.screenshot_when(lambda i: near(pixel(i, 240, 318), TEAL, 30), name="startup-page1")
        self.assertTrue(near(pixel(img, 60, 120), BLUE, 30), "header is blue")
        self.assertTrue(near(pixel(img, 240, 318), TEAL, 30), "quick install button is teal")
        # White header texts: title row, VARNEL, slogan, version.
        for box in ((10, 12, 200, 28), (100, 55, 380, 45), (100, 105, 380, 45), (100, 155, 380, 45)):
            self.assertGreater(count_near(img, box, (255, 255, 255), 20), 150, box)
        win.click_on(CLOSE)
        self.assertEqual(app.wait_exit(), 0)

    def test_a_vendor_skin_packed_by_varnel_pack_is_what_the_window_shows(self):
        # The shipped skin as a vendor's archive, with another header picture
        # and a red 快速安装 button.
        import io
        import subprocess
        import zipfile
        from PIL import Image
        work = os.path.join(BUILD, "wt", "skin")
        shutil.rmtree(work, ignore_errors=True)
        os.makedirs(work)
        header = io.BytesIO()
        Image.new("RGB", (582, 280), GREEN).save(header, "PNG")
        skin = os.path.join(work, "皮肤.zip")
        with zipfile.ZipFile(os.path.join(BUILD, "ui_package.zip")) as shipped, zipfile.ZipFile(skin, "w") as vendor:
            for info in shipped.infolist():
                data = shipped.read(info)
                name = info.filename if info.flag_bits & 0x800 else info.filename.encode("cp437").decode("gbk")
                if name == "img\\背景图（大）.png":
                    data = header.getvalue()
                elif name == "resource.res":
                    data = data.replace(b"22(-4664032)", b"22(-13618976)")  # ABGR FF3030E0
                vendor.writestr(info, data)
        packed = os.path.join(work, "setup", "VarnelSetup.exe")
        os.makedirs(os.path.dirname(packed))
        run = subprocess.run([os.path.join(BUILD, "host", "varnel-pack"), "--stub",
                              os.path.join(BUILD, "bin", "VarnelSetup-stub.exe"), "--app",
                              os.path.join(BUILD, "payload.zip"), "--skin", skin, "--out", packed],
                             capture_output=True, text=True)
        self.assertEqual(run.returncode, 0, run.stderr)
        app, win = self.start("skinned", packed)
        img = win.screenshot_when(lambda i: near(pixel(i, 60, 120), GREEN, 30), name="startup-vendor-skin")
        self.assertTrue(near(pixel(img, 60, 120), GREEN, 30), "the vendor's header picture")
        self.assertTrue(near(pixel(img, 240, 318), (0xE0, 0x30, 0x30), 30), "the vendor's button colour")
        win.click_on(CLOSE)
        self.assertEqual(app.wait_exit(), 0)

    def test_ui_library_is_deployed_once_and_never_rewritten(self):
        app, win = self.start("deploy")
        folder = os.path.dirname(app.exe)
        deployed = os.path.join(folder, "XCGUI.dll")
        self.assertTrue(filecmp.cmp(deployed, os.path.join(BUILD, "bin", "XCGUI.dll"), shallow=False))
        win.click_on(CLOSE)
        self.assertEqual(app.wait_exit(), 0)
        os.utime(deployed, (1600000000, 1600000000))
        again = self._restart(app)
        again_win = self.read(again.wait_window(TITLE, timeout=40, settle=0))
        self.assertEqual(os.stat(deployed).st_mtime, 1600000000)
        again_win.click_on(CLOSE)
        self.assertEqual(again.wait_exit(), 0)

    def test_a_foreign_ui_library_is_replaced_before_use(self):
        app = self._prepared("foreign")
        with open(os.path.join(os.path.dirname(app.exe), "XCGUI.dll"), "wb") as f:
            f.write(b"MZ not our library")
        app.start()
        win = self.read(app.wait_window(TITLE, timeout=40, settle=0))
        self.assertTrue(filecmp.cmp(os.path.join(os.path.dirname(app.exe), "XCGUI.dll"),
                                    os.path.join(BUILD, "bin", "XCGUI.dll"), shallow=False))
        win.click_on(CLOSE)
        self.assertEqual(app.wait_exit(), 0)

    def test_a_folder_named_like_the_library_ends_with_the_error_box(self):
        app = self._prepared("folder")
        os.makedirs(os.path.join(os.path.dirname(app.exe), "XCGUI.dll"))
        app.start()
        box = app.wait_window("错误", timeout=40)
        box.screenshot("startup-error-box")
        self.answer(app, "错误", "Return")
        self.assertEqual(app.wait_exit(), -1)

    def test_a_program_path_past_260_bytes_never_touches_the_drive_root(self):
        # The installer ends in the runtime error box or runs from its real
        # folder; the library is never written or loaded at the root.
        from harness import Program
        from installer import unix_path
        deep = os.path.join(BUILD, "wt", "deep", *(["深层文件夹" + "d" * 40] * 5))
        shutil.rmtree(os.path.join(BUILD, "wt", "deep"), ignore_errors=True)
        os.makedirs(deep)
        shutil.copy(os.path.join(BUILD, "bin", "VarnelSetup.exe"), deep)
        self.assertGreater(len(("D:\\" + os.path.relpath(deep, BUILD)).encode("gbk")), 260)
        roots = [unix_path("D:\\XCGUI.dll"), unix_path("C:\\XCGUI.dll")]
        app = Program(os.path.join(deep, "VarnelSetup.exe"), name="deep-path")
        self.apps.append(app)
        app.start()
        from harness import top_windows
        titles = set()
        end = time.time() + patience(40)
        while time.time() < end and not titles & {"Varnel安装", "错误"} and app.proc.poll() is None:
            time.sleep(0.3)
            titles = {name for _, name in top_windows()}
        if "错误" in titles:
            self.answer(app, "错误", "Return")
            self.assertEqual(app.wait_exit(), -1)
        else:
            win = self.read(app.wait_window(TITLE, timeout=5, settle=0))
            self.assertTrue(filecmp.cmp(os.path.join(deep, "XCGUI.dll"), os.path.join(BUILD, "bin", "XCGUI.dll"),
                                        shallow=False))
            win.click_on(CLOSE)
            self.assertEqual(app.wait_exit(), 0)
        for root in roots:
            self.assertFalse(os.path.exists(root), root)
        above = os.path.dirname(deep)
        while above != BUILD:  # nor in a folder that a cut path would name
            self.assertFalse(os.path.exists(os.path.join(above, "XCGUI.dll")), above)
            above = os.path.dirname(above)
        shutil.rmtree(os.path.join(BUILD, "wt", "deep"), ignore_errors=True)

    def _prepared(self, name):
        from installer import fresh_installer
        app = fresh_installer(name)
        self.apps.append(app)
        return app

    def _restart(self, app):
        from harness import Program
        again = Program(app.exe, name=app.name + "-again")
        self.apps.append(again)
        return again.start()


if __name__ == "__main__":
    main()
