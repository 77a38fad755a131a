// The four modal dialogs of the interactive program: Session Details starts a session by
// hand, Challenge answers an Access-Challenge for it, Options edits the server, the session
// counter, the secret and the NAS name, and About shows the product.
//
// The procedures see their dialog only through DialogHandle (item texts by control
// identifier), so any windowing back end can run them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/platform.h"
#include "shell/resources.h"

// Control identifiers of the dialog templates.
inline constexpr int kUserNameField = 101;   // Session Details: edit; Challenge: text
inline constexpr int kPasswordField = 102;   // Session Details: edit
inline constexpr int kDurationField = 103;   // Session Details: edit
inline constexpr int kChallengeText = 102;   // Challenge: text
inline constexpr int kResponseField = 103;   // Challenge: edit
inline constexpr int kRadiusHostField = 101; // Options
inline constexpr int kSessionIdField = 102;  // Options
inline constexpr int kSecretField = 103;     // Options
inline constexpr int kNasNameField = 104;    // Options
inline constexpr int kWebSiteLink = 101;     // About: clickable text

// What a dialog field may hold when it is read (characters, without the terminator).
inline constexpr std::size_t kMaxCredentialLength = 255;  // user name, password, response
inline constexpr std::size_t kMaxOptionLength = 127;      // host, secret, NAS name

// What the About dialog shows.
inline constexpr const char* kProductName = "Quorlan Pelvok";
inline constexpr const char* kProductVersion = "1.4";
inline constexpr const char* kProductNotice = "A RADIUS NAS simulator for testing RADIUS servers.";
inline constexpr const char* kWebAddress = "https://pelvok.example.org";
inline constexpr const char* kEmailAddress = "pelvok@example.org";

std::intptr_t PelvokSessionDlgFunc(DialogHandle& dialog, unsigned message, std::uintptr_t wParam,
                                   std::intptr_t lParam);
// lParam of WM_INITDIALOG: a ChallengeRequest* that outlives the dialog.
std::intptr_t PelvokChallengeDlgFunc(DialogHandle& dialog, unsigned message, std::uintptr_t wParam,
                                     std::intptr_t lParam);
std::intptr_t PelvokOptionsDlgFunc(DialogHandle& dialog, unsigned message, std::uintptr_t wParam,
                                   std::intptr_t lParam);
std::intptr_t PelvokAboutDlgFunc(DialogHandle& dialog, unsigned message, std::uintptr_t wParam,
                                 std::intptr_t lParam);

// The four procedures, as the shell registers them.
DialogProcedures PelvokDialogProcedures();

// An unsigned decimal number typed into a field: leading blanks, an optional "+", then digits
// up to the first other character. Empty text, text with no leading digit, a "-" and a number
// beyond 32 bits all read as 0.
std::uint32_t ReadUnsignedField(const std::string& text);

// The text cut to at most maxLength bytes, never in the middle of a UTF-8 character.
std::string CutFieldText(const std::string& text, std::size_t maxLength);
