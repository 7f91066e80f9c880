#!/usr/bin/env python3
"""Holds INTEGRATION.md, the guide a studio gets in the bundle, to the code.

- Each C sample in it (a ```c block) compiles as C99 and as C++17, for 32-bit
  and x86-64 Windows, with -Wall -Wextra -Werror -pedantic, against the
  q8_presence.h the build generates: a sample cannot go stale.
- Each kind of line Q8Doctor.exe can print (every format tools/doctor.cpp
  hands to Say, and every near-miss clause it hands to Append) is shown in it:
  a line of one of its code blocks, or one of its `code` spans, reads as that
  format, with any text in its fields. A doctor that gains a kind of line the
  guide does not show fails here.

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

os.makedirs(work, exist_ok=True)
subprocess.run(["cmake", f"-DQ8_ROOT={root}", f"-DOUTPUT={work}/q8_presence.h", "-P",
                os.path.join(root, "cmake", "presence_header.cmake")], check=True)
samples = [(guide.count("\n", 0, m.start()) + 2, m[1])
           for m in re.finditer(r"^```c\n(.*?)^```$", guide, re.S | re.M)]
for number, (line, sample) in enumerate(samples, 1):
    source = os.path.join(work, f"sample{number}.c")
    with open(source, "w", encoding="utf-8") as f:
        f.write(sample)
    for arch in ("i686", "x86_64"):
        for compiler, language in (("gcc", "c"), ("g++", "c++")):
            standard = "-std=c99" if language == "c" else "-std=c++17"
            result = subprocess.run(
                [f"{arch}-w64-mingw32-{compiler}", "-x", language, standard, "-Wall", "-Wextra",
                 "-Werror", "-pedantic", f"-I{work}", "-c", source, "-o", os.devnull],
                capture_output=True, text=True)
            if result.returncode != 0:
                failures.append(f"the sample at line {line} of {guide_path}, as {language} for "
                                f"{arch}:\n{result.stderr}")
if not samples:
    failures.append("the guide has no C sample")
print(f"guide: {len(samples)} C samples, each compiled as C99 and C++17 for i686 and x86-64")

# The doctor's kinds of line: the format argument of each call, up to the
# first comma or parenthesis, is literals, macros (any text) and the ? and :
# of a choice between formats.
LITERAL = r'L?"(?:[^"\\]|\\.)*"'
doctor = re.sub(r"//[^\n]*", "", open(doctor_path, encoding="utf-8").read())
calls = re.findall(rf"(?<!void )\b(?:Say\(|Append\(\w+, \w+, )((?:\s*(?:{LITERAL}|\w+|\?|:))+)\s*[,)]",
                   doctor)
if len(calls) != len(re.findall(r"(?<!void )\b(?:Say|Append)\(", doctor)):
    failures.append(f"a call of Say or Append in {doctor_path} whose format is not read here")
kinds = []
for argument in calls:
    pattern, literal = "", False
    for token in re.findall(rf"{LITERAL}|\w+|[?:]", argument) + ["?"]:
        if token in ("?", ":"):
            kinds += [pattern] if literal else []
            pattern, literal = "", False
        elif '"' in token:
            text = re.sub(r"\\(.)", r"\1", token[token.index('"') + 1:-1])
            pattern += ".*".join(map(re.escape, re.split(r"%[-+ #0-9.]*l?[a-zA-Z]", text)))
            literal = True
        else:
            pattern += ".+"
if len(kinds) < 10:
    failures.append(f"only {len(kinds)} kinds of line read from {doctor_path}")

fenced = r"^```[^\n]*\n(.*?)^```$"
shown = [line for block in re.findall(fenced, guide, re.S | re.M) for line in block.splitlines()]
shown += re.findall(r"`([^`\n]+)`", re.sub(fenced, "", guide, flags=re.S | re.M))
unexplained = [kind for kind in kinds if not any(re.fullmatch(kind, line) for line in shown)]
failures += [f"the guide shows no line of the doctor's kind /{kind}/" for kind in unexplained]
print(f"guide: {len(kinds) - len(unexplained)} of the {len(kinds)} kinds of line the doctor "
      f"prints are shown in it")

for failure in failures:
    print("FAILED: " + failure, file=sys.stderr)
sys.exit(1 if failures else 0)
