#pragma once
// The fixture of UI tests: a temporary program folder with its fixed
// folders, a manual clock, the scripted prompter and modal host installed as
// the process-wide ones, recording shell and sound, and a profile store in
// the temporary Config folder. Every global is restored in TearDown.
#include "testkit/scripted_modal_host.h"
#include "testkit/scripted_prompter.h"

#include "pf/clock.h"
#include "pf/paths.h"
#include "pf/profile_store.h"
#include "pf/recording_shell.h"
#include "pf/recording_sound.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>

namespace testkit {

class Headless : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Processes UI events until pred holds; false after timeoutMs of real time.
    bool pumpUntil(const std::function<bool()>& pred, int timeoutMs = 5000);

    std::filesystem::path root;
    pf::Paths paths;
    pf::ManualClock clock;
    ScriptedPrompter prompter;
    ScriptedModalHost modalHost;
    // Shell and sound are handed to the code under test; the layer keeps no
    // process-wide instance of them.
    pf::RecordingShell shell;
    pf::RecordingSound sound;
    std::unique_ptr<pf::ProfileStore> profile;
};

} // namespace testkit
