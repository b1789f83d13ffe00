#include "engine/Platform.h"

#include <chrono>
#include <filesystem>
#include <system_error>
#include <thread>

namespace tc {
namespace platform {

bool directoryExists(const std::string &path) {
    std::error_code ec;
    return std::filesystem::is_directory(std::filesystem::u8path(path), ec);
}

bool createDirectory(const std::string &path) {
    std::error_code ec;
    const auto p = std::filesystem::u8path(path);
    std::filesystem::create_directory(p, ec);
    // Another thread or process may have made it meanwhile; what counts is that it is there.
    return std::filesystem::is_directory(p, ec);
}

void sleepMicros(long long micros) {
    if (micros <= 0) return;
    std::this_thread::sleep_for(std::chrono::microseconds(micros));
}

}  // namespace platform
}  // namespace tc
