"""A throw-away FTP server for tests and benchmarks.

Serves one user from --home on 127.0.0.1 and prints its port as the first line. Listings put
folders first, then files, each by name, the same on every file system. --command-log gets every
command (the password masked) and every log-on. --stop-after-bytes ends the process abruptly once
one upload has received that many bytes; --keep-bytes cuts each upload to that size once it
is confirmed; --ignore-quit never answers QUIT; --unlocked serves the folder above --home and puts the user
in --home at log-on, as servers that do not lock users into their home do. --tls explicit
(AUTH TLS) or implicit (FTPS) requires TLS with --certfile (certificate and key in one file).
"""

import argparse
import logging
import os

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.filesystems import AbstractedFS
from pyftpdlib.handlers import (DTPHandler, FTPHandler, ThrottledDTPHandler, TLS_DTPHandler,
                                TLS_FTPHandler)
from pyftpdlib.servers import FTPServer


class OrderedFS(AbstractedFS):
    def listdir(self, path):
        names = os.listdir(path)
        return sorted(names, key=lambda n: (not os.path.isdir(os.path.join(path, n)), n))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--home", required=True)
    parser.add_argument("--user", required=True)
    parser.add_argument("--password", required=True)
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--stop-after-bytes", type=int, default=0)
    parser.add_argument("--keep-bytes", type=int, default=0)
    parser.add_argument("--command-log", default="")
    parser.add_argument("--no-mlsd", action="store_true")
    parser.add_argument("--ignore-quit", action="store_true")
    parser.add_argument("--unlocked", action="store_true")
    parser.add_argument("--bytes-per-second", type=int, default=0)
    parser.add_argument("--tls", choices=["explicit", "implicit"], default="")
    parser.add_argument("--certfile", default="")
    args = parser.parse_args()

    logging.basicConfig(level=logging.ERROR)

    authorizer = DummyAuthorizer()
    authorizer.add_user(args.user, args.password, args.home, perm="elradfmwMT")

    class StoppingDTPHandler(DTPHandler):
        def handle_read(self):
            super().handle_read()
            if self.tot_bytes_received >= args.stop_after_bytes:
                os._exit(3)

        # pyftpdlib's event loop calls this name, bound to the base class's reader.
        handle_read_event = handle_read

    def log(line):
        if args.command_log:
            with open(args.command_log, "a") as out:
                out.write(line + "\n")

    base = TLS_FTPHandler if args.tls else FTPHandler

    class TestFTPHandler(base):
        def on_login(self, username):
            log("login " + username)
            if args.unlocked:
                home = os.path.normpath(args.home)
                self.fs = OrderedFS(os.path.dirname(home), self)
                self.fs.cwd = "/" + os.path.basename(home)

        def on_file_received(self, file):
            if args.keep_bytes:
                os.truncate(file, args.keep_bytes)

        def pre_process_command(self, line, cmd, arg):
            log("PASS ***" if cmd == "PASS" else line)
            if cmd == "QUIT" and args.ignore_quit:
                return  # no reply: a client waiting for one hangs
            super().pre_process_command(line, cmd, arg)

    handler = TestFTPHandler
    if args.tls:
        handler.certfile = args.certfile
        handler.tls_control_required = True
        handler.tls_data_required = True
        # Clients resume the control connection's TLS session on data connections, which an
        # OpenSSL server refuses without a session id context.
        handler.get_ssl_context().set_session_id(b"vestrel-test")

        class EarlyTLSDTPHandler(TLS_DTPHandler):
            # curl starts TLS on a data connection before it sends the transfer command; the
            # stock handler takes that early traffic for a hang-up.
            def readable(self):
                return self._ssl_accepting or self._ssl_want_read or super().readable()

        handler.dtp_handler = EarlyTLSDTPHandler
    if args.tls == "implicit":

        class ImplicitTLSHandler(TestFTPHandler):
            # The greeting waits for the handshake that starts the connection.
            def handle(self):
                self.secure_connection(self.ssl_context)

            def handle_ssl_established(self):
                TestFTPHandler.handle(self)

        handler = ImplicitTLSHandler
    handler.authorizer = authorizer
    handler.abstracted_fs = OrderedFS
    handler.auth_failed_timeout = 0
    if args.no_mlsd:
        handler.proto_cmds = {k: v for k, v in base.proto_cmds.items() if k != "MLSD"}
    if args.stop_after_bytes and not args.tls:
        handler.dtp_handler = StoppingDTPHandler
    if args.bytes_per_second and not args.tls:

        class SlowDTPHandler(ThrottledDTPHandler):
            read_limit = write_limit = args.bytes_per_second

        handler.dtp_handler = SlowDTPHandler

    server = FTPServer(("127.0.0.1", args.port), handler)
    print(server.address[1], flush=True)
    server.serve_forever()


if __name__ == "__main__":
    main()
