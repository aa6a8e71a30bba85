#pragma once

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "Duvidu/DuviduHub.h"
#include "Duvidu/DuviduSDK.h"
#include "DuviduRecordingTransport.h"
#include "DuviduTestSupport.h"
#include "support/TempHome.h"

namespace duvidutest {

class SwitchableCrashWrapper : public duvidu::DuviduCrashWrapper {
public:
    bool crashedLastLaunch() const override { return crashed; }
    bool crashed = false;
};

// A hub bound to a real client (with its real cache in a temporary home) whose transport records the envelopes.
class HubTest : public DuviduTest {
protected:
    void SetUp() override
    {
        DuviduTest::SetUp();
        options->setDsn("https://key@127.0.0.1/1");
        options->releaseName = "app@1.0+1";
    }
    void TearDown() override
    {
        duvidu::DuviduSDK::setCurrentHub(nullptr);
        DuviduTest::TearDown();
    }

    std::shared_ptr<duvidu::DuviduHub> makeHub()
    {
        fileManager = duvidu::DuviduFileManager::initWithOptions(
            *options, clock, std::make_shared<duvidu::DuviduDispatchQueueWrapper>());
        client = duvidu::DuviduClient::initWithOptions(
            options, fileManager, false, std::make_shared<duvidu::DuviduTransportAdapter>(transport, options));
        hub = std::make_shared<duvidu::DuviduHub>(client, std::make_shared<duvidu::DuviduScope>(), crashWrapper,
                                                  clock);
        return hub;
    }

    // The session JSON of every envelope that carries one, in the order they reached the transport.
    std::vector<duvidu::Value::Object> sessions() const
    {
        std::vector<duvidu::Value::Object> result;
        for (const auto& envelope : transport->envelopes()) {
            if (auto session = RecordingTransport::itemJSON(envelope, "session")) result.push_back(*session);
        }
        return result;
    }
    static std::string text(const duvidu::Value::Object& json, const char* key)
    {
        auto it = json.find(key);
        return it != json.end() && it->second.isString() ? *it->second.asString() : "<none>";
    }
    static int64_t number(const duvidu::Value::Object& json, const char* key)
    {
        int64_t value = -1;
        if (auto it = json.find(key); it != json.end()) it->second.numberAsInt64(value);
        return value;
    }
    bool logged(const std::string& line)
    {
        auto lines = logOutput->lines();
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }
    bool loggedContaining(const std::string& text)
    {
        for (const auto& line : logOutput->lines())
            if (line.find(text) != std::string::npos) return true;
        return false;
    }

    vctest::TempHome home;
    std::shared_ptr<duvidu::DuviduOptions> options = std::make_shared<duvidu::DuviduOptions>();
    std::shared_ptr<RecordingTransport> transport = std::make_shared<RecordingTransport>();
    std::shared_ptr<SwitchableCrashWrapper> crashWrapper = std::make_shared<SwitchableCrashWrapper>();
    std::shared_ptr<duvidu::DuviduFileManager> fileManager;
    std::shared_ptr<duvidu::DuviduClient> client;
    std::shared_ptr<duvidu::DuviduHub> hub;
    duvidu::NSError error{"com.example", 7};
};

}  // namespace duvidutest
