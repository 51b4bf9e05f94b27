#pragma once
// Shared fixture of the experiment tests: a temporary folder that is the data folder and the
// error log's folder while a test runs, and builders of small capture logs.
#include "Ostravo/LogError.h"
#include "app/PlexorinApp.h"
#include "support/SyntheticExperiment.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

class ExperimentTest : public ::testing::Test
{
  protected:
    ExperimentTest()
    {
        m_oldData = theApp.m_data_directory;
        theApp.m_data_directory = m_dir.str() + "/data";
        SetLogDataDirectory(m_dir.str().c_str());
    }
    ~ExperimentTest() override
    {
        theApp.m_data_directory = m_oldData;
        SetLogDataDirectory("");
    }

    vantelis::test::TempDir m_dir;
    std::string m_oldData;
};

// The 14-column header of a log written while the pumps are known.
inline const char *PumpLogHeader()
{
    return "ImageFile\tDate\tTime\tExposure(us)\tStatus\tError\tIllumChan\tPump1ValvePos\tPump2ValvePos\t"
           "Pump1SpeedULpMin\tPump2SpeedULpMin\tPump1VolUL\tPump2VolUL\tSplit";
}

// One row of such a log, CR LF ended.
inline std::string PumpLogRow(const std::string &file, double exposure, double speed1, double speed2,
                              const std::string &time = "10:00:00.000",
                              const std::string &date = "2026/12/10")
{
    char buffer[512];
    std::snprintf(buffer, sizeof buffer, "%s\t%s\t%s\t%ld\t0\t\t0\tI\tO\t%4.2lf\t%4.2lf\t1.00\t2.00\tNaN\r\n",
                  file.c_str(), date.c_str(), time.c_str(), static_cast<long>(exposure), speed1, speed2);
    return buffer;
}

// "x_Brightfield_0007.png" and the like.
inline std::string ImageName(const std::string &kind, int position)
{
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "x_%s_%04d.png", kind.c_str(), position);
    return buffer;
}

// A generated experiment whose sample flows leftward at 24 uL/min through clear liquid, in
// brightfield only, square and unshifted. The fractionation takes the brightest value each pixel
// reaches over the run as the sample without cells: the sample fluid is as clear as the liquid
// ahead of and behind it.
inline vantelis::test::SyntheticExperimentParams ClearFlowParams()
{
    vantelis::test::SyntheticExperimentParams p;
    p.flow_leftward = true;
    p.pump1_speed = p.pump2_speed = 24.0;
    p.sample_transmission = 1.0;
    p.equal_exposures = true;
    p.fluorescence = false;
    p.rotation = 0.0;
    p.channel_offset = 0;
    return p;
}
