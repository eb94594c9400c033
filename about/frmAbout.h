#pragma once

#include "FrmAboutLayout.h"

#include <QString>

namespace mirel {

// The About window: title and version, notices, the two links and the Update button. Made on
// first use without an owner and destroyed when closed, so the next opening starts afresh.
class frmAbout : public FrmAboutLayout {
    Q_OBJECT

public:
    // iconSource gives the window its icon (the main window's).
    explicit frmAbout(const QWidget* iconSource);

    // Shows the one About window, creating and loading it centred on mainWindow when there is
    // none; otherwise only brings it to the front.
    static frmAbout* ShowAbout(QWidget* mainWindow);

    static QString UpdateAddress();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private slots:
    void cmdOK_Click();
    void cmdUpdate_Click();
};

}  // namespace mirel
