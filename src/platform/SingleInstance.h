#pragma once
#include <string>

namespace platform {

// A process-wide named lock (a locked file outside the data folder), held until destruction.
class SingleInstanceLock
{
  public:
    explicit SingleInstanceLock(const std::string &name);
    ~SingleInstanceLock();
    SingleInstanceLock(const SingleInstanceLock &) = delete;
    SingleInstanceLock &operator=(const SingleInstanceLock &) = delete;
    // True when this process holds the lock; false when another process holds it.
    bool Acquire();
    bool Held() const { return m_fd >= 0; }
    // The lock file: $XDG_RUNTIME_DIR/<name>.lock, or /tmp/vantelis-<uid>-<name>.lock, with every
    // character of name other than letters, digits, '-', '_' and '.' replaced by '_'.
    std::string LockFilePath() const;

  private:
    std::string m_name;
    int m_fd = -1;
};

} // namespace platform
