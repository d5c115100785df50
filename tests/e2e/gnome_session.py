"""A headless GNOME Shell for the GNOME end-to-end tests, run as the unprivileged user of
wayland_session: a fresh home and runtime folder, a session bus and a second bus standing in
for the system bus (the shell dies at start without one), Brivet's extension installed in the
home and enabled (with its test methods) unless told otherwise. Stopped by process: the shell
first, then the buses."""

import os
import re
import shutil
import subprocess

import wayland_session
from brivet_e2e import stop, wait_until

EXTENSION = os.environ.get("BRIVET_GNOME_EXTENSION", os.path.join(
    os.path.dirname(__file__), "..", "..", "data", "gnome-shell", "brivet@brivet.com"))
UUID = "brivet@brivet.com"
SHELL_NAME = "com.brivet.Shell"
SHELL_PATH = "/com/brivet/Shell"
TESTING = "com.brivet.Shell1.Testing"
WIDTH, HEIGHT = 1280, 800


def available():
    return shutil.which("gnome-shell") is not None


class GnomeSession(wayland_session.WaylandSession):
    """gnome-shell --headless on a virtual monitor of WIDTH x HEIGHT."""

    def __init__(self, with_extension=True, xwayland=False):
        super().__init__("gnome-shell")
        self.with_extension = with_extension
        self.xwayland = xwayland

    def start(self):
        try:
            return self.start_shell()
        except BaseException:
            self.stop()  # what has started, by process
            raise

    def start_shell(self):
        self.become_user()
        runtime = self.private_folder("brivet-gnome-runtime-")
        home = self.private_folder("brivet-gnome-home-")
        self.runtime = runtime
        self.env = {"HOME": home, "XDG_RUNTIME_DIR": runtime, "LANG": "C.UTF-8",
                    "PATH": "/usr/local/bin:/usr/bin:/bin", "XDG_SESSION_TYPE": "wayland",
                    "XDG_CURRENT_DESKTOP": "GNOME", "BRIVET_SHELL_TESTING": "1",
                    **{key: value for key, value in os.environ.items()
                       if key.startswith(("ASAN_", "UBSAN_", "LSAN_", "BRIVET_",
                                          "QT_QUICK_BACKEND"))}}
        if "ASAN_OPTIONS" in self.env:
            # Whole allocation stacks, so that the leaks of Qt's Wayland plugin can be told from
            # ours (tests/lsan.supp): libwayland-client has no frame pointers.
            self.env["ASAN_OPTIONS"] += ":fast_unwind_on_malloc=0"
        for variable in ("DBUS_SESSION_BUS_ADDRESS", "DBUS_SYSTEM_BUS_ADDRESS"):
            bus = self.popen(["dbus-daemon", "--session", "--nofork", "--print-address=1"],
                             stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
            self.env[variable] = bus.stdout.readline().strip()
            bus.stdout.close()
        if self.with_extension:
            self.install_extension(home)
        self.compositor_log = open(os.path.join(runtime, "compositor.log"), "w")
        self.compositor_process = self.popen(
            ["gnome-shell", "--headless", "--wayland", *([] if self.xwayland else ["--no-x11"]),
             "--virtual-monitor", f"{WIDTH}x{HEIGHT}"], stdout=self.compositor_log,
            stderr=subprocess.STDOUT)
        socket = wait_until(lambda: self.compositor_socket(runtime), timeout=30,
                            message="gnome-shell's Wayland socket")
        self.env["WAYLAND_DISPLAY"] = socket
        self.env.update(QT_QPA_PLATFORM="wayland", GDK_BACKEND="wayland")
        if self.xwayland:
            display = wait_until(lambda: re.search(r"Using public X11 display (:\d+)",
                                                   open(self.compositor_log.name).read()),
                                 timeout=30, message="XWayland's display")
            self.env["DISPLAY"] = display[1]
            # Mutter lets in the programs that hold its cookie.
            self.env["XAUTHORITY"] = wait_until(lambda: next(
                (os.path.join(runtime, name) for name in os.listdir(runtime)
                 if name.startswith(".mutter-Xwaylandauth.")), None),
                timeout=10, message="XWayland's authority file")
        if self.with_extension:
            wait_until(lambda: self.has_name(SHELL_NAME), timeout=30,
                       message="Brivet's extension on the bus")
            self.testing("HideOverview")
        return self

    def become_user(self):
        if os.geteuid() == 0:
            self.uid, self.gid = wayland_session.ensure_user()
            self.launcher = ["setpriv", f"--reuid={self.uid}", f"--regid={self.gid}",
                             "--clear-groups", "--"]
        else:
            self.uid, self.gid = os.getuid(), os.getgid()

    def install_extension(self, home):
        """The extension copied into the home, and enabled before the shell starts."""
        target = os.path.join(home, ".local", "share", "gnome-shell", "extensions", UUID)
        shutil.copytree(EXTENSION, target)
        for root, folders, files in os.walk(os.path.join(home, ".local")):
            for name in [root, *(os.path.join(root, f) for f in folders + files)]:
                os.chown(name, self.uid, self.gid)
        for key, value in (("disable-user-extensions", "false"),
                           ("enabled-extensions", f"['{UUID}']"),
                           ("welcome-dialog-last-shown-version", "'99'")):
            self.run(["gsettings", "set", "org.gnome.shell", key, value])

    def has_name(self, name):
        if self.compositor_process.poll() is not None:
            raise AssertionError("gnome-shell exited: " + open(self.compositor_log.name).read())
        return self.run(["gdbus", "call", "--session", "--dest", "org.freedesktop.DBus",
                         "--object-path", "/org/freedesktop/DBus", "--method",
                         "org.freedesktop.DBus.NameHasOwner", name],
                        check=False).stdout.strip() == b"(true,)"

    def call(self, interface, method, *args, check=True):
        """A method of the extension through gdbus, from a connection of its own."""
        return self.run(["gdbus", "call", "--session", "--dest", SHELL_NAME, "--object-path",
                         SHELL_PATH, "--method", f"{interface}.{method}", *args], check=check)

    def testing(self, method, *args):
        return self.call(TESTING, method, *args).stdout.decode().strip()

    def press(self, *keyvals):
        """Key values (X keysyms) typed through the extension's virtual keyboard."""
        self.testing("PressKeys", "[" + ", ".join(f"uint32 {k}" for k in keyvals) + "]")

    def type_text(self, text):
        self.press(*(ord(character) for character in text))

    def focused_title(self):
        return self.testing("FocusedTitle")[2:-3]

    def window_frame(self, title):
        """(x, y, width, height) of the window of that title, or None."""
        text = self.testing("WindowFrame", title)
        numbers = [int(n) for n in text.strip("(),@ai[] ").replace(" ", "").split(",") if n]
        return tuple(numbers) if numbers else None

    def screenshot(self, path):
        """The whole monitor as a PNG written by the shell (as the session's user)."""
        folder = os.path.dirname(path)
        os.chown(folder, self.uid, self.gid)
        self.testing("Screenshot", path)

    def stop(self):
        # The shell first (popen puts each later process first), then the buses.
        for process in self.processes:
            stop(process)
        self.processes.clear()
        if getattr(self, "compositor_log", None):
            self.compositor_log.close()
        for folder in self.folders:
            shutil.rmtree(folder, ignore_errors=True)
