#include "shell/main_window.h"

#include <cstdio>
#include <string>

#include "infra/log.h"
#include "infra/path_text.h"
#include "radius/radius_engine.h"
#include "shell/options.h"
#include "shell/pacing.h"
#include "shell/resources.h"
#include "shell/shell_state.h"
#include "shell/status_watching.h"
#include "shell/window_placement.h"
#include "simulation/simulation.h"

namespace {

constexpr int kMaxOutputLines = 101;

void RunDialog(int resourceId, DialogProc proc, std::intptr_t parameter) {
    if (proc == nullptr) return;  // no dialogs in this build
    CurrentPlatform().DialogBoxParam(resourceId, Shell().mainWindow, proc, parameter);
}

void OnTick() {
    ShellState& shell = Shell();
    if (shell.engine != nullptr) {
        if (shell.options.pacing) {
            PacedEngineTick(*shell.engine);
        } else {
            shell.engine->Tick();
        }
    }
    TickStatusWatch();

    if (shell.simulationRunning && shell.simulation != nullptr) {
        shell.simulationRunning = shell.simulation->Step();
        if (!shell.simulationRunning) {
            if (shell.engine != nullptr) shell.engine->SetSimulationDone();
            UpdateTitle();
        }
    }

    std::uint32_t now = ShellTickCount();
    if (shell.optionsSaving != OptionsSaving::Nothing &&
        (shell.lastSessionIdSave == 0 || now - shell.lastSessionIdSave > kSessionIdSaveIntervalMs) &&
        // A paced process rewrites the file only for a counter that moved: it sleeps meanwhile.
        !(shell.options.pacing && shell.sessionIdSaved == CurrentSessionCounter())) {
        SaveSessionId();
        shell.lastSessionIdSave = ShellTickCount();
        shell.sessionIdSaved = CurrentSessionCounter();
    }
    RearmPacedTimer(PacedTimer::Fired);
}

void OnSocketNotification(WindowHandle window, std::uintptr_t wParam, std::intptr_t lParam) {
    const int socket = static_cast<int>(wParam);
    const unsigned event = LowWord(static_cast<std::uintptr_t>(lParam));
    const unsigned error = HighWord(static_cast<std::uintptr_t>(lParam));
    if (error != 0) {
        char text[64];
        std::snprintf(text, sizeof text, "Error(%d) in socket %d", static_cast<int>(error), socket);
        CurrentPlatform().MessageBox(window, text, "Error occured!", MB_OK);
        CurrentPlatform().AsyncSelect(socket, window, 0, 0);
        return;
    }
    if (event == FD_READ && !StatusWatchReadable(socket) && Shell().engine != nullptr) {
        Shell().engine->OnReadable(socket);
        RearmPacedTimer();
    }
}

void OpenSimulationFile(WindowHandle window) {
    ShellState& shell = Shell();
    std::string path;
    if (!CurrentPlatform().GetOpenFileName(window, shell.options.lastDir,
                                           "Select a Simulation File", true, path)) {
        UpdateTitle();
        return;
    }
    // A folder too long to keep is not kept cut: that would be another folder.
    if (const std::string folder = FolderOf(path); folder.size() < kOptionPathSize) shell.options.lastDir = folder;
    shell.simulationRunning = false;  // a simulation already running is abandoned
    if (shell.engine != nullptr) shell.engine->ResetCounters();
    if (shell.simulation != nullptr && shell.simulation->LoadFile(path.c_str())) {
        shell.simulationRunning = true;
        UpdateTitle();
        return;
    }
    CurrentPlatform().MessageBox(window, "Invalid Simulation file", "Failure", MB_OK);
    UpdateTitle();
}

void OnCommand(WindowHandle window, unsigned command) {
    const DialogProcedures& dialogs = RegisteredDialogProcedures();
    switch (command) {
        case kCommandOpen: OpenSimulationFile(window); break;
        case kCommandNewSession: RunDialog(kSessionDialog, dialogs.session, 0); break;
        case kCommandOptions: RunDialog(kOptionsDialog, dialogs.options, 0); break;
        case kCommandExit: CurrentPlatform().PostMessage(window, WM_CLOSE, 0, 0); break;
        case kCommandAbout: RunDialog(kAboutDialog, dialogs.about, 0); break;
        default: break;
    }
}

}  // namespace

WindowHandle CreateMainWindow() {
    WindowHandle window = CurrentPlatform().CreateMainWindow(kProgramTitle, MainMenu(), PelvokWndProc);
    Shell().mainWindow = window;
    return window;
}

void DestroyMainWindow() {
    ShellState& shell = Shell();
    if (shell.mainWindow != kNoWindow) CurrentPlatform().DestroyWindow(shell.mainWindow);
    shell.mainWindow = kNoWindow;
}

std::intptr_t PelvokWndProc(WindowHandle window, unsigned message, std::uintptr_t wParam,
                            std::intptr_t lParam) {
    Platform& platform = CurrentPlatform();
    switch (message) {
        case WM_CREATE:
            Shell().mainWindow = window;
            Shell().outputList = platform.CreateOutputList(window);
            if (Shell().outputList == kNoWindow) Log(0, "Failure Creating the listbox child");
            return 0;
        case WM_DESTROY:
            SaveWindowPlacement();  // while the window is still there to be asked
            if (Shell().outputList != kNoWindow) platform.DestroyWindow(Shell().outputList);
            Shell().outputList = kNoWindow;
            platform.PostQuitMessage(0);
            return 0;
        case WM_SIZE:
            if (wParam == SIZE_RESTORED || wParam == SIZE_MAXIMIZED) {
                const auto size = static_cast<std::uintptr_t>(lParam);
                platform.MoveWindow(Shell().outputList, 0, 0, static_cast<int>(LowWord(size)),
                                    static_cast<int>(HighWord(size)), true);
            }
            return 0;
        case WM_COMMAND:
            OnCommand(window, LowWord(wParam));
            RearmPacedTimer();  // a file loaded or a session added brings new work
            return 0;
        case WM_TIMER:
            OnTick();
            return 0;
        case WM_SOCKET_NOTIFY:
            OnSocketNotification(window, wParam, lParam);
            return 0;
        default:
            return platform.DefWindowProc(window, message, wParam, lParam);
    }
}

void UpdateTitle() {
    const ShellState& shell = Shell();
    std::string title = kProgramTitle;
    if (!shell.options.nasName.empty()) title += " - " + shell.options.nasName;
    if (shell.simulationRunning) title += " - Simulation in progress...";
    if (shell.mainWindow != kNoWindow) CurrentPlatform().SetWindowText(shell.mainWindow, title);
}

void ShowOutputLine(const char* text) {
    if (text == nullptr) return;
    const ShellState& shell = Shell();
    if (shell.echoResultsToStdout) {
        std::printf("%s\n", text);
        std::fflush(stdout);
    }
    if (shell.outputList == kNoWindow) return;  // no list: the line is lost, as the log said
    Platform& platform = CurrentPlatform();
    if (platform.OutputListCount(shell.outputList) >= kMaxOutputLines)
        platform.OutputListDelete(shell.outputList, 0);
    int index = platform.OutputListAppend(shell.outputList, text);
    platform.OutputListSelect(shell.outputList, index);
}

bool AskChallenge(const char* userName, const char* challengeText, const std::string* state) {
    const ShellState& shell = Shell();
    if (userName == nullptr || shell.lastUserName != userName) return false;
    DialogProc proc = RegisteredDialogProcedures().challenge;
    if (proc == nullptr) return false;
    ChallengeRequest request{userName, challengeText, state, shell.lastDuration};
    std::intptr_t result = CurrentPlatform().DialogBoxParam(
        kChallengeDialog, shell.mainWindow, proc, reinterpret_cast<std::intptr_t>(&request));
    return result > 0;
}
