#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
# A D-Bus bus that answers its first client's handshake and Hello, then never says another word:
# not to that client's calls, not to any later client. Listens on DIR/bus, and writes its address
# to DIR/address once it listens; ends when its input closes.
import os, select, socket, struct, sys


def hello_reply(hello):
    # A method return to the Hello (its serial at bytes 8-11, in its byte order), with the
    # fields REPLY_SERIAL (u) and SIGNATURE (g "s"), and the unique name ":1.1" as its body.
    serial = struct.unpack("<I" if hello[0:1] == b"l" else ">I", hello[8:12])[0]
    fields = struct.pack("<BBcxI", 5, 1, b"u", serial) + struct.pack("<BBcxBcx", 8, 1, b"g", 1, b"s")
    body = struct.pack("<I", 4) + b":1.1\0"
    header = struct.pack("<cBBBIII", b"l", 2, 0, 1, len(body), 1, len(fields)) + fields
    return header + b"\0" * (-len(header) % 8) + body


folder = sys.argv[1]
listener = socket.socket(socket.AF_UNIX)
listener.bind(folder + "/bus")
listener.listen(16)
open(folder + "/address.new", "w").write("unix:path=" + folder + "/bus")
os.rename(folder + "/address.new", folder + "/address")
talking, received, begun, clients = None, b"", False, []  # talking: the first client, until its Hello
while True:
    ready = select.select([sys.stdin, listener] + clients, [], [])[0]
    if sys.stdin in ready and not os.read(0, 256):
        break
    clients += [listener.accept()[0]] if listener in ready else []
    talking = clients[0] if talking is None and clients else talking
    for client in [c for c in ready if c in clients]:
        data = client.recv(4096)
        if not data:
            clients.remove(client)
        received += data if client is talking else b""
        while client is talking and not begun and b"\r\n" in received:  # the handshake, a line at a time
            line, received = received.split(b"\r\n", 1)
            begun = line == b"BEGIN"
            # AUTH without its data asks for it (DATA); AUTH with it, or DATA, is accepted.
            accepted = b"AUTH" in line or line.startswith(b"DATA")
            asks = line.rstrip(b"\0").endswith(b"AUTH EXTERNAL")
            client.sendall(b"" if begun else (b"DATA" if asks else b"OK " + b"0" * 32 if accepted else b"AGREE_UNIX_FD") + b"\r\n")
        if client is talking and begun and len(received) >= 16:
            client.sendall(hello_reply(received))
            talking = False
