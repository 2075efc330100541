#pragma once
// A control's stored properties: named values whose keys are matched without
// regard to case (layouts store them in lower case, controls ask in upper case).

#include <QList>
#include <QPair>
#include <QString>
#include <QVariant>

class PropertyBag {
public:
    // The value under key (any case), or defaultValue when the key is missing.
    QVariant read(const QString& key, const QVariant& defaultValue = {}) const;
    bool contains(const QString& key) const;
    // Replaces the value under key (any case) or appends it, keeping the order of writing.
    void write(const QString& key, const QVariant& value);
    // Keys in the order they were written.
    QStringList keys() const;

private:
    QList<QPair<QString, QVariant>> m_values;
};
