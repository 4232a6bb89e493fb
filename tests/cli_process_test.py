#!/usr/bin/env python3
"""quadrell as a process: stopped by signals, its status line on a
terminal, and the limits and outputs its callers hand it.

Interrupts: SIGINT and SIGTERM at random moments of a -p run over thousands
of small files, read ahead 16 and 1, each moment set by how much of the log
has been read, never by a clock: a run cannot end while more of its log is
unread than a pipe holds, so every run is stopped before its end, however
fast or slow the machine. Every file changed has its line and
its dates, every line's file is changed, the summary line closes the log,
standard error says the run was interrupted, and the program ends by the
signal. A journaled run killed (SIGKILL) at such moments leaves no change
without its record: --undo puts every file back, bytes and dates. Progress:
a slow run (storage that waits 1 ms per open and read)
on a pseudo-terminal draws its status line, and the screen ends up holding
exactly what the log and the messages hold. Scripts: --check, --json read
back by JSON readers, --exclude and --include. Limits and outputs: no thread
to be had, a descriptor limit below -j, a pipe closed by its reader and a
non-blocking pipe read slowly each leave the run's log as it would be.

Usage: cli_process_test.py QUADRELL SLOW_STORAGE_C [--interrupts-only]
"""
import base64
import json
import os
import pty
import random
import re
import select
import signal
import struct
import subprocess
import sys
import tempfile
import time
import fcntl
import resource
import termios

QUADRELL, SLOW_STORAGE = sys.argv[1], sys.argv[2]
INTERRUPTS_ONLY = "--interrupts-only" in sys.argv[3:]
FILES = 10000
TRIES = 24
OLD_NS = 1_000_000_000_123_456_789
failures = []


def jfif(x_density, y_density):
    return (bytes([0xFF, 0xD8, 0xFF, 0xE0, 0, 16]) + b"JFIF\0" +
            bytes([1, 1, 1, x_density >> 8, x_density & 255, y_density >> 8, y_density & 255,
                   0, 0, 0xFF, 0xD9]))


ORIGINAL = jfif(72, 96)


def fail(text):
    failures.append(text)
    print("FAIL:", text)


def make_tree(folder, count):
    os.makedirs(folder)
    for i in range(count):
        path = os.path.join(folder, "f%05d.jpg" % i)
        with open(path, "wb") as f:
            f.write(ORIGINAL)
        os.utime(path, ns=(OLD_NS, OLD_NS))


def reset(folder, names):
    for name in names:
        path = os.path.join(folder, name)
        with open(path, "wb") as f:
            f.write(ORIGINAL)
        os.utime(path, ns=(OLD_NS, OLD_NS))


def interrupt_try(tree, jobs, signal_number, at_byte):
    """One run interrupted once at_byte bytes of its log have been read;
    returns the names it changed."""
    process = subprocess.Popen([QUADRELL, "-p", "-j", str(jobs), tree],
                               stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    out = b""
    while len(out) < at_byte:
        chunk = os.read(process.stdout.fileno(), 65536)
        if not chunk:
            break
        out += chunk
    process.send_signal(signal_number)
    rest, err = process.communicate(timeout=120)
    out, err = (out + rest).decode(), err.decode()
    what = "-j %d, %s after %d bytes of the log" % (jobs, signal.Signals(signal_number).name, at_byte)
    lines = out.split("\n")
    changed_lines = {os.path.basename(line.split(" ")[0]) for line in lines if line.endswith(" Change")}
    changed_files = set()
    for name in sorted(os.listdir(tree)):
        path = os.path.join(tree, name)
        with open(path, "rb") as f:
            data = f.read()
        if data == ORIGINAL:
            continue
        changed_files.add(name)
        if data != jfif(96, 96):
            fail("%s: %s holds %r" % (what, name, data))
        if os.stat(path).st_mtime_ns != OLD_NS:
            fail("%s: %s was changed without its dates" % (what, name))
    if changed_files != changed_lines:
        fail("%s: files changed without their line: %s; lines of unchanged files: %s" %
             (what, sorted(changed_files - changed_lines)[:5], sorted(changed_lines - changed_files)[:5]))
    summary = "Jpeg files =>  total: %d " % (len(lines) - 3)
    if len(lines) < 3 or lines[-3:-1] != ["", lines[-2]] or not lines[-2].startswith(summary):
        fail("%s: the log does not end with its summary line: %r" % (what, out[-300:]))
    if len(changed_lines) >= FILES:
        fail("%s: the run went on to its end" % what)
    if process.returncode != -signal_number:
        fail("%s: ended with %d, not by the signal" % (what, process.returncode))
    if not err.endswith("quadrell: interrupted: the run stopped after the file in hand; "
                        "no file missing from the log was changed\n"):
        fail("%s: standard error does not end with the interruption: %r" % (what, err))
    return changed_files


def interrupts(scratch):
    tree = os.path.join(scratch, "tree")
    make_tree(tree, FILES)
    whole_log = len(subprocess.run([QUADRELL, "-n", tree], capture_output=True).stdout)
    # What the run may write before it must wait for its reader: a pipe's
    # 64 KiB and its own gathered write, with room to spare.
    ahead = 256 * 1024
    rng = random.Random(20261207)
    for attempt in range(TRIES):
        jobs = 16 if attempt % 2 == 0 else 1
        signal_number = signal.SIGINT if attempt % 4 < 2 else signal.SIGTERM
        changed = interrupt_try(tree, jobs, signal_number, rng.randint(1, whole_log - ahead))
        reset(tree, changed)
    print("interrupts: %d runs, each stopped before its end (a whole log: %d bytes)" %
          (TRIES, whole_log))
    journal = os.path.join(scratch, "journal.txt")
    for attempt in range(TRIES // 3):
        killed_try(tree, journal, 16 if attempt % 2 == 0 else 1, rng.randint(1, whole_log - ahead))
    print("journal: %d runs killed, each put back by --undo" % (TRIES // 3))


def killed_try(tree, journal, jobs, at_byte):
    """A journaled run killed once at_byte bytes of its log have been read,
    then taken back."""
    # Reads of earlier tries, this test's own, moved the last-access times.
    for name in os.listdir(tree):
        os.utime(os.path.join(tree, name), ns=(OLD_NS, OLD_NS))
    process = subprocess.Popen([QUADRELL, "-p", "-j", str(jobs), "--journal", journal, tree],
                               stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    read = 0
    while read < at_byte:
        chunk = os.read(process.stdout.fileno(), 65536)
        if not chunk:
            break
        read += len(chunk)
    process.kill()
    process.communicate(timeout=120)
    what = "-j %d, killed after %d bytes of the log" % (jobs, at_byte)
    undo = subprocess.run([QUADRELL, "-q", "--undo", journal], capture_output=True)
    if undo.returncode != 0:
        fail("%s: --undo ended with %d: %r" % (what, undo.returncode, undo.stderr[-300:]))
    changed, write_cut = [], []
    for name in sorted(os.listdir(tree)):
        path = os.path.join(tree, name)
        status = os.stat(path)
        with open(path, "rb") as f:
            data = f.read()
        if data == ORIGINAL and status.st_atime_ns == OLD_NS and status.st_mtime_ns != OLD_NS:
            write_cut.append(name)
        elif data != ORIGINAL or status.st_mtime_ns != OLD_NS or status.st_atime_ns != OLD_NS:
            changed.append(name)
    # Linux moves the modification time before it copies a write's bytes, and
    # a SIGKILL between the two leaves the file in hand as it was but for that
    # time: --undo, which finds the bytes before, rightly leaves such a file
    # as it is. One file at most.
    if changed or len(write_cut) > 1:
        fail("%s: not put back: %s" % (what, (changed + write_cut)[:5]))
    reset(tree, changed + write_cut)
    os.remove(journal)


def screen_of(raw):
    """What a terminal shows after raw: carriage returns go back to the
    line's start and what follows overwrites."""
    lines, column = [[]], 0
    for character in raw.decode():
        if character == "\r":
            column = 0
        elif character == "\n":
            lines.append([])
            column = 0
        else:
            line = lines[-1]
            line.extend(" " * (column + 1 - len(line)))
            line[column] = character
            column += 1
    text = ["".join(line).rstrip() for line in lines]
    while text and not text[-1]:
        text.pop()
    return text


def progress(scratch):
    tree = os.path.join(scratch, "slow")
    make_tree(tree, 1500)
    plain = subprocess.run([QUADRELL, "-n", "-j", "1", tree], capture_output=True, check=False)
    expected = (plain.stdout + plain.stderr).decode().rstrip("\n").split("\n")

    master, slave = pty.openpty()
    fcntl.ioctl(slave, termios.TIOCSWINSZ, struct.pack("HHHH", 24, 100, 0, 0))
    process = slow_run(scratch, tree, ["-n", "-j", "1"], stdout=slave, stderr=slave)
    os.close(slave)
    raw = b""
    while True:
        ready, _, _ = select.select([master], [], [], 120)
        if not ready:
            break
        try:
            chunk = os.read(master, 65536)
        except OSError:  # EIO: the program has closed the terminal
            break
        if not chunk:
            break
        raw += chunk
    process.wait(timeout=60)
    os.close(master)
    if b"files/s, reading " not in raw:
        fail("progress: no status line on a slow run: %r" % raw[:300])
    shown = screen_of(raw)
    if shown != expected:
        fail("progress: the screen holds %r ... %r, the log %r ... %r" %
             (shown[:2], shown[-3:], expected[:2], expected[-3:]))
    else:
        print("progress: the status line was drawn %d times; the screen holds the log" %
              raw.count(b"files/s"))


def slow_storage(scratch):
    """The shim that makes storage slow, built once."""
    shim = os.path.join(scratch, "slow_storage.so")
    if not os.path.exists(shim):
        subprocess.run(["cc", "-O2", "-shared", "-fPIC", "-o", shim, SLOW_STORAGE, "-ldl"],
                       check=True)
    return shim


def slow_run(scratch, tree, arguments, limit=None, **pipes):
    """quadrell on storage that waits 1 ms per open and read, so that its
    read-ahead workers start, under an optional (resource, value) limit."""
    environment = dict(os.environ, LD_PRELOAD=slow_storage(scratch), QUADRELL_SLOW_FOLDER=tree)
    limited = (lambda: resource.setrlimit(limit[0], (limit[1], limit[1]))) if limit else None
    return subprocess.Popen([QUADRELL] + arguments + [tree], env=environment,
                            preexec_fn=limited, **pipes)


def limits_and_outputs(scratch):
    tree = os.path.join(scratch, "files")
    make_tree(tree, 3000)
    expected = subprocess.run([QUADRELL, "-n", "-j", "1", tree], capture_output=True).stdout

    # Address space for a few threads at most: pthread_create fails.
    run = slow_run(scratch, tree, ["-n"], (resource.RLIMIT_AS, 24 << 20),
                   stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    out, err = run.communicate(timeout=120)
    if run.returncode != 0 or out != expected:
        fail("no threads: ended with %d, %r" % (run.returncode, err[-200:]))

    folders = os.path.join(scratch, "folders")
    for i in range(400):
        make_tree(os.path.join(folders, "f%03d" % i), 1)
    expected_folders = subprocess.run([QUADRELL, "-rn", "-j", "1", folders],
                                      capture_output=True).stdout
    run = slow_run(scratch, folders, ["-rn", "-j", "256"], (resource.RLIMIT_NOFILE, 256),
                   stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    out, err = run.communicate(timeout=120)
    if run.returncode != 0 or out != expected_folders:
        fail("-j 256 under 256 descriptors: ended with %d, %d access errors, %r" %
             (run.returncode, out.count(b"Access error!"), err[-200:]))

    # A reader that takes one line and goes: the run stops with status 1
    # and says why, rather than dying of SIGPIPE.
    run = subprocess.Popen([QUADRELL, "-n", tree], stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    run.stdout.readline()
    run.stdout.close()
    err = run.stderr.read()
    run.wait(timeout=60)
    if run.returncode != 1 or b"standard output: Broken pipe; the run stopped there." not in err:
        fail("closed pipe: ended with %d, %r" % (run.returncode, err[:200]))

    # A file whose change lies past the 2 GiB that the log's positions count
    # (sparse): an access error with its own reason.
    large = os.path.join(scratch, "large.jpg")
    app0 = b"\xFF\xE0\x00\x10JFIF\x00\x01\x01\x00\x00\x02\x00\x01"
    with open(large, "wb") as f:
        f.write(b"\xFF\xD8")
        f.seek((1 << 31) - len(app0))
        f.write(app0)
    run = subprocess.run([QUADRELL, "--json", large], capture_output=True)
    os.remove(large)
    if run.returncode != 1 or b'"reason":"too large: positions past 2 GiB cannot be shown"' not in run.stdout:
        fail("a file past 2 GiB: ended with %d, %r" % (run.returncode, run.stdout[:200]))

    # A pipe left non-blocking by the caller, read slowly.
    read_end, write_end = os.pipe()
    fcntl.fcntl(write_end, fcntl.F_SETFL, fcntl.fcntl(write_end, fcntl.F_GETFL) | os.O_NONBLOCK)
    run = subprocess.Popen([QUADRELL, "-n", tree], stdout=write_end, stderr=subprocess.DEVNULL)
    os.close(write_end)
    out = b""
    while True:
        time.sleep(0.002)
        chunk = os.read(read_end, 4096)
        if not chunk:
            break
        out += chunk
    os.close(read_end)
    run.wait(timeout=60)
    if run.returncode != 0 or out != expected:
        fail("non-blocking pipe: ended with %d after %d of %d bytes" %
             (run.returncode, len(out), len(expected)))


def put_back(tree, what):
    """Fails unless every file of the tree holds its bytes and dates from
    before the run; then sets it so for the next case."""
    wrong = []
    for name in sorted(os.listdir(tree)):
        path = os.path.join(tree, name)
        with open(path, "rb") as f:
            data = f.read()
        if data != ORIGINAL or os.stat(path).st_mtime_ns != OLD_NS:
            wrong.append(name)
    if wrong:
        fail("%s: %d files not put back, %s" % (what, len(wrong), wrong[:3]))
    reset(tree, os.listdir(tree))


def journal_limits(scratch):
    """An undo killed between a write and its dates, finished by the next;
    a journal past the file-size limit; standard output as the journal; the
    folder of a new journal synced."""
    tree = os.path.join(scratch, "journaled")
    make_tree(tree, 3000)
    # Undos stopped between a write and its dates, each row ended by an
    # undo that runs to its end: (what, the undos under strace and the
    # status each must end with, whether another program edits the files
    # put back whole meanwhile).
    killed = ("inject=utimensat:signal=KILL:when=100", -signal.SIGKILL)
    refused = ("inject=utimensat:error=EPERM", 1)
    for what, stopped, edited in (
            ("killed between a write and its dates, then finished", [killed], False),
            ("killed, the files put back then edited by another program", [killed], True),
            ("its dates refused twice, then finished", [refused, refused], False)):
        journal = os.path.join(scratch, "killed-undo.txt")
        if os.path.exists(journal):
            os.remove(journal)
        subprocess.run([QUADRELL, "-p", "--journal", journal, tree], capture_output=True, check=True)
        for injection, status in stopped:
            undo = subprocess.run(["strace", "-f", "-o", "/dev/null", "-e", injection, QUADRELL,
                                   "--undo", journal], capture_output=True)
            if undo.returncode not in (status, 128 - status):
                fail("undo %s: ended with %d: %r" % (what, undo.returncode, undo.stderr[-200:]))
        touched = []
        for name in os.listdir(tree) if edited else []:
            path = os.path.join(tree, name)
            if os.stat(path).st_mtime_ns == OLD_NS and open(path, "rb").read() == ORIGINAL:
                os.utime(path)
                touched.append(path)
        finished = subprocess.run([QUADRELL, "-q", "--undo", journal], capture_output=True)
        if finished.returncode != 0:
            fail("undo %s: the last ended with %d, %r" % (what, finished.returncode,
                                                          finished.stderr[-200:]))
        dated_again = [path for path in touched if os.stat(path).st_mtime_ns == OLD_NS]
        if edited and (len(touched) < 99 or dated_again):
            fail("undo %s: %d of %d edited files dated again" % (what, len(dated_again),
                                                                 len(touched)))
        reset(tree, [os.path.basename(path) for path in touched])
        put_back(tree, "undo " + what)

    # Kills at each of an undo's first writes and reads back of times: the
    # next undo says of each file whose dates it cannot put back that it
    # cannot, never OK. And a run killed at its 30th patch has recorded the
    # first 29 as made: an edit since is not taken back.
    small = os.path.join(scratch, "small")
    make_tree(small, 3)
    journal = os.path.join(scratch, "small-journal.txt")
    for call, when in [(call, when) for call in ("write", "statx") for when in range(1, 7)]:
        if os.path.exists(journal):
            os.remove(journal)
        subprocess.run([QUADRELL, "-p", "--journal", journal, small], capture_output=True,
                       check=True)
        subprocess.run(["strace", "-f", "-o", "/dev/null", "-e",
                        "inject=%s:signal=KILL:when=%d" % (call, when), QUADRELL, "--undo",
                        journal], capture_output=True)
        finished = subprocess.run([QUADRELL, "--undo", journal], capture_output=True)
        for name in sorted(os.listdir(small)):
            path = os.path.join(small, name)
            told = (path + ": put back by an undo that stopped before its dates").encode()
            dated = os.stat(path).st_mtime_ns == OLD_NS
            if open(path, "rb").read() != ORIGINAL or (not dated and told not in finished.stderr):
                fail("undo killed at %s #%d: %s not put back, nor told: %d, %r" %
                     (call, when, name, finished.returncode, finished.stderr[-300:]))
        reset(small, os.listdir(small))
    os.remove(journal)
    many = os.path.join(scratch, "many")
    make_tree(many, 50)
    subprocess.run(["strace", "-f", "-o", "/dev/null", "-e", "inject=pwrite64:signal=KILL:when=30",
                    QUADRELL, "--journal", journal, many], capture_output=True)
    with open(journal, "rb") as f:
        made = [line for line in f if line.startswith(b"left ")]
    first = os.path.join(many, "f00000.jpg")
    with open(first, "r+b") as f:
        f.seek(len(ORIGINAL) - 3)
        f.write(b"\1")
    undo = subprocess.run([QUADRELL, "--undo", journal], capture_output=True)
    if len(made) != 29 or open(first, "rb").read()[-3] != 1 or \
            b"f00000.jpg: changed since" not in undo.stderr:
        fail("run killed at its 30th patch: %d changes recorded as made, an edit since: %r" %
             (len(made), undo.stderr[-300:]))

    # The file-size limit: the run stops with its message, and every file
    # changed has its line and its record.
    journal = os.path.join(scratch, "limited.txt")
    limited = lambda: resource.setrlimit(resource.RLIMIT_FSIZE, (300 << 10, resource.RLIM_INFINITY))
    run = subprocess.run([QUADRELL, "-p", "--journal", journal, tree], capture_output=True,
                         preexec_fn=limited)
    lines = {os.path.basename(line.split(" ")[0]) for line in run.stdout.decode().split("\n")
             if line.endswith(" Change")}
    changed = {name for name in os.listdir(tree)
               if open(os.path.join(tree, name), "rb").read() != ORIGINAL}
    if run.returncode != 1 or b"limited.txt: File too large; the run stopped" not in run.stderr:
        fail("journal past the file-size limit: ended with %d, %r" % (run.returncode, run.stderr[-200:]))
    if not changed or changed != lines:
        fail("journal past the file-size limit: %d changed, %d lines" % (len(changed), len(lines)))
    if subprocess.run([QUADRELL, "-q", "--undo", journal], capture_output=True).returncode != 0:
        fail("journal past the file-size limit: its undo failed")
    put_back(tree, "journal past the file-size limit")

    with open(os.path.join(scratch, "log"), "wb") as log:
        run = subprocess.run([QUADRELL, "--journal", "/dev/stdout", tree], stdout=log,
                             stderr=subprocess.PIPE)
    if run.returncode != 2 or b"standard output or standard error goes to this file" not in run.stderr:
        fail("standard output as the journal: ended with %d, %r" % (run.returncode, run.stderr))
    put_back(tree, "standard output as the journal")

    folder = os.path.join(scratch, "new-folder")
    os.makedirs(folder)
    traced = subprocess.run(["strace", "-f", "-y", "-e", "trace=fsync", QUADRELL, "--journal",
                             os.path.join(folder, "j.txt"), os.path.join(folder)],
                            capture_output=True)
    if not re.search(rb"fsync\(\d+<" + re.escape(folder.encode()) + rb">\) += 0", traced.stderr):
        fail("a new journal's folder is not synced: %r" % traced.stderr[-300:])
    print("journal: undos killed or refused their dates and finished, the file-size limit, "
          "standard output refused, a new journal's folder synced")


def attach(image):
    """The loop device that image is attached to, or None."""
    done = subprocess.run(["losetup", "-f", "--show", image], capture_output=True, text=True)
    return done.stdout.strip() if done.returncode == 0 else None


def comes_back(scratch):
    """A disk or a camera card that comes back under another device number
    has its photos put back, bytes and dates: an ext4 disk and an exFAT card
    (through exfat-fuse), each mounted from one loop device for the run and
    from another for the undo."""
    if os.geteuid() != 0 or not os.path.exists("/dev/loop-control"):
        print("comes back: skipped, loop devices need root")
        return
    for kind, make, mount in (("ext4", ["mkfs.ext4", "-q"], ["mount"]),
                              ("exFAT", ["mkfs.exfat"], ["mount.exfat-fuse"])):
        image = os.path.join(scratch, kind + ".img")
        placeholder = os.path.join(scratch, kind + "-placeholder.img")
        for path, size in ((image, 32 << 20), (placeholder, 1 << 20)):
            with open(path, "wb") as f:
                f.truncate(size)
        top = os.path.join(scratch, kind)
        os.makedirs(top)
        folder = os.path.join(top, "DCIM", "100CAMERA")
        journal = os.path.join(scratch, kind + "-journal.txt")
        devices = []
        try:
            if subprocess.run(make + [image], capture_output=True).returncode != 0:
                print("comes back: %s skipped, no %s here" % (kind, make[0]))
                continue
            devices.append(attach(image))
            if devices[0] is None or subprocess.run(mount + [devices[0], top],
                                                    capture_output=True).returncode != 0:
                print("comes back: %s skipped, it cannot be mounted here" % kind)
                continue
            os.makedirs(folder)
            for i in range(1, 4):
                path = os.path.join(folder, "IMG_%04d.JPG" % i)
                with open(path, "wb") as f:
                    f.write(ORIGINAL)
                os.utime(path, ns=(OLD_NS, OLD_NS))
            before = {name: os.stat(os.path.join(folder, name)).st_mtime_ns
                      for name in os.listdir(folder)}
            number = os.stat(os.path.join(folder, "IMG_0001.JPG")).st_dev
            subprocess.run([QUADRELL, "-rq", "--journal", journal, top], check=True,
                           capture_output=True)
            subprocess.run(["umount", top], check=True)
            subprocess.run(["losetup", "-d", devices[0]], check=True)
            devices = [attach(placeholder), attach(image)]
            subprocess.run(mount + [devices[1], top], check=True, capture_output=True)
            if os.stat(os.path.join(folder, "IMG_0001.JPG")).st_dev == number:
                print("comes back: %s skipped, the same device number again" % kind)
                continue
            undo = subprocess.run([QUADRELL, "--undo", journal], capture_output=True)
            wrong = [name for name in before
                     if open(os.path.join(folder, name), "rb").read() != ORIGINAL
                     or os.stat(os.path.join(folder, name)).st_mtime_ns != before[name]]
            if undo.returncode != 0 or wrong:
                fail("%s under another device: ended with %d, not put back: %s, %r" %
                     (kind, undo.returncode, wrong, undo.stderr[-200:]))
                continue
            print("comes back: an %s %s under another device put back" %
                  (kind, "card" if kind == "exFAT" else "disk"))
        finally:
            subprocess.run(["umount", top], capture_output=True)
            for device in devices:
                if device is not None:
                    subprocess.run(["losetup", "-d", device], capture_output=True)


def threads_started(arguments, environment=None):
    """How many threads a run of quadrell started, as strace counts them."""
    traced = subprocess.run(["strace", "-f", "-c", "-e", "trace=clone,clone3", QUADRELL] + arguments,
                            capture_output=True, env=environment)
    return sum(int(line.split()[3]) for line in traced.stderr.decode().splitlines()
               if line.split()[-1:] in (["clone"], ["clone3"]))


def storage_judgement(scratch):
    """Photos whose headers take 27 reads, in the page cache, start no more
    threads than the helpers of a cached run; on storage whose reads all
    wait, the workers start; storage that turns slow and fast again leaves
    the run's log and files as one file at a time does."""
    tree = os.path.join(scratch, "segmented")
    os.makedirs(tree)
    for i in range(100):
        with open(os.path.join(tree, "p%03d.jpg" % i), "wb") as f:
            f.write(b"\xFF\xD8")
            for segment in range(26):  # sparse: the payloads are holes
                f.seek(2 + segment * 65535)
                f.write(b"\xFF\xE1" + struct.pack(">H", 65533))
            f.seek(2 + 26 * 65535)
            f.write(jfif(72, 96)[2:])
    subprocess.run([QUADRELL, "-n", tree], capture_output=True)
    helpers = max(os.cpu_count() - 1, 0)
    cached = threads_started(["-n", tree])
    if cached > helpers:
        fail("in the page cache: %d threads started, more than the %d helpers" % (cached, helpers))
    environment = dict(os.environ, LD_PRELOAD=slow_storage(scratch), QUADRELL_SLOW_FOLDER=tree)
    slow = threads_started(["-n", tree], environment)
    if slow < 16:
        fail("on slow storage: %d threads started, not the 16 workers" % slow)
    print("storage: %d threads in the page cache, %d on slow storage" % (cached, slow))

    # Fast, slow, fast again: the workers start in b and the run goes back
    # to the helpers in c, and the log and every byte are those of -j 1.
    turning = os.path.join(scratch, "turning")
    for part in "abc":
        make_tree(os.path.join(turning, part), 150)
    environment = dict(os.environ, LD_PRELOAD=slow_storage(scratch),
                       QUADRELL_SLOW_FOLDER=os.path.join(turning, "b"))
    slow = threads_started(["-rn", turning], environment)
    runs = {}
    for jobs in (["-j", "1"], []):
        for part in "abc":
            reset(os.path.join(turning, part), os.listdir(os.path.join(turning, part)))
        run = subprocess.run([QUADRELL, "-rp"] + jobs + [turning], capture_output=True,
                             env=environment)
        runs[len(jobs)] = (run.returncode, run.stdout, {
            os.path.join(folder, name): open(os.path.join(folder, name), "rb").read()
            for folder, _, names in os.walk(turning) for name in names})
    if slow <= helpers:
        fail("fast, slow, fast again: %d threads started, no workers" % slow)
    if runs[0] != runs[2]:
        fail("fast, slow, fast again: the log or the files differ from -j 1's")


def jfif_units(x_density, y_density, units):
    data = bytearray(jfif(x_density, y_density))
    data[13] = units
    return bytes(data)


def scripted_tree(top):
    """A NAS share as scripts meet it: thumbnails in @eaDir, a #recycle,
    a .jfif, names with a line feed and with a byte that is no UTF-8."""
    files = {
        b"a.jpg": jfif(72, 96), b"fair.jpg": jfif(96, 96), b"line\nfeed.jpg": jfif(1, 2),
        b"bad\xff.jpg": jfif(2, 1), b"notes.txt": b"text", b"@eaDir/a.jpg": jfif(72, 96),
        b"#recycle/old.jpg": jfif(72, 96), b"sub/fax.jfif": jfif_units(204, 196, 0),
        b"sub/cm.JPG": jfif_units(300, 300, 2), b"sub/my name.jpg": jfif(5, 5),
    }
    for name, data in files.items():
        path = os.path.join(os.fsencode(top), name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)
        os.utime(path, ns=(OLD_NS, OLD_NS))
    return files


def json_objects(out):
    """The lines as JSON objects, each path as bytes (from {"bytes": ...}
    too); jq must read the same lines to the same values."""
    objects = [json.loads(line) for line in out.decode().splitlines()]
    by_jq = subprocess.run(["jq", "-c", "."], input=out, capture_output=True, check=True).stdout
    if [json.loads(line) for line in by_jq.decode().splitlines()] != objects:
        fail("jq reads the JSON Lines otherwise: %r" % by_jq[:300])
    for o in objects:
        if "path" in o:
            o["path"] = (base64.b64decode(o["path"]["bytes"]) if isinstance(o["path"], dict)
                         else os.fsencode(o["path"]))
    return objects


def for_scripts(scratch):
    """--check's statuses, --json's objects parsed back (a name with a line
    feed and one that is no UTF-8 found again by the path the object
    gives), --exclude and --include on a NAS tree, and an undo in JSON."""
    top = os.path.join(scratch, "share")
    files = scripted_tree(top)
    journal = os.path.join(scratch, "scripted.txt")
    nas = ["--exclude", "@eaDir", "--exclude=#recycle", "--include", "*.jfif"]
    patched = {b"a.jpg", b"line\nfeed.jpg", b"bad\xff.jpg", b"sub/fax.jfif"}
    dpi = lambda x, y, x2, y2: {"unit": "dpi", "before": {"x": x, "y": y}, "after": {"x": x2, "y": y2}}
    changed = lambda x, y, x2, y2, position: dict(dpi(x, y, x2, y2), outcome="changed", position=position)
    cases = [
        # arguments, status, {path: object less its path and type} or None (no JSON), files
        # changed from the start
        (["--check", "-r", top], 3, None, set()),
        (["--check", "-r", os.path.join(top, "fair.jpg"), os.path.join(top, "sub")], 0, None, set()),
        (["--check", "-r", "--include", "*.jfif", os.path.join(top, "sub")], 3, None, set()),
        (["--check", os.path.join(top, "missing.jpg")], 1, None, set()),
        (["--json", "-q", "-n", os.path.join(top, "fair.jpg"), os.path.join(top, "notes.txt"),
          os.path.join(top, "missing.jpg")], 1, {
            b"notes.txt": {"outcome": "not_jpeg",
                           "reason": "only names ending in .jpg or .jpeg are processed, passed over"},
            b"missing.jpg": {"outcome": "error", "reason": "No such file or directory"},
            None: {"total": 1, "fair": 1, "update": 0, "error": 0, "dry_run": True}}, set()),
        (["--json", "--check", "-r"] + nas + [top], 3, {
            b"a.jpg": dict(dpi(72, 96, 96, 96), outcome="would_change", position=15),
            b"fair.jpg": dict(dpi(96, 96, 96, 96), outcome="fair"),
            b"line\nfeed.jpg": dict(dpi(1, 2, 2, 2), outcome="would_change", position=15),
            b"bad\xff.jpg": dict(dpi(2, 1, 2, 2), outcome="would_change", position=17),
            b"sub/fax.jfif": {"outcome": "would_change", "position": 17, "unit": "none",
                              "before": {"x": 204, "y": 196}, "after": {"x": 204, "y": 204}},
            b"sub/cm.JPG": {"outcome": "fair", "unit": "dpcm", "before": {"x": 300, "y": 300},
                            "after": {"x": 300, "y": 300}},
            b"sub/my name.jpg": dict(dpi(5, 5, 5, 5), outcome="fair"),
            None: {"total": 7, "fair": 3, "update": 4, "error": 0, "dry_run": True}}, set()),
        (["--json", "-rp", "--journal", journal] + nas + [top], 0, {
            b"a.jpg": dict(changed(72, 96, 96, 96, 15), dates_kept=True),
            b"fair.jpg": dict(dpi(96, 96, 96, 96), outcome="fair"),
            b"line\nfeed.jpg": dict(changed(1, 2, 2, 2, 15), dates_kept=True),
            b"bad\xff.jpg": dict(changed(2, 1, 2, 2, 17), dates_kept=True),
            b"sub/fax.jfif": {"outcome": "changed", "position": 17, "unit": "none",
                              "before": {"x": 204, "y": 196}, "after": {"x": 204, "y": 204},
                              "dates_kept": True},
            b"sub/cm.JPG": {"outcome": "fair", "unit": "dpcm", "before": {"x": 300, "y": 300},
                            "after": {"x": 300, "y": 300}},
            b"sub/my name.jpg": dict(dpi(5, 5, 5, 5), outcome="fair"),
            None: {"total": 7, "fair": 3, "update": 4, "error": 0, "dry_run": False}}, patched),
        (["--check", "-r", top], 3, None, patched),  # @eaDir and #recycle still would
        (["--check", "--undo", journal], 3, None, patched),
        # An undo knows the density it takes back, and puts the dates back.
        (["--json", "--undo", journal], 0, {
            b"sub/fax.jfif": {"outcome": "changed", "position": 17, "before": {"y": 204},
                              "after": {"y": 196}, "dates_kept": True},
            b"bad\xff.jpg": {"outcome": "changed", "position": 17, "before": {"y": 2},
                             "after": {"y": 1}, "dates_kept": True},
            b"line\nfeed.jpg": {"outcome": "changed", "position": 15, "before": {"x": 2},
                                "after": {"x": 1}, "dates_kept": True},
            b"a.jpg": {"outcome": "changed", "position": 15, "before": {"x": 96}, "after": {"x": 72},
                       "dates_kept": True},
            None: {"total": 4, "fair": 0, "update": 4, "error": 0, "dry_run": False}}, set()),
        (["--check", "--undo", journal], 0, None, set()),
    ]
    for arguments, status, expected, changed_files in cases:
        what = " ".join(a.replace(top, "TOP").replace(scratch, "SCRATCH") for a in arguments)
        run = subprocess.run([QUADRELL] + arguments, capture_output=True)
        if run.returncode != status:
            fail("%s: ended with %d, not %d: %r" % (what, run.returncode, status, run.stderr[-300:]))
        if expected is not None:
            objects = json_objects(run.stdout)
            got = {}
            for o in objects:
                key = None if o.pop("type") == "summary" else os.path.relpath(o.pop("path"), os.fsencode(top))
                if key in got:
                    fail("%s: two objects for %r" % (what, key))
                got[key] = o
            if got != expected:
                fail("%s: objects %r, not %r" % (what, got, expected))
            if objects and "total" not in objects[-1]:
                fail("%s: the summary is not the last object" % what)
            for o in objects:
                if "path" in o and o["outcome"] != "error" and not os.path.exists(o["path"]):
                    fail("%s: the path of %r names no file" % (what, o))
        now_changed = set()
        for name, data in files.items():
            path = os.path.join(os.fsencode(top), name)
            with open(path, "rb") as f:
                if f.read() != data:
                    now_changed.add(name)
            if os.stat(path).st_mtime_ns != OLD_NS:
                fail("%s: %r has new dates" % (what, name))
        if now_changed != changed_files:
            fail("%s: files changed %r, not %r" % (what, now_changed, changed_files))
    print("scripts: --check statuses, --json objects read back by json and jq, "
          "--exclude and --include, an undo in JSON")


def main():
    with tempfile.TemporaryDirectory(prefix="quadrell-process-") as scratch:
        for_scripts(scratch)
        interrupts(scratch)
        if not INTERRUPTS_ONLY:
            progress(scratch)
            limits_and_outputs(scratch)
            storage_judgement(scratch)
            journal_limits(scratch)
            comes_back(scratch)
    print("%d passed, %d failed" % (0 if failures else 1, 1 if failures else 0))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
