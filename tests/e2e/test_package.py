"""The release zip, unsigned and signed with a throwaway CA's certificate."""

import hashlib
import os
import pathlib
import re
import subprocess
import tempfile
import unittest
import zipfile

import installer
from test_server import TestServer


class Package(unittest.TestCase):
    def test_checksums_signatures_a_signed_rebuild_and_a_signed_dll_at_work(self):
        work = self.enterContext(tempfile.TemporaryDirectory(prefix="kestrel-package-"))

        def run(*args, check=True, **env):
            return subprocess.run(args, cwd=work, env={**os.environ, **env}, check=check, capture_output=True)

        req = ["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-subj"]
        run(*req, "/CN=Kestrel test CA", "-keyout", "ca.key", "-out", "ca.pem")
        run(*req, "/CN=Kestrel test signer", "-keyout", "signer.key", "-out", "signer.pem", "-CA", "ca.pem",
            "-CAkey", "ca.key", "-addext", "extendedKeyUsage=codeSigning")
        run("openssl", "pkcs12", "-export", "-inkey", "signer.key", "-in", "signer.pem", "-out", "signer.p12",
            "-passout", "pass:x")
        pathlib.Path(work, "password").write_text("x")
        package = [os.path.join(installer.ROOT, "scripts", "package"), "--no-build", "--output"]
        sign = dict(KESTREL_SIGN_PKCS12="signer.p12", KESTREL_SIGN_PASSWORD_FILE="password")
        self.assertRegex(run(*package, "unsigned.zip", **{k: "" for k in sign}).stderr, rb"^unsigned[^\n]*\n$")
        self.assertEqual(*(pathlib.Path(run(*package, name, **sign).stdout.strip().decode()).read_bytes()
                           for name in ("signed.zip", "rebuilt.zip")), "a signed rebuild differs")
        readme = zipfile.ZipFile(os.path.join(work, "unsigned.zip")).read("Docs/Kestrel/README.md").decode()
        self.assertEqual(re.findall(r"(?<![\w/.-])(?:scripts|tools|tests|bench|src|cmake|build|dist|examples|include)/"
                                    r"|<!-- /?source -->", readme), [])  # it names only what the zip holds
        names = zipfile.ZipFile(os.path.join(work, "unsigned.zip")).namelist()
        for path in set(re.findall(r"`((?:Plugins|Include|Examples|Docs)/[^`]*)`", readme)):
            self.assertTrue(any(n.startswith(path) for n in names), path)
        for name in ("unsigned", "signed"):
            archive = zipfile.ZipFile(os.path.join(work, name + ".zip"))
            self.assertEqual(archive.read("SHA256SUMS").decode().splitlines(), [
                "%s  %s" % (hashlib.sha256(archive.read(f)).hexdigest(), f) for f in archive.namelist()[:-1]])
            archive.extractall(os.path.join(work, name))
            for dll in (f for f in archive.namelist() if f.endswith(".dll")):
                verified = run("osslsigncode", "verify", "-CAfile", "ca.pem", "-in", name + "/" + dll, check=False)
                self.assertEqual(verified.returncode == 0, name == "signed", dll)
        installer.DIST = os.path.join(work, "signed")
        with TestServer() as server:
            report = installer.Steps().post(server.url("/signed"), "signed&ch&1").run()
        self.assertEqual((report.values, [r.target for r in server.requests]), (["200"], ["/signed"]))
