// SPDX-License-Identifier: Apache-2.0
// Access to the stand-in plug-in modules and their description files for the foreign tests.
#pragma once

#include "tests/common/TempDirectory.h"

#include <gtest/gtest.h>
#include <string>

namespace kortest {

// Directory of one variant of the stand-in modules: good, bare, nosetthread, initfails,
// noexport.
std::string fakePluginDirectory(const std::string& variant);

// Which variant the loaded module is ("" when none is loaded).
std::string loadedF3dVariant();
std::string loadedVdbVariant();

// What the last import of the loaded OpenVDB or Field3D module saw.
struct FakeImport {
    int calls;
    int headerOnly;
    int mappingCount;
    float firstFactor;
};
FakeImport lastF3dImport();
FakeImport lastVdbImport();

// Unloads the plug-ins before and after each test, so that every test starts at load.
class PluginTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    // Loads the "good" modules with axis mode 0 and checks both are ready.
    void loadGoodPlugins(int axisMode = 0);

    TempDirectory directory;
};

} // namespace kortest
