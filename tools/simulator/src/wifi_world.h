#pragma once

#include <QByteArray>
#include <QList>

// One access point the simulated module can see.
struct AccessPoint
{
    QByteArray ssid;
    QByteArray key;
    int encryption = 0; // 0 open, 1 WEP, 2 WPA_PSK, 3 WPA2_PSK, 4 WPA_WPA2_PSK
    int rssi = 0;
    QByteArray mac;
    int channel = 0;
    int frequencyOffset = 0;
    // The address the AP's DHCP server hands to the module.
    QByteArray stationIp;
};

// The fixed radio surroundings of the simulated module and the module's own addresses.
class WifiWorld
{
public:
    enum class JoinResult { Joined, WrongKey, NotFound };

    WifiWorld();

    const QList<AccessPoint> &accessPoints() const { return m_accessPoints; }
    const AccessPoint *find(const QByteArray &ssid) const;
    JoinResult join(const QByteArray &ssid, const QByteArray &key) const;

    static QByteArray stationMac();
    static QByteArray softApMac();
    static QByteArray softApIp();

private:
    QList<AccessPoint> m_accessPoints;
};
