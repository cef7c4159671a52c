#!/usr/bin/env python3
"""Checks that the documents say what the code does.

check-docs.py log-texts SRC_DIR REFERENCE
    Every text that the code can write into the run log (the texts passed to
    QelWriteLog, the START and END markers of every StageMarkers, the notice
    texts and their caption) appears in the reference. A call of QelWriteLog
    whose text cannot be read off the source fails the check, so that a new
    way of passing a text is not silently skipped.

check-docs.py example README EXAMPLE
    Every C code block of the README appears word for word in the example
    program, which the build compiles and the tests run.
"""
import pathlib
import re
import sys

STRING = r'u"((?:[^"\\]|\\.)*)"'


def unescape(text):
    return re.sub(r"\\(.)", r"\1", text)


def call_arguments(source, open_paren):
    """The top-level arguments of the call whose '(' is at open_paren."""
    depth, start, arguments, quoted = 0, open_paren + 1, [], False
    for i in range(open_paren, len(source)):
        c = source[i]
        if quoted:
            if c == "\\":
                continue
            if c == '"' and source[i - 1] != "\\":
                quoted = False
        elif c == '"':
            quoted = True
        elif c == "(":
            depth += 1
        elif c == ")":
            depth -= 1
            if depth == 0:
                arguments.append(source[start:i].strip())
                return arguments
        elif c == "," and depth == 1:
            arguments.append(source[start:i].strip())
            start = i + 1
    raise ValueError("unbalanced call")


def log_texts(src):
    files = sorted(p for p in src.rglob("*") if p.suffix in (".cpp", ".h"))
    sources = {p: p.read_text(encoding="utf-8") for p in files}
    constants = {}
    for text in sources.values():
        for name, value in re.findall(r"\b(k\w+)\[\]\s*=\s*" + STRING, text):
            constants[name] = unescape(value)

    texts, problems = set(), []
    for path, text in sources.items():
        for stage in re.findall(r"\bStageMarkers\s+\w+\(\s*\w+\s*,\s*" + STRING, text):
            texts.add(f"<========== {stage} START ==========>")
            texts.add(f"<========== {stage} END ==========>")
        for call in re.finditer(r"\bQelWriteLog\s*\(", text):
            line = text.count("\n", 0, call.start()) + 1
            if re.search(r"\bvoid\s+$", text[: call.start()]):
                continue  # the declaration and the definition
            argument = call_arguments(text, call.end() - 1)[1]
            if "Marker(" in argument:
                continue  # the START and END markers, taken from StageMarkers above
            found = [unescape(s) for s in re.findall(STRING, argument)]
            found += [constants[n] for n in re.findall(r"\bk[A-Z]\w*", argument) if n in constants]
            if not found:
                problems.append(f"{path}:{line}: cannot read the log text of: {argument}")
            texts.update(found)
    texts.update(v for n, v in constants.items() if n.startswith("kNotice"))
    return texts, problems


def check_log_texts(src, reference):
    texts, problems = log_texts(pathlib.Path(src))
    document = pathlib.Path(reference).read_text(encoding="utf-8")
    problems += [f"not in {reference}: {t}" for t in sorted(texts) if t not in document]
    print(f"{len(texts)} log and notice texts found in the code")
    return problems


def check_example(readme, example):
    blocks = re.findall(r"```c\n(.*?)```", pathlib.Path(readme).read_text(encoding="utf-8"), re.S)
    program = pathlib.Path(example).read_text(encoding="utf-8")
    problems = [f"{readme}: C block {i + 1} is not part of {example}" for i, b in enumerate(blocks) if b not in program]
    if not blocks:
        problems.append(f"{readme}: no C code block")
    print(f"{len(blocks)} C code blocks in the README")
    return problems


def main():
    checks = {"log-texts": check_log_texts, "example": check_example}
    if len(sys.argv) != 4 or sys.argv[1] not in checks:
        print(__doc__, file=sys.stderr)
        return 2
    problems = checks[sys.argv[1]](sys.argv[2], sys.argv[3])
    for problem in problems:
        print("FAIL:", problem)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
