#pragma once

#include <QAccessible>
#include <QList>
#include <QString>

// Stands in for a screen reader: switches Qt's accessibility on, as an AT-SPI client connecting
// does, and takes every event Qt would send to it. One at a time; switched off again when it goes.
class AccessibilityClient
{
public:
    struct Heard
    {
        QAccessible::Event type;
        QObject *object;
        int position;
        QString text; // inserted or removed
    };

    // A client that keeps every text change (a test's), or one that only counts them (a flood's: kept,
    // every arrival's text would be a second copy of the flood).
    enum class Keep { TextChanges, Nothing };
    explicit AccessibilityClient(Keep keep = Keep::TextChanges);
    ~AccessibilityClient();
    AccessibilityClient(const AccessibilityClient &) = delete;
    AccessibilityClient &operator=(const AccessibilityClient &) = delete;

    // Only text changes are kept, and only when asked; everything is counted.
    QList<Heard> textChanges;
    qint64 eventCount = 0;
    qint64 charactersHeard = 0;
    int caretSeenAt = -1;

private:
    const Keep m_keep;

    static void hear(QAccessibleEvent *event);
};
