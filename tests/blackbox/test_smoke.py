"""The binary starts and the harness works."""


def test_version_names_program_and_version(kenv):
    r = kenv.run("--version")
    assert r.returncode == 0
    assert "kestrel" in r.stdout and "1.2.23" in r.stdout
