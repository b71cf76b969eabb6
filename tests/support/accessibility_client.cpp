#include "accessibility_client.h"

#include <QtGui/private/qguiapplication_p.h>
#include <QtGui/qpa/qplatformaccessibility.h>
#include <QtGui/qpa/qplatformintegration.h>

namespace {
AccessibilityClient *listening = nullptr;

void setActive(bool active)
{
    if (QPlatformAccessibility *platform = QGuiApplicationPrivate::platformIntegration()->accessibility())
        platform->setActive(active);
}
} // namespace

AccessibilityClient::AccessibilityClient(Keep keep) : m_keep(keep)
{
    Q_ASSERT(!listening);
    listening = this;
    QAccessible::installUpdateHandler(&AccessibilityClient::hear);
    setActive(true);
}

AccessibilityClient::~AccessibilityClient()
{
    setActive(false);
    QAccessible::installUpdateHandler(nullptr);
    listening = nullptr;
}

void AccessibilityClient::hear(QAccessibleEvent *event)
{
    AccessibilityClient &client = *listening;
    ++client.eventCount;
    // A client reads what it is told about, as a screen reader speaks an arrival.
    const bool keep = client.m_keep == Keep::TextChanges;
    if (event->type() == QAccessible::TextInserted) {
        const auto *inserted = static_cast<QAccessibleTextInsertEvent *>(event);
        client.charactersHeard += inserted->textInserted().size();
        if (keep)
            client.textChanges.append(
                {event->type(), event->object(), inserted->changePosition(), inserted->textInserted()});
    } else if (event->type() == QAccessible::TextRemoved) {
        const auto *removed = static_cast<QAccessibleTextRemoveEvent *>(event);
        if (keep)
            client.textChanges.append(
                {event->type(), event->object(), removed->changePosition(), removed->textRemoved()});
    } else if (QAccessibleInterface *iface = event->accessibleInterface()) {
        // A magnifier asks where the caret went.
        if (QAccessibleTextInterface *text = iface->textInterface())
            client.caretSeenAt = text->cursorPosition();
    }
}
