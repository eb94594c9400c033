#include "frmMain.h"

#include "AppInfo.h"
#include "CipherMirel.h"
#include "MessageTextBox.h"
#include "Ui.h"

#include <QCloseEvent>
#include <QLabel>

namespace mirel {

namespace {
constexpr int kFileEncodeMessage = 0;
constexpr int kFileEncodeFile = 1;
constexpr int kFileDecode = 2;
constexpr int kFileExit = 10;
}  // namespace

frmMain::frmMain(QWidget* parent) : FrmMainLayout(parent)
{
    mAppPath = QString::fromStdString(AppPath());
    if (!mAppPath.endsWith(u'/'))
        mAppPath += u'/';
    mDefaultDir = mAppPath;
    setWindowTitle(QString::fromUtf8(AppTitle()) + QStringLiteral(" v") + QString::number(kVersionMajor) +
                   u'.' + QString::number(kVersionMinor) + u'.' + QString::number(kVersionRevision));

    connect(this, &FrmMainLayout::mnuFileItemClicked, this, &frmMain::mnuFileItem_Click);
    connect(this, &FrmMainLayout::mnuToolsItemClicked, this, &frmMain::mnuToolsItem_Click);
    connect(this, &FrmMainLayout::mnuHelpItemClicked, this, &frmMain::mnuHelpItem_Click);
}

void frmMain::mnuFileItem_Click(int index)
{
    switch (index) {
    case kFileEncodeMessage: RunEncode(0); break;
    case kFileEncodeFile: RunEncode(1); break;
    case kFileDecode: RunDecode(); break;
    case kFileExit: close(); break;
    default: break;
    }
}

void frmMain::mnuToolsItem_Click(int)
{
}

void frmMain::mnuHelpItem_Click(int)
{
}

void frmMain::closeEvent(QCloseEvent* event)
{
    if (mBusy == 1) {
        event->ignore();
        if (MsgBox("A Process is still running...\r\n\r\nAbort Process?", MsgIcon::Warning, MsgButtons::YesNo) ==
            kAnswerYes) {
            mBusy = 2;
            gAbort = -1;
        }
        return;
    }
    if (mBusy == 2) {
        // The run is still unwinding from the codec: close once it has returned.
        event->ignore();
        m_closeWaiting = true;
        return;
    }
    event->accept();
}

void frmMain::endRun()
{
    mBusy = 0;
    gAbort = 0;
    if (m_closeWaiting) {
        m_closeWaiting = false;
        QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
    }
}

void frmMain::setStatus(const QString& text)
{
    lblStatus->setText(text);
}

bool frmMain::refuseWhileBusy()
{
    if (mBusy == 0)
        return false;
    MsgBox("A process is currently running...", MsgIcon::Information);
    return true;
}

}  // namespace mirel
