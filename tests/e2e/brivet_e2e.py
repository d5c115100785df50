"""Shared fixtures of the end-to-end tests: a private X server (Xvfb) with a window manager
(openbox), the real brivet binary with temporary XDG directories, real clipboard clients (xclip,
xdotool) and the real database read back with sqlite3.

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
LOGGING = {"QT_LOGGING_RULES": "brivet.*.debug=true", "QT_FORCE_STDERR_LOGGING": "1"}


def wait_until(predicate, timeout=5.0, interval=0.05, message="condition"):
    """Polls predicate until it returns a true value, which is returned."""
    deadline = time.monotonic() + timeout
    while not (value := predicate()):
        if time.monotonic() > deadline:
            raise AssertionError(f"timed out after {timeout}s waiting for {message}")
        time.sleep(interval)
    return value


def png_size(data):
    if data[:8] != b"\x89PNG\r\n\x1a\n" or data[12:16] != b"IHDR":
        raise AssertionError(f"not a PNG: {data[:16]!r}")
    return struct.unpack(">II", data[16:24])


def png_bytes(width, height, rgb=(40, 120, 200)):
    def chunk(kind, body):
        return (struct.pack(">I", len(body)) + kind + body
                + struct.pack(">I", zlib.crc32(kind + body)))
    return (b"\x89PNG\r\n\x1a\n"
            + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress((b"\x00" + bytes(rgb) * width) * height, 6))
            + chunk(b"IEND", b""))


def pdf_bytes(pages=1, size=(595, 842)):
    """A PDF of that many pages, each with its number in large type."""
    return pdf_of_pages([b"BT /F1 96 Tf 72 %d Td (Page %d) Tj ET" % (size[1] - 200, page + 1)
                         for page in range(pages)], size)


def pdf_of_pages(contents, size=(595, 842)):
    """A PDF with one page per content stream, in Helvetica as /F1."""
    objects = [b"<< /Type /Catalog /Pages 2 0 R >>",
               b"<< /Type /Pages /Kids [%s] /Count %d >>" % (
                   b" ".join(b"%d 0 R" % (4 + 2 * page) for page in range(len(contents))),
                   len(contents)),
               b"<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>"]
    for page, text in enumerate(contents):
        objects.append(b"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 %d %d] /Contents %d 0 R "
                       b"/Resources << /Font << /F1 3 0 R >> >> >>" % (*size, 5 + 2 * page))
        objects.append(b"<< /Length %d >>\nstream\n%s\nendstream" % (len(text), text))
    data, offsets = b"%PDF-1.4\n", []
    for number, body in enumerate(objects, 1):
        offsets.append(len(data))
        data += b"%d 0 obj\n%s\nendobj\n" % (number, body)
    xref = len(data)
    data += b"xref\n0 %d\n0000000000 65535 f \n" % (len(objects) + 1)
    data += b"".join(b"%010d 00000 n \n" % offset for offset in offsets)
    return data + b"trailer\n<< /Size %d /Root 1 0 R >>\nstartxref\n%d\n%%%%EOF\n" % (
        len(objects) + 1, xref)


def video_file(path, seconds=2):
    """A small WebM video (VP8, with a tone) made by GStreamer."""
    frames = seconds * 25
    subprocess.run(["gst-launch-1.0", "-q", "webmmux", "name=mux", "!", "filesink",
                    f"location={path}", "videotestsrc", f"num-buffers={frames}", "!",
                    "video/x-raw,width=320,height=240,framerate=25/1", "!", "vp8enc", "!", "mux.",
                    "audiotestsrc", f"num-buffers={seconds * 43}", "!", "audioconvert", "!",
                    "vorbisenc", "!", "mux."], check=True, capture_output=True, timeout=60)
    return path


def query(path, sql, parameters=()):
    """Reads a real database file (write-ahead log included)."""
    connection = sqlite3.connect(path, timeout=5)
    try:
        return connection.execute(sql, parameters).fetchall()
    finally:
        connection.close()


def read_lines(stream, *sinks):
    """Appends each line of stream to every sink (lists, or queues by put) on a thread."""
    def read():
        for line in stream:
            for sink in sinks:
                (sink.put if isinstance(sink, queue.Queue) else sink.append)(line.rstrip("\n"))
    thread = threading.Thread(target=read, daemon=True)
    thread.start()
    return thread


class XSession:
    """Xvfb on a free display, with openbox managing it and a D-Bus session bus of its own (the
    running Brivet owns a name there, which Brivets of other tests must not see)."""

    def __init__(self, width=1280, height=800):
        self.width, self.height = width, height
        self.size = f"{width}x{height}x24"
        self.processes = []
        self.env = None

    def start(self, window_manager=True):
        read_fd, write_fd = os.pipe()
        self.processes.append(subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_fd), "-screen", "0", self.size, "-nolisten", "tcp",
             "-noreset"], pass_fds=(write_fd,), stdout=subprocess.DEVNULL,
            stderr=subprocess.DEVNULL))
        os.close(write_fd)
        with os.fdopen(read_fd) as pipe:
            display = pipe.readline().strip()
        if not display:
            raise RuntimeError("Xvfb did not start")
        self.env = dict(os.environ, DISPLAY=f":{display}")
        self.env.pop("WAYLAND_DISPLAY", None)
        bus = self.popen(["dbus-daemon", "--session", "--nofork", "--print-address=1"],
                         stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        self.env["DBUS_SESSION_BUS_ADDRESS"] = bus.stdout.readline().strip()
        bus.stdout.close()
        if window_manager:
            self.popen(["openbox", "--sm-disable"], stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)
            wait_until(lambda: b"(WINDOW)" in self.run(
                ["xprop", "-root", "_NET_SUPPORTING_WM_CHECK"], check=False).stdout, 10,
                message="openbox")
        return self

    def run(self, args, input=None, check=True, timeout=30):
        return subprocess.run(args, env=self.env, input=input, capture_output=True, check=check,
                              timeout=timeout)

    def popen(self, args, **kwargs):
        process = subprocess.Popen(args, env=self.env, **kwargs)
        self.processes.insert(0, process)  # stopped before the server
        return process

    def copy(self, data, target=None):
        """Puts data on CLIPBOARD with xclip, which keeps serving it in the background."""
        # Not run(): xclip's background child keeps captured pipes open until it exits.
        target = ["-t", target] if target else []
        subprocess.run(["xclip", "-selection", "clipboard", "-i", *target],
                       env=self.env, input=data.encode() if isinstance(data, str) else data,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True, timeout=30)

    def paste(self, target=None, check=True):
        return self.run(["xclip", "-selection", "clipboard", "-o",
                         *(["-t", target] if target else [])], check=check).stdout

    def press(self, *keys, delay=30):
        self.run(["xdotool", "key", "--delay", str(delay), *keys])

    def click(self, x, y, button=1, repeat=1):
        self.run(["xdotool", "mousemove", str(x), str(y), "click", "--repeat", str(repeat),
                  "--delay", "80", str(button)])

    def windows(self, *search):
        """Ids of the mapped windows xdotool finds, e.g. windows("--name", "^Brivet$")."""
        return self.run(["xdotool", "search", "--onlyvisible", *search],
                        check=False).stdout.decode().split()

    def geometry(self, window):
        """(x, y, width, height) of a window."""
        text = self.run(["xdotool", "getwindowgeometry", str(window)]).stdout.decode()
        return tuple(map(int, re.search(r"Position: (\d+),(\d+)", text).groups()
                         + re.search(r"Geometry: (\d+)x(\d+)", text).groups()))

    def screenshot(self, x, y, width, height):
        """The raw pixels of a part of the screen, to tell when what is drawn there changes."""
        return self.run(["import", "-window", "root", "-crop", f"{width}x{height}+{x}+{y}",
                         "-depth", "8", "rgb:-"]).stdout

    def pixel(self, x, y):
        """The (red, green, blue) of one pixel of the screen."""
        return tuple(self.screenshot(x, y, 1, 1))

    def open_entry(self, title="Target"):
        """A GTK text field (zenity) in front; the process and its window id."""
        entry = self.popen(["zenity", "--entry", f"--title={title}", "--text=Paste"],
                           stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        window = int(wait_until(lambda: self.run(["xdotool", "search", "--name", f"^{title}$"],
                                                 check=False).stdout.split(),
                                timeout=20, message=f"zenity window {title}")[0])
        wait_until(lambda: self.active_window() == window, timeout=10, message=f"{title} active")
        return entry, window

    def active_window(self):
        found = re.search(rb"window id # (0x[0-9a-f]+)",
                          self.run(["xprop", "-root", "_NET_ACTIVE_WINDOW"], check=False).stdout)
        return int(found.group(1), 16) if found else 0

    def entry_text(self, entry, window=None):
        """Submits the entry with Return (once its window is active again) and returns what it
        held."""
        if window:
            wait_until(lambda: self.active_window() == window, message="entry active")
        self.run(["xdotool", "key", "Return"])
        return entry.communicate(timeout=10)[0].rstrip("\n")

    def stop(self):
        # The background xclips of this display only: other sessions run on the same machine.
        display = f"DISPLAY={self.env['DISPLAY']}".encode()
        for pid in subprocess.run(["pgrep", "-f", "xclip -selection clipboard"],
                                  capture_output=True, text=True).stdout.split():
            try:
                with open(f"/proc/{pid}/environ", "rb") as environ:
                    if display in environ.read().split(b"\0"):
                        os.kill(int(pid), signal.SIGTERM)
            except (OSError, ValueError):
                pass  # gone already, or not ours to read
        for process in self.processes:
            stop(process)
        self.processes.clear()


def stop(process, sig=signal.SIGTERM, timeout=5):
    if process.poll() is None:
        process.send_signal(sig)
        try:
            process.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()
    return process.returncode


class Brivet:
    """The real binary with temporary XDG directories; its log lines are collected."""

    def __init__(self, session, home=None):
        self.session = session
        self.home = home or tempfile.mkdtemp(prefix="brivet-e2e-")
        self.env = dict(session.env, XDG_DATA_HOME=os.path.join(self.home, "data"),
                        XDG_CONFIG_HOME=os.path.join(self.home, "config"), HOME=self.home,
                        **LOGGING)
        self.database_path = os.path.join(self.home, "data", "brivet", "BrivetCloud.sqlite")
        self.lines = []
        self.process = None

    def start(self, wait_for=r"brivet\.app: launched"):
        # A session's launcher runs its programs as the session's user (see wayland_session).
        launcher = getattr(self.session, "launcher", [])
        # A restart's lines follow the earlier run's: this run's line is the next one.
        seen = self.count_log(wait_for) if wait_for else 0
        self.process = subprocess.Popen([*launcher, BINARY], env=self.env, stdin=subprocess.DEVNULL,
                                        stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                                        text=True, errors="replace")
        read_lines(self.process.stdout, self.lines)
        if wait_for:
            self.wait_for_log(wait_for, timeout=20, count=seen + 1)
        return self

    def log(self):
        return list(self.lines)

    def count_log(self, pattern):
        return sum(1 for line in self.log() if re.search(pattern, line))

    def wait_for_log(self, pattern, timeout=10, count=1):
        def found():
            if self.process.poll() is not None and self.count_log(pattern) < count:
                raise AssertionError(f"brivet exited ({self.process.returncode}) before "
                                     f"logging {pattern!r}:\n" + "\n".join(self.log()))
            return self.count_log(pattern) >= count
        try:
            wait_until(found, timeout=timeout, message=f"log line {pattern!r}")
        except AssertionError as error:
            # What brivet did last tells a slow machine from a fault.
            raise AssertionError(f"{error}; the log's end:\n"
                                 + "\n".join(self.log()[-60:])) from None

    def query(self, sql, parameters=()):
        return query(self.database_path, sql, parameters)

    def items(self):
        return self.query("SELECT contentType, textContent, urlString, filePath, fileName "
                          "FROM ClipboardItem ORDER BY timestamp, pk")

    def stop(self, sig=signal.SIGTERM, timeout=10):
        return stop(self.process, sig, timeout) if self.process else None

    def cleanup(self):
        self.stop()
        shutil.rmtree(self.home, ignore_errors=True)


class SessionBrivet:
    """For cases whose Brivet runs in a session of a compositor of their own (self.brivet)."""

    def stop_brivet(self):
        """Stops Brivet and fails when it did not end cleanly (sanitizer reports included)."""
        status = self.brivet.stop()
        if status not in (None, 0):
            raise AssertionError(f"brivet exited with {status}:\n" + "\n".join(self.brivet.log()))

    def name_zenity(self):
        """zenity's windows are named after a desktop file of Brivet's own data folder."""
        applications = os.path.join(self.brivet.home, "data", "applications")
        os.makedirs(applications)
        for folder in (os.path.dirname(applications), applications):
            os.chown(folder, self.session.uid, self.session.gid)
        with open(os.path.join(applications, "zenity.desktop"), "w") as entry:
            entry.write("[Desktop Entry]\nType=Application\nName=Zenity Dialog\nExec=zenity\n")

    def records(self, count):
        """The (kind, text) of the records once there are count of them."""
        try:
            wait_until(lambda: len(self.brivet.items()) >= count, timeout=30,
                       message=f"{count} records")
        except AssertionError as error:
            raise AssertionError(f"{error}: {self.brivet.items()}\n"
                                 + "\n".join(self.brivet.log())) from None
        return [row[:2] for row in self.brivet.items()]


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

    def copy_and_wait(self, data, target=None, records=None, timeout=30):
        """Copies, then waits until the poll that sees the copy has stored its outcome."""
        finished = self.brivet.count_log(OUTCOME)
        self.session.copy(data, target)
        self.brivet.wait_for_log(OUTCOME, count=finished + 1, timeout=timeout)
        if records is not None:
            self.wait_for_records(records, timeout)

    def wait_for_records(self, count, timeout=30):
        try:
            wait_until(lambda: self.record_count() >= count, timeout, message=f"{count} records")
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
        self.assertEqual(owner.stdout.readline().strip(), "ready")
        return owner


class PanelTestCase(BrivetTestCase):
    """Drives the history panel with xdotool and finds its windows with xwininfo."""

    PANEL_SHOWN = r"brivet\.panel: shown at"
    PANEL_HIDDEN = r"brivet\.panel: hidden"
    KEYBOARD_GRABBED = r"brivet\.panel: keyboard grabbed"

    def press(self, *keys):
        self.session.press(*keys)

    def copy_texts(self, *texts):
        for text in texts:
            before = len(self.brivet.items())
            self.session.copy(text)
            wait_until(lambda: len(self.brivet.items()) > before, timeout=10,
                       message=f"record of {text!r}")

    def show_panel(self, margin=0):
        """Shows the panel and waits for its keyboard grab (keys typed before would still go to
        the window in front); the panel's xwininfo fields once it rests above the bottom edge
        (its window reaching margin beyond its outline, the room of its shadow)."""
        shown = self.brivet.count_log(self.PANEL_SHOWN)
        grabbed = self.brivet.count_log(self.KEYBOARD_GRABBED)
        self.press("super+shift+v")
        self.brivet.wait_for_log(self.PANEL_SHOWN, count=shown + 1)
        self.brivet.wait_for_log(self.KEYBOARD_GRABBED, count=grabbed + 1)
        resting_y = str(self.session.height - 8 - int(self.session.height * 0.22) - margin)
        return wait_until(lambda: (info := self.panel_window()) and
                          info["Absolute upper-left Y"] == resting_y and info,
                          message="panel at rest")

    def panel_window(self, name="Brivet"):
        """xwininfo's fields of Brivet's mapped window of that name, or None."""
        # Only the mapped one (Qt's unmapped leader window has the name too).
        found = self.session.windows("--name", f"^{name}$")
        result = found and self.session.run(["xwininfo", "-id", found[0]], check=False)
        if not result or result.returncode != 0 or b"IsViewable" not in result.stdout:
            return None
        return {key.strip(): value.strip() for key, _, value in
                (line.strip().partition(":") for line in result.stdout.decode().splitlines())}

    def wait_hidden(self, count):
        self.brivet.wait_for_log(self.PANEL_HIDDEN, count=count)
        wait_until(lambda: self.panel_window() is None, message="panel unmapped")


class PasteDriver:
    """brivet_paste_driver: the real paste path in place of the panel. Records go in on stdin as
    JSON lines, its progress lines come out on stdout."""

    def __init__(self, session, store_path, resume_delay=None):
        self.store_path = store_path
        self.process = subprocess.Popen(
            [*getattr(session, "launcher", []), DRIVER, "--store", store_path, "--resume-delay", str(resume_delay or 500)],
            env=dict(session.env, **LOGGING), stdin=subprocess.PIPE, stdout=subprocess.PIPE,
            stderr=subprocess.PIPE, text=True)
        self.lines, self.log = queue.Queue(), []
        self.readers = [read_lines(self.process.stdout, self.lines, self.log),
                        read_lines(self.process.stderr, self.log)]
        self.expect("ready", timeout=20)

    def expect(self, wanted, timeout=10):
        deadline = time.monotonic() + timeout
        try:
            while (line := self.lines.get(timeout=max(0, deadline - time.monotonic()))) != wanted:
                if line.startswith("error"):
                    raise AssertionError(line)
        except queue.Empty:
            raise AssertionError(f"driver never said {wanted!r}:\n"
                                 + "\n".join(self.log)) from None

    def send(self, record):
        self.process.stdin.write(json.dumps(record) + "\n")
        self.process.stdin.flush()

    def paste(self, record, wait=True):
        self.send(record)
        self.expect("pasted")
        if wait:
            self.expect("paste finished")

    def poll(self):
        """Has the monitor poll now: a change it finds is recorded before any later one."""
        self.send({"poll": True})
        self.expect("polled")

    def texts(self):
        return [row[0] for row in query(self.store_path,
                                        "SELECT textContent FROM ClipboardItem ORDER BY timestamp")]

    def stop_cleanly(self):
        """Stops the driver and fails when it did not exit cleanly (sanitizer reports too)."""
        self.process.stdin.close()
        try:
            self.process.wait(timeout=10)
        except subprocess.TimeoutExpired:
            stop(self.process, signal.SIGKILL)
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
