"""The process-wide side of ``tradecore.strategy``: one entry per engine that strategies started,
and the thread that runs the engine loop for them.

An engine lives as long as the process, and ``init`` hands the same engine back for the same
account and RunID, with the processors it was first given. So the processors given to ``init``
belong to the entry, not to a strategy: they forward each event to whichever strategy runs the
engine now, and drop it while none does. That is how a stopped strategy stops seeing an engine it
has left, and how a strategy started again on the same engine in the same process gets its events.

The loop runs on a thread of its own (``tradecore-loop``) while any strategy runs: the engine's
``loop`` picks up engines started or resumed while it runs, and returns once every engine has
exited; the thread then ends, or calls it again if a strategy still runs.

As the interpreter exits, and before it finalizes, every strategy still running is stopped
(``on_stop("exit")``), every engine exits, and the loop and the processors under way are waited
for; from then on the engine's and the SDK's threads no longer enter Python. A thread that entered
Python while the interpreter finalizes would be ended by Python in the middle of the engine, or
would end the whole process with a fatal error.
"""

import atexit
import threading
import time
from typing import TYPE_CHECKING, Dict, List, Optional, Tuple

from . import _control, _tradecore

if TYPE_CHECKING:
    from . import CQNLoginField, EngineHandle
    from .strategy import Strategy

__all__: List[str] = []

Key = Tuple[int, str, int]

_lock = threading.RLock()
_entries: Dict[Key, "Entry"] = {}       # engine key -> Entry
_runner: Optional[threading.Thread] = None      # the loop thread, while one runs

#: Seconds the interpreter's exit waits at most for the engine loop and for the processors under
#: way to return: a processor that never returns delays the exit by this much, no more.
EXIT_GRACE = 5.0


def run_id16(run_id: int) -> int:
    """The low 16 bits of ``run_id`` read as a signed number: what the engine keeps of a RunID."""
    low = run_id & 0xFFFF
    return low - 0x10000 if low >= 0x8000 else low


def engine_key(login: "CQNLoginField", run_id: int) -> Key:
    """The engine's key: (UserType, UserID, low 16 bits of the RunID)."""
    return (login.UserType, login.UserID, run_id16(run_id))


class Entry:
    """One engine as the strategies know it: the processors ``init`` got for it, its handle
    once ``init`` has returned, and the strategy running it."""

    def __init__(self, key: Key) -> None:
        self.key = key
        self.handle: Optional["EngineHandle"] = None
        self.strategy: Optional["Strategy"] = None
        self.processors = (self._order, self._event, self._loop, self._snapshot)

    # The processors: whatever the strategy attached now is, or nothing.

    def _order(self, event: int, address: int) -> None:
        strategy = self.strategy
        if strategy is not None:
            strategy._deliver_order(event, address)

    def _event(self, event: int, address: int, is_last: bool, error_id: int, message: str, user_id: str) -> None:
        strategy = self.strategy
        if strategy is not None:
            strategy._deliver_event(event, address, is_last, error_id, message, user_id)

    def _loop(self) -> None:
        strategy = self.strategy
        if strategy is not None:
            strategy._deliver_loop()

    def _snapshot(self, event: int, address: int) -> None:
        strategy = self.strategy
        if strategy is not None:
            strategy._deliver_snapshot(event, address)


def describe(key: Key) -> str:
    user_type, user_id, low = key
    return "account %s (user type %d, RunID low bits %d)" % (user_id, user_type, low)


def entry_of(login: "CQNLoginField", run_id: int) -> Optional[Entry]:
    """The entry of the engine that ``init`` would return for (``login``, ``run_id``), or None."""
    with _lock:
        return _entries.get(engine_key(login, run_id))


def attach(strategy: "Strategy", login: "CQNLoginField", run_id: int) -> Entry:
    """The entry of the engine for (``login``, ``run_id``) with ``strategy`` attached to it.
    Raises ValueError when another strategy runs that engine."""
    key = engine_key(login, run_id)
    with _lock:
        entry = _entries.get(key)
        if entry is None:
            entry = _entries[key] = Entry(key)
        if entry.strategy is not None and entry.strategy is not strategy:
            raise ValueError("%s is run by another strategy (%r) in this process; stop it first or use "
                             "another run_id" % (describe(key), entry.strategy))
        entry.strategy = strategy
        return entry


def detach(entry: Optional[Entry], strategy: "Strategy") -> None:
    """Events of the entry's engine no longer reach ``strategy``."""
    with _lock:
        if entry is not None and entry.strategy is strategy:
            entry.strategy = None


def running_strategies() -> List["Strategy"]:
    with _lock:
        return [e.strategy for e in _entries.values() if e.strategy is not None]


def stop_all(reason: str) -> None:
    """Stops every strategy of the process (Ctrl-C in any of them)."""
    for strategy in running_strategies():
        strategy.stop(reason)


def ensure_loop() -> None:
    """Starts the loop thread unless it runs (it picks up engines started since by itself)."""
    global _runner
    with _lock:
        if _runner is None:
            _runner = threading.Thread(target=_run_loop, name="tradecore-loop", daemon=True)
            _runner.start()


def _strategies_to_drive() -> Tuple[List["Strategy"], List["Strategy"]]:
    """(strategies still running, strategies whose engine exited under them), under the lock."""
    driving, exited = [], []
    for entry in _entries.values():
        strategy = entry.strategy
        if strategy is None or not strategy.running or entry.handle is None:
            continue
        if _control.engineStatus(entry.handle) == _tradecore.ENUM_ApiStatus_Exit:
            exited.append(strategy)
        else:
            driving.append(strategy)
    return driving, exited


def _run_loop() -> None:
    global _runner
    while True:
        began = time.monotonic()
        _tradecore.loop()
        with _lock:
            driving, exited = _strategies_to_drive()
            if not driving and not exited:
                _runner = None
                return
        # An engine told to exit by someone else (exitX, Ctrl-C in a loop of the caller's own)
        # takes its strategy with it.
        for strategy in exited:
            strategy.stop("exited")
        if time.monotonic() - began < 0.05:
            time.sleep(0.05)  # another loop of the process runs: wait for it rather than spin


def _close_at_exit() -> None:
    # Registered when the package is imported, so it runs after the exit handlers that a strategy
    # script registers later (they may still use the engines).
    try:
        stop_all("exit")
    finally:
        _control.closeForExit(EXIT_GRACE)
        runner = _runner
        if runner is not None:
            runner.join(EXIT_GRACE)  # it sees every engine exited and ends


atexit.register(_close_at_exit)
