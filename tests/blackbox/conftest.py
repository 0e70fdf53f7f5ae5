"""Black-box fixtures: run the built kestrel in a private HOME, library and
TMPDIR, with scripted fakes of outside programs first on PATH.

A fake records every call (argv and standard input) and answers from a list
of rules: the first rule whose `match` strings all occur in the joined argv
wins; a rule with `once` is used up after one match.
"""

import glob
import json
import os
import subprocess
from pathlib import Path

import pytest

KESTREL = os.environ.get("KESTREL_BIN") or str(Path(__file__).resolve().parents[2] / "build" / "kestrel")

FAKE_SOURCE = r'''#!/usr/bin/python3
import json, os, sys, time
here = os.path.dirname(os.path.abspath(__file__))
name = os.path.basename(sys.argv[0])
data = sys.stdin.read() if not sys.stdin.isatty() else ""
with open(os.path.join(here, "calls.jsonl"), "a") as log:
    log.write(json.dumps({"prog": name, "argv": sys.argv[1:], "stdin": data}) + "\n")
rules_path = os.path.join(here, name + ".rules.json")
rules = json.load(open(rules_path)) if os.path.exists(rules_path) else []
joined = " ".join(sys.argv[1:])
for i, rule in enumerate(rules):
    if rule.get("used"):
        continue
    if all(m in joined for m in rule.get("match", [])):
        if rule.get("once"):
            rule["used"] = True
            json.dump(rules, open(rules_path, "w"))
        if rule.get("sleep"):
            time.sleep(rule["sleep"])
        if "write_file" in rule:
            with open(rule["write_file"][0], "wb") as f:
                f.write(rule["write_file"][1].encode("latin-1"))
        sys.stdout.write(rule.get("stdout", ""))
        sys.stderr.write(rule.get("stderr", ""))
        sys.exit(rule.get("exit", 0))
sys.exit(0)
'''

TMP_FIXED = ["/tmp/kestrel-last-heartbeat.json", "/tmp/kestrel-dashboard.log"]


def _clean_fixed_tmp():
    for p in TMP_FIXED + glob.glob("/tmp/kestrel-stage-*.json"):
        try:
            os.remove(p)
        except OSError:
            pass


class Env:
    def __init__(self, root: Path):
        self.root = root
        self.home = root / "home"
        self.lib = root / "library"
        self.tmp = root / "tmp"
        self.bin = root / "bin"
        for d in (self.home, self.lib, self.tmp, self.bin):
            d.mkdir(parents=True)
        self.extra_env = {}
        # Nothing may reach the network or a real desktop unless a test says so.
        self.fake("curl", [{"exit": 7, "stderr": "curl: (7) Failed to connect"}])
        self.fake("velm-desktop", [{"exit": 1, "stderr": "velm-desktop: no desktop"}])

    def env(self, **overrides):
        env = {
            "PATH": f"{self.bin}:/usr/local/bin:/usr/bin:/bin",
            "HOME": str(self.home),
            "KESTREL_LIB": str(self.lib),
            "TMPDIR": str(self.tmp),
            "LANG": "C.UTF-8",
        }
        env.update(self.extra_env)
        for k, v in overrides.items():
            if v is None:
                env.pop(k, None)
            else:
                env[k] = v
        return env

    def run(self, *args, input=None, timeout=60, cwd=None, **env_overrides):
        """Runs kestrel with `args`; returns the CompletedProcess (text mode)."""
        return subprocess.run(
            [KESTREL, *args],
            input=input,
            capture_output=True,
            text=True,
            timeout=timeout,
            env=self.env(**env_overrides),
            cwd=cwd or self.root,
        )

    def fake(self, name, rules=None):
        """Installs (or replaces) a fake program answering from `rules`."""
        path = self.bin / name
        path.write_text(FAKE_SOURCE)
        path.chmod(0o755)
        (self.bin / f"{name}.rules.json").write_text(json.dumps(rules or []))
        return path

    def calls(self, prog=None):
        """Every recorded call, optionally of one program: dicts with argv and stdin."""
        log = self.bin / "calls.jsonl"
        if not log.exists():
            return []
        out = [json.loads(line) for line in log.read_text().splitlines() if line.strip()]
        return [c for c in out if prog is None or c["prog"] == prog]

    def chip(self, mpn, files=None, info=None):
        """Creates library/<mpn>/ with `files` ({name: bytes or str}) and an optional info.json."""
        d = self.lib / mpn
        d.mkdir(parents=True, exist_ok=True)
        for name, data in (files or {}).items():
            p = d / name
            p.parent.mkdir(parents=True, exist_ok=True)
            p.write_bytes(data if isinstance(data, bytes) else data.encode())
        if info is not None:
            (d / "info.json").write_text(info if isinstance(info, str) else json.dumps(info))
        return d


@pytest.fixture
def kenv(tmp_path):
    _clean_fixed_tmp()
    yield Env(tmp_path)
    _clean_fixed_tmp()
