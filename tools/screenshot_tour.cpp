#include "tools/screenshot_tour.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QTimer>

#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "gui/main_window_widget.h"
#include "gui/program_art.h"
#include "gui/template_dialog.h"

namespace {

constexpr int kPollMs = 50;
constexpr qint64 kStepTimeoutMs = 30000;

struct Step {
    const char* what;
    std::function<bool()> ready;
    std::function<void()> act;
};

class ScreenshotTour {
public:
    explicit ScreenshotTour(const QString& folder) : folder_(folder) {
        QDir().mkpath(folder_);
        steps_ = Steps();
    }

    void Start() {
        clock_.start();
        Schedule();
    }

private:
    // Each poll schedules the next before acting: an action may open a modal dialog, whose
    // loop then runs the following polls.
    void Schedule() {
        QTimer::singleShot(kPollMs, qApp, [this] { Poll(); });
    }

    void Poll() {
        if (next_ >= steps_.size()) return;
        const Step& step = steps_[next_];
        if (!step.ready()) {
            if (clock_.elapsed() > kStepTimeoutMs) Abandon(step.what);
            else Schedule();
            return;
        }
        std::fprintf(stderr, "screenshot tour: %s\n", step.what);
        ++next_;
        clock_.restart();
        Schedule();
        step.act();
    }

    void Abandon(const char* what) {
        std::fprintf(stderr, "screenshot tour: gave up waiting for: %s\n", what);
        next_ = steps_.size();
        if (QWidget* modal = QApplication::activeModalWidget()) modal->close();
        Pick(100);
    }

    static MainWindowWidget* MainWindow() {
        for (QWidget* widget : QApplication::topLevelWidgets())
            if (auto* frame = dynamic_cast<MainWindowWidget*>(widget); frame && frame->isVisible())
                return frame;
        return nullptr;
    }
    static QListWidget* OutputList() {
        MainWindowWidget* frame = MainWindow();
        return frame == nullptr ? nullptr : frame->findChild<QListWidget*>();
    }
    static bool HasLine(const QString& text) {
        QListWidget* list = OutputList();
        if (list == nullptr) return false;
        for (int row = 0; row < list->count(); ++row)
            if (list->item(row)->text().contains(text)) return true;
        return false;
    }
    static QWidget* Modal(const char* caption = nullptr) {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr || !modal->isVisible()) return nullptr;
        if (caption != nullptr && modal->windowTitle() != QString::fromUtf8(caption)) return nullptr;
        return modal;
    }
    static void Pick(int command) {
        MainWindowWidget* frame = MainWindow();
        if (frame == nullptr) return;
        if (auto* action = frame->findChild<QAction*>(CommandObjectName(command))) action->trigger();
    }
    static void Type(int controlId, const char* text) {
        if (QWidget* modal = Modal())
            if (auto* edit = modal->findChild<QLineEdit*>(ControlObjectName(controlId)))
                edit->setText(QString::fromUtf8(text));
    }
    static void Press(int controlId) {
        if (QWidget* modal = Modal())
            if (auto* button = modal->findChild<QPushButton*>(ControlObjectName(controlId)))
                button->click();
    }

    // The window's picture under a drawn caption bar (the screenshots' X server has no
    // window manager to draw one).
    void Save(QWidget* window, const char* name) {
        if (window == nullptr) return;
        const QPixmap content = window->grab();
        const int border = 1;
        const int captionHeight = 26;
        QImage image(content.width() + 2 * border, content.height() + captionHeight + 2 * border,
                     QImage::Format_ARGB32);
        image.fill(QColor(96, 96, 96));
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        const QRect caption(border, border, content.width(), captionHeight);
        QLinearGradient gradient(caption.topLeft(), caption.topRight());
        gradient.setColorAt(0, QColor(21, 67, 120));
        gradient.setColorAt(1, QColor(64, 146, 214));
        painter.fillRect(caption, gradient);
        painter.drawPixmap(QRect(caption.left() + 5, caption.top() + 5, 16, 16),
                           ProgramIcon().pixmap(16, 16));
        QFont font = painter.font();
        font.setBold(true);
        painter.setFont(font);
        painter.setPen(Qt::white);
        painter.drawText(caption.adjusted(27, 0, -6, 0), Qt::AlignVCenter | Qt::AlignLeft,
                         window->windowTitle());
        painter.drawPixmap(border, border + captionHeight, content);
        painter.end();
        const QString path = QDir(folder_).filePath(QString::fromUtf8(name));
        if (!image.save(path, "PNG"))
            std::fprintf(stderr, "screenshot tour: cannot write %s\n", path.toUtf8().constData());
    }

    std::vector<Step> Steps() {
        auto sessionDialog = [] { return Modal("Session Details") != nullptr; };
        auto noDialog = [] { return Modal() == nullptr; };
        return {
            {"the main window shows", [] { return OutputList() != nullptr; },
             [] {
                 MainWindow()->resize(400, 300);  // narrower than the longest lines: they scroll
                 Pick(2);
             }},
            {"Session Details for alice", sessionDialog,
             [this] {
                 Type(101, "alice");
                 Type(102, "alicepw");
                 Type(103, "3");
                 Save(Modal(), "session-details.png");
                 Press(IDOK);
             }},
            {"alice is accepted", [noDialog] { return noDialog() && HasLine("alice: Auth Accept"); },
             [] { Pick(2); }},
            {"Session Details for bob", sessionDialog,
             [] {
                 Type(101, "bob");
                 Type(102, "guess");
                 Type(103, "5");
                 Press(IDOK);
             }},
            {"bob is rejected", [noDialog] { return noDialog() && HasLine("bob: Auth Reject"); },
             [] { Pick(2); }},
            {"Session Details for carol", sessionDialog,
             [] {
                 Type(101, "carol");
                 Type(102, "carolpw");
                 Type(103, "4");
                 Press(IDOK);
             }},
            {"carol is challenged", [] { return Modal("Challenge") != nullptr; },
             [this] {
                 Type(103, "4321");
                 Save(Modal(), "challenge.png");
                 Press(IDOK);
             }},
            {"carol is accepted", [noDialog] { return noDialog() && HasLine("carol: Auth Accept"); },
             [] { Pick(3); }},
            {"the Options dialog", [] { return Modal("Options") != nullptr; },
             [this] {
                 Save(Modal(), "options.png");
                 Press(IDCANCEL);
             }},
            {"the Options dialog closes", noDialog, [] { Pick(101); }},
            {"the About dialog", [] { return Modal("About...") != nullptr; },
             [this] {
                 Save(Modal(), "about.png");
                 Press(IDOK);
             }},
            {"the sessions end",
             [noDialog] {
                 return noDialog() && HasLine("alice: Account STOP Reply") &&
                        HasLine("carol: Account STOP Reply");
             },
             [this] {
                 Save(MainWindow(), "main-window.png");
                 Pick(100);
             }},
        };
    }

    QString folder_;
    std::vector<Step> steps_;
    std::size_t next_ = 0;
    QElapsedTimer clock_;
};

}  // namespace

void StartScreenshotTour(const char* folder) {
    // Lives until the program ends.
    static std::unique_ptr<ScreenshotTour> tour;
    tour = std::make_unique<ScreenshotTour>(QString::fromUtf8(folder));
    tour->Start();
}
