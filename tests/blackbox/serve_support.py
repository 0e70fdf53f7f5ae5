"""A running `kestrel serve` for black-box tests, and a raw HTTP client for it.

The server runs in the test's private environment on a free port; requests go
over real sockets with the path sent byte for byte (nothing normalised or
decoded on the way), so traversal and header checks see what an attacker
would send.
"""

import http.client
import os
import re
import select
import socket
import subprocess
import time

from conftest import KESTREL


def free_port():
    with socket.socket() as s:
        s.bind(("0.0.0.0", 0))
        return s.getsockname()[1]


def lan_address():
    """A non-loopback IPv4 address of this machine, or None."""
    s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    try:
        s.connect(("10.255.255.255", 1))  # picks a source address; sends nothing
        ip = s.getsockname()[0]
    except OSError:
        ip = None
    finally:
        s.close()
    if ip and not ip.startswith("127."):
        return ip
    try:
        text = open("/proc/net/fib_trie").read()
    except OSError:
        return None
    for addr in re.findall(r"\|-- (\d+\.\d+\.\d+\.\d+)\n\s+/32 host LOCAL", text):
        if not addr.startswith("127."):
            return addr
    return None


class Response:
    def __init__(self, status, headers, body):
        self.status = status
        self.headers = headers  # lower-cased names
        self.body = body        # bytes

    @property
    def text(self):
        return self.body.decode("utf-8", "replace")

    @property
    def content_type(self):
        return self.headers.get("content-type")


class Server:
    def __init__(self, kenv, port=None, **env):
        self.kenv = kenv
        self.port = port or free_port()
        self.proc = subprocess.Popen(
            [KESTREL, "serve", "--port", str(self.port)],
            stdout=subprocess.PIPE,
            stderr=subprocess.PIPE,
            env=kenv.env(**env),
            cwd=kenv.root,
        )
        self._wait_ready()

    def _wait_ready(self):
        deadline = time.time() + 15
        while time.time() < deadline:
            if self.proc.poll() is not None:
                raise AssertionError(f"server exited: {self.proc.stderr.read().decode()}")
            try:
                socket.create_connection(("127.0.0.1", self.port), timeout=0.5).close()
                return
            except OSError:
                time.sleep(0.05)
        raise AssertionError("server did not start listening")

    def stdout_lines(self, count, timeout=5):
        data = b""
        fd = self.proc.stdout.fileno()
        deadline = time.time() + timeout
        while data.count(b"\n") < count and time.time() < deadline:
            ready, _, _ = select.select([fd], [], [], 0.1)
            if ready:
                chunk = os.read(fd, 4096)
                if not chunk:
                    break
                data += chunk
        return data.decode().splitlines()[:count]

    def alive(self):
        return self.proc.poll() is None

    def stop(self):
        if self.proc.poll() is None:
            self.proc.kill()
        self.proc.wait(timeout=10)
        self.proc.stdout.close()
        self.proc.stderr.close()

    def request(self, method, path, body=None, headers=None, address="127.0.0.1", timeout=10):
        """One request on a fresh connection; a path is sent exactly as given."""
        conn = http.client.HTTPConnection(address, self.port, timeout=timeout)
        try:
            hdrs = {"Host": f"127.0.0.1:{self.port}"}
            hdrs.update(headers or {})
            hdrs = {k: v for k, v in hdrs.items() if v is not None}
            if isinstance(body, str):
                body = body.encode()
            conn.request(method, path, body=body, headers=hdrs)
            resp = conn.getresponse()
            data = resp.read()
            return Response(resp.status, {k.lower(): v for k, v in resp.getheaders()}, data)
        finally:
            conn.close()

    def get(self, path, **kw):
        return self.request("GET", path, **kw)

    def post(self, path, body=None, **kw):
        return self.request("POST", path, body=body, **kw)

    def raw(self, data, timeout=10):
        """Sends raw bytes and returns everything the server answers before closing."""
        with socket.create_connection(("127.0.0.1", self.port), timeout=timeout) as s:
            s.sendall(data)
            chunks = []
            try:
                while True:
                    chunk = s.recv(65536)
                    if not chunk:
                        break
                    chunks.append(chunk)
            except (ConnectionResetError, socket.timeout):
                pass
            return b"".join(chunks)
