// SPDX-License-Identifier: Apache-2.0
// A module for the loader tests: one exported function.
extern "C" __attribute__((visibility("default"))) int korTestModuleAnswer() {
    return 42;
}
