"""Every `kestrel ...` command line quoted in the deployed agent documents must
be accepted by the real command-line parser, and together they must cover
every command of the tree.

The documents are taken from what `kestrel install` writes, so the embedded
text is what gets checked. Each quoted line is run, with its placeholders
filled in, by the real binary. A command line the parser refuses exits with
status 2 (usage error or a group without its subcommand) before any handler
runs; anything else means the line parsed. Because handlers do run, each line
runs in a throw-away sandbox: new PID, mount and network namespaces with a
private /tmp holding HOME, the library and fakes of every outside program
(all failing), and a time limit. When the namespace's first process ends, the
kernel ends everything it started, including a dashboard server started in
the background, and no port or file outside the sandbox is touched.
"""

import re
import shlex
import subprocess
from concurrent.futures import ThreadPoolExecutor

import pytest

from conftest import KESTREL

# Values for the placeholders the documents use; any other <...> gets "X1".
SAMPLES = {
    "MPN": "TPS62840YBGR",
    "URL": "https://www.example.com/p",
    "PAGE_URL": "https://www.example.com/p",
    "PDF_URL": "https://www.example.com/d.pdf",
    "SOURCE_URL": "https://www.example.com/p",
    "SOURCE": "mouser",
    "FORMAT": "step",
    "TIMEOUT": "3",
    "PORT": "8799",
    "NAME": "board",
    "PROJECT": "board",
    "HOST": "ti",
    "USERNAME": "user",
    "PASSWORD": "secret",
    "PATH": "missing.step",
    "REMOTE_PATH": r"C:\Users\me\Downloads\ul_TPS62840YBGR.zip",
    "EXPR": "document.title",
    "COMMAND": "gate",
    "SESSION": "kestrel-pdf-grab",
    "DISCOVERY_SOURCE": "digikey",
    "CONTENT_ORIGIN": "manufacturer",
}
PLACEHOLDER = re.compile(r"<([A-Za-z][A-Za-z0-9_ ./-]*)>")

# Outside programs kestrel may start; in the sandbox each one fails at once.
FAKED = [
    "curl", "velm-desktop", "velm-cli", "velm-step", "velm-symbol", "velm-footprint",
    "velm-lbr", "velm-brindle", "velm-vscode", "quarry", "arbiter", "pictor", "node",
    "xvfb-run", "python3", "kestrel",
]

SANDBOX_SCRIPT = r"""
set -e
mount -t tmpfs -o size=64m tmpfs /tmp
mkdir -p /tmp/sb/home /tmp/sb/lib /tmp/sb/tmp /tmp/sb/bin /tmp/sb/work
for p in $FAKED; do printf '#!/bin/sh\nexit 1\n' > /tmp/sb/bin/$p; chmod +x /tmp/sb/bin/$p; done
cd /tmp/sb/work
export HOME=/tmp/sb/home KESTREL_LIB=/tmp/sb/lib TMPDIR=/tmp/sb/tmp PATH=/tmp/sb/bin:/usr/bin:/bin LANG=C.UTF-8
exec timeout -s KILL 8 "$KESTREL" "$@"
"""


def sandbox_prefix():
    """The unshare invocation that works here, or None."""
    base = ["unshare", "--fork", "--pid", "--mount-proc", "--mount", "--net"]
    for extra in ([], ["--user", "--map-root-user"]):
        argv = base + extra + ["sh", "-c", "mount -t tmpfs tmpfs /tmp"]
        try:
            if subprocess.run(argv, capture_output=True, timeout=20).returncode == 0:
                return base + extra
        except (OSError, subprocess.TimeoutExpired):
            pass
    return None


def run_sandboxed(prefix, args):
    env = {"PATH": "/usr/bin:/bin", "KESTREL": KESTREL, "FAKED": " ".join(FAKED)}
    return subprocess.run(
        prefix + ["sh", "-c", SANDBOX_SCRIPT, "sandbox", *args],
        capture_output=True, text=True, timeout=60, env=env,
    )


def quoted_command_lines(text):
    """Every `kestrel ...` line in fenced blocks and every inline `kestrel ...` span."""
    lines = []
    fenced = False
    for raw in text.splitlines():
        stripped = raw.strip()
        if stripped.startswith("```"):
            fenced = not fenced
            continue
        if fenced:
            if stripped.startswith("kestrel "):
                lines.append(stripped)
            continue
        for span in re.findall(r"`([^`]+)`", raw):
            if span.startswith("kestrel "):
                lines.append(span)
    return lines


def to_argv(line):
    filled = PLACEHOLDER.sub(lambda m: SAMPLES.get(m.group(1), "X1"), line)
    argv = shlex.split(filled, comments=True)
    assert argv[0] == "kestrel", line
    return argv[1:]


def subcommands(help_text):
    """Command names listed under the SUBCOMMANDS heading of a help text."""
    names = []
    in_list = False
    for line in help_text.splitlines():
        if line.strip().upper().startswith("SUBCOMMANDS"):
            in_list = True
            continue
        if in_list:
            if not line.strip():
                continue
            if not line.startswith(" "):
                break
            names.append(line.split()[0])
    return names


@pytest.fixture
def documents(kenv):
    r = kenv.run("install")
    assert r.returncode == 0, r.stderr
    folder = kenv.home / ".claude" / "skills" / "kestrel"
    docs = {"SKILL.md": (folder / "SKILL.md").read_text()}
    for path in sorted((folder / "playbooks").glob("*.md")):
        docs["playbooks/" + path.name] = path.read_text()
    return docs


def test_every_quoted_command_line_parses(documents):
    prefix = sandbox_prefix()
    if prefix is None:
        pytest.skip("needs unshare with PID, mount and network namespaces")
    quoted = sorted({(name, line) for name, text in documents.items() for line in quoted_command_lines(text)})
    assert len({name for name, _ in quoted}) == len(documents), "a document quotes no command line"

    def check(item):
        name, line = item
        r = run_sandboxed(prefix, to_argv(line))
        return name, line, r

    refused = []
    with ThreadPoolExecutor(max_workers=4) as pool:
        for name, line, r in pool.map(check, quoted):
            if r.returncode == 2 or r.stderr.startswith("error:"):
                refused.append(f"{name}: {line}\n    {r.stderr.strip().splitlines()[0] if r.stderr.strip() else ''}")
    assert not refused, "command lines the parser refuses:\n" + "\n".join(refused)


def test_documents_cover_every_command(kenv, documents):
    top = kenv.run("--help")
    assert top.returncode == 0
    paths = []
    for name in subcommands(top.stdout):
        if name == "help":
            continue
        group = kenv.run(name, "--help").stdout
        members = subcommands(group)
        paths += [f"{name} {m}" for m in members] if members else [name]
    assert len(paths) > 30, "could not read the command listing from --help"

    used = set()
    for text in documents.values():
        for line in quoted_command_lines(text):
            words = [w for w in to_argv(line) if not w.startswith("-")]
            used.add(" ".join(words[:2]))
            used.add(words[0] if words else "")
    missing = [p for p in paths if p not in used]
    assert not missing, f"commands never quoted in the documents: {missing}"
