#!/usr/bin/python3
"""Composes the music disk's songs and writes them as XM modules.

Usage: gen_songs.py [OUT_DIR]   (default: data/songs next to this tool)
       gen_songs.py --levels OUT_DIR   quieter and louder copies of every song, and
                                       one with 10 s of silence, for measuring the
                                       effects only (not shipped)

Everything is computed from fixed tables and fixed seeds, so every run writes
the same bytes.
"""
import math
import os
import random
import sys

sys.dont_write_bytecode = True  # keep the source tree clean
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import gen_songs_xm as xm  # noqa: E402

PC = {
    "C": 0,
    "C#": 1,
    "Db": 1,
    "D": 2,
    "D#": 3,
    "Eb": 3,
    "E": 4,
    "F": 5,
    "F#": 6,
    "Gb": 6,
    "G": 7,
    "G#": 8,
    "Ab": 8,
    "A": 9,
    "A#": 10,
    "Bb": 10,
    "B": 11,
}
SCALES = {"major": [0, 2, 4, 5, 7, 9, 11], "minor": [0, 2, 3, 5, 7, 8, 10]}
# quality: (third, fifth, arpeggio x, arpeggio y)
QUALITY = {
    "": (4, 7, 4, 7),
    "m": (3, 7, 3, 7),
    "dim": (3, 6, 3, 6),
    "maj7": (4, 7, 4, 11),
    "m7": (3, 7, 3, 10),
    "7": (4, 7, 4, 10),
    "sus4": (5, 7, 5, 7),
    "add9": (4, 7, 4, 14),
}


class Chord:
    def __init__(self, sym):
        name = sym[:2] if len(sym) > 1 and sym[1] in "#b" else sym[:1]
        self.pc = PC[name]
        self.third, self.fifth, ax, ay = QUALITY[sym[len(name) :]]
        self.arp = ax << 4 | ay


def chords(text):
    return [Chord(s) for s in text.split()]


class Comp:
    """One song: instruments, channel roles and the patterns built from sections."""

    def __init__(self, title, key, scale, speed, bpm, roles, beats=4, seed=1, lead_oct=5, gain=1.0, echo_delay=3):
        self.title, self.speed, self.bpm = title, speed, bpm
        self.key, self.scale = PC[key], SCALES[scale]
        self.ch = {r: i for i, r in enumerate(roles)}
        self.nch = len(roles)
        self.bar = beats * 4
        self.rows = self.bar * 4
        self.rng = random.Random(seed)
        self.lead_oct, self.gain, self.echo_delay = lead_oct, gain, echo_delay
        self.instruments, self.ins = [], {}
        self.patterns, self.order = [], []

    # ---- instruments
    def add(self, role, inst):
        self.instruments.append(inst)
        self.ins[role] = len(self.instruments)

    # ---- pitch helpers (semitones, 0 = C-0)
    def degree(self, idx):
        return self.key + self.scale[idx % 7] + 12 * (idx // 7)

    def chord_index(self, ch):
        rel = (ch.pc - self.key) % 12
        idx = max(i for i, s in enumerate(self.scale) if s <= rel)
        # keep roots near the tonic so melodies move by step, not by leap
        return idx - 7 if idx > 3 else idx

    def melody_note(self, ch, off):
        r = self.chord_index(ch)
        root = self.degree(r) + (ch.pc - self.degree(r)) % 12
        if off % 7 in (0, 2, 4):
            tone = (0, ch.third, ch.fifth)[(off % 7) // 2]
            return root + tone + 12 * (off // 7)
        return self.degree(r + off)

    # ---- pattern cells
    def new_pattern(self):
        return [[[0, 0, 0, 0, 0] for _ in range(self.nch)] for _ in range(self.rows)]

    def put(self, pat, row, ch, note=0, ins=0, vol=None, fx=0, par=0):
        if not 0 <= row < self.rows:
            return
        cell = pat[row][ch]
        if note:
            cell[0], cell[1] = note, ins
        if vol is not None:
            cell[2] = 0x10 + max(0, min(64, int(round(vol * self.gain))))
        if fx or par:
            cell[3], cell[4] = fx, par

    def note_on(self, pat, row, ch, semi, ins, vol, fx=0, par=0):
        self.put(pat, row, ch, semi + 1, ins, vol, fx, par)

    def key_off(self, pat, row, ch):
        if 0 <= row < self.rows and not pat[row][ch][0]:
            pat[row][ch][0] = xm.KEY_OFF

    def chord_at(self, chs, row):
        return chs[row * len(chs) // self.rows]

    # ---- parts
    def motif_events(self, chs, plan, shift=0, octave=None):
        """plan: one motif string per bar (None rests); tokens row:len:degree[flags]."""
        octave = self.lead_oct if octave is None else octave
        events = []
        for bar, motif in enumerate(plan):
            if not motif:
                continue
            for tok in motif.split():
                row, length, rest = tok.split(":")
                deg = "".join(c for c in rest if c in "-0123456789")
                flags = rest[len(deg) :]
                start = bar * self.bar + int(row)
                semi = self.melody_note(self.chord_at(chs, start), int(deg) + shift)
                events.append((start, int(length), semi + 12 * octave, flags))
        return events

    def play_line(self, pat, ch, ins, events, vol, vib=0x34, porta=0x18, fade=0x01):
        for i, (row, length, semi, flags) in enumerate(events):
            nxt = events[i + 1][0] if i + 1 < len(events) else self.rows
            if "~" in flags:
                self.note_on(pat, row, ch, semi, ins, vol, 3, porta)
                self.put(pat, row + 1, ch, fx=3, par=0)
            else:
                self.note_on(pat, row, ch, semi, ins, vol + (6 if "!" in flags else 0))
            for k in range(2, length):
                if "v" in flags and "f" in flags and k >= 3:
                    self.put(pat, row + k, ch, fx=6, par=fade)  # vibrato goes on while fading
                elif "v" in flags:
                    self.put(pat, row + k, ch, fx=4, par=vib)
                elif "f" in flags and k >= 3:
                    self.put(pat, row + k, ch, fx=0xA, par=fade)
            if "b" in flags:
                for k in (length - 2, length - 1):
                    self.put(pat, row + k, ch, fx=2, par=0x0C)
            if "u" in flags:
                self.put(pat, row + 1, ch, fx=1, par=0x04)
            if row + length < nxt:
                self.key_off(pat, row + length, ch)

    def lead(self, pat, role, chs, plan, vol, shift=0, octave=None, **kw):
        events = self.motif_events(chs, plan, shift, octave)
        self.play_line(pat, self.ch[role], self.ins[role], events, vol, **kw)
        return events

    def echo(self, pat, role, events, vol, delay=None):
        d = self.echo_delay if delay is None else delay
        moved = [
            (r + d, n, s, f.replace("~", "").replace("b", "").replace("u", ""))
            for r, n, s, f in events
            if r + d < self.rows
        ]
        self.play_line(pat, self.ch[role], self.ins[role], moved, vol)

    def arps(self, pat, role, chs, hits, vol, octave=4, length=None, cut=0, accent=()):
        """Arpeggiated chords struck at the bar rows in hits, held with 0xy."""
        ch, ins = self.ch[role], self.ins[role]
        for bar in range(self.rows // self.bar):
            for j, h in enumerate(hits):
                row = bar * self.bar + h
                c = self.chord_at(chs, row)
                end = length or ((hits[j + 1] if j + 1 < len(hits) else self.bar) - h)
                root = c.pc + 12 * octave
                v = vol + (8 if h in accent else 0)
                self.note_on(pat, row, ch, root, ins, v, 0, c.arp)
                for k in range(1, end):
                    self.put(pat, row + k, ch, fx=0, par=c.arp)
                if cut:
                    self.put(pat, row + end - 1, ch, fx=0xE, par=0xC0 | cut)

    def bass_note(self, chs, start, iv, low):
        """The bass note at row `start` for interval iv of the chord's root at or above `low`:
        a number of semitones, '3' or '5' of the chord, or 'n' leading to the next root."""
        c = self.chord_at(chs, start)
        root = low + (c.pc - low) % 12
        if iv == "n":
            nc = chs[(start * len(chs) // self.rows + 1) % len(chs)]
            target = low + (nc.pc - low) % 12
            return target - 1 if target > root else target + 1
        if iv == "3":
            return root + c.third
        if iv == "5":
            return root + c.fifth
        return root + int(iv)

    def bass(self, pat, role, chs, figure, vol, low=28):
        """figure: tokens row:len:interval per bar; interval 'n' leads to the next root."""
        ch, ins = self.ch[role], self.ins[role]
        events = []
        for bar in range(self.rows // self.bar):
            for tok in figure.split():
                row, length, iv = tok.split(":")
                start = bar * self.bar + int(row)
                events.append((start, int(length), self.bass_note(chs, start, iv, low), ""))
        self.play_line(pat, ch, ins, events, vol)

    def pad(self, pat, role, chs, vol, tone=1, octave=4):
        """Long held chord tones (1 third, 2 fifth) that glide into each other."""
        ch, ins = self.ch[role], self.ins[role]
        step = self.rows // len(chs)
        for i, c in enumerate(chs):
            semi = c.pc + 12 * octave + (c.third if tone == 1 else c.fifth)
            fx, par = (3, 0x08) if i else (0, 0)
            self.note_on(pat, i * step, ch, semi, ins, vol, fx, par)
            for k in range(1, step):
                self.put(pat, i * step + k, ch, fx=4 if k > 3 else 3, par=0x23 if k > 3 else 0)

    KIT = {
        "k": ("kick", 0, 52),
        "s": ("snare", 0, 46),
        "g": ("snare", 0, 20),
        "t": ("kick", 12, 40),
        "u": ("kick", 7, 40),
        "h": ("hat", 0, 44),
        "H": ("hat", 0, 58),
        "o": ("ohat", 0, 44),
        "c": ("ohat", -5, 50),
    }

    def drums(self, pat, role, bars):
        """bars: one string per bar, one character per row (see KIT)."""
        ch = self.ch[role]
        for b, line in enumerate(bars):
            for i, c in enumerate(line):
                if c in self.KIT:
                    name, tr, vol = self.KIT[c]
                    self.note_on(pat, b * self.bar + i, ch, 48 + tr, self.ins[name], vol)

    def commit(self, pat):
        # a note held to the end of a pattern must not hang on through the next one
        for role, ch in self.ch.items():
            if role not in ("drum", "hat", "perc"):
                self.key_off(pat, 0, ch)
        if pat in self.patterns:
            return self.patterns.index(pat)
        self.patterns.append(pat)
        return len(self.patterns) - 1

    def seconds(self):
        return len(self.order) * self.rows * self.speed * 2.5 / self.bpm

    def vary(self, motif):
        """The motif with its last note moved to another chord tone."""
        toks = motif.split()
        row, length, rest = toks[-1].split(":")
        deg = "".join(c for c in rest if c in "-0123456789")
        new = self.rng.choice([d for d in (0, 2, 4, 7) if d != int(deg)])
        toks[-1] = "%s:%s:%d%s" % (row, length, new, rest[len(deg) :])
        return " ".join(toks)

    def to_bytes(self, restart):
        return xm.write_xm(
            self.title, self.nch, self.speed, self.bpm, self.order, restart, self.patterns, self.instruments
        )


# ---- instrument palette ----------------------------------------------------------


def tone(name, sample, attack=1, level=44, sustain=38, fade=0x300, pan_env=None, pan_loop=None):
    env = [(0, 0), (attack, 64), (attack + 8, level), (attack + 60, sustain)]
    return xm.Instrument(name, sample, env, 2, pan_env, pan_loop, fade)


def pluck(name, sample, decay=30, floor=10):
    env = [(0, 64), (4, 48), (decay, floor), (decay * 4, 0)]
    return xm.Instrument(name, sample, env, None, fadeout=0x800)


def kit(c):
    c.add("kick", xm.Instrument("kick", xm.kick(), [(0, 64), (10, 52), (26, 0)]))
    c.add("snare", xm.Instrument("snare", xm.snare(panning=136), [(0, 64), (6, 40), (18, 0)]))
    c.add("hat", xm.Instrument("hat", xm.hat(0.05, 0x4D1, panning=164), [(0, 64), (4, 32), (12, 0)]))
    c.add("ohat", xm.Instrument("open hat", xm.hat(0.25, 0x1B7, panning=96), [(0, 64), (12, 30), (36, 0)]))


def full(bar, n=4):
    return [bar] * n


def with_fill(bar, fill, n=4):
    return [bar] * (n - 1) + [fill]


# ---- the songs ----------------------------------------------------------------------


def kirrowane_intro():
    """Bright anthem in D major: I-V-vi-IV, then ii-IV-V with a lifting B section."""
    c = Comp(
        "kirrowane intro", "D", "major", 6, 118, ["lead", "echo", "arp", "bass", "drum", "hat"], seed=11, gain=1.25
    )
    c.add("lead", tone("lead", xm.pulse(0.25, panning=112)))
    c.add("echo", tone("echo", xm.pulse(0.5, panning=176), level=36, sustain=28))
    c.add("arp", pluck("arp", xm.pulse(0.125, panning=144), decay=40, floor=20))
    c.add("bass", pluck("bass", xm.triangle(), decay=40, floor=30))
    kit(c)
    A, B = chords("D A Bm G"), chords("Em G A A")
    B2 = chords("Bm G D A")
    m1 = "0:6:4 6:2:2 8:4:0 12:4:2"
    m2 = "0:4:4 4:4:5 8:8:7v"
    cad = "0:8:4v 8:2:2 10:2:1 12:4:0f"
    beat = ["k.....h.k.h.s.h.", "k.....h.k.h.s.hg"]
    fill = "k.....h.s.s.ssss"
    hats = "h.h.H.h.h.h.H.h."

    def sec(chs, plan=None, drums=True, fill_bar=False, hits=(0, 8), hat=hats):
        p = c.new_pattern()
        if plan:
            ev = c.lead(p, "lead", chs, plan, 46)
            c.echo(p, "echo", ev, 22)
        c.arps(p, "arp", chs, list(hits), 38)
        c.bass(p, "bass", chs, "0:4:0 6:2:0 8:4:5 12:2:12 14:2:0", 46)
        if drums:
            d = [beat[0], beat[1], beat[0], fill if fill_bar else beat[1]]
            c.drums(p, "drum", d)
            c.drums(p, "hat", full(hat))
        return c.commit(p)

    intro = sec(A, drums=False, hits=(0, 4, 8, 12))
    a1 = sec(A, [m1, c.vary(m1), m1, m2])
    a2 = sec(A, [m1, c.vary(m1), m2, cad], fill_bar=True)
    b1 = sec(B, ["0:8:7v 8:8:4~", "0:4:2 4:4:4 8:8:7v", "0:16:4f", "0:12:4v"])
    b2 = sec(B2, ["0:8:4v 8:8:2", "0:4:0 4:4:2 8:8:4v", m2, cad], fill_bar=True)
    out = sec(A, [m2, m1, c.vary(m2), cad], hat="h.h.h.h.H.h.h.h.")
    c.order = [intro, a1, a2, b1, b2, a1, a2, out, b1, b2, intro]
    return c, 1


def night_drive():
    """Driving A minor: i-VI-III-VII over octave-bouncing bass and four-on-the-floor."""
    c = Comp(
        "night drive",
        "A",
        "minor",
        6,
        140,
        ["lead", "echo", "arp", "bass", "pad", "drum", "hat"],
        seed=22,
        gain=1.15,
        echo_delay=3,
    )
    c.add("lead", tone("lead", xm.saw(panning=120), level=50, sustain=40))
    c.add("echo", tone("echo", xm.pulse(0.25, panning=200), level=30, sustain=24))
    c.add("arp", pluck("arp", xm.pulse(0.125, panning=72), decay=16, floor=6))
    c.add("bass", pluck("bass", xm.pulse(0.5), decay=14, floor=20))
    c.add("pad", tone("pad", xm.triangle(panning=150), attack=20, level=40, sustain=36))
    kit(c)
    A = chords("Am F C G")
    B = chords("F G Em Am")
    C = chords("Dm Em F G")
    ma = "0:3:0 3:3:2 6:2:4 8:4:7v 12:2:6 14:2:4"
    mb = "0:6:4v 6:2:2 8:2:4 10:6:2b"
    mc = "0:2:7 2:2:6 4:2:4 6:2:2 8:8:4v"
    four = "k...k...k...k..."
    snr = "....s.......s..."
    drv = [a if a != "." else b for a, b in zip(four, snr)]
    beat = "".join("s" if b == "s" else a for a, b in zip(four, snr))
    fill = "k...s...k.s.ssss"
    hats = "..h...h...h...h."
    hats16 = "hhHhhhHhhhHhhhHo"
    bassf = "0:2:0 2:2:12 4:2:0 6:2:12 8:2:0 10:2:12 12:2:0 14:2:n"
    del drv

    def sec(chs, plan=None, kick=True, fill_bar=True, hat=hats, pad=False):
        p = c.new_pattern()
        if plan:
            ev = c.lead(p, "lead", chs, plan, 52, octave=5)
            c.echo(p, "echo", ev, 26)
        c.arps(p, "arp", chs, [0, 2, 4, 6, 8, 10, 12, 14], 24, cut=3, accent=(0, 6, 12))
        c.bass(p, "bass", chs, bassf, 30)
        if pad:
            c.pad(p, "pad", chs, 30)
        if kick:
            c.drums(p, "drum", with_fill(beat, fill) if fill_bar else full(beat))
        c.drums(p, "hat", full(hat))
        return c.commit(p)

    intro = sec(A, kick=False)
    build = sec(A, fill_bar=True, hat=hats16)
    a1 = sec(A, [ma, mb, ma, c.vary(mb)], fill_bar=False)
    a2 = sec(A, [ma, mb, mc, "0:16:0v"], pad=True)
    b1 = sec(B, [mc, mc, "0:4:4 4:4:2 8:8:0v", mb], hat=hats16, pad=True)
    b2 = sec(C, ["0:8:4v 8:8:2v", "0:8:4v 8:8:7v", mc, "0:16:4vb"], hat=hats16, pad=True)
    brk = sec(B, pad=True, kick=False)
    c.order = [intro, build, a1, a2, b1, b2, a1, a2, brk, brk, b1, b2, a1, a2, build, b2]
    return c, 1


def pixel_rain():
    """Dreamy F major seventh chords, slow arpeggios drifting across the stereo field."""
    c = Comp(
        "pixel rain",
        "F",
        "major",
        8,
        125,
        ["lead", "echo", "arp", "bass", "drum", "hat"],
        seed=33,
        gain=1.3,
        echo_delay=3,
    )
    c.add("lead", tone("lead", xm.triangle(panning=128), attack=3, level=56, sustain=48, fade=0x200))
    c.add("echo", tone("echo", xm.pulse(0.5, panning=208), attack=3, level=32, sustain=26))
    c.add(
        "arp",
        xm.Instrument(
            "arp",
            xm.pulse(0.25),
            [(0, 0), (6, 48), (40, 32), (90, 28)],
            3,
            [(0, 20), (60, 44), (120, 20)],
            (0, 2),
            0x200,
        ),
    )
    c.add("bass", pluck("bass", xm.triangle(), decay=60, floor=36))
    kit(c)
    A = chords("Fmaj7 Dm7 Bbmaj7 Csus4")
    B = chords("Gm7 C7 Am7 Dm7")
    B2 = chords("Bbmaj7 C7 Fmaj7 Fmaj7")
    m1 = "0:6:4v 6:2:2 8:8:0v"
    m2 = "0:4:2 4:4:4 8:8:6v"
    m3 = "0:2:4 2:2:5 4:4:7 8:8:9v"
    beat = "k.......s......."
    beat2 = "k.....k.s.....g."
    hats = "..h...h...h...h."

    def sec(chs, plan=None, drums=True, hat=hats):
        p = c.new_pattern()
        if plan:
            ev = c.lead(p, "lead", chs, plan, 50, octave=5, vib=0x43)
            c.echo(p, "echo", ev, 24)
        c.arps(p, "arp", chs, [0, 8], 30, octave=4)
        c.bass(p, "bass", chs, "0:8:0 8:6:5 14:2:12", 44, low=29)
        if drums:
            c.drums(p, "drum", [beat, beat2, beat, beat2])
            c.drums(p, "hat", full(hat))
        return c.commit(p)

    intro = sec(A, drums=False)
    a1 = sec(A, [m1, m2, m1, c.vary(m2)])
    a2 = sec(A, [m1, m2, m3, "0:16:4v"])
    b1 = sec(B, [m3, "0:8:4v 8:8:2~v", m2, "0:16:0v"], hat="..h.h.h...h.h.h.")
    b2 = sec(B2, ["0:16:7v", "0:8:4~v 8:8:5~", "0:16:4v", None])
    c.order = [intro, a1, a2, b1, b2, a1, a2, b1, b2, intro]
    return c, 1


def cold_star_waltz():
    """Melancholic D minor waltz in 3/4: i-iv-VII-III-VI-iv-V, oom-pah-pah."""
    c = Comp(
        "cold star waltz",
        "D",
        "minor",
        6,
        105,
        ["lead", "echo", "arp", "bass", "drum"],
        beats=3,
        seed=44,
        gain=1.3,
        echo_delay=6,
    )
    c.add("lead", tone("lead", xm.pulse(0.25, panning=116), attack=4, level=54, sustain=46, fade=0x180))
    c.add("echo", tone("echo", xm.triangle(panning=196), attack=6, level=40, sustain=34))
    c.add("arp", pluck("arp", xm.pulse(0.125, panning=84), decay=14, floor=0))
    c.add("bass", pluck("bass", xm.triangle(), decay=50, floor=24))
    kit(c)
    A = chords("Dm Gm C F")
    A2 = chords("Bb Gm A A")
    B = chords("Bb C Am Dm")
    B2 = chords("Gm A Dm Dm")
    m1 = "0:8:4v 8:4:2"
    m2 = "0:4:0 4:4:2 8:4:4"
    m3 = "0:12:7vf"
    m4 = "0:6:4v 6:2:3 8:4:2~"
    beat = "k...h...h..."
    beat2 = "k...h...g..."
    fill = "k...s...s.s."

    def sec(chs, plan=None, drums=True, fill_bar=False):
        p = c.new_pattern()
        if plan:
            ev = c.lead(p, "lead", chs, plan, 50, octave=5, vib=0x34, fade=0x01)
            c.echo(p, "echo", ev, 26)
        c.arps(p, "arp", chs, [4, 8], 42, octave=4, length=2, cut=4)
        c.bass(p, "bass", chs, "0:4:0 8:4:5", 50, low=26)
        if drums:
            c.drums(p, "drum", [beat, beat2, beat, fill if fill_bar else beat2])
        return c.commit(p)

    intro = sec(A, drums=False)
    a1 = sec(A, [m1, m2, m1, m3])
    a2 = sec(A2, [m2, m4, m1, m3], fill_bar=True)
    a3 = sec(A, [m1, c.vary(m2), m4, m3])
    b1 = sec(B, ["0:4:7 4:4:6 8:4:4", m3, "0:4:4 4:4:2 8:4:0", m3])
    b2 = sec(B2, [m4, "0:12:4vf", m2, "0:12:0vf"], fill_bar=True)
    c.order = [intro, a1, a2, a3, a2, b1, b2, b1, b2, a1, a2, a3, a2, b1, b2, intro]
    return c, 1


def turbo_lagoon():
    """Fast, sunny G major: I-vi-IV-V with a harmony voice a third below the lead."""
    c = Comp(
        "turbo lagoon",
        "G",
        "major",
        4,
        112,
        ["lead", "harm", "echo", "arp", "bass", "drum", "hat", "perc"],
        seed=55,
        gain=1.0,
        echo_delay=2,
    )
    c.add("lead", tone("lead", xm.pulse(0.125, panning=128), level=54, sustain=44))
    c.add("harm", tone("harm", xm.pulse(0.25, panning=88), level=40, sustain=32))
    c.add("echo", tone("echo", xm.pulse(0.5, panning=200), level=30, sustain=24))
    c.add("arp", pluck("arp", xm.pulse(0.25, panning=168), decay=12, floor=4))
    c.add("bass", pluck("bass", xm.pulse(0.5), decay=10, floor=24))
    kit(c)
    A = chords("G Em C D")
    B = chords("C D Bm Em")
    B2 = chords("C D G G")
    ma = "0:2:0 2:2:2 4:2:4 6:2:7 8:4:6 12:4:4"
    mb = "0:3:4 3:3:5 6:2:4 8:2:2 10:2:0 12:4:2"
    mc = "0:4:7! 4:2:6 6:2:4 8:8:4v"
    beat = "k...s...k.k.s..."
    fill = "k...s...k.s.s.ss"
    hats = "hhHhhhHhhhHhhhHh"
    perc = "......t.......u."
    bassf = "0:2:0 3:1:0 4:2:12 6:2:0 8:2:0 10:2:5 12:2:12 14:2:n"

    def sec(chs, plan=None, harm=True, drums=True, fill_bar=True):
        p = c.new_pattern()
        if plan:
            ev = c.lead(p, "lead", chs, plan, 52)
            if harm:
                c.lead(p, "harm", chs, plan, 34, shift=-2)
            c.echo(p, "echo", ev, 18)
        c.arps(p, "arp", chs, [0, 2, 4, 6, 8, 10, 12, 14], 24, octave=5, cut=2)
        c.bass(p, "bass", chs, bassf, 30)
        if drums:
            c.drums(p, "drum", with_fill(beat, fill) if fill_bar else full(beat))
            c.drums(p, "hat", full(hats))
            c.drums(p, "perc", full(perc))
        return c.commit(p)

    intro = sec(A, drums=False)
    a1 = sec(A, [ma, mb, ma, c.vary(mb)], harm=False, fill_bar=False)
    a2 = sec(A, [ma, mb, mc, "0:16:0v"])
    b1 = sec(B, [mc, mc, mb, "0:8:4v 8:8:2v"])
    b2 = sec(B2, [mc, "0:4:7 4:4:6 8:8:4v", ma, "0:16:0v"])
    brk = sec(B, ["0:16:4v", "0:16:5f", "0:16:2v", "0:16:4f"], harm=False)
    c.order = [intro, a1, a2, b1, b2, a1, a2, brk, b1, b2, a1, a2, b1, b2, a2, intro, a1, b2, b1, a2]
    return c, 1


def neon_harbour():
    """Cool, melancholic E minor at a laid-back tempo: i-VI-iv-V with gliding bass."""
    c = Comp(
        "neon harbour",
        "E",
        "minor",
        6,
        100,
        ["lead", "echo", "arp", "bass", "drum", "hat"],
        seed=66,
        gain=1.3,
        echo_delay=4,
    )
    c.add("lead", tone("lead", xm.saw(panning=124), attack=2, level=50, sustain=42))
    c.add("echo", tone("echo", xm.pulse(0.125, panning=60), level=34, sustain=28))
    c.add(
        "arp", xm.Instrument("arp", xm.pulse(0.5, panning=180), [(0, 0), (4, 40), (30, 26), (80, 20)], 3, fadeout=0x300)
    )
    c.add("bass", pluck("bass", xm.triangle(), decay=36, floor=30))
    kit(c)
    A = chords("Em7 Cmaj7 Am7 B7")
    B = chords("C D Bm7 Em")
    B2 = chords("Am7 B7 Em Em")
    m1 = "0:4:4 4:2:2 6:6:4v 12:4:6~"
    m2 = "0:6:7v 6:2:6 8:8:4vb"
    m3 = "0:2:2 2:2:4 4:4:5 8:4:4 12:4:2u"
    beat = "k.....k...s....."
    beat2 = "k.....k...s...g."
    fill = "k.....k...s.s.ss"
    hats = "h.o.h.h.h.o.h.h."

    def sec(chs, plan=None, drums=True, fill_bar=True):
        p = c.new_pattern()
        if plan:
            ev = c.lead(p, "lead", chs, plan, 44, octave=5, vib=0x45)
            c.echo(p, "echo", ev, 22)
        c.arps(p, "arp", chs, [0, 6, 12], 28, octave=4)
        c.bass(p, "bass", chs, "0:6:0 6:2:7 8:4:5 12:2:3 14:2:n", 42, low=28)
        if drums:
            c.drums(p, "drum", [beat, beat2, beat, fill if fill_bar else beat2])
            c.drums(p, "hat", full(hats))
        return c.commit(p)

    intro = sec(A, fill_bar=False)
    a1 = sec(A, [m1, m2, m1, c.vary(m2)], fill_bar=False)
    a2 = sec(A, [m1, m2, m3, "0:16:0v"])
    b1 = sec(B, [m3, m3, m2, "0:16:4vb"])
    b2 = sec(B2, [m2, "0:8:4v 8:8:2~v", m1, "0:16:0v"])
    c.order = [intro, a1, a2, b1, b2, a1, a2, b1, b2, a2, intro]
    return c, 1


SONGS = {
    "kirrowane-intro.xm": kirrowane_intro,
    "night_drive.xm": night_drive,
    "pixel_rain.xm": pixel_rain,
    "cold_star_waltz.xm": cold_star_waltz,
    "turbo_lagoon.xm": turbo_lagoon,
    "neon_harbour.xm": neon_harbour,
}


# the copies' levels against the song, in dB
LEVEL_COPIES = (-18, -9, 6)


def at_level(comp, db):
    """The song db decibels quieter or louder, every sample left unclipped.

    Quieter: every sample scaled, kept as 16 bits so that the quiet copy keeps its detail.
    6 dB louder: every channel played twice in step, which sums to twice the amplitude.
    """
    if db == 6:
        comp.patterns = [[row + [list(cell) for cell in row] for row in pat] for pat in comp.patterns]
        comp.nch *= 2
        return comp
    assert db < 0, "a louder copy would clip its samples"
    scale = 10 ** (db / 20)
    for sample in {id(i.sample): i.sample for i in comp.instruments}.values():
        sample.frames = [f * scale for f in sample.frames]
        sample.bits = 16
    return comp


def with_silence(comp, seconds=10):
    """The song with at least `seconds` of silence halfway through."""
    rest = comp.commit(comp.new_pattern())
    pattern_seconds = comp.rows * comp.speed * 2.5 / comp.bpm
    half = len(comp.order) // 2
    comp.order[half:half] = [rest] * math.ceil(seconds / pattern_seconds)
    return comp


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    levels = sys.argv[1:2] == ["--levels"]
    args = sys.argv[2:] if levels else sys.argv[1:]
    out = args[0] if args else os.path.join(here, "..", "data", "songs")
    os.makedirs(out, exist_ok=True)
    if levels:
        for name, make in SONGS.items():
            for db in LEVEL_COPIES:
                comp, restart = make()
                copy = "%s%+ddB.xm" % (name[:-3], db)
                with open(os.path.join(out, copy), "wb") as f:
                    f.write(at_level(comp, db).to_bytes(restart))
        comp, restart = night_drive()
        with open(os.path.join(out, "night_drive-silence.xm"), "wb") as f:
            f.write(with_silence(comp).to_bytes(restart))
        return
    for name, make in SONGS.items():
        comp, restart = make()
        with open(os.path.join(out, name), "wb") as f:
            f.write(comp.to_bytes(restart))
        print(
            "%-22s %3d patterns %2d orders %2d channels %6.1f s"
            % (name, len(comp.patterns), len(comp.order), comp.nch, comp.seconds())
        )


if __name__ == "__main__":
    main()
