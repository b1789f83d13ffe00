// Start-up: the checks in their order, the defaults of the login copy, the flow directories,
// the engine key and both registries, connect timeouts. The adapters are doubles here, so each
// case decides whether and when a side reaches its front.
#include <gtest/gtest.h>

#include <chrono>
#include <random>
#include <string>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "engine/Adapters.h"
#include "engine/Init.h"
#include "engine/PackageHooks.h"
#include "engine/Registry.h"
#include "engine/Text.h"
#include "engine/tradecore_api.h"
#include "events/RecordingBridge.h"
#include "support/EngineDoubles.h"

namespace fs = std::filesystem;
using tc::testing::FakeEngine;
using tc::testing::FakeMd;

namespace {
// ctest runs every case in its own process, often two at once: each needs its own directory.
std::string uniqueTag() {
    static const std::string tag = std::to_string(std::random_device{}()) + std::to_string(
        std::chrono::steady_clock::now().time_since_epoch().count());
    return tag;
}
}  // namespace

namespace {

// What the double factories do and saw.
struct Doubles {
    std::atomic<char> traderStatus{ENUM_ApiStatus_Initializing};  // '0': never reaches its front
    std::atomic<char> mdStatus{ENUM_ApiStatus_Initializing};
    std::atomic<int> traders{0};
    std::atomic<int> mds{0};
    std::atomic<bool> traderDestroyed{false};
    std::atomic<bool> mdDestroyed{false};
    // Written by init's thread (several of them in the overlap case).
    std::mutex mutex;
    std::atomic<FakeEngine *> lastTrader{nullptr};
    FakeMd *lastMd = nullptr;
    int lastRunID16 = 0;
    PyObject *traderProcessors[3] = {};
    PyObject *mdProcessors[3] = {};
    std::vector<CBaseTrader *> made;
};
Doubles gDoubles;

CBaseTrader *makeTrader(int runID16, CQNLoginField *login, PyObject *orderEvents, PyObject *events,
                        PyObject *loop) {
    auto *engine = new FakeEngine(runID16, login, orderEvents, events, loop);
    engine->destroyed = &gDoubles.traderDestroyed;
    {
        std::lock_guard<std::mutex> guard(gDoubles.mutex);
        gDoubles.lastRunID16 = runID16;
        gDoubles.made.push_back(engine);
        gDoubles.traderProcessors[0] = orderEvents;
        gDoubles.traderProcessors[1] = events;
        gDoubles.traderProcessors[2] = loop;
    }
    gDoubles.lastTrader = engine;
    gDoubles.traders++;
    if (gDoubles.traderStatus != ENUM_ApiStatus_Null) engine->setApiStatus(gDoubles.traderStatus);
    return engine;
}

CBaseMd *makeMd(CQNLoginField *login, PyObject *marketData, PyObject *events, PyObject *unused) {
    auto *md = new FakeMd(login, marketData, events, unused);
    md->destroyed = &gDoubles.mdDestroyed;
    {
        std::lock_guard<std::mutex> guard(gDoubles.mutex);
        gDoubles.lastMd = md;
        gDoubles.mdProcessors[0] = marketData;
        gDoubles.mdProcessors[1] = events;
        gDoubles.mdProcessors[2] = unused;
    }
    gDoubles.mds++;
    if (gDoubles.mdStatus != ENUM_ApiStatus_Null) md->setApiStatus(gDoubles.mdStatus);
    return md;
}

class InitTest : public ::testing::Test {
protected:
    void SetUp() override {
        previous_ = tc::setAdapterFactories({&makeTrader, &makeMd});
        cwd_ = fs::current_path();
        gDoubles.traderStatus = ENUM_ApiStatus_Initializing;
        gDoubles.mdStatus = ENUM_ApiStatus_Initializing;
        gDoubles.traders = 0;
        gDoubles.mds = 0;
        gDoubles.traderDestroyed = false;
        gDoubles.mdDestroyed = false;
        gDoubles.lastTrader = nullptr;
        static std::atomic<int> counter{0};
        base_ = fs::temp_directory_path() /
                ("tc_engine_init_" + uniqueTag() + "_" + std::to_string(counter++));
        fs::remove_all(base_);
        fs::create_directories(base_);
    }
    void TearDown() override {
        tc::setAdapterFactories(previous_);
        // Engines this case registered must not keep a later loop running.
        for (CBaseTrader *engine : tc::registeredEngines()) {
            std::lock_guard<std::mutex> guard(gDoubles.mutex);
            for (CBaseTrader *made : gDoubles.made) {
                if (made == engine) exitX(engine);
            }
        }
        std::error_code ec;
        fs::current_path(cwd_, ec);
        fs::remove_all(base_, ec);
    }

    // A login record that passes every check; each test gets its own user so registry keys
    // never collide across tests.
    CQNLoginField login() {
        static std::atomic<int> users{0};
        CQNLoginField l;
        l.UserType = ENUM_UserType_TORAStock;
        tc::copyText(l.UserID, ("u" + std::to_string(users++)).c_str());
        tc::copyText(l.TraderFrontAddress, "tcp://trader");
        tc::copyText(l.MdFrontAddress, "tcp://md");
        tc::copyText(l.BasePath, base_.string().c_str());
        return l;
    }

    tc::AdapterFactories previous_{};
    fs::path cwd_;
    fs::path base_;
};

// --- checks, in order --------------------------------------------------------------------------

TEST_F(InitTest, NullLoginField) {
    EXPECT_EQ(init(1, nullptr, nullptr, nullptr, nullptr, nullptr), nullptr);
    EXPECT_EQ(getInitError(), -1000300);
}

TEST_F(InitTest, RunIDRangeIsCheckedOnTheFullValueIn64Bits) {
    CQNLoginField l = login();
    EXPECT_EQ(init(-1, &l, nullptr, nullptr, nullptr, nullptr), nullptr);
    EXPECT_EQ(getInitError(), -1000200);
    l.IDRange = 2147483647;
    EXPECT_EQ(init(0, &l, nullptr, nullptr, nullptr, nullptr), nullptr);
    EXPECT_EQ(getInitError(), -1000200);
    l.IDRange = 100000;
    EXPECT_EQ(init(2147483647 - 100000, &l, nullptr, nullptr, nullptr, nullptr), nullptr);
    EXPECT_EQ(getInitError(), -1000200);
    EXPECT_EQ(gDoubles.traders.load(), 0);
    EXPECT_NE(init(0, &l, nullptr, nullptr, nullptr, nullptr), nullptr);
    EXPECT_EQ(getInitError(), 0);
}

TEST_F(InitTest, LoginChecksComeInTheirOrder) {
    struct Case {
        const char *what;
        void (*change)(CQNLoginField &);
        int error;
    };
    const Case cases[] = {
        {"empty UserID before a bad UserType",
         [](CQNLoginField &l) {
             l.UserID[0] = '\0';
             l.UserType = 1;
         },
         -1000500},
        {"bad UserType", [](CQNLoginField &l) { l.UserType = 10005; }, -1000700},
        {"bad UserType 20006", [](CQNLoginField &l) { l.UserType = 20006; }, -1000700},
        {"empty trader front before md front",
         [](CQNLoginField &l) {
             l.TraderFrontAddress[0] = '\0';
             l.MdFrontAddress[0] = '\0';
         },
         -1000800},
        {"empty md front", [](CQNLoginField &l) { l.MdFrontAddress[0] = '\0'; }, -1000900},
        {"CTP without BrokerID",
         [](CQNLoginField &l) {
             l.UserType = ENUM_UserType_CTP;
             tc::copyText(l.AppID, "app");
             tc::copyText(l.AuthCode, "auth");
         },
         -1001100},
        {"CTP without AppID",
         [](CQNLoginField &l) {
             l.UserType = ENUM_UserType_CTP;
             tc::copyText(l.BrokerID, "9999");
             tc::copyText(l.AuthCode, "auth");
         },
         -1001200},
        {"CTP without AuthCode",
         [](CQNLoginField &l) {
             l.UserType = ENUM_UserType_CTP;
             tc::copyText(l.BrokerID, "9999");
             tc::copyText(l.AppID, "app");
         },
         -1001300},
        // Passes every check; no adapter exists for its front type (0 stays 0 for CTP).
        {"complete CTP record",
         [](CQNLoginField &l) {
             l.UserType = ENUM_UserType_CTP;
             tc::copyText(l.BrokerID, "9999");
             tc::copyText(l.AppID, "app");
             tc::copyText(l.AuthCode, "auth");
         },
         -1000700},
        {"credit account, front type left 0", [](CQNLoginField &l) { l.UserType = ENUM_UserType_TORACredit; },
         -1000700},
        {"stock account with a foreign trader front type", [](CQNLoginField &l) { l.TraderFrontType = 40005; },
         -1000700},
    };
    for (const Case &c : cases) {
        CQNLoginField l = login();
        c.change(l);
        EXPECT_EQ(init(3, &l, nullptr, nullptr, nullptr, nullptr), nullptr) << c.what;
        EXPECT_EQ(getInitError(), c.error) << c.what;
    }
    EXPECT_EQ(gDoubles.traders.load(), 0);
}

TEST_F(InitTest, StockAccountNeedsNoBrokerID) {
    CQNLoginField l = login();
    ASSERT_EQ(l.BrokerID[0], '\0');
    EXPECT_NE(init(3, &l, nullptr, nullptr, nullptr, nullptr), nullptr);
    EXPECT_EQ(getInitError(), 0);
}

TEST_F(InitTest, UnknownFrontTypeIsRefusedAfterTheDirectoriesAreMade) {
    CQNLoginField l = login();
    l.UserType = ENUM_UserType_TORACredit;
    EXPECT_EQ(init(3, &l, nullptr, nullptr, nullptr, nullptr), nullptr);
    EXPECT_EQ(getInitError(), -1000700);
    const fs::path account = base_ / l.UserID;
    EXPECT_TRUE(fs::is_directory(account / "TDFlow"));
    EXPECT_TRUE(fs::is_directory(account / "MDFlow"));
}

TEST_F(InitTest, ExplicitFrontTypesWorkForEveryUserType) {
    CQNLoginField l = login();
    l.UserType = ENUM_UserType_TORACredit;
    l.TraderFrontType = 40004;
    l.MdFrontType = 30004;
    CBaseTrader *engine = init(3, &l, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(engine, nullptr);
    EXPECT_NE(engine->md(), nullptr);
}

// --- directories ---------------------------------------------------------------------------------

TEST_F(InitTest, EmptyBasePathMakesTheFlowDirectoriesUnderTheCurrentDirectory) {
    fs::current_path(base_);
    CQNLoginField l = login();
    l.BasePath[0] = '\0';
    CBaseTrader *engine = init(3, &l, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(engine, nullptr);
    EXPECT_TRUE(fs::is_directory(base_ / l.UserID / "TDFlow"));
    EXPECT_TRUE(fs::is_directory(base_ / l.UserID / "MDFlow"));
    EXPECT_STREQ(engine->login().BasePath, ".");
    EXPECT_STREQ(l.BasePath, "") << "the caller's record is never changed";
}

TEST_F(InitTest, AbsoluteBasePathStaysAbsolute) {
    const fs::path elsewhere = base_ / "cwd";
    fs::create_directories(elsewhere);
    fs::current_path(elsewhere);
    CQNLoginField l = login();
    const std::string absolute = (base_ / "abs" / "flows").string();
    ASSERT_TRUE(fs::path(absolute).is_absolute()) << absolute;  // a drive letter on Windows
    tc::copyText(l.BasePath, absolute.c_str());
    ASSERT_NE(init(3, &l, nullptr, nullptr, nullptr, nullptr), nullptr);
    EXPECT_TRUE(fs::is_directory(base_ / "abs" / "flows" / l.UserID / "TDFlow"));
    EXPECT_TRUE(fs::is_directory(base_ / "abs" / "flows" / l.UserID / "MDFlow"));
    // Nothing landed under the current directory.
    EXPECT_TRUE(fs::is_empty(elsewhere));
}

// On POSIX "//tmp" is "/tmp": only Windows reads two leading separators as a network share,
// whose server and share are never made, only used (a missing one is refused).
TEST_F(InitTest, TwoLeadingSeparatorsAreTheRootWhereThereAreNoShares) {
    const std::string share = "\\\\no-such-server-" + uniqueTag() + "\\share\\x";
    EXPECT_FALSE(tc::makeDirectoryChain(share, tc::platform::PathStyle::Windows));
    if (tc::platform::kHostPathStyle != tc::platform::PathStyle::Posix) return;
    // Read as a share, "//tmp/<base>" would need its "share" to exist already.
    fs::remove_all(base_);
    CQNLoginField l = login();
    const std::string doubled = "/" + base_.string();
    ASSERT_EQ(doubled.substr(0, 2), "//");
    tc::copyText(l.BasePath, doubled.c_str());
    ASSERT_NE(init(3, &l, nullptr, nullptr, nullptr, nullptr), nullptr) << getInitError();
    EXPECT_TRUE(fs::is_directory(base_ / l.UserID / "TDFlow"));
    EXPECT_TRUE(tc::makeDirectoryChain(doubled + "/x", tc::platform::PathStyle::Posix));
    EXPECT_TRUE(fs::is_directory(base_ / "x"));
}

TEST_F(InitTest, RepeatedSeparatorsAndBackslashesCountAsOne) {
    CQNLoginField l = login();
    const std::string path = base_.string() + "//a\\\\b/";
    tc::copyText(l.BasePath, path.c_str());
    ASSERT_NE(init(3, &l, nullptr, nullptr, nullptr, nullptr), nullptr);
    EXPECT_TRUE(fs::is_directory(base_ / "a" / "b" / l.UserID / "TDFlow"));
}

TEST_F(InitTest, UnmakeableDirectoryIsAnInvalidFilePath) {
    { std::ofstream(base_ / "file") << "x"; }
    CQNLoginField l = login();
    tc::copyText(l.BasePath, (base_ / "file").string().c_str());
    EXPECT_EQ(init(3, &l, nullptr, nullptr, nullptr, nullptr), nullptr);
    EXPECT_EQ(getInitError(), -1001000);

    // The account directory itself exists as a file.
    CQNLoginField m = login();
    { std::ofstream(base_ / m.UserID) << "x"; }
    EXPECT_EQ(init(3, &m, nullptr, nullptr, nullptr, nullptr), nullptr);
    EXPECT_EQ(getInitError(), -1001000);
    EXPECT_EQ(gDoubles.traders.load(), 0);
}

// BasePath comes from Python as UTF-8; the directories carry the same name on every system (on
// Windows, not the name its ANSI code page would make of those bytes).
TEST_F(InitTest, Utf8BasePathNamesTheDirectories) {
    CQNLoginField l = login();
    const std::string name = "\xe8\xb4\xa6\xe6\x88\xb7";  // "account" in Chinese, UTF-8
    tc::copyText(l.BasePath, (base_.string() + "/" + name).c_str());
    ASSERT_NE(init(3, &l, nullptr, nullptr, nullptr, nullptr), nullptr);
    EXPECT_TRUE(fs::is_directory(base_ / fs::u8path(name) / l.UserID / "TDFlow"));
}

#if defined(_WIN32)
// Windows forms of BasePath. The temporary directory lies on a drive (C: under Wine), written
// with backslashes.
TEST_F(InitTest, DriveLetterPathsWithEitherSeparator) {
    const std::string drive = base_.root_name().string();
    ASSERT_EQ(drive.size(), 2u) << base_.string();
    std::string forward = base_.string() + "\\fwd\\";
    std::replace(forward.begin(), forward.end(), '\\', '/');
    for (const std::string &path : {base_.string() + "\\back\\\\x", forward + "/x", base_.string() + "/mixed\\x"}) {
        CQNLoginField l = login();
        tc::copyText(l.BasePath, path.c_str());
        ASSERT_NE(init(3, &l, nullptr, nullptr, nullptr, nullptr), nullptr) << path;
    }
    for (const char *made : {"back", "fwd", "mixed"}) EXPECT_TRUE(fs::is_directory(base_ / made / "x")) << made;
    // A drive alone is its root, which exists.
    EXPECT_TRUE(tc::makeDirectoryChain(drive));
    EXPECT_TRUE(tc::makeDirectoryChain(drive + "\\"));
}

// A network share's server and share are used, never made: where nobody serves the share the
// path is invalid, and nothing is made under the current directory instead.
TEST_F(InitTest, NetworkShareRootIsUsedNotMade) {
    fs::current_path(base_);
    for (const char *share : {"\\\\tc-no-such-host\\flows\\x", "//tc-no-such-host/flows/x"}) {
        CQNLoginField l = login();
        tc::copyText(l.BasePath, share);
        EXPECT_EQ(init(3, &l, nullptr, nullptr, nullptr, nullptr), nullptr) << share;
        EXPECT_EQ(getInitError(), -1001000) << share;
    }
    EXPECT_TRUE(fs::is_empty(base_));
    EXPECT_EQ(gDoubles.traders.load(), 0);
}
#endif

TEST(DirectoryChain, MakesEachMissingPrefix) {
    const fs::path base = fs::temp_directory_path() / ("tc_engine_chain_" + uniqueTag());
    fs::remove_all(base);
    EXPECT_TRUE(tc::makeDirectoryChain(base.string() + "/x/y/z"));
    EXPECT_TRUE(fs::is_directory(base / "x" / "y" / "z"));
    EXPECT_TRUE(tc::makeDirectoryChain(base.string() + "/x/y/z")) << "existing prefixes are fine";
    EXPECT_TRUE(tc::makeDirectoryChain("")) << "no pieces";
    EXPECT_TRUE(tc::makeDirectoryChain("///"));
    fs::remove_all(base);
}

// --- the login copy --------------------------------------------------------------------------------

TEST_F(InitTest, TheEngineKeepsItsOwnCopyWithDefaults) {
    CQNLoginField l = login();
    l.TaskExecuteTimeout = 0;
    l.ConnectTimeout = -5;
    l.LoopGap = 7;
    l.IDRange = 100;
    const CQNLoginField before = l;
    CBaseTrader *engine = init(7, &l, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(engine, nullptr);
    EXPECT_EQ(std::memcmp(&before, &l, sizeof l), 0) << "the caller's record is never changed";

    const CQNLoginField &copy = engine->login();
    EXPECT_NE(&copy, &l);
    EXPECT_EQ(copy.TaskExecuteGap, 1000000);
    EXPECT_EQ(copy.TaskFailedGap, 10000000);
    EXPECT_EQ(copy.TaskExecuteTimeout, 10000000);
    EXPECT_STREQ(copy.InvestorID, l.UserID);
    EXPECT_EQ(copy.TraderFrontType, 40004);
    EXPECT_EQ(copy.MdFrontType, 30004);
    EXPECT_EQ(copy.ConnectTimeout, -5);
    EXPECT_EQ(copy.LoopGap, 7);
    EXPECT_EQ(copy.IDRange, 100);

    EXPECT_EQ(engine->runID(), 7);
    EXPECT_EQ(engine->idRangeEnd(), 107);
    EXPECT_EQ(engine->frontID(), 0);
    EXPECT_EQ(engine->sessionID(), 0);
    EXPECT_EQ(gDoubles.lastRunID16, 7);

    ASSERT_NE(engine->md(), nullptr);
    EXPECT_NE(&engine->md()->login(), &engine->login()) << "each side has its own copy";
    EXPECT_EQ(engine->md()->login().TaskExecuteTimeout, 10000000);
}

TEST(LoginDefaults, OnlyTheListedValuesChange) {
    CQNLoginField l;
    l.UserType = ENUM_UserType_NSIGHTStock;
    tc::copyText(l.UserID, "me");
    tc::copyText(l.InvestorID, "other");
    l.TaskExecuteGap = -2;
    l.TaskFailedGap = -3;
    l.TaskExecuteTimeout = 30000000;
    l.TraderFrontType = 5;
    tc::applyLoginDefaults(l);
    EXPECT_EQ(l.TaskExecuteGap, -2);
    EXPECT_EQ(l.TaskFailedGap, -3);
    EXPECT_EQ(l.TaskExecuteTimeout, 30000000);
    EXPECT_STREQ(l.InvestorID, "other");
    EXPECT_STREQ(l.BasePath, ".");
    EXPECT_EQ(l.TraderFrontType, 5);
    EXPECT_EQ(l.MdFrontType, 30004);

    CQNLoginField futures;
    futures.UserType = ENUM_UserType_NSIGHTFuture;
    tc::applyLoginDefaults(futures);
    EXPECT_EQ(futures.TraderFrontType, 0);
    EXPECT_EQ(futures.MdFrontType, 0);
    EXPECT_EQ(futures.TaskExecuteGap, 1000000);
    EXPECT_EQ(futures.TaskFailedGap, 10000000);
}

TEST_F(InitTest, ProcessorsGoToTheirSides) {
    PyObject *orderEvents = tc::recording::fakeCallable(1);
    PyObject *events = tc::recording::fakeCallable(2);
    PyObject *loop = tc::recording::fakeCallable(3);
    PyObject *marketData = tc::recording::fakeCallable(4);
    CQNLoginField l = login();
    CBaseTrader *engine = init(3, &l, orderEvents, events, loop, marketData);
    ASSERT_NE(engine, nullptr);
    EXPECT_EQ(gDoubles.traderProcessors[0], orderEvents);
    EXPECT_EQ(gDoubles.traderProcessors[1], events);
    EXPECT_EQ(gDoubles.traderProcessors[2], loop);
    EXPECT_EQ(gDoubles.mdProcessors[0], marketData);
    EXPECT_EQ(gDoubles.mdProcessors[1], events);
    EXPECT_EQ(gDoubles.mdProcessors[2], nullptr);
    EXPECT_EQ(engine->sink().orderEventProcessor, orderEvents);
    EXPECT_EQ(engine->sink().eventProcessor, events);
    EXPECT_EQ(engine->sink().loopProcessor, loop);
    EXPECT_STREQ(engine->sink().userID, l.UserID);
}

// --- engine key and registries ---------------------------------------------------------------------

TEST(EngineKey, UserTypeUserIDAndTheLow16BitsOfRunID) {
    CQNLoginField l;
    l.UserType = 10002;
    tc::copyText(l.UserID, "00012345");
    EXPECT_EQ(tc::engineKey(l, 7), "10002.00012345.7");
    EXPECT_EQ(tc::engineKey(l, 65543), "10002.00012345.7");
    EXPECT_EQ(tc::engineKey(l, 40000), "10002.00012345.-25536");
    EXPECT_EQ(tc::runID16(65535), -1);
    EXPECT_EQ(tc::runID16(32767), 32767);
    EXPECT_EQ(tc::runID16(2147483647), -1);
}

TEST_F(InitTest, SameAccountAndFoldedRunIDGiveTheSameEngine) {
    CQNLoginField l = login();
    CBaseTrader *first = init(7, &l, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(first, nullptr);
    CBaseMd *md = first->md();
    ASSERT_NE(md, nullptr);
    // The second call still makes and checks a fresh copy, directories included.
    fs::remove_all(base_ / l.UserID);
    EXPECT_EQ(init(65543, &l, nullptr, nullptr, nullptr, nullptr), first);
    EXPECT_EQ(getInitError(), 0);
    EXPECT_TRUE(fs::is_directory(base_ / l.UserID / "MDFlow"));
    EXPECT_EQ(init(7, &l, nullptr, nullptr, nullptr, nullptr), first);
    EXPECT_EQ(first->md(), md);
    EXPECT_EQ(gDoubles.traders.load(), 1);
    EXPECT_EQ(gDoubles.mds.load(), 1);

    // Another RunID is another engine.
    CBaseTrader *other = init(8, &l, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(other, nullptr);
    EXPECT_NE(other, first);
    EXPECT_EQ(gDoubles.traders.load(), 2);
}

TEST_F(InitTest, RegisteredEngineIsReturnedWhateverItsStatus) {
    CQNLoginField l = login();
    CBaseTrader *engine = init(3, &l, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(engine, nullptr);
    exitX(engine);
    EXPECT_EQ(init(3, &l, nullptr, nullptr, nullptr, nullptr), engine);
    EXPECT_EQ(engine->apiStatus(), ENUM_ApiStatus_Exit);
    bool listed = false;
    for (CBaseTrader *e : tc::registeredEngines()) listed = listed || e == engine;
    EXPECT_TRUE(listed);
}

TEST_F(InitTest, TraderConnectTimeoutDestroysTheEngineAndRegistersNothing) {
    gDoubles.traderStatus = ENUM_ApiStatus_Null;
    CQNLoginField l = login();
    l.ConnectTimeout = 3000;
    EXPECT_EQ(init(3, &l, nullptr, nullptr, nullptr, nullptr), nullptr);
    EXPECT_EQ(getInitError(), -1001500);
    EXPECT_TRUE(gDoubles.traderDestroyed.load());
    EXPECT_EQ(gDoubles.mds.load(), 0);
    EXPECT_EQ(tc::findEngine(tc::engineKey(l, 3)), nullptr);

    // A later front that answers gets a fresh engine.
    gDoubles.traderStatus = ENUM_ApiStatus_Initializing;
    EXPECT_NE(init(3, &l, nullptr, nullptr, nullptr, nullptr), nullptr);
    EXPECT_EQ(gDoubles.traders.load(), 2);
}

TEST_F(InitTest, InitWaitsForTheFrontWhenThereIsNoTimeout) {
    gDoubles.traderStatus = ENUM_ApiStatus_Null;
    CQNLoginField l = login();
    l.ConnectTimeout = 0;
    std::atomic<CBaseTrader *> result{nullptr};
    std::thread caller([&] { result = init(3, &l, nullptr, nullptr, nullptr, nullptr); });
    while (gDoubles.traders.load() == 0) std::this_thread::yield();
    // The front answers whenever it answers.
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(result.load(), nullptr);
    gDoubles.lastTrader.load()->setApiStatus(ENUM_ApiStatus_Initializing);
    caller.join();
    EXPECT_EQ(result.load(), gDoubles.lastTrader.load());
    EXPECT_EQ(getInitError(), 0);
}

TEST_F(InitTest, MarketDataTimeoutLeavesTheEngineWithoutMarketData) {
    gDoubles.mdStatus = ENUM_ApiStatus_Null;
    CQNLoginField l = login();
    l.ConnectTimeout = 3000;
    CBaseTrader *engine = init(3, &l, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(engine, nullptr);
    EXPECT_EQ(getInitError(), -1001800);
    EXPECT_EQ(engine->md(), nullptr);
    EXPECT_TRUE(gDoubles.mdDestroyed.load());
    EXPECT_EQ(tc::findMd(tc::engineKey(l, 3)), nullptr);
    EXPECT_EQ(subscribeOne(engine, "600000", "1"), -1002100);
    char a[] = "600000";
    char *ids[] = {a};
    EXPECT_EQ(subscribe(engine, ids, 1, "1"), -1002100);

    // A later init of the same account finds the engine and tries market data again.
    gDoubles.mdStatus = ENUM_ApiStatus_Initializing;
    EXPECT_EQ(init(3, &l, nullptr, nullptr, nullptr, nullptr), engine);
    EXPECT_EQ(getInitError(), 0);
    EXPECT_NE(engine->md(), nullptr);
}

// The module gives a front wait up on Ctrl-C through the calling thread's wait check.
std::atomic<int> gWaitChecks{0};
bool giveUpOnThirdCheck() { return ++gWaitChecks >= 3; }

TEST_F(InitTest, AFrontWaitGivenUpByItsCheckLeavesNothingHalfRegistered) {
    CQNLoginField l = login();
    l.ConnectTimeout = 0;  // without the check these waits would never end
    tc::hooks::setFrontWaitCheck(&giveUpOnThirdCheck);

    gDoubles.traderStatus = ENUM_ApiStatus_Null;
    EXPECT_EQ(init(3, &l, nullptr, nullptr, nullptr, nullptr), nullptr);
    EXPECT_EQ(gWaitChecks.load(), 3);
    EXPECT_EQ(getInitError(), -1001500);
    EXPECT_TRUE(gDoubles.traderDestroyed.load());
    EXPECT_EQ(gDoubles.mds.load(), 0);
    EXPECT_EQ(tc::findEngine(tc::engineKey(l, 3)), nullptr);

    // Given up while waiting for market data: the trader side is whole and registered, the
    // market-data side is gone, and a later init of the account completes it.
    gWaitChecks = 0;
    gDoubles.traderStatus = ENUM_ApiStatus_Initializing;
    gDoubles.mdStatus = ENUM_ApiStatus_Null;
    CBaseTrader *engine = init(3, &l, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(engine, nullptr);
    EXPECT_EQ(getInitError(), -1001800);
    EXPECT_TRUE(gDoubles.mdDestroyed.load());
    EXPECT_EQ(tc::findMd(tc::engineKey(l, 3)), nullptr);
    tc::hooks::setFrontWaitCheck(nullptr);
    gDoubles.mdStatus = ENUM_ApiStatus_Initializing;
    EXPECT_EQ(init(3, &l, nullptr, nullptr, nullptr, nullptr), engine);
    EXPECT_NE(engine->md(), nullptr);
}

TEST_F(InitTest, ForeignMarketDataFrontTypeLeavesTheEngineWithoutMarketData) {
    CQNLoginField l = login();
    l.MdFrontType = 30005;
    CBaseTrader *engine = init(3, &l, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(engine, nullptr);
    EXPECT_EQ(getInitError(), -1000700);
    EXPECT_EQ(engine->md(), nullptr);
    EXPECT_EQ(gDoubles.mds.load(), 0);
}

TEST_F(InitTest, OverlappingInitsOfOneAccountAgreeOnOneEngine) {
    CQNLoginField l = login();
    constexpr int kCallers = 4;
    std::vector<CBaseTrader *> results(kCallers, nullptr);
    std::vector<std::thread> callers;
    for (int i = 0; i < kCallers; ++i) {
        callers.emplace_back([&, i] { results[i] = init(3 + 65536 * i, &l, nullptr, nullptr, nullptr, nullptr); });
    }
    for (std::thread &t : callers) t.join();
    ASSERT_NE(results[0], nullptr);
    for (CBaseTrader *r : results) EXPECT_EQ(r, results[0]);
    EXPECT_EQ(tc::findEngine(tc::engineKey(l, 3)), results[0]);
    CBaseMd *md = results[0]->md();
    ASSERT_NE(md, nullptr);
    EXPECT_EQ(tc::findMd(tc::engineKey(l, 3)), md);
}

TEST(Registry, FirstRegistrationWinsAndOrderIsByKey) {
    auto *a = new FakeEngine("reg-a");
    auto *b = new FakeEngine("reg-b");
    a->setApiStatus(ENUM_ApiStatus_Exit);
    b->setApiStatus(ENUM_ApiStatus_Exit);
    EXPECT_EQ(tc::registerEngine("99999.reg.2", b), b);
    EXPECT_EQ(tc::registerEngine("99999.reg.1", a), a);
    EXPECT_EQ(tc::registerEngine("99999.reg.1", b), a);
    EXPECT_EQ(tc::findEngine("99999.reg.1"), a);
    const auto engines = tc::registeredEngines();
    auto posA = std::find(engines.begin(), engines.end(), a);
    auto posB = std::find(engines.begin(), engines.end(), b);
    ASSERT_NE(posA, engines.end());
    ASSERT_NE(posB, engines.end());
    EXPECT_LT(posA, posB);
    EXPECT_EQ(tc::findEngine("99999.none.0"), nullptr);
}

}  // namespace
