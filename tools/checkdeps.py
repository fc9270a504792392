#!/usr/bin/env python3
"""Checks that every #include goes with the grain of the layers.

    tools/checkdeps.py [source root]

A folder uses only what stands below it. LAYERS below is the one table of
what each folder may include: folders and headers of this tree, and kinds of
outside headers (the C++ standard library is allowed everywhere). The check
prints each include against the grain as "file:line: ..." and exits 1 when
there is one, 0 when there is none. A header named ...Internal.h may be
included only by the files beside it, by tests and by benchmarks.
"""

import os
import re
import sys

# Kinds of headers from outside the tree, by the first part of their path.
#   system     POSIX, the C library's own extensions, SQLite, the loader:
#              what only the layers that stand in for the operating system use
#   wx         wxWidgets, a portable library the product itself is written
#              against (the settings store, the start-up); its GUI half is
#              reached through compat/mfc's module
#   test       GoogleTest and GoogleMock
#   bench      Google Benchmark
#   icu        ICU, the reference the benchmarks compare with and the case
#              table's tests check against
#   fuzz       libFuzzer's interface
OUTSIDE_KINDS = [
    ("wx/", "wx"),
    ("gtest/", "test"),
    ("gmock/", "test"),
    ("benchmark/", "bench"),
    ("unicode/", "icu"),
    ("fuzzer/", "fuzz"),
]

# What each folder may include, top of the stack first. A folder may always
# include its own files. An entry names a folder (and everything below it) or
# one header. No key lies inside another.
_LUMO = ["localization", "settings", "chunkfile", "platform", "foundation"]
_BELOW_SHELL = ["langpacks"] + _LUMO
_COMPAT = ["compat/mfc", "compat/win32"]
LAYERS = {
    # The program. It shares exactly one header with the burn engine: the
    # contract of the launch record.
    "shell": (_BELOW_SHELL + _COMPAT + ["peers/orbcore/IgnisLaunch.h"], {"wx"}),
    # The application's language packs, written against the framework over
    # the base library.
    "langpacks": (_LUMO + _COMPAT, {"wx"}),
    # The base library lumo, in its folders.
    "localization": (["settings", "chunkfile", "platform", "foundation"] + _COMPAT, {"wx"}),
    "settings": (["chunkfile", "platform", "foundation"] + _COMPAT, {"wx"}),
    "chunkfile": (["platform", "foundation"] + _COMPAT, set()),
    "platform": (["foundation"] + _COMPAT, {"system"}),
    "foundation": (_COMPAT, set()),
    # What Windows and its framework provide, over this machine's system.
    "compat/mfc": (["compat/win32"], {"system", "wx"}),
    "compat/win32": ([], {"system"}),
    # The programs around the product, each written against compat alone.
    "peers/orbcore": (_COMPAT, {"system", "wx"}),
    "peers/kvn_spti": (_COMPAT, {"system"}),
    "peers/regedit": (_COMPAT, {"system"}),
    "peers/kvn_inet": (_COMPAT, {"system", "wx"}),
    "tools": (_BELOW_SHELL + _COMPAT, {"system"}),
    # Tests, benchmarks and fuzz targets reach whatever they check.
    "tests": (["shell", "peers", "tools", "tests"] + _BELOW_SHELL + _COMPAT,
              {"system", "wx", "test", "icu"}),
    "bench": (["shell", "peers"] + _BELOW_SHELL + _COMPAT, {"system", "wx", "bench", "icu"}),
    "fuzz": (["shell", "peers", "tools"] + _BELOW_SHELL + _COMPAT, {"system", "fuzz"}),
}

# The C++ standard library, with the C library's headers in both spellings,
# and the compilers' own ABI header (demangling) and SSE2 intrinsics header,
# which every C++ toolchain (for x86, the latter) ships beside it.
STANDARD = set("""
algorithm any array atomic barrier bit bitset charconv chrono codecvt compare
complex concepts condition_variable coroutine deque exception execution
expected filesystem format forward_list fstream functional future
initializer_list iomanip ios iosfwd iostream istream iterator latch limits list
locale map memory memory_resource mutex new numbers numeric optional ostream
queue random ranges ratio regex scoped_allocator semaphore set shared_mutex
source_location span sstream stack stdexcept stop_token streambuf string
string_view syncstream system_error thread tuple type_traits typeindex typeinfo
unordered_map unordered_set utility valarray variant vector version
cassert cctype cerrno cfenv cfloat cinttypes climits clocale cmath csetjmp
csignal cstdarg cstddef cstdint cstdio cstdlib cstring ctime cuchar cwchar
cwctype
assert.h ctype.h errno.h fenv.h float.h inttypes.h limits.h locale.h math.h
setjmp.h signal.h stdarg.h stddef.h stdint.h stdio.h stdlib.h string.h time.h
uchar.h wchar.h wctype.h
cxxabi.h emmintrin.h
""".split())

SOURCE_SUFFIXES = (".h", ".hpp", ".inc", ".c", ".cc", ".cpp")
INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^">]+)[">]')


def outside_kind(header):
    if header in STANDARD:
        return "std"
    for prefix, kind in OUTSIDE_KINDS:
        if header.startswith(prefix):
            return kind
    return "system"


def covers(entry, path):
    return path == entry or path.startswith(entry + "/")


def layer_of(path):
    """The LAYERS key that governs `path` (relative to the root), or None."""
    return next((key for key in LAYERS if covers(key, path)), None)


def check_file(root, path, problems):
    layer = layer_of(path)
    allowed, kinds = LAYERS[layer]
    with open(os.path.join(root, path), encoding="utf-8", errors="replace") as f:
        lines = f.readlines()
    in_block_comment = False
    for number, line in enumerate(lines, 1):
        # An #include inside a /* */ block is an example, not a dependency.
        if in_block_comment:
            if "*/" in line:
                in_block_comment = False
            continue
        if line.lstrip().startswith("/*") and "*/" not in line:
            in_block_comment = True
            continue
        match = INCLUDE.match(line)
        if not match:
            continue
        quote, header = match.groups()
        where = "%s:%d" % (path, number)
        if quote == "<":
            kind = outside_kind(header)
            if kind != "std" and kind not in kinds:
                problems.append("%s: <%s> is a %s header, which %s/ may not include"
                                % (where, header, kind, layer))
            continue
        # Quoted includes name a file of this tree from its root, or, in
        # tests, a helper beside the including file.
        if os.path.isfile(os.path.join(root, header)):
            target = os.path.normpath(header)
        else:
            beside = os.path.normpath(os.path.join(os.path.dirname(path), header))
            if not os.path.isfile(os.path.join(root, beside)):
                problems.append('%s: "%s" is no file of this tree' % (where, header))
                continue
            target = beside
        # A header named ...Internal.h serves the sources beside it (and
        # their tests and benchmarks); no other folder builds on it.
        if (target.endswith("Internal.h") and os.path.dirname(target) != os.path.dirname(path)
                and layer not in ("tests", "bench")):
            problems.append('%s: "%s" is internal to %s/' % (where, header, os.path.dirname(target)))
            continue
        if layer_of(target) == layer or any(covers(entry, target) for entry in allowed):
            continue
        problems.append('%s: "%s" is against the layering: %s/ may include %s'
                        % (where, header, layer, ", ".join(allowed) or "nothing of this tree"))


def source_files(root):
    for top in sorted({key.split("/")[0] for key in LAYERS}):
        for folder, dirs, files in os.walk(os.path.join(root, top)):
            dirs.sort()
            for name in sorted(files):
                if name.endswith(SOURCE_SUFFIXES):
                    yield os.path.relpath(os.path.join(folder, name), root)


def main(argv):
    root = argv[1] if len(argv) > 1 else os.path.join(os.path.dirname(os.path.abspath(__file__)), "..")
    root = os.path.abspath(root)
    if not os.path.isdir(os.path.join(root, "compat")):
        print("checkdeps: %s is not the source root" % root, file=sys.stderr)
        return 2
    problems = []
    count = 0
    for path in source_files(root):
        if layer_of(path) is None:
            continue
        count += 1
        check_file(root, path, problems)
    for problem in problems:
        print(problem)
    if problems:
        print("checkdeps: %d include(s) against the layering in %d files" % (len(problems), count))
        return 1
    print("checkdeps: %d files, every include with the grain" % count)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
