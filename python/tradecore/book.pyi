"""Type stubs of tradecore.book: the live book, reconciliation, kill switch, restart recovery."""
import threading
from typing import Any, Callable, List, NamedTuple, Optional, Tuple

from .risk import Limits, Refusal

class Position(NamedTuple):
    security: str
    exchange: str
    volume: int
    sellable: int
    frozen: int
    start_volume: int
    average_cost: float
    bought_volume: int
    sold_volume: int
    bought_turnover: float
    sold_turnover: float
    realized_pnl: float
    mark: float
    pnl: float
    open_orders: int

class Cash(NamedTuple):
    available: float
    frozen: float
    pnl: float

class Order(NamedTuple):
    security: str
    exchange: str
    order_ref: int
    front_id: int
    session_id: int
    order_sys_id: str
    direction: str
    offset_flag: str
    status: str
    insert_time: str
    this_run: bool
    open: bool
    volume: int
    traded: int
    canceled: int
    price: float
    turnover: float
    error_id: int

class Difference(NamedTuple):
    kind: str
    key: str
    field: str
    book: float
    broker: float

class BookError(RuntimeError): ...

class KillSwitch:
    done: threading.Event
    started: float
    finished: Optional[float]
    cancels_sent: int
    def wait(self, timeout: Optional[float] = ...) -> bool: ...
    @property
    def remaining(self) -> List[Order]: ...

_OrderProcessor = Callable[[int, int], Any]
_EventProcessor = Callable[[int, int, bool, int, str, str], Any]

class Book:
    handle: Any
    reconcile_every: Optional[float]
    retry_every: float
    on_difference: Optional[Callable[[Difference], Any]]
    on_ready: Optional[Callable[[], Any]]
    on_killed: Optional[Callable[[KillSwitch], Any]]
    differences: List[Difference]
    def __init__(self, limits: Optional[Limits] = ..., reconcile_every: Optional[float] = ...,
                 cash_tolerance: float = ..., on_difference: Optional[Callable[[Difference], Any]] = ...,
                 on_ready: Optional[Callable[[], Any]] = ..., on_killed: Optional[Callable[[KillSwitch], Any]] = ...,
                 retry_every: float = ...) -> None: ...
    def processors(self, on_order: Optional[_OrderProcessor] = ..., on_event: Optional[_EventProcessor] = ...,
                   on_loop: Optional[Callable[[], Any]] = ..., on_snapshot: Optional[_OrderProcessor] = ...
                   ) -> Tuple[_OrderProcessor, _EventProcessor, Callable[[], Any], _OrderProcessor]: ...
    def attach(self, handle: Any) -> None: ...
    def detach(self) -> None: ...
    @property
    def limits(self) -> Limits: ...
    @limits.setter
    def limits(self, limits: Limits) -> None: ...
    def set_limits(self, **changes: Any) -> None: ...
    @property
    def last_refusal(self) -> Optional[Refusal]: ...
    @property
    def refusals(self) -> int: ...
    @property
    def ready(self) -> bool: ...
    def wait_ready(self, timeout: Optional[float] = ...) -> bool: ...
    @property
    def cash(self) -> Cash: ...
    def position(self, security: str, exchange: Optional[str] = ...) -> Position: ...
    def positions(self) -> List[Position]: ...
    def orders(self, open_only: bool = ...) -> List[Order]: ...
    def open_orders(self) -> List[Order]: ...
    def cancel(self, order: Order) -> int: ...
    def kill(self) -> KillSwitch: ...
    @property
    def halted(self) -> bool: ...
    def resume(self) -> None: ...
    def reconcile(self) -> None: ...
