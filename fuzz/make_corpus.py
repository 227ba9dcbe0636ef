#!/usr/bin/env python3
"""Writes the seed corpus of fuzz_xml_load: small settings files, valid ones and near misses."""
import pathlib

DECLARATION = '<?xml version="1.0" encoding="UTF-16"?>'


def settings_file(text, declaration=DECLARATION):
    return b"\xff\xfe" + (declaration + text).encode("utf-16-le")


SEEDS = {
    "empty-root": settings_file("<RIZavoza></RIZavoza>"),
    "storage": settings_file('\r\n<RIZavoza>\r\n  <Storage>\r\n    <FolderPath text="C:\\Logs"/>\r\n'
                             "    <DayTimeForDelete>3</DayTimeForDelete>\r\n  </Storage>\r\n</RIZavoza>\r\n"),
    "network": settings_file("<RIZavoza><Network><UdpPort>514</UdpPort><TcpPort>1468</TcpPort>"
                             "<SeparateTcpStreamWithCRLF>1</SeparateTcpStreamWithCRLF></Network></RIZavoza>"),
    "list": settings_file("<r><Alerts><I000000><Name text=\"a\"/></I000000><I000001><Name text=\"b\"/>"
                          "</I000001></Alerts></r>"),
    "entities": settings_file('<r><a text="&lt;b&gt; &amp;amp; &quot;q&quot;"/><m>&amp;</m></r>'),
    "two-blanks": settings_file('<r><a x="1"  y="2"/></r>'),
    "text-after-child": settings_file("<r><a>1<b/>2</a></r>"),
    "same-name-siblings": settings_file("<r><a>1</a><a>2</a><b><a>3</a></b></r>"),
    "gt-in-text": settings_file("<r><a>1 > 0</a></r>"),
    "odd-byte": settings_file("<r></r>") + b"x",
    "self-closed-root": settings_file("<RIZavoza/>"),
    "same-name-nested": settings_file("<r><a><a></a></a></r>"),
    "comment": settings_file("<r><!-- note --></r>"),
    "root-attribute": settings_file('<r a="1"></r>'),
    "root-text": settings_file("<r>text</r>"),
    "unclosed": settings_file("<r><a"),
    "stray-end": settings_file("<r></a></r>"),
    "single-quotes": settings_file("<r><a x='1'/></r>"),
    "lower-case-encoding": settings_file("<r></r>", DECLARATION.replace("UTF-16", "utf-16")),
    "big-endian": b"\xfe\xff" + (DECLARATION + "<r></r>").encode("utf-16-be"),
    "utf-8": (DECLARATION + "<r></r>").encode("utf-8"),
    "header-only": settings_file(""),
    "deep": settings_file("<r>" + "".join(f"<e{i}>" for i in range(12)) +
                          "".join(f"</e{i}>" for i in reversed(range(12))) + "</r>"),
}

if __name__ == "__main__":
    folder = pathlib.Path(__file__).resolve().parent / "corpus" / "xml_load"
    folder.mkdir(parents=True, exist_ok=True)
    for name, data in SEEDS.items():
        (folder / f"{name}.cfg").write_bytes(data)
