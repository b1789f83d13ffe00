// Every conversion of ours that differs from SWIG's defaults, in one place. Everything not listed
// here (ints, 64-bit ints, doubles, bools, single chars, char const *, char[N] fields, record
// pointers, the handle) is SWIG's own Python conversion, whose texts and rules the module keeps.

// ---------------------------------------------------------------------------------------------
// Python callables handed to the engine (init's four processors, setEventTextProcessor): passed
// through as the very objects given. The engine keeps its own reference.
// ---------------------------------------------------------------------------------------------
%typemap(in) PyObject * "$1 = $input;"
%typemap(out) PyObject * "$result = $1;"

// ---------------------------------------------------------------------------------------------
// toText/getFields render any record, so they take any wrapped pointer (an order object, a
// snapshot object, tradecore.pointer(address)) and None; a bare integer address is refused.
//
// toText reads the record as the kind its EventID names. A record object of one of our own
// classes (or the engine handle, whose object is not ours to measure) that reading would run
// past the end of is refused with the argument's TypeError; one large enough is read, whatever
// its kind (an order record holds a snapshot's reading). An address from tradecore.pointer()
// carries no kind and is taken as it is.
// ---------------------------------------------------------------------------------------------
%{
#include <algorithm>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace tcmodule {
// The bytes of an object of SWIG type `type` that toText may read; 0 for the handle; nothing is
// known of other types.
static bool objectSize(swig_type_info *type, std::size_t *size) {
  const std::pair<swig_type_info *, std::size_t> sizes[] = {
      {SWIGTYPE_p_CBaseTrader, 0},
      {SWIGTYPE_p_CQNLoginField, sizeof(CQNLoginField)},
      {SWIGTYPE_p_CQNQueryCommandField, sizeof(CQNQueryCommandField)},
      {SWIGTYPE_p_CQNOrderField, sizeof(CQNOrderField)},
      {SWIGTYPE_p_CQNMarketDataField, sizeof(CQNMarketDataField)},
      {SWIGTYPE_p_CQNTransferAssetField, sizeof(CQNTransferAssetField)}};
  for (const auto &known : sizes) {
    if (known.first == type) {
      *size = known.second;
      return true;
    }
  }
  return false;
}

// Whether toText reads the record of `eventID` within its first `size` bytes. Only the engine's
// tables know how far each event's record reaches (the broker's records among them), so the
// engine is asked: a probe is rendered with every byte from `size` on zero, then with them all
// 'A', and the two texts differ exactly when the rendering reads there. (Within `size` the probe
// is all 'A', so a text that starts inside runs on past it; the bytes past `size` are the high
// bytes of any number that straddles it.) Every record the engine renders is a few KiB, well
// inside the probe. Answers are kept; all of this runs under the interpreter lock.
static bool readsWithin(int eventID, std::size_t size) {
  constexpr std::size_t kProbeBytes = 64 * 1024;
  if (size >= kProbeBytes) return true;
  static std::map<std::pair<int, std::size_t>, bool> answers;
  const auto known = answers.find({eventID, size});
  if (known != answers.end()) return known->second;
  static std::vector<char> probe(kProbeBytes);
  std::fill(probe.begin(), probe.begin() + size, 'A');
  std::fill(probe.begin() + size, probe.end(), '\0');
  const std::string zeros = toText(eventID, probe.data(), false, ",", 2);
  std::fill(probe.begin() + size, probe.end(), 'A');
  const bool within = zeros == toText(eventID, probe.data(), false, ",", 2);
  answers.emplace(std::make_pair(eventID, size), within);
  return within;
}

static bool recordFitsEvent(swig_type_info *type, int eventID) {
  std::size_t size = 0;
  return !objectSize(type, &size) || readsWithin(eventID, size);
}
}  // namespace tcmodule
%}
%typemap(in, noblock=1) void *Record (int res = 0, swig_type_info *recordType = 0) {
  res = SWIG_ConvertPtr($input, &$1, 0, 0);
  if (!SWIG_IsOK(res)) {
    SWIG_exception_fail(SWIG_ArgError(res), "in method '" "$symname" "', argument " "$argnum" " of type '" "$1_type" "'");
  }
  if ($1) {
    SwigPyObject *wrapped = SWIG_Python_GetSwigThis($input);
    recordType = wrapped ? wrapped->ty : 0;
  }
}
// The renderers' first argument is the EventID (arg1); getFields never reads the record.
%typemap(check, noblock=1) void *Record {
  if (std::strcmp("$symname", "toText") == 0 && recordType$argnum && !tcmodule::recordFitsEvent(recordType$argnum, arg1)) {
    SWIG_exception_fail(SWIG_TypeError, "in method '" "$symname" "', argument " "$argnum" " of type '" "$1_type" "'");
  }
}

// ---------------------------------------------------------------------------------------------
// Registering a class for a record type (R_swigregister). SWIG reads the method flags of whatever
// the class's __swig_destroy__ is, as if it were always one of this module's functions: for a
// Python function that reads unrelated memory, and a one-argument built-in would be handed the
// dying wrapped pointer itself. So every destroy function, the module's own delete_R included, is
// called with a new wrapped pointer to the record that does not own it (delete_R frees the record
// through it just the same). Everything else is recorded as SWIG records it.
// ---------------------------------------------------------------------------------------------
%{
namespace tcmodule {
static SwigPyClientData *newClientData(PyObject *klass) {
  if (!klass) return 0;
  SwigPyClientData *data = static_cast<SwigPyClientData *>(malloc(sizeof(SwigPyClientData)));
  if (!data) return 0;
  Py_INCREF(klass);
  data->klass = klass;
  data->newraw = PyClass_Check(klass) ? 0 : PyObject_GetAttrString(klass, "__new__");
  if (!data->newraw) {
    PyErr_Clear();
    Py_INCREF(klass);
    data->newargs = klass;
  } else if (!(data->newargs = PyTuple_New(1))) {
    Py_DECREF(data->newraw);
    Py_DECREF(klass);
    free(data);
    return 0;
  } else {
    Py_INCREF(klass);
    PyTuple_SET_ITEM(data->newargs, 0, klass);
  }
  data->destroy = PyObject_GetAttrString(klass, "__swig_destroy__");
  if (!data->destroy) PyErr_Clear();
  data->delargs = 1;
  data->implicitconv = 0;
  data->pytype = 0;
  return data;
}
}  // namespace tcmodule
#undef SWIG_NewClientData
#define SWIG_NewClientData(obj) tcmodule::newClientData(obj)
%}

// ---------------------------------------------------------------------------------------------
// subscribe/unsubscribe: one Python list of security codes becomes a NULL-terminated array plus
// its length. str items travel as their UTF-8 encoding, bytes items as they are. Every item is
// held by a reference of ours while the engine runs without the interpreter lock, so another
// Python thread that edits the list cannot free a text under the engine. The array and the
// references are released once, after the call or on the error path.
// ---------------------------------------------------------------------------------------------
%typemap(in) (char **StandardIDs, int Count) (PyObject **held = 0, Py_ssize_t heldCount = 0) {
  if (!PyList_Check($input)) {
    PyErr_SetString(PyExc_TypeError, "not a list");
    SWIG_fail;
  }
  Py_ssize_t size = PyList_Size($input);
  if (size > INT_MAX - 1) {
    PyErr_SetString(PyExc_OverflowError, "list too long");
    SWIG_fail;
  }
  $1 = static_cast<char **>(calloc(static_cast<size_t>(size) + 1, sizeof(char *)));
  held = static_cast<PyObject **>(calloc(static_cast<size_t>(size) + 1, sizeof(PyObject *)));
  if (!$1 || !held) {
    PyErr_NoMemory();
    SWIG_fail;
  }
  for (Py_ssize_t i = 0; i < size; ++i) {
    PyObject *item = PyList_GET_ITEM($input, i);
    PyObject *bytes = 0;
    if (PyUnicode_Check(item)) {
      bytes = PyUnicode_AsUTF8String(item);
      if (!bytes) {
        PyErr_SetString(PyExc_TypeError, "list must contain strings");
        SWIG_fail;
      }
    } else if (PyBytes_Check(item)) {
      Py_INCREF(item);
      bytes = item;
    } else {
      PyErr_SetString(PyExc_TypeError, "list must contain strings");
      SWIG_fail;
    }
    held[heldCount++] = bytes;
    $1[i] = PyBytes_AS_STRING(bytes);
  }
  $1[size] = 0;
  $2 = static_cast<int>(size);
}
%typemap(freearg) (char **StandardIDs, int Count) {
  for (Py_ssize_t i = 0; i < heldCount$argnum; ++i) Py_DECREF(held$argnum[i]);
  free(held$argnum);
  free($1);
}

// ---------------------------------------------------------------------------------------------
// A record given as None: SWIG would turn it into a null pointer and read or write through it.
// Getters and text setters refuse it with the argument-1 error that any other wrong record gets.
// Scalar setters keep SWIG's own answer (they skip the write on a null record) and destructors
// free nothing, so both stay as generated.
// ---------------------------------------------------------------------------------------------
%define TC_REFUSE_NULL_RECORD(Record)
%typemap(check, noblock=1) Record *self {
  if (!$1 && !tcmodule::isDestructor("$symname")) {
    SWIG_exception_fail(SWIG_TypeError, "in method '" "$symname" "', argument " "$argnum" " of type '" "$1_type" "'");
  }
}
// (record, scalar) pairs are the scalar setters: no check, SWIG skips the write itself.
%typemap(check) (Record *self, int), (Record *self, long long), (Record *self, double),
                (Record *self, bool), (Record *self, char) ""
%enddef

TC_REFUSE_NULL_RECORD(CQNLoginField)
TC_REFUSE_NULL_RECORD(CQNMarketDataField)
TC_REFUSE_NULL_RECORD(CQNOrderField)
TC_REFUSE_NULL_RECORD(CQNTransferAssetField)
TC_REFUSE_NULL_RECORD(CQNQueryCommandField)

// new_CQNLoginField(other) copies other field by field; None is not a record to copy.
%typemap(check, noblock=1) CQNLoginField *other {
  if (!$1) {
    SWIG_exception_fail(SWIG_TypeError, "in method '" "$symname" "', argument " "$argnum" " of type '" "$1_type" "'");
  }
}

// ---------------------------------------------------------------------------------------------
// The order calls (buyOpen, sellClose, sellOpen, buyClose, insertOrder) return their record as
// a CQNOrderField object made directly (recordobjects.swg), None for no record.
//
// The last object handed out is kept. When Python has let go of it entirely - nothing refers to
// it, to its `this` or to its attribute dictionary but ourselves, no weak reference, no attribute
// of its own, its class unchanged, not made owning - nobody can tell it from a new one, and the
// next order call hands it out again pointing at the new record: a strategy that follows its
// orders through their events and drops what the call returns pays for no object at all. Every
// step runs under the interpreter lock.
// ---------------------------------------------------------------------------------------------
%include "recordobjects.swg"
%{
namespace tcmodule {
static PyObject *spareOrderObject = nullptr;

// The spare's `this` when the spare can be handed out again, else null.
static SwigPyObject *reusableThis(PyTypeObject *cls, swig_type_info *type) {
  PyObject *inst = spareOrderObject;
  if (!inst || Py_REFCNT(inst) != 1 || Py_TYPE(inst) != cls) return nullptr;
  // The weak-reference list sits at this offset from the object (before it, for the managed
  // lists of newer interpreters).
  if (cls->tp_weaklistoffset != 0 &&
      *reinterpret_cast<PyObject **>(reinterpret_cast<char *>(inst) + cls->tp_weaklistoffset)) {
    return nullptr;
  }
  PyObject *dict = PyObject_GenericGetDict(inst, nullptr);
  if (!dict) {
    PyErr_Clear();
    return nullptr;
  }
  // Ours and the instance's references only; "this" and nothing else in it.
  const bool alone = Py_REFCNT(dict) <= 2 && PyDict_Size(dict) == 1;
  PyObject *self = alone ? PyDict_GetItemWithError(dict, tcobjects::thisName()) : nullptr;
  Py_DECREF(dict);
  if (!self) {
    PyErr_Clear();
    return nullptr;
  }
  if (Py_REFCNT(self) != 1 || !SwigPyObject_Check(self)) return nullptr;
  SwigPyObject *sobj = reinterpret_cast<SwigPyObject *>(self);
  if (sobj->ty != type || sobj->own != 0 || sobj->next) return nullptr;
  return sobj;
}

static PyObject *orderObject(CQNOrderField *record) {
  swig_type_info *type = SWIGTYPE_p_CQNOrderField;
  PyTypeObject *cls = record ? tcobjects::proxyClass(type) : nullptr;
  if (cls) {
    if (SwigPyObject *spareThis = reusableThis(cls, type)) {
      spareThis->ptr = SWIG_as_voidptr(record);
      Py_INCREF(spareOrderObject);
      return spareOrderObject;
    }
  }
  PyObject *inst = tcobjects::newRecordObject(SWIG_as_voidptr(record), type);
  if (cls && inst && Py_TYPE(inst) == cls) {
    Py_INCREF(inst);
    Py_XSETREF(spareOrderObject, inst);
  }
  return inst;
}
}  // namespace tcmodule
%}
%typemap(out) CQNOrderField *buyOpen, CQNOrderField *sellClose, CQNOrderField *sellOpen, CQNOrderField *buyClose,
              CQNOrderField *insertOrder "$result = tcmodule::orderObject($1);"
