#include "wifi_world.h"

WifiWorld::WifiWorld()
{
    // "SSID"/"yourpass" is what the console offers as the default join answer, so it works out of the box.
    // MACs are locally administered addresses so they can never clash with real hardware.
    m_accessPoints = {
        {"SSID", "yourpass", 3, -48, "02:1a:7c:30:52:61", 6, -3, "192.168.1.105"},
        {"HomeNet-5", "correcthorse", 4, -67, "06:3e:11:9d:2b:17", 11, 12, "192.168.0.107"},
        {"Guest Cafe", "", 0, -81, "0a:71:c4:02:6e:03", 1, 0, "10.0.0.42"},
    };
}

const AccessPoint *WifiWorld::find(const QByteArray &ssid) const
{
    for (const AccessPoint &accessPoint : m_accessPoints) {
        if (accessPoint.ssid == ssid)
            return &accessPoint;
    }
    return nullptr;
}

WifiWorld::JoinResult WifiWorld::join(const QByteArray &ssid, const QByteArray &key) const
{
    const AccessPoint *accessPoint = find(ssid);
    if (!accessPoint)
        return JoinResult::NotFound;
    // An open network ignores whatever key is given, as the firmware does.
    if (accessPoint->encryption != 0 && accessPoint->key != key)
        return JoinResult::WrongKey;
    return JoinResult::Joined;
}

QByteArray WifiWorld::stationMac()
{
    return QByteArrayLiteral("5e:cf:7f:a1:b2:c3");
}

QByteArray WifiWorld::softApMac()
{
    return QByteArrayLiteral("5e:cf:7f:a1:b2:c4");
}

QByteArray WifiWorld::softApIp()
{
    return QByteArrayLiteral("192.168.4.1");
}
