#!/usr/bin/env python3
"""Writes the sample data set under sample/Data.

The afternoon is invented: three instruments drift lower, then fall by about
8.5 percent within four minutes and win back half of it, the futures moving a
few seconds ahead of the cash markets. Trade, quote and volume counts are
busiest in the fall. The output is the same on every run (fixed seed, integer
formatting only), so the committed files can be regenerated and compared.

With --whole-day, the same set as data files of a whole trading day hold it:
the lines inside the chart's windows are the sample's own, and synthetic
lines in the same formats run from 09:30:00 up to each window and from after
it to 16:00:00, in time order, 25 ms apart in the tick files and a few per
second in the others (about four million lines). Also the same on every run.

Usage: tools/make_sample_data.py [output folder]             (default: sample/Data)
       tools/make_sample_data.py --whole-day output-folder
"""

import math
import os
import random
import sys

WINDOW_FIRST = 52950  # 14:42:30, seconds of the day
WINDOW_LAST = 53580  # 14:53:00
TICK_FIRST_MS = 52962800  # 14:42:42.800
TICK_LAST_MS = 52966300  # 14:42:46.300

# Seconds relative to WINDOW_FIRST covered by the per-second files: a couple
# of minutes before the window and a couple after, as a real export has.
SPAN_FIRST = -150
SPAN_LAST = 720

# The reference move in percent at keypoints (seconds from WINDOW_FIRST).
KEYPOINTS = [
    (-150, 0.20), (-90, 0.10), (-30, 0.12), (0, 0.00), (13, -0.02), (20, 0.00), (60, -0.15),
    (120, -0.51), (165, -1.18), (200, -2.38), (240, -3.98), (270, -5.68), (300, -7.18),
    (325, -8.38), (335, -8.18), (350, -6.88), (380, -5.38), (410, -4.08), (440, -4.68),
    (480, -3.63), (525, -4.28), (560, -3.43), (600, -3.88), (630, -3.73), (760, -3.53),
]

# The early futures dip that the tick inset enlarges, added to the move above:
# (milliseconds from TICK_FIRST_MS, percent). It leaves the market 0.17 % lower.
TICK_KEYPOINTS = [
    (-2800, 0.00), (1100, -0.01), (1400, -0.12), (1700, -0.31), (2000, -0.33),
    (2500, -0.24), (2900, -0.18), (3500, -0.20), (6200, -0.17),
]

# How each instrument sees the move: (lead in seconds, scale, dip delay in seconds, dip scale).
# The futures run three seconds ahead; the index is computed late and moves less.
SPY_VIEW = (0.0, 1.0, 0.2, 0.9)
ES_VIEW = (3.0, 1.02, 0.0, 1.0)
DJI_VIEW = (-5.0, 0.92, 1.0, 0.8)

SPY_BASE = 93.40
DJI_BASE = 8612.25
ES_BASE = 934.50


def keypoint_value(points, t):
    """Cosine-eased interpolation between keypoints."""
    if t <= points[0][0]:
        return points[0][1]
    for (t0, v0), (t1, v1) in zip(points, points[1:]):
        if t0 <= t <= t1:
            f = (t - t0) / (t1 - t0)
            f = (1 - math.cos(f * math.pi)) / 2
            return v0 + (v1 - v0) * f
    return points[-1][1]


def clock(ms):
    """HH:MM:SS.mmm of milliseconds of the day."""
    s, m = divmod(ms, 1000)
    h, s = divmod(s, 3600)
    mi, s = divmod(s, 60)
    return "%02d:%02d:%02d.%03d" % (h, mi, s, m)


def clock_s(sec):
    h, s = divmod(sec, 3600)
    mi, s = divmod(s, 60)
    return "%02d:%02d:%02d" % (h, mi, s)


def quantize(value, step):
    return int(round(value / step)) * step


def relative(value, base):
    """(value - base) * 10000 / base truncated toward zero, as the loader does."""
    q = abs((value - base) * 10000) // abs(base)
    return q if (value - base) * base >= 0 else -q


class Market:
    def __init__(self, rng):
        self.rng = rng
        seconds = range(SPAN_FIRST - 40, SPAN_LAST + 2)
        self.move = {t: keypoint_value(KEYPOINTS, t) for t in seconds}
        self.activity = {}
        for t in seconds:
            slope = abs(self.move.get(t + 1, self.move[t]) - self.move.get(t - 1, self.move[t])) / 2
            self.activity[t] = 1.0 + 40.0 * slope + 0.25 * abs(min(self.move[t], 0.0))
        # Slowly reverting noise, louder when the market is busy.
        self.noise = {}
        n = 0.0
        for t in seconds:
            n = 0.8 * n + rng.gauss(0.0, 0.012 * self.activity[t])
            self.noise[t] = n

    def percent(self, t, lead=0.0, scale=1.0, dip_delay=0.0, dip_scale=1.0):
        """The move at second t (fractional): the reference move seen `lead`
        seconds ahead, plus the early dip seen `dip_delay` seconds late."""
        u = t + lead
        lo = math.floor(u)
        f = u - lo
        lo = max(min(lo, SPAN_LAST), SPAN_FIRST - 40)
        hi = min(lo + 1, SPAN_LAST + 1)
        base = self.move[lo] * (1 - f) + self.move[hi] * f
        noise = self.noise[lo] * (1 - f) + self.noise[hi] * f
        dip = keypoint_value(TICK_KEYPOINTS, (WINDOW_FIRST + t - dip_delay) * 1000 - TICK_FIRST_MS)
        return base * scale + dip * dip_scale + noise


def write(folder, name, lines, crlf=False):
    path = os.path.join(folder, *name.split("/"))
    os.makedirs(os.path.dirname(path), exist_ok=True)
    end = "\r\n" if crlf else "\n"
    with open(path, "w", newline="") as f:
        for line in lines:
            f.write(line + end)


def trade_times(rng, count):
    """`count` distinct sorted millisecond offsets within one second."""
    return sorted(rng.sample(range(5, 995), count))


def price_file(rng, market, base, step, view, header, decimals, size_lots):
    """Trade lines: several per second, the last one of each second is its price.
    `view` is how the instrument sees the move: (lead, scale, dip delay, dip scale).
    Returns the lines and each second's last price (in hundredths)."""
    lines = [header] if header else []
    last = {}
    for t in range(SPAN_FIRST, SPAN_LAST + 1):
        count = max(1, min(6, int(market.activity[t] * rng.uniform(0.6, 1.3))))
        for ms in trade_times(rng, count):
            pct = market.percent(t + ms / 1000.0, *view)
            price = quantize(base * (1 + pct / 100.0) + rng.uniform(-step, step), step)
            size = rng.choice(size_lots) * max(1, int(market.activity[t] * rng.uniform(0.5, 2.0)))
            text = "%.*f" % (decimals, price)
            lines.append("%s|%s|%d|%s" % (clock((WINDOW_FIRST + t) * 1000 + ms), text, size, rng.choice("PQNZ")))
            last[t] = int(round(price * 100))
    return lines, last


def index_file(rng, market, base):
    lines = ["Time|Last|Change"]
    last = {}
    previous = None
    for t in range(SPAN_FIRST, SPAN_LAST + 1):
        pct = market.percent(t, *DJI_VIEW)
        level = round(base * (1 + pct / 100.0), 2)
        change = 0.0 if previous is None else level - previous
        previous = level
        lines.append("%s|%.2f|%+.2f" % (clock_s(WINDOW_FIRST + t), level, change))
        last[t] = int(round(level * 100))
    return lines, last


def weighted_file(rng, market, prices, symbol, window=30):
    """Volume-weighted price over the last `window` seconds, in hundredths in field 4."""
    lines = []
    history = []
    cumulative = 0
    for t in range(SPAN_FIRST, SPAN_LAST + 1):
        volume = int(200 * market.activity[t] * rng.uniform(0.5, 1.5)) + 1
        cumulative += volume
        history.append((prices[t], volume))
        history = history[-window:]
        total = sum(v for _, v in history)
        vw = (sum(p * v for p, v in history) + total // 2) // total
        lines.append("%s|%s|%d|%d|%d|%d" % (clock_s(WINDOW_FIRST + t), symbol, cumulative, len(history), vw, volume))
    return lines


def tick_paths(rng, market, base_spy, base_es):
    """The 25 ms files. Every slot from 14:42:40 to 14:42:49 has one line."""
    first = (WINDOW_FIRST + 10) * 1000  # 14:42:40.000
    last = (WINDOW_FIRST + 19) * 1000  # 14:42:49.000
    spy_lines, es_lines, quote_lines = [], [], []
    for ms in range(first, last + 1, 25):
        offset = ms - TICK_FIRST_MS
        t = ms / 1000.0 - WINDOW_FIRST
        stress = max(0.0, 1.0 - abs(offset - 1750) / 900.0)  # 0 .. 1, highest in the drop
        es = quantize(base_es * (1 + market.percent(t, *ES_VIEW) / 100.0), 0.25)
        spy = quantize(base_spy * (1 + market.percent(t, *SPY_VIEW) / 100.0) + rng.choice((-0.01, 0.0, 0.0, 0.01)),
                       0.01)
        es_c = int(round(es * 100))
        spy_c = int(round(spy * 100))

        es_buy = int(rng.uniform(0, 25) + 120 * stress * rng.uniform(0.3, 1.0))
        es_sell = int(rng.uniform(0, 25) + 420 * stress * rng.uniform(0.5, 1.0))
        spy_buy = int(rng.uniform(0, 30) + 90 * stress * rng.uniform(0.3, 1.0))
        spy_sell = int(rng.uniform(0, 30) + 300 * stress * rng.uniform(0.5, 1.0))
        if rng.random() < 0.12:
            es_buy = 0
        if rng.random() < 0.12:
            spy_sell = 0
        quotes = int(rng.uniform(6, 24) + 230 * stress * rng.uniform(0.6, 1.0))
        trades = int(rng.uniform(0, 5) + 40 * stress * rng.uniform(0.4, 1.0))

        stamp = clock(ms)
        es_lines.append("%s|fES.M10|T|%d|%d|%d|%d|%d|%d|%d|%d|%d" % (
            stamp, es_c, es_c - 25, es_c, trades, quotes, es_buy, trades // 2, trades - trades // 2, es_sell))
        spy_lines.append("%s|eSPY|T|%d|%d|%d|%d|%d|%d|%d|%d|%d" % (
            stamp, spy_c, spy_c - 1, spy_c, trades, quotes, spy_buy, trades // 2, trades - trades // 2, spy_sell))
        quote_lines.append("%s|ALL|%d|%d|%d|%d|%d|%d|%d|%d|%d|%d" % (
            stamp, trades, quotes, quotes // 2, quotes - quotes // 2, es_buy + spy_buy, es_sell + spy_sell,
            trades, 0, 0, quotes // 3))
    return spy_lines, es_lines, quote_lines


# Ribbon rows: caption, file symbol, column, mode, divisor, beta, base price, link, alt text.
# Columns of a ribbon file: 1 price in hundredths, 2 size, 3 trades, 4 bid size,
# 5 ask size, 6 spread in basis points.
RIBBON_ROWS = [
    ("ALDR trades", "ALDR", 3, 2, 0, 1.10, 41.20, "ribbon.htm#aldr", "Alder trades per second"),
    ("BRCH volume", "BRCH", 2, 2, 100, 0.85, 27.65, "ribbon.htm#brch", "Birch shares per second, hundreds"),
    ("CEDR top size", "CEDR", 2, 1, 10, 1.25, 63.10, "ribbon.htm#cedr", "Cedar largest trade per second"),
    ("DGWD price", "DGWD", 1, 0, 0, 0.95, 18.44, "ribbon.htm#dgwd", "Dogwood last price"),
    ("ELMW spread", "ELMW", 6, 1, 1, 1.40, 52.08, "ribbon.htm#elmw", "Elmwood widest spread"),
    ("FIRR trades", "FIRR", 3, 2, 0, 0.70, 35.90, "", ""),
    ("GNKO volume", "GNKO", 2, 2, 1000, 1.05, 12.75, "ribbon.htm#gnko", "Ginkgo shares per second, thousands"),
    ("HZEL price", "HZEL", 1, 0, 10, 1.15, 88.30, "ribbon.htm#hzel", "Hazel last price"),
    ("IRNW bid size", "IRNW", 4, 1, 0, 0.90, 22.15, "ribbon.htm#irnw", "Ironwood largest bid size"),
    ("KTSR ask size", "KTSR", 5, 2, 100, 1.30, 47.60, "ribbon.htm#ktsr", "Katsura ask size, hundreds"),
    ("LRCH trades", "LRCH", 3, 2, 0, 1.00, 30.05, "", ""),
    ("MPLE spread", "MPLE", 6, 1, 0, 0.80, 71.45, "ribbon.htm#mple", "Maple widest spread"),
    ("NTMG volume", "NTMG", 2, 2, 100, 1.20, 15.80, "ribbon.htm#ntmg", "Nutmeg shares per second, hundreds"),
    ("OLVE price", "OLVE", 1, 0, 0, 0.75, 56.95, "ribbon.htm#olve", "Olive last price"),
]


def ribbon_file(rng, market, beta, base):
    lines = []
    spread0 = rng.uniform(2.0, 6.0)
    for t in range(-30, 660):
        a = market.activity[t]
        count = max(1, min(8, int(a * rng.uniform(0.5, 1.4))))
        for ms in trade_times(rng, count):
            pct = market.percent(t + ms / 1000.0, rng.uniform(-2.0, 2.0), beta, 0.5, 0.8 * beta)
            price = int(round(base * (1 + pct / 100.0) * 100)) + rng.randint(-2, 2)
            size = rng.choice((100, 100, 200, 300, 500, 1000)) * max(1, int(a * rng.uniform(0.4, 1.8)))
            trades = max(1, int(a * rng.uniform(0.5, 3.0)))
            bid = max(100, int(rng.uniform(500, 3000) / a)) // 100 * 100
            ask = max(100, int(rng.uniform(500, 3000) / a * 1.2)) // 100 * 100
            spread = int(spread0 * a * rng.uniform(0.7, 1.6))
            lines.append("%s|%d|%d|%d|%d|%d|%d" % (
                clock((WINDOW_FIRST + t) * 1000 + ms), price, size, trades, bid, ask, spread))
    return lines


class Collector:
    """Keeps the files instead of writing them: name -> (lines, crlf)."""

    def __init__(self):
        self.files = {}

    def __call__(self, name, lines, crlf=False):
        self.files[name] = (list(lines), crlf)


def main():
    args = sys.argv[1:]
    if args and args[0] in ("-h", "--help"):
        print(__doc__.strip())
        return
    if args and args[0].startswith("-") and args[0] != "--whole-day":
        sys.exit("make_sample_data.py: unknown option " + args[0] + " (see --help)")
    if args and args[0] == "--whole-day":
        if len(args) != 2:
            sys.exit("usage: make_sample_data.py --whole-day output-folder")
        collected = Collector()
        make_sample(collected)
        write_whole_day(args[1], collected.files)
        return
    folder = args[0] if args else os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "sample", "Data")
    make_sample(lambda name, lines, crlf=False: write(folder, name, lines, crlf))


def make_sample(write_file):
    """Makes every file of the sample, handing each to write_file(name, lines, crlf)."""
    folder = None
    write = lambda _folder, name, lines, crlf=False: write_file(name, lines, crlf)  # noqa: E731
    rng = random.Random(27182)
    market = Market(rng)

    spy_lines, spy_last = price_file(rng, market, SPY_BASE, 0.01, SPY_VIEW, None, 2, (100, 100, 200, 300, 500))
    write(folder, "eSPY.txt", spy_lines)
    es_lines, es_last = price_file(rng, market, ES_BASE, 0.25, ES_VIEW, "Time|Price|Qty|Venue", 2, (1, 1, 2, 5, 10))
    write(folder, "fES.M10.txt", es_lines)
    dji_lines, dji_last = index_file(rng, market, DJI_BASE)
    write(folder, "iDJI.txt", dji_lines, crlf=True)
    write(folder, "eSPY.vw.txt", weighted_file(rng, market, spy_last, "eSPY"))
    write(folder, "fES.M10.vw.txt", weighted_file(rng, market, es_last, "fES.M10"))

    spy_ticks, es_ticks, quotes = tick_paths(rng, market, SPY_BASE, ES_BASE)
    write(folder, "eSPY.25ms.txt", spy_ticks)
    write(folder, "fES.M10.25ms.txt", es_ticks)
    write(folder, "QteTrdCnts.txt", quotes)

    config = [
        "; Ribbon rows: caption | value column | rule (0 last, 1 largest, 2 sum) | divisor |",
        ";   series file | link | alternative text",
    ]
    for caption, symbol, column, mode, divisor, beta, base, link, alt in RIBBON_ROWS:
        write(folder, "Ribbon/%s.txt" % symbol, ribbon_file(rng, market, beta, base))
        config.append("%s|%d|%d|%d|Data\\Ribbon\\%s.txt|%s|%s" % (caption, column, mode, divisor, symbol, link, alt))
    write(folder, "RibbonInfo.txt", config, crlf=True)

    write(folder, "CNBC_Elapsed.txt", [
        "; Broadcast timeline: start time | heading | link, then elapsed time | caption | detail",
        "14:42:00|Afternoon desk, channel 7|desk.htm",
        "00:01:00|Desk|indexes soft",
        "00:03:00|Floor|volume rising",
        "00:04:30|Anchor|selling spreads",
        "00:05:45|Guest|no single cause",
        "00:06:50|Floor|buyers return",
        "00:08:00|Anchor|half recovered",
        "00:09:20|Guest|liquidity thin",
        "00:10:10|Desk: calmer now|",
    ], crlf=True)

    write(folder, "labels.txt", label_lines(spy_last, es_last), crlf=True)


# ------------------------------------------------------------ whole day

DAY_FIRST_MS = (9 * 3600 + 30 * 60) * 1000  # 09:30:00
DAY_LAST_MS = 16 * 3600 * 1000  # 16:00:00
TICK_FILES = ("eSPY.25ms.txt", "fES.M10.25ms.txt", "QteTrdCnts.txt")
# The slots of the two windows, in milliseconds of the day: [first, end).
SECOND_WINDOW_MS = (WINDOW_FIRST * 1000, (WINDOW_LAST + 1) * 1000)
TICK_WINDOW_MS = (TICK_FIRST_MS, TICK_LAST_MS + 25)


def time_ms(field):
    """Milliseconds of a well-formed HH:MM:SS[.mmm] time, else None."""
    parts = field.replace(".", ":").split(":")
    if len(parts) not in (3, 4) or not all(p.isdigit() for p in parts):
        return None
    h, m, s = (int(p) for p in parts[:3])
    return ((h * 60 + m) * 60 + s) * 1000 + (int(parts[3]) if len(parts) == 4 else 0)


def synthetic_tails(rng, template, count=997):
    """Field texts after the time in the template line's format, numbers near its own."""
    tails = []
    for _ in range(count):
        out = []
        for field in template.split("|")[1:]:
            if field.replace(".", "", 1).isdigit():
                decimals = len(field.split(".")[1]) if "." in field else 0
                value = float(field) * rng.uniform(0.97, 1.03)
                out.append("%.*f" % (decimals, value) if decimals else str(int(value)))
            else:
                out.append(field)
        tails.append("|" + "|".join(out))
    return tails


def synthetic_times(rng, first_ms, end_ms, tick):
    """Times in [first_ms, end_ms): every 25 ms, or a few at random in each second."""
    if tick:
        return range(first_ms, end_ms, 25)
    times = []
    for second in range(first_ms // 1000, (end_ms + 999) // 1000):
        for ms in trade_times(rng, rng.randint(2, 4)):
            t = second * 1000 + ms
            if first_ms <= t < end_ms:
                times.append(t)
    return times


def whole_day_lines(rng, name, lines):
    tick = name in TICK_FILES
    first_ms, end_ms = TICK_WINDOW_MS if tick else SECOND_WINDOW_MS
    header = [line for line in lines[:1] if time_ms(line.split("|")[0]) is None]
    inside = [line for line in lines if (time_ms(line.split("|")[0]) or -1) in range(first_ms, end_ms)]
    if not inside:
        return lines
    template = inside[0]
    stamp = clock if "." in template.split("|")[0] else (lambda ms: clock_s(ms // 1000))
    tails = synthetic_tails(rng, template)

    def synthetic(first, end):
        return [stamp(t) + tails[i % len(tails)] for i, t in enumerate(synthetic_times(rng, first, end, tick))]

    return header + synthetic(DAY_FIRST_MS, first_ms) + inside + synthetic(end_ms, DAY_LAST_MS + 1)


def write_whole_day(folder, files):
    rng = random.Random(31415)
    for name, (lines, crlf) in sorted(files.items()):
        series = name.startswith("Ribbon/") or name in TICK_FILES or name.startswith(("eSPY", "iDJI", "fES"))
        write(folder, name, whole_day_lines(rng, name, lines) if series else lines, crlf)


def label_lines(spy_last, es_last):
    spy0 = spy_last[0]
    es0 = es_last[0]

    def spy(t):
        return relative(spy_last[t], spy0) / 100.0

    def es(t):
        return relative(es_last[t], es0) / 100.0

    low_t = min(range(0, 631), key=lambda t: spy_last[t])

    def T(t, value, font, colour, kind, text, target=None, target_value=0.0, link="", alt=""):
        target_text = clock_s(WINDOW_FIRST + target) if target is not None else ""
        target_value_text = "%.2f" % target_value if target is not None else ""
        return "T|%s|%.2f|%d|%d|%d|%s|%s|%s|%s|%s" % (
            clock_s(WINDOW_FIRST + t), value, font, colour, kind, target_text, target_value_text, text, link, alt)

    return [
        "; Labels: type|time|value %|font 0-3|colour 0-15|kind 0-4|target time|target value %|text|link|alt",
        "; kinds: 0 text from the point, 1 arrow down, 2 text ending at the point with arrow up, 3 dot, 4 text ending",
        T(-60, -0.50, 0, 15, 0, "before the window: not drawn"),
        T(25, -1.30, 0, 10, 0, "first futures dip", 15, es(15)),
        T(40, -1.90, 1, 12, 1, "25 ms detail in the box below", link="notes/ticks.htm", alt="Tick detail"),
        "N|14:43:20|0.00|0|0|0|||a note line, not drawn||",
        T(95, spy(95) - 0.35, 1, 9, 2, "cash steady"),
        T(130, -1.55, 0, 14, 4, "quiet tape"),
        T(150, spy(150) + 0.55, 0, 10, 1, "selling starts", link="notes/start.htm", alt="Where the selling began"),
        T(178, -0.20, 2, 5, 0, "programs hit the futures", 185, es(185), "notes/programs.htm", "Program selling"),
        T(205, spy(205) - 0.45, 1, 8, 2, "bids thin out"),
        T(230, -0.50, 2, 12, 0, "Futures lead, cash follows", link="notes/lead.htm", alt="How the futures led"),
        T(250, -1.70, 0, 12, 4, "eMini %+.1f%%" % es(228), 228, es(228)),
        T(262, -0.90, 1, 15, 0, "quote rates saturate", link="notes/quotes.htm", alt="Quote rates"),
        T(290, -1.30, 0, 10, 3, "stops triggered", 300, spy(300)),
        T(low_t + 1, -0.20, 2, 10, 0, "low %.2f%%" % spy(low_t), low_t, spy(low_t), "notes/low.htm",
          "The low of the afternoon"),
        T(372, spy(372) + 0.45, 0, 9, 1, "buyers return"),
        T(380, -0.50, 3, 10, 0, "%.1f%% in four minutes" % spy(low_t)),
        T(405, -1.70, 1, 12, 3, "half the drop recovered", 410, es(410), "notes/rebound.htm", "The rebound"),
        T(440, spy(440) + 0.50, 0, 14, 0, "retest"),
        T(480, -2.50, 1, 9, 4, "weighted lines lag", 480, spy(480)),
        T(525, spy(525) - 0.50, 0, 10, 2, "second dip"),
        T(560, -0.20, 2, 15, 0, "calmer, still %+.1f%%" % spy(575)),
        T(620, spy(620) + 0.45, 1, 12, 4, "end of window", link="notes/summary.htm", alt="Summary"),
        "; the first label after the window ends the reading",
        T(640, 0.00, 0, 15, 0, "after the window: not drawn"),
    ]


if __name__ == "__main__":
    main()
