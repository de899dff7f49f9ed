#!/usr/bin/env python3
"""Writes the seed corpora of the sound pack fuzzers (fuzz/corpus/wav_decode,
sound_pack, bank_paths). Run from anywhere; the output is committed."""
import hashlib
import os
import struct

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "corpus")


def chunk(cid, body, declared=None):
    size = len(body) if declared is None else declared
    pad = b"\0" if declared is None and len(body) % 2 else b""
    return cid + struct.pack("<I", size) + body + pad


def riff(*chunks):
    body = b"WAVE" + b"".join(chunks)
    return b"RIFF" + struct.pack("<I", len(body)) + body


def fmt(tag, channels, rate, bits, sub=None):
    block = channels * (bits // 8)
    body = struct.pack("<HHIIHH", 0xFFFE if sub is not None else tag, channels, rate, rate * block, block, bits)
    if sub is not None:
        body += struct.pack("<HHIH", 22, bits, 3 if channels == 2 else 4, sub)
        body += bytes.fromhex("000000001000800000aa00389b71")
    return body


def pcm16(*v):
    return struct.pack("<%dh" % len(v), *v)


def pcm24(*v):
    return b"".join(struct.pack("<i", x)[:3] for x in v)


def f32(*v):
    return struct.pack("<%df" % len(v), *v)


def write(folder, name, data):
    path = os.path.join(ROOT, folder)
    os.makedirs(path, exist_ok=True)
    with open(os.path.join(path, name), "wb") as f:
        f.write(data)


wavs = {
    "mono16.wav": riff(chunk(b"fmt ", fmt(1, 1, 44100, 16)), chunk(b"data", pcm16(0, 1000, -32768, 32767))),
    "stereo16.wav": riff(chunk(b"fmt ", fmt(1, 2, 48000, 16)), chunk(b"data", pcm16(100, -100, 32767, 32767))),
    "mono24.wav": riff(chunk(b"fmt ", fmt(1, 1, 96000, 24)), chunk(b"data", pcm24(0x7FFFFF, -0x800000, 256))),
    "stereo24.wav": riff(chunk(b"fmt ", fmt(1, 2, 48000, 24)), chunk(b"data", pcm24(0x400000, 0, 1, -1))),
    "float32.wav": riff(chunk(b"fmt ", fmt(3, 1, 48000, 32)), chunk(b"data", f32(0.5, -2.0, 2.0))),
    "extensible_float.wav": riff(chunk(b"fmt ", fmt(0, 2, 48000, 32, sub=3)), chunk(b"data", f32(0.25, 0.75))),
    "list_odd_chunk.wav": riff(chunk(b"LIST", b"INFOx"), chunk(b"fmt ", fmt(1, 1, 0, 16)), chunk(b"data", pcm16(7, 8))),
    "truncated_data.wav": riff(chunk(b"fmt ", fmt(1, 1, 8000, 16)), chunk(b"data", pcm16(1, 2, 3), declared=4096)),
}
for name, data in wavs.items():
    write("wav_decode", name[:-4], data)  # no .wav suffix: the repository ignores *.wav

# The fuzzer's fixed assets (fuzz/banks/pack_files.h).
a_wav = riff(chunk(b"fmt ", fmt(1, 1, 44100, 16)), chunk(b"data", pcm16(0, 1000, -1000, 32767)))
b_wav = riff(chunk(b"fmt ", fmt(1, 2, 48000, 24)), chunk(b"data", pcm24(0x400000, -0x400000, 0x7FFFFF, 0)))
sha = lambda b: hashlib.sha256(b).hexdigest()

manifest_full = (
    '{"format":"orbel-sound-pack/v1","id":"fz","version":"1","name":"Fuzz",'
    '"assetTable":[{"id":"a","path":"a.wav","bytes":%d,"sha256":"%s"},'
    '{"id":"b","path":"./b.wav","bytes":%d,"sha256":"%s","codec":"wav"}],'
    '"instruments":[{"id":"x","name":"No doc"},{"id":"i","name":"Inst","document":"inst.json"}],'
    '"kits":[{"id":"k","name":"Kit","document":"inst.json"}],'
    '"presets":[{"id":"p","name":"P","instrument":"i","document":"preset.json"}]}'
    % (len(a_wav), sha(a_wav), len(b_wav), sha(b_wav)))
inst_full = (
    '{"format":"orbel-sampler-instrument/v1","zones":['
    '{"id":"z1","assetId":"b","lowKey":10,"highKey":80.6,"rootKey":60,"keyTracking":false,"lowVelocity":1,'
    '"highVelocity":127,"gain":0.5,"pan":-0.5,"fineTuneCents":3,"roundRobinGroup":2,"chokeGroup":1,'
    '"trigger":"release","attackSeconds":0.01,"releaseSeconds":0.2,"reverse":true,"filterCutoffHz":900,'
    '"filterResonance":0.4},'
    '{"id":"z2","assetId":"a","startFrame":1,"endFrame":4,"loopMode":"forward","loopStartFrame":1,'
    '"loopEndFrame":3,"loopCrossfadeFrames":1,"trigger":"legato"}]}')
preset = '{"params":{"master.gain":0.5,"filter.cutoff":1200,"osc.type":"saw"}}'
write("sound_pack", "full", (manifest_full + "\0" + inst_full + "\0" + preset).encode())

manifest_min = ('{"format":"orbel-sound-pack/v1","id":"m","assetTable":[{"id":"a","path":"a.wav"}],'
                '"instruments":[{"id":"i","document":"inst.json"}]}')
inst_min = '{"format":"orbel-sampler-instrument/v1","zones":[{"assetId":"a"}]}'
write("sound_pack", "minimal", (manifest_min + "\0" + inst_min).encode())
write("sound_pack", "escape", (manifest_min.replace('"a.wav"', '"out/passwd"') + "\0" + inst_min).encode())

for i, p in enumerate(["in.wav", "./sub//deep.wav", "alias/deep.wav", "../secret", "escape", "up/secret",
                       "/etc/passwd", "sub\\deep.wav", "a..b/x"]):
    write("bank_paths", "path%d" % i, p.encode())
