#include "FakeUi.h"

namespace vantelis::test {

using namespace platform::ui;

void FakeUi::QueueMessageAnswer(int result)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_messageAnswers.push_back(result);
}

void FakeUi::QueueAnswer(bool ok, const std::string &text)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_answers.push_back(Answer{ok, text});
}

std::vector<FakeUi::Message> FakeUi::Messages() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_messages;
}

std::vector<FakeUi::Status> FakeUi::Statuses() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_statuses;
}

std::vector<FakeUi::Request> FakeUi::Requests() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_requests;
}

std::string FakeUi::LastStatus(const std::string &target) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    for (auto it = m_statuses.rbegin(); it != m_statuses.rend(); ++it)
        if (it->target == target)
            return it->text;
    return std::string();
}

void FakeUi::Clear()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_messageAnswers.clear();
    m_answers.clear();
    m_messages.clear();
    m_statuses.clear();
    m_requests.clear();
}

bool FakeUi::TimerActive(int id) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_timers.count(id) != 0;
}

uint32_t FakeUi::TimerInterval(int id) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    auto it = m_timers.find(id);
    return it == m_timers.end() ? 0 : it->second.intervalMs;
}

bool FakeUi::FireTimer(int id)
{
    std::function<void()> tick;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        auto it = m_timers.find(id);
        if (it == m_timers.end())
            return false;
        tick = it->second.onTick;
    }
    // Outside the lock: a tick may stop or restart its own timer or show a message.
    if (tick)
        tick();
    return true;
}

int FakeUi::MessageBox(const std::string &text, const std::string &caption, uint32_t flags)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_messages.push_back(Message{text, caption, flags});
    if (!m_messageAnswers.empty()) {
        int answer = m_messageAnswers.front();
        m_messageAnswers.pop_front();
        return answer;
    }
    switch (flags & 0xF) {
    case MbOkCancel:
    case MbYesNoCancel:
        return IdCancel;
    case MbYesNo:
        return IdNo;
    default:
        return IdOk;
    }
}

bool FakeUi::Answered(const Request &request, std::string &chosen)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_requests.push_back(request);
    if (m_answers.empty())
        return false;
    Answer answer = m_answers.front();
    m_answers.pop_front();
    if (answer.ok)
        chosen = answer.text;
    return answer.ok;
}

bool FakeUi::BrowseForFolder(const std::string &title, const std::string &start, std::string &chosen)
{
    return Answered(Request{"folder", title, start, std::string()}, chosen);
}

bool FakeUi::ChooseOpenFile(const std::string &title, const std::string &start, const std::string &filter,
                            std::string &chosen)
{
    return Answered(Request{"open", title, start, filter}, chosen);
}

bool FakeUi::ChooseSaveFile(const std::string &title, const std::string &start, const std::string &filter,
                            std::string &chosen)
{
    return Answered(Request{"save", title, start, filter}, chosen);
}

bool FakeUi::Prompt(const std::string &title, const std::string &label, std::string &text)
{
    return Answered(Request{"prompt", title, label, std::string()}, text);
}

void FakeUi::SetStatusText(const std::string &target, const std::string &text)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_statuses.push_back(Status{target, text});
}

void FakeUi::RunOnGuiThread(std::function<void()> work, bool)
{
    if (work)
        work();
}

void FakeUi::StartTimer(int id, uint32_t intervalMs, std::function<void()> onTick)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_timers[id] = Timer{intervalMs, std::move(onTick)};
}

void FakeUi::StopTimer(int id)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_timers.erase(id);
}

ScopedFakeUi::ScopedFakeUi() : m_ui(std::make_shared<FakeUi>()), m_previous(SetUi(m_ui)) {}

ScopedFakeUi::~ScopedFakeUi()
{
    SetUi(m_previous);
}

} // namespace vantelis::test
