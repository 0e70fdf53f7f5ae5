"""Helpers for tests that may start a background dashboard server.

`kestrel dashboard ensure` (and `selfcheck`) start `kestrel serve --port 8786`
as a detached process when nobody answers. Such a process outlives the test,
so every test that can start one stops it afterwards: only processes whose
environment carries that test's private HOME are touched, by pid.
"""

import os
import signal
import socket
from pathlib import Path

import pytest


def own_servers(home):
    """Pids of `kestrel serve` processes started with HOME=`home`."""
    pids = []
    marker = f"HOME={home}".encode()
    for entry in Path("/proc").iterdir():
        if not entry.name.isdigit():
            continue
        try:
            argv = (entry / "cmdline").read_bytes().split(b"\0")
            env = (entry / "environ").read_bytes().split(b"\0")
        except OSError:
            continue
        if b"serve" in argv and marker in env:
            pids.append(int(entry.name))
    return pids


def stop_own_servers(home):
    for pid in own_servers(home):
        try:
            os.kill(pid, signal.SIGKILL)
        except OSError:
            pass


@pytest.fixture
def no_stray_server(kenv):
    """Stops any dashboard server this test's kestrel started in the background."""
    yield
    stop_own_servers(kenv.home)


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def windows_listing(*sessions):
    """A browser_list_windows answer naming `sessions`."""
    return "{\"windows\":[" + ",".join(f"{{\"sessionId\":\"{s}\"}}" for s in sessions) + "]}"
