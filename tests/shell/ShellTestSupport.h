#pragma once
// Shared set-up of the shell tests: each test gets its own settings file in
// a temporary folder, so first and second starts are real.

#include <QCoreApplication>
#include <QMouseEvent>
#include <QSettings>
#include <QTemporaryDir>
#include <QWidget>
#include <gtest/gtest.h>

class TemporarySettingsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        QCoreApplication::setOrganizationName(QStringLiteral("Corvane"));
        QCoreApplication::setApplicationName(QStringLiteral("Corvane"));
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_dir.path());
    }

    QString settingsFile() const { return m_dir.path() + QStringLiteral("/Corvane/Corvane.ini"); }

    QSettings stored() const { return QSettings(settingsFile(), QSettings::IniFormat); }

    void store(const QString& key, const QString& value)
    {
        QSettings s(settingsFile(), QSettings::IniFormat);
        s.setValue(key, value);
        s.sync();
    }

    QTemporaryDir m_dir;
};

inline void sendMouseMove(QWidget* target, QPoint at)
{
    QMouseEvent move(QEvent::MouseMove, QPointF(at), target->mapToGlobal(QPointF(at)), Qt::NoButton,
        Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &move);
}
