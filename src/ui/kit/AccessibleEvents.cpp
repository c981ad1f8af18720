#include "ui/kit/AccessibleEvents.h"

#include <QAccessible>

namespace {

AccessibleEvents::Listener listener = nullptr;

}  // namespace

void AccessibleEvents::send(QAccessibleEvent& event)
{
    if (listener)
        listener(&event);
    QAccessible::updateAccessibility(&event);
}

void AccessibleEvents::setListener(Listener newListener)
{
    listener = newListener;
}
