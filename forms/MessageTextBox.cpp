#include "MessageTextBox.h"

#include <QScrollBar>

namespace mirel {

MessageTextBox::MessageTextBox(QWidget* parent) : QPlainTextEdit(parent)
{
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    connect(document(), &QTextDocument::contentsChanged, this, [this] {
        if (!m_settingText)
            m_keeping = false;
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
        } else {
            out += ch;
        }
    }
    return out;
}

QString MessageTextBox::text() const
{
    if (m_keeping)
        return m_kept;
    QString typed = toPlainText();
    typed.replace(QChar::ParagraphSeparator, u'\n');
    typed.replace(QStringLiteral("\n"), QStringLiteral("\r\n"));
    return typed;
}

void MessageTextBox::setText(const QString& text)
{
    m_settingText = true;
    setPlainText(shown(text));
    m_settingText = false;
    m_kept = text;
    m_keeping = true;
}

void MessageTextBox::appendText(const QString& more)
{
    const QString whole = text() + more;
    m_settingText = true;
    // Keep the view where the user had it.
    const int scroll = verticalScrollBar()->value();
    setPlainText(shown(whole));
    verticalScrollBar()->setValue(scroll);
    m_settingText = false;
    m_kept = whole;
    m_keeping = true;
}

}  // namespace mirel
