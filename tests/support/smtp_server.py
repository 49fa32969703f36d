#!/usr/bin/python3
"""Real SMTP servers for the tests: aiosmtpd on 127.0.0.1.

usage: smtp_server.py STORE_DIR [PORT]
       smtp_server.py STORE_DIR --listen MODE[,MODE...] [--user U --password P]

The first form is one plain server; it prints the port it listens on as the
first line of standard output. The second starts one server per MODE in this
one process and prints "MODE PORT" for each, then "ready":

  plain           no STARTTLS, no AUTH: the original plain dialogue
  plain-auth      no STARTTLS, yet AUTH offered in clear (a client must not use it)
  starttls        STARTTLS offered and required first; AUTH PLAIN and LOGIN after it
  starttls-login  the same, offering AUTH LOGIN only
  tls             TLS from the first byte; AUTH PLAIN and LOGIN
  tls-wrong-name  the same with a certificate made out to another name

TLS modes use a throw-away CA made with openssl in STORE_DIR/certs: ca.pem
signs server.pem (CN localhost, names localhost and 127.0.0.1) and wrong.pem
(CN wrong.example). Sign-in succeeds only with --user and --password.

Every message accepted is stored in STORE_DIR as N.eml (the DATA bytes after
dot-unstuffing) and N.json (the envelope: mode, HELO/EHLO name, MAIL FROM,
RCPT TO, the signed-in user, whether TLS was on), N counting from 1 (on
from the messages already there, so a server started again on the same
folder goes on counting); the .json file is written last. Every server
refuses the recipient "nobody@..." with 550, as a server refuses an unknown
user. Every AUTH command is appended to
STORE_DIR/auth.log as "MODE MECHANISM". Exits when its standard input closes,
so it never outlives the test that started it.
"""

import json
import os
import socket
import ssl
import subprocess
import sys
import logging
import threading

from aiosmtpd.controller import Controller
from aiosmtpd.smtp import MISSING, AuthResult, LoginPassword

# aiosmtpd logs a warning about its own use of a deprecated field on every
# sign-in; only errors are worth the test's output.
logging.getLogger("mail.log").setLevel(logging.ERROR)

MODES = ("plain", "plain-auth", "starttls", "starttls-login", "tls", "tls-wrong-name")


class Store:
    def __init__(self, folder):
        self.folder = folder
        self.count = len([name for name in os.listdir(folder) if name.endswith(".json")])
        self.lock = threading.Lock()

    def write(self, name, data):
        path = os.path.join(self.folder, name)
        with open(path + ".tmp", "wb") as f:
            f.write(data)
        os.replace(path + ".tmp", path)

    def append(self, name, line):
        with self.lock, open(os.path.join(self.folder, name), "a") as f:
            f.write(line + "\n")


class StoringHandler:
    def __init__(self, store, mode):
        self.store = store
        self.mode = mode

    async def handle_AUTH(self, server, session, envelope, args):
        self.store.append("auth.log", "%s %s" % (self.mode, args[0] if args else ""))
        return MISSING

    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        if address.lower().startswith("nobody@"):
            return "550 5.1.1 <%s>: Recipient address rejected: User unknown" % address
        envelope.rcpt_tos.append(address)
        return "250 OK"

    async def handle_DATA(self, server, session, envelope):
        with self.store.lock:
            self.store.count += 1
            n = self.store.count
        self.store.write("%d.eml" % n, envelope.original_content)
        login = session.auth_data.login if session.auth_data else None
        envelope_json = {
            "mode": self.mode,
            "helo": session.host_name,
            "mail_from": envelope.mail_from,
            "rcpt_tos": envelope.rcpt_tos,
            "user": login.decode("utf-8", "replace") if login else None,
            "tls": server.transport.get_extra_info("ssl_object") is not None,
        }
        self.store.write("%d.json" % n, json.dumps(envelope_json).encode("utf-8"))
        return "250 Message accepted for delivery"


def openssl(*args, cwd):
    subprocess.run(("openssl",) + args, cwd=cwd, check=True, capture_output=True, timeout=60)


def make_certificates(folder):
    os.makedirs(folder, exist_ok=True)
    key = ("-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes")
    openssl("req", "-x509", *key, "-keyout", "ca.key", "-out", "ca.pem", "-days", "2",
            "-subj", "/CN=Zorvane Test CA", "-addext", "basicConstraints=critical,CA:TRUE",
            "-addext", "keyUsage=critical,keyCertSign,cRLSign", cwd=folder)
    for name, cn, alt in (("server", "localhost", "DNS:localhost,IP:127.0.0.1"),
                          ("wrong", "wrong.example", "DNS:wrong.example")):
        with open(os.path.join(folder, name + ".ext"), "w") as f:
            f.write("basicConstraints=CA:FALSE\nextendedKeyUsage=serverAuth\nsubjectAltName=%s\n" % alt)
        openssl("req", "-new", *key, "-keyout", name + ".key", "-out", name + ".csr",
                "-subj", "/CN=" + cn, cwd=folder)
        openssl("x509", "-req", "-in", name + ".csr", "-CA", "ca.pem", "-CAkey", "ca.key",
                "-CAcreateserial", "-days", "2", "-extfile", name + ".ext", "-out", name + ".pem",
                cwd=folder)


def server_context(folder, name):
    context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
    context.load_cert_chain(os.path.join(folder, name + ".pem"), os.path.join(folder, name + ".key"))
    return context


def free_port():
    with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def start_controller(handler, wanted=0, **options):
    for attempt in range(10):
        port = wanted or free_port()
        candidate = Controller(handler, hostname="127.0.0.1", port=port, **options)
        try:
            candidate.start()
        except OSError:
            if wanted:
                raise
            continue
        return candidate, port
    raise OSError("no free port")


def main():
    args = sys.argv[1:]
    if not args:
        sys.stderr.write(__doc__)
        return 2
    folder = args.pop(0)
    store = Store(folder)
    options = dict(zip(args[0::2], args[1::2])) if args and args[0].startswith("--") else {}
    user = options.get("--user", "").encode("utf-8")
    password = options.get("--password", "").encode("utf-8")

    def authenticator(server, session, envelope, mechanism, auth_data):
        ok = isinstance(auth_data, LoginPassword) and bool(user) \
            and auth_data.login == user and auth_data.password == password
        # handled=False: the server answers a refusal with 535 itself.
        return AuthResult(success=ok, handled=False, auth_data=auth_data if ok else None)

    controllers = []
    try:
        if "--listen" not in options:
            controller, port = start_controller(StoringHandler(store, "plain"),
                                                int(args[0]) if args else 0)
            controllers.append(controller)
            sys.stdout.write("%d\n" % port)
        else:
            modes = options["--listen"].split(",")
            certs = os.path.join(folder, "certs")
            if any(m.startswith(("starttls", "tls")) for m in modes):
                make_certificates(certs)
            for mode in modes:
                if mode not in MODES:
                    raise ValueError("unknown mode " + mode)
                smtp = {"authenticator": authenticator}
                controller_ssl = None
                if mode == "plain":
                    smtp = {}
                elif mode == "plain-auth":
                    smtp["auth_require_tls"] = False
                elif mode.startswith("starttls"):
                    smtp["tls_context"] = server_context(certs, "server")
                    smtp["require_starttls"] = True
                    if mode == "starttls-login":
                        smtp["auth_exclude_mechanism"] = ["PLAIN"]
                else:
                    # (aiosmtpd counts only STARTTLS as encryption for AUTH.)
                    smtp["auth_require_tls"] = False
                    controller_ssl = server_context(certs, "wrong" if mode == "tls-wrong-name" else "server")
                controller, port = start_controller(StoringHandler(store, mode), ssl_context=controller_ssl,
                                                    server_hostname="mx.test", **smtp)
                controllers.append(controller)
                sys.stdout.write("%s %d\n" % (mode, port))
            sys.stdout.write("ready\n")
        sys.stdout.flush()
        while sys.stdin.buffer.read(4096):
            pass
    finally:
        for controller in controllers:
            controller.stop()
    return 0


if __name__ == "__main__":
    sys.exit(main())
