// The process-wide map from front addresses to brokers, and the API objects still waiting for a
// broker under one of their addresses.
#ifndef TORASIM_SIMREGISTRY_H
#define TORASIM_SIMREGISTRY_H

#include "SimCore.h"

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace torasim {
namespace detail {

class Registry {
public:
    static Registry& instance();

    // Attaches the link to the broker of the first of its fronts that has one; otherwise it
    // waits. allowPaperDefault: an unserved "sim://paper..." front gets a default paper broker.
    void attachOrWait(const std::shared_ptr<Link>& link, bool allowPaperDefault);
    void forget(Link* link);
    std::shared_ptr<Broker> find(const std::string& address);
    // Sets (or with null, removes) the broker of an address; returns the one it replaces.
    std::shared_ptr<Broker> put(const std::string& address, std::shared_ptr<Broker> b);
    std::vector<std::shared_ptr<Broker>> takeAll();
    // The waiting links that name `address`, no longer waiting.
    std::vector<std::shared_ptr<Link>> takeWaiting(const std::string& address);

private:
    std::mutex mu_;
    std::map<std::string, std::shared_ptr<Broker>> brokers_;
    std::vector<std::weak_ptr<Link>> waiting_;
};

}  // namespace detail
}  // namespace torasim

#endif  // TORASIM_SIMREGISTRY_H
