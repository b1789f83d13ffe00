// _book: the native half of tradecore.book and tradecore.risk. One type, Account, over the live
// book of book/AccountBook (which is also the engine's order gate once attached). The Python
// layer feeds it the addresses that order, query and snapshot events carry; the methods that take
// addresses are for that layer only.
//
// An attached book is the engine's order gate from then on and the engine may call it at any
// time, so its native half is never freed once attached (like the engine's own records).
#include <Python.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>

#include "book/AccountBook.h"
#include "book/BrokerAnswers.h"
#include "engine/OrderGate.h"
#include "records/QNRecords.h"

namespace {

using tc::book::AccountBook;

struct AccountObject {
    PyObject_HEAD
    AccountBook *book;
    const void *engine;  // the engine it is attached to, or null
};

template <class T>
const T *at(PyObject *address) {
    const unsigned long long a = PyLong_AsUnsignedLongLong(address);
    if (PyErr_Occurred()) return nullptr;
    if (a == 0) {
        PyErr_SetString(PyExc_ValueError, "null record address");
        return nullptr;
    }
    return reinterpret_cast<const T *>(static_cast<std::uintptr_t>(a));
}

PyObject *text(const char *s) { return PyUnicode_DecodeUTF8(s, static_cast<Py_ssize_t>(std::strlen(s)), "replace"); }

PyObject *character(char c) {
    return c ? PyUnicode_FromStringAndSize(&c, 1) : PyUnicode_FromStringAndSize("", 0);
}

// --- construction ------------------------------------------------------------------------------

PyObject *accountNew(PyTypeObject *type, PyObject *, PyObject *) {
    auto *self = reinterpret_cast<AccountObject *>(type->tp_alloc(type, 0));
    if (!self) return nullptr;
    self->book = new (std::nothrow) AccountBook();
    self->engine = nullptr;
    if (!self->book) {
        Py_DECREF(self);
        return PyErr_NoMemory();
    }
    return reinterpret_cast<PyObject *>(self);
}

void accountDealloc(PyObject *o) {
    auto *self = reinterpret_cast<AccountObject *>(o);
    if (self->engine) {
        // Taken off the engine (unless another book replaced it), but not freed: an order may be
        // inside its checks right now.
        tc::removeOrderGate(self->engine, self->book);
    } else {
        delete self->book;
    }
    PyTypeObject *type = Py_TYPE(o);
    type->tp_free(o);
    Py_DECREF(type);  // instances of a heap type hold a reference to it
}

AccountBook &bookOf(PyObject *o) { return *reinterpret_cast<AccountObject *>(o)->book; }

// --- the gate ----------------------------------------------------------------------------------

PyObject *attach(PyObject *o, PyObject *arg) {
    auto *self = reinterpret_cast<AccountObject *>(o);
    const unsigned long long a = PyLong_AsUnsignedLongLong(arg);
    if (PyErr_Occurred()) return nullptr;
    const void *engine = reinterpret_cast<const void *>(static_cast<std::uintptr_t>(a));
    if (self->engine && self->engine != engine) {
        PyErr_SetString(PyExc_RuntimeError, "the book is attached to another engine");
        return nullptr;
    }
    if (!tc::installOrderGate(engine, self->book)) {
        PyErr_SetString(PyExc_ValueError, "not an engine handle that init returned");
        return nullptr;
    }
    self->engine = engine;
    Py_RETURN_NONE;
}

PyObject *detach(PyObject *o, PyObject *) {
    auto *self = reinterpret_cast<AccountObject *>(o);
    if (self->engine) tc::removeOrderGate(self->engine, self->book);
    // Still never freed: an order may have fetched the gate just before.
    Py_RETURN_NONE;
}

// Limits travel as a tuple in the order of tc::book::Limits.
PyObject *setLimits(PyObject *o, PyObject *args) {
    tc::book::Limits l;
    int withinLimitPrices = 1, checkCash = 1, checkPosition = 1;
    if (!PyArg_ParseTuple(args, "iiddpppiiiid", &l.maxOrderVolume, &l.lotSize, &l.maxOrderNotional, &l.priceBand,
                          &withinLimitPrices, &checkCash, &checkPosition, &l.maxOpenOrdersPerSecurity,
                          &l.maxOpenOrders, &l.maxOrdersPerSecond, &l.maxCancelsPerSecond, &l.maxDailyLoss))
        return nullptr;
    l.withinLimitPrices = withinLimitPrices != 0;
    l.checkCash = checkCash != 0;
    l.checkPosition = checkPosition != 0;
    bookOf(o).setLimits(l);
    Py_RETURN_NONE;
}

// The limits in force, as set_limits takes them.
PyObject *limits(PyObject *o, PyObject *) {
    const tc::book::Limits l = bookOf(o).limits();
    return Py_BuildValue("(iiddNNNiiiid)", l.maxOrderVolume, l.lotSize, l.maxOrderNotional, l.priceBand,
                         PyBool_FromLong(l.withinLimitPrices), PyBool_FromLong(l.checkCash),
                         PyBool_FromLong(l.checkPosition), l.maxOpenOrdersPerSecurity, l.maxOpenOrders,
                         l.maxOrdersPerSecond, l.maxCancelsPerSecond, l.maxDailyLoss);
}

PyObject *setHalted(PyObject *o, PyObject *arg) {
    const int on = PyObject_IsTrue(arg);
    if (on < 0) return nullptr;
    bookOf(o).setHalted(on != 0);
    Py_RETURN_NONE;
}

PyObject *halted(PyObject *o, PyObject *) { return PyBool_FromLong(bookOf(o).halted()); }

PyObject *lastRefusal(PyObject *o, PyObject *) {
    const std::string s = bookOf(o).lastRefusal();
    return text(s.c_str());
}

PyObject *refusals(PyObject *o, PyObject *) { return PyLong_FromUnsignedLongLong(bookOf(o).refusals()); }

// --- feeding -----------------------------------------------------------------------------------

PyObject *orderEvent(PyObject *o, PyObject *args) {
    int eventID;
    PyObject *address;
    if (!PyArg_ParseTuple(args, "iO", &eventID, &address)) return nullptr;
    const auto *record = at<CQNOrderField>(address);
    if (!record) return nullptr;
    bookOf(o).orderEvent(eventID, *record);
    Py_RETURN_NONE;
}

// One broker query answer, by the task that asked for it.
PyObject *queryAnswer(PyObject *o, PyObject *args) {
    int taskID;
    PyObject *address;
    if (!PyArg_ParseTuple(args, "iO", &taskID, &address)) return nullptr;
    const void *record = at<char>(address);
    if (!record) return nullptr;
    if (!tc::book::brokerAnswer(bookOf(o), taskID, record)) {
        PyErr_Format(PyExc_ValueError, "no book answer for task %d", taskID);
        return nullptr;
    }
    Py_RETURN_NONE;
}

PyObject *mark(PyObject *o, PyObject *address) {
    const auto *r = at<CQNMarketDataField>(address);
    if (!r) return nullptr;
    char key[tc::book::kKeySize];
    std::snprintf(key, sizeof key, "%.*s.%.*s", 40, r->StandardID, 4, r->ExchangeID);
    bookOf(o).mark(key, r->LastPrice, r->PreClosePrice, r->UpperLimitPrice, r->LowerLimitPrice);
    Py_RETURN_NONE;
}

PyObject *positionsComplete(PyObject *o, PyObject *) {
    bookOf(o).positionsComplete();
    Py_RETURN_NONE;
}

PyObject *setLoaded(PyObject *o, PyObject *) {
    bookOf(o).setLoaded();
    Py_RETURN_NONE;
}

PyObject *loaded(PyObject *o, PyObject *) { return PyBool_FromLong(bookOf(o).loaded()); }

PyObject *beginReconcile(PyObject *o, PyObject *) {
    bookOf(o).beginReconcile();
    Py_RETURN_NONE;
}

PyObject *endReconcile(PyObject *o, PyObject *) { return PyBool_FromLong(bookOf(o).endReconcile()); }

PyObject *setCashTolerance(PyObject *o, PyObject *arg) {
    const double t = PyFloat_AsDouble(arg);
    if (PyErr_Occurred()) return nullptr;
    bookOf(o).setCashTolerance(t);
    Py_RETURN_NONE;
}

// --- reading -----------------------------------------------------------------------------------

PyObject *positionTuple(const tc::book::PositionView &v) {
    return Py_BuildValue("(NLLLLdLLddddddi)", text(v.key), v.volume, v.sellable, v.frozen, v.startVolume, v.cost,
                         v.boughtVolume, v.soldVolume, v.boughtTurnover, v.soldTurnover, v.realized, v.mark,
                         v.preClose, v.pnl, v.openOrders);
}

PyObject *position(PyObject *o, PyObject *arg) {
    const char *key = PyUnicode_AsUTF8(arg);
    if (!key) return nullptr;
    tc::book::PositionView v;
    if (!bookOf(o).position(key, v)) Py_RETURN_NONE;
    return positionTuple(v);
}

PyObject *positions(PyObject *o, PyObject *) {
    const std::vector<tc::book::PositionView> all = bookOf(o).positions();
    PyObject *list = PyList_New(static_cast<Py_ssize_t>(all.size()));
    if (!list) return nullptr;
    for (std::size_t i = 0; i < all.size(); ++i) {
        PyObject *item = positionTuple(all[i]);
        if (!item) {
            Py_DECREF(list);
            return nullptr;
        }
        PyList_SET_ITEM(list, static_cast<Py_ssize_t>(i), item);
    }
    return list;
}

PyObject *cash(PyObject *o, PyObject *) {
    const tc::book::CashView c = bookOf(o).cash();
    return Py_BuildValue("(ddd)", c.available, c.frozen, c.pnl);
}

PyObject *openOrders(PyObject *o, PyObject *) { return PyLong_FromLong(bookOf(o).openOrders()); }

PyObject *orders(PyObject *o, PyObject *arg) {
    const int openOnly = PyObject_IsTrue(arg);
    if (openOnly < 0) return nullptr;
    const std::vector<tc::book::OrderView> all = bookOf(o).orders(openOnly != 0);
    PyObject *list = PyList_New(static_cast<Py_ssize_t>(all.size()));
    if (!list) return nullptr;
    for (std::size_t i = 0; i < all.size(); ++i) {
        const tc::book::OrderView &v = all[i];
        PyObject *item = Py_BuildValue("(NiiiNNNNNOOiiiddi)", text(v.key), v.orderRef, v.frontID, v.sessionID,
                                       text(v.orderSysID), character(v.direction), character(v.offsetFlag),
                                       character(v.status), text(v.insertTime), v.thisRun ? Py_True : Py_False,
                                       v.open ? Py_True : Py_False, v.volume, v.traded, v.canceled, v.price,
                                       v.turnover, v.errorID);
        if (!item) {
            Py_DECREF(list);
            return nullptr;
        }
        PyList_SET_ITEM(list, static_cast<Py_ssize_t>(i), item);
    }
    return list;
}

PyObject *takeDifferences(PyObject *o, PyObject *) {
    const std::vector<tc::book::Difference> all = bookOf(o).takeDifferences();
    PyObject *list = PyList_New(static_cast<Py_ssize_t>(all.size()));
    if (!list) return nullptr;
    static const char *const kinds[] = {"position", "cash", "order"};
    for (std::size_t i = 0; i < all.size(); ++i) {
        const tc::book::Difference &d = all[i];
        PyObject *item = Py_BuildValue("(sNNdd)", kinds[static_cast<int>(d.kind)], text(d.key), text(d.field), d.book,
                                       d.broker);
        if (!item) {
            Py_DECREF(list);
            return nullptr;
        }
        PyList_SET_ITEM(list, static_cast<Py_ssize_t>(i), item);
    }
    return list;
}

PyMethodDef accountMethods[] = {
    {"attach", attach, METH_O, "attach(engine_address): install as the engine's order gate"},
    {"detach", detach, METH_NOARGS, "detach(): take the gate off the engine"},
    {"set_limits", setLimits, METH_VARARGS, "set_limits(...): the limits, in the order of Limits"},
    {"limits", limits, METH_NOARGS, "limits() -> the limits in force, as set_limits takes them"},
    {"set_halted", setHalted, METH_O, "set_halted(on): the kill switch's stop of new orders"},
    {"halted", halted, METH_NOARGS, nullptr},
    {"last_refusal", lastRefusal, METH_NOARGS, nullptr},
    {"refusals", refusals, METH_NOARGS, nullptr},
    {"order_event", orderEvent, METH_VARARGS, "order_event(event_id, address)"},
    {"query_answer", queryAnswer, METH_VARARGS, "query_answer(task_id, address)"},
    {"mark", mark, METH_O, "mark(snapshot_address)"},
    {"positions_complete", positionsComplete, METH_NOARGS, nullptr},
    {"set_loaded", setLoaded, METH_NOARGS, nullptr},
    {"loaded", loaded, METH_NOARGS, nullptr},
    {"begin_reconcile", beginReconcile, METH_NOARGS, nullptr},
    {"end_reconcile", endReconcile, METH_NOARGS, nullptr},
    {"set_cash_tolerance", setCashTolerance, METH_O, nullptr},
    {"position", position, METH_O, "position(key) -> tuple or None"},
    {"positions", positions, METH_NOARGS, nullptr},
    {"cash", cash, METH_NOARGS, "cash() -> (available, frozen, pnl)"},
    {"open_orders", openOrders, METH_NOARGS, nullptr},
    {"orders", orders, METH_O, "orders(open_only) -> list of tuples"},
    {"take_differences", takeDifferences, METH_NOARGS, nullptr},
    {nullptr, nullptr, 0, nullptr},
};

PyType_Slot accountSlots[] = {
    {Py_tp_doc, const_cast<char *>("One account's live book and order gate (see tradecore.book).")},
    {Py_tp_new, reinterpret_cast<void *>(accountNew)},
    {Py_tp_dealloc, reinterpret_cast<void *>(accountDealloc)},
    {Py_tp_methods, accountMethods},
    {0, nullptr},
};

PyType_Spec accountSpec = {"tradecore._book.Account", sizeof(AccountObject), 0, Py_TPFLAGS_DEFAULT, accountSlots};

PyModuleDef bookModule = {PyModuleDef_HEAD_INIT, "_book", "The native half of tradecore.book.", -1, nullptr,
                          nullptr, nullptr, nullptr, nullptr};

}  // namespace

// Before 3.9 Python's PyMODINIT_FUNC does not export the function itself, and the module is built
// with hidden visibility (on Windows it carries __declspec(dllexport) in every release).
#if PY_VERSION_HEX < 0x03090000 && defined(__GNUC__) && !defined(_WIN32)
extern "C" __attribute__((visibility("default"))) PyObject *PyInit__book(void);
#endif

PyMODINIT_FUNC PyInit__book(void) {
    PyObject *type = PyType_FromSpec(&accountSpec);
    if (!type) return nullptr;
    PyObject *m = PyModule_Create(&bookModule);
    if (!m || PyModule_AddObject(m, "Account", type) < 0) {
        Py_DECREF(type);
        Py_XDECREF(m);
        return nullptr;
    }
    return m;
}
