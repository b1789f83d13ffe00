// The simulated SDK thread of one API object.
#include "SimCore.h"

namespace torasim {
namespace detail {

struct Dispatcher::State {
    mutable std::mutex mu;
    std::condition_variable work;
    mutable std::condition_variable done;
    struct Key {
        Clock::time_point due;
        std::uint64_t order;
        bool operator<(const Key& o) const { return due != o.due ? due < o.due : order < o.order; }
    };
    struct Item {
        std::uint64_t seq;
        Fn fn;
    };
    std::map<Key, Item> queue;
    std::set<std::uint64_t> pending;   // queued or running
    std::uint64_t nextSeq = 1;
    std::uint64_t nextOrder = 1;
    bool stopping = false;
    bool finished = false;
    bool started = false;
    std::thread::id tid;
    std::thread thread;
    std::atomic<void*> spi{nullptr};
};

Dispatcher::Dispatcher() : s_(std::make_shared<State>()) {}

Dispatcher::~Dispatcher() { stop(); }

void Dispatcher::start()
{
    std::lock_guard<std::mutex> lk(s_->mu);
    if (s_->started || s_->stopping) return;
    s_->started = true;
    s_->thread = std::thread(&Dispatcher::run, s_);
    s_->tid = s_->thread.get_id();
}

void Dispatcher::setSpi(void* spi) { s_->spi.store(spi); }

void Dispatcher::run(std::shared_ptr<State> s)
{
    std::unique_lock<std::mutex> lk(s->mu);
    while (!s->stopping) {
        if (s->queue.empty()) {
            s->work.wait(lk);
            continue;
        }
        auto it = s->queue.begin();
        if (it->first.due > Clock::now()) {
            // A copy: wait_until reads the time again after waking, and by then promote() or
            // dropDelayed() may have erased the entry that held it.
            const Clock::time_point due = it->first.due;
            s->work.wait_until(lk, due);
            continue;
        }
        std::uint64_t seq = it->second.seq;
        {
            Fn fn = std::move(it->second.fn);
            s->queue.erase(it);
            lk.unlock();
            fn(s->spi.load());
            // fn (and whatever it holds) is destroyed here, outside the lock.
        }
        lk.lock();
        s->pending.erase(seq);
        s->done.notify_all();
    }
    // What is still queued is dropped; its closures are destroyed outside the lock.
    std::map<State::Key, State::Item> dropped;
    dropped.swap(s->queue);
    s->pending.clear();
    s->finished = true;
    s->done.notify_all();
    lk.unlock();
}

std::uint64_t Dispatcher::post(Fn fn, Millis delay)
{
    std::lock_guard<std::mutex> lk(s_->mu);
    if (s_->stopping) return 0;
    std::uint64_t seq = s_->nextSeq++;
    State::Key key{Clock::now() + delay, s_->nextOrder++};
    s_->queue.emplace(key, State::Item{seq, std::move(fn)});
    s_->pending.insert(seq);
    s_->work.notify_one();
    return seq;
}

void Dispatcher::promote(std::uint64_t seq)
{
    std::lock_guard<std::mutex> lk(s_->mu);
    for (auto it = s_->queue.begin(); it != s_->queue.end(); ++it) {
        if (it->second.seq != seq) continue;
        State::Item item = std::move(it->second);
        s_->queue.erase(it);
        // Due now, yet behind everything already due: its order number is the newest.
        State::Key key{Clock::now(), s_->nextOrder++};
        s_->queue.emplace(key, std::move(item));
        s_->work.notify_one();
        return;
    }
}

void Dispatcher::dropDelayed()
{
    std::vector<Fn> dropped;   // destroyed after the lock is released
    std::lock_guard<std::mutex> lk(s_->mu);
    auto now = Clock::now();
    for (auto it = s_->queue.begin(); it != s_->queue.end();) {
        if (it->first.due > now) {
            s_->pending.erase(it->second.seq);
            dropped.push_back(std::move(it->second.fn));
            it = s_->queue.erase(it);
        } else {
            ++it;
        }
    }
    s_->done.notify_all();
}

std::uint64_t Dispatcher::lastSeq() const
{
    std::lock_guard<std::mutex> lk(s_->mu);
    return s_->nextSeq - 1;
}

bool Dispatcher::waitDelivered(std::uint64_t upto, Clock::time_point deadline) const
{
    std::unique_lock<std::mutex> lk(s_->mu);
    if (!s_->started) {
        // Nothing runs before Init; queued items would wait forever.
        return s_->pending.empty() || *s_->pending.begin() > upto;
    }
    return s_->done.wait_until(lk, deadline, [&] {
        return s_->finished || s_->pending.empty() || *s_->pending.begin() > upto;
    });
}

bool Dispatcher::onThread() const
{
    std::lock_guard<std::mutex> lk(s_->mu);
    return s_->started && std::this_thread::get_id() == s_->tid;
}

void Dispatcher::stop()
{
    std::thread t;
    bool self = false;
    std::map<State::Key, State::Item> dropped;   // destroyed after the lock is released
    {
        std::lock_guard<std::mutex> lk(s_->mu);
        s_->stopping = true;
        s_->work.notify_all();
        if (!s_->started) {
            dropped.swap(s_->queue);
            s_->pending.clear();
            s_->finished = true;
            s_->done.notify_all();
        }
        if (s_->thread.joinable()) {
            self = std::this_thread::get_id() == s_->tid;
            t = std::move(s_->thread);
        }
    }
    if (!t.joinable()) return;
    if (self)
        t.detach();   // the thread holds its own reference to the state and ends by itself
    else
        t.join();
}

void Dispatcher::waitStopped() const
{
    std::unique_lock<std::mutex> lk(s_->mu);
    s_->done.wait(lk, [&] { return s_->finished; });
}

}  // namespace detail
}  // namespace torasim
