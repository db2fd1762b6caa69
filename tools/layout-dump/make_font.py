#!/usr/bin/env python3
"""Builds TrueType fonts whose metrics equal the fake font's, for the browser.

    layout-dump --font-table | make_font.py OUT_DIR [FAMILY]

writes OUT_DIR/regular.ttf and OUT_DIR/bold.ttf. The table gives the vertical
metrics and, per code point, the advances of the regular and the bold face in
units of a 1000 px font, so with unitsPerEm 1000 every value is an integer and
the browser scales exactly what our layout measures. Only metrics matter: the
glyphs are boxes (one per distinct advance, shared by all code points that
have it), there is no kerning and no substitution.
"""
import sys

from fontTools.fontBuilder import FontBuilder
from fontTools.pens.ttGlyphPen import TTGlyphPen

UNITS_PER_EM = 1000


def exact(text, what):
    value = float(text)
    if abs(value - round(value)) > 1e-3:
        sys.exit(f"make_font: {what} = {value} is not a whole number of font units")
    return round(value)


def read_table(lines):
    metrics, advances = None, ([], [])
    for line in lines:
        fields = line.split()
        if not fields:
            continue
        if fields[0] == "metrics":
            metrics = [exact(v, "metrics") for v in fields[1:4]]
        elif fields[0].startswith("U+") and len(fields) == 3:
            cp = int(fields[0][2:], 16)
            advances[0].append((cp, exact(fields[1], fields[0])))
            advances[1].append((cp, exact(fields[2], fields[0])))
        else:
            sys.exit(f"make_font: unexpected line {line!r}")
    if metrics is None or not advances[0]:
        sys.exit("make_font: the table has no metrics or no advances")
    return metrics, advances


def box(width, ascent):
    pen = TTGlyphPen(None)
    if width > 0:
        inset = max(1, width // 10)
        pen.moveTo((inset, 0))
        pen.lineTo((inset, ascent * 7 // 8))
        pen.lineTo((width - inset, ascent * 7 // 8))
        pen.lineTo((width - inset, 0))
        pen.closePath()
    return pen.glyph()


def build(path, family, bold, metrics, advances):
    ascent, descent, line_gap = metrics
    widths = sorted({w for _, w in advances})
    name = {w: f"w{w}" for w in widths}
    order = [".notdef"] + [name[w] for w in widths]
    glyphs = {".notdef": box(UNITS_PER_EM // 2, ascent)}
    glyphs.update({name[w]: box(w, ascent) for w in widths})
    metrics_by_glyph = {".notdef": (UNITS_PER_EM // 2, 0)}
    metrics_by_glyph.update({name[w]: (w, 0) for w in widths})

    style = "Bold" if bold else "Regular"
    fb = FontBuilder(UNITS_PER_EM, isTTF=True)
    fb.setupGlyphOrder(order)
    fb.setupCharacterMap({cp: name[w] for cp, w in advances})
    fb.setupGlyf(glyphs)
    fb.setupHorizontalMetrics(metrics_by_glyph)
    # hhea, typo and win metrics all say the same, so FreeType and DirectWrite
    # agree whichever they read; the win pair has no line gap of its own.
    fb.setupHorizontalHeader(ascent=ascent, descent=-descent, lineGap=line_gap)
    fb.setupNameTable({"familyName": family, "styleName": style})
    fb.setupOS2(
        version=4,
        usWeightClass=700 if bold else 400,
        sTypoAscender=ascent,
        sTypoDescender=-descent,
        sTypoLineGap=line_gap,
        usWinAscent=ascent,
        usWinDescent=descent,
        # Our layout has no x-height of its own; vertical-align: middle takes half the ascent.
        sxHeight=ascent // 2,
        sCapHeight=ascent * 7 // 8,
        fsSelection=(1 << 7) | ((1 << 5) if bold else (1 << 6)),  # USE_TYPO_METRICS, BOLD or REGULAR
    )
    fb.setupPost()
    fb.font["head"].macStyle = 1 if bold else 0
    fb.save(path)


def main():
    if len(sys.argv) not in (2, 3):
        sys.exit("usage: layout-dump --font-table | make_font.py OUT_DIR [FAMILY]")
    out_dir = sys.argv[1]
    family = sys.argv[2] if len(sys.argv) == 3 else "Ostrel Fake"
    metrics, (regular, bold) = read_table(sys.stdin)
    build(f"{out_dir}/regular.ttf", family, False, metrics, regular)
    build(f"{out_dir}/bold.ttf", family, True, metrics, bold)


if __name__ == "__main__":
    main()
