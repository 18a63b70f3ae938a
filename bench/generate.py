#!/usr/bin/env python3
"""Writes the benchmark documents into bench/data/ (same seed, same bytes)."""

import argparse
import collections
import os
import random
import re
import shutil
import sys

FORMAT_VERSION = 3
MB = 1000 * 1000

WORDS = (
    "alpha beta Gamma delta Epsilon zeta eta Theta iota kappa lambda Mu nu xi omicron pi "
    "Rho sigma tau upsilon Phi chi psi Omega river stone Cloud harbor lantern Meadow copper "
    "signal orbit Paper garden quartz Violet ember falcon Granite willow tundra Cobalt "
    "saffron Juniper marble velvet Thistle canyon glacier Amber cedar beacon Summit"
).split()
FIRST = ("Jos&#233;", "Ana", "M&#233;lanie", "J&#252;rgen", "Bj&#246;rn", "Zo&#235;",
         "Fran&#231;ois", "Ren&#233;e", "Tom", "Ingrid", "&#x00C5;sa", "Luis")
LAST = ("Smith", "M&#252;ller", "Garc&#237;a", "O&apos;Brien", "Dvo&#x0159;&#xE1;k",
        "Nakamura", "Johansson", "L&#243;pez", "Brown &amp; Sons", "Novak")
TYPES = ("book", "article", "report", "Thesis", "manual")
LANGS = ("en", "fr", "de", "es", "sv")
CURRENCIES = ("EUR", "USD", "GBP", "SEK")
COMMENTS = ("checked by hand", "imported from the old system", "price under review",
            "TODO: verify the author list", "duplicate of an earlier entry?")
PUNCT = (" &amp; ", " &lt; ", " &gt; ", ", ", "; ", " - ", " &#x2014; ", " ")

REF = re.compile(r"&(#x[0-9A-Fa-f]+|#[0-9]+|amp|lt|gt|quot|apos);")
PLAIN = {"amp": "and", "lt": "lt", "gt": "gt", "quot": "'", "apos": "'"}


def without_refs(text):
    """Same content with every reference written out (UTF-8) or replaced by a plain word."""
    def repl(m):
        name = m.group(1)
        if name.startswith("#x"):
            return chr(int(name[2:], 16))
        if name.startswith("#"):
            return chr(int(name[1:]))
        return PLAIN[name]
    return REF.sub(repl, text)


def sentence(rng, lo, hi):
    n = rng.randint(lo, hi)
    parts = [rng.choice(WORDS)]
    for _ in range(n - 1):
        parts.append(rng.choice(PUNCT) if rng.random() < 0.15 else " ")
        parts.append(rng.choice(WORDS))
    return "".join(parts)


def record(rng, i):
    out = ['  <record id="r%07d" type="%s" lang="%s" updated="20%02d-%02d-%02d">\n'
           % (i, rng.choice(TYPES), rng.choice(LANGS), rng.randint(10, 24),
              rng.randint(1, 12), rng.randint(1, 28))]
    out.append("    <title>%s</title>\n" % sentence(rng, 2, 8))
    for _ in range(rng.randint(1, 3)):
        out.append('    <author role="%s">%s %s</author>\n'
                   % (rng.choice(("author", "editor", "Translator")),
                      rng.choice(FIRST), rng.choice(LAST)))
    out.append('    <price currency="%s">%d.%02d</price>\n'
               % (rng.choice(CURRENCIES), rng.randint(10, 999), rng.randint(0, 99)))
    out.append("    <stock>%d</stock>\n" % rng.randint(0, 5000))
    out.append("    <tags>")
    for _ in range(rng.randint(1, 6)):
        out.append("<tag>%s</tag>" % rng.choice(WORDS))
    out.append("</tags>\n")
    out.append('    <description note="&quot;%s&quot; &amp; more">%s</description>\n'
               % (rng.choice(WORDS), sentence(rng, 15, 60)))
    if i % 5 == 0:
        out.append("    <!-- %s -->\n" % rng.choice(COMMENTS))
    out.append("  </record>\n")
    return "".join(out)


def write_records(path, size, rng_name, seed, refs, count=None):
    """Writes records until the file reaches size bytes, or until count records; returns the count."""
    rng = random.Random("%s-%s" % (seed, rng_name))
    written = 0
    i = 0
    with open(path, "w", encoding="utf-8", newline="\n") as f:
        head = ('<?xml version="1.0" encoding="UTF-8"?>\n'
                '<!-- benchmark document, seed %s -->\n<catalog seed="%s">\n' % (seed, seed))
        f.write(head)
        written += len(head)
        while (written < size) if count is None else (i < count):
            batch = []
            for _ in range(500):
                i += 1
                batch.append(record(rng, i))
            text = "".join(batch)
            if not refs:
                text = without_refs(text)
            f.write(text)
            written += len(text.encode("utf-8"))
        f.write("</catalog>\n")
    return i


def patch_last_price(path):
    """Changes one digit of the last price, in place, keeping the length."""
    with open(path, "r+b") as f:
        f.seek(0, os.SEEK_END)
        tail_at = max(0, f.tell() - 65536)
        f.seek(tail_at)
        tail = f.read()
        m = None
        for m in re.finditer(rb'<price currency="[A-Z]+">([0-9])', tail):
            pass
        if m is None:
            sys.exit("no price near the end of " + path)
        digit = m.group(1)[0] - ord("0")
        f.seek(tail_at + m.start(1))
        f.write(bytes([ord("0") + (digit % 9) + 1]))


def patch_scattered_prices(path, count):
    """Changes one digit of count prices spread evenly over the file, in place."""
    with open(path, "r+b") as f:
        data = bytearray(f.read())
        at = [m.start(1) for m in re.finditer(rb'<price currency="[A-Z]+">([0-9])', data)]
        if len(at) < count:
            sys.exit("fewer than %d prices in %s" % (count, path))
        for k in range(count):
            i = at[(2 * k + 1) * len(at) // (2 * count)]
            data[i] = ord("0") + (data[i] - ord("0")) % 9 + 1
        f.seek(0)
        f.write(data)


def gen_scattered(out, label, count):
    """The pair for listing many differences (-l): a copy of records-LABEL.xml with count
    prices changed all over it."""
    base = os.path.join(out, "records-%s" % label)
    if not os.path.exists(base + ".xml"):
        sys.exit("generate records-%s first" % label)
    shutil.copyfile(base + ".xml", base + "-scattered.xml")
    patch_scattered_prices(base + "-scattered.xml", count)


def most_frequent_element(path):
    with open(path, "rb") as f:
        data = f.read()
    data = re.sub(rb"<!--.*?-->", b"", data, flags=re.S)
    counts = collections.Counter(re.findall(rb"<([A-Za-z_][A-Za-z0-9_.:-]*)", data))
    name, count = counts.most_common(1)[0]
    return name.decode(), count


def gen_records(out, seed, label, size, with_norefs, pair_only=False):
    base = os.path.join(out, "records-%s" % label)
    records = write_records(base + ".xml", size, "records-" + label, seed, True)
    shutil.copyfile(base + ".xml", base + "-copy.xml")
    shutil.copyfile(base + ".xml", base + "-changed.xml")
    patch_last_price(base + "-changed.xml")
    if pair_only:
        return  # the diff pairs only; counting elements would read the whole file into memory
    name, count = most_frequent_element(base + ".xml")
    with open(base + ".most-frequent", "w") as f:
        f.write(name + "\n")
    print("  records-%s: most frequent element <%s> (%d times)" % (label, name, count))
    if with_norefs:
        # same records as the document, only the references written out
        write_records(base + "-norefs.xml", size, "records-" + label, seed, False, records)


def gen_wide(out, seed, label, n):
    rng = random.Random("%s-wide-%s" % (seed, label))
    children = []
    for i in range(n):
        children.append('  <entry key="k%06d" kind="%s"><name>%s %s</name><value>%d</value></entry>\n'
                        % (i, rng.choice(TYPES), rng.choice(WORDS), rng.choice(WORDS),
                           rng.randint(0, 10 ** 9)))
    base = os.path.join(out, "wide-%s" % label)
    head = '<?xml version="1.0" encoding="UTF-8"?>\n<wide>\n'
    for suffix, items in (("", children), ("-copy", children)):
        with open(base + suffix + ".xml", "w", encoding="utf-8", newline="\n") as f:
            f.write(head + "".join(items) + "</wide>\n")
    shuffled = list(children)
    rng.shuffle(shuffled)
    with open(base + "-shuffled.xml", "w", encoding="utf-8", newline="\n") as f:
        f.write(head + "".join(shuffled) + "</wide>\n")


def gen_deep(out, seed, label, n):
    # the element at half depth is named "mid" so that -r can cut the chain in two
    half = n // 2
    opens = "".join("<mid>" if d == half else "<n>" for d in range(n))
    closes = "".join("</mid>" if d == half else "</n>" for d in reversed(range(n)))
    text = '<?xml version="1.0" encoding="UTF-8"?>\n<!-- seed %s -->\n%sbottom &amp; end%s\n' % (
        seed, opens, closes)
    base = os.path.join(out, "deep-%s" % label)
    for suffix in ("", "-copy"):
        with open(base + suffix + ".xml", "w", encoding="utf-8", newline="\n") as f:
            f.write(text)


def gen_deep_swapped(out, seed, label, n):
    # the innermost children stand in another order in the second file: only -o finds them equal
    head = '<?xml version="1.0" encoding="UTF-8"?>\n<!-- seed %s -->\n' % seed
    opens, closes = "<n>" * n, "</n>" * n
    base = os.path.join(out, "deep-swapped-%s" % label)
    for suffix, inner in (("", "<a>first</a><b>second</b>"), ("-other", "<b>second</b><a>first</a>")):
        with open(base + suffix + ".xml", "w", encoding="utf-8", newline="\n") as f:
            f.write(head + opens + inner + closes + "\n")


def gen_listing(out, seed, n):
    """Pairs that a listing cannot line up cheaply: one child of the document element that holds
    n records, with one text changed in its middle; and n children that differ in every one."""
    rng = random.Random("%s-listing" % seed)
    words = [rng.choice(WORDS) for _ in range(64)]
    for suffix, changed in (("", False), ("-changed", True)):
        with open(os.path.join(out, "one-child%s.xml" % suffix), "w", encoding="utf-8",
                  newline="\n") as f:
            f.write("<doc><head/><big>\n")
            for i in range(n):
                text = "changed" if changed and i == n // 2 else "%s %d" % (words[i % 64], i)
                f.write('  <item n="%d"><a>%s</a><b>%s</b></item>\n' % (i, text, words[i % 61]))
            f.write("</big><tail/></doc>\n")
    for suffix, word in (("", "first"), ("-other", "other")):
        with open(os.path.join(out, "never%s.xml" % suffix), "w", encoding="utf-8",
                  newline="\n") as f:
            f.write("<doc>\n")
            for i in range(n):
                f.write('  <item n="%d">%s %d</item>\n' % (i, word, i))
            f.write("</doc>\n")


SETS = {
    "records-1mb": lambda out, seed: gen_records(out, seed, "1mb", 1 * MB, False),
    "records-10mb": lambda out, seed: gen_records(out, seed, "10mb", 10 * MB, False),
    "records-100mb": lambda out, seed: gen_records(out, seed, "100mb", 100 * MB, True),
    "records-100mb-scattered": lambda out, seed: gen_scattered(out, "100mb", 10000),
    # on demand only (named on the command line): the pairs for diffs larger than memory
    "records-1gb": lambda out, seed: gen_records(out, seed, "1gb", 1000 * MB, False, True),
    "records-3gb": lambda out, seed: gen_records(out, seed, "3gb", 3000 * MB, False, True),
    "listing": lambda out, seed: gen_listing(out, seed, 600000),
    "wide-10k": lambda out, seed: gen_wide(out, seed, "10k", 10000),
    "wide-100k": lambda out, seed: gen_wide(out, seed, "100k", 100000),
    "deep-10k": lambda out, seed: gen_deep(out, seed, "10k", 10000),
    "deep-100k": lambda out, seed: gen_deep(out, seed, "100k", 100000),
    # on demand only: for -o on deep nestings
    "deep-swapped-10k": lambda out, seed: gen_deep_swapped(out, seed, "10k", 10000),
    "deep-swapped-40k": lambda out, seed: gen_deep_swapped(out, seed, "40k", 40000),
    "deep-swapped-100k": lambda out, seed: gen_deep_swapped(out, seed, "100k", 100000),
}
QUICK = ("records-1mb", "records-10mb", "wide-10k", "deep-10k")
ON_DEMAND = ("records-1gb", "records-3gb", "deep-swapped-10k", "deep-swapped-40k",
             "deep-swapped-100k")


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    ap = argparse.ArgumentParser(description=__doc__)
    ap.add_argument("--out", default=os.path.join(here, "data"))
    ap.add_argument("--seed", default="1")
    ap.add_argument("--quick", action="store_true", help="only the small sets")
    ap.add_argument("--force", action="store_true", help="regenerate even if up to date")
    ap.add_argument("sets", nargs="*", help="sets to generate (default: all)")
    args = ap.parse_args()
    wanted = args.sets or (QUICK if args.quick else tuple(s for s in SETS if s not in ON_DEMAND))
    for name in wanted:
        if name not in SETS:
            sys.exit("unknown set %s (known: %s)" % (name, ", ".join(SETS)))
    os.makedirs(args.out, exist_ok=True)
    for name in wanted:
        stamp = os.path.join(args.out, name + ".done")
        want = "version=%d seed=%s\n" % (FORMAT_VERSION, args.seed)
        if not args.force and os.path.exists(stamp):
            with open(stamp) as f:
                if f.read() == want:
                    continue
        print("generating %s" % name, flush=True)
        SETS[name](args.out, args.seed)
        with open(stamp, "w") as f:
            f.write(want)


if __name__ == "__main__":
    main()
