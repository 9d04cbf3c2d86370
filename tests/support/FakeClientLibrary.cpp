#include "tests/support/FakeClientLibrary.h"

#include <algorithm>
#include <chrono>
#include <cstring>

#include "tests/support/TestSupport.h"

namespace txtest {

HRESULT FakeClientLibrary::Open(HANDLE* phSimConnect, LPCSTR szName, HWND hWnd, DWORD userEvent,
                                HANDLE hEvent, DWORD configIndex) {
    if (m_onOpen) m_onOpen();
    HRESULT result = m_openResult;
    if (m_forwardOpen)
        result = Real().Open(phSimConnect, szName, hWnd, userEvent, hEvent, configIndex);
    platform::MutexLock lock(m_mutex);
    ++m_opens;
    if (!m_forwardOpen && result >= 0) *phSimConnect = &m_handles[m_opens % 2];
    m_calls.push_back(std::string("Open ") + szName + Join(result));
    return result;
}

HRESULT FakeClientLibrary::CallDispatch(HANDLE, DispatchProc proc, void* context) {
    Step step = S_OK;
    {
        platform::MutexLock lock(m_mutex);
        if (!m_script.empty()) {
            step = std::move(m_script.front());
            m_script.pop_front();
        }
    }
    if (auto* message = std::get_if<std::vector<uint8_t>>(&step)) {
        // Delivered from an 8-byte aligned copy, as the library does.
        std::vector<uint64_t> aligned((message->size() + 7) / 8 + 40, 0);
        std::memcpy(aligned.data(), message->data(), message->size());
        proc(reinterpret_cast<SIMCONNECT_RECV*>(aligned.data()),
             static_cast<DWORD>(message->size()), context);
        step = S_OK;
    }
    platform::MutexLock lock(m_mutex);
    ++m_stepsDone;
    return std::get<HRESULT>(step);
}

void FakeClientLibrary::Script(std::vector<Step> steps) {
    platform::MutexLock lock(m_mutex);
    for (auto& step : steps) m_script.push_back(std::move(step));
}

bool FakeClientLibrary::WaitIdle() {
    int mark = -1;
    return WaitUntil(
        [&] {
            platform::MutexLock lock(m_mutex);
            if (mark < 0 && m_script.empty()) mark = m_stepsDone;
            return mark >= 0 && m_stepsDone > mark + 1;
        },
        std::chrono::seconds(5));
}

std::string FakeClientLibrary::Calls() {
    platform::MutexLock lock(m_mutex);
    std::string calls;
    for (const std::string& call : m_calls) calls += call + "|";
    return calls;
}

int FakeClientLibrary::Count(const std::string& prefix) {
    platform::MutexLock lock(m_mutex);
    return static_cast<int>(std::count_if(m_calls.begin(), m_calls.end(), [&](const auto& call) {
        return call.starts_with(prefix);
    }));
}

HRESULT FakeClientLibrary::Record(const std::string& call) {
    platform::MutexLock lock(m_mutex);
    m_calls.push_back(call);
    return S_OK;
}

}  // namespace txtest
