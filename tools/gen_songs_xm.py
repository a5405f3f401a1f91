"""XM module writer and chip-style instrument synthesis for tools/gen_songs.py.

Pure Python and fully deterministic: the same inputs always give the same bytes.
"""
import math
import struct

KEY_OFF = 97
C4_HZ = 261.6255653
XM_C4_RATE = 8363  # rate a sample plays at for C-4 with relative note 0, finetune 0


def tuning_for_cycle(cycle_len):
    """Relative note and finetune so that a loop of cycle_len frames sounds C at C-4."""
    return tuning_for_rate(C4_HZ * cycle_len)


def tuning_for_rate(rate_hz):
    """Relative note and finetune so that C-4 plays the sample back at rate_hz."""
    semis = 12.0 * math.log2(rate_hz / XM_C4_RATE)
    rel = int(round(semis))
    fine = int(round((semis - rel) * 128))
    return rel, max(-128, min(127, fine))


class Sample:
    def __init__(self, name, frames, bits=8, loop=None, volume=64, panning=128, rel_note=0, finetune=0):
        # frames: floats in [-1, 1]; loop: (start, length) in frames or None
        self.name = name
        self.frames = frames
        self.bits = bits
        self.loop = loop
        self.volume = volume
        self.panning = panning
        self.rel_note = rel_note
        self.finetune = finetune

    def data(self):
        top = 127 if self.bits == 8 else 32767
        ints = [max(-top - 1, min(top, int(round(f * top)))) for f in self.frames]
        out = bytearray()
        prev = 0
        for v in ints:
            d = v - prev
            prev = v
            if self.bits == 8:
                out.append(d & 0xFF)
            else:
                out += struct.pack("<H", d & 0xFFFF)
        return bytes(out)

    def header(self, nbytes):
        width = 1 if self.bits == 8 else 2
        if self.loop:
            ls, ll = self.loop[0] * width, self.loop[1] * width
            kind = 1
        else:
            ls, ll, kind = 0, 0, 0
        if self.bits == 16:
            kind |= 0x10
        return struct.pack(
            "<IIIBbBBbB22s",
            nbytes,
            ls,
            ll,
            self.volume,
            self.finetune,
            kind,
            self.panning,
            self.rel_note,
            0,
            self.name.encode("ascii")[:22],
        )


class Instrument:
    def __init__(
        self, name, sample, vol_env=None, vol_sustain=None, pan_env=None, pan_loop=None, fadeout=0, vib=(0, 0, 0, 0)
    ):
        # vol_env/pan_env: [(tick, value)], values 0..64 (pan: 32 is centre)
        self.name = name
        self.sample = sample
        self.vol_env = vol_env or []
        self.vol_sustain = vol_sustain
        self.pan_env = pan_env or []
        self.pan_loop = pan_loop
        self.fadeout = fadeout
        self.vib = vib

    def to_bytes(self):
        def points(env):
            raw = b"".join(struct.pack("<HH", x, y) for x, y in env)
            return raw + b"\0" * (48 - len(raw))

        vtype = 0
        if self.vol_env:
            vtype = 1 | (2 if self.vol_sustain is not None else 0)
        ptype = 0
        if self.pan_env:
            ptype = 1 | (4 if self.pan_loop is not None else 0)
        ploop = self.pan_loop or (0, 0)
        body = struct.pack("<22sBH", self.name.encode("ascii")[:22], 0, 1)
        body += struct.pack("<I", 40) + b"\0" * 96
        body += points(self.vol_env) + points(self.pan_env)
        body += struct.pack(
            "<BBBBBBBBBB",
            len(self.vol_env),
            len(self.pan_env),
            self.vol_sustain or 0,
            0,
            0,
            0,
            ploop[0],
            ploop[1],
            vtype,
            ptype,
        )
        body += struct.pack("<BBBB", *self.vib)
        body += struct.pack("<H", self.fadeout) + b"\0" * 22
        head = struct.pack("<I", 4 + len(body)) + body
        data = self.sample.data()
        return head + self.sample.header(len(data)) + data


def pack_pattern(rows):
    """rows: list of rows, each a list of cells (note, ins, vol, fx, param) with 0 for empty."""
    out = bytearray()
    for row in rows:
        for note, ins, vol, fx, par in row:
            flags = 0x80
            fields = b""
            for bit, val in ((1, note), (2, ins), (4, vol), (8, fx), (16, par)):
                if val:
                    flags |= bit
                    fields += bytes([val])
            out.append(flags)
            out += fields
    return struct.pack("<IBHH", 9, 0, len(rows), len(out)) + bytes(out)


def write_xm(title, channels, speed, bpm, order, restart, patterns, instruments):
    head = b"Extended Module: " + title.encode("ascii")[:20].ljust(20, b"\0") + b"\x1a"
    head += b"chipdisk gen_songs".ljust(20, b"\0") + struct.pack("<H", 0x0104)
    head += struct.pack(
        "<IHHHHHHHH", 276, len(order), restart, channels, len(patterns), len(instruments), 1, speed, bpm
    )
    head += bytes(order).ljust(256, b"\0")
    return head + b"".join(pack_pattern(p) for p in patterns) + b"".join(i.to_bytes() for i in instruments)


# ---- waveforms --------------------------------------------------------------

CYCLE = 64  # frames per loop cycle; 64 frames at C-4 needs relative note +12


def _looped(name, cyc, **kw):
    rel, fine = tuning_for_cycle(len(cyc))
    return Sample(name, cyc, bits=8, loop=(0, len(cyc)), rel_note=rel, finetune=fine, **kw)


def pulse(duty, **kw):
    high = int(round(CYCLE * duty))
    # zero mean so that envelopes do not thump
    hi, lo = 1.0 - duty, -duty
    scale = 0.9 / max(hi, -lo)
    cyc = [hi * scale if i < high else lo * scale for i in range(CYCLE)]
    return _looped("pulse %d%%" % round(duty * 100), cyc, **kw)


def triangle(**kw):
    # 16 steps, the stepped triangle of console sound chips
    cyc = []
    for i in range(CYCLE):
        ph = i / CYCLE
        v = 4 * ph - 1 if ph < 0.5 else 3 - 4 * ph
        cyc.append(round(v * 7.5 + 7.5) / 7.5 - 1.0)
    return _looped("triangle", [x * 0.95 for x in cyc], **kw)


def saw(**kw):
    cyc = [0.85 * (2 * i / CYCLE - 1) for i in range(CYCLE)]
    return _looped("saw", cyc, **kw)


DRUM_RATE = XM_C4_RATE * 2


class Lfsr:
    """15-bit noise register, as in console sound chips."""

    def __init__(self, seed=1, short=False):
        self.reg = seed
        self.tap = 6 if short else 1

    def next(self):
        bit = (self.reg ^ (self.reg >> self.tap)) & 1
        self.reg = (self.reg >> 1) | (bit << 14)
        return 1.0 if self.reg & 1 else -1.0


def _drum(name, frames, **kw):
    rel, fine = tuning_for_rate(DRUM_RATE)
    return Sample(name, frames, bits=16, rel_note=rel, finetune=fine, **kw)


def kick(**kw):
    n = int(DRUM_RATE * 0.28)
    out, ph = [], 0.0
    noise = Lfsr(0x1234)
    for i in range(n):
        t = i / DRUM_RATE
        f = 45 + 120 * math.exp(-t * 28)
        ph += 2 * math.pi * f / DRUM_RATE
        amp = math.exp(-t * 9)
        click = noise.next() * 0.35 * math.exp(-t * 260)
        out.append(0.92 * (amp * math.sin(ph) + click) / 1.0)
    return _drum("kick", [max(-1, min(1, x)) for x in out], **kw)


def snare(**kw):
    n = int(DRUM_RATE * 0.22)
    out, ph = [], 0.0
    noise = Lfsr(0x2ACE)
    hold, v = 0, 0.0
    for i in range(n):
        t = i / DRUM_RATE
        if hold == 0:
            v = noise.next()
            hold = 2
        hold -= 1
        ph += 2 * math.pi * (185 - 40 * min(1.0, t * 20)) / DRUM_RATE
        body = math.sin(ph) * math.exp(-t * 30) * 0.55
        out.append(0.8 * (v * math.exp(-t * 16) + body))
    return _drum("snare", [max(-1, min(1, x)) for x in out], **kw)


def hat(length, seed, **kw):
    n = int(DRUM_RATE * length)
    noise = Lfsr(seed, short=False)
    out, prev = [], 0.0
    for i in range(n):
        t = i / DRUM_RATE
        v = noise.next()
        hp = (v - prev) * 0.5  # first difference keeps only the fizz
        prev = v
        out.append(0.85 * hp * math.exp(-t * (5.0 / length)))
    return _drum("hat", out, **kw)
