"""Every code name and path in backticks on docs/ARCHITECTURE.md exists.

Comments left out, a name (`Sweep`, `line()`) must stand as a word in src/,
tools/, tests/support, tests/unit or bench/; `Class::member` (any depth) in
a file named after the class, or written out whole somewhere. A path
(`src/link`, `app/Texts.h`) must exist under the tree or under src/."""

import os
import re
import sys

ROOT = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "..")
NAME = re.compile(r"~?[A-Za-z_]\w*(::~?[A-Za-z_]\w*)*(\(\))?")
COMMENT = {".py": re.compile(r"#[^\n]*"), "": re.compile(r"//[^\n]*|/\*.*?\*/", re.S)}

code = {}  # file stem -> words, across the file's .h/.cpp/.py
everything = ""
for top in ("src", "tools", "tests/support", "tests/unit", "bench"):
    for folder, _, names in os.walk(os.path.join(ROOT, top)):
        for n in names:
            stem, ext = os.path.splitext(n)
            with open(os.path.join(folder, n), encoding="utf-8", errors="replace") as f:
                text = COMMENT.get(ext, COMMENT[""]).sub(" ", f.read())
            everything += text + "\n"
            code.setdefault(stem, set()).update(re.findall(r"\w+", text))
words = set(re.findall(r"\w+", everything))

page = open(os.path.join(ROOT, "docs", "ARCHITECTURE.md"), encoding="utf-8").read()
missing = []
for token in sorted(set(re.findall(r"`([^`\n]+)`", page))):
    if "/" in token and " " not in token:
        found = any(os.path.exists(os.path.join(ROOT, base, token)) for base in ("", "src"))
    elif NAME.fullmatch(token):
        name = token.removesuffix("()")
        parts = [p.strip("~") for p in name.split("::")]
        if len(parts) == 1:
            found = name in words
        else:
            found = name in everything or all(p in code.get(parts[0], ()) for p in parts[1:])
    else:
        continue
    if not found:
        missing.append(token)

for token in missing:
    print("docs/ARCHITECTURE.md names `%s`, which is not in the code" % token)

# Every class, struct or namespace the drawing of the rooms names (by its
# CamelCase, not a header's file name) is declared, Qt's own names aside.
problems = list(missing)
drawing = page.split("## The rooms", 1)[1].split("```")[1]
declared = set(re.findall(r"\b(?:class|struct|namespace)\s+(\w+)", everything))
for name in sorted(set(re.findall(r"\b[A-Z][a-z]+(?:[A-Z][a-z]*)+\b(?!\.h)", drawing))):
    if not re.match(r"Q[A-Z]", name) and name not in declared:
        problems.append(name)
        print("the drawing of the rooms names %s, which the code does not declare" % name)

# The byte's takers, in the order SensorSession::takeSamples hands them the chunk.
takers_line = re.search(r"^\s*takers: (.*)$", page, re.M)
stated = re.findall(r"`(\w+)::take`", takers_line.group(1)) if takers_line else []
session = os.path.join(ROOT, "src", "session", "SensorSession")
members = dict((m, t) for t, m in re.findall(r"^\s+(\w+) (\w+_);", open(session + ".h", encoding="utf-8").read(), re.M))
body = open(session + ".cpp", encoding="utf-8").read().split("void SensorSession::takeSamples()", 1)[1].split("\n}\n", 1)[0]
found = [members.get(m, m) for m in re.findall(r"(\w+_)\.take\(", body)]
if not stated or stated != found:
    problems.append("takers")
    print("docs/ARCHITECTURE.md gives the byte's takers as %s; SensorSession::takeSamples hands it to %s" % (stated, found))
sys.exit(1 if problems else 0)
