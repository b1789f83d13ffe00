"""Running by hand: how soon a strategy's first on_loop comes, and how soon Ctrl-C gets the caller
back, each beside a baseline measured in the same run.

1. First on_loop after ``Strategy.run``, on the paper broker: with the gaps ``make_login`` chooses
   for ``sim://`` fronts, against the engine's own defaults (TaskExecuteGap 1 s), which the raw
   login record keeps.
2. Ctrl-C: a child process gets SIGINT while it waits in ``tradecore.loop()`` (LoopGap one hour),
   in ``tradecore.init()`` (a front nobody serves, no timeout) and in ``Strategy.run``; the figure
   is the time from the signal to KeyboardInterrupt in the child (both stamp CLOCK_REALTIME).
   Baseline: the same child blocked in ``threading.Event().wait()``, pure Python.

    PYTHONPATH=$B/python python3 bench/bench_startup.py [--rounds R]
"""
import argparse
import os
import signal
import statistics
import subprocess
import sys
import tempfile
import textwrap
import threading
import time

import tradecore
from tradecore.strategy import Strategy, make_login

tradecore.setRunMode(tradecore.ENUM_RunMode_Release)


class FirstLoop(Strategy):
    def __init__(self):
        super().__init__()
        self.began = time.monotonic()
        self.first = None

    def on_loop(self):
        if self.first is None:
            self.first = time.monotonic() - self.began
            self.stop()


def first_loop(user, **gaps):
    s = FirstLoop()
    s.run(make_login(user, trader_front="sim://paper-startup", base_path=tempfile.mkdtemp(), **gaps), duration=30)
    return s.first


CHILD = {
    "python wait (baseline)": "threading.Event().wait()",
    "tradecore.loop()": """
        h = tc.init(1, make_login("b-loop", trader_front="sim://paper-b", base_path=tempfile.mkdtemp(), LoopGap=3600000000),
                    None, None, lambda: None, None)
        tc.loop()""",
    "tradecore.init()": """
        tc.init(1, make_login("b-init", trader_front="sim://nobody", base_path=tempfile.mkdtemp(), connect_timeout=None))""",
    "Strategy.run": """
        Strategy().run(make_login("b-run", trader_front="sim://paper-b", base_path=tempfile.mkdtemp()))""",
}
PRELUDE = """
import signal, sys, tempfile, threading, time
signal.signal(signal.SIGINT, signal.default_int_handler)
import tradecore as tc
from tradecore.strategy import Strategy, make_login
tc.setRunMode(tc.ENUM_RunMode_Release)
print("ready", flush=True)
try:
%s
except KeyboardInterrupt:
    print(time.time(), flush=True)
"""


def interrupt_latency(body):
    code = PRELUDE % textwrap.indent(textwrap.dedent(body).strip(), "    ")
    proc = subprocess.Popen([sys.executable, "-c", code], stdout=subprocess.PIPE, text=True)
    assert proc.stdout.readline().strip() == "ready"
    time.sleep(1.0)   # well inside the blocking call
    sent = time.time()
    proc.send_signal(signal.SIGINT)
    out, _ = proc.communicate(timeout=60)
    return float(out.split()[-1]) - sent


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--rounds", type=int, default=3)
    args = parser.parse_args(argv)

    print("first on_loop after Strategy.run (median of %d):" % args.rounds)
    sim_gaps = statistics.median(first_loop("st-sim-%d" % i) for i in range(args.rounds))
    engine = statistics.median(first_loop("st-eng-%d" % i, TaskExecuteGap=-1, TaskFailedGap=-1)
                               for i in range(args.rounds))
    print("  make_login's sim:// gaps  %7.3f s" % sim_gaps)
    print("  engine default gaps       %7.3f s   (baseline; ratio %.2f)" % (engine, sim_gaps / engine))

    print("Ctrl-C to KeyboardInterrupt in the caller (median of %d):" % args.rounds)
    base = None
    for name, body in CHILD.items():
        figure = statistics.median(interrupt_latency(body) for _ in range(args.rounds))
        base = figure if base is None else base
        print("  %-24s %7.1f ms%s" % (name, figure * 1e3, "" if figure is base else "   (ratio %.1f)" % (figure / base)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
