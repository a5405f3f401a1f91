#!/usr/bin/python3
"""Checks the songs in data/songs. Usage: check_songs.py SOURCE_DIR regen|header|render"""
import array
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import wave

SRC = os.path.abspath(sys.argv[1])
SONGS = os.path.join(SRC, 'data', 'songs')
INTRO = 'kirrowane-intro.xm'
# channel counts the songs were composed for
CHANNELS = {'kirrowane-intro.xm': 6, 'night_drive.xm': 7, 'pixel_rain.xm': 6,
            'cold_star_waltz.xm': 5, 'turbo_lagoon.xm': 8, 'neon_harbour.xm': 6}
failures = []


def check(ok, what):
    if not ok:
        failures.append(what)
        print('FAIL: ' + what)


def song_files():
    return sorted(os.listdir(SONGS))


def test_regen():
    with tempfile.TemporaryDirectory() as tmp:
        subprocess.run(['/usr/bin/python3', os.path.join(SRC, 'tools', 'gen_songs.py'), tmp],
                       check=True, stdout=subprocess.DEVNULL)
        made, kept = sorted(os.listdir(tmp)), song_files()
        check(made == kept, 'generator writes %s, folder holds %s' % (made, kept))
        for name in made:
            if name in kept:
                with open(os.path.join(tmp, name), 'rb') as a, \
                        open(os.path.join(SONGS, name), 'rb') as b:
                    check(a.read() == b.read(), '%s differs from a fresh generation' % name)


def display_name(entry):
    cut = entry.find('.', 1)
    base = entry if cut < 0 else entry[:cut]
    return base[0] + base[1:].replace('_', ' ')


def parse_xm(data):
    """Walks the whole module; returns header fields, rows per pattern and instrument names."""
    check(data[:17] == b'Extended Module: ', 'ID text')
    check(data[37] == 0x1A, 'byte 37 is 0x1A')
    (version,) = struct.unpack_from('<H', data, 58)
    check(version == 0x0104, 'version %#06x' % version)
    hsize, length, restart, nch, npat, nins, flags, speed, bpm = \
        struct.unpack_from('<IHHHHHHHH', data, 60)
    order = list(data[80:80 + length])
    pos = 60 + hsize
    rows = []
    for p in range(npat):
        plen, packing, nrows, psize = struct.unpack_from('<IBHH', data, pos)
        check(packing == 0 and 1 <= nrows <= 256, 'pattern %d header' % p)
        body, i, cells = data[pos + plen:pos + plen + psize], 0, 0
        while i < len(body):
            b = body[i]
            if b & 0x80:
                i += 1 + bin(b & 0x1F).count('1')
            else:
                i += 5
            cells += 1
        check(i == len(body) and cells == nrows * nch,
              'pattern %d packs %d cells for %d rows x %d channels' % (p, cells, nrows, nch))
        rows.append(nrows)
        pos += plen + psize
    names = []
    for n in range(nins):
        isize, = struct.unpack_from('<I', data, pos)
        names.append(data[pos + 4:pos + 26].rstrip(b'\0').decode('ascii', 'replace'))
        nsmp, = struct.unpack_from('<H', data, pos + 27)
        if nsmp == 0:
            pos += isize
            continue
        shsize, = struct.unpack_from('<I', data, pos + 29)
        pos += isize
        total = 0
        for s in range(nsmp):
            slen, lstart, llen = struct.unpack_from('<III', data, pos + s * shsize)
            kind = data[pos + s * shsize + 14]
            check(lstart + llen <= slen, 'instrument %d loop inside its sample' % (n + 1))
            check(not (kind & 0x10) or slen % 2 == 0, 'instrument %d 16-bit length' % (n + 1))
            total += slen
        pos += nsmp * shsize + total
    check(pos == len(data), 'module ends at byte %d, file has %d' % (pos, len(data)))
    return dict(length=length, restart=restart, channels=nch, patterns=npat,
                instruments=nins, flags=flags, speed=speed, bpm=bpm, order=order,
                rows=rows, names=names)


def test_header():
    files = song_files()
    tempos = {}
    check(INTRO in files, 'the intro song is present')
    check(len(files) >= 6, 'at least six songs, found %d' % len(files))
    for f in files:
        check(f.endswith('.xm'), '%s: every entry of the folder is played as a song' % f)
        if f != INTRO:
            check('_' in f and len(display_name(f)) <= 27 and ' ' in display_name(f),
                  '%s: display name %r' % (f, display_name(f)))
        if not f.endswith('.xm'):
            continue
        with open(os.path.join(SONGS, f), 'rb') as fh:
            h = parse_xm(fh.read())
        tempos.setdefault((h['speed'], h['bpm']), []).append(f)
        check(h['channels'] == CHANNELS.get(f) and 4 <= h['channels'] <= 8,
              '%s: %d channels' % (f, h['channels']))
        check(1 <= h['length'] <= 256 and h['restart'] < h['length'],
              '%s: restart %d, song length %d' % (f, h['restart'], h['length']))
        check(all(o < h['patterns'] for o in h['order']), '%s: order names a missing pattern' % f)
        check(sorted(set(h['order'])) == list(range(h['patterns'])),
              '%s: every pattern is played' % f)
        check(h['flags'] & 1 and 1 <= h['speed'] <= 31 and 32 <= h['bpm'] <= 255,
              '%s: flags %d speed %d bpm %d' % (f, h['flags'], h['speed'], h['bpm']))
        check(h['instruments'] >= 5, '%s: %d instruments' % (f, h['instruments']))
    check(all(len(v) == 1 for v in tempos.values()), 'each song its own tempo: %s' % tempos)


def read_wav(path):
    with wave.open(path) as w:
        check(w.getsampwidth() == 2, 'rendered 16-bit')
        rate, nch = w.getframerate(), w.getnchannels()
        pcm = array.array('h')
        pcm.frombytes(w.readframes(w.getnframes()))
    if sys.byteorder != 'little':
        pcm.byteswap()
    return rate, nch, pcm


def test_render():
    tool = shutil.which('openmpt123') or '/usr/bin/openmpt123'
    rate = 11025
    with tempfile.TemporaryDirectory() as tmp:
        for f in song_files():
            src = os.path.join(tmp, f)
            shutil.copy(os.path.join(SONGS, f), src)
            info = subprocess.run([tool, '--info', src], capture_output=True, text=True)
            text = info.stdout + info.stderr
            check(info.returncode == 0 and 'warn' not in text.lower() and
                  'error' not in text.lower(), '%s: openmpt123 --info says %r' % (f, text))
            m = re.search(r'Duration\.*: (\d+):(\d+\.\d+)', text)
            ch = re.search(r'Channels\.*: (\d+)', text)
            check(m is not None and ch is not None, '%s: no duration or channels' % f)
            if not m or not ch:
                continue
            secs = int(m.group(1)) * 60 + float(m.group(2))
            check(60 <= secs <= 180, '%s: lasts %.1f s' % (f, secs))
            check(int(ch.group(1)) == CHANNELS.get(f), '%s: %s channels' % (f, ch.group(1)))
            r = subprocess.run([tool, '--render', '--samplerate', str(rate), '--no-float',
                                '--end-time', '200', '--force', '-q', src],
                               capture_output=True, text=True)
            check(r.returncode == 0, '%s: render failed: %s' % (f, r.stderr))
            wrate, nch, pcm = read_wav(src + '.wav')
            frames = len(pcm) // nch
            peak = max(max(pcm), -min(pcm)) / 32768.0
            step = 7  # a sparse sum keeps the check quick yet sees every part of the song
            rms = (sum(v * v for v in pcm[::step]) / len(pcm[::step])) ** 0.5 / 32768.0
            left = max(abs(v) for v in pcm[0::2 * step])
            right = max(abs(v) for v in pcm[1::2 * step])
            print('%-20s %6.1f s  peak %.3f  rms %.4f' % (f, frames / wrate, peak, rms))
            check(peak < 0.98, '%s: peak %.3f' % (f, peak))
            check(rms > 0.03, '%s: rms %.4f' % (f, rms))
            check(nch == 2 and left > 3000 and right > 3000, '%s: both sides sound' % f)
            check(abs(frames / wrate - secs) < 1.0,
                  '%s: renders %.2f s, reports %.2f s' % (f, frames / wrate, secs))
            # no long silent stretch: each 5 s window carries sound
            win = wrate * 5 * nch
            quiet = [i // win for i in range(0, len(pcm) - win, win)
                     if max(abs(v) for v in pcm[i:i + win:step]) < 1000]
            check(not quiet, '%s: silent 5 s windows at %s' % (f, quiet))


{'regen': test_regen, 'header': test_header, 'render': test_render}[sys.argv[2]]()
if failures:
    print('%d check(s) failed' % len(failures))
    sys.exit(1)
print('all checks passed')
