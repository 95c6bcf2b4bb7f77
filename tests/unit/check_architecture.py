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
sys.exit(1 if missing else 0)
