#pragma once
// Sets or removes an environment variable for the life of the object and puts the old state back.
#include <cstdlib>
#include <optional>
#include <string>

class ScopedEnv
{
  public:
    // A null value removes the variable.
    ScopedEnv(const char *name, const char *value) : m_name(name)
    {
        if (const char *old = std::getenv(name))
            m_old = old;
        if (value)
            ::setenv(name, value, 1);
        else
            ::unsetenv(name);
    }
    // nullopt removes the variable.
    ScopedEnv(const char *name, const std::optional<std::string> &value)
        : ScopedEnv(name, value ? value->c_str() : nullptr)
    {
    }
    ~ScopedEnv()
    {
        if (m_old)
            ::setenv(m_name.c_str(), m_old->c_str(), 1);
        else
            ::unsetenv(m_name.c_str());
    }
    ScopedEnv(const ScopedEnv &) = delete;
    ScopedEnv &operator=(const ScopedEnv &) = delete;

  private:
    std::string m_name;
    std::optional<std::string> m_old;
};
