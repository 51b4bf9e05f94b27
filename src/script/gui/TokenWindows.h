#pragma once
// The windows a script host has opened for the script threads, by the token handed back to the
// thread. User-interface thread only.
#include <QPointer>

#include <cstdint>
#include <map>
#include <vector>

template <typename Window> class TokenWindows
{
  public:
    TokenWindows() = default;
    TokenWindows(const TokenWindows &) = delete;
    TokenWindows &operator=(const TokenWindows &) = delete;
    ~TokenWindows()
    {
        for (auto &[token, window] : m_windows)
            if (window)
                window->deleteLater();
    }

    void Add(uint64_t token, Window *window) { m_windows[token] = window; }
    void Remove(uint64_t token) { m_windows.erase(token); }

    // Closes the window without an answer (the waiting thread has gone on already); an unknown
    // token is ignored.
    void Close(uint64_t token)
    {
        auto it = m_windows.find(token);
        if (it == m_windows.end())
            return;
        if (it->second) {
            it->second->disconnect();
            it->second->close();
        }
        m_windows.erase(it);
    }

    // The windows open and visible now.
    std::vector<Window *> Visible() const
    {
        std::vector<Window *> windows;
        for (const auto &[token, window] : m_windows)
            if (window && window->isVisible())
                windows.push_back(window.data());
        return windows;
    }

  private:
    std::map<uint64_t, QPointer<Window>> m_windows;
};
