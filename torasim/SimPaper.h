// The paper broker: one account, its securities and books, its orders and trades. Every method
// runs with the owning broker's lock held; callbacks leave through the broker's emit helpers.
#ifndef TORASIM_SIMPAPER_H
#define TORASIM_SIMPAPER_H

#include "SimCore.h"

#include <deque>
#include <map>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace torasim {
namespace detail {

class Paper {
public:
    explicit Paper(Broker::Impl& broker);

    // False when the CSV replay file cannot be read.
    bool configure(const PaperConfig& cfg);
    const PaperConfig& config() const { return cfg_; }
    void setSnapshotsPerSecond(double rate) { cfg_.snapshotsPerSecond = rate; }

    // A request from a connection (trader or md), already logged and not refused.
    void handle(Link& link, const Request& r);
    // Answers `r` with an error the way a front does for that request type.
    void reject(Link& link, const Request& r, int errorID, const char* msg);

    // Market.
    void tick();
    bool setBook(const std::string& securityID, const BookLevels& book);
    std::optional<CTORATstpMarketDataField> snapshot(const std::string& securityID) const;

    // Ledger.
    std::vector<LedgerOrder> orders() const;
    std::vector<CTORATstpTradeField> trades() const { return trades_; }
    AccountState account() const { return account_; }
    std::vector<PositionState> positions() const;
    std::string password() const { return password_; }
    // A booking of the broker's own outside any order: cash added (or taken), and shares held
    // since yesterday added to (or taken from) positions.
    void adjust(double cash, const std::vector<PositionConfig>& positions);

    // The answer callback of a trader request, called with no record (or the echoed request
    // where the answer carries the request's own record type). False for unknown types.
    static bool genericAnswer(CTORATstpTraderSpi* spi, const Request& r, CTORATstpRspInfoField* info);

private:
    struct Sec {
        SecurityConfig cfg;
        char marketID = 0;
        BookLevels book;
        double mid = 0;
        double last = 0;
        double open = 0;
        double high = 0;
        double low = 0;
        double close = 0;
        long long volume = 0;
        double turnover = 0;
        long long tradingCount = 0;
        Rng rng;
        std::string updateTime;
        int updateMillis = 0;
        bool started = false;   // has had a first tick
    };
    struct Pos {
        PositionState st;
        long long prePosition = 0;
    };
    struct Ord {
        LedgerOrder led;
        CTORATstpInputOrderField input;
        int linkID = 0;
        std::size_t sec = 0;
        char marketID = 0;
        std::string shareholderID;
        std::string orderLocalID;
        double matchLimit = 0;     // buys trade at or below, sells at or above
        bool market = false;       // no price limit while matching
        double frozenCash = 0;     // still held for this buy
        double cashPerShare = 0;
        double fees = 0;
        long long timeSeq = 0;
        bool resting = false;
        std::string statusMsg;
    };
    struct FundTransfer {
        CTORATstpTransferFundField rec;
    };
    struct PosTransfer {
        CTORATstpTransferPositionField rec;
    };

    using Handler = void (Paper::*)(Link&, const Request&);
    static const std::unordered_map<std::string, Handler>& traderHandlers();

    // Securities and market (PaperMarket.cpp).
    void buildSecurities();
    Sec* findSec(const std::string& id, char exchangeID);
    const Sec* findSec(const std::string& id, char exchangeID) const;
    void stepSynthetic(Sec& s);
    void rebuildBook(Sec& s);
    bool loadCsv();
    bool stepCsv();
    void markUpdated(Sec& s);
    CTORATstpMarketDataField marketData(const Sec& s) const;
    CTORATstpSecurityField securityRecord(const Sec& s) const;
    void publish(const Sec& s);

    // Orders (Paper.cpp).
    void orderInsert(Link& link, const Request& r);
    void orderAction(Link& link, const Request& r);
    void matchIncoming(Ord& o);
    void matchResting(std::size_t secIndex);
    void fill(Ord& o, double price, long long volume);
    void finish(Ord& o, const char* statusMsg);
    void releaseFrozen(Ord& o);
    CTORATstpOrderField orderRecord(const Ord& o) const;
    void noticeOrder(const Ord& o);
    double fee(double turnover, bool sell) const;
    Pos* findPos(const std::string& id, char exchangeID);
    Pos& posFor(const Sec& s);
    std::string shareholderFor(char exchangeID) const;

    // Requests.
    void userLogin(Link& link, const Request& r);
    void userLogout(Link& link, const Request& r);
    void passwordUpdate(Link& link, const Request& r);
    void transferFund(Link& link, const Request& r);
    void transferPosition(Link& link, const Request& r);
    void qrySecurity(Link& link, const Request& r);
    void qryShareholderAccount(Link& link, const Request& r);
    void qryTradingAccount(Link& link, const Request& r);
    void qryPosition(Link& link, const Request& r);
    void qryOrder(Link& link, const Request& r);
    void qryTrade(Link& link, const Request& r);
    void qryOrderAction(Link& link, const Request& r);
    void qryInvestor(Link& link, const Request& r);
    void qryUser(Link& link, const Request& r);
    void qryExchange(Link& link, const Request& r);
    void qryMarket(Link& link, const Request& r);
    void qryMarketData(Link& link, const Request& r);
    void qryTradingFee(Link& link, const Request& r);
    void qryInvestorTradingFee(Link& link, const Request& r);
    void qryIPOQuota(Link& link, const Request& r);
    void qryOrderFundDetail(Link& link, const Request& r);
    void qryFundTransferDetail(Link& link, const Request& r);
    void qryPositionTransferDetail(Link& link, const Request& r);
    void inquiryJZFund(Link& link, const Request& r);
    void inquiryBankAccountFund(Link& link, const Request& r);
    void inquiryMaxOrderVolume(Link& link, const Request& r);
    void inquiryNodeFundAssignment(Link& link, const Request& r);
    // Only where the stand-in declares the request (SimSdk.h).
    void getConnectionInfo(Link& link, const Request& r);
    void notSupported(Link& link, const Request& r);
    void mdRequest(Link& link, const Request& r);
    void replayPrivateFlow(Link& link);

    // The day's journal (PaperJournal.cpp): written after every change when the configuration
    // names a file, taken up by configure() when that file holds the same trading day.
    void touch() { dirty_ = true; }
    void saveJournal();
    bool loadJournal();

    template <class T>
    void answerList(Link& link, int requestID, std::vector<T> recs,
                    void (CTORATstpTraderSpi::*cb)(T*, CTORATstpRspInfoField*, int, bool));
    // One zeroed record per exchange the query asks for (0: both), filled by fill(record,
    // exchange), which may return false to leave the record out.
    template <class T, class Fill>
    static std::vector<T> perExchange(char wanted, Fill fill);

    Broker::Impl& b_;
    PaperConfig cfg_;
    std::string password_;
    std::vector<Sec> secs_;
    std::map<std::string, std::size_t> secIndex_;   // "<id>.<exchange>" and "<id>."
    std::map<std::string, Pos> positions_;          // "<id>.<exchange>"
    std::deque<Ord> orders_;
    std::vector<std::vector<std::size_t>> resting_;   // per security: orders that may still rest
    std::map<std::string, std::size_t> bySysID_;
    std::vector<CTORATstpTradeField> trades_;
    std::vector<CTORATstpOrderActionField> actions_;
    std::vector<FundTransfer> fundTransfers_;
    std::vector<PosTransfer> posTransfers_;
    AccountState account_;
    double deposit_ = 0;
    double withdraw_ = 0;
    double bankBalance_ = 0;
    long long nextSysID_ = 1;
    long long nextTradeID_ = 1;
    long long nextLocalID_ = 1;
    long long nextTimeSeq_ = 1;
    long long nextSerial_ = 1;
    bool dirty_ = false;   // changed since the journal was written

    // CSV replay.
    struct CsvRow {
        std::string securityID;
        char exchangeID = 0;
        BookLevels book;
        double preClose = 0;
        long long volume = -1;
        double turnover = -1;
        std::string updateTime;
    };
    std::vector<CsvRow> csv_;
    std::size_t csvPos_ = 0;
};

}  // namespace detail
}  // namespace torasim

#endif  // TORASIM_SIMPAPER_H
