#!/usr/bin/env python3
"""Holds INTEGRATION.md, the guide a studio gets in the bundle, to the code.

- Each C sample in it (a ```c block) compiles as C99 and as C++17, for 32-bit
  and x86-64 Windows, with -Wall -Wextra -Werror -pedantic, against the
  q8_presence.h the build generates: a sample cannot go stale.
- Its C# sample (a ```csharp block) compiles with Mono's mcs, warnings as
  errors.
- Each kind of line Q8Doctor.exe can print (every format tools/doctor.cpp
  hands to Say, and every near-miss clause it hands to Append) is shown in it:
  a line of one of its code blocks, or one of its `code` spans, reads as that
  format, with any text in its fields. A doctor that gains a kind of line the
  guide does not show fails here.
- And the other way round, every line of the doctor's that the guide quotes is
  one it can still print: each line of a code block that shows the doctor's
  output (a block with any such line) and each line in the first column of
  the table of its lines reads as one of its formats, and each `code` span in
  the first column of the table of the mistakes it names reads as one, or is
  part of one of the doctor's texts. A field at a line's start (a label its
  caller passes) must hold one of the doctor's own texts there. A doctor that
  drops a kind of line the guide still quotes fails here.

    tests/guide/guide_test.py [GUIDE [DOCTOR_SOURCE]]
"""
import os
import re
import subprocess
import sys

root = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
guide_path = sys.argv[1] if len(sys.argv) > 1 else os.path.join(root, "INTEGRATION.md")
doctor_path = sys.argv[2] if len(sys.argv) > 2 else os.path.join(root, "tools", "doctor.cpp")
work = os.path.join(root, "build", "guide")
guide = open(guide_path, encoding="utf-8").read()
failures = []


def blocks_of(language):
    """The guide's code blocks in language, each with the number of its first line."""
    return [(guide.count("\n", 0, m.start()) + 2, m[1])
            for m in re.finditer(rf"^```{language}\n(.*?)^```$", guide, re.S | re.M)]


def compiles(language, number, line, sample, commands):
    """Writes the sample numbered number to build/guide and runs each command
    on it (its path last), adding a failure for each that fails."""
    source = os.path.join(work, f"sample{number}.{language}")
    with open(source, "w", encoding="utf-8") as f:
        f.write(sample)
    for what, command in commands:
        result = subprocess.run(command + [source], capture_output=True, text=True)
        if result.returncode != 0:
            failures.append(f"the sample at line {line} of {guide_path}, {what}:\n"
                            f"{result.stdout}{result.stderr}")


os.makedirs(work, exist_ok=True)
subprocess.run(["cmake", f"-DQ8_ROOT={root}", f"-DOUTPUT={work}/q8_presence.h", "-P",
                os.path.join(root, "cmake", "presence_header.cmake")], check=True)
samples = blocks_of("c")
for number, (line, sample) in enumerate(samples, 1):
    compiles("c", number, line, sample, [
        (f"as {language} for {arch}",
         [f"{arch}-w64-mingw32-{compiler}", "-x", language, standard, "-Wall", "-Wextra", "-Werror",
          "-pedantic", f"-I{work}", "-c", "-o", os.devnull])
        for arch in ("i686", "x86_64")
        for compiler, language, standard in (("gcc", "c", "-std=c99"), ("g++", "c++", "-std=c++17"))])
if not samples:
    failures.append("the guide has no C sample")
print(f"guide: {len(samples)} C samples, each compiled as C99 and C++17 for i686 and x86-64")

# The C# sample, whose game (what it leaves to the developer) the guide stubs.
# Its static field is assigned and never read on purpose: it keeps the
# semaphore open. That warning (CS0414) alone is allowed.
csharp = blocks_of("csharp")
for number, (line, sample) in enumerate(csharp, 1):
    try:
        compiles("cs", number, line, sample, [
            ("in C#", ["mcs", "-warnaserror+", "-nowarn:414",
                       "-out:" + os.path.join(work, f"sample{number}.exe")])])
    except FileNotFoundError:
        failures.append("no mcs to compile the C# sample with (scripts/setup.sh installs mono-mcs)")
        break
if not csharp:
    failures.append("the guide has no C# sample")
print(f"guide: {len(csharp)} C# sample, compiled with mcs")

# The doctor's kinds of line: the format argument of each call, up to the
# first comma or parenthesis, is literals, macros (any text) and the ? and :
# of a choice between formats.
LITERAL = r'L?"(?:[^"\\]|\\.)*"'
doctor = re.sub(r"//[^\n]*", "", open(doctor_path, encoding="utf-8").read())
calls = re.findall(rf"(?<!void )\b(?:Say\(|Append\(\w+, \w+, )((?:\s*(?:{LITERAL}|\w+|\?|:))+)\s*[,)]",
                   doctor)
if len(calls) != len(re.findall(r"(?<!void )\b(?:Say|Append)\(", doctor)):
    failures.append(f"a call of Say or Append in {doctor_path} whose format is not read here")


def unquoted(literal):
    return re.sub(r"\\(.)", r"\1", literal[literal.index('"') + 1:-1])


# Every text of the doctor's, and any one of them whole, for a field at a
# line's start: a line the guide quotes must begin with one of them there.
texts = [unquoted(literal) for literal in re.findall(LITERAL, doctor)]
label = "(?:" + "|".join(map(re.escape, sorted(set(texts) - {""}, key=len, reverse=True))) + ")"
kinds, strict = [], []
for argument in calls:
    pattern, literal = "", False
    for token in re.findall(rf"{LITERAL}|\w+|[?:]", argument) + ["?"]:
        if token in ("?", ":"):
            if literal:
                kinds.append(pattern)
                strict.append(re.sub(r"^\.[*+]", lambda _: label, pattern))
            pattern, literal = "", False
        elif '"' in token:
            pattern += ".*".join(map(re.escape, re.split(r"%[-+ #0-9.]*l?[a-zA-Z]", unquoted(token))))
            literal = True
        else:
            pattern += ".+"
if len(kinds) < 10:
    failures.append(f"only {len(kinds)} kinds of line read from {doctor_path}")

fenced = r"^```[^\n]*\n(.*?)^```$"
blocks = re.findall(fenced, guide, re.S | re.M)
prose = re.sub(fenced, "", guide, flags=re.S | re.M)
shown = [line for block in blocks for line in block.splitlines()]
shown += re.findall(r"`([^`\n]+)`", prose)
unexplained = [kind for kind in kinds if not any(re.fullmatch(kind, line) for line in shown)]
failures += [f"the guide shows no line of the doctor's kind /{kind}/" for kind in unexplained]
print(f"guide: {len(kinds) - len(unexplained)} of the {len(kinds)} kinds of line the doctor "
      f"prints are shown in it")


# The lines of the doctor's that the guide quotes: every line of the code
# blocks that show its output, and the first column of the tables of its
# lines ("Line") and of the mistakes it names ("It says").
def printed(line):
    return any(re.fullmatch(kind, line) for kind in strict)


output = [block for block in blocks if any(printed(line) for line in block.splitlines())]
lines = [line for block in output for line in block.splitlines() if line.strip()]
parts = []
for table in re.findall(r"(?:^\|[^\n]*\n)+", prose, re.M):
    rows = [re.split(r"(?<!\\)\|", row)[1:-1] for row in table.splitlines()]
    head = rows[0][0].strip()
    if head in ("Line", "It says"):
        spans = [span for row in rows[2:] for span in re.findall(r"`([^`\n]+)`", row[0])]
        (lines if head == "Line" else parts).extend(spans)
if len(output) < 2 or len(lines) < len(kinds) or len(parts) < 5:
    failures.append(f"only {len(output)} blocks of the doctor's output and {len(lines)} lines "
                    f"and {len(parts)} mistakes of it found in {guide_path}: a changed form?")
stale = [line for line in lines if not printed(line)]
stale += [part for part in parts if not printed(part) and not any(part in t for t in texts)]
failures += [f"the guide quotes what the doctor cannot print: {line}" for line in stale]
print(f"guide: {len(lines) + len(parts) - len(stale)} of the {len(lines) + len(parts)} lines "
      f"and parts of lines of the doctor's it quotes are ones the doctor prints")

for failure in failures:
    print("FAILED: " + failure, file=sys.stderr)
sys.exit(1 if failures else 0)
