#pragma once

#include "CipherMirel.h"
#include "FrmMainLayout.h"
#include "Protection.h"

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
    // True while Tools > Strong Encryption is checked: encode runs seal (decode runs open whatever
    // the picture holds).
    bool StrongEncryption() const;
    // True while Tools > Stealth is checked: encode runs use the stealth layout (over Strong
    // Encryption). Decode runs find it by themselves.
    bool Stealth() const;

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

    // A run of a workflow, from its start to every way out: refused with a message while another
    // runs (false then); otherwise the encoder's bookkeeping and the abort flag start from zero,
    // and the end makes the window idle again and lets a close that waited go on.
    class RunScope {
    public:
        explicit RunScope(frmMain& window);
        ~RunScope();
        RunScope(const RunScope&) = delete;
        RunScope& operator=(const RunScope&) = delete;
        explicit operator bool() const { return m_started; }

    private:
        frmMain& m_window;
        bool m_started = false;
    };

    // What an encode run hides, before protection.
    struct Content {
        std::string bytes;             // the message's 8-bit bytes, or the file payload
        uint8_t kind = kKindMessage;
        int64_t required = 0;          // the carrier size the title of the carrier dialog shows
        bool sealed = false;           // set once protected with a seal
    };

    void endRun();
    void setStatus(const QString& text);
    // Shows before + name + after in the status line. A name too long for the line is shortened
    // in its middle, so that what follows it stays visible; the whole text is then the tooltip.
    void setStatus(const QString& before, const QString& name, const QString& after = {});
    // Asks for the new picture's name, proposing the carrier's format (png); a name of a lossy
    // picture format is refused and asked for again. Empty when the user cancels.
    QString askDestination(cDialog& dialog, bool png);
    // Gather what an encode run hides: a file the user picks, or the message in txtMsg. False,
    // after any message, when the run ends here.
    bool gatherFile(cDialog& dialog, Content& content);
    bool gatherMessage(Content& content);
    // Turns content into the payload to hide as protection says, the window alive meanwhile;
    // content's bytes are wiped. False after a message when it cannot.
    bool protect(Protection protection, Content& content, std::string& payload);
    // Opens or deciphers what a decode got back (its kind byte, then the payload) with gPassword
    // and presents it, or says why it cannot.
    void recover(cDialog& dialog, const std::string& decoded, const QString& bitmapName);
    // Shows or saves what a decode run got back, deciphered: a message in txtMsg, a file where the
    // user says; note follows the status text.
    void presentDecoded(cDialog& dialog, uint8_t kind, HeldBytes text, const QString& bitmapName,
                        const QString& note);

    // A close request came while an abort was pending: the window closes once the run has ended.
    bool mCloseWaiting = false;
};

}  // namespace mirel
