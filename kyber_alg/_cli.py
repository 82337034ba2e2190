"""The ``kyber-alg`` command (also ``python -m kyber_alg COMMAND``): key files, sealing and opening
files and pipes with kyber_alg.hybrid's stream format. See docs/api/cli.md.

Every byte it writes (key files, output files, standard output) goes through one loop that
writes all of it or fails with a one-line error, and output files appear only complete: they are
written under a temporary name, synced and renamed, and the temporary file is removed on any
failure, Ctrl-C, SIGTERM and SIGHUP."""

from __future__ import annotations

import argparse
import contextlib
import os
import signal
import stat
import sys
import tempfile
import threading
import time
from collections.abc import Callable, Generator
from types import FrameType
from typing import BinaryIO, TypeVar

from kyber_alg import __version__, hybrid
from kyber_alg.exceptions import InvalidTag
from kyber_alg.hybrid._stream import write_all

PROGRESS_THRESHOLD = 16 << 20  # inputs at least this large get a progress bar on a terminal
SPOOL_IN_MEMORY = 16 << 20  # opened output for stdout beyond this goes to a temporary file first
_COPY_SIZE = 1 << 20
_Key = TypeVar("_Key")


class CommandError(Exception):
    """A failure to report as one line on stderr."""


class _Terminated(BaseException):
    """SIGTERM or SIGHUP, raised where the program is so that every cleanup on the way out runs."""

    def __init__(self, signum: int) -> None:
        super().__init__(signum)
        self.signum = signum


class _FdWriter:
    """Writes straight to a file descriptor: os.write may take fewer bytes than given, and says so in
    what it returns, which write_all checks; nothing is held in a buffer to fail later at close."""

    def __init__(self, fd: int) -> None:
        self.fd = fd

    def write(self, data: bytes, /) -> int:
        return os.write(self.fd, data)


def _stdout() -> _FdWriter:
    sys.stdout.flush()  # nothing of ours is in Python's buffer, but keep the order if anything is
    return _FdWriter(sys.stdout.fileno())


def _parser(prog: str) -> argparse.ArgumentParser:
    parser = argparse.ArgumentParser(
        prog=prog,
        description="Seal files and streams for a recipient with SM2-MLKEM768 (curveSM2 + ML-KEM-768) and "
        "SM4-GCM, and open them again.",
    )
    parser.add_argument("--version", action="version", version=f"%(prog)s {__version__}")
    commands = parser.add_subparsers(dest="command", metavar="COMMAND", required=True)
    keygen = commands.add_parser("keygen", help="write a new key pair: NAME.key (private) and NAME.pub")
    keygen.add_argument(
        "-o",
        "--output",
        metavar="NAME",
        required=True,
        help="write NAME.key (mode 0600) and NAME.pub; existing files are never overwritten",
    )
    pubkey = commands.add_parser("pubkey", help="print the public key (NAME.pub) of a private key file")
    pubkey.add_argument("-k", "--key", metavar="NAME.key", required=True, help="the private key file")
    seal = commands.add_parser("seal", help="seal a file or standard input for the holder of a key")
    seal.add_argument("-r", "--recipient", metavar="NAME.pub", required=True, help="the recipient's public key file")
    seal.add_argument("-o", "--output", metavar="OUT", help="output file (default: standard output)")
    seal.add_argument("-f", "--force", action="store_true", help="replace OUT if it exists (default: refuse)")
    seal.add_argument("input", nargs="?", metavar="IN", help="input file (default or '-': standard input)")
    open_ = commands.add_parser("open", help="open what seal wrote, with the private key")
    open_.add_argument("-k", "--key", metavar="NAME.key", required=True, help="the private key file")
    open_.add_argument(
        "-o",
        "--output",
        metavar="OUT",
        help="output file, written only once the whole input authenticated (default: standard output)",
    )
    open_.add_argument("-f", "--force", action="store_true", help="replace OUT if it exists (default: refuse)")
    open_.add_argument(
        "--stream",
        action="store_true",
        help="to standard output only: write each chunk as soon as it authenticated, instead of "
        "holding everything back until the end; a damaged or truncated input then fails after "
        "the chunks before it were written",
    )
    open_.add_argument("input", nargs="?", metavar="IN", help="input file (default or '-': standard input)")
    return parser


def main(argv: list[str] | None = None, prog: str = "kyber-alg") -> int:
    """Runs one command; returns the exit status (0, or 1 after a one-line error on stderr)."""
    parser = _parser(prog)
    args = parser.parse_args(argv)
    if args.command == "open" and args.stream and args.output:
        parser.error(
            "open --stream writes to standard output; with -o OUT the output is written only "
            "once all of it authenticated, so drop --stream"
        )
    try:
        with _termination_raises():
            {"keygen": _keygen, "pubkey": _pubkey, "seal": _seal, "open": _open}[args.command](args)
    except CommandError as e:
        return _fail(prog, str(e))
    except BrokenPipeError:
        # Nothing more can reach the reader; keep the interpreter's final flush quiet.
        os.dup2(os.open(os.devnull, os.O_WRONLY), sys.stdout.fileno())
        return _fail(prog, "the output was closed before everything was written")
    except KeyboardInterrupt:
        return _fail(prog, "interrupted", 130)
    except _Terminated as e:
        return _fail(prog, f"terminated by {signal.Signals(e.signum).name}", 128 + e.signum)
    return 0


def _fail(prog: str, message: str, status: int = 1) -> int:
    print(f"{prog}: error: {message}", file=sys.stderr)
    return status


_TERMINATING = (signal.SIGTERM, signal.SIGHUP)


def _terminate(signum: int, frame: FrameType | None) -> None:
    for other in _TERMINATING:  # a second signal must not cut the cleanup short
        signal.signal(other, signal.SIG_IGN)
    raise _Terminated(signum)


@contextlib.contextmanager
def _termination_raises() -> Generator[None, None, None]:
    """SIGTERM and SIGHUP raise _Terminated, as SIGINT raises KeyboardInterrupt, so that temporary
    files are removed on the way out. Signals set to be ignored (nohup) stay ignored. SIGKILL cannot
    be caught: after it a temporary .OUT.*.part file may remain (docs/api/cli.md)."""
    if threading.current_thread() is not threading.main_thread():
        yield  # only the main thread may set handlers (main() called from a thread, in tests)
        return
    previous = {}
    for signum in _TERMINATING:
        if signal.getsignal(signum) == signal.SIG_DFL:
            previous[signum] = signal.signal(signum, _terminate)
    try:
        yield
    finally:
        for signum, handler in previous.items():
            signal.signal(signum, handler)


# --- keygen ---------------------------------------------------------------------------------------


def _create(path: str, data: bytes, mode: int) -> None:
    """Writes a new file; the mode is set at creation, so the key is never readable by others."""
    try:
        fd = os.open(path, os.O_WRONLY | os.O_CREAT | os.O_EXCL, mode)
    except FileExistsError:
        raise CommandError(f"{path} already exists; not overwriting it") from None
    except OSError as e:
        raise CommandError(f"cannot create {path}: {e.strerror}") from None
    try:
        write_all(_FdWriter(fd), data)
        os.fsync(fd)
        fd, closing = -1, fd
        os.close(closing)
    except BaseException as e:
        if fd >= 0:
            with contextlib.suppress(OSError):
                os.close(fd)
        with contextlib.suppress(OSError):
            os.unlink(path)  # no partial key file, which would also block the next keygen
        if isinstance(e, OSError):
            raise CommandError(f"cannot write {path}: {e.strerror or e}") from None
        raise


def _keygen(args: argparse.Namespace) -> None:
    key_path, pub_path = args.output + ".key", args.output + ".pub"
    for path in (key_path, pub_path):
        if os.path.lexists(path):
            raise CommandError(f"{path} already exists; not overwriting it")
    private_key = hybrid.SM2MLKEM768PrivateKey.generate()
    _create(key_path, private_key.private_bytes_pem(), 0o600)
    try:
        _create(pub_path, private_key.public_key().public_bytes_pem(), 0o644)
    except BaseException:
        with contextlib.suppress(OSError):
            os.unlink(key_path)
        raise
    print(f"wrote {key_path} (private: keep it secret) and {pub_path} (public: give it to senders)", file=sys.stderr)


def _pubkey(args: argparse.Namespace) -> None:
    key = _load(args.key, hybrid.load_pem_private_key)
    write_all(_stdout(), key.public_key().public_bytes_pem())


# --- seal and open ----------------------------------------------------------------------------------


def _read_key_file(path: str) -> bytes:
    try:
        with open(path, "rb") as f:
            return f.read(1 << 16)  # key files are a few KiB; anything larger is not one
    except OSError as e:
        raise CommandError(f"cannot read {path}: {e.strerror}") from None


def _load(path: str, loader: Callable[[bytes], _Key]) -> _Key:
    try:
        return loader(_read_key_file(path))
    except ValueError as e:
        raise CommandError(f"{path}: {e}") from None


def _io_error(action: str, label: str, e: OSError) -> CommandError:
    if isinstance(e, BrokenPipeError):
        raise e  # reported once, by main
    return CommandError(f"cannot {action} {label}: {e.strerror or e}")


@contextlib.contextmanager
def _input(name: str | None) -> Generator[tuple[BinaryIO, str, int | None], None, None]:
    """The input file, its name for messages and its size when known."""
    if name is None or name == "-":
        source, label = sys.stdin.buffer, "standard input"
    else:
        try:
            source, label = open(name, "rb"), name
        except OSError as e:
            raise CommandError(f"cannot read {name}: {e.strerror}") from None
    try:
        info = os.fstat(source.fileno())
        yield source, label, info.st_size if stat.S_ISREG(info.st_mode) else None
    finally:
        if source is not sys.stdin.buffer:
            source.close()


@contextlib.contextmanager
def _output_file(path: str, private: bool, force: bool) -> Generator[_FdWriter, None, None]:
    """A temporary file beside path, given the name path only when the block finishes without error
    and everything is on disk; without force an existing path is never replaced."""
    if not force and os.path.lexists(path):
        raise CommandError(f"{path} already exists; not overwriting it (--force replaces it)")
    folder = os.path.dirname(os.path.abspath(path))
    try:
        fd, temporary = tempfile.mkstemp(dir=folder, prefix="." + os.path.basename(path) + ".", suffix=".part")
    except OSError as e:
        raise CommandError(f"cannot write to {folder}: {e.strerror}") from None
    try:
        if not private:  # mkstemp made it 0600; sealed data is not secret, so the usual mode applies
            umask = os.umask(0)
            os.umask(umask)
            os.fchmod(fd, 0o666 & ~umask)
        yield _FdWriter(fd)
        try:
            os.fsync(fd)
            fd, closing = -1, fd
            os.close(closing)
            if force:
                os.replace(temporary, path)
            else:
                os.link(temporary, path)  # fails if path appeared meanwhile: nothing is replaced
                os.unlink(temporary)
        except FileExistsError:
            raise CommandError(f"{path} already exists; not overwriting it (--force replaces it)") from None
        except OSError as e:
            raise CommandError(f"cannot write {path}: {e.strerror or e}") from None
    except BaseException:
        if fd >= 0:
            with contextlib.suppress(OSError):
                os.close(fd)
        with contextlib.suppress(OSError):
            os.unlink(temporary)
        raise


class _Progress:
    """Wraps the input; draws a bar on stderr as it is read, at most ten times a second."""

    def __init__(self, source: BinaryIO, total: int | None, verb: str) -> None:
        self._source, self._total, self._verb = source, total, verb
        self._done, self._shown, self._drawn = 0, False, 0.0
        self._start = time.monotonic()

    def read(self, size: int, /) -> bytes:
        data = self._source.read(size)
        self._done += len(data)
        now = time.monotonic()
        if now - self._drawn >= 0.1 and self._done >= PROGRESS_THRESHOLD:
            self._draw(now)
        return data

    def _draw(self, now: float) -> None:
        self._drawn, self._shown = now, True
        rate = self._done / max(now - self._start, 1e-6)
        text = f"{self._verb} {_size(self._done)}"
        if self._total:
            fraction = min(self._done / self._total, 1.0)
            bar = "#" * int(fraction * 30)
            text = f"{self._verb} [{bar:<30}] {fraction:4.0%} {_size(self._done)} of {_size(self._total)}"
        sys.stderr.write(f"\r{text}  {_size(rate)}/s ")
        sys.stderr.flush()

    def close(self) -> None:
        if self._shown:
            self._draw(time.monotonic())
            sys.stderr.write("\n")


def _size(n: float) -> str:
    for unit in ("B", "KiB", "MiB"):
        if n < 1024:
            return f"{n:.0f} {unit}" if unit == "B" else f"{n:.1f} {unit}"
        n /= 1024
    return f"{n:.2f} GiB"


@contextlib.contextmanager
def _progress(source: BinaryIO, total: int | None, verb: str) -> Generator[BinaryIO | _Progress, None, None]:
    if not sys.stderr.isatty() or (total is not None and total < PROGRESS_THRESHOLD):
        yield source
        return
    bar = _Progress(source, total, verb)
    try:
        yield bar
    finally:
        bar.close()


def _seal(args: argparse.Namespace) -> None:
    recipient = _load(args.recipient, hybrid.load_pem_public_key)
    if args.output is None and sys.stdout.isatty():
        raise CommandError("refusing to write sealed binary data to a terminal; use -o OUT or redirect the output")
    with _input(args.input) as (source, label, total), _progress(source, total, "sealing") as reader:
        with _output_file(args.output, False, args.force) if args.output else contextlib.nullcontext(_stdout()) as out:
            try:
                hybrid.seal_stream(recipient, reader, out)
            except OSError as e:
                raise _io_error("seal", label, e) from None


def _open(args: argparse.Namespace) -> None:
    key = _load(args.key, hybrid.load_pem_private_key)
    with _input(args.input) as (source, label, total), _progress(source, total, "opening") as reader:
        try:
            if args.output:
                with _output_file(args.output, True, args.force) as out:
                    hybrid.open_stream(key, reader, out)
            elif args.stream:
                hybrid.open_stream(key, reader, _stdout())
            else:
                _open_held_back(key, reader)
        except InvalidTag as e:
            raise CommandError(f"cannot open {label}: {e}") from None
        except OSError as e:
            raise _io_error("open", label, e) from None


def _open_held_back(key: hybrid.SM2MLKEM768PrivateKey, reader: BinaryIO | _Progress) -> None:
    """Standard output gets nothing until the whole input authenticated: the plaintext waits in
    memory, or beyond SPOOL_IN_MEMORY in an unnamed temporary file (mode 0600, gone when closed)."""
    with tempfile.SpooledTemporaryFile(max_size=SPOOL_IN_MEMORY) as spool:
        hybrid.open_stream(key, reader, spool)
        spool.seek(0)
        stdout = _stdout()
        while piece := spool.read(_COPY_SIZE):
            write_all(stdout, piece)
