#!/usr/bin/python3
"""A real FTP server for the tests: pyftpdlib on loopback, one user, active mode.

Prints the chosen port on the first line of standard output, then serves until killed.
With --os9-listing, LIST answers in the OS-9 extended directory format the controller's
FTP server writes, so the transfer pages can be tried against what they will really see.
"""
import argparse
import logging
import os
import stat
import sys
import time

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.filesystems import AbstractedFS
from pyftpdlib.handlers import DTPHandler, FTPHandler
from pyftpdlib.servers import FTPServer


def os9_attributes(mode):
    """d s pe pw pr e w r: folder, sharable, public then owner execute/write/read."""
    def bit(mask, letter):
        return letter if mode & mask else "-"
    return "".join([
        "d" if stat.S_ISDIR(mode) else "-",
        "-",
        bit(stat.S_IXOTH, "e"), bit(stat.S_IWOTH, "w"), bit(stat.S_IROTH, "r"),
        bit(stat.S_IXUSR, "e"), bit(stat.S_IWUSR, "w"), bit(stat.S_IRUSR, "r"),
    ])


class Os9ListingFS(AbstractedFS):
    """Writes LIST output as OS-9's "dir -e" does: title, header, ruler, one line per entry."""

    extra_lines = []  # written after the entries of every listing, as they stand

    def format_list(self, basedir, listing, ignore_err=True):
        title_path = self.fs2ftp(basedir)
        now = time.strftime("%Y/%m/%d %H:%M", time.localtime())
        lines = [
            " " * 28 + "Directory of %s  %s" % (title_path, now),
            " Owner     Last modified  Attributes Sector Bytecount Name",
            "-------    -------------  ---------- ------ --------- ----",
        ]
        for basename in listing:
            path = os.path.join(basedir, basename)
            try:
                st = self.lstat(path)
            except OSError:
                if ignore_err:
                    continue
                raise
            owner = "0.0"  # group.user; the controller's super user is 0.0
            modified = time.strftime("%y/%m/%d %H%M", time.localtime(st.st_mtime))
            sector = "%X" % (st.st_ino & 0xFFFFFF)
            lines.append("%7s    %s   %s%10s%10d %s" % (
                owner, modified, os9_attributes(st.st_mode), sector, st.st_size, basename))
        lines.extend(self.extra_lines)
        for line in lines:
            yield (line + "\r\n").encode("utf8", self.cmd_channel.unicode_errors)


class StallingDTPHandler(DTPHandler):
    """Holds the data connection of a download open for a while after its last byte."""

    stalls = {}  # file name -> seconds

    def handle_close(self):
        name = os.path.basename(getattr(self.file_obj, "name", "") or "")
        delay = self.stalls.get(name)
        if not self.receive and delay and not getattr(self, "_stalled", False) and not self._closed:
            self._stalled = True
            self.modify_ioloop_events(self.ioloop.READ)
            self.ioloop.call_later(delay, self._close_now)
            return
        DTPHandler.handle_close(self)

    def _close_now(self):
        DTPHandler.handle_close(self)


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--home", required=True, help="folder the user sees as /")
    parser.add_argument("--user", default="super")
    parser.add_argument("--password", default="kolm")
    parser.add_argument("--host", default="127.0.0.1")
    parser.add_argument("--port", type=int, default=0, help="0 = a free port")
    parser.add_argument("--device", action="append", default=[],
                        help="make a device root such as h0 (reachable as /h0)")
    parser.add_argument("--os9-listing", action="store_true",
                        help="answer LIST in the OS-9 extended directory format")
    parser.add_argument("--extra-listing-line", action="append", default=[],
                        help="with --os9-listing: a raw line added to every listing")
    parser.add_argument("--command-log", help="append every command received to this file")
    parser.add_argument("--announce-size", action="store_true",
                        help="the reply that opens a download names its size in bytes")
    parser.add_argument("--stall-after-data", action="append", default=[], metavar="NAME=SECONDS",
                        help="keep a download's data connection open this long after its last byte")
    args = parser.parse_args()

    home = os.path.abspath(args.home)
    for device in args.device:
        os.makedirs(os.path.join(home, device), exist_ok=True)

    authorizer = DummyAuthorizer()
    authorizer.add_user(args.user, args.password, home, perm="elradfmwMT")

    class Handler(FTPHandler):
        _size_to_announce = None

        def pre_process_command(self, line, cmd, arg):
            self._size_to_announce = None
            if args.command_log:
                logged = "PASS ******" if cmd == "PASS" else line
                with open(args.command_log, "a", encoding="utf8", errors="replace") as log:
                    log.write(logged + "\n")
            return FTPHandler.pre_process_command(self, line, cmd, arg)

        def ftp_RETR(self, file):
            if args.announce_size:
                try:
                    self._size_to_announce = os.path.getsize(file)
                except OSError:
                    self._size_to_announce = None
            return FTPHandler.ftp_RETR(self, file)

        def respond(self, resp, logfun=logging.debug):
            if self._size_to_announce is not None and resp[:4] in ("125 ", "150 "):
                resp = "%s Opening data connection (%d bytes)." % (resp[:3], self._size_to_announce)
                self._size_to_announce = None
            FTPHandler.respond(self, resp, logfun)

    Handler.authorizer = authorizer
    Handler.banner = "Vantor test FTP server ready."
    if args.os9_listing:
        Os9ListingFS.extra_lines = list(args.extra_listing_line)
        Handler.abstracted_fs = Os9ListingFS
    if args.stall_after_data:
        for item in args.stall_after_data:
            name, _, seconds = item.partition("=")
            StallingDTPHandler.stalls[name] = float(seconds)
        Handler.dtp_handler = StallingDTPHandler

    server = FTPServer((args.host, args.port), Handler)
    server.max_cons = 64
    print(server.address[1], flush=True)
    # A test that dies without stopping us leaves us to another parent: then we go too.
    parent = os.getppid()
    try:
        while os.getppid() == parent:
            server.serve_forever(timeout=0.5, blocking=False, handle_exit=False)
    except KeyboardInterrupt:
        pass
    finally:
        server.close_all()


if __name__ == "__main__":
    logging.basicConfig(level=logging.CRITICAL)
    sys.exit(main())
