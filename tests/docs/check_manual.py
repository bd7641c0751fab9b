#!/usr/bin/env python3
"""Checks the manual under docs/manual against the code it describes.

- reference.md has one "### SLOT `Name`" heading per interface method, in slot order, for every
  `virtual HRESULT Name(` declared in include/velmora/IVelmoraDatabase*.h (slots 0-2 are
  IUnknown's, so the first declaration is slot 3);
- errors.md has one row per engine error of engine/Errors.h, with its result code and its exact
  message, and no row for a code the engine does not have;
- a code block marked <!-- example: PATH --> or <!-- output: PATH --> is that file byte for byte,
  every examples/*.cpp is quoted, and no C++ block holding a main function is left unmarked.

Usage: check_manual.py SOURCE_ROOT. Prints every difference; exit status 1 when there is one.
"""
import pathlib
import re
import sys

root = pathlib.Path(sys.argv[1])
manual = root / "docs" / "manual"
problems = []


def interface_slots():
    names = []
    for header in ("IVelmoraDatabase.h", "IVelmoraDatabase2.h"):
        text = (root / "include" / "velmora" / header).read_text()
        names += re.findall(r"virtual\s+HRESULT\s+(\w+)\s*\(", text)
    return [(3 + i, name) for i, name in enumerate(names)]


def check_reference():
    text = (manual / "reference.md").read_text()
    documented = [(int(slot), name)
                  for slot, name in re.findall(r"^### (\d+) `(\w+)`", text, re.M)]
    expected = interface_slots()
    if len(expected) < 59:
        problems.append(f"only {len(expected)} methods parsed from the headers")
    if documented != expected:
        missing = [m for m in expected if m not in documented]
        extra = [m for m in documented if m not in expected]
        problems.append("reference.md: method headings differ from the headers"
                        f" (missing or misplaced: {missing}; unknown: {extra};"
                        " or out of slot order)")


def check_errors():
    header = (root / "engine" / "Errors.h").read_text()
    rows = re.findall(r'ErrorRow\s+k\w+\s*=\s*\{\s*(\d+)\s*,\s*"((?:[^"\\]|\\.)*)"\s*\}', header)
    engine = {int(code): message for code, message in rows if int(code) != 0}
    if len(engine) < 20:
        problems.append(f"only {len(engine)} error rows parsed from engine/Errors.h")
    text = (manual / "errors.md").read_text()
    table = re.findall(r'^\|\s*(\d+)\s*\|\s*`?(0x[0-9A-Fa-f]{8})`?\s*\|\s*"([^"]*)"', text, re.M)
    documented = {}
    for code, result, message in table:
        documented[int(code)] = (int(result, 16), message)
    for code, message in engine.items():
        if code not in documented:
            problems.append(f"errors.md: no row for error {code}")
            continue
        result, text_message = documented[code]
        if result != 0x80040000 | (code + 0x200):
            problems.append(f"errors.md: error {code} has result code {result:#010x}")
        if text_message != message:
            problems.append(f'errors.md: error {code} reads "{text_message}", not "{message}"')
    for code in documented:
        if code not in engine:
            problems.append(f"errors.md: error {code} is not an engine error")


def check_quoted_files():
    block = re.compile(r"<!-- (example|output): (\S+) -->\n```\w*\n(.*?)^```", re.M | re.S)
    quoted = set()
    for page in sorted(manual.glob("*.md")):
        text = page.read_text()
        for kind, path, body in block.findall(text):
            quoted.add(path)
            source = root / path
            if not source.is_file():
                problems.append(f"{page.name}: quotes {path}, which does not exist")
            elif source.read_text() != body:
                problems.append(f"{page.name}: the block quoting {path} differs from the file")
        unmarked = re.sub(block, "", text)
        for code in re.findall(r"```cpp\n(.*?)^```", unmarked, re.M | re.S):
            if re.search(r"\bint\s+main\s*\(", code):
                problems.append(f"{page.name}: a program that is not one of examples/")
    for example in sorted((root / "examples").glob("*.cpp")):
        path = example.relative_to(root).as_posix()
        if path not in quoted:
            problems.append(f"{path} is not quoted in the manual")


check_reference()
check_errors()
check_quoted_files()
for problem in problems:
    print(problem)
sys.exit(1 if problems else 0)
