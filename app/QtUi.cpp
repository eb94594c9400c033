#include "QtUi.h"

#include <QApplication>
#include <QLabel>
#include <QMessageBox>

namespace mirel {

int QtUi::messageBox(const std::string& text, const std::string& caption, MsgIcon icon, MsgButtons buttons)
{
    QString shown = QString::fromStdString(text);
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    QMessageBox box(QApplication::activeWindow());
    box.setWindowTitle(QString::fromStdString(caption));
    box.setText(shown);
    box.setTextFormat(Qt::PlainText);
    // Names and addresses in a message can be copied.
    box.setTextInteractionFlags(Qt::TextSelectableByMouse);
    switch (icon) {
    case MsgIcon::None: box.setIcon(QMessageBox::NoIcon); break;
    case MsgIcon::Information: box.setIcon(QMessageBox::Information); break;
    case MsgIcon::Warning: box.setIcon(QMessageBox::Warning); break;
    }
    // The icon tells what kind of message it is; a screen reader says so in words.
    const QString kind = icon == MsgIcon::Warning ? QStringLiteral("Warning") : QStringLiteral("Information");
    for (QLabel* picture : box.findChildren<QLabel*>()) {
        if (!picture->pixmap().isNull())
            picture->setAccessibleName(kind);
    }
    if (buttons != MsgButtons::Ok) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(buttons == MsgButtons::YesNo ? QMessageBox::Yes : QMessageBox::No);
    } else {
        box.setStandardButtons(QMessageBox::Ok);
    }
    box.setWindowModality(Qt::ApplicationModal);
    const int pressed = box.exec();
    if (buttons == MsgButtons::Ok)
        return kAnswerOk;
    return pressed == QMessageBox::Yes ? kAnswerYes : kAnswerNo;
}

void QtUi::yield()
{
    QCoreApplication::processEvents();
}

}  // namespace mirel
