"""Shared pieces of the Python benchmarks: the native helper (built with the C++ benchmarks), a
login record for a simulated front, percentiles and the report lines.

The helper must be loaded after ``import tradecore`` so that it binds to the simulated broker
library the engine already loaded (one broker registry per process). Its location comes from
``TRADECORE_BENCH_NATIVE`` or from the build directory next to the source tree
(``build-bench/bench``), as tools/bench.sh sets it up.
"""
import ctypes
import glob
import os
import statistics
import sys
import tempfile

import tradecore

HERE = os.path.dirname(os.path.abspath(__file__))


def load_native():
    path = os.environ.get("TRADECORE_BENCH_NATIVE")
    if not path:
        candidates = glob.glob(os.path.join(HERE, "..", "build*", "bench", "libtcbench_native.*"))
        if not candidates:
            sys.exit("the native benchmark helper is not built: run tools/bench.sh, or build the target "
                     "tcbench_native (-DTRADECORE_BENCH=ON) and set TRADECORE_BENCH_NATIVE to it")
        path = max(candidates, key=os.path.getmtime)
    lib = ctypes.CDLL(path)  # CDLL: the interpreter lock is released around every call
    lib.tcb_create_broker.argtypes = [ctypes.c_char_p, ctypes.c_int]
    lib.tcb_remove_broker.argtypes = [ctypes.c_char_p]
    lib.tcb_clear_requests.argtypes = [ctypes.c_char_p]
    lib.tcb_request_count.argtypes = [ctypes.c_char_p, ctypes.c_char_p]
    lib.tcb_request_count.restype = ctypes.c_longlong
    lib.tcb_push_snapshots.argtypes = [ctypes.c_char_p, ctypes.c_char_p, ctypes.c_char, ctypes.c_int,
                                       ctypes.c_longlong, ctypes.POINTER(ctypes.c_longlong)]
    lib.tcb_push_snapshots.restype = ctypes.c_longlong
    lib.tcb_native_calls.argtypes = [ctypes.py_object, ctypes.c_int, ctypes.c_longlong, ctypes.c_int, ctypes.c_int,
                                     ctypes.c_longlong, ctypes.POINTER(ctypes.c_longlong)]
    lib.tcb_native_calls.restype = ctypes.c_longlong
    lib.tcb_now_ns.restype = ctypes.c_longlong
    return lib


def login(front, user="bench"):
    record = tradecore.CQNLoginField()
    record.UserType = tradecore.ENUM_UserType_TORAStock
    record.UserID = user
    record.Password = "bench"
    record.TraderFrontAddress = front
    record.MdFrontAddress = front
    record.BasePath = tempfile.mkdtemp(prefix="tradecore-bench-")
    record.TaskExecuteGap = 10000
    record.ConnectTimeout = 10 * 1000000
    record.IDRange = 100000000
    return record


def percentile(sorted_values, p):
    if not sorted_values:
        return float("nan")
    k = min(len(sorted_values) - 1, max(0, int(round(p / 100.0 * (len(sorted_values) - 1)))))
    return sorted_values[k]


def latency_summary(starts, ends):
    """p50/p99 of end - start over paired stamps, in nanoseconds."""
    d = sorted(e - s for s, e in zip(starts, ends))
    return {"p50": percentile(d, 50), "p99": percentile(d, 99), "mean": statistics.fmean(d) if d else float("nan")}


def row(name, count, elapsed_ns, latency=None, cpu_ns=None):
    """One report line: events per second over wall time, wall and CPU nanoseconds per event,
    and the latency percentiles when given."""
    rate = count / (elapsed_ns / 1e9) if elapsed_ns > 0 else float("nan")
    per = elapsed_ns / count if count else float("nan")
    cpu = cpu_ns / count if cpu_ns is not None and count else float("nan")
    text = "  %-36s %10.0f events/s %8.1f ns/event (CPU %7.1f)" % (name, rate, per, cpu)
    if latency:
        text += "  latency p50 %7.2f us p99 %8.2f us" % (latency["p50"] / 1000.0, latency["p99"] / 1000.0)
    print(text)
    return {"rate": rate, "per": per, "cpu": cpu, "latency": latency}


def load_average():
    try:
        return os.getloadavg()[0]
    except OSError:
        return float("nan")
