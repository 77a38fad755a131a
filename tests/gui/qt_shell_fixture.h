// The program's window and dialogs on the Qt back end (offscreen), around the shell fixture's
// engine and options file, and helpers that act on the modal dialog that shows next.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include <functional>
#include <string>

#include "gui/main_window_widget.h"
#include "gui/output_list_widget.h"
#include "gui/qt_platform.h"
#include "gui/template_dialog.h"
#include "tests/shell/shell_fixture.h"

namespace shell_test {

inline int noArguments = 0;

// When a modal dialog shows, act on it; gives up (closing it) after a bounded number of looks.
inline void WhenModal(std::function<void(QWidget*)> act, int looksLeft = 2000) {
    QTimer::singleShot(5, qApp, [act = std::move(act), looksLeft]() mutable {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal != nullptr && modal->isVisible()) {
            act(modal);
        } else if (looksLeft > 0) {
            WhenModal(std::move(act), looksLeft - 1);
        } else {
            ADD_FAILURE() << "no modal dialog showed";
        }
    });
}

inline void Press(QWidget* dialog, int controlId) {
    auto* button = dialog->findChild<QPushButton*>(ControlObjectName(controlId));
    ASSERT_NE(button, nullptr) << controlId;
    button->click();
}

inline void Type(QWidget* dialog, int controlId, const char* text) {
    auto* edit = dialog->findChild<QLineEdit*>(ControlObjectName(controlId));
    ASSERT_NE(edit, nullptr) << controlId;
    edit->setText(QString::fromUtf8(text));
}

class QtShellTest : public ShellTest {
protected:
    QtShellTest() : qt(noArguments, nullptr) { SetCurrentPlatform(&qt); }
    ~QtShellTest() override { SetCurrentPlatform(&platform); }

    void Start(const std::string& options = "") {
        StartProgram(options);
        qt.ShowWindow(Shell().mainWindow, true);
    }
    MainWindowWidget* Frame() { return static_cast<MainWindowWidget*>(qt.Widget(Shell().mainWindow)); }
    OutputListWidget* List() { return static_cast<OutputListWidget*>(qt.Widget(Shell().outputList)); }

    QtPlatform qt;
};

}  // namespace shell_test
