#!/usr/bin/env python3
"""Two rules of the code's structure that no compiler checks.

The include graph points down: every file belongs to a layer, a file may
include only files of its own layer or of layers below it, and no two
modules (a header with its implementation) include each other, directly or
round a circle. Every function of the OS interface stands in the seam's
table test, so a new system call cannot bypass the seam unseen. And the
system is called only from its table of calls (support/os/<system>/
system_calls.h): a system routine named anywhere else in the OS layer, or
a system header included outside it, is a raw call.

The build follows the folders too: given the build directory (its
compile_commands.json), every file of the stub's folders is compiled into
its folder's library (sfx_<folder>; the OS layer's seamed build and its
system's part, sfx_system, are the OS folder's too) or only into the
programs that own it (entry points, process frames), never into a
library of another folder or into two.

Prints the arrows between layers and each violation; exits 1 on any.
"""
import collections
import json
import os
import re
import subprocess
import sys

# One layer per folder, bottom first. The platform's interface for the
# run-time library (memory, the end of the process, which system this is)
# lies below that library; the OS layer uses the library's strings and
# lies above it. Two folders of one rank include nothing of each other.
LAYERS = [
    ["support/base"],
    ["support/platform"],
    ["support/runtime"],
    ["support/text", "support/inflate"],
    ["support/os"],
    ["package"],
    ["extract"],
    ["join", "cleanup"],
    ["driver"],
    ["tools"],
]


def layer_of(path):
    for rank, folders in enumerate(LAYERS):
        if any(path.startswith(folder + "/") for folder in folders):
            return rank
    return None


def module_of(path):
    for folders in LAYERS:
        for folder in folders:
            if path.startswith(folder + "/"):
                return folder
    return None


# The OS interface's headers (without the seam itself and the build's
# choice of system) and the test that calls each of their functions.
OS_HEADERS = [
    "support/os/files.h", "support/os/directory.h", "support/os/paths.h", "support/os/system.h",
    "support/os/fault.h", "support/os/process.h", "support/platform/memory.h",
    "support/platform/process_exit.h",
]
SEAM_TABLE = "tests/unit/files_test.cpp"
# What needs no row of its own: answers that cannot fail, releases, the
# pause (which an armed seam skips) and what the process frame provides.
NOT_SEAMED = {
    "last_error", "close_directory", "random_bits", "system_is_nt",
    "load_code_page", "pause_ms", "system_free", "install_fault_handler", "argument_count",
    "argument", "remove_unfinished", "harden_dll_search", "show_message", "end_process",
    "allocation_base", "write_standard", "arguments_behind",
}


def without_comments_and_strings(source):
    source = re.sub(r"//[^\n]*|/\*.*?\*/", "", source, flags=re.S)
    return re.sub(r'"(\\.|[^"\\\n])*"', '""', source)


def unseamed_functions():
    with open(SEAM_TABLE) as text:
        table = text.read()
    table = table[table.index("EveryOsFunctionAsksTheSeam"):]
    table = table[: table.index("\n}\n")]
    # A name in a comment or a row's label covers nothing: the row calls it.
    table = without_comments_and_strings(table)
    missing = []
    for header in OS_HEADERS:
        with open(header) as text:
            source = without_comments_and_strings(text.read())
        for name in re.findall(r"^[\w\[\]: *]*?\b(\w+)\([^;{]*\);", source, re.M):
            if name not in NOT_SEAMED and not re.search(rf"\b{name}\b", table):
                missing.append(f"not in the seam's table: {name} ({header})")
    return missing


# The tables of system calls, and what the OS layer may call that looks
# like a system routine but is none: a macro that fills a structure.
TABLE = re.compile(r"^support/os/(system_call\.h|\w+/system_calls\.h)$")
NOT_A_CALL = {"InitializeObjectAttributes"}
# The stub's own C run-time routines, which define what they are named.
DEFINES_ROUTINES = {"support/os/win32/crt.cpp"}
SYSTEM_HEADER = re.compile(
    r"#include <(windows|shellapi|winternl|winioctl|unistd|fcntl|dirent|dlfcn|malloc|ucontext|"
    r"sys/[\w/]+)\.h>")


def raw_calls(files):
    tables = [f for f in files if TABLE.match(f)]
    routines = set()
    for table in tables:
        with open(table) as text:
            source = without_comments_and_strings(text.read())
        # Every routine a row reaches, named with its global or std:: scope.
        routines.update(re.findall(r"(?<![\w:])(?:::|std::)(\w+)", source))
    types = set()
    for f in files:
        with open(f, errors="replace") as text:
            types.update(re.findall(r"\b(?:struct|class|using|enum class)\s+(\w+)", text.read()))
    problems = []
    for f in files:
        if TABLE.match(f) or f in DEFINES_ROUTINES or f.startswith("tools/"):
            continue
        with open(f, errors="replace") as text:
            source = text.read()
        if not f.startswith("support/os/"):
            for header in SYSTEM_HEADER.findall(source):
                problems.append(f"system header outside the OS layer: {f} includes <{header}.h>")
            continue
        source = without_comments_and_strings(source)
        for qualifier, name in re.findall(r"(?<![\w.>])((?:\w*::)?)(\w+)\s*\(", source):
            raw = (name in routines and qualifier != "sys::") or (
                qualifier == "::" or (qualifier == "" and re.match(r"[A-Z][a-z0-9]+[A-Z]", name)
                                      and name not in types and name not in NOT_A_CALL))
            if raw:
                problems.append(f"raw system call outside the table: {f}: {qualifier}{name}")
    return sorted(set(problems))


def library_problems(build_directory):
    with open(os.path.join(build_directory, "compile_commands.json")) as text:
        commands = json.load(text)
    root = os.getcwd() + "/"
    targets = collections.defaultdict(set)
    for command in commands:
        path = command["file"].replace(root, "")
        found = re.search(r"CMakeFiles/([^/]+)\.dir/", command.get("output", command["command"]))
        if found and layer_of(path) is not None and not path.startswith("tools/"):
            targets[path].add(found.group(1))
    problems = []
    for path, names in sorted(targets.items()):
        libraries = {name for name in names if name.startswith("sfx_")}
        if not libraries:
            continue  # a program's own file
        folder = module_of(path).split("/")[-1]
        allowed = {f"sfx_{folder}", f"sfx_{folder}_seam"}
        if folder == "os":
            allowed.add("sfx_system")
        if not libraries <= allowed or len(libraries - {f"sfx_{folder}_seam"}) > 1:
            problems.append(f"not in its folder's library: {path} in {', '.join(sorted(names))}")
    return problems


def main():
    if len(sys.argv) > 1:
        sys.argv[1] = os.path.abspath(sys.argv[1])
    os.chdir(os.path.join(os.path.dirname(__file__), ".."))
    files = subprocess.check_output(["git", "ls-files", "*.cpp", "*.h"], text=True).split()
    files = [f for f in files if layer_of(f) is not None]
    edges = collections.defaultdict(set)
    for f in files:
        with open(f, errors="replace") as text:
            for line in text:
                m = re.match(r'#include "([^"]+)"', line)
                if m and os.path.exists(m.group(1)):
                    edges[f].add(m.group(1))
    problems = []
    arrows = collections.Counter()
    for f, targets in edges.items():
        for t in targets:
            a, b = layer_of(f), layer_of(t)
            if b is None:
                continue
            if b > a:
                problems.append(f"upward: {f} includes {t}")
            elif a == b and module_of(f) != module_of(t):
                problems.append(f"sideways: {f} includes {t}")
            elif a != b:
                arrows[(a, b)] += 1
    # Circles between modules (a header and its implementation are one).
    module = lambda f: re.sub(r"\.(h|cpp)$", "", f)
    graph = collections.defaultdict(set)
    for f, targets in edges.items():
        for t in targets:
            if module(f) != module(t):
                graph[module(f)].add(module(t))
    state = {}

    def visit(node, path):
        state[node] = "open"
        for nxt in sorted(graph[node]):
            if state.get(nxt) == "open":
                problems.append("circle: " + " -> ".join(path[path.index(nxt):] + [nxt]))
            elif nxt not in state:
                visit(nxt, path + [nxt])
        state[node] = "done"

    for node in sorted(graph):
        if node not in state:
            visit(node, [node])
    problems += unseamed_functions()
    problems += raw_calls(files)
    if len(sys.argv) > 1:
        problems += library_problems(sys.argv[1])
    name = lambda rank: "+".join(folder.split("/")[-1] for folder in LAYERS[rank])
    for (a, b), count in sorted(arrows.items()):
        print(f"{name(a):>13} -> {name(b):<13} {count:3} includes")
    for problem in problems:
        print(problem)
    print(f"{len(files)} files, {sum(len(t) for t in edges.values())} includes, {len(problems)} problems")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
