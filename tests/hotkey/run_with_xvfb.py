"""Runs a command against a private Xvfb: the server picks a free display itself
(-displayfd), so tests running side by side never compete for one."""

import os
import subprocess
import sys


def main():
    read_fd, write_fd = os.pipe()
    server = subprocess.Popen(
        ["Xvfb", "-displayfd", str(write_fd), "-screen", "0", "640x480x24",
         "-nolisten", "tcp", "-noreset"],
        pass_fds=(write_fd,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(write_fd)
    with os.fdopen(read_fd) as pipe:
        display = pipe.readline().strip()
    if not display:
        server.kill()
        sys.exit("Xvfb did not start")
    env = dict(os.environ, DISPLAY=f":{display}")
    env.pop("WAYLAND_DISPLAY", None)
    try:
        return subprocess.run(sys.argv[1:], env=env).returncode
    finally:
        server.terminate()
        server.wait()


if __name__ == "__main__":
    sys.exit(main())
