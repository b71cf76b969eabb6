#pragma once

#include <QObject>

// Ends the process, after printing the time, when the first window is exposed.
class ShownWatcher : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
};
