#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

namespace mirel {

// The About window as laid out: a fixed dialog frame with a close box only, the program icon,
// title, copyright and disclaimer labels, the two link labels with their captions and the
// Update and OK buttons. What it shows and does comes from frmAbout.
class FrmAboutLayout : public QDialog {
    Q_OBJECT

public:
    explicit FrmAboutLayout(QWidget* parent = nullptr);

    QLabel* picIcon = nullptr;
    QLabel* lblDisclaimer = nullptr;
    QLabel* lblTitle = nullptr;
    QLabel* lblCopyright = nullptr;
    QLabel* lblMailTo = nullptr;
    QLabel* lblCorvane = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QPushButton* cmdUpdate = nullptr;
    QPushButton* cmdOK = nullptr;
};

}  // namespace mirel
