// The broker's query answers into the book. The answers arrive as the SDK's own records, whose
// layout and codes depend on the SDK build (torasdk/); this is the one place that reads them.
#pragma once

namespace tc {
namespace book {

class AccountBook;

// Hands the answer record of task `taskID` to `book`: an order (ENUM_TORAStockTaskID_QryOrder),
// a trade (QryTrade), a position (QryPosition), the trading account (QryTradingAccount) or the
// login answer (LoginTrader: the engine's session). False for any other task.
bool brokerAnswer(AccountBook &book, int taskID, const void *record);

}  // namespace book
}  // namespace tc
