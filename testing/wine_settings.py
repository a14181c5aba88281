"""How each architecture's Win32 programs run under Wine, read from
testing/wine-x86.env and testing/wine-x64.env, the files build.sh and
testing/wine-run.sh source: for the end-to-end tests, the benchmarks and
the demo."""
import collections
import os

HERE = os.path.dirname(os.path.abspath(__file__))

# One architecture's settings: its name ("x86" or "x64") and the file's
# values, named as the file names them.
Settings = collections.namedtuple(
    "Settings", "arch loader wineloader winearch prefix win_build stub winedebug winedlloverrides")


def settings(arch):
    """The settings of `arch`, "x86" or "x64"."""
    values = {}
    with open(os.path.join(HERE, "wine-%s.env" % arch)) as lines:
        for line in lines:
            line = line.strip()
            if line and not line.startswith("#"):
                name, _, value = line.partition("=")
                values[name] = value
    return Settings(arch=arch, **values)


def environment(wine, build):
    """The process's environment set up to run programs with `wine`'s
    loader: the prefix in the `build` folder, the debug channels and the DLL
    overrides where the environment sets none of its own; the Wine
    architecture and WINELOADER always."""
    env = dict(os.environ)
    for name, value in (("WINEPREFIX", os.path.join(build, wine.prefix)), ("WINEDEBUG", wine.winedebug),
                        ("WINEDLLOVERRIDES", wine.winedlloverrides)):
        if not env.get(name):
            env[name] = value
    env["WINEARCH"] = wine.winearch
    if wine.wineloader:
        env["WINELOADER"] = wine.wineloader
    else:
        env.pop("WINELOADER", None)
    return env
