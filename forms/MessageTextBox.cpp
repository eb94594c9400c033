#include "MessageTextBox.h"

#include <QTextCursor>

namespace mirel {

MessageTextBox::MessageTextBox(QWidget* parent) : QPlainTextEdit(parent)
{
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    connect(document(), &QTextDocument::undoCommandAdded, this, [this] {
        m_kept.erase(m_kept.lowerBound(document()->availableUndoSteps()), m_kept.end());
    });
}

QString MessageTextBox::shown(const QString& text)
{
    QString out;
    out.reserve(text.size());
    for (qsizetype k = 0; k < text.size(); ++k) {
        const QChar ch = text[k];
        if (ch == u'\r') {
            if (k + 1 < text.size() && text[k + 1] == u'\n')
                ++k;
            out += u'\n';
        } else if (ch == u'\n' || ch == u'\t') {
            out += ch;
        } else if (ch.unicode() < 0x20) {
            out += QChar(0x2400 + ch.unicode());  // the control pictures: NUL shows as U+2400
        } else if (ch == QChar::ParagraphSeparator || ch.unicode() == 0xFDD0 || ch.unicode() == 0xFDD1) {
            out += u'\n';  // the box breaks the line there whatever it is given
        } else {
            out += ch;
        }
    }
    return out;
}

QString MessageTextBox::shownNow() const
{
    // The raw text: the plain text would turn no-break spaces into spaces and line separators
    // into line breaks. Lines are kept apart by paragraph separators.
    QString now = document()->toRawText();
    now.replace(QChar::ParagraphSeparator, u'\n');
    return now;
}

QString MessageTextBox::text() const
{
    const QString now = shownNow();
    const auto kept = m_kept.constFind(document()->availableUndoSteps());
    if (kept != m_kept.cend() && shown(*kept) == now)
        return *kept;
    QString typed = now;
    typed.replace(QStringLiteral("\n"), QStringLiteral("\r\n"));
    return typed;
}

void MessageTextBox::put(QTextCursor cursor, const QString& text, const QString& shownText)
{
    cursor.beginEditBlock();
    cursor.insertText(shownText);
    cursor.endEditBlock();
    m_kept.insert(document()->availableUndoSteps(), text);
}

void MessageTextBox::setText(const QString& text)
{
    QTextCursor all(document());
    all.select(QTextCursor::Document);
    put(all, text, shown(text));
    moveCursor(QTextCursor::Start);
}

void MessageTextBox::appendText(const QString& more)
{
    const QString before = text();
    QString added = shown(more);
    // A CR at the end and an LF at the start of more make one line break, which already shows.
    if (before.endsWith(u'\r') && more.startsWith(u'\n'))
        added.remove(0, 1);
    // Inserted at the end, away from the user's cursor, so the view stays where the user had it.
    QTextCursor end(document());
    end.movePosition(QTextCursor::End);
    put(end, before + more, added);
}

void MessageTextBox::wipe()
{
    setPlainText(QString());
    document()->clearUndoRedoStacks();
    m_kept.clear();
}

}  // namespace mirel
