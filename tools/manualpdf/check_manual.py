#!/usr/bin/python3
"""Checks the typeset manual against its HTML source (tools/manualpdf/manualpdf.py --html):

- every line of every code block, and the text of every heading, paragraph, list item and table
  cell, is in the PDF's text (pdftotext, poppler-utils), compared without white space, so a
  line that wraps passes and a line cut at the margin fails;
- no word is printed outside the page's text area (pdftotext -bbox), so nothing runs off the
  right edge;
- every line of every code block is printed on one line of the page, not wrapped, so that code
  copied from the PDF is the code of the source;
- the PDF has an outline (bookmarks) and internal links.

    check_manual.py Manual.pdf Manual.html
"""
import html
import re
import shutil
import subprocess
import sys
from html.parser import HTMLParser

MM = 72 / 25.4
MARGIN_SLACK = 1.5 * MM  # the text area is the page less 20 mm each side


class Blocks(HTMLParser):
    """Collects the text of each block element and each line of each <pre>."""
    BLOCK = {"p", "li", "td", "th", "h1", "h2", "h3", "h4", "figcaption"}

    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.stack = []
        self.blocks = []  # (kind, text)
        self.pre = None

    def handle_starttag(self, tag, attrs):
        if tag == "pre":
            self.pre = []
        elif tag in self.BLOCK and self.pre is None:
            self.stack.append([tag, []])

    def handle_endtag(self, tag):
        if tag == "pre" and self.pre is not None:
            for line in "".join(self.pre).split("\n"):
                self.blocks.append(("code line", line))
            self.pre = None
        elif tag in self.BLOCK and self.stack and self.stack[-1][0] == tag:
            kind, parts = self.stack.pop()
            text = "".join(parts)
            self.blocks.append((kind, text))
            if self.stack:
                self.stack[-1][1].append(text)

    def handle_data(self, data):
        if self.pre is not None:
            self.pre.append(data)
        elif self.stack:
            self.stack[-1][1].append(data)


def squeeze(text):
    # Without white space; ligatures and typographic quotes as the source has them.
    text = text.replace("\ufb01", "fi").replace("\ufb02", "fl")
    return re.sub(r"\s+", "", text)


def main(pdf, source):
    failures = []
    text = subprocess.run(["pdftotext", "-raw", "-enc", "UTF-8", pdf, "-"], check=True,
                          capture_output=True, text=True).stdout
    with open(source, encoding="utf-8") as f:
        document = f.read()
    # The running header and footer follow each page's text; a paragraph that goes on over the
    # page must not have them in its middle.
    title = html.unescape(re.search(r"<title>(.*?)</title>", document).group(1))
    pages = []
    for page in text.split("\f"):
        lines = page.rstrip("\n").split("\n")
        while lines and lines[-1].startswith(title):
            lines.pop()
        pages.append("\n".join(lines))
    flat = squeeze("\n".join(pages))
    # A list's markers may come out of the text's order, between the lines of the paragraph
    # before; a block passes with them or without lines that hold only a marker.
    unmarked = squeeze("\n".join(line for line in "\n".join(pages).split("\n")
                                 if not re.fullmatch(r"\s*(\d+\.|\u2022)\s*", line)))
    body = document[document.index("<body>"):]
    parser = Blocks()
    parser.feed(body)
    checked = 0
    for kind, block in parser.blocks:
        s = squeeze(block)
        if not s:
            continue
        checked += 1
        if s not in flat and s not in unmarked:
            failures.append(f"missing {kind}: {block.strip()[:120]!r}")

    # Every code line on one printed line: a wrapped one is split over two lines of the text.
    printed = {squeeze(line) for page in pages for line in page.split("\n")}
    wrapped = [block for kind, block in parser.blocks
               if kind == "code line" and squeeze(block) and squeeze(block) not in printed]
    for block in wrapped[:10]:
        failures.append(f"code line wider than the page: {block.expandtabs(8)!r} "
                        f"({len(block.expandtabs(8))} columns)")
    if len(wrapped) > 10:
        failures.append(f"{len(wrapped) - 10} more code lines wider than the page")

    # Every word inside the text area.
    bbox = subprocess.run(["pdftotext", "-bbox", pdf, "-"], check=True, capture_output=True,
                          text=True).stdout
    page_width = None
    page_no = 0
    outside = 0
    for line in bbox.splitlines():
        m = re.search(r'<page width="([\d.]+)"', line)
        if m:
            page_width = float(m.group(1))
            page_no += 1
            continue
        m = re.search(r'<word xMin="([\d.]+)" yMin="[\d.]+" xMax="([\d.]+)" yMax="[\d.]+">(.*)</word>',
                      line)
        if m and page_width:
            x0, x1 = float(m.group(1)), float(m.group(2))
            if x0 < 20 * MM - MARGIN_SLACK or x1 > page_width - 20 * MM + MARGIN_SLACK:
                outside += 1
                if outside <= 10:
                    failures.append(f"page {page_no}: {html.unescape(m.group(3))!r} runs outside "
                                    f"the text area ({x0:.0f}..{x1:.0f} pt)")

    with open(pdf, "rb") as f:
        raw = f.read()
    if b"/Outlines" not in raw:
        failures.append("the PDF has no outline")
    links = raw.count(b"/Subtype /Link")
    if links < 50:
        failures.append(f"the PDF has only {links} links")

    for failure in failures:
        print(f"check_manual: {failure}", file=sys.stderr)
    print(f"check_manual: {checked} blocks, {page_no} pages, {links} links; "
          f"{len(failures)} problems")
    return 1 if failures else 0


if __name__ == "__main__":
    if len(sys.argv) != 3:
        print(__doc__, file=sys.stderr)
        sys.exit(64)
    if shutil.which("pdftotext") is None:
        print("check_manual: skipped: pdftotext is missing (Debian package poppler-utils)")
        sys.exit(77)
    sys.exit(main(sys.argv[1], sys.argv[2]))
