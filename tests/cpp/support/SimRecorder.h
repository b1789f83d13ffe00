// Callback receivers that record every callback the simulated SDK delivers: its name, the
// record (copied), the error info, request ID and last flag, and the thread it arrived on.
// Tests wait on them instead of sleeping.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <type_traits>
#include <vector>

#include "torasim/SimControl.h"

namespace tc {
namespace testing {

struct SimEvent {
    std::string name;
    std::vector<unsigned char> record;   // empty when the callback had no record
    bool hasInfo = false;
    int errorID = 0;
    std::string errorMsg;
    int requestID = 0;
    bool isLast = false;
    int reason = 0;                      // OnFrontDisconnected
    std::thread::id thread;

    template <class T>
    T as() const
    {
        static_assert(std::is_trivially_copyable<T>::value, "TORA records are plain structs");
        T t;
        std::memset(static_cast<void*>(&t), 0, sizeof t);
        if (record.size() == sizeof(T)) std::memcpy(static_cast<void*>(&t), record.data(), sizeof t);
        return t;
    }
};

class SimEventLog {
public:
    void add(SimEvent e)
    {
        e.thread = std::this_thread::get_id();
        std::function<void(const SimEvent&)> hook;
        {
            std::lock_guard<std::mutex> lk(mu_);
            events_.push_back(e);
            hook = hook_;
        }
        cv_.notify_all();
        if (hook) hook(e);
    }
    std::vector<SimEvent> events() const
    {
        std::lock_guard<std::mutex> lk(mu_);
        return events_;
    }
    std::vector<SimEvent> events(const std::string& name) const
    {
        std::lock_guard<std::mutex> lk(mu_);
        std::vector<SimEvent> v;
        for (const auto& e : events_)
            if (e.name == name) v.push_back(e);
        return v;
    }
    std::vector<std::string> names() const
    {
        std::lock_guard<std::mutex> lk(mu_);
        std::vector<std::string> v;
        for (const auto& e : events_) v.push_back(e.name);
        return v;
    }
    std::size_t count(const std::string& name) const { return events(name).size(); }
    bool waitFor(const std::string& name, std::size_t n = 1,
                 std::chrono::milliseconds timeout = std::chrono::milliseconds(10000)) const
    {
        std::unique_lock<std::mutex> lk(mu_);
        return cv_.wait_for(lk, timeout, [&] {
            std::size_t c = 0;
            for (const auto& e : events_)
                if (e.name == name) ++c;
            return c >= n;
        });
    }
    void clear()
    {
        std::lock_guard<std::mutex> lk(mu_);
        events_.clear();
    }
    // Called (on the SDK thread) after each event is recorded.
    void setHook(std::function<void(const SimEvent&)> hook)
    {
        std::lock_guard<std::mutex> lk(mu_);
        hook_ = std::move(hook);
    }

protected:
    template <class R>
    static void putRecord(SimEvent& e, const R* p)
    {
        if (p) e.record.assign(reinterpret_cast<const unsigned char*>(p), reinterpret_cast<const unsigned char*>(p) + sizeof(R));
    }
    static void putInfo(SimEvent& e, const CTORATstpRspInfoField* i)
    {
        if (!i) return;
        e.hasInfo = true;
        e.errorID = i->ErrorID;
        e.errorMsg = i->ErrorMsg;
    }

    mutable std::mutex mu_;
    mutable std::condition_variable cv_;
    std::vector<SimEvent> events_;
    std::function<void(const SimEvent&)> hook_;
};

// Overrides of every callback, from the simulator's generated table.
#define TC_SIMREC_REC(R, p) putRecord(e, p);
#define TC_SIMREC_OPAQUE(R, p) (void)p;
#define TC_SIMREC_NOREC(R, p)
#define TC_SIMREC_NONE(Name, R, K) \
    void Name() override { SimEvent e; e.name = #Name; add(e); }
#define TC_SIMREC_REASON(Name, R, K) \
    void Name(int reason) override { SimEvent e; e.name = #Name; e.reason = reason; add(e); }
#define TC_SIMREC_ERROR(Name, R, K)                                         \
    void Name(CTORATstpRspInfoField* i, int id, bool last) override         \
    {                                                                       \
        SimEvent e; e.name = #Name; putInfo(e, i); e.requestID = id; e.isLast = last; add(e); \
    }
#define TC_SIMREC_RTN(Name, R, K) \
    void Name(R* p) override { SimEvent e; e.name = #Name; TC_SIMREC_##K(R, p) add(e); }
#define TC_SIMREC_ERRRTN(Name, R, K)                                        \
    void Name(R* p, CTORATstpRspInfoField* i) override                      \
    {                                                                       \
        SimEvent e; e.name = #Name; TC_SIMREC_##K(R, p) putInfo(e, i); add(e); \
    }
#define TC_SIMREC_RSP(Name, R, K)                                           \
    void Name(R* p, CTORATstpRspInfoField* i, int id, bool last) override   \
    {                                                                       \
        SimEvent e; e.name = #Name; TC_SIMREC_##K(R, p) putInfo(e, i); e.requestID = id; e.isLast = last; add(e); \
    }
#define TC_SIMREC_PAGED(Name, R, K)                                         \
    void Name(R* p, CTORATstpRspInfoField* i, int id, bool, bool last) override \
    {                                                                       \
        SimEvent e; e.name = #Name; TC_SIMREC_##K(R, p) putInfo(e, i); e.requestID = id; e.isLast = last; add(e); \
    }

class TraderRecorder : public CTORATstpTraderSpi, public SimEventLog {
public:
#define SIM_TRADER_CALLBACK(Name, R, K, Shape) TC_SIMREC_##Shape(Name, R, K)
#include "torasim/SimTables.inc"
};

class MdRecorder : public CTORATstpMdSpi, public SimEventLog {
public:
#define SIM_MD_CALLBACK(Name, R, K, Shape) TC_SIMREC_##Shape(Name, R, K)
#include "torasim/SimTables.inc"
};

}  // namespace testing
}  // namespace tc
