#pragma once
// The table txbench prints: one row per figure, with the peer's figure beside it, their ratio, the
// target and whether it was met. Rows are echoed on standard error as they come, so that a long
// run shows its progress; the tables go to standard output at the end. The Windows build's
// figures, with the Linux program as their peer, make a second table.

#include <string>
#include <vector>

namespace txbench {

struct Row {
    std::string figure;
    std::string value;
    std::string peer;
    std::string ratio;
    std::string target;
    std::string met;
};

class Report {
  public:
    void Add(Row row);
    // A row that says why a figure could not be taken.
    void Failed(const std::string& figure, const std::string& why);
    // From here on rows go to the Windows build's table.
    void BeginWindowsTable() { m_windows = true; }
    void Print() const;

  private:
    bool m_windows = false;
    std::vector<Row> m_rows;
    std::vector<Row> m_windowsRows;
};

// The "met" column's words.
std::string Met(bool ok);
// A line of progress on standard error.
void Say(const char* text);

}  // namespace txbench
