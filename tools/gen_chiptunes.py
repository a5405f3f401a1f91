#!/usr/bin/python3
"""Composes the music disk's chip songs: a C64 SID tune and a Sega PSG (SN76489) VGM.

Usage: gen_chiptunes.py [OUT_DIR]       iron_comet.sid and mint_circuit.vgm
                                        (default: data/songs next to this tool)
       gen_chiptunes.py --tests DIR     small files for the player's tests (not shipped):
                                        two.sid   2 subsongs, default the second;
                                                  triangle 440 Hz, then 880 Hz
                                        tone.nsf  2 songs: pulse 1 at 440 Hz, then 660 Hz
                                        tone.gbs  2 songs, default the second: the Game
                                                  Boy's pulse 1 at 440 Hz, then 660 Hz
                                        tone.vgm  5 s of a 440 Hz PSG tone

The SID tune is a PSID v2 file whose 6502 player routine is assembled here (see
PLAYER): it steps through order lists and patterns for the three voices, with
per-instrument wave tables (arpeggios, drums), pulse-width sweeps and vibrato.
The VGM is a register stream for the PSG, rendered frame by frame at 60 Hz from
the same kind of note lists, with software envelopes, arpeggios and vibrato.
Melodies are written as chord-relative scale degrees with the helpers of
gen_songs.py. Plain Python, no packages, no randomness beyond fixed seeds, so every
run writes the same bytes.
"""
import math
import os
import re
import struct
import sys

sys.dont_write_bytecode = True  # keep the source tree clean
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from gen_songs import Comp, chords  # noqa: E402

AUTHOR = "chipdisk"
RELEASED = "2026 chipdisk"


# ---- a small 6502 assembler ---------------------------------------------------------

OPS = {
    "LDA": {"imm": 0xA9, "zp": 0xA5, "zpx": 0xB5, "abs": 0xAD, "abx": 0xBD, "aby": 0xB9, "izy": 0xB1},
    "LDX": {"imm": 0xA2, "zp": 0xA6, "abs": 0xAE, "aby": 0xBE},
    "LDY": {"imm": 0xA0, "zp": 0xA4, "zpx": 0xB4, "abs": 0xAC, "abx": 0xBC},
    "STA": {"zp": 0x85, "zpx": 0x95, "abs": 0x8D, "abx": 0x9D, "aby": 0x99, "izy": 0x91},
    "STX": {"zp": 0x86, "abs": 0x8E},
    "STY": {"zp": 0x84, "abs": 0x8C},
    "ADC": {"imm": 0x69, "zp": 0x65, "abs": 0x6D, "abx": 0x7D, "aby": 0x79},
    "SBC": {"imm": 0xE9, "zp": 0xE5, "abs": 0xED, "abx": 0xFD, "aby": 0xF9},
    "AND": {"imm": 0x29, "zp": 0x25, "abs": 0x2D, "abx": 0x3D, "aby": 0x39},
    "ORA": {"imm": 0x09, "zp": 0x05, "abs": 0x0D, "abx": 0x1D, "aby": 0x19},
    "EOR": {"imm": 0x49, "zp": 0x45, "abs": 0x4D, "abx": 0x5D, "aby": 0x59},
    "CMP": {"imm": 0xC9, "zp": 0xC5, "abs": 0xCD, "abx": 0xDD, "aby": 0xD9},
    "CPX": {"imm": 0xE0, "zp": 0xE4, "abs": 0xEC},
    "CPY": {"imm": 0xC0, "zp": 0xC4, "abs": 0xCC},
    "INC": {"zp": 0xE6, "abs": 0xEE, "abx": 0xFE},
    "DEC": {"zp": 0xC6, "abs": 0xCE, "abx": 0xDE},
    "ASL": {"acc": 0x0A, "zp": 0x06, "abs": 0x0E},
    "LSR": {"acc": 0x4A, "zp": 0x46, "abs": 0x4E},
    "JMP": {"abs": 0x4C},
    "JSR": {"abs": 0x20},
}
IMPLIED = {
    "RTS": 0x60,
    "CLC": 0x18,
    "SEC": 0x38,
    "TAX": 0xAA,
    "TXA": 0x8A,
    "TAY": 0xA8,
    "TYA": 0x98,
    "INX": 0xE8,
    "INY": 0xC8,
    "DEX": 0xCA,
    "DEY": 0x88,
    "PHA": 0x48,
    "PLA": 0x68,
    "SEI": 0x78,
    "CLI": 0x58,
    "NOP": 0xEA,
}
BRANCH = {"BCC": 0x90, "BCS": 0xB0, "BEQ": 0xF0, "BNE": 0xD0, "BMI": 0x30, "BPL": 0x10}
SIZE = {"acc": 1, "imm": 2, "zp": 2, "zpx": 2, "izy": 2, "abs": 3, "abx": 3, "aby": 3}


def _value(expr, syms):
    """expr's value, or None while a label it names is still unknown (first pass)."""
    expr = expr.strip()
    part = None
    if expr[:1] in "<>":
        part, expr = expr[0], expr[1:]
    try:
        v = eval(re.sub(r"\$([0-9A-Fa-f]+)", r"0x\1", expr), {"__builtins__": {}}, syms)
    except NameError:
        return None
    return v & 0xFF if part == "<" else (v >> 8) & 0xFF if part == ">" else v


def assemble(source, org):
    """Two passes over `source`; returns (bytes, symbols).

    An operand whose value is known on the first pass and below $100 takes the zero-page
    form; the choice is kept for the second pass so that no address moves between them.
    """
    lines = [ln.split(";")[0].rstrip() for ln in source.splitlines()]
    modes = {}
    syms = {}
    for final in (False, True):
        pc, out = org, bytearray()
        for i, line in enumerate(lines):
            m = re.match(r"\s*([A-Za-z_]\w*):(.*)$", line)
            if m:
                syms[m.group(1)] = pc
                line = m.group(2)
            text = line.strip()
            if not text:
                continue
            m = re.match(r"([A-Za-z_]\w*)\s*=\s*(.+)$", text)
            if m:
                syms[m.group(1)] = _value(m.group(2), syms)
                continue
            op, _, arg = text.partition(" ")
            op, arg = op.upper(), arg.strip()
            if op in (".BYTE", ".WORD"):
                width = 1 if op == ".BYTE" else 2
                for item in arg.split(","):
                    v = _value(item, syms)
                    if final and v is None:
                        raise ValueError("unknown value in line %d: %s" % (i + 1, line))
                    out += (v or 0).to_bytes(width, "little")
                    pc += width
                continue
            if op == ".FILL":
                n = _value(arg, syms)
                out += bytes(n)
                pc += n
                continue
            if op in IMPLIED:
                out.append(IMPLIED[op])
                pc += 1
                continue
            if op in BRANCH:
                target = _value(arg, syms)
                off = 0 if target is None else target - (pc + 2)
                if final and not -128 <= off <= 127:
                    raise ValueError("branch out of range in line %d" % (i + 1))
                out += bytes((BRANCH[op], off & 0xFF))
                pc += 2
                continue
            forms = OPS[op]
            if arg.upper() == "A":
                mode, expr = "acc", None
            elif arg.startswith("#"):
                mode, expr = "imm", arg[1:]
            elif arg.upper().endswith("),Y"):
                mode, expr = "izy", arg[1:-3]
            elif arg.upper().endswith(",X"):
                mode, expr = "x", arg[:-2]
            elif arg.upper().endswith(",Y"):
                mode, expr = "aby", arg[:-2]
            else:
                mode, expr = "a", arg
            v = None if expr is None else _value(expr, syms)
            if i not in modes:
                if mode in ("x", "a"):
                    short = "zpx" if mode == "x" else "zp"
                    wide = "abx" if mode == "x" else "abs"
                    mode = short if v is not None and v < 0x100 and short in forms else wide
                modes[i] = mode
            mode = modes[i]
            if final and expr is not None and v is None:
                raise ValueError("unknown value in line %d: %s" % (i + 1, line))
            out.append(forms[mode])
            if SIZE[mode] > 1:
                out += ((v or 0) & (0xFF if SIZE[mode] == 2 else 0xFFFF)).to_bytes(SIZE[mode] - 1, "little")
            pc += SIZE[mode]
    return bytes(out), syms


def byte_lines(label, values):
    rows = ["%s:" % label]
    for i in range(0, len(values), 16):
        rows.append("    .byte " + ",".join(str(v) for v in values[i : i + 16]))
    if not values:
        rows.append("    .fill 0")
    return "\n".join(rows)


# ---- the C64 player -----------------------------------------------------------------

# Pattern bytes: $00 rest (gate off), $01-$5F note, $60-$7F duration from DURTAB (sticky),
# $80-$FE instrument (sticky), $FF end of pattern. Order lists: pattern numbers, then
# $FF and the position to go on from.
# Wave table rows: control register value (gate bit is the player's) and a pitch,
# relative semitones, or $80 + absolute note; control $FF jumps to the row in the pitch.
PLAYER = """
SID = $D400
ptr = $FB           ; pattern read position (zero page for (ptr),Y)
optr = $FD          ; order list of the voice being advanced
PWTOP = $0E         ; pulse width sweeps between 12 and 88 %
PWBOT = $02

        JMP init
        JMP play

init:   LDA #0
        LDX #$18
clrsid: STA SID,X
        DEX
        BPL clrsid
        LDX #VARLEN
clrvar: STA vars-1,X
        DEX
        BNE clrvar
        LDA #$0F
        STA SID+$18
        LDX #2
initv:  LDA PWINIT,X
        STA pwhi,X
        LDA #1
        STA left,X
        JSR nextorder
        LDA ptr
        STA plo,X
        LDA ptr+1
        STA phi,X
        DEX
        BPL initv
        RTS

play:   LDX #0
pv:     LDA REGOFF,X
        STA reg
        JSR voice
        INX
        CPX #3
        BNE pv
        RTS

voice:  DEC left,X
        BNE held
        JSR fetch
held:   LDY cins,X
        STY ins
        LDA left,X
        CMP #2
        BNE sound
        ; gate off two frames early so that the next note's attack starts from release;
        ; hard-restart instruments also zero ADSR to dodge the envelope delay bug
        LDA #0
        STA gate,X
        LDA I_HR,Y
        BEQ sound
        LDY reg
        LDA #0
        STA SID+5,Y
        STA SID+6,Y
sound:  LDA note,X
        BNE wave
        RTS
wave:   LDY wpos,X
wnext:  LDA WT_CTRL,Y
        CMP #$FF
        BNE wstep
        LDA WT_NOTE,Y
        TAY
        JMP wnext
wstep:  AND #$FE
        ORA gate,X
        STA ctrl
        LDA WT_NOTE,Y
        BMI wabs
        CLC
        ADC note,X
        JMP wpitch
wabs:   AND #$7F
wpitch: STA tmp
        INY
        TYA
        STA wpos,X
        LDY tmp
        LDA FLO,Y
        STA flo
        LDA FHI,Y
        STA fhi
        LDA age,X
        CMP #$FF
        BEQ aged
        INC age,X
aged:   LDY ins
        LDA I_VIB,Y
        BEQ nvib
        CMP age,X
        BCS nvib
        ; vibrato steps of freq/256 (about 7 cents), so its depth is the same on every note
        LDY vibph,X
        LDA VIBTAB,Y
        STA k
        INY
        CPY #VIBLEN
        BNE vph
        LDY #0
vph:    TYA
        STA vibph,X
        LDA fhi
        STA d
        LDA k
        BEQ nvib
        BMI vdown
vup:    LDA flo
        CLC
        ADC d
        STA flo
        BCC vup1
        INC fhi
vup1:   DEC k
        BNE vup
        JMP nvib
vdown:  LDA flo
        SEC
        SBC d
        STA flo
        BCS vdn1
        DEC fhi
vdn1:   INC k
        BNE vdown
nvib:   LDY ins
        LDA I_PWSPD,Y
        BEQ pwout
        STA tmp
        LDA pwdir,X
        BNE pwdown
        LDA pwlo,X
        CLC
        ADC tmp
        STA pwlo,X
        LDA pwhi,X
        ADC #0
        STA pwhi,X
        CMP #PWTOP
        BCC pwout
        LDA #1
        STA pwdir,X
        JMP pwout
pwdown: LDA pwlo,X
        SEC
        SBC tmp
        STA pwlo,X
        LDA pwhi,X
        SBC #0
        STA pwhi,X
        CMP #PWBOT
        BCS pwout
        LDA #0
        STA pwdir,X
pwout:  LDY reg
        LDA flo
        STA SID+0,Y
        LDA fhi
        STA SID+1,Y
        LDA pwlo,X
        STA SID+2,Y
        LDA pwhi,X
        STA SID+3,Y
        LDA ctrl
        STA SID+4,Y
        RTS

fetch:  LDA plo,X
        STA ptr
        LDA phi,X
        STA ptr+1
fbyte:  LDY #0
        LDA (ptr),Y
        INC ptr
        BNE fb1
        INC ptr+1
fb1:    CMP #$FF
        BNE fcmd
        JSR nextorder
        JMP fbyte
fcmd:   CMP #$80
        BCC fdur
        AND #$7F
        STA inst,X
        JMP fbyte
fdur:   CMP #$60
        BCC fnote
        TAY
        LDA DURTAB-$60,Y
        STA dur,X
        JMP fbyte
fnote:  STA tmp
        LDA ptr
        STA plo,X
        LDA ptr+1
        STA phi,X
        LDA dur,X
        STA left,X
        LDA tmp
        BNE fon
        STA gate,X
        RTS
fon:    STA note,X
        LDA #1
        STA gate,X
        LDA #0
        STA age,X
        STA vibph,X
        LDY inst,X
        TYA
        STA cins,X
        LDA I_WAVE,Y
        STA wpos,X
        LDA I_AD,Y
        STA tmp
        LDA I_SR,Y
        LDY reg
        STA SID+6,Y
        LDA tmp
        STA SID+5,Y
        RTS

nextorder:
        LDA ORDLO,X
        STA optr
        LDA ORDHI,X
        STA optr+1
        LDY ordpos,X
        LDA (optr),Y
        CMP #$FF
        BNE ogo
        INY
        LDA (optr),Y
        TAY
        LDA (optr),Y
ogo:    STA tmp
        INY
        TYA
        STA ordpos,X
        LDY tmp
        LDA PATLO,Y
        STA ptr
        LDA PATHI,Y
        STA ptr+1
        RTS

REGOFF: .byte 0,7,14
"""

# per-voice state (three bytes each, indexed by X) and scratch bytes, cleared by init
PLAYER_VARS = (
    "plo phi ordpos inst cins dur left note gate age vibph wpos pwlo pwhi pwdir",
    "reg ins ctrl flo fhi k d tmp",
)

PAL_CLOCK = 985248
VIBTAB = [0, 1, 2, 2, 1, 0, -1, -2, -2, -1]


def sid_freq_hz(hz):
    return min(0xFFFF, int(round(hz * 16777216 / PAL_CLOCK)))


def sid_freq(semi):
    return sid_freq_hz(440.0 * 2 ** ((semi - 57) / 12))


class SidInstrument:
    def __init__(self, name, ad, sr, wave, pw_speed=0, vib=0, hr=True):
        # wave: [(control, pitch)] rows; pitch an int offset or ('abs', note); the last
        # row repeats unless the list ends with ('loop', row)
        self.name, self.ad, self.sr, self.wave = name, ad, sr, wave
        self.pw_speed, self.vib, self.hr = pw_speed, vib, hr


def player_tables(instruments):
    """Wave table and instrument table source lines for the player."""
    ctrl, pitch, start = [], [], []
    for ins in instruments:
        base = len(ctrl)
        start.append(base)
        rows = list(ins.wave)
        loop = len(rows) - 1
        if rows[-1][0] == "loop":
            loop = rows.pop()[1]
        for c, p in rows:
            ctrl.append(c)
            pitch.append(0x80 | p[1] if isinstance(p, tuple) else p)
        ctrl.append(0xFF)
        pitch.append(base + loop)
    assert len(ctrl) <= 256
    return "\n".join(
        [
            byte_lines("WT_CTRL", ctrl),
            byte_lines("WT_NOTE", pitch),
            byte_lines("I_WAVE", start),
            byte_lines("I_AD", [i.ad for i in instruments]),
            byte_lines("I_SR", [i.sr for i in instruments]),
            byte_lines("I_HR", [1 if i.hr else 0 for i in instruments]),
            byte_lines("I_VIB", [i.vib for i in instruments]),
            byte_lines("I_PWSPD", [i.pw_speed for i in instruments]),
        ]
    )


class SidTune:
    """Three voices of (row, rows, instrument name or None for rest, note) per section."""

    def __init__(self, speed, instruments, pw_init=(8, 4, 6)):
        self.speed = speed
        self.instruments = instruments
        self.index = {ins.name: i for i, ins in enumerate(instruments)}
        self.pw_init = pw_init
        self.durations = []
        self.patterns = []
        self.orders = [[], [], []]
        self.loop = [0, 0, 0]
        self.rows = 0

    def duration(self, frames):
        if frames not in self.durations:
            self.durations.append(frames)
        assert len(self.durations) <= 32, "more than 32 note lengths"
        return self.durations.index(frames)

    def encode(self, events, rows):
        """Pattern bytes for one voice's section, rests filling every gap."""
        out = bytearray()
        cur_ins = cur_dur = None
        at = 0
        events = sorted(events) + [(rows, 0, None, 0)]
        for row, length, name, semi in events:
            while at < row:  # rest up to this event; long rests split at 255 frames
                n = min(row - at, 255 // self.speed)
                d = self.duration(n * self.speed)
                if d != cur_dur:
                    out.append(0x60 + d)
                    cur_dur = d
                out.append(0)
                at += n
            if name is None:
                break
            nxt = min(e[0] for e in events if e[0] > row)
            length = min(length, nxt - row)
            assert length * self.speed <= 255, "note too long for one duration"
            ins = self.index[name]
            if ins != cur_ins:
                out.append(0x80 + ins)
                cur_ins = ins
            d = self.duration(length * self.speed)
            if d != cur_dur:
                out.append(0x60 + d)
                cur_dur = d
            assert 1 <= semi <= 95
            out.append(semi)
            at = row + length
        out.append(0xFF)
        return bytes(out)

    def section(self, voices, rows=64):
        for v in range(3):
            pat = self.encode(voices[v], rows)
            if pat not in self.patterns:
                self.patterns.append(pat)
            self.orders[v].append(self.patterns.index(pat))
        self.rows += rows

    def mark_loop(self):
        self.loop = [len(o) for o in self.orders]

    def seconds(self):
        return self.rows * self.speed / 50.0

    def binary(self, org=0x1000):
        """The player, its tables and the music, assembled at org."""
        per_voice, scratch = PLAYER_VARS
        src = [
            PLAYER,
            "VIBLEN = %d" % len(VIBTAB),
            byte_lines("VIBTAB", [v & 0xFF for v in VIBTAB]),
            byte_lines("PWINIT", list(self.pw_init)),
            byte_lines("DURTAB", self.durations),
            player_tables(self.instruments),
            byte_lines("FLO", [sid_freq(n) & 0xFF for n in range(96)]),
            byte_lines("FHI", [sid_freq(n) >> 8 for n in range(96)]),
            "ORDLO: .byte <ord0,<ord1,<ord2",
            "ORDHI: .byte >ord0,>ord1,>ord2",
        ]
        for v in range(3):
            src.append(byte_lines("ord%d" % v, self.orders[v] + [0xFF, self.loop[v]]))
        names = ["pat%d" % i for i in range(len(self.patterns))]
        src.append("PATLO: .byte " + ",".join("<" + n for n in names))
        src.append("PATHI: .byte " + ",".join(">" + n for n in names))
        for n, pat in zip(names, self.patterns):
            src.append(byte_lines(n, list(pat)))
        src.append("vars:")
        for name in per_voice.split():
            src.append("%s: .fill 3" % name)
        for name in scratch.split():
            src.append("%s: .fill 1" % name)
        count = 3 * len(per_voice.split()) + len(scratch.split())
        src.append("VARLEN = %d" % count)
        code, syms = assemble("\n".join(src), org)
        return code, syms


def psid(code, org, init, play, title, author, released, songs=1, start=1):
    """PSID v2: load address 0 in the header, the C64 file's own two bytes before the code."""

    def text(s):
        return s.encode("latin-1")[:32].ljust(32, b"\0")

    flags = 0x04 | 0x10  # built-in player, PAL, 6581
    head = struct.pack(
        ">4sHHHHHHHI32s32s32sHBBH",
        b"PSID",
        2,
        0x7C,
        0,
        init,
        play,
        songs,
        start,
        0,
        text(title),
        text(author),
        text(released),
        flags,
        0,
        0,
        0,
    )
    assert len(head) == 0x7C
    return head + struct.pack("<H", org) + code


# ---- composition helpers shared by both chips -----------------------------------------


def bass_events(comp, chs, bars, low, drums=None):
    """bars: one figure per bar of tokens row:len:what; what is an interval ('n' leads to
    the next root, '3'/'5' chord tones) or a key of `drums` (played at its own pitch)."""
    events = []
    for bar, figure in enumerate(bars):
        for tok in figure.split():
            row, length, what = tok.split(":")
            start = bar * comp.bar + int(row)
            if drums and what in drums:
                events.append((start, int(length), drums[what], 48))
                continue
            events.append((start, int(length), None, comp.bass_note(chs, start, what, low)))
    return events


def chord_hits(comp, chs, hits, octave, length=None):
    """(row, rows, chord, root) for chords struck at the bar rows in hits."""
    out = []
    for bar in range(comp.rows // comp.bar):
        for j, h in enumerate(hits):
            row = bar * comp.bar + h
            end = length or ((hits[j + 1] if j + 1 < len(hits) else comp.bar) - h)
            c = comp.chord_at(chs, row)
            out.append((row, end, c, c.pc + 12 * octave))
    return out


def lead_events(comp, chs, plan, octave, shift=0):
    return [(r, n, s) for r, n, s, _ in comp.motif_events(chs, plan, shift, octave)]


# ---- the SID tune ----------------------------------------------------------------------


def sid_arp_name(c):
    return "arp%d%d" % (c.arp >> 4, c.arp & 15)


def iron_comet():
    """C minor at 125 BPM: i-VI-III-VII; bass and drums share voice 1, chord arpeggios
    with a pulse sweep on voice 2, the lead on voice 3."""
    c = Comp("iron comet", "C", "minor", 6, 125, ["lead"], seed=77)
    A, A2 = chords("Cm Ab Eb Bb"), chords("Cm Ab Fm G")
    B, B2 = chords("Ab Bb Gm Cm"), chords("Fm Ab G G")
    every = A + A2 + B + B2
    ins = [
        SidInstrument("bass", 0x0A, 0x89, [(0x41, 0)], pw_speed=0x28),
        SidInstrument(
            "kick",
            0x08,
            0x00,
            [
                (0x81, ("abs", 64)),
                (0x41, ("abs", 45)),
                (0x41, ("abs", 38)),
                (0x11, ("abs", 33)),
                (0x11, ("abs", 29)),
                (0x11, ("abs", 26)),
                (0x11, ("abs", 24)),
            ],
        ),
        SidInstrument(
            "snare",
            0x0A,
            0x00,
            [
                (0x81, ("abs", 84)),
                (0x41, ("abs", 50)),
                (0x41, ("abs", 46)),
                (0x81, ("abs", 80)),
                (0x81, ("abs", 78)),
                (0x81, ("abs", 76)),
            ],
        ),
        SidInstrument("lead", 0x19, 0xA9, [(0x41, 12), (0x41, 0)], pw_speed=0x0C, vib=14, hr=False),
        SidInstrument("glide", 0x48, 0xAA, [(0x21, 0)], vib=20, hr=False),
    ]
    for ch in every:
        name = sid_arp_name(ch)
        if name not in [i.name for i in ins]:
            x, y = ch.arp >> 4, ch.arp & 15
            ins.append(SidInstrument(name, 0x09, 0x59, [(0x41, 0), (0x41, x), (0x41, y), ("loop", 0)], pw_speed=0x18))
    tune = SidTune(6, ins)
    drums = {"K": "kick", "S": "snare"}
    groove = "0:1:K 1:3:0 4:2:S 6:2:12 8:1:K 9:3:0 12:2:S 14:2:n"
    fill = "0:1:K 1:3:0 4:2:S 6:2:12 8:2:S 10:2:S 12:1:S 13:1:S 14:1:S 15:1:S"
    calm = "0:6:0 6:2:0 8:6:5 14:2:n"
    ma = "0:4:4 4:2:2 6:2:0 8:6:4 14:2:5"
    mb = "0:2:7 2:2:6 4:4:4 8:8:2"
    mc = "0:6:4 6:2:5 8:4:7 12:4:4"
    md = "0:8:2 8:4:1 12:4:0"
    cad = "0:14:0"

    def sec(chs, plan=None, beat=True, fill_bar=False, hits=(0, 6, 12), lead="lead", octave=5):
        bars = [groove if beat else calm] * 4
        if fill_bar:
            bars[3] = fill
        v1 = [(r, n, name or "bass", semi) for r, n, name, semi in bass_events(c, chs, bars, 24, drums)]
        v2 = [(r, n, sid_arp_name(ch), root) for r, n, ch, root in chord_hits(c, chs, hits, 4)]
        v3 = [(r, n, lead, s) for r, n, s in lead_events(c, chs, plan, octave)] if plan else []
        tune.section([v1, v2, v3])

    sec(A, beat=False, hits=(0, 8))
    tune.mark_loop()
    sec(A, [ma, mb, ma, c.vary(mb)])
    sec(A2, [ma, mb, mc, md], fill_bar=True)
    sec(B, [mc, mc, mb, cad])
    sec(B2, [md, mc, ma, cad], fill_bar=True)
    sec(A, [ma, mb, ma, c.vary(mb)])
    sec(A2, [ma, mb, mc, md], fill_bar=True)
    sec(A, ["0:16:4", "0:16:2", "0:16:4", "0:16:7"], beat=False, hits=(0, 8), lead="glide", octave=4)
    sec(B, ["0:16:2", "0:8:4 8:8:2", "0:16:4", "0:16:0"], beat=False, hits=(0, 4, 8, 12), lead="glide", octave=4)
    sec(B, [mc, mc, mb, cad])
    sec(B2, [md, mc, ma, cad], fill_bar=True)
    sec(A, [ma, c.vary(mb), ma, mb])
    sec(A2, [ma, mb, mc, md], fill_bar=True)
    sec(A, [mc, md, mb, cad], hits=(0, 8))
    org = 0x1000
    code, _ = tune.binary(org)
    # the entry points are the two jumps at the start, so they stay put as the player changes
    data = psid(code, org, org, org + 3, "iron comet", AUTHOR, RELEASED)
    return data, tune.seconds()


# ---- the PSG (SN76489) side ------------------------------------------------------------

PSG_CLOCK = 3579545
VGM_RATE = 44100
FRAME = 735  # samples per 60 Hz frame


def psg_period(semi):
    hz = 440.0 * 2 ** ((semi - 57) / 12)
    return max(1, min(1023, int(round(PSG_CLOCK / (32.0 * hz)))))


class PsgInstrument:
    def __init__(self, env, sus, rel, arp=None, arp_rate=1, vib=None, drop=None, noise=None):
        # env: volume 0-15 per frame from the note's start, then sus while held; rel: volume
        # lost per frame after the key is let go; vib: (delay frames, depth semitones,
        # period frames); drop: (semitones above, frames) the pitch falls from; noise: rate
        self.env, self.sus, self.rel = env, sus, rel
        self.arp, self.arp_rate, self.vib, self.drop, self.noise = arp, arp_rate, vib, drop, noise

    def volume(self, age, gate):
        def held(a):
            return self.env[a] if a < len(self.env) else self.sus

        if age < gate:
            return held(age)
        return max(0, held(gate - 1) - self.rel * (age - gate + 1))

    def pitch(self, semi, age):
        p = semi
        if self.arp:
            p += self.arp[(age // self.arp_rate) % len(self.arp)]
        if self.vib and age >= self.vib[0]:
            delay, depth, period = self.vib
            p += depth * math.sin(2 * math.pi * (age - delay) / period)
        if self.drop and age < self.drop[1]:
            p += self.drop[0] * (self.drop[1] - age) / self.drop[1]
        return p


class VgmWriter:
    """PSG register writes frame by frame; only changed registers are written."""

    def __init__(self, headroom=0):
        # headroom: volume steps (2 dB each) taken off every voice, so that four voices
        # at full volume stay clear of the output's limit
        self.headroom = headroom
        self.data = bytearray()
        self.samples = 0
        self.pending = 0
        self.cache = {}
        self.loop_at = None
        self.loop_samples = 0

    def write(self, byte):
        self.flush_wait()
        self.data += bytes((0x50, byte))

    def flush_wait(self):
        n = self.pending
        while n > 0:
            if n == 735:
                self.data.append(0x62)
                step = 735
            elif n == 882:
                self.data.append(0x63)
                step = 882
            elif n <= 16:
                self.data.append(0x70 + n - 1)
                step = n
            else:
                step = min(n, 0xFFFF)
                self.data += bytes((0x61,)) + struct.pack("<H", step)
            n -= step
        self.pending = 0

    def wait(self, samples):
        self.pending += samples
        self.samples += samples

    def tone(self, ch, period):
        if self.cache.get(("t", ch)) != period:
            self.cache[("t", ch)] = period
            self.write(0x80 | ch << 5 | (period & 0x0F))
            self.write((period >> 4) & 0x3F)

    def volume(self, ch, vol):
        att = 15 if vol <= 0 else min(15, 15 - min(15, vol) + self.headroom)
        if self.cache.get(("v", ch)) != att:
            self.cache[("v", ch)] = att
            self.write(0x90 | ch << 5 | att)

    def noise(self, rate):
        # writing the noise register restarts the shift register, so each drum hit does
        self.write(0xE0 | 0x04 | rate)

    def mark_loop(self):
        # the loop must not rely on registers written before it: write them all again
        self.flush_wait()
        self.cache = {}
        self.loop_at = len(self.data)
        self.loop_samples = self.samples

    def finish(self):
        self.flush_wait()
        self.data.append(0x66)


def gd3(title, author, system="Sega Master System", date="2026", notes=""):
    fields = [title, "", AUTHOR, "", system, "", author, "", date, "gen_chiptunes.py", notes]
    body = b"".join(s.encode("utf-16-le") + b"\0\0" for s in fields)
    return b"Gd3 " + struct.pack("<II", 0x100, len(body)) + body


def vgm(writer, tag):
    """VGM 1.50 around the writer's stream: commands from 0x40, the tag after them."""
    head = bytearray(0x40)
    total = 0x40 + len(writer.data) + len(tag)
    head[0:4] = b"Vgm "
    struct.pack_into("<III", head, 0x04, total - 0x04, 0x150, PSG_CLOCK)
    struct.pack_into("<II", head, 0x14, 0x40 + len(writer.data) - 0x14, writer.samples)
    if writer.loop_at is not None:
        struct.pack_into("<II", head, 0x1C, 0x40 + writer.loop_at - 0x1C, writer.samples - writer.loop_samples)
    struct.pack_into("<IHBB", head, 0x24, 60, 0x0009, 16, 0)
    struct.pack_into("<I", head, 0x34, 0x40 - 0x34)
    return bytes(head) + bytes(writer.data) + tag


def render_psg(writer, channels, frames, row_frames, loop_row=None):
    """channels: 4 lists of (row, rows, instrument, semi), channel 3 the noise.

    Each note's key is let go two frames before its end, so repeated notes are heard
    as separate strikes."""
    timeline = []
    for events in channels:
        evs = sorted((r * row_frames, n * row_frames, ins, semi) for r, n, ins, semi in events)
        timeline.append(evs)
    pos = [-1] * 4
    for f in range(frames):
        if loop_row is not None and f == loop_row * row_frames:
            writer.mark_loop()
        for ch in range(4):
            evs = timeline[ch]
            while pos[ch] + 1 < len(evs) and evs[pos[ch] + 1][0] <= f:
                pos[ch] += 1
                if ch == 3 and evs[pos[ch]][0] == f:
                    writer.noise(evs[pos[ch]][2].noise)
            if pos[ch] < 0:
                writer.volume(ch, 0)
                continue
            start, length, ins, semi = evs[pos[ch]]
            age = f - start
            gate = max(1, length - 2)
            if ch < 3:
                writer.tone(ch, psg_period(ins.pitch(semi, age)))
            writer.volume(ch, ins.volume(age, gate))
        writer.wait(FRAME)


def mint_circuit():
    """A major at 128 BPM (7 frames a row at 60 Hz): I-iii-IV-V; lead, chord arpeggios or
    a delayed echo of the lead, octave bass, drums on the noise channel."""
    c = Comp("mint circuit", "A", "major", 7, 128, ["lead"], seed=88)
    A, A2 = chords("A C#m D E"), chords("A C#m Bm E")
    B, B2 = chords("F#m D A E"), chords("D E C#m F#m")
    C = chords("Bm D E E")
    lead = PsgInstrument([11, 14, 15, 14, 13], 12, 1, vib=(12, 0.22, 10))
    echo = PsgInstrument([7, 9, 9, 8], 8, 1, vib=(12, 0.22, 10))
    bass = PsgInstrument([15, 14, 13, 12, 12, 11], 11, 3, drop=(3, 2))
    kick = PsgInstrument([15, 14, 12, 10, 7, 4, 1], 0, 15, noise=2)
    snare = PsgInstrument([15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1], 0, 15, noise=1)
    hat = PsgInstrument([10, 7, 4, 1], 0, 15, noise=0)
    ohat = PsgInstrument([11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1], 0, 15, noise=0)
    kit = {"k": kick, "s": snare, "h": hat, "o": ohat}
    arps = {}

    def arp_for(ch):
        key = ch.arp
        if key not in arps:
            arps[key] = PsgInstrument([13, 12, 11, 10, 10, 9, 9], 8, 2, arp=(0, key >> 4, key & 15, 12), arp_rate=2)
        return arps[key]

    ma = "0:2:0 2:2:2 4:4:4 8:2:5 10:2:4 12:4:2"
    mb = "0:6:4 6:2:2 8:8:0"
    mc = "0:2:7 2:2:6 4:2:4 6:2:2 8:4:4 12:4:5"
    md = "0:12:4 12:4:2"
    me = "0:3:4 3:3:5 6:2:4 8:2:2 10:2:0 12:4:2"
    beat = "k.h.s.h.k.khs.h."
    beat2 = "k.h.s.h.k.khs.ho"
    fill = "k.h.s.h.k.s.ssss"
    sparse = "k.......k......."
    octave_bass = "0:2:0 2:2:12 4:2:0 6:2:12 8:2:0 10:2:12 12:2:5 14:2:n"
    walk = "0:4:0 4:2:0 6:2:5 8:4:0 12:2:3 14:2:n"
    rows = []  # per section: 4 channel lists, already offset

    def sec(chs, plan=None, drums=(beat, beat2, beat, fill), second="arp", bassf=octave_bass, hits=None):
        off = len(rows) * 64
        mel = lead_events(c, chs, plan, 4) if plan else []
        ch0 = [(off + r, n, lead, s) for r, n, s in mel]
        if second == "echo":
            ch1 = [(off + r + 3, n, echo, s) for r, n, s in mel if r + 3 < 64]
        else:
            ch1 = [(off + r, n, arp_for(ch), root) for r, n, ch, root in chord_hits(c, chs, hits or (0, 4, 8, 12), 3)]
        ch2 = [(off + r, n, bass, s) for r, n, _, s in bass_events(c, chs, [bassf] * 4, 33)]
        ch3 = []
        for b, line in enumerate(drums or ()):
            for i, k in enumerate(line):
                if k in kit:
                    ch3.append((off + b * 16 + i, 1, kit[k], 0))
        rows.append([ch0, ch1, ch2, ch3])

    sec(A, drums=(sparse, sparse, sparse, fill), bassf=walk, hits=(0, 8))
    sec(A, [ma, mb, ma, c.vary(mb)])
    sec(A2, [ma, mb, mc, md])
    sec(B, [me, me, mc, "0:16:4"], second="echo")
    sec(B2, [md, mc, me, "0:16:0"], second="echo")
    sec(A, [ma, mb, ma, c.vary(mb)])
    sec(A2, [ma, mb, mc, md])
    sec(C, ["0:16:4", "0:16:5", "0:16:4", "0:16:2"], drums=(sparse, sparse, sparse, fill), bassf=walk)
    sec(B, [me, me, mc, "0:16:4"], second="echo")
    sec(B2, [md, mc, me, "0:16:0"], second="echo")
    sec(A, [ma, c.vary(mb), ma, mb])
    sec(A2, [mc, mb, me, md])
    sec(C, [me, mc, md, "0:16:0"], second="echo")
    sec(A, [ma, mb, md, "0:16:0"], drums=(beat, beat, beat, fill), hits=(0, 8))
    channels = [sum((r[ch] for r in rows), []) for ch in range(4)]
    w = VgmWriter(headroom=1)
    frames = len(rows) * 64 * 7
    render_psg(w, channels, frames, 7, loop_row=64)
    w.finish()
    return vgm(w, gd3("mint circuit", AUTHOR)), frames / 60.0


# ---- test files ---------------------------------------------------------------------------


def two_tunes_sid():
    """Two subsongs, the second the default: a steady triangle at 440 Hz, then at 880 Hz."""
    lo = [sid_freq_hz(440) & 0xFF, sid_freq_hz(880) & 0xFF]
    hi = [sid_freq_hz(440) >> 8, sid_freq_hz(880) >> 8]
    src = (
        """
SID = $D400
        JMP init
        JMP play
init:   TAY             ; the subsong, from 0
        LDA #0
        LDX #$18
clr:    STA SID,X
        DEX
        BPL clr
        LDA #$0F
        STA SID+$18
        LDA FLO,Y
        STA SID+0
        LDA FHI,Y
        STA SID+1
        LDA #$00
        STA SID+5
        LDA #$F0
        STA SID+6
        LDA #$11
        STA SID+4
play:   RTS
"""
        + byte_lines("FLO", lo)
        + "\n"
        + byte_lines("FHI", hi)
    )
    code, _ = assemble(src, 0x1000)
    return psid(code, 0x1000, 0x1000, 0x1003, "Two Tunes", "chipdisk tests", RELEASED, songs=2, start=2)


NES_CPU = 1789773


def tone_nsf():
    """NSF, 2 songs: pulse 1 held at 440 Hz, then at 660 Hz."""
    timers = [int(round(NES_CPU / (16.0 * hz))) - 1 for hz in (440, 660)]
    src = (
        """
        JMP init
        JMP play
init:   TAY             ; the song, from 0
        LDA #$01        ; pulse 1 on before its length counter is loaded
        STA $4015
        LDA #$BF        ; 50 % duty, length counter halted, constant volume 15
        STA $4000
        LDA #$00
        STA $4001
        LDA TLO,Y
        STA $4002
        LDA THI,Y
        STA $4003
play:   RTS
"""
        + byte_lines("TLO", [t & 0xFF for t in timers])
        + "\n"
        + byte_lines("THI", [t >> 8 for t in timers])
    )
    code, syms = assemble(src, 0x8000)

    def text(s):
        return s.encode("latin-1")[:32].ljust(32, b"\0")

    head = struct.pack(
        "<5sBBBHHH32s32s32sH8sHBB4s",
        b"NESM\x1a",
        1,
        2,
        1,
        0x8000,
        syms["init"],
        syms["play"],
        text("Tone"),
        text("chipdisk tests"),
        text(RELEASED),
        16639,
        bytes(8),
        19997,
        0,
        0,
        bytes(4),
    )
    assert len(head) == 0x80
    return head + code


def tone_gbs():
    """GBS, 2 songs, the second the file's first: the Game Boy's pulse 1 held at 440 Hz,
    then at 660 Hz. The code is Game Boy CPU machine code, given as bytes: the song
    (in A, from 0) picks its two frequency bytes from a table, then a few register
    writes start the tone."""
    load = 0x0400

    def write(register, value):  # ld a, value; ldh (register), a
        return bytes([0x3E, value, 0xE0, register])

    setup = (
        write(0x26, 0x80)  # sound on
        + write(0x24, 0x77)  # both sides at full volume
        + write(0x25, 0x11)  # pulse 1 to both sides
        + write(0x11, 0x80)  # 50 % duty
        + write(0x12, 0xF0)
    )  # volume 15, no envelope
    pick = bytes([0x87, 0x5F, 0x16, 0x00, 0x21, 0, 0, 0x19])  # add a,a; ld e,a; ld d,0; ld hl,TABLE; add hl,de
    start = bytes([0x2A, 0xE0, 0x13, 0x7E, 0xE0, 0x14, 0xC9])  # ld a,(hl+); ldh (13),a; ld a,(hl); ldh (14),a; ret
    play = bytes([0xC9])  # nothing to do: the tone holds
    init = pick + setup + start
    table_at = load + len(init) + len(play)
    init = init[:5] + struct.pack("<H", table_at) + init[7:]
    table = b""
    for hz in (440, 660):
        x = 2048 - int(round(131072 / hz))  # the pulse channel's 11-bit frequency
        table += bytes([x & 0xFF, 0x80 | x >> 8])  # the high bits start it

    def text(s):
        return s.encode("latin-1")[:32].ljust(32, b"\0")

    head = struct.pack(
        "<3sBBBHHHHBB32s32s32s",
        b"GBS",
        1,
        2,
        2,
        load,
        load,
        load + len(init),
        0xFFFE,
        0,
        0,
        text("Tone"),
        text("chipdisk tests"),
        text(RELEASED),
    )
    assert len(head) == 0x70
    return head + init + play + table


def tone_vgm(seconds=5):
    w = VgmWriter()
    w.tone(0, psg_period(57))
    w.volume(0, 15)
    for ch in (1, 2, 3):
        w.volume(ch, 0)
    w.wait(seconds * VGM_RATE)
    w.finish()
    return vgm(w, gd3("Tone", "chipdisk tests"))


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    args = sys.argv[1:]
    if args[:1] == ["--tests"]:
        out = args[1]
        os.makedirs(out, exist_ok=True)
        tests = (
            ("two.sid", two_tunes_sid()),
            ("tone.nsf", tone_nsf()),
            ("tone.gbs", tone_gbs()),
            ("tone.vgm", tone_vgm()),
        )
        for name, data in tests:
            with open(os.path.join(out, name), "wb") as f:
                f.write(data)
        return
    out = args[0] if args else os.path.join(here, "..", "data", "songs")
    os.makedirs(out, exist_ok=True)
    for name, make in (("iron_comet.sid", iron_comet), ("mint_circuit.vgm", mint_circuit)):
        data, seconds = make()
        with open(os.path.join(out, name), "wb") as f:
            f.write(data)
        print("%-18s %6d bytes %6.1f s" % (name, len(data), seconds))


if __name__ == "__main__":
    main()
