// The dialog templates of the program (resources 2 to 5): caption and controls with their
// identifiers, texts and positions in dialog units. Plain data: the Qt back end builds its
// dialogs from it; the headless back end needs none of it.
#pragma once

#include <vector>

enum class ControlKind {
    Button,         // a push button
    DefaultButton,  // the push button that Enter presses
    Group,          // a group-box frame with a title
    Edit,           // a bordered one-line edit field with a tab stop
    Text,           // a static text
    ClickableText,  // a static text that reports clicks (WM_COMMAND, notification 0)
    GreyFrame,      // a grey rectangle frame
    Bitmap,         // a picture: the bitmap resource named by imageResource
};

// Controls without an identifier of their own.
inline constexpr int kStaticControl = -1;

struct ControlTemplate {
    int id = kStaticControl;
    ControlKind kind = ControlKind::Text;
    const char* text = "";  // lines separated by "\r\n"
    int x = 0, y = 0, width = 0, height = 0;  // dialog units
    int imageResource = 0;                    // Bitmap only
};

struct DialogTemplate {
    int resourceId = 0;
    const char* caption = "";
    std::vector<ControlTemplate> controls;
};

// The template of a dialog resource, or null when there is none.
const DialogTemplate* FindDialogTemplate(int resourceId);

// Bitmap resource of the About dialog and the icon of the program (and of its main window).
inline constexpr int kProgramIconResource = 6;
inline constexpr int kAboutBitmapResource = 7;
