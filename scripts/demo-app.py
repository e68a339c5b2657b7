#!/usr/bin/env python3
"""A stand-in for the KomaSlate app: connects to KomaSlate Utility, reports
protocol version 4 and serves a few small pixel-art drawings. The utility can
list them with thumbnails, download them, upload new ones and delete them;
uploads are kept in memory until the script ends. The script stays connected
until the utility closes the connection. For trying the window without a
phone, and for the screenshot in docs/.

usage: demo-app.py [--write-drawings DIR] [host] [port]

--write-drawings DIR writes the built-in drawings to DIR as .ksd files and
exits, without connecting.
"""
import argparse
import hashlib
import os
import socket
import struct
import sys
import time
import zlib

# ---- Device documents ----
#
# A device document is the signature "KomaSlateData00" and one root chunk
# (id 0). A chunk is a little-endian 16-bit id, a 32-bit payload size and the
# payload, which is a value or a list of child chunks.

SIGNATURE = b"KomaSlateData00"

# Root chunk ids.
DOC_WIDTH, DOC_HEIGHT, DOC_LAYERS, DOC_PALETTES = 1001, 1002, 1003, 1004
DOC_DISPLAY_MODE, DOC_BACK_COLOR, DOC_TRANSPARENT, DOC_TEXT = 1005, 1006, 1007, 1008
# Layer array and palette array ids.
ARRAY_CURRENT, ARRAY_SERIAL, ARRAY_ITEM = 1001, 1002, 1003
# Layer ids.
LAYER_WIDTH, LAYER_HEIGHT, LAYER_BITS, LAYER_NAME, LAYER_VISIBLE, LAYER_ID = range(1001, 1007)
# Palette ids.
PAL_COUNT, PAL_COLORS, PAL_EXTRA, PAL_KINDS, PAL_NAME = range(1001, 1006)


def chunk(chunk_id, payload):
    return struct.pack("<HI", chunk_id, len(payload)) + payload


def int_chunk(chunk_id, value):
    return chunk(chunk_id, struct.pack("<i", value))


def byte_chunk(chunk_id, value):
    return chunk(chunk_id, bytes([value]))


class Drawing:
    """A picture: width × height, layers of one palette index per pixel
    (layer 0 on top) and a 256-colour palette of (r, g, b)."""

    def __init__(self, width, height, palette, transparent=0, display_mode=0):
        self.width = width
        self.height = height
        self.palette = palette
        self.transparent = transparent
        self.display_mode = display_mode
        self.current_layer = 0
        self.layers = []  # (name, visible, pixels)

    def add_layer(self, name, pixels, visible=True):
        assert len(pixels) == self.width * self.height, name
        self.layers.append((name, visible, bytes(pixels)))

    def shown_layers(self):
        """The layers the display mode shows, topmost first."""
        count, current = len(self.layers), self.current_layer
        if self.display_mode == 0:
            indices = [i for i, layer in enumerate(self.layers) if layer[1]]
        elif self.display_mode == 1:
            indices = [current]
        elif self.display_mode == 2:
            indices = [current - 1, current]
        elif self.display_mode == 3:
            indices = [current, current + 1]
        elif self.display_mode == 4:
            indices = range(0, current + 1)
        elif self.display_mode == 5:
            indices = range(max(current, 0), count)
        else:
            indices = []
        return [self.layers[i] for i in indices if 0 <= i < count]

    def to_bytes(self, text=""):
        """The drawing as a device document: size, layers, palettes, then
        the attribute values."""
        layers = [int_chunk(ARRAY_CURRENT, self.current_layer),
                  int_chunk(ARRAY_SERIAL, len(self.layers))]
        for number, (name, visible, pixels) in enumerate(self.layers, 1):
            layers.append(chunk(ARRAY_ITEM, b"".join([
                int_chunk(LAYER_WIDTH, self.width),
                int_chunk(LAYER_HEIGHT, self.height),
                chunk(LAYER_BITS, pixels),
                chunk(LAYER_NAME, name.encode()),
                byte_chunk(LAYER_VISIBLE, int(visible)),
                int_chunk(LAYER_ID, number),
            ])))
        count = len(self.palette)
        palette = b"".join([
            int_chunk(PAL_COUNT, count),
            chunk(PAL_COLORS, b"".join(bytes(rgb) for rgb in self.palette)),
            chunk(PAL_EXTRA, bytes(6 * count)),  # no entry carries an extra record
            chunk(PAL_KINDS, bytes(count)),  # every entry a plain colour
            chunk(PAL_NAME, b"Pal01"),
        ])
        palettes = [int_chunk(ARRAY_CURRENT, 0), int_chunk(ARRAY_SERIAL, 1),
                    chunk(ARRAY_ITEM, palette)]
        root = b"".join([
            int_chunk(DOC_WIDTH, self.width),
            int_chunk(DOC_HEIGHT, self.height),
            chunk(DOC_LAYERS, b"".join(layers)),
            chunk(DOC_PALETTES, b"".join(palettes)),
            byte_chunk(DOC_DISPLAY_MODE, self.display_mode),
            byte_chunk(DOC_BACK_COLOR, 0),
            byte_chunk(DOC_TRANSPARENT, self.transparent),
            chunk(DOC_TEXT, text.encode()),
        ])
        return SIGNATURE + chunk(0, root)


def children(data, start, end):
    """The chunks in data[start:end] as (id, payload start, payload end)."""
    while start < end:
        if start + 6 > end:
            raise ValueError("chunk header cut short")
        chunk_id, size = struct.unpack_from("<HI", data, start)
        start += 6
        if start + size > end:
            raise ValueError("chunk %d runs past its parent" % chunk_id)
        yield chunk_id, start, start + size
        start += size


def read_int(data, start):
    return struct.unpack_from("<i", data, start)[0]


def read_drawing(data):
    """The picture of a device document, for its thumbnail. Raises
    ValueError when the bytes are not one."""
    if not data.startswith(SIGNATURE) or len(data) < len(SIGNATURE) + 6:
        raise ValueError("not a device document")
    root_id, root_size = struct.unpack_from("<HI", data, len(SIGNATURE))
    root_start = len(SIGNATURE) + 6
    if root_id != 0:
        raise ValueError("root chunk id is not 0")
    fields = {DOC_DISPLAY_MODE: 0, DOC_TRANSPARENT: 0}
    layers, palettes, current = [], [], {}
    for chunk_id, start, end in children(data, root_start, root_start + root_size):
        if chunk_id in (DOC_WIDTH, DOC_HEIGHT):
            fields[chunk_id] = read_int(data, start)
        elif chunk_id in (DOC_DISPLAY_MODE, DOC_TRANSPARENT):
            fields[chunk_id] = data[start]
        elif chunk_id in (DOC_LAYERS, DOC_PALETTES):
            items = layers if chunk_id == DOC_LAYERS else palettes
            for item_id, item_start, item_end in children(data, start, end):
                if item_id == ARRAY_CURRENT:
                    current[chunk_id] = read_int(data, item_start)
                elif item_id == ARRAY_ITEM:
                    items.append({i: data[s:e] for i, s, e in children(data, item_start, item_end)})
    width, height = fields.get(DOC_WIDTH, 0), fields.get(DOC_HEIGHT, 0)
    if width <= 0 or height <= 0:
        raise ValueError("no picture size")
    palette_index = current.get(DOC_PALETTES, 0)
    if not 0 <= palette_index < len(palettes):
        raise ValueError("no current palette")
    colours = palettes[palette_index].get(PAL_COLORS, b"")
    drawing = Drawing(width, height,
                      [tuple(colours[i:i + 3]) for i in range(0, len(colours) - 2, 3)],
                      fields[DOC_TRANSPARENT], fields[DOC_DISPLAY_MODE])
    drawing.current_layer = current.get(DOC_LAYERS, 0)
    for layer in layers:
        pixels = layer.get(LAYER_BITS, b"")
        if len(pixels) != width * height:
            raise ValueError("a layer without all its pixels")
        visible = layer.get(LAYER_VISIBLE, b"\1") != b"\0"
        drawing.add_layer(layer.get(LAYER_NAME, b"").decode(errors="replace"), pixels, visible)
    return drawing


# ---- Thumbnails ----

THUMB_SIZE = 44
BACKGROUND = (255, 255, 255)


def png(width, height, pixel):
    """An 8-bit RGB PNG whose colours come from pixel(x, y) -> (r, g, b)."""
    rows = b"".join(
        b"\0" + b"".join(bytes(pixel(x, y)) for x in range(width)) for y in range(height))

    def png_chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    header = struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + png_chunk(b"IHDR", header)
            + png_chunk(b"IDAT", zlib.compress(rows)) + png_chunk(b"IEND", b""))


def thumbnail(drawing):
    """The shown layers scaled to fit 44 × 44 (nearest pixel), centred on
    white; transparent pixels let the layers below show through."""
    scale = min(THUMB_SIZE / drawing.width, THUMB_SIZE / drawing.height)
    shown_width, shown_height = drawing.width * scale, drawing.height * scale
    left, top = (THUMB_SIZE - shown_width) / 2, (THUMB_SIZE - shown_height) / 2
    shown = [pixels for _, _, pixels in drawing.shown_layers()]

    def pixel(x, y):
        sx, sy = int((x + 0.5 - left) / scale), int((y + 0.5 - top) / scale)
        if not (0 <= sx < drawing.width and 0 <= sy < drawing.height):
            return BACKGROUND
        for pixels in shown:
            index = pixels[sy * drawing.width + sx]
            if index != drawing.transparent:
                return drawing.palette[index] if index < len(drawing.palette) else BACKGROUND
        return BACKGROUND

    return png(THUMB_SIZE, THUMB_SIZE, pixel)


# ---- The built-in drawings ----


def make_palette():
    """16 named colours, a 6 × 6 × 6 colour cube and 24 greys: 256 in all."""
    named = [(255, 255, 255), (20, 20, 28), (250, 250, 250), (240, 150, 60), (250, 220, 80),
             (245, 160, 180), (210, 50, 50), (90, 190, 80), (40, 110, 60), (70, 120, 220),
             (30, 40, 110), (130, 80, 40), (140, 200, 250), (200, 200, 200), (90, 90, 90),
             (150, 90, 200)]
    cube = [(r * 51, g * 51, b * 51) for r in range(6) for g in range(6) for b in range(6)]
    greys = [(v, v, v) for v in range(8, 248, 10)]
    palette = named + cube + greys
    assert len(palette) == 256
    return palette


PALETTE = make_palette()
# Index 0 is the transparent index of every built-in drawing.
INK = {".": 0, "k": 1, "w": 2, "o": 3, "y": 4, "p": 5, "r": 6, "g": 7, "G": 8, "b": 9,
       "B": 10, "n": 11, "s": 12, "l": 13, "d": 14, "v": 15}


def cube(r, g, b):
    """The palette index of a colour-cube entry, each channel 0 to 5."""
    return 16 + 36 * r + 6 * g + b


def from_art(rows, keep=None):
    """Pixels from rows of INK letters; with `keep`, only those letters."""
    assert len({len(row) for row in rows}) == 1, "art rows differ in length"
    return bytes(INK[c] if keep is None or c in keep else 0 for row in rows for c in row)


def from_function(width, height, index):
    return bytes(index(x, y) for y in range(height) for x in range(width))


CAT = [
    "................",
    ".k............k.",
    ".kk..........kk.",
    ".kok........kok.",
    ".kookkkkkkkkook.",
    ".kooooooooooook.",
    "kooooooooooooook",
    "kookkooooookkook",
    "kookwoooooowkook",
    "kooooooppooooook",
    "koooookookoooook",
    ".koooookkoooook.",
    ".kooooooooooook.",
    "..kooooooooook..",
    "..kwwkkkkkkwwk..",
    "...kk......kk...",
]


def cat():
    drawing = Drawing(16, 16, PALETTE)
    drawing.add_layer("線画", from_art(CAT, keep="k"))
    drawing.add_layer("塗り", from_art(CAT, keep="owpy"))
    drawing.add_layer("背景", from_function(16, 16, lambda x, y: INK["p"] if (x + y) % 4 == 0
                                            else INK["w"]))
    return drawing


def sunset():
    width, height = 48, 32
    drawing = Drawing(width, height, PALETTE)

    def cloud(x, y):
        left = (y - 6) ** 2 * 4 + (x - 12) ** 2 < 30
        right = (y - 9) ** 2 * 4 + (x - 36) ** 2 < 20
        return INK["w"] if left or right else 0

    def sun(x, y):
        return INK["y"] if (x - 30) ** 2 + (y - 20) ** 2 < 40 else 0

    def hills(x, y):
        ridge = 22 + (x * 7 % 11) // 3 - (4 if 10 < x < 24 else 0)
        return INK["G"] if y > ridge + 4 else INK["g"] if y > ridge else 0

    def sky(x, y):
        # From deep blue at the top to orange at the horizon.
        band = y * 6 // height
        return [cube(0, 0, 2), cube(1, 0, 3), cube(3, 1, 3), cube(4, 2, 2), cube(5, 3, 1),
                cube(5, 4, 1)][band]

    drawing.add_layer("雲", from_function(width, height, cloud))
    drawing.add_layer("山", from_function(width, height, hills))
    drawing.add_layer("太陽", from_function(width, height, sun))
    drawing.add_layer("空", from_function(width, height, sky))
    # A hidden sketch: not part of the thumbnail or of a flattened download.
    drawing.add_layer("下書き", from_function(width, height, lambda x, y: INK["r"]
                                           if x == y or x == width - 1 - y else 0), visible=False)
    return drawing


def tile():
    drawing = Drawing(16, 16, PALETTE)
    drawing.add_layer("目地", from_function(16, 16, lambda x, y: INK["d"]
                                          if x % 8 == 0 or y % 8 == 0 else 0))
    drawing.add_layer("タイル", from_function(16, 16, lambda x, y: [INK["b"], INK["s"]][
        (x // 8 + y // 8) % 2]))
    return drawing


def banner():
    """Two layers of stripes, shown one at a time: display mode 1 (the
    current layer only), with the second layer current."""
    width, height = 64, 16
    drawing = Drawing(width, height, PALETTE, display_mode=1)
    drawing.add_layer("red", from_function(width, height, lambda x, y: INK["r"]
                                           if (x + y) // 4 % 2 else INK["y"]))
    drawing.add_layer("blue", from_function(width, height, lambda x, y: cube(0, x * 6 // width,
                                                                             5 - y * 6 // height)))
    drawing.current_layer = 1
    return drawing


def built_in_drawings():
    """(name, update date, document bytes) of each built-in drawing."""
    return [
        ("ねこ", "2024-05-03 10:21:44", cat().to_bytes("にゃー")),
        ("sunset", "2024-04-28 19:02:10", sunset().to_bytes()),
        ("タイル", "2024-06-11 08:15:00", tile().to_bytes()),
        ("banner", "2023-12-24 23:59:59", banner().to_bytes()),
    ]


# ---- The protocol ----
#
# The utility asks with one line "name:value\n" and the app answers with one
# line "ok:value\n" or "error:code\n". Names are UTF-8; documents and
# thumbnails travel as lower-case hexadecimal; fields are separated by CR.

CR = b"\r"
NOT_FOUND = b"error:3\n"
FAILED = b"error:1\n"


def md5_hex(data):
    return hashlib.md5(data).hexdigest().encode()


class App:
    """The drawings of the app, by name (text), with their update dates."""

    def __init__(self):
        self.drawings = {}  # name -> (update date, document bytes)
        for name, date, data in built_in_drawings():
            self.drawings[name] = (date, data)

    def answer(self, request):
        command, _, argument = request.partition(b":")
        handler = {
            b"GetProtVer": self.get_protocol_version,
            b"GetFileList": self.get_file_list,
            b"GetThumb": self.get_thumb,
            b"GetFile": self.get_file,
            b"IsOverwrite": self.is_overwrite,
            b"SetFile": self.set_file,
            b"DeleteFile": self.delete_file,
        }.get(command)
        return handler(argument) if handler else FAILED

    @staticmethod
    def name_of(argument):
        # Any bytes come back unchanged when the name is encoded again.
        return argument.decode("utf-8", "surrogateescape")

    @staticmethod
    def encoded(name):
        return name.encode("utf-8", "surrogateescape")

    def get_protocol_version(self, _):
        return b"ok:4\n"

    def get_file_list(self, _):
        fields = [b"filename,size,updateDate"]
        for name, (date, data) in self.drawings.items():
            fields += [self.encoded(name), str(len(data)).encode(), date.encode()]
        return b"ok:" + CR.join(fields) + b"\n"

    def get_thumb(self, argument):
        entry = self.drawings.get(self.name_of(argument))
        if entry is None:
            return NOT_FOUND
        try:
            return b"ok:" + thumbnail(read_drawing(entry[1])).hex().encode() + b"\n"
        except (ValueError, IndexError, struct.error):
            return FAILED

    def get_file(self, argument):
        entry = self.drawings.get(self.name_of(argument))
        if entry is None:
            return NOT_FOUND
        data = entry[1]
        return b"ok:" + md5_hex(data) + CR + data.hex().encode() + b"\n"

    def is_overwrite(self, argument):
        name = self.name_of(argument)
        number = 2
        while "%s_%d" % (name, number) in self.drawings:
            number += 1
        exists = b"1" if name in self.drawings else b"0"
        alternative = "%s_%d" % (name, number)
        return b"ok:" + CR.join([exists, self.encoded(name), self.encoded(alternative)]) + b"\n"

    def set_file(self, argument):
        fields = argument.split(CR, 2)
        if len(fields) != 3:
            return FAILED
        name, digest, hex_data = fields
        try:
            data = bytes.fromhex(hex_data.decode("ascii"))
        except ValueError:
            return FAILED
        if md5_hex(data) != digest or not data.startswith(SIGNATURE):
            return FAILED
        self.drawings[self.name_of(name)] = (time.strftime("%Y-%m-%d %H:%M:%S"), data)
        return b"ok:\n"

    def delete_file(self, argument):
        if self.drawings.pop(self.name_of(argument), None) is None:
            return NOT_FOUND
        return b"ok:\n"


def serve(connection, app):
    """Answers every line until the utility closes the connection."""
    pending = bytearray()
    while True:
        data = connection.recv(1 << 20)
        if not data:
            return
        searched = len(pending)
        pending += data
        # A document travels in one line, so look for its end only in what
        # arrived since the last look.
        end = pending.find(b"\n", searched)
        while end >= 0:
            line = bytes(pending[:end])
            del pending[:end + 1]
            reply = app.answer(line)
            command, _, argument = line.partition(b":")
            print("%s %s -> %s" % (command.decode(errors="replace"),
                                   argument.split(CR, 1)[0][:60].decode(errors="replace"),
                                   reply[:reply.find(b":")].decode()), flush=True)
            connection.sendall(reply)
            end = pending.find(b"\n")


def write_drawings(folder):
    os.makedirs(folder, exist_ok=True)
    for name, _, data in built_in_drawings():
        path = os.path.join(folder, name + ".ksd")
        with open(path, "wb") as file:
            file.write(data)
        print(path)


def main():
    parser = argparse.ArgumentParser(description="Stands in for the KomaSlate app.")
    parser.add_argument("host", nargs="?", default="127.0.0.1")
    parser.add_argument("port", nargs="?", type=int, default=3210)
    parser.add_argument("--write-drawings", metavar="DIR",
                        help="write the built-in drawings to DIR as .ksd files and exit")
    arguments = parser.parse_args()
    if arguments.write_drawings:
        write_drawings(arguments.write_drawings)
        return
    with socket.create_connection((arguments.host, arguments.port)) as connection:
        serve(connection, App())


if __name__ == "__main__":
    sys.exit(main())
