// The main window's output list: every line readable in full (the list scrolls sideways to
// its longest line, whatever the last one is), a view that follows new lines only while it
// shows the newest one, and a context menu to copy the selected lines or save them all.
#pragma once

#include <QListWidget>
#include <QString>

class QAction;
class QMenu;

class OutputListWidget : public QListWidget {
public:
    explicit OutputListWidget(QWidget* parent);

    // Appends a line and returns its row. The view follows it only when it showed the
    // newest line before.
    int AppendLine(const QString& text);
    // Removes a line; a view scrolled up keeps showing the lines it showed.
    void DeleteLine(int row);
    // Selects the line and shows it, unless the view was scrolled away from the newest line
    // when the last line came: the reader's view and selection then stay as they are.
    void SelectLine(int row);

    // The selected lines in order, one per line; all lines, each ending with a line end.
    QString SelectedText() const;
    QString AllText() const;
    // Writes AllText() to path (a regular file is replaced atomically); false with the reason.
    bool SaveTo(const QString& path, QString& reason) const;

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    bool ShowsNewest() const;
    void CopySelection(const QString& text) const;
    void AskWhereToSave();

    bool following_ = true;
    QMenu* menu_;
    QAction* copyAction_;
    QAction* saveAction_;
    QString textAtMenu_;  // what Copy copies: the selection when the menu opened
};
