// The engine's own error codes and their fixed messages. The table is filled once while the
// library loads and only read afterwards, so lookups need no lock.
#include <unordered_map>

#include "engine/tradecore_api.h"
#include "records/QNRecords.h"

// The declarations in the shared header carry the export attribute and external linkage.
const char ENUM_ErrorMsg_None[256] = "";
const char ENUM_ErrorMsg_Unsupported[256] = "Error:Unsupported.";
const char ENUM_ErrorMsg_InvalidRunID[256] = "Error:ID should belong to [0,INT_MAX].";
const char ENUM_ErrorMsg_InvalidLoginField[256] = "Error:Invalid LoginField.";
const char ENUM_ErrorMsg_InvalidUserID[256] = "Error:Invalid UserID.";
const char ENUM_ErrorMsg_InvalidPassword[256] = "Error:Invalid Password.";
const char ENUM_ErrorMsg_InvalidUserType[256] = "Error:Invalid UserType.";
const char ENUM_ErrorMsg_InvalidTraderFront[256] = "Error:Invalid TraderFront.";
const char ENUM_ErrorMsg_InvalidMdFront[256] = "Error:Invalid MdFront.";
const char ENUM_ErrorMsg_InvalidFilePath[256] = "Error:Invalid FilePath.";
const char ENUM_ErrorMsg_InvalidBrokerID[256] = "Error:Invalid BrokerID.";
const char ENUM_ErrorMsg_InvalidAppID[256] = "Error:Invalid AppID.";
const char ENUM_ErrorMsg_InvalidAuthCode[256] = "Error:Invalid AuthCode.";
const char ENUM_ErrorMsg_FailToCreateTrader[256] = "Error:Fail To Create Trader.";
const char ENUM_ErrorMsg_TraderConnectTimeout[256] = "Error:Trader Connect Timeout.";
const char ENUM_ErrorMsg_TraderDisconnected[256] = "Error:Trader Disconnected.";
const char ENUM_ErrorMsg_FailToCreateMd[256] = "Error:Fail To Create Md.";
const char ENUM_ErrorMsg_MdConnectTimeout[256] = "Error:Md Connect Timeout.";
const char ENUM_ErrorMsg_MdDisconnected[256] = "Error:Md Disconnected.";
const char ENUM_ErrorMsg_InvalidTraderInstance[256] = "Error:Invalid Trader Instance.";
const char ENUM_ErrorMsg_InvalidMdInstance[256] = "Error:Invalid Md Instance.";
const char ENUM_ErrorMsg_FailToSend[256] = "Error:Fail To Send.";
const char ENUM_ErrorMsg_ResponseTimeout[256] = "Error:Response Timeout.";
const char ENUM_ErrorMsg_InvalidPrice[256] = "Error:Invalid Price.";
const char ENUM_ErrorMsg_InvalidVolume[256] = "Error:Invalid Volume.";
const char ENUM_ErrorMsg_BrokerReject[256] = "Error:Broker Reject.";
const char ENUM_ErrorMsg_ExchangeReject[256] = "Error:Exchange Reject.";
const char ENUM_ErrorMsg_InvalidOrderEventID[256] = "Error:Invalid OrderEventID.";
const char ENUM_ErrorMsg_InvalidMarketDataType[256] = "Error:Invalid MarketDataType.";
const char ENUM_ErrorMsg_InvalidSnapDataEventID[256] = "Error:Invalid SnapDataEventID.";
const char ENUM_ErrorMsg_InvalidDetailDataEventID[256] = "Error:Invalid DetailDataEventID.";
const char ENUM_ErrorMsg_InvalidEventID[256] = "Error:Invalid EventID.";
const char ENUM_ErrorMsg_InvalidPasswordFlag[256] = "Error:Invalid PasswordFlag.";
const char ENUM_ErrorMsg_InvalidTransferFlag[256] = "Error:Invalid TransferFlag.";
const char ENUM_ErrorMsg_InvalidStandardID[256] = "Error:Invalid StandardID.";
const char ENUM_ErrorMsg_FailToTransfer[256] = "Error:Fail To Transfer.";

namespace {

using MessageTable = std::unordered_map<int, const char *>;

// Filled in table order on first use; the static below makes that first use happen while the
// library loads, before any exported function can run.
const MessageTable &messageTable() {
    static const MessageTable table = [] {
        MessageTable t;
#define TC_ERROR_ROW(name) t.emplace(ENUM_ErrorID_##name, ENUM_ErrorMsg_##name)
        TC_ERROR_ROW(None);
        TC_ERROR_ROW(Unsupported);
        TC_ERROR_ROW(InvalidRunID);
        TC_ERROR_ROW(InvalidLoginField);
        TC_ERROR_ROW(InvalidUserID);
        TC_ERROR_ROW(InvalidPassword);
        TC_ERROR_ROW(InvalidUserType);
        TC_ERROR_ROW(InvalidTraderFront);
        TC_ERROR_ROW(InvalidMdFront);
        TC_ERROR_ROW(InvalidFilePath);
        TC_ERROR_ROW(InvalidBrokerID);
        TC_ERROR_ROW(InvalidAppID);
        TC_ERROR_ROW(InvalidAuthCode);
        TC_ERROR_ROW(FailToCreateTrader);
        TC_ERROR_ROW(TraderConnectTimeout);
        TC_ERROR_ROW(TraderDisconnected);
        TC_ERROR_ROW(FailToCreateMd);
        TC_ERROR_ROW(MdConnectTimeout);
        TC_ERROR_ROW(MdDisconnected);
        TC_ERROR_ROW(InvalidTraderInstance);
        TC_ERROR_ROW(InvalidMdInstance);
        TC_ERROR_ROW(FailToSend);
        TC_ERROR_ROW(ResponseTimeout);
        TC_ERROR_ROW(InvalidPrice);
        TC_ERROR_ROW(InvalidVolume);
        TC_ERROR_ROW(BrokerReject);
        TC_ERROR_ROW(ExchangeReject);
        TC_ERROR_ROW(InvalidOrderEventID);
        TC_ERROR_ROW(InvalidMarketDataType);
        TC_ERROR_ROW(InvalidSnapDataEventID);
        TC_ERROR_ROW(InvalidDetailDataEventID);
        TC_ERROR_ROW(InvalidEventID);
        TC_ERROR_ROW(InvalidPasswordFlag);
        TC_ERROR_ROW(InvalidTransferFlag);
        TC_ERROR_ROW(InvalidStandardID);
        TC_ERROR_ROW(FailToTransfer);
#undef TC_ERROR_ROW
        return t;
    }();
    return table;
}

[[maybe_unused]] const MessageTable &kLoadedTable = messageTable();

}  // namespace

extern "C" TRADECORE_API const char *getMessageByErrorID(TQNErrorIDType ErrorID) {
    const MessageTable &table = messageTable();
    auto it = table.find(ErrorID);
    return it == table.end() ? ENUM_ErrorMsg_None : it->second;
}
