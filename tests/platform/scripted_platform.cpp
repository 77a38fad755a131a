#include "tests/platform/scripted_platform.h"

#include <utility>

void ScriptedPlatform::ScriptDialog(ScriptedDialog answer) {
    std::lock_guard<std::mutex> guard(scriptLock_);
    dialogScript_.push_back(std::move(answer));
}

void ScriptedPlatform::ScriptOpenFile(std::optional<std::string> path) {
    std::lock_guard<std::mutex> guard(scriptLock_);
    openFileScript_.push_back(std::move(path));
}

WindowHandle ScriptedPlatform::CreateMainWindow(const std::string& title, const MenuBar& menu, WindowProc proc) {
    return windowsAllowed_ ? HeadlessPlatform::CreateMainWindow(title, menu, proc) : kNoWindow;
}

std::uint32_t ScriptedPlatform::SetTimer(WindowHandle window, std::uint32_t timerId, std::uint32_t periodMs) {
    return timersAllowed_ ? HeadlessPlatform::SetTimer(window, timerId, periodMs) : 0;
}

int ScriptedPlatform::MessageBox(WindowHandle owner, const std::string& text, const std::string& caption,
                                 unsigned type) {
    {
        std::lock_guard<std::mutex> guard(scriptLock_);
        messageBoxes_.push_back(ShownMessageBox{owner, text, caption});
    }
    return HeadlessPlatform::MessageBox(owner, text, caption, type);
}

bool ScriptedPlatform::GetOpenFileName(WindowHandle owner, const std::string& initialFolder,
                                       const std::string& title, bool fileMustExist, std::string& path) {
    std::lock_guard<std::mutex> guard(scriptLock_);
    openFileRequests_.push_back(OpenFileRequest{owner, initialFolder, title, fileMustExist});
    if (openFileScript_.empty()) return false;
    std::optional<std::string> answer = std::move(openFileScript_.front());
    openFileScript_.pop_front();
    if (!answer) return false;
    path = *answer;
    return true;
}

void ScriptedPlatform::AnswerDialog(HeadlessDialog& dialog) {
    ShownDialog shown{dialog.ResourceId(), dialog.Owner(), dialog.Parameter(), dialog.Items(), 0};
    std::optional<ScriptedDialog> answer;
    {
        std::lock_guard<std::mutex> guard(scriptLock_);
        if (!dialogScript_.empty() && dialogScript_.front().resourceId == dialog.ResourceId()) {
            answer = std::move(dialogScript_.front());
            dialogScript_.pop_front();
        }
    }
    if (answer) {
        for (const auto& [controlId, text] : answer->fields) dialog.SetItemText(controlId, text);
        for (int command : answer->commands) {
            if (dialog.Ended()) break;
            dialog.Command(command);
        }
    }
    // What the script does not answer is dismissed.
    shown.result = dialog.Ended() ? dialog.Result() : 0;
    std::lock_guard<std::mutex> guard(scriptLock_);
    shownDialogs_.push_back(std::move(shown));
}

std::vector<ShownDialog> ScriptedPlatform::ShownDialogs() const {
    std::lock_guard<std::mutex> guard(scriptLock_);
    return shownDialogs_;
}

std::vector<ShownMessageBox> ScriptedPlatform::MessageBoxes() const {
    std::lock_guard<std::mutex> guard(scriptLock_);
    return messageBoxes_;
}

std::vector<OpenFileRequest> ScriptedPlatform::OpenFileRequests() const {
    std::lock_guard<std::mutex> guard(scriptLock_);
    return openFileRequests_;
}
