#pragma once
// A program folder of its own for each test, with the configuration, session
// and settings globals reset and the log opened in it.
#include "app/base/AppSettings.h"
#include "app/base/ConfigFile.h"
#include "app/base/FixedText.h"
#include "app/base/LogWriter.h"
#include "app/base/ProgramPaths.h"
#include "app/base/SessionRecord.h"
#include "pf/files.h"
#include "pf/paths.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <string>

class ProgramFolderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        paths = pf::Paths(dir.path());
        paths.ensureFolders();
        SetProgramPaths(paths);
        g_Config = ConfigRecord{};
        ClearSessionRecord();
        g_AppSettings = AppSettings{};
        g_ProxyInUse.store(0);
        SetSettingsHost(nullptr);
        SetSettingsFileWriter(nullptr);
        StartLog(paths);
        Log_Level.store(3);
    }
    void TearDown() override
    {
        CloseLog();
        Log_Level.store(0);
        SetSettingsHost(nullptr);
        SetSettingsFileWriter(nullptr);
        SetProgramPaths(pf::Paths());
    }

    std::string logText() const
    {
        const auto path = CurrentLogPath();
        return path.empty() ? std::string() : pf::files::readAll(path).value_or("");
    }
    std::string read(const std::filesystem::path& path) const { return pf::files::readAll(path).value_or(""); }
    void write(const std::filesystem::path& path, std::string_view text) const
    {
        ASSERT_TRUE(pf::files::writeAll(path, text)) << path;
    }

    TempDir dir;
    pf::Paths paths;
};
