#include "frmSettings.h"

#include "CodePage.h"
#include "FormGeometry.h"
#include "NumberText.h"
#include "OffsetText.h"
#include "Protection.h"
#include "MessageBoxes.h"
#include "Seal.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <sodium.h>

#include <limits>

namespace mirel {

std::u16string gPassword;
int32_t gOffset = 0;
bool gSettingsCancelled = false;

frmSettings::frmSettings(QWidget* parent) : FrmSettingsLayout(parent)
{
    connect(cmdOK, &QPushButton::clicked, this, &frmSettings::cmdOK_Click);
}

void frmSettings::cmdOK_Click()
{
    int32_t offset = 0;
    // Groups are counted from the start of the picture: the codec refuses a negative offset, so it
    // is refused here already, with the same range as a number too large.
    const OffsetCheck check = CheckOffsetText(txtOffset->text().toStdString(), false, offset);
    if (check != OffsetCheck::Ok) {
        const bool negative = check == OffsetCheck::Negative || check == OffsetCheck::TooNegative;
        MsgBox("The offset " + txtOffset->text().toStdString() + (negative ? " is negative." : " is too large.") +
                   "\r\n\r\nEnter a number from 0 to " + FormatNumber(std::numeric_limits<int32_t>::max()) + ".",
               MsgIcon::Information);
        txtOffset->setFocus();
        txtOffset->selectAll();
        return;
    }
    std::u16string password = txtPassword->text().toStdU16String();
    if (storablePassword) {
        if (const std::u16string missing = UnstorablePasswordCharacters(Protection::Plain, password); !missing.empty()) {
            // Said by their number: no character of a password is ever shown.
            MsgBox("The password holds " + FormatNumber(int64_t(missing.size())) +
                       " different characters that cannot be stored.\r\n\r\nEach of them would become \"?\", so "
                       "that any such character would open the picture. Use Western European letters, digits and "
                       "signs, or Tools > Strong Encryption.",
                   MsgIcon::Information);
            Wipe(password);
            txtPassword->setFocus();
            txtPassword->selectAll();
            return;
        }
    }
    gPassword = password;
    Wipe(password);
    gOffset = offset;
    gSettingsCancelled = false;
    accept();
}

void WipeLineEdit(QLineEdit* box)
{
    // The copy the box hands out shares its characters with the text it holds. When nobody else
    // holds them too (the box and this copy: two references), they are overwritten in place; then
    // the text is dropped, with the box's undo history.
    QString text = box->text();
    const auto* data = text.data_ptr().d_ptr();
    if (data && data->ref_.loadRelaxed() == 2) {
        auto* chars = const_cast<QChar*>(text.constData());
        sodium_memzero(chars, size_t(text.size()) * sizeof(QChar));
    }
    box->setText(QString());
}

bool ShowSettings(QWidget* mainWindow, bool encodeRun, bool sealing)
{
    if (encodeRun)
        gSettingsCancelled = true;
    // A dialog of the main window: it stays above it and opens centred on it.
    frmSettings window(mainWindow);
    window.storablePassword = encodeRun && !sealing;
    if (mainWindow) {
        window.setWindowIcon(mainWindow->windowIcon());
        CentreOn(&window, mainWindow);
    }
    window.txtPassword->setText(QString::fromStdU16String(gPassword));
    window.lblOffset->setVisible(true);
    window.txtOffset->setVisible(true);
    window.setWindowModality(Qt::ApplicationModal);
    const bool accepted = window.exec() == QDialog::Accepted;
    WipeLineEdit(window.txtPassword);
    return accepted;
}

}  // namespace mirel
