#!/usr/bin/env python3
"""The documents against the code.

  doc_check.py <source folder> <build bin folder>

1. Runs every command line of the README's code blocks that follow the marker
   line "<!-- safe to run -->" (help, version, listings against the emulated
   cameras), with the build's programs first in PATH; each must exit with 0.
2. Every PELLUMO_, LENSBRIDGE_ and SENSORLINK_ environment variable that the
   README, docs/ and the man pages name is read somewhere in the code, and
   every such variable the code reads is named in one of them.
"""
import os
import re
import subprocess
import sys

source, bindir = sys.argv[1], sys.argv[2]
failures = []

NAME = r"(?:PELLUMO|LENSBRIDGE|SENSORLINK)_[A-Z0-9_]*[A-Z0-9]"


def read(path):
    with open(path, encoding="utf-8", errors="replace") as f:
        return f.read()


def documents():
    paths = [os.path.join(source, "README.md")]
    for folder in ("docs", "packaging/man"):
        for name in sorted(os.listdir(os.path.join(source, folder))):
            if name.endswith((".md", ".1", ".h2m")):
                paths.append(os.path.join(source, folder, name))
    return paths


def code_files():
    for folder in ("app", "camera", "usbsdk", "platform", "ui", "tools", "optics", "scripts", "tests", "bench"):
        for root, _, names in os.walk(os.path.join(source, folder)):
            for name in names:
                if name.endswith((".cpp", ".h", ".c", ".sh", ".py")):
                    yield os.path.join(root, name)


# ---- 1. the safe command lines ------------------------------------------
readme = read(os.path.join(source, "README.md")).split("\n")
commands = []
i = 0
while i < len(readme):
    if readme[i].strip() == "<!-- safe to run -->":
        i += 1
        while i < len(readme) and not readme[i].strip():
            i += 1
        if i < len(readme) and readme[i].startswith("```"):
            i += 1
            while i < len(readme) and not readme[i].startswith("```"):
                if readme[i].strip():
                    commands.append(readme[i].strip())
                i += 1
        else:
            while i < len(readme) and readme[i].startswith("    "):
                commands.append(readme[i].strip())
                i += 1
    i += 1
if not commands:
    failures.append("README: no command lines marked safe to run")
env = dict(os.environ)
env["PATH"] = bindir + os.pathsep + env.get("PATH", "")
env.setdefault("PELLUMO_DEBUG_LOG", "off")
env["ASAN_OPTIONS"] = "detect_leaks=0"
for command in commands:
    command = command.split("  #")[0].strip()
    run = subprocess.run(["bash", "-c", command], env=env, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                         timeout=60, cwd=source)
    if run.returncode != 0:
        failures.append("README command failed (%d): %s\n%s" % (run.returncode, command,
                                                                  run.stdout.decode(errors="replace")[-600:]))
    else:
        print("ok: ran", command)

# ---- 2. environment variables --------------------------------------------
# Names the documents give as settings: "NAME=", "`NAME`" in a table or text,
# ".B NAME" in a man page; not build options ("-DNAME") or macros ("NAME(").
documented = {}
for path in documents():
    text = read(path)
    for match in re.finditer(NAME, text):
        name, before, after = match.group(0), text[max(0, match.start() - 2):match.start()], text[match.end():match.end() + 1]
        if before.endswith("-D") or after == "(" or before.endswith("${"):
            continue
        documented.setdefault(name, os.path.relpath(path, source))

literals = set()
prefixes = set()
read_names = {}
all_reads = set()
for path in code_files():
    text = read(path)
    for literal in re.findall(r'"([A-Za-z0-9_]+)"', text):
        literals.add(literal)
        if re.fullmatch(NAME + "_?", literal) and literal.endswith("_"):
            prefixes.add(literal)
    reads = re.findall(r'getenv\(\s*"(' + NAME + r')"', text)
    reads += re.findall(r'setenv_if_unset\(\s*"(' + NAME + r')"', text)
    if path.endswith((".sh", ".py")):
        reads += re.findall(r"\$\{?(" + NAME + r")\b", text)
        reads += re.findall(r'environ(?:\.get\(|\[)\s*"(' + NAME + r')"', text)
    for name in reads:
        all_reads.add(name)
        # The program's own settings; scripts and tests document theirs in
        # their headers.
        if not path.endswith((".sh", ".py")) and "/tests/" not in path and "/bench/" not in path:
            read_names.setdefault(name, os.path.relpath(path, source))


def is_read(name):
    if name in all_reads or name in literals:
        return True
    # A family read as prefix + suffix ("SENSORLINK_EMULATE_" + "FOCUS").
    return any(name.startswith(p) and name[len(p):] in literals for p in prefixes)


# Build options and test macros share the prefixes but are no environment.
build_names = set()
for path in [os.path.join(source, "CMakeLists.txt")] + [
        os.path.join(source, "cmake", n) for n in os.listdir(os.path.join(source, "cmake"))]:
    build_names.update(re.findall(r"\b(" + NAME + r")\b", read(path)))
build_names.update(re.findall(r"#\s*define\s+(" + NAME + r")", "\n".join(read(p) for p in code_files())))

for name, where in sorted(documented.items()):
    if name in build_names or name.endswith("_TOOL"):
        continue
    if not is_read(name):
        failures.append("%s names %s, which nothing reads" % (where, name))
for name, where in sorted(read_names.items()):
    if name not in documented:
        failures.append("%s reads %s, which no document names" % (where, name))
print("ok: %d documented variables, %d read by the code" % (len(documented), len(read_names)))

for failure in failures:
    print("FAIL:", failure, file=sys.stderr)
sys.exit(1 if failures else 0)
