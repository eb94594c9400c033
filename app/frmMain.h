#pragma once

#include "CipherMirel.h"
#include "FrmMainLayout.h"

#include <QString>

#include <cstdint>
#include <string>

namespace mirel {

class cDialog;

// Whether a workflow runs: Running from the moment a run has what it needs to start until it
// ends; AbortRequested once the user has confirmed the offer to abort it.
enum class BusyState { Idle, Running, AbortRequested };

// The main window: starts the workflows from its menus, keeps the busy state that stops two runs
// from overlapping, and turns a close request during a run into the offer to abort it.
class frmMain : public FrmMainLayout {
    Q_OBJECT

public:
    explicit frmMain(QWidget* parent = nullptr);

    // The program's folder: the folder it was started in, ending in "/".
    QString mAppPath;
    // Starting folder of the open dialogs; the program's folder until a workflow empties it.
    QString mDefaultDir;
    BusyState mBusy = BusyState::Idle;

    // Hides the message in txtMsg (sourceKind 0, or any value but 1) or a file the user picks
    // (sourceKind 1) in a picture.
    void RunEncode(int sourceKind);
    // Gets a message or a file back out of a picture the user picks; the dialog proposes
    // `proposed` when one is given.
    void RunDecode(const QString& proposed = {});
    // Offers to decode the picture at path once the window is up: the decode dialog opens with
    // it filled in. For a picture that the program was asked to open.
    void OfferToDecode(const QString& path);
    // Shows where the hidden stream of the last encode lies: first and last group, groups visited.
    void DisplayMessageOffsets();
    // True while Tools > Strong Encryption is checked: encode runs seal, decode runs expect a seal.
    bool StrongEncryption() const;

public slots:
    void mnuFileItem_Click(int index);
    void mnuToolsItem_Click(int index);
    void mnuHelpItem_Click(int index);

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void MessageSize();
    void ClearMemory();
    // Appends the lines of every dropped file to txtMsg, folders skipped.
    void LoadDroppedFiles(const QStringList& paths);

    // Every way out of a run that started: idle again, and a close that waited for it goes on.
    void endRun();
    void setStatus(const QString& text);
    // Shows or saves what a decode run got back, deciphered: a message in txtMsg, a file where the
    // user says; note follows the status text.
    void presentDecoded(cDialog& dialog, uint8_t kind, std::string text, const QString& bitmapName,
                        const QString& note);
    // Seals kind and content with gPassword into box, the window alive meanwhile. False after a
    // message when it cannot.
    bool seal(uint8_t kind, const std::string& content, std::string& box);
    // Opens the sealed box with gPassword and presents what it holds, or says it does not open.
    void openSealed(cDialog& dialog, const std::string& box, const QString& bitmapName);
    // Starts a run: refused with a message while another runs; otherwise the encoder's
    // bookkeeping and the abort flag start from zero. Returns false when refused.
    bool beginRun();

    bool m_closeWaiting = false;
};

}  // namespace mirel
