#!/usr/bin/env python3
"""Writes the seed corpora: fuzz_xml_load's small settings files, valid ones and near misses,
fuzz_pipeline's settings files that exercise the mapping, fuzz_report's hostile texts and secrets
(the bundled sample is copied into the last two), and fuzz_check's version 6 files: the sample's
conversion and near misses of it."""
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



def server(groups):
    return settings_file("\r\n<RIZavoza>\r\n" + groups + "</RIZavoza>\r\n")


def network(**values):
    return "<Network>" + "".join(
        f'<{k} text="{v}"/>' if k.endswith("Addr") else f"<{k}>{v}</{k}>" for k, v in values.items()) + "</Network>"


def keep_period(*days):
    return "<KeepPeriod>" + "".join(f"<I{i:06d}>{d}</I{i:06d}>" for i, d in enumerate(days)) + "</KeepPeriod>"


PIPELINE_SEEDS = {
    "defaults": server(""),
    "udp-only": server(network(Udp=1, Tcp=0, UdpPort=514)),
    "tcp-only-ipv6": server(network(Ipv4=0, Ipv6=1, Ipv6BindAny=0, Ipv6BindAddr="::1", Udp=0, Tcp=1,
                                    TcpPort=1468)),
    "nothing-listens": server(network(Ipv4=0, Ipv6=0, Udp=0, Tcp=0)),
    "ports-out-of-range": server(network(UdpPort=-1, TcpPort=70000, SocketBufferSize=-5)),
    "bind-addresses": server(network(Ipv4BindAny=0, Ipv4BindAddr="10.0.0.1 &amp; &quot;x&quot;",
                                     Ipv6BindAny=0, Ipv6BindAddr="fe80::1%eth0")),
    "network-ex": server("<NetworkEx><MaxPacketSize>0</MaxPacketSize><MaxTcpClients>-1</MaxTcpClients>"
                         "<SeparateTcpStreamWithCRLF>1</SeparateTcpStreamWithCRLF></NetworkEx>"),
    "storage": server('<Storage><NoStorage>0</NoStorage><FolderPath text="D:\\Syslog\\Data"/>' +
                      keep_period(30, 90, 365) + "<DayTimeForDelete>180</DayTimeForDelete></Storage>"),
    "storage-none": server("<Storage><NoStorage>1</NoStorage>" + keep_period() + "</Storage>"),
    "storage-odd-periods": server("<Storage>" + keep_period(0, -7, 2147483647, 99999999999) +
                                  "<DayTimeForDelete>1441</DayTimeForDelete></Storage>"),
    "storage-unicode-path": server('<Storage><FolderPath text="C:\\Journaux\\\u00e9t\u00e9 \U0001f600"/></Storage>'),
    "not-carried": server("<General><LogKeepPeriod>7</LogKeepPeriod></General><RemConn><Enable>1</Enable>"
                          '<Password text="secret"/></RemConn><EmailAlerts><Enabled>1</Enabled><Alerts>'
                          '<I000000><To text="ops@example.com"/><Filter><Name text="f"/></Filter></I000000>'
                          "</Alerts></EmailAlerts>"),
}

def attr(text):
    return text.replace("&", "&amp;").replace("<", "&lt;").replace('"', "&quot;")


def texts(group, **values):
    return f"<{group}>" + "".join(f'<{k} text="{attr(v)}"/>' for k, v in values.items()) + f"</{group}>"


# fuzz_report's seeds: texts that try to reach a terminal or a page raw, and secrets in every shape.
REPORT_SEEDS = {
    "hostile-texts": server(
        network(Ipv4BindAny=0, Ipv4BindAddr="10.0.0.1\x1b[2J\x07\n| x |", Ipv6BindAny=0,
                Ipv6BindAddr="::1\u202e\u2066exe\u2069\u200b\ufeff") +
        texts("Grid", DetailsTemplate="\r\n<pre>\t```\r\n</pre>\r\n", DetailsStyle="a\u2028b\u2029\x85\x7f\r\n") +
        texts("Emailer", Server="smtp://user:pw@mail<zq", Username="admin\u202e\u2066gnp.exe\u2069\u202c",
              From="<zq x=1>\u061c\u2060\u2064\u200f") +
        "<SyslogForwarders><Forwarders><I000000>" +
        '<TargetServer text="https://u:p@h/?token=t&amp;a=b"/>' +
        "<Filter><Name text=\"&lt;zq\u202d\"/><Source><Check>1</Check><SourceList>" +
        '<000000 text="1.2.3.4\x1b]0;title\x07"/></SourceList></Source></Filter>' +
        "</I000000></Forwarders></SyslogForwarders>"),
    "connection-strings": server(
        "<ExportToDb><ExporterToDb>" +
        '<ConnString text="Server=db5&#10;PWD=pw&#10;UID=sa;Jet OLEDB:Database Password=x;Data Source=\'a;b"/>'
        .replace("&#10;", "\n") + "</ExporterToDb></ExportToDb>" +
        texts("Emailer", Server="postgresql://user:pw@host/db?password=x&amp;Account%20Key=y")),
    "unbalanced": server(
        "<ExportToDb><ExporterToDb>" +
        texts("x", ConnString='Driver={SQL Server;Pwd="a;b\r\nAccountKey=\'k;Token=t').replace("<x>", "")
        .replace("</x>", "") + "</ExporterToDb></ExportToDb>"),
}

# fuzz_check's seeds, beside the sample's conversion: escapes, duplicates, bytes that are no UTF-8,
# a byte-order mark, nesting where none is wanted, and text after the value.
CHECK_SEEDS = {
    "escapes": b'{"network": {"interfaces": [{"addr": "\\u0031\\\\\\"::1", "port": "514", "ty\\u0070e": "udp"}]},'
               b' "storage": {"folder": "C:\\\\Logs\\ud83d\\ude00", "keep_days": "1"}}',
    "duplicates": b'{"network": {"interfaces": "", "interfaces": []}, "storage": {"keep_days": "1", "keep_days": 2}}',
    "broken-utf8": b'{"network": {"interfaces": ""}, "storage": {"folder": "\xc3(\xed\xa0\x80"}}',
    "byte-order-mark": b'\xef\xbb\xbf{"network": {"interfaces": ""}}',
    "nested": b'{"network": {"interfaces": [[{"addr": {}}], 1, null, true, "x"]}, "storage": [{"a": -1.5e3}]}',
    "after-the-value": b'{} {"network": 1}',
}

if __name__ == "__main__":
    here = pathlib.Path(__file__).resolve().parent
    folder = here / "corpus" / "xml_load"
    folder.mkdir(parents=True, exist_ok=True)
    for name, data in SEEDS.items():
        (folder / f"{name}.cfg").write_bytes(data)
    folder = here / "corpus" / "pipeline"
    folder.mkdir(parents=True, exist_ok=True)
    for name, data in PIPELINE_SEEDS.items():
        (folder / f"{name}.cfg").write_bytes(data)
    (folder / "sample.cfg").write_bytes((here.parent / "samples" / "ov_server_settings.cfg").read_bytes())
    folder = here / "corpus" / "report"
    folder.mkdir(parents=True, exist_ok=True)
    for name, data in REPORT_SEEDS.items():
        (folder / f"{name}.cfg").write_bytes(data)
    (folder / "sample.cfg").write_bytes((here.parent / "samples" / "ov_server_settings.cfg").read_bytes())
    folder = here / "corpus" / "check"
    folder.mkdir(parents=True, exist_ok=True)
    for name, data in CHECK_SEEDS.items():
        (folder / f"{name}.json").write_bytes(data)
    (folder / "sample.json").write_bytes((here.parent / "tests" / "data" / "ov_server_settings.json").read_bytes())
