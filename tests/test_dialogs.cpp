#include <QTest>
class TestDialogs : public QObject { Q_OBJECT };
QTEST_MAIN(TestDialogs)
#include "test_dialogs.moc"
