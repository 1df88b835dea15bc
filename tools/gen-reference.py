#!/usr/bin/env python3
"""Writes docs/reference/<Control>.md for the eight controls from their headers, so the pages cannot
drift from the code (and checks that the code snippets of docs/GUIDE.md are the example programs'
text): the unit's description (the header's opening comment), the published properties
(Q_PROPERTY, with the getter and the setter a generated form calls), the events (the public On* members)
and the public methods, each with the comment written above it in the header.

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
                    section, comment = text.strip("- .").rstrip("."), []
                else:
                    comment.append(text)
                continue
            if not stripped:
                comment = []
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
                comment = []
        elif depth == 1 and code:
            comment = []
        depth += opened - closed
        if depth <= 0 and opened + closed and line is not lines[start]:
            break
    setters = {p[3] for p in props if p[3]}
    methods = [m for m in methods if re.search(r"(\w+)\s*\(", m[1]).group(1) not in setters]
    return base, props, events, methods


def render(cls, header, shots):
    lines = open(os.path.join(ROOT, header), encoding="utf-8").read().split("\n")
    base, props, events, methods = parse_class(lines, cls)
    out = [f"# {cls}", "",
           f"<!-- Written by tools/gen-reference.py from {header}; edit the header, then run the tool. -->", "",
           f"`#include \"{header}\"` · derives from `{base}` (its properties, events and methods apply as well) · "
           f"[all controls](README.md) · [user guide](../GUIDE.md)", ""]
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
        out += ["Assign a function (a lambda or a bound member) to the member; an empty one is not called.", ""]
        out += [f"- `{d}`" + (f": {c}" if c else "") for d, c in events]
    else:
        out += [f"None of its own; those of `{base}`."]
    out += ["", "## Methods", ""]
    current = None
    for section, d, c in methods:
        if section != current:
            current = section
            if section:
                out += ["", f"### {section}", ""]
        out.append(f"- `{d}`" + (f": {c}" if c else ""))
    text = "\n".join(out).replace("\n\n\n", "\n\n").rstrip("\n") + "\n"
    return text, props, events, methods


def index():
    out = ["# Control reference", "",
           "One page per control, written from its header by tools/gen-reference.py (CTest checks that they",
           "agree). The controls are on the Designer palette page \"Zem_Pack\" in this order.", "",
           "| control | header |", "|---|---|"]
    out += [f"| [{c}]({c}.md) | `{h}` |" for c, h, _ in CONTROLS]
    return "\n".join(out) + "\n"


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
    for cls, header, shots in CONTROLS:
        pages[cls + ".md"] = render(cls, header, shots)
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
            if f"`{d}`" not in old:
                print(f"  event {d} is missing")
        for _, d, _ in methods:
            if f"`{d}`" not in old:
                print(f"  method {d} is missing")
    if check:
        for first in guide_snippets_missing():
            failed = True
            print(f"docs/GUIDE.md: the snippet beginning \"{first.strip()}\" is in no file of examples/")
    if failed:
        sys.exit(1)
    print(f"reference: {len(pages)} pages {'agree with the headers' if check else 'written'}")


if __name__ == "__main__":
    main()
