#include "ModalDriver.h"
#include "TestFiles.h"
#include "cDialog.h"

#include <QAbstractButton>
#include <QApplication>
#include <QColorDialog>
#include <QComboBox>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QScopeGuard>
#include <QSettings>
#include <QTest>

#include <memory>

using namespace mirel;

namespace {

using test::FreshDir;
using test::ModalDriver;

void touch(const QString& path, const QByteArray& content = "x")
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content);
}

QString fileList(std::initializer_list<const char*> parts)
{
    QString list;
    for (const char* part : parts)
        list += QString::fromLatin1(part) + QChar(0);
    return list;
}

QLineEdit* nameEdit(QWidget* dialog)
{
    return dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
}

QListView* listOf(QWidget* dialog)
{
    return dialog->findChild<QListView*>(QStringLiteral("listView"));
}

// The names the dialog lists, sorted.
QStringList listed(QWidget* dialog)
{
    QListView* view = listOf(dialog);
    QStringList names;
    for (int row = 0; view && row < view->model()->rowCount(view->rootIndex()); ++row)
        names << view->model()->index(row, 0, view->rootIndex()).data().toString();
    names.sort();
    return names;
}

// Selects name in the dialog's list once it is listed, then presses Enter.
ModalDriver::Step pickListed(const QString& name)
{
    return ModalDriver::when([name](QWidget* dialog) { return listed(dialog).contains(name); },
                             [name](QWidget* dialog) {
                                 QListView* view = listOf(dialog);
                                 const QModelIndexList found =
                                     view->model()->match(view->model()->index(0, 0, view->rootIndex()),
                                                          Qt::DisplayRole, name, 1, Qt::MatchExactly);
                                 view->setCurrentIndex(found.value(0));
                                 QTest::keyClick(view, Qt::Key_Return);
                             });
}

// Keeps in *names what the dialog lists once the listing has stayed the same for a while, then
// closes the dialog.
ModalDriver::Step readListing(QStringList* names)
{
    auto last = std::make_shared<QStringList>();
    auto stablePolls = std::make_shared<int>(0);
    const auto stable = [=](QWidget* dialog) {
        const QStringList now = listed(dialog);
        *stablePolls = (now == *last && !now.isEmpty()) ? *stablePolls + 1 : 0;
        *last = now;
        return *stablePolls >= 20;
    };
    return ModalDriver::when(stable, [=](QWidget* dialog) {
        *names = *last;
        ModalDriver::cancel()(dialog);
    });
}

QString colorStorePath()
{
    return QSettings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Temp")).fileName();
}

void writeColorStore(const QMap<int, QString>& values)
{
    QSettings store(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Temp"));
    store.clear();
    for (auto it = values.begin(); it != values.end(); ++it)
        store.setValue(QStringLiteral("CustomColors/%1").arg(it.key()), it.value());
    store.sync();
}

QStringList storedColors()
{
    QSettings store(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Temp"));
    store.beginGroup(QStringLiteral("CustomColors"));
    QStringList values;
    for (int i = 0; i < QColorDialog::customCount(); ++i)
        values << store.value(QString::number(i), QStringLiteral("missing")).toString();
    return values;
}

}  // namespace

class TestDialogs : public QObject {
    Q_OBJECT

private slots:
    // After every file and colour dialog above, no folder visited, no Qt dialog state is kept:
    // the home and config folders hold the colour table only.
    void cleanupTestCase()
    {
        QStringList files;
        for (const char* folder : {"HOME", "XDG_CONFIG_HOME"}) {
            QDirIterator it(qEnvironmentVariable(folder), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
            while (it.hasNext())
                files << it.next();
        }
        QCOMPARE(files, QStringList{colorStorePath()});
    }

    void saveCancelProposesTheNameAndKeepsIt_data()
    {
        QTest::addColumn<QString>("filename");
        QTest::addColumn<QString>("proposed");
        QTest::newRow("plain") << "pic.bmp" << "pic.bmp";
        QTest::newRow("trailing blanks") << "pic.bmp   " << "pic.bmp";
        QTest::newRow("600 characters") << QString(600, u'a') << QString(512, u'a');
        QTest::newRow("blanks at the cut") << QString(510, u'b') + "  " + QString(88, u'c') << QString(510, u'b');
        QTest::newRow("nul inside") << QString("pic.bmp") + QChar(0) + "rest" << "pic.bmp";
        QTest::newRow("empty") << "" << "";
    }

    void saveCancelProposesTheNameAndKeepsIt()
    {
        QFETCH(QString, filename);
        QFETCH(QString, proposed);
        QString shown = "not read";
        ModalDriver drive;
        drive.then([&shown](QWidget* dialog) {
            shown = nameEdit(dialog)->text();
            ModalDriver::cancel()(dialog);
        });
        QString name = filename;
        QCOMPARE(cDialog().GetSaveName(nullptr, name, FreshDir()), QString());
        QVERIFY(drive.finished());
        QCOMPARE(shown, proposed);
        QCOMPARE(name, filename);
    }

    void openCancelReturnsTheTrimmedDefault_data()
    {
        QTest::addColumn<QString>("defaultName");
        QTest::addColumn<QString>("expected");
        QTest::newRow("empty") << "" << "";
        QTest::newRow("blank padded") << "  pic.bmp  " << "pic.bmp";
        QTest::newRow("blanks only") << "   " << "";
    }

    void openCancelReturnsTheTrimmedDefault()
    {
        QFETCH(QString, defaultName);
        QFETCH(QString, expected);
        ModalDriver drive;
        drive.then(ModalDriver::cancel());
        QString name = "left over";
        QCOMPARE(cDialog().GetOpenName(nullptr, name, FreshDir(), "Load File", cDialog::DefaultFilter(), defaultName),
                 expected);
        QVERIFY(drive.finished());
        QCOMPARE(name, QString());
    }

    void openReturnsTheChosenFile()
    {
        const QString dir = FreshDir();
        touch(dir + "/pic.bmp");
        // Without a folder the dialog starts in the current one.
        const QString previous = QDir::currentPath();
        QDir::setCurrent(dir);
        const auto restore = qScopeGuard([&previous] { QDir::setCurrent(previous); });
        ModalDriver drive;
        drive.then(pickListed("pic.bmp"));
        QString name;
        QCOMPARE(cDialog().GetOpenName(nullptr, name), dir + "/pic.bmp");
        QVERIFY(drive.finished());
        QCOMPARE(name, QString("pic.bmp"));
    }

    // A missing name: Yes returns it and creates nothing; No keeps the dialog open.
    void openAsksBeforeNamingAMissingFile_data()
    {
        QTest::addColumn<bool>("sayNoFirst");
        QTest::newRow("yes") << false;
        QTest::newRow("no, then yes") << true;
    }

    void openAsksBeforeNamingAMissingFile()
    {
        QFETCH(bool, sayNoFirst);
        const QString dir = FreshDir();
        ModalDriver drive;
        drive.then(ModalDriver::typeName("missing.bmp"));
        if (sayNoFirst) {
            drive.then(ModalDriver::answer(QMessageBox::No));
            drive.then(ModalDriver::typeName("other.bmp"));
        }
        drive.then(ModalDriver::answer(QMessageBox::Yes));

        QString name;
        const QString chosen = sayNoFirst ? "other.bmp" : "missing.bmp";
        QCOMPARE(cDialog().GetOpenName(nullptr, name, dir), dir + "/" + chosen);
        QVERIFY(drive.finished());
        QCOMPARE(name, chosen);
        const QString question = drive.messages.value(sayNoFirst ? 1 : 0);
        QVERIFY(question.startsWith(chosen + "\n"));
        QVERIFY(question.contains("does not exist"));
        if (sayNoFirst)
            QVERIFY(drive.messages.value(0).startsWith("missing.bmp\n"));
        QCOMPARE(QDir(dir).entryList(QDir::Files), QStringList());
    }

    void saveAsksBeforeReplacing()
    {
        const QString dir = FreshDir();
        touch(dir + "/old.bmp", "keep");
        ModalDriver drive;
        drive.then(ModalDriver::typeName("old.bmp"));
        drive.then(ModalDriver::answer(QMessageBox::No));
        drive.then(ModalDriver::typeName("old.bmp"));
        drive.then(ModalDriver::answer(QMessageBox::Yes));
        QString name = "proposed.bmp";
        QCOMPARE(cDialog().GetSaveName(nullptr, name, dir), dir + "/old.bmp");
        QVERIFY(drive.finished());
        QCOMPARE(drive.messages.size(), 2);
        QVERIFY(drive.messages.value(0).startsWith("old.bmp"));
        QCOMPARE(drive.messages.value(1), drive.messages.value(0));
        QCOMPARE(name, QString("old.bmp"));
        QFile file(dir + "/old.bmp");
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("keep"));
    }

    // What the user types, and the name returned, relative to the dialog's folder.
    void saveCompletesTheTypedName_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("extension");
        QTest::addColumn<int>("type");  // the file type chosen from the list below
        QTest::addColumn<QString>("expected");
        QTest::newRow("no extension") << "pic" << "bmp" << 0 << "pic.bmp";
        QTest::newRow("own extension") << "pic.dat" << "bmp" << 0 << "pic.dat";
        QTest::newRow("no default") << "pic" << "" << 0 << "pic";
        QTest::newRow("blanks around") << "  pic  " << "bmp" << 0 << "pic.bmp";
        QTest::newRow("in a subfolder") << "sub/pic" << "bmp" << 0 << "sub/pic.bmp";
        // The chosen type's own extension is the default; a type of every file gives it back.
        QTest::newRow("png chosen") << "pic" << "bmp" << 1 << "pic.png";
        QTest::newRow("all files chosen") << "pic" << "bmp" << 2 << "pic.bmp";
    }

    void saveCompletesTheTypedName()
    {
        QFETCH(QString, typed);
        QFETCH(QString, extension);
        QFETCH(int, type);
        QFETCH(QString, expected);
        const QString dir = FreshDir();
        QDir(dir).mkdir("sub");
        ModalDriver drive;
        drive.then([type, typed](QWidget* dialog) {
            auto* combo = dialog->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
            combo->setCurrentIndex(type);
            ModalDriver::typeName(typed)(dialog);
        });
        QString name;
        const QString types = fileList({"Bitmap Files (*.BMP)", "*.BMP", "PNG Pictures (*.png)", "*.png",
                                        "All Files (*.*)", "*.*"});
        QCOMPARE(cDialog().GetSaveName(nullptr, name, dir, "Save File", types, extension), dir + "/" + expected);
        QVERIFY(drive.finished());
        QCOMPARE(name, QFileInfo(expected).fileName());
    }

    // A name in a folder that does not exist is not taken; the dialog waits for another.
    void saveNeedsAnExistingFolder()
    {
        const QString dir = FreshDir();
        ModalDriver drive;
        drive.then(ModalDriver::typeName("nosuch/pic.bmp"));
        drive.then(ModalDriver::typeName("pic.bmp"));
        QString name;
        QCOMPARE(cDialog().GetSaveName(nullptr, name, dir), dir + "/pic.bmp");
        QVERIFY(drive.finished());
        QVERIFY(!QFileInfo::exists(dir + "/nosuch"));
    }

    void fileTypesBecomeFilters_data()
    {
        QTest::addColumn<QString>("list");
        QTest::addColumn<QStringList>("filters");
        QTest::newRow("default") << cDialog::DefaultFilter() << QStringList{"All Files (*)"};
        QTest::newRow("described patterns kept")
            << fileList({"Bitmap Files (*.BMP)", "*.BMP", "All Files (*.*)", "*.*"})
            << QStringList{"Bitmap Files (*.BMP)", "All Files (*)"};
        QTest::newRow("patterns added") << fileList({"Text", "*.txt", "Both", "*.txt;*.log"})
                                        << QStringList{"Text (*.txt)", "Both (*.txt *.log)"};
        QTest::newRow("list ends at empty description")
            << fileList({"Text", "*.txt", "", "Hidden", "*.h"}) << QStringList{"Text (*.txt)"};
        QTest::newRow("description without pattern") << QString("Text") << QStringList{"All Files (*)"};
        QTest::newRow("empty") << QString() << QStringList{"All Files (*)"};
    }

    void fileTypesBecomeFilters()
    {
        QFETCH(QString, list);
        QFETCH(QStringList, filters);
        QStringList shown;
        QString selected;
        ModalDriver drive;
        drive.then([&](QWidget* dialog) {
            auto* combo = dialog->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
            for (int i = 0; i < combo->count(); ++i)
                shown << combo->itemText(i);
            selected = qobject_cast<QFileDialog*>(dialog)->selectedNameFilter();
            ModalDriver::cancel()(dialog);
        });
        QString name;
        cDialog().GetOpenName(nullptr, name, FreshDir(), "Load File", list);
        QVERIFY(drive.finished());
        QCOMPARE(shown, filters);
        QCOMPARE(selected, filters.first());
    }

    // The files listed under the first filter; the folder holds x.bmp, X.BMP, y.Bmp, z.txt and
    // noext.
    void filtersMatchWhateverTheCase_data()
    {
        QTest::addColumn<QString>("list");
        QTest::addColumn<QStringList>("listed");
        QTest::newRow("upper case pattern")
            << fileList({"Bitmap Files (*.BMP)", "*.BMP", "All Files (*.*)", "*.*"})
            << QStringList{"X.BMP", "x.bmp", "y.Bmp"};
        QTest::newRow("lower case patterns") << fileList({"Some", "*.bmp;*.TXT"})
                                             << QStringList{"X.BMP", "x.bmp", "y.Bmp", "z.txt"};
        QTest::newRow("every file") << cDialog::DefaultFilter()
                                    << QStringList{"X.BMP", "noext", "x.bmp", "y.Bmp", "z.txt"};
    }

    void filtersMatchWhateverTheCase()
    {
        QFETCH(QString, list);
        QFETCH(QStringList, listed);
        const QString dir = FreshDir();
        for (const char* file : {"x.bmp", "X.BMP", "y.Bmp", "z.txt", "noext"})
            touch(dir + "/" + file);
        QStringList names;
        ModalDriver drive;
        drive.then(readListing(&names));
        QString name;
        cDialog().GetOpenName(nullptr, name, dir, "Load File", list);
        QVERIFY(drive.finished());
        QCOMPARE(names, listed);
    }

    void pickColorStartsBlackWithoutAStore()
    {
        QFile::remove(colorStorePath());
        for (int i = 0; i < QColorDialog::customCount(); ++i)
            QColorDialog::setCustomColor(i, Qt::white);
        QList<QColor> custom;
        QColor current;
        ModalDriver drive;
        drive.then([&](QWidget* dialog) {
            for (int i = 0; i < QColorDialog::customCount(); ++i)
                custom << QColorDialog::customColor(i);
            current = qobject_cast<QColorDialog*>(dialog)->currentColor();
            ModalDriver::cancel()(dialog);
        });
        QCOMPARE(cDialog().PickColor(), -1);
        QVERIFY(drive.finished());
        QCOMPARE(custom, QList<QColor>(16, QColor(Qt::black)));
        QCOMPARE(current, QColor(Qt::black));
        QCOMPARE(storedColors(), QStringList(16, "0"));
    }

    // A stored colour reaches the dialog with its bytes in place, the custom colours as the
    // dialog leaves them are stored, and the colour chosen is returned as 0x00BBGGRR.
    void pickColorRoundTrips_data()
    {
        QTest::addColumn<int>("slot");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QColor>("shown");
        QTest::addColumn<QColor>("choice");
        QTest::addColumn<int>("result");
        QTest::newRow("red, cancelled") << 3 << "255" << QColor(255, 0, 0) << QColor() << -1;
        QTest::newRow("blue, blue chosen") << 15 << "16711680" << QColor(0, 0, 255) << QColor(0, 0, 255) << 0xFF0000;
        QTest::newRow("mixed, mixed chosen")
            << 0 << "5649426" << QColor(0x12, 0x34, 0x56) << QColor(0x12, 0x34, 0x56) << 0x563412;
        QTest::newRow("green chosen") << 7 << "65280" << QColor(0, 255, 0) << QColor(0, 255, 0) << 0x00FF00;
        QTest::newRow("white chosen") << 1 << "16777215" << QColor(Qt::white) << QColor(Qt::white) << 0xFFFFFF;
    }

    void pickColorRoundTrips()
    {
        QFETCH(int, slot);
        QFETCH(QString, stored);
        QFETCH(QColor, shown);
        QFETCH(QColor, choice);
        QFETCH(int, result);
        writeColorStore({{slot, stored}});
        constexpr int kAddedSlot = 9;
        QColor seen;
        ModalDriver drive;
        drive.then([&](QWidget* modal) {
            seen = QColorDialog::customColor(slot);
            QColorDialog::setCustomColor(kAddedSlot, QColor(1, 2, 3));
            auto* dialog = qobject_cast<QColorDialog*>(modal);
            if (!choice.isValid())
                return dialog->reject();
            dialog->setCurrentColor(choice);
            dialog->accept();
        });
        QCOMPARE(cDialog().PickColor(), result);
        QVERIFY(drive.finished());
        QCOMPARE(seen, shown);
        QStringList expected(16, "0");
        expected[slot] = stored;
        expected[kAddedSlot] = QString::number(0x030201);
        QCOMPARE(storedColors(), expected);
    }

    // A stored value that is not a decimal number: nothing shown, nothing written.
    void pickColorRefusesABadStore_data()
    {
        QTest::addColumn<QString>("value");
        QTest::newRow("letters") << "red";
        QTest::newRow("empty") << "";
        QTest::newRow("hexadecimal") << "0xFF";
        QTest::newRow("fraction") << "1.5";
        QTest::newRow("too many digits") << "123456789012345678901234567890";
    }

    void pickColorRefusesABadStore()
    {
        QFETCH(QString, value);
        QMap<int, QString> values;
        for (int i = 0; i < 16; ++i)
            values[i] = QString::number(i * 1000);
        values[12] = value;
        writeColorStore(values);
        QFile file(colorStorePath());
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray before = file.readAll();
        file.close();

        ModalDriver watch;  // expects nothing: whatever opens counts as unexpected
        QCOMPARE(cDialog().PickColor(), -1);
        QCOMPARE(watch.unexpected(), 0);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), before);
    }
};

QTEST_MAIN(TestDialogs)
#include "test_dialogs.moc"
