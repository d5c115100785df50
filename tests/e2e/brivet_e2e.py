"""Shared fixtures of the end-to-end tests: a private X server (Xvfb) with a real window
manager (openbox), the real brivet binary with temporary XDG directories, real clipboard
clients (xclip, xdotool) and the real database read back with sqlite3.

Also the X server of the Qt tests: `brivet_e2e.py --xvfb COMMAND...` runs COMMAND against a
private Xvfb without a window manager."""

import json
import os
import queue
import re
import shutil
import signal
import sqlite3
import struct
import subprocess
import sys
import tempfile
import threading
import time
import unittest
import zlib

BINARY = os.environ.get("BRIVET_BINARY", "brivet")
OWNER = os.environ.get("BRIVET_CLIPBOARD_OWNER", "brivet_clipboard_owner")
DRIVER = os.environ.get("BRIVET_PASTE_DRIVER", "brivet_paste_driver")
GRABBER = os.environ.get("BRIVET_HOTKEY_GRABBER", "brivet_hotkey_grabber")
# Every poll of the monitor that found a change ends with at least one of these.
OUTCOME = r"brivet\.capture: (recorded|skipped) "


def wait_until(predicate, timeout=5.0, interval=0.05, message="condition"):
    """Polls predicate until it returns a true value, which is returned."""
    deadline = time.monotonic() + timeout
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() > deadline:
            raise AssertionError(f"timed out after {timeout}s waiting for {message}")
        time.sleep(interval)


def png_size(data):
    """Width and height from a PNG's IHDR."""
    if data[:8] != b"\x89PNG\r\n\x1a\n" or data[12:16] != b"IHDR":
        raise AssertionError(f"not a PNG: {data[:16]!r}")
    return struct.unpack(">II", data[16:24])


def png_bytes(width, height, rgb=(40, 120, 200)):
    """A truecolour PNG filled with one colour."""
    def chunk(kind, body):
        return (struct.pack(">I", len(body)) + kind + body
                + struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF))
    row = b"\x00" + bytes(rgb) * width
    return (b"\x89PNG\r\n\x1a\n"
            + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(row * height, 6))
            + chunk(b"IEND", b""))


class XSession:
    """Xvfb on a free display with openbox managing it."""

    def __init__(self, width=1280, height=800):
        self.width, self.height = width, height
        self.processes = []
        self.env = None

    def start(self, window_manager=True):
        read_fd, write_fd = os.pipe()
        xvfb = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_fd), "-screen", "0",
             f"{self.width}x{self.height}x24", "-nolisten", "tcp", "-noreset"],
            pass_fds=(write_fd,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_fd)
        self.processes.append(xvfb)
        with os.fdopen(read_fd) as pipe:
            display = pipe.readline().strip()
        if not display:
            raise RuntimeError("Xvfb did not start")
        self.env = dict(os.environ, DISPLAY=f":{display}")
        self.env.pop("WAYLAND_DISPLAY", None)
        if not window_manager:
            return self
        openbox = subprocess.Popen(["openbox", "--sm-disable"], env=self.env,
                                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.processes.append(openbox)
        wait_until(lambda: b"_NET_SUPPORTING_WM_CHECK(WINDOW)" in self.run(
            ["xprop", "-root", "_NET_SUPPORTING_WM_CHECK"], check=False).stdout,
            timeout=10, message="openbox")
        return self

    def run(self, args, input=None, check=True, timeout=30):
        return subprocess.run(args, env=self.env, input=input, capture_output=True,
                              check=check, timeout=timeout)

    def popen(self, args, **kwargs):
        process = subprocess.Popen(args, env=self.env, **kwargs)
        self.processes.insert(0, process)  # stopped before the server
        return process

    def copy(self, data, target=None):
        """Puts data on CLIPBOARD with xclip, which keeps serving it in the background."""
        if isinstance(data, str):
            data = data.encode()
        args = ["xclip", "-selection", "clipboard", "-i"]
        if target:
            args += ["-t", target]
        # Not run(): xclip's background child keeps captured pipes open until it exits.
        subprocess.run(args, env=self.env, input=data, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, check=True, timeout=30)

    def paste(self, target=None):
        args = ["xclip", "-selection", "clipboard", "-o"]
        if target:
            args += ["-t", target]
        return self.run(args).stdout

    def _stop_xclips(self):
        """Stops the background xclips serving this display only: other sessions run their
        own tests on the same machine at the same time."""
        display = f"DISPLAY={self.env['DISPLAY']}".encode()
        listed = subprocess.run(["pgrep", "-f", "xclip -selection clipboard"],
                                capture_output=True, text=True).stdout.split()
        for pid in listed:
            try:
                with open(f"/proc/{pid}/environ", "rb") as environ:
                    if display not in environ.read().split(b"\0"):
                        continue
                os.kill(int(pid), signal.SIGTERM)
            except (OSError, ValueError):
                pass  # gone already, or not ours to read

    def stop(self):
        self._stop_xclips()
        for process in self.processes:
            if process.poll() is None:
                process.terminate()
                try:
                    process.wait(timeout=5)
                except subprocess.TimeoutExpired:
                    process.kill()
                    process.wait()
        self.processes.clear()


class Brivet:
    """The real binary with temporary XDG directories; its log lines are collected."""

    def __init__(self, session, home=None, extra_env=None):
        self.session = session
        self.home = home or tempfile.mkdtemp(prefix="brivet-e2e-")
        self.data_home = os.path.join(self.home, "data")
        self.config_home = os.path.join(self.home, "config")
        self.env = dict(session.env, XDG_DATA_HOME=self.data_home,
                        XDG_CONFIG_HOME=self.config_home, HOME=self.home,
                        QT_LOGGING_RULES="brivet.*.debug=true",
                        QT_FORCE_STDERR_LOGGING="1")
        self.env.update(extra_env or {})
        self.lines = []
        self.lock = threading.Lock()
        self.process = None

    @property
    def database_path(self):
        return os.path.join(self.data_home, "brivet", "BrivetCloud.sqlite")

    def start(self, wait_for=r"brivet\.app: launched"):
        self.process = subprocess.Popen([BINARY], env=self.env, stdin=subprocess.DEVNULL,
                                        stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                                        text=True, errors="replace")
        threading.Thread(target=self._read, daemon=True).start()
        if wait_for:
            self.wait_for_log(wait_for, timeout=20)
        return self

    def _read(self):
        for line in self.process.stdout:
            with self.lock:
                self.lines.append(line.rstrip("\n"))

    def log(self):
        with self.lock:
            return list(self.lines)

    def count_log(self, pattern):
        regex = re.compile(pattern)
        return sum(1 for line in self.log() if regex.search(line))

    def wait_for_log(self, pattern, timeout=10, count=1):
        def found():
            if self.process.poll() is not None and self.count_log(pattern) < count:
                raise AssertionError(f"brivet exited ({self.process.returncode}) before "
                                     f"logging {pattern!r}:\n" + "\n".join(self.log()))
            return self.count_log(pattern) >= count
        wait_until(found, timeout=timeout, message=f"log line {pattern!r}")

    def query(self, sql, parameters=()):
        """Reads the real database file (write-ahead log included)."""
        connection = sqlite3.connect(self.database_path, timeout=5)
        try:
            return connection.execute(sql, parameters).fetchall()
        finally:
            connection.close()

    def items(self):
        return self.query("SELECT contentType, textContent, urlString, filePath, fileName "
                          "FROM ClipboardItem ORDER BY timestamp, pk")

    def stop(self, sig=signal.SIGTERM, timeout=10):
        if self.process and self.process.poll() is None:
            self.process.send_signal(sig)
            try:
                self.process.wait(timeout=timeout)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        return self.process.returncode if self.process else None

    def cleanup(self):
        self.stop()
        shutil.rmtree(self.home, ignore_errors=True)


class BrivetTestCase(unittest.TestCase):
    """Each test gets its own X session and a fresh brivet with an empty history."""

    start_brivet = True

    def setUp(self):
        self.session = XSession().start()
        self.addCleanup(self.session.stop)
        self.brivet = Brivet(self.session)
        self.addCleanup(self.brivet.cleanup)
        if self.start_brivet:
            self.brivet.start()

    def tearDown(self):
        if self.brivet.process and self.brivet.process.poll() is not None \
                and self.brivet.process.returncode not in (0, None):
            print("\n".join(self.brivet.log()))

    def copy_and_wait(self, data, target=None, records=None, timeout=30):
        """Copies, then waits until the poll that sees the copy has stored its outcome."""
        finished = self.brivet.count_log(OUTCOME)
        self.session.copy(data, target)
        self.brivet.wait_for_log(OUTCOME, count=finished + 1, timeout=timeout)
        if records is not None:
            self.wait_for_records(records, timeout)

    def wait_for_records(self, count, timeout=30):
        try:
            wait_until(lambda: self.record_count() >= count, timeout=timeout,
                       message=f"{count} records")
        except AssertionError as error:
            raise AssertionError(f"{error}; records {self.brivet.items()}; log:\n"
                                 + "\n".join(self.brivet.log())) from None
        self.assertEqual(self.record_count(), count)

    def record_count(self):
        return self.brivet.query("SELECT count(*) FROM ClipboardItem")[0][0]

    def write_file(self, name, data=b"", size=None):
        """A file in a temporary folder of the test's own."""
        if not hasattr(self, "files"):
            self.files = tempfile.mkdtemp(prefix="brivet-e2e-files-")
            self.addCleanup(shutil.rmtree, self.files, True)
        path = os.path.join(self.files, name)
        with open(path, "wb") as file:
            file.write(data)
            if size is not None:
                file.truncate(size)
        return path

    def start_owner(self, *args):
        """brivet_clipboard_owner on this session, once it owns the clipboard."""
        owner = self.session.popen([OWNER, *args], stdout=subprocess.PIPE, text=True)
        self.addCleanup(owner.stdout.close)
        self.addCleanup(lambda: owner.poll() is None and owner.kill())
        self.assertEqual(owner.stdout.readline().strip(), "ready")
        return owner


class PasteDriver:
    """brivet_paste_driver: the real paste path in place of the panel. Records go in on stdin,
    its progress lines come out."""

    def __init__(self, session, store_path, terminals=None, resume_delay=None):
        env = dict(session.env, QT_LOGGING_RULES="brivet.*.debug=true",
                   QT_FORCE_STDERR_LOGGING="1")
        self.store_path = store_path
        args = [DRIVER, "--store", store_path]
        if terminals:
            args += ["--terminals", terminals]
        if resume_delay:
            args += ["--resume-delay", str(resume_delay)]
        self.process = subprocess.Popen(args, env=env, stdin=subprocess.PIPE,
                                        stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        self.lines = queue.Queue()
        self.log = []
        self.readers = [
            threading.Thread(target=self._read, args=(self.process.stdout, True), daemon=True),
            threading.Thread(target=self._read, args=(self.process.stderr, False), daemon=True)]
        for reader in self.readers:
            reader.start()
        self.expect("ready", timeout=20)

    def _read(self, stream, events):
        for line in stream:
            line = line.rstrip("\n")
            self.log.append(line)
            if events:
                self.lines.put(line)

    def expect(self, wanted, timeout=10):
        deadline = time.monotonic() + timeout
        while True:
            remaining = deadline - time.monotonic()
            if remaining <= 0:
                raise AssertionError(f"driver never said {wanted!r}:\n" + "\n".join(self.log))
            try:
                line = self.lines.get(timeout=remaining)
            except queue.Empty:
                continue
            if line == wanted:
                return
            if line.startswith("error"):
                raise AssertionError(line)

    def paste(self, record, wait=True):
        self.process.stdin.write(json.dumps(record) + "\n")
        self.process.stdin.flush()
        self.expect("pasted")
        if wait:
            self.expect("paste finished")

    def poll(self):
        """Has the monitor poll now: a change it finds is recorded before any later one."""
        self.process.stdin.write('{"poll": true}\n')
        self.process.stdin.flush()
        self.expect("polled")

    def texts(self):
        connection = sqlite3.connect(self.store_path, timeout=5)
        try:
            return [row[0] for row in connection.execute(
                "SELECT textContent FROM ClipboardItem ORDER BY timestamp")]
        finally:
            connection.close()

    def stop_cleanly(self):
        """Stops the driver and fails when it did not exit cleanly (sanitizer reports too)."""
        if not self.process.stdin.closed:
            self.process.stdin.close()
        try:
            self.process.wait(timeout=10)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
        for reader in self.readers:
            reader.join(timeout=5)
        self.process.stdout.close()
        self.process.stderr.close()
        if self.process.returncode != 0:
            raise AssertionError(f"driver exited with {self.process.returncode}:\n"
                                 + "\n".join(self.log))


def run_under_xvfb(command):
    """Runs a command against a private Xvfb without a window manager; its exit status."""
    session = XSession(640, 480).start(window_manager=False)
    try:
        return subprocess.run(command, env=session.env).returncode
    finally:
        session.stop()


if __name__ == "__main__":
    if sys.argv[1:2] != ["--xvfb"] or len(sys.argv) < 3:
        sys.exit("usage: brivet_e2e.py --xvfb COMMAND...")
    sys.exit(run_under_xvfb(sys.argv[2:]))
