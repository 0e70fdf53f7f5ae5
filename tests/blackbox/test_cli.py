"""The command tree: help, version, usage errors and exit statuses."""

import pytest


def test_no_arguments_prints_top_level_help_to_stderr_and_exits_2(kenv):
    r = kenv.run()
    assert r.returncode == 2
    assert r.stdout == ""
    assert "Download manufacturer STEP/footprint/datasheet bundles via skiff" in r.stderr
    assert "next-source" in r.stderr and "skiff-pdf-fetch" in r.stderr


def test_help_and_version_go_to_stdout_with_status_0(kenv):
    top = kenv.run("--help")
    assert top.returncode == 0 and top.stderr == ""
    assert "Show what's already in the library" in top.stdout
    r = kenv.run("--version")
    assert (r.returncode, r.stdout) == (0, "kestrel 1.2.23\n")
    r = kenv.run("help")                 # no topic: the top-level help
    assert (r.returncode, r.stdout) == (0, top.stdout)
    r = kenv.run("help", "status")
    assert r.returncode == 0
    assert "Show what's downloaded vs missing for a single MPN" in r.stdout


@pytest.mark.parametrize(
    "argv",
    [
        ["fetch", "--version"],          # only the top level has a version flag
        ["fetch", "X", "--version"],
        ["refetch", "ABC"],              # --format and --source are required
        ["serve", "--port", "70000"],
        ["serve", "--port", "-1"],
        ["serve", "--port", "0x50"],
        ["refetch", "A", "--format", "step", "--source", "mouser", "--timeout", "-5"],
        ["bogus"],
        ["list", "--bogus"],
        ["gate", "--strict=false"],      # a flag takes no value
        ["list", "extra"],
        ["status"],
        ["heartbeat", "A"],
        ["help", "bogus"],
    ],
)
def test_command_line_errors_exit_2_before_any_handler(kenv, argv):
    r = kenv.run(*argv)
    assert r.returncode == 2, r.stderr
    assert r.stdout == ""
    assert r.stderr.strip()
    assert not kenv.calls()
    assert list(kenv.lib.iterdir()) == []


@pytest.mark.parametrize("group", ["scrape", "creds", "dashboard", "project"])
def test_group_without_subcommand_prints_its_help_and_exits_2(kenv, group):
    r = kenv.run(group)
    assert r.returncode == 2
    assert "Usage: kestrel " + group in r.stderr
    assert not kenv.calls()


def test_refetch_long_help_only_with_the_long_flag(kenv):
    details = "Sources accepted (canonical slugs): manufacturer, snapmagic, mouser, digikey, arrow, cse_ul, lcsc."
    long = kenv.run("refetch", "--help")
    assert long.returncode == 0
    assert "without a human in the loop.\n\n" + details in long.stdout
    assert "Formats accepted: kicad_sym, kicad_mod, eagle, step, all." in long.stdout
    short = kenv.run("refetch", "-h")
    assert short.returncode == 0
    assert details not in short.stdout
    assert "without a human in the loop" in short.stdout


def test_pull_about_text_keeps_doubled_backslashes(kenv):
    r = kenv.run("pull", "--help")
    assert r'`kestrel pull "C:\\Users\\jdoe\\Downloads\\ul_TPS62840YBGR.zip" --mpn TPS62840YBGR`' in r.stdout
