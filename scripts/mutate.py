#!/usr/bin/env python3
"""Mutation check of the launcher's logic: how many small faults the host
tests catch.

Every file under launcher/ but the Win32 platform file and the start-up code
is mutated one small change at a time (a comparison, a connector, a literal,
a removed statement...). Each mutant is rebuilt in build/mutate/ (only the
translation units that include the changed file and, for a header, name what
the change is part of are recompiled, straight from the compile commands
CMake wrote) and judged by the host tests: first
the plain build, then, if every test passed, the AddressSanitizer and
UndefinedBehaviorSanitizer build. A failing test, a failing build or a run
past its time limit kills the mutant; one that passes both survives.

A survivor fails the check unless tests/mutation/equivalent.txt lists it as
equivalent (no input tells it from the original), with its reason; a listed
mutant that is no longer made, or is now killed, fails it too.

  scripts/mutate.py                 make, judge and report every mutant
  scripts/mutate.py --list          only print the mutants
  scripts/mutate.py -j 2 --only launcher/watch.cpp
"""

import argparse
import concurrent.futures
import json
import math
import os
import queue
import re
import resource
import shlex
import shutil
import signal
import subprocess
import sys
import time

ROOT = os.path.realpath(os.path.join(os.path.dirname(__file__), ".."))
BUILD = os.path.join(ROOT, "build", "mutate")
EQUIVALENT = os.path.join(ROOT, "tests", "mutation", "equivalent.txt")
# Not the launcher's logic: the Win32 calls and the start-up code are only
# built for Windows, where the host tests cannot judge them.
EXCLUDED = {"launcher/platform/platform_win32.cpp", "launcher/platform/startup_win32.cpp"}
# The generated presence header is built from these two files.
GENERATED_HEADER = "q8_presence.h"
HEADER_SOURCES = {"launcher/presence/q8_presence.h.in", "launcher/presence/naming.h"}
TEST_TARGET = "q8_host_tests"
BUILDS = (("plain", "host"), ("asan", "host-asan"))

# ---------------------------------------------------------------- tokens

TOKEN = re.compile(
    r"""(?P<space>\s+)
      | (?P<comment>//[^\n]*|/\*.*?\*/)
      | (?P<string>(?:u8|u|U|L)?R"(?P<delim>[^(\s]*)\(.*?\)(?P=delim)"
                  |(?:u8|u|U|L)?"(?:\\.|[^"\\\n])*")
      | (?P<char>(?:u8|u|U|L)?'(?:\\.|[^'\\\n])+')
      | (?P<number>(?:0[xX][0-9a-fA-F']+|\.?\d(?:[eEpP][+-]|[\w'.])*))
      | (?P<ident>[A-Za-z_]\w*)
      | (?P<punct>::|->|\+\+|--|<<=|>>=|<=|>=|==|!=|&&|\|\||<<|>>|[-+*/%&|^]=|\.\.\.|[^\s\w])
    """,
    re.S | re.X,
)


class Token:
    __slots__ = ("kind", "text", "start", "end", "line", "macro")

    def __init__(self, kind, text, start, end, line, macro):
        self.kind, self.text, self.start, self.end, self.line = kind, text, start, end, line
        self.macro = macro  # the #define whose body holds it, if any


def tokenize(source):
    """The code tokens, without comments and without preprocessor lines other
    than the bodies of #define (#include, #if... and #pragma are left alone)."""
    tokens, line, at_line_start, skip_line, pos, hidden, macro = [], 1, True, None, 0, [], None
    while pos < len(source):
        m = TOKEN.match(source, pos)
        kind, text = m.lastgroup, m.group()
        if kind == "delim":
            kind = "string"
        newlines = text.count("\n")
        if kind in ("space", "comment"):
            if newlines:
                # A backslash before the newline continues a directive.
                continued = source[max(0, pos - 1):pos] == "\\"
                if not continued:
                    skip_line = None
                at_line_start = True
            line += newlines
            pos = m.end()
            continue
        if at_line_start and text == "#":
            skip_line = "directive"
            # Code only Windows builds compile is no code the host tests judge.
            directive = re.match(r"#\s*(\w+)(.*)", source[pos:source.find("\n", pos)])
            word, condition = directive.groups() if directive else ("", "")
            if word in ("if", "ifdef", "ifndef"):
                windows = "_WIN32" in condition
                negated = word == "ifndef" or re.search(r"!\s*defined\s*\(?\s*_WIN32", condition)
                hidden.append([windows, windows and not negated])
            elif word == "else" and hidden:
                hidden[-1][1] = hidden[-1][0] and not hidden[-1][1]
            elif word == "endif" and hidden:
                hidden.pop()
        elif skip_line == "directive":
            # The directive's name: only a #define's body is mutated, and not
            # its name or parameters.
            skip_line = "define-name" if text == "define" else "all"
        elif skip_line == "define-name":
            skip_line = "define-params" if source[m.end():m.end() + 1] == "(" else "body"
            macro = text
        elif skip_line == "define-params":
            if text == ")":
                skip_line = "body"
        elif skip_line in (None, "body") and text != "\\" and not any(h[1] for h in hidden):
            tokens.append(Token(kind, text, m.start(), m.end(), line,
                                macro if skip_line == "body" else None))
        at_line_start = False
        line += newlines
        pos = m.end()
    return tokens


# ------------------------------------------------------------- the parse

DECLARATION_WORDS = {
    "const", "constexpr", "static", "bool", "char", "int", "unsigned", "signed", "long",
    "short", "auto", "void", "float", "double", "volatile", "struct", "class", "enum",
    "using", "typedef", "size_t", "inline", "extern", "char16_t", "wchar_t",
}
KEYWORDS = DECLARATION_WORDS | {
    "return", "case", "default", "if", "else", "for", "while", "do", "switch", "break",
    "continue", "sizeof", "new", "delete", "throw", "namespace", "template", "true",
    "false", "nullptr", "static_assert",
}
CASTS = {"static_cast", "reinterpret_cast", "const_cast", "dynamic_cast"}
ASSIGNMENTS = {"=", "+=", "-=", "*=", "/=", "%=", "&=", "|=", "^=", "<<=", ">>=", "++", "--"}


def matching(tokens, i):
    """The index of the bracket closing the one at i."""
    opening = tokens[i].text
    closing = {"(": ")", "[": "]", "{": "}"}[opening]
    depth = 0
    for j in range(i, len(tokens)):
        if tokens[j].text == opening:
            depth += 1
        elif tokens[j].text == closing:
            depth -= 1
            if depth == 0:
                return j
    raise SyntaxError("unbalanced %s at line %d" % (opening, tokens[i].line))


def template_close(tokens, i):
    """If the "<" at i opens a template argument list, the index of its ">"."""
    before = tokens[i - 1] if i > 0 else None
    forced = before is not None and (before.text == "template" or before.text in CASTS)
    if not forced and (before is None or before.kind != "ident" or before.text in KEYWORDS):
        return None
    depth = 0
    for j in range(i, len(tokens)):
        t = tokens[j].text
        if t == "<":
            depth += 1
        elif t == ">":
            depth -= 1
            if depth == 0:
                return j
        elif t == ">>" and depth <= 2:
            return j if forced else None
        elif not forced and not (tokens[j].kind in ("ident", "number") or t in ("::", "*", "&", ",")):
            return None
    return None


def is_declaration(tokens):
    """A declaration, as opposed to an expression: it starts with a type."""
    if tokens[0].text in DECLARATION_WORDS:
        return True
    i = 0
    while i < len(tokens) and tokens[i].kind == "ident":
        if i + 1 < len(tokens) and tokens[i + 1].text == "::":
            i += 2
            continue
        i += 1
        break
    else:
        return False
    if i == 0:
        return False
    while i < len(tokens) and tokens[i].text in ("*", "&"):
        i += 1
    return i < len(tokens) and tokens[i].kind == "ident"


class Parser:
    """Finds the statements of function bodies and the tokens that are no
    code to mutate (static_asserts, template brackets)."""

    def __init__(self, tokens):
        self.t = tokens
        self.statements = []  # (first token, last token, kind)
        self.inert = set()  # token indices never mutated

    def run(self):
        t, i = self.t, 0
        while i < len(t):
            text = t[i].text
            if text == "static_assert" and i + 1 < len(t) and t[i + 1].text == "(":
                end = matching(t, i + 1)
                self.inert.update(range(i, end + 1))
                i = end + 1
                continue
            if text == "{":
                before = t[i - 1].text if i > 0 else ""
                if before in (")", "const", "override", "noexcept", "final"):
                    i = self.block(i)
                    continue
                if before in ("=", ",", "(", "{", "return"):
                    i = matching(t, i) + 1  # an initializer
                    continue
            if text == "<":
                self.template(i)
            i += 1
        return self

    def template(self, i):
        close = template_close(self.t, i)
        if close is not None:
            self.inert.update((i, close))

    def block(self, i):
        end = matching(self.t, i)
        j = i + 1
        while j < end:
            j = self.statement(j)
        return end + 1

    def skip_parens(self, i):
        """Marks template brackets within the parentheses at i; answers the
        index after them."""
        end = matching(self.t, i)
        for j in range(i, end):
            if self.t[j].text == "<":
                self.template(j)
        return end + 1

    def statement(self, i):
        t = self.t
        text = t[i].text
        if text == "{":
            return self.block(i)
        if text == ";":
            return i + 1
        if text == "if":
            j = self.statement(self.skip_parens(i + 1))
            if j < len(t) and t[j].text == "else":
                j = self.statement(j + 1)
            return j
        if text in ("for", "while", "switch"):
            return self.statement(self.skip_parens(i + 1))
        if text == "do":
            j = self.statement(i + 1)  # then: while ( ... ) ;
            return self.skip_parens(j + 1) + 1
        if text in ("case", "default"):
            j = i
            while t[j].text != ":":
                j += 1
            return j + 1
        # A simple statement, up to its semicolon.
        j, depth = i, 0
        while not (depth == 0 and t[j].text == ";"):
            if t[j].text in ("(", "[", "{"):
                depth += 1
            elif t[j].text in (")", "]", "}"):
                depth -= 1
            elif t[j].text == "<":
                self.template(j)
            j += 1
        if text in ("break", "continue", "return"):
            self.statements.append((i, j, text))
        elif not is_declaration(t[i:j]):
            calls = any(t[k].text == "(" and (t[k - 1].kind == "ident" or t[k - 1].text in (")", ">"))
                        for k in range(i + 1, j))
            assigns = any(t[k].text in ASSIGNMENTS for k in range(i, j))
            if calls or assigns:
                self.statements.append((i, j, "call" if calls else "assignment"))
        return j + 1


def owners(tokens):
    """For each token, the name a translation unit must mention to use the
    code it is part of: a macro's, a function's or a constant's, or for the
    members of a class the class's own (destructors are called unnamed).
    None where no name is found."""
    owner = [None] * len(tokens)
    code = [i for i, t in enumerate(tokens) if t.macro is None]
    for i, t in enumerate(tokens):
        if t.macro is not None:
            owner[i] = t.macro
    classes = []  # (index of the closing brace, name)
    k, first = 0, 0

    def close(last, name):
        for j in code[first:last + 1]:
            owner[j] = classes[-1][1] if classes else name

    def declared(lo, hi):
        # The name before the first "(", "=", "[" or "{" of the declaration.
        for j in range(lo, hi + 1):
            if tokens[code[j]].text in ("(", "=", "[", "{", ";") and j > lo:
                before = tokens[code[j - 1]]
                return before.text if before.kind == "ident" else None
        return None

    while k < len(code):
        t = tokens[code[k]]
        if classes and code[k] == classes[-1][0]:
            classes.pop()
            first = k + 1
        elif t.text == "{":
            before = tokens[code[k - 1]].text if k > 0 else ""
            words = [tokens[code[j]].text for j in range(first, k)]
            kind = next((w for w in words if w in ("class", "struct", "union", "enum", "namespace")),
                        None)
            end = matching([tokens[j] for j in code], k)
            if before in (")", "const", "override", "noexcept", "final", "=") or kind is None:
                close(end, declared(first, k))  # a function's body or an initializer
                k, first = end + 1, end + 1
                continue
            if kind == "namespace" or words[:1] == ["extern"]:
                first = k + 1
            else:
                name = words[words.index(kind) + 1] if words.index(kind) + 1 < len(words) else None
                classes.append((code[end], name))
                close(k, name)
                first = k + 1
        elif t.text == ";":
            close(k, declared(first, k))
            first = k + 1
        elif t.text == "}":
            first = k + 1
        k += 1
    return owner


IDENTIFIER = re.compile(r"[A-Za-z_]\w*")


def mentions(source, skip=(0, 0)):
    """The identifiers of a source outside comments and string literals, and
    outside the span skip."""
    found = set()
    for m in TOKEN.finditer(source):
        if m.lastgroup in ("comment", "string", "delim", "char") or skip[0] <= m.start() < skip[1]:
            continue
        if m.lastgroup == "ident":
            found.add(m.group())
    return found


# ------------------------------------------------------------ operators

SWAPS = {"<": "<=", "<=": "<", ">": ">=", ">=": ">", "==": "!=", "!=": "==",
         "&&": "||", "||": "&&", "true": "false", "false": "true", "++": "--", "--": "++"}
OPERANDS_END = {")", "]"}


def integer_variants(text):
    m = re.fullmatch(r"(0[xX])([0-9a-fA-F]+)([uUlL]*)|([1-9]\d*|0)([uUlL]*)", text)
    if not m:
        return []
    if m.group(1):
        digits = m.group(2)
        value = int(digits, 16)
        upper = digits.upper() == digits and not digits.isdigit()
        out = []
        for v in (value + 1, value - 1):
            if v < 0:
                continue
            d = "%0*x" % (len(digits), v)
            out.append(m.group(1) + (d.upper() if upper else d) + m.group(3))
        return out
    value, suffix = int(m.group(4)), m.group(5)
    out = [str(value + 1) + suffix]
    if value > 0:
        out.append(str(value - 1) + suffix)
    elif not suffix:
        out.append("-1")
    return out


ESCAPES = {"n": 10, "r": 13, "t": 9, "0": 0, "\\": 92, "'": 39, '"': 34, "a": 7, "b": 8,
           "f": 12, "v": 11, "?": 63}


def char_variants(text):
    m = re.fullmatch(r"(u8|u|U|L)?'(.+)'", text, re.S)
    prefix, body = m.group(1) or "", m.group(2)
    if body.startswith("\\x"):
        value = int(body[2:], 16)
    elif body.startswith("\\") and body[1:].isdigit():
        value = int(body[1:], 8)
    elif body.startswith("\\"):
        value = ESCAPES.get(body[1:])
    elif len(body) == 1:
        value = ord(body)
    else:
        return []
    if value is None:
        return []

    def render(v):
        if v == 92:
            return "\\\\"
        if v == 39:
            return "\\'"
        if 32 <= v < 127:
            return chr(v)
        return "\\x%02x" % v

    return ["%s'%s'" % (prefix, render(v)) for v in (value - 1, value + 1)
            if 0 <= v < (0x80 if not prefix else 0x10000)]


class Mutant:
    __slots__ = ("file", "line", "start", "end", "before", "after", "replacement", "code",
                 "key", "index", "owner", "span")

    def describe(self):
        return "%s:%d: %s -> %s" % (self.file, self.line, self.before, self.after)


def mutants_of(path, source):
    tokens = tokenize(source)
    parser = Parser(tokens).run()
    owner = owners(tokens)
    # Where each owner is defined: its uses elsewhere are what count.
    spans = {}
    for t, name in zip(tokens, owner):
        # A macro's span takes in its name on the #define line.
        start = source.rfind("\n", 0, t.start) + 1 if t.macro else t.start
        lo, hi = spans.get(name, (start, t.end))
        spans[name] = (min(lo, start), max(hi, t.end))
    lines = source.split("\n")
    made = []

    def add(first, last, before, after, replacement):
        m = Mutant()
        m.owner = owner[first] if path.endswith((".h", ".h.in")) else None
        m.span = spans.get(m.owner, (0, 0))
        m.file, m.line = path, tokens[first].line
        m.start, m.end = tokens[first].start, tokens[last].end
        m.before, m.after, m.replacement = before, after, replacement
        made.append(m)

    for i, tok in enumerate(tokens):
        if i in parser.inert:
            continue
        text = tok.text
        if tok.kind == "number":
            for v in integer_variants(text):
                add(i, i, text, v, v)
        elif tok.kind == "char":
            for v in char_variants(text):
                add(i, i, text, v, v)
        elif text in SWAPS:
            add(i, i, text, SWAPS[text], SWAPS[text])
        elif text == "!":
            add(i, i, "!", "(removed)", "")
        elif text in ("+", "-") and i > 0:
            before = tokens[i - 1]
            binary = (before.kind in ("number", "char", "string") or before.text in OPERANDS_END
                      or (before.kind == "ident" and before.text not in KEYWORDS))
            if binary:
                other = "-" if text == "+" else "+"
                add(i, i, text, other, other)
    for first, last, kind in parser.statements:
        text = " ".join(source[tokens[first].start:tokens[last].end].split())
        add(first, last, text, "(removed)", "{}")

    # A mutant is known by its file, the code of its line, the change and
    # its rank among the same change on the same text: line numbers move.
    seen = {}
    for m in sorted(made, key=lambda m: (m.start, m.end, m.after)):
        code = lines[m.line - 1]
        comment = next((t for t in TOKEN.finditer(code) if t.lastgroup == "comment"), None)
        m.code = (code[:comment.start()] if comment else code).strip()
        base = "%s: %s [%s -> %s]" % (m.file, m.code, m.before, m.after)
        seen[base] = seen.get(base, 0) + 1
        m.key = base + (" #%d" % seen[base] if seen[base] > 1 else "")
    made.sort(key=lambda m: (m.start, m.end, m.after))
    return made


def logic_files():
    out = []
    for folder, _, names in os.walk(os.path.join(ROOT, "launcher")):
        for name in names:
            rel = os.path.relpath(os.path.join(folder, name), ROOT)
            if rel not in EXCLUDED:
                out.append(rel)
    return sorted(out)


def all_mutants(only):
    out = []
    for rel in logic_files():
        if only and not any(rel.startswith(o) for o in only):
            continue
        with open(os.path.join(ROOT, rel), encoding="utf-8") as f:
            out += mutants_of(rel, f.read())
    for n, m in enumerate(out):
        m.index = n
    return out


# --------------------------------------------------------------- builds

def run(args, cwd=None, timeout=None):
    return subprocess.run(args, cwd=cwd, timeout=timeout, stdout=subprocess.PIPE,
                          stderr=subprocess.STDOUT, text=True, errors="replace")


def preset_cache(name):
    """The cache variables of a configure preset, with those it inherits."""
    with open(os.path.join(ROOT, "CMakePresets.json")) as f:
        presets = {p["name"]: p for p in json.load(f)["configurePresets"]}
    variables = {}
    parents = presets[name].get("inherits", [])
    for parent in [parents] if isinstance(parents, str) else parents:
        variables.update(preset_cache(parent))
    variables.update(presets[name].get("cacheVariables", {}))
    return variables


class Build:
    """One baseline build (plain or under the sanitizers): its objects, and
    how to compile a translation unit and link the test program again."""

    def __init__(self, name, preset, jobs):
        self.name = name
        self.dir = os.path.join(BUILD, name)
        variables = preset_cache(preset)
        define = ["-D%s=%s" % kv for kv in variables.items()]
        # Given another compiler than its cache names, CMake drops the cache
        # and configures again without the other variables (the sanitizers'
        # flags among them): such a build starts afresh.
        cache = os.path.join(self.dir, "CMakeCache.txt")
        if os.path.exists(cache) and "CMAKE_CXX_COMPILER" in variables:
            with open(cache) as f:
                cached = re.search(r"^CMAKE_CXX_COMPILER:\w+=(.*)$", f.read(), re.M)
            wanted = shutil.which(variables["CMAKE_CXX_COMPILER"]) or ""
            if not cached or os.path.realpath(cached.group(1)) != os.path.realpath(wanted):
                shutil.rmtree(self.dir)
        for step in (["cmake", "-S", ROOT, "-B", self.dir, "-DCMAKE_EXPORT_COMPILE_COMMANDS=ON"]
                     + define, ["cmake", "--build", self.dir, "--target", TEST_TARGET,
                                "-j", str(jobs)]):
            result = run(step)
            if result.returncode != 0:
                sys.exit("mutate: the %s build failed:\n%s" % (name, result.stdout[-4000:]))
        with open(os.path.join(self.dir, "compile_commands.json")) as f:
            entries = json.load(f)
        with open(os.path.join(self.dir, "CMakeFiles", TEST_TARGET + ".dir", "link.txt")) as f:
            self.link = shlex.split(f.read())
        self.units = {}  # source (relative to ROOT) -> (arguments, object)
        archives = {}
        for e in entries:
            args = shlex.split(e["command"])
            out = args[args.index("-o") + 1]
            target = out.split("/")[1][:-len(".dir")]
            rel = os.path.relpath(e["file"], ROOT)
            if rel.startswith("bench/"):
                continue
            self.units[rel] = (args, os.path.join(self.dir, out))
            archives.setdefault("lib%s.a" % target, []).append(rel)
        self.archives = archives
        self.include = os.path.join(self.dir, "include")

    def dependencies(self):
        """For each unit, the repository files it includes (the generated
        header counts as its sources)."""
        deps = {}
        for rel, (args, _) in self.units.items():
            out = args.index("-o")
            cmd = args[:out] + args[out + 2:]
            cmd = [a for a in cmd if a != "-c"] + ["-MM"]
            result = run(cmd, cwd=self.dir)
            if result.returncode != 0:
                sys.exit("mutate: cannot list the includes of %s:\n%s" % (rel, result.stdout))
            files = set()
            for word in result.stdout.replace("\\\n", " ").split()[1:]:
                path = os.path.realpath(os.path.join(self.dir, word))
                if path == os.path.join(self.include, GENERATED_HEADER):
                    files |= HEADER_SOURCES
                elif path.startswith(ROOT + "/"):
                    files.add(os.path.relpath(path, ROOT))
            deps[rel] = files
        return deps

    def compile_command(self, rel, src_root, include, out):
        args, _ = self.units[rel]
        cmd, skip = [], False
        for a in args:
            if skip:
                skip = False
                continue
            if a in ("-o", "-MF", "-MT"):
                skip = True
                continue
            if a in ("-MD", "-g", "-c") or a == os.path.join(ROOT, rel):
                continue
            if a.startswith("-I"):
                path = a[2:]
                if path == self.include:
                    a = "-I" + include
                elif path == ROOT or path.startswith(ROOT + "/"):
                    a = "-I" + src_root + path[len(ROOT):]
            cmd.append(a)
        return cmd + ["-c", os.path.join(src_root, rel), "-o", out]

    def link_command(self, objects, out):
        """The test program's link, every object named: those rebuilt for the
        mutant, the baseline's for the rest."""
        cmd, skip = [], False
        for a in self.link:
            if skip:
                skip = False
                continue
            if a == "-o":
                skip = True
                continue
            if a.endswith(".o"):
                rel = next(r for r, (_, o) in self.units.items()
                           if o == os.path.join(self.dir, a))
                cmd.append(objects.get(rel, self.units[rel][1]))
            elif a in self.archives:
                cmd += [objects.get(r, self.units[r][1]) for r in self.archives[a]]
            elif a != "-g":
                cmd.append(a)
        return cmd + ["-o", out]


class Worker:
    """A copy of the sources to mutate in place, and room for the objects
    and programs of one mutant at a time."""

    def __init__(self, n):
        self.dir = os.path.join(BUILD, "w%d" % n)
        shutil.rmtree(self.dir, ignore_errors=True)
        self.src = os.path.join(self.dir, "src")
        for part in ("launcher", "tests", "resources", "cmake"):
            shutil.copytree(os.path.join(ROOT, part), os.path.join(self.src, part),
                            ignore=shutil.ignore_patterns("e2e", "fuzz", "release"))
        self.include = os.path.join(self.dir, "include")
        os.makedirs(self.include)
        for name, _ in BUILDS:
            os.makedirs(os.path.join(self.dir, name))
        self.generate_header()

    def generate_header(self):
        result = run(["cmake", "-DQ8_ROOT=" + self.src,
                      "-DOUTPUT=" + os.path.join(self.include, GENERATED_HEADER),
                      "-P", os.path.join(self.src, "cmake", "presence_header.cmake")])
        return result.returncode == 0


class Judge:
    def __init__(self, builds, deps, limits):
        self.builds, self.deps, self.limits = builds, deps, limits
        self.names = {}  # file -> the identifiers it mentions
        self.workers = queue.Queue()

    def units_for(self, m):
        """The translation units a mutant changes: those that include its file
        and, for a header, mention what the change is part of (at -O0 nothing
        is inlined, so a unit that never names a function or constant compiles
        to the same code whatever its definition)."""
        units = sorted(u for u, files in self.deps.items() if m.file in files)
        if m.owner is None:
            return units
        with open(os.path.join(ROOT, m.file), encoding="utf-8") as f:
            outside = mentions(f.read(), m.span)

        def named(f):
            if f == m.file:
                return m.owner in outside
            if f not in self.names:
                with open(os.path.join(ROOT, f), encoding="utf-8") as source:
                    self.names[f] = mentions(source.read())
            return m.owner in self.names[f]

        return [u for u in units if any(named(f) for f in self.deps[u] | {u})]

    def verdict(self, mutant):
        worker = self.workers.get()
        began = time.monotonic()
        try:
            return self.judge(worker, mutant) + (time.monotonic() - began,)
        finally:
            self.workers.put(worker)

    def judge(self, w, m):
        path = os.path.join(w.src, m.file)
        with open(path, encoding="utf-8") as f:
            original = f.read()
        try:
            with open(path, "w", encoding="utf-8") as f:
                f.write(original[:m.start] + m.replacement + original[m.end:])
            if m.file in HEADER_SOURCES and not w.generate_header():
                return "killed", "build"
            units = self.units_for(m)
            for build in self.builds:
                objects = {}
                for u in units:
                    out = os.path.join(w.dir, build.name, u + ".o")
                    os.makedirs(os.path.dirname(out), exist_ok=True)
                    if run(build.compile_command(u, w.src, w.include, out)).returncode != 0:
                        return "killed", "build"
                    objects[u] = out
                program = os.path.join(w.dir, build.name, TEST_TARGET)
                linked = run(build.link_command(objects, program), cwd=build.dir)
                if linked.returncode != 0:
                    if not objects:  # the baseline's own objects: not the mutant's fault
                        raise RuntimeError("mutate: cannot link %s:\n%s" % (program, linked.stdout))
                    return "killed", "build"
                # The limit is on processor time, which other work on the
                # machine does not stretch; the clock only backs it up.
                cpu = self.limits[build.name]
                try:
                    result = run(["sh", "-c", 'ulimit -t %d && exec "$0" "$@"' % cpu, program,
                                  "--gtest_fail_fast", "--gtest_brief=1"],
                                 cwd=build.dir, timeout=20 * cpu)
                except subprocess.TimeoutExpired:
                    return "killed", build.name + " time-out"
                if result.returncode in (-signal.SIGXCPU, -signal.SIGKILL):
                    return "killed", build.name + " time-out"
                if result.returncode != 0:
                    failed = re.search(r"^\[  FAILED  \] (\S+)", result.stdout, re.M)
                    return "killed", "%s %s" % (build.name, failed.group(1) if failed else "crash")
            return "survived", ""
        finally:
            with open(path, "w", encoding="utf-8") as f:
                f.write(original)
            if m.file in HEADER_SOURCES:
                w.generate_header()


# --------------------------------------------------------------- report

def read_equivalent():
    """The listed equivalent mutants: key -> reason."""
    listed = {}
    if not os.path.exists(EQUIVALENT):
        return listed
    with open(EQUIVALENT, encoding="utf-8") as f:
        for number, line in enumerate(f, 1):
            line = line.rstrip("\n")
            if not line.strip() or line.startswith("#"):
                continue
            m = re.fullmatch(r"(.*\](?: #\d+)?) -- (.+)", line)
            if not m:
                sys.exit("mutate: %s:%d: not KEY -- REASON" % (EQUIVALENT, number))
            listed[m.group(1)] = m.group(2)
    return listed


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("-j", "--jobs", type=int, default=os.cpu_count() or 1,
                        help="mutants judged side by side (default: the cores)")
    parser.add_argument("--only", action="append", default=[],
                        help="only files starting with this path (repeatable); "
                             "the equivalent list is then checked for those files only")
    parser.add_argument("--list", action="store_true", help="print the mutants, judge none")
    args = parser.parse_args()

    mutants = all_mutants(args.only)
    if args.list:
        for m in mutants:
            print("%s    %s" % (m.describe(), m.key))
        print("%d mutants" % len(mutants))
        return 0

    started = time.monotonic()
    os.makedirs(BUILD, exist_ok=True)
    builds = [Build(name, preset, args.jobs) for name, preset in BUILDS]
    deps = builds[0].dependencies()
    limits = {}
    for build in builds:
        program = os.path.join(build.dir, TEST_TARGET)
        used = resource.getrusage(resource.RUSAGE_CHILDREN)
        result = run([program, "--gtest_brief=1"], cwd=build.dir)
        if result.returncode != 0:
            sys.exit("mutate: the %s host tests fail without any mutant:\n%s"
                     % (build.name, result.stdout[-4000:]))
        now = resource.getrusage(resource.RUSAGE_CHILDREN)
        cpu = now.ru_utime + now.ru_stime - used.ru_utime - used.ru_stime
        # Whole seconds of processor time, four times what the tests need: a
        # mutant that loops forever costs this much.
        limits[build.name] = math.ceil(4 * cpu) + 1
    judge = Judge(builds, deps, limits)
    for n in range(args.jobs):
        judge.workers.put(Worker(n))
    print("mutate: %d mutants of %d files, %d at a time; baseline built in %.0f s"
          % (len(mutants), len({m.file for m in mutants}), args.jobs, time.monotonic() - started),
          flush=True)

    verdicts = {}
    with concurrent.futures.ThreadPoolExecutor(args.jobs) as pool:
        futures = {pool.submit(judge.verdict, m): m for m in mutants}
        for done, future in enumerate(concurrent.futures.as_completed(futures), 1):
            verdicts[futures[future].index] = future.result()
            if done % 50 == 0:
                print("mutate: %d of %d judged, %.0f s" % (done, len(mutants),
                                                          time.monotonic() - started), flush=True)

    with open(os.path.join(BUILD, "verdicts.txt"), "w", encoding="utf-8") as log:
        for m in mutants:
            verdict, how, seconds = verdicts[m.index]
            log.write("%-8s %5.1f s  %-40s %s\n" % (verdict, seconds, how, m.describe()))

    listed = read_equivalent()
    if args.only:
        listed = {k: r for k, r in listed.items() if any(k.startswith(o) for o in args.only)}
    made_keys = {m.key for m in mutants}
    rows, survivors, wrongly_listed = {}, [], []
    for m in mutants:
        verdict, how, _ = verdicts[m.index]
        row = rows.setdefault(m.file, [0, 0, 0, 0])
        row[0] += 1
        if verdict == "killed":
            row[1] += 1
            if m.key in listed:
                wrongly_listed.append((m, how))
        elif m.key in listed:
            row[2] += 1
        else:
            row[3] += 1
            survivors.append(m)

    print("\n%-44s %5s %6s %5s %8s %6s" % ("file", "made", "killed", "equiv", "survived", "score"))
    total = [0, 0, 0, 0]
    for file, row in sorted(rows.items()):
        total = [a + b for a, b in zip(total, row)]
        print(format_row(file, row))
    print(format_row("total", total))
    problems = 0
    if survivors:
        print("\nsurvivors (kill each with a test, or list it in %s):"
              % os.path.relpath(EQUIVALENT, ROOT))
        for m in survivors:
            print("  %s\n      as listed: %s -- REASON" % (m.describe(), m.key))
        problems += len(survivors)
    if wrongly_listed:
        print("\nlisted as equivalent, but killed (remove them from the list):")
        for m, how in wrongly_listed:
            print("  %s (%s)" % (m.describe(), how))
        problems += len(wrongly_listed)
    stale = sorted(k for k in listed if k not in made_keys)
    if stale:
        print("\nlisted as equivalent, but no longer made (remove them from the list):")
        for key in stale:
            print("  " + key)
        problems += len(stale)
    print("\nmutants: %d made, %d killed, %d equivalent, %d survived; %.0f s"
          % (total[0], total[1], total[2], total[3], time.monotonic() - started))
    return 1 if problems else 0


def format_row(name, row):
    made, killed, equivalent, survived = row
    judged = made - equivalent
    score = 100.0 * killed / judged if judged else 100.0
    return "%-44s %5d %6d %5d %8d %5.1f%%" % (name, made, killed, equivalent, survived, score)


if __name__ == "__main__":
    sys.exit(main())
