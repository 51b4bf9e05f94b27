#pragma once
#include <string>

namespace platform {

// A process-wide named lock for one user and one data folder (a locked file under /tmp), held
// until destruction. Every start of the program on the same data folder by the same user finds
// the same lock file, whatever its environment says.
class SingleInstanceLock
{
  public:
    SingleInstanceLock(const std::string &name, const std::string &dataFolder);
    ~SingleInstanceLock();
    SingleInstanceLock(const SingleInstanceLock &) = delete;
    SingleInstanceLock &operator=(const SingleInstanceLock &) = delete;
    // True when this process holds the lock; false when another process holds it.
    bool Acquire();
    bool Held() const { return m_fd >= 0; }
    // The lock file: /tmp/vantelis-<uid>-<name>-<key>.lock, with every character of name other
    // than letters, digits, '-', '_' and '.' replaced by '_', and key a hash of the data folder's
    // resolved path.
    std::string LockFilePath() const;

  private:
    std::string m_name;
    std::string m_dataFolder;
    int m_fd = -1;
};

} // namespace platform
