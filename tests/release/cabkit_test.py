#!/usr/bin/env python3
"""tools/cabkit over the built fixtures: the download service's verdict on every bad CAB, packing
(class id and version read from the module, refusals with their reasons), signing, an
installation of a packed CAB by installer.exe under Wine, and the README's example."""
import csv
import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest
from pathlib import Path

TREE = Path(__file__).resolve().parents[2]
BUILD = Path(os.environ.get("KOVIRA_BUILD_DIR", TREE / "build/win"))
PREFIX = BUILD / "wineprefix"
CABKIT = TREE / "tools/cabkit/cabkit"
sys.path.insert(0, str(TREE / "tools/cabkit"))
sys.path.insert(0, str(TREE / "tests/release"))
from readme_example import readme_example  # noqa: E402


def catalog_clsid(cab):
    with open(TREE / "installer/core/catalog.csv", newline="") as f:
        rows = csv.reader(line for line in f if not line.startswith("#"))
        return next(row[0] for row in rows if row[1] == cab)


def cabkit(*args):
    return subprocess.run([sys.executable, str(CABKIT)] + [str(a) for a in args],
                          capture_output=True, text=True)


def wine(*args):
    return subprocess.run([str(TREE / "scripts/wine-run"), str(PREFIX)] + [str(a) for a in args],
                          capture_output=True, text=True, errors="replace")


def reg_value(key, name):
    """A value of a key of the test prefix's registry, or None."""
    query = wine("reg", "query", key, "/v", name) if name else wine("reg", "query", key, "/ve")
    match = re.search(r"REG_\w+\s+(.*)", query.stdout)
    return match.group(1).strip() if match else None


# Every bad fixture, with the reason the service gives for it. Rellis and Sarvo pass every check
# a CAB can be put to: their faults (registration fails, no class object) show only when run.
BAD_CABS = {
    "Halden.cab": "refused: cabinet truncated: cabinet states",
    "Jorvel.cab": "refused: not a cabinet",
    "Kestro.cab": "refused: the file is a web page, not a CAB",
    "Lurrin.cab": "refused: the CAB holds no INF file",
    "Mirodel.cab": "refused: the INF file lists a file the CAB does not hold: Mirodel.dll",
    "Norvak.cab": 'refused: the INF file names a file that is not a plain file name: line 6: '
                  '[Add.Code] "..\\evil.dll"',
    "Pavlen.cab": "refused: the INF file uses setup hooks, which are not supported",
    "Quenta.cab": "refused: the INF file asks for an unsupported destination folder: line 12: "
                  '[Quenta.dll] DestDir="12"',
    "Rellis.cab": "accepted",
    "Sarvo.cab": "accepted",
    "Stavin.cab": "refused: bad data block",
    "Tovrin.cab": "refused: two members have the same name but for case: TOVRIN.OCX",
    "Xandor.cab": "refused: bad file entry: file 1 starts at 0, before file 0 of folder 0 ends",
}


class Cabkit(unittest.TestCase):
    def setUp(self):
        self.folder = Path(tempfile.mkdtemp(prefix="cabkit-test-"))

    def tearDown(self):
        shutil.rmtree(self.folder, ignore_errors=True)

    def test_check_gives_the_services_verdict_on_every_bad_fixture(self):
        self.assertEqual(sorted(BAD_CABS), sorted(p.name for p in (BUILD / "badcabs").iterdir()))
        for cab, verdict in BAD_CABS.items():
            with self.subTest(cab=cab):
                run = cabkit("check", BUILD / "badcabs" / cab)
                self.assertEqual(0 if verdict == "accepted" else 1, run.returncode)
                self.assertTrue(run.stdout.startswith(f"{cab}: {verdict}"), run.stdout)

    def test_check_says_where_an_install_places_each_file(self):
        run = cabkit("check", BUILD / "cabfiles/Brenvo.cab")
        store = r"%WINDIR%\Downloaded Program Files"
        clsid = catalog_clsid("Brenvo.cab")
        self.assertEqual(0, run.returncode)
        self.assertEqual([
            "Brenvo.cab: accepted; an install places, in this order:",
            f"  BrenvoRes.dll -> {store}\\BrenvoRes.dll (no registration; at least version "
            "1,0,0,1; file version 1,0,0,1)",
            f"  Brenvo.dll -> {store}\\Brenvo.dll (registers it with DllRegisterServer; class "
            f"{clsid}; at least version 1,0,0,1; file version 1,0,0,1)",
            f"  Brenvo.inf -> {store}\\Brenvo.inf (the component's record)"],
            run.stdout.splitlines())

    def test_pack_reads_the_class_and_version_from_the_module(self):
        cab = self.folder / "Velmar.cab"
        run = cabkit("pack", BUILD / "bin/Velmar.dll", "--out", cab)
        self.assertEqual(0, run.returncode, run.stderr)
        subprocess.run(["gcab", "-x", "-C", str(self.folder), str(cab)], check=True)
        version = os.environ.get("KOVIRA_VERSION", "1.0.0.1").replace(".", ",")
        self.assertEqual(
            '[Version]\r\nSignature="$CHICAGO$"\r\nAdvancedINF=2.0\r\n\r\n[Add.Code]\r\n'
            "Velmar.dll=Velmar.dll\r\n\r\n[Velmar.dll]\r\nfile-win32-x86=thiscab\r\n"
            f"clsid={catalog_clsid('Velmar.cab')}\r\nFileVersion={version}\r\n"
            "RegisterServer=yes\r\n",
            (self.folder / "Velmar.inf").read_bytes().decode("ascii"))

    def test_pack_refuses_what_the_service_refuses_and_leaves_no_cab(self):
        module = BUILD / "samples/Brenvo.dll"
        clsid = ["--clsid", catalog_clsid("Brenvo.cab")]
        shutil.copyfile(module, self.folder / "CON.dll")
        hooks = self.folder / "hooks.inf"
        hooks.write_text('[Version]\nSignature="$CHICAGO$"\n[Add.Code]\nBrenvo.dll=Brenvo.dll\n'
                         "[Brenvo.dll]\nfile-win32-x86=thiscab\nhook=setup\n"
                         "[setup]\nrun=%EXTRACT_DIR%\\setup.exe\n")
        cases = [
            ([self.folder / "CON.dll"] + clsid,
             "refuse Out.cab: the INF file names a file that is not a plain file name"),
            ([module, "--dest-dir", "12"] + clsid,
             "refuse Out.cab: the INF file asks for an unsupported destination folder"),
            ([module, "--inf", hooks],
             "refuse Out.cab: the INF file uses setup hooks, which are not supported"),
            ([module], "Brenvo.dll has no type library naming its class: give --clsid"),
            ([module, "--version", "1,0,0,2"] + clsid,
             "--version 1,0,0,2 is above Brenvo.dll's own version 1,0,0,1"),
            ([module, "--clsid", "17536387-A73E"], "a class id is written"),
        ]
        for args, reason in cases:
            with self.subTest(reason=reason):
                run = cabkit("pack", *args, "--out", self.folder / "Out.cab")
                self.assertEqual(1, run.returncode)
                self.assertIn(reason, run.stderr)
                self.assertFalse((self.folder / "Out.cab").exists())

    def test_signed_cab_verifies_and_is_still_accepted(self):
        cert, key = self.folder / "test.crt", self.folder / "test.key"
        subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
                        "-subj", "/CN=Kovira Test Components", "-keyout", key, "-out", cert],
                       check=True, capture_output=True)
        cab = self.folder / "Brenvo.cab"
        run = cabkit("pack", BUILD / "samples/Brenvo.dll", "--clsid", catalog_clsid("Brenvo.cab"),
                     "--out", cab, "--sign", cert, key)
        self.assertEqual(0, run.returncode, run.stderr)
        self.assertIn("signature verified", run.stdout)
        verify = subprocess.run(["osslsigncode", "verify", "-CAfile", cert, "-in", cab],
                                capture_output=True)
        self.assertEqual(0, verify.returncode)
        self.assertEqual(0, cabkit("check", cab).returncode)

    def test_installer_installs_a_packed_component(self):
        clsid = catalog_clsid("Brenvo.cab")
        (self.folder / "cabfiles").mkdir()
        shutil.copyfile(BUILD / "bin/installer.exe", self.folder / "installer.exe")
        cab = self.folder / "cabfiles/Brenvo.cab"
        samples = BUILD / "samples"
        self.assertEqual(0, cabkit("pack", samples / "Brenvo.dll", samples / "BrenvoRes.dll",
                                   "--clsid", clsid, "--out", cab).returncode)
        run = wine(self.folder / "installer.exe")  # automatic mode: exits when done
        self.assertEqual(0, run.returncode, run.stdout + run.stderr)
        log = (self.folder / "installer.log").read_text(errors="replace")
        rows = re.findall(r"\t([^\t]+)\t([^\r\n]*)", log)  # every catalog row; one CAB found
        self.assertEqual([("Brenvo.cab", "[QXR-73051] Completed installation successfully.")],
                         [row for row in rows if row[1] != "[QXR-73046] No files."])
        store = r"C:\windows\Downloaded Program Files"
        self.assertEqual((store + r"\Brenvo.dll").lower(), (reg_value(
            rf"HKCR\CLSID\{clsid}\InprocServer32", None) or "").lower())
        unit = rf"HKLM\SOFTWARE\Microsoft\Code Store Database\Distribution Units\{clsid}"
        self.assertEqual("Z:" + str(cab).replace("/", "\\"),
                         reg_value(unit + r"\DownloadInformation", "CODEBASE"))
        self.assertEqual((store + r"\Brenvo.inf").lower(),
                         (reg_value(unit + r"\DownloadInformation", "INF") or "").lower())

    def test_readme_example_for_component_authors_runs(self):
        self.addCleanup(shutil.rmtree, "/tmp/kovira-try", ignore_errors=True)  # the example's folder
        run = subprocess.run(["bash", "-euo", "pipefail", "-c", readme_example("cabkit")],
                             cwd=TREE, capture_output=True, text=True)
        self.assertEqual(0, run.returncode, run.stdout + run.stderr)
        self.assertIn("Brenvo.cab: accepted", run.stdout)
        self.assertIn("Brenvo.cab\t[QXR-73051] Completed installation successfully.", run.stdout)


if __name__ == "__main__":
    unittest.main()
