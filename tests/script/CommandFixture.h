#pragma once
// A script fixture for the built-in command tests: a data folder holding the main settings file
// and a LOG folder with the session log, the commands' handlers installed for the test only, and
// the script's variables to look at afterwards.
#include "ScriptFixture.h"
#include "script/CommandTable.h"

#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

class CommandFixture : public ScriptFixture
{
  protected:
    CommandFixture(std::function<void()> registerCommands, std::initializer_list<int> ids)
        : m_register(std::move(registerCommands)), m_ids(ids)
    {
    }
    void SetUp() override
    {
        ScriptFixture::SetUp();
        m_oldIni = theApp.m_ini_path;
        m_oldSession = theApp.m_session_log_path;
        theApp.m_ini_path = m_dir.file("Plexorin.ini");
        std::filesystem::create_directories(m_dir.path() / "LOG");
        theApp.m_session_log_path = m_dir.file("LOG/20240307-0905-03.log");
        m_register();
    }
    void TearDown() override
    {
        // Handlers are global: remove them so that other suites see none.
        for (int id : m_ids)
            RegisterCommandHandler(id, nullptr);
        theApp.m_ini_path = m_oldIni;
        theApp.m_session_log_path = m_oldSession;
        ScriptFixture::TearDown();
    }

    // Loads and runs the lines; the script's variables stay in m_vars.
    bool Run(const std::string &text, EString &error)
    {
        m_vars.clear();
        Script instance;
        return LoadAndRun(instance, text, error, &m_vars);
    }
    // Loads the lines without running them.
    bool LoadOnly(const std::string &text, EString &error)
    {
        Script instance;
        return Load(instance, WriteScript("load.scr", text), error);
    }
    const Variable &Var(const char *name) const
    {
        for (const Variable &v : m_vars)
            if (std::string(v.name.c_str()) == name)
                return v;
        ADD_FAILURE() << "no variable " << name;
        static Variable none;
        return none;
    }
    std::string Text(const char *name) const
    {
        const char *text = Var(name).text.c_str();
        return text ? text : "";
    }
    int32_t Int(const char *name) const { return Var(name).integer; }

    VariableList m_vars;

  private:
    std::function<void()> m_register;
    std::vector<int> m_ids;
    std::string m_oldIni, m_oldSession;
};
