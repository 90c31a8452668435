#!/usr/bin/env python3
"""Writes the seed corpus of each fuzz target into corpus/<target>/.

Run it again after changing a seed; the regression inputs that the fuzz runs
found are kept beside the seeds (names starting with "regression-") and are
not touched here.
"""
import os
import pathlib

HERE = pathlib.Path(__file__).resolve().parent
CORPUS = HERE / "corpus"


def write(target, name, data):
    folder = CORPUS / target
    folder.mkdir(parents=True, exist_ok=True)
    if isinstance(data, str):
        data = data.encode("latin-1")
    (folder / name).write_bytes(data)


# --- SFL files, in the converters' layout: a 378-byte header, 263-byte records.
def sfl_header(product, version):
    header = ";Product: %s\n;Firmware: %s\n;" % (product, version)
    return header.ljust(377) + "\n"


def sfl_record(block, data, eol="\n", sep=" "):
    return "+%04X%s%s%s" % (block, sep, "".join("%02X" % b for b in data), eol)


def block_data(seed):
    return bytes((seed * 7 + i * 13) & 0xFF for i in range(128))


def sfl_corpus():
    head = sfl_header("RX-9 handheld", "2.04")
    three = "".join(sfl_record(b, block_data(b)) for b in range(3))
    write("sfl_record", "valid-3-records.sfl", head + three)
    write("sfl_record", "valid-crlf-eof.sfl",
          (head + three).replace("\n", "\r\n") + "\x1a" + sfl_record(9, block_data(9)))
    write("sfl_record", "lower-case-tab.sfl",
          head + sfl_record(0x0FFF, block_data(5), sep="\t").lower())
    write("sfl_record", "comment-between.sfl",
          head + sfl_record(1, block_data(1)) + "; a note\n" + sfl_record(2, bytes(128)))
    write("sfl_record", "header-only.sfl", head)
    write("sfl_record", "cut-short.sfl", head + sfl_record(0, block_data(0))[:150])
    write("sfl_record", "bad-digit.sfl", head + sfl_record(0, block_data(0)).replace("7", "G", 1))
    write("sfl_record", "cut-after-number.sfl", head + "+0001")
    write("sfl_record", "empty.sfl", "")


# --- Intel HEX: every record type.
def hex_record(rtype, address, data=b""):
    body = bytes([len(data), (address >> 8) & 0xFF, address & 0xFF, rtype]) + bytes(data)
    checksum = (-sum(body)) & 0xFF
    return ":" + (body + bytes([checksum])).hex().upper()


EOF_RECORD = hex_record(1, 0)


def hex_corpus():
    lines = [hex_record(0, 0x0000, block_data(0)[:16]),
             hex_record(0, 0x0010, block_data(1)[:32]),
             EOF_RECORD]
    write("intel_hex", "plain.hex", "\n".join(lines) + "\n")
    lines = [hex_record(4, 0, b"\x00\x00"),
             hex_record(5, 0, b"\x00\x00\x01\x00"),
             hex_record(0, 0x0100, block_data(2)[:16]),
             hex_record(2, 0, b"\x00\x10"),
             hex_record(3, 0, b"\x00\x00\x00\x00"),
             hex_record(0, 0xFFF8, block_data(3)[:16]),
             hex_record(4, 0, b"\xFF\xFF"),
             hex_record(0, 0xFFF8, block_data(4)[:16]),
             EOF_RECORD]
    write("intel_hex", "every-type-crlf.hex", "\r\n".join(lines) + "\r\n")
    write("intel_hex", "blanks-lower-no-final-lf.hex",
          "\n  " + hex_record(0, 0x20, b"\x12\x34").lower() + " \t\n\n" + EOF_RECORD.lower())
    write("intel_hex", "after-end-ignored.hex", hex_record(0, 0, b"\x01") + "\n" + EOF_RECORD + "\ngarbage\n")
    write("intel_hex", "no-end-record.hex", hex_record(0, 0, b"\x01\x02") + "\n")
    write("intel_hex", "bad-checksum.hex", hex_record(0, 0, b"\x01\x02")[:-2] + "00\n" + EOF_RECORD + "\n")
    write("intel_hex", "outside-range.hex", hex_record(4, 0, b"\x00\x08") + "\n" +
          hex_record(0, 0, b"\xAA" * 4) + "\n" + EOF_RECORD + "\n")
    write("intel_hex", "full-block-0fff.hex", hex_record(2, 0, b"\x70\x00") + "\n" +
          hex_record(0, 0xFF80, block_data(6)) + "\n" + EOF_RECORD + "\n")


# --- Settings files. Input: a byte choosing a failing write step (its value
# modulo 16 below 7; "z" fails none), section, key and value, each ended by
# "\ " (FuzzedDataProvider's random-length string), then the file's content.
def profile_input(section, key, value, content, fail="z"):
    def escaped(s):
        return s.replace("\\", "\\\\") + "\\ "
    return fail + escaped(section) + escaped(key) + escaped(value) + content


def profile_corpus():
    crlf = ("; settings\r\n\r\n[Initialize]\r\n  type = 1 \r\nCommName = \"COM7\"\r\nSingle='x y'\r\n"
            "Bare\r\n;Hidden=1\r\nDup=first\r\nDup=second\r\n\r\n[ sfl ] trailing\r\nStart=010\r\n")
    write("profile_file", "replace-crlf.ini", profile_input("initialize", "commname", "/dev/ttyUSB0", crlf))
    write("profile_file", "insert-in-section.ini", profile_input("SFL", "End", "3FF", crlf))
    write("profile_file", "new-section.ini", profile_input("Window", "Left", " 'quoted' ", crlf))
    write("profile_file", "no-file.ini", profile_input("Initialize", "BaudRate", "38400", ""))
    write("profile_file", "value-line-breaks.ini",
          profile_input("Initialize", "CommName", "a\r\nb\nc\x00tail", "[Initialize]\nCommName=old"))
    write("profile_file", "bom-no-final-lf.ini",
          profile_input("Initialize", "Type", "0x1F", "\xef\xbb\xbf[Initialize]\nType=2\n[Other]\nX=1"))
    write("profile_file", "refused-names.ini", profile_input("a]b", "=k", "v", "[a]\nk=1\n"))
    write("profile_file", "long-value.ini", profile_input("S", "K", "x" * 4200, "[S]\nK=1\n"))
    write("profile_file", "lone-cr-end.ini", profile_input("T", "K", "\"", "[S]\r\nA=1\r"))
    for step in range(7):
        write("profile_file", "fail-step-%d.ini" % step,
              profile_input("Initialize", "CommName", "/dev/ttyS1", crlf, fail=chr(0x30 + step)))


# --- tarvel-cli arguments, NUL-separated.
def cli_corpus():
    def args(*a):
        return "\0".join(a)
    write("cli_args", "write.args", args("write", "fw.sfl", "--port", "/dev/ttyUSB0", "--cable", "QAP10",
                                         "--baud", "115200", "--rts-pulse", "--verify", "--json", "--quiet",
                                         "--trace", "t.log"))
    write("cli_args", "read.args", args("read", "out.sfl", "--port=/dev/ttyS0", "--end-block", "0fF"))
    write("cli_args", "sync.args", args("sync", "--port", "p", "--baud", "9600"))
    write("cli_args", "convert.args", args("convert", "in.hex", "--output", "x.sfl", "--start", "010",
                                           "--end", "3FF", "--product", "RX", "--firm-version", "1.0"))
    write("cli_args", "convert-bad-block.args", args("convert", "in.hex", "--start", "1000"))
    write("cli_args", "list.args", args("list", "folder", "--sort", "date", "--descending"))
    write("cli_args", "comment.args", args("comment", "a.sfl"))
    write("cli_args", "ports.args", args("ports"))
    write("cli_args", "help.args", args("write", "--help"))
    write("cli_args", "version.args", args("--version"))
    write("cli_args", "two-commands.args", args("ports", "list"))
    write("cli_args", "baud-not-number.args", args("sync", "--port", "p", "--baud", "-1e99"))


# --- Comment blocks: the first bytes of SFL files.
def comment_corpus():
    head = sfl_header("RX-9 handheld", "2.04")
    write("comment_block", "header.sfl", head + sfl_record(0, block_data(0)))
    write("comment_block", "crlf-plus-in-comment.sfl",
          "; version +2\r\nfree text\r\n;+\r\n+0000 " + "00" * 128 + "\r\n")
    write("comment_block", "latin1-utf8-mixed.sfl", b"; caf\xe9 caf\xc3\xa9 \xf0\x9f\x93\xbb \xed\xa0\x80 \xc0\xaf\n+")
    write("comment_block", "controls.sfl", b"\x1b[31mred\x1b[0m\r\x07\x9b\x00after-nul\n\x1a+")
    write("comment_block", "empty.sfl", b"+0000")


if __name__ == "__main__":
    sfl_corpus()
    hex_corpus()
    profile_corpus()
    cli_corpus()
    comment_corpus()
    total = sum(p.stat().st_size for p in CORPUS.rglob("*") if p.is_file())
    print("corpus: %d files, %d bytes" % (sum(1 for p in CORPUS.rglob("*") if p.is_file()), total))
