#pragma once

#include <QPlainTextEdit>

namespace mirel {

// The message box of the main window. The logic reads and writes its text with CR LF line
// breaks. Text put in by the program reads back exactly as it was put in (any character codes,
// NUL and lone CR or LF included) until the user edits the box; the box shows line breaks as
// line breaks and control characters as visible symbols.
class MessageTextBox : public QPlainTextEdit {
    Q_OBJECT

public:
    explicit MessageTextBox(QWidget* parent = nullptr);

    QString text() const;
    void setText(const QString& text);
    // Adds text at the end, as text() + more would.
    void appendText(const QString& more);

private:
    static QString shown(const QString& text);

    QString m_kept;      // the program's text, while the user has not edited it
    bool m_keeping = true;
    bool m_settingText = false;
};

}  // namespace mirel
