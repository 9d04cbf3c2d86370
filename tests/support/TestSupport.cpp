// The helpers of TestSupport.h that are the same on every system.

#include "tests/support/TestSupport.h"

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace txtest {

TempDir::TempDir() {
    static std::atomic<unsigned> counter{0};
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    const std::filesystem::path base = std::filesystem::temp_directory_path();
    for (int attempt = 0; attempt < 100 && m_path.empty(); ++attempt) {
        const auto candidate =
            base / ("txtest-" + std::to_string(stamp) + "-" + std::to_string(counter++));
        if (std::filesystem::create_directory(candidate)) m_path = candidate.string();
    }
}

TempDir::~TempDir() {
    // A read-only file cannot be removed on Windows until it is writable again.
    std::error_code ignored;
    for (auto entry = std::filesystem::recursive_directory_iterator(m_path, ignored);
         entry != std::filesystem::recursive_directory_iterator(); entry.increment(ignored))
        std::filesystem::permissions(entry->path(), std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ignored);
    if (!m_path.empty()) std::filesystem::remove_all(m_path, ignored);
}

void Sandbox::WriteIni(const std::string& content) const {
    CreateSettingsFolder();
    WriteFile(settings() + "TarvelXConnectExtended.ini", content);
}

void Sandbox::CreateSettingsFolder() const {
    if (std::filesystem::exists(settings())) return;
    std::filesystem::create_directories(settings());
    WriteFile(settings() + "SimConnect.cfg",
              "[SimConnect]\nProtocol=IPv4\nAddress=127.0.0.1\nPort=" +
                  std::to_string(m_unservedSimPort.port()) + "\n");
}

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

std::string ReadLog(const std::string& path) {
    const std::string text = ReadFile(path);
    const std::string& end = LogLineEnd();
    if (end == "\n") return text;
    std::string read;
    for (size_t i = 0; i < text.size(); ++i) {
        const bool lineEnd = text.compare(i, end.size(), end) == 0;
        read += lineEnd ? "\n" : text[i] == '\n' ? "<LF without CR>" : std::string(1, text[i]);
        if (lineEnd) i += end.size() - 1;
    }
    return read;
}

bool SetFileWriteTime(const std::string& path, long long unixSeconds) {
    const std::chrono::sys_seconds when{std::chrono::seconds(unixSeconds)};
    std::error_code error;
    std::filesystem::last_write_time(path, std::chrono::file_clock::from_sys(when), error);
    return !error;
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
    int count = 0;
    for (std::string line; std::getline(in, line);) count += line.find(needle) != std::string::npos;
    return count;
}

}  // namespace txtest
