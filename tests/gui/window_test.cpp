// The main window on the Qt back end (offscreen): lines readable in full, a view that follows
// new lines only at the bottom, the list's context menu, the shortcuts, the window's place
// kept in the options file, and host names looked up while the window goes on.
#include <gtest/gtest.h>

#include <QAction>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QFileDialog>
#include <QMenu>
#include <QScrollBar>
#include <QTest>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <fstream>
#include <functional>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include "infra/profile_file.h"
#include "shell/window_placement.h"
#include "tests/gui/qt_shell_fixture.h"

namespace shell_test {
namespace {

QString Line(int number) { return QStringLiteral("line %1").arg(number); }

void ShowLines(int first, int last) {
    for (int number = first; number <= last; ++number)
        ShowOutputLine(Line(number).toUtf8().constData());
}

// ---- The output list ----

using WindowTest = QtShellTest;

TEST_F(WindowTest, EveryLineKeepsItsFullWidthWhateverComesAfterIt) {
    Start();
    const std::string longLine = "carol: Auth Accept, " + std::string(300, 'x') + " (the end)";
    const std::vector<std::vector<std::string>> orders = {
        {longLine, "bob: Auth Reject"},
        {"alice: Auth Accept", longLine, "ok"},
        {"first", "second", longLine},
    };
    for (const auto& lines : orders) {
        List()->clear();
        for (const std::string& line : lines) ShowOutputLine(line.c_str());
        QApplication::processEvents();  // the list lays its rows out later
        const int row = static_cast<int>(std::find(lines.begin(), lines.end(), longLine) - lines.begin());
        const int needed = List()->fontMetrics().horizontalAdvance(QString::fromStdString(longLine));
        EXPECT_GE(List()->visualItemRect(List()->item(row)).width(), needed) << lines.back();
        EXPECT_GE(List()->horizontalScrollBar()->maximum(), needed - List()->viewport()->width())
            << lines.back();
    }
}

TEST_F(WindowTest, TheViewStaysPutWhileScrolledUpAndFollowsAtTheBottom) {
    Start();
    ShowLines(0, 59);
    QApplication::processEvents();
    QScrollBar* bar = List()->verticalScrollBar();
    ASSERT_GT(bar->maximum(), 5) << "the list must be taller than its window";
    EXPECT_EQ(bar->value(), bar->maximum());

    // Scrolled up, with two lines chosen: new lines, the first ones dropping out of the 101,
    // move neither the view nor the choice.
    List()->scrollToItem(List()->item(30), QAbstractItemView::PositionAtTop);
    const QString top = List()->itemAt(0, 0)->text();
    List()->clearSelection();
    List()->item(40)->setSelected(true);
    List()->item(41)->setSelected(true);
    ShowLines(60, 119);
    QApplication::processEvents();
    ASSERT_EQ(List()->count(), 101);
    EXPECT_EQ(top, Line(30));
    EXPECT_EQ(List()->itemAt(0, 0)->text(), top);
    EXPECT_EQ(List()->SelectedText(), Line(40) + "\n" + Line(41));

    // Back at the bottom, the newest line is shown and chosen again.
    bar->setValue(bar->maximum());
    ShowLines(120, 120);
    QApplication::processEvents();
    EXPECT_EQ(bar->value(), bar->maximum());
    EXPECT_EQ(List()->SelectedText(), Line(120));
}

QAction* ContextAction(OutputListWidget* list, const char* name) {
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5), list->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(list->viewport(), &event);
    return list->findChild<QAction*>(QString::fromUtf8(name));
}

TEST_F(WindowTest, TheContextMenuCopiesTheLinesSelectedWhenItOpened) {
    Start();
    ShowLines(0, 4);
    List()->clearSelection();
    List()->item(3)->setSelected(true);
    List()->item(1)->setSelected(true);
    QAction* copy = ContextAction(List(), "copy-lines");
    ASSERT_NE(copy, nullptr);
    ShowLines(5, 5);  // a line that comes while the menu is open is not what was chosen
    copy->trigger();
    EXPECT_EQ(QApplication::clipboard()->text(), Line(1) + "\n" + Line(3));

    List()->clearSelection();
    EXPECT_FALSE(ContextAction(List(), "copy-lines")->isEnabled());
}

TEST_F(WindowTest, TheContextMenuSavesEveryLineToATextFile) {
    Start();
    ShowLines(0, 2);
    const std::string path = folder.Path("saved.txt");
    QAction* save = ContextAction(List(), "save-lines");
    ASSERT_NE(save, nullptr);
    save->trigger();
    auto* dialog = Frame()->findChild<QFileDialog*>("save-lines-dialog");
    ASSERT_NE(dialog, nullptr);
    dialog->selectFile(QString::fromStdString(path));
    static_cast<QDialog*>(dialog)->accept();  // as the Save button does

    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    EXPECT_EQ(text.str(), "line 0\nline 1\nline 2\n");
}

TEST_F(WindowTest, CtrlNOpensNewSessionBesideTheMenu) {
    Start();
    Frame()->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(Frame()));
    std::string opened;
    WhenModal([&](QWidget* dialog) {
        opened = dialog->windowTitle().toStdString();
        Press(dialog, IDCANCEL);
    });
    QTest::keyClick(Frame(), Qt::Key_N, Qt::ControlModifier);
    EXPECT_EQ(opened, "Session Details");
}

// ---- The window's place ----

std::string WindowKey(const std::string& file, const char* key) {
    return ReadProfileString(file, kWindowSection, key, "<missing>");
}

TEST_F(WindowTest, TheWindowOpensWhereItWasClosed) {
    Start();
    Frame()->setGeometry(40, 50, 500, 300);
    qt.SendMessage(Shell().mainWindow, WM_CLOSE, 0, 0);
    EXPECT_EQ(WindowKey(optionsFile, "Left"), "40");
    EXPECT_EQ(WindowKey(optionsFile, "Width"), "500");
    EXPECT_EQ(WindowKey(optionsFile, "Maximized"), "0");
    EXPECT_EQ(Option("SessionId"), "1000") << "the other options stay";

    ASSERT_NE(CreateMainWindow(), kNoWindow);
    RestoreWindowPlacement();
    EXPECT_EQ(Frame()->geometry(), QRect(40, 50, 500, 300));
}

TEST(WindowPlacementTest, OnlyAUsablePlaceIsRead) {
    TempFolder folder;
    const std::string file = folder.Path("pelvok.ini");
    struct Case {
        const char* window;
        bool usable;
    };
    for (const Case& c : {Case{"Left=-20\nTop=10\nWidth=300\nHeight=200\nMaximized=1\n", true},
                          Case{"Left=5\nTop=5\nWidth=0\nHeight=200\n", false},
                          Case{"Left=5\nTop=5\n", false},
                          Case{"Width=300\nHeight=200\nRemember=0\n", false}}) {
        folder.Write("pelvok.ini", std::string("[Options]\n[Window]\n") + c.window);
        const auto placement = ReadWindowPlacement(file);
        EXPECT_EQ(placement.has_value(), c.usable) << c.window;
    }
    folder.Write("pelvok.ini", "[Window]\nLeft=-20\nTop=99999999999\nWidth=300\nHeight=200\nMaximized=1\n");
    const auto placement = ReadWindowPlacement(file);
    ASSERT_TRUE(placement);
    EXPECT_EQ(placement->x, -20);
    EXPECT_EQ(placement->y, 1 << 20) << "far out of every screen, but no overflow";
    EXPECT_TRUE(placement->maximized);
}

TEST_F(WindowTest, APlaceOffEveryScreenIsBroughtOntoOne) {
    WriteOptions("[Window]\nLeft=90000\nTop=90000\nWidth=400\nHeight=99999\n");
    ASSERT_NE(CreateMainWindow(), kNoWindow);
    RestoreWindowPlacement();
    const QRect screen = Frame()->screen()->availableGeometry();
    EXPECT_TRUE(screen.contains(Frame()->geometry().center()));
    EXPECT_EQ(Frame()->geometry().width(), 400);
    EXPECT_LE(Frame()->geometry().height(), screen.height());
}

TEST_F(WindowTest, RememberZeroKeepsTheWindowOutOfTheFile) {
    Start("[Window]\nRemember=0\n");
    Frame()->setGeometry(40, 50, 500, 300);
    qt.SendMessage(Shell().mainWindow, WM_CLOSE, 0, 0);
    EXPECT_EQ(WindowKey(optionsFile, "Left"), "<missing>");
}

// ---- Host names looked up while the window goes on ----

// A name server that answers only when the test lets it (or after 20 s at the latest).
struct SlowNameServer {
    std::mutex lock;
    std::condition_variable changed;
    bool answering = false;
    int asked = 0;
    int answered = 0;

    void Answer() {
        std::lock_guard<std::mutex> hold(lock);
        answering = true;
        changed.notify_all();
    }
    bool AllAnswered() {
        std::unique_lock<std::mutex> hold(lock);
        return changed.wait_for(hold, std::chrono::seconds(20), [this] { return answered == asked; });
    }
};
SlowNameServer slowServer;

bool SlowResolve(const char* name, SocketAddress& address) {
    std::unique_lock<std::mutex> hold(slowServer.lock);
    ++slowServer.asked;
    slowServer.changed.wait_for(hold, std::chrono::seconds(20), [] { return slowServer.answering; });
    ++slowServer.answered;
    slowServer.changed.notify_all();
    if (std::string(name) != "radius.test") return false;
    address = SocketAddress::Ipv4(0x0A000001, 0);
    return true;
}

class SlowLookupTest : public QtShellTest {
protected:
    SlowLookupTest() {
        std::lock_guard<std::mutex> hold(slowServer.lock);
        slowServer.answering = false;
    }
    ~SlowLookupTest() override {
        slowServer.Answer();
        EXPECT_TRUE(slowServer.AllAnswered());
    }

    // Opens Options, types the host and presses OK; then, while the name is looked up, does
    // what during does and gives the dialog's result.
    std::intptr_t ConfirmHost(const char* host, std::function<void(QWidget* dialog)> during) {
        WhenModal([host, during = std::move(during)](QWidget* dialog) {
            Type(dialog, kRadiusHostField, host);
            QTimer::singleShot(50, dialog, [dialog, during] { during(dialog); });
            Press(dialog, IDOK);  // returns once the dialog is done
        });
        return qt.DialogBoxParam(kOptionsDialog, Shell().mainWindow, PelvokOptionsDlgFunc, 0);
    }
};

TEST_F(SlowLookupTest, OkWaitsForTheAnswerWhileTheWindowGoesOn) {
    Start();
    SetHostResolver(SlowResolve);
    bool waitedResponsively = false;
    const std::intptr_t result = ConfirmHost("radius.test", [&](QWidget* dialog) {
        // This runs from the event loop while the name server has not answered yet.
        auto* ok = dialog->findChild<QPushButton*>(ControlObjectName(IDOK));
        waitedResponsively = dialog->isVisible() && ok != nullptr && !ok->isEnabled();
        slowServer.Answer();
    });
    EXPECT_TRUE(waitedResponsively);
    EXPECT_EQ(result, 1);
    EXPECT_EQ(Shell().options.radHost.Ipv4Address(), 0x0A000001u);
    EXPECT_EQ(Option("RadHost"), "10.0.0.1");
}

TEST_F(SlowLookupTest, CancelWhileLookingUpChangesNothing) {
    Start();
    SetHostResolver(SlowResolve);
    const std::intptr_t result =
        ConfirmHost("radius.test", [](QWidget* dialog) { Press(dialog, IDCANCEL); });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(Shell().options.radHost.Ipv4Address(), 0x7F000001u);
    EXPECT_EQ(Option("RadHost"), "127.0.0.1");
}

}  // namespace
}  // namespace shell_test
