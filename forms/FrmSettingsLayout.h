#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

namespace mirel {

// The settings window as laid out: titled "Password", a fixed dialog frame with a close box only,
// the password box that shows "*" for every character, the offset caption and box (hidden until
// an opener shows them) and the OK button, which is the default button (Enter). Escape does what
// the close box does.
class FrmSettingsLayout : public QDialog {
    Q_OBJECT

public:
    explicit FrmSettingsLayout(QWidget* parent = nullptr);

    QLineEdit* txtPassword = nullptr;
    QLabel* lblOffset = nullptr;
    QLineEdit* txtOffset = nullptr;
    QPushButton* cmdOK = nullptr;
};

}  // namespace mirel
