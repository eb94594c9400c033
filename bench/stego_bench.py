#!/usr/bin/python3
"""Steganalysis part of the benchmark: how well classic and trained detectors tell clean photos
from photos with data hidden by mirel-cli (plain layout, and the stealth layout when the tool
has it) and by steghide, all measured in this one run. Started by bench/run.sh --stego, which
installs what it needs, builds the tools and gives it a temporary folder of its own.

Usage: stego_bench.py --cli MIREL-CLI --mkbmp MIREL-MKBMP --work EMPTY-FOLDER [--jobs N]
"""

import argparse
import concurrent.futures as futures
import multiprocessing
import os
import shutil
import struct
import subprocess
import sys
import time

import numpy as np
import skimage.data
from skimage import io, transform

import steganalysis as sa

DATA = os.path.dirname(skimage.data.__file__)
# Colour photos of python3-skimage's data folder, by scene; the two motorcycle pictures are a
# stereo pair of one scene and are always held out together.
SCENES = (
    ('astronaut', ('astronaut.png',)),
    ('chelsea', ('chelsea.png',)),
    ('coffee', ('coffee.png',)),
    ('motorcycle', ('motorcycle_left.png', 'motorcycle_right.png')),
    ('ihc', ('ihc.png',)),
)
RATES = (0.01, 0.05, 0.10)    # payload as a share of the plain capacity
CLASSIC_RATES = (0.01, 0.05, 0.10)
TRAINED_RATES = (0.05, 0.10)
TILE, STRIDE = 128, 64
SCHEMES = ('plain', 'stealth', 'steghide')
PNG_MAGIC = b'\x89PNG\r\n\x1a\n'
PASSWORD = 'a benchmark password\n'

# ---------------------------------------------------------------------------------------------
# Pictures


def write_bmp(path, img):
    """A plain 24-bit BMP: 54-byte header, rows from the bottom, B G R, rows padded to 4."""
    h, w, _ = img.shape
    row = (w * 3 + 3) // 4 * 4
    header = b'BM' + struct.pack('<IHHI', 54 + row * h, 0, 0, 54)
    header += struct.pack('<IiiHHIIiiII', 40, w, h, 1, 24, 0, row * h, 2835, 2835, 0, 0)
    body = np.zeros((h, row), dtype=np.uint8)
    body[:, :w * 3] = img[::-1, :, ::-1].reshape(h, w * 3)
    with open(path, 'wb') as f:
        f.write(header + body.tobytes())


def read_bmp(path):
    """The pixels of a 24-bit BMP as (height, width, 3) R G B, top row first."""
    with open(path, 'rb') as f:
        data = f.read()
    offset, = struct.unpack_from('<I', data, 10)
    w, h = struct.unpack_from('<ii', data, 18)
    bpp, = struct.unpack_from('<H', data, 28)
    if bpp != 24 or w <= 0 or h == 0:
        raise ValueError(f'{path}: not a 24-bit BMP')
    rows = abs(h)
    stride = (w * 3 + 3) // 4 * 4
    body = np.frombuffer(data, dtype=np.uint8, count=rows * stride, offset=offset)
    img = body.reshape(rows, stride)[:, :w * 3].reshape(rows, w, 3)[:, :, ::-1]
    return np.ascontiguousarray(img[::-1] if h > 0 else img)


def to_uint8(a):
    return np.clip(np.round(a), 0, 255).astype(np.uint8)


def load_photos():
    """The photos: 8-bit RGB PNG files only (never a lossy format). Returns [(scene, name, img)]
    and notes on what was left out."""
    photos, notes = [], []
    for scene, files in SCENES:
        for name in files:
            path = os.path.join(DATA, name)
            try:
                with open(path, 'rb') as f:
                    magic = f.read(8)
            except OSError as e:
                notes.append(f'{name}: {e.strerror}')
                continue
            if magic != PNG_MAGIC:
                notes.append(f'{name}: not a PNG file, left out')
                continue
            img = io.imread(path)
            if img.dtype != np.uint8 or img.ndim != 3 or img.shape[2] != 3:
                notes.append(f'{name}: not 8-bit RGB, left out')
                continue
            photos.append((scene, name.rsplit('.', 1)[0], img))
    return photos, notes


def make_pictures(photos):
    """Every photo as it is, bicubically scaled to 3/4 (smoothed first), averaged over 2 x 2
    blocks, and its centre cut to 3/4 of each side. Tiles for the trained detector come from
    the first three (the crop repeats the original's pixels)."""
    pictures = []
    for scene, name, img in photos:
        h, w, _ = img.shape
        bicubic = transform.rescale(img.astype(float), 0.75, order=3, anti_aliasing=True,
                                    channel_axis=2, preserve_range=True)
        even = img[:h // 2 * 2, :w // 2 * 2].astype(float)
        area = transform.downscale_local_mean(even, (2, 2, 1))
        ch, cw = h * 3 // 4, w * 3 // 4
        crop = img[(h - ch) // 2:(h - ch) // 2 + ch, (w - cw) // 2:(w - cw) // 2 + cw]
        pictures.append(dict(scene=scene, name=name, img=img, tiles=True))
        pictures.append(dict(scene=scene, name=name + '-bicubic', img=to_uint8(bicubic),
                             tiles=True))
        pictures.append(dict(scene=scene, name=name + '-area', img=to_uint8(area), tiles=True))
        pictures.append(dict(scene=scene, name=name + '-crop', img=np.ascontiguousarray(crop),
                             tiles=False))
    return pictures


def plain_capacity(img):
    """Payload bytes of the plain layout: one per group of three pixels of a row."""
    return (img.shape[1] // 3) * img.shape[0]


def plausible_length(img):
    """Whether a plain read at offset 0 finds a length that fits the picture: 1 to the capacity
    less the 4 bytes of the length field."""
    row = img[-1, :, ::-1].ravel()  # the first row of the file, as stored (B G R)
    if row.size < 36:
        return False
    length = 0
    for g in range(4):
        byte = sum(int(row[9 * g + k] & 1) << k for k in range(8))
        length |= byte << (8 * g)
    return 1 <= length <= plain_capacity(img) - 4


# ---------------------------------------------------------------------------------------------
# Hiding


def stealth_available(cli, work):
    """Whether the given mirel-cli has the stealth layout: its encode help names --stealth, or
    failing that, an encode with it into a small picture works."""
    helptext = subprocess.run([cli, 'encode', '--help'], capture_output=True, text=True)
    if '--stealth' in helptext.stdout + helptext.stderr:
        return True
    probe = os.path.join(work, 'probe')
    os.mkdir(probe)
    write_bmp(os.path.join(probe, 'c.bmp'), np.full((64, 64, 3), 128, dtype=np.uint8))
    with open(os.path.join(probe, 'pw'), 'w') as f:
        f.write(PASSWORD)
    with open(os.path.join(probe, 'x'), 'wb') as f:
        f.write(b'probe')
    r = subprocess.run([cli, 'encode', 'c.bmp', 'o.bmp', '--stealth', '--password-file', 'pw',
                        '--file', 'x', '--quiet'], cwd=probe, capture_output=True)
    shutil.rmtree(probe)
    return r.returncode == 0


def embed(cli, scheme, cover, folder, payload):
    """Hides payload (bytes) in the cover BMP with scheme; the stego picture's path, or None
    and the reason."""
    os.makedirs(folder)
    with open(os.path.join(folder, 'x'), 'wb') as f:
        f.write(payload)
    with open(os.path.join(folder, 'pw'), 'w') as f:
        f.write(PASSWORD)
    out = os.path.join(folder, 'stego.bmp')
    if scheme == 'plain':
        cmd = [cli, 'encode', cover, out, '--file', 'x', '--quiet']
    elif scheme == 'stealth':
        cmd = [cli, 'encode', cover, out, '--stealth', '--password-file', 'pw', '--file', 'x',
               '--quiet']
    else:
        cmd = ['steghide', 'embed', '-cf', cover, '-ef', 'x', '-sf', out, '-p',
               PASSWORD.strip(), '-q', '-f', '-Z']
    r = subprocess.run(cmd, cwd=folder, capture_output=True, text=True, stdin=subprocess.DEVNULL)
    if r.returncode != 0 or not os.path.exists(out):
        reason = (r.stderr.strip().splitlines() or [f'exit status {r.returncode}'])[0]
        return None, reason
    return out, None


def round_trip(cli, scheme, stego, folder, payload):
    """Whether decoding the stego picture gives the payload back."""
    cmd = [cli, 'decode', stego, '--output', 'back', '--force', '--quiet']
    if scheme == 'stealth':
        cmd += ['--password-file', 'pw']
    r = subprocess.run(cmd, cwd=folder, capture_output=True)
    return r.returncode == 0 and holds(os.path.join(folder, 'back'), payload)


def holds(path, payload):
    """Whether the file at path exists and holds exactly payload."""
    try:
        with open(path, 'rb') as f:
            return f.read() == payload
    except OSError:
        return False


# ---------------------------------------------------------------------------------------------
# Measuring

CLASSIC = (
    ('RS analysis', 'rs'),
    ('Sample Pair Analysis', 'spa'),
    ('SPA, first rows of the file', 'spa_first'),
    ('chi-square attack, whole picture', 'chi'),
    ('chi-square attack, first rows', 'chi_first'),
    ('HCF COM calibrated (Ker)', 'hcf'),
    ('HCF COM calibrated, adjacency', 'hcf_adj'),
)


def classic_scores(path):
    img = read_bmp(path)
    head = sa.first_rows(img)
    return dict(rs=sa.rs_estimate(img), spa=sa.spa_estimate(img), spa_first=sa.spa_estimate(head),
                chi=sa.chi_square_p(img), chi_first=sa.chi_square_p(head),
                hcf=-sa.hcf_ratio(img), hcf_adj=-sa.hcf_ratio(img, adjacency=True))


def tiles_of(img):
    h, w, _ = img.shape
    for i in range(0, h - TILE + 1, STRIDE):
        for j in range(0, w - TILE + 1, STRIDE):
            yield img[i:i + TILE, j:j + TILE]


def tile_features(path):
    img = read_bmp(path)
    return np.array([sa.tile_features(t) for t in tiles_of(img)])


SEEDS = 3  # ensembles per detector, each with its own random subspaces and samples


def trained_auc(job):
    """Leave one scene out: for each scene, an ensemble trained on the pairs of all others and
    tested on that scene's tiles; the mean AUC over the scenes. job: (scenes, covers, stegos,
    seed)."""
    scenes, covers, stegos, seed = job
    results = []
    for held in sorted(set(scenes)):
        test = scenes == held
        detector = sa.Ensemble(seed=1000 * seed + len(results) + 1).fit(covers[~test], stegos[~test])
        results.append(sa.auc(detector.score(covers[test]), detector.score(stegos[test])))
    return float(np.mean(results)), results


def timed(cmd, cwd):
    """Wall time (s), peak resident memory (KiB) and processor time (s) of one run, and
    whether it succeeded."""
    r = subprocess.run(['/usr/bin/time', '-f', '%e %M %U %S', '-o', 'time.txt'] + cmd, cwd=cwd,
                       capture_output=True)
    with open(os.path.join(cwd, 'time.txt')) as f:
        wall, peak, user, system = f.read().split()[-4:]
    return float(wall), int(peak), r.returncode == 0, float(user) + float(system)


def big_carrier_runs(cli, mkbmp, work, schemes, runs=3):
    """Encode of 1 KB into a 6000 x 4000 carrier (72 MB) and its decode: median wall time and
    the largest peak memory of `runs` runs each, per scheme."""
    folder = os.path.join(work, 'big')
    os.makedirs(folder)
    subprocess.run([mkbmp, 'big.bmp', '6000', '4000', '--photo', '--seed', '7'], cwd=folder,
                   check=True, capture_output=True)
    payload = np.random.default_rng(72).integers(0, 256, 1024, dtype=np.uint8).tobytes()
    with open(os.path.join(folder, 'x'), 'wb') as f:
        f.write(payload)
    with open(os.path.join(folder, 'pw'), 'w') as f:
        f.write(PASSWORD)
    size = os.path.getsize(os.path.join(folder, 'big.bmp'))
    out = {}
    for scheme in schemes:
        extra = ['--stealth', '--password-file', 'pw'] if scheme == 'stealth' else []
        encode = [cli, 'encode', 'big.bmp', 'enc.bmp', '--file', 'x', '--quiet'] + extra
        enc = []
        for _ in range(runs):
            # Every run writes a new picture: an encode may refuse to replace an existing one.
            if os.path.exists(os.path.join(folder, 'enc.bmp')):
                os.remove(os.path.join(folder, 'enc.bmp'))
            enc.append(timed(encode, folder))
        decode = [cli, 'decode', 'enc.bmp', '--output', 'back', '--force', '--quiet']
        if scheme == 'stealth':
            decode += ['--password-file', 'pw']
        dec = [timed(decode, folder) for _ in range(runs)]
        ok = all(e[2] for e in enc + dec) and holds(os.path.join(folder, 'back'), payload)
        out[scheme] = dict(enc=float(np.median([e[0] for e in enc])),
                           enc_cpu=float(np.median([e[3] for e in enc])),
                           enc_peak=max(e[1] for e in enc),
                           dec=float(np.median([d[0] for d in dec])),
                           dec_cpu=float(np.median([d[3] for d in dec])),
                           dec_peak=max(d[1] for d in dec), ok=ok)
    shutil.rmtree(folder)
    return size, out


# ---------------------------------------------------------------------------------------------
# The report


def pct(rate):
    return f'{round(rate * 100)} %'


def verdict(ok):
    return 'PASS' if ok else 'MISS'


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument('--cli', required=True)
    parser.add_argument('--mkbmp', required=True)
    parser.add_argument('--work', required=True)
    parser.add_argument('--jobs', type=int, default=2)
    args = parser.parse_args()
    started = time.monotonic()
    work = args.work
    cli = os.path.abspath(args.cli)

    photos, notes = load_photos()
    pictures = make_pictures(photos)
    for i, p in enumerate(pictures):
        p['cover'] = os.path.join(work, f'cover-{i:02d}.bmp')
        write_bmp(p['cover'], p['img'])
    scenes = sorted({p['scene'] for p in pictures})
    has_stealth = stealth_available(cli, work)
    schemes = [s for s in SCHEMES if s != 'stealth' or has_stealth]
    print(f'Pictures: {len(pictures)} from {len(photos)} photos of {len(scenes)} scenes '
          f'(python3-skimage: {", ".join(n for _, n, _ in photos)}), each as it is, scaled to 3/4 '
          f'(bicubic), halved (2 x 2 means) and its centre cut to 3/4; all kept lossless.')
    for n in notes:
        print(f'  {n}')
    print(f'Payloads: random, {", ".join(pct(r) for r in RATES)} of the plain capacity '
          f'(a third of a byte per pixel); mirel-cli: {cli}; stealth layout: '
          f'{"yes" if has_stealth else "not available (encode does not take --stealth)"}.')
    sys.stdout.flush()

    # Hide every payload in every picture, two runs at a time.
    jobs = {}
    with futures.ThreadPoolExecutor(args.jobs) as pool:
        for i, p in enumerate(pictures):
            for rate in RATES:
                n = max(1, int(rate * plain_capacity(p['img'])))
                payload = np.random.default_rng([i, round(rate * 1000)]).integers(
                    0, 256, n, dtype=np.uint8).tobytes()
                for scheme in schemes:
                    folder = os.path.join(work, f'{scheme}-{i:02d}-{round(rate * 100)}')
                    jobs[scheme, i, rate] = (pool.submit(embed, cli, scheme, p['cover'], folder,
                                                         payload), folder, payload)
    stego, failures = {}, {}
    for key, (job, folder, payload) in jobs.items():
        path, reason = job.result()
        stego[key] = path
        if path is None:
            what = f'{pictures[key[1]]["name"]} {pct(key[2])}: {reason}'
            failures.setdefault(key[0], []).append(what)
    for scheme in schemes:
        if scheme == 'steghide':
            continue
        key = (scheme, 0, RATES[-1])
        if stego[key] and not round_trip(cli, scheme, stego[key], jobs[key][1], jobs[key][2]):
            failures.setdefault(scheme, []).append('decode did not give the payload back')
    for scheme, lines in failures.items():
        print(f'{scheme}: {len(lines)} failed, e.g. {lines[0]}')
    hidden_at = time.monotonic()

    # Classic detectors and what a plain read finds, on every picture.
    paths = [p['cover'] for p in pictures] + [v for v in stego.values() if v]
    with multiprocessing.Pool(args.jobs) as pool:
        scores = dict(zip(paths, pool.map(classic_scores, paths)))
        tile_paths = [p['cover'] for p in pictures if p['tiles']] + [
            stego[s, i, r] for s in schemes for r in TRAINED_RATES
            for i, p in enumerate(pictures) if p['tiles'] and stego[s, i, r]]
        features = dict(zip(tile_paths, pool.map(tile_features, tile_paths)))
    classic_at = time.monotonic()

    clean_plausible = sum(plausible_length(p['img']) for p in pictures)
    changes, plausible, classic = {}, {}, {}
    for scheme in schemes:
        for rate in RATES:
            done = [(i, stego[scheme, i, rate]) for i in range(len(pictures))
                    if stego[scheme, i, rate]]
            changed = bits = found = 0
            for i, path in done:
                img = read_bmp(path)
                changed += np.count_nonzero(img != pictures[i]['img'])
                bits += 8 * len(jobs[scheme, i, rate][2])
                found += plausible_length(img)
            changes[scheme, rate] = changed / bits if bits else float('nan')
            plausible[scheme, rate] = (found, len(done))
            for _, key in CLASSIC:
                clean = [scores[pictures[i]['cover']][key] for i, _ in done]
                dirty = [scores[path][key] for _, path in done]
                classic[scheme, rate, key] = sa.auc(clean, dirty) if done else float('nan')

    trained, touched, training = {}, {}, {}
    for scheme in schemes:
        for rate in TRAINED_RATES:
            sc, cov, ste = [], [], []
            for i, p in enumerate(pictures):
                if p['tiles'] and stego[scheme, i, rate]:
                    f_c, f_s = features[p['cover']], features[stego[scheme, i, rate]]
                    cov.append(f_c)
                    ste.append(f_s)
                    sc += [p['scene']] * len(f_c)
            if not cov:
                trained[scheme, rate] = (float('nan'), [float('nan')], [float('nan')])
                touched[scheme, rate] = (0, 0)
                continue
            cov, ste = np.vstack(cov), np.vstack(ste)
            for seed in range(SEEDS):
                training[scheme, rate, seed] = (np.array(sc), cov, ste, seed)
            touched[scheme, rate] = (int(np.sum(np.any(cov != ste, axis=1))), len(cov))
    with multiprocessing.Pool(args.jobs) as pool:
        fitted = dict(zip(training, pool.map(trained_auc, training.values())))
    for scheme, rate in touched:
        runs = [fitted[scheme, rate, seed] for seed in range(SEEDS) if (scheme, rate, seed) in fitted]
        if runs:
            means = [m for m, _ in runs]
            folds = [a for _, r in runs for a in r]
            trained[scheme, rate] = (float(np.mean(means)), folds, means)
    n_tiles = sum(len(features[p['cover']]) for p in pictures if p['tiles'])
    trained_at = time.monotonic()

    size, big = big_carrier_runs(cli, os.path.abspath(args.mkbmp), work,
                                 [s for s in schemes if s != 'steghide'])
    finished = time.monotonic()

    # Tables.
    columns = [(s, r) for s in schemes for r in CLASSIC_RATES]
    if not has_stealth:
        columns[3:3] = [('stealth', r) for r in CLASSIC_RATES]
    head = ''.join(f'{s + " " + pct(r):>14}' for s, r in columns)
    print()
    print('Classic detectors: AUC, clean pictures against the same pictures with data '
          f'({len(pictures)} of each; 0.50 = chance, below 0.50 also tells them apart)')
    print(f'{"":34}{head}')

    def cell(s, r, fmt):
        if s == 'stealth' and not has_stealth:
            return f'{"n/a":>14}'
        return fmt(s, r)

    for label, key in CLASSIC:
        print(f'{label:34}' + ''.join(cell(s, r, lambda s, r: f'{classic[s, r, key]:14.2f}')
                                     for s, r in columns))
    print(f'{"changes per hidden bit":34}' + ''.join(
        cell(s, r, lambda s, r: f'{changes[s, r]:14.3f}') for s, r in columns))
    print(f'{"plain read at offset 0 plausible":34}' + ''.join(
        cell(s, r, lambda s, r: f'{"%d/%d" % plausible[s, r]:>14}') for s, r in columns))
    print(f'{"  (clean pictures: " + str(clean_plausible) + "/" + str(len(pictures)) + ")":34}')
    print()
    print(f'Trained detector: SPAM (second order, T = 3: 686; first order: 98) + colour residual '
          f'co-occurrences (875, KB residual included) + parity (20) features, FLD ensemble (51 learners on random '
          f'subspaces of 200 or 400 features, chosen by out-of-bag error); {n_tiles} tiles of '
          f'{TILE} x {TILE} (stride {STRIDE}) per scheme and payload, cover/stego pairs, leave '
          f'one scene out ({len(scenes)} folds); AUC averaged over the folds and {SEEDS} seeds')
    names = ['plain', 'stealth', 'steghide']
    print(f'{"":34}' + ''.join(f'{s + " " + pct(r):>14}' for s in names for r in TRAINED_RATES))
    print(f'{"AUC":34}' + ''.join(
        f'{"n/a":>14}' if (s, r) not in trained else f'{trained[s, r][0]:14.3f}'
        for s in names for r in TRAINED_RATES))
    print(f'{"  per seed, lowest - highest":34}' + ''.join(
        f'{"":>14}' if (s, r) not in trained else
        f'{"%.3f-%.3f" % (min(trained[s, r][2]), max(trained[s, r][2])):>14}'
        for s in names for r in TRAINED_RATES))
    print(f'{"  per fold, lowest - highest":34}' + ''.join(
        f'{"":>14}' if (s, r) not in trained else
        f'{"%.2f-%.2f" % (min(trained[s, r][1]), max(trained[s, r][1])):>14}'
        for s in names for r in TRAINED_RATES))
    print(f'{"  tiles that the hiding changed":34}' + ''.join(
        f'{"":>14}' if (s, r) not in touched else f'{"%d/%d" % touched[s, r]:>14}'
        for s in names for r in TRAINED_RATES))
    print()
    print(f'Carrier of 6000 x 4000 ({size / 1e6:.0f} MB), 1 KB file, 3 runs each: median seconds '
          f'(wall, processor), largest peak memory; load average {os.getloadavg()[0]:.1f} on '
          f'{os.cpu_count()} cores')
    for scheme in ('plain', 'stealth'):
        if scheme not in big:
            print(f'  {scheme:8} not available')
            continue
        b = big[scheme]
        print(f'  {scheme:8} encode {b["enc"]:5.2f} s ({b["enc_cpu"]:4.2f}) '
              f'{b["enc_peak"] // 1024:5d} MiB   decode {b["dec"]:5.2f} s ({b["dec_cpu"]:4.2f}) '
              f'{b["dec_peak"] // 1024:5d} MiB'
              + ('' if b['ok'] else '   (FAILED or the file did not come back)'))

    # Goals, for the stealth layout; the plain layout's figures are shown beside them.
    budget_kib = size // 1024 + 256 * 1024 + 64 * 1024

    def goals(s):
        g = []
        for r in (0.01, 0.05):
            worst = max(CLASSIC, key=lambda d: abs(classic[s, r, d[1]] - 0.5))
            a = classic[s, r, worst[1]]
            g.append((f'every classic detector AUC <= 0.60 at {pct(r)} (also >= 0.40)',
                      f'worst {a:.2f}', abs(a - 0.5) <= 0.1 + 1e-9))
        found = sum(plausible[s, r][0] for r in RATES)
        total = sum(plausible[s, r][1] for r in RATES)
        g.append(('plain read at offset 0 no more plausible than on clean pictures',
                  f'{found}/{total} vs {clean_plausible}/{len(pictures)}',
                  found / max(total, 1) <= clean_plausible / len(pictures)))
        worst = max(changes[s, r] for r in (0.01, 0.05))
        ref = max(changes['steghide', r] for r in (0.01, 0.05)) if 'steghide' in schemes \
            else float('nan')
        g.append(('changes per hidden bit <= 0.25 at 1 % and 5 % (steghide: about 1)',
                  f'{worst:.3f} (steghide {ref:.3f})', worst <= 0.25))
        for r, limit in ((0.05, 0.62), (0.10, 0.66)):
            a = trained[s, r][0]
            ref = trained['steghide', r][0] if 'steghide' in schemes else float('nan')
            g.append((f'trained AUC at {pct(r)} <= {limit:.2f} and <= steghide\'s - 0.15',
                      f'{a:.3f} (steghide {ref:.3f})', a <= limit and a <= ref - 0.15))
        b = big[s]
        g.append(('72 MB carrier, 1 KB: encode and decode each under 2 s',
                  f'{b["enc"]:.2f} s, {b["dec"]:.2f} s', b['ok'] and b['enc'] < 2 and b['dec'] < 2))
        peak = max(b['enc_peak'], b['dec_peak'])
        g.append((f'peak memory <= picture + 256 MiB + 64 MB ({budget_kib // 1024} MiB)',
                  f'{peak // 1024} MiB', peak <= budget_kib))
        return g

    print()
    print(f'{"goal (for the stealth layout)":72}{"plain":>34}  {"stealth":>34}')
    plain_goals = goals('plain')
    stealth_goals = goals('stealth') if has_stealth else None
    for k, (label, value, ok) in enumerate(plain_goals):
        left = f'{value} {verdict(ok)}'
        if stealth_goals:
            right = f'{stealth_goals[k][1]} {verdict(stealth_goals[k][2])}'
        else:
            right = 'not available'
        print(f'{label:72}{left:>34}  {right:>34}')
    print('(the plain layout changes only the tiles where the file starts; its trained AUC is '
          'over all tiles)')
    print()
    print(f'Times: hiding {hidden_at - started:.0f} s, classic detectors and features '
          f'{classic_at - hidden_at:.0f} s, training {trained_at - classic_at:.0f} s, '
          f'72 MB runs {finished - trained_at:.0f} s; in all {finished - started:.0f} s.')


if __name__ == '__main__':
    main()
