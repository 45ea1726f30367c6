"""Shared helpers of the end-to-end tests.

Every test script is run by CTest as

    /usr/bin/python3 tests/e2e/test_X.py BUILD/bin/harmolin tests/data

(python3-mido is installed for /usr/bin/python3 only). The files the program
writes are checked by readers that no one here wrote (mido, midicsv) and by a
strict chunk walker below that follows the file format, not our code.

Event view used for comparisons: a list of (tick, kind, channel, data) with
absolute ticks, channels 1..16 (0 for meta and system exclusive) and data a
tuple of ints. What a Standard MIDI File cannot be expected to keep through a
load/save cycle is normalised away on both sides:
  - end-of-track events;
  - note-on velocity 0 is a note-off, and note-off velocities are ignored;
  - trailing NULs of text meta events (a stored text may gain one);
  - device name (0x09) is compared as instrument name (0x04); the contents of
    sequence number, channel prefix and SMPTE offset are ignored; other meta
    types (MIDI port, unknown types) are dropped;
  - the order of events within one tick.
"""

import collections
import hashlib
import os
import re
import resource
import shutil
import stat
import struct
import subprocess
import sys
import tempfile
import unittest
import warnings

import mido

HARMOLIN = None
DATA = None

# Universal master volume 127, as the format-1 loader inserts it.
MASTER_VOLUME_127 = (0x7F, 0x7F, 0x04, 0x01, 0x00, 0x7F)
TEXT_METAS = set(range(0x01, 0x08)) | {0x7F}
KEPT_METAS = TEXT_METAS | {0x00, 0x09, 0x20, 0x51, 0x54, 0x58, 0x59}

SONG_LIMIT = 0x60000


def main():
    """Takes the two paths from the command line and runs the test cases."""
    global HARMOLIN, DATA
    if len(sys.argv) < 3:
        sys.exit("usage: %s PATH/TO/harmolin PATH/TO/tests/data [unittest args]" % sys.argv[0])
    HARMOLIN = os.path.abspath(sys.argv[1])
    DATA = os.path.abspath(sys.argv[2])
    if not os.access(HARMOLIN, os.X_OK):
        sys.exit("not an executable: " + HARMOLIN)
    argv = [sys.argv[0]] + sys.argv[3:]
    unittest.main(module="__main__", argv=argv, verbosity=2)


def data(*parts):
    return os.path.join(DATA, *parts)


# --- running the program -------------------------------------------------------

CRASH_MARKERS = ("runtime error:", "Sanitizer", "terminate called", "Assertion `", "std::bad_alloc")


class Result:
    def __init__(self, args, proc):
        self.args = args
        self.rc = proc.returncode
        self.stdout = proc.stdout.decode("utf-8", errors="replace")
        self.stderr = proc.stderr.decode("utf-8", errors="replace")

    def crashed(self):
        """Signs of a crash or of undefined behaviour, whatever the exit code
        (a sanitizer build reports a fault in one line and exits with 1)."""
        return self.rc < 0 or any(marker in self.stderr for marker in CRASH_MARKERS)

    def stderr_lines(self):
        return [line for line in self.stderr.splitlines() if line.strip()]

    def describe(self):
        return "harmolin %s\n  exit %s\n  stdout: %r\n  stderr: %r" % (
            " ".join(self.args), self.rc, self.stdout[-2000:], self.stderr[-2000:])


# Address-space limit of every run of the program, so that a runaway
# allocation fails inside it instead of exhausting the machine. Sanitizer
# builds reserve terabytes of shadow memory: set HARMOLIN_TEST_MEMORY_MB=0 there.
MEMORY_LIMIT_MB = int(os.environ.get("HARMOLIN_TEST_MEMORY_MB", "2048"))


def _limit_memory():
    if MEMORY_LIMIT_MB > 0:
        limit = MEMORY_LIMIT_MB * 1024 * 1024
        resource.setrlimit(resource.RLIMIT_AS, (limit, limit))


def run(*args, cwd=None, timeout=60, prefix=()):
    args = [str(a) for a in args]
    try:
        proc = subprocess.run(list(prefix) + [HARMOLIN] + args, cwd=cwd, stdin=subprocess.DEVNULL,
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=timeout,
                              preexec_fn=_limit_memory)
    except subprocess.TimeoutExpired as e:
        raise AssertionError("harmolin %s: still running after %d s" % (" ".join(args), timeout)) from e
    return Result(args, proc)


def run_ok(test, *args, **kw):
    r = run(*args, **kw)
    test.assertFalse(r.crashed(), "crashed\n" + r.describe())
    test.assertEqual(r.rc, 0, r.describe())
    return r


def run_checked(harmolin, *args, cwd=None, check=True):
    """Runs the program at the path the calling test took itself; with check,
    a non-zero exit fails the test with the program's error output."""
    result = subprocess.run([harmolin, *args], capture_output=True, cwd=cwd)
    if check and result.returncode != 0:
        raise AssertionError(f"harmolin {' '.join(args)} failed: {result.stderr.decode(errors='replace')}")
    return result


def read_bytes(path):
    with open(path, "rb") as f:
        return f.read()


def subfolder(base, name):
    """base/name, made if missing: one folder per case under a class's shared one."""
    path = os.path.join(base, name)
    os.makedirs(path, exist_ok=True)
    return path


def sha256(path):
    with open(path, "rb") as f:
        return hashlib.sha256(f.read()).hexdigest()


class TempDirCase(unittest.TestCase):
    """A test case with a fresh folder, removed afterwards."""

    def setUp(self):
        self.tmp = tempfile.mkdtemp(prefix="harmolin-e2e-")

    def tearDown(self):
        for root, dirs, _ in os.walk(self.tmp):
            for d in dirs:
                os.chmod(os.path.join(root, d), 0o755)
        shutil.rmtree(self.tmp, ignore_errors=True)

    def path(self, *parts):
        return os.path.join(self.tmp, *parts)


# --- reading MIDI files independently ----------------------------------------------

def read_mido(path):
    """mido's reading of a file; any warning counts as a complaint."""
    with warnings.catch_warnings():
        warnings.simplefilter("error")
        return mido.MidiFile(path)


def meta_bytes(msg):
    raw = msg.bytes()  # FF type vlq(len) data
    pos = 2
    while raw[pos] & 0x80:
        pos += 1
    return raw[1], tuple(raw[pos + 1:])


def normalise_meta(mtype, payload):
    """(kind, channel, data) of a meta event, or None when not compared."""
    if mtype not in KEPT_METAS:
        return None
    if mtype == 0x09:
        mtype = 0x04
    if mtype in (0x00, 0x20, 0x54):
        payload = ()
    if mtype in TEXT_METAS:
        payload = tuple(payload)
        while payload and payload[-1] == 0:
            payload = payload[:-1]
    return ("meta", 0, (mtype,) + tuple(payload))


def mido_event(msg):
    """Normalised (kind, channel, data) of a mido message, or None."""
    t = msg.type
    if msg.is_meta:
        if t == "end_of_track":
            return None
        return normalise_meta(*meta_bytes(msg))
    if t == "sysex":
        return ("sysex", 0, tuple(msg.data))
    ch = msg.channel + 1
    if t == "note_on" and msg.velocity > 0:
        return ("note_on", ch, (msg.note, msg.velocity))
    if t in ("note_on", "note_off"):
        return ("note_off", ch, (msg.note,))
    if t == "polytouch":
        return ("poly_pressure", ch, (msg.note, msg.value))
    if t == "control_change":
        return ("control_change", ch, (msg.control, msg.value))
    if t == "program_change":
        return ("program_change", ch, (msg.program,))
    if t == "aftertouch":
        return ("channel_pressure", ch, (msg.value,))
    if t == "pitchwheel":
        v = msg.pitch + 8192
        return ("pitch_bend", ch, (v & 0x7F, v >> 7))
    raise AssertionError("unexpected message %r" % msg)


def track_events(track):
    out = []
    tick = 0
    for msg in track:
        tick += msg.time
        e = mido_event(msg)
        if e is not None:
            out.append((tick,) + e)
    return out


def mido_view(path_or_mid):
    """All events of all MTrk chunks, merged by absolute tick."""
    mid = path_or_mid if isinstance(path_or_mid, mido.MidiFile) else read_mido(path_or_mid)
    out = []
    for track in mid.tracks:
        out += track_events(track)
    out.sort(key=lambda e: e[0])
    return out


def end_tick(mid):
    """Length of the song in ticks: the latest end of track."""
    best = 0
    for track in mid.tracks:
        best = max(best, sum(msg.time for msg in track))
    return best


# --- the program's own event listing -------------------------------------------------------

KIND_ALIASES = {
    "note_on": "note_on", "note_off": "note_off",
    "poly_pressure": "poly_pressure", "control_change": "control_change",
    "program_change": "program_change", "channel_pressure": "channel_pressure",
    "pitch_bend": "pitch_bend", "sysex": "sysex", "escape": "escape", "meta": "meta",
}
CHANNEL_KINDS = {"note_on", "note_off", "poly_pressure", "control_change", "program_change",
                 "channel_pressure", "pitch_bend"}
LINE = re.compile(r"^\s*(\d+)\s+([a-z_]+)\b(.*)$")


def _hex_bytes(tokens):
    text = "".join(tok[2:] if tok.lower().startswith("0x") else tok for tok in tokens)
    if len(text) % 2:
        raise AssertionError("odd number of hex digits in %r" % tokens)
    return [int(text[i:i + 2], 16) for i in range(0, len(text), 2)]


def parse_listing(text):
    """Parses `harmolin inspect FILE --events`.

    Sections: a line 'track N' starts the events of track N, a line 'xfkm'
    those of an XF file's lyric chunk. One event per line, ticks absolute
    within the section:
        TICK note_on|note_off|poly_pressure|control_change CH A B
        TICK program_change|channel_pressure CH A
        TICK pitch_bend CH VALUE14          (0..16383, 8192 centre)
        TICK sysex HEX                      (body without F0, length and F7)
        TICK meta TYPE HEX                  (type and data in hex; tempo as 6 digits)
    channel 1..16, other numbers decimal. Returns (song events of all tracks,
    lyric-chunk events), each checked for ticks that never go backwards."""
    song, karaoke = [], []
    target, last_tick = song, 0
    for line in text.splitlines():
        word = line.strip().lower()
        if word.startswith("track"):
            target, last_tick = song, 0
            continue
        if word.startswith("xfkm") or word.startswith("karaoke"):
            target, last_tick = karaoke, 0
            continue
        m = LINE.match(line)
        if not m or m.group(2) not in KIND_ALIASES:
            continue
        tick = int(m.group(1))
        if tick < last_tick:
            raise AssertionError("ticks go backwards at line %r" % line)
        last_tick = tick
        kind = KIND_ALIASES[m.group(2)]
        tokens = m.group(3).split()
        if kind in CHANNEL_KINDS:
            channel = int(tokens[0])
            values = [int(tok) for tok in tokens[1:]]
            if not 1 <= channel <= 16:
                raise AssertionError("channel out of range in %r" % line)
            if kind == "pitch_bend" and len(values) == 1:
                values = [values[0] & 0x7F, values[0] >> 7]
            if kind == "note_off" or (kind == "note_on" and values[1] == 0):
                target.append((tick, "note_off", channel, (values[0],)))
            else:
                target.append((tick, kind, channel, tuple(values)))
            continue
        if tokens and tokens[0] == "-":
            tokens = tokens[1:]
        if kind == "sysex":
            values = _hex_bytes(tokens)
            if values and values[0] == 0xF0:
                values = values[1:]
                if len(values) >= 2 and values[0] == len(values) - 1 and values[0] not in (0x7E, 0x7F, 0x41, 0x43):
                    values = values[1:]  # a stored length byte
            if values and values[-1] == 0xF7:
                values = values[:-1]
            target.append((tick, "sysex", 0, tuple(values)))
        elif kind == "meta":
            mtype = int(tokens[0], 16)
            e = normalise_meta(mtype, _hex_bytes(tokens[1:]))
            if e is not None and mtype != 0x2F:
                target.append((tick,) + e)
        else:
            target.append((tick, kind, 0, tuple(_hex_bytes(tokens))))
    return song, karaoke


# --- comparing event views --------------------------------------------------------------------

def has_master_volume(events):
    return any(e[1] == "sysex" and e[3][:4] == MASTER_VOLUME_127[:4] for e in events)


def drop_added_master_volume(reference, events):
    """The format-1 loader adds a master volume 127 at tick 0 to a song that
    has none; that is not a change of the song's events."""
    if has_master_volume(reference):
        return events
    out = list(events)
    for i, e in enumerate(out):
        if e[0] == 0 and e[1] == "sysex" and e[3] == MASTER_VOLUME_127:
            del out[i]
            break
    return out


def diff_events(expected, actual, limit=12):
    ce, ca = collections.Counter(expected), collections.Counter(actual)
    missing = sorted((ce - ca).elements())
    extra = sorted((ca - ce).elements())
    if not missing and not extra:
        return None
    lines = ["%d expected events missing, %d unexpected" % (len(missing), len(extra))]
    lines += ["  missing %r" % (e,) for e in missing[:limit]]
    lines += ["  extra   %r" % (e,) for e in extra[:limit]]
    return "\n".join(lines)


def assert_same_events(test, expected, actual, what, allow_master_volume=False):
    if allow_master_volume:
        actual = drop_added_master_volume(expected, actual)
    d = diff_events(expected, actual)
    test.assertIsNone(d, "%s: events differ\n%s" % (what, d))


# --- strict structure check -----------------------------------------------------------------------

def _vlq(buf, pos, end):
    value = 0
    for i in range(4):
        if pos >= end:
            raise AssertionError("variable-length number runs past the chunk end")
        b = buf[pos]
        pos += 1
        value = (value << 7) | (b & 0x7F)
        if not b & 0x80:
            return value, pos
    raise AssertionError("variable-length number longer than 4 bytes")


def check_track_chunk(buf, start, end, name):
    """Walks one track chunk's events strictly; returns the event count."""
    pos, status, count, ended = start, None, 0, False
    lengths = {0x80: 2, 0x90: 2, 0xA0: 2, 0xB0: 2, 0xC0: 1, 0xD0: 1, 0xE0: 2}
    while pos < end:
        if ended:
            raise AssertionError("%s: events after the end of track" % name)
        _, pos = _vlq(buf, pos, end)
        if pos >= end:
            raise AssertionError("%s: delta without event" % name)
        b = buf[pos]
        if b == 0xFF:
            if pos + 2 > end:
                raise AssertionError("%s: cut meta event" % name)
            mtype = buf[pos + 1]
            length, pos = _vlq(buf, pos + 2, end)
            if pos + length > end:
                raise AssertionError("%s: meta event past chunk end" % name)
            if mtype == 0x2F:
                if length != 0:
                    raise AssertionError("%s: end of track with data" % name)
                ended = True
            if mtype == 0x51 and length != 3:
                raise AssertionError("%s: tempo of length %d" % (name, length))
            if mtype == 0x58 and length != 4:
                raise AssertionError("%s: time signature of length %d" % (name, length))
            pos += length
            status = None  # a meta event cancels running status
        elif b in (0xF0, 0xF7):
            length, pos = _vlq(buf, pos + 1, end)
            if pos + length > end:
                raise AssertionError("%s: system exclusive past chunk end" % name)
            body = buf[pos:pos + length]
            if b == 0xF0 and (not body or body[-1] != 0xF7):
                raise AssertionError("%s: system exclusive without F7" % name)
            if any(x & 0x80 for x in body[:-1]):
                raise AssertionError("%s: status byte inside system exclusive" % name)
            pos += length
            status = None
        else:
            if b & 0x80:
                if b >= 0xF0:
                    raise AssertionError("%s: system real-time or common message 0x%02X in a file" % (name, b))
                status = b
                pos += 1
            elif status is None:
                raise AssertionError("%s: running status without a status byte at %d" % (name, pos))
            n = lengths[status & 0xF0]
            if pos + n > end:
                raise AssertionError("%s: channel message past chunk end" % name)
            if any(x & 0x80 for x in buf[pos:pos + n]):
                raise AssertionError("%s: data byte above 127 at %d" % (name, pos))
            pos += n
        count += 1
    if pos != end:
        raise AssertionError("%s: events overrun the chunk" % name)
    if not ended:
        raise AssertionError("%s: no end of track" % name)
    return count


def check_structure(path, xf=False):
    """Checks a written file against the file format: header, exact chunk
    lengths, complete events, one end of track last in every track, nothing
    after the last chunk. Returns (format, division, [chunk names])."""
    with open(path, "rb") as f:
        buf = f.read()
    if len(buf) < 14 or buf[:4] != b"MThd":
        raise AssertionError("%s: no MThd header" % path)
    hlen, fmt, ntrks, division = struct.unpack(">LHHH", buf[4:14])
    if hlen != 6:
        raise AssertionError("%s: header length %d" % (path, hlen))
    if fmt not in (0, 1) or (fmt == 0 and ntrks != 1):
        raise AssertionError("%s: format %d with %d tracks" % (path, fmt, ntrks))
    if division == 0 or division & 0x8000:
        raise AssertionError("%s: division %d" % (path, division))
    pos, names = 14, []
    while pos < len(buf):
        if pos + 8 > len(buf):
            raise AssertionError("%s: bytes after the last chunk" % path)
        name = buf[pos:pos + 4]
        (length,) = struct.unpack(">L", buf[pos + 4:pos + 8])
        if pos + 8 + length > len(buf):
            raise AssertionError("%s: chunk %r runs past the end" % (path, name))
        if name in (b"MTrk", b"XFKM"):
            check_track_chunk(buf, pos + 8, pos + 8 + length, "%s chunk %d %s" % (path, len(names), name.decode()))
        elif name == b"XFIH":
            check_track_chunk(buf, pos + 8, pos + 8 + length, "%s XFIH" % path)
        else:
            raise AssertionError("%s: unexpected chunk %r" % (path, name))
        names.append(name.decode("latin-1"))
        pos += 8 + length
    expected = ["MTrk"] * ntrks + (["XFIH", "XFKM"] if xf else [])
    if names != expected:
        raise AssertionError("%s: chunks %r, expected %r" % (path, names, expected))
    if len(buf) > SONG_LIMIT:
        raise AssertionError("%s: larger than the song limit" % path)
    return fmt, division, names


def check_midicsv(path):
    proc = subprocess.run(["midicsv", path], stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    if proc.returncode != 0 or proc.stderr.strip():
        raise AssertionError("midicsv complains about %s: exit %d, %r" % (path, proc.returncode, proc.stderr[:500]))
    return proc.stdout.decode("latin-1")


def assert_readable(test, path, xf=False):
    """A file we wrote: the structure check, mido and midicsv all accept it."""
    test.assertTrue(os.path.isfile(path), "no output file " + path)
    try:
        info = check_structure(path, xf=xf)
        mid = read_mido(path)
        check_midicsv(path)
    except Exception as e:  # noqa: BLE001 - report which reader complained
        test.fail("%s is not a clean MIDI file: %s: %s" % (path, type(e).__name__, e))
    return info, mid


# --- XF chunks --------------------------------------------------------------------------------------

def chunks(path):
    with open(path, "rb") as f:
        buf = f.read()
    out, pos = [], 14
    while pos + 8 <= len(buf):
        name = buf[pos:pos + 4]
        (length,) = struct.unpack(">L", buf[pos + 4:pos + 8])
        out.append((name.decode("latin-1"), buf[pos + 8:pos + 8 + length]))
        pos += 8 + length
    return out


def karaoke_events(path):
    """Events of the XFKM chunk, read by mido as if it were a track."""
    for name, payload in chunks(path):
        if name == "XFKM":
            fake = struct.pack(">4sLHHH", b"MThd", 6, 0, 1, 480) + b"MTrk" + struct.pack(">L", len(payload)) + payload
            tmp = tempfile.NamedTemporaryFile(suffix=".mid", delete=False)
            try:
                tmp.write(fake)
                tmp.close()
                return mido_view(tmp.name)
            finally:
                os.unlink(tmp.name)
    raise AssertionError("%s has no XFKM chunk" % path)


def lyric_texts(events):
    return [bytes(e[3][1:]).decode("cp932") for e in events if e[1] == "meta" and e[3][0] == 0x05]


# --- files made at test time --------------------------------------------------------------------------

def write_oversize(path, size=SONG_LIMIT + 4096):
    """A valid format-0 file just over the song limit."""
    pair = b"\x00\x90\x3C\x40\x10\x80\x3C\x40"
    n = (size - 14 - 8 - 4) // len(pair) + 1
    track = pair * n + b"\x00\xFF\x2F\x00"
    data = struct.pack(">4sLHHH", b"MThd", 6, 0, 1, 96) + b"MTrk" + struct.pack(">L", len(track)) + track
    with open(path, "wb") as f:
        f.write(data)
    return len(data)


def write_many_events(path, size=SONG_LIMIT - 256):
    """A format-0 file under the size limit holding far more events than a
    track can keep: program changes of two bytes each (running status)."""
    head = b"\x00\xC0\x05"
    body_len = size - 14 - 8 - len(head) - 4
    body = b"\x00\x05" * (body_len // 2)
    track = head + body + b"\x00\xFF\x2F\x00"
    data = struct.pack(">4sLHHH", b"MThd", 6, 0, 1, 96) + b"MTrk" + struct.pack(">L", len(track)) + track
    with open(path, "wb") as f:
        f.write(data)
    return len(data)


def file_state(folder):
    """Names, sizes and hashes of the files in a folder (for 'nothing changed')."""
    out = {}
    for name in sorted(os.listdir(folder)):
        p = os.path.join(folder, name)
        st = os.lstat(p)
        if stat.S_ISREG(st.st_mode):
            out[name] = sha256(p)
        else:
            out[name] = stat.S_IFMT(st.st_mode)
    return out


def assert_events_close(test, expected, actual, what, tolerance=1):
    """Like assert_same_events, but ticks may differ by up to `tolerance`
    (expected ticks may be fractions, as after a change of division)."""
    groups_e, groups_a = collections.defaultdict(list), collections.defaultdict(list)
    for e in expected:
        groups_e[e[1:]].append(e[0])
    for e in actual:
        groups_a[e[1:]].append(e[0])
    problems = []
    for key in sorted(set(groups_e) | set(groups_a), key=repr):
        te, ta = sorted(groups_e.get(key, [])), sorted(groups_a.get(key, []))
        if len(te) != len(ta):
            problems.append("%r: %d expected at %s, %d found at %s" % (key, len(te), te[:8], len(ta), ta[:8]))
            continue
        bad = [(x, y) for x, y in zip(te, ta) if abs(x - y) > tolerance]
        if bad:
            problems.append("%r: ticks differ (expected, found) %s" % (key, bad[:8]))
    test.assertFalse(problems, "%s: %d differences\n  %s" % (what, len(problems), "\n  ".join(problems[:15])))
