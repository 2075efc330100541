#pragma once
// What assistive technology sees of a chameleonButton: a push button named by
// its caption (without the access-key ampersands) with a press action.

#include <QAccessibleWidget>

class chameleonButton;

class chameleonButtonAccessible : public QAccessibleWidget {
public:
    explicit chameleonButtonAccessible(chameleonButton* button);

    // Registers the factory once per process; safe to call repeatedly.
    static void install();

    QString text(QAccessible::Text t) const override;
    QAccessible::State state() const override;
    QStringList actionNames() const override;
    void doAction(const QString& actionName) override;
    QStringList keyBindingsForAction(const QString& actionName) const override;

private:
    chameleonButton* button() const;
};
