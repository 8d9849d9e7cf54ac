#!/usr/bin/env python3
"""Writes TANUFOLD.HLP, a Windows Help 3.1 file, TANUFOLD.CNT, its contents file, and
TANUFOLD.HTM, the same topics as one HTML page for systems without WinHelp, from our help text
(resources/help/tanufold.txt). Python 3 standard library only.

Usage: make-help.py HELP_TEXT OUT.HLP OUT.CNT OUT.HTM

How the help file is laid out (all numbers little-endian):

- A 16-byte header (magic 0x00035F3F, offset of the directory, -1, file size), then the internal
  files. Each starts with a 9-byte file header: the space it takes including that header, its
  size without it, and the flags byte 4.
- The directory is itself an internal file: a B+ tree with 1 KB pages whose leaf entries are a
  NUL-terminated file name and the offset of that file's header, sorted by name. Every B+ tree
  here has a single leaf page.
- |SYSTEM: magic 0x036C, format 1.21 (Windows 3.1), build date, flags 0 (topic blocks of 4 KB,
  not compressed); then records: 1 = title, 3 = contents topic, 11 = character set (Shift-JIS).
- |FONT: face names of 20 bytes and 11-byte font descriptors (attributes, size in half points,
  family, face index, foreground and background colour).
- |TOPIC: blocks of 4 KB, each a 12-byte header and then its part of a doubly linked list of
  records ("topic links"); the data parts of the blocks form one stream, so a record may continue
  in the next block. A topic is a topic header record (type 2, LinkData2 = its title) followed by
  one text record (type 0x20) per paragraph. A text record's LinkData1 holds the paragraph's
  layout and a list of commands (0x80 font, 0xE3 jump, 0x89 end of jump, 0x82 end of paragraph,
  0xFF end); its LinkData2 holds NUL-terminated strings, one shown before each command. Records
  are addressed by TOPICPOS (block << 14, plus 12, plus the offset in the block); topics by
  TOPICOFFSET (block << 15, plus the count of characters before it in the block).
- |CONTEXT: a B+ tree from the hash of each context id to its topic's TOPICOFFSET.
- |CTXOMAP: the (empty) map from context numbers to topics.
"""

import html
import re
import struct
import sys

ENCODING = "cp932"
FACE_NAME = "ＭＳ Ｐゴシック"
SHIFTJIS_CHARSET = 128
TOPIC_BLOCK_SIZE = 4096
TOPIC_BLOCK_HEADER = 12
TOPIC_BLOCK_DATA = TOPIC_BLOCK_SIZE - TOPIC_BLOCK_HEADER
FONT_BODY, FONT_HEADING, FONT_BOLD = 0, 1, 2


def u16(value):
    return struct.pack("<H", value & 0xFFFF)


def u32(value):
    return struct.pack("<I", value & 0xFFFFFFFF)


def compressed_ushort(value):
    """One byte (value * 2) below 128, else two (value * 2 + 1)."""
    return bytes([value * 2]) if value < 128 else u16(value * 2 + 1)


def compressed_long(value):
    """Two bytes (0x8000 + value * 2) for small values, else four (0x80000000 + value * 2 + 1)."""
    if -16384 <= value < 16384:
        return u16(0x8000 + value * 2)
    return u32(0x80000000 + value * 2 + 1)


def compressed_short(value):
    """One byte (0x80 + value * 2) for small values, else two (0x8000 + value * 2 + 1)."""
    if -64 <= value < 64:
        return bytes([0x80 + value * 2])
    return u16(0x8000 + value * 2 + 1)


def context_hash(context_id):
    """The hash WinHelp files carry instead of a context id: base 43 over a character table."""
    value = 0
    for c in context_id.upper():
        if "A" <= c <= "Z":
            digit = ord(c) - ord("A") + 17
        elif "1" <= c <= "9":
            digit = ord(c) - ord("0")
        else:
            digit = {"0": 10, ".": 12, "_": 13}.get(c, 0)
        if digit:
            value = (value * 43 + digit) & 0xFFFFFFFF
    return value - (1 << 32) if value & 0x80000000 else value


# ---- The help text ---------------------------------------------------------------------------

def parse_help_text(text):
    """Returns the title and the topics: (context id, title, paragraphs), where a paragraph is a
    list of runs, each (text, jump target or None, bold)."""
    title, topics, lines = None, [], []

    def end_paragraph():
        if lines and topics:
            paragraph, rest = [], " ".join(lines)
            for match in re.finditer(
                    r"\[([^\]]+)\]\(([A-Za-z0-9_.]+)\)|\*\*([^*]+)\*\*|[^\[*]+|[\[*]", rest):
                if match.group(1):
                    paragraph.append((match.group(1), match.group(2), False))
                elif match.group(3):
                    paragraph.append((match.group(3), None, True))
                else:
                    paragraph.append((match.group(0), None, False))
            topics[-1][2].append(paragraph)
        lines.clear()

    for raw in text.splitlines():
        line = raw.strip()
        if line.startswith(";"):
            continue
        if line.startswith("title:"):
            title = line[len("title:"):].strip()
        elif line.startswith("topic "):
            end_paragraph()
            context_id, _, topic_title = line[len("topic "):].partition(":")
            topics.append((context_id.strip(), topic_title.strip(), []))
        elif not line:
            end_paragraph()
        else:
            lines.append(line)
    end_paragraph()
    if not title or not topics:
        raise SystemExit("make-help.py: the help text needs a title and at least one topic")
    known = {topic[0] for topic in topics}
    for _, _, paragraphs in topics:
        for run in (run for paragraph in paragraphs for run in paragraph):
            if run[1] and run[1] not in known:
                raise SystemExit(f"make-help.py: jump to unknown topic {run[1]}")
    return title, topics


# ---- |TOPIC ----------------------------------------------------------------------------------

def text_record(runs, font, spacing_above):
    """LinkData1, LinkData2 and character count of one paragraph (record type 0x20)."""
    strings, commands, current = [], [], b""
    characters, current_font = 0, None
    for text, target, bold in runs:
        encoded = text.encode(ENCODING)
        characters += len(encoded)
        run_font = FONT_BOLD if bold else font
        if run_font != current_font:
            strings.append(current)
            commands.append(b"\x80" + u16(run_font))
            current, current_font = b"", run_font
        if target:
            strings.append(current)
            commands.append(b"\xE3" + u32(context_hash(target)))
            strings.append(encoded)
            commands.append(b"\x89")
            current = b""
            characters += 1
        else:
            current += encoded
    strings.append(current)
    commands.append(b"\x82")
    characters += 1
    strings.append(b"")
    commands.append(b"\xFF")
    link_data2 = b"".join(s + b"\0" for s in strings)
    # Paragraph layout: two unknown bytes, an id, the bits saying which fields follow (0x0002:
    # space above, in half points), left aligned.
    layout = b"\x00\x80" + u16(0) + u16(0x0002) + compressed_short(spacing_above)
    link_data1 = (compressed_long(len(link_data2)) + compressed_ushort(characters) + layout +
                  b"".join(commands))
    return link_data1, link_data2, characters


def topic_pos(stream_offset):
    """The TOPICPOS of a byte of the topic stream: block << 14, plus the header, plus its offset."""
    block, inside = divmod(stream_offset, TOPIC_BLOCK_DATA)
    return (block << 14) + TOPIC_BLOCK_HEADER + inside


def build_topic_file(topics):
    """The |TOPIC contents and the TOPICOFFSET of each topic."""
    records = []  # [record type, LinkData1 or topic number, LinkData2, characters]
    starts = []
    for number, (_, title, paragraphs) in enumerate(topics):
        starts.append(len(records))
        records.append([2, number, title.encode(ENCODING), 0])
        heading = text_record([(title, None, False)], FONT_HEADING, 0)
        records.append([0x20, *heading])
        for paragraph in paragraphs:
            records.append([0x20, *text_record(paragraph, FONT_BODY, 6)])

    # Positions: a topic header's LinkData1 is 28 bytes. The records run through the data parts
    # of the blocks as one stream (a record may continue in the next block); a TOPICPOS names
    # the block a record starts in and its offset there, counted from the block's start.
    sizes = [21 + (28 if r[0] == 2 else len(r[1])) + len(r[2]) for r in records]
    starts_at, offset = [], 0
    for size in sizes:
        starts_at.append(offset)
        offset += size
    positions = [topic_pos(at) for at in starts_at]
    # A topic's TOPICOFFSET: its block, and the characters of the records that start in that
    # block before it.
    topic_offsets, characters, block = [], 0, 0
    for record, at in zip(records, starts_at):
        if at // TOPIC_BLOCK_DATA != block:
            block, characters = at // TOPIC_BLOCK_DATA, 0
        if record[0] == 2:
            topic_offsets.append((block << 15) + characters)
        characters += record[3]

    stream = bytearray()
    for index, record in enumerate(records):
        previous = positions[index - 1] if index else -1
        following = positions[index + 1] if index + 1 < len(records) else -1
        if record[0] == 2:
            topic = starts.index(index)
            end = starts[topic + 1] if topic + 1 < len(starts) else len(records)
            next_topic = positions[end] if end < len(records) else -1
            link_data1 = (u32(sum(sizes[index:end])) + u32(-1) + u32(-1) + u32(record[1]) +
                          u32(-1) + u32(positions[index + 1]) + u32(next_topic))
        else:
            link_data1 = record[1]
        link_data2 = record[2]
        stream += (u32(sizes[index]) + u32(len(link_data2)) + u32(previous) + u32(following) +
                   u32(21 + len(link_data1)) + bytes([record[0]]) + link_data1 + link_data2)

    # Each block: its header (the last record that started before it, the first that starts in
    # it, the last topic header before it), then its share of the stream, the last one padded.
    data = bytearray()
    for block in range((len(stream) + TOPIC_BLOCK_DATA - 1) // TOPIC_BLOCK_DATA):
        begin = block * TOPIC_BLOCK_DATA
        before = [i for i, at in enumerate(starts_at) if at < begin]
        inside = [i for i, at in enumerate(starts_at) if begin <= at < begin + TOPIC_BLOCK_DATA]
        headers = [i for i in before if records[i][0] == 2]
        data += (u32(positions[before[-1]] if before else -1) +
                 u32(positions[inside[0]] if inside else -1) +
                 u32(positions[headers[-1]] if headers else -1))
        data += stream[begin:begin + TOPIC_BLOCK_DATA].ljust(TOPIC_BLOCK_DATA, b"\0")
    return bytes(data), topic_offsets


# ---- Internal files ----------------------------------------------------------------------------

def btree(structure, page_size, entries, flags=0x0002):
    """A B+ tree of one leaf page holding the already encoded, sorted entries."""
    body = b"".join(entries)
    if 8 + len(body) > page_size:
        raise SystemExit("make-help.py: a B+ tree outgrew its single page")
    page = (u16(page_size - 8 - len(body)) + u16(len(entries)) + u16(-1) + u16(-1) + body)
    page += bytes(page_size - len(page))
    header = (u16(0x293B) + u16(flags) + u16(page_size) + structure.encode().ljust(16, b"\0") +
              u16(0) + u16(0) + u16(0) + u16(-1) + u16(1) + u16(1) + u32(len(entries)))
    return header + page


def system_file(title):
    def record(kind, data):
        return u16(kind) + u16(len(data)) + data
    header = u16(0x036C) + u16(21) + u16(1) + u32(0) + u16(0)
    return (header + record(1, title.encode(ENCODING) + b"\0") + record(3, u32(0)) +
            record(11, u16(SHIFTJIS_CHARSET)))


def font_file():
    face = FACE_NAME.encode(ENCODING).ljust(20, b"\0")
    black, white = b"\x00\x00\x00", b"\xff\xff\xff"
    swiss = 3
    descriptors = [
        bytes([0, 20, swiss]) + u16(0) + black + white,  # body: 10 point
        bytes([1, 24, swiss]) + u16(0) + black + white,  # headings: 12 point bold
        bytes([1, 20, swiss]) + u16(0) + black + white,  # terms: 10 point bold
    ]
    header = u16(1) + u16(len(descriptors)) + u16(8) + u16(8 + len(face))
    return header + face + b"".join(descriptors)


def help_file(title, topics):
    topic_data, topic_offsets = build_topic_file(topics)
    contexts = sorted((context_hash(topic[0]), offset)
                      for topic, offset in zip(topics, topic_offsets))
    internal = {
        "|CONTEXT": btree("L4", 0x800, [struct.pack("<iI", h, o) for h, o in contexts]),
        "|CTXOMAP": u16(0),
        "|FONT": font_file(),
        "|SYSTEM": system_file(title),
        "|TOPIC": topic_data,
    }

    def wrap(contents):
        return u32(len(contents) + 9) + u32(len(contents)) + b"\x04" + contents

    body, offsets = bytearray(), {}
    for name in sorted(internal):
        offsets[name] = 16 + len(body)
        body += wrap(internal[name])
    directory = 16 + len(body)
    entries = [name.encode() + b"\0" + u32(offsets[name]) for name in sorted(internal)]
    body += wrap(btree("z4", 0x400, entries, flags=0x0402))
    return u32(0x00035F3F) + u32(directory) + u32(-1) + u32(16 + len(body)) + bytes(body)


def contents_file(title, topics):
    lines = [":Base TANUFOLD.HLP", f":Title {title}", f"1 {title}"]
    lines += [f"2 {topic_title}={context_id}" for context_id, topic_title, _ in topics]
    return "".join(line + "\r\n" for line in lines).encode(ENCODING)


def html_file(title, topics):
    """One page: a section per topic, its id the topic's context id, so that a jump is a link to
    "#ID"; Shift-JIS like the help file, with the character set stated."""
    def run_html(text, target, bold):
        text = html.escape(text, quote=False)
        if target:
            return f'<a href="#{target}">{text}</a>'
        return f"<b>{text}</b>" if bold else text
    parts = ["<!DOCTYPE html>", "<html lang=\"ja\">", "<head>",
             '<meta http-equiv="Content-Type" content="text/html; charset=Shift_JIS">',
             f"<title>{html.escape(title)}</title>", "</head>", "<body>"]
    for context_id, topic_title, paragraphs in topics:
        parts.append(f'<h2 id="{context_id}">{html.escape(topic_title)}</h2>')
        parts += ["<p>" + "".join(run_html(*run) for run in paragraph) + "</p>"
                  for paragraph in paragraphs]
    parts += ["</body>", "</html>"]
    return "".join(part + "\r\n" for part in parts).encode(ENCODING)


def main(argv):
    if len(argv) != 5:
        raise SystemExit(__doc__.split("\n\n")[1])
    with open(argv[1], encoding="utf-8") as source:
        title, topics = parse_help_text(source.read())
    with open(argv[2], "wb") as out:
        out.write(help_file(title, topics))
    with open(argv[3], "wb") as out:
        out.write(contents_file(title, topics))
    with open(argv[4], "wb") as out:
        out.write(html_file(title, topics))


if __name__ == "__main__":
    main(sys.argv)
