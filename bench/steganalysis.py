"""Steganalysis detectors for the benchmark, each written from its paper's description.

Pictures are numpy arrays of shape (height, width, 3), uint8, rows from the top as seen on
screen; channels in the order R, G, B. Every detector returns one number per picture, larger
for "more likely to hold hidden data" unless said otherwise.

Classic detectors (no training):
  rs_estimate      RS analysis: Fridrich, Goljan, Du, "Reliable detection of LSB
                   steganography in color and grayscale images", 2001.
  spa_estimate     Sample Pair Analysis: Dumitrescu, Wu, Wang, "Detection of LSB steganography
                   via sample pair analysis", 2003.
  chi_square_p     The chi-square attack: Westfeld, Pfitzmann, "Attacks on steganographic
                   systems", 1999.
  hcf_ratio        Calibrated HCF centre of mass, of the histogram and of the adjacency
                   histogram: Ker, "Steganalysis of LSB matching in grayscale images", 2005.
                   A ratio: smaller for pictures with data (LSB matching).

Trained detector:
  tile_features    SPAM (Pevny, Bas, Fridrich, "Steganalysis by subtractive pixel adjacency
                   matrix", 2010; second order, T = 3, 686 features, and the first order's 98
                   beside it), co-occurrences of colour residuals across the three channels,
                   and simple parity statistics.
  Ensemble         Fisher linear discriminants on random subspaces with bootstrapped training
                   sets and a majority vote, the subspace's size chosen by the out-of-bag error:
                   Kodovsky, Fridrich, Holub, "Ensemble classifiers for steganalysis of digital
                   media", 2012.
"""

import numpy as np
from scipy import stats

# ---------------------------------------------------------------------------------------------
# RS analysis

_RS_MASK = np.array([0, 1, 1, 0], dtype=bool)  # which pixels of a group of four are flipped


def _rs_counts(x):
    """Fractions of regular and singular groups under the mask M and under -M.

    x: 2-D int16 channel. Groups are four horizontally adjacent pixels of a row."""
    w = x.shape[1] // 4 * 4
    g = x[:, :w].reshape(-1, 4)
    f = np.abs(np.diff(g, axis=1)).sum(axis=1)
    pos = g.copy()
    pos[:, _RS_MASK] ^= 1                               # F1: 0<->1, 2<->3, ...
    neg = g.copy()
    neg[:, _RS_MASK] = ((neg[:, _RS_MASK] + 1) ^ 1) - 1  # F-1: -1<->0, 1<->2, ...
    fp = np.abs(np.diff(pos, axis=1)).sum(axis=1)
    fn = np.abs(np.diff(neg, axis=1)).sum(axis=1)
    n = float(len(f))
    return (np.sum(fp > f) / n, np.sum(fp < f) / n, np.sum(fn > f) / n, np.sum(fn < f) / n)


def _rs_channel(x):
    x = x.astype(np.int16)
    rm, sm, rn, sn = _rs_counts(x)
    rm1, sm1, rn1, sn1 = _rs_counts(x ^ 1)  # the same picture with every lowest bit flipped
    d0, d1 = rm - sm, rm1 - sm1
    dn0, dn1 = rn - sn, rn1 - sn1
    a = 2.0 * (d1 + d0)
    b = dn0 - dn1 - d1 - 3.0 * d0
    c = d0 - dn0
    if abs(a) < 1e-12:
        z = -c / b if abs(b) > 1e-12 else 0.0
    else:
        disc = b * b - 4.0 * a * c
        if disc < 0:
            z = -b / (2.0 * a)
        else:
            r = np.sqrt(disc)
            roots = ((-b + r) / (2.0 * a), (-b - r) / (2.0 * a))
            z = min(roots, key=abs)
    if abs(z - 0.5) < 1e-12:
        return 1.0
    return float(z / (z - 0.5))


def rs_estimate(img):
    """RS estimate of the share of pixel bytes that carry a hidden bit, averaged over R, G, B."""
    return float(np.mean([_rs_channel(img[:, :, c]) for c in range(3)]))


# ---------------------------------------------------------------------------------------------
# Sample Pair Analysis

def _spa_channel(x):
    """SPA on the horizontally adjacent pairs (r, s) of one channel."""
    x = x.astype(np.int32)
    r = x[:, :-1].ravel()
    s = x[:, 1:].ravel()
    s_even = (s & 1) == 0
    big_x = np.sum((s_even & (r < s)) | (~s_even & (r > s)))
    big_y = np.sum((s_even & (r > s)) | (~s_even & (r < s)))
    gamma = np.sum((r >> 1) == (s >> 1))  # the pairs of C0: equal but for the lowest bit
    pairs = r.size
    if gamma == 0:
        return 0.0
    a = gamma / 2.0
    b = 2.0 * big_x - pairs
    c = float(big_y - big_x)
    disc = b * b - 4.0 * a * c
    if disc < 0:
        return float(-b / (2.0 * a))
    root = np.sqrt(disc)
    return float(min((-b + root) / (2.0 * a), (-b - root) / (2.0 * a)))


def spa_estimate(img):
    """SPA estimate of the share of pixel bytes that carry a hidden bit, averaged over R, G, B."""
    return float(np.mean([_spa_channel(img[:, :, c]) for c in range(3)]))


def first_rows(img, fraction=1 / 32, minimum=8):
    """The rows that come first in a BMP file (the bottom of the picture as seen)."""
    k = max(minimum, int(img.shape[0] * fraction))
    return img[-k:]


# ---------------------------------------------------------------------------------------------
# The chi-square attack

def chi_square_p(img):
    """Probability that the pairs of values (2k, 2k+1) are equally frequent, as a picture full
    of hidden bits makes them; all bytes of the picture (or of a part given) pooled."""
    h = np.bincount(img.ravel(), minlength=256).astype(float)
    even, odd = h[0::2], h[1::2]
    expected = (even + odd) / 2.0
    keep = expected > 4  # Westfeld's categories need enough samples
    if keep.sum() < 2:
        return 0.0
    statistic = np.sum((even[keep] - expected[keep]) ** 2 / expected[keep])
    return float(stats.chi2.sf(statistic, keep.sum() - 1))


# ---------------------------------------------------------------------------------------------
# Calibrated HCF centre of mass

def _halve(x):
    """Ker's calibration: every 2 x 2 block replaced by its mean, rounded down."""
    h, w = x.shape[0] // 2 * 2, x.shape[1] // 2 * 2
    x = x[:h, :w].astype(np.int32)
    return (x[0::2, 0::2] + x[1::2, 0::2] + x[0::2, 1::2] + x[1::2, 1::2]) // 4


def _hcf_com(x):
    hcf = np.abs(np.fft.fft(np.bincount(x.ravel(), minlength=256)))[:129]
    k = np.arange(129)
    return np.sum(k * hcf) / np.sum(hcf)


def _hcf_com_adjacency(x):
    x = x.astype(np.int64)
    pairs = np.bincount((x[:, :-1] * 256 + x[:, 1:]).ravel(), minlength=65536).reshape(256, 256)
    hcf = np.abs(np.fft.fft2(pairs))[:129, :129]
    k = np.arange(129)
    return np.sum((k[:, None] + k[None, :]) * hcf) / np.sum(hcf)


def hcf_ratio(img, adjacency=False):
    """C(H) / C(H') with H' from the halved picture, averaged over R, G, B; LSB matching makes
    it smaller."""
    com = _hcf_com_adjacency if adjacency else _hcf_com
    ratios = []
    for c in range(3):
        x = img[:, :, c]
        ratios.append(com(x) / com(_halve(x)))
    return float(np.mean(ratios))


# ---------------------------------------------------------------------------------------------
# Features for the trained detector

SPAM_T = 3


def _steps(x, di, dj, n):
    """The views x(p), x(p + s), ..., x(p + n s) for s = (di, dj), over every p where all n + 1
    lie inside x."""
    h, w = x.shape
    i0, j0 = -min(0, n * di), -min(0, n * dj)
    hh, ww = h - n * abs(di), w - n * abs(dj)
    return [x[i0 + k * di:i0 + k * di + hh, j0 + k * dj:j0 + k * dj + ww] for k in range(n + 1)]


def _spam_counts(x, di, dj, order):
    """Counts of the Markov transitions of the differences x(p) - x(p + s) along s = (di, dj),
    cut to [-T, T]: of the pairs (D(p), D(p + s)) for order 1, the triples with D(p + 2s) for
    order 2; index D(p) slowest."""
    t = SPAM_T
    m = 2 * t + 1
    views = _steps(x, di, dj, order + 1)
    code = 0
    for a, b in zip(views, views[1:]):
        code = code * m + (np.clip(a - b, -t, t) + t)
    return np.bincount(code.ravel(), minlength=m ** (order + 1)).astype(float)


def _transitions(counts, order):
    """The transition probabilities of counts: each count over the counts that share its
    conditioning differences (all but the last); 0 where those never occur."""
    m = 2 * SPAM_T + 1
    c = counts.reshape(-1, m)
    total = c.sum(axis=1, keepdims=True)
    return np.divide(c, total, out=np.zeros_like(c), where=total > 0).ravel()


_STRAIGHT = ((0, 1), (0, -1), (1, 0), (-1, 0))
_DIAGONAL = ((1, 1), (-1, -1), (1, -1), (-1, 1))


def spam(x, order):
    """SPAM of the given order (1 or 2), T = 3, as Pevny, Bas and Fridrich define it: the
    transition probabilities of the differences along each of the eight directions, averaged
    over the four straight ones and over the four diagonals; each direction's counts pooled
    over the three channels. 2 x 49 features for order 1, 2 x 343 = 686 for order 2. x: int32,
    h x w x 3."""
    parts = []
    for group in (_STRAIGHT, _DIAGONAL):
        average = 0
        for di, dj in group:
            counts = sum(_spam_counts(x[:, :, c], di, dj, order) for c in range(3))
            average = average + _transitions(counts, order) / len(group)
        parts.append(average)
    return np.concatenate(parts)


# Residuals of the colour co-occurrences: (order of the difference, quantisation step).
COLOUR_RESIDUALS = ((1, 1), (2, 1), (2, 2), (3, 3))
# Quantisation steps of the Ker-Boehme 3 x 3 residual (the "KB" kernel of the rich models).
KB_STEPS = (4, 8, 12)
COLOUR_T = 2


def _colour_cooccurrence(residuals, q, t):
    m = 2 * t + 1
    codes = 0
    for r in residuals:
        codes = codes * m + (np.clip(np.round(r / q), -t, t).astype(np.int64) + t)
    return np.bincount(codes.ravel(), minlength=m ** 3).astype(float)


def _kb_residual(x):
    """x filtered with [-1 2 -1; 2 -4 2; -1 2 -1] (the pixel against its eight neighbours)."""
    return (-x[:-2, :-2] + 2 * x[:-2, 1:-1] - x[:-2, 2:]
            + 2 * x[1:-1, :-2] - 4 * x[1:-1, 1:-1] + 2 * x[1:-1, 2:]
            - x[2:, :-2] + 2 * x[2:, 1:-1] - x[2:, 2:])


def colour_residuals(img):
    """Co-occurrences of the (R, G, B) triple of one residual at the same pixel: differences of
    the first, second and third order along rows and columns (pooled), and the KB residual at
    three coarser steps, quantised and cut to [-2, 2]: 7 x 125 features. Changes made to each
    channel on its own, or a pixel moved to another colour, break the agreement of the three
    channels' residuals that natural pictures have."""
    x = img.astype(np.int32)
    out = []
    for order, q in COLOUR_RESIDUALS:
        counts = 0
        for axis in (0, 1):
            res = np.diff(x, n=order, axis=axis)
            counts = counts + _colour_cooccurrence([res[:, :, c] for c in range(3)], q, COLOUR_T)
        out.append(counts / counts.sum())
    kb = _kb_residual(x)
    for q in KB_STEPS:
        counts = _colour_cooccurrence([kb[:, :, c] for c in range(3)], q, COLOUR_T)
        out.append(counts / counts.sum())
    return np.concatenate(out)


def parity(img):
    """Simple statistics of the lowest bits: their mean per channel, how often neighbours agree
    in them (horizontally and vertically, per channel), the joint (R, G, B) lowest bits, and how
    far apart the counts of 2k and 2k+1 are per channel: 20 features."""
    b = (img & 1).astype(float)
    out = list(b.mean(axis=(0, 1)))
    for c in range(3):
        out.append(np.mean(b[:, 1:, c] == b[:, :-1, c]))
        out.append(np.mean(b[1:, :, c] == b[:-1, :, c]))
    code = (img[:, :, 0] & 1) * 4 + (img[:, :, 1] & 1) * 2 + (img[:, :, 2] & 1)
    out.extend(np.bincount(code.ravel(), minlength=8) / code.size)
    for c in range(3):
        h = np.bincount(img[:, :, c].ravel(), minlength=256).astype(float)
        out.append(np.abs(h[0::2] - h[1::2]).sum() / h.sum())
    return np.array(out)


def tile_features(tile):
    """All features of one tile (uint8, h x w x 3): SPAM of the second order (686) and of the
    first (98), colour residual co-occurrences (875) and parity (20): 1679 numbers."""
    x = tile.astype(np.int32)
    return np.concatenate([spam(x, 2), spam(x, 1), colour_residuals(tile), parity(tile)])


# ---------------------------------------------------------------------------------------------
# Fisher linear discriminant ensemble

class Ensemble:
    """Kodovsky's ensemble: `learners` FLDs, each on a random subspace of the features and a
    bootstrap sample of the cover/stego pairs, each voting with the threshold that made the
    fewest errors on its own sample. The subspace's size is the one of `subspaces` whose
    ensemble made the fewest out-of-bag errors (the pairs a learner's sample left out), as the
    paper chooses it. score() gives the votes, with the mean projection to break ties."""

    def __init__(self, learners=51, subspaces=(200, 400), seed=1):
        self.learners = learners
        self.subspaces = subspaces
        self.rng = np.random.default_rng(seed)

    def fit(self, covers, stegos):
        """covers, stegos: arrays (n, d) of the features of n cover/stego pairs, row by row."""
        both = np.vstack([covers, stegos])
        self.mean = both.mean(axis=0)
        self.scale = both.std(axis=0)
        self.scale[self.scale < 1e-12] = 1.0
        c = (covers - self.mean) / self.scale
        s = (stegos - self.mean) / self.scale
        best = None
        for k in sorted({min(k, c.shape[1]) for k in self.subspaces}):
            models, error = self._learn(c, s, k)
            if best is None or error < best[1]:
                best = (models, error, k)
        self.models, self.oob_error, self.subspace = best
        return self

    def _learn(self, c, s, k):
        """learners FLDs on k features each; they and their out-of-bag error."""
        n, d = c.shape
        models = []
        votes = np.zeros((2, n))
        counted = np.zeros(n)
        for _ in range(self.learners):
            dims = self.rng.choice(d, size=k, replace=False)
            rows = self.rng.integers(0, n, size=n)
            c_l, s_l = c[rows][:, dims], s[rows][:, dims]
            mu_c, mu_s = c_l.mean(axis=0), s_l.mean(axis=0)
            scatter = np.cov(c_l, rowvar=False) + np.cov(s_l, rowvar=False)
            ridge = 1e-3 * np.trace(scatter) / k + 1e-10
            w = np.linalg.solve(scatter + ridge * np.eye(k), mu_s - mu_c)
            pc, ps = c_l @ w, s_l @ w
            threshold = _best_threshold(pc, ps)
            models.append((dims, w, threshold, np.std(np.concatenate([pc, ps]))))
            out = np.ones(n, dtype=bool)
            out[rows] = False
            votes[0, out] += c[out][:, dims] @ w > threshold
            votes[1, out] += s[out][:, dims] @ w > threshold
            counted[out] += 1
        seen = counted > 0
        wrong = (votes[0, seen] > counted[seen] / 2) * 1.0 + (votes[1, seen] <= counted[seen] / 2)
        return models, float(wrong.mean() / 2) if seen.any() else 0.5

    def score(self, features):
        """Votes for "stego" (0 to learners), with the mean projection as a tie-breaker."""
        x = (features - self.mean) / self.scale
        votes = np.zeros(len(x))
        margin = np.zeros(len(x))
        for dims, w, threshold, spread in self.models:
            p = x[:, dims] @ w
            votes += p > threshold
            margin += (p - threshold) / (spread + 1e-12)
        return votes + 1e-3 * np.tanh(margin / self.learners)


def _best_threshold(pc, ps):
    values = np.sort(np.concatenate([pc, ps]))
    candidates = np.concatenate([[values[0] - 1], (values[1:] + values[:-1]) / 2, [values[-1] + 1]])
    pc_sorted, ps_sorted = np.sort(pc), np.sort(ps)
    false_alarm = 1 - np.searchsorted(pc_sorted, candidates, side='right') / len(pc)
    missed = np.searchsorted(ps_sorted, candidates, side='right') / len(ps)
    return float(candidates[np.argmin(false_alarm + missed)])


# ---------------------------------------------------------------------------------------------

def auc(clean, stego):
    """Area under the ROC curve of a score that is larger for stego: the chance that a random
    stego picture scores above a random clean one (ties count half)."""
    clean = np.asarray(clean, dtype=float)
    stego = np.asarray(stego, dtype=float)
    ranks = stats.rankdata(np.concatenate([clean, stego]))
    n0, n1 = len(clean), len(stego)
    return float((ranks[n0:].sum() - n1 * (n1 + 1) / 2) / (n0 * n1))
