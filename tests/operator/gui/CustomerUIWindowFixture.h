#pragma once
// The setting the operator-screen window tests share: a log folder, a settings file with three
// image types (the second off), the program's CustomerUI folder, and /tmp/shots for screenshots.
#include "Ostravo/LogError.h"
#include "app/PlexorinApp.h"
#include "support/TempDir.h"

#include <QDir>
#include <QString>

#include <gtest/gtest.h>

#include <string>

namespace vantelis::test {

class CustomerUIWindowFixture : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        QDir().mkpath("/tmp/shots");
        QDir().mkpath(QString::fromStdString(m_dir.file("LOG")));
        SetLogDataDirectory(m_dir.str().c_str());
        m_oldIni = theApp.m_ini_path;
        m_oldFolder = theApp.m_customer_ui_directory.c_str();
        theApp.m_ini_path = m_dir.file("Vantelis.ini");
        theApp.m_customer_ui_directory.Assign(VANTELIS_SOURCE_DIR "/res/program/CustomerUI");
        WriteFileBytes(theApp.m_ini_path,
                       "[ExperimentSettings]\r\n"
                       "ImageTypeName1=Bright field\r\nImageTypeExposure1=300\r\nIsActive1=TRUE\r\n"
                       "ImageTypeName2=Green\r\nImageTypeExposure2=750\r\nIsActive2=FALSE\r\n"
                       "ImageTypeName3=Red\r\nImageTypeExposure3=1000\r\nIsActive3=TRUE\r\n");
    }
    void TearDown() override
    {
        theApp.m_ini_path = m_oldIni;
        theApp.m_customer_ui_directory.Assign(m_oldFolder.c_str());
        SetLogDataDirectory("");
    }

    TempDir m_dir;
    std::string m_oldIni;
    std::string m_oldFolder;
};

} // namespace vantelis::test
