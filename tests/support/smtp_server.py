#!/usr/bin/python3
"""A real SMTP server for the tests: aiosmtpd on 127.0.0.1.

usage: smtp_server.py STORE_DIR [PORT]

Prints the port it listens on as the first line of standard output. Every
message it accepts is stored in STORE_DIR as N.eml (the DATA bytes as the
server received them, after dot-unstuffing) and N.json (the envelope: HELO
name, MAIL FROM, RCPT TO), N counting from 1; the .json file is written
last. Exits when its standard input closes, so it never outlives the test
that started it.
"""

import json
import os
import socket
import sys

from aiosmtpd.controller import Controller


class StoringHandler:
    def __init__(self, folder):
        self.folder = folder
        self.count = 0

    def _write(self, name, data):
        path = os.path.join(self.folder, name)
        with open(path + ".tmp", "wb") as f:
            f.write(data)
        os.replace(path + ".tmp", path)

    async def handle_DATA(self, server, session, envelope):
        self.count += 1
        self._write("%d.eml" % self.count, envelope.original_content)
        envelope_json = {
            "helo": session.host_name,
            "mail_from": envelope.mail_from,
            "rcpt_tos": envelope.rcpt_tos,
        }
        self._write("%d.json" % self.count, json.dumps(envelope_json).encode("utf-8"))
        return "250 Message accepted for delivery"


def free_port():
    with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def main():
    if len(sys.argv) < 2:
        sys.stderr.write(__doc__)
        return 2
    folder = sys.argv[1]
    wanted = int(sys.argv[2]) if len(sys.argv) > 2 else 0
    handler = StoringHandler(folder)

    controller = None
    for attempt in range(10):
        port = wanted or free_port()
        candidate = Controller(handler, hostname="127.0.0.1", port=port)
        try:
            candidate.start()
        except OSError:
            if wanted:
                raise
            continue
        controller = candidate
        break
    if controller is None:
        sys.stderr.write("smtp_server.py: no free port\n")
        return 1

    sys.stdout.write("%d\n" % port)
    sys.stdout.flush()
    try:
        while sys.stdin.buffer.read(4096):
            pass
    finally:
        controller.stop()
    return 0


if __name__ == "__main__":
    sys.exit(main())
