"""Helpers for black-box tests of the dashboard's action routes: a `kestrel
serve` on a free port inside a kenv, plain HTTP requests to it, and a fake
`curl` that also keeps a copy of every uploaded file."""

import http.client
import json
import os
import socket
import subprocess
import time

from conftest import FAKE_SOURCE, KESTREL


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class Reply:
    def __init__(self, status, content_type, text):
        self.status = status
        self.content_type = content_type
        self.text = text

    def json(self):
        return json.loads(self.text)


class Server:
    """`kestrel serve --port <free port>` run by absolute path in the kenv's
    environment, its output kept in a log file."""

    def __init__(self, kenv, **env):
        self.kenv = kenv
        self.port = free_port()
        self.log_path = kenv.root / f"serve-{self.port}.log"
        self._log = open(self.log_path, "wb")
        self.proc = subprocess.Popen(
            [KESTREL, "serve", "--port", str(self.port)],
            stdin=subprocess.DEVNULL, stdout=self._log, stderr=subprocess.STDOUT,
            env=kenv.env(**env), cwd=kenv.root)
        deadline = time.time() + 15
        while True:
            try:
                with socket.create_connection(("127.0.0.1", self.port), timeout=0.5):
                    break
            except OSError:
                if self.proc.poll() is not None or time.time() > deadline:
                    raise RuntimeError("server did not start: " + self.log())
                time.sleep(0.05)

    def request(self, method, path, body=None, headers=None, timeout=60):
        if isinstance(body, (dict, list)):
            body = json.dumps(body)
        conn = http.client.HTTPConnection("127.0.0.1", self.port, timeout=timeout)
        try:
            conn.request(method, path, body=body, headers=headers or {})
            r = conn.getresponse()
            return Reply(r.status, r.getheader("Content-Type"), r.read().decode("utf-8"))
        finally:
            conn.close()

    def post(self, path, body=None, **kw):
        return self.request("POST", path, body, **kw)

    def log(self):
        self._log.flush()
        return self.log_path.read_text(errors="replace")

    def children(self):
        """(pid, state) of every live or zombie child of the server."""
        out = []
        for entry in os.listdir("/proc"):
            if not entry.isdigit():
                continue
            try:
                stat = open(f"/proc/{entry}/stat").read()
            except OSError:
                continue
            fields = stat[stat.rindex(")") + 2:].split()
            if int(fields[1]) == self.proc.pid:
                out.append((int(entry), fields[0]))
        return out

    def stop(self):
        # Background programs the server started outlive it by design; end the
        # ones a test left running.
        for pid, _state in self.children():
            try:
                os.killpg(pid, 9)
            except OSError:
                pass
        self.proc.terminate()
        try:
            self.proc.wait(timeout=10)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait()
        self._log.close()


# The harness's fake with one addition: the contents of every `@file` argument
# (curl's upload source) are recorded under "uploads", with the file's mode.
_MARK = 'with open(os.path.join(here, "calls.jsonl"), "a") as log:'
assert _MARK in FAKE_SOURCE
UPLOAD_FAKE_SOURCE = FAKE_SOURCE.replace(_MARK, '''uploads = []
for a in sys.argv[1:]:
    if a.startswith("@") and os.path.exists(a[1:]):
        uploads.append({"path": a[1:], "latin1": open(a[1:], "rb").read().decode("latin-1"),
                        "mode": os.stat(a[1:]).st_mode & 0o777})
''' + _MARK).replace('"stdin": data}', '"stdin": data, "uploads": uploads}')
assert '"uploads": uploads' in UPLOAD_FAKE_SOURCE


def fake_curl(kenv, rules):
    """Installs the uploading fake as `curl`, answering from `rules`."""
    path = kenv.fake("curl", rules)
    path.write_text(UPLOAD_FAKE_SOURCE)
    return path


def start_server_factory(kenv):
    """A function starting servers for one test, and one stopping them all."""
    servers = []

    def start(**env):
        server = Server(kenv, **env)
        servers.append(server)
        return server

    def stop_all():
        for server in servers:
            server.stop()

    return start, stop_all


def wait_for(predicate, timeout=10.0):
    deadline = time.time() + timeout
    while time.time() < deadline:
        if predicate():
            return True
        time.sleep(0.05)
    return predicate()
