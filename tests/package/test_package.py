"""The release zip, unsigned and signed with a throwaway certificate: checksums,
signatures, a byte-identical signed rebuild, and a report through a signed DLL."""

import hashlib
import os
import shutil
import subprocess
import sys
import tempfile
import unittest
import zipfile

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))
import installer  # noqa: E402
from test_server import TestServer  # noqa: E402

DLLS = ["Plugins/%s/Kestrel.dll" % t for t in ("x86-ansi", "x86-unicode", "amd64-unicode")]


class Package(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.work = tempfile.mkdtemp(prefix="kestrel-package-")
        openssl = lambda *args: subprocess.run(["openssl", *args], cwd=cls.work, check=True, capture_output=True)
        openssl("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", "ca.key", "-out", "ca.pem", "-days", "2",
                "-subj", "/CN=Kestrel test CA", "-addext", "basicConstraints=critical,CA:TRUE")
        openssl("req", "-newkey", "rsa:2048", "-nodes", "-keyout", "signer.key", "-out", "signer.csr",
                "-subj", "/CN=Kestrel test signer")
        with open(os.path.join(cls.work, "signer.ext"), "w") as f:
            f.write("extendedKeyUsage=codeSigning\nkeyUsage=critical,digitalSignature\n")
        openssl("x509", "-req", "-in", "signer.csr", "-CA", "ca.pem", "-CAkey", "ca.key", "-CAcreateserial",
                "-days", "2", "-extfile", "signer.ext", "-out", "signer.pem")
        with open(os.path.join(cls.work, "password"), "w") as f:
            f.write("throwaway\n")
        openssl("pkcs12", "-export", "-inkey", "signer.key", "-in", "signer.pem", "-out", "signer.p12",
                "-passout", "file:password")
        cls.unsigned, cls.said = cls.package("unsigned.zip")
        signing = {"KESTREL_SIGN_PKCS12": os.path.join(cls.work, "signer.p12"),
                   "KESTREL_SIGN_PASSWORD_FILE": os.path.join(cls.work, "password")}
        cls.signed, _ = cls.package("signed.zip", **signing)
        cls.rebuilt, _ = cls.package("rebuilt.zip", **signing)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.work, ignore_errors=True)

    @classmethod
    def package(cls, name, **signing):
        env = {k: v for k, v in os.environ.items() if not k.startswith("KESTREL_SIGN_")}
        path = os.path.join(cls.work, name)
        done = subprocess.run([os.path.join(ROOT, "scripts", "package"), "--no-build", "--output", path],
                              env=dict(env, **signing), capture_output=True, text=True, check=True)
        return zipfile.ZipFile(path), done.stderr

    def test_zips_list_their_checksums_and_only_signed_dlls_verify(self):
        self.assertEqual(self.said.count("\n"), 1)
        self.assertTrue(self.said.startswith("unsigned"), self.said)
        with open(self.signed.filename, "rb") as signed, open(self.rebuilt.filename, "rb") as rebuilt:
            self.assertEqual(signed.read(), rebuilt.read(), "a signed rebuild differs")
        for archive, signed in ((self.unsigned, False), (self.signed, True)):
            names = archive.namelist()
            self.assertEqual(names[-1], "SHA256SUMS")
            sums = [line.split("  ", 1) for line in archive.read("SHA256SUMS").decode().splitlines()]
            self.assertEqual([name for _, name in sums], names[:-1])
            for digest, name in sums:
                self.assertEqual(digest, hashlib.sha256(archive.read(name)).hexdigest(), name)
            for name in DLLS:
                with self.subTest(name, signed=signed):
                    dll = archive.extract(name, os.path.join(self.work, "signed" if signed else "unsigned"))
                    verified = subprocess.run(["osslsigncode", "verify", "-CAfile",
                                               os.path.join(self.work, "ca.pem"), "-in", dll], capture_output=True)
                    self.assertEqual(verified.returncode == 0, signed, verified.stdout + verified.stderr)
                    built = os.path.join(ROOT, "build", name.split("/")[1], "src", "plugin", "Kestrel.dll")
                    with open(built, "rb") as f:
                        self.assertEqual(f.read(), self.unsigned.read(name), "the build output was changed")

    def test_a_signed_dll_reports_from_an_installer(self):
        folder = os.path.join(self.work, "installed")
        self.signed.extractall(folder)
        installer.DIST = folder
        with TestServer() as server:
            run = installer.Steps().post(server.url("/signed"), "signed&ch&1").run()
        self.assertFalse(run.faulted, run.stderr)
        self.assertEqual(run.values, ["200"])
        self.assertEqual([r.target for r in server.requests], ["/signed"])


if __name__ == "__main__":
    unittest.main()
