#!/usr/bin/env python3
"""Writes small FLIC and AVI seeds for the flic and avi fuzzers: every
sub-chunk kind the FLIC reader decodes, and AVI files of each DIB depth with
movi-relative and absolute index offsets, kept under the fuzzers' 4096-byte
inputs. Usage: tests/fuzz/make_animation_seeds.py"""
import os
import struct

here = os.path.dirname(os.path.abspath(__file__))


def chunk(kind, data):
    return struct.pack('<IH', len(data) + 6, kind) + data


def flic(magic, w, h, frames, speed=5):
    body = b''
    for subs in frames:
        data = b''.join(subs)
        body += struct.pack('<IHH8x', len(data) + 16, 0xF1FA, len(subs)) + data
    head = struct.pack('<IHHHHHHI', 128 + len(body), magic, len(frames), w, h, 8, 0, speed)
    return head + bytes(128 - len(head)) + body


def palette(n, shift):
    return struct.pack('<HBB', 1, 0, n) + bytes(((i * 37 + c * 80) & 0xFF) >> shift for i in range(n) for c in range(3))


def riff(kind, data):
    return kind + struct.pack('<I', len(data)) + data + (b'\0' if len(data) % 2 else b'')


def avi(w, h, bits, frames, colours=b'', compression=0, absolute=False, top_down=False):
    bih = struct.pack('<IiiHHIIiiII', 40, w, -h if top_down else h, 1, bits, compression, 0, 0, 0, len(colours) // 4, 0)
    strh = b'vids' + struct.pack('<IIHHIIIIIIII4h', 0, 0, 0, 0, 0, 1, 5, 0, len(frames), 0, 0, 0, 0, 0, w, h)
    avih = struct.pack('<IIIIIIIIII16x', 200000, 0, 0, 16, len(frames), 0, 1, 0, w, h)
    hdrl = b'LIST' + struct.pack('<I', 0) + b'hdrl' + riff(b'avih', avih) + riff(
        b'LIST', b'strl' + riff(b'strh', strh) + riff(b'strf', bih + colours) + riff(b'strn', b'seed\0'))
    hdrl = hdrl[:4] + struct.pack('<I', len(hdrl) - 8) + hdrl[8:]
    movi_at = 12 + len(hdrl) + 8  # the "movi" fourcc
    movi, index, pos = b'movi', b'', 4
    for f in frames:
        c = riff(b'00db', f)
        index += b'00db' + struct.pack('<III', 16, (movi_at + pos) if absolute else pos, len(f))
        movi += c
        pos += len(c)
    body = b'AVI ' + hdrl + riff(b'LIST', movi) + riff(b'idx1', index)
    return b'RIFF' + struct.pack('<I', len(body)) + body


def save(folder, name, data):
    os.makedirs(os.path.join(here, 'seeds', folder), exist_ok=True)
    with open(os.path.join(here, 'seeds', folder, name), 'wb') as f:
        f.write(data)


w, h = 6, 4
raw = bytes((x + y) % 4 for y in range(h) for x in range(w))
brun = b''.join(b'\x01' + bytes([0xFA]) + raw[y * w:y * w + w] for y in range(h))
ss2 = struct.pack('<HHH', 2, 0xFFFF, 1) + bytes([1, 0xFF, 7, 8]) + struct.pack('<HH', 0x8009, 1) + bytes([0, 1, 5, 6])
lc = struct.pack('<HH', 1, 2) + bytes([1, 2, 0xFD, 3]) + bytes([1, 0, 2, 4, 5])
save('flic', 'flc_runs_deltas.flc', flic(0xAF12, w, h, [
    [chunk(4, palette(16, 0)), chunk(15, brun)],
    [chunk(7, ss2), chunk(18, b'\0' * 8)],
    [chunk(13, b''), chunk(16, raw)],
    [chunk(0x99, b'xy'), chunk(7, struct.pack('<H', 0))]], speed=40))
save('flic', 'fli_64_lc.fli', flic(0xAF11, w, h, [
    [chunk(11, palette(8, 2)), chunk(16, raw)],
    [chunk(12, lc)]]))

pal = b''.join(bytes([b, g, r, 0]) for r, g, b in [(0, 0, 0), (255, 0, 0), (0, 255, 0), (0, 0, 255)])
save('avi', 'pal8_relative.avi', avi(3, 2, 8, [bytes([0, 1, 2, 0, 3, 2, 1, 0]), bytes([3, 3, 3, 0, 1, 1, 1, 0])], pal))
save('avi', 'bgr24_absolute.avi', avi(2, 2, 24, [bytes(range(6)) + b'\0\0' + bytes(range(10, 16)) + b'\0\0'], absolute=True))
save('avi', 'rgb555_topdown.avi', avi(2, 1, 16, [struct.pack('<HH', 0x7C00, 0x03FF)], top_down=True))
save('avi', 'bgra.avi', avi(1, 2, 32, [bytes([1, 2, 3, 255, 4, 5, 6, 255])]))
save('avi', 'rle8.avi', avi(4, 2, 8, [bytes([4, 1, 0, 0, 2, 2, 2, 3, 0, 1])], pal, compression=1))
