#!/usr/bin/env python3
"""Fails when a man page leaves out what its program's --help prints: an
option, a parcelon verb (and every option of its own --help), or an exit
status.

usage: man_pages_cover_help.py MAN_DIR NAME=PROGRAM...
"""
import os
import re
import subprocess
import sys

OPTION = re.compile(r"(?<![\w\\-])(--?[A-Za-z][\w-]*)")


def help_text(program, *args):
    # The window answers --help before it looks for a display.
    env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
    run = subprocess.run([program, *args, "--help"], capture_output=True, text=True, env=env)
    if run.returncode != 0:
        sys.exit(f"{program} {' '.join(args)} --help exited with {run.returncode}")
    return run.stdout


def page_text(man_dir, name):
    with open(os.path.join(man_dir, name + ".1"), encoding="utf-8") as page:
        text = page.read()
    return re.sub(r"\\f[BIRP]", "", text.replace("\\-", "-"))


def exit_statuses(help):
    at = help.find("Exit status")
    return set(re.findall(r"\b(\d)\b", help[at:])) if at >= 0 else set()


def page_statuses(page):
    at = page.find(".SH EXIT STATUS")
    end = page.find(".SH", at + 1)
    return set(re.findall(r"^\.B (\d)$", page[at:end], re.M)) if at >= 0 else set()


def verbs(help):
    listed = help.split("Verbs:", 1)[1] if "Verbs:" in help else ""
    return re.findall(r"^  ([a-z]+) ", listed, re.M)


def missing(name, program, page):
    help = help_text(program)
    problems = [f"{name}: option {o}" for o in sorted(set(OPTION.findall(help)) - set(OPTION.findall(page)))]
    problems += [f"{name}: exit status {s}" for s in sorted(exit_statuses(help) - page_statuses(page))]
    for verb in verbs(help):
        if f".B {name} {verb}" not in page:
            problems.append(f"{name}: verb {verb}")
        found = set(OPTION.findall(page))
        problems += [f"{name} {verb}: option {o}"
                     for o in sorted(set(OPTION.findall(help_text(program, verb))) - found)]
    return problems


def main():
    man_dir = sys.argv[1]
    problems = []
    for pair in sys.argv[2:]:
        name, program = pair.split("=", 1)
        problems += missing(name, program, page_text(man_dir, name))
    for problem in problems:
        print(f"missing from the man page: {problem}")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
