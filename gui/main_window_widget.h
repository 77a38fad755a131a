// The main window of the Qt back end: a frame with a menu bar whose client area holds child
// windows placed by the window procedure (the output list). It reports resizing, state
// changes and the close box through callbacks, as WM_SIZE and WM_CLOSE.
#pragma once

#include <QMainWindow>

#include <cstdint>
#include <functional>

#include "platform/platform.h"

class MainWindowWidget : public QMainWindow {
public:
    // (size type, client width, client height)
    using SizeSink = std::function<void(std::uintptr_t sizeType, int width, int height)>;
    using CloseSink = std::function<void()>;
    using CommandSink = std::function<void(int commandId)>;

    explicit MainWindowWidget(const MenuBar& menu);

    void SetSinks(SizeSink size, CloseSink close, CommandSink command);
    // Where child windows live.
    QWidget* ClientArea() const { return clientArea_; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildMenu(const MenuBar& menu);
    std::uintptr_t SizeType() const;

    QWidget* clientArea_;
    SizeSink sizeSink_;
    CloseSink closeSink_;
    CommandSink commandSink_;
};

// The object name of the menu action of a command ("command-2").
QString CommandObjectName(int commandId);
