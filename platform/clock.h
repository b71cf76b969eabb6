#pragma once

#include <QDateTime>

// The wall clock, injected so that timestamps can be checked.
class Clock
{
public:
    virtual ~Clock() = default;
    virtual QDateTime now() const = 0;
};

class SystemClock final : public Clock
{
public:
    QDateTime now() const override;
};
