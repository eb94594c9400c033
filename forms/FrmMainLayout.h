#pragma once

#include <QMainWindow>
#include <QMap>

class QAction;
class QLabel;
class QMenu;

namespace mirel {

class MessageTextBox;

// The main window as laid out: a fixed frame that can be minimized but not maximized or resized,
// a client area of 273 x 150 pixels below the menu bar holding txtMsg and lblStatus, and the
// File, Tools and Help menus whose items are numbered families. Behaviour comes from frmMain.
class FrmMainLayout : public QMainWindow {
    Q_OBJECT

public:
    explicit FrmMainLayout(QWidget* parent = nullptr);

    MessageTextBox* txtMsg = nullptr;
    QLabel* lblStatus = nullptr;
    QMenu* mnuFile = nullptr;
    QMenu* mnuTools = nullptr;
    QMenu* mnuHelp = nullptr;
    // Items by index: File 0, 1, 2, 9 (separator) and 10; Tools 0 to 3 (3 can be checked); Help 0.
    QMap<int, QAction*> mnuFileItem;
    QMap<int, QAction*> mnuToolsItem;
    QMap<int, QAction*> mnuHelpItem;

signals:
    // A menu item was chosen (by click or shortcut): its family's handler gets its index.
    void mnuFileItemClicked(int index);
    void mnuToolsItemClicked(int index);
    void mnuHelpItemClicked(int index);

protected:
    void showEvent(QShowEvent* event) override;

private:
    QAction* addItem(QMenu* menu, QMap<int, QAction*>& family, int index, const QString& caption,
                     const QKeySequence& shortcut, void (FrmMainLayout::*signal)(int));
    bool m_placed = false;
};

}  // namespace mirel
