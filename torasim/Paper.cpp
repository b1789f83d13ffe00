// The paper broker's account side: login, queries, orders and their matching, cancels,
// transfers and the password change.
#include "SimPaper.h"
#include "SimSdk.h"

#include <algorithm>
#include <cmath>
#include <type_traits>

namespace torasim {
namespace detail {

namespace {

CTORATstpRspInfoField okInfo()
{
    CTORATstpRspInfoField i;
    std::memset(&i, 0, sizeof i);
    return i;
}

template <class T>
T zeroed()
{
    static_assert(std::is_trivially_copyable<T>::value, "TORA records are plain structs");
    T t;
    std::memset(static_cast<void*>(&t), 0, sizeof t);
    return t;
}

bool inboundFund(char d)
{
    return d == TORA_TSTP_TRNSD_In || d == TORA_TSTP_TRNSD_MoveIn || d == TORA_TSTP_TRNSD_UnFreeze ||
           d == TORA_TSTP_TRNSD_BankToStock || d == TORA_TSTP_TRNSD_NodeMoveIn;
}

bool outboundFund(char d)
{
    return d == TORA_TSTP_TRNSD_Out || d == TORA_TSTP_TRNSD_MoveOut || d == TORA_TSTP_TRNSD_Freeze ||
           d == TORA_TSTP_TRNSD_StockToBank || d == TORA_TSTP_TRNSD_NodeMoveOut;
}

bool inboundPosition(char d)
{
    return d == TORA_TSTP_TRNSD_In || d == TORA_TSTP_TRNSD_MoveIn || d == TORA_TSTP_TRNSD_NodeMoveIn;
}

bool outboundPosition(char d)
{
    return d == TORA_TSTP_TRNSD_Out || d == TORA_TSTP_TRNSD_MoveOut || d == TORA_TSTP_TRNSD_NodeMoveOut;
}

// --- the answer callback of every trader request, from the generated table ---------------------

template <class RQ, class RS>
RS* echoInto(const Request& r, RS& buf)
{
    if constexpr (std::is_same<RQ, RS>::value) {
        if (r.bytes.size() != sizeof(RS)) return nullptr;
        buf = r.as<RS>();
        return &buf;
    } else {
        (void)r;
        (void)buf;
        return nullptr;
    }
}

using GenericFn = void (*)(CTORATstpTraderSpi*, const Request&, CTORATstpRspInfoField*);

#define SIM_ANSWER_REC_RSP(CB, RQ, RS)    \
    RS rec = zeroed<RS>();                \
    s->CB(echoInto<RQ, RS>(r, rec), info, r.requestID, true);
#define SIM_ANSWER_REC_PAGED(CB, RQ, RS)  \
    RS rec = zeroed<RS>();                \
    s->CB(echoInto<RQ, RS>(r, rec), info, r.requestID, true, true);
#define SIM_ANSWER_OPAQUE_RSP(CB, RQ, RS) s->CB(nullptr, info, r.requestID, true);
#define SIM_ANSWER_OPAQUE_PAGED(CB, RQ, RS) s->CB(nullptr, info, r.requestID, true, true);
#define SIM_TRADER_REQUEST(M, RQ, RQK, CB, RS, RSK, SHAPE)                                   \
    {#M, [](CTORATstpTraderSpi* s, const Request& r, CTORATstpRspInfoField* info) {          \
         SIM_ANSWER_##RSK##_##SHAPE(CB, RQ, RS)                                              \
     }},

const std::unordered_map<std::string, GenericFn>& genericTable()
{
    static const std::unordered_map<std::string, GenericFn> table = {
#include "SimTables.inc"
    };
    return table;
}

#undef SIM_ANSWER_REC_RSP
#undef SIM_ANSWER_REC_PAGED
#undef SIM_ANSWER_OPAQUE_RSP
#undef SIM_ANSWER_OPAQUE_PAGED


// The answer to a market-data (un)subscription request, by the request's method name; a name
// that is no subscription gets a generic error answer.
void answerSubscription(CTORATstpMdSpi* s, const std::string& type, CTORATstpSpecificSecurityField* sec,
                        CTORATstpRspInfoField* info, bool last)
{
    if (type == "SubscribeMarketData")
        s->OnRspSubMarketData(sec, info, 0, last);
    else if (type == "UnSubscribeMarketData")
        s->OnRspUnSubMarketData(sec, info, 0, last);
    else if (type == "SubscribePHMarketData")
        s->OnRspSubPHMarketData(sec, info, 0, last);
    else if (type == "UnSubscribePHMarketData")
        s->OnRspUnSubPHMarketData(sec, info, 0, last);
    else if (type == "SubscribeSpecialMarketData")
        s->OnRspSubSpecialMarketData(sec, info, 0, last);
    else if (type == "UnSubscribeSpecialMarketData")
        s->OnRspUnSubSpecialMarketData(sec, info, 0, last);
    else
        s->OnRspError(info, 0, last);
}
}  // namespace

bool Paper::genericAnswer(CTORATstpTraderSpi* spi, const Request& r, CTORATstpRspInfoField* info)
{
    const auto& t = genericTable();
    auto it = t.find(r.type);
    if (it == t.end()) return false;
    it->second(spi, r, info);
    return true;
}

Paper::Paper(Broker::Impl& broker) : b_(broker) { configure(PaperConfig()); }

bool Paper::configure(const PaperConfig& cfg)
{
    cfg_ = cfg;
    password_ = cfg.password;
    orders_.clear();
    bySysID_.clear();
    trades_.clear();
    actions_.clear();
    fundTransfers_.clear();
    posTransfers_.clear();
    positions_.clear();
    account_ = AccountState();
    account_.cash = cfg.cash;
    account_.available = cfg.cash;
    deposit_ = withdraw_ = 0;
    bankBalance_ = 1e8;
    bool csvOk = loadCsv();
    buildSecurities();
    if (cfg_.securities.empty() && csv_.empty()) {
        // Say which securities the default list holds, as configured ones.
        for (const Sec& sec : secs_) cfg_.securities.push_back(sec.cfg);
    }
    for (const PositionConfig& pc : cfg.positions) {
        Sec* s = findSec(pc.securityID, pc.exchangeID);
        if (!s || pc.volume <= 0) continue;
        Pos& p = posFor(*s);
        p.st.historyVolume += pc.volume;
        p.st.volume += pc.volume;
        p.st.available += pc.volume;
        p.st.openCost += pc.openCost > 0 ? pc.openCost : static_cast<double>(pc.volume) * s->cfg.preClosePrice;
        p.prePosition += pc.volume;
    }
    loadJournal();
    // A fresh day is written at once: it replaces another day's journal.
    touch();
    saveJournal();
    return csvOk;
}

std::string Paper::shareholderFor(char exchangeID) const
{
    if (exchangeID == TORA_TSTP_EXD_SSE) return cfg_.shareholderSSE;
    if (exchangeID == TORA_TSTP_EXD_SZSE) return cfg_.shareholderSZSE;
    return std::string();
}

Paper::Pos* Paper::findPos(const std::string& id, char exchangeID)
{
    auto it = positions_.find(id + "." + exchangeID);
    return it == positions_.end() ? nullptr : &it->second;
}

Paper::Pos& Paper::posFor(const Sec& s)
{
    Pos& p = positions_[s.cfg.securityID + "." + s.cfg.exchangeID];
    p.st.securityID = s.cfg.securityID;
    p.st.exchangeID = s.cfg.exchangeID;
    return p;
}

double Paper::fee(double turnover, bool sell) const
{
    double f = 0;
    if (cfg_.commissionRate > 0 || cfg_.minCommission > 0) f = std::max(cfg_.minCommission, turnover * cfg_.commissionRate);
    if (sell) f += turnover * cfg_.stampTaxRate;
    return std::round(f * 100) / 100;
}

std::vector<LedgerOrder> Paper::orders() const
{
    std::vector<LedgerOrder> v;
    v.reserve(orders_.size());
    for (const Ord& o : orders_) v.push_back(o.led);
    return v;
}

std::vector<PositionState> Paper::positions() const
{
    std::vector<PositionState> v;
    for (const auto& kv : positions_) v.push_back(kv.second.st);
    return v;
}

template <class T, class Fill>
std::vector<T> Paper::perExchange(char wanted, Fill fill)
{
    std::vector<T> out;
    for (char ex : {TORA_TSTP_EXD_SSE, TORA_TSTP_EXD_SZSE}) {
        if (wanted && wanted != ex) continue;
        T f = zeroed<T>();
        if (fill(f, ex)) out.push_back(f);
    }
    return out;
}

template <class T>
void Paper::answerList(Link& link, int requestID, std::vector<T> recs,
                       void (CTORATstpTraderSpi::*cb)(T*, CTORATstpRspInfoField*, int, bool))
{
    if (recs.empty()) {
        b_.answer(link, [cb, requestID](CTORATstpTraderSpi* s) {
            CTORATstpRspInfoField ok = okInfo();
            (s->*cb)(nullptr, &ok, requestID, true);
        });
        return;
    }
    for (std::size_t i = 0; i < recs.size(); ++i) {
        bool last = i + 1 == recs.size();
        T rec = recs[i];
        b_.answer(link, [cb, requestID, rec, last](CTORATstpTraderSpi* s) mutable {
            CTORATstpRspInfoField ok = okInfo();
            (s->*cb)(&rec, &ok, requestID, last);
        });
    }
}

// --- dispatch ------------------------------------------------------------------------------

const std::unordered_map<std::string, Paper::Handler>& Paper::traderHandlers()
{
    static const std::unordered_map<std::string, Handler> table = {
        {"ReqUserLogin", &Paper::userLogin},
        {"ReqUserLogout", &Paper::userLogout},
        {"ReqUserPasswordUpdate", &Paper::passwordUpdate},
        {"ReqOrderInsert", &Paper::orderInsert},
        {"ReqOrderAction", &Paper::orderAction},
        {"ReqCondOrderInsert", &Paper::notSupported},
        {"ReqCondOrderAction", &Paper::notSupported},
        {"ReqTransferCollateral", &Paper::notSupported},
        {"ReqTransferFund", &Paper::transferFund},
        {"ReqTransferPosition", &Paper::transferPosition},
        {"ReqQrySecurity", &Paper::qrySecurity},
        {"ReqQryShareholderAccount", &Paper::qryShareholderAccount},
        {"ReqQryTradingAccount", &Paper::qryTradingAccount},
        {"ReqQryPosition", &Paper::qryPosition},
        {"ReqQryOrder", &Paper::qryOrder},
        {"ReqQryTrade", &Paper::qryTrade},
        {"ReqQryOrderAction", &Paper::qryOrderAction},
        {"ReqQryInvestor", &Paper::qryInvestor},
        {"ReqQryUser", &Paper::qryUser},
        {"ReqQryExchange", &Paper::qryExchange},
        {"ReqQryMarket", &Paper::qryMarket},
        {"ReqQryMarketData", &Paper::qryMarketData},
        {"ReqQryTradingFee", &Paper::qryTradingFee},
        {"ReqQryInvestorTradingFee", &Paper::qryInvestorTradingFee},
        {"ReqQryIPOQuota", &Paper::qryIPOQuota},
        {"ReqQryOrderFundDetail", &Paper::qryOrderFundDetail},
        {"ReqQryFundTransferDetail", &Paper::qryFundTransferDetail},
        {"ReqQryPositionTransferDetail", &Paper::qryPositionTransferDetail},
        {"ReqInquiryJZFund", &Paper::inquiryJZFund},
        {"ReqInquiryBankAccountFund", &Paper::inquiryBankAccountFund},
        {"ReqInquiryMaxOrderVolume", &Paper::inquiryMaxOrderVolume},
        {"ReqInquiryNodeFundAssignment", &Paper::inquiryNodeFundAssignment},
#if TORASIM_HAS_GET_CONNECTION_INFO
        {"ReqGetConnectionInfo", &Paper::getConnectionInfo},
#endif
    };
    return table;
}

void Paper::handle(Link& link, const Request& r)
{
    if (r.type != "ReqUserLogin" && !link.loggedIn) {
        reject(link, r, kErrNotLoggedIn, kMsgNotLoggedIn);
        return;
    }
    if (r.side == Side::Md) {
        mdRequest(link, r);
        return;
    }
    const auto& t = traderHandlers();
    auto it = t.find(r.type);
    if (it != t.end()) {
        (this->*(it->second))(link, r);
        // Queries leave the ledger as it was; everything else may have changed it.
        if (r.type.compare(0, 6, "ReqQry") != 0 && r.type.compare(0, 10, "ReqInquiry") != 0) touch();
        saveJournal();
        return;
    }
    // Everything else: an empty (or echoing) final answer without error.
    Request copy = r;
    b_.answer(link, [copy](CTORATstpTraderSpi* s) {
        CTORATstpRspInfoField ok = okInfo();
        genericAnswer(s, copy, &ok);
    });
}

void Paper::reject(Link& link, const Request& r, int errorID, const char* msg)
{
    CTORATstpRspInfoField info = Broker::rspInfo(errorID, msg);
    int id = r.requestID;
    if (r.side == Side::Md) {
        if (r.type == "ReqUserLogin" || r.type == "ReqUserLogout") {
            bool login = r.type == "ReqUserLogin";
            b_.answerMd(link, [info, id, login](CTORATstpMdSpi* s) mutable {
                if (login)
                    s->OnRspUserLogin(nullptr, &info, id, true);
                else
                    s->OnRspUserLogout(nullptr, &info, id, true);
            });
        } else if (!r.securities.empty() && r.type.find("Subscribe") != std::string::npos) {
            for (std::size_t i = 0; i < r.securities.size(); ++i) {
                CTORATstpSpecificSecurityField sec = zeroed<CTORATstpSpecificSecurityField>();
                sec.ExchangeID = r.exchangeID;
                copyText(sec.SecurityID, r.securities[i]);
                bool last = i + 1 == r.securities.size();
                std::string type = r.type;
                b_.answerMd(link, [info, sec, last, type](CTORATstpMdSpi* s) mutable {
                    answerSubscription(s, type, &sec, &info, last);
                });
            }
        } else {
            b_.answerMd(link, [info, id](CTORATstpMdSpi* s) mutable { s->OnRspError(&info, id, true); });
        }
        return;
    }

    if (r.type == "ReqOrderInsert") {
        CTORATstpInputOrderField in = r.as<CTORATstpInputOrderField>();
        // The front keeps refused orders in the day's book too, without an OrderSysID.
        Ord o;
        o.led.frontID = link.frontID;
        o.led.sessionID = link.sessionID;
        o.led.orderRef = static_cast<int>(parseInt(in.OrderRef));
        o.led.requestID = id;
        o.led.investorID = fieldText(in.InvestorID);
        o.led.securityID = fieldText(in.SecurityID);
        o.led.exchangeID = in.ExchangeID;
        o.led.direction = in.Direction;
        o.led.orderPriceType = in.OrderPriceType;
        o.led.timeCondition = in.TimeCondition;
        o.led.volumeCondition = in.VolumeCondition;
        o.led.limitPrice = in.LimitPrice;
        o.led.volume = in.VolumeTotalOriginal;
        o.led.cancelledVolume = in.VolumeTotalOriginal;
        o.led.orderStatus = TORA_TSTP_OST_Canceled;
        o.led.submitStatus = TORA_TSTP_OSS_InsertRejected;
        o.led.errorID = errorID;
        o.led.statusMsg = msg ? msg : "";
        o.led.insertTime = brokerNow().time;
        o.input = in;
        o.linkID = link.id;
        orders_.push_back(o);
        touch();
        saveJournal();
        b_.answer(link, [in, info, id](CTORATstpTraderSpi* s) mutable { s->OnRspOrderInsert(&in, &info, id, true); });
        b_.noticeOn(link, [in, info](CTORATstpTraderSpi* s) mutable { s->OnErrRtnOrderInsert(&in, &info); });
        return;
    }
    if (r.type == "ReqOrderAction") {
        CTORATstpInputOrderActionField in = r.as<CTORATstpInputOrderActionField>();
        CTORATstpOrderActionField act = zeroed<CTORATstpOrderActionField>();
        copyText(act.InvestorID, in.InvestorID);
        copyText(act.OrderActionRef, in.OrderActionRef);
        copyText(act.OrderRef, in.OrderRef);
        act.RequestID = id;
        act.FrontID = in.FrontID;
        act.SessionID = in.SessionID;
        act.ExchangeID = in.ExchangeID;
        copyText(act.OrderSysID, in.OrderSysID);
        act.ActionFlag = in.ActionFlag;
        copyText(act.UserID, in.UserID);
        copyText(act.SecurityID, in.SecurityID);
        copyText(act.StatusMsg, msg);
        act.OrderActionStatus = TORA_TSTP_OAS_Rejected;
        BrokerTime t = brokerNow();
        copyText(act.ActionDate, cfg_.tradingDay);
        copyText(act.ActionTime, t.time);
        actions_.push_back(act);
        b_.answer(link, [in, info, id](CTORATstpTraderSpi* s) mutable { s->OnRspOrderAction(&in, &info, id, true); });
        b_.noticeOn(link, [act, info](CTORATstpTraderSpi* s) mutable { s->OnErrRtnOrderAction(&act, &info); });
        return;
    }
    if (r.type == "ReqTransferFund") {
        CTORATstpInputTransferFundField in = r.as<CTORATstpInputTransferFundField>();
        b_.answer(link, [in, info, id](CTORATstpTraderSpi* s) mutable { s->OnRspTransferFund(&in, &info, id, true); });
        b_.noticeOn(link, [in, info](CTORATstpTraderSpi* s) mutable { s->OnErrRtnTransferFund(&in, &info); });
        return;
    }
    if (r.type == "ReqTransferPosition") {
        CTORATstpInputTransferPositionField in = r.as<CTORATstpInputTransferPositionField>();
        b_.answer(link, [in, info, id](CTORATstpTraderSpi* s) mutable { s->OnRspTransferPosition(&in, &info, id, true); });
        b_.noticeOn(link, [in, info](CTORATstpTraderSpi* s) mutable { s->OnErrRtnTransferPosition(&in, &info); });
        return;
    }
    if (r.type == "ReqCondOrderInsert") {
        b_.answer(link, [info, id](CTORATstpTraderSpi* s) mutable { s->OnRspCondOrderInsert(nullptr, &info, id, true); });
        b_.noticeOn(link, [info](CTORATstpTraderSpi* s) mutable { s->OnErrRtnCondOrderInsert(nullptr, &info); });
        return;
    }
    if (r.type == "ReqCondOrderAction") {
        b_.answer(link, [info, id](CTORATstpTraderSpi* s) mutable { s->OnRspCondOrderAction(nullptr, &info, id, true); });
        b_.noticeOn(link, [info](CTORATstpTraderSpi* s) mutable { s->OnErrRtnCondOrderAction(nullptr, &info); });
        return;
    }
    Request copy = r;
    b_.answer(link, [copy, info](CTORATstpTraderSpi* s) mutable {
        if (!genericAnswer(s, copy, &info)) s->OnRspError(&info, copy.requestID, true);
    });
}

// --- session --------------------------------------------------------------------------------

void Paper::userLogin(Link& link, const Request& r)
{
    CTORATstpReqUserLoginField in = r.as<CTORATstpReqUserLoginField>();
    if (!password_.empty() && fieldText(in.Password) != password_) {
        reject(link, r, kErrBadPassword, kMsgBadPassword);
        return;
    }
    link.loggedIn = true;
    link.frontID = cfg_.frontID;
    link.sessionID = b_.nextSessionID++;
    link.userID = fieldText(in.LogInAccount);
    CTORATstpRspUserLoginField a = zeroed<CTORATstpRspUserLoginField>();
    BrokerTime t = brokerNow();
    copyText(a.LoginTime, t.time);
    copyText(a.LogInAccount, in.LogInAccount);
    a.LogInAccountType = in.LogInAccountType;
    copyText(a.SystemName, "TORA");
    a.FrontID = link.frontID;
    a.SessionID = link.sessionID;
    copyText(a.MaxOrderRef, "0");
    copyText(a.TradingDay, cfg_.tradingDay);
    copyText(a.UserID, in.LogInAccount[0] ? fieldText(in.LogInAccount) : cfg_.userID);
    copyText(a.UserName, kNameUser);
    a.UserType = TORA_TSTP_UTYPE_Investor;
    copyText(a.DepartmentID, cfg_.departmentID);
    copyText(a.InnerIPAddress, in.InnerIPAddress);
    copyText(a.MacAddress, in.MacAddress);
    copyText(a.OuterIPAddress, in.OuterIPAddress);
    a.OuterPort = in.OuterPort;
    a.PasswordUpdatePeriod = 90;
    a.PasswordRemainDays = 90;
    int id = r.requestID;
    b_.answer(link, [a, id](CTORATstpTraderSpi* s) mutable {
        CTORATstpRspInfoField ok = okInfo();
        s->OnRspUserLogin(&a, &ok, id, true);
    });
    if (link.privateResume.load() == TORA_TERT_RESTART) {
        // The whole day again, from the ledger: the connection now stands at the flow's end.
        replayPrivateFlow(link);
        link.flowJoined = true;
        link.flowNext = b_.flowEnd();
    } else {
        b_.joinFlow(link);
    }
}

void Paper::replayPrivateFlow(Link& link)
{
    for (const Ord& o : orders_) {
        if (o.led.orderSysID.empty()) continue;
        for (const auto& t : trades_) {
            if (o.led.orderSysID != fieldText(t.OrderSysID) || o.led.exchangeID != t.ExchangeID) continue;
            CTORATstpTradeField tr = t;
            b_.noticeOn(link, [tr](CTORATstpTraderSpi* s) mutable { s->OnRtnTrade(&tr); });
        }
        CTORATstpOrderField rec = orderRecord(o);
        b_.noticeOn(link, [rec](CTORATstpTraderSpi* s) mutable { s->OnRtnOrder(&rec); });
    }
}

void Paper::userLogout(Link& link, const Request& r)
{
    CTORATstpUserLogoutField in = r.as<CTORATstpUserLogoutField>();
    link.loggedIn = false;
    int id = r.requestID;
    b_.answer(link, [in, id](CTORATstpTraderSpi* s) mutable {
        CTORATstpRspInfoField ok = okInfo();
        s->OnRspUserLogout(&in, &ok, id, true);
    });
}

void Paper::passwordUpdate(Link& link, const Request& r)
{
    CTORATstpUserPasswordUpdateField in = r.as<CTORATstpUserPasswordUpdateField>();
    if (!password_.empty() && fieldText(in.OldPassword) != password_) {
        reject(link, r, kErrOldPassword, kMsgOldPassword);
        return;
    }
    password_ = fieldText(in.NewPassword);
    int id = r.requestID;
    b_.answer(link, [in, id](CTORATstpTraderSpi* s) mutable {
        CTORATstpRspInfoField ok = okInfo();
        s->OnRspUserPasswordUpdate(&in, &ok, id, true);
    });
}

void Paper::notSupported(Link& link, const Request& r) { reject(link, r, kErrNotSupported, kMsgNotSupported); }

// --- orders ---------------------------------------------------------------------------------

CTORATstpOrderField Paper::orderRecord(const Ord& o) const
{
    const Sec& s = secs_[o.sec];
    CTORATstpOrderField f = zeroed<CTORATstpOrderField>();
    const CTORATstpInputOrderField& in = o.input;
    copyText(f.InvestorID, cfg_.investorID);
    copyText(f.SecurityID, s.cfg.securityID);
    copyText(f.OrderRef, in.OrderRef);
    copyText(f.UserID, in.UserID);
    f.OrderPriceType = in.OrderPriceType;
    f.Direction = in.Direction;
    copyText(f.CombOffsetFlag, in.CombOffsetFlag);
    copyText(f.CombHedgeFlag, in.CombHedgeFlag);
    f.LimitPrice = in.LimitPrice;
    f.VolumeTotalOriginal = in.VolumeTotalOriginal;
    f.TimeCondition = in.TimeCondition;
    f.VolumeCondition = in.VolumeCondition;
    f.MinVolume = in.MinVolume;
    f.ForceCloseReason = in.ForceCloseReason;
    f.RequestID = o.led.requestID;
    copyText(f.OrderLocalID, o.orderLocalID);
    f.ExchangeID = s.cfg.exchangeID;
    f.MarketID = s.marketID;
    copyText(f.ShareholderID, o.shareholderID);
    copyText(f.ExchangeInstID, s.cfg.securityID);
    f.OrderSubmitStatus = o.led.submitStatus;
    copyText(f.TradingDay, cfg_.tradingDay);
    copyText(f.OrderSysID, o.led.orderSysID);
    f.OrderStatus = o.led.orderStatus;
    f.OrderType = TORA_TSTP_ORDT_Normal;
    f.VolumeTraded = o.led.tradedVolume;
    f.VolumeTotal = o.resting ? o.led.volume - o.led.tradedVolume : 0;
    copyText(f.InsertDate, cfg_.tradingDay);
    copyText(f.InsertTime, o.led.insertTime);
    copyText(f.CancelTime, o.led.cancelTime);
    f.FrontID = o.led.frontID;
    f.SessionID = o.led.sessionID;
    copyText(f.StatusMsg, o.led.statusMsg);
    copyText(f.BusinessUnitID, cfg_.investorID);
    copyText(f.AccountID, cfg_.accountID);
    copyText(f.IPAddress, in.IPAddress);
    copyText(f.MacAddress, in.MacAddress);
    f.LotType = in.LotType;
    copyText(f.BInfo, in.BInfo);
    copyText(f.SInfo, in.SInfo);
    f.IInfo = in.IInfo;
    f.Operway = in.Operway;
    copyText(f.DepartmentID, cfg_.departmentID);
    f.Turnover = o.led.turnover;
    // What the front says is left to trade with: available cash, and the sellable volume of the
    // order's security.
    f.RtnFloatInfo = account_.available;
    auto pit = positions_.find(s.cfg.securityID + "." + s.cfg.exchangeID);
    f.RtnIntInfo = pit == positions_.end() ? 0 : static_cast<int>(pit->second.st.available);
    copyText(f.HDSerial, in.HDSerial);
    return f;
}

void Paper::noticeOrder(const Ord& o)
{
    CTORATstpOrderField rec = orderRecord(o);
    b_.notice([rec](CTORATstpTraderSpi* s) mutable { s->OnRtnOrder(&rec); });
}

void Paper::orderInsert(Link& link, const Request& r)
{
    if (r.bytes.size() != sizeof(CTORATstpInputOrderField)) {
        reject(link, r, kErrNotSupported, kMsgNotSupported);
        return;
    }
    CTORATstpInputOrderField in = r.as<CTORATstpInputOrderField>();
    auto refuse = [&](int code, const char* msg) { reject(link, r, code, msg); };

    bool buy = in.Direction == TORA_TSTP_D_Buy;
    if (!buy && in.Direction != TORA_TSTP_D_Sell) return refuse(kErrBadDirection, kMsgBadDirection);
    Sec* sec = findSec(fieldText(in.SecurityID), in.ExchangeID);
    if (!sec || !in.ExchangeID) return refuse(kErrUnknownSecurity, kMsgUnknownSecurity);
    const SecurityConfig& c = sec->cfg;
    std::string holder = shareholderFor(c.exchangeID);
    if (in.ShareholderID[0] && fieldText(in.ShareholderID) != holder) return refuse(kErrBadShareholder, kMsgBadShareholder);
    char pt = in.OrderPriceType;
    if (pt != TORA_TSTP_OPT_LimitPrice && pt != TORA_TSTP_OPT_FixPrice && pt != TORA_TSTP_OPT_AnyPrice &&
        pt != TORA_TSTP_OPT_FiveLevelPrice && pt != TORA_TSTP_OPT_BestPrice && pt != TORA_TSTP_OPT_HomeBestPrice)
        return refuse(kErrBadPriceType, kMsgBadPriceType);
    int vol = in.VolumeTotalOriginal;
    int unit = buy ? c.buyVolumeUnit : c.sellVolumeUnit;
    if (vol <= 0 || vol > c.maxVolume || vol % unit != 0) return refuse(kErrBadVolume, kMsgBadVolume);
    double tick = c.priceTick;
    bool limitType = pt == TORA_TSTP_OPT_LimitPrice || pt == TORA_TSTP_OPT_FixPrice;
    if (limitType) {
        double p = in.LimitPrice;
        if (!(p > 0) || p > c.upperLimitPrice + tick / 1000 || p < c.lowerLimitPrice - tick / 1000)
            return refuse(kErrBadPrice, kMsgBadPrice);
        double k = p / tick;
        if (std::fabs(k - std::round(k)) > 1e-6) return refuse(kErrBadTick, kMsgBadTick);
    }

    // The price the order works at.
    double eff = 0;
    bool market = false;
    bool noMarket = false;
    const BookLevels& bk = sec->book;
    switch (pt) {
    case TORA_TSTP_OPT_AnyPrice:
    case TORA_TSTP_OPT_FiveLevelPrice:
        market = true;
        eff = buy ? c.upperLimitPrice : c.lowerLimitPrice;
        break;
    case TORA_TSTP_OPT_BestPrice:
        eff = buy ? bk.askPrice[0] : bk.bidPrice[0];
        break;
    case TORA_TSTP_OPT_HomeBestPrice:
        eff = buy ? bk.bidPrice[0] : bk.askPrice[0];
        break;
    default:
        eff = in.LimitPrice;
        break;
    }
    if (!(eff > 0)) {
        noMarket = true;
        eff = buy ? c.upperLimitPrice : c.lowerLimitPrice;
    }

    double freeze = 0;
    Pos* pos = nullptr;
    if (buy) {
        double amount = vol * eff;
        freeze = amount + fee(amount, false);
        if (freeze > account_.available + 1e-6) return refuse(kErrNoCash, kMsgNoCash);
    } else {
        pos = findPos(c.securityID, c.exchangeID);
        if (!pos || pos->st.available < vol) return refuse(kErrNoPosition, kMsgNoPosition);
    }

    // Accepted.
    Ord o;
    o.input = in;
    o.linkID = link.id;
    o.sec = static_cast<std::size_t>(sec - secs_.data());
    o.marketID = sec->marketID;
    o.shareholderID = holder;
    char buf[32];
    std::snprintf(buf, sizeof buf, "%c%011lld", c.exchangeID, nextSysID_++);
    o.led.orderSysID = buf;
    std::snprintf(buf, sizeof buf, "%012lld", nextLocalID_++);
    o.orderLocalID = buf;
    o.led.frontID = link.frontID;
    o.led.sessionID = link.sessionID;
    o.led.orderRef = static_cast<int>(parseInt(in.OrderRef));
    o.led.requestID = r.requestID;
    o.led.investorID = fieldText(in.InvestorID);
    o.led.securityID = c.securityID;
    o.led.exchangeID = c.exchangeID;
    o.led.direction = in.Direction;
    o.led.orderPriceType = pt;
    o.led.timeCondition = in.TimeCondition;
    o.led.volumeCondition = in.VolumeCondition;
    o.led.limitPrice = in.LimitPrice;
    o.led.volume = vol;
    o.led.orderStatus = TORA_TSTP_OST_NoTradeQueueing;
    o.led.submitStatus = TORA_TSTP_OSS_Accepted;
    o.led.statusMsg = kMsgQueued;
    o.led.insertTime = brokerNow().time;
    o.matchLimit = eff;
    o.market = market;
    o.timeSeq = nextTimeSeq_++;
    o.resting = true;   // until matching says otherwise
    if (buy) {
        o.frozenCash = freeze;
        o.cashPerShare = freeze / vol;
        account_.frozen += freeze;
        account_.available = account_.cash - account_.frozen;
    } else {
        pos->st.available -= vol;
        pos->st.frozen += vol;
    }
    orders_.push_back(o);
    bySysID_[o.led.orderSysID] = orders_.size() - 1;
    Ord& ord = orders_.back();

    CTORATstpInputOrderField echo = in;
    copyText(echo.OrderSysID, ord.led.orderSysID);
    int id = r.requestID;
    b_.answer(link, [echo, id](CTORATstpTraderSpi* s) mutable {
        CTORATstpRspInfoField ok = okInfo();
        s->OnRspOrderInsert(&echo, &ok, id, true);
    });
    noticeOrder(ord);
    if (noMarket) {
        finish(ord, kMsgNoMarket);
        return;
    }
    matchIncoming(ord);
    if (ord.resting) resting_[ord.sec].push_back(orders_.size() - 1);
}

void Paper::fill(Ord& o, double price, long long volume)
{
    touch();
    Sec& s = secs_[o.sec];
    bool buy = o.led.direction == TORA_TSTP_D_Buy;
    double turnover = price * static_cast<double>(volume);
    double f = fee(turnover, !buy);
    o.led.tradedVolume += static_cast<int>(volume);
    o.led.turnover += turnover;
    o.fees += f;
    account_.fees += f;
    if (buy) {
        double release = std::min(o.frozenCash, static_cast<double>(volume) * o.cashPerShare);
        o.frozenCash -= release;
        account_.frozen -= release;
        account_.cash -= turnover + f;
        Pos& p = posFor(s);
        p.st.volume += volume;
        p.st.todayBuy += volume;
        p.st.openCost += turnover + f;
    } else {
        Pos& p = posFor(s);
        long long before = p.st.volume;
        p.st.frozen -= volume;
        p.st.volume -= volume;
        p.st.todaySell += volume;
        p.st.openCost = before > 0 ? p.st.openCost * static_cast<double>(p.st.volume) / static_cast<double>(before) : 0;
        account_.cash += turnover - f;
    }
    // Our fill is a market trade like any other.
    s.last = price;
    s.volume += volume;
    s.turnover += turnover;
    s.tradingCount += 1;
    s.high = std::max(s.high, price);
    s.low = std::min(s.low, price);

    bool done = o.led.tradedVolume >= o.led.volume;
    if (done) {
        o.resting = false;
        o.led.orderStatus = TORA_TSTP_OST_AllTraded;
        o.led.statusMsg = kMsgAllTraded;
        releaseFrozen(o);
    } else {
        o.led.orderStatus = TORA_TSTP_OST_PartTradedQueueing;
        o.led.statusMsg = kMsgPartTraded;
    }
    account_.available = account_.cash - account_.frozen;

    CTORATstpTradeField t = zeroed<CTORATstpTradeField>();
    copyText(t.InvestorID, cfg_.investorID);
    copyText(t.SecurityID, s.cfg.securityID);
    copyText(t.UserID, o.input.UserID);
    t.ExchangeID = s.cfg.exchangeID;
    char buf[32];
    std::snprintf(buf, sizeof buf, "%lld", nextTradeID_++);
    copyText(t.TradeID, buf);
    t.Direction = o.led.direction;
    copyText(t.OrderSysID, o.led.orderSysID);
    t.MarketID = s.marketID;
    copyText(t.ShareholderID, o.shareholderID);
    copyText(t.ExchangeInstID, s.cfg.securityID);
    t.OffsetFlag = o.input.CombOffsetFlag[0];
    t.HedgeFlag = o.input.CombHedgeFlag[0];
    t.Price = price;
    t.Volume = static_cast<int>(volume);
    copyText(t.TradeDate, cfg_.tradingDay);
    copyText(t.TradeTime, brokerNow().time);
    copyText(t.OrderLocalID, o.orderLocalID);
    copyText(t.TradingDay, cfg_.tradingDay);
    copyText(t.BusinessUnitID, cfg_.investorID);
    copyText(t.AccountID, cfg_.accountID);
    copyText(t.OrderRef, o.input.OrderRef);
    copyText(t.DepartmentID, cfg_.departmentID);
    trades_.push_back(t);
    b_.notice([t](CTORATstpTraderSpi* sp) mutable { sp->OnRtnTrade(&t); });
    noticeOrder(o);
}

void Paper::releaseFrozen(Ord& o)
{
    if (o.led.direction == TORA_TSTP_D_Buy) {
        account_.frozen -= o.frozenCash;
        if (account_.frozen < 1e-6) account_.frozen = 0;
        o.frozenCash = 0;
    } else {
        long long rest = o.led.volume - o.led.tradedVolume;
        if (rest > 0) {
            Pos& p = posFor(secs_[o.sec]);
            p.st.frozen -= rest;
            p.st.available += rest;
        }
    }
    account_.available = account_.cash - account_.frozen;
}

void Paper::finish(Ord& o, const char* statusMsg)
{
    touch();
    o.resting = false;
    o.led.cancelledVolume = o.led.volume - o.led.tradedVolume;
    o.led.orderStatus = TORA_TSTP_OST_Canceled;
    o.led.cancelTime = brokerNow().time;
    o.led.statusMsg = statusMsg ? statusMsg : (o.led.tradedVolume > 0 ? kMsgPartCanceled : kMsgCanceled);
    releaseFrozen(o);
    noticeOrder(o);
}

void Paper::matchIncoming(Ord& o)
{
    Sec& s = secs_[o.sec];
    bool buy = o.led.direction == TORA_TSTP_D_Buy;
    double* prices = buy ? s.book.askPrice : s.book.bidPrice;
    long long* vols = buy ? s.book.askVolume : s.book.bidVolume;
    double eps = s.cfg.priceTick / 1000;
    auto within = [&](double p) {
        if (!(p > 0)) return false;
        if (o.market) return true;
        return buy ? p <= o.matchLimit + eps : p >= o.matchLimit - eps;
    };
    long long remaining = o.led.volume - o.led.tradedVolume;
    char pt = o.led.orderPriceType;
    bool ioc = o.led.timeCondition == TORA_TSTP_TC_IOC || pt == TORA_TSTP_OPT_AnyPrice;
    if (o.led.volumeCondition == TORA_TSTP_VC_CV) {
        // All or nothing: look before touching the book.
        long long avail = 0;
        for (int i = 0; i < 5 && within(prices[i]); ++i) avail += vols[i];
        if (avail < remaining) {
            finish(o, nullptr);
            return;
        }
    }
    double lastFill = 0;
    for (int i = 0; i < 5 && remaining > 0; ++i) {
        if (!within(prices[i])) break;
        if (vols[i] <= 0) continue;
        long long q = std::min(remaining, vols[i]);
        vols[i] -= q;
        remaining -= q;
        lastFill = prices[i];
        fill(o, prices[i], q);
    }
    if (remaining <= 0) return;
    if (pt == TORA_TSTP_OPT_FiveLevelPrice && !ioc && o.led.timeCondition != TORA_TSTP_TC_IOC) {
        // Five levels then the rest as a limit order at the last fill's price; nothing filled,
        // nothing to rest at.
        if (lastFill > 0) {
            o.market = false;
            o.matchLimit = lastFill;
            return;
        }
        finish(o, nullptr);
        return;
    }
    if (ioc || pt == TORA_TSTP_OPT_FiveLevelPrice) {
        finish(o, nullptr);
        return;
    }
    // Rests in the book, waiting for the market to come to it.
}

void Paper::matchResting(std::size_t secIndex)
{
    std::vector<std::size_t>& waiting = resting_[secIndex];
    waiting.erase(std::remove_if(waiting.begin(), waiting.end(), [&](std::size_t i) { return !orders_[i].resting; }),
                  waiting.end());
    if (waiting.empty()) return;
    std::vector<std::size_t> buys, sells;
    for (std::size_t i : waiting) (orders_[i].led.direction == TORA_TSTP_D_Buy ? buys : sells).push_back(i);
    // Price priority, then time.
    std::sort(buys.begin(), buys.end(), [&](std::size_t a, std::size_t b) {
        const Ord& x = orders_[a];
        const Ord& y = orders_[b];
        if (x.matchLimit != y.matchLimit) return x.matchLimit > y.matchLimit;
        return x.timeSeq < y.timeSeq;
    });
    std::sort(sells.begin(), sells.end(), [&](std::size_t a, std::size_t b) {
        const Ord& x = orders_[a];
        const Ord& y = orders_[b];
        if (x.matchLimit != y.matchLimit) return x.matchLimit < y.matchLimit;
        return x.timeSeq < y.timeSeq;
    });
    Sec& s = secs_[secIndex];
    double eps = s.cfg.priceTick / 1000;
    auto sweep = [&](Ord& o) {
        bool buy = o.led.direction == TORA_TSTP_D_Buy;
        double* prices = buy ? s.book.askPrice : s.book.bidPrice;
        long long* vols = buy ? s.book.askVolume : s.book.bidVolume;
        long long remaining = o.led.volume - o.led.tradedVolume;
        for (int i = 0; i < 5 && remaining > 0 && o.resting; ++i) {
            double p = prices[i];
            if (!(p > 0)) break;
            if (buy ? p > o.matchLimit + eps : p < o.matchLimit - eps) break;
            if (vols[i] <= 0) continue;
            long long q = std::min(remaining, vols[i]);
            vols[i] -= q;
            remaining -= q;
            fill(o, p, q);
        }
    };
    for (std::size_t i : buys) sweep(orders_[i]);
    for (std::size_t i : sells) sweep(orders_[i]);
}

void Paper::orderAction(Link& link, const Request& r)
{
    if (r.bytes.size() != sizeof(CTORATstpInputOrderActionField)) {
        reject(link, r, kErrNotSupported, kMsgNotSupported);
        return;
    }
    CTORATstpInputOrderActionField in = r.as<CTORATstpInputOrderActionField>();
    if (in.ActionFlag != TORA_TSTP_AF_Delete && in.ActionFlag != TORA_TSTP_AF_ForceDelete) {
        reject(link, r, kErrBadAction, kMsgBadAction);
        return;
    }
    Ord* found = nullptr;
    std::string sysID = fieldText(in.OrderSysID);
    if (!sysID.empty()) {
        auto it = bySysID_.find(sysID);
        if (it != bySysID_.end() && (!in.ExchangeID || orders_[it->second].led.exchangeID == in.ExchangeID))
            found = &orders_[it->second];
    } else {
        int front = in.FrontID ? in.FrontID : link.frontID;
        int session = in.SessionID ? in.SessionID : link.sessionID;
        std::string ref = fieldText(in.OrderRef);
        for (auto it = orders_.rbegin(); it != orders_.rend(); ++it) {
            if (it->led.orderSysID.empty()) continue;
            if (it->led.frontID == front && it->led.sessionID == session && fieldText(it->input.OrderRef) == ref &&
                (!in.ExchangeID || it->led.exchangeID == in.ExchangeID)) {
                found = &*it;
                break;
            }
        }
    }
    if (!found) {
        reject(link, r, kErrOrderNotFound, kMsgOrderNotFound);
        return;
    }
    if (!found->resting) {
        reject(link, r, kErrOrderFinished, kMsgOrderFinished);
        return;
    }
    CTORATstpOrderActionField act = zeroed<CTORATstpOrderActionField>();
    copyText(act.InvestorID, cfg_.investorID);
    copyText(act.OrderActionRef, in.OrderActionRef);
    copyText(act.OrderRef, found->input.OrderRef);
    act.RequestID = r.requestID;
    act.FrontID = link.frontID;
    act.SessionID = link.sessionID;
    act.ExchangeID = found->led.exchangeID;
    copyText(act.OrderSysID, found->led.orderSysID);
    act.ActionFlag = in.ActionFlag;
    BrokerTime t = brokerNow();
    copyText(act.ActionDate, cfg_.tradingDay);
    copyText(act.ActionTime, t.time);
    copyText(act.OrderLocalID, found->orderLocalID);
    copyText(act.ShareholderID, found->shareholderID);
    act.OrderActionStatus = TORA_TSTP_OAS_Accepted;
    copyText(act.UserID, in.UserID);
    copyText(act.SecurityID, found->led.securityID);
    act.MarketID = found->marketID;
    act.Direction = found->led.direction;
    act.OrderPriceType = found->led.orderPriceType;
    act.TimeCondition = found->led.timeCondition;
    act.VolumeCondition = found->led.volumeCondition;
    actions_.push_back(act);
    int id = r.requestID;
    b_.answer(link, [in, id](CTORATstpTraderSpi* s) mutable {
        CTORATstpRspInfoField ok = okInfo();
        s->OnRspOrderAction(&in, &ok, id, true);
    });
    finish(*found, nullptr);
}

// --- transfers ------------------------------------------------------------------------------

void Paper::transferFund(Link& link, const Request& r)
{
    CTORATstpInputTransferFundField in = r.as<CTORATstpInputTransferFundField>();
    char d = in.TransferDirection;
    double amount = in.Amount;
    if (!inboundFund(d) && !outboundFund(d)) return reject(link, r, kErrBadTransfer, kMsgBadTransfer);
    if (!(amount > 0)) return reject(link, r, kErrBadAmount, kMsgBadAmount);
    if (d == TORA_TSTP_TRNSD_BankToStock && amount > bankBalance_ + 1e-6)
        return reject(link, r, kErrNoBankCash, kMsgNoBankCash);
    if (outboundFund(d) && amount > account_.available + 1e-6) return reject(link, r, kErrNoCash, kMsgNoCash);
    if (inboundFund(d)) {
        account_.cash += amount;
        deposit_ += amount;
        if (d == TORA_TSTP_TRNSD_BankToStock) bankBalance_ -= amount;
    } else {
        account_.cash -= amount;
        withdraw_ += amount;
        if (d == TORA_TSTP_TRNSD_StockToBank) bankBalance_ += amount;
    }
    account_.available = account_.cash - account_.frozen;

    CTORATstpTransferFundField t = zeroed<CTORATstpTransferFundField>();
    char buf[32];
    std::snprintf(buf, sizeof buf, "%lld", nextSerial_++);
    copyText(t.FundSerial, buf);
    copyText(t.ApplySerial, in.ApplySerial);
    t.FrontID = link.frontID;
    t.SessionID = link.sessionID;
    copyText(t.AccountID, in.AccountID[0] ? fieldText(in.AccountID) : cfg_.accountID);
    copyText(t.CurrencyID, in.CurrencyID[0] ? fieldText(in.CurrencyID) : std::string("CNY"));
    t.TransferDirection = d;
    t.Amount = amount;
    t.TransferStatus = TORA_TSTP_TRANST_TransferSuccess;
    copyText(t.OperatorID, link.userID);
    BrokerTime now = brokerNow();
    copyText(t.OperateDate, cfg_.tradingDay);
    copyText(t.OperateTime, now.time);
    copyText(t.DepartmentID, cfg_.departmentID);
    t.BankID = in.BankID;
    copyText(t.InvestorID, cfg_.investorID);
    t.ExternalNodeID = in.ExternalNodeID;
    fundTransfers_.push_back({t});
    int id = r.requestID;
    b_.answer(link, [in, id](CTORATstpTraderSpi* s) mutable {
        CTORATstpRspInfoField ok = okInfo();
        s->OnRspTransferFund(&in, &ok, id, true);
    });
    b_.notice([t](CTORATstpTraderSpi* s) mutable { s->OnRtnTransferFund(&t); });
}

void Paper::transferPosition(Link& link, const Request& r)
{
    CTORATstpInputTransferPositionField in = r.as<CTORATstpInputTransferPositionField>();
    char d = in.TransferDirection;
    if (!inboundPosition(d) && !outboundPosition(d)) return reject(link, r, kErrBadTransfer, kMsgBadTransfer);
    Sec* sec = findSec(fieldText(in.SecurityID), in.ExchangeID);
    if (!sec) return reject(link, r, kErrUnknownSecurity, kMsgUnknownSecurity);
    long long vol = in.Volume;
    if (vol <= 0) return reject(link, r, kErrBadVolume, kMsgBadVolume);
    Pos* existing = findPos(sec->cfg.securityID, sec->cfg.exchangeID);
    if (outboundPosition(d) && (!existing || existing->st.available < vol))
        return reject(link, r, kErrNoPosition, kMsgNoPosition);
    Pos& p = posFor(*sec);
    if (inboundPosition(d)) {
        p.st.historyVolume += vol;
        p.st.volume += vol;
        p.st.available += vol;
        p.st.openCost += static_cast<double>(vol) * sec->cfg.preClosePrice;
    } else {
        long long before = p.st.volume;
        p.st.historyVolume -= vol;
        p.st.volume -= vol;
        p.st.available -= vol;
        p.st.openCost = before > 0 ? p.st.openCost * static_cast<double>(p.st.volume) / static_cast<double>(before) : 0;
    }

    CTORATstpTransferPositionField t = zeroed<CTORATstpTransferPositionField>();
    char buf[32];
    std::snprintf(buf, sizeof buf, "%lld", nextSerial_++);
    copyText(t.PositionSerial, buf);
    copyText(t.ApplySerial, in.ApplySerial);
    t.FrontID = link.frontID;
    t.SessionID = link.sessionID;
    copyText(t.InvestorID, cfg_.investorID);
    copyText(t.BusinessUnitID, cfg_.investorID);
    t.ExchangeID = sec->cfg.exchangeID;
    copyText(t.ShareholderID, shareholderFor(sec->cfg.exchangeID));
    t.MarketID = sec->marketID;
    copyText(t.SecurityID, sec->cfg.securityID);
    copyText(t.TradingDay, cfg_.tradingDay);
    t.TransferDirection = d;
    t.TransferPositionType = in.TransferPositionType ? in.TransferPositionType : TORA_TSTP_TPT_ALL;
    t.HistoryVolume = static_cast<int>(vol);
    t.TransferStatus = TORA_TSTP_TRANST_TransferSuccess;
    copyText(t.OperatorID, link.userID);
    BrokerTime now = brokerNow();
    copyText(t.OperateDate, cfg_.tradingDay);
    copyText(t.OperateTime, now.time);
    t.ExternalNodeID = in.ExternalNodeID;
    posTransfers_.push_back({t});
    int id = r.requestID;
    b_.answer(link, [in, id](CTORATstpTraderSpi* s) mutable {
        CTORATstpRspInfoField ok = okInfo();
        s->OnRspTransferPosition(&in, &ok, id, true);
    });
    b_.notice([t](CTORATstpTraderSpi* s) mutable { s->OnRtnTransferPosition(&t); });
}

// --- queries --------------------------------------------------------------------------------

void Paper::qrySecurity(Link& link, const Request& r)
{
    CTORATstpQrySecurityField q = r.as<CTORATstpQrySecurityField>();
    std::string id = fieldText(q.SecurityID);
    std::vector<CTORATstpSecurityField> out;
    for (const Sec& s : secs_) {
        if (q.ExchangeID && q.ExchangeID != s.cfg.exchangeID) continue;
        if (!id.empty() && id != s.cfg.securityID) continue;
        if (q.ProductID && q.ProductID != s.cfg.productID) continue;
        out.push_back(securityRecord(s));
    }
    answerList(link, r.requestID, std::move(out), &CTORATstpTraderSpi::OnRspQrySecurity);
}

void Paper::qryShareholderAccount(Link& link, const Request& r)
{
    CTORATstpQryShareholderAccountField q = r.as<CTORATstpQryShareholderAccountField>();
    auto out = perExchange<CTORATstpShareholderAccountField>(q.ExchangeID, [&](CTORATstpShareholderAccountField& f, char ex) {
        copyText(f.InvestorID, cfg_.investorID);
        f.ExchangeID = ex;
        copyText(f.ShareholderID, shareholderFor(ex));
        f.ClientIDType = TORA_TSTP_CIDT_Normal;
        f.MarketID = ex == TORA_TSTP_EXD_SSE ? TORA_TSTP_MKD_SHA : TORA_TSTP_MKD_SZA;
        return true;
    });
    answerList(link, r.requestID, std::move(out), &CTORATstpTraderSpi::OnRspQryShareholderAccount);
}

void Paper::qryTradingAccount(Link& link, const Request& r)
{
    CTORATstpTradingAccountField f = zeroed<CTORATstpTradingAccountField>();
    copyText(f.AccountID, cfg_.accountID);
    f.Available = account_.available;
    f.WithdrawQuota = account_.available;
    copyText(f.CurrencyID, "CNY");
    f.Deposit = deposit_;
    f.Withdraw = withdraw_;
    f.FrozenCash = account_.frozen;
    f.Commission = account_.fees;
    f.AccountType = TORA_TSTP_FAT_Normal;
    copyText(f.AccountOwner, cfg_.investorID);
    copyText(f.DepartmentID, cfg_.departmentID);
    f.BankID = TORA_TSTP_BKID_CCB;
    copyText(f.BankAccountID, "6217000000000000001");
    answerList(link, r.requestID, std::vector<CTORATstpTradingAccountField>{f},
               &CTORATstpTraderSpi::OnRspQryTradingAccount);
}

void Paper::qryPosition(Link& link, const Request& r)
{
    CTORATstpQryPositionField q = r.as<CTORATstpQryPositionField>();
    std::string id = fieldText(q.SecurityID);
    std::vector<CTORATstpPositionField> out;
    for (const auto& kv : positions_) {
        const PositionState& p = kv.second.st;
        if (q.ExchangeID && q.ExchangeID != p.exchangeID) continue;
        if (!id.empty() && id != p.securityID) continue;
        const Sec* s = findSec(p.securityID, p.exchangeID);
        CTORATstpPositionField f = zeroed<CTORATstpPositionField>();
        copyText(f.SecurityID, p.securityID);
        copyText(f.InvestorID, cfg_.investorID);
        copyText(f.BusinessUnitID, cfg_.investorID);
        f.ExchangeID = p.exchangeID;
        f.MarketID = s ? s->marketID : 0;
        copyText(f.ShareholderID, shareholderFor(p.exchangeID));
        copyText(f.TradingDay, cfg_.tradingDay);
        f.HistoryPos = static_cast<int>(p.historyVolume - p.todaySell);
        f.HistoryPosFrozen = static_cast<int>(p.frozen);
        f.TodayBSPos = static_cast<int>(p.todayBuy);
        f.TotalPosCost = p.openCost;
        f.PrePosition = static_cast<int>(kv.second.prePosition);
        f.AvailablePosition = static_cast<int>(p.available);
        f.CurrentPosition = static_cast<int>(p.volume);
        f.LastPrice = s ? s->last : 0;
        f.OpenPosCost = p.openCost;
        if (s) copyText(f.SecurityName, s->cfg.name);
        out.push_back(f);
    }
    answerList(link, r.requestID, std::move(out), &CTORATstpTraderSpi::OnRspQryPosition);
}

void Paper::qryOrder(Link& link, const Request& r)
{
    CTORATstpQryOrderField q = r.as<CTORATstpQryOrderField>();
    std::string id = fieldText(q.SecurityID);
    std::string sys = fieldText(q.OrderSysID);
    std::vector<CTORATstpOrderField> out;
    for (const Ord& o : orders_) {
        if (q.ExchangeID && q.ExchangeID != o.led.exchangeID) continue;
        if (!id.empty() && id != o.led.securityID) continue;
        if (!sys.empty() && sys != o.led.orderSysID) continue;
        if (o.led.orderSysID.empty()) {
            // A refused order: the record as the front kept it.
            CTORATstpOrderField f = zeroed<CTORATstpOrderField>();
            copyText(f.InvestorID, cfg_.investorID);
            copyText(f.SecurityID, o.led.securityID);
            copyText(f.OrderRef, o.input.OrderRef);
            copyText(f.UserID, o.input.UserID);
            f.OrderPriceType = o.led.orderPriceType;
            f.Direction = o.led.direction;
            f.LimitPrice = o.led.limitPrice;
            f.VolumeTotalOriginal = o.led.volume;
            f.TimeCondition = o.led.timeCondition;
            f.VolumeCondition = o.led.volumeCondition;
            f.ExchangeID = o.led.exchangeID;
            f.OrderSubmitStatus = o.led.submitStatus;
            f.OrderStatus = o.led.orderStatus;
            copyText(f.TradingDay, cfg_.tradingDay);
            copyText(f.InsertTime, o.led.insertTime);
            f.FrontID = o.led.frontID;
            f.SessionID = o.led.sessionID;
            copyText(f.StatusMsg, o.led.statusMsg);
            f.RtnFloatInfo = account_.available;
            out.push_back(f);
            continue;
        }
        out.push_back(orderRecord(o));
    }
    answerList(link, r.requestID, std::move(out), &CTORATstpTraderSpi::OnRspQryOrder);
}

void Paper::qryTrade(Link& link, const Request& r)
{
    CTORATstpQryTradeField q = r.as<CTORATstpQryTradeField>();
    std::string id = fieldText(q.SecurityID);
    std::string tid = fieldText(q.TradeID);
    std::vector<CTORATstpTradeField> out;
    for (const auto& t : trades_) {
        if (q.ExchangeID && q.ExchangeID != t.ExchangeID) continue;
        if (!id.empty() && id != fieldText(t.SecurityID)) continue;
        if (!tid.empty() && tid != fieldText(t.TradeID)) continue;
        out.push_back(t);
    }
    answerList(link, r.requestID, std::move(out), &CTORATstpTraderSpi::OnRspQryTrade);
}

void Paper::qryOrderAction(Link& link, const Request& r)
{
    CTORATstpQryOrderActionField q = r.as<CTORATstpQryOrderActionField>();
    std::vector<CTORATstpOrderActionField> out;
    for (const auto& a : actions_)
        if (!q.ExchangeID || q.ExchangeID == a.ExchangeID) out.push_back(a);
    answerList(link, r.requestID, std::move(out), &CTORATstpTraderSpi::OnRspQryOrderAction);
}

void Paper::qryInvestor(Link& link, const Request& r)
{
    CTORATstpInvestorField f = zeroed<CTORATstpInvestorField>();
    copyText(f.InvestorID, cfg_.investorID);
    copyText(f.InvestorName, kNameInvestor);
    f.IdCardType = TORA_TSTP_ICT_IDCard;
    copyText(f.IdCardNo, "110101199001011234");
    copyText(f.OpenDate, "20200101");
    copyText(f.Operways, "0123");
    f.CRiskLevel = TORA_TSTP_RLV_Steady;
    f.ProfInvestorType = TORA_TSTP_PIT_NotProf;
    copyText(f.DepartmentID, cfg_.departmentID);
    f.IsActive = 1;
    f.LoginLimit = 10;
    answerList(link, r.requestID, std::vector<CTORATstpInvestorField>{f}, &CTORATstpTraderSpi::OnRspQryInvestor);
}

void Paper::qryUser(Link& link, const Request& r)
{
    CTORATstpUserField f = zeroed<CTORATstpUserField>();
    copyText(f.UserID, link.userID.empty() ? cfg_.userID : link.userID);
    copyText(f.UserName, kNameUser);
    f.UserType = TORA_TSTP_UTYPE_Investor;
    f.IsActive = 1;
    f.LoginLimit = 10;
    answerList(link, r.requestID, std::vector<CTORATstpUserField>{f}, &CTORATstpTraderSpi::OnRspQryUser);
}

void Paper::qryExchange(Link& link, const Request& r)
{
    CTORATstpQryExchangeField q = r.as<CTORATstpQryExchangeField>();
    auto out = perExchange<CTORATstpExchangeField>(q.ExchangeID, [&](CTORATstpExchangeField& f, char ex) {
        f.ExchangeID = ex;
        copyText(f.ExchangeName, ex == TORA_TSTP_EXD_SSE ? kNameSSE : kNameSZSE);
        copyText(f.TradingDay, cfg_.tradingDay);
        return true;
    });
    answerList(link, r.requestID, std::move(out), &CTORATstpTraderSpi::OnRspQryExchange);
}

void Paper::qryMarket(Link& link, const Request& r)
{
    CTORATstpQryMarketField q = r.as<CTORATstpQryMarketField>();
    auto out = perExchange<CTORATstpMarketField>(q.ExchangeID, [&](CTORATstpMarketField& f, char ex) {
        f.MarketID = ex == TORA_TSTP_EXD_SSE ? TORA_TSTP_MKD_SHA : TORA_TSTP_MKD_SZA;
        if (q.MarketID && q.MarketID != f.MarketID) return false;
        copyText(f.MarketName, ex == TORA_TSTP_EXD_SSE ? kNameSHA : kNameSZA);
        f.ExchangeID = ex;
        f.MarketStatus = TORA_TSTP_MST_Continous;
        return true;
    });
    answerList(link, r.requestID, std::move(out), &CTORATstpTraderSpi::OnRspQryMarket);
}

void Paper::qryMarketData(Link& link, const Request& r)
{
    std::vector<CTORATstpMarketDataField> out;
    for (const Sec& s : secs_) out.push_back(marketData(s));
    answerList(link, r.requestID, std::move(out), &CTORATstpTraderSpi::OnRspQryMarketData);
}

void Paper::qryTradingFee(Link& link, const Request& r)
{
    CTORATstpQryTradingFeeField q = r.as<CTORATstpQryTradingFeeField>();
    auto out = perExchange<CTORATstpTradingFeeField>(q.ExchangeID, [&](CTORATstpTradingFeeField& f, char ex) {
        f.ExchangeID = ex;
        f.ProductID = TORA_TSTP_PID_COMMON;
        f.SecurityType = TORA_TSTP_STP_COMMON;
        f.StampTaxRatioByAmt = cfg_.stampTaxRate;
        return true;
    });
    answerList(link, r.requestID, std::move(out), &CTORATstpTraderSpi::OnRspQryTradingFee);
}

void Paper::qryInvestorTradingFee(Link& link, const Request& r)
{
    CTORATstpQryInvestorTradingFeeField q = r.as<CTORATstpQryInvestorTradingFeeField>();
    auto out = perExchange<CTORATstpInvestorTradingFeeField>(q.ExchangeID, [&](CTORATstpInvestorTradingFeeField& f, char ex) {
        copyText(f.InvestorID, cfg_.investorID);
        f.ExchangeID = ex;
        f.ProductID = TORA_TSTP_PID_COMMON;
        f.SecurityType = TORA_TSTP_STP_COMMON;
        f.RatioByAmt = cfg_.commissionRate;
        f.FeeMin = cfg_.minCommission;
        copyText(f.DepartmentID, cfg_.departmentID);
        return true;
    });
    answerList(link, r.requestID, std::move(out), &CTORATstpTraderSpi::OnRspQryInvestorTradingFee);
}

void Paper::qryIPOQuota(Link& link, const Request& r)
{
    CTORATstpQryIPOQuotaField q = r.as<CTORATstpQryIPOQuotaField>();
    auto out = perExchange<CTORATstpIPOQuotaField>(q.ExchangeID, [&](CTORATstpIPOQuotaField& f, char ex) {
        copyText(f.InvestorID, cfg_.investorID);
        f.ExchangeID = ex;
        f.MarketID = ex == TORA_TSTP_EXD_SSE ? TORA_TSTP_MKD_SHA : TORA_TSTP_MKD_SZA;
        copyText(f.ShareholderID, shareholderFor(ex));
        return true;
    });
    answerList(link, r.requestID, std::move(out), &CTORATstpTraderSpi::OnRspQryIPOQuota);
}

void Paper::qryOrderFundDetail(Link& link, const Request& r)
{
    CTORATstpQryOrderFundDetailField q = r.as<CTORATstpQryOrderFundDetailField>();
    std::string id = fieldText(q.SecurityID);
    std::string sys = fieldText(q.OrderSysID);
    std::vector<CTORATstpOrderFundDetailField> out;
    for (const Ord& o : orders_) {
        if (o.led.orderSysID.empty()) continue;
        if (q.ExchangeID && q.ExchangeID != o.led.exchangeID) continue;
        if (!id.empty() && id != o.led.securityID) continue;
        if (!sys.empty() && sys != o.led.orderSysID) continue;
        CTORATstpOrderFundDetailField f = zeroed<CTORATstpOrderFundDetailField>();
        copyText(f.InvestorID, cfg_.investorID);
        copyText(f.SecurityID, o.led.securityID);
        f.ExchangeID = o.led.exchangeID;
        copyText(f.TradingDay, cfg_.tradingDay);
        copyText(f.OrderSysID, o.led.orderSysID);
        copyText(f.BusinessUnitID, cfg_.investorID);
        copyText(f.AccountID, cfg_.accountID);
        f.TotalFrozen = o.frozenCash;
        f.TotalFee = o.fees;
        f.BrokerageFee = o.fees;
        f.OrderAmount = o.led.turnover;
        out.push_back(f);
    }
    answerList(link, r.requestID, std::move(out), &CTORATstpTraderSpi::OnRspQryOrderFundDetail);
}

void Paper::qryFundTransferDetail(Link& link, const Request& r)
{
    CTORATstpQryFundTransferDetailField q = r.as<CTORATstpQryFundTransferDetailField>();
    std::vector<CTORATstpFundTransferDetailField> out;
    for (const auto& ft : fundTransfers_) {
        const CTORATstpTransferFundField& t = ft.rec;
        if (q.TransferDirection && q.TransferDirection != t.TransferDirection) continue;
        CTORATstpFundTransferDetailField f = zeroed<CTORATstpFundTransferDetailField>();
        copyText(f.FundSerial, t.FundSerial);
        copyText(f.ApplySerial, t.ApplySerial);
        f.FrontID = t.FrontID;
        f.SessionID = t.SessionID;
        copyText(f.AccountID, t.AccountID);
        copyText(f.CurrencyID, t.CurrencyID);
        f.TransferDirection = t.TransferDirection;
        f.Amount = t.Amount;
        f.TransferStatus = t.TransferStatus;
        f.OperateSource = TORA_TSTP_OPRTSRC_SyncAPI;
        copyText(f.OperatorID, t.OperatorID);
        copyText(f.OperateDate, t.OperateDate);
        copyText(f.OperateTime, t.OperateTime);
        copyText(f.DepartmentID, t.DepartmentID);
        f.BankID = t.BankID;
        copyText(f.InvestorID, t.InvestorID);
        f.ExternalNodeID = t.ExternalNodeID;
        out.push_back(f);
    }
    answerList(link, r.requestID, std::move(out), &CTORATstpTraderSpi::OnRspQryFundTransferDetail);
}

void Paper::qryPositionTransferDetail(Link& link, const Request& r)
{
    CTORATstpQryPositionTransferDetailField q = r.as<CTORATstpQryPositionTransferDetailField>();
    std::string id = fieldText(q.SecurityID);
    std::vector<CTORATstpPositionTransferDetailField> out;
    for (const auto& pt : posTransfers_) {
        const CTORATstpTransferPositionField& t = pt.rec;
        if (q.TransferDirection && q.TransferDirection != t.TransferDirection) continue;
        if (!id.empty() && id != fieldText(t.SecurityID)) continue;
        CTORATstpPositionTransferDetailField f = zeroed<CTORATstpPositionTransferDetailField>();
        copyText(f.PositionSerial, t.PositionSerial);
        copyText(f.ApplySerial, t.ApplySerial);
        f.FrontID = t.FrontID;
        f.SessionID = t.SessionID;
        copyText(f.InvestorID, t.InvestorID);
        f.ExchangeID = t.ExchangeID;
        copyText(f.ShareholderID, t.ShareholderID);
        f.MarketID = t.MarketID;
        copyText(f.SecurityID, t.SecurityID);
        copyText(f.TradingDay, t.TradingDay);
        f.TransferDirection = t.TransferDirection;
        f.TransferPositionType = t.TransferPositionType;
        f.TransferStatus = t.TransferStatus;
        f.HistoryVolume = t.HistoryVolume;
        copyText(f.OperatorID, t.OperatorID);
        copyText(f.OperateDate, t.OperateDate);
        copyText(f.OperateTime, t.OperateTime);
        f.ExternalNodeID = t.ExternalNodeID;
        out.push_back(f);
    }
    answerList(link, r.requestID, std::move(out), &CTORATstpTraderSpi::OnRspQryPositionTransferDetail);
}

void Paper::inquiryJZFund(Link& link, const Request& r)
{
    CTORATstpReqInquiryJZFundField q = r.as<CTORATstpReqInquiryJZFundField>();
    CTORATstpRspInquiryJZFundField f = zeroed<CTORATstpRspInquiryJZFundField>();
    copyText(f.AccountID, q.AccountID[0] ? fieldText(q.AccountID) : cfg_.accountID);
    copyText(f.CurrencyID, "CNY");
    copyText(f.DepartmentID, cfg_.departmentID);
    answerList(link, r.requestID, std::vector<CTORATstpRspInquiryJZFundField>{f},
               &CTORATstpTraderSpi::OnRspInquiryJZFund);
}

void Paper::inquiryBankAccountFund(Link& link, const Request& r)
{
    CTORATstpReqInquiryBankAccountFundField q = r.as<CTORATstpReqInquiryBankAccountFundField>();
    CTORATstpRspInquiryBankAccountFundField f = zeroed<CTORATstpRspInquiryBankAccountFundField>();
    copyText(f.DepartmentID, cfg_.departmentID);
    copyText(f.AccountID, q.AccountID[0] ? fieldText(q.AccountID) : cfg_.accountID);
    copyText(f.CurrencyID, "CNY");
    f.BankID = q.BankID ? q.BankID : TORA_TSTP_BKID_CCB;
    copyText(f.BankAccountID, "6217000000000000001");
    f.Balance = bankBalance_;
    answerList(link, r.requestID, std::vector<CTORATstpRspInquiryBankAccountFundField>{f},
               &CTORATstpTraderSpi::OnRspInquiryBankAccountFund);
}

void Paper::inquiryMaxOrderVolume(Link& link, const Request& r)
{
    CTORATstpReqInquiryMaxOrderVolumeField q = r.as<CTORATstpReqInquiryMaxOrderVolumeField>();
    CTORATstpRspInquiryMaxOrderVolumeField f = zeroed<CTORATstpRspInquiryMaxOrderVolumeField>();
    f.ExchangeID = q.ExchangeID;
    copyText(f.SecurityID, q.SecurityID);
    copyText(f.InvestorID, q.InvestorID);
    copyText(f.BusinessUnitID, q.BusinessUnitID);
    copyText(f.AccountID, q.AccountID);
    copyText(f.ShareholderID, q.ShareholderID);
    f.Direction = q.Direction;
    f.OrderPriceType = q.OrderPriceType;
    copyText(f.CombOffsetFlag, q.CombOffsetFlag);
    copyText(f.CombHedgeFlag, q.CombHedgeFlag);
    f.TimeCondition = q.TimeCondition;
    f.VolumeCondition = q.VolumeCondition;
    f.LimitPrice = q.LimitPrice;
    f.LotType = q.LotType;
    const Sec* s = findSec(fieldText(q.SecurityID), q.ExchangeID);
    if (s) {
        if (q.Direction == TORA_TSTP_D_Sell) {
            auto it = positions_.find(s->cfg.securityID + "." + s->cfg.exchangeID);
            f.MaxVolume = it == positions_.end() ? 0 : static_cast<int>(it->second.st.available);
        } else {
            double px = q.LimitPrice > 0 ? q.LimitPrice : s->cfg.upperLimitPrice;
            long long v = static_cast<long long>(account_.available / (px * (1 + cfg_.commissionRate)));
            v -= v % s->cfg.buyVolumeUnit;
            f.MaxVolume = static_cast<int>(std::min<long long>(v, s->cfg.maxVolume));
        }
    }
    answerList(link, r.requestID, std::vector<CTORATstpRspInquiryMaxOrderVolumeField>{f},
               &CTORATstpTraderSpi::OnRspInquiryMaxOrderVolume);
}

void Paper::inquiryNodeFundAssignment(Link& link, const Request& r)
{
    CTORATstpRspInquiryNodeFundAssignmentField f = zeroed<CTORATstpRspInquiryNodeFundAssignmentField>();
    copyText(f.DepartmentID, cfg_.departmentID);
    copyText(f.AccountID, cfg_.accountID);
    copyText(f.CurrencyID, "CNY");
    copyText(f.InvestorID, cfg_.investorID);
    f.NodeID1 = 1;
    f.AmtRatio1 = 1.0;
    answerList(link, r.requestID, std::vector<CTORATstpRspInquiryNodeFundAssignmentField>{f},
               &CTORATstpTraderSpi::OnRspInquiryNodeFundAssignment);
}

#if TORASIM_HAS_GET_CONNECTION_INFO
void Paper::getConnectionInfo(Link& link, const Request& r)
{
    CTORATstpConnectionInfoField f = zeroed<CTORATstpConnectionInfoField>();
    copyText(f.InnerIPAddress, "127.0.0.1");
    f.InnerPort = 6500;
    copyText(f.OuterIPAddress, "127.0.0.1");
    f.OuterPort = 6500;
    copyText(f.MacAddress, "00:00:00:00:00:00");
    answerList(link, r.requestID, std::vector<CTORATstpConnectionInfoField>{f},
               &CTORATstpTraderSpi::OnRspGetConnectionInfo);
}
#endif

// --- market-data front ------------------------------------------------------------------------

void Paper::mdRequest(Link& link, const Request& r)
{
    int id = r.requestID;
    if (r.type == "ReqUserLogin") {
        CTORATstpReqUserLoginField in = r.as<CTORATstpReqUserLoginField>();
        if (!password_.empty() && fieldText(in.Password) != password_) {
            reject(link, r, kErrBadPassword, kMsgBadPassword);
            return;
        }
        link.loggedIn = true;
        link.frontID = cfg_.frontID;
        link.sessionID = b_.nextSessionID++;
        link.userID = fieldText(in.LogInAccount);
        CTORATstpRspUserLoginField a = zeroed<CTORATstpRspUserLoginField>();
        copyText(a.LoginTime, brokerNow().time);
        copyText(a.LogInAccount, in.LogInAccount);
        a.LogInAccountType = in.LogInAccountType;
        copyText(a.SystemName, "TORA");
        a.FrontID = link.frontID;
        a.SessionID = link.sessionID;
        copyText(a.TradingDay, cfg_.tradingDay);
        copyText(a.UserID, in.LogInAccount);
        a.UserType = TORA_TSTP_UTYPE_Investor;
        b_.answerMd(link, [a, id](CTORATstpMdSpi* s) mutable {
            CTORATstpRspInfoField ok = okInfo();
            s->OnRspUserLogin(&a, &ok, id, true);
        });
        return;
    }
    if (r.type == "ReqUserLogout") {
        CTORATstpUserLogoutField in = r.as<CTORATstpUserLogoutField>();
        link.loggedIn = false;
        link.subscriptions.clear();
        b_.answerMd(link, [in, id](CTORATstpMdSpi* s) mutable {
            CTORATstpRspInfoField ok = okInfo();
            s->OnRspUserLogout(&in, &ok, id, true);
        });
        return;
    }
    if (r.type == "ReqInquiryMarketDataMirror") {
        b_.answerMd(link, [id](CTORATstpMdSpi* s) {
            CTORATstpRspInfoField ok = okInfo();
            s->OnRspInquiryMarketDataMirror(nullptr, &ok, id, true);
        });
        return;
    }
    bool snapshots = r.type == "SubscribeMarketData" || r.type == "UnSubscribeMarketData";
    bool subscribe = r.type.compare(0, 9, "Subscribe") == 0;
    if (r.type.find("Rapid") != std::string::npos) return;   // no answer callback exists
    std::vector<const Sec*> added;
    for (std::size_t i = 0; i < r.securities.size(); ++i) {
        const std::string& sid = r.securities[i];
        bool all = sid == "00000000" || sid == "*";
        const Sec* sec = all ? nullptr : findSec(sid, r.exchangeID);
        CTORATstpRspInfoField info = okInfo();
        if (!all && !sec) info = Broker::rspInfo(kErrUnknownSecurity, kMsgUnknownSecurity);
        if (snapshots && info.ErrorID == 0) {
            // "All of an exchange" ("00000000"); with no known exchange, all of both.
            std::vector<std::string> keys;
            if (!all) {
                keys.push_back(std::string(1, sec->cfg.exchangeID) + sec->cfg.securityID);
            } else if (r.exchangeID == TORA_TSTP_EXD_SSE || r.exchangeID == TORA_TSTP_EXD_SZSE) {
                keys.push_back(std::string(1, r.exchangeID) + "*");
            } else {
                keys.push_back(std::string(1, TORA_TSTP_EXD_SSE) + "*");
                keys.push_back(std::string(1, TORA_TSTP_EXD_SZSE) + "*");
            }
            for (const std::string& key : keys) {
                if (!subscribe) {
                    link.subscriptions.erase(key);
                    continue;
                }
                if (!link.subscriptions.insert(key).second) continue;
                for (const Sec& s : secs_)
                    if (key[0] == s.cfg.exchangeID && (key[1] == '*' || &s == sec)) added.push_back(&s);
            }
        }
        CTORATstpSpecificSecurityField which = zeroed<CTORATstpSpecificSecurityField>();
        which.ExchangeID = r.exchangeID;
        copyText(which.SecurityID, sid);
        bool last = i + 1 == r.securities.size();
        std::string type = r.type;
        b_.answerMd(link, [which, info, last, type](CTORATstpMdSpi* s) mutable {
            answerSubscription(s, type, &which, &info, last);
        });
    }
    // A new subscriber gets the current snapshot at once, as a real front does.
    for (const Sec* s : added) {
        CTORATstpMarketDataField md = marketData(*s);
        link.postMd([md](CTORATstpMdSpi* sp) mutable { sp->OnRtnDepthMarketData(&md); });
    }
}

}  // namespace detail
}  // namespace torasim
