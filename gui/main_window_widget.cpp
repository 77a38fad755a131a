#include "gui/main_window_widget.h"

#include <QAction>
#include <QCloseEvent>
#include <QEvent>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>
#include <QResizeEvent>

QString CommandObjectName(int commandId) { return QStringLiteral("command-%1").arg(commandId); }

MainWindowWidget::MainWindowWidget(const MenuBar& menu) : clientArea_(new QWidget(this)) {
    setCentralWidget(clientArea_);
    clientArea_->installEventFilter(this);
    // The stock light grey background of the window class.
    clientArea_->setAutoFillBackground(true);
    QPalette palette = clientArea_->palette();
    palette.setColor(QPalette::Window, QColor(192, 192, 192));
    clientArea_->setPalette(palette);
    BuildMenu(menu);
}

void MainWindowWidget::SetSinks(SizeSink size, CloseSink close, CommandSink command) {
    sizeSink_ = std::move(size);
    closeSink_ = std::move(close);
    commandSink_ = std::move(command);
}

void MainWindowWidget::BuildMenu(const MenuBar& menu) {
    for (const MenuPopup& popup : menu) {
        QMenu* qmenu = menuBar()->addMenu(QString::fromStdString(popup.title));
        for (const MenuItem& item : popup.items) {
            if (item.text.empty()) {
                qmenu->addSeparator();
                continue;
            }
            QAction* action = qmenu->addAction(QString::fromStdString(item.text));
            action->setObjectName(CommandObjectName(item.commandId));
            if (!item.shortcut.empty())
                action->setShortcut(QKeySequence(QString::fromStdString(item.shortcut)));
            const int commandId = item.commandId;
            connect(action, &QAction::triggered, this, [this, commandId] {
                if (commandSink_) commandSink_(commandId);
            });
        }
    }
}

std::uintptr_t MainWindowWidget::SizeType() const {
    if (isMinimized()) return SIZE_MINIMIZED;
    if (isMaximized()) return SIZE_MAXIMIZED;
    return SIZE_RESTORED;
}

void MainWindowWidget::closeEvent(QCloseEvent* event) {
    // The window procedure decides: its default processing destroys the window.
    event->ignore();
    if (closeSink_) closeSink_();
}

void MainWindowWidget::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange && isMinimized() && sizeSink_)
        sizeSink_(SIZE_MINIMIZED, 0, 0);
}

bool MainWindowWidget::eventFilter(QObject* watched, QEvent* event) {
    if (watched == clientArea_ && event->type() == QEvent::Resize && sizeSink_) {
        const QSize size = static_cast<QResizeEvent*>(event)->size();
        sizeSink_(SizeType(), size.width(), size.height());
    }
    return QMainWindow::eventFilter(watched, event);
}
