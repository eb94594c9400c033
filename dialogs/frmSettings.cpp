#include "frmSettings.h"

#include "CodePage.h"
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
    const std::u16string password = txtPassword->text().toStdU16String();
    if (encodeRun) {
        if (const std::u16string missing = CharactersWithoutCode(password); !missing.empty()) {
            MsgBox("The password holds characters that cannot be stored: " + Utf8FromUtf16(missing) +
                       "\r\n\r\nEach of them would become \"?\", so that any such character would open the "
                       "picture. Use Western European letters, digits and signs.",
                   MsgIcon::Information);
            txtPassword->setFocus();
            txtPassword->selectAll();
            return;
        }
    }
    gPassword = password;
    gOffset = offset.value;
    gSettingsCancelled = false;
    accept();
}

bool ShowSettings(const QWidget* iconSource, bool encodeRun)
{
    if (encodeRun)
        gSettingsCancelled = true;
    frmSettings window;
    window.encodeRun = encodeRun;
    if (iconSource)
        window.setWindowIcon(iconSource->windowIcon());
    window.txtPassword->setText(QString::fromStdU16String(gPassword));
    window.lblOffset->setVisible(true);
    window.txtOffset->setVisible(true);
    window.setWindowModality(Qt::ApplicationModal);
    return window.exec() == QDialog::Accepted;
}

}  // namespace mirel
