#!/usr/bin/python3
"""Typesets the processor manual: Markdown chapters -> one HTML book -> PDF (WeasyPrint).

    manualpdf.py -o Manual.pdf [--html Manual.html] [--images DIR] [--title T] [--subtitle S]
                 chapter.md...

Each chapter starts with a level-1 heading and is numbered in order ("3 Instruction set"); its
level-2 headings are numbered within it ("3.2 Overview"). The book gets a title page, a table of
contents whose entries link to their headings and carry page numbers, a PDF outline (bookmarks)
of chapters, sections and the level-3 headings, running headers with the chapter's title, and
"Page N of M" footers. The typesetting itself is manual.css.

Markdown extras:
- `<!-- include: PATH -->` alone on a line is replaced by the file at PATH (relative to the
  including file, else to an --include-dir), so one fragment serves the manual and the README,
  and a listing printed in the manual is the one the assembler wrote at build time.
- Images are looked up relative to --images (the screenshots made at build time), then to the
  chapter's own folder.
- A link `[text](#id)` goes to the heading whose id is `id`: the heading's text in lower case,
  blanks turned into '-', other punctuation dropped (python-markdown's toc ids). Unknown targets
  are an error, so a renamed heading cannot leave a dead link behind.
"""
import argparse
import html
import mimetypes
import os
import re
import sys

import markdown
from markdown.extensions.toc import slugify

HERE = os.path.dirname(os.path.abspath(__file__))
INCLUDE = re.compile(r"^<!--\s*include:\s*(\S+)\s*-->\s*$")


INCLUDE_DIRS = []  # --include-dir: made at build time (listings the assembler writes)
IMAGE_SCHEME = "manual-image:"
IMAGE_FILES = {}  # an image's name in the chapters -> the file found for it


def read_with_includes(path, depth=0):
    if depth > 8:
        raise SystemExit(f"manualpdf: includes nested too deep at {path}")
    out = []
    with open(path, encoding="utf-8") as f:
        for line in f:
            m = INCLUDE.match(line.strip())
            if m:
                target = os.path.join(os.path.dirname(path), m.group(1))
                for d in INCLUDE_DIRS:
                    if os.path.exists(target):
                        break
                    target = os.path.join(d, m.group(1))
                if not os.path.exists(target):
                    raise SystemExit(f"manualpdf: {path}: cannot include {m.group(1)}")
                out.append(read_with_includes(target, depth + 1))
                if not out[-1].endswith("\n"):
                    out.append("\n")
            else:
                out.append(line)
    return "".join(out)


HEADING = re.compile(r"<h([1-4]) id=\"([^\"]+)\">(.*?)</h\1>", re.S)


def chapter_html(number, source, images_dirs, used_ids):
    md = markdown.Markdown(
        extensions=["tables", "fenced_code", "toc", "attr_list", "sane_lists"],
        extension_configs={"toc": {"slugify": slugify}})
    body = md.convert(source)
    section = 0
    entries = []  # (level, id, label)

    def number_heading(m):
        nonlocal section
        level, ident, text = int(m.group(1)), m.group(2), m.group(3)
        # ids stay unique across the whole book.
        base = ident
        n = 1
        while ident in used_ids:
            n += 1
            ident = f"{base}-{n}"
        used_ids.add(ident)
        if level == 1:
            label = f"{number}"
        elif level == 2:
            section += 1
            label = f"{number}.{section}"
        else:
            label = ""
        plain = re.sub(r"<[^>]+>", "", text)
        entries.append((level, ident, label, html.unescape(plain)))
        num = f'<span class="num">{label}</span> ' if label else ""
        return f'<h{level} id="{ident}">{num}{text}</h{level}>'

    body = HEADING.sub(number_heading, body)

    def fix_image(m):
        src = m.group(1)
        if re.match(r"^[a-z]+:", src) or os.path.isabs(src):
            return m.group(0)
        for d in images_dirs:
            candidate = os.path.join(d, src)
            if os.path.exists(candidate):
                # Named by a URL of their own rather than their path: the PDF names each image after
                # its URL, and a path would put the build folder into the PDF.
                IMAGE_FILES[src] = os.path.abspath(candidate)
                return m.group(0).replace(f'src="{src}"', f'src="{IMAGE_SCHEME}{src}"')
        raise SystemExit(f"manualpdf: image not found: {src}")

    body = re.sub(r'<img[^>]*?src="([^"]+)"', fix_image, body)
    # An image alone in a paragraph is a figure; its alt text is the caption.
    body = re.sub(r'<p>(<img alt="([^"]*)"[^>]*>)</p>',
                  r'<figure>\1<figcaption>\2</figcaption></figure>', body)
    return f'<section class="chapter">\n{body}\n</section>\n', entries


def contents_html(entries):
    rows = []
    for level, ident, label, text in entries:
        if level > 2:
            continue
        cls = "toc-chapter" if level == 1 else "toc-section"
        rows.append(f'<li class="{cls}"><a href="#{ident}"><span class="num">{label}</span> '
                    f'{html.escape(text)}</a></li>')
    return ('<nav class="contents"><h1 class="contents-title">Contents</h1><ul>\n' +
            "\n".join(rows) + "\n</ul></nav>\n")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("-o", "--output", required=True)
    parser.add_argument("--html", help="also write the intermediate HTML here")
    parser.add_argument("--images", action="append", default=[])
    parser.add_argument("--include-dir", action="append", default=[])
    parser.add_argument("--title", default="Tervik Microcontroller Manual")
    parser.add_argument("--subtitle", action="append", default=[],
                        help="a line under the title; may be given several times")
    parser.add_argument("sources", nargs="+")
    args = parser.parse_args()

    INCLUDE_DIRS.extend(args.include_dir)
    used_ids = {"contents", "title"}
    chapters = []
    entries = []
    for number, path in enumerate(args.sources, start=1):
        source = read_with_includes(path)
        body, found = chapter_html(number, source, args.images + [os.path.dirname(path)],
                                   used_ids)
        chapters.append(body)
        entries += found
    # Every internal link must reach a heading.
    known = {e[1] for e in entries}
    for target in re.findall(r'href="#([^"]+)"', "".join(chapters)):
        if target not in known:
            raise SystemExit(f"manualpdf: a link goes to #{target}, which no heading has")

    # No date unless the build gives one (SOURCE_DATE_EPOCH, as reproducible builds do), so that
    # two builds of the same sources give the same bytes.
    dates = ""
    epoch = os.environ.get("SOURCE_DATE_EPOCH", "")
    if epoch.isdigit():
        import datetime
        when = datetime.datetime.fromtimestamp(int(epoch), datetime.timezone.utc)
        stamp = when.strftime("%Y-%m-%dT%H:%M:%SZ")
        dates = (f'<meta name="dcterms.created" content="{stamp}">\n'
                 f'<meta name="dcterms.modified" content="{stamp}">\n')
    subtitle = "".join(f"<p>{html.escape(line)}</p>" for line in args.subtitle)
    title = html.escape(args.title)
    document = f"""<!DOCTYPE html>
<html lang="en"><head><meta charset="utf-8"><title>{title}</title>
<meta name="author" content="Tervik">
<meta name="generator" content="tervik manualpdf">
{dates}</head><body>
<section class="titlepage" id="title"><div class="rule"></div><h1 class="book-title">{title}</h1>
<div class="subtitle">{subtitle}</div></section>
{contents_html(entries)}
{''.join(chapters)}
</body></html>
"""
    if args.html:
        with open(args.html, "w", encoding="utf-8") as f:
            f.write(document)

    # WeasyPrint is imported late: --help and the HTML need only Markdown.
    import logging
    import weasyprint
    logging.getLogger("weasyprint").setLevel(logging.ERROR)
    logging.getLogger("fontTools").setLevel(logging.ERROR)
    css = weasyprint.CSS(filename=os.path.join(HERE, "manual.css"))
    def fetch(url):
        if url.startswith(IMAGE_SCHEME):
            path = IMAGE_FILES[url[len(IMAGE_SCHEME):]]
            with open(path, "rb") as f:
                kind = mimetypes.guess_type(path)[0] or "application/octet-stream"
                return {"string": f.read(), "mime_type": kind, "redirected_url": url}
        return weasyprint.default_url_fetcher(url)

    doc = weasyprint.HTML(string=document, base_url=os.path.dirname(os.path.abspath(args.output)),
                          url_fetcher=fetch)
    tmp = args.output + ".tmp"
    doc.write_pdf(tmp, stylesheets=[css])
    os.replace(tmp, args.output)
    return 0


if __name__ == "__main__":
    sys.exit(main())
