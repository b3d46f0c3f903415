#!/usr/bin/python3
"""A real FTP server for the tests: pyftpdlib on loopback, one user, active mode.

Prints the chosen port on the first line of standard output, then serves until killed.
With --os9-listing, LIST answers in the OS-9 extended directory format the controller's
FTP server writes, so the transfer pages can be tried against what they will really see.
"""
import argparse
import os
import stat
import sys
import time

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.filesystems import AbstractedFS
from pyftpdlib.handlers import FTPHandler
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
        for line in lines:
            yield (line + "\r\n").encode("utf8", self.cmd_channel.unicode_errors)


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
    args = parser.parse_args()

    home = os.path.abspath(args.home)
    for device in args.device:
        os.makedirs(os.path.join(home, device), exist_ok=True)

    authorizer = DummyAuthorizer()
    authorizer.add_user(args.user, args.password, home, perm="elradfmwMT")

    class Handler(FTPHandler):
        pass

    Handler.authorizer = authorizer
    Handler.banner = "Vantor test FTP server ready."
    if args.os9_listing:
        Handler.abstracted_fs = Os9ListingFS

    server = FTPServer((args.host, args.port), Handler)
    server.max_cons = 64
    print(server.address[1], flush=True)
    try:
        server.serve_forever(timeout=0.5, blocking=True, handle_exit=True)
    finally:
        server.close_all()


if __name__ == "__main__":
    import logging
    logging.basicConfig(level=logging.CRITICAL)
    sys.exit(main())
