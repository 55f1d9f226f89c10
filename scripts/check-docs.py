#!/usr/bin/env python3
"""Fails, saying where, when the README or a page of docs/ points at nothing.

Checks every relative link (and its #anchor), every repository path named in
backticks, the commands of the README's two-commands block, the README's
excerpts against the files they quote, the package's version against the
changelog and the examples, and the README's length.
    check-docs.py [ROOT]
"""
import os
import re
import sys

README_LIMIT = 250
EXCERPT_MARK = re.compile(r"<!-- excerpt: (\S+) -->")
ELISION = {"...", "// ...", "# ..."}
LINK = re.compile(r"!?\[[^\]]*\]\(([^)\s]+)\)")
NAMED = re.compile(r"`([^`\n]+)`")
FENCE = re.compile(r"^```")


def slug(heading):
    """The anchor a Markdown viewer gives a heading."""
    text = re.sub(r"[^\w\- ]", "", heading.strip().lower())
    return text.replace(" ", "-")


def prose(lines):
    """The lines outside fenced code, with their numbers."""
    inside = False
    for number, line in enumerate(lines, 1):
        if FENCE.match(line):
            inside = not inside
        elif not inside:
            yield number, line


def anchors(path):
    with open(path, encoding="utf-8") as f:
        return {slug(line.lstrip("#")) for _, line in prose(f.read().splitlines())
                if line.startswith("#")}


class Check:
    def __init__(self, root):
        self.root = root
        self.problems = []
        self.folders = {e for e in os.listdir(root)
                        if os.path.isdir(os.path.join(root, e)) and e not in {"build", ".git"}}

    def fail(self, where, what):
        self.problems.append(f"{os.path.relpath(where, self.root)}: {what}")

    def links(self, path, lines):
        here = os.path.dirname(path)
        for number, line in prose(lines):
            for target in LINK.findall(line):
                if re.match(r"[a-z]+:", target):
                    continue
                file, _, anchor = target.partition("#")
                full = os.path.normpath(os.path.join(here, file)) if file else path
                if not os.path.exists(full):
                    self.fail(path, f"line {number}: the link {target} leads nowhere")
                elif anchor and full.endswith(".md") and anchor not in anchors(full):
                    self.fail(path, f"line {number}: {file or 'this page'} has no heading #{anchor}")

    def named_files(self, path, lines):
        for number, line in prose(lines):
            for token in NAMED.findall(line):
                name = token.split()[0].strip("\"'") if token.split() else ""
                if "/" not in name or re.search(r"[*?<>{}\[\]$]|\.\.\.", name):
                    continue
                if name.split("/")[0] not in self.folders:
                    continue
                if not os.path.exists(os.path.join(self.root, name)):
                    self.fail(path, f"line {number}: `{name}` does not exist")

    def two_commands(self, path, text):
        section = text.partition("\n## The two commands\n")[2]
        block = re.search(r"```sh\n(.*?)```", section, re.S)
        if not block:
            self.fail(path, "no ```sh block under '## The two commands'")
            return
        for command in filter(None, (l.strip() for l in block.group(1).splitlines())):
            program = os.path.join(self.root, command.split()[0])
            if not (os.path.isfile(program) and os.access(program, os.X_OK)):
                self.fail(path, f"the command {command.split()[0]} is not an executable file")

    def excerpts(self, path, lines):
        quoted = set()
        for index, line in enumerate(lines):
            mark = EXCERPT_MARK.search(line)
            if not mark:
                continue
            source = os.path.join(self.root, mark.group(1))
            quoted.add(mark.group(1))
            end = next(i for i in range(index + 2, len(lines)) if FENCE.match(lines[i]))
            if not os.path.isfile(source):
                self.fail(path, f"line {index + 1}: the excerpt's file {mark.group(1)} is missing")
                continue
            with open(source, encoding="utf-8") as f:
                original = [l.strip() for l in f.read().splitlines()]
            self.excerpt(path, index + 1, mark.group(1), lines[index + 2:end], original)
        return quoted

    def excerpt(self, path, number, name, block, original):
        """Each run between elisions must stand in the file as it is, in order."""
        chunks = [[]]
        for line in block:
            if line.strip() in ELISION:
                chunks.append([])
            else:
                chunks[-1].append(line.strip())
        at = 0
        for chunk in filter(None, chunks):
            found = next((i for i in range(at, len(original) - len(chunk) + 1)
                          if original[i:i + len(chunk)] == chunk), None)
            if found is None:
                self.fail(path, f"line {number}: the excerpt of {name} differs from it at "
                                f"\"{chunk[0]}\"")
                return
            at = found + len(chunk)

    def versions(self):
        with open(os.path.join(self.root, "CMakeLists.txt"), encoding="utf-8") as f:
            package = re.search(r"project\(lumo VERSION (\d+\.\d+\.\d+)", f.read()).group(1)
        with open(os.path.join(self.root, "CHANGELOG.md"), encoding="utf-8") as f:
            newest = re.search(r"^## (\d+\.\d+\.\d+)", f.read(), re.M)
        if not newest or newest.group(1) != package:
            self.fail(os.path.join(self.root, "CHANGELOG.md"),
                      f"the newest version is not the package's, {package}")
        minor = ".".join(package.split(".")[:2])
        for example in ("consumer", "c_consumer"):
            path = os.path.join(self.root, "examples", example, "CMakeLists.txt")
            with open(path, encoding="utf-8") as f:
                if f"find_package(lumo {minor} " not in f.read():
                    self.fail(path, f"find_package does not ask for the package's {minor}")

    def run(self):
        readme = os.path.join(self.root, "README.md")
        docs = os.path.join(self.root, "docs")
        pages = [readme, os.path.join(self.root, "CHANGELOG.md")] + sorted(
            os.path.join(docs, p) for p in os.listdir(docs) if p.endswith(".md"))
        for page in pages:
            with open(page, encoding="utf-8") as f:
                text = f.read()
            lines = text.splitlines()
            self.links(page, lines)
            self.named_files(page, lines)
            if page == readme:
                if len(lines) > README_LIMIT:
                    self.fail(page, f"{len(lines)} lines, more than {README_LIMIT}")
                self.two_commands(page, text)
                quoted = self.excerpts(page, lines)
                for needed in ("examples/consumer/CMakeLists.txt", "examples/consumer/main.cpp"):
                    if needed not in quoted:
                        self.fail(page, f"no excerpt of {needed}")
        self.versions()
        for problem in self.problems:
            print(f"check-docs: {problem}", file=sys.stderr)
        return 1 if self.problems else 0


if __name__ == "__main__":
    here = os.path.dirname(os.path.abspath(__file__))
    sys.exit(Check(sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(here)).run())
