// SPDX-License-Identifier: Apache-2.0
#include "tests/foreign/FakePlugins.h"

#include "foreign/PluginModules.h"
#include "korloader/KorMappings.h"
#include "platform/Platform.h"

namespace kortest {

namespace {

std::string variantOf(const PluginModule& module) {
    using VariantFunction = const char*();
    auto* const variant = reinterpret_cast<VariantFunction*>(
        Platform::findModuleSymbol(module.handle, "FakePluginVariant"));
    return variant != nullptr ? variant() : "";
}

FakeImport lastImportOf(const PluginModule& module) {
    using LastImportFunction = void(int*, int*, int*, float*);
    auto* const lastImport = reinterpret_cast<LastImportFunction*>(
        Platform::findModuleSymbol(module.handle, "FakeLastImport"));
    FakeImport record{-1, -1, -1, 0.0f};
    if (lastImport != nullptr) {
        lastImport(&record.calls, &record.headerOnly, &record.mappingCount, &record.firstFactor);
    }
    return record;
}

} // namespace

std::string fakePluginDirectory(const std::string& variant) {
    return std::string(KOR_FAKE_PLUGIN_ROOT) + "/" + variant;
}

std::string loadedF3dVariant() {
    return variantOf(f3dPlugin());
}

std::string loadedVdbVariant() {
    return variantOf(vdbPlugin());
}

FakeImport lastF3dImport() {
    return lastImportOf(f3dPlugin());
}

FakeImport lastVdbImport() {
    return lastImportOf(vdbPlugin());
}

void PluginTest::SetUp() {
    releasePluginModules();
}

void PluginTest::TearDown() {
    releasePluginModules();
}

void PluginTest::loadGoodPlugins(int axisMode) {
    ASSERT_EQ(initalizeKoraLoader(fakePluginDirectory("good").c_str(), "test", axisMode), 3);
}

} // namespace kortest
