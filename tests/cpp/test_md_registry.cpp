// The subscription registry of the market-data side, without an SDK: a CBaseMd whose requests
// are only recorded. Covers the registry keys, what a subscribe or unsubscribe records and sends,
// the exchange look-up for IDs named without a usable exchange, and the re-send after a login.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "marketdata/CBaseMd.h"
#include "trader/SecurityDirectory.h"

namespace {

struct SentRequest {
    bool subscribe;
    std::string exchange;
    std::vector<std::string> ids;
    char type;
    bool lockWasFree;
};

class RecordingMd : public CBaseMd {
public:
    RecordingMd() : CBaseMd(new CQNLoginField(), nullptr, nullptr, nullptr) { createRegistryKeys(); }

    int requestSubscribe(const char *exchangeID, char **ids, int count, char type) override {
        return record(true, exchangeID, ids, count, type);
    }
    int requestUnsubscribe(const char *exchangeID, char **ids, int count, char type) override {
        return record(false, exchangeID, ids, count, type);
    }
    int requestLogin() override { return 0; }

    int resubscribe() { return subscribeSecurities(nullptr, nullptr, ENUM_MarketDataType_Snap); }
    int subscribe(const char *exchange, const SecuritySet &ids) {
        return subscribeSecurities(exchange, &ids, ENUM_MarketDataType_Snap);
    }
    int unsubscribe(const char *exchange, const SecuritySet &ids) {
        return unsubscribeSecurities(exchange, &ids, ENUM_MarketDataType_Snap);
    }

    std::vector<SentRequest> sent;
    int resultPerRequest = 0;

private:
    int record(bool subscribe, const char *exchangeID, char **ids, int count, char type) {
        SentRequest r{subscribe, exchangeID ? exchangeID : "<null>", {}, type,
                      subscriptionLock_.load(std::memory_order_acquire) == 0};
        for (int i = 0; i < count; ++i) r.ids.emplace_back(ids[i]);
        sent.push_back(r);
        return resultPerRequest;
    }
};

class MdRegistry : public ::testing::Test {
protected:
    void SetUp() override { tc::resetProcessTraderStateForTests(); }
    void TearDown() override { tc::resetProcessTraderStateForTests(); }
    RecordingMd md;
};

using Ids = std::vector<std::string>;

TEST_F(MdRegistry, StartsWithExactlyTheFourSnapshotKeysAllEmpty) {
    EXPECT_EQ(md.registryKeys(), (std::vector<std::string>{"1.0", "2.0", "3.0", "U.0"}));
    for (const std::string &key : md.registryKeys()) EXPECT_TRUE(md.registeredIDs(key).empty()) << key;
    EXPECT_EQ(md.apiStatus(), ENUM_ApiStatus_Null);
}

TEST_F(MdRegistry, SubscribeRecordsEachIdOnceAndSendsOnlyNewOnes) {
    md.resultPerRequest = 2;
    EXPECT_EQ(md.subscribe("1", {"600000", "600036"}), 2);
    ASSERT_EQ(md.sent.size(), 1u);
    EXPECT_TRUE(md.sent[0].subscribe);
    EXPECT_EQ(md.sent[0].exchange, "1");
    EXPECT_EQ(md.sent[0].ids, (Ids{"600000", "600036"}));
    EXPECT_EQ(md.sent[0].type, ENUM_MarketDataType_Snap);
    EXPECT_TRUE(md.sent[0].lockWasFree) << "requests must go out after the registry lock is released";

    // A second subscribe of a recorded ID sends nothing for it.
    EXPECT_EQ(md.subscribe("1", {"600000", "601318"}), 2);
    ASSERT_EQ(md.sent.size(), 2u);
    EXPECT_EQ(md.sent[1].ids, (Ids{"601318"}));
    EXPECT_EQ(md.subscribe("1", {"600000"}), 0);
    EXPECT_EQ(md.sent.size(), 2u);
    EXPECT_EQ(md.registeredIDs("1.0"), (SecuritySet{"600000", "600036", "601318"}));
}

TEST_F(MdRegistry, UnsubscribeSendsOnlyIdsThatWereRecorded) {
    md.resultPerRequest = 5;
    md.subscribe("2", {"000001", "000002"});
    md.sent.clear();

    EXPECT_EQ(md.unsubscribe("2", {"300750"}), 0);
    EXPECT_TRUE(md.sent.empty());
    EXPECT_EQ(md.unsubscribe("1", {"000001"}), 0) << "recorded under another exchange";
    EXPECT_TRUE(md.sent.empty());

    EXPECT_EQ(md.unsubscribe("2", {"000001", "300750"}), 5);
    ASSERT_EQ(md.sent.size(), 1u);
    EXPECT_FALSE(md.sent[0].subscribe);
    EXPECT_EQ(md.sent[0].exchange, "2");
    EXPECT_EQ(md.sent[0].ids, (Ids{"000001"}));
    EXPECT_TRUE(md.sent[0].lockWasFree);
    EXPECT_EQ(md.registeredIDs("2.0"), (SecuritySet{"000002"}));
    EXPECT_EQ(md.unsubscribeSecurities("2", nullptr, ENUM_MarketDataType_Snap), 0);
}

TEST_F(MdRegistry, ExchangesWithoutAKeyAndOtherTypesRecordNothing) {
    md.resultPerRequest = 1;
    for (const char *exchange : {"SHFE", "CFFEX", "", "12", "1.0"}) {
        EXPECT_EQ(md.subscribe(exchange, {"600000"}), 0) << exchange;
    }
    EXPECT_EQ(md.subscribeSecurities("1", nullptr, ENUM_MarketDataType_Snap), 0);
    SecuritySet ids{"600000"};
    EXPECT_EQ(md.subscribeSecurities("1", &ids, ENUM_MarketDataType_DetailOrder), 0);
    EXPECT_TRUE(md.sent.empty());
    for (const std::string &key : md.registryKeys()) EXPECT_TRUE(md.registeredIDs(key).empty()) << key;
    EXPECT_EQ(md.registryKeys().size(), 4u) << "no key is ever added";
}

TEST_F(MdRegistry, IdsWithoutExchangeAreResolvedFromTheSecurityDirectory) {
    // Type 'a' is entered under "<code>." as well, so the code alone finds it.
    tc::securityDirectory.enter("600000", "1", 'a', 100);
    tc::securityDirectory.enter("000001", "2", 'a', 100);
    md.resultPerRequest = 1;

    EXPECT_EQ(md.subscribe(nullptr, {"600000", "000001", "999999"}), 3);
    ASSERT_EQ(md.sent.size(), 3u);
    // One request per exchange, each with the exchange the directory gave (or "U").
    EXPECT_EQ(md.sent[0].exchange, "1");
    EXPECT_EQ(md.sent[0].ids, (Ids{"600000"}));
    EXPECT_EQ(md.sent[1].exchange, "2");
    EXPECT_EQ(md.sent[1].ids, (Ids{"000001"}));
    EXPECT_EQ(md.sent[2].exchange, "U");
    EXPECT_EQ(md.sent[2].ids, (Ids{"999999"}));
    EXPECT_EQ(md.registeredIDs("1.0"), (SecuritySet{"600000"}));
    EXPECT_EQ(md.registeredIDs("2.0"), (SecuritySet{"000001"}));
    EXPECT_EQ(md.registeredIDs("U.0"), (SecuritySet{"999999"}));

    // "U" given explicitly resolves the same way; an explicit exchange is taken as given.
    md.sent.clear();
    EXPECT_EQ(md.subscribe("U", {"600000"}), 0);
    EXPECT_EQ(md.subscribe("3", {"600000"}), 1);
    ASSERT_EQ(md.sent.size(), 1u);
    EXPECT_EQ(md.sent[0].exchange, "3");
    EXPECT_EQ(md.unsubscribe("U", {"000001"}), 1);
    EXPECT_EQ(md.sent.back().exchange, "2");
    EXPECT_TRUE(md.registeredIDs("2.0").empty());
}

TEST_F(MdRegistry, ResendSendsEveryRecordedSetUnderItsKeyAndReresolvesUnknownIds) {
    md.resultPerRequest = 10;
    md.subscribe("1", {"600000", "600036"});
    md.subscribe("2", {"000001"});
    md.subscribe(nullptr, {"510300", "888888"});  // unknown to the directory: recorded under U.0
    EXPECT_EQ(md.registeredIDs("U.0"), (SecuritySet{"510300", "888888"}));
    md.sent.clear();

    // The directory learns one of the unknown IDs before the next login.
    tc::securityDirectory.enter("510300", "1", 'a', 100);
    EXPECT_EQ(md.resubscribe(), 20);

    ASSERT_EQ(md.sent.size(), 2u);
    for (const SentRequest &r : md.sent) {
        EXPECT_TRUE(r.subscribe);
        EXPECT_TRUE(r.lockWasFree);
        EXPECT_EQ(r.type, ENUM_MarketDataType_Snap);
    }
    // The key text is passed as the exchange; the SDK takes its first character.
    EXPECT_EQ(md.sent[0].exchange, "1.0");
    EXPECT_EQ(md.sent[0].ids, (Ids{"510300", "600000", "600036"}));
    EXPECT_EQ(md.sent[1].exchange, "2.0");
    EXPECT_EQ(md.sent[1].ids, (Ids{"000001"}));
    // The still unknown ID is dropped from the registry.
    EXPECT_TRUE(md.registeredIDs("U.0").empty());
    EXPECT_EQ(md.registeredIDs("1.0"), (SecuritySet{"510300", "600000", "600036"}));

    // A second re-send sends the same sets again.
    md.sent.clear();
    EXPECT_EQ(md.resubscribe(), 20);
    EXPECT_EQ(md.sent.size(), 2u);
}

TEST_F(MdRegistry, ResendWithNothingRecordedSendsNothing) {
    md.resultPerRequest = 1;
    EXPECT_EQ(md.resubscribe(), 0);
    EXPECT_TRUE(md.sent.empty());
}

TEST_F(MdRegistry, ApplySubscriptionChangeReportsWhatChangedByExchange) {
    tc::securityDirectory.enter("600000", "1", 'a', 100);
    auto change = md.applySubscriptionChange(CBaseMd::SubscriptionMode::Subscribe, nullptr,
                                             {"600000", "777777"}, ENUM_MarketDataType_Snap);
    ASSERT_EQ(change.size(), 2u);
    EXPECT_EQ(change["1"], (Ids{"600000"}));
    EXPECT_EQ(change["U"], (Ids{"777777"}));
    change = md.applySubscriptionChange(CBaseMd::SubscriptionMode::Subscribe, "1", {"600000"},
                                        ENUM_MarketDataType_Snap);
    EXPECT_TRUE(change.empty());
    EXPECT_TRUE(md.sent.empty()) << "the registry step itself sends nothing";
}

}  // namespace
