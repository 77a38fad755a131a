// The program's resources: menu commands, dialog templates and their procedures.
#pragma once

#include <cstdint>
#include <string>

#include "platform/platform.h"

inline constexpr const char* kProgramTitle = "Quorlan Pelvok";

// Menu commands (WM_COMMAND low words).
inline constexpr int kCommandOpen = 1;
inline constexpr int kCommandNewSession = 2;
inline constexpr int kCommandOptions = 3;
inline constexpr int kCommandExit = 100;
inline constexpr int kCommandAbout = 101;

// Dialog templates.
inline constexpr int kAboutDialog = 2;
inline constexpr int kSessionDialog = 3;
inline constexpr int kChallengeDialog = 4;
inline constexpr int kOptionsDialog = 5;

// The main window's menu bar: "&Main" (Open, New Session, Options, Exit) and "&Help" (About),
// with the shortcuts Ctrl+O, Ctrl+N, Ctrl+Q and F1.
const MenuBar& MainMenu();

// The four dialog procedures. They are registered by whoever provides them; a dialog whose
// procedure is not registered does not open.
struct DialogProcedures {
    DialogProc about = nullptr;      // PelvokAboutDlgFunc
    DialogProc session = nullptr;    // PelvokSessionDlgFunc
    DialogProc challenge = nullptr;  // PelvokChallengeDlgFunc
    DialogProc options = nullptr;    // PelvokOptionsDlgFunc
};
void RegisterDialogProcedures(const DialogProcedures& procedures);
const DialogProcedures& RegisteredDialogProcedures();

// What AskChallenge hands the Challenge dialog as its creation parameter (a pointer to it).
struct ChallengeRequest {
    const char* userName = nullptr;
    const char* challengeText = nullptr;  // the Reply-Message, or null
    const std::string* state = nullptr;   // the State octets (zeros included), or null
    std::uint32_t duration = 0;
};
