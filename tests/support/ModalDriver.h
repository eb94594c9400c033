#pragma once

#include "Ui.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <deque>
#include <functional>

class QWidget;

namespace mirel::test {

// Answers modal windows as they appear: each new modal window (file dialog, settings window,
// message box) is handed to the next step in the queue. Steps run from the event loop of the
// modal window itself, so a workflow started synchronously from a test can be driven to its end.
class ModalDriver : public QObject {
    Q_OBJECT

public:
    using Step = std::function<void(QWidget* modal)>;

    ModalDriver();

    void then(Step step) { m_steps.push_back(std::move(step)); }
    bool finished() const { return m_steps.empty(); }
    int unexpected() const { return m_unexpected; }
    // Texts of the message boxes that the steps answered, in order.
    QStringList messages;

    // Common steps.
    static Step chooseFile(const QString& path);  // selects path in a file dialog and accepts
    static Step typeName(const QString& name);    // types name into a file dialog and presses Enter
    static Step cancel();                         // rejects the dialog
    // Fills the settings window and presses OK.
    static Step settings(const QString& password, const QString& offset);
    // Presses a message box's button: QMessageBox::Ok, Yes or No.
    static Step answer(int standardButton);
    // Runs step once ready(modal) holds, checking every few milliseconds; rejects the window
    // when it never does, so that the test fails instead of hanging.
    static Step when(std::function<bool(QWidget*)> ready, Step step);

private:
    void poll();

    std::deque<Step> m_steps;
    QTimer m_timer;
    int m_unexpected = 0;
};

// Services for window tests: the real desktop ones, plus a hook at every yield so that a test
// can act in the middle of a run at a known row.
class HookedUi : public UiServices {
public:
    explicit HookedUi(UiServices& real) : m_real(real) { InstallUi(this); }
    ~HookedUi() override { InstallUi(nullptr); }

    int messageBox(const std::string& text, const std::string& caption, MsgIcon icon,
                   MsgButtons buttons) override
    {
        return m_real.messageBox(text, caption, icon, buttons);
    }
    void yield() override
    {
        m_real.yield();
        ++yields;
        if (onYield)
            onYield(yields);
    }

    int yields = 0;
    std::function<void(int)> onYield;

private:
    UiServices& m_real;
};

}  // namespace mirel::test
