// Every TORA record as a list of fields (from the generated table), records to and from JSON
// objects, and every callback callable by name with JSON arguments.
#ifndef TORASIM_SIMFIELDS_H
#define TORASIM_SIMFIELDS_H

#include "SimControl.h"
#include "SimJson.h"

#include <cstddef>
#include <string>
#include <vector>

namespace torasim {
namespace detail {

enum class FieldKind { Text, Char, Int, Int64, Double, Short };

struct FieldDesc {
    const char* name;
    FieldKind kind;
    std::size_t offset;
    std::size_t size;
};

struct RecordDesc {
    const char* name;
    std::size_t size;
    std::vector<FieldDesc> fields;
};

const RecordDesc* findRecord(const std::string& name);
std::vector<std::string> recordNames();

// The record's fields as a JSON object (texts as byte strings, chars as one-byte strings).
Json recordToJson(const RecordDesc& d, const void* record);
// Fills a zeroed record from a JSON object. Unknown field names or wrong value types fail.
bool recordFromJson(const RecordDesc& d, const Json& obj, void* record, std::string& error);

template <class T>
Json toJson(const T& rec, const char* name)
{
    const RecordDesc* d = findRecord(name);
    return d ? recordToJson(*d, &rec) : Json();
}

// The record type a request carries ("" for none or a record only declared by the headers).
std::string requestRecordName(const std::string& requestType);

// Calls the callback `name` of the trader (md) SPI with arguments from `args`:
//   {"record": {...fields}, "ErrorID": n, "ErrorMsg": "...", "requestID": n, "isLast": b, "reason": n}
// A missing "record" passes no record; a missing ErrorID and ErrorMsg pass no error info.
// Returns a callable for post()/postMd(), or an empty function with `error` set.
std::function<void(CTORATstpTraderSpi*)> traderCallback(const std::string& name, const Json& args, std::string& error);
std::function<void(CTORATstpMdSpi*)> mdCallback(const std::string& name, const Json& args, std::string& error);

}  // namespace detail
}  // namespace torasim

#endif  // TORASIM_SIMFIELDS_H
