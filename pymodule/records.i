// _records: wrapped pointers from the record addresses that events carry as Python ints.
//
// Built with the same SWIG runtime as _tradecore, so it joins the same type table at import: its
// "_p_CQNOrderField" is the very descriptor _tradecore registered the CQNOrderField class on, and
// a pointer made here comes back as a tradecore.CQNOrderField that _tradecore's functions accept.
// Nothing made here owns its record: the engine keeps every record it hands out.
// tradecore.record() and tradecore.pointer() are the Python faces of these functions.
%module records

// Nothing here blocks or takes long: keep the interpreter lock.
%nothread;

%{
#include <cstdint>
#include "records/QNRecords.h"
%}

// Only the pointer types are needed here, not the layouts.
struct CQNOrderField;
struct CQNMarketDataField;
struct CQNTransferAssetField;

// The record objects are made directly, like the order calls' (recordobjects.swg).
%include "recordobjects.swg"
%typemap(out) CQNOrderField *, CQNMarketDataField *, CQNTransferAssetField *
  "$result = tcobjects::newRecordObject(SWIG_as_voidptr($1), $descriptor);"

%inline %{
CQNOrderField *orderAt(unsigned long long address) {
    return reinterpret_cast<CQNOrderField *>(static_cast<std::uintptr_t>(address));
}
CQNMarketDataField *marketDataAt(unsigned long long address) {
    return reinterpret_cast<CQNMarketDataField *>(static_cast<std::uintptr_t>(address));
}
CQNTransferAssetField *transferAssetAt(unsigned long long address) {
    return reinterpret_cast<CQNTransferAssetField *>(static_cast<std::uintptr_t>(address));
}
void *pointerAt(unsigned long long address) {
    return reinterpret_cast<void *>(static_cast<std::uintptr_t>(address));
}
%}
