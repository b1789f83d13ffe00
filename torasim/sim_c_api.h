/* The simulated broker's plain C control surface, for Python (ctypes) and other languages.
 *
 * Brokers are named by their front address. Records, configurations and ledgers travel as JSON
 * text whose field names are the TORA record field names (records) or the C++ member names
 * (PaperConfig, FaultConfig, LedgerOrder, AccountState, PositionState; see SimControl.h).
 * JSON strings carry bytes: \u0000-\u00FF stand for single bytes, so GB2312 text passes as is.
 *
 * Functions returning char* give a malloc'd string the caller frees with tsim_free, or NULL on
 * failure. Functions returning int give a count, a flag or 0 on success and a negative number
 * on failure; tsim_last_error() then says why (per thread). No function throws.
 */
#ifndef TORASIM_SIM_C_API_H
#define TORASIM_SIM_C_API_H

#if defined(_WIN32)
#  if defined(TORASIM_BUILDING)
#    define TSIM_API __declspec(dllexport)
#  else
#    define TSIM_API __declspec(dllimport)
#  endif
#else
#  define TSIM_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Modes and sides. */
#define TSIM_MODE_PAPER 0
#define TSIM_MODE_SCRIPTED 1
#define TSIM_SIDE_TRADER 0
#define TSIM_SIDE_MD 1
#define TSIM_SIDE_BOTH 2

/* Failure codes. */
#define TSIM_ERR_NO_BROKER -1
#define TSIM_ERR_BAD_ARGUMENT -2
#define TSIM_ERR_BAD_JSON -3
#define TSIM_ERR_INTERNAL -4

TSIM_API const char* tsim_version(void);
TSIM_API const char* tsim_last_error(void);
TSIM_API void tsim_free(char* text);

/* Brokers. tsim_create replaces a broker already under the address. */
TSIM_API int tsim_create(const char* address, int mode);
TSIM_API int tsim_remove(const char* address);            /* 1 removed, 0 none there */
TSIM_API void tsim_remove_all(void);
TSIM_API int tsim_exists(const char* address);            /* 1 or 0 */
TSIM_API int tsim_mode(const char* address);              /* TSIM_MODE_... */

/* Connections. */
TSIM_API int tsim_set_auto_accept(const char* address, int on);
TSIM_API int tsim_accept(const char* address, int side);                                   /* how many */
TSIM_API int tsim_drop(const char* address, int reason, int side, int reconnect_ms);        /* how many */
TSIM_API int tsim_wait_connections(const char* address, int count, int side, int timeout_ms); /* 1 or 0 */
/* [{"id":..,"side":"trader"|"md","connected":b,"loggedIn":b,"frontID":..,"sessionID":..}] */
TSIM_API char* tsim_connections_json(const char* address);

/* Requests: [{"seq","type","side","connection","requestID","returned","record","fields",
 * "securities","exchangeID"}]; "record" names the request's record type, "fields" holds it. */
TSIM_API char* tsim_requests_json(const char* address, const char* type);   /* type NULL or "": all */
/* The oldest request of `type` not handed out before; NULL on timeout (tsim_last_error: "timeout"). */
TSIM_API char* tsim_wait_request_json(const char* address, const char* type, int timeout_ms);
TSIM_API int tsim_request_count(const char* address, const char* type);
TSIM_API int tsim_clear_requests(const char* address);
TSIM_API int tsim_set_next_return(const char* address, const char* type, int rc, int times);
/* The request log, on by default. Off: requests are received, counted and answered as before,
 * but not kept (tsim_requests_json, tsim_wait_request_json, tsim_request_count do not see them). */
TSIM_API int tsim_set_request_log(const char* address, int on);
TSIM_API int tsim_request_log(const char* address);                 /* 1 on, 0 off */
TSIM_API long long tsim_requests_received(const char* address);     /* every request, logged or not */
TSIM_API int tsim_set_request_log_limit(const char* address, long long max_entries);  /* newest kept */

/* Calls any callback by name on the SDK thread of the connected connections of `side` (or of
 * connection `connection` when non-zero). args: {"record": {...}, "ErrorID": n, "ErrorMsg": s,
 * "requestID": n, "isLast": b, "reason": n}, each optional. Returns how many connections.
 * OnRtnOrder and OnRtnTrade go through the notification faults. */
TSIM_API int tsim_push_json(const char* address, int side, const char* callback, const char* args_json,
                            int connection);
TSIM_API int tsim_drain(const char* address, int timeout_ms);   /* 1 delivered, 0 timeout */

/* Paper mode. Setting a configuration applies the given keys over the current ones and starts
 * the day afresh (accounts, books, orders). */
TSIM_API int tsim_set_paper_config_json(const char* address, const char* json);
TSIM_API char* tsim_paper_config_json(const char* address);
TSIM_API int tsim_tick(const char* address, int count);
/* The broker's own booking outside any order: {"cash": amount, "positions": [{"securityID": ..,
 * "exchangeID": .., "volume": shares (negative: taken), "openCost": added cost}]}. */
TSIM_API int tsim_adjust_json(const char* address, const char* json);
/* Changes the market's tick rate (0 stops it) without starting the day afresh. */
TSIM_API int tsim_set_snapshots_per_second(const char* address, double rate);
/* {"bids": [[price, volume], ...], "asks": [[price, volume], ...], "last": price} */
TSIM_API int tsim_set_book_json(const char* address, const char* security_id, const char* json);
TSIM_API char* tsim_snapshot_json(const char* address, const char* security_id);   /* CTORATstpMarketDataField */
TSIM_API char* tsim_orders_json(const char* address);
TSIM_API char* tsim_trades_json(const char* address);
TSIM_API char* tsim_account_json(const char* address);
TSIM_API char* tsim_positions_json(const char* address);

/* Faults (both modes). Setting applies the given keys over the current ones. */
TSIM_API int tsim_set_faults_json(const char* address, const char* json);
TSIM_API char* tsim_faults_json(const char* address);
TSIM_API char* tsim_fault_counters_json(const char* address);

/* The fields of a TORA record: [{"name":..,"kind":"text"|"char"|"int"|"int64"|"double"|"short","size":n}]. */
TSIM_API char* tsim_record_fields_json(const char* record);

#ifdef __cplusplus
}
#endif

#endif /* TORASIM_SIM_C_API_H */
