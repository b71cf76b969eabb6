#include "serial/port_map.h"

#include <array>

namespace {
struct DeviceRange
{
    int firstCom;
    int count;
    const char *prefix;
};

constexpr std::array<DeviceRange, 5> kLinuxRanges{{
    {1, 16, "/dev/ttyS"},
    {17, 32, "/dev/ttyUSB"},
    {49, 32, "/dev/ttyACM"},
    {81, 10, "/dev/ttyAMA"},
    {91, 10, "/dev/rfcomm"},
}};
} // namespace

QString systemPortDevice(int comNumber)
{
#ifdef Q_OS_WIN
    return comNumber > 0 ? QStringLiteral("COM%1").arg(comNumber) : QString();
#else
    for (const DeviceRange &range : kLinuxRanges) {
        if (comNumber >= range.firstCom && comNumber < range.firstCom + range.count)
            return QLatin1String(range.prefix) + QString::number(comNumber - range.firstCom);
    }
    return {};
#endif
}
