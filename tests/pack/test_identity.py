"""The identity the packer writes, read back by an independent reader.

Python's pefile (Debian's python3-pefile) parses each setup packed from the
real bootstrappers, for both architectures, and every field written is
compared with what was asked for: the version texts and numbers, each icon
image byte for byte, the section table and data directories, SizeOfImage,
DllCharacteristics and the checksum of the whole file."""
import os
import re
import struct
import subprocess
import sys
import tempfile
import unittest
import zlib

try:
    import pefile
except ImportError:
    sys.exit("test_identity needs Python's pefile: run it with Debian's /usr/bin/python3 "
             "and install python3-pefile (./build.sh deps)")

SOURCE = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
BIN = os.environ.get("KORVELT_BIN", os.path.join(SOURCE, "build", "bin"))
PACK = os.path.join(BIN, "korvelt-pack")
STUBS = [os.path.join(BIN, name) for name in ("korvelt.exe", "korvelt-x64.exe")]

RT_ICON = 3
RT_GROUP_ICON = 14
RT_VERSION = 16


def bitmap_image(side, seed):
    """A 32-bit DIB as an .ico holds it: the header of double height, the
    pixels and the AND mask."""
    header = struct.pack("<IiiHHIIiiII", 40, side, side * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = bytes((seed + i * 13) & 0xFF for i in range(side * side * 4))
    mask = bytes(((side + 31) // 32 * 4) * side)
    return header + pixels + mask


def png_image(side):
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    rows = b"".join(b"\0" + bytes((x * 3 + y) & 0xFF for x in range(side * 4)) for y in range(side))
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", side, side, 8, 6, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(rows)) + chunk(b"IEND", b""))


def make_icon(path):
    """16x16, 32x32 and 48x48 bitmaps and a 256x256 PNG; returns the images
    with their directory entries."""
    images = [(16, bitmap_image(16, 1)), (32, bitmap_image(32, 2)), (48, bitmap_image(48, 3)), (256, png_image(256))]
    directory = struct.pack("<HHH", 0, 1, len(images))
    offset = len(directory) + 16 * len(images)
    entries = []
    for side, data in images:
        entry = (side % 256, side % 256, 0, 0, 1, 32, len(data))
        directory += struct.pack("<BBBBHHII", *entry, offset)
        entries.append((entry, data))
        offset += len(data)
    with open(path, "wb") as out:
        out.write(directory + b"".join(data for _, data in images))
    return entries


def resources(pe):
    """{(type, name, language): data} of every resource."""
    found = {}
    for kind in pe.DIRECTORY_ENTRY_RESOURCE.entries:
        for name in kind.directory.entries:
            for language in name.directory.entries:
                data = language.data.struct
                key = (kind.id if kind.id is not None else str(kind.name),
                       name.id if name.id is not None else str(name.name), language.id)
                found[key] = pe.get_data(data.OffsetToData, data.Size)
    return found


def pairs(text):
    """pefile gives each half of a surrogate pair as an escape of its own."""
    return re.sub(r"\\u(d[89ab][0-9a-f]{2})\\u(d[c-f][0-9a-f]{2})",
                  lambda m: struct.pack("<HH", int(m[1], 16), int(m[2], 16)).decode("utf-16-le"), text)


def version_strings(pe):
    strings = {}
    for info in pe.FileInfo[0]:
        if info.Key == b"StringFileInfo":
            for table in info.StringTable:
                assert table.LangID == b"040904b0", table.LangID
                strings.update({k.decode("utf-8"): pairs(v.decode("utf-8")) for k, v in table.entries.items()})
    return strings


def raw_checksum(data, checksum_offset):
    """pefile's generate_checksum() over the file's own bytes: it sums what
    its write() gives back, which spells a surrogate pair in a version text
    as an escape, so for such texts it sums other bytes than the file's."""
    data = data + b"\0" * (-len(data) % 4)
    total = 0
    for i in range(len(data) // 4):
        if i != checksum_offset // 4:
            total += struct.unpack_from("<I", data, i * 4)[0]
            total = (total & 0xFFFFFFFF) + (total >> 32)
    total = (total & 0xFFFF) + (total >> 16)
    total = (total + (total >> 16)) & 0xFFFF
    return total


def align(value, alignment):
    return (value + alignment - 1) // alignment * alignment


class IdentityTest(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.mkdtemp(prefix="korvelt-identity-")
        self.msi = os.path.join(self.folder, "app.msi")
        with open(self.msi, "wb") as out:
            out.write(bytes(range(256)) * 300 + b"KORVELTSFX")
        self.icon = os.path.join(self.folder, "contoso.ico")
        self.icon_entries = make_icon(self.icon)

    def tearDown(self):
        subprocess.run(["rm", "-rf", self.folder], check=True)

    def pack(self, stub, out, *options):
        return subprocess.run([PACK, "create", "--stub", stub, "--out", os.path.join(self.folder, out),
                               "--main", self.msi, *options], capture_output=True, text=True)

    def check_layout(self, stub_pe, pe):
        """Sections in order and aligned, directories on them, headers right."""
        header = pe.OPTIONAL_HEADER
        self.assertEqual(pe.get_warnings(), [])
        self.assertEqual(header.DllCharacteristics, stub_pe.OPTIONAL_HEADER.DllCharacteristics)
        self.assertEqual(header.FileAlignment, stub_pe.OPTIONAL_HEADER.FileAlignment)
        previous = None
        for section in pe.sections:
            self.assertEqual(section.VirtualAddress % header.SectionAlignment, 0)
            self.assertEqual(section.PointerToRawData % header.FileAlignment, 0)
            self.assertEqual(section.SizeOfRawData % header.FileAlignment, 0)
            if previous:
                self.assertGreaterEqual(section.VirtualAddress, previous.VirtualAddress + previous.Misc_VirtualSize)
                if section.SizeOfRawData:
                    self.assertGreaterEqual(section.PointerToRawData, previous.PointerToRawData + previous.SizeOfRawData)
            previous = section
        last = pe.sections[-1]
        self.assertEqual(header.SizeOfImage,
                         align(last.VirtualAddress + max(last.Misc_VirtualSize, last.SizeOfRawData), header.SectionAlignment))
        names = [s.Name.rstrip(b"\0") for s in pe.sections]
        rsrc = pe.sections[names.index(b".rsrc")]
        reloc = pe.sections[names.index(b".reloc")]
        directories = header.DATA_DIRECTORY
        self.assertEqual(directories[2].VirtualAddress, rsrc.VirtualAddress)
        self.assertEqual(directories[2].Size, rsrc.Misc_VirtualSize)
        self.assertEqual(directories[5].VirtualAddress, reloc.VirtualAddress)
        self.assertEqual(directories[5].Size, stub_pe.OPTIONAL_HEADER.DATA_DIRECTORY[5].Size)
        # The relocations are the stub's, byte for byte, only moved.
        stub_reloc = stub_pe.sections[names.index(b".reloc")]
        self.assertEqual(reloc.get_data(), stub_reloc.get_data())
        initialized = sum(s.SizeOfRawData for s in pe.sections if s.Characteristics & 0x40)
        stub_initialized = sum(s.SizeOfRawData for s in stub_pe.sections if s.Characteristics & 0x40)
        self.assertEqual(header.SizeOfInitializedData - stub_pe.OPTIONAL_HEADER.SizeOfInitializedData,
                         initialized - stub_initialized)
        with open(pe.name, "rb") as source:
            data = source.read()
        self.assertEqual(header.CheckSum, raw_checksum(data, header.get_file_offset() + 0x40) + len(data))
        if pe.write() == data:
            self.assertEqual(header.CheckSum, pe.generate_checksum())
        self.assertNotEqual(header.CheckSum, 0)

    def test_every_option_reads_back_for_both_stubs(self):
        for stub in STUBS:
            with self.subTest(stub=os.path.basename(stub)):
                self.assertTrue(os.path.exists(stub), stub + " is not built (./build.sh build)")
                result = self.pack(stub, "ContosoSetup.exe", "--product-name", "Contoso App \u00e9", "--company", "Contoso",
                                   "--version", "2.1.0.7", "--description", "Contoso App Installer",
                                   "--copyright", "\u00a9 2026 Contoso \U0001F600", "--icon", self.icon)
                self.assertEqual(result.returncode, 0, result.stderr)
                setup = os.path.join(self.folder, "ContosoSetup.exe")
                stub_pe = pefile.PE(stub)
                pe = pefile.PE(setup)
                pe.name = setup
                self.check_layout(stub_pe, pe)

                self.assertEqual(version_strings(pe), {
                    "ProductName": "Contoso App \u00e9", "CompanyName": "Contoso",
                    "FileDescription": "Contoso App Installer", "FileVersion": "2.1.0.7",
                    "ProductVersion": "2.1.0.7", "LegalCopyright": "\u00a9 2026 Contoso \U0001F600",
                    "OriginalFilename": "ContosoSetup.exe", "InternalName": "ContosoSetup"})
                fixed = pe.VS_FIXEDFILEINFO[0]
                self.assertEqual((fixed.FileVersionMS, fixed.FileVersionLS), (0x00020001, 0x00000007))
                self.assertEqual((fixed.ProductVersionMS, fixed.ProductVersionLS), (0x00020001, 0x00000007))
                self.assertEqual(fixed.Signature, 0xFEEF04BD)
                translations = [var.entry for info in pe.FileInfo[0] if info.Key == b"VarFileInfo" for var in info.Var]
                self.assertEqual(translations, [{b"Translation": "0x0409 0x04b0"}])

                found = resources(pe)
                old = resources(stub_pe)
                version_language = [k[2] for k in old if k[0] == RT_VERSION][0]
                self.assertIn((RT_VERSION, 1, version_language), found)
                groups = [k for k in found if k[0] == RT_GROUP_ICON and k[1] == 128]
                self.assertEqual(len(groups), 1)
                self.assertEqual(groups[0][2], [k for k in old if k[0] == RT_GROUP_ICON and k[1] == 128][0][2])
                group = found[groups[0]]
                self.assertEqual(struct.unpack_from("<HHH", group), (0, 1, len(self.icon_entries)))
                ids = []
                for i, (entry, data) in enumerate(self.icon_entries):
                    fields = struct.unpack_from("<BBBBHHIH", group, 6 + 14 * i)
                    self.assertEqual(fields[:7], entry)
                    ids.append(fields[7])
                    self.assertEqual(found[(RT_ICON, fields[7], groups[0][2])], data)
                # The stub's own images are gone; nothing else changed.
                self.assertEqual(sorted(k[1] for k in found if k[0] == RT_ICON), sorted(ids))
                unchanged = {k: v for k, v in old.items() if k[0] not in (RT_ICON, RT_GROUP_ICON, RT_VERSION)}
                self.assertEqual({k: v for k, v in found.items() if k in unchanged}, unchanged)
                self.assertEqual(len(found), len(unchanged) + len(ids) + 2)

                listed = subprocess.run([PACK, "list", setup], capture_output=True, text=True, check=True).stdout
                for line in ["product: Contoso App \u00e9", "company: Contoso", "version: 2.1.0.7",
                             "description: Contoso App Installer", "file name: ContosoSetup.exe",
                             "icon: 16x16, 32x32, 48x48, 256x256"]:
                    self.assertIn(line + "\n", listed)
                out = os.path.join(self.folder, "out-" + os.path.basename(stub))
                os.mkdir(out)
                subprocess.run([PACK, "extract", setup, out], check=True, stdout=subprocess.DEVNULL)
                with open(self.msi, "rb") as a, open(os.path.join(out, "app.msi"), "rb") as b:
                    self.assertEqual(a.read(), b.read())

    def test_defaults_keep_the_stubs_values(self):
        for stub in STUBS:
            with self.subTest(stub=os.path.basename(stub)):
                result = self.pack(stub, "setup.exe", "--product-name", "Contoso App")
                self.assertEqual(result.returncode, 0, result.stderr)
                pe = pefile.PE(os.path.join(self.folder, "setup.exe"))
                pe.name = os.path.join(self.folder, "setup.exe")
                self.check_layout(pefile.PE(stub), pe)
                strings = version_strings(pe)
                self.assertEqual(strings["ProductName"], "Contoso App")
                self.assertEqual(strings["FileDescription"], "Contoso App Setup")
                self.assertEqual(strings["CompanyName"], "Korvelt")
                self.assertEqual(strings["FileVersion"], "1.0.0.0")
                self.assertEqual(strings["OriginalFilename"], "setup.exe")
                # The stub's icon stays.
                old = resources(pefile.PE(stub))
                self.assertEqual({k: v for k, v in resources(pe).items() if k[0] in (RT_ICON, RT_GROUP_ICON)},
                                 {k: v for k, v in old.items() if k[0] in (RT_ICON, RT_GROUP_ICON)})

    def test_without_identity_the_stub_is_untouched(self):
        for stub in STUBS:
            with self.subTest(stub=os.path.basename(stub)):
                self.assertEqual(self.pack(stub, "plain.exe").returncode, 0)
                with open(stub, "rb") as a, open(os.path.join(self.folder, "plain.exe"), "rb") as b:
                    original = a.read()
                    self.assertEqual(b.read(len(original)), original)

    def test_a_bad_icon_writes_nothing(self):
        bad = os.path.join(self.folder, "bad.ico")
        with open(self.icon, "rb") as source:
            data = bytearray(source.read())
        struct.pack_into("<I", data, 6 + 16 * 3 + 12, len(data) - 10)
        with open(bad, "wb") as out:
            out.write(data)
        result = self.pack(STUBS[0], "setup.exe", "--icon", bad)
        self.assertEqual(result.returncode, 1)
        self.assertEqual(result.stderr.count("\n"), 1, result.stderr)
        self.assertIn("image 4 lies outside the file", result.stderr)
        self.assertFalse(os.path.exists(os.path.join(self.folder, "setup.exe")))


if __name__ == "__main__":
    unittest.main()
