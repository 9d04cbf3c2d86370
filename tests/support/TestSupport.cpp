// The helpers of TestSupport.h that are the same on every system.

#include "tests/support/TestSupport.h"

#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace txtest {

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

void WriteFile(const std::string& path, const std::string& content) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
}

bool FileExists(const std::string& path) {
    return std::filesystem::exists(path);
}

bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline) return condition();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

int CountLines(const std::string& text, const std::string& needle) {
    std::istringstream in(text);
    std::string line;
    int count = 0;
    while (std::getline(in, line))
        if (line.find(needle) != std::string::npos) ++count;
    return count;
}

}  // namespace txtest
