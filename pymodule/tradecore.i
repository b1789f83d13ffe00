// _tradecore: the extension module a strategy drives the engine through. Read top to bottom, this
// file is what Python sees, in the order it sees it:
//   1. SWIG_PyInstanceMethod_New, the first function of the module;
//   2. the five records (constructor, setter and getter of every field, destructor, register and
//      init functions), every constant and, in cvar, the read-only error messages - all straight
//      from records/QNRecords.h, whose declaration order is the module's;
//   3. the 33 engine functions, one to one, with their Python defaults.
// Every function and record class carries the documentation of docstrings.i.
// Generate with exactly `swig -python -c++ -threads`: every call into the engine, and every
// record access, runs with the interpreter lock released.
%module tradecore

// ---------------------------------------------------------------------------------------------
// 1. SWIG_PyInstanceMethod_New. SWIG 4.1 and later no longer emit it; the module has always had
//    it as its first function, so it is declared here, ahead of everything else. It runs Python
//    code, so it keeps the interpreter lock.
// ---------------------------------------------------------------------------------------------
%nothread tcmodule::instanceMethodNew;
%rename(SWIG_PyInstanceMethod_New) tcmodule::instanceMethodNew;
namespace tcmodule {
PyObject *instanceMethodNew(PyObject *func);
}

%{
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "records/QNRecords.h"
#include "engine/tradecore_api.h"

namespace tcmodule {
// This module's method table, known once the module is initialised.
static PyMethodDef *ownMethods = nullptr;

static bool isOwnMethod(const PyMethodDef *def) {
    for (const PyMethodDef *m = ownMethods; m && m->ml_name; ++m) {
        if (m == def) return true;
    }
    return false;
}

// Given one of our own functions: an instance method around a fresh function object made from
// the same method-table entry. Anything else: an instance method around the object itself.
PyObject *instanceMethodNew(PyObject *func) {
    if (PyCFunction_Check(func)) {
        PyCFunctionObject *cfunc = reinterpret_cast<PyCFunctionObject *>(func);
        if (isOwnMethod(cfunc->m_ml)) {
            PyObject *fresh = PyCFunction_NewEx(cfunc->m_ml, cfunc->m_self, cfunc->m_module);
            if (!fresh) return nullptr;
            PyObject *method = PyInstanceMethod_New(fresh);
            Py_DECREF(fresh);
            return method;
        }
    }
    return PyInstanceMethod_New(func);
}

// Destructors keep SWIG's answer to a None record (nothing to free); see typemaps.i.
constexpr bool isDestructor(std::string_view wrapper) { return wrapper.substr(0, 7) == "delete_"; }
}  // namespace tcmodule
%}

%init %{
  tcmodule::ownMethods = SwigMethods;
  // SWIG starts every docstring with a line feed; without it the first line is the function's
  // signature ("name($module, ...)" and "--"), which Python then shows as its signature.
  for (PyMethodDef *method = SwigMethods; method->ml_name; ++method) {
    if (method->ml_doc && method->ml_doc[0] == '\n') ++method->ml_doc;
  }
%}

%include "typemaps.i"
%include "waiting.swg"
%include "docstrings.i"

// ---------------------------------------------------------------------------------------------
// 2. Records, constants and error messages.
// ---------------------------------------------------------------------------------------------
%include "records/QNRecords.h"

// ---------------------------------------------------------------------------------------------
// 3. The engine functions. One wrapper per function, which unpacks between the required and the
//    full argument count ("buyOpen expected at least 5 arguments, got 4"); an omitted argument
//    takes the default written here. These declarations are compiled too, so a parameter list
//    that drifts from engine/tradecore_api.h stops the build.
// ---------------------------------------------------------------------------------------------
%feature("compactdefaultargs");

%inline %{
extern "C" {
TRADECORE_API const char *getVersion();
TRADECORE_API CBaseTrader *init(int RunID, CQNLoginField *LoginField,
                                PyObject *OrderEventProcessor = Py_None, PyObject *EventProcessor = Py_None,
                                PyObject *LoopProcessor = Py_None, PyObject *MarketDataProcessor = Py_None);
TRADECORE_API int getInitError();
TRADECORE_API const char *getMessageByErrorID(TQNErrorIDType ErrorID);
TRADECORE_API void loop();
TRADECORE_API int setRunMode(TQNRunModeType RunMode);
TRADECORE_API int setEventTextProcessor(PyObject *Processor);
TRADECORE_API int subscribeOne(CBaseTrader *Trader, const char *StandardID, const char *ExchangeID = nullptr);
TRADECORE_API int subscribe(CBaseTrader *Trader, char **StandardIDs, int Count, const char *ExchangeID = nullptr);
TRADECORE_API int unsubscribeOne(CBaseTrader *Trader, const char *StandardID, const char *ExchangeID = nullptr);
TRADECORE_API int unsubscribe(CBaseTrader *Trader, char **StandardIDs, int Count, const char *ExchangeID = nullptr);
TRADECORE_API CQNOrderField *buyOpen(CBaseTrader *Trader, const char *StandardID, int Volume, char OrderType,
                                     double Price, const char *ExchangeID = nullptr,
                                     char Direction = ENUM_Direction_Buy);
TRADECORE_API CQNOrderField *sellClose(CBaseTrader *Trader, const char *StandardID, int Volume, char OrderType,
                                       double Price, const char *ExchangeID = nullptr,
                                       char Direction = ENUM_Direction_Sell, char OffsetFlag = '\0',
                                       const char *ExtraText = nullptr);
TRADECORE_API CQNOrderField *sellOpen(CBaseTrader *Trader, const char *StandardID, int Volume, char OrderType,
                                      double Price, const char *ExchangeID = nullptr, char Direction = '\0',
                                      char OffsetFlag = '\0');
TRADECORE_API CQNOrderField *buyClose(CBaseTrader *Trader, const char *StandardID, int Volume, char OrderType,
                                      double Price, const char *ExchangeID = nullptr, char Direction = '\0',
                                      char OffsetFlag = '\0', const char *ExtraText = nullptr);
TRADECORE_API CQNOrderField *insertOrder(CBaseTrader *Trader, const char *ExchangeID, const char *StandardID,
                                         char Direction, char OffsetFlag, int Volume,
                                         const char *CombineOrderType, double Price,
                                         char CreditQuotaType = '\0', const char *CreditDebtID = nullptr);
TRADECORE_API int cancelOrder(CBaseTrader *Trader, const char *ExchangeID, const char *StandardID,
                              const char *OrderSysID, int OrderID, int FrontID = 0, int SessionID = 0);
TRADECORE_API int cancelOrderByOrderID(CBaseTrader *Trader, int OrderID);
TRADECORE_API int cancelOrderByStandardID(CBaseTrader *Trader, const char *ExchangeID = nullptr,
                                          const char *StandardID = nullptr);
TRADECORE_API CQNTransferAssetField *transferCash(CBaseTrader *Trader, char TransferFlag, double Amount,
                                                  const char *AccountPassword, const char *BankID,
                                                  const char *BankPassword, const char *ExternalNodeID = nullptr,
                                                  const char *Reserved = nullptr);
TRADECORE_API CQNTransferAssetField *transferPosition(CBaseTrader *Trader, char TransferFlag, int Volume,
                                                      const char *StandardID, const char *ExternalNodeID = nullptr,
                                                      const char *Reserved = nullptr,
                                                      const char *ExchangeID = nullptr);
TRADECORE_API int queryBankAccountCash(CBaseTrader *Trader, const char *AccountPassword, const char *BankID,
                                       const char *BankPassword);
TRADECORE_API int updatePassword(CBaseTrader *Trader, char PasswordFlag, const char *OldPassword,
                                 const char *NewPassword);
TRADECORE_API int addTask(CBaseTrader *Trader, TQNEventIDType TaskID, CQNQueryCommandField *QueryCommand = nullptr,
                          int Count = 1, TQNTimeAnchorType ExecuteGap = -1, TQNTimeAnchorType FailedGap = -1,
                          bool RetryUntilSuccess = false, TQNTimeAnchorType ExecuteTimeout = -1);
TRADECORE_API void exitX(CBaseTrader *Trader = nullptr);
TRADECORE_API int getOrderLock(CQNOrderField *Order);
TRADECORE_API int releaseOrderLock(CQNOrderField *Order);
TRADECORE_API int getMarketDataLock(CQNMarketDataField *MarketData);
TRADECORE_API int releaseMarketDataLock(CQNMarketDataField *MarketData);
TRADECORE_API const char *getFields(TQNEventIDType EventID, void *Record);
TRADECORE_API const char *toText(TQNEventIDType EventID, void *Record, bool WithNames = false,
                                 const char *Separator = ",", int Precision = 2);
TRADECORE_API TQNTimeAnchorType setTimeAnchor();
TRADECORE_API TQNTimeAnchorType getTimeElapse(TQNTimeAnchorType Anchor = 0);
}
%}
