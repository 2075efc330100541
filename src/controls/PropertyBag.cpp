#include "controls/PropertyBag.h"

QVariant PropertyBag::read(const QString& key, const QVariant& defaultValue) const
{
    for (const auto& [name, value] : m_values)
        if (name.compare(key, Qt::CaseInsensitive) == 0)
            return value;
    return defaultValue;
}

bool PropertyBag::contains(const QString& key) const
{
    for (const auto& entry : m_values)
        if (entry.first.compare(key, Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

void PropertyBag::write(const QString& key, const QVariant& value)
{
    for (auto& entry : m_values) {
        if (entry.first.compare(key, Qt::CaseInsensitive) == 0) {
            entry.second = value;
            return;
        }
    }
    m_values.append({key, value});
}

QStringList PropertyBag::keys() const
{
    QStringList names;
    for (const auto& entry : m_values)
        names << entry.first;
    return names;
}
