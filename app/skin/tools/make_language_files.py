#!/usr/bin/env python3
"""Writes the six language files of the skin from texts.tsv (one row per
text id, one column per locale). Run after editing texts.tsv:
    python3 app/skin/tools/make_language_files.py
"""
import os
from xml.sax.saxutils import escape

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "..", "default", "xmls", "lang")


def main():
    rows = []
    locales = None
    with open(os.path.join(HERE, "texts.tsv"), encoding="utf-8") as f:
        for line in f:
            line = line.rstrip("\n")
            if not line:
                continue
            cells = line.split("\t")
            if line.startswith("#"):
                locales = [c.strip() for c in cells[1:]]
                continue
            if len(cells) != len(locales) + 1:
                raise SystemExit("bad row: %s" % cells[0])
            rows.append(cells)
    os.makedirs(OUT, exist_ok=True)
    for i, locale in enumerate(locales):
        lines = ['<?xml version="1.0" encoding="utf-8"?>',
                 "<!-- Generated from app/skin/tools/texts.tsv by make_language_files.py. -->",
                 '<Language locale="%s">' % locale]
        for cells in rows:
            text = cells[i + 1]
            if text:
                lines.append('  <Text id="%s">%s</Text>' % (cells[0], escape(text)))
        lines.append("</Language>")
        with open(os.path.join(OUT, "strings_%s.xml" % locale), "w", encoding="utf-8") as f:
            f.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    main()
