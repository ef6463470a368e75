"""Builds koru._koru: the pybind11 module over the engine, compiled from this
repository's sources with the flags of the CMake Release build, so that every
number matches the console program's bit for bit.

In the repository (pip install --no-build-isolation ./python) the engine's
folders are reached as ../core, ../lp and so on. A source distribution
(python -m build --no-isolation python/) carries a copy of them, with
CMakeLists.txt and the licence, under engine/, and builds from there. The list
of engine sources and the version are read from CMakeLists.txt, the one place
that names them.
"""

import glob
import os
import platform
import re
from concurrent.futures import ThreadPoolExecutor

import pybind11
from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext
from setuptools.command.sdist import sdist

HERE = os.path.dirname(os.path.abspath(__file__))
# The engine: the copy a source distribution carries, or the repository.
ROOT = os.path.join(HERE, "engine") if os.path.isdir(os.path.join(HERE, "engine")) else os.path.dirname(HERE)

with open(os.path.join(ROOT, "CMakeLists.txt"), encoding="utf-8") as cmake_file:
    CMAKE = cmake_file.read()


def cmake_match(pattern, what):
    match = re.search(pattern, CMAKE, re.S)
    if match is None:
        raise SystemExit(f"koru setup.py: CMakeLists.txt no longer shows {what}; update python/setup.py")
    return match


def engine_version():
    return cmake_match(r"project\(KORU VERSION ([0-9.]+)", "the project's version").group(1)


def engine_sources():
    """The sources of the engine library target, as CMakeLists.txt globs them."""
    match = cmake_match(r"file\(GLOB (KORU_ENGINE_SOURCES|KORU_CORE_SOURCES)(?: CONFIGURE_DEPENDS)?\s+([^)]*)\)",
                        "the glob of the engine's sources")
    variable, patterns = match.group(1), match.group(2).split()
    removed = set()
    for items in re.findall(r"list\(REMOVE_ITEM " + variable + r"\s+([^)]*)\)", CMAKE):
        for item in items.split():
            removed.add(os.path.normpath(item.replace("${CMAKE_CURRENT_SOURCE_DIR}", ROOT)))
    sources = []
    for pattern in patterns:
        for path in sorted(glob.glob(os.path.join(ROOT, pattern))):
            if os.path.normpath(path) not in removed:
                # setup() takes paths relative to this folder.
                sources.append(os.path.relpath(path, HERE))
    return sources


def engine_folders():
    """The folders of the engine's sources, as the glob of CMakeLists.txt names them."""
    match = cmake_match(r"file\(GLOB (KORU_ENGINE_SOURCES|KORU_CORE_SOURCES)(?: CONFIGURE_DEPENDS)?\s+([^)]*)\)",
                        "the glob of the engine's sources")
    return sorted({os.path.dirname(pattern) for pattern in match.group(2).split()})


class EngineSdist(sdist):
    """Puts a copy of the engine's sources, CMakeLists.txt and the licence
    into the source distribution, so that it builds away from the repository."""

    def make_release_tree(self, base_dir, files):
        super().make_release_tree(base_dir, [f for f in files if not f.startswith("..")])
        if os.path.abspath(ROOT) == os.path.abspath(os.path.join(HERE, "engine")):
            self.copy_tree(ROOT, os.path.join(base_dir, "engine"))
            return
        copied = ["CMakeLists.txt", "LICENSE", "NEWS"]
        for folder in engine_folders() + ["include/koru"]:
            for pattern in ("*.cpp", "*.h"):
                for path in sorted(glob.glob(os.path.join(ROOT, folder, pattern))):
                    copied.append(os.path.relpath(path, ROOT))
        for name in copied:
            target = os.path.join(base_dir, "engine", name)
            self.mkpath(os.path.dirname(target))
            self.copy_file(os.path.join(ROOT, name), target)
        self.copy_file(os.path.join(ROOT, "LICENSE"), os.path.join(base_dir, "LICENSE"))


X86_64 = platform.machine().lower() in ("x86_64", "amd64")
# The CMake Release build: -O3 -DNDEBUG, the warnings and the floating-point
# flags every target gets, C++17 without extensions. They come after Python's
# own flags, so they also undo those that change the code the CMake build
# makes (signed overflow wrapping, the stack protector): with them every
# engine object is instruction for instruction the CMake build's.
COMPILE_ARGS = ["-std=c++17", "-O3", "-Wall", "-Wextra", "-Wpedantic", "-ffp-contract=off", "-fno-fast-math",
                "-fno-wrapv", "-fno-stack-protector", "-fstrict-aliasing"]
# pybind11's advice for the module's own code; the engine keeps the default,
# as the CMake build compiles it.
MODULE_SOURCE = "src/module.cpp"
MODULE_ARGS = ["-fvisibility=hidden"]
MACROS = [
    ("NDEBUG", None),
    ("KORU_MAX_OBSERVATIONS", os.environ.get("KORU_MAX_OBSERVATIONS", "5000")),
    ("KORU_VERSION", f'"{engine_version()}"'),
    ("KORU_BUILD_TYPE", '"Release"'),
]
# lp/SimplexKernels.cpp chooses among the vector kernels compiled below.
if X86_64:
    MACROS.append(("KORU_VECTOR_KERNELS", None))
# The simplex's inner loops once more for each wider vector unit, as
# CMakeLists.txt compiles them: (path, its flag).
KERNEL_PATHS = [("avx2", "-mavx2"), ("avx512", "-mavx512f")] if X86_64 else []


def build_jobs():
    try:
        return max(1, len(os.sched_getaffinity(0)))
    except AttributeError:
        return os.cpu_count() or 1


class BuildEngine(build_ext):
    """Compiles the sources in parallel and adds the vector kernel objects."""

    def build_extension(self, ext):
        compiler = self.compiler

        def compile_in_parallel(sources, output_dir=None, macros=None, include_dirs=None, debug=0,
                                extra_preargs=None, extra_postargs=None, depends=None):
            macros, objects, extra_postargs, pp_opts, build = compiler._setup_compile(
                output_dir, macros, include_dirs, sources, depends, extra_postargs)
            cc_args = compiler._get_cc_args(pp_opts, debug, extra_preargs)

            def compile_one(obj):
                source, extension = build[obj]
                extra = extra_postargs + (MODULE_ARGS if source == MODULE_SOURCE else [])
                compiler._compile(obj, source, extension, cc_args, extra, pp_opts)

            with ThreadPoolExecutor(build_jobs()) as pool:
                list(pool.map(compile_one, objects))
            return objects

        compiler.compile = compile_in_parallel
        body = os.path.join(ROOT, "lp", "SimplexKernelsBody.cpp")
        kernel_objects = []
        for path, flag in KERNEL_PATHS:
            kernel_objects += compiler.compile(
                [body], output_dir=os.path.join(self.build_temp, "kernels_" + path),
                macros=MACROS + [("KORU_KERNEL_PATH", path)], include_dirs=ext.include_dirs,
                extra_postargs=COMPILE_ARGS + [flag])
        ext.extra_objects = list(ext.extra_objects or []) + kernel_objects
        super().build_extension(ext)


setup(
    version=engine_version(),
    packages=["koru"],
    ext_modules=[
        Extension(
            "koru._koru",
            sources=[MODULE_SOURCE] + engine_sources(),
            include_dirs=[ROOT, os.path.join(ROOT, "include"), pybind11.get_include()],
            define_macros=MACROS,
            extra_compile_args=COMPILE_ARGS,
            extra_link_args=["-pthread"],
            language="c++",
        )
    ],
    cmdclass={"build_ext": BuildEngine, "sdist": EngineSdist},
)
