#!/usr/bin/python3
"""Writes the station's eight sounds into src/ui/sounds/ as sound_<n>.wav (16-bit mono, 22050 Hz).

Each sound has its own shape so that an operator who is not looking at the screen can tell them
apart: alarms are long and alternating, confirmations short and rising, the detection a click.
The output is deterministic; run it again after changing a sound and commit the WAV files.
Usage: /usr/bin/python3 scripts/make-sounds.py [output folder]
"""
import math
import os
import struct
import sys
import wave

RATE = 22050
AMPLITUDE = 0.45


def tone(freq, ms, shape="sine", freq_end=None, tremolo=0.0):
    """One note with a short attack and release, so that it never starts or ends with a click."""
    n = int(RATE * ms / 1000)
    attack = min(int(RATE * 0.004), n // 4)
    release = min(int(RATE * 0.025), n // 3)
    out = []
    phase = 0.0
    for i in range(n):
        f = freq if freq_end is None else freq + (freq_end - freq) * i / max(1, n - 1)
        phase += 2 * math.pi * f / RATE
        if shape == "square":
            v = 0.6 if math.sin(phase) >= 0 else -0.6
        else:
            v = math.sin(phase) + 0.25 * math.sin(2 * phase)
        env = 1.0
        if i < attack:
            env = i / attack
        elif i >= n - release:
            env = (n - i) / release
        if tremolo:
            env *= 0.7 + 0.3 * math.sin(2 * math.pi * tremolo * i / RATE)
        out.append(v * env)
    return out


def silence(ms):
    return [0.0] * int(RATE * ms / 1000)


def click(ms):
    """A percussive tick: a high tone that dies away within a few milliseconds."""
    n = int(RATE * ms / 1000)
    return [math.sin(2 * math.pi * 2200 * i / RATE) * math.exp(-i / (RATE * 0.008)) for i in range(n)]


def sounds():
    return {
        # direct connection lost: insistent two-tone alternation
        129: tone(880, 110) + tone(660, 110) + tone(880, 110) + tone(660, 110),
        # connection made: rising major arpeggio
        132: tone(523, 90) + tone(659, 90) + tone(784, 160),
        # detection accepted: a very short click (it may play many times a second)
        133: click(80),
        # operation finished: two notes up a fourth
        134: tone(784, 100) + tone(1047, 170),
        # before the exit question: falling arpeggio
        135: tone(784, 120) + tone(659, 120) + tone(523, 200),
        # balloon warning: a low buzz with a tremolo
        140: tone(392, 300, shape="square", tremolo=18),
        # box lost: a siren sweeping up twice
        163: tone(500, 280, freq_end=1100) + silence(20) + tone(500, 280, freq_end=1100),
        # box reconnected: two quick rising beeps
        165: tone(1000, 80) + silence(40) + tone(1320, 110),
    }


def write(path, samples):
    frames = b"".join(struct.pack("<h", int(max(-1.0, min(1.0, s * AMPLITUDE)) * 32767)) for s in samples)
    with wave.open(path, "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(RATE)
        w.writeframes(frames)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    folder = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "src", "ui", "sounds")
    os.makedirs(folder, exist_ok=True)
    for number, samples in sorted(sounds().items()):
        ms = 1000 * len(samples) / RATE
        if not 80 <= ms <= 600:
            sys.exit(f"sound {number} lasts {ms:.0f} ms, outside 80-600 ms")
        path = os.path.join(folder, f"sound_{number}.wav")
        write(path, samples)
        print(f"{path}: {ms:.0f} ms")


if __name__ == "__main__":
    main()
