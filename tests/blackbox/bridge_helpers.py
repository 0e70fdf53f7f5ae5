"""Helpers shared by the desktop-bridge black-box tests."""

import json


def bridge_calls(kenv):
    """The velm-desktop calls as [operation, request...], leaving out the
    heartbeat's scroll of the dashboard window."""
    out = []
    for call in kenv.calls("velm-desktop"):
        argv = call["argv"]
        if len(argv) > 1 and '"sessionId":"kestrel-dashboard"' in argv[1]:
            continue
        out.append(argv)
    return out


def heartbeat_stages(kenv):
    """The stage of every heartbeat posted through curl, in order."""
    stages = []
    for call in kenv.calls("curl"):
        argv = call["argv"]
        if "-d" in argv:
            stages.append(json.loads(argv[argv.index("-d") + 1])["stage"])
    return stages


def compact(obj):
    """A request as the bridge receives it: compact JSON, keys in the given order."""
    return json.dumps(obj, separators=(",", ":"), ensure_ascii=False)
