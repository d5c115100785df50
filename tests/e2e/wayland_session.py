"""A headless sway, or a virtual KWin, for the Wayland end-to-end tests, run as an unprivileged
user (compositors refuse root, and CI runs as root): the user is created once if missing, and
each session gets a runtime folder, a home and a D-Bus session bus of its own. Programs of the
session (Brivet, wl-copy, wl-paste) run as that user through `launcher`."""

import json
import os
import pwd
import re
import shutil
import subprocess
import tempfile

from brivet_e2e import stop, wait_until

USER = "brivet-wl"
SWAY_CONFIG = "xwayland disable\noutput HEADLESS-1 resolution 1280x800\n"


KWIN = "/usr/bin/kwin_wayland"


def available(compositor="sway"):
    return shutil.which("sway") is not None if compositor == "sway" else os.path.exists(KWIN)


def ensure_user():
    """The test user's ids, creating the user when it is missing (needs root)."""
    try:
        entry = pwd.getpwnam(USER)
    except KeyError:
        if os.geteuid() != 0:
            raise RuntimeError(f"user {USER} is missing and only root can create it")
        subprocess.run(["useradd", "--create-home", "--shell", "/usr/sbin/nologin", USER],
                       check=True, capture_output=True)
        entry = pwd.getpwnam(USER)
    return entry.pw_uid, entry.pw_gid


class WaylandSession:
    """Headless sway, or KWin's virtual output, with its own runtime folder; stops only what it
    started. KWin shows its fake input only to the programs in fake_input_programs (paths): each
    gets a desktop file that asks for it."""

    def __init__(self, compositor="sway", fake_input_programs=(), scale=1, outputs=1):
        self.compositor = compositor
        self.scale = scale
        self.outputs = outputs
        self.fake_input_programs = fake_input_programs
        self.processes = []
        self.folders = []
        self.env = None
        self.launcher = []

    def private_folder(self, prefix):
        """A fresh folder owned by the session's user, readable by it alone."""
        folder = tempfile.mkdtemp(prefix=prefix)
        os.chown(folder, self.uid, self.gid)
        os.chmod(folder, 0o700)
        self.folders.append(folder)
        return folder

    def start(self):
        if os.geteuid() == 0:
            self.uid, self.gid = ensure_user()
            self.launcher = ["setpriv", f"--reuid={self.uid}", f"--regid={self.gid}",
                             "--clear-groups", "--"]
        else:
            self.uid, self.gid = os.getuid(), os.getgid()
        runtime = self.private_folder("brivet-wl-runtime-")
        home = self.private_folder("brivet-wl-home-")
        self.runtime = runtime
        base = {key: value for key, value in os.environ.items()
                if key not in ("DISPLAY", "WAYLAND_DISPLAY", "DBUS_SESSION_BUS_ADDRESS",
                               "XDG_RUNTIME_DIR", "HOME", "XDG_SESSION_TYPE", "QT_QPA_PLATFORM",
                               "SWAYSOCK", "XDG_CURRENT_DESKTOP", "XDG_DATA_HOME")}
        if "ASAN_OPTIONS" in base:
            # Whole allocation stacks, so that the leaks of Qt's Wayland plugin can be told from
            # ours (tests/lsan.supp): libwayland-client has no frame pointers.
            base["ASAN_OPTIONS"] += ":fast_unwind_on_malloc=0"
        self.env = dict(base, HOME=home, XDG_RUNTIME_DIR=runtime)
        # KWin wants the bus when it starts; the session's programs share it.
        bus = self.popen(["dbus-daemon", "--session", "--nofork", "--print-address=1"],
                         stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        self.env["DBUS_SESSION_BUS_ADDRESS"] = bus.stdout.readline().strip()
        bus.stdout.close()
        self.compositor_log = open(os.path.join(runtime, "compositor.log"), "w")
        if self.compositor == "sway":
            config = os.path.join(home, "sway.config")
            with open(config, "w") as file:
                file.write(SWAY_CONFIG + f"output HEADLESS-1 scale {self.scale}\n")
                # More outputs side by side, right of the first.
                for number in range(2, self.outputs + 1):
                    file.write(f"output HEADLESS-{number} resolution 1280x800 "
                               f"position {1280 * (number - 1)} 0\n")
            os.chown(config, self.uid, self.gid)
            self.env.update(WLR_BACKENDS="headless", WLR_RENDERER="pixman",
                            WLR_LIBINPUT_NO_DEVICES="1", WLR_HEADLESS_OUTPUTS=str(self.outputs))
            command = ["sway", "-c", config]
        else:
            command = [self.kwin_copy(), "--virtual", "--no-lockscreen", "--socket",
                       "wayland-kwin", "--width", "1280", "--height", "800"]
            self.declare_fake_input(home)
        self.compositor_process = self.popen(command, stdout=self.compositor_log,
                                             stderr=subprocess.STDOUT)
        socket = wait_until(lambda: self.compositor_socket(runtime), timeout=30,
                            message=f"{self.compositor}'s Wayland socket")
        self.env["WAYLAND_DISPLAY"] = socket
        self.env.update(QT_QPA_PLATFORM="wayland", GDK_BACKEND="wayland")
        return self

    def kwin_copy(self):
        """The installed kwin_wayland carries a file capability that exec refuses in a
        container; a copy has none, and KWin works only under its own name."""
        folder = self.private_folder("brivet-wl-kwin-")
        copy = os.path.join(folder, "kwin_wayland")
        shutil.copy(KWIN, copy)
        os.chown(copy, self.uid, self.gid)
        return copy

    def declare_fake_input(self, home):
        applications = os.path.join(home, ".local", "share", "applications")
        os.makedirs(applications)
        for program in self.fake_input_programs:
            name = os.path.basename(program)
            with open(os.path.join(applications, f"{name}.desktop"), "w") as entry:
                entry.write(f"[Desktop Entry]\nType=Application\nName={name}\nExec={program}\n"
                            "X-KDE-Wayland-Interfaces=org_kde_kwin_fake_input\n")
        for root, folders, files in os.walk(os.path.join(home, ".local")):
            for name in [root, *(os.path.join(root, f) for f in folders + files)]:
                os.chown(name, self.uid, self.gid)

    def compositor_socket(self, runtime):
        if self.compositor_process.poll() is not None:
            raise AssertionError(f"{self.compositor} exited: "
                                 + open(self.compositor_log.name).read())
        names = sorted(name for name in os.listdir(runtime)
                       if name.startswith("wayland-") and not name.endswith(".lock"))
        return names[0] if names else None

    def swaymsg(self, *command, check=True):
        """Runs a sway command over its IPC socket; None while sway has none."""
        sockets = [name for name in os.listdir(self.runtime) if name.startswith("sway-ipc.")]
        return sockets and self.run(["swaymsg", "-s", os.path.join(self.runtime, sockets[0]),
                                     *command], check=check)

    def focused_app(self):
        """The app_id of the window that has the keyboard, from sway's tree."""
        answer = self.swaymsg("-t", "get_tree", check=False)
        if not answer:
            return None
        tree = answer.stdout
        nodes = [json.loads(tree or b"{}")]
        while nodes:
            node = nodes.pop()
            if node.get("focused") and node.get("app_id"):
                return node["app_id"]
            nodes += node.get("nodes", []) + node.get("floating_nodes", [])
        return None

    def pixels(self, x, y, width, height):
        """The colours of a region of the output, row by row, as (r, g, b) tuples, from grim."""
        ppm = self.run(["grim", "-t", "ppm", "-g", f"{x},{y} {width}x{height}", "-"]).stdout
        # P6, width, height, maximum value, one whitespace, then the samples.
        header = re.match(rb"P6\s+(\d+)\s+(\d+)\s+255\s", ppm)
        assert header and (int(header[1]), int(header[2])) == (width, height), ppm[:20]
        samples = ppm[header.end():]
        return [tuple(samples[i:i + 3]) for i in range(0, 3 * width * height, 3)]

    def command(self, args):
        return [*self.launcher, *args]

    def popen(self, args, **kwargs):
        process = subprocess.Popen(self.command(args), **{"env": self.env, **kwargs})
        self.processes.insert(0, process)  # stopped before the compositor
        return process

    def run(self, args, input=None, check=True, timeout=30):
        return subprocess.run(self.command(args), env=self.env, input=input,
                              capture_output=True, check=check, timeout=timeout)

    def copy(self, data, mime_type=None):
        """wl-copy, which forks a server of the copy and returns at once."""
        # Not run(): the forked server keeps captured pipes open until it exits.
        subprocess.run(self.command(["wl-copy", *(["--type", mime_type] if mime_type else [])]),
                       env=self.env, input=data.encode() if isinstance(data, str) else data,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True,
                       timeout=30)

    def paste(self, mime_type=None):
        return self.run(["wl-paste", "--no-newline",
                         *(["--type", mime_type] if mime_type else [])]).stdout

    def stop(self):
        for process in self.processes:
            stop(process)
        self.processes.clear()
        self.compositor_log.close()
        for folder in self.folders:
            shutil.rmtree(folder, ignore_errors=True)
