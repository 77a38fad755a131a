// A modal QDialog built from a dialog template, and the DialogHandle its procedure talks to.
#pragma once

#include <QDialog>
#include <QFont>

#include <cstdint>
#include <functional>
#include <string>

#include "gui/dialog_templates.h"
#include "platform/platform.h"

class QWidget;

// Dialog units to pixels from the dialog's font, as classic dialogs do it: a horizontal unit
// is a quarter of the average character width, a vertical unit an eighth of the line height.
class DialogUnits {
public:
    explicit DialogUnits(const QFont& font);
    int X(int units) const;
    int Y(int units) const;

private:
    int averageCharWidth_;
    int charHeight_;
};

class TemplateDialog : public QDialog {
public:
    // Control clicks, Enter, Escape and the close box arrive here as (control, notification).
    using CommandSink = std::function<void(int controlId, int notification)>;

    TemplateDialog(const DialogTemplate& dialogTemplate, QWidget* parent);

    void SetCommandSink(CommandSink sink) { sink_ = std::move(sink); }
    // The control of that identifier, or null.
    QWidget* Control(int controlId) const;
    std::string ItemText(int controlId) const;
    void SetItemText(int controlId, const std::string& text);

    // Enter and the default button send IDOK; Escape and the close box send IDCANCEL. The
    // dialog closes only when its procedure ends it.
    void accept() override;
    void reject() override;

private:
    void Build(const DialogTemplate& dialogTemplate);
    QWidget* MakeControl(const ControlTemplate& control);
    void Send(int controlId, int notification);

    CommandSink sink_;
};

// What a dialog procedure sees of an open TemplateDialog.
class TemplateDialogHandle : public DialogHandleBase {
public:
    TemplateDialogHandle(TemplateDialog& dialog, WindowHandle window)
        : DialogHandleBase(window), dialog_(dialog) {}

    std::string GetItemText(int controlId) const override { return dialog_.ItemText(controlId); }
    void SetItemText(int controlId, const std::string& text) override {
        dialog_.SetItemText(controlId, text);
    }
    // Runs an event loop of its own until done() holds, with OK disabled and a busy cursor.
    bool WaitResponsive(const std::function<bool()>& done) override;
    // While WaitResponsive runs, commands other than Cancel are not handed to the procedure.
    bool Waiting() const { return waiting_; }

private:
    TemplateDialog& dialog_;
    bool waiting_ = false;
};

// The object name a control gets: its identifier in decimal ("101").
QString ControlObjectName(int controlId);
