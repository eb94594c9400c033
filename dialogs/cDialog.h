#pragma once

#include <QString>

#include <cstdint>
#include <optional>

class QWidget;

namespace mirel {

// The file and colour dialogs behind calls that take and return plain strings. Holds no state;
// a workflow makes one for the dialogs of a run. The file dialogs are Qt's own, modal and owned
// by hWnd.
//
// A list of file types is a string of pairs, a description and a pattern, each followed by a NUL
// character (the NUL after the last pattern may be missing): for example
// "Bitmap Files (*.BMP)" NUL "*.BMP" NUL "All Files (*.*)" NUL "*.*" NUL. The first pair is
// preselected; patterns match without regard to case.
class cDialog {
public:
    static QString DefaultFilter();  // "All Files" NUL "*.*"

    // Asks for a file to write. Filename is the name proposed (its first 512 characters); on
    // success it receives the chosen name without its folder. DefaultExt (no period) is appended
    // to a name typed without an extension. Choosing an existing file asks before replacing it;
    // the folder must exist. Returns the full path, or the empty string (Filename unchanged)
    // when the user cancels.
    QString GetSaveName(QWidget* hWnd, QString& Filename, const QString& InitialDir = {},
                        const QString& WindowTitle = QStringLiteral("Save File"),
                        const QString& FilterStr = DefaultFilter(), const QString& DefaultExt = {});

    // Asks for a file to read, starting in DefaultDir (the current folder when omitted).
    // A name that does not exist makes the dialog ask whether to create it; on Yes that name is
    // returned (nothing is created), on No the dialog stays open. Returns the full path and sets
    // Filename to the name without folder; when the user cancels, returns DefaultFileName without
    // leading and trailing blanks and sets Filename to the empty string.
    QString GetOpenName(QWidget* hWnd, QString& Filename, const std::optional<QString>& DefaultDir = std::nullopt,
                        const QString& WindowTitle = QStringLiteral("Load File"),
                        const QString& Filters = DefaultFilter(), const QString& DefaultFileName = {});

    // Shows the colour dialog with the user's 16 custom colours, kept in the settings store
    // (application "Temp", section "CustomColors", keys "0" to "15", decimal 0x00BBGGRR). Returns
    // the chosen colour as 0x00BBGGRR, or -1 when cancelled; the custom colours are written back
    // either way. A stored value that is not a number: returns -1 at once and writes nothing.
    int32_t PickColor();
};

}  // namespace mirel
