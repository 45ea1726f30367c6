#!/usr/bin/python3
"""Bad input gets one clear line on stderr and a non-zero exit, never a
crash; no output file is created, an existing output file is left as it was,
nothing is left in the current folder, and the input is not touched.

Bad input here: the damaged files of tests/data/bad/ (each named after its
defect), a file over the 0x60000-byte song limit (made at test time), a
missing file, a folder, an unreadable file, unusable output paths and wrong
command-line options.

Unreadable file: permission bits do not stop root, so when the tests run as
root the program is started as user "nobody" (setpriv, util-linux) on a file
of mode 000; as another user the mode alone is enough.
"""

import os
import shutil
import stat

import harmolin_e2e as h

SENTINEL = b"an existing file that must survive\n" * 10


_NOBODY = []


def as_nobody():
    """Command prefix that runs the program without root's rights, or None
    when that is not possible here (no setpriv, or the build or the test data
    lie where user nobody cannot reach them, as in a checkout under /root)."""
    if os.geteuid() != 0:
        return ()
    if not _NOBODY:
        setpriv = shutil.which("setpriv")
        prefix = (setpriv, "--reuid=65534", "--regid=65534", "--clear-groups") if setpriv else None
        if prefix and h.run("inspect", h.data("fmt0-mido.mid"), prefix=prefix).rc != 0:
            prefix = None
        _NOBODY.append(prefix)
    return _NOBODY[0]


class CleanFailure(h.TempDirCase):

    def setUp(self):
        super().setUp()
        os.chmod(self.tmp, 0o755)
        self.cwd = self.path("cwd")
        self.outdir = self.path("out")
        os.mkdir(self.cwd)
        os.mkdir(self.outdir)
        os.chmod(self.cwd, 0o777)
        os.chmod(self.outdir, 0o777)

    def assert_fails_cleanly(self, *args, outputs=(), prefix=()):
        """Runs harmolin with args; checks the failure and that the output
        folder and the current folder are as before."""
        state_out, state_cwd = h.file_state(self.outdir), h.file_state(self.cwd)
        r = h.run(*args, cwd=self.cwd, prefix=prefix, timeout=60)
        self.assertFalse(r.crashed(), "crashed\n" + r.describe())
        self.assertGreater(r.rc, 0, "must fail with a non-zero exit (negative: killed by a signal)\n" + r.describe())
        self.assertLess(r.rc, 126, "exit status looks like a crash\n" + r.describe())
        lines = r.stderr_lines()
        self.assertEqual(len(lines), 1, "must give exactly one line on stderr\n" + r.describe())
        self.assertLess(len(lines[0]), 300, "an error line, not a dump")
        self.assertEqual(h.file_state(self.outdir), state_out, "output folder changed\n" + r.describe())
        self.assertEqual(h.file_state(self.cwd), state_cwd, "current folder changed\n" + r.describe())
        for out in outputs:
            if os.path.basename(out) not in state_out:
                self.assertFalse(os.path.lexists(out), "failed but created " + out)
        return r

    def all_commands(self, src, prefix=()):
        """Every command that reads a song, with a fresh and an existing output."""
        fresh = os.path.join(self.outdir, "new.mid")
        existing = os.path.join(self.outdir, "existing.mid")
        with open(existing, "wb") as f:
            f.write(SENTINEL)
        os.chmod(existing, 0o666)
        before = h.sha256(src) if os.path.isfile(src) and os.access(src, os.R_OK) else None
        self.assert_fails_cleanly("inspect", src, prefix=prefix)
        self.assert_fails_cleanly("inspect", src, "--events", prefix=prefix)
        for out in (fresh, existing):
            self.assert_fails_cleanly("prepare", src, "--channel", "3", "-o", out, outputs=[out], prefix=prefix)
            for fmt in ("0", "1", "xf"):
                self.assert_fails_cleanly("copy", src, "--format", fmt, "-o", out, outputs=[out], prefix=prefix)
        with open(existing, "rb") as f:
            self.assertEqual(f.read(), SENTINEL)
        if before is not None:
            self.assertEqual(h.sha256(src), before, "input changed")


class DamagedFiles(CleanFailure):

    def test_each_damaged_file(self):
        names = sorted(os.listdir(h.data("bad")))
        self.assertGreaterEqual(len(names), 10)
        for name in names:
            with self.subTest(name):
                self.all_commands(h.data("bad", name))

    def test_file_over_the_song_limit(self):
        path = self.path("oversize.mid")
        size = h.write_oversize(path)
        self.assertGreater(size, h.SONG_LIMIT)
        h.read_mido(path)  # a valid file: only its size is wrong
        self.all_commands(path)


class BadPaths(CleanFailure):

    def test_missing_file(self):
        self.all_commands(self.path("no-such-file.mid"))

    def test_file_in_missing_folder(self):
        self.all_commands(self.path("no-such-folder", "song.mid"))

    def test_folder(self):
        folder = self.path("a-folder.mid")
        os.mkdir(folder)
        self.all_commands(folder)

    def test_path_through_a_file(self):
        # A regular file used as a folder (ENOTDIR).
        self.all_commands(os.path.join(h.data("fmt0-mido.mid"), "song.mid"))

    def test_unreadable_file(self):
        prefix = as_nobody()
        if prefix is None:
            self.skipTest("running as root and cannot run as nobody: cannot make a file unreadable")
        path = self.path("unreadable.mid")
        shutil.copy(h.data("fmt0-mido.mid"), path)
        os.chmod(path, 0)
        try:
            self.all_commands(path, prefix=prefix)
        finally:
            os.chmod(path, 0o644)
        self.assertEqual(h.sha256(path), h.sha256(h.data("fmt0-mido.mid")))

    def test_output_in_missing_folder(self):
        out = self.path("no-such-folder", "song.mid")
        self.assert_fails_cleanly("prepare", h.data("fmt0-mido.mid"), "--channel", "3", "-o", out, outputs=[out])
        self.assert_fails_cleanly("copy", h.data("fmt0-mido.mid"), "--format", "0", "-o", out, outputs=[out])
        self.assertFalse(os.path.exists(os.path.dirname(out)))

    def test_output_is_a_folder(self):
        out = os.path.join(self.outdir, "folder.mid")
        os.mkdir(out)
        self.assert_fails_cleanly("prepare", h.data("fmt0-mido.mid"), "--channel", "3", "-o", out)
        self.assertTrue(os.path.isdir(out))
        self.assertEqual(os.listdir(out), [])

    def test_output_folder_not_writable(self):
        # The existing file is writable, its folder is not: a save through a
        # temporary file in the folder must fail and leave the file as it was.
        prefix = as_nobody()
        if prefix is None:
            self.skipTest("running as root and cannot run as nobody")
        existing = os.path.join(self.outdir, "existing.mid")
        with open(existing, "wb") as f:
            f.write(SENTINEL)
        os.chmod(existing, 0o666)
        os.chmod(self.outdir, 0o755)
        self.assert_fails_cleanly("prepare", h.data("fmt0-mido.mid"), "--channel", "3", "-o", existing,
                                  prefix=prefix)
        self.assert_fails_cleanly("copy", h.data("fmt0-mido.mid"), "--format", "0", "-o", existing,
                                  prefix=prefix)
        with open(existing, "rb") as f:
            self.assertEqual(f.read(), SENTINEL)


class BadOptions(CleanFailure):

    def test_wrong_options(self):
        src = h.data("fmt0-mido.mid")
        out = os.path.join(self.outdir, "song.mid")
        cases = {
            "no channel": ("prepare", src, "-o", out),
            "channel 0": ("prepare", src, "--channel", "0", "-o", out),
            "channel 17": ("prepare", src, "--channel", "17", "-o", out),
            "channel not a number": ("prepare", src, "--channel", "three", "-o", out),
            "channel with junk": ("prepare", src, "--channel", "3x", "-o", out),
            "channel without value": ("prepare", src, "-o", out, "--channel"),
            "guide volume 128": ("prepare", src, "--channel", "3", "-o", out, "--guide-volume", "128"),
            "guide volume -1": ("prepare", src, "--channel", "3", "-o", out, "--guide-volume", "-1"),
            "no input": ("prepare", "--channel", "3", "-o", out),
            "unknown option": ("prepare", src, "--channel", "3", "-o", out, "--frobnicate"),
            "two inputs": ("prepare", src, src, "--channel", "3", "-o", out),
            "copy bad format": ("copy", src, "--format", "2", "-o", out),
            "inspect without file": ("inspect",),
            "unknown command": ("frobnicate", src),
        }
        for what, args in cases.items():
            with self.subTest(what):
                self.assert_fails_cleanly(*args, outputs=[out])
        self.assertEqual(os.listdir(self.outdir), [])


if __name__ == "__main__":
    h.main()
