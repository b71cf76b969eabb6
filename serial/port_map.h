#pragma once

#include <QString>

#include <functional>

// Which device a port number "COM N" stands for; an empty path means no device.
using PortMap = std::function<QString(int comNumber)>;

// The fixed numbering of this machine's serial devices. On Linux:
//   COM1-COM16   /dev/ttyS0-15       on-board UARTs
//   COM17-COM48  /dev/ttyUSB0-31     USB-serial bridges (CH340, CP210x, FTDI: most ESP8266 boards)
//   COM49-COM80  /dev/ttyACM0-31     USB CDC-ACM devices
//   COM81-COM90  /dev/ttyAMA0-9      ARM board UARTs
//   COM91-COM100 /dev/rfcomm0-9      Bluetooth serial
// Elsewhere COM N is the native port of that name.
QString systemPortDevice(int comNumber);
