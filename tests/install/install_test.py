"""The installed tree, as a developer outside the source tree meets it.

Installs the build to a temporary prefix, then: the files are where GNUInstallDirs puts
them; the shared library exports exactly the header's functions; a C program built with
pkg-config and a C and a C++ program built with find_package(pelkor16) each print the
IMEI of the installed phonesim; the installed tool carries no build-tree RUNPATH and,
moved to another prefix, still finds its library, phonesim and the examples.

Environment: PELKOR_BUILD_DIR (the build tree), PELKOR_SOURCE_DIR.
"""
import json
import os
import pathlib
import shutil
import subprocess
import sys
import tempfile
import unittest

BUILD = pathlib.Path(os.environ["PELKOR_BUILD_DIR"])
SOURCE = pathlib.Path(os.environ["PELKOR_SOURCE_DIR"])
HERE = pathlib.Path(__file__).resolve().parent
IMEI = "356938035643809"

sys.path.insert(0, str(SOURCE / "tests" / "windows"))
from check_dll_exports import header_exports  # noqa: E402


def run(*args, env=None, cwd=None, timeout=120):
    return subprocess.run([str(a) for a in args], check=True, capture_output=True, text=True,
                          env=env, cwd=cwd, timeout=timeout)


def plain_env(**extra):
    """The environment without anything that points into the build tree."""
    env = {k: v for k, v in os.environ.items()
           if k not in ("LD_LIBRARY_PATH", "PELKOR_PHONESIM", "PELKOR_EXAMPLES", "PKG_CONFIG_PATH",
                        "CMAKE_PREFIX_PATH")}
    env.update(extra)
    return env


class Phonesim:
    """The installed phonesim on a pseudo-terminal, with a state of its own."""

    def __init__(self, program, state_dir):
        state = pathlib.Path(state_dir) / "state.json"
        state.write_text(json.dumps({"identity": {"imei": IMEI}}))
        self.process = subprocess.Popen([str(program), "--state", str(state)], stdout=subprocess.PIPE,
                                        stdin=subprocess.DEVNULL, text=True)
        self.device = self.process.stdout.readline().strip()

    def close(self):
        self.process.terminate()
        self.process.wait(timeout=10)
        self.process.stdout.close()


class InstalledTree(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.work = pathlib.Path(tempfile.mkdtemp(prefix="pelkor-install-"))
        cls.prefix = cls.work / "prefix"
        run("cmake", "--install", BUILD, "--prefix", cls.prefix)
        libdirs = [d for d in ("lib", "lib64") if (cls.prefix / d / "libpelkor16.so").exists()]
        if not libdirs:
            libdirs = [p.parent.relative_to(cls.prefix) for p in cls.prefix.glob("lib/*/libpelkor16.so")]
        cls.libdir = cls.prefix / libdirs[0]
        cls.phone = Phonesim(cls.prefix / "bin" / "phonesim", cls.work)

    @classmethod
    def tearDownClass(cls):
        cls.phone.close()
        shutil.rmtree(cls.work, ignore_errors=True)

    def test_gateway_daemon_comes_with_its_unit_and_man_page(self):
        daemon = self.prefix / "bin" / "pelkor-smsd"
        if not daemon.exists():
            self.skipTest("pelkor-smsd is not built here (it needs libsqlite3-dev, libpq-dev, libinih-dev)")
        self.assertTrue((self.prefix / "share/man/man8/pelkor-smsd.8").exists())
        unit = (self.prefix / "lib/systemd/system/pelkor-smsd.service").read_text()
        self.assertIn(f"ExecStart={daemon} --config /etc/pelkor-smsd.conf", unit)
        help_text = run(daemon, "--help").stdout
        self.assertIn("inject", help_text)

    def test_files_are_installed_where_a_developer_looks(self):
        for relative in ("include/pelkor16.h", "include/pelkor16.hpp", "bin/pelkor", "bin/phonesim",
                         "share/man/man1/pelkor.1", "share/man/man1/phonesim.1",
                         "share/pelkor16/examples/phone-state.json",
                         "share/pelkor16/examples/logos/operator.nol"):
            self.assertTrue((self.prefix / relative).exists(), relative)
        for relative in ("pkgconfig/pelkor16.pc", "cmake/pelkor16/pelkor16Config.cmake",
                         "cmake/pelkor16/pelkor16ConfigVersion.cmake", "cmake/pelkor16/pelkor16Targets.cmake"):
            self.assertTrue((self.libdir / relative).exists(), relative)
        # The development link points at the soname, the soname at the real file.
        self.assertEqual(os.readlink(self.libdir / "libpelkor16.so"), "libpelkor16.so.0")
        self.assertTrue(os.readlink(self.libdir / "libpelkor16.so.0").startswith("libpelkor16.so.0."))
        soname = run("readelf", "-d", self.libdir / "libpelkor16.so").stdout
        self.assertIn("Library soname: [libpelkor16.so.0]", soname)

    def test_library_exports_exactly_the_header_functions(self):
        declared = set(header_exports(self.prefix / "include" / "pelkor16.h"))
        self.assertIn("pelkor_strerror", declared)
        listing = run("nm", "-D", "--defined-only", self.libdir / "libpelkor16.so").stdout
        exported = {line.split()[-1].split("@")[0] for line in listing.splitlines() if line.strip()}
        self.assertEqual(exported - declared, set(), "exported but not declared")
        self.assertEqual(declared - exported, set(), "declared but not exported")

    def test_pkg_config_finds_the_library_and_a_c_program_reads_the_imei(self):
        env = plain_env(PKG_CONFIG_PATH=str(self.libdir / "pkgconfig"))
        flags = run("pkg-config", "--cflags", "--libs", "pelkor16", env=env).stdout.split()
        paths = {flag[:2]: os.path.normpath(flag[2:]) for flag in flags if flag[:2] in ("-I", "-L")}
        self.assertEqual(paths, {"-I": str(self.prefix / "include"), "-L": str(self.libdir)})
        self.assertEqual(run("pkg-config", "--modversion", "pelkor16", env=env).stdout.strip(),
                         self.installed_version())
        program = self.work / "print_imei_pc"
        run("cc", "-std=c99", "-Wall", "-Werror", HERE / "consumer" / "print_imei.c", "-o", program, *flags,
            f"-Wl,-rpath,{self.libdir}", env=env)
        self.assertIn(f"IMEI {IMEI}\n", run(program, self.phone.device, env=plain_env()).stdout)

    def test_find_package_builds_c_and_cpp_programs_that_read_the_imei(self):
        build = self.work / "consumer-build"
        run("cmake", "-S", HERE / "consumer", "-B", build, f"-DCMAKE_PREFIX_PATH={self.prefix}",
            "-DCMAKE_BUILD_TYPE=Release", env=plain_env())
        run("cmake", "--build", build, env=plain_env(), timeout=300)
        for name in ("print_imei", "print_imei_cpp"):
            output = run(build / name, self.phone.device, env=plain_env()).stdout
            self.assertIn(f"IMEI {IMEI}\n", output, name)
            self.assertIn(f"version {self.installed_version()}\n", output, name)

    def test_installed_tool_moves_with_its_prefix(self):
        tool = self.prefix / "bin" / "pelkor"
        dynamic = run("readelf", "-d", tool).stdout
        runpaths = [line for line in dynamic.splitlines() if "RUNPATH" in line or "RPATH" in line]
        self.assertEqual(len(runpaths), 1, dynamic)
        self.assertIn("[$ORIGIN/../lib", runpaths[0])
        self.assertNotIn(str(BUILD.resolve()), dynamic)
        moved = self.work / "moved"
        shutil.copytree(self.prefix, moved, symlinks=True)
        env = plain_env(PATH="/usr/bin:/bin")
        # No --port: the tool starts the phonesim beside it.
        identify = run(moved / "bin" / "pelkor", "--json", "identify", env=env, timeout=60)
        self.assertEqual(json.loads(identify.stdout)["imei"], "490154203237518")
        demo_help = run(moved / "bin" / "pelkor", "demo", "--help", env=env).stdout
        self.assertIn(str(moved / "share" / "pelkor16" / "examples"), demo_help)

    @unittest.skipUnless(os.environ.get("PELKOR_VENV_PYTHON"), "no interpreter with venv")
    def test_python_package_installs_with_pip_and_uses_the_installed_library(self):
        venv = self.work / "venv"
        # The system's setuptools builds the package: no index is reached.
        run(os.environ["PELKOR_VENV_PYTHON"], "-m", "venv", "--system-site-packages", venv)
        # Built from a copy: setuptools writes its build files beside the sources.
        package = self.work / "python-package"
        shutil.copytree(SOURCE / "bindings" / "python", package,
                        ignore=shutil.ignore_patterns("__pycache__", "build", "*.egg-info"))
        run(venv / "bin" / "python", "-m", "pip", "install", "--no-index", "--no-build-isolation",
            "--quiet", package, timeout=300)
        script = ("import pelkor16, sys\n"
                  "print(pelkor16.__file__)\n"
                  "with pelkor16.Phone(sys.argv[1]) as phone: print('IMEI', phone.imei)\n")
        env = plain_env(PELKOR16_LIBRARY=str(self.libdir / "libpelkor16.so.0"))
        env.pop("PYTHONPATH", None)
        output = run(venv / "bin" / "python", "-c", script, self.phone.device, env=env, cwd=self.work).stdout
        self.assertIn(str(venv), output.splitlines()[0])
        self.assertIn(f"IMEI {IMEI}", output)

    def installed_version(self):
        text = (self.libdir / "cmake" / "pelkor16" / "pelkor16ConfigVersion.cmake").read_text()
        return text.split('set(PACKAGE_VERSION "', 1)[1].split('"', 1)[0]


if __name__ == "__main__":
    unittest.main()
