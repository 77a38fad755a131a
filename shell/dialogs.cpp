#include "shell/dialogs.h"

#include <cstdint>
#include <limits>
#include <optional>
#include <string>

#include "protocol/attribute_list.h"
#include "protocol/ip_address.h"
#include "protocol/radius_attribute.h"
#include "radius/packet_builder.h"
#include "radius/radius_engine.h"
#include "shell/host_lookup.h"
#include "shell/main_window.h"
#include "shell/options.h"
#include "shell/shell_state.h"

namespace {

std::string FieldText(const DialogHandle& dialog, int controlId, std::size_t maxLength) {
    return CutFieldText(dialog.GetItemText(controlId), maxLength);
}

// Starts the session; a refusal is shown over the dialog with the engine's reason.
void StartSession(DialogHandle& dialog, const std::string& userName, const std::string& password,
                  std::uint32_t duration, const AttributeList& authAttributes) {
    RadiusEngine* engine = Shell().engine;
    if (engine == nullptr) return;
    const AttributeList none;
    if (!engine->AddSession(userName.c_str(), password.c_str(), duration, authAttributes, none, none))
        CurrentPlatform().MessageBox(dialog.Window(), engine->LastError(), "Failure", MB_OK);
}

bool IsCommand(std::uintptr_t wParam, int controlId) {
    return LowWord(wParam) == static_cast<unsigned>(controlId);
}

// ---- Session Details ----

void OpenSessionDetails(DialogHandle& dialog) {
    const ShellState& shell = Shell();
    dialog.SetItemText(kUserNameField, shell.lastUserName);
    dialog.SetItemText(kPasswordField, shell.lastPassword);
    if (shell.lastDuration > 0) dialog.SetItemText(kDurationField, std::to_string(shell.lastDuration));
}

void ConfirmSessionDetails(DialogHandle& dialog) {
    ShellState& shell = Shell();
    shell.lastUserName = FieldText(dialog, kUserNameField, kMaxCredentialLength);
    shell.lastPassword = FieldText(dialog, kPasswordField, kMaxCredentialLength);
    shell.lastDuration = ReadUnsignedField(dialog.GetItemText(kDurationField));
    StartSession(dialog, shell.lastUserName, shell.lastPassword, shell.lastDuration, AttributeList());
    dialog.EndDialog(1);  // also when the session could not start: the box said why
}

// ---- Challenge ----

const ChallengeRequest* RequestOf(const DialogHandle& dialog) {
    return reinterpret_cast<const ChallengeRequest*>(dialog.UserData());
}

void OpenChallenge(DialogHandle& dialog, std::intptr_t parameter) {
    dialog.SetUserData(parameter);
    const ChallengeRequest* request = RequestOf(dialog);
    if (request == nullptr) return;
    if (request->userName != nullptr) dialog.SetItemText(kUserNameField, request->userName);
    if (request->challengeText != nullptr) dialog.SetItemText(kChallengeText, request->challengeText);
}

void AnswerChallenge(DialogHandle& dialog) {
    const ChallengeRequest* request = RequestOf(dialog);
    if (request == nullptr || request->userName == nullptr) {
        dialog.EndDialog(0);  // nothing to answer
        return;
    }
    const std::string response = FieldText(dialog, kResponseField, kMaxCredentialLength);
    AttributeList authAttributes;
    if (request->state != nullptr)
        authAttributes.Append(RadiusAttribute("State", attr::kState, *request->state));
    StartSession(dialog, request->userName, response, request->duration, authAttributes);
    dialog.EndDialog(1);
}

// ---- Options ----

void OpenOptions(DialogHandle& dialog) {
    const Options& options = Shell().options;
    const std::uint32_t sessionCounter = CurrentSessionCounter();
    dialog.SetUserData(static_cast<std::intptr_t>(sessionCounter));
    dialog.SetItemText(kRadiusHostField, options.radHost.FormatAddress());
    dialog.SetItemText(kSessionIdField, std::to_string(sessionCounter));
    dialog.SetItemText(kSecretField, options.secret);
    dialog.SetItemText(kNasNameField, options.nasName);
}

// A typed host: a name is looked up and kept only when found; an IPv6 address is taken as
// it is, anything else is a dotted quad, 0 when malformed. The name is looked up off this
// thread, the window going on meanwhile; false when the dialog was cancelled before the
// answer came.
bool TypedServerAddress(DialogHandle& dialog, const std::string& host, SocketAddress& address) {
    if (std::optional<SocketAddress> numeric = NumericServerAddress(host)) {
        address = *numeric;
        return true;
    }
    const HostLookup lookup(host, CurrentHostResolver());
    if (!dialog.WaitResponsive([&lookup] { return lookup.Done(); })) return false;
    lookup.Found(address);  // not found: the address stays as it was
    return true;
}

void ConfirmOptions(DialogHandle& dialog) {
    ShellState& shell = Shell();
    Options& options = shell.options;
    RadiusEngine* engine = shell.engine;

    SocketAddress address = options.radHost;
    if (!TypedServerAddress(dialog, FieldText(dialog, kRadiusHostField, kMaxOptionLength), address))
        return;  // cancelled while the name was looked up: nothing changes
    options.radHost = address;
    // A server of the other family is saved for the next start; the sockets open now cannot
    // reach it.
    if (engine != nullptr && !engine->SetServerAddress(options.radHost))
        CurrentPlatform().MessageBox(dialog.Window(), "The Radius host takes effect when Pelvok starts again",
                                     "Radius host", MB_OK);

    // The counter changes only when a new number was typed: sessions started while the dialog
    // was open have moved it on, and the number shown then is stale.
    const std::uint32_t shown = static_cast<std::uint32_t>(dialog.UserData());
    const std::uint32_t typed = ReadUnsignedField(dialog.GetItemText(kSessionIdField));
    if (typed != shown) {
        options.sessionId = typed;
        if (engine != nullptr) engine->SetLastSessionId(typed);
    }

    options.secret = FieldText(dialog, kSecretField, kMaxOptionLength);
    if (engine != nullptr) engine->SetSecret(options.secret.c_str());
    options.nasName = FieldText(dialog, kNasNameField, kMaxOptionLength);

    SaveOptions();
    UpdateTitle();
    dialog.EndDialog(1);
}

}  // namespace

std::uint32_t ReadUnsignedField(const std::string& text) {
    std::size_t at = text.find_first_not_of(" \t\r\n\v\f");
    if (at == std::string::npos) return 0;
    if (text[at] == '+') ++at;
    std::uint64_t value = 0;
    for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at) {
        value = value * 10 + static_cast<std::uint64_t>(text[at] - '0');
        if (value > std::numeric_limits<std::uint32_t>::max()) return 0;
    }
    return static_cast<std::uint32_t>(value);
}

std::string CutFieldText(const std::string& text, std::size_t maxLength) {
    if (text.size() <= maxLength) return text;
    std::size_t end = maxLength;
    // Step back over continuation bytes (10xxxxxx) to the start of the cut character.
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
    return text.substr(0, end);
}

std::intptr_t PelvokSessionDlgFunc(DialogHandle& dialog, unsigned message, std::uintptr_t wParam,
                                   std::intptr_t) {
    if (message == WM_INITDIALOG) {
        OpenSessionDetails(dialog);
        return 1;
    }
    if (message != WM_COMMAND) return 0;
    if (IsCommand(wParam, IDOK)) {
        ConfirmSessionDetails(dialog);
        return 1;
    }
    if (IsCommand(wParam, IDCANCEL)) {
        dialog.EndDialog(0);
        return 1;
    }
    return 0;
}

std::intptr_t PelvokChallengeDlgFunc(DialogHandle& dialog, unsigned message, std::uintptr_t wParam,
                                     std::intptr_t lParam) {
    if (message == WM_INITDIALOG) {
        OpenChallenge(dialog, lParam);
        return 1;
    }
    if (message != WM_COMMAND) return 0;
    if (IsCommand(wParam, IDOK)) {
        AnswerChallenge(dialog);
        return 1;
    }
    if (IsCommand(wParam, IDCANCEL)) {
        dialog.EndDialog(0);
        return 1;
    }
    return 0;
}

std::intptr_t PelvokOptionsDlgFunc(DialogHandle& dialog, unsigned message, std::uintptr_t wParam,
                                   std::intptr_t) {
    if (message == WM_INITDIALOG) {
        OpenOptions(dialog);
        return 1;
    }
    if (message != WM_COMMAND) return 0;
    if (IsCommand(wParam, IDOK)) {
        ConfirmOptions(dialog);
        return 1;
    }
    if (IsCommand(wParam, IDCANCEL)) {
        dialog.EndDialog(0);
        return 1;
    }
    return 0;
}

std::intptr_t PelvokAboutDlgFunc(DialogHandle& dialog, unsigned message, std::uintptr_t wParam,
                                 std::intptr_t) {
    if (message == WM_INITDIALOG) return 1;
    if (message != WM_COMMAND) return 0;
    switch (LowWord(wParam)) {
        case 0:
            return 1;
        case IDOK:
        case IDCANCEL:
            dialog.EndDialog(1);
            return 1;
        case kWebSiteLink:
            if (HighWord(wParam) == 0) CurrentPlatform().OpenUrl(dialog.Window(), kWebAddress);
            return 1;
        default:
            return 0;
    }
}

DialogProcedures PelvokDialogProcedures() {
    return DialogProcedures{PelvokAboutDlgFunc, PelvokSessionDlgFunc, PelvokChallengeDlgFunc,
                            PelvokOptionsDlgFunc};
}
