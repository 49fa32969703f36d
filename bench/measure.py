#!/usr/bin/env python3
"""CPU time to the nanosecond, for bench/versus-urlwatch.sh.

  measure.py clock PID
      The process's CPU time so far (all its threads, ended ones included,
      user and system), in nanoseconds: the process CPU-time clock that
      clock_gettime reads. /proc/PID/stat holds the same total in 10 ms
      ticks, too coarse for a round of 100 ms.

  measure.py run SECONDS FILE -- COMMAND...
      Runs COMMAND (its standard output and error are this program's) and
      writes "wall_ns cpu_ns maxrss_kb status" into FILE, from its wait4()
      resource usage (its descendants that it waited for included).
      After SECONDS it is sent SIGTERM, 5 s later SIGKILL; the status is
      then 124.
"""

import os
import signal
import sys
import time


def process_clock(pid):
    # The kernel's encoding of a process CPU-time clock (what
    # clock_getcpuclockid() returns): the negated pid, shifted, with the
    # "sched" clock (all CPU time) in the low bits.
    return ((~pid) << 3) | 2


def run(seconds, figures, command):
    start = time.monotonic_ns()
    pid = os.posix_spawnp(command[0], command, os.environ)
    timed_out = False

    def stop(signum, frame):
        nonlocal timed_out
        if not timed_out:
            timed_out = True
            os.kill(pid, signal.SIGTERM)
            signal.alarm(5)
        else:
            os.kill(pid, signal.SIGKILL)

    signal.signal(signal.SIGALRM, stop)
    # Whoever ends this process ends the command too.
    signal.signal(signal.SIGTERM, lambda signum, frame: os.kill(pid, signal.SIGTERM))
    signal.alarm(seconds)
    _, status, usage = os.wait4(pid, 0)
    signal.alarm(0)
    wall = time.monotonic_ns() - start
    cpu = round((usage.ru_utime + usage.ru_stime) * 1e9)
    code = 124 if timed_out else (os.waitstatus_to_exitcode(status) & 0xFF)
    with open(figures, "w") as out:
        print(wall, cpu, usage.ru_maxrss, code, file=out)


def main():
    if len(sys.argv) == 3 and sys.argv[1] == "clock":
        print(time.clock_gettime_ns(process_clock(int(sys.argv[2]))))
    elif len(sys.argv) >= 6 and sys.argv[1] == "run" and sys.argv[4] == "--":
        run(int(sys.argv[2]), sys.argv[3], sys.argv[5:])
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main()
