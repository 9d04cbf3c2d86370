#include "bench/Report.h"

#include <cstdio>

namespace txbench {
namespace {

void PrintRow(const Row& row) {
    std::printf("%-58s | %-22s | %-18s | %-8s | %-12s | %s\n", row.figure.c_str(),
                row.value.c_str(), row.peer.c_str(), row.ratio.c_str(), row.target.c_str(),
                row.met.c_str());
}

}  // namespace

void Report::Add(Row row) {
    const std::string peer = m_windows ? " (Linux " : " (nginx ";
    std::fprintf(stderr, "  %s: %s%s%s\n", row.figure.c_str(), row.value.c_str(),
                 row.peer.empty() ? "" : (peer + row.peer + ")").c_str(),
                 row.met.empty() ? "" : (" [" + row.met + "]").c_str());
    (m_windows ? m_windowsRows : m_rows).push_back(std::move(row));
}

void Report::Failed(const std::string& figure, const std::string& why) {
    Add({figure, why, "", "", "", ""});
}

void Report::Print() const {
    PrintRow({"figure", "program", "nginx", "ratio", "target", "met"});
    for (const Row& row : m_rows) PrintRow(row);
    if (m_windowsRows.empty()) return;
    std::printf("\nThe Windows build under Wine, beside the Linux program in the same rounds:\n");
    PrintRow({"figure", "Windows, Wine", "Linux", "ratio", "target", "met"});
    for (const Row& row : m_windowsRows) PrintRow(row);
}

std::string Met(bool ok) {
    return ok ? "yes" : "NO";
}

void Say(const char* text) {
    std::fprintf(stderr, "%s\n", text);
}

}  // namespace txbench
