"""Authenticode signing with a throwaway CA and code-signing certificate made
here by openssl: -DVARNEL_SIGN_PKCS12 signs the demo application as the build
links it; the installer and the UI library of this build sign the same way;
a wrong password or an expired certificate fails and leaves no binary.
A signed stub loses its signature when packed, and the packed installer
signs and verifies.
usage: signing_test.py SOURCE_DIR SCRATCH_DIR EPOCH VarnelSetup.exe XCGUI.dll
environment: VARNEL_TOOLCHAIN, VARNEL_OBJCOPY (the build's; i686 when unset),
VARNEL_PACK, VARNEL_STUB, VARNEL_PAYLOAD (varnel-pack, the stub and the payload archive)"""
import os
import shutil
import subprocess
import sys
import unittest

SOURCE, SCRATCH, EPOCH, INSTALLER, LIBRARY = sys.argv[1:6]
del sys.argv[1:6]
BUILD = os.path.join(SCRATCH, "build")
APP = os.path.join(BUILD, "payload", "varnel.exe")
TOOLCHAIN = os.environ.get("VARNEL_TOOLCHAIN") or os.path.join(SOURCE, "cmake", "mingw-i686.cmake")
OBJCOPY = os.environ.get("VARNEL_OBJCOPY") or "i686-w64-mingw32-objcopy"


def run(*args, **kw):
    return subprocess.run(args, capture_output=True, text=True, cwd=SCRATCH, **kw)


def certificate(name, days):
    run("openssl", "req", "-newkey", "rsa:2048", "-nodes", "-keyout", name + ".key", "-out", name + ".csr",
        "-subj", "/CN=Varnel Test Publisher")
    run("openssl", "x509", "-req", "-in", name + ".csr", "-CA", "ca.pem", "-CAkey", "ca.key", "-CAcreateserial",
        "-out", name + ".pem", "-days", str(days), "-extfile", "ext")
    run("openssl", "pkcs12", "-export", "-inkey", name + ".key", "-in", name + ".pem", "-out", name + ".p12",
        "-passout", "env:VARNEL_SIGN_PASSWORD", env=dict(os.environ, VARNEL_SIGN_PASSWORD="geheim 密码"))
    return os.path.join(SCRATCH, name + ".p12")


def build_app(p12, password):
    env = dict(os.environ, VARNEL_SIGN_PASSWORD=password)
    configured = run("cmake", "-S", SOURCE, "-B", BUILD, "-G", "Ninja", "-DCMAKE_BUILD_TYPE=Release",
                     "-DCMAKE_TOOLCHAIN_FILE=" + TOOLCHAIN,
                     "-DVARNEL_SIGN_PKCS12=" + p12)
    if configured.returncode != 0:
        return configured.returncode, " ".join((configured.stdout + configured.stderr).split())
    if os.path.exists(APP):
        os.remove(APP)  # links again, as a clean build would
    built = run("cmake", "--build", BUILD, "--target", "varnel", "--", "-j1", env=env)
    return built.returncode, " ".join((built.stdout + built.stderr).split())  # CMake wraps its messages


def verify(path):
    return run("osslsigncode", "verify", "-CAfile", "ca.pem", "-in", path)


class Signing(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        shutil.rmtree(SCRATCH, ignore_errors=True)
        os.makedirs(SCRATCH)
        run("openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", "ca.key", "-out", "ca.pem",
            "-days", "2", "-subj", "/CN=Throwaway Test CA", "-addext", "basicConstraints=critical,CA:TRUE",
            "-addext", "keyUsage=critical,keyCertSign")
        with open(os.path.join(SCRATCH, "ext"), "w") as f:
            f.write("extendedKeyUsage=codeSigning\nkeyUsage=critical,digitalSignature\n")
        cls.good = certificate("good", 1)
        cls.expired = certificate("expired", -1)

    def sign(self, path, mode):
        signed = run("cmake", "-DFILE=" + path, "-DOBJCOPY=" + OBJCOPY, "-DEPOCH=" + EPOCH, mode,
                     "-DSIGN_PKCS12=" + self.good, "-P", os.path.join(SOURCE, "cmake", "ship.cmake"),
                     env=dict(os.environ, VARNEL_SIGN_PASSWORD="geheim 密码"))
        self.assertEqual(signed.returncode, 0, signed.stderr)
        return signed

    def test_signed_builds_verify_and_faults_leave_no_binary(self):
        rc, out = build_app(self.good, "geheim 密码")
        self.assertEqual(rc, 0, out)
        self.assertEqual(verify(APP).returncode, 0, verify(APP).stdout)
        with open(os.path.join(BUILD, "CMakeCache.txt"), encoding="utf-8") as cache:
            self.assertNotIn("geheim", cache.read())

        # The installer (packed, so only signed) and the UI library as this
        # build made them, through the same step.
        for path, mode in ((INSTALLER, "-DSIGN_ONLY=ON"), (LIBRARY, "-DSIGN_ONLY=OFF")):
            copy = os.path.join(SCRATCH, os.path.basename(path))
            shutil.copy(path, copy)
            self.assertEqual(self.sign(copy, mode).returncode, 0)
            self.assertEqual(verify(copy).returncode, 0, verify(copy).stdout)

        # A signed stub: packing leaves its signature out and says so; the
        # packed installer is signed afterwards and verifies.
        stub = os.path.join(SCRATCH, "stub.exe")
        shutil.copy(os.environ["VARNEL_STUB"], stub)
        self.assertEqual(self.sign(stub, "-DSIGN_ONLY=ON").returncode, 0)
        packed = os.path.join(SCRATCH, "packed.exe")
        out = run(os.environ["VARNEL_PACK"], "--stub", stub, "--app", os.environ["VARNEL_PAYLOAD"], "--out", packed)
        self.assertEqual(out.returncode, 0, out.stderr)
        self.assertIn("signature does not cover the packed installer", out.stderr)
        self.assertNotEqual(verify(packed).returncode, 0)
        self.assertEqual(self.sign(packed, "-DSIGN_ONLY=ON").returncode, 0)
        self.assertEqual(verify(packed).returncode, 0, verify(packed).stdout)

        rc, out = build_app(self.good, "wrong")
        self.assertNotEqual(rc, 0)
        self.assertIn("wrong password in VARNEL_SIGN_PASSWORD", out)
        self.assertFalse(os.path.exists(APP))
        rc, out = build_app(self.expired, "geheim 密码")
        self.assertNotEqual(rc, 0)
        self.assertIn("has expired", out)
        self.assertFalse(os.path.exists(APP))
        rc, out = build_app(os.path.join(SCRATCH, "missing.p12"), "geheim 密码")
        self.assertIn("VARNEL_SIGN_PKCS12: no such file", out)
        self.assertFalse(os.path.exists(APP))


if __name__ == "__main__":
    unittest.main(verbosity=2)
