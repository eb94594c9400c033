#include "frmSettings.h"

#include "FormGeometry.h"
#include "NumberText.h"
#include "OffsetText.h"
#include "Settings.h"
#include "Ui.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <limits>

namespace mirel {

bool gSettingsCancelled = false;

frmSettings::frmSettings(QWidget* parent) : FrmSettingsLayout(parent)
{
    connect(cmdOK, &QPushButton::clicked, this, &frmSettings::cmdOK_Click);
}

void frmSettings::cmdOK_Click()
{
    const OffsetValue offset = ValueOfOffsetText(txtOffset->text().toStdString());
    if (!offset.inRange) {
        MsgBox("The offset " + txtOffset->text().toStdString() + " is too large.\r\n\r\nEnter a number from " +
                   FormatNumber(std::numeric_limits<int32_t>::min()) + " to " +
                   FormatNumber(std::numeric_limits<int32_t>::max()) + ".",
               MsgIcon::Information);
        txtOffset->setFocus();
        txtOffset->selectAll();
        return;
    }
    gPassword = txtPassword->text().toStdU16String();
    gOffset = offset.value;
    gSettingsCancelled = false;
    accept();
}

bool ShowSettings(QWidget* mainWindow, bool encodeRun)
{
    if (encodeRun)
        gSettingsCancelled = true;
    // A dialog of the main window: it stays above it and opens centred on it.
    frmSettings window(mainWindow);
    if (mainWindow) {
        window.setWindowIcon(mainWindow->windowIcon());
        CentreOn(&window, mainWindow);
    }
    window.txtPassword->setText(QString::fromStdU16String(gPassword));
    window.lblOffset->setVisible(true);
    window.txtOffset->setVisible(true);
    window.setWindowModality(Qt::ApplicationModal);
    return window.exec() == QDialog::Accepted;
}

}  // namespace mirel
