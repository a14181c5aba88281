"""Setups signed after packing, with osslsigncode and a throwaway
self-signed code-signing certificate: the signature covers the payload,
and the bootstrapper and the packer still find the footer in front of it."""
import os
import re
import subprocess
import unittest

from harness import (BIN, PACK, STUB, WineTestCase, build_msi, installed_marker, pack, random_file, read,
                     run_windows, uninstall, windows_path)

STUBS = [os.path.join(BIN, "korvelt.exe"), os.path.join(BIN, "korvelt-x64.exe")]


def run(*command):
    """Runs a native command; returns (exit code, output)."""
    result = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=120)
    return result.returncode, result.stdout.decode("latin-1")


def make_certificate(folder):
    """A self-signed certificate for code signing and its key; returns both paths."""
    certificate, key = os.path.join(folder, "signer.pem"), os.path.join(folder, "signer.key")
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj",
                    "/CN=Korvelt test signer", "-addext", "extendedKeyUsage=codeSigning", "-addext",
                    "keyUsage=digitalSignature", "-keyout", key, "-out", certificate],
                   check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return certificate, key


def listing(setup):
    """What `korvelt-pack list` says: (the signature line, the other lines)."""
    code, output = run(PACK, "list", setup)
    if code != 0:
        raise AssertionError("list failed: " + output)
    lines = output.splitlines()
    signature = [line for line in lines if line.startswith("signature: ")]
    return signature[0] if len(signature) == 1 else None, [line for line in lines if not line.startswith("signature: ")]


class SigningTest(WineTestCase):
    def setUp(self):
        super().setUp()
        self.certificate, self.key = make_certificate(self.folder)
        self.packages = []

    def tearDown(self):
        for package in self.packages:
            uninstall(package)
        super().tearDown()

    def sign(self, unsigned, signed, nest=False):
        command = ["osslsigncode", "sign", "-certs", self.certificate, "-key", self.key, "-n", "Korvelt test",
                   "-i", "https://example.invalid/", "-in", unsigned, "-out", signed]
        if nest:
            command[2:2] = ["-nest", "-h", "sha1"]
        code, output = run(*command)
        self.assertEqual(code, 0, output)
        return signed

    def verify(self, signed):
        return run("osslsigncode", "verify", "-CAfile", self.certificate, "-in", signed)

    def pack_files(self, stub, out):
        folder = os.path.dirname(out)
        self.msi = random_file(os.path.join(folder, "app.msi"), 300000, 1)
        self.cab = random_file(os.path.join(folder, "app.cab"), 3 * 65536 + 1, 2)
        self.tool = random_file(os.path.join(folder, "tool.exe"), 5000, 3)
        subprocess.run([PACK, "create", "--stub", stub, "--out", out, "--main", self.msi, "--support", self.cab,
                        "--on-demand", self.tool], check=True, stdout=subprocess.DEVNULL)
        return out

    def stubs(self):
        """Both bootstrappers, each with a function that names a file in a folder of its own."""
        pairs = []
        for stub in STUBS:
            folder = self.path(os.path.basename(stub) + ".d")
            os.mkdir(folder)
            pairs.append((stub, lambda *parts, folder=folder: os.path.join(folder, *parts)))
        return pairs

    # For both bootstrappers: the signature verifies over the whole setup,
    # list says where it lies (behind the padded payload, to the end of the
    # file) and lists the same entries, and the packer extracts the files.
    def test_signed_setup_verifies_lists_and_extracts(self):
        for stub, path in self.stubs():
            with self.subTest(stub=os.path.basename(stub)):
                setup = self.pack_files(stub, path("setup.exe"))
                signed = self.sign(setup, path("signed.exe"))
                code, output = self.verify(signed)
                self.assertEqual(code, 0, output)
                self.assertIn("Signature verification: ok", output)

                unsigned_signature, unsigned_lines = listing(setup)
                signed_signature, signed_lines = listing(signed)
                self.assertEqual(unsigned_signature, "signature: none")
                self.assertEqual(signed_lines, unsigned_lines)
                match = re.fullmatch(r"signature: yes \((\d+) bytes at offset (\d+)\)", signed_signature or "")
                self.assertTrue(match, signed_signature)
                size, offset = int(match.group(1)), int(match.group(2))
                self.assertEqual(offset, (os.path.getsize(setup) + 7) // 8 * 8)
                self.assertEqual(offset + size, os.path.getsize(signed))

                os.mkdir(path("out"))
                code, output = run(PACK, "extract", signed, path("out"))
                self.assertEqual(code, 0, output)
                self.assertEqual({name: read(path("out", name)) for name in os.listdir(path("out"))},
                                 {name: read(path(name)) for name in ["app.msi", "app.cab", "tool.exe"]})

    # One changed byte of the payload fails verification: the signature
    # covers the appended files, not only the bootstrapper's image.
    def test_a_changed_payload_byte_fails_verification(self):
        for stub, path in self.stubs():
            with self.subTest(stub=os.path.basename(stub)):
                data = bytearray(read(self.sign(self.pack_files(stub, path("setup.exe")), path("signed.exe"))))
                data[os.path.getsize(stub) + 1000] ^= 0x01
                with open(path("changed.exe"), "wb") as out:
                    out.write(data)
                code, output = self.verify(path("changed.exe"))
                self.assertNotEqual(code, 0, output)
                self.assertIn("MISMATCH", output)
                self.assertNotIn("Signature verification: ok", output)

    # A signed bootstrapper, and a signed setup given as the bootstrapper,
    # are refused in one line that says to sign after packing.
    def test_a_signed_stub_is_refused(self):
        for stub, path in self.stubs():
            with self.subTest(stub=os.path.basename(stub)):
                signed_stub = self.sign(stub, path("signed-stub.exe"))
                signed_setup = self.sign(self.pack_files(stub, path("setup.exe")), path("signed.exe"))
                for given in [signed_stub, signed_setup]:
                    result = subprocess.run([PACK, "create", "--stub", given, "--out", path("again.exe"), "--main",
                                             self.msi], stdout=subprocess.PIPE, stderr=subprocess.PIPE)
                    said = result.stderr.decode()
                    self.assertEqual(result.returncode, 1, said)
                    self.assertEqual(said.count("\n"), 1, said)
                    self.assertIn("breaks its signature", said)
                    self.assertIn("then sign the setup", said)
                    self.assertEqual(result.stdout, b"")
                    self.assertFalse(os.path.exists(path("again.exe")))

    # Under Wine: the signed setup installs its package.
    def test_signed_setup_installs(self):
        name = "KorveltE2E%dsigned" % os.getpid()
        package = build_msi(self.folder, name)
        self.packages.append(package)
        signed = self.sign(pack(self.path("setup.exe"), "--main", package), self.path("signed.exe"))
        code, _ = run_windows('"%s" /qn' % windows_path(signed))
        self.assertEqual(code, 0)
        self.assertTrue(os.path.exists(installed_marker(name)))

    # Under Wine: extract mode gives the same bytes from the unsigned setup,
    # the signed one, and one signed twice, whose signatures together are
    # longer than one window of the footer search.
    def test_signed_setup_extracts_the_same_bytes(self):
        setup = self.pack_files(STUB, self.path("setup.exe"))
        signed = self.sign(setup, self.path("signed.exe"))
        twice = self.sign(signed, self.path("twice.exe"), nest=True)
        code, output = self.verify(twice)
        self.assertEqual(code, 0, output)
        self.assertIn("Number of verified signatures: 2", output)
        match = re.fullmatch(r"signature: yes \((\d+) bytes at offset \d+\)", listing(twice)[0] or "")
        self.assertTrue(match and int(match.group(1)) > 2048, listing(twice)[0])
        expected = {name: read(self.path(name)) for name in ["app.msi", "app.cab", "tool.exe"]}
        for source in [setup, signed, twice]:
            with self.subTest(setup=os.path.basename(source)):
                out = self.path("out-" + os.path.basename(source))
                os.mkdir(out)
                code, _ = run_windows('"%s" /extract:%s' % (windows_path(source), windows_path(out)))
                self.assertEqual(code, 0)
                self.assertEqual({name: read(os.path.join(out, name)) for name in os.listdir(out)}, expected)


if __name__ == "__main__":
    unittest.main()
