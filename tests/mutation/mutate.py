#!/usr/bin/env python3
"""Mutation check of the launcher's logic: do the host tests catch small faults?

Each mutant, one small fault in a file under launcher/ but the Win32 ones (OPERATORS
below, a literal one up or down, a statement removed), is a CTest test: the units it
changes are compiled again with the host trees' commands into a folder of its own,
and the host tests linked and run there, plain and then under the sanitizers. A
failed test or build, or a run past its time limit, kills it; a survivor fails
unless tests/mutation/equivalent.txt lists it. WORK and the trees are absolute paths:
usage: mutate.py cmake | setup WORK PLAIN ASAN | judge WORK FILE DIGEST | report WORK
"""

import collections, hashlib, json, math, os, re, resource, shlex, shutil, signal
import subprocess, sys, time

ROOT = os.path.realpath(os.path.join(os.path.dirname(__file__), "..", ".."))
EQUIVALENT = os.path.join(ROOT, "tests", "mutation", "equivalent.txt")
# Only built for Windows, where the host tests cannot judge them.
EXCLUDED = {"launcher/platform/platform_win32.cpp", "launcher/platform/startup_win32.cpp"}
# The generated presence header and the files it is generated from; the test program.
GENERATED, PROGRAM = "q8_presence.h", "q8_host_tests"
HEADER_SOURCES = ["launcher/presence/q8_presence.h.in", "launcher/presence/naming.h"]

TOKEN = re.compile(
    r"""(?P<space>\s+)
      | (?P<comment>//[^\n]*|/\*.*?\*/)
      | (?P<string>(?:u8|u|U|L)?R"(?P<delim>[^(\s]*)\(.*?\)(?P=delim)"
                  |(?:u8|u|U|L)?"(?:\\.|[^"\\\n])*")
      | (?P<char>(?:u8|u|U|L)?'(?:\\.|[^'\\\n])+')
      | (?P<number>(?:0[xX][0-9a-fA-F']+|\.?\d(?:[eEpP][+-]|[\w'.])*))
      | (?P<ident>[A-Za-z_]\w*)
      | (?P<punct>::|->|\+\+|--|<<=|>>=|<=|>=|==|!=|&&|\|\||<<|>>|[-+*/%&|^]=|\.\.\.|[^\s\w])
    """, re.S | re.X)
Token = collections.namedtuple("Token", "kind text start end line macro")

def tokenize(source):
    """The code tokens: no comments, no preprocessor line but the bodies of
    #define (with the macro's name), nothing only Windows builds compile."""
    tokens, line, pos, at_start, state, macro, hidden = [], 1, 0, True, None, None, []
    while pos < len(source):
        m = TOKEN.match(source, pos)
        kind, text, pos = m.lastgroup.replace("delim", "string"), m.group(), m.end()
        if kind in ("space", "comment"):
            if "\n" in text and source[m.start() - 1:m.start()] != "\\":
                state = None  # a directive ends with its line, unless a backslash goes on
            at_start, line = at_start or "\n" in text, line + text.count("\n")
            continue
        if at_start and text == "#":
            state = "directive"
            directive = source[m.start():source.find("\n", pos)]
            word, cond = re.match(r"#\s*(\w*)(.*)", directive).groups()
            if word in ("if", "ifdef", "ifndef"):  # [a Windows condition, hiding now]
                windows = "_WIN32" in cond
                hidden.append([windows, windows and not (word == "ifndef" or re.search(
                    r"!\s*defined\s*\(?\s*_WIN32", cond))])
            elif word == "else" and hidden:
                hidden[-1][1] = hidden[-1][0] and not hidden[-1][1]
            elif word == "endif" and hidden:
                hidden.pop()
        elif state == "directive":  # of directives, only a #define's body is code
            state = "name" if text == "define" else "all"
        elif state == "name":
            state, macro = "params" if source[pos:pos + 1] == "(" else "body", text
        elif state == "params" and text == ")":
            state = "body"
        elif state in (None, "body") and text != "\\" and not any(h[1] for h in hidden):
            tokens.append(Token(kind, text, m.start(), pos, line, macro if state else None))
        at_start, line = False, line + text.count("\n")
    return tokens

# ------------------------------------------------------------- the parse

DECLARATION_WORDS = set("""const constexpr static bool char int unsigned signed long short auto
    void float double volatile struct class enum using typedef size_t inline extern char16_t
    wchar_t""".split())
KEYWORDS = DECLARATION_WORDS | set("""return case default if else for while do switch break
    continue sizeof new delete throw namespace template true false nullptr
    static_assert""".split())
CASTS = {"static_cast", "reinterpret_cast", "const_cast", "dynamic_cast"}
ASSIGNMENTS = set("= += -= *= /= %= &= |= ^= <<= >>= ++ --".split())
BODY_AFTER = (")", "const", "override", "noexcept", "final")

def matching(t, i):
    """The index of the bracket closing the one at i."""
    close, depth = {"(": ")", "[": "]", "{": "}"}[t[i].text], 0
    for j in range(i, len(t)):
        depth += (t[j].text == t[i].text) - (t[j].text == close)
        if depth == 0:
            return j
    raise SyntaxError("unbalanced %s at line %d" % (t[i].text, t[i].line))

def template_close(t, i):
    """If the "<" at i opens a template argument list, the index of its ">"."""
    before = t[i - 1] if i > 0 else None
    forced = before is not None and (before.text == "template" or before.text in CASTS)
    if not forced and (before is None or before.kind != "ident" or before.text in KEYWORDS):
        return None
    depth = 0
    for j in range(i, len(t)):
        depth += (t[j].text == "<") - (t[j].text == ">")
        if t[j].text == ">" and depth == 0:
            return j
        if t[j].text == ">>" and depth <= 2:
            return j if forced else None
        if not forced and not (t[j].kind in ("ident", "number")
                               or t[j].text in ("<", ">", "::", "*", "&", ",")):
            return None
    return None

def is_declaration(t):
    """A declaration: a type (a name, maybe qualified, maybe pointers) and a name."""
    shape = "".join("n" if x.kind == "ident" else ":" if x.text == "::"
                    else "*" if x.text in ("*", "&") else " " for x in t)
    return t[0].text in DECLARATION_WORDS or re.match(r"(n:)*n\**n", shape) is not None

def parse(t):
    """The removable statements of function bodies, as (first, last) token
    indices, and the tokens never to mutate: static_asserts, template brackets."""
    inert, statements, i = set(), [], 0
    for k, tok in enumerate(t):
        if tok.text == "static_assert" and k + 1 < len(t) and t[k + 1].text == "(":
            inert.update(range(k, matching(t, k + 1) + 1))
        close = template_close(t, k) if tok.text == "<" else None
        inert.update((k, close) if close is not None else ())
    while i < len(t):
        if t[i].text == "{" and i > 0 and t[i - 1].text in ("=", ",", "(", "{", "return"):
            i = matching(t, i)  # an initializer
        elif t[i].text == "{" and i > 0 and t[i - 1].text in BODY_AFTER:
            statements += body_statements(t, i + 1, matching(t, i))
            i = matching(t, i)
        i += 1
    return statements, inert

def body_statements(t, i, end):
    """The calls, assignments, breaks, continues and returns between i and end."""
    found = []
    while i < end:
        text = t[i].text
        if text in ("if", "for", "while", "switch"):  # past the parentheses
            i = matching(t, i + 1) + 1
        elif text in ("case", "default"):
            i = next(j for j in range(i, end) if t[j].text == ":") + 1
        elif text in ("{", "}", ";", "else", "do"):
            i += 1
        else:  # a simple statement, up to its semicolon
            j, depth = i, 0
            while not (depth == 0 and t[j].text == ";"):
                depth += (t[j].text in ("(", "[", "{")) - (t[j].text in (")", "]", "}"))
                j += 1
            calls = any(t[k].text == "(" and (t[k - 1].kind == "ident" or t[k - 1].text in (
                ")", ">")) for k in range(i + 1, j))
            if text in ("break", "continue", "return") or not is_declaration(t[i:j]) and (
                    calls or any(t[k].text in ASSIGNMENTS for k in range(i, j))):
                found.append((i, j))
            i = j + 1
    return found

def owners(t):
    """For each token, the name a unit must mention to use the code it is part of:
    a macro's, function's or constant's, or for all of a class (whose destructor
    is called unnamed) the class's; None where none is found."""
    owner = [tok.macro for tok in t]
    code = [i for i, tok in enumerate(t) if tok.macro is None]
    c, start, k = [t[i] for i in code], 0, 0
    while k < len(c):
        words = [x.text for x in c[start:k]]
        kind = next((w for w in words if w in ("class", "struct", "union", "enum", "namespace")),
                    None)
        before = c[k - 1].text if k else ""
        scope = c[k].text == "{" and kind and before not in BODY_AFTER + ("=",)
        if c[k].text == "}" or scope and (kind == "namespace" or words[0] == "extern"):
            start = k + 1  # a namespace's bounds: what is within stands alone
        elif c[k].text in ("{", ";"):
            end = matching(c, k) if c[k].text == "{" else k
            if scope:  # a class
                at = words.index(kind) + 1
                name = words[at] if at < len(words) else None
            else:  # the name before the first "(", "=", "[", "{" or ";"
                j = next((j for j in range(start + 1, k + 1)
                          if c[j].text in ("(", "=", "[", "{", ";")), 0)
                name = c[j - 1].text if j and c[j - 1].kind == "ident" else None
            for j in code[start:end + 1]:
                owner[j] = name
            start = k = end + 1
            continue
        k += 1
    return owner

def mentions(source, skip=(0, 0)):
    """The identifiers of a source outside comments, literals and the span skip."""
    return {m.group() for m in TOKEN.finditer(source)
            if m.lastgroup == "ident" and not skip[0] <= m.start() < skip[1]}

# ------------------------------------------------------------ operators

def integer_variants(text):
    m = re.fullmatch(r"(0[xX])([0-9a-fA-F]+)([uUlL]*)|([1-9]\d*|0)([uUlL]*)", text)
    if m and m.group(1):  # the same digits, case and width
        digits = m.group(2)
        case = str.upper if digits.upper() == digits and not digits.isdigit() else str.lower
        return [m.group(1) + case("%0*x" % (len(digits), v)) + m.group(3)
                for v in (int(digits, 16) + 1, int(digits, 16) - 1) if v >= 0]
    value, suffix = (int(m.group(4)), m.group(5)) if m else (None, "")
    return [] if value is None else [str(value + 1) + suffix] + (
        [str(value - 1) + suffix] if value > 0 else [] if suffix else ["-1"])

ESCAPES = {"n": 10, "r": 13, "t": 9, "0": 0, "\\": 92, "'": 39, '"': 34, "a": 7, "b": 8,
           "f": 12, "v": 11, "?": 63}

def char_variants(text):
    prefix, body = re.fullmatch(r"(u8|u|U|L)?'(.+)'", text, re.S).groups(default="")
    if body.startswith("\\x"):
        value = int(body[2:], 16)
    elif body.startswith("\\"):
        value = int(body[1:], 8) if body[1:].isdigit() else ESCAPES.get(body[1:])
    else:
        value = ord(body) if len(body) == 1 else None
    return [] if value is None else ["%s'%s'" % (prefix, {92: "\\\\", 39: "\\'"}.get(
        v, chr(v) if 32 <= v < 127 else "\\x%02x" % v)) for v in (value - 1, value + 1)
        if 0 <= v < (0x10000 if prefix else 0x80)]

# What each token becomes: a text ("" drops it), or for a kind of literal its
# neighbours; "+" and "-" change only after an operand. Besides, each call,
# assignment, break, continue and return in a function body is removed.
OPERATORS = {
    "<": "<=", "<=": "<", ">": ">=", ">=": ">", "==": "!=", "!=": "==",
    "&&": "||", "||": "&&", "true": "false", "false": "true", "++": "--", "--": "++",
    "!": "", "+": "-", "-": "+",
    "number literal": integer_variants, "char literal": char_variants,
}

class Mutant:
    def __init__(self, file, first, last, before, after, replacement, owner):
        self.file, self.line, self.start, self.end = file, first.line, first.start, last.end
        self.before, self.after, self.replacement, self.owner = before, after, replacement, owner
        self.where = "%s:%d: %s -> %s" % (file, first.line, before, after)

def mutants_of(path, source):
    t = tokenize(source)
    statements, inert = parse(t)
    # A source file's code is only in its own unit: only a header's has an owner.
    owner = owners(t) if path.endswith((".h", ".h.in")) else [None] * len(t)
    made = []
    for i, tok in enumerate(t):
        rule = OPERATORS.get(tok.text if tok.kind in ("punct", "ident") else tok.kind + " literal")
        operand = i > 0 and (t[i - 1].kind in ("number", "char", "string") or t[i - 1].text in (
            ")", "]") or t[i - 1].kind == "ident" and t[i - 1].text not in KEYWORDS)
        if rule is not None and i not in inert and (tok.text not in ("+", "-") or operand):
            made += [Mutant(path, tok, tok, tok.text, after or "(removed)", after, owner[i])
                     for after in (rule(tok.text) if callable(rule) else [rule])]
    made += [Mutant(path, t[a], t[b], " ".join(source[t[a].start:t[b].end].split()), "(removed)",
                    "{}", owner[a]) for a, b in statements]
    # Where each owner is defined (a macro from its name on): its uses elsewhere count.
    spans = {}
    for tok, name in zip(t, owner):
        start = source.rfind("\n", 0, tok.start) + 1 if tok.macro else tok.start
        lo, hi = spans.get(name, (start, tok.end))
        spans[name] = (min(lo, start), max(hi, tok.end))
    # A mutant is known by its file, the code of its line, the change and its
    # rank among the same change of the same code: line numbers move.
    lines, seen = source.split("\n"), collections.Counter()
    made.sort(key=lambda m: (m.start, m.end, m.after))
    for m in made:
        m.span, code = spans.get(m.owner), lines[m.line - 1]
        comment = next((c for c in TOKEN.finditer(code) if c.lastgroup == "comment"), None)
        base = "%s: %s [%s -> %s]" % (path, code[:comment and comment.start()].strip(),
                                      m.before, m.after)
        seen[base] += 1
        m.key = base + (" #%d" % seen[base] if seen[base] > 1 else "")
        m.digest = hashlib.sha1(m.key.encode()).hexdigest()[:12]
    return made

def read(rel):
    with open(os.path.join(ROOT, rel), encoding="utf-8") as f:
        return f.read()

def logic_files():
    return sorted(rel for folder, _, names in os.walk(os.path.join(ROOT, "launcher"))
                  for rel in (os.path.relpath(os.path.join(folder, n), ROOT) for n in names)
                  if rel not in EXCLUDED)

def all_mutants():
    return [m for rel in logic_files() for m in mutants_of(rel, read(rel))]

# ---------------------------------------------------------------- judging

def run(args, cwd=None, **kwargs):
    return subprocess.run(args, cwd=cwd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                          text=True, errors="replace", **kwargs)

def strip(args, source):
    """A compile command without output, dependency file, debug information, source."""
    skip = {i + 1 for i, a in enumerate(args) if a in ("-o", "-MF", "-MT")}
    return [a for i, a in enumerate(args) if i not in skip and a not in (
        "-o", "-MF", "-MT", "-MD", "-g", "-c", os.path.join(ROOT, source))]

def plan_tree(work, name, tree):
    """What judging needs of a built tree: each unit's compile command, object and
    files included, the link, a limit of four times the processor time its tests take.
    Starts precompiling GoogleTest's header, most of a test's compile time."""
    units, archives, deps, gtest, unit = {}, collections.defaultdict(list), {}, [], None
    with open(os.path.join(tree, "compile_commands.json")) as f:
        for entry in json.load(f):
            args = shlex.split(entry["command"])
            obj = args[args.index("-o") + 1]
            units[os.path.relpath(entry["file"], ROOT)] = (args, obj)
            archives["lib%s.a" % obj.split("/")[1][:-len(".dir")]].append(obj)
    objects = {obj: rel for rel, (_, obj) in units.items()}
    for line in run(["ninja", "-C", tree, "-t", "deps"]).stdout.splitlines():
        path = line.strip()
        if not line.startswith(" "):
            unit = objects.get(line.split(":")[0])
        elif unit and path.endswith("/gtest/gtest.h"):
            gtest.append(unit)
        elif unit and path.startswith(ROOT + "/"):
            deps.setdefault(unit, []).extend(HEADER_SOURCES if path == os.path.join(
                tree, "include", GENERATED) else [os.path.relpath(path, ROOT)])
    pch = os.path.join(work, "pch", name, "gtest.h")
    os.makedirs(os.path.dirname(pch))
    with open(pch, "w") as f:
        f.write("#include <gtest/gtest.h>\n")
    args = strip(units[gtest[0]][0], gtest[0])  # clang instantiates its templates here, once
    compiling = subprocess.Popen(args + ["-fpch-instantiate-templates"] * ("clang" in args[0]) + [
        "-x", "c++-header", pch, "-o", pch + ".gch"], cwd=tree)
    cpu = sum(os.times()[2:4])  # of the processes waited for
    result = run([os.path.join(tree, PROGRAM), "--gtest_brief=1"], cwd=tree)
    if result.returncode != 0:
        sys.exit("the %s host tests fail without any mutant:\n%s" % (name, result.stdout[-4000:]))
    cpu = sum(os.times()[2:4]) - cpu
    link = run(["ninja", "-C", tree, "-t", "commands", PROGRAM]).stdout.splitlines()[-1]
    link = next(p for p in link.split(" && ") if " -o %s " % PROGRAM in p + " ")
    linked = {o for a in shlex.split(link) for o in archives.get(a, [a])}  # not the benchmark
    return compiling, {
        "name": name, "dir": tree, "units": units, "archives": archives, "link": link,
        "deps": {u: files for u, files in deps.items() if units[u][1] in linked},
        "gtest": gtest, "pch": pch, "limit": math.ceil(4 * cpu) + 1}

def units_for(m, deps):
    """The units a mutant changes: those that include its file and, for a header,
    name what the change is part of (at -O0 nothing is inlined, so a unit that never
    names a function or constant compiles to the same code whatever its definition)."""
    units = sorted(u for u, files in deps.items() if m.file in files)
    if not m.owner:
        return units
    named = {f: m.owner in mentions(read(f), m.span if f == m.file else (0, 0))
             for f in {f for u in units for f in deps[u]}}
    units = [u for u in units if any(named[f] for f in deps[u])]
    # A change in the body of an inline function of external linkage: the program has one
    # definition of it, the first the linker meets, so one unit compiled again and linked first.
    inline = re.match(r"inline\b[^{]*\)\s*{", read(m.file)[m.span[0]:m.start])
    return units[:1] if inline else units

def build_and_test(m, tree, folder, include):
    """Compiles the mutant's units, links and runs the tests: a verdict and how."""
    objects = {}
    for u in units_for(m, tree["deps"]):
        args, obj = tree["units"][u]
        objects[obj] = os.path.join(folder, tree["name"], obj)
        os.makedirs(os.path.dirname(objects[obj]), exist_ok=True)
        cmd = [a.replace(os.path.join(tree["dir"], "include"), include) if include else a
               for a in strip(args, u)]
        # The mutated copy is found before the repository's own file.
        cmd[1:1] = ["-I" + os.path.join(folder, "src")] + ["-include", tree["pch"]] * (
            u in tree["gtest"])
        src = os.path.join(folder, "src", u) if u == m.file else os.path.join(ROOT, u)
        if run(cmd + ["-c", src, "-o", objects[obj]], cwd=tree["dir"]).returncode != 0:
            return "killed", "build"
    # Every object named, the mutant's first; gold links faster, the more so without
    # the debugging information of the tree's objects, which no verdict needs.
    compiler, *args = shlex.split(tree["link"])
    program = os.path.join(folder, tree["name"], PROGRAM)
    link = [compiler, "-fuse-ld=gold", "-Wl,--strip-debug"] + list(objects.values())
    for a in args:
        link += [program if o == PROGRAM else o for o in tree["archives"].get(a, [a])
                 if o not in objects and o != "-g"]
    if run(link, cwd=tree["dir"]).returncode != 0:
        return "killed", "build"
    # Processor time, which other work on the machine does not stretch; the clock backs it up.
    cpu = tree["limit"]
    try:
        result = run([program, "--gtest_fail_fast", "--gtest_brief=1"], cwd=tree["dir"],
                     timeout=20 * cpu,
                     preexec_fn=lambda: resource.setrlimit(resource.RLIMIT_CPU, (cpu, cpu)))
    except subprocess.TimeoutExpired:
        return "killed", tree["name"] + " time-out"
    if result.returncode in (-signal.SIGXCPU, -signal.SIGKILL):
        return "killed", tree["name"] + " time-out"
    failed = re.search(r"^\[  FAILED  \] (\S+)", result.stdout, re.M)
    return ("survived", "") if result.returncode == 0 else (
        "killed", "%s %s" % (tree["name"], failed.group(1) if failed else "crash"))

def judge(work, file, digest):
    began, folder, source = time.monotonic(), os.path.join(work, digest), read(file)
    m = next((m for m in mutants_of(file, source) if m.digest == digest), None)
    if m is None:
        sys.exit("%s no longer makes mutant %s: configure again" % (file, digest))
    # The mutated file; for the generated header's, all its sources and the header.
    for rel in HEADER_SOURCES + ["resources/version.h"] if file in HEADER_SOURCES else [file]:
        os.makedirs(os.path.dirname(os.path.join(folder, "src", rel)), exist_ok=True)
        shutil.copy(os.path.join(ROOT, rel), os.path.join(folder, "src", rel))
    with open(os.path.join(folder, "src", file), "w", encoding="utf-8") as f:
        f.write(source[:m.start] + m.replacement + source[m.end:])
    include = os.path.join(folder, "include") if file in HEADER_SOURCES else None
    verdict, how, listed = "survived", "", read_equivalent()
    generate = ["cmake", "-DQ8_ROOT=%s/src" % folder, "-DOUTPUT=%s/%s" % (include, GENERATED),
                "-P", os.path.join(ROOT, "cmake", "presence_header.cmake")]
    if include and run(generate).returncode:
        verdict, how = "killed", "build"
    for tree in json.loads(read(os.path.join(work, "plan.json")))["trees"]:
        if verdict == "survived":  # plain, then under the sanitizers
            verdict, how = build_and_test(m, tree, folder, include)
    shutil.rmtree(folder, ignore_errors=True)
    if verdict == "survived" and m.key in listed:
        verdict, how = "equivalent", listed[m.key]
    os.makedirs(os.path.join(work, "verdicts"), exist_ok=True)
    with open(os.path.join(work, "verdicts", digest), "w", encoding="utf-8") as f:
        json.dump([verdict, how, time.monotonic() - began, m.key, m.where], f)
    print("%s: %s %s" % (m.where, verdict, how))
    if verdict == "survived":
        sys.exit("No host test tells this mutant from the original. Add the input that does to "
                 "the nearest table of the host tests or, if no input can, list it as equivalent "
                 "in tests/mutation/equivalent.txt with the reason:\n  %s -- REASON" % m.key)

# ---------------------------------------------------------------- the run

def read_equivalent():
    """The mutants listed as equivalent: key -> reason."""
    listed = {}
    for number, line in enumerate(read(EQUIVALENT).splitlines(), 1):
        m = re.fullmatch(r"(.*\](?: #\d+)?) -- (.+)|#.*|\s*", line)
        if not m:
            sys.exit("%s:%d: not KEY -- REASON" % (EQUIVALENT, number))
        listed.update({m.group(1): m.group(2)} if m.group(1) else {})
    return listed

def write_tests():
    """The CMake code of a test for each mutant, named by its key (a CTest name has no
    ";"), listed again when a file read changes."""
    print("set(python [==[%s]==])" % sys.executable)  # rather than a slower launcher of it
    print("set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS %s)" % " ".join(
        "[==[%s]==]" % os.path.join(ROOT, f) for f in logic_files() + [EQUIVALENT, __file__]))
    print("".join("q8_mutant([==[%s]==] %s %s)\n" % (m.key.replace(";", ","), m.file, m.digest)
                  for m in all_mutants()))

def setup(work, plain, asan):
    started = time.time()
    shutil.rmtree(work, ignore_errors=True)
    compiling, trees = zip(plan_tree(work, "plain", plain), plan_tree(work, "asan", asan))
    if any(pch.wait() for pch in compiling):
        sys.exit("cannot precompile GoogleTest's header")
    with open(os.path.join(work, "plan.json"), "w") as f:
        json.dump({"started": started, "trees": trees}, f)
    print("time limits: " + ", ".join("%s %d s" % (t["name"], t["limit"]) for t in trees))

def report(work):
    verdicts = [json.loads(read(os.path.join(work, "verdicts", name)))
                for name in os.listdir(os.path.join(work, "verdicts"))]
    made, listed = {m.key for m in all_mutants()}, read_equivalent()
    problems = ["listed as equivalent, but killed (%s): %s" % (v[1], v[3])
                for v in verdicts if v[0] == "killed" and v[3] in listed]
    problems += ["listed as equivalent, but no longer made: " + k for k in listed if k not in made]
    if len(verdicts) < len(made):
        print("%d of the %d mutants judged" % (len(verdicts), len(made)))
    count = collections.Counter(v[0] for v in verdicts)
    line = "mutants: %d made, %d killed, %d equivalent, %d survived; %.0f s" % (
        len(verdicts), count["killed"], count["equivalent"], count["survived"],
        time.time() - json.loads(read(os.path.join(work, "plan.json")))["started"])
    with open(os.path.join(work, "summary.txt"), "w") as f:
        f.write(line + "\n")
    print("\n".join(problems + ["Take these lines out of %s." % EQUIVALENT] * bool(problems)
                     + [line]))
    return 1 if problems or count["survived"] else 0

if __name__ == "__main__":
    command = {"cmake": write_tests, "setup": setup, "judge": judge, "report": report}.get(
        sys.argv[1] if len(sys.argv) > 1 else None)
    sys.exit(command(*sys.argv[2:]) if command else __doc__)
