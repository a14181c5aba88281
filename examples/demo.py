"""The demo: builds the sample product's .msi, packs it into a setup with
the bootstrapper, shows extract mode, then runs the setup as a user would
and shows what it installed."""
import os
import shutil
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(os.path.dirname(HERE), "tests", "e2e"))

import harness  # noqa: E402


def main():
    build = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(HERE), "build")
    work = os.path.join(build, "demo")
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    for name in os.listdir(os.path.join(HERE, "sample")):
        shutil.copy(os.path.join(HERE, "sample", name), work)

    print("== the %s bootstrapper, %s" % ("x86_64" if harness.X64 else "i686", harness.STUB))
    print("== building the sample package with wixl")
    # The package matches the bootstrapper, so that it installs into the
    # Program Files folder that its own kind sees.
    folder = "ProgramFiles64Folder" if harness.X64 else "ProgramFilesFolder"
    subprocess.run(["wixl", "-a", harness.ARCH, "-D", "ProgramFiles=" + folder, "-o", "KorveltSample.msi",
                    "KorveltSample.wxs"], cwd=work, check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    # A large support file, so that the extraction lasts long enough to be seen.
    with open(os.path.join(work, "media.cab"), "wb") as media:
        media.write(b"\0" * (192 << 20))

    print("== packing setup.exe")
    setup = os.path.join(work, "setup.exe")
    subprocess.run([harness.PACK, "create", "--stub", harness.STUB, "--out", setup, "--main",
                    os.path.join(work, "KorveltSample.msi"), "--support", os.path.join(work, "media.cab"),
                    "--on-demand", os.path.join(work, "readme.txt")], check=True)
    subprocess.run([harness.PACK, "list", setup], check=True)

    print("== extract mode: setup.exe /extract:extracted")
    extracted = os.path.join(work, "extracted")
    os.makedirs(extracted)
    code, _ = harness.run_windows('"%s" /extract:extracted' % harness.windows_path(setup), cwd=work)
    print("exit code", code)
    for name in sorted(os.listdir(extracted)):
        print("  %-20s %12d bytes  in %s" % (name, os.path.getsize(os.path.join(extracted, name)), extracted))

    print("== a normal run: setup.exe")
    harness.uninstall(os.path.join(work, "KorveltSample.msi"))
    probe = harness.probe_dialogs(60)
    time.sleep(1)
    run = harness.start_windows('"%s"' % harness.windows_path(setup), cwd=work)
    seen = ""
    shot = None
    while "Extracting" not in seen:
        line = probe.stdout.readline().decode("latin-1")
        if not line:
            break
        seen += line
    if "Extracting" in seen:
        shot = harness.screenshot("demo-status-window")
    probe.kill()
    code = harness.finish(run)
    print("exit code", code)
    if shot:
        print("status window screenshot:", shot)
    installed = os.path.join(harness.PREFIX_C, "Program Files", "Korvelt Sample", "readme.txt")
    if os.path.exists(installed):
        print("the package installed C:\\Program Files\\Korvelt Sample\\readme.txt:")
        with open(installed) as readme:
            print("  | " + readme.read().rstrip().replace("\n", "\n  | "))
    else:
        print("nothing was installed")
        return 1
    left = harness.run_folders()
    print("extracted files left in the temporary folder:", left or "none")
    for big in (os.path.join(work, "media.cab"), os.path.join(extracted, "media.cab"), setup):
        os.remove(big)
    return 0 if code == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
