// Cash and position transfers, their notifications and error responses, and the password change.
#include <cstring>

#include "events/Delivery.h"
#include "trader/CTORAStockTrader.h"
#include "trader/TraderDetail.h"

using namespace tc::trader;
using namespace tc::sdk::trader_names;  // the SDK's names (global in legacy builds)

namespace tc {

char outgoingTransferDirection(char transferFlag) {
    switch (transferFlag) {
    case ENUM_TransferFlag_CashFromBank: return TORA_TSTP_TRNSD_BankToStock;          // Z -> 7
    case ENUM_TransferFlag_CashUnfreeze: return TORA_TSTP_TRNSD_UnFreeze;             // Y -> 5
    case ENUM_TransferFlag_CashFromJZ: return TORA_TSTP_TRNSD_MoveIn;                 // X -> 2
    case ENUM_TransferFlag_CashFromExternNode: return TORA_TSTP_TRNSD_NodeMoveIn;     // W -> c
    case ENUM_TransferFlag_PositionFromExternNode: return TORA_TSTP_TRNSD_NodeMoveIn; // V -> c
    case ENUM_TransferFlag_CashToBank: return TORA_TSTP_TRNSD_StockToBank;            // S -> 6
    case ENUM_TransferFlag_CashFreeze: return TORA_TSTP_TRNSD_Freeze;                 // R -> 4
    case ENUM_TransferFlag_CashToJZ: return TORA_TSTP_TRNSD_MoveOut;                  // Q -> 3
    case ENUM_TransferFlag_CashToExternNode: return TORA_TSTP_TRNSD_NodeMoveOut;      // P -> d
    case ENUM_TransferFlag_PositionToExternNode: return TORA_TSTP_TRNSD_NodeMoveOut;  // O -> d
    // The SDK's own directions pass through unchanged.
    case '7': case '5': case '2': case 'c': case '6': case '4': case '3': case 'd':
        return transferFlag;
    default:
        return 0;
    }
}

}  // namespace tc

namespace {

bool isInbound(char d) { return d == '0' || d == '2' || d == '5' || d == '7' || d == 'c'; }
bool isOutbound(char d) { return d == '1' || d == '3' || d == '4' || d == '6' || d == 'd'; }

struct TransferOutcome {
    char status;
    int errorID;
    const char *message;
};

// What a transfer notification with SDK status `s` and direction `d` means for the record;
// false when the notification is to be ignored.
bool transferOutcome(char s, char d, TransferOutcome &out) {
    switch (s) {
    case TORA_TSTP_TRANST_TransferFail:
        out = {ENUM_TransferStatus_Failed, ENUM_ErrorID_FailToTransfer, kMsgFailToTransfer};
        return true;
    case TORA_TSTP_TRANST_RepealFail:
        out = {ENUM_TransferStatus_RepealFailed, ENUM_ErrorID_FailToTransfer, kMsgFailToTransfer};
        return true;
    default:
        break;
    }
    if (!isInbound(d) && !isOutbound(d)) return false;
    switch (s) {
    case TORA_TSTP_TRANST_TransferSuccess:
        out = {ENUM_TransferStatus_Succeed, 0, ""};
        return true;
    case TORA_TSTP_TRANST_RepealSuccess:
        out = {ENUM_TransferStatus_Repealed, ENUM_ErrorID_FailToTransfer, kMsgFailToTransfer};
        return true;
    case TORA_TSTP_TRANST_ExternalAccepted:
        out = {ENUM_TransferStatus_OutSideFrozen, 0, ""};
        return true;
    default:
        return false;
    }
}

bool validCashFlag(char flag) {
    switch (flag) {
    case 'W': case 'X': case 'Y': case 'Z': case 'P': case 'Q': case 'R': case 'S':
        return true;
    default:
        return false;
    }
}

template <std::size_t N>
void copyTextIfGiven(char (&field)[N], const char *text) {
    if (text) tc::copyText(field, text);
}

}  // namespace

tc::TransferSlot *CTORAStockTrader::newTransfer(int transferID, char transferFlag) {
    auto *slot = new tc::TransferSlot();
    slot->record.TransferID = transferID != 0 ? transferID : nextID();
    slot->record.TransferFlag = transferFlag;
    return slot;
}

void CTORAStockTrader::enterTransfer(tc::TransferSlot *slot) {
    transferIndexLock_.lock();
    transferIndex_[slot->record.TransferID] = slot;
    transferIndexLock_.unlock();
}

tc::TransferSlot *CTORAStockTrader::findTransfer(int transferID) const {
    transferIndexLock_.lock();
    auto it = transferIndex_.find(transferID);
    tc::TransferSlot *slot = it == transferIndex_.end() ? nullptr : it->second;
    transferIndexLock_.unlock();
    return slot;
}

tc::RecordBlock<CQNTransferAssetField> *CTORAStockTrader::transferCash(int transferID, char transferFlag,
                                                                       double amount, const char *accountPassword,
                                                                       const char *bankID, const char *bankPassword,
                                                                       const char *externalNodeID,
                                                                       const char * /*unused*/) {
    tc::TransferSlot *slot = newTransfer(transferID, transferFlag);
    CQNTransferAssetField &t = slot->record;
    t.Amount = amount;
    copyTextIfGiven(t.BankID, bankID);
    t.FrontID = frontID();
    t.SessionID = sessionID();
    copyTextIfGiven(t.ExternalNodeID, externalNodeID);
    // In the index before the request leaves, so that no notification can outrun it.
    enterTransfer(slot);

    if (!validCashFlag(transferFlag)) {
        t.ErrorID = ENUM_ErrorID_InvalidTransferFlag;
        tc::copyText(t.Message, kMsgInvalidTransferFlag);
        return slot;
    }
    CTORATstpInputTransferFundField req;
    std::memset(&req, 0, sizeof req);
    tc::copyField(req.AccountID, login_->AccountID);
    tc::sdk::putCurrencyCNY(req.CurrencyID);
    putRef(req.ApplySerial, t.TransferID);
    req.TransferDirection = tc::outgoingTransferDirection(transferFlag);
    req.Amount = amount;
    tc::copyField(req.DepartmentID, login_->DepartmentID);
    req.BankID = bankID ? bankID[0] : '\0';
    tc::copyText(req.BankPassword, bankPassword);
    tc::copyText(req.AccountPassword, accountPassword);
    req.ExternalNodeID = parseDecimal(externalNodeID);
    const int rc = api_ ? api_->ReqTransferFund(&req, t.TransferID) : ENUM_ErrorID_FailToCreateTrader;
    if (rc != 0) {
        // Under the lock like every write a notification could make to the record.
        tc::lockExclusive(&t);
        t.ErrorID = rc;
        tc::copyText(t.Message, kMsgFailToSend);
        tc::unlockExclusive(&t);
    }
    return slot;
}

tc::RecordBlock<CQNTransferAssetField> *CTORAStockTrader::transferPosition(int transferID, char transferFlag,
                                                                           int volume, const char *standardID,
                                                                           const char *externalNodeID,
                                                                           const char * /*unused*/,
                                                                           const char *exchangeID) {
    tc::TransferSlot *slot = newTransfer(transferID, transferFlag);
    CQNTransferAssetField &t = slot->record;
    t.Volume = volume;
    copyTextIfGiven(t.ExternalNodeID, externalNodeID);
    if (standardID) {
        tc::copyText(t.StandardID, standardID);
        if (exchangeID) {
            tc::copyText(t.ExchangeID, exchangeID);
        } else {
            char key[tc::kSecurityKeySize];
            tc::buildSecurityKey(key, standardID, "");
            if (const tc::SecurityEntry *security = tc::findSecurity(key)) tc::copyField(t.ExchangeID, security->ExchangeID);
        }
    }
    enterTransfer(slot);

    if (transferFlag != ENUM_TransferFlag_PositionFromExternNode && transferFlag != ENUM_TransferFlag_PositionToExternNode) {
        t.ErrorID = ENUM_ErrorID_InvalidTransferFlag;
        tc::copyText(t.Message, kMsgInvalidTransferFlag);
        return slot;
    }
    CTORATstpInputTransferPositionField req;
    std::memset(&req, 0, sizeof req);
    tc::copyField(req.InvestorID, login_->InvestorID);
    req.ExchangeID = t.ExchangeID[0];
    // Shanghai's shareholder account for exchange "1", Shenzhen's for any other.
    copyShareholderID(req.ExchangeID == TORA_TSTP_EXD_SSE ? TORA_TSTP_EXD_SSE : TORA_TSTP_EXD_SZSE, req.ShareholderID);
    tc::copyField(req.SecurityID, t.StandardID);
    putRef(req.ApplySerial, t.TransferID);
    req.TransferDirection = tc::outgoingTransferDirection(transferFlag);
    req.Volume = volume;
    req.TransferPositionType = '0';
    req.ExternalNodeID = parseDecimal(externalNodeID);
    const int rc = api_ ? api_->ReqTransferPosition(&req, t.TransferID) : ENUM_ErrorID_FailToCreateTrader;
    if (rc != 0) {
        // Under the lock like every write a notification could make to the record.
        tc::lockExclusive(&t);
        t.ErrorID = rc;
        tc::copyText(t.Message, kMsgFailToSend);
        tc::unlockExclusive(&t);
    }
    return slot;
}

void CTORAStockTrader::onTransferNotice(int eventID, int transferID, char status, int errorID, const char *message,
                                        const char *businessID) {
    // Transfers of other engines or sessions are not ours: they only moved the cash figure.
    tc::TransferSlot *slot = findTransfer(transferID);
    if (!slot) return;
    CQNTransferAssetField &t = slot->record;
    tc::lockExclusive(&t);
    t.TransferStatus = status;
    t.ErrorID = errorID;
    tc::copyText(t.Message, message);
    if (businessID && t.BusinessID[0] == '\0') tc::copyText(t.BusinessID, businessID);
    deliver(eventID, &t, true, t.ErrorID, t.Message);
    tc::unlockExclusive(&t);
}

void CTORAStockTrader::onTransferError(int eventID, int transferID, const CTORATstpRspInfoField *info, bool isLast) {
    const int errorID = errorIDOf(info);
    if (errorID == 0) return;
    tc::TransferSlot *slot = findTransfer(transferID);
    if (!slot) return;
    CQNTransferAssetField &t = slot->record;
    const ErrorText message(info);
    tc::lockExclusive(&t);
    bool &reported = eventID == ENUM_TORAStockEventID_TransferPosition ? slot->refusedAsPosition : slot->refusedAsCash;
    if (!reported) {
        reported = true;
        t.ErrorID = errorID;
        tc::copyText(t.Message, message.c_str());
        deliver(eventID, &t, isLast, t.ErrorID, t.Message);
    }
    tc::unlockExclusive(&t);
}

// --- notifications ----------------------------------------------------------------------------------

void CTORAStockTrader::OnRtnTransferFund(CTORATstpTransferFundField *n) {
    if (!n) return;
    TransferOutcome outcome;
    if (!transferOutcome(n->TransferStatus, n->TransferDirection, outcome)) return;
    const char s = n->TransferStatus;
    const char d = n->TransferDirection;
    double delta = 0;
    if (isInbound(d) && s == TORA_TSTP_TRANST_TransferSuccess) delta = n->Amount;
    if (isOutbound(d) && s == TORA_TSTP_TRANST_RepealSuccess) delta = n->Amount;
    if (isOutbound(d) && s == TORA_TSTP_TRANST_ExternalAccepted) delta = -n->Amount;
    if (delta != 0) {
        lockCash();
        addUseableCash(delta);
        unlockCash();
    }
    const RefText serial(n->FundSerial);
    onTransferNotice(ENUM_TORAStockEventID_PeripheryTransferCash, refOf(n->ApplySerial), outcome.status,
                     outcome.errorID, outcome.message, serial.c_str());
}

void CTORAStockTrader::OnRtnPeripheryTransferFund(CTORATstpRtnPeripheryTransferFundField *n) {
    if (!n) return;
    TransferOutcome outcome;
    if (!transferOutcome(n->TransferStatus, n->TransferDirection, outcome)) return;
    const char s = n->TransferStatus;
    const char d = n->TransferDirection;
    double delta = 0;
    if (isInbound(d) && s == TORA_TSTP_TRANST_RepealSuccess) delta = n->Amount;
    if (isInbound(d) && s == TORA_TSTP_TRANST_ExternalAccepted) delta = -n->Amount;
    if (isOutbound(d) && s == TORA_TSTP_TRANST_TransferSuccess) delta = n->Amount;
    if (delta != 0) {
        lockCash();
        addUseableCash(delta);
        unlockCash();
    }
    onTransferNotice(ENUM_TORAStockEventID_PeripheryTransferCash, n->ApplySerial, outcome.status, outcome.errorID,
                     outcome.message, nullptr);
}

void CTORAStockTrader::OnRtnPeripheryTransferPosition(CTORATstpRtnPeripheryTransferPositionField *n) {
    if (!n) return;
    TransferOutcome outcome;
    if (!transferOutcome(n->TransferStatus, n->TransferDirection, outcome)) return;
    onTransferNotice(ENUM_TORAStockEventID_TransferCash, n->ApplySerial, outcome.status, outcome.errorID,
                     outcome.message, nullptr);
}

void CTORAStockTrader::OnRtnTransferPosition(CTORATstpTransferPositionField *n) {
    if (!n) return;
    TransferOutcome outcome;
    if (!transferOutcome(n->TransferStatus, n->TransferDirection, outcome)) return;
    const RefText serial(n->PositionSerial);
    onTransferNotice(ENUM_TORAStockEventID_TransferPosition, refOf(n->ApplySerial), outcome.status,
                     outcome.errorID, outcome.message, serial.c_str());
}

// --- error responses -----------------------------------------------------------------------------------

void CTORAStockTrader::OnRspTransferFund(CTORATstpInputTransferFundField *req, CTORATstpRspInfoField *info,
                                         int /*nRequestID*/, bool bIsLast) {
    if (!req || !info) return;
    onTransferError(ENUM_TORAStockEventID_TransferCash, refOf(req->ApplySerial), info, bIsLast);
}

void CTORAStockTrader::OnErrRtnTransferFund(CTORATstpInputTransferFundField *req, CTORATstpRspInfoField *info) {
    if (!req || !info) return;
    onTransferError(ENUM_TORAStockEventID_TransferCash, refOf(req->ApplySerial), info, true);
}

void CTORAStockTrader::OnRspTransferPosition(CTORATstpInputTransferPositionField *req, CTORATstpRspInfoField *info,
                                             int /*nRequestID*/, bool bIsLast) {
    if (!req || !info) return;
    onTransferError(ENUM_TORAStockEventID_TransferCash, refOf(req->ApplySerial), info, bIsLast);
}

void CTORAStockTrader::OnErrRtnTransferPosition(CTORATstpInputTransferPositionField *req,
                                                CTORATstpRspInfoField *info) {
    if (!req || !info) return;
    onTransferError(ENUM_TORAStockEventID_TransferPosition, refOf(req->ApplySerial), info, true);
}

// --- password ---------------------------------------------------------------------------------------------

int CTORAStockTrader::updatePassword(char passwordFlag, const char *oldPassword, const char *newPassword,
                                     int /*reserved*/) {
    if (passwordFlag != ENUM_PasswordFlag_UserPassword) return ENUM_ErrorID_InvalidPasswordFlag;
    CTORATstpUserPasswordUpdateField req;
    std::memset(&req, 0, sizeof req);
    tc::copyField(req.UserID, login_->UserID);
    tc::copyText(req.OldPassword, oldPassword);
    tc::copyText(req.NewPassword, newPassword);
    return api_ ? api_->ReqUserPasswordUpdate(&req, 0) : ENUM_ErrorID_FailToCreateTrader;
}

void CTORAStockTrader::OnRspUserPasswordUpdate(CTORATstpUserPasswordUpdateField *pUserPasswordUpdateField,
                                               CTORATstpRspInfoField *pRspInfoField, int /*nRequestID*/,
                                               bool bIsLast) {
    // Only the user password is ever changed (updatePassword sends no other flag). Once the broker
    // confirms it, the old one would fail the next login; an answer that does not say the new
    // one changes nothing.
    if (errorIDOf(pRspInfoField) == 0 && pUserPasswordUpdateField && pUserPasswordUpdateField->NewPassword[0]) {
        char password[sizeof pUserPasswordUpdateField->NewPassword + 1];
        tc::copyField(password, pUserPasswordUpdateField->NewPassword);
        takeNewPassword(password);
    }
    const ErrorText message(pRspInfoField);
    deliver(ENUM_TORAStockEventID_UpdateUserPassword, pUserPasswordUpdateField, bIsLast, errorIDOf(pRspInfoField),
            message.c_str());
}
