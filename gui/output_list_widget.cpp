#include "gui/output_list_widget.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDir>
#include <QFileDialog>
#include <QKeyEvent>
#include <QMenu>
#include <QMessageBox>
#include <QScrollBar>

#include <string>

#include "infra/output_file.h"

OutputListWidget::OutputListWidget(QWidget* parent)
    : QListWidget(parent), menu_(new QMenu(this)) {
    // Rows sized one by one: with uniform sizes every row took the width of one of them, and
    // longer lines were cut with no way to scroll to their end.
    setUniformItemSizes(false);
    setTextElideMode(Qt::ElideNone);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);

    copyAction_ = menu_->addAction(QStringLiteral("&Copy"));
    copyAction_->setObjectName(QStringLiteral("copy-lines"));
    copyAction_->setShortcut(QKeySequence::Copy);
    connect(copyAction_, &QAction::triggered, this, [this] { CopySelection(textAtMenu_); });
    QAction* selectAll = menu_->addAction(QStringLiteral("Select &All"));
    selectAll->setObjectName(QStringLiteral("select-all-lines"));
    selectAll->setShortcut(QKeySequence::SelectAll);
    connect(selectAll, &QAction::triggered, this, &QListWidget::selectAll);
    menu_->addSeparator();
    saveAction_ = menu_->addAction(QStringLiteral("&Save As..."));
    saveAction_->setObjectName(QStringLiteral("save-lines"));
    connect(saveAction_, &QAction::triggered, this, [this] { AskWhereToSave(); });
}

bool OutputListWidget::ShowsNewest() const {
    const QScrollBar* bar = verticalScrollBar();
    return bar->value() >= bar->maximum();
}

int OutputListWidget::AppendLine(const QString& text) {
    following_ = ShowsNewest();
    addItem(text);
    return count() - 1;
}

void OutputListWidget::DeleteLine(int row) {
    if (row < 0 || row >= count()) return;
    executeDelayedItemsLayout();  // lines appended since the last layout have no place yet
    QListWidgetItem* top = ShowsNewest() ? nullptr : itemAt(0, 0);
    if (top == item(row)) top = nullptr;  // the first line shown goes: the next one comes up
    delete takeItem(row);
    if (top != nullptr) scrollToItem(top, QAbstractItemView::PositionAtTop);
}

void OutputListWidget::SelectLine(int row) {
    if (!following_) return;
    if (row < 0 || row >= count()) {
        setCurrentRow(-1);
        return;
    }
    setCurrentRow(row, QItemSelectionModel::ClearAndSelect);
    scrollToItem(item(row));
}

QString OutputListWidget::SelectedText() const {
    QStringList lines;
    for (int row = 0; row < count(); ++row)
        if (item(row)->isSelected()) lines << item(row)->text();
    return lines.join(QLatin1Char('\n'));
}

QString OutputListWidget::AllText() const {
    QString text;
    for (int row = 0; row < count(); ++row) text += item(row)->text() + QLatin1Char('\n');
    return text;
}

bool OutputListWidget::SaveTo(const QString& path, QString& reason) const {
    std::string why;
    const QByteArray text = AllText().toUtf8();
    if (WriteOutputFile(path.toStdString(), std::string_view(text.constData(), text.size()), why))
        return true;
    reason = QString::fromStdString(why);
    return false;
}

void OutputListWidget::CopySelection(const QString& text) const {
    if (!text.isEmpty()) QApplication::clipboard()->setText(text);
}

void OutputListWidget::contextMenuEvent(QContextMenuEvent* event) {
    textAtMenu_ = SelectedText();
    copyAction_->setEnabled(!textAtMenu_.isEmpty());
    saveAction_->setEnabled(count() > 0);
    // Not exec(): its nested loop would hold up the program's message loop, ticks included.
    menu_->popup(event->globalPos());
}

void OutputListWidget::keyPressEvent(QKeyEvent* event) {
    if (event->matches(QKeySequence::Copy)) {  // every selected line, not just the current one
        CopySelection(SelectedText());
        return;
    }
    QListWidget::keyPressEvent(event);
}

void OutputListWidget::AskWhereToSave() {
    // Window-modal and without a loop of its own, so the program's loop keeps running.
    auto* dialog = new QFileDialog(window(), QStringLiteral("Save the Output Lines"),
                                   QDir::home().filePath(QStringLiteral("pelvok-output.txt")),
                                   QStringLiteral("Text files (*.txt);;All files (*)"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setFileMode(QFileDialog::AnyFile);
    dialog->setObjectName(QStringLiteral("save-lines-dialog"));
    connect(dialog, &QFileDialog::fileSelected, this, [this](const QString& path) {
        QString reason;
        if (SaveTo(path, reason)) return;
        auto* box = new QMessageBox(QMessageBox::Warning, QStringLiteral("Save the Output Lines"),
                                    QStringLiteral("Cannot save %1: %2").arg(path, reason),
                                    QMessageBox::Ok, window());
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->open();
    });
    dialog->open();
}
