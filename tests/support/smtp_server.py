#!/usr/bin/python3
# Real SMTP servers for the tests: aiosmtpd on 127.0.0.1.
#
# usage: smtp_server.py STORE_DIR [--listen MODE[,MODE...]] [--user U --password P]
#
# Starts one server per MODE (default: plain) in this one process and prints
# "MODE PORT" for each (a free port), then "ready".
#
#   plain           no STARTTLS, no AUTH: the original plain dialogue
#   starttls        STARTTLS offered and required first; AUTH PLAIN and LOGIN after it
#   starttls-login  the same, offering AUTH LOGIN only
#   tls             TLS from the first byte; AUTH PLAIN and LOGIN
#   tls-wrong-name  the same with a certificate made out to another name
#
# TLS modes use a throw-away CA made with openssl in STORE_DIR/certs: ca.pem
# signs server.pem (CN localhost, names localhost and 127.0.0.1) and wrong.pem
# (CN wrong.example). Sign-in succeeds only with --user and --password.
#
# Every message accepted is stored in STORE_DIR as N.eml (the DATA bytes after
# dot-unstuffing) and N.json (the envelope: HELO/EHLO name, MAIL FROM,
# RCPT TO, the signed-in user, whether TLS was on), N counting from 1; the
# .json file is written last. Exits when its standard input closes, so it never outlives the test that started it.


import json, logging, os, ssl, subprocess, sys, threading

from aiosmtpd.controller import Controller
from aiosmtpd.smtp import AuthResult, LoginPassword

# aiosmtpd logs a warning about its own use of a deprecated field on every
# sign-in; only errors are worth the test's output.
logging.getLogger("mail.log").setLevel(logging.ERROR)


class Server(Controller):
    # Port 0 takes a free port; aiosmtpd must know which to reach it once.
    def _trigger_server(self):
        self.port = self.server.sockets[0].getsockname()[1]
        super()._trigger_server()


class StoringHandler:
    def __init__(self, folder):
        self.folder = folder
        self.count = 0
        self.lock = threading.Lock()

    def write(self, name, data):
        path = os.path.join(self.folder, name)
        with open(path + ".tmp", "wb") as f:
            f.write(data)
        os.replace(path + ".tmp", path)  # whole or not there

    async def handle_DATA(self, server, session, envelope):
        with self.lock:
            self.count += 1
            n = self.count
        self.write("%d.eml" % n, envelope.original_content)
        login = session.auth_data.login.decode("utf-8", "replace") if session.auth_data else None
        tls = server.transport.get_extra_info("ssl_object") is not None
        self.write("%d.json" % n, json.dumps({"helo": session.host_name, "mail_from": envelope.mail_from,
                                               "rcpt_tos": envelope.rcpt_tos, "user": login, "tls": tls}).encode())
        return "250 Message accepted for delivery"


def make_certificates(folder):
    def openssl(*args):
        subprocess.run(("openssl",) + args, cwd=folder, check=True, capture_output=True, timeout=60)
    os.makedirs(folder, exist_ok=True)
    key = ("-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes")
    openssl("req", "-x509", *key, "-keyout", "ca.key", "-out", "ca.pem", "-days", "2", "-subj", "/CN=Zorvane Test CA",
            "-addext", "basicConstraints=critical,CA:TRUE", "-addext", "keyUsage=critical,keyCertSign,cRLSign")
    for name, cn, alt in (("server", "localhost", "DNS:localhost,IP:127.0.0.1"), ("wrong", "wrong.example", "DNS:wrong.example")):
        with open(os.path.join(folder, name + ".ext"), "w") as f:
            f.write("basicConstraints=CA:FALSE\nextendedKeyUsage=serverAuth\nsubjectAltName=%s\n" % alt)
        openssl("req", "-new", *key, "-keyout", name + ".key", "-out", name + ".csr", "-subj", "/CN=" + cn)
        openssl("x509", "-req", "-in", name + ".csr", "-CA", "ca.pem", "-CAkey", "ca.key", "-CAcreateserial", "-days", "2",
                "-extfile", name + ".ext", "-out", name + ".pem")


def main():
    args = sys.argv[1:]
    if len(args) % 2 != 1:
        sys.exit("usage: smtp_server.py STORE_DIR [--listen MODES] [--user U --password P]")
    folder, options = args[0], dict(zip(args[1::2], args[2::2]))
    user, password = (options.get(key, "").encode("utf-8") for key in ("--user", "--password"))

    def authenticator(server, session, envelope, mechanism, auth_data):
        ok = isinstance(auth_data, LoginPassword) and bool(user) and (auth_data.login, auth_data.password) == (user, password)
        # handled=False: the server answers a refusal with 535 itself.
        return AuthResult(success=ok, handled=False, auth_data=auth_data if ok else None)

    def tls_context(name):
        context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
        context.load_cert_chain(os.path.join(folder, "certs", name + ".pem"), os.path.join(folder, "certs", name + ".key"))
        return context

    handler = StoringHandler(folder)
    modes = options.get("--listen", "plain").split(",")
    if modes != ["plain"]:
        make_certificates(os.path.join(folder, "certs"))
    servers = []
    try:
        for mode in modes:
            smtp = {"authenticator": authenticator}
            if mode == "plain":
                smtp = {}
            elif mode in ("starttls", "starttls-login"):
                smtp.update(tls_context=tls_context("server"), require_starttls=True)
                if mode == "starttls-login":
                    smtp["auth_exclude_mechanism"] = ["PLAIN"]
            else:
                # (aiosmtpd counts only STARTTLS as encryption for AUTH.)
                smtp.update(auth_require_tls=False, ssl_context=tls_context({"tls": "server", "tls-wrong-name": "wrong"}[mode]))
            servers.append(Server(handler, hostname="127.0.0.1", port=0, server_hostname="mx.test", **smtp))
            servers[-1].start()
            sys.stdout.write("%s %d\n" % (mode, servers[-1].port))
        sys.stdout.write("ready\n")
        sys.stdout.flush()
        while sys.stdin.buffer.read(4096):
            pass
    finally:
        for server in servers:
            server.stop()
    return 0


if __name__ == "__main__":
    sys.exit(main())
