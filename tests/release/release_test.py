#!/usr/bin/env python3
"""scripts/release on this tree: the zip's files, sums and versions, a signed release, the
zip's installer.exe in manual mode under Wine, and the README's example for operators."""
import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest
import zipfile
from pathlib import Path

TREE = Path(__file__).resolve().parents[2]
BUILD = Path(os.environ.get("KOVIRA_BUILD_DIR", TREE / "build/win"))
sys.path.insert(0, str(TREE / "tools/cabkit"))
sys.path.insert(0, str(TREE / "tests/release"))
from pe_module import PeImage, module_version  # noqa: E402
from readme_example import readme_example  # noqa: E402

VERSION = os.environ.get("KOVIRA_VERSION", "1.0.0.1")  # the project's, as cmake knows it
NAME = f"kovira-{VERSION}"
# The release's binaries, as the script lists them (its one list).
BINARIES = re.search(r"^binaries=\(([^)]*)\)", (TREE / "scripts/release").read_text(),
                     re.M).group(1).split()


def release(out, *args):
    run = subprocess.run([str(TREE / "scripts/release"), "--out", str(out)] + list(args),
                         capture_output=True, text=True)
    if run.returncode != 0:
        raise AssertionError(f"scripts/release failed:\n{run.stdout}{run.stderr}")
    return out / f"{NAME}.zip"


class Release(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.folder = Path(tempfile.mkdtemp(prefix="release-test-"))
        cls.cert, cls.key = cls.folder / "test.crt", cls.folder / "test.key"
        subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
                        "-subj", "/CN=Kovira Test Release", "-addext",
                        "extendedKeyUsage=codeSigning", "-keyout", cls.key, "-out", cls.cert],
                       check=True, capture_output=True)
        cls.plain = release(cls.folder / "plain")
        cls.signed = release(cls.folder / "signed", "--sign", str(cls.cert), str(cls.key))

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.folder, ignore_errors=True)

    def unpack(self, archive):
        target = Path(tempfile.mkdtemp(prefix="unpacked-", dir=self.folder))
        with zipfile.ZipFile(archive) as z:
            z.extractall(target)
        return target / NAME

    def test_zip_holds_the_binaries_readme_and_sums_in_one_versioned_folder(self):
        self.assertLessEqual({"installer.exe", "Velmar.dll", "MDI.dll", "axrun.exe"}, set(BINARIES))
        for archive in (self.plain, self.signed):
            with self.subTest(archive=archive.parent.name), zipfile.ZipFile(archive) as z:
                self.assertEqual(sorted(f"{NAME}/{n}" for n in BINARIES +
                                        ["README.txt", "SHA256SUMS"]), sorted(z.namelist()))
                readme = z.read(f"{NAME}/README.txt").decode()
                self.assertIn(f"Kovira {VERSION}\r\n", readme)
                self.assertNotIn("@VERSION", readme)

    def test_sums_check_out_and_catch_a_changed_byte(self):
        folder = self.unpack(self.plain)
        run = subprocess.run(["sha256sum", "-c", "SHA256SUMS"], cwd=folder, capture_output=True,
                             text=True)
        self.assertEqual(0, run.returncode, run.stdout + run.stderr)
        self.assertEqual(sorted(f"{n}: OK" for n in BINARIES + ["README.txt"]),
                         sorted(run.stdout.splitlines()))
        data = bytearray((folder / "Velmar.dll").read_bytes())
        data[len(data) // 2] ^= 1
        (folder / "Velmar.dll").write_bytes(data)
        run = subprocess.run(["sha256sum", "-c", "--quiet", "SHA256SUMS"], cwd=folder,
                             capture_output=True, text=True)
        self.assertNotEqual(0, run.returncode)
        self.assertEqual(["Velmar.dll: FAILED"], run.stdout.splitlines())

    def test_every_binary_carries_the_version_the_zip_is_named_after(self):
        expected = tuple(int(p) for p in VERSION.split("."))
        for archive in (self.plain, self.signed):
            folder = self.unpack(archive)
            for binary in BINARIES:
                with self.subTest(archive=archive.parent.name, binary=binary):
                    self.assertEqual(expected,
                                     module_version(PeImage((folder / binary).read_bytes()))[0])

    def test_signed_binaries_verify_and_unsigned_ones_do_not(self):
        for archive, verifies in ((self.signed, True), (self.plain, False)):
            folder = self.unpack(archive)
            for binary in BINARIES:
                with self.subTest(archive=archive.parent.name, binary=binary):
                    run = subprocess.run(["osslsigncode", "verify", "-CAfile", str(self.cert),
                                          "-in", str(folder / binary)], capture_output=True)
                    self.assertEqual(verifies, run.returncode == 0)

    def test_zips_installer_runs_in_manual_mode_under_wine(self):
        folder = self.unpack(self.signed)
        run = subprocess.run([str(TREE / "scripts/wine-run"), str(BUILD / "wineprefix"),
                              str(BUILD / "tests/released_installer_test.exe")],
                             env=dict(os.environ, KOVIRA_RELEASE_DIR="Z:" + str(folder),
                                      KOVIRA_RELEASE_VERSION=VERSION),
                             capture_output=True, text=True, errors="replace", timeout=60)
        self.assertEqual(0, run.returncode, run.stdout + run.stderr)
        self.assertIn("[  PASSED  ] 1 test", run.stdout)

    def test_readme_example_for_operators_runs(self):
        self.addCleanup(shutil.rmtree, "/tmp/kovira-dist", ignore_errors=True)  # the example's folder
        run = subprocess.run(["bash", "-euo", "pipefail", "-c", readme_example("release")],
                             cwd=TREE, capture_output=True, text=True)
        self.assertEqual(0, run.returncode, run.stdout + run.stderr)
        self.assertIn("README.txt: OK", run.stdout)


if __name__ == "__main__":
    unittest.main()
