"""The kyber-alg command used as a person would, in subprocesses: key files, files, pipes, damage,
a wrong key, the progress bar, and a 1 GiB file in constant memory."""

import io
import os
import pty
import shutil
import signal
import stat
import subprocess
import sys
import time
from importlib import metadata
from pathlib import Path

import pytest

from kyber_alg import hybrid

PYTHON_M = [sys.executable, "-P", "-m", "kyber_alg"]
SCRIPT = shutil.which("kyber-alg", path=str(Path(sys.executable).parent))
MIB = 1 << 20


def run(*args, **kwargs):
    kwargs.setdefault("capture_output", True)
    return subprocess.run([*PYTHON_M, *args], timeout=600, **kwargs)


def error_line(result):
    """The one line a failure prints."""
    assert result.returncode == 1, result
    lines = result.stderr.decode().splitlines()
    assert len(lines) == 1 and lines[0].startswith("python -m kyber_alg: error: "), lines
    return lines[0]


@pytest.fixture(scope="module")
def keys(tmp_path_factory):
    folder = tmp_path_factory.mktemp("keys")
    result = run("keygen", "-o", str(folder / "alice"))
    assert result.returncode == 0, result.stderr
    return folder / "alice.key", folder / "alice.pub"


@pytest.fixture
def message(tmp_path):
    path = tmp_path / "message.bin"
    path.write_bytes(os.urandom(200_000))  # four chunks
    return path


def test_console_script_is_declared():
    scripts = {e.name: e.value for e in metadata.distribution("kyber_alg").entry_points if e.group == "console_scripts"}
    assert scripts.get("kyber-alg") == "kyber_alg._cli:main"


def test_keygen_writes_private_key_0600_whatever_the_umask(tmp_path):
    result = run("keygen", "-o", str(tmp_path / "k"), umask=0)
    assert result.returncode == 0, result.stderr
    key, pub = tmp_path / "k.key", tmp_path / "k.pub"
    assert stat.S_IMODE(key.stat().st_mode) == 0o600
    assert stat.S_IMODE(pub.stat().st_mode) == 0o644
    assert hybrid.load_pem_private_key(key.read_bytes()).public_key() == hybrid.load_pem_public_key(pub.read_bytes())
    before = key.read_bytes()
    assert "k.key already exists" in error_line(run("keygen", "-o", str(tmp_path / "k")))
    assert key.read_bytes() == before


def test_files_round_trip_and_library_reads_them(tmp_path, keys, message):
    key, pub = keys
    sealed, opened = tmp_path / "m.sealed", tmp_path / "m.out"
    assert run("seal", "-r", str(pub), "-o", str(sealed), str(message)).returncode == 0
    assert run("open", "-k", str(key), "-o", str(opened), str(sealed)).returncode == 0
    assert opened.read_bytes() == message.read_bytes()
    assert stat.S_IMODE(opened.stat().st_mode) == 0o600  # plaintext is readable by its owner only
    out = io.BytesIO()
    hybrid.open_stream(hybrid.load_pem_private_key(key.read_bytes()), io.BytesIO(sealed.read_bytes()), out)
    assert out.getvalue() == message.read_bytes()
    assert sorted(p.name for p in tmp_path.iterdir()) == ["m.out", "m.sealed", "message.bin"]  # no leftovers


def test_pipe_through_both_commands(keys, message):
    key, pub = keys
    command = [SCRIPT] if SCRIPT else PYTHON_M  # the console script where pip installed one
    with open(message, "rb") as source:
        sealer = subprocess.Popen([*command, "seal", "-r", str(pub)], stdin=source, stdout=subprocess.PIPE)
        opened = subprocess.run(
            [*command, "open", "-k", str(key)], stdin=sealer.stdout, capture_output=True, timeout=120
        )
        sealer.stdout.close()
        assert sealer.wait(timeout=120) == 0
    assert opened.returncode == 0, opened.stderr
    assert opened.stdout == message.read_bytes()


@pytest.fixture
def sealed(tmp_path, keys, message):
    path = tmp_path / "m.sealed"
    assert run("seal", "-r", str(keys[1]), "-o", str(path), str(message)).returncode == 0
    return path


@pytest.mark.parametrize(
    "cut",
    [hybrid.STREAM_HEADER_SIZE + 3 * (65536 + 16), 100_000, 500],
    ids=["at a chunk boundary", "inside a chunk", "inside the header"],
)
def test_truncated_input_leaves_no_output(tmp_path, keys, sealed, cut):
    truncated = tmp_path / "cut.sealed"
    truncated.write_bytes(sealed.read_bytes()[:cut])
    out = tmp_path / "out"
    assert "truncated" in error_line(run("open", "-k", str(keys[0]), "-o", str(out), str(truncated)))
    assert not out.exists() and not list(tmp_path.glob(".out.*"))
    to_stdout = run("open", "-k", str(keys[0]), str(truncated))
    error_line(to_stdout)
    assert to_stdout.stdout == b""  # held back until the end, so nothing was released


def test_stream_option_writes_authenticated_chunks_then_fails(tmp_path, keys, sealed, message):
    truncated = tmp_path / "cut.sealed"
    truncated.write_bytes(sealed.read_bytes()[: hybrid.STREAM_HEADER_SIZE + 3 * (65536 + 16)])
    result = run("open", "--stream", "-k", str(keys[0]), str(truncated))
    error_line(result)
    assert result.stdout == message.read_bytes()[: 2 * 65536]  # the third chunk could not be the last


def test_wrong_key_keeps_the_existing_output(tmp_path, sealed):
    assert run("keygen", "-o", str(tmp_path / "bob")).returncode == 0
    out = tmp_path / "out"
    out.write_bytes(b"kept")
    line = error_line(run("open", "-k", str(tmp_path / "bob.key"), "-o", str(out), "--force", str(sealed)))
    assert "not sealed for this key" in line
    assert out.read_bytes() == b"kept"


@pytest.mark.parametrize(
    "args, expected",
    [
        (["open", "-k", "{pub}", "{sealed}"], "labelled 'SM2-MLKEM768 PUBLIC KEY'"),
        (["seal", "-r", "{key}", "{sealed}"], "labelled 'SM2-MLKEM768 PRIVATE KEY'"),
        (["open", "-k", "{missing}", "{sealed}"], "cannot read"),
        (["seal", "-r", "{pub}", "{missing}"], "cannot read"),
        (["open", "-k", "{key}", "{pub}"], "not a kyber-alg sealed file"),
        (["seal", "-r", "{pub}", "-o", "{missing}/x", "{sealed}"], "cannot write"),
    ],
    ids=["public key to open", "private key to seal", "no key file", "no input", "not sealed", "no folder"],
)
def test_errors_are_one_line(tmp_path, keys, sealed, args, expected):
    names = {"key": keys[0], "pub": keys[1], "sealed": sealed, "missing": tmp_path / "missing"}
    assert expected in error_line(run(*[a.format(**names) for a in args]))


def test_usage_errors_exit_2():
    assert run("seal").returncode == 2
    assert run("open", "-k").returncode == 2


def test_progress_bar_only_on_a_terminal(tmp_path, keys):
    big = tmp_path / "big"
    with open(big, "wb") as f:
        f.truncate(17 * MIB)
    args = ["seal", "-r", str(keys[1]), "-o", str(tmp_path / "big.sealed"), "--force", str(big)]
    assert run(*args).stderr == b""  # piped
    primary, secondary = pty.openpty()
    try:
        result = run(*args, stdout=subprocess.DEVNULL, stderr=secondary, capture_output=False)
        os.close(secondary)
        shown = b""
        while True:
            try:
                piece = os.read(primary, 4096)
            except OSError:  # EIO once the terminal's other side is closed and drained
                break
            if not piece:
                break
            shown += piece
    finally:
        os.close(primary)
    assert result.returncode == 0
    assert b"sealing [" in shown and b"100%" in shown and b"17.0 MiB of 17.0 MiB" in shown


def test_seal_refuses_a_terminal_as_output(keys, message):
    primary, secondary = pty.openpty()
    try:
        result = run(
            "seal", "-r", str(keys[1]), str(message), stdout=secondary, stderr=subprocess.PIPE, capture_output=False
        )
    finally:
        os.close(secondary)
        os.close(primary)
    assert result.returncode == 1 and b"refusing to write sealed binary data to a terminal" in result.stderr


# Linux starts a child's peak resident size at its parent's, so the command is started by a small
# fresh interpreter (about 10 MiB), not by this test process, and that one reports the figure.
MEASURE = (
    "import resource, subprocess, sys; code = subprocess.call(sys.argv[2:]); "
    "open(sys.argv[1], 'w').write(str(resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss)); sys.exit(code)"
)


def peak_rss_mib(args, report):
    """Runs the command; returns its exit status and its own peak resident memory."""
    status = subprocess.call([sys.executable, "-c", MEASURE, str(report), *args], stdout=subprocess.DEVNULL)
    return status, int(report.read_text()) / 1024


@pytest.mark.skipif(bool(os.environ.get("KYBER_ALG_SANITIZED")), reason="1 GiB through a sanitizer build is too slow")
def test_one_gib_file_in_constant_memory(tmp_path, keys):
    size = 1 << 30
    marks = {0: b"start", 70_000: os.urandom(1000), size // 2 + 3: b"middle", size - 7: b"the end"}
    plain, sealed, opened = tmp_path / "big", tmp_path / "big.sealed", tmp_path / "big.out"
    small, report = tmp_path / "small", tmp_path / "peak"
    small.write_bytes(os.urandom(MIB))
    try:
        with open(plain, "wb") as f:  # sparse, so it costs no writing
            f.truncate(size)
            for offset, data in marks.items():
                f.seek(offset)
                f.write(data)
        status, baseline = peak_rss_mib(
            [*PYTHON_M, "seal", "-r", str(keys[1]), "-o", str(sealed) + "1", str(small)], report
        )
        assert status == 0
        status, sealing = peak_rss_mib([*PYTHON_M, "seal", "-r", str(keys[1]), "-o", str(sealed), str(plain)], report)
        assert status == 0
        assert sealed.stat().st_size == hybrid.STREAM_HEADER_SIZE + size + 16 * (size >> 16)
        plain.unlink()
        status, opening = peak_rss_mib([*PYTHON_M, "open", "-k", str(keys[0]), "-o", str(opened), str(sealed)], report)
        assert status == 0
        assert opened.stat().st_size == size
        with open(opened, "rb") as f:
            for start in range(0, size, 64 * MIB):  # no mark crosses a block boundary
                block = bytearray(f.read(64 * MIB))
                for offset, data in marks.items():
                    if start <= offset < start + len(block):
                        at = offset - start
                        assert block[at : at + len(data)] == data
                        block[at : at + len(data)] = bytes(len(data))
                assert block.count(0) == len(block)
        print(f"peak resident MiB: 1 MiB seal {baseline:.1f}, 1 GiB seal {sealing:.1f}, 1 GiB open {opening:.1f}")
        # Flat: 1 GiB costs no more memory than 1 MiB (beyond noise), and well under 100 MiB.
        assert sealing < 100 and opening < 100, (baseline, sealing, opening)
        assert sealing - baseline < 16 and opening - baseline < 16, (baseline, sealing, opening)
    finally:
        for path in (plain, sealed, opened):
            path.unlink(missing_ok=True)


# --- the overwrite policy, --version, pubkey ---------------------------------------------------------


@pytest.mark.parametrize("command", ["seal", "open"])
def test_existing_output_needs_force(tmp_path, keys, sealed, message, command):
    key_args = ["-r", str(keys[1])] if command == "seal" else ["-k", str(keys[0])]
    source = message if command == "seal" else sealed
    out = tmp_path / "out"
    out.write_bytes(b"kept")
    assert "out already exists; not overwriting it (--force replaces it)" in error_line(
        run(command, *key_args, "-o", str(out), str(source))
    )
    assert out.read_bytes() == b"kept"
    assert run(command, *key_args, "-o", str(out), "--force", str(source)).returncode == 0
    if command == "open":
        assert out.read_bytes() == message.read_bytes()
    assert sorted(p.name for p in tmp_path.iterdir()) == ["m.sealed", "message.bin", "out"]  # no leftovers


def test_open_stream_with_an_output_file_is_refused(tmp_path, keys, sealed):
    result = run("open", "--stream", "-k", str(keys[0]), "-o", str(tmp_path / "out"), str(sealed))
    assert result.returncode == 2 and b"drop --stream" in result.stderr
    assert not (tmp_path / "out").exists()


def test_version_and_pubkey(keys):
    from kyber_alg import __version__

    assert run("--version").stdout.decode() == f"python -m kyber_alg {__version__}\n"
    if SCRIPT:
        assert (
            subprocess.run([SCRIPT, "--version"], capture_output=True).stdout.decode() == f"kyber-alg {__version__}\n"
        )
    result = run("pubkey", "-k", str(keys[0]))
    assert result.returncode == 0 and result.stdout == keys[1].read_bytes()
    assert "labelled 'SM2-MLKEM768 PUBLIC KEY'" in error_line(run("pubkey", "-k", str(keys[1])))


def test_one_shot_blob_and_other_files_are_named(tmp_path, keys):
    blob = tmp_path / "blob"
    blob.write_bytes(hybrid.seal(hybrid.load_pem_public_key(keys[1].read_bytes()), b"one shot"))
    assert "one-shot sealed message" in error_line(run("open", "-k", str(keys[0]), str(blob)))
    text = tmp_path / "notes.txt"
    text.write_bytes(b"just some notes\n")
    assert "not a kyber-alg sealed file" in error_line(run("open", "-k", str(keys[0]), str(text)))


def test_checkout_without_the_built_modules_says_what_to_do(tmp_path):
    # A copy of the source folder, as Python sees it when run from a checkout without -P.
    source = Path(hybrid.__file__).resolve().parents[1]
    shutil.copytree(source, tmp_path / "kyber_alg", ignore=shutil.ignore_patterns("*.so", "__pycache__"))
    (tmp_path / "pyproject.toml").write_text("")
    for args in (["keygen", "-o", "k"], []):
        result = subprocess.run(
            [sys.executable, "-m", "kyber_alg", *args], cwd=tmp_path, capture_output=True, timeout=120
        )
        assert result.returncode == 1 and b"Traceback" not in result.stderr, result.stderr
        assert b"is not built" in result.stderr and b"python -P -m kyber_alg" in result.stderr


# --- every writer writes everything or fails loudly ----------------------------------------------------


def test_short_writes_everywhere(tmp_path, keys, message, monkeypatch, capfd):
    # os.write may take fewer bytes than given (a raw file near a full disk, a pipe interrupted by a
    # signal): every writer of the command (key files, output files, standard output) loops on it.
    from kyber_alg import _cli

    real_write = os.write
    monkeypatch.setattr(os, "write", lambda fd, data: real_write(fd, bytes(data)[:999]))
    assert _cli.main(["keygen", "-o", str(tmp_path / "k")]) == 0
    assert hybrid.load_pem_private_key((tmp_path / "k.key").read_bytes()).public_key() == hybrid.load_pem_public_key(
        (tmp_path / "k.pub").read_bytes()
    )
    capfd.readouterr()
    assert _cli.main(["pubkey", "-k", str(tmp_path / "k.key")]) == 0
    assert capfd.readouterr().out.encode() == (tmp_path / "k.pub").read_bytes()
    assert _cli.main(["seal", "-r", str(tmp_path / "k.pub"), "-o", str(tmp_path / "s"), str(message)]) == 0
    assert _cli.main(["open", "-k", str(tmp_path / "k.key"), "-o", str(tmp_path / "o"), str(tmp_path / "s")]) == 0
    assert (tmp_path / "o").read_bytes() == message.read_bytes()
    with open(tmp_path / "stdout", "wb") as out:  # standard output, held back and streamed
        for extra in ([], ["--stream"]):
            monkeypatch.setattr(sys, "stdout", open(out.fileno(), "w", closefd=False))
            assert _cli.main(["open", *extra, "-k", str(tmp_path / "k.key"), str(tmp_path / "s")]) == 0
    assert (tmp_path / "stdout").read_bytes() == message.read_bytes() * 2


FULL_MIB = 1


@pytest.fixture
def full_disk(tmp_path):
    """A small tmpfs of its own (root only), so that the disk really fills."""
    if os.geteuid() != 0 or not shutil.which("mount"):
        pytest.skip("mounting a tmpfs needs root")
    folder = tmp_path / "small"
    folder.mkdir()
    if subprocess.run(["mount", "-t", "tmpfs", "-o", f"size={FULL_MIB}m", "tmpfs", str(folder)]).returncode:
        pytest.skip("cannot mount a tmpfs here")
    try:
        yield folder
    finally:
        subprocess.run(["umount", "-l", str(folder)], check=True)


def free_bytes(folder):
    info = os.statvfs(folder)
    return info.f_bavail * info.f_frsize


@pytest.mark.parametrize("over", [100, 200_000], ids=["the last write fails", "an early write fails"])
@pytest.mark.parametrize("target", ["seal -o", "seal >", "open -o", "open >", "open --stream >"])
def test_full_filesystem_is_one_line_and_leaves_nothing(tmp_path, keys, full_disk, target, over):
    command, how = target.split(" ", 1)
    # The output is `over` bytes more than fits: plaintext and sealed file differ by the header and tags.
    size = free_bytes(full_disk) + over
    plain = os.urandom(size)
    source = tmp_path / "in"
    if command == "seal":
        source.write_bytes(plain[: size - hybrid.STREAM_HEADER_SIZE - 16 * (size >> 16) - 16])
        args = ["seal", "-r", str(keys[1])]
    else:
        sealed_stream = io.BytesIO()
        hybrid.seal_stream(hybrid.load_pem_public_key(keys[1].read_bytes()), io.BytesIO(plain), sealed_stream)
        source.write_bytes(sealed_stream.getvalue())
        args = ["open", "-k", str(keys[0]), *(["--stream"] if "--stream" in how else [])]
    out = full_disk / "out"
    if how == "-o":
        result = run(*args, "-o", str(out), str(source))
        assert list(full_disk.iterdir()) == []  # no partial output, no temporary file
    else:
        with open(out, "wb") as stdout:
            result = run(*args, str(source), stdout=stdout, stderr=subprocess.PIPE, capture_output=False)
    assert "No space left on device" in error_line(result)


@pytest.mark.parametrize("room", [0, 4096], ids=["no room for the private key", "no room for the public key"])
def test_keygen_on_a_full_filesystem(full_disk, room):
    name = "k"
    (full_disk / "fill").write_bytes(bytes(free_bytes(full_disk) - room))
    result = run("keygen", "-o", str(full_disk / name))
    assert "No space left on device" in error_line(result)
    assert sorted(p.name for p in full_disk.iterdir()) == ["fill"]  # no empty or partial key file
    (full_disk / "fill").unlink()
    assert run("keygen", "-o", str(full_disk / name)).returncode == 0  # nothing left to block it


# --- signals ------------------------------------------------------------------------------------------


@pytest.mark.parametrize("signum", [signal.SIGTERM, signal.SIGHUP, signal.SIGINT], ids=lambda s: s.name)
@pytest.mark.parametrize("command", ["seal", "open"])
def test_signals_remove_the_temporary_output(tmp_path, keys, sealed, command, signum):
    key_args = ["-r", str(keys[1])] if command == "seal" else ["-k", str(keys[0])]
    start = (b"x" * 300_000) if command == "seal" else sealed.read_bytes()[:150_000]  # more is still to come
    out = tmp_path / "out"
    process = subprocess.Popen(
        [*PYTHON_M, command, *key_args, "-o", str(out)], stdin=subprocess.PIPE, stderr=subprocess.PIPE
    )
    process.stdin.write(start)
    process.stdin.flush()
    deadline = time.monotonic() + 60
    while not [p for p in tmp_path.glob(".out.*.part") if p.stat().st_size] and time.monotonic() < deadline:
        time.sleep(0.05)
    assert list(tmp_path.glob(".out.*.part")), "the command did not start writing"
    process.send_signal(signum)
    assert process.wait(timeout=60) == 128 + signum
    process.stdin.close()
    assert process.stderr.read().decode().count("\n") == 1
    process.stderr.close()
    assert not list(tmp_path.glob(".out*")) and not out.exists()
