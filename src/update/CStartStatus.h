#pragma once

#include <QObject>
#include <QString>

// What the program knows about this run as it starts: its version and
// whether this is the first run since it was installed. The check cycle asks
// it to check for a newer version once per run.
class CStartStatus : public QObject
{
    Q_OBJECT

public:
    explicit CStartStatus(QObject *parent = nullptr);

    // major.minor.revision, e.g. "2.1.3".
    QString Version() const;

    // True on the first run of this version; clearing it is remembered in
    // the settings store, so later runs read False.
    bool IsFirstTime() const { return m_bIsFirstTime; }
    void setIsFirstTime(bool bIsFirstTime);

private:
    bool m_bIsFirstTime;
};
