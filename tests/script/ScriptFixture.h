#pragma once
// A data folder with an Includes folder, scripts written into it, and the load and run steps that
// the script thread will perform.
#include "Ostravo/LogError.h"
#include "app/PlexorinApp.h"
#include "script/Script.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

// Writes the text to path, loads it as a script and, when it loads, runs it with variables; loaded
// tells which step failed. For fixtures that bring their own data folder.
inline bool LoadAndRunScriptText(Script &instance, const std::string &path, const std::string &text,
                                 EString &error, bool &loaded, VariableList &variables)
{
    vantelis::test::WriteFileBytes(path, text);
    FILE *file = std::fopen(path.c_str(), "rb");
    if (!file)
        return false;
    instance.m_main = CodeUnit();
    instance.m_functions.clear();
    instance.m_included_files.clear();
    loaded = LoadScript(instance.m_main, instance, file, path.c_str(), 0, error, false);
    std::fclose(file);
    if (!loaded)
        return false;
    instance.m_running = true;
    return ExecuteCodeUnit(instance.m_main, instance, variables, error, "test.scr");
}

class ScriptFixture : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        m_oldData = theApp.m_data_directory;
        theApp.m_data_directory = m_dir.str();
        std::filesystem::create_directories(m_dir.path() / "Includes");
        SetLogDataDirectory(m_dir.str().c_str());
    }
    void TearDown() override
    {
        SetLogDataDirectory("");
        theApp.m_data_directory = m_oldData;
    }

    std::string WriteScript(const std::string &name, const std::string &text)
    {
        const std::string path = m_dir.file(name);
        vantelis::test::WriteFileBytes(path, text);
        return path;
    }
    std::string WriteInclude(const std::string &name, const std::string &text)
    {
        const std::string path = m_dir.file("Includes/" + name);
        vantelis::test::WriteFileBytes(path, text);
        return path;
    }

    // Loads a script file into the instance's main body, as a run start does.
    bool Load(Script &instance, const std::string &path, EString &error)
    {
        FILE *file = std::fopen(path.c_str(), "rb");
        if (!file) {
            error.Assign("cannot open");
            return false;
        }
        instance.m_main = CodeUnit();
        instance.m_functions.clear();
        instance.m_included_files.clear();
        const bool ok = LoadScript(instance.m_main, instance, file, path.c_str(), 0, error, false);
        std::fclose(file);
        EXPECT_EQ(instance.m_call_depth.load(), 0) << "every call must give its nesting level back";
        return ok;
    }
    // Writes, loads and, when the load passes, runs the text; the error names the failing step.
    bool LoadAndRun(Script &instance, const std::string &text, EString &error,
                    VariableList *variables = nullptr)
    {
        const std::string path = WriteScript("test.scr", text);
        if (!Load(instance, path, error))
            return false;
        instance.m_running = true;
        VariableList local;
        VariableList &vars = variables ? *variables : local;
        const bool ok = ExecuteCodeUnit(instance.m_main, instance, vars, error, "test.scr");
        EXPECT_EQ(instance.m_call_depth.load(), 0) << "every call must give its nesting level back";
        return ok;
    }

    vantelis::test::TempDir m_dir;
    std::string m_oldData;
};

// Lines joined with LF.
inline std::string Lines(const std::vector<std::string> &lines)
{
    std::string text;
    for (const std::string &line : lines)
        text += line + "\n";
    return text;
}
