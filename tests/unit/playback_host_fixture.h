// Shared pieces of the VST host tests: paths of the test plug-ins and a look
// into what the test plug-in saw.
#pragma once

#include "TestPluginLog.h"
#include "playback/VstHost.h"

#include <string>

namespace harmolin::test {

inline std::string testPlugin(const std::string& name) {
    return std::string(HARMOLIN_TEST_PLUGINS) + "/" + name + ".so";
}

inline const testplugin::Log* pluginLog(const CVstHostMain& host, int slot = 0) {
    vst::AEffect* e = host.effect(slot);
    if (!e) return nullptr;
    return reinterpret_cast<const testplugin::Log*>(
        e->dispatcher(e, vst::effVendorSpecific, testplugin::kLogRequest, 0, nullptr, 0.0f));
}

// A host that renders only when the test says so.
inline VstHostConfig callerDriven() {
    VstHostConfig c;
    c.renderThread = false;
    return c;
}

} // namespace harmolin::test
