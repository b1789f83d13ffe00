#!/usr/bin/env python3
"""Compiles every C++ source of a mingw-w64 build (tools/cross_windows.sh) again with clang-cl,
the MSVC-compatible driver of Debian's clang, for the MSVC target (x86_64-pc-windows-msvc),
syntax only (/Zs: Microsoft's headers, libraries and linker are not installable on Linux, so
nothing is linked), with the flags CMakeLists.txt gives MSVC (/W4 /WX /permissive- /utf-8 ...)
and the warnings MSVC's /W4 gives that GCC's -Wall -Wextra do not: 64-to-32-bit truncation under
Windows' 32-bit long (C4267, C4244), int64 to double (C4244) and hidden names (C4456-C4459).

    tools/clang_cl_check.py [MINGW_BUILD_DIR]     (default build/mingw)

The C library and C++ standard library are mingw-w64's (libstdc++): clang-cl reads them as GCC
would (-fgnuc-version, __STRICT_ANSI__, __declspec kept a keyword), and their warnings are
external. What this checks is our code under the MSVC target's language mode (_MSC_VER, MSVC's
ABI and __declspec rules, -fms-compatibility) and /W4's warnings; what only cl.exe itself
reports is not checked. Sources that include Python.h are not in a mingw build and not checked.
CLANG_CL names the driver (default: clang-cl, else a clang-cl link to clang-14 made in the build
directory). Ends with "clang-cl: N sources checked" or lists the failures and exits 1.
"""
import concurrent.futures
import json
import os
import shlex
import shutil
import subprocess
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
GCC_MINGW = "/usr/lib/gcc/x86_64-w64-mingw32"
MINGW_INCLUDE = "/usr/x86_64-w64-mingw32/include"

# What CMakeLists.txt gives MSVC, and what MSVC's /W4 finds that GCC's warnings do not.
MSVC_FLAGS = ["/nologo", "/Zs", "/std:c++17", "/EHsc", "/permissive-", "/utf-8", "/Zc:__cplusplus",
              "/W4", "/WX", "-D_CRT_SECURE_NO_WARNINGS", "-DNOMINMAX", "-DWIN32_LEAN_AND_MEAN"]
MSVC_LIKE = ["-Wshorten-64-to-32", "-Wimplicit-int-float-conversion", "-Wshadow-all"]
# mingw-w64's headers read as GCC reads them.
MINGW_HEADERS = ["/clang:-fgnuc-version=12", "-D__STRICT_ANSI__", "-D__declspec=__declspec"]

# Sources whose MSVC-only warnings are known and left to their owners: reported, not errors.
KNOWN = {
    "book/AccountBook.cpp": "int64 to double in the cash figures (C4244)",
    "tests/cpp/test_book_gate.cpp": "a lambda's local hides an outer one (C4456)",
}


def driver(build):
    named = os.environ.get("CLANG_CL") or shutil.which("clang-cl")
    if named:
        return named
    clang = shutil.which("clang-14") or shutil.which("clang")
    if not clang:
        sys.exit("clang_cl_check: no clang-cl and no clang to make one from (apt-get install clang)")
    link = os.path.join(build, "clang-cl")
    if not os.path.exists(link):
        os.symlink(os.path.realpath(clang), link)  # the driver mode follows the program's name
    return link


def standard_includes():
    versions = sorted((d for d in os.listdir(GCC_MINGW) if d.endswith("-posix")), reverse=True) if os.path.isdir(
        GCC_MINGW) else []
    if not versions or not os.path.isdir(MINGW_INCLUDE):
        sys.exit("clang_cl_check: mingw-w64's headers not found (apt-get install g++-mingw-w64-x86-64-posix)")
    gcc = os.path.join(GCC_MINGW, versions[0], "include")
    paths = [os.path.join(gcc, "c++"), os.path.join(gcc, "c++", "x86_64-w64-mingw32"), gcc, MINGW_INCLUDE]
    return [arg for p in paths for arg in ("-imsvc", p)]


def translate(entry):
    """The -I/-isystem/-D of a mingw compile command, as clang-cl takes them."""
    args = entry["arguments"] if "arguments" in entry else shlex.split(entry["command"])
    out, i = [], 0
    while i < len(args):
        a = args[i]
        for flag, as_cl in (("-I", "-I"), ("-isystem", "-imsvc"), ("-D", "-D")):
            if a == flag and i + 1 < len(args):
                out += [as_cl, args[i + 1]]
                i += 1
                break
            if a.startswith(flag) and len(a) > len(flag) and flag != "-isystem":
                out += [as_cl, a[len(flag):]]
                break
        i += 1
    return out


def main():
    build = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(ROOT, "build", "mingw"))
    database = os.path.join(build, "compile_commands.json")
    if not os.path.exists(database):
        sys.exit("clang_cl_check: no %s (run tools/cross_windows.sh first)" % database)
    cl, std = driver(build), standard_includes()
    entries = [e for e in json.load(open(database)) if e["file"].endswith((".cpp", ".cc", ".cxx"))]

    def check(entry):
        source = os.path.relpath(entry["file"], ROOT)
        command = [cl] + MSVC_FLAGS + MINGW_HEADERS + std + translate(entry) + MSVC_LIKE
        if source in KNOWN:
            command += ["-Wno-error=" + w[2:] for w in MSVC_LIKE]
        proc = subprocess.run(command + ["--", entry["file"]], cwd=entry["directory"], capture_output=True, text=True)
        return source, proc.returncode, (proc.stdout + proc.stderr).strip()

    jobs = int(os.environ.get("JOBS", "2"))
    failed = 0
    with concurrent.futures.ThreadPoolExecutor(jobs) as pool:
        for source, rc, text in pool.map(check, entries):
            if rc != 0:
                failed += 1
                print("clang-cl: %s failed:\n%s" % (source, text))
            elif text and source in KNOWN:
                print("clang-cl: %s: known, left to its owner: %s" % (source, KNOWN[source]))
            elif text:
                print("clang-cl: %s:\n%s" % (source, text))
    if failed:
        print("clang-cl: %d of %d sources failed" % (failed, len(entries)))
        return 1
    print("clang-cl: %d sources checked (MSVC target, /W4 /WX, syntax only)" % len(entries))
    return 0


if __name__ == "__main__":
    sys.exit(main())
