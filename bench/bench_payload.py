"""Stub sizes, the footer search, and extracting 1 GiB: the bootstrapper's
/extract: against a minimal program that copies the same bytes under the
same rules (copy_ranges.exe), both under the same warm Wine, and against
cp + sync. Prints figures and ratios measured in this run."""
import os
import shutil
import subprocess
import sys

import benchlib

sys.path.insert(0, os.path.join(benchlib.SOURCE, "tests", "e2e"))
import harness  # noqa: E402

ROUNDS = 5


def footer_reads(build, setup):
    output = subprocess.run([os.path.join(build, "native", "footer_reads"), setup], check=True,
                            stdout=subprocess.PIPE).stdout.decode().strip()
    return output.split(": ", 1)[1]


def main():
    build = benchlib.build_folder()
    print("stub size:")
    for line in benchlib.stub_sizes(build):
        print("  " + line)
    print("  for comparison (published figures, not measured here): NSIS stub ~60 KB, "
          "7-Zip SFX module 100-160 KB, WiX Burn ~380 KB")

    work = benchlib.work_folder(build)
    try:
        with benchlib.WarmWine(build, work) as wine:
            measure(build, work, wine)
    finally:
        shutil.rmtree(work, ignore_errors=True)


def measure(build, work, wine):
    if not os.path.exists(wine.arch.stub):
        sys.exit("no %s; build it first" % wine.arch.stub)
    payload = os.path.join(work, "payload.cab")
    with open(payload, "wb") as out:
        block = os.urandom(1 << 20)
        for _ in range(1024):
            out.write(block)
    msi = harness.random_file(os.path.join(work, "app.msi"), 65536, 1)
    setup = benchlib.pack(build, wine.arch.stub, os.path.join(work, "setup.exe"), "--main", msi, "--support", payload)

    print("footer search on a setup as written:", footer_reads(build, setup))

    out = os.path.join(work, "out")
    copy_ranges = wine.program("copy_ranges.exe")

    def timed(arguments, name):
        benchlib.fresh_folder(out)
        watch = benchlib.FolderWatch(out)
        result = wine.run(arguments, name)
        span = watch.span()
        if result.code != 0:
            sys.exit("%s failed with exit code %d: %s" % (name, result.code, result.output))
        return result.seconds, span, result.cpu

    def extract():
        return timed([setup, "/extract:" + benchlib.windows_path(out)], "extract")

    def baseline():
        return timed([copy_ranges, *benchlib.copy_ranges_arguments(setup, out)], "copy_ranges")

    def copy():
        return benchlib.cp_sync([payload, msi], out)

    # Once each untimed, so that every round reads the setup from memory.
    extract()
    baseline()
    best = benchlib.best_of(ROUNDS, extract=extract, baseline=baseline, copy=copy)
    korvelt, korvelt_span, korvelt_cpu = best["extract"]
    minimal, minimal_span, minimal_cpu = best["baseline"]
    cp = best["copy"]
    name = os.path.basename(wine.arch.stub)
    print("extract 1 GiB under warm Wine (best of %d; from the process's start to its end, the copy itself from the "
          "first file's creation to the last one's close, and the processor time of the process and the wineserver):"
          % ROUNDS)
    row = "  %-37s %6.2f s   copy itself %.2f s   processor %.2f s"
    print(row % (name + " /extract:", korvelt, korvelt_span, korvelt_cpu))
    print(row % ("minimal copy program (the baseline)", minimal, minimal_span, minimal_cpu))
    print("  %-37s %6.2f s" % ("cp + sync (for readers)", cp))
    print("  ratio to the baseline: %s, copy itself %s, processor time %s"
          % (benchlib.ratio(korvelt, minimal), benchlib.ratio(korvelt_span, minimal_span),
             benchlib.ratio(korvelt_cpu, minimal_cpu)))
    print("  ratio to cp + sync:    %s" % benchlib.ratio(korvelt, cp))
    with open(setup, "ab") as appended:
        appended.write(b"\0" * 3000)
    print("footer search with 3000 bytes appended:", footer_reads(build, setup))


if __name__ == "__main__":
    main()
