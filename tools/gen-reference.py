#!/usr/bin/env python3
"""Writes docs/reference/<Control>.md for the eight controls and the toolkit grid they build on
(TStringGrid) from their headers, so the pages cannot drift from the code (and checks that the code
snippets of docs/GUIDE.md are the example programs' text): the unit's description (the header's
opening comment), the published properties (Q_PROPERTY, with the getter and the setter a generated form
calls), the events (the public On* members, with their parameters by name) and the public methods, each
with the comment written above it in the header. docs/reference/SYMBOLS.md lists every public name that
<zem_pack/zem_pack.h> brings, with its header.

  tools/gen-reference.py           rewrites the pages
  tools/gen-reference.py --check   writes nothing; fails naming each page that differs from its header
                                   and each property, event or method the page lacks (CTest runs this)
                                   and each snippet of the guide that no file of examples/ holds
  --drop-row PAGE:TEXT             with --check: reads PAGE as if its line holding TEXT were gone, to see
                                   that the check names what is missing (CTest runs this too)
"""
import os
import re
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
OUT = os.path.join(ROOT, "docs", "reference")

# The eight controls in their unit order: class, header, the demo's picture of what it opens.
CONTROLS = [
    ("TMG", "controls/grid/Mg.h", ["grid_menu", "voucher_menu", "grid_search", "grid_filter", "grid_filter_ext"]),
    ("TMGS", "controls/inputs/Mgs.h", ["search"]),
    ("MTreeView", "controls/tree/Mtreeview.h", ["tree_menu"]),
    ("TTreeView_Ext", "controls/tree/Treeview_ext.h", []),
    ("TComboBox_Ext", "controls/combo/Combobox_ext.h", ["code_select", "multi_select", "key_search"]),
    ("TMDate", "controls/inputs/Mdate.h", ["date_menu", "calendar"]),
    ("MPickDate", "controls/inputs/Mpickdate.h", ["pick_date", "calendar"]),
    ("MStatusBar", "controls/inputs/Mstatusbar.h", []),
]

# The classes a control derives from that have a page of their own.
BASES = [("TStringGrid", "toolkit/tk_grid.h", [])]
# The one include of the whole package: SYMBOLS.md lists what it brings.
UMBRELLA = "include/zem_pack/zem_pack.h"

EVENT_RE = re.compile(r"^(?:T\w*Event|std::function<.*>)\s+(On\w+)$")
PROP_RE = re.compile(r"Q_PROPERTY\(\s*([\w:<>]+)\s+(\w+)\s+READ\s+(\w+)(?:\s+WRITE\s+(\w+))?")


def strip_line_comment(line):
    # Text before a // that is not inside a string literal.
    out, quote = [], None
    i = 0
    while i < len(line):
        ch = line[i]
        if quote:
            if ch == "\\":
                out.append(line[i:i + 2])
                i += 2
                continue
            if ch == quote:
                quote = None
        elif ch in "\"'":
            quote = ch
        elif line.startswith("//", i):
            break
        out.append(ch)
        i += 1
    return "".join(out)


def header_comment(lines):
    text = []
    for line in lines:
        if not line.startswith("//"):
            break
        text.append(line[2:].removeprefix(" "))
    return "\n".join(text).strip("\n")


def parse_class(lines, name):
    """Properties, events and public methods (with their comments and section) of class name."""
    start = next(i for i, l in enumerate(lines) if re.match(r"class\s+%s\b[^;]*$" % name, l))
    base = re.search(r"public\s+([\w:]+)", lines[start]).group(1)
    props, events, methods = [], [], []
    depth, access = 0, "private"
    comment, section, decl = [], "", ""
    descs, fresh = {}, False  # a section's own text: the comment after its title, ended by a blank line
    for line in lines[start:]:
        code = strip_line_comment(line).strip()
        stripped = line.strip()
        if depth == 1 and not decl:
            m = re.match(r"(public|protected|private)( slots)?:", stripped)
            if m:
                access, comment = m.group(1), []
                continue
            if stripped.startswith("//"):
                text = stripped[2:].strip()
                if text.startswith("----"):
                    section, comment, fresh = text.strip("- .").rstrip("."), [], True
                else:
                    comment.append(text)
                continue
            if not stripped:
                if fresh and comment:
                    descs[section] = " ".join(c for c in comment if c)
                comment, fresh = [], False
                continue
            m = PROP_RE.search(stripped)
            if m:
                props.append(m.groups())
                continue
        opened = code.count("{")
        closed = code.count("}")
        if depth == 1 and access == "public" and code:
            piece = code.split("{")[0] if opened else code
            decl = (decl + " " + piece).strip()
            ended = opened or decl.endswith(";")
            if ended:
                d = decl.rstrip(";").strip()
                decl = ""
                if d and not re.match(r"(Q_\w+|using|friend|enum|struct|class|typedef|static_assert)\b", d):
                    ev = EVENT_RE.match(re.sub(r"\s+", " ", d))
                    if ev:
                        events.append((d, " ".join(comment)))
                    elif "(" in d and not re.search(r"=\s*delete$", d) and not d.startswith("~"):
                        d = re.sub(r"\s+", " ", re.sub(r"\s*=\s*default$", "", d))
                        d = re.sub(r"\s*\boverride\b", "", d).strip()
                        methods.append((section, d, " ".join(comment)))
                comment, fresh = [], False
        elif depth == 1 and code:
            comment = []
        depth += opened - closed
        if depth <= 0 and opened + closed and line is not lines[start]:
            break
    setters = {p[3] for p in props if p[3]}
    methods = [m for m in methods if re.search(r"(\w+)\s*\(", m[1]).group(1) not in setters]
    parse_class.descs = descs
    return base, props, events, methods


def event_types():
    """Every event type of the toolkit and the controls (typedef std::function<R(params)> Name): its
    parameters as written, by name."""
    types = {}
    for folder in ("toolkit", "controls"):
        for dirpath, _, files in os.walk(os.path.join(ROOT, folder)):
            for f in files:
                if not f.endswith(".h"):
                    continue
                text = open(os.path.join(dirpath, f), encoding="utf-8").read()
                for m in re.finditer(r"typedef\s+std::function<\s*[\w:&*<> ]+\((.*?)\)>\s*(\w+)\s*;", text, re.S):
                    types[m.group(2)] = re.sub(r"\s+", " ", m.group(1)).strip()
    return types


def event_line(decl, comment, types):
    """An event as the host assigns it: OnName(parameters by name)."""
    d = re.sub(r"\s+", " ", decl)
    name = EVENT_RE.match(d).group(1)
    m = re.match(r"std::function<\s*[\w:&*<> ]+\((.*)\)>\s+On\w+$", d)
    params = m.group(1) if m else types.get(d.split(" ")[0], "")
    text = f"- `{name}({params})`"
    return text + (f": {comment}" if comment else "")


def render(cls, header, shots):
    lines = open(os.path.join(ROOT, header), encoding="utf-8").read().split("\n")
    base, props, events, methods = parse_class(lines, cls)
    bases = {b: f"{b}.md" for b, _, _ in BASES}
    base_ref = f"[`{base}`]({bases[base]})" if base in bases else f"`{base}`"
    index = "[all controls](README.md)"
    out = [f"# {cls}", "",
           f"<!-- Written by tools/gen-reference.py from {header}; edit the header, then run the tool. -->", "",
           f"`#include \"{header}\"` or `#include <zem_pack/zem_pack.h>` · derives from {base_ref} (its properties, "
           f"events and methods apply as well) · {index} · [every name](SYMBOLS.md) · [user guide](../GUIDE.md)", ""]
    for shot in shots:
        out += [f"![{shot}](../img/{shot}.png)", ""]
    out += ["## Description", "", "```text", header_comment(lines), "```", ""]
    out += ["## Published properties", ""]
    if props:
        out += ["Editable in Designer and stored in .ui files; a generated form calls the setter.", "",
                "| property | type | read | write |", "|---|---|---|---|"]
        out += [f"| `{n}` | `{t}` | `{r}()` | `{w}()` |" if w else f"| `{n}` | `{t}` | `{r}()` | |"
                for t, n, r, w in props]
    else:
        out += [f"None of its own; those of `{base}`."]
    out += ["", "## Events", ""]
    if events:
        out += ["Assign a function (a lambda or a bound member) to the member; an empty one is not called. "
                "The parameters are listed by name:", ""]
        types = event_types()
        out += [event_line(d, c, types) for d, c in events]
    else:
        out += [f"None of its own; those of `{base}`."]
    out += ["", "## Methods", ""]
    current = None
    descs = parse_class.descs
    for section, d, c in methods:
        if section != current:
            current = section
            if section:
                out += ["", f"### {section}", ""]
                if section in descs:
                    out += [descs[section], ""]
        out.append(f"- `{d}`" + (f": {c}" if c else ""))
    text = "\n".join(out).replace("\n\n\n", "\n\n").rstrip("\n") + "\n"
    return text, props, events, methods


def index():
    out = ["# Control reference", "",
           "One page per control, written from its header by tools/gen-reference.py (CTest checks that they",
           "agree). `#include <zem_pack/zem_pack.h>` brings them all; [SYMBOLS.md](SYMBOLS.md) lists every",
           "public name of the package with its header. The controls are on the Designer palette page",
           "\"Zem_Pack\", by name.", "",
           "| control | header |", "|---|---|"]
    out += [f"| [{c}]({c}.md) | `{h}` |" for c, h, _ in sorted(CONTROLS, key=lambda c: c[0].lower())]
    out += ["", "The toolkit class the grid derives from:", "", "| class | header |", "|---|---|"]
    out += [f"| [{c}]({c}.md) | `{h}` |" for c, h, _ in BASES]
    return "\n".join(out) + "\n"


def code_only(text):
    """The header without comments and with string and character literals emptied."""
    out, i, n = [], 0, len(text)
    while i < n:
        if text.startswith("//", i):
            j = text.find("\n", i)
            i = n if j < 0 else j
        elif text.startswith("/*", i):
            j = text.find("*/", i + 2)
            i = n if j < 0 else j + 2
        elif text[i] in "\"'" and not (text[i] == "'" and i > 0 and text[i - 1].isalnum()):
            q = text[i]
            j = i + 1
            while j < n and text[j] != q:
                j += 2 if text[j] == "\\" else 1
            out.append(q + q)
            i = j + 1
        else:
            out.append(text[i])
            i += 1
    return "".join(out)


def declared_names(text):
    """(name, kind) of what a header declares at namespace scope."""
    code = "\n".join(l for l in code_only(text).split("\n")
                     if not l.strip().startswith("#") and not re.match(r"\s*Q_[A-Z_]+\(.*\)\s*$", l))
    names, stmt, i, n = [], "", 0, len(code)

    def body_end(start):
        depth, k = 0, start
        while k < n:
            if code[k] == "{":
                depth += 1
            elif code[k] == "}":
                depth -= 1
                if depth == 0:
                    return k
            k += 1
        return n

    def statement(st, body):
        st = re.sub(r"__attribute__\s*\(\(.*?\)\)", " ", st)
        st = re.sub(r"\s+", " ", st).strip()
        st = re.sub(r"^template\s*<.*?>\s*(?=[A-Za-z])", "", st)
        if not st or st.startswith(("static_assert", "friend", "namespace")):
            return
        m = re.match(r"(?:typedef\b.*\(\s*\*\s*(\w+)\s*\)|typedef\b.*?(\w+)\s*$|using\s+(\w+)\s*=)", st)
        if m:
            names.append((next(g for g in m.groups() if g), "type"))
            return
        m = re.match(r"(?:class|struct|union)\s+(\w+)", st)
        if m and body is not None:
            names.append((m.group(1), "class"))
            return
        if m:  # a declaration of a type defined elsewhere
            return
        m = re.match(r"enum\b(?:\s+class)?(?:\s+(\w+))?", st)
        if m:
            if m.group(1):
                names.append((m.group(1), "enum"))
            for e in re.findall(r"(?:^|,)\s*(\w+)\s*(?:=[^,]*)?", body or ""):
                names.append((e, "constant" if not m.group(1) else f"value of {m.group(1)}"))
            return
        m = re.search(r"(operator\s*\S+?|~?\w+)\s*\(", st)
        if m and "=" not in st[:m.start()]:
            names.append((m.group(1).replace(" ", ""), "function"))
            return
        m = re.search(r"(\w+)\s*(?:\[[^\]]*\])?\s*(?:=.*)?$", st)
        if m:
            names.append((m.group(1), "variable"))

    while i < n:
        ch = code[i]
        if ch == "{":
            head = re.sub(r"\s+", " ", stmt).strip()
            if head in ('extern "" C', 'extern ""', "extern \"\"") or head.startswith("extern") or head.startswith("namespace"):
                stmt, i = "", i + 1  # a linkage block or a namespace: its names are at namespace scope
                continue
            end = body_end(i)
            statement(stmt, code[i + 1:end])
            stmt, i = "", end + 1
            # "struct X { } name;" and "enum { ... };": what follows the body up to ';' belongs to it
            j = code.find(";", i)
            if j >= 0 and not code[i:j].strip():
                i = j + 1
            continue
        if ch == "}":  # the end of a linkage block or namespace
            stmt, i = "", i + 1
            continue
        if ch == ";":
            statement(stmt, None)
            stmt, i = "", i + 1
            continue
        stmt += ch
        i += 1
    return names


def public_headers():
    """The headers <zem_pack/zem_pack.h> brings: those it includes, and theirs, within the package."""
    seen, todo = [], [UMBRELLA]
    while todo:
        h = todo.pop(0)
        path = os.path.join(ROOT, h)
        if h in seen or not os.path.exists(path):
            continue
        seen.append(h)
        for inc in re.findall(r'^\s*#\s*include\s+"([^"]+)"', open(path, encoding="utf-8").read(), re.M):
            todo.append(inc)
    return [h for h in seen if h != UMBRELLA]


def cell(text):
    """Text for a cell of a table: a "|" escaped, so that it does not end the cell."""
    return text.replace("|", "\\|")


def symbols():
    rows = set()
    for h in public_headers():
        for name, kind in declared_names(open(os.path.join(ROOT, h), encoding="utf-8").read()):
            if name and not name.startswith("_") or name.startswith("_R"):
                rows.add((name, kind, h))
    out = ["# Every public name", "",
           "<!-- Written by tools/gen-reference.py from the headers; run the tool after changing one. -->", "",
           "What `#include <zem_pack/zem_pack.h>` brings, by name: the classes, types, functions, constants and",
           "variables declared outside classes in the package's headers (members are on the pages of their",
           "classes: [controls](README.md)), and the header that declares each. An application may include",
           "that header alone instead.", "",
           "| name | kind | header |", "|---|---|---|"]
    out += [f"| `{cell(n)}` | {k} | `{h}` |" for n, k, h in sorted(rows, key=lambda r: (r[0].lower(), r[0], r[2], r[1]))]
    return "\n".join(out) + "\n", sorted(rows)


def guide_snippets_missing():
    """The cpp and cmake blocks of docs/GUIDE.md that are not, line for line, a piece of a file of
    examples/ (leading blanks aside): the guide shows what CI builds and runs."""
    guide = open(os.path.join(ROOT, "docs", "GUIDE.md"), encoding="utf-8").read()
    examples = os.path.join(ROOT, "examples")
    sources = []
    for name in sorted(os.listdir(examples)):
        if name.endswith((".cpp", ".txt", ".ui")):
            text = open(os.path.join(examples, name), encoding="utf-8").read()
            sources.append("\n".join(l.strip() for l in text.split("\n")))
    missing = []
    for block in re.findall(r"```(?:cpp|cmake)\n(.*?)```", guide, re.S):
        lines = "\n".join(l.strip() for l in block.strip("\n").split("\n"))
        if not any(lines in src for src in sources):
            missing.append(block.strip("\n").split("\n")[0])
    return missing


def main():
    args = sys.argv[1:]
    check = "--check" in args
    drop = args[args.index("--drop-row") + 1].split(":", 1) if "--drop-row" in args else None
    pages = {"README.md": (index(), [], [], [])}
    for cls, header, shots in CONTROLS + BASES:
        pages[cls + ".md"] = render(cls, header, shots)
    symbol_text, symbol_rows = symbols()
    pages["SYMBOLS.md"] = (symbol_text, [], [], [])
    failed = False
    for name, (text, props, events, methods) in pages.items():
        path = os.path.join(OUT, name)
        if not check:
            os.makedirs(OUT, exist_ok=True)
            with open(path, "w", encoding="utf-8") as f:
                f.write(text)
            continue
        old = open(path, encoding="utf-8").read() if os.path.exists(path) else ""
        if drop and drop[0] == name:
            old = "".join(l for l in old.splitlines(True) if drop[1] not in l)
        if old == text:
            continue
        failed = True
        print(f"docs/reference/{name} differs from its header (run tools/gen-reference.py)")
        for t, n, r, w in props:
            if f"| `{n}` |" not in old:
                print(f"  published property {n} is missing")
        for d, _ in events:
            name = EVENT_RE.match(re.sub(r"\s+", " ", d)).group(1)
            if f"`{name}(" not in old:
                print(f"  event {name} is missing")
        for _, d, _ in methods:
            if f"`{d}`" not in old:
                print(f"  method {d} is missing")
        if name == "SYMBOLS.md":
            for n, k, h in symbol_rows:
                if f"| `{cell(n)}` | {k} | `{h}` |" not in old:
                    print(f"  {n} ({h}) is missing")
    if check:
        for first in guide_snippets_missing():
            failed = True
            print(f"docs/GUIDE.md: the snippet beginning \"{first.strip()}\" is in no file of examples/")
    if failed:
        sys.exit(1)
    print(f"reference: {len(pages)} pages {'agree with the headers' if check else 'written'}")


if __name__ == "__main__":
    main()
