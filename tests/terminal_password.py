#!/usr/bin/env python3
"""Runs a program on a pseudo-terminal and types at its password prompts.

usage: terminal_password.py KEYS PROGRAM ARGS...
KEYS is a list of answers separated by ',' ("^C" stands for the interrupt
key). Prints the program's exit status, whether echo is on once it ended
and everything it wrote to the terminal.
"""
import os
import pty
import sys
import termios
import time


def read_until(fd, text, limit=10.0):
    seen = b""
    end = time.time() + limit
    while text not in seen and time.time() < end:
        try:
            chunk = os.read(fd, 4096)
        except OSError:
            break
        if not chunk:
            break
        seen += chunk
    return seen


def main():
    keys = sys.argv[1].split(",")
    pid, fd = pty.fork()
    if pid == 0:
        os.execv(sys.argv[2], sys.argv[2:])
    seen = b""
    for key in keys:
        seen += read_until(fd, b"Enter password: ")
        os.write(fd, b"\x03" if key == "^C" else key.encode() + b"\n")
        time.sleep(0.2)
    _, status = os.waitpid(pid, 0)
    echo = bool(termios.tcgetattr(fd)[3] & termios.ECHO)
    seen += read_until(fd, b"\x00", 0.5)
    print(os.waitstatus_to_exitcode(status))
    print("echo" if echo else "no echo")
    sys.stdout.write(seen.decode(errors="replace").replace("\r", ""))


main()
