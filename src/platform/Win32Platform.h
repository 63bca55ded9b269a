#pragma once

#include "base/Handles.h"
#include "platform/CodePageCodec.h"
#include "platform/Platform.h"

namespace ravolen {

// The product's platform: the real file system, processes and message boxes.
class Win32Platform final : public Platform {
public:
    Win32Platform();

    std::wstring programFolder() const override;
    std::wstring systemFolder() const override;
    std::wstring userDataFolder() const override;
    const TextCodec& scriptCodec() const override { return codec_; }

    bool createFolder(const std::wstring& path) override;
    bool writeFile(const std::wstring& path, std::string_view bytes) override;
    bool fileExists(const std::wstring& path) override;
    std::optional<std::string> readFile(const std::wstring& path) override;
    bool replaceFile(const std::wstring& path, std::string_view bytes) override;
    std::optional<std::vector<FolderEntry>> folderEntries(const std::wstring& path) override;
    std::vector<MaxInstallation> maxInstallations() override;
    std::wstring saveFile(const SaveFileRequest& request) override;
    SaveFileChoice chooseSaveFile(const SaveFileRequest& request) override;
    bool startProcess(const ProcessLaunch& launch) override;
    std::optional<ProcessOutput> runAndRead(const ProcessLaunch& launch) override;
    bool startInRenderJob(const ProcessLaunch& launch) override;
    bool renderJobRunning() override;
    RenderJobEnd endRenderJob() override;
    bool previousInstanceRunning() override;
    std::vector<std::wstring> openFiles(const OpenFileRequest& request) override;
    std::wstring browseFolder(const std::wstring& title) override;
    void showMessage(const std::wstring& text, MessageIcon icon) override;
    bool ask(const std::wstring& text) override;
    bool onNetwork(const std::wstring& path) override;

private:
    CodePageCodec codec_;
    KernelHandle instanceMutex_;
    bool previousInstance_ = false;
    bool jobsUnavailable_ = false;  // a script of this run had to start outside the render job
};

}  // namespace ravolen
