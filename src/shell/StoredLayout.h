#pragma once
// A window's stored layout: the design-time properties of its controls, one
// section per control with lower-case keys, read from a resource text file.
//
//   [cmdCompare]
//   btype=3
//   font=Arial,9.75,bold
//
// Booleans are stored as -1 (True) and 0; "font" is face,points[,bold].

#include "controls/PropertyBag.h"

#include <QMap>
#include <QString>

class StoredLayout {
public:
    static StoredLayout parse(const QString& text);
    static StoredLayout fromResource(const QString& path);

    PropertyBag bagFor(const QString& control) const { return m_bags.value(control); }
    bool contains(const QString& control) const { return m_bags.contains(control); }

private:
    QMap<QString, PropertyBag> m_bags;
};
