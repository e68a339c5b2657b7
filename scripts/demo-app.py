#!/usr/bin/env python3
"""A stand-in for the KomaSlate app: connects to KomaSlate Utility, reports
protocol version 4 and a few drawings with thumbnails, then stays connected
until the utility closes the connection. For trying the window without a
phone, and for the screenshot in docs/.

usage: demo-app.py [host] [port]
"""
import socket
import struct
import sys
import zlib


def png(width, height, pixel):
    """An 8-bit RGB PNG whose colours come from pixel(x, y) -> (r, g, b)."""
    rows = b"".join(
        b"\0" + b"".join(bytes(pixel(x, y)) for x in range(width)) for y in range(height))

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    header = struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(rows))
            + chunk(b"IEND", b""))


def checker(x, y):
    return (240, 200, 80) if (x // 4 + y // 4) % 2 else (60, 90, 160)


def sunset(x, y):
    return (255 - y // 2, 120 + y // 4 if y < 300 else 40, 60 + x // 3)


def stripes(x, y):
    return ((x * 5) % 256, 180, (y * 9) % 256)


def face(x, y):
    dx, dy = x - 22, y - 22
    if dx * dx + dy * dy > 400:
        return (255, 255, 255)
    if (abs(dx + 7) < 3 or abs(dx - 7) < 3) and -10 < dy < -4:
        return (30, 30, 30)
    if 8 < dy < 12 and abs(dx) < 10:
        return (200, 40, 40)
    return (255, 220, 120)


DRAWINGS = [
    ("ねこ", 153600, "2024-05-03 10:21:44", png(44, 44, face)),
    ("sunset", 2411520, "2024-04-28 19:02:10", png(320, 480, sunset)),
    ("タイル", 10240, "2024-06-11 08:15:00", png(44, 44, checker)),
    ("banner", 52224, "2023-12-24 23:59:59", png(100, 50, stripes)),
    ("draft", 900, "2024-06-12 12:00:00", None),
]


def answer(request):
    command, _, argument = request.partition(b":")
    if command == b"GetProtVer":
        return b"ok:4\n"
    if command == b"GetFileList":
        fields = [b"filename,size,updateDate"]
        for name, size, date, _ in DRAWINGS:
            fields += [name.encode(), str(size).encode(), date.encode()]
        return b"ok:" + b"\r".join(fields) + b"\n"
    if command == b"GetThumb":
        for name, _, _, thumb in DRAWINGS:
            if name.encode() == argument and thumb:
                return b"ok:" + thumb.hex().encode() + b"\n"
        return b"error:3\n"
    return b"error:1\n"


def main():
    host = sys.argv[1] if len(sys.argv) > 1 else "127.0.0.1"
    port = int(sys.argv[2]) if len(sys.argv) > 2 else 3210
    with socket.create_connection((host, port)) as connection:
        pending = b""
        while True:
            data = connection.recv(65536)
            if not data:
                return
            pending += data
            while b"\n" in pending:
                line, pending = pending.split(b"\n", 1)
                connection.sendall(answer(line))


if __name__ == "__main__":
    main()
