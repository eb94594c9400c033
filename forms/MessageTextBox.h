#pragma once

#include <QMap>
#include <QPlainTextEdit>

namespace mirel {

// The message box of the main window. The logic reads and writes its text with CR LF line
// breaks. What the user types reads back exactly as typed (no-break spaces and line separators
// included). Text put in by the program reads back exactly as it was put in (any character
// codes, NUL and lone CR or LF included) until the user edits the box, and again when the user
// undoes the edits back to it; the box shows line breaks as line breaks and control characters
// as visible symbols. Every change by the program is one step that Undo takes back.
class MessageTextBox : public QPlainTextEdit {
    Q_OBJECT

public:
    explicit MessageTextBox(QWidget* parent = nullptr);

    QString text() const;
    // Replaces the text.
    void setText(const QString& text);
    // Adds text at the end, as text() + more would.
    void appendText(const QString& more);
    // Empties the box and forgets every earlier text: nothing is left to undo or redo.
    void wipe();

private:
    static QString shown(const QString& text);
    // The text as the user sees it, with line breaks as "\n".
    QString shownNow() const;
    // Puts text in with what the box shows for it at the cursor's place, as one undo step.
    void put(QTextCursor cursor, const QString& text, const QString& shownText);

    // The program's texts by the undo step that shows them. A later step that the user makes
    // replaces the steps after it, and so the texts they showed.
    QMap<int, QString> m_kept;
};

}  // namespace mirel
