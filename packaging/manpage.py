#!/usr/bin/env python3
"""Writes a man page from a program's --help text, so that the page says what
the program says and never drifts from it.

    manpage.py PROGRAM NAME SUMMARY VERSION OUTPUT [--commands]

The help text is read in its plain layout: "Usage: ..." first (the
synopsis), then the description up to the first heading; a line at the left
margin that ends in a colon starts a section; an indented "term  text" line
is an entry, deeper-indented lines continue it. With --commands, every
command listed under "Commands:" gets its own help (PROGRAM CMD --help)
under COMMANDS."""

import re
import subprocess
import sys


def run_help(program, words):
    done = subprocess.run([program] + words + ["--help"], capture_output=True, text=True, check=True,
                          env={"LC_ALL": "C", "QT_QPA_PLATFORM": "offscreen"})
    return done.stdout


def roff(text):
    text = text.replace("\\", "\\e").replace("-", "\\-")
    if text.startswith((".", "'")):
        text = "\\&" + text
    return text


def parse(help_text):
    """Gives (synopsis, description lines, [(heading, lines)])."""
    lines = help_text.rstrip("\n").split("\n")
    synopsis = lines[0].split(":", 1)[1].strip() if lines and lines[0].startswith("Usage:") else ""
    description, sections = [], []
    for line in lines[1:]:
        if line and not line.startswith(" ") and line.endswith(":"):
            sections.append((line[:-1], []))
        elif sections:
            sections[-1][1].append(line)
        else:
            description.append(line)
    return synopsis, description, sections


ENTRY = re.compile(r"^  (\S.*?)(?: {2,}(\S.*))?$")


def body(lines, out):
    """Paragraphs and entries of one section; text at the left margin after
    an entry starts a paragraph of its own."""
    in_entry = False
    for line in lines:
        if not line.strip():
            out.append(".PP")
            in_entry = False
            continue
        entry = ENTRY.match(line) if line.startswith("  ") and not line.startswith("   ") else None
        if entry:
            out.append(".TP")
            out.append(".B " + roff(entry.group(1)))
            if entry.group(2):
                out.append(roff(entry.group(2)))
            in_entry = True
        elif not line.startswith(" ") and in_entry:
            out.append(".PP")
            out.append(roff(line))
            in_entry = False
        else:
            out.append(roff(line.strip()))


def entry_terms(lines):
    return {m.group(1) for m in (ENTRY.match(l) for l in lines if l.startswith("  ") and not l.startswith("   ")) if m}


def commands(program, lines, general, out):
    """Each command's own help; the options every command shares (general)
    are said once, under their own sections."""
    out.append(".SH COMMANDS")
    for line in lines:
        usage = line.strip()
        command = re.match(r"[a-z-]+(?: [a-z-]+)?(?= |$)", usage) if line.startswith("  ") else None
        if not command:
            continue
        words = command.group(0).split()
        if words == ["help"]:
            continue
        _, description, sections = parse(run_help(program, words))
        out.append(".SS " + roff(usage))
        for text in description:
            out.append(roff(text.strip()) if text.strip() else ".PP")
        for heading, entries in sections:
            own = []
            skipping = False
            for entry in entries:
                match = ENTRY.match(entry) if entry.startswith("  ") and not entry.startswith("   ") else None
                if match:
                    skipping = match.group(1) in general
                if not skipping:
                    own.append(entry)
            if not any(e.strip() for e in own):
                continue
            out.append(".PP")
            out.append(roff(heading) + ":")
            out.append(".RS")
            body(own, out)
            out.append(".RE")


def main():
    args = sys.argv[1:]
    with_commands = "--commands" in args
    args = [a for a in args if a != "--commands"]
    program, name, summary, version, output = args
    synopsis, description, sections = parse(run_help(program, []))
    out = ['.TH %s 1 "" "%s %s" "User Commands"' % (name.upper(), name, version),
           ".SH NAME", "%s \\- %s" % (roff(name), roff(summary)),
           ".SH SYNOPSIS", ".B " + roff(synopsis),
           ".SH DESCRIPTION"]
    for text in description:
        if text.strip():
            out.append(roff(text.strip()))
        elif out[-1] != ".PP" and out[-1] != ".SH DESCRIPTION":
            out.append(".PP")
    general = set()
    for heading, lines in sections:
        if heading.startswith("Options"):
            general |= entry_terms(lines)
    for heading, lines in sections:
        if heading == "Commands" and with_commands:
            out.append(".SH COMMAND SUMMARY")
            out.append(".nf")
            out.extend(roff(line.strip()) for line in lines if line.startswith("  "))
            out.append(".fi")
            for line in lines:
                if line.strip() and not line.startswith(" "):
                    out.extend([".PP", roff(line)])
            continue
        out.append(".SH " + roff(heading.upper()))
        body(lines, out)
    if with_commands:
        for heading, lines in sections:
            if heading == "Commands":
                commands(program, lines, general, out)
    with open(output, "w", encoding="utf-8") as page:
        page.write("\n".join(line for line in out) + "\n")


if __name__ == "__main__":
    main()
