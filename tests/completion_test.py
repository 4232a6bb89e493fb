#!/usr/bin/env python3
"""The completion of one shell (bash, zsh or fish), as the real shell
offers it for lines typed in a folder that holds names with a space:
options, the value of -j and --jobs, files after --journal, patterns after
--include, and folders and .jpg/.jpeg files as PATHs. bash and zsh run
interactively on a pseudo-terminal and complete at a Tab; fish completes
with complete -C.

Usage: completion_test.py bash|zsh|fish FILE (the shell's completion file)
"""
import os
import pty
import select
import subprocess
import sys
import tempfile
import time

SHELL, COMPLETION = sys.argv[1], os.path.abspath(sys.argv[2])
NUMBERS = {"1", "2", "4", "8", "16", "32", "64", "128", "256"}
CASES = [
    # line typed, the names offered (each as typed, less an option's prefix)
    ("quadrell --jou", {"--journal"}),
    ("quadrell --ch", {"--check"}),
    ("quadrell --vers", {"--version"}),
    ("quadrell --journal my", {"my album", "my journal.txt"}),
    ("quadrell --undo my\\ j", {"my journal.txt"}),
    ("quadrell -n ", {"a.JPG", "b.jpeg", "my album", "sub"}),
    ("quadrell my\\ ", {"my album"}),
    ("quadrell -- m", {"my album"}),
    ("quadrell -rj ", NUMBERS),
    ("quadrell --jobs=", NUMBERS),
    ("quadrell --include ", {"*.jfif", "*.jpe"}),
]

BASH_RC = """PS1=''
. /usr/share/bash-completion/bash_completion
. "$COMPLETION"
_test_capture() {
  _quadrell "$@"
  printf '%s\\n' "${COMPREPLY[@]}" >>"$OUT"
  echo --end-- >>"$OUT"
}
complete -F _test_capture quadrell
"""

ZSH_RC = """PS1=''
fpath=(${COMPLETION:h} $fpath)
autoload -Uz compinit && compinit -u -D
compadd() {
  if [[ ${@[1,(i)(-|--)]} == *-(O|A|D)\\ * ]]; then
    builtin compadd "$@"
    return
  fi
  local -a hits
  builtin compadd -A hits "$@"
  (( $#hits )) && print -rl -- $hits >>$OUT
  builtin compadd "$@"
}
_test_done() { print -r -- --end-- >>$OUT }
_test_complete() { comppostfuncs=(_test_done); zle complete-word }
zle -N _test_complete
bindkey '^I' _test_complete
"""


def offered_at_tab(command, line, out, environment):
    """What the shell's completion wrote to out for line and a Tab."""
    master, slave = pty.openpty()
    shell = subprocess.Popen(command, stdin=slave, stdout=slave, stderr=slave, env=environment,
                             start_new_session=True)
    os.close(slave)
    os.write(master, line.encode() + b"\t")
    deadline = time.monotonic() + 120  # a shell that never answers, not a slow one
    text = ""
    while time.monotonic() < deadline:
        if select.select([master], [], [], 0.1)[0]:
            try:
                os.read(master, 65536)
            except OSError:
                break
        if os.path.exists(out):
            with open(out) as f:
                text = f.read()
            if "--end--" in text:
                break
    shell.kill()
    shell.wait()
    os.close(master)
    return [name for name in text.splitlines() if name != "--end--"]


def offered(line, scratch):
    out = os.path.join(scratch, "offered")
    if os.path.exists(out):
        os.remove(out)
    environment = dict(os.environ, OUT=out, COMPLETION=COMPLETION, HOME=scratch,
                       XDG_CONFIG_HOME=scratch, XDG_DATA_HOME=scratch, TERM="dumb")
    if SHELL == "bash":
        rc = os.path.join(scratch, "bashrc")
        with open(rc, "w") as f:
            f.write(BASH_RC)
        names = offered_at_tab(["bash", "--noprofile", "--rcfile", rc, "-i"], line, out, environment)
    elif SHELL == "zsh":
        with open(os.path.join(scratch, ".zshrc"), "w") as f:
            f.write(ZSH_RC)
        environment["ZDOTDIR"] = scratch
        names = offered_at_tab(["zsh", "-d", "-i"], line, out, environment)
        names = [name.replace("\\", "") for name in names]
    else:
        run = subprocess.run(["fish", "--no-config", "-c",
                              'source "$COMPLETION"; complete -C "$argv[1]"', line],
                             capture_output=True, text=True, env=environment)
        names = [name.split("\t")[0] for name in run.stdout.splitlines()]
    # The option's own part of a word, which fish repeats.
    return {name.removeprefix("--jobs=").removeprefix("-rj").rstrip("/").strip("'")
            for name in names}


def main():
    failures = 0
    with tempfile.TemporaryDirectory(prefix="quadrell-completion-") as scratch:
        folder = os.path.join(scratch, "photos")
        os.makedirs(os.path.join(folder, "my album"))
        os.makedirs(os.path.join(folder, "sub"))
        for name in ("my journal.txt", "a.JPG", "b.jpeg", "notes.txt", "my album/x.jpg"):
            open(os.path.join(folder, name), "w").close()
        os.chdir(folder)
        for line, expected in CASES:
            got = offered(line, scratch)
            if got != expected:
                print("FAIL: %s: %r offered %r, not %r" % (SHELL, line, sorted(got), sorted(expected)))
                failures += 1
    print("%s completion: %d of %d lines as expected" % (SHELL, len(CASES) - failures, len(CASES)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
