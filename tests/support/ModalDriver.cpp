#include "ModalDriver.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTest>

#include <memory>

namespace mirel::test {

namespace {
const char* const kHandled = "mirelTestHandled";
constexpr int kPollMs = 10;
constexpr int kReadyLimitMs = 8000;
}

ModalDriver::ModalDriver()
{
    connect(&m_timer, &QTimer::timeout, this, &ModalDriver::poll);
    m_timer.start(5);
}

void ModalDriver::poll()
{
    QWidget* modal = QApplication::activeModalWidget();
    if (m_unexpected > 0 && modal) {
        // Once something went wrong, close whatever opens so that the test ends.
        cancel()(modal);
        return;
    }
    if (!modal || !modal->isVisible() || modal->property(kHandled).toBool())
        return;
    modal->setProperty(kHandled, true);
    if (auto* box = qobject_cast<QMessageBox*>(modal))
        messages << box->text();
    if (m_steps.empty()) {
        // Nothing expected: close it so that the test fails instead of hanging.
        ++m_unexpected;
        qWarning("unexpected window: %s %s", modal->metaObject()->className(), qPrintable(modal->windowTitle()));
        if (auto* dialog = qobject_cast<QDialog*>(modal))
            dialog->reject();
        return;
    }
    // Run the step from a timer of its own: a step that opens another modal window (a question
    // from the dialog) keeps this poll going while that window is open.
    auto step = std::make_shared<Step>(std::move(m_steps.front()));
    m_steps.pop_front();
    QPointer<QWidget> target(modal);
    QTimer::singleShot(0, this, [step, target] {
        if (target)
            (*step)(target);
    });
}

ModalDriver::Step ModalDriver::chooseFile(const QString& path)
{
    return [path](QWidget* modal) {
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        if (!dialog) {
            cancel()(modal);
            return;
        }
        if (auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
            edit->setText(path);
        else
            dialog->selectFile(path);
        static_cast<QDialog*>(dialog)->accept();  // the dialog's own checks and questions run
        // A refused choice leaves the dialog open: let it be answered again.
        if (dialog->isVisible())
            dialog->setProperty(kHandled, false);
    };
}

ModalDriver::Step ModalDriver::typeName(const QString& name)
{
    return [name](QWidget* modal) {
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        auto* edit = dialog ? dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")) : nullptr;
        if (!edit) {
            cancel()(modal);
            return;
        }
        // As a window manager would after a question: the dialog and its name box get the focus.
        dialog->activateWindow();
        if (!QTest::qWaitForWindowActive(dialog))
            return cancel()(modal);
        edit->setFocus();
        edit->clear();
        QTest::keyClicks(edit, name);
        QTest::keyClick(edit, Qt::Key_Return);  // the dialog's own checks and questions run
        if (dialog->isVisible())
            dialog->setProperty(kHandled, false);
    };
}

ModalDriver::Step ModalDriver::when(std::function<bool(QWidget*)> ready, Step step)
{
    return [ready, step](QWidget* modal) {
        auto* poll = new QTimer(modal);
        auto clock = std::make_shared<QElapsedTimer>();
        clock->start();
        QObject::connect(poll, &QTimer::timeout, modal, [=] {
            if (ready(modal)) {
                poll->stop();
                step(modal);
            } else if (clock->elapsed() > kReadyLimitMs) {
                poll->stop();
                cancel()(modal);
            }
        });
        poll->start(kPollMs);
    };
}

ModalDriver::Step ModalDriver::cancel()
{
    return [](QWidget* modal) {
        if (auto* dialog = qobject_cast<QDialog*>(modal))
            dialog->reject();
    };
}

ModalDriver::Step ModalDriver::settings(const QString& password, const QString& offset)
{
    return [password, offset](QWidget* modal) {
        auto* passwordBox = modal->findChild<QLineEdit*>(QStringLiteral("txtPassword"));
        auto* offsetBox = modal->findChild<QLineEdit*>(QStringLiteral("txtOffset"));
        auto* ok = modal->findChild<QPushButton*>(QStringLiteral("cmdOK"));
        if (!passwordBox || !offsetBox || !ok) {
            cancel()(modal);
            return;
        }
        passwordBox->setText(password);
        offsetBox->setText(offset);
        ok->click();
        // An offset that was refused leaves the window open for the next step.
        if (modal->isVisible())
            modal->setProperty(kHandled, false);
    };
}

ModalDriver::Step ModalDriver::answer(int standardButton)
{
    return [standardButton](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        QAbstractButton* button = box ? box->button(QMessageBox::StandardButton(standardButton)) : nullptr;
        if (button)
            button->click();
        else if (auto* dialog = qobject_cast<QDialog*>(modal))
            dialog->reject();
    };
}

}  // namespace mirel::test
