#include "cDialog.h"

#include <QColor>
#include <QColorDialog>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QScopeGuard>
#include <QSettings>
#include <QStringList>

#include <array>

namespace mirel {

namespace {

// The longest name a file dialog proposes; the rest of a longer one is dropped.
constexpr qsizetype kMaxProposedName = 512;

// Where PickColor keeps the user's custom colours: the per-user store of application "Temp",
// section "CustomColors", keys "0" to "15", each the decimal text of a colour 0x00BBGGRR.
constexpr char kColorStoreName[] = "Temp";
constexpr char kCustomColorsGroup[] = "CustomColors";
constexpr int kCustomColorCount = 16;
constexpr char kDefaultStoredColor[] = "0";
constexpr qint64 kColorMask = 0xFFFFFF;

// Qt's own file and colour dialogs keep what they saw (the folders visited, the last folder,
// custom colours) in a store of their own that every Qt program of the user shares: "QtProject"
// in the native settings format. A hiding tool keeps no list of the folders it was used in, so
// before the first dialog that store is sent to a folder that can never exist: reading it finds
// nothing and writing it fails quietly. PickColor's own store is an INI store and keeps its place.
void keepNoDialogState()
{
    static const bool sent = [] {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("/dev/null"));
        return true;
    }();
    Q_UNUSED(sent);
}

// Ends each description and pattern of a file type list, and a name handed over as text.
constexpr QChar kNul = QChar(0);
constexpr QChar kPatternSeparator = u';';

// Text without the spaces at its end and, when leading is set, at its start.
QString trimBlanks(const QString& text, bool leading = true)
{
    qsizetype first = 0;
    qsizetype end = text.size();
    if (leading)
        while (first < end && text.at(first) == u' ')
            ++first;
    while (end > first && text.at(end - 1) == u' ')
        --end;
    return text.mid(first, end - first);
}

// The name a file dialog proposes for name: up to the first NUL (nothing after one can be part
// of a file name), at most kMaxProposedName characters, trailing blanks removed.
QString proposedName(const QString& name)
{
    const qsizetype nul = name.indexOf(kNul);
    return trimBlanks(name.left(nul < 0 ? name.size() : nul).left(kMaxProposedName), false);
}

// The patterns of one entry of a file type list, written as the file dialog reads them:
// separated by spaces, where the list separates them by ';'. "*.*" means every file, also
// those without an extension, so it becomes "*". Empty when the entry has no pattern.
QString dialogPatterns(const QString& patterns)
{
    QStringList parts;
    for (const QString& part : patterns.split(kPatternSeparator)) {
        const QString pattern = part.trimmed();
        if (pattern.isEmpty())
            continue;
        parts << (pattern == QStringLiteral("*.*") ? QStringLiteral("*") : pattern);
    }
    parts.removeDuplicates();
    return parts.join(u' ');
}

// The file dialog's name filters for a file type list ("description" NUL "pattern" NUL ...;
// the NUL after the last pattern may be missing). A description that already ends in
// "(pattern)" is kept, otherwise the patterns are added in parentheses. The list ends at an
// empty description; a description without a pattern is dropped. Never empty: a list that
// yields nothing gives every file.
QStringList filtersFromList(const QString& list)
{
    QStringList filters;
    const QStringList parts = list.split(kNul);
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        // The dialog reads a filter as one line; a line break in the description would hide
        // the patterns from it.
        const QString description = parts.at(i).simplified();
        if (description.isEmpty())
            break;
        const QString patterns = dialogPatterns(parts.at(i + 1));
        if (patterns.isEmpty())
            continue;
        const QString shown = QLatin1Char('(') + parts.at(i + 1).trimmed() + QLatin1Char(')');
        if (description.endsWith(shown))
            filters << description.chopped(shown.size()) + QLatin1Char('(') + patterns + QLatin1Char(')');
        else
            filters << description + QStringLiteral(" (") + patterns + QLatin1Char(')');
    }
    if (filters.isEmpty())
        filters << QStringLiteral("All Files (*)");
    return filters;
}

// The one extension of a file type as the dialog shows it ("PNG Pictures (*.png)" gives "png"),
// or fallback when it has none or several.
QString ownExtension(const QString& type, const QString& fallback)
{
    const qsizetype open = type.lastIndexOf(u'(');
    if (open < 0 || !type.endsWith(u')'))
        return fallback;
    const QString pattern = type.mid(open + 1).chopped(1);
    const QString extension = pattern.mid(2);
    if (!pattern.startsWith(QStringLiteral("*.")) || extension.isEmpty() || extension.contains(u' ') ||
        extension.contains(u'*') || extension.contains(u'?'))
        return fallback;
    return extension.toLower();
}

// Qt's own file dialog, modal, with the checks made before it may close. A name typed with
// blanks around it stands for the name without them. The folder of the name must exist; while
// it does not, the dialog stays open. In open mode a name that does not exist is returned only
// after the user agreed to create it. Saving over an existing file asks first (Qt's own
// question).
class FileDialog : public QFileDialog {
public:
    FileDialog(QWidget* owner, const QString& title, AcceptMode mode, const QString& fileTypes)
        : QFileDialog(owner, title)
    {
        setOption(QFileDialog::DontUseNativeDialog);
        setAcceptMode(mode);
        setFileMode(QFileDialog::AnyFile);
        // Patterns match whatever the case: "*.BMP" lists x.bmp as well.
        setFilter(filter() & ~QDir::CaseSensitive);
        const QStringList filters = filtersFromList(fileTypes);
        setNameFilters(filters);
        selectNameFilter(filters.first());
        connect(this, &QFileDialog::fileSelected, this, [this](const QString& file) { m_chosen = file; });
    }

    // Shows the dialog and waits for it to close. Returns the path chosen, or an empty string
    // when the user cancelled.
    QString choose()
    {
        if (exec() != QDialog::Accepted)
            return {};
        return m_chosen.isEmpty() ? selectedFiles().value(0) : m_chosen;
    }

    // Puts name into the name box; nothing when name is empty.
    void propose(const QString& name)
    {
        if (!name.isEmpty())
            selectFile(name);
    }

    // Appended to a name typed without an extension: the chosen type's own extension when it has
    // one ("*.png"), this one otherwise; none when empty.
    QString defaultExtension;

protected:
    void accept() override
    {
        setDefaultSuffix(defaultExtension.isEmpty() ? QString() : ownExtension(selectedNameFilter(), defaultExtension));
        trimTypedName();
        const QString file = selectedFiles().value(0);
        if (file.isEmpty())
            return;
        const QFileInfo info(file);
        if (!info.exists() && !info.isSymLink()) {
            if (!QFileInfo(info.path()).isDir())
                return;
            if (acceptMode() == AcceptOpen && !confirmCreate(info.fileName()))
                return;
        }
        QFileDialog::accept();
    }

private:
    QLineEdit* nameEdit() const { return findChild<QLineEdit*>(QStringLiteral("fileNameEdit")); }

    // Drops the blanks around the typed name, unless a file of the name as typed exists.
    void trimTypedName()
    {
        QLineEdit* edit = nameEdit();
        if (!edit)
            return;
        const QString typed = edit->text();
        const QString trimmed = trimBlanks(typed);
        if (trimmed == typed)
            return;
        const QFileInfo asTyped(selectedFiles().value(0));
        if (!asTyped.exists() && !asTyped.isSymLink())
            edit->setText(trimmed);
    }

    // Asks whether the missing file name may be created. True on Yes.
    bool confirmCreate(const QString& name)
    {
        const QString text = name + QStringLiteral("\nThis file does not exist.\nCreate it?");
        return QMessageBox::question(this, windowTitle(), text, QMessageBox::Yes | QMessageBox::No,
                                     QMessageBox::Yes) == QMessageBox::Yes;
    }

    QString m_chosen;
};

// A colour 0x00BBGGRR (red in the low byte) as a QColor, and back.
QColor colorFromBgr(qint64 bgr)
{
    return QColor(int(bgr & 0xFF), int((bgr >> 8) & 0xFF), int((bgr >> 16) & 0xFF));
}

int32_t bgrFromColor(const QColor& color)
{
    return int32_t(color.red()) | (int32_t(color.green()) << 8) | (int32_t(color.blue()) << 16);
}

}  // namespace

QString cDialog::DefaultFilter()
{
    return QStringLiteral("All Files") + QChar(0) + QStringLiteral("*.*");
}

QString cDialog::GetSaveName(QWidget* hWnd, QString& Filename, const QString& InitialDir, const QString& WindowTitle,
                             const QString& FilterStr, const QString& DefaultExt)
{
    keepNoDialogState();
    // Held through a QPointer: should the owner go away while the dialog is open, it takes the
    // dialog with it.
    QPointer<FileDialog> dialog = new FileDialog(hWnd, WindowTitle, QFileDialog::AcceptSave, FilterStr);
    const auto cleanup = qScopeGuard([&dialog] { delete dialog.data(); });
    if (!InitialDir.isEmpty())
        dialog->setDirectory(InitialDir);
    // An extension with a folder separator or NUL in it would make the name point elsewhere.
    const QString extension = DefaultExt.trimmed();
    if (!extension.contains(u'/') && !extension.contains(kNul))
        dialog->defaultExtension = extension;
    dialog->propose(proposedName(Filename));

    const QString path = dialog->choose();
    if (path.isEmpty())
        return {};
    Filename = QFileInfo(path).fileName();
    return path;
}

QString cDialog::GetOpenName(QWidget* hWnd, QString& Filename, const std::optional<QString>& DefaultDir,
                             const QString& WindowTitle, const QString& Filters, const QString& DefaultFileName)
{
    keepNoDialogState();
    QPointer<FileDialog> dialog = new FileDialog(hWnd, WindowTitle, QFileDialog::AcceptOpen, Filters);
    const auto cleanup = qScopeGuard([&dialog] { delete dialog.data(); });
    const QString folder = DefaultDir.value_or(QDir::currentPath());
    if (!folder.isEmpty())
        dialog->setDirectory(folder);
    dialog->propose(proposedName(DefaultFileName));

    const QString path = dialog->choose();
    if (path.isEmpty()) {
        Filename.clear();
        return trimBlanks(DefaultFileName);
    }
    Filename = QFileInfo(path).fileName();
    return path;
}

int32_t cDialog::PickColor()
{
    keepNoDialogState();
    QSettings store(QSettings::IniFormat, QSettings::UserScope, QString::fromLatin1(kColorStoreName));
    store.beginGroup(QString::fromLatin1(kCustomColorsGroup));

    // Read all first: a value that is not a number leaves the store as it is.
    std::array<QColor, kCustomColorCount> custom;
    for (int i = 0; i < kCustomColorCount; ++i) {
        const QString text = store.value(QString::number(i), QString::fromLatin1(kDefaultStoredColor)).toString();
        bool isNumber = false;
        const qint64 value = text.toLongLong(&isNumber, 10);
        if (!isNumber)
            return -1;
        // Only the colour bytes count; whatever a value holds above them is ignored.
        custom[i] = colorFromBgr(value & kColorMask);
    }
    for (int i = 0; i < kCustomColorCount; ++i)
        QColorDialog::setCustomColor(i, custom[i]);

    // Qt's own dialog: only it keeps the custom colours.
    QColorDialog dialog(Qt::black);
    dialog.setOption(QColorDialog::DontUseNativeDialog);
    const int32_t chosen = dialog.exec() == QDialog::Accepted ? bgrFromColor(dialog.selectedColor()) : -1;

    for (int i = 0; i < kCustomColorCount; ++i)
        store.setValue(QString::number(i), QString::number(bgrFromColor(QColorDialog::customColor(i))));
    store.endGroup();
    store.sync();
    return chosen;
}

}  // namespace mirel
