#include "frmMain.h"

#include "AppInfo.h"
#include "CipherMirel.h"
#include "CodePage.h"
#include "MessageTextBox.h"
#include "NumberText.h"
#include "Seal.h"
#include "frmSettings.h"
#include "TextLines.h"
#include "MessageBoxes.h"
#include "frmAbout.h"

#include <QCloseEvent>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QFontMetrics>
#include <QLabel>
#include <QMimeData>
#include <QStringDecoder>
#include <QSettings>
#include <QTimer>
#include <QUrl>

#include <algorithm>

#include <sys/stat.h>

namespace mirel {

namespace {
constexpr int kFileEncodeMessage = 0;
constexpr int kFileEncodeFile = 1;
constexpr int kFileDecode = 2;
constexpr int kFileExit = 10;
constexpr int kToolsMessageSize = 0;
constexpr int kToolsClearMemory = 1;
constexpr int kToolsMessageOffsets = 2;
constexpr int kToolsStrongEncryption = 3;
constexpr int kToolsStealth = 4;
// Where the choices of Strong Encryption and Stealth are remembered between runs: the only
// settings the program keeps besides the colour dialog's table.
constexpr char kSettingsName[] = "Mirel";
constexpr char kStrongEncryptionKey[] = "Tools/StrongEncryption";
constexpr char kStealthKey[] = "Tools/Stealth";
constexpr int64_t kLargestDroppedFile = 16 * 1024 * 1024;

// The local files a drag carries; empty when it carries anything else.
QStringList localFiles(const QMimeData* data)
{
    QStringList paths;
    if (!data || !data->hasUrls())
        return paths;
    for (const QUrl& url : data->urls()) {
        if (url.isLocalFile())
            paths << url.toLocalFile();
    }
    return paths;
}

// A dropped line as text: UTF-8 when it is valid UTF-8, as text files here mostly are;
// otherwise one character per byte in the 8-bit code page.
QString lineText(std::string_view line)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = utf8(QByteArrayView(line.data(), qsizetype(line.size())));
    if (!utf8.hasError())
        return text;
    return QString::fromStdU16String(Utf16FromAnsi(line));
}
}  // namespace

frmMain::frmMain(QWidget* parent) : FrmMainLayout(parent)
{
    // The folder the program was started in is where its user keeps the pictures at hand (a menu
    // starts it in the home folder); the folder of the executable never is.
    mAppPath = QDir::currentPath();
    if (mAppPath.isEmpty() || !QFileInfo(mAppPath).isDir())
        mAppPath = QDir::homePath();
    if (!mAppPath.endsWith(u'/'))
        mAppPath += u'/';
    mDefaultDir = mAppPath;
    setWindowTitle(QString::fromUtf8(AppTitle()) + QStringLiteral(" v") + QString::fromStdString(AppVersionText()));

    const QSettings settings(QSettings::IniFormat, QSettings::UserScope, QString::fromLatin1(kSettingsName));
    mnuToolsItem[kToolsStrongEncryption]->setChecked(
        settings.value(QString::fromLatin1(kStrongEncryptionKey), false).toBool());
    mnuToolsItem[kToolsStealth]->setChecked(settings.value(QString::fromLatin1(kStealthKey), false).toBool());

    connect(this, &FrmMainLayout::mnuFileItemClicked, this, &frmMain::mnuFileItem_Click);
    connect(this, &FrmMainLayout::mnuToolsItemClicked, this, &frmMain::mnuToolsItem_Click);
    connect(this, &FrmMainLayout::mnuHelpItemClicked, this, &frmMain::mnuHelpItem_Click);

    // Drops on the message box come here; the box itself inserts nothing.
    txtMsg->setAcceptDrops(true);
    txtMsg->viewport()->setAcceptDrops(true);
    txtMsg->viewport()->installEventFilter(this);
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

void frmMain::OfferToDecode(const QString& path)
{
    const QFileInfo picture(path);
    QTimer::singleShot(0, this, [this, picture] {
        mDefaultDir = picture.absolutePath();
        RunDecode(picture.fileName());
    });
}

void frmMain::mnuToolsItem_Click(int index)
{
    switch (index) {
    case kToolsMessageSize: MessageSize(); break;
    case kToolsClearMemory: ClearMemory(); break;
    case kToolsMessageOffsets: DisplayMessageOffsets(); break;
    case kToolsStrongEncryption:
        QSettings(QSettings::IniFormat, QSettings::UserScope, QString::fromLatin1(kSettingsName))
            .setValue(QString::fromLatin1(kStrongEncryptionKey), StrongEncryption());
        break;
    case kToolsStealth:
        QSettings(QSettings::IniFormat, QSettings::UserScope, QString::fromLatin1(kSettingsName))
            .setValue(QString::fromLatin1(kStealthKey), Stealth());
        break;
    default: break;
    }
}

void frmMain::mnuHelpItem_Click(int)
{
    frmAbout::ShowAbout(this);
}

void frmMain::MessageSize()
{
    setStatus(QStringLiteral(" Message Size: ") + QString::fromStdString(FormatNumber(txtMsg->text().size())) +
              QStringLiteral(" bytes"));
}

bool frmMain::StrongEncryption() const
{
    return mnuToolsItem[kToolsStrongEncryption]->isChecked();
}

bool frmMain::Stealth() const
{
    return mnuToolsItem[kToolsStealth]->isChecked();
}

void frmMain::ClearMemory()
{
    Wipe(gPassword);
    txtMsg->wipe();
    setStatus(QString());
    txtMsg->setFocus();
}

void frmMain::DisplayMessageOffsets()
{
    MsgBox("   Start: " + FormatNumber(gMsgStart) + "\r\n     End: " + FormatNumber(gMsgEnd) +
               "\r\nLength: " + FormatNumber(gBytePos),
           MsgIcon::Information, MsgButtons::Ok, "Mirel - Message Offsets");
}

bool frmMain::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != txtMsg->viewport())
        return FrmMainLayout::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove: {
        auto* drag = static_cast<QDragMoveEvent*>(event);
        if (localFiles(drag->mimeData()).isEmpty()) {
            drag->ignore();
        } else {
            drag->setDropAction(Qt::CopyAction);
            drag->accept();
        }
        return true;
    }
    case QEvent::Drop: {
        auto* drop = static_cast<QDropEvent*>(event);
        const QStringList paths = localFiles(drop->mimeData());
        if (paths.isEmpty()) {
            drop->ignore();
            return true;
        }
        drop->setDropAction(Qt::CopyAction);
        drop->accept();
        LoadDroppedFiles(paths);
        return true;
    }
    default:
        return FrmMainLayout::eventFilter(watched, event);
    }
}

void frmMain::LoadDroppedFiles(const QStringList& paths)
{
    // The window comes to the front with the message box ready for typing.
    activateWindow();
    txtMsg->setFocus();
    for (const QString& path : paths) {
        struct stat st {};
        const bool found = ::stat(QFile::encodeName(path).constData(), &st) == 0;
        if (found && S_ISDIR(st.st_mode))
            continue;
        // Only files of a size a message can have: a pipe or a device may never end, and a huge
        // file would hold the window for long.
        if (found && !S_ISREG(st.st_mode)) {
            MsgBox("Cannot load " + path.toStdString() + ": it is not a file.", MsgIcon::Information);
            continue;
        }
        if (found && st.st_size > kLargestDroppedFile) {
            MsgBox("Cannot load " + path.toStdString() + ": it has " + FormatNumber(st.st_size) +
                       " bytes, and a dropped file may have at most " + FormatNumber(kLargestDroppedFile) + ".",
                   MsgIcon::Information);
            continue;
        }
        setStatus(QStringLiteral(" Loading ") + path + QStringLiteral("..."));
        Yield();
        QString lines;
        const Failure failure = ReadTextLines(QFile::encodeName(path).toStdString(), [&lines](std::string_view line) {
            lines += lineText(line);
            lines += QStringLiteral("\r\n");
        });
        if (!lines.isEmpty())
            txtMsg->appendText(lines);
        if (failure) {
            MsgBox("Cannot read file " + path.toStdString() + ":\r\n" + failure.describe() + ".",
                   MsgIcon::Information);
            continue;
        }
        setStatus(QStringLiteral(" Loaded ") + path + QStringLiteral("."));
        Yield();
    }
}

void frmMain::closeEvent(QCloseEvent* event)
{
    if (mBusy == BusyState::Running) {
        event->ignore();
        if (MsgBox("A Process is still running...\r\n\r\nAbort Process?", MsgIcon::Warning, MsgButtons::YesNo) ==
            kAnswerYes) {
            mBusy = BusyState::AbortRequested;
            gAbort = true;
        }
        return;
    }
    if (mBusy == BusyState::AbortRequested) {
        // The run is still unwinding from the codec: close once it has returned.
        event->ignore();
        mCloseWaiting = true;
        return;
    }
    event->accept();
}

void frmMain::endRun()
{
    mBusy = BusyState::Idle;
    gAbort = false;
    if (mCloseWaiting) {
        mCloseWaiting = false;
        QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
    }
}

void frmMain::setStatus(const QString& text)
{
    lblStatus->setText(text);
    lblStatus->setToolTip(QString());
}

void frmMain::setStatus(const QString& before, const QString& name, const QString& after)
{
    const QString whole = before + name + after;
    const QFontMetrics metrics(lblStatus->font());
    // A label with a frame and no indent of its own indents its text by half an "x".
    const int indent = lblStatus->indent() >= 0 ? lblStatus->indent()
                       : lblStatus->frameWidth() > 0 ? metrics.horizontalAdvance(QLatin1Char('x')) / 2
                                                     : 0;
    const int room = lblStatus->contentsRect().width() - lblStatus->margin() * 2 - indent;
    if (metrics.horizontalAdvance(whole) <= room) {
        setStatus(whole);
        return;
    }
    const int nameRoom = std::max(room - metrics.horizontalAdvance(before + after), 0);
    lblStatus->setText(before + metrics.elidedText(name, Qt::ElideMiddle, nameRoom) + after);
    lblStatus->setToolTip(whole);
}

}  // namespace mirel
