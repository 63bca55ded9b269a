#pragma once

#include <functional>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/Platform.h"
#include "support/TestCodec.h"

namespace ravolen::test {

// Records every call in order and answers from its fields; nothing leaves the process.
class FakePlatform final : public Platform {
public:
    struct Message {
        std::wstring text;
        MessageIcon icon;
        bool operator==(const Message&) const = default;
    };

    std::wstring folder = L"C:\\Tools\\Ravolen";
    std::wstring system = L"C:\\windows\\system32";
    const TextCodec* codec = &Cp936();
    bool failCreateFolder = false;
    bool failWrite = false;
    bool failStart = false;
    bool previousInstance = false;

    std::set<std::wstring> folders;
    std::map<std::wstring, std::string> files;
    std::vector<ProcessLaunch> started;
    std::vector<Message> messages;
    std::vector<std::wstring> calls;  // "createFolder <path>", "writeFile <path>", ...
    // Lets a test look at the application's state at the moment a message is shown.
    std::function<void(const std::wstring&)> onMessage;

    std::wstring programFolder() const override { return folder; }
    std::wstring systemFolder() const override { return system; }
    const TextCodec& scriptCodec() const override { return *codec; }

    bool createFolder(const std::wstring& path) override {
        calls.push_back(L"createFolder " + path);
        if (failCreateFolder) return false;
        folders.insert(path);
        return true;
    }
    bool writeFile(const std::wstring& path, std::string_view bytes) override {
        calls.push_back(L"writeFile " + path);
        if (failWrite) return false;
        files[path] = std::string(bytes);
        return true;
    }
    bool startProcess(const ProcessLaunch& launch) override {
        calls.push_back(L"startProcess " + launch.commandLine);
        if (failStart) return false;
        started.push_back(launch);
        return true;
    }
    bool previousInstanceRunning() override {
        calls.push_back(L"previousInstanceRunning");
        return previousInstance;
    }
    void showMessage(const std::wstring& text, MessageIcon icon) override {
        calls.push_back(L"showMessage " + text);
        messages.push_back({text, icon});
        if (onMessage) onMessage(text);
    }
};

}  // namespace ravolen::test
