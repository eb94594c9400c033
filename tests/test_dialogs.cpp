#include "TestFiles.h"
#include "cDialog.h"

#include <QAbstractButton>
#include <QApplication>
#include <QColorDialog>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QScopeGuard>
#include <QSettings>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>

using namespace mirel;

namespace {

constexpr int kScriptLimitMs = 8000;
constexpr int kPollMs = 20;

using test::FreshDir;

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

// Runs fn on the next pass of the event loop. Whatever may open another modal window is run this
// way, so that the script goes on polling while it is open.
template <typename Fn>
void later(QObject* context, Fn fn)
{
    QTimer::singleShot(0, context, fn);
}

// Plays the user's part: every kPollMs it hands the active modal window to the current step,
// which returns true once it has acted, and then moves to the next. Past the time limit every
// modal window still open is rejected, so that a test that goes wrong fails instead of hanging.
class ModalScript : public QObject {
public:
    using Step = std::function<bool(QWidget*)>;

    explicit ModalScript(std::vector<Step> steps) : m_steps(std::move(steps))
    {
        connect(&m_poll, &QTimer::timeout, this, &ModalScript::poll);
        m_poll.start(kPollMs);
        m_clock.start();
    }

    bool done() const { return m_next == m_steps.size(); }

private:
    void poll()
    {
        if (m_clock.elapsed() > kScriptLimitMs) {
            m_poll.stop();
            for (int i = 0; i < 8; ++i)
                if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget()))
                    dialog->reject();
            return;
        }
        QWidget* window = QApplication::activeModalWidget();
        if (window && !done() && m_steps[m_next](window))
            ++m_next;
    }

    std::vector<Step> m_steps;
    size_t m_next = 0;
    QTimer m_poll;
    QElapsedTimer m_clock;
};

// Steps that wait for a window of type T and act on it.
template <typename T>
ModalScript::Step on(std::function<void(T*)> act)
{
    return [act](QWidget* window) {
        auto* typed = qobject_cast<T*>(window);
        if (!typed || !typed->isVisible())
            return false;
        act(typed);
        return true;
    };
}

QLineEdit* nameEdit(QFileDialog* dialog)
{
    return dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
}

// Types name into the dialog's name box and presses Enter.
ModalScript::Step typeAndEnter(const QString& name)
{
    return on<QFileDialog>([name](QFileDialog* dialog) {
        later(dialog, [dialog, name] {
            // As a window manager would after a question: the dialog and its name box get the
            // focus back.
            dialog->activateWindow();
            if (!QTest::qWaitForWindowActive(dialog))
                return;
            QLineEdit* edit = nameEdit(dialog);
            edit->setFocus();
            edit->clear();
            QTest::keyClicks(edit, name);
            QTest::keyClick(edit, Qt::Key_Return);
        });
    });
}

// Selects name in the dialog's list once it is listed, then presses Enter.
ModalScript::Step pickListed(const QString& name)
{
    return [name](QWidget* window) {
        auto* dialog = qobject_cast<QFileDialog*>(window);
        if (!dialog)
            return false;
        auto* view = dialog->findChild<QListView*>(QStringLiteral("listView"));
        const QModelIndexList found = view->model()->match(view->model()->index(0, 0, view->rootIndex()),
                                                           Qt::DisplayRole, name, 1, Qt::MatchExactly);
        if (found.isEmpty())
            return false;
        later(dialog, [dialog, view, index = found.first()] {
            view->setCurrentIndex(index);
            QTest::keyClick(view, Qt::Key_Return);
        });
        return true;
    };
}

ModalScript::Step rejectFileDialog()
{
    return on<QFileDialog>([](QFileDialog* dialog) { later(dialog, [dialog] { dialog->reject(); }); });
}

// Answers a question with button, keeping its text in *text.
ModalScript::Step answer(QMessageBox::StandardButton button, QString* text)
{
    return on<QMessageBox>([button, text](QMessageBox* box) {
        *text = box->text();
        later(box, [box, button] { box->button(button)->click(); });
    });
}

// The names the dialog lists, once the listing has stayed the same for a while.
ModalScript::Step readListing(QStringList* names)
{
    auto last = std::make_shared<QStringList>();
    auto stablePolls = std::make_shared<int>(0);
    return [=](QWidget* window) {
        auto* dialog = qobject_cast<QFileDialog*>(window);
        if (!dialog)
            return false;
        auto* view = dialog->findChild<QListView*>(QStringLiteral("listView"));
        QStringList now;
        for (int row = 0; row < view->model()->rowCount(view->rootIndex()); ++row)
            now << view->model()->index(row, 0, view->rootIndex()).data().toString();
        now.sort();
        *stablePolls = (now == *last && !now.isEmpty()) ? *stablePolls + 1 : 0;
        *last = now;
        if (*stablePolls < 10)
            return false;
        *names = now;
        later(dialog, [dialog] { dialog->reject(); });
        return true;
    };
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
        ModalScript script({on<QFileDialog>([&](QFileDialog* dialog) {
                                shown = nameEdit(dialog)->text();
                                later(dialog, [dialog] { dialog->reject(); });
                            })});
        QString name = filename;
        QCOMPARE(cDialog().GetSaveName(nullptr, name, FreshDir()), QString());
        QVERIFY(script.done());
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
        ModalScript script({rejectFileDialog()});
        QString name = "left over";
        QCOMPARE(cDialog().GetOpenName(nullptr, name, FreshDir(), "Load File", cDialog::DefaultFilter(), defaultName),
                 expected);
        QVERIFY(script.done());
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
        ModalScript script({pickListed("pic.bmp")});
        QString name;
        QCOMPARE(cDialog().GetOpenName(nullptr, name), dir + "/pic.bmp");
        QVERIFY(script.done());
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
        QString firstQuestion;
        QString question;
        std::vector<ModalScript::Step> steps{typeAndEnter("missing.bmp")};
        if (sayNoFirst)
            steps.insert(steps.end(), {answer(QMessageBox::No, &firstQuestion), typeAndEnter("other.bmp")});
        steps.push_back(answer(QMessageBox::Yes, &question));
        ModalScript script(steps);

        QString name;
        const QString chosen = sayNoFirst ? "other.bmp" : "missing.bmp";
        QCOMPARE(cDialog().GetOpenName(nullptr, name, dir), dir + "/" + chosen);
        QVERIFY(script.done());
        QCOMPARE(name, chosen);
        QVERIFY(question.startsWith(chosen + "\n"));
        QVERIFY(question.contains("does not exist"));
        if (sayNoFirst)
            QVERIFY(firstQuestion.startsWith("missing.bmp\n"));
        QCOMPARE(QDir(dir).entryList(QDir::Files), QStringList());
    }

    void saveAsksBeforeReplacing()
    {
        const QString dir = FreshDir();
        touch(dir + "/old.bmp", "keep");
        QString first;
        QString second;
        ModalScript script({typeAndEnter("old.bmp"), answer(QMessageBox::No, &first), typeAndEnter("old.bmp"),
                            answer(QMessageBox::Yes, &second)});
        QString name = "proposed.bmp";
        QCOMPARE(cDialog().GetSaveName(nullptr, name, dir), dir + "/old.bmp");
        QVERIFY(script.done());
        QVERIFY(first.startsWith("old.bmp"));
        QCOMPARE(second, first);
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
        QTest::addColumn<QString>("expected");
        QTest::newRow("no extension") << "pic" << "bmp" << "pic.bmp";
        QTest::newRow("own extension") << "pic.dat" << "bmp" << "pic.dat";
        QTest::newRow("no default") << "pic" << "" << "pic";
        QTest::newRow("blanks around") << "  pic  " << "bmp" << "pic.bmp";
        QTest::newRow("in a subfolder") << "sub/pic" << "bmp" << "sub/pic.bmp";
    }

    void saveCompletesTheTypedName()
    {
        QFETCH(QString, typed);
        QFETCH(QString, extension);
        QFETCH(QString, expected);
        const QString dir = FreshDir();
        QDir(dir).mkdir("sub");
        ModalScript script({typeAndEnter(typed)});
        QString name;
        QCOMPARE(cDialog().GetSaveName(nullptr, name, dir, "Save File", cDialog::DefaultFilter(), extension),
                 dir + "/" + expected);
        QVERIFY(script.done());
        QCOMPARE(name, QFileInfo(expected).fileName());
    }

    // A name in a folder that does not exist is not taken; the dialog waits for another.
    void saveNeedsAnExistingFolder()
    {
        const QString dir = FreshDir();
        ModalScript script({typeAndEnter("nosuch/pic.bmp"), typeAndEnter("pic.bmp")});
        QString name;
        QCOMPARE(cDialog().GetSaveName(nullptr, name, dir), dir + "/pic.bmp");
        QVERIFY(script.done());
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
        ModalScript script({on<QFileDialog>([&](QFileDialog* dialog) {
            auto* combo = dialog->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
            for (int i = 0; i < combo->count(); ++i)
                shown << combo->itemText(i);
            selected = dialog->selectedNameFilter();
            later(dialog, [dialog] { dialog->reject(); });
        })});
        QString name;
        cDialog().GetOpenName(nullptr, name, FreshDir(), "Load File", list);
        QVERIFY(script.done());
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
        ModalScript script({readListing(&names)});
        QString name;
        cDialog().GetOpenName(nullptr, name, dir, "Load File", list);
        QVERIFY(script.done());
        QCOMPARE(names, listed);
    }

    void pickColorStartsBlackWithoutAStore()
    {
        QFile::remove(colorStorePath());
        for (int i = 0; i < QColorDialog::customCount(); ++i)
            QColorDialog::setCustomColor(i, Qt::white);
        QList<QColor> custom;
        QColor current;
        ModalScript script({on<QColorDialog>([&](QColorDialog* dialog) {
            for (int i = 0; i < QColorDialog::customCount(); ++i)
                custom << QColorDialog::customColor(i);
            current = dialog->currentColor();
            later(dialog, [dialog] { dialog->reject(); });
        })});
        QCOMPARE(cDialog().PickColor(), -1);
        QVERIFY(script.done());
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
        ModalScript script({on<QColorDialog>([&](QColorDialog* dialog) {
            seen = QColorDialog::customColor(slot);
            QColorDialog::setCustomColor(kAddedSlot, QColor(1, 2, 3));
            later(dialog, [dialog, choice] {
                if (!choice.isValid())
                    return dialog->reject();
                dialog->setCurrentColor(choice);
                dialog->accept();
            });
        })});
        QCOMPARE(cDialog().PickColor(), result);
        QVERIFY(script.done());
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

        bool shown = false;
        ModalScript watch({on<QDialog>([&](QDialog* dialog) {
            shown = true;
            later(dialog, [dialog] { dialog->reject(); });
        })});
        QCOMPARE(cDialog().PickColor(), -1);
        QVERIFY(!shown);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), before);
    }
};

QTEST_MAIN(TestDialogs)
#include "test_dialogs.moc"
