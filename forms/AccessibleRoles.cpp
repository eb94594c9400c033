#include "AccessibleRoles.h"

#include <QAccessibleWidget>
#include <QLabel>

namespace mirel {

namespace {

// Marks a label for the factory below; its value says what the label is presented as.
const char* const kPresentedAs = "mirelPresentedAs";
enum class Presented : int { Plainly = 0, StatusLine, Link };

class StatusLineAccessible : public QAccessibleWidget {
public:
    explicit StatusLineAccessible(QLabel* label) : QAccessibleWidget(label, QAccessible::StatusBar) {}

    QString text(QAccessible::Text kind) const override
    {
        if (kind != QAccessible::Name)
            return QAccessibleWidget::text(kind);
        // The texts start with a blank that only keeps them off the frame.
        const QString shown = static_cast<const QLabel*>(widget())->text().trimmed();
        return shown.isEmpty() ? QStringLiteral("Status") : shown;
    }
};

class LinkAccessible : public QAccessibleWidget {
public:
    explicit LinkAccessible(QLabel* label) : QAccessibleWidget(label, QAccessible::Link) {}

    QString text(QAccessible::Text kind) const override
    {
        switch (kind) {
        case QAccessible::Name: return label()->text();
        case QAccessible::Description: return target();
        default: return QAccessibleWidget::text(kind);
        }
    }

    QStringList actionNames() const override { return QAccessibleWidget::actionNames() << pressAction(); }

    void doAction(const QString& action) override
    {
        if (action == pressAction())
            emit label()->linkActivated(target());
        else
            QAccessibleWidget::doAction(action);
    }

private:
    QLabel* label() const { return static_cast<QLabel*>(widget()); }
    QString target() const { return label()->property(kLinkTargetProperty).toString(); }
};

// Asked first, before the toolkit's own factory, for every object that gets an interface.
QAccessibleInterface* presentedLabel(const QString& /*className*/, QObject* object)
{
    auto* label = qobject_cast<QLabel*>(object);
    if (!label)
        return nullptr;
    switch (Presented(label->property(kPresentedAs).toInt())) {
    case Presented::StatusLine: return new StatusLineAccessible(label);
    case Presented::Link: return new LinkAccessible(label);
    case Presented::Plainly: break;
    }
    return nullptr;
}

void present(QLabel* label, Presented as)
{
    static const bool installed = [] {
        QAccessible::installFactory(presentedLabel);
        return true;
    }();
    Q_UNUSED(installed);
    label->setProperty(kPresentedAs, int(as));
}

}  // namespace

void PresentAsStatusLine(QLabel* label)
{
    present(label, Presented::StatusLine);
}

void PresentAsLink(QLabel* label)
{
    present(label, Presented::Link);
}

}  // namespace mirel
