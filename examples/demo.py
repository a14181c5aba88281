"""The demo: builds the sample product's .msi, packs it into a setup with
the bootstrapper, shows extract mode, then runs the setup as a user would
and shows what it installed; last, it makes a layout and installs from it
without a server."""
import os
import re
import shutil
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(os.path.dirname(HERE), "tests", "e2e"))

import control_ids as ids  # noqa: E402
import harness  # noqa: E402
import driver  # noqa: E402
import servers  # noqa: E402


# The sample product's own identity, written into each setup's copy of the
# bootstrapper: its windows are titled "Korvelt Sample Setup".
IDENTITY = ["--product-name", "Korvelt Sample", "--company", "Korvelt Sample Publisher", "--version", "1.0.0.0",
            "--description", "Korvelt Sample Setup", "--copyright", "Copyright (C) 2026 Korvelt Sample Publisher",
            "--icon", os.path.join(HERE, "sample", "KorveltSample.ico")]
TITLE = "Korvelt Sample Setup"
# The wizard's controls the demo reads and clicks.
NEXT, FINISH, LIST, HINT = ids.kNextButton, ids.kFinishButton, ids.IDC_PREREQ_LIST, ids.IDC_STEP_HINT


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

    print("== packing setup.exe, then signing it")
    setup = os.path.join(work, "setup.exe")
    subprocess.run([harness.PACK, "create", "--stub", harness.STUB, "--out", setup, *IDENTITY, "--main",
                    os.path.join(work, "KorveltSample.msi"), "--support", os.path.join(work, "media.cab"),
                    "--on-demand", os.path.join(work, "readme.txt")], check=True)
    sign(work, setup)
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
    folders_before = harness.run_folders()
    probe = harness.probe_dialogs(60)
    time.sleep(1)
    run = harness.start_windows('"%s"' % harness.windows_path(setup), cwd=work)
    probe.watch(run)
    seen = ""
    shot = None
    deadline = time.monotonic() + 60
    while "Extracting" not in seen:
        line = probe.readline(deadline - time.monotonic())
        if not line:
            break
        seen += line
    if "Extracting" in seen:
        shot = harness.screenshot("demo-status-window")
        titles = re.findall(r'dialog \S+ "([^"]*)"', seen)
        print("the status window is titled \"%s\" and says \"Extracting...\"" % (titles[-1] if titles else "?"))
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
    left = sorted(set(harness.run_folders()) - set(folders_before))
    print("extracted files this run left in the temporary folder:", left or "none")
    for big in (os.path.join(work, "media.cab"), os.path.join(extracted, "media.cab"), setup):
        os.remove(big)
    if code != 0:
        return 1
    return quiet_run(work)


def sign(work, setup):
    """Signs the setup as its publisher would, as the very last step (the
    signature covers the payload): osslsigncode with a certificate of the
    sample publisher's own, made here with openssl."""
    cert, key = os.path.join(work, "publisher.pem"), os.path.join(work, "publisher.key")
    if not os.path.exists(cert):
        subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out", cert,
                        "-days", "30", "-subj", "/CN=Korvelt Sample Publisher",
                        "-addext", "extendedKeyUsage=codeSigning"],
                       check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    signed = setup + ".signed"
    subprocess.run(["osslsigncode", "sign", "-certs", cert, "-key", key, "-n", "Korvelt Sample",
                    "-i", "https://example.com/korvelt-sample", "-in", setup, "-out", signed],
                   check=True, stdout=subprocess.DEVNULL)
    os.replace(signed, setup)
    # The certificate is its own authority here; a real publisher's chains
    # to one that Windows trusts.
    verify = subprocess.run(["osslsigncode", "verify", "-CAfile", cert, "-in", setup], stdout=subprocess.PIPE,
                            stderr=subprocess.STDOUT)
    if verify.returncode != 0 or b"Signature verification: ok" not in verify.stdout:
        raise SystemExit("the signature of %s does not verify:\n%s" % (setup, verify.stdout.decode()))
    print("signed %s (%d bytes); osslsigncode verify: Signature verification: ok" % (
        os.path.basename(setup), os.path.getsize(setup)))


def pack_with_runtime(work, folder, nginx, options, log):
    """Packs folder/setup.exe with the sample's configuration: the runtime
    that `nginx` serves, the general Options given, the runtime's run
    written down in `log`."""
    runtime = os.path.join(work, "served", "KorveltSampleRuntime.exe")
    with open(os.path.join(HERE, "sample", "KorveltSample.ini")) as template:
        config = template.read().format(url=nginx.url("KorveltSampleRuntime.exe"), options=options,
                                         size=os.path.getsize(runtime), log=harness.windows_path(log))
    with open(os.path.join(work, "KorveltSample.ini"), "w") as out:
        out.write(config.replace("\n", "\r\n"))
    setup = os.path.join(folder, "setup.exe")
    subprocess.run([harness.PACK, "create", "--stub", harness.STUB, "--out", setup, *IDENTITY, "--prerequisites",
                    "--main", os.path.join(work, "KorveltSample.msi"), "--config",
                    os.path.join(work, "KorveltSample.ini")], check=True)
    sign(work, setup)
    return setup


def quiet_run(work):
    """A setup whose configuration asks for a quiet run: its missing runtime
    is fetched from nginx on 127.0.0.1 and run before the main package."""
    print("== a quiet setup with a prerequisite served by nginx on 127.0.0.1")
    harness.uninstall(os.path.join(work, "KorveltSample.msi"))
    served = os.path.join(work, "served")
    os.makedirs(served)
    runtime = os.path.join(served, "KorveltSampleRuntime.exe")
    # A program that writes down that it ran, standing in for a runtime's setup.
    shutil.copy(os.path.join(harness.TOOLS, "fake_prereq.exe"), runtime)
    log = os.path.join(work, "runtime-ran.log")
    quiet = os.path.join(work, "quiet")
    os.makedirs(quiet)
    with servers.Nginx(served) as nginx:
        setup = pack_with_runtime(work, quiet, nginx, "q", log)
        code, _ = harness.run_windows('"%s"' % harness.windows_path(setup), cwd=quiet, timeout=300)
        requests = nginx.requests()
    print("exit code", code)
    for request in requests:
        print("nginx served: %s %s, status %d, %d bytes" % (request.method, request.path, request.status,
                                                           request.sent))
    fetched = os.path.join(quiet, "KorveltSampleRuntime.exe")
    if os.path.exists(fetched):
        print("downloaded into the setup's folder: %s, %d bytes" % (fetched, os.path.getsize(fetched)))
    if os.path.exists(log):
        with open(log, encoding="latin-1") as lines:
            for line in lines:
                name, path, tail = line.rstrip().split("|", 2)
                print("the prerequisite ran: %s with \"%s\"" % (path, tail))
    else:
        print("the prerequisite did not run")
        return 1
    installed = os.path.join(harness.PREFIX_C, "Program Files", "Korvelt Sample", "readme.txt")
    # The installer gives its files their packaged times; the change time is
    # when they were written.
    if not os.path.exists(installed) or os.stat(installed).st_ctime < os.path.getmtime(log):
        print("the main package was not installed after the prerequisite")
        return 1
    print("then the main package installed C:\\Program Files\\Korvelt Sample\\readme.txt")
    if code != 0:
        return 1
    return wizard_run(work)


def wizard_run(work):
    """The same setup without the quiet option: the wizard, walked through
    with clicks as a user would, downloads and installs the runtime, then
    Finish installs the main package."""
    print("== the wizard: the same prerequisite, without the quiet option, driven with xdotool")
    harness.uninstall(os.path.join(work, "KorveltSample.msi"))
    served = os.path.join(work, "served")
    log = os.path.join(work, "wizard-ran.log")
    folder = os.path.join(work, "wizard")
    os.makedirs(folder)
    with servers.Nginx(served) as nginx:
        setup = pack_with_runtime(work, folder, nginx, "", log)
        watcher = driver.Watcher()
        run = watcher.watch(harness.start_windows('"%s"' % harness.windows_path(setup), cwd=folder))
        try:
            def step(test, what):
                return watcher.wait_for(lambda d: d.caption == TITLE and test(d), what=what)

            def button(id):
                return lambda d: d.control(id=id) is not None and d.control(id=id).enabled

            info = step(button(NEXT), "the Information page")
            print("the wizard opens on its Information page; Next is enabled; clicking Next")
            driver.click(info.control(id=NEXT))
            page = step(lambda d: d.control(id=LIST) is not None and d.control(id=LIST).rows, "the list")
            for row in page.control(id=LIST).rows:
                print("  the list shows: %s" % " | ".join(row))
            print("  hint: %s" % page.control(id=HINT).text)
            print("clicking Next: the download dialog fetches the runtime from nginx")
            driver.click(page.control(id=NEXT))
            page = step(lambda d: d.control(id=HINT) is not None and d.control(id=HINT).text.endswith(
                "install the prerequisites."), "the install step")
            print("  downloaded; the list shows: %s" % " | ".join(page.control(id=LIST).rows[0]))
            print("clicking Next: the runtime's setup program runs")
            driver.click(page.control(id=NEXT))
            page = step(lambda d: d.control(id=HINT) is not None and d.control(id=HINT).text.startswith(
                "Please press the Finish"), "the finish step")
            print("  the list shows: %s; hint: %s" % (" | ".join(page.control(id=LIST).rows[0]),
                                                     page.control(id=HINT).text))
            shot = harness.screenshot("demo-wizard-finish")
            print("  screenshot:", shot)
            print("clicking Finish: the main package installs")
            driver.click(page.control(id=FINISH))
            code = harness.finish(run, timeout=300)
        finally:
            watcher.stop()
            if run.poll() is None:
                run.kill()
    print("exit code", code)
    installed = os.path.join(harness.PREFIX_C, "Program Files", "Korvelt Sample", "readme.txt")
    ran = os.path.exists(log)
    print("the runtime ran:", "yes" if ran else "no", "| the main package installed:",
          "yes" if os.path.exists(installed) else "no")
    if code != 0 or not ran or not os.path.exists(installed):
        return 1
    return layout_run(work)


def layout_run(work):
    """A layout of the quiet setup: the setup and the runtime it downloads,
    in a new folder; then, with nginx stopped, the setup started from there
    installs the runtime and the main package."""
    print("== a layout: setup.exe /layout:layout, then an install from it with nginx stopped")
    harness.uninstall(os.path.join(work, "KorveltSample.msi"))
    log = os.path.join(work, "layout-ran.log")
    source = os.path.join(work, "layout-source")
    os.makedirs(source)
    layout = os.path.join(work, "layout")
    with servers.Nginx(os.path.join(work, "served")) as nginx:
        setup = pack_with_runtime(work, source, nginx, "q", log)
        code, _ = harness.run_windows('"%s" /layout:layout' % harness.windows_path(setup), cwd=work, timeout=300)
    print("exit code", code)
    for name in sorted(os.listdir(layout)) if os.path.isdir(layout) else []:
        print("  %-28s %10d bytes  in %s" % (name, os.path.getsize(os.path.join(layout, name)), layout))
    print("nginx is stopped; running layout\\setup.exe")
    installed_code, _ = harness.run_windows('"%s"' % harness.windows_path(os.path.join(layout, "setup.exe")),
                                            cwd=layout, timeout=300)
    print("exit code", installed_code)
    installed = os.path.join(harness.PREFIX_C, "Program Files", "Korvelt Sample", "readme.txt")
    ran = os.path.exists(log)
    if ran:
        with open(log, encoding="latin-1") as lines:
            for line in lines:
                print("the prerequisite ran: %s" % line.split("|")[1])
    print("the runtime ran:", "yes" if ran else "no", "| the main package installed:",
          "yes" if os.path.exists(installed) else "no")
    return 0 if code == 0 and installed_code == 0 and ran and os.path.exists(installed) else 1


if __name__ == "__main__":
    sys.exit(main())
