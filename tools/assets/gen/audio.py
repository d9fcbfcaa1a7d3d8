"""Sound effects, spoken names, the music piece and the intro film.

Usage: audio.py <repo root> [sounds|music|film|all]
"""
import os
import subprocess
import sys
import tempfile
import wave

import numpy as np

RATE = 22050


def write_wav(path, samples, rate=RATE):
    """Write mono float samples (-1..1) as 16-bit PCM."""
    os.makedirs(os.path.dirname(path), exist_ok=True)
    data = np.clip(samples, -1, 1)
    pcm = (data * 32000).astype("<i2")
    with wave.open(path, "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(rate)
        w.writeframes(pcm.tobytes())


def env(n, attack, release, rate=RATE):
    e = np.ones(n)
    a = max(1, int(attack * rate))
    r = max(1, int(release * rate))
    e[:a] = np.linspace(0, 1, a)
    e[-r:] *= np.linspace(1, 0, r) ** 2
    return e


def tone(freq, dur, rate=RATE, harmonics=((1, 1.0),), decay=0.0):
    t = np.arange(int(dur * rate)) / rate
    out = np.zeros_like(t)
    for h, a in harmonics:
        out += a * np.sin(2 * np.pi * freq * h * t)
    if decay:
        out *= np.exp(-t * decay)
    return out


def normalise(x, peak):
    """Scale a signal so that its largest sample is `peak`."""
    m = np.abs(x).max()
    return x * (peak / m) if m > 0 else x


def noise(n, seed):
    return np.random.RandomState(seed).uniform(-1, 1, n)


def lowpass(x, alpha):
    y = np.empty_like(x)
    acc = 0.0
    for i, v in enumerate(x):
        acc += alpha * (v - acc)
        y[i] = acc
    return y


# ---------------------------------------------------------------- effects
def hit():
    # a short wooden tick
    n = int(0.07 * RATE)
    t = np.arange(n) / RATE
    s = np.sin(2 * np.pi * 1800 * t) * np.exp(-t * 90) * 0.6
    s += np.sin(2 * np.pi * 950 * t) * np.exp(-t * 60) * 0.4
    s += noise(n, 1) * np.exp(-t * 300) * 0.3
    return normalise(s, 0.9)


def paper_slide(rising):
    # a parchment sweep: filtered noise with a moving brightness
    dur = 0.45
    n = int(dur * RATE)
    t = np.linspace(0, 1, n)
    x = noise(n, 2 if rising else 3)
    a = 0.05 + 0.3 * (t if rising else 1 - t)
    y = np.empty(n)
    acc = 0.0
    for i in range(n):
        acc += a[i] * (x[i] - acc)
        y[i] = acc
    e = np.sin(np.pi * t) ** 1.5
    chime_f = 660 if rising else 440
    chime = tone(chime_f, dur, harmonics=((1, 1), (2, 0.3)), decay=7) * 0.18
    if not rising:
        chime = chime[::-1] * np.linspace(0, 1, n)
    return normalise(y * 2.2 * e + chime, 0.8)


def search():
    # telegraph key: "dit dit dah" on an 800 Hz sounder
    parts = []
    for length in (0.06, 0.06, 0.18, 0.06):
        n = int(length * RATE)
        parts.append(tone(800, length, harmonics=((1, 1), (3, 0.2))) * env(n, 0.004, 0.01))
        parts.append(np.zeros(int(0.06 * RATE)))
    return normalise(np.concatenate(parts), 0.6)


def failed():
    # two falling low notes
    a = tone(330, 0.22, harmonics=((1, 1), (2, 0.5), (3, 0.25)), decay=4) * env(int(0.22 * RATE), 0.005, 0.05)
    b = tone(247, 0.40, harmonics=((1, 1), (2, 0.5), (3, 0.25)), decay=4) * env(int(0.40 * RATE), 0.005, 0.15)
    return normalise(np.concatenate([a, np.zeros(int(0.03 * RATE)), b]), 0.7)


def message():
    # a chat line arrives: two soft rising bell notes
    parts = []
    for f, dur in ((880, 0.12), (1175, 0.30)):
        n = int(dur * RATE)
        parts.append(tone(f, dur, harmonics=((1, 1), (2, 0.25), (3, 0.08)), decay=9) * env(n, 0.003, 0.06))
    return normalise(np.concatenate(parts), 0.45)


def tick():
    # one second of the phase clock: a dry clockwork tick
    n = int(0.04 * RATE)
    t = np.arange(n) / RATE
    s = np.sin(2 * np.pi * 2600 * t) * np.exp(-t * 220) * 0.5
    s += noise(n, 4) * np.exp(-t * 500) * 0.5
    return normalise(s, 0.6)


SPOKEN = {
    "Pays/Irak.wav": "Irak", "Pays/Egypte.wav": "Égypte", "Pays/Jamaique.wav": "Jamaïque",
    "Pays/Amerique.wav": "Amérique", "Pays/France.wav": "France", "Pays/Russie.wav": "Russie",
    "Pays/Japon.wav": "Japon", "Pays/Australie.wav": "Australie",
    "Embleme/Democratie.wav": "Démocratie", "Embleme/Empire.wav": "Empire", "Embleme/Communisme.wav": "Communisme",
}


def speak(text, path):
    with tempfile.TemporaryDirectory() as tmp:
        raw = os.path.join(tmp, "raw.wav")
        subprocess.run(["espeak-ng", "-v", "fr", "-s", "140", "-p", "38", "-w", raw, text], check=True)
        # resample to 22050 Hz 16-bit mono, add a little room and normalise
        subprocess.run(["sox", "-q", "-R", "-D", raw, "-r", str(RATE), "-b", "16", "-c", "1", path,
                        "reverb", "15", "gain", "-n", "-2"], check=True)


def make_sounds(root):
    snd = os.path.join(root, "Ressources", "Sounds")
    write_wav(os.path.join(snd, "hit.wav"), hit())
    write_wav(os.path.join(snd, "FillIn.wav"), paper_slide(True))
    write_wav(os.path.join(snd, "FillOut.wav"), paper_slide(False))
    write_wav(os.path.join(snd, "Search.wav"), search())
    write_wav(os.path.join(snd, "Failed.wav"), failed())
    write_wav(os.path.join(snd, "Message.wav"), message())
    write_wav(os.path.join(snd, "Tick.wav"), tick())
    for rel, text in SPOKEN.items():
        path = os.path.join(snd, *rel.split("/"))
        os.makedirs(os.path.dirname(path), exist_ok=True)
        speak(text, path)


# ---------------------------------------------------------------- music
MRATE = 22050
NOTE = {"C": 0, "D": 2, "E": 4, "F": 5, "G": 7, "A": 9, "B": 11}


def midi(name):
    """'C4', 'F#5', 'Bb3' -> MIDI number."""
    p = NOTE[name[0]]
    rest = name[1:]
    if rest.startswith("#"):
        p += 1
        rest = rest[1:]
    elif rest.startswith("b"):
        p -= 1
        rest = rest[1:]
    return 12 * (int(rest) + 1) + p


def freq(m):
    return 440.0 * 2 ** ((m - 69) / 12)


def voice(f, dur, kind, rate=MRATE):
    n = int(dur * rate)
    t = np.arange(n) / rate
    if kind == "flute":
        vib = 1 + 0.004 * np.sin(2 * np.pi * 5.2 * t)
        ph = 2 * np.pi * f * np.cumsum(vib) / rate
        s = np.sin(ph) + 0.25 * np.sin(2 * ph) + 0.08 * np.sin(3 * ph)
        e = env(n, 0.03, min(0.12, dur * 0.4), rate)
        return s * e * 0.5
    if kind == "strings":
        ph = 2 * np.pi * f * t
        s = sum(np.sin(k * ph) / k for k in range(1, 7))
        e = env(n, 0.08, min(0.2, dur * 0.5), rate)
        return s * e * 0.12
    if kind == "bass":
        ph = 2 * np.pi * f * t
        s = np.sin(ph) + 0.5 * np.sin(2 * ph) + 0.2 * np.sin(3 * ph)
        return s * np.exp(-t * 3.0) * env(n, 0.005, 0.05, rate) * 0.55
    if kind == "pluck":
        ph = 2 * np.pi * f * t
        s = np.sin(ph) + 0.4 * np.sin(2 * ph) + 0.15 * np.sin(4 * ph)
        return s * np.exp(-t * 6.0) * env(n, 0.003, 0.03, rate) * 0.22
    raise ValueError(kind)


def drum(kind, rate=MRATE, seed=0):
    if kind == "kick":
        n = int(0.25 * rate)
        t = np.arange(n) / rate
        f = 110 * np.exp(-t * 18) + 45
        return np.sin(2 * np.pi * np.cumsum(f) / rate) * np.exp(-t * 12) * 0.6
    n = int(0.15 * rate)
    t = np.arange(n) / rate
    return noise(n, seed) * np.exp(-t * 30) * 0.18 + np.sin(2 * np.pi * 190 * t) * np.exp(-t * 25) * 0.12


CHORDS = {  # chord symbol -> (bass note, chord tones)
    "C": ("C3", ["E4", "G4", "C5"]), "G": ("G2", ["D4", "G4", "B4"]), "G7": ("G2", ["F4", "G4", "B4"]),
    "F": ("F2", ["F4", "A4", "C5"]), "Am": ("A2", ["E4", "A4", "C5"]), "Dm": ("D3", ["F4", "A4", "D5"]),
    "D7": ("D3", ["F#4", "A4", "C5"]), "E7": ("E3", ["G#4", "B4", "D5"]), "Em": ("E3", ["E4", "G4", "B4"]),
}

# Waltz theme (3/4, one bar = one chord, melody as (note, beats))
WALTZ_A = [
    ("C", [("E5", 2), ("G5", 1)]), ("C", [("G5", 2), ("E5", 1)]), ("G7", [("D5", 2), ("F5", 1)]), ("G7", [("F5", 3)]),
    ("G7", [("D5", 2), ("F5", 1)]), ("G7", [("F5", 2), ("D5", 1)]), ("C", [("C5", 2), ("E5", 1)]), ("C", [("E5", 3)]),
    ("F", [("F5", 1), ("A5", 1), ("C6", 1)]), ("F", [("A5", 2), ("F5", 1)]), ("C", [("E5", 1), ("G5", 1), ("C6", 1)]),
    ("Am", [("A5", 2), ("E5", 1)]), ("D7", [("F#5", 2), ("A5", 1)]), ("G7", [("G5", 2), ("F5", 1)]),
    ("C", [("E5", 2), ("D5", 1)]), ("C", [("C5", 3)]),
]
WALTZ_B = [
    ("Am", [("C5", 1), ("E5", 1), ("A5", 1)]), ("Am", [("A5", 2), ("G5", 1)]), ("E7", [("G#5", 2), ("B5", 1)]),
    ("E7", [("B5", 2), ("G#5", 1)]), ("Am", [("A5", 2), ("C6", 1)]), ("Dm", [("A5", 2), ("F5", 1)]),
    ("E7", [("E5", 1), ("D5", 1), ("B4", 1)]), ("Am", [("A4", 3)]),
    ("F", [("A4", 1), ("C5", 1), ("F5", 1)]), ("C", [("E5", 2), ("G5", 1)]), ("G", [("D5", 1), ("G5", 1), ("B5", 1)]),
    ("C", [("C6", 2), ("G5", 1)]), ("F", [("A5", 1), ("G5", 1), ("F5", 1)]), ("G7", [("E5", 1), ("D5", 1), ("B4", 1)]),
    ("C", [("C5", 2), ("G4", 1)]), ("C", [("C5", 3)]),
]
# March section (2/4 feel written as 4 beats per bar)
MARCH = [
    ("C", [("G4", 1), ("C5", 1), ("E5", 1), ("G5", 1)]), ("G7", [("F5", 2), ("D5", 2)]),
    ("G7", [("G4", 1), ("B4", 1), ("D5", 1), ("F5", 1)]), ("C", [("E5", 2), ("C5", 2)]),
    ("F", [("A4", 1), ("C5", 1), ("F5", 1), ("A5", 1)]), ("C", [("G5", 2), ("E5", 2)]),
    ("D7", [("F#5", 1), ("E5", 1), ("D5", 1), ("C5", 1)]), ("G", [("B4", 2), ("G4", 2)]),
    ("C", [("E5", 1), ("G5", 1), ("C6", 1), ("G5", 1)]), ("F", [("A5", 2), ("F5", 2)]),
    ("C", [("G5", 1), ("E5", 1), ("C5", 1), ("E5", 1)]), ("G7", [("D5", 2), ("B4", 2)]),
    ("C", [("C5", 1), ("E5", 1), ("G5", 1), ("E5", 1)]), ("G7", [("F5", 1), ("D5", 1), ("B4", 1), ("D5", 1)]),
    ("C", [("C5", 2), ("G4", 2)]), ("C", [("C5", 4)]),
]


def transpose(name, semis):
    return name, semis


def render_section(bars, beat, beats_per_bar, style, total, pos, semis=0, lead="flute"):
    for chord, melody in bars:
        bass, tones = CHORDS[chord]
        bar_start = pos
        # accompaniment
        if style == "waltz":
            add(total, voice(freq(midi(bass) + semis), beat * 1.2, "bass"), pos)
            for b in (1, 2):
                for tn in tones:
                    add(total, voice(freq(midi(tn) - 12 + semis), beat * 0.7, "pluck"), pos + b * beat)
        else:
            add(total, voice(freq(midi(bass) + semis), beat * 0.9, "bass"), pos)
            add(total, voice(freq(midi(bass) + 7 + semis), beat * 0.9, "bass") * 0.8, pos + 2 * beat)
            add(total, drum("kick"), pos)
            add(total, drum("kick") * 0.7, pos + 2 * beat)
            for b in (1, 3):
                add(total, drum("snare", seed=int(pos * 7) % 1000), pos + b * beat)
                for tn in tones:
                    add(total, voice(freq(midi(tn) - 12 + semis), beat * 0.6, "pluck"), pos + b * beat)
        # sustained strings
        for tn in tones:
            add(total, voice(freq(midi(tn) - 12 + semis), beat * beats_per_bar, "strings"), bar_start)
        # melody
        t = pos
        for note, beats in melody:
            add(total, voice(freq(midi(note) + semis), beat * beats * 0.95, lead), t)
            t += beats * beat
        pos += beat * beats_per_bar
    return pos


def add(buf, sig, start):
    i = int(start * MRATE)
    j = min(len(buf), i + len(sig))
    if j > i:
        buf[i:j] += sig[:j - i]


def music_samples():
    total_s = 135.0
    buf = np.zeros(int((total_s + 3) * MRATE))
    pos = 0.5
    wbeat = 60 / 156        # waltz: 156 beats a minute
    mbeat = 60 / 112        # march
    pos = render_section(WALTZ_A, wbeat, 3, "waltz", buf, pos)
    pos = render_section(WALTZ_B, wbeat, 3, "waltz", buf, pos)
    pos = render_section(WALTZ_A, wbeat, 3, "waltz", buf, pos, semis=5)
    pos = render_section(MARCH, mbeat, 4, "march", buf, pos)
    pos = render_section(MARCH, mbeat, 4, "march", buf, pos, semis=2, lead="strings")
    pos = render_section(WALTZ_B, wbeat, 3, "waltz", buf, pos)
    pos = render_section(WALTZ_A, wbeat, 3, "waltz", buf, pos)
    end = int((pos + 2.5) * MRATE)
    buf = buf[:end]
    # gentle room: a few early echoes
    out = buf.copy()
    for d, g in ((0.031, 0.25), (0.053, 0.18), (0.089, 0.12), (0.137, 0.08)):
        k = int(d * MRATE)
        out[k:] += buf[:-k] * g
    out /= np.abs(out).max() / 0.85
    fade = int(2.0 * MRATE)
    out[-fade:] *= np.linspace(1, 0, fade)
    return out


def make_music(root):
    samples = music_samples()
    path = os.path.join(root, "Ressources", "Music", "Music.wma")
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with tempfile.TemporaryDirectory() as tmp:
        wav = os.path.join(tmp, "music.wav")
        write_wav(wav, samples, MRATE)
        subprocess.run(["ffmpeg", "-loglevel", "error", "-y", "-i", wav, "-ar", "22050", "-ac", "1",
                        "-c:a", "wmav2", "-b:a", "64k", "-fflags", "+bitexact", "-flags:a", "+bitexact",
                        "-f", "asf", path], check=True)
    return len(samples) / MRATE


# ---------------------------------------------------------------- film
def make_film(root):
    sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
    import film
    path = os.path.join(root, "Ressources", "Videos", "Quillmere.avi")
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with tempfile.TemporaryDirectory() as tmp:
        film.render_frames(root, tmp)
        wav = os.path.join(tmp, "film.wav")
        write_wav(wav, film_sound(), RATE)
        subprocess.run(["ffmpeg", "-loglevel", "error", "-y", "-framerate", str(film.FPS),
                        "-i", os.path.join(tmp, "f%04d.png"), "-i", wav,
                        "-c:v", "mpeg4", "-vtag", "XVID", "-q:v", "4", "-pix_fmt", "yuv420p",
                        "-c:a", "pcm_s16le", "-shortest", "-fflags", "+bitexact",
                        "-flags:v", "+bitexact", "-flags:a", "+bitexact", path], check=True)


def film_sound():
    dur = 8.0
    buf = np.zeros(int(dur * RATE))
    # a rising arpeggio and a held chord, then a soft cymbal swell
    notes = ["C4", "E4", "G4", "C5", "E5", "G5"]
    for k, nm in enumerate(notes):
        s = tone(freq(midi(nm)), 5.0, harmonics=((1, 1), (2, 0.4), (3, 0.15)), decay=0.8)
        s *= env(len(s), 0.02, 1.0)
        i = int((0.6 + k * 0.35) * RATE)
        j = min(len(buf), i + len(s))
        buf[i:j] += s[:j - i] * 0.12
    n = noise(len(buf), 9)
    t = np.arange(len(buf)) / RATE
    swell = np.clip((t - 2.0) / 2.5, 0, 1) * np.clip((7.5 - t) / 1.5, 0, 1)
    buf += lowpass(n, 0.25) * swell * 0.15
    buf /= np.abs(buf).max() / 0.8
    fade = int(0.8 * RATE)
    buf[-fade:] *= np.linspace(1, 0, fade)
    return buf


def main():
    root = sys.argv[1]
    what = sys.argv[2] if len(sys.argv) > 2 else "all"
    if what in ("sounds", "all"):
        make_sounds(root)
        print("sounds done")
    if what in ("music", "all"):
        print("music: %.1f s" % make_music(root))
    if what in ("film", "all"):
        make_film(root)
        print("film done")


if __name__ == "__main__":
    main()
