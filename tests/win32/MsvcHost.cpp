// SPDX-License-Identifier: Apache-2.0
// A host as MSVC builds it: compiled by clang in MSVC mode, linked by lld-link against
// korloader.lib, without any C runtime. It calls every exported function by its MSVC name
// and every slot of IKor and IFluxaSimPrtGroup on host.kor (written by
// korloader_make_frames), and of IKorWriter on a frame it writes itself, with answers that
// differ from slot to slot, so a slot MSVC lays out differently from GCC gives a wrong
// answer or crashes.
//
// The exit status is 0, or the number of the first check that failed.
#include <korloader/IKor.h>
#include <korloader/IKorWriter.h>

// MSVC-mode code that uses floating point refers to this symbol of the C runtime.
extern "C" int _fltused = 0;

namespace {

bool sameText(const char* a, const char* b) {
    while (*a != '\0' && *a == *b) {
        ++a;
        ++b;
    }
    return *a == *b;
}

int checkGroup(IFluxaSimPrtGroup* spray) {
    if (!sameText(spray->getName(), "spray")) {
        return 20;
    }
    if (spray->getParticleCount() != 5) {
        return 21;
    }
    float position[3] = {0, 0, 0};
    if (!spray->getValue(3, 0, position) || position[0] != 1.5f || position[1] != 0.0f ||
        position[2] != -0.75f) {
        return 22;
    }
    if (spray->getValue(5, 0, position)) {
        return 23;
    }
    if (!spray->hasChannel(0) || !spray->hasChannel(10) || spray->hasChannel(1)) {
        return 24;
    }
    if (spray->getChannelSize(0) != 12 || spray->getChannelSize(2) != 4 ||
        spray->getChannelSize(10) != 8) {
        return 25;
    }
    if (spray->findParticleById(998) != 2 || spray->findParticleById(5) != -1) {
        return 26;
    }
    if (spray->getChannelType(0) != 10 || spray->getChannelType(10) != 7) {
        return 27;
    }
    if (spray->getChannelComponents(0) != 3 || spray->getChannelComponents(2) != 1) {
        return 28;
    }
    return 0;
}

int checkFrame(IKor* frame) {
    const float* smoke = frame->getChannel(FluxaEnum::Smoke);
    if (smoke == nullptr || smoke[0] != 0.0f || smoke[23] != 11.5f) {
        return 10;
    }
    const float* speed = frame->getChannel(FluxaEnum::Speed);
    if (speed == nullptr || speed[7] != 13.0f || frame->getChannel(FluxaEnum::Fuel) != nullptr) {
        return 11;
    }
    if (frame->hasChannel(FluxaEnum::Smoke) != 1 || frame->hasChannel(FluxaEnum::Fuel) != 0) {
        return 12;
    }
    int size[3] = {0, 0, 0};
    frame->getGridSize(size);
    if (size[0] != 4 || size[1] != 3 || size[2] != 2) {
        return 13;
    }
    float transform[12] = {0};
    frame->getTransform(transform);
    if (transform[0] != 2.0f || transform[4] != 3.0f || transform[8] != 4.0f ||
        transform[11] != 30.0f) {
        return 14;
    }
    if (frame->getParticleGroupCount() != 1) {
        return 15;
    }
    IFluxaSimPrtGroup* const spray = frame->getParticleGroup(0);
    if (spray == nullptr || frame->getParticleGroup(1) != nullptr) {
        return 16;
    }
    IFluxaSimPrtGroup* const ghost = frame->getParticleGroupByName("ghost");
    // A group without positions counts no particles.
    if (frame->getParticleGroupByName("spray") != spray || ghost == nullptr ||
        ghost->getParticleCount() != 0 || !ghost->hasChannel(2)) {
        return 17;
    }
    return checkGroup(spray);
}

int checkExports() {
    if (FluxaSimSDKGetVersionNumber() != 0x30400u) {
        return 1;
    }
    if (korSetLogFile(nullptr, 0) != 1 || korSetThreadCount(0) != 0) {
        return 2;
    }
    if (initalizeKoraLoader(nullptr, "absent", 5) != 0) {
        return 3;
    }
    int channels[2] = {2, 1};
    const char* const names[2] = {"density", "heat"};
    char text[64];
    if (korComposeChannelMappingsString(text, sizeof text, channels, names, 2) != 1 ||
        !sameText(text, "2,density;1,heat;")) {
        return 4;
    }
    int channel = 0;
    char name[16];
    if (korDecomposeChannelMappingsString(&channel, name, sizeof name, text, 1) != 1 ||
        channel != 1 || !sameText(name, "heat")) {
        return 5;
    }
    int flag = 7;
    if (korGet3rdPartyChannelName(name, sizeof name, &flag, "host.kor", 0) != -1) {
        return 6;
    }
    if (korGenerateDefaultChannelMappings(text, sizeof text, "host.kor") != 1 || text[0] != '\0') {
        return 7;
    }
    return 0;
}

// Writes written.0007.kor through every slot of the writer and reads it back.
int checkWriter() {
    IKorWriter* const writer = newIKorWriter();
    if (writer == nullptr) {
        return 30;
    }
    const float smoke[2] = {0.5f, 2.0f};
    const float transform[12] = {1, 0, 0, 0, 1, 0, 0, 0, 1, 5, 6, 7};
    const float positions[6] = {1, 2, 3, 4, 5, 6};
    const int refused = writer->setChannel(2, smoke, 20, 0.0f, 0);
    if (refused != 0 || writer->getLastError()[0] == '\0') {
        return 31;
    }
    if (writer->setGridSize(2, 1, 1) != 1 || writer->setTransform(transform) != 1 ||
        writer->setFrameNumber(7) != 1 || writer->setNote("from an MSVC host") != 1 ||
        writer->setChannel(2, smoke, 20, 0.0f, 0) != 1) {
        return 32;
    }
    if (writer->addParticleGroup("pair", 2) != 0 ||
        writer->setParticleChannel(0, 0, positions, 0, 0) != 1) {
        return 33;
    }
    if (writer->save("written.####.kor") != 1 || writer->getLastError()[0] != '\0') {
        return 34;
    }
    deleteIKorWriter(writer);
    IKor* const frame = newIKor("written.0007.kor");
    if (frame == nullptr) {
        return 35;
    }
    const float* const values = frame->getChannel(FluxaEnum::Smoke);
    IFluxaSimPrtGroup* const pair = frame->getParticleGroupByName("pair");
    float position[3] = {0, 0, 0};
    const bool same = values != nullptr && values[1] == 2.0f && pair != nullptr &&
                      pair->getValue(1, 0, position) && position[2] == 6.0f;
    deleteIKor(frame);
    return same ? 0 : 36;
}

} // namespace

extern "C" int hostMain() {
    if (const int failed = checkExports()) {
        return failed;
    }
    IKor* const frame = newIKor("host.kor");
    if (frame == nullptr) {
        return 8;
    }
    if (newIKorWithChannelsMapping("host.kor", "") != frame) {
        return 9;
    }
    const int failed = checkFrame(frame);
    deleteIKor(frame);
    deleteIKor(frame);
    return failed != 0 ? failed : checkWriter();
}
