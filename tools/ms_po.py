#!/usr/bin/env python3
"""Translation of the groff -ms user guide through the program's gettext catalogues.

The guide is cut into units: the text lines between two block requests (paragraphs, headings, list items,
the title and the abstract), together with the inline font requests (.B, .I, .CW) among them. Each unit is
one message, so that translators see whole paragraphs with their markup.

    ms_po.py extract GUIDE.ms > guide.pot      the units as a gettext template
    ms_po.py translate GUIDE.ms LANG.po > out   the guide with every translated unit replaced
"""
import re
import sys

# Requests that set a few words in another font: they belong to the text around them.
INLINE_REQUESTS = {"B", "I", "CW", "BI", "R", "UL", "BX"}
# A list item's label in words (not a bullet) is a message of its own.
LABELLED_ITEM = re.compile(r'^(\.IP\s+")([^"]*[A-Za-z][^"]*)(".*)$')


def is_text_line(line):
    if line.startswith(".\\\""):
        return False
    match = re.match(r"^[.']\s*([A-Za-z]+)", line)
    if match:
        return match.group(1) in INLINE_REQUESTS
    return line.strip() not in ("", ".")


def units(lines):
    """Yields (line number, kind, lines): kind "text" for a unit, "markup" for a line kept as it is."""
    pending = []
    start = 0
    for number, line in enumerate(lines, 1):
        if is_text_line(line):
            if not pending:
                start = number
            pending.append(line)
            continue
        if pending:
            yield start, "text", pending
            pending = []
        yield number, "markup", [line]
    if pending:
        yield start, "text", pending


def po_quote(text):
    escaped = text.replace("\\", "\\\\").replace('"', '\\"').replace("\t", "\\t")
    parts = escaped.split("\n")
    if len(parts) == 1:
        return '"%s"' % parts[0]
    body = "".join('"%s\\n"\n' % p for p in parts[:-1]) + '"%s"' % parts[-1]
    return '""\n' + body


def extract(path):
    with open(path, encoding="utf-8") as f:
        lines = f.read().split("\n")
    seen = set()
    out = []
    for number, kind, chunk in units(lines):
        label = LABELLED_ITEM.match(chunk[0])
        if kind != "text" and not label:
            continue
        msgid = label.group(2) if kind != "text" else "\n".join(chunk)
        if msgid in seen:
            continue
        seen.add(msgid)
        out.append("#. TRANSLATORS: user guide; keep the lines that start with a dot as groff requests\n"
                   "#: %s:%d\nmsgid %s\nmsgstr \"\"\n" % (path, number, po_quote(msgid)))
    header = 'msgid ""\nmsgstr ""\n"Content-Type: text/plain; charset=UTF-8\\n"\n'
    sys.stdout.write(header + "\n" + "\n".join(out))


def po_unquote(text):
    result = []
    i = 0
    while i < len(text):
        c = text[i]
        if c == "\\" and i + 1 < len(text):
            nxt = text[i + 1]
            result.append({"n": "\n", "t": "\t", '"': '"', "\\": "\\"}.get(nxt, "\\" + nxt))
            i += 2
        else:
            result.append(c)
            i += 1
    return "".join(result)


def read_po(path):
    """The translated, non-fuzzy messages of a catalogue as a dict."""
    messages = {}
    entry = {}
    field = None
    fuzzy = False

    def finish():
        if "msgid" in entry and entry.get("msgstr") and not fuzzy and "msgctxt" not in entry:
            messages[entry["msgid"]] = entry["msgstr"]

    with open(path, encoding="utf-8") as f:
        for raw in f:
            line = raw.rstrip("\n")
            if not line.strip():
                finish()
                entry, field, fuzzy = {}, None, False
            elif line.startswith("#,"):
                fuzzy = fuzzy or "fuzzy" in line
            elif line.startswith("#"):
                continue
            elif line.startswith('"') and field:
                entry[field] += po_unquote(line[1:-1])
            else:
                match = re.match(r'^(msgctxt|msgid|msgstr)\s+"(.*)"$', line)
                if match:
                    field = match.group(1)
                    entry[field] = po_unquote(match.group(2))
                else:
                    field = None
    finish()
    return messages


def translate(path, po_path):
    with open(path, encoding="utf-8") as f:
        lines = f.read().split("\n")
    messages = read_po(po_path)
    out = []
    for _, kind, chunk in units(lines):
        label = LABELLED_ITEM.match(chunk[0])
        if kind == "text":
            out.append(messages.get("\n".join(chunk), "\n".join(chunk)))
        elif label:
            out.append(label.group(1) + messages.get(label.group(2), label.group(2)) + label.group(3))
        else:
            out.extend(chunk)
    sys.stdout.write("\n".join(out))


if __name__ == "__main__":
    if len(sys.argv) == 3 and sys.argv[1] == "extract":
        extract(sys.argv[2])
    elif len(sys.argv) == 4 and sys.argv[1] == "translate":
        translate(sys.argv[2], sys.argv[3])
    else:
        sys.exit(__doc__)
