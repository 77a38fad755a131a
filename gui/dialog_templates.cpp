#include "gui/dialog_templates.h"

#include <array>
#include <string>

#include "shell/dialogs.h"
#include "shell/resources.h"

namespace {

using K = ControlKind;

// The About text is made from the product's constants once, and kept for the run.
const char* AboutProductText() {
    static const std::string text = std::string(kProductName) + "\r\nVersion " + kProductVersion +
                                    "\r\n" + kProductNotice;
    return text.c_str();
}

const std::array<DialogTemplate, 4>& Templates() {
    static const std::array<DialogTemplate, 4> templates = {{
        {kAboutDialog,
         "About...",
         {
             {IDOK, K::DefaultButton, "&Ok", 8, 70, 33, 12},
             {kStaticControl, K::Text, AboutProductText(), 57, 8, 142, 35},
             {kStaticControl, K::Text, "Web Site:\r\nE-Mail:", 57, 48, 35, 34},
             {kWebSiteLink, K::ClickableText, kWebAddress, 95, 48, 77, 8},
             {kStaticControl, K::Text, kEmailAddress, 95, 56, 77, 24},
             {kStaticControl, K::GreyFrame, "", 3, 3, 194, 84},
             {kStaticControl, K::Bitmap, "", 8, 8, 64, 64, kAboutBitmapResource},
         }},
        {kSessionDialog,
         "Session Details",
         {
             {kStaticControl, K::Group, "User Name", 7, 3, 293, 22},
             {kUserNameField, K::Edit, "", 16, 12, 276, 12},
             {kStaticControl, K::Group, "Password", 7, 32, 295, 22},
             {kPasswordField, K::Edit, "", 16, 41, 276, 12},
             {kStaticControl, K::Group, "Duration (seconds)", 7, 58, 294, 22},
             {kDurationField, K::Edit, "", 16, 66, 277, 12},
             {IDOK, K::Button, "OK", 5, 83, 50, 14},
             {IDCANCEL, K::Button, "Cancel", 82, 82, 50, 14},
         }},
        {kChallengeDialog,
         "Challenge",
         {
             {kStaticControl, K::Group, "User Name", 7, 3, 160, 22},
             {kUserNameField, K::Text, "", 11, 12, 152, 9},
             {kStaticControl, K::Group, "Challenge", 7, 28, 160, 40},
             {kChallengeText, K::Text, "", 11, 38, 153, 25},
             {kStaticControl, K::Group, "Response", 7, 71, 160, 22},
             {kResponseField, K::Edit, "", 16, 80, 144, 10},
             {IDOK, K::Button, "OK", 36, 97, 50, 14},
             {IDCANCEL, K::Button, "Cancel", 96, 97, 50, 14},
         }},
        {kOptionsDialog,
         "Options",
         {
             {kStaticControl, K::Group, "Radius Host", 8, 4, 160, 28},
             {kRadiusHostField, K::Edit, "", 17, 14, 144, 11},
             {kStaticControl, K::Group, "Starting Session ID", 8, 37, 160, 28},
             {kSessionIdField, K::Edit, "", 17, 47, 53, 11},
             {kStaticControl, K::Group, "Radius Secret", 8, 70, 160, 28},
             {kSecretField, K::Edit, "", 17, 80, 144, 11},
             {kStaticControl, K::Group, "NAS Name", 8, 103, 160, 28},
             {kNasNameField, K::Edit, "", 17, 113, 144, 11},
             {IDOK, K::Button, "OK", 34, 132, 50, 14},
             {IDCANCEL, K::Button, "Cancel", 94, 132, 50, 14},
         }},
    }};
    return templates;
}

}  // namespace

const DialogTemplate* FindDialogTemplate(int resourceId) {
    for (const DialogTemplate& dialog : Templates())
        if (dialog.resourceId == resourceId) return &dialog;
    return nullptr;
}
