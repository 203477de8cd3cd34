#!/usr/bin/env python3
"""Writes the hand-made seeds of fuzz/corpus: a complete, well-formed session
for each target (so the fuzzer starts from the paths a real unit or server
takes) plus a few known-awkward inputs. Copies of the shipped sample files
are taken from dist/."""
import os
import shutil
import struct

here = os.path.dirname(os.path.abspath(__file__))
top = os.path.dirname(here)
corpus = os.path.join(here, "corpus")


def put(target, name, data):
    os.makedirs(os.path.join(corpus, target), exist_ok=True)
    if isinstance(data, str):
        data = data.encode("latin-1")
    with open(os.path.join(corpus, target, name), "wb") as f:
        f.write(data)


def copy(target, source):
    os.makedirs(os.path.join(corpus, target), exist_ok=True)
    shutil.copy(os.path.join(top, source), os.path.join(corpus, target, os.path.basename(source)))


# Key/value files and message catalogue.
for f in ("dist/varnel.ini", "dist/varnelstrings.en", "dist/demo-units.ini"):
    copy("properties", f)
put("properties", "continuations", "a = one \\\n  two\\\nthree # note\nb=\\r\\n\n=empty key\nc\\\n")

# Battery data.
copy("xml_parser", "dist/sample-batterydata.xml")
put("xml_parser", "doctype", '<?xml version="1.0"?><!DOCTYPE a [<!ENTITY e "x">]><a>&e;</a>')
put("xml_parser", "truncated", '<?xml version="1.0"?><VarnelData><FileVersion Number="1"')


# Framed serial unit: length byte, then the reply frame.
def frame(command, payload, kind=2):
    body = bytes([0x7E, kind, len(payload) + 1, command]) + bytes(payload)
    return body + bytes([sum(body) & 0xFF])


def framed_read(reply):
    return bytes([len(reply)]) + reply


session = b""
for command, payload in ((136, [0x03, 0x00]), (93, [2]), (96, [1]), (99, [4, 0]), (135, [3])):
    session += framed_read(frame(command, payload))
for i in range(20):
    session += framed_read(frame(131, [], 5)) + framed_read(frame(132, [200 - i]))
for i in range(9):
    session += framed_read(frame(133, [], 5)) + framed_read(frame(134, [10 + i]))
session += framed_read(frame(40, list(b"UPS-3000"))) + framed_read(frame(43, list(b"Maker")))
put("protocol3014", "session", session)
put("protocol3014", "overclaim", framed_read(frame(136, [1, 0]))[:-2] + b"\xff\x10")
put("protocol3014", "short-payload", framed_read(bytes([0x7E, 2, 9, 136, 1])))


# Text serial unit: "~00D" + three-digit length + payload.
def text_read(payload):
    reply = ("~00D%03u" % len(payload) + payload).encode()
    return bytes([len(reply)]) + reply


table = ";".join(str(100 + i) for i in range(20))
ctable = ";".join(str(i) for i in range(9))
session = b"".join(text_read(p) for p in ("1", "2;1", "4;" + table, "3;" + ctable, "UPS-2000", "Maker"))
put("delta_serial", "session", session)
put("delta_serial", "rejected", text_read("1")[:1] + b"~00R000")
put("delta_serial", "numbers", text_read("-99999999999999999999;+7;;  12x"))


# HID unit: status byte, length byte, value bytes; the first byte picks HID or USB.
def hid_read(value):
    return bytes([0, len(value)]) + bytes(value)


session = b"\x00" + hid_read([3, 0]) + hid_read(list(b"UPS-1500")) + hid_read(list(b"Maker"))
session += hid_read([2]) + hid_read([1]) + hid_read([4, 0]) + hid_read([3])
session += b"".join(hid_read([150 - i]) for i in range(20)) + b"".join(hid_read([i]) for i in range(9))
put("delta_usb", "session", session)
put("delta_usb", "long-length", b"\x01" + hid_read([1, 0]) + b"\x00\xff\x00\x01" + b"A" * 256)
put("delta_usb", "failed-read", b"\x00" + hid_read([1, 0]) + b"\x80")

# Report descriptors: the layout of a real UPS, then a report of data.
with open(os.path.join(top, "tests/ports/UpsDescriptor.h")) as f:
    text = f.read()
start = text.index("upsDescriptor()")
block = text[text.index("{", text.index("return", start)) + 1:text.index("};", start)]
block = "\n".join(line.split("//")[0] for line in block.splitlines())
descriptor = bytes(int(tok, 16) for tok in block.replace(",", " ").split() if tok.startswith("0x"))
put("hid_descriptor", "ups", struct.pack("<H", len(descriptor)) + descriptor + bytes(range(1, 33)))
put("hid_descriptor", "keyboard", struct.pack("<H", 8) + bytes([0x05, 0x01, 0x09, 0x06, 0xA1, 0x01, 0xC0, 0xC0]))

# HTTP responses: option byte, then the server's bytes.
xml = open(os.path.join(top, "dist/sample-batterydata.xml"), "rb").read()[:1500]
put("http_response", "ok", b"\x00HTTP/1.1 200 OK\r\nContent-Type: text/xml\r\n\r\n" + xml)
put("http_response", "split", b"\x01HTTP/1.1 200 OK\nServer: x\n\n\n<a>\n\n</a>")
put("http_response", "not-found", b"\x05HTTP/1.1 404 Not Found\r\n\r\n")
put("http_response", "limited", b"\x43HTTP/1.1 200 OK\r\n\r\n" + b"x" * 3000)
put("http_response", "bare", b"\x20HTTP/1.1 2")


# FTP: option byte, control stream length and bytes, then data pieces.
def ftp(options, control, *pieces):
    data = b"".join(struct.pack("<H", len(p)) + p for p in pieces)
    return bytes([options]) + struct.pack("<H", len(control)) + control + data


control = (b"220-Welcome\r\n to the server\r\n220 ready\r\n331 password\r\n230 in\r\n"
           b"257 \"/pub/data\" is current\r\n200 binary\r\n213 12365\r\n215 UNIX Type: L8\r\n"
           b"200 ascii\r\n227 Entering Passive Mode (127,0,0,1,4,1)\r\n150 listing\r\n226 done\r\n"
           b"200 binary\r\n227 Entering Passive Mode (127,0,0,1,4,2)\r\n150 sending\r\n226 done\r\n221 bye\r\n")
put("ftp_replies", "passive", ftp(0x00, control, b"data.xml\r\nother.xml\r\n", xml[:400]))
active = control.replace(b"227 Entering Passive Mode (127,0,0,1,4,1)", b"200 PORT ok").replace(
    b"227 Entering Passive Mode (127,0,0,1,4,2)", b"200 PORT ok")
put("ftp_replies", "active", ftp(0x43, active, b"-rw-r--r-- 1 ftp ftp 12 data.xml\r\n", b"abc"))
put("ftp_replies", "odd-numbers", ftp(0x01, b"220 x\r\n230 in\r\n257 no quotes\r\n200 ok\r\n"
                                             b"213 99999999999\r\n215\r\n200\r\n227 (999,0,0,1,4)\r\n", b""))


# Message formats: argument count, arguments, the format text.
def text_arg(s):
    return b"\x04" + struct.pack("<H", len(s)) + s


put("message_format", "text", b"\x01" + text_arg(b"COM3") + b"Could not open port '%s'")
put("message_format", "numbers", b"\x02\x00\x05\x00\x00\x00\x02\xff\xff\xff\xff" + b"%u packs, %d left %%")
put("message_format", "wide", b"\x03\x01" + b"\xff" * 8 + b"\x03" + b"\x80" * 8 + text_arg(b"x" * 40)
    + b"%-20llx|%+.5lld|%999.998s")
put("message_format", "mismatch", b"\x01\x00\x01\x00\x00\x00%s %n %*d")

# Chunked bodies: option byte, then the coded body.
put("chunked_body", "two-chunks", "\x03" + "5\r\nhello\r\n6;ext=1\r\n world\r\n0\r\nX-Trailer: 1\r\n\r\n")
put("chunked_body", "bare-lf", "\x00" + "a\nabcdefghij\n0\n\n")
put("chunked_body", "bad-size", "\x01" + "zz\r\nhello\r\n0\r\n\r\n")

# The download path: option byte, then the response.
put("http_fetch", "length", "\x00HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhello")
put("http_fetch", "chunked", "\x07HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhello\r\n0\r\nX: y\r\n\r\n")
put("http_fetch", "http10", "\x03HTTP/1.0 200 OK\r\n\r\nto the end")
put("http_fetch", "redirect", "\x00HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 301 Moved\r\nLocation: https://h/x\r\n\r\n")
