#pragma once
// The main window as a window's view or its face reports to it, on both systems: what it heard, in
// order, one line for the test to compare.

#include <string>
#include <utility>

#include "ui/MainWindowEvents.h"

namespace txtest {

class HeardEvents : public ui::MainWindowEvents {
  public:
    // What was heard since the last call, "; " between the pieces.
    std::string Heard() { return std::exchange(m_heard, {}); }

  protected:
    void Hear(const std::string& what) { m_heard += (m_heard.empty() ? "" : "; ") + what; }

  private:
    bool IsEnded() const override { return false; }
    bool IsCloseRequested() const override { return false; }
    void OnClose() override { Hear("close"); }
    void OnEndSession() override { Hear("end session"); }
    void OnTimer(unsigned id) override { Hear("timer " + std::to_string(id)); }
    void OnSysCommand(unsigned id) override { Hear("command " + std::to_string(id)); }
    void EndDialog(int result) override { Hear("end " + std::to_string(result)); }
    void RequestClose() override { Hear("close request"); }
    void RunPostedTasks() override { Hear("posted tasks"); }
    void OnAddressClicked() override { Hear("address"); }

    std::string m_heard;
};

}  // namespace txtest
