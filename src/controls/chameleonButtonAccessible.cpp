#include "controls/chameleonButtonAccessible.h"

#include <QKeySequence>

#include "controls/chameleonButton.h"

namespace {

QAccessibleInterface* buttonFactory(const QString& className, QObject* object)
{
    if (className == QLatin1String("chameleonButton") && object && object->isWidgetType())
        return new chameleonButtonAccessible(static_cast<chameleonButton*>(object));
    return nullptr;
}

} // namespace

chameleonButtonAccessible::chameleonButtonAccessible(chameleonButton* button)
    : QAccessibleWidget(button, QAccessible::Button)
{
}

void chameleonButtonAccessible::install()
{
    static bool installed = false;
    if (installed)
        return;
    installed = true;
    QAccessible::installFactory(buttonFactory);
}

chameleonButton* chameleonButtonAccessible::button() const
{
    return static_cast<chameleonButton*>(widget());
}

QString chameleonButtonAccessible::text(QAccessible::Text t) const
{
    if (t == QAccessible::Name) {
        const QString name = widget()->accessibleName();
        return name.isEmpty() ? chameleonButton::stripMnemonic(button()->Caption()) : name;
    }
    return QAccessibleWidget::text(t);
}

QAccessible::State chameleonButtonAccessible::state() const
{
    QAccessible::State s = QAccessibleWidget::state();
    if (!button()->Enabled())
        s.disabled = true;
    s.defaultButton = button()->isDefault();
    return s;
}

QStringList chameleonButtonAccessible::actionNames() const
{
    return QStringList{pressAction()} + QAccessibleWidget::actionNames();
}

void chameleonButtonAccessible::doAction(const QString& actionName)
{
    if (actionName == pressAction())
        button()->click();
    else
        QAccessibleWidget::doAction(actionName);
}

QStringList chameleonButtonAccessible::keyBindingsForAction(const QString& actionName) const
{
    const QString key = button()->accessKey();
    if (actionName == pressAction() && !key.isEmpty())
        return {QKeySequence(QKeyCombination(Qt::AltModifier, Qt::Key(key[0].toUpper().unicode())))
                    .toString(QKeySequence::NativeText)};
    return QAccessibleWidget::keyBindingsForAction(actionName);
}
