#!/usr/bin/python3
"""A small FTP server on 127.0.0.1 for the tests, built on pyftpdlib.

It listens on a free port and prints "PORT <number>" on one line of stdout once it
accepts connections. The user's FTP root is --root; after login the user's current
folder is --login (so PWD does not answer "/"). It ends when stdin closes, so a test
that dies does not leave it behind.

Flags:
  --root DIR          local folder served as "/"
  --login PATH        folder the user is in after login ("/home/corvane")
  --user NAME --password TEXT
  --passive-only      PORT and EPRT are refused (a server behind a firewall)
  --no-mlsd           MLSD and MLST are unknown (only LIST listings)
  --read-only PATH    a folder (server path) where nothing may be written; repeatable
  --log FILE          one line per control connection ("connect") and per login
  --tls PEM           FTPS: explicit TLS (AUTH TLS) required on the control and the
                      data connections, with the certificate and key in PEM
"""

import argparse
import logging
import os
import sys
import threading

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--root", required=True)
    parser.add_argument("--login", default="/")
    parser.add_argument("--user", required=True)
    parser.add_argument("--password", required=True)
    parser.add_argument("--passive-only", action="store_true")
    parser.add_argument("--no-mlsd", action="store_true")
    parser.add_argument("--read-only", action="append", default=[])
    parser.add_argument("--log", default=None)
    parser.add_argument("--tls", default=None)
    args = parser.parse_args()

    # The library's own log would fill the test output.
    logging.basicConfig(level=logging.CRITICAL)
    logging.getLogger("pyftpdlib").setLevel(logging.CRITICAL)

    root = os.path.realpath(args.root)
    authorizer = DummyAuthorizer()
    authorizer.add_user(args.user, args.password, root, perm="elradfmwMT")
    for folder in args.read_only:
        local = os.path.join(root, folder.lstrip("/"))
        os.makedirs(local, exist_ok=True)
        authorizer.override_perm(args.user, local, "elr", recursive=True)

    removed = set()
    if args.passive_only:
        removed |= {"PORT", "EPRT"}
    if args.no_mlsd:
        removed |= {"MLSD", "MLST"}

    log_lock = threading.Lock()

    def write_log(text):
        if args.log is None:
            return
        with log_lock:
            with open(args.log, "a", encoding="utf-8") as log:
                log.write(text + "\n")

    base = FTPHandler
    if args.tls:
        from pyftpdlib.handlers import TLS_FTPHandler
        base = TLS_FTPHandler
        base.certfile = args.tls
        base.tls_control_required = True
        base.tls_data_required = True

        class DataHandler(base.dtp_handler):
            def readable(self):
                # pyftpdlib 1.5.7 reads nothing from a data connection before its
                # transfer command is in, and drops it when the client's TLS handshake
                # arrives earlier (as libcurl's does).
                return getattr(self, "_ssl_accepting", False) or super().readable()

        base.dtp_handler = DataHandler

    class Handler(base):
        proto_cmds = {name: value for name, value in base.proto_cmds.items()
                      if name not in removed}

        def on_connect(self):
            # Written before the greeting is sent, so a client that has seen the
            # greeting also finds the line.
            write_log("connect")

        def on_login(self, username):
            write_log("login " + username)
            self.fs.cwd = args.login

    Handler.authorizer = authorizer
    # Names are bytes: a name that is not UTF-8 is stored and listed byte for byte.
    Handler.unicode_errors = "surrogateescape"
    Handler.banner = "Corvane test FTP server ready."
    Handler.permit_foreign_addresses = False

    server = FTPServer(("127.0.0.1", 0), Handler)
    server.max_cons = 64
    port = server.socket.getsockname()[1]
    print("PORT %d" % port, flush=True)

    def watch_stdin():
        try:
            sys.stdin.read()
        finally:
            os._exit(0)

    threading.Thread(target=watch_stdin, daemon=True).start()
    server.serve_forever(handle_exit=False)


if __name__ == "__main__":
    main()
