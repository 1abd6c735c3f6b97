#!/usr/bin/env python3
"""Helpers for scripts/ardour-check.sh (Python standard library only).

  gen FILE                     write the test file: 48 kHz stereo 32-bit float WAV,
                               a short 1 kHz burst on the left, another on the right
  inject SESSION.ardour FILE   put FILE on the session's only track at 0 as a
                               whole-file region (two sources, one per channel) and
                               set the session range to the file's length
  strip SESSION.ardour         leave Tamblor's state chunk as the only record of its
                               parameters (drop Ardour's own copies of the values)
  window SESSION.ardour         ask Ardour to open Tamblor's own editor window when the
                               session loads (a window entry in the session's UI state)
  compare SOURCE EXPORT GAIN_DB
                               each channel's burst must come out at the same sample
                               and GAIN_DB louder; nothing must leak across channels
"""
import math
import struct
import sys
import xml.etree.ElementTree as ET

RATE = 48000
LENGTH = 3 * RATE
BURSTS = ((0, RATE // 2), (1, RATE))       # (channel, first sample)
BURST_LEN = 96                              # 2 ms: a Hann-windowed 1 kHz burst
BURST_AMP = 0.25                            # -12 dBFS: far under the ceiling
SUPERCLOCK_PER_SAMPLE = 282240000 // RATE  # Ardour 7 positions are in superclock ticks


def burst(n):
    w = 0.5 - 0.5 * math.cos(2 * math.pi * (n + 0.5) / BURST_LEN)
    return BURST_AMP * w * math.sin(2 * math.pi * 1000.0 * n / RATE)


def write_wav(path, chans):
    frames = len(chans[0])
    data = bytearray()
    for i in range(frames):
        for c in chans:
            data += struct.pack("<f", c[i])
    fmt = struct.pack("<HHIIHH", 3, len(chans), RATE, RATE * 4 * len(chans), 4 * len(chans), 32)
    with open(path, "wb") as f:
        f.write(b"RIFF" + struct.pack("<I", 4 + 8 + len(fmt) + 8 + len(data)) + b"WAVE")
        f.write(b"fmt " + struct.pack("<I", len(fmt)) + fmt)
        f.write(b"data" + struct.pack("<I", len(data)) + data)


def read_wav(path):
    """Reads PCM 16/24/32-bit and float 32/64-bit WAV (plain or extensible)."""
    with open(path, "rb") as f:
        raw = f.read()
    if raw[:4] != b"RIFF" or raw[8:12] != b"WAVE":
        raise ValueError(f"{path}: not a WAV file")
    pos, fmt, data = 12, None, None
    while pos + 8 <= len(raw):
        cid, size = raw[pos:pos + 4], struct.unpack("<I", raw[pos + 4:pos + 8])[0]
        body = raw[pos + 8:pos + 8 + size]
        if cid == b"fmt ":
            fmt = body
        elif cid == b"data":
            data = body
        pos += 8 + size + (size & 1)
    if fmt is None or data is None:
        raise ValueError(f"{path}: no fmt or data chunk")
    tag, nch, rate, _, align, bits = struct.unpack("<HHIIHH", fmt[:16])
    if tag == 0xFFFE:
        tag = struct.unpack("<H", fmt[24:26])[0]
    width = bits // 8
    frames = len(data) // align
    chans = [[0.0] * frames for _ in range(nch)]
    for i in range(frames):
        for c in range(nch):
            o = i * align + c * width
            b = data[o:o + width]
            if tag == 3:
                v = struct.unpack("<f" if width == 4 else "<d", b)[0]
            elif width == 3:
                v = int.from_bytes(b, "little", signed=True) / 8388608.0
            else:
                v = int.from_bytes(b, "little", signed=True) / float(1 << (bits - 1))
            chans[c][i] = v
    return rate, chans


def gen(path):
    chans = [[0.0] * LENGTH for _ in range(2)]
    for ch, at in BURSTS:
        for n in range(BURST_LEN):
            chans[ch][at + n] = burst(n)
    write_wav(path, chans)


def inject(session_path, wav_name, frames):
    tree = ET.parse(session_path)
    root = tree.getroot()
    counter = int(root.get("id-counter"))
    ids = iter(range(counter + 1, counter + 100))
    # Region and range lengths are durations at a position ("a<ticks>@a<ticks>").
    length = f"a{frames * SUPERCLOCK_PER_SAMPLE}@a0"

    playlists = root.find("Playlists").findall("Playlist")
    if len(playlists) != 1:
        raise SystemExit(f"expected one playlist, found {len(playlists)}")
    playlist = playlists[0]

    sources = root.find("Sources")
    src_ids = []
    for ch in range(2):
        sid = str(next(ids))
        ET.SubElement(sources, "Source", {
            "name": wav_name, "type": "audio", "flags": "", "id": sid, "captured-for": "",
            "take-id": "", "channel": str(ch), "origin": wav_name, "gain": "1"})
        src_ids.append(sid)

    def region(whole):
        attrs = {
            "name": wav_name.rsplit(".", 1)[0], "muted": "0", "opaque": "1", "locked": "0",
            "automatic": "0", "whole-file": "1" if whole else "0", "import": "1", "external": "0",
            "hidden": "0", "start": "a0", "length": length, "position": "a0", "sync-position": "a0",
            "ancestral-start": "a0", "ancestral-length": length, "stretch": "1", "shift": "1",
            "layering-index": "0", "envelope-active": "0", "default-fade-in": "0",
            "default-fade-out": "0", "fade-in-active": "0", "fade-out-active": "0",
            "scale-amplitude": "1", "id": str(next(ids)), "type": "audio", "channels": "2",
        }
        for ch, sid in enumerate(src_ids):
            attrs[f"source-{ch}"] = sid
            attrs[f"master-source-{ch}"] = sid
        return attrs

    ET.SubElement(root.find("Regions"), "Region", region(True))
    ET.SubElement(playlist, "Region", region(False))

    locations = root.find("Locations")
    ET.SubElement(locations, "Location", {
        "id": str(next(ids)), "name": "session", "start": "a0", "end": f"a{frames * SUPERCLOCK_PER_SAMPLE}",
        "flags": "IsSessionRange", "locked": "0", "timestamp": "0", "cue": "0"})
    root.set("id-counter", str(counter + 100))
    tree.write(session_path, encoding="UTF-8", xml_declaration=True)


def strip(session_path):
    tree = ET.parse(session_path)
    root = tree.getroot()
    found = 0
    for proc in root.iter("Processor"):
        if proc.get("type") != "vst3" or proc.get("name") != "Tamblor":
            continue
        state = proc.find("vst3")
        if state is None or state.find("chunk") is None:
            raise SystemExit("Tamblor's processor has no state chunk")
        for port in state.findall("Port"):
            state.remove(port)
        for ctl in proc.findall("Controllable"):
            proc.remove(ctl)
        found += 1
    if found != 1:
        raise SystemExit(f"expected one Tamblor processor, found {found}")
    tree.write(session_path, encoding="UTF-8", xml_declaration=True)


def window(session_path):
    tree = ET.parse(session_path)
    root = tree.getroot()
    found = []
    for route in root.iter("Route"):
        for proc in route.iter("Processor"):
            if proc.get("type") == "vst3" and proc.get("name") == "Tamblor":
                found.append((route.get("id"), proc.get("id")))
    if len(found) != 1:
        raise SystemExit(f"expected one Tamblor processor, found {len(found)}")
    route_id, proc_id = found[0]
    extra = root.find("Extra")
    if extra is None:
        extra = ET.SubElement(root, "Extra")
    ui = extra.find("UI")
    if ui is None:
        ui = ET.SubElement(extra, "UI")
    ET.SubElement(ui, "Window", {
        "name": f"P-{route_id}-{proc_id}", "visible": "1", "custom-ui": "1",
        "x-off": "0", "y-off": "0", "x-size": "-1", "y-size": "-1"})
    tree.write(session_path, encoding="UTF-8", xml_declaration=True)


def peak(chan, lo, hi):
    return max(abs(v) for v in chan[lo:hi])


def best_lag(src, out, at, span):
    """The lag (in samples) at which the output best matches the source burst."""
    best, best_v = 0, -1.0
    for lag in range(-span, span + 1):
        v = 0.0
        for n in range(at, at + BURST_LEN):
            j = n + lag
            if 0 <= j < len(out):
                v += src[n] * out[j]
        if v > best_v:
            best, best_v = lag, v
    return best


def compare(src_path, out_path, gain_db):
    rate_s, src = read_wav(src_path)
    rate_o, out = read_wav(out_path)
    ok = True

    def check(cond, what):
        nonlocal ok
        print(("  ok    " if cond else "  FAIL  ") + what)
        ok = ok and cond

    check(rate_o == rate_s, f"export rate {rate_o} Hz (source {rate_s} Hz)")
    check(len(out) == 2, f"export has {len(out)} channels")
    check(abs(len(out[0]) - len(src[0])) <= 1, f"export length {len(out[0])} (source {len(src[0])})")
    if not ok:
        return False
    want = 10 ** (gain_db / 20.0)
    for ch, at in BURSTS:
        name = "left" if ch == 0 else "right"
        lag = best_lag(src[ch], out[ch], at, 2048)
        check(lag == 0, f"{name} burst lands at sample {at + lag} (source {at}): lag {lag}")
        p_src = peak(src[ch], at, at + BURST_LEN)
        p_out = peak(out[ch], at - 64, at + BURST_LEN + 64)
        got_db = 20 * math.log10(max(p_out, 1e-12) / p_src)
        check(abs(got_db - gain_db) < 0.1, f"{name} burst level {got_db:+.2f} dB (expected {gain_db:+.2f} dB)")
        # Residual after removing the scaled source: a misaligned or smeared
        # burst leaves energy here even when its peak looks right.
        res = max(abs(out[ch][n] - want * src[ch][n]) for n in range(at - 64, at + BURST_LEN + 64))
        check(res < 0.01 * BURST_AMP, f"{name} burst matches the source to {res:.2e} (limit {0.01 * BURST_AMP:.1e})")
        other = 1 - ch
        leak = peak(out[other], at - 64, at + BURST_LEN + 64)
        check(leak < 1e-4, f"{name} burst stays off the other channel (peak {leak:.1e})")
    silence = max(peak(c, 0, BURSTS[0][1] - 2048) for c in out)
    check(silence < 1e-4, f"silent before the first burst (peak {silence:.1e})")
    return ok


def main(argv):
    if len(argv) >= 2 and argv[1] == "gen" and len(argv) == 3:
        gen(argv[2])
    elif len(argv) >= 2 and argv[1] == "inject" and len(argv) == 4:
        _, chans = read_wav(argv[3])
        inject(argv[2], argv[3].rsplit("/", 1)[-1], len(chans[0]))
    elif len(argv) >= 2 and argv[1] == "strip" and len(argv) == 3:
        strip(argv[2])
    elif len(argv) >= 2 and argv[1] == "window" and len(argv) == 3:
        window(argv[2])
    elif len(argv) >= 2 and argv[1] == "compare" and len(argv) == 5:
        return 0 if compare(argv[2], argv[3], float(argv[4])) else 1
    else:
        print(__doc__, file=sys.stderr)
        return 2
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
