"""The benchmarks' baselines do the work they stand for: copy_ranges.exe
writes what the bootstrapper's extraction writes, write_chunks.exe writes
the bytes it is given, search_loop.exe finds what the bootstrapper's file
search finds, and Wine held warm is let go again. Nothing here is timed."""
import filecmp
import os
import shutil
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
import benchlib  # noqa: E402

BUILD = os.path.join(benchlib.SOURCE, "build")


class BaselineTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.work = tempfile.mkdtemp(prefix="korvelt-bench-test-")
        cls.wine = benchlib.WarmWine(BUILD, cls.work)
        cls.wine.__enter__()

    @classmethod
    def tearDownClass(cls):
        cls.wine.__exit__(None, None, None)
        shutil.rmtree(cls.work, ignore_errors=True)

    def path(self, *parts):
        return os.path.join(self.work, *parts)

    def write(self, name, size):
        with open(self.path(name), "wb") as out:
            out.write(bytes((i * 7 + (i >> 16)) & 0xFF for i in range(size)))
        return self.path(name)

    def make_setup(self):
        """A setup whose entries end inside a buffer, fill buffers exactly
        and hold nothing."""
        files = [self.write("main.msi", 200001), self.write("exact.cab", 131072), self.write("empty.cab", 0)]
        setup = benchlib.pack(BUILD, self.wine.arch.stub, self.path("setup.exe"), "--main", files[0], "--support",
                              files[1], "--on-demand", files[2])
        return setup, files

    # The table read back names every entry with the offset its bytes lie at.
    def test_payload_entries_point_at_each_file(self):
        setup, files = self.make_setup()
        entries = benchlib.payload_entries(setup)
        self.assertEqual([name for name, _, _ in entries], [os.path.basename(path) for path in files])
        with open(setup, "rb") as source:
            for (name, offset, size), path in zip(entries, files):
                source.seek(offset)
                with open(path, "rb") as original:
                    self.assertEqual(source.read(size), original.read(), name)

    # The baseline writes the same files, byte for byte, as /extract:.
    def test_copy_ranges_writes_what_extraction_writes(self):
        setup, files = self.make_setup()
        extracted, copied = self.path("extracted"), self.path("copied")
        benchlib.fresh_folder(extracted)
        benchlib.fresh_folder(copied)
        result = self.wine.run([setup, "/extract:" + benchlib.windows_path(extracted)], "extract")
        self.assertEqual(result.code, 0, result.output)
        copy_ranges = self.wine.program("copy_ranges.exe")
        result = self.wine.run([copy_ranges, *benchlib.copy_ranges_arguments(setup, copied)], "copy")
        self.assertEqual(result.code, 0, result.output)
        self.assertGreater(result.cpu, 0)
        self.assertRegex(result.output, r"started at tick \d+\r?\n.*copied at tick \d+")
        names = sorted(os.path.basename(path) for path in files)
        self.assertEqual(sorted(os.listdir(extracted)), names)
        self.assertEqual(sorted(os.listdir(copied)), names)
        match, mismatch, errors = filecmp.cmpfiles(extracted, copied, names, shallow=False)
        self.assertEqual((mismatch, errors), ([], []))

    # A range it cannot copy whole, or arguments that are not whole ranges,
    # fail it.
    def test_copy_ranges_fails_short_of_a_whole_range(self):
        source = self.write("source.bin", 100000)
        target = self.path("target.bin")
        cases = [
            ([source, "99990", "100", target], 1, 10),  # reaches past the end: the bytes there are copied
            ([self.path("absent.bin"), "0", "1", target], 1, None),
            ([source, "0", "1"], 2, None),
            ([source, "0", "1", target, "5"], 2, None),
        ]
        for arguments, expected, written in cases:
            if os.path.exists(target):
                os.remove(target)
            windows = [benchlib.windows_path(arguments[0]), *arguments[1:]]
            if len(arguments) > 3:
                windows[3] = benchlib.windows_path(arguments[3])
            result = self.wine.run([self.wine.program("copy_ranges.exe"), *windows], "copy")
            self.assertEqual(result.code, expected, (arguments, result.output))
            self.assertEqual(os.path.getsize(target) if os.path.exists(target) else None, written, arguments)

    # The download baseline writes its source whole, in chunks that fill
    # the last one exactly or end inside it, flushed or not; a source it
    # cannot read, a target it cannot make, or other arguments fail it.
    def test_write_chunks_writes_its_source(self):
        program = self.wine.program("write_chunks.exe")
        target = self.path("written.bin")
        windows = benchlib.windows_path
        for size in (0, 8191, 8192, 3 * 8192 + 5):
            source = self.path("chunks-%d.bin" % size)
            with open(source, "wb") as out:
                out.write(os.urandom(size))
            for mode in ((), ("noflush",)):
                if os.path.exists(target):
                    os.remove(target)
                result = self.wine.run([program, windows(source), windows(target), *mode], "write")
                self.assertEqual(result.code, 0, (size, mode, result.output))
                self.assertRegex(result.output, r"started at tick \d+\r?\n.*written at tick \d+")
                self.assertTrue(filecmp.cmp(source, target, shallow=False), (size, mode))
        source = windows(self.path("chunks-8192.bin"))
        cases = [
            ([windows(self.path("absent.bin")), windows(target)], 1),
            ([source, windows(self.path("absent", "written.bin"))], 1),
            ([source], 2),
            ([source, windows(target), "flush"], 2),
            ([source, windows(target), "noflush", "x"], 2),
        ]
        for arguments, expected in cases:
            result = self.wine.run([program, *arguments], "write")
            self.assertEqual(result.code, expected, (arguments, result.output))

    # The minimal loop and the bootstrapper's search agree on what a depth
    # reaches.
    def test_search_loop_finds_what_the_search_finds(self):
        root = self.path("tree")
        planted = os.path.join(root, "a", "b", "c")
        os.makedirs(planted)
        os.makedirs(os.path.join(root, "a", "x", "y"))
        with open(os.path.join(planted, "target.dll"), "wb") as out:
            out.write(b"x")
        search = self.wine.program("prereq_search_bench.exe")
        loop = self.wine.program("search_loop.exe")
        for depth, found in ((0, False), (2, False), (3, True), (5, True)):
            searched = self.wine.run([search, "%s\\target.dll?%d" % (benchlib.windows_path(root), depth)],
                                     "search").output
            looped = self.wine.run([loop, benchlib.windows_path(root), "target.dll", str(depth)], "loop").output
            self.assertIn("found %d" % found, searched, depth)
            self.assertIn("found %d" % found, looped, depth)
            if found:
                self.assertIn(benchlib.windows_path(os.path.join(planted, "target.dll")), looped, depth)

    # The kernel's notes of a file's creation and close give its copy's span;
    # a watch of one name notes that file alone.
    def test_folder_watch_spans_creation_to_close(self):
        folder = self.path("watched")
        benchlib.fresh_folder(folder)
        watch = benchlib.FolderWatch(folder)
        named = benchlib.FolderWatch(folder, "two")
        with open(os.path.join(folder, "one"), "wb") as out:
            out.write(b"x" * 1000)
        self.assertIsNotNone(watch.span())
        self.assertIsNone(named.span())
        self.assertIsNone(benchlib.FolderWatch(folder).span())
        named = benchlib.FolderWatch(folder, "two")
        for name in ("one", "two", "twos"):
            with open(os.path.join(folder, name), "wb") as out:
                out.write(b"x")
        named.span()
        self.assertEqual((len(named.created), len(named.closed)), (1, 1))

    # A second keeper, under a server already running, ends when told and
    # leaves that server alone.
    def test_keeper_ends_when_its_marker_goes(self):
        folder = self.path("second")
        os.makedirs(folder, exist_ok=True)
        with benchlib.WarmWine(BUILD, folder) as second:
            keeper = second._keeper
            self.assertIsNone(keeper.poll())
            self.assertFalse(second._started_server)
            self.assertEqual(second.server_pid(), self.wine.server_pid())
            self.assertIsNotNone(second.server_pid())
        self.assertEqual(keeper.returncode, 0)
        self.assertEqual(self.wine.run([self.wine.program("search_loop.exe"), "Z:\\", "absent", "0"], "after").code, 0)


if __name__ == "__main__":
    unittest.main()
