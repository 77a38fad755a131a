#include "gui/template_dialog.h"

#include <QEventLoop>
#include <QFontMetrics>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QTimer>

#include <algorithm>

#include "gui/program_art.h"

namespace {

constexpr int kDialogMarginUnits = 6;  // right and below the farthest control
constexpr int kWaitPollMs = 10;        // how often a waiting dialog looks whether it is done

// A static text that reports a click, shown as a link.
class ClickableLabel : public QLabel {
public:
    ClickableLabel(const QString& text, QWidget* parent, std::function<void()> clicked)
        : QLabel(text, parent), clicked_(std::move(clicked)) {
        setCursor(Qt::PointingHandCursor);
        setStyleSheet("color: #0645ad; text-decoration: underline;");
    }

protected:
    void mouseReleaseEvent(QMouseEvent* event) override {
        if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()) &&
            clicked_)
            clicked_();
        QLabel::mouseReleaseEvent(event);
    }

private:
    std::function<void()> clicked_;
};

QString TemplateText(const char* text) {
    return QString::fromUtf8(text != nullptr ? text : "").replace("\r\n", "\n");
}

}  // namespace

QString ControlObjectName(int controlId) { return QString::number(controlId); }

DialogUnits::DialogUnits(const QFont& font) {
    const QFontMetrics metrics(font);
    static const QString kAlphabet =
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    averageCharWidth_ = std::max(1, (metrics.horizontalAdvance(kAlphabet) / 26 + 1) / 2);
    charHeight_ = std::max(1, metrics.height());
}

int DialogUnits::X(int units) const { return units * averageCharWidth_ / 4; }
int DialogUnits::Y(int units) const { return units * charHeight_ / 8; }

TemplateDialog::TemplateDialog(const DialogTemplate& dialogTemplate, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint) {
    setModal(true);
    setWindowTitle(QString::fromUtf8(dialogTemplate.caption));
    Build(dialogTemplate);
}

void TemplateDialog::Build(const DialogTemplate& dialogTemplate) {
    const DialogUnits units(font());
    int right = 0;
    int bottom = 0;
    QWidget* firstField = nullptr;
    for (const ControlTemplate& control : dialogTemplate.controls) {
        right = std::max(right, control.x + control.width);
        bottom = std::max(bottom, control.y + control.height);
    }
    const int innerRight = units.X(right);
    for (const ControlTemplate& control : dialogTemplate.controls) {
        QWidget* widget = MakeControl(control);
        QRect area(units.X(control.x), units.Y(control.y), units.X(control.width),
                   units.Y(control.height));
        if (control.kind == ControlKind::Bitmap) {
            // A picture control takes its picture's own size (in pixels), as classic ones do.
            area.setSize(QSize(control.width, control.height));
        } else if (control.kind == ControlKind::ClickableText) {
            // A link is one line: it may grow to the dialog's edge rather than be cut.
            area.setWidth(std::clamp(widget->sizeHint().width(), area.width(),
                                     std::max(area.width(), innerRight - area.left())));
        }
        widget->setGeometry(area);
        if (control.id != kStaticControl) widget->setObjectName(ControlObjectName(control.id));
        if (control.kind == ControlKind::Group || control.kind == ControlKind::GreyFrame)
            widget->lower();  // frames stay behind what they surround
        if (firstField == nullptr && control.kind == ControlKind::Edit) firstField = widget;
    }
    setFixedSize(units.X(right + kDialogMarginUnits), units.Y(bottom + kDialogMarginUnits));
    if (firstField != nullptr) firstField->setFocus();
}

QWidget* TemplateDialog::MakeControl(const ControlTemplate& control) {
    const QString text = TemplateText(control.text);
    const int id = control.id;
    switch (control.kind) {
        case ControlKind::Button:
        case ControlKind::DefaultButton: {
            auto* button = new QPushButton(text, this);
            button->setAutoDefault(false);
            // Enter presses the default button; without one it means OK, as in any dialog.
            button->setDefault(control.kind == ControlKind::DefaultButton ||
                               (id == IDOK && control.kind == ControlKind::Button));
            connect(button, &QPushButton::clicked, this, [this, id] { Send(id, 0); });
            return button;
        }
        case ControlKind::Group: {
            // A classic group frame: the title sits on the frame's top line.
            auto* group = new QGroupBox(text, this);
            group->setStyleSheet(
                "QGroupBox { border: 1px solid #a0a0a0; border-radius: 2px; margin-top: 0.6em; }"
                "QGroupBox::title { subcontrol-origin: margin; left: 6px; padding: 0 2px; }");
            return group;
        }
        case ControlKind::Edit: {
            auto* edit = new QLineEdit(text, this);
            edit->setEchoMode(QLineEdit::Normal);  // passwords are shown in clear on purpose
            return edit;
        }
        case ControlKind::ClickableText:
            return new ClickableLabel(text, this, [this, id] { Send(id, 0); });
        case ControlKind::GreyFrame: {
            auto* frame = new QFrame(this);
            frame->setFrameShape(QFrame::Box);
            frame->setFrameShadow(QFrame::Plain);
            QPalette palette = frame->palette();
            palette.setColor(QPalette::WindowText, QColor(128, 128, 128));
            frame->setPalette(palette);
            return frame;
        }
        case ControlKind::Bitmap: {
            auto* picture = new QLabel(this);
            picture->setPixmap(
                BitmapResource(control.imageResource, QSize(control.width, control.height)));
            return picture;
        }
        case ControlKind::Text:
        default: {
            auto* label = new QLabel(text, this);
            label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
            label->setWordWrap(true);
            label->setTextFormat(Qt::PlainText);
            return label;
        }
    }
}

QWidget* TemplateDialog::Control(int controlId) const {
    if (controlId == kStaticControl) return nullptr;
    return findChild<QWidget*>(ControlObjectName(controlId), Qt::FindDirectChildrenOnly);
}

std::string TemplateDialog::ItemText(int controlId) const {
    QWidget* control = Control(controlId);
    if (auto* edit = qobject_cast<QLineEdit*>(control)) return edit->text().toStdString();
    if (auto* label = qobject_cast<QLabel*>(control)) return label->text().toStdString();
    if (auto* button = qobject_cast<QPushButton*>(control)) return button->text().toStdString();
    return {};
}

void TemplateDialog::SetItemText(int controlId, const std::string& text) {
    QWidget* control = Control(controlId);
    const QString value = QString::fromStdString(text);
    if (auto* edit = qobject_cast<QLineEdit*>(control))
        edit->setText(value);
    else if (auto* label = qobject_cast<QLabel*>(control))
        label->setText(value);
    else if (auto* button = qobject_cast<QPushButton*>(control))
        button->setText(value);
}

void TemplateDialog::accept() { Send(IDOK, 0); }
void TemplateDialog::reject() { Send(IDCANCEL, 0); }

void TemplateDialog::Send(int controlId, int notification) {
    if (sink_) sink_(controlId, notification);
}

bool TemplateDialogHandle::WaitResponsive(const std::function<bool()>& done) {
    if (done()) return true;
    bool dismissed = false;
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (done() || Ended()) loop.quit();
    });
    // Cancel, or a stop signal cancelling every dialog, ends the wait at once.
    QObject::connect(&dialog_, &QDialog::finished, &loop, [&] {
        dismissed = true;
        loop.quit();
    });
    QWidget* ok = dialog_.Control(IDOK);
    const bool okWasEnabled = ok != nullptr && ok->isEnabled();
    if (ok != nullptr) ok->setEnabled(false);
    dialog_.setCursor(Qt::BusyCursor);
    waiting_ = true;
    poll.start(kWaitPollMs);
    loop.exec();
    waiting_ = false;
    dialog_.unsetCursor();
    if (ok != nullptr) ok->setEnabled(okWasEnabled);
    return !dismissed && !Ended() && done();
}
