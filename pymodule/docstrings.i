// The documentation of every engine function and record class, as help() shows it. Each
// function's text opens with its signature (name($module, ...) then a line '--'), which Python
// turns into the function's __text_signature__, so inspect.signature() and help() show the real
// parameters and defaults. tools/gen_stubs.py copies these texts into the type stubs; keep them
// free of double quotes (the generator reads them back) and run it after a change.

// ---------------------------------------------------------------------------------------------
// Records
// ---------------------------------------------------------------------------------------------

%feature("docstring") CQNLoginField "Everything init needs to start one account; the only configuration of an engine.

CQNLoginField() makes a record with every text empty, every number 0, and the defaults
TaskExecuteGap -1, TaskFailedGap -1, LoopGap -1 and IDRange 100000. CQNLoginField(other)
copies another login record. The record belongs to its Python object; init copies it, so
changing it afterwards changes nothing in a started engine. tradecore.make_login fills one.

Fields (text fields take str of at most N-1 UTF-8 bytes, TypeError beyond; times in
microseconds, -1 meaning the engine's default):
  UserType (int)            ENUM_UserType_...; the stock engine runs ENUM_UserType_TORAStock (10002)
  UserID (str, 15)          the login account; part of the engine's key
  Password (str, 40)        its password
  InvestorID (str, 15)      empty: the UserID
  AccountID, DepartmentID   filled by the engine from the trading-account answer
  TraderFrontType (int)     0: 40004, the stock trader adapter (the only one)
  TraderFrontAddress (str)  the trader front, for example tcp://10.0.0.1:6500 or sim://paper
  MdFrontType (int)         0: 30004, the stock market-data adapter (the only one)
  MdFrontAddress (str)      the market-data front
  ConnectTimeout (int)      how long init waits for each front; 0 or less: for as long as it takes
  TaskExecuteGap (int)      pause before the next queued request after an answer; -1: 1 s
  TaskFailedGap (int)       pause before a failed request is sent again; -1: 10 s
  TaskExecuteTimeout (int)  time allowed for an answer; never less than 10 s
  LoopGap (int)             pause between engine-thread passes (LoopProcessor calls); -1: 0.1 s, 0: none
  IDRange (int)             identifiers RunID to RunID + IDRange are this engine's (100000)
  BasePath (str, 127)       directory of the flow files (BasePath/UserID/TDFlow, MDFlow); empty: .
  BrokerID, AppID, AuthCode required for CTP accounts only
  HDSerial, MacAddress, OuterIPAddress, OuterPort, InnerIPAddress, UserProductInfo,
  TerminalInfo              terminal information sent with the login and every order";

%feature("docstring") CQNMarketDataField "The latest snapshot of one subscribed security, kept up to date by the engine.

Handed to the MarketDataProcessor with every snapshot event (10021); the engine owns it and
keeps it for the life of the process, updating it in place under its record lock. Inside the
processor read it as it is (the engine holds the lock for the call); elsewhere read it between
getMarketDataLock and releaseMarketDataLock. CQNMarketDataField() makes an empty record that
belongs to its Python object.

Fields:
  TradingDay (str, 8), ExchangeID (str: ENUM_ExchangeID_..., '1' SSE, '2' SZSE), StandardID (str)
  MarketDataStatus (str, 1 character: the exchange's trading phase code)
  UpdateTime (str, HH:MM:SS), UpdateMillisec (int)
  LastPrice, PreClosePrice, PreSettlementPrice, OpenPrice, HighestPrice, LowestPrice (float)
  BidPrice1, BidVolume1, AskPrice1, AskVolume1: the best level (price float, volume int)
  UpperLimitPrice, LowerLimitPrice (float): the day's price limits
  OpenInterest, PreOpenInterest (float)
  Volume (int, 64-bit), Turnover (float), AveragePrice (float)
  BidPrice2..5, BidVolume2..5, AskPrice2..5, AskVolume2..5: book levels 2 to 5 (price 0: empty)";

%feature("docstring") CQNOrderField "One order, as the engine tracks it from its creation to its end.

buyOpen, sellClose and insertOrder return it; every order event hands it to the
OrderEventProcessor. The engine owns it for the life of the process and updates it in place from
the broker's notifications under its record lock: inside the processor read it as it is (the
engine holds the lock for the call); elsewhere read it between getOrderLock and
releaseOrderLock. CQNOrderField() makes an empty record that belongs to its Python object.

Fields:
  TradingDay, UserID, ShareholderID (str); SessionID, FrontID (int): the session that sent it
  OrderID (int): this engine's identifier, RunID + 1 upwards; OrderMark (int): always 0
  ExchangeID (str: '1' SSE, '2' SZSE), StandardID (str): the security
  Direction (str): ENUM_Direction_..., '0' buy, '1' sell
  OffsetFlag (str): ENUM_OffsetFlag_..., '0' open (buyOpen), '1' close
  OrderType (str): ENUM_OrderType_... as given to buyOpen/sellClose; NUL for insertOrder
  IsBuyFromMarket, IsLimitOrder (bool); CombineOrderType (str): ENUM_CombineOrderType_..., such as '231'
  CreditQuotaType (str), CreditDebtID (str): credit orders only
  OriginalVolume (int), OriginalPrice (float): what was sent (the price after market pricing)
  OrderLocalTime (int): engine time of the send, in microseconds
  OrderSysID (str): the exchange's order number, once accepted
  InsertTime, UpdateTime (str, HH:MM:SS)
  OrderStatus (str): ENUM_OrderStatus_..., NUL until the first notification, then
      '1' Cached, '2' Accepted, '3' PartTraded, '4' AllTraded, '5' Canceled, '6' Rejected
  TradedVolumeChange, TradedVolume, CanceledVolume (int); LastTradedPrice (float)
  TradedVolumeChangeOfTurnover, TradedVolumeOfTurnover (int), TurnoverChange, Turnover (float),
      AverageCost (float): from the trade notifications (UpdateCost events)
  UsableVolume (int), UseableCash (float): the engine's figures after this order's last change
  ErrorID (int), Message (str): why it was refused (broker text is GB2312: tradecore.broker_text)";

%feature("docstring") CQNTransferAssetField "One cash or position transfer and its outcome.

transferCash and transferPosition return it; the transfer events (12009 to 12012, 11011) hand it
to the EventProcessor. The engine owns it and updates it in place under its record lock, as it
does orders. CQNTransferAssetField() makes an empty record that belongs to its Python object.

Fields:
  TradingDay, UserID (str); TransferID (int): from the engine's identifier sequence
  TransferStatus (str): ENUM_TransferStatus_..., NUL until answered, then '0' frozen outside,
      '1' succeeded, '2' failed, '3' repealed, '4' repeal failed, '5' cancelled
  TransferFlag (str): ENUM_TransferFlag_..., such as 'Z' cash from the bank, 'S' cash to the bank
  Amount (float), Volume (int); ExchangeID, StandardID (str): the position moved
  TransferPositionType (str): ENUM_TransferPositionType_...
  CreditDebtID, BankID, ExternalNodeID, BusinessID (str); FrontID, SessionID (int)
  ErrorID (int), Message (str): why it failed (-1003400 for a flag the engine does not send)";

%feature("docstring") CQNQueryCommandField "The parameters of one query or command task, for addTask.

CQNQueryCommandField() makes a record with every field empty or 0; it belongs to its Python
object, and addTask copies the fields it needs, so it may be reused at once. Which fields a task
reads depends on its TaskID (ENUM_TORAStockTaskID_...): ExchangeID and StandardID narrow most
queries to an exchange and a security; the others are read by the tasks named beside them.

Fields:
  TradingDay, UserID (str); RequestID (int): not used by the engine
  ExchangeID (str), StandardID (str): the exchange and security a query is about
  BusinessID (str), CombineBusinessFlag (str, 2)
  FloatValue (float), IntValue (int): a price or amount, a volume or count (Set... tasks)
  StartTime, EndTime (str, HH:MM:SS), StartDate, EndDate (str, YYYYMMDD): time windows
  BankID (str, 3), BankPassword, AccountPassword (str): bank queries
  NodeID (str): node queries and assignments";

// ---------------------------------------------------------------------------------------------
// Start, stop and process-wide functions
// ---------------------------------------------------------------------------------------------

%feature("docstring") getVersion "getVersion($module, /)
--

The engine's version text, 'Quillon 002.100.001'.";

%feature("docstring") init "init($module, RunID, LoginField, OrderEventProcessor=None, EventProcessor=None, LoopProcessor=None, MarketDataProcessor=None, /)
--

Starts one account and returns its engine handle, or None (the reason in getInitError()).

RunID (int): names the engine together with UserType and UserID. The engine keeps only its low
16 bits, read as signed: order and transfer identifiers are RunID16 + 1, + 2, ..., and the
broker's reports about identifiers RunID16 to RunID16 + IDRange are taken as this engine's.
Keep RunID within 0 to 32767 (tradecore.Strategy refuses anything else).
LoginField (CQNLoginField): copied; the caller's record is not changed.
The processors (None or a callable, kept for the engine's life; None leaves the events to the
engine's default printer):
  OrderEventProcessor(eventID, address): order events 10011-10017
  EventProcessor(eventID, address, isLast, errorID, message, userID): every other event
  LoopProcessor(): once per engine-thread pass while the trader is Working
  MarketDataProcessor(eventID, address): snapshot events 10021
They run on the engine's and the SDK's threads under the GIL; tradecore.record(eventID,
address) turns an address into a record object.

init checks the record, makes BasePath/UserID/TDFlow and MDFlow, creates the trader side and
waits until it reaches its front, then the market-data side likewise (ConnectTimeout each; 0
waits for as long as it takes). A second init of a registered account and RunID returns the
same engine, whatever its status, with the processors it was first given.
Errors (None returned, code in getInitError()): -1000200 RunID out of range, -1000300 no
LoginField, -1000500 empty UserID, -1000700 unknown UserType or front type, -1000800/-1000900
empty front address, -1001000 flow directories, -1001100/-1001200/-1001300 CTP fields,
-1001500 trader front not reached in time, -1000100 a processor that is not callable. A market
data front not reached (-1001800) still returns the engine, without market data.
Ctrl-C (any signal handler that raises) while init waits for a front gives the wait up: the
side not yet connected is destroyed, nothing of it stays registered, and the exception is
raised. Signal handlers run while init waits. TypeError/OverflowError for arguments of the
wrong type.";

%feature("docstring") getInitError "getInitError($module, /)
--

The code of the last init: 0, or the check that failed (see init); after a market-data front
that was not reached it holds -1001800 although init returned the engine.";

%feature("docstring") getMessageByErrorID "getMessageByErrorID($module, ErrorID, /)
--

The engine's message for an error code (ENUM_ErrorID_...), for example
getMessageByErrorID(-1002000) == 'Error:Invalid Trader Instance.'; '' for 0 and for any code
the engine does not define.";

%feature("docstring") loop "loop($module, /)
--

Runs every registered engine until each has been told to exit, then returns None.

One engine thread per engine steps its task queue (login, start-up queries, addTask queries)
and calls its LoopProcessor every LoopGap while Working; one supervisor logs each market-data
side in once its trader side is Working. Engines started (init) or resumed while loop runs are
picked up. exitX ends them; a call while another loop runs returns at once.
The calling thread waits with the GIL released, so processors and other Python threads run;
signal handlers run every few milliseconds. Ctrl-C (a handler that raises) tells every engine
to exit, as exitX() does, and raises KeyboardInterrupt (or the handler's exception) within half
a second.";

%feature("docstring") setRunMode "setRunMode($module, RunMode, /)
--

Sets the process-wide run mode used by the default printers and returns 0:
ENUM_RunMode_Debug ('0', the default) prints every event left without a processor;
ENUM_RunMode_Release ('1') prints order events only. The code is stored unchecked.";

%feature("docstring") setEventTextProcessor "setEventTextProcessor($module, Processor, /)
--

Sends every text of the default printers to Processor(text) instead of print; returns 0, or -1
(and keeps the previous one) when Processor is not callable.";

// ---------------------------------------------------------------------------------------------
// Market data
// ---------------------------------------------------------------------------------------------

%feature("docstring") subscribeOne "subscribeOne($module, Trader, StandardID, ExchangeID=None, /)
--

Subscribes to the snapshots of one security; each then reaches the MarketDataProcessor as event
10021 with the security's CQNMarketDataField.

ExchangeID: ENUM_ExchangeID_SSE ('1'), ENUM_ExchangeID_SZSE ('2'), ...; None: the code's exchange
in the security list of the login. Returns 0 when nothing needed sending or the request went out, the SDK's code
otherwise; before the market-data side is logged in the subscription is recorded and sent at
login (0). A None handle or an engine without market data: -1002100.";

%feature("docstring") subscribe "subscribe($module, Trader, StandardIDs, ExchangeID=None, /)
--

Subscribes to the snapshots of several securities at once: StandardIDs is a list (not a tuple)
of str or bytes codes; duplicates count once. Returns the sum of the SDK's results of the
requests sent (0 when all went out or nothing needed sending). TypeError 'not a list' or 'list
must contain strings'; a None handle: -1002000; an engine without market data: -1002100.";

%feature("docstring") unsubscribeOne "unsubscribeOne($module, Trader, StandardID, ExchangeID=None, /)
--

Ends the subscription of one security; as subscribeOne (0 when it was not subscribed).";

%feature("docstring") unsubscribe "unsubscribe($module, Trader, StandardIDs, ExchangeID=None, /)
--

Ends the subscriptions of a list of securities; as subscribe.";

// ---------------------------------------------------------------------------------------------
// Orders
// ---------------------------------------------------------------------------------------------

%feature("docstring") buyOpen "buyOpen($module, Trader, StandardID, Volume, OrderType, Price, ExchangeID=None, Direction='0', /)
--

Sends an order to buy Volume of StandardID and returns its CQNOrderField (owned by the engine,
kept up to date; None only for a None handle).

ExchangeID None or '': found from the security list of the login. Direction: ENUM_Direction_Buy
('0', the default). OffsetFlag is '0' (open); the order's value Volume x Price is taken off the
engine's usable cash. OrderType (ENUM_OrderType_...) sets the price actually sent:
  '0' LimitAndWait, 'a' SSE_LimitAndWait, 'k' SZSE_LimitAndWait, 'f' SSEKC_Fix,
  'q' SZSESGT_AuctionLimit: Price as given
  '1' BestLimitAndWait, '4' LastLimitAndWait, 'd' SSEKC_BestAndWait, 'l' SZSE_BestAndWait:
      the opposite side's best price of the latest snapshot
  '2' HomeBestLimitAndWait, 'e' SSEKC_HomeBestAndWait, 'm' SZSE_HomeBestAndWait: own side's best
  '3' FrontierLimitAndWait, '5' FiveBestLimitAndWait, 'b' SSE_FiveAndWait, 'c' SSE_FiveAndKill,
  'p' SZSE_FiveAndKill, 'n' SZSE_AnyAndKill, 'o' SZSE_AnyOrKill: the day's limit price
Market-derived prices need a subscribed snapshot (-1 is sent without one: the broker refuses).
A refused send comes back at once: OrderStatus '6' (ENUM_OrderStatus_Rejected), ErrorID
-1002200 'Error:Fail To Send.', and event 10015 (InsertRejected) before this returns. After
that, order events follow the broker: 10014 Accepted, 10011 Traded, 10013 UpdateCost, 10012
Canceled, 10015 InsertRejected, 10016 CancelRejected, with OrderStatus '2' Accepted, '3'
PartTraded, '4' AllTraded, '5' Canceled, '6' Rejected. TypeError/OverflowError for arguments
of the wrong type (Volume an int, Price a float or int).";

%feature("docstring") sellClose "sellClose($module, Trader, StandardID, Volume, OrderType, Price, ExchangeID=None, Direction='1', OffsetFlag='\\x00', ExtraText=None, /)
--

Sends an order to sell Volume of StandardID and returns its CQNOrderField, as buyOpen.
Direction: ENUM_Direction_Sell ('1', the default); OffsetFlag: ENUM_OffsetFlag_... (NUL by
default; stock accounts need none); ExtraText is not used by the stock engine. OrderType and
the price sent are as for buyOpen, with the sides turned round; usable cash is not touched.";

%feature("docstring") sellOpen "sellOpen($module, Trader, StandardID, Volume, OrderType, Price, ExchangeID=None, Direction='\\x00', OffsetFlag='\\x00', /)
--

Not supported by the stock engine: sends nothing and returns None.";

%feature("docstring") buyClose "buyClose($module, Trader, StandardID, Volume, OrderType, Price, ExchangeID=None, Direction='\\x00', OffsetFlag='\\x00', ExtraText=None, /)
--

Not supported by the stock engine: sends nothing and returns None.";

%feature("docstring") insertOrder "insertOrder($module, Trader, ExchangeID, StandardID, Direction, OffsetFlag, Volume, CombineOrderType, Price, CreditQuotaType='\\x00', CreditDebtID=None, /)
--

Sends an order exactly as given and returns its CQNOrderField (None only for a None handle).
No price is derived and no security looked up: ExchangeID ('1' SSE, '2' SZSE) and
CombineOrderType (ENUM_CombineOrderType_..., such as '231' limit and wait) are sent as they are;
Direction ENUM_Direction_..., OffsetFlag ENUM_OffsetFlag_...; CreditQuotaType and CreditDebtID
for credit accounts. The record's OrderType stays NUL. Order events and a refused send as for
buyOpen.";

%feature("docstring") cancelOrder "cancelOrder($module, Trader, ExchangeID, StandardID, OrderSysID, OrderID, FrontID=0, SessionID=0, /)
--

Asks the broker to cancel the order named by these fields (those of its CQNOrderField);
FrontID and SessionID 0 mean the engine's own. Works for any order, also inside its own
Accepted event. Returns 0 when the request went out, the SDK's code otherwise; a None handle:
-1002000. The outcome arrives as order events: 10012 Canceled (OrderStatus '5') or 10016
CancelRejected.";

%feature("docstring") cancelOrderByOrderID "cancelOrderByOrderID($module, Trader, OrderID, /)
--

Cancels one of this engine's active orders (OrderStatus '1' Cached, '2' Accepted or '3'
PartTraded) by its OrderID; returns cancelOrder's result, or -1 when the order is not active
(finished, unknown, or still inside the processor call of its Accepted event). A None handle:
-1002000.";

%feature("docstring") cancelOrderByStandardID "cancelOrderByStandardID($module, Trader, ExchangeID=None, StandardID=None, /)
--

Cancels every active order of the engine, or those of ExchangeID and/or StandardID when given;
returns the sum of the cancel requests' results (0 when all went out or nothing matched). A
None handle: -1002000.";

// ---------------------------------------------------------------------------------------------
// Transfers, queries, password
// ---------------------------------------------------------------------------------------------

%feature("docstring") transferCash "transferCash($module, Trader, TransferFlag, Amount, AccountPassword, BankID, BankPassword, ExternalNodeID=None, Reserved=None, /)
--

Moves cash into or out of the trading account and returns its CQNTransferAssetField (owned
by the engine, updated by the broker's answers, which arrive as events 12009/12011 with the
record; None only for a None handle).
TransferFlag (ENUM_TransferFlag_...): 'Z' CashFromBank, 'S' CashToBank, 'X' CashFromJZ, 'Q'
CashToJZ, 'W' CashFromExternNode, 'P' CashToExternNode, 'Y' CashUnfreeze, 'R' CashFreeze. Any
other flag is not sent: the record carries ErrorID -1003400 'Error:Invalid TransferFlag.'. A
refused send: ErrorID the SDK's code, 'Error:Fail To Send.'. Reserved is not used.";

%feature("docstring") transferPosition "transferPosition($module, Trader, TransferFlag, Volume, StandardID, ExternalNodeID=None, Reserved=None, ExchangeID=None, /)
--

Moves Volume of a security position to or from an external node and returns its
CQNTransferAssetField, as transferCash. TransferFlag: 'V' PositionFromExternNode or 'O'
PositionToExternNode (ENUM_TransferFlag_...); others give ErrorID -1003400. Answers arrive as
events 12010/12012.";

%feature("docstring") queryBankAccountCash "queryBankAccountCash($module, Trader, AccountPassword, BankID, BankPassword, /)
--

Queues a bank balance query (one attempt, the login record's gaps and timeout); returns 0, or
-1002000 for a None handle. The answer arrives as an EventProcessor event.";

%feature("docstring") updatePassword "updatePassword($module, Trader, PasswordFlag, OldPassword, NewPassword, /)
--

Changes the password: PasswordFlag ENUM_PasswordFlag_UserPassword ('0') or
ENUM_PasswordFlag_AccountPassword ('1'). Returns 0 when the request went out, the SDK's code
otherwise, -1003300 for another flag, -1002000 for a None handle; the answer arrives as event
12008.";

%feature("docstring") addTask "addTask($module, Trader, TaskID, QueryCommand=None, Count=1, ExecuteGap=-1, FailedGap=-1, RetryUntilSuccess=False, ExecuteTimeout=-1, /)
--

Queues a query or command task; returns 0 (-1002000 for a None handle).
TaskID: ENUM_TORAStockTaskID_..., for example QryPosition (12212), QryTradingAccount (12215),
QryOrder (12201), QryTrade (12209). QueryCommand (CQNQueryCommandField or None): the task's
parameters, copied now. Tasks go out one at a time in queue order; each answer (and each
record of it) reaches the EventProcessor as an event whose ID is the TaskID.
Count: attempts before the task is dropped (between them it goes to the back of the queue).
ExecuteGap/FailedGap (microseconds, -1: the login record's TaskExecuteGap/TaskFailedGap): pause
before sending after a success/failure. RetryUntilSuccess (exactly True or False): failed and
timed-out attempts are repeated at the head of the queue. ExecuteTimeout (microseconds, at
least the login record's TaskExecuteTimeout): an unanswered attempt gives the event
-1002300 'Error:Response Timeout.'. A TaskID without a handler gives -1003200
'Error:Invalid EventID.' as an event and is dropped.";

%feature("docstring") exitX "exitX($module, Trader=None, /)
--

Tells one engine to exit, or every engine with no handle (None); returns None. Its thread ends
within a few milliseconds, and loop returns once every engine has exited. Connections stay
open and engines stay allocated; a later init of the account returns the same engine.";

// ---------------------------------------------------------------------------------------------
// Record locks
// ---------------------------------------------------------------------------------------------

%feature("docstring") getOrderLock "getOrderLock($module, Order, /)
--

Takes the lock of an order record (a CQNOrderField) exclusively, spinning until it is free;
returns 0 (also for None). Hold it only to read the record and release it with
releaseOrderLock; it is not re-entrant. Inside the OrderEventProcessor the record handed over
is already held for the caller: locking it returns at once.";

%feature("docstring") releaseOrderLock "releaseOrderLock($module, Order, /)
--

Releases the lock that getOrderLock took; returns 0.";

%feature("docstring") getMarketDataLock "getMarketDataLock($module, MarketData, /)
--

Takes the lock of a snapshot record (a CQNMarketDataField), as getOrderLock; returns 0.";

%feature("docstring") releaseMarketDataLock "releaseMarketDataLock($module, MarketData, /)
--

Releases the lock that getMarketDataLock took; returns 0.";

// ---------------------------------------------------------------------------------------------
// Text and time
// ---------------------------------------------------------------------------------------------

%feature("docstring") getFields "getFields($module, EventID, Record, /)
--

The comma-separated field names of the record that events EventID carry, for example
getFields(10014, None) starts 'TradingDay,UserID,'; 'Error:Invalid EventID.' for an event
without a record. Record is not read (any wrapped pointer or None).";

%feature("docstring") toText "toText($module, EventID, Record, WithNames=False, Separator=',', Precision=2, /)
--

One line of text of Record read as the record of event EventID: its fields in order, texts and
codes in double quotes, numbers in decimal with Precision decimals, joined by Separator, each
prefixed by its name when WithNames is True (exactly True or False). Record: a record object or
tradecore.pointer(address); None gives ''. Broker records (TORA answers) are always rendered
with names, ' || ' and 2 decimals. TypeError for a record of the wrong kind for EventID or an
integer address. Take the record's lock first when the engine may be updating it.";

%feature("docstring") setTimeAnchor "setTimeAnchor($module, /)
--

Engine time now: microseconds since the engine library was loaded. Keep it and pass it to
getTimeElapse to measure an interval.";

%feature("docstring") getTimeElapse "getTimeElapse($module, Anchor=0, /)
--

Microseconds since Anchor (a value of setTimeAnchor); with no Anchor, engine time now.";
