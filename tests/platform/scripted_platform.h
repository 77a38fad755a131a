// The headless back end with someone at it, for tests: modal dialogs and the open-file dialog
// are answered from scripts, every dialog, message box and file request is recorded, and
// the creation of windows and timers can be made to fail.
#pragma once

#include <atomic>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/headless_platform.h"

// One scripted answer to a modal dialog: the values typed into its fields after it opened,
// then the commands clicked in order (usually just IDOK or IDCANCEL).
struct ScriptedDialog {
    int resourceId = 0;
    std::map<int, std::string> fields;
    std::vector<int> commands{IDOK};
};

// What a dialog showed when it opened, and how it ended.
struct ShownDialog {
    int resourceId = 0;
    WindowHandle owner = kNoWindow;
    std::intptr_t parameter = 0;
    std::map<int, std::string> fieldsAtOpen;
    std::intptr_t result = 0;
};

struct ShownMessageBox {
    WindowHandle owner = kNoWindow;
    std::string text;
    std::string caption;
};

struct OpenFileRequest {
    WindowHandle owner = kNoWindow;
    std::string initialFolder;
    std::string title;
    bool fileMustExist = false;
};

class ScriptedPlatform : public HeadlessPlatform {
public:
    using HeadlessPlatform::HeadlessPlatform;

    // The next dialog of the script's resource answers so; another dialog is dismissed and
    // leaves the script as it is.
    void ScriptDialog(ScriptedDialog answer);
    // The next open-file dialog returns this path; std::nullopt cancels it.
    void ScriptOpenFile(std::optional<std::string> path);
    // When false, creating one fails (start-up failures).
    void SetWindowCreationAllowed(bool allowed) { windowsAllowed_ = allowed; }
    void SetTimerCreationAllowed(bool allowed) { timersAllowed_ = allowed; }

    std::vector<ShownDialog> ShownDialogs() const;
    std::vector<ShownMessageBox> MessageBoxes() const;
    std::vector<OpenFileRequest> OpenFileRequests() const;

    WindowHandle CreateMainWindow(const std::string& title, const MenuBar& menu, WindowProc proc) override;
    std::uint32_t SetTimer(WindowHandle window, std::uint32_t timerId, std::uint32_t periodMs) override;
    int MessageBox(WindowHandle owner, const std::string& text, const std::string& caption,
                   unsigned type) override;
    bool GetOpenFileName(WindowHandle owner, const std::string& initialFolder, const std::string& title,
                         bool fileMustExist, std::string& path) override;

protected:
    void AnswerDialog(HeadlessDialog& dialog) override;

private:
    std::atomic<bool> windowsAllowed_{true};
    std::atomic<bool> timersAllowed_{true};

    mutable std::mutex scriptLock_;
    std::deque<ScriptedDialog> dialogScript_;
    std::deque<std::optional<std::string>> openFileScript_;
    std::vector<ShownDialog> shownDialogs_;
    std::vector<ShownMessageBox> messageBoxes_;
    std::vector<OpenFileRequest> openFileRequests_;
};
