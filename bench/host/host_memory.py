#!/usr/bin/env python3
"""Peak resident memory of the host with the issue, return and supplementary
windows open on the generated factory, each showing its newest document.

    bench/host/host_memory.py ERP_HOST DATABASE ERPCODE_EXTENSION

The host runs on a copy of the database, offscreen, and leaves once its
windows have been drawn (its screenshot mode); the peak is read from the
child's resource usage.
"""
import os
import resource
import shutil
import subprocess
import sys
import tempfile


def newest(database, extension, kind):
    # The shell, with our code collation loaded: the code columns need it.
    sql = ("SELECT Inv_No FROM Mmst411 WHERE Inv_Type = '%s' AND Status = '2' "
           "ORDER BY Rec_411 DESC LIMIT 1;" % kind)
    out = subprocess.run(["sqlite3", database, "-cmd", ".load " + extension, sql],
                         check=True, stdout=subprocess.PIPE, text=True).stdout
    return out.strip()


def main():
    host, database, extension = sys.argv[1:4]
    with tempfile.TemporaryDirectory() as work:
        copy = os.path.join(work, "host.db")
        shutil.copyfile(database, copy)
        numbers = [newest(copy, extension, kind) for kind in ("1", "2", "3")]
        env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
        result = subprocess.run([host, "--db", "sqlite:" + copy, "--show", ",".join(numbers),
                                 "--screenshot", os.path.join(work, "shots")],
                                env=env, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
        if result.returncode != 0:
            sys.stderr.write("host_memory: the host failed: %s\n" % result.stderr.strip())
            return 1
        peak = resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss / 1024.0
        status = "met" if peak <= 150 else "MISSED"
        print("| host resident memory, three windows open (%s) | %.2f | - | - | <= 150 MiB | %s |"
              % (", ".join(numbers), peak, status))
    return 0


if __name__ == "__main__":
    sys.exit(main())
