"""POST /api/deliver over real HTTP: every target, the bridge calls in order,
the .lbr generation and every reply object."""

import json

import pytest

from actions_support import start_server_factory

SYM = "(kicad_symbol_lib (version 20211014))\n"
MOD = "(footprint \"U1\" (layer F.Cu))\n"

ALTIUM_HINT = ("In Altium: File \u2192 Import Wizard \u2192 \"EAGLE Projects and Designs\" \u2192 select this .lbr "
               "\u2192 it generates the .SchLib / .PcbLib / .IntLib.")
ORCAD_HINT = ("OrCAD Capture can't import EAGLE .lbr directly (it uses .olb). For now route it through an "
              "EAGLE\u2192OrCAD translator or EDIF; a native OrCAD (.olb) exporter is on the roadmap.")
ALTIUM_MESSAGE = ("Built a real EAGLE .lbr for U1 (symbol + footprint, lint-passed). Download it below and import "
                  "it \u2014 Altium reads EAGLE libraries natively. A one-click Velm Desktop bridge would "
                  "auto-import it; want to build that? Contribute on the wiki.")
ORCAD_MESSAGE = ("Built a real EAGLE .lbr for U1 (symbol + footprint, lint-passed). Download it below. A native "
                 "OrCAD exporter (and an Velm Desktop bridge to auto-import) aren't built yet \u2014 want OrCAD "
                 "in the Velm ecosystem? Contribute on the wiki.")
DELIVERED_KICAD = {"ok": True, "target": "KiCad", "message": "Delivered symbol + footprint to KiCad."}
OFFLINE_KICAD = {"ok": False, "target": "KiCad", "offline": True,
                 "message": "File generated, but Velm Desktop isn't connected to KiCad. "
                            "Open Velm Desktop on your laptop and try again."}


@pytest.fixture
def server(kenv):
    start, stop_all = start_server_factory(kenv)
    yield start()
    stop_all()


def compact(value):
    return json.dumps(value, separators=(",", ":"), ensure_ascii=False)


def bridge_calls(kenv):
    return [(c["argv"][0], json.loads(c["argv"][1])) for c in kenv.calls("velm-desktop")]


def deliver(server, mpn, target=None):
    body = {"mpn": mpn} if target is None else {"mpn": mpn, "target": target}
    r = server.post("/api/deliver", body)
    assert r.status == 200 and r.content_type == "application/json", r.text
    # keys in ascending order
    assert r.text == json.dumps(r.json(), separators=(",", ":"), sort_keys=True, ensure_ascii=False)
    return r.json()


def test_kicad_sends_and_installs_each_file(kenv, server):
    d = str(kenv.chip("U1", {"U1.kicad_sym": SYM, "U1.kicad_mod": MOD}))
    kenv.chip("FP", {"FP.kicad_mod": MOD})
    kenv.fake("velm-desktop", [{"stdout": "{}"}])
    assert deliver(server, "U1") == DELIVERED_KICAD
    assert bridge_calls(kenv) == [
        ("send_files", {"destinationFolder": "symbols", "filePaths": [f"{d}/U1.kicad_sym"], "targetApp": "kicad"}),
        ("kicad_install_library", {"libraryName": "U1", "libraryPath": f"{d}/U1.kicad_sym", "libraryType": "symbol"}),
        ("send_files", {"destinationFolder": "footprints", "filePaths": [f"{d}/U1.kicad_mod"], "targetApp": "kicad"}),
        ("kicad_install_library", {"libraryName": "U1", "libraryPath": f"{d}/U1.kicad_mod",
                                   "libraryType": "footprint"}),
    ]
    # the request text is compact with its keys in ascending order
    assert kenv.calls("velm-desktop")[0]["argv"][1] == compact(bridge_calls(kenv)[0][1])
    (kenv.bin / "calls.jsonl").unlink()
    assert deliver(server, "FP", "kicad") == DELIVERED_KICAD
    assert [op for op, _ in bridge_calls(kenv)] == ["send_files", "kicad_install_library"]


BRIDGE_CASES = [
    # rules for velm-desktop, expected reply
    ([{"once": True, "stdout": '{"bridgeConnected":false}'}, {"stdout": '{"ok":true}'}], OFFLINE_KICAD),
    ([{"match": ["kicad_install_library"], "stdout": '{"note":"Request TimeOut"}'}, {"stdout": "{}"}], OFFLINE_KICAD),
    ([{"stdout": '{"clients":"no client"}'}], OFFLINE_KICAD),
    ([{"stdout": "garbage, not json"}], DELIVERED_KICAD),
    # a bridge that fails without any JSON is no delivery
    ([{"exit": 1, "stderr": "velm-desktop: no desktop\n"}],
     {"ok": False, "target": "KiCad", "offline": False, "error": "velm-desktop send_files failed: velm-desktop: no desktop"}),
    ([{"match": ["kicad_install_library"], "stdout": '{"ok":false,"error":"library table locked"}'},
      {"stdout": "{}"}],
     {"ok": False, "target": "KiCad", "offline": False,
      "error": "velm-desktop kicad_install_library failed: library table locked"}),
]


@pytest.mark.parametrize("rules,reply", BRIDGE_CASES)
def test_every_call_is_made_before_the_replies_are_judged(kenv, server, rules, reply):
    kenv.chip("U1", {"U1.kicad_sym": SYM, "U1.kicad_mod": MOD})
    kenv.fake("velm-desktop", rules)
    assert deliver(server, "U1") == reply
    assert len(kenv.calls("velm-desktop")) == 4


def test_missing_bridge_is_offline(kenv, server):
    kenv.chip("U1", {"U1.kicad_sym": SYM})
    (kenv.bin / "velm-desktop").unlink()
    reply = deliver(server, "U1")
    assert reply["error"].startswith("velm-desktop unreachable: ")
    assert {k: v for k, v in reply.items() if k != "error"} == {"ok": False, "target": "KiCad", "offline": True}


@pytest.mark.parametrize("target", ["fusion360", "fusion"])
def test_fusion_sends_the_generated_library_and_opens_it(kenv, server, target):
    d = kenv.chip("U1", {"U1.kicad_sym": SYM, "U1.kicad_mod": MOD})
    lbr = str(d / "U1.send.lbr")
    kenv.fake("velm-lbr", [{"match": ["generate"], "write_file": [lbr, "<eagle/>"]}])
    kenv.fake("velm-desktop", [{"match": ["send_files"], "stdout": '{"destinationPaths":["C:\\\\lib\\\\U1.send.lbr"]}'},
                               {"stdout": "{}"}])
    assert deliver(server, "U1", target) == {"ok": True, "target": "Fusion 360",
                                             "message": "Delivered library (.lbr) to Fusion 360."}
    assert [c["argv"] for c in kenv.calls("velm-lbr")] == [
        ["generate", "--sym", f"{d}/U1.kicad_sym", "--fp", f"{d}/U1.kicad_mod", "--name", "U1", "--output", lbr]]
    assert bridge_calls(kenv) == [
        ("send_files", {"destinationFolder": "fusion", "filePaths": [lbr], "targetApp": "fusion360"}),
        ("fusion_open_lbr", {"filePath": "C:\\lib\\U1.send.lbr"}),
    ]
    # without a laptop path in the reply the local path is opened; the send's
    # refusal is still followed by the open call
    (kenv.bin / "calls.jsonl").unlink()
    kenv.fake("velm-desktop", [{"match": ["send_files"], "stdout": '{"bridgeConnected":false}'}, {"stdout": "{}"}])
    reply = deliver(server, "U1", target)
    assert reply["offline"] is True and reply["target"] == "Fusion 360"
    assert bridge_calls(kenv)[1] == ("fusion_open_lbr", {"filePath": lbr})


@pytest.mark.parametrize("target,display,hint,works,message", [
    ("altium", "Altium", ALTIUM_HINT, True, ALTIUM_MESSAGE),
    ("orcad", "OrCAD", ORCAD_HINT, False, ORCAD_MESSAGE),
])
def test_download_targets_offer_the_library(kenv, server, target, display, hint, works, message):
    d = kenv.chip("U1", {"U1.kicad_mod": MOD})
    # a non-zero exit that still wrote the file counts as generated
    kenv.fake("velm-lbr", [{"match": ["generate"], "exit": 1, "write_file": [str(d / "U1.lbr"), "<eagle/>"]}])
    reply = deliver(server, "U1", target)
    assert reply.pop("contribute").startswith("https://")
    assert reply == {"ok": False, "needsBridge": True, "target": display, "assetUrl": "/asset/U1/U1.lbr",
                     "importHint": hint, "exportWorks": works, "message": message}
    assert [c["argv"][-1] for c in kenv.calls("velm-lbr")] == [str(d / "U1.lbr")]
    assert kenv.calls("velm-desktop") == []


def test_generation_failures(kenv, server):
    kenv.chip("U1", {"U1.kicad_sym": SYM})
    kenv.fake("velm-lbr", [{"match": ["generate"], "exit": 2, "stderr": "bad symbol\n"}])
    assert deliver(server, "U1", "altium") == {"ok": False, "error": "velm-lbr generate failed",
                                               "detail": "bad symbol\n"}
    (kenv.bin / "velm-lbr").unlink()
    reply = deliver(server, "U1", "fusion")
    assert set(reply) == {"ok", "error"} and reply["error"].startswith("velm-lbr not available: ")
    assert kenv.calls("velm-desktop") == []


def test_refusals(kenv, server):
    kenv.chip("U1", {"U1.kicad_sym": SYM})
    kenv.chip("BARE", {"BARE.pdf": "%PDF-1.4"})
    kenv.fake("velm-lbr")
    kenv.fake("velm-desktop", [{"stdout": "{}"}])
    assert deliver(server, "U1", "Altium") == {"ok": False, "error": "unknown target Altium"}
    assert deliver(server, "U1", "eagle") == {"ok": False, "error": "unknown target eagle"}
    for target in ["altium", "kicad", "nonsense"]:
        assert deliver(server, "BARE", target) == {"ok": False, "error": "no KiCad files for BARE"}
    assert kenv.calls("velm-lbr") == [] and kenv.calls("velm-desktop") == []
    # a target that is not a string counts as absent: KiCad
    r = server.post("/api/deliver", {"mpn": "U1", "target": 5})
    assert r.json() == DELIVERED_KICAD
    for body, status, error in [({"mpn": "a/b"}, 400, "invalid mpn"), ({"target": "kicad"}, 400, "invalid mpn"),
                                ({"mpn": "GONE"}, 404, "no library/GONE/")]:
        r = server.post("/api/deliver", body)
        assert (r.status, r.json()) == (status, {"error": error}), body
    r = server.post("/api/deliver", '{"mpn":')
    assert r.status == 400 and r.json()["error"].startswith("invalid json: ")
